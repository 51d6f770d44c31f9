// The rights the setup program gives an install folder outside Program Files
// (installer/folder-rights.sddl, which the NSIS script reads): what they allow, entry by
// entry. Wine keeps no access lists on files here, so this is where they are checked.
#include <doctest/doctest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

struct RAce {
    std::string type, flags, rights, sid;
};

struct RDescriptor {
    std::string owner, daclFlags;
    std::vector<RAce> aces;
};

std::vector<std::string> Split(const std::string& s, char sep) {
    std::vector<std::string> out(1);
    for (char c : s) {
        if (c == sep)
            out.emplace_back();
        else
            out.back() += c;
    }
    return out;
}

// The owner and the access list of an SDDL text "O:owner" "D:flags(ace)(ace)...".
RDescriptor Parse(const std::string& sddl) {
    RDescriptor d;
    const std::size_t dacl = sddl.find("D:");
    REQUIRE(sddl.rfind("O:", 0) == 0);
    REQUIRE(dacl != std::string::npos);
    d.owner = sddl.substr(2, dacl - 2);
    std::size_t at = dacl + 2;
    while (at < sddl.size() && sddl[at] != '(') d.daclFlags += sddl[at++];
    while (at < sddl.size()) {
        REQUIRE(sddl[at] == '(');
        const std::size_t end = sddl.find(')', at);
        REQUIRE(end != std::string::npos);
        auto fields = Split(sddl.substr(at + 1, end - at - 1), ';');
        REQUIRE(fields.size() == 6);
        d.aces.push_back({fields[0], fields[1], fields[2], fields[5]});
        at = end + 1;
    }
    return d;
}

std::uint32_t Mask(const std::string& rights) {
    if (rights.rfind("0x", 0) == 0)
        return static_cast<std::uint32_t>(std::stoul(rights, nullptr, 16));
    static const std::map<std::string, std::uint32_t> named = {
        {"FA", 0x1F01FF}, {"FR", 0x120089}, {"FX", 0x1200A0}, {"FW", 0x120116}};
    std::uint32_t mask = 0;
    for (std::size_t i = 0; i + 2 <= rights.size(); i += 2) {
        auto it = named.find(rights.substr(i, 2));
        REQUIRE(it != named.end());
        mask |= it->second;
    }
    return mask;
}

}  // namespace

TEST_SUITE("installer folder rights") {
    TEST_CASE("only SYSTEM and the Administrators may change the folder or what it holds") {
        std::ifstream in(std::string(VT_SOURCE_DIR) + "/installer/folder-rights.sddl");
        REQUIRE(in);
        const std::string sddl((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
        CHECK(sddl.find('\n') == std::string::npos);  // one line, as NSIS takes it in
        const RDescriptor d = Parse(sddl);
        CHECK(d.owner == "BA");  // an owner may change the rights: no normal user
        CHECK(d.daclFlags.find('P') != std::string::npos);  // nothing from the parent
        const std::uint32_t change =
            0x0002 | 0x0004 | 0x0010 | 0x0040 | 0x0100 |  // data, EA, child, attributes
            0x00010000 | 0x00040000 | 0x00080000 |        // DELETE, WRITE_DAC, WRITE_OWNER
            0x40000000 | 0x10000000;                      // GENERIC_WRITE, GENERIC_ALL
        const std::uint32_t readExecute = 0x1200A9;
        std::map<std::string, std::uint32_t> bySid;
        for (const RAce& ace : d.aces) {
            CAPTURE(ace.sid);
            CHECK(ace.type == "A");
            // inherited by every file and folder created inside
            CHECK(ace.flags.find("OI") != std::string::npos);
            CHECK(ace.flags.find("CI") != std::string::npos);
            bySid[ace.sid] |= Mask(ace.rights);
        }
        CHECK(bySid["SY"] == 0x1F01FF);
        CHECK(bySid["BA"] == 0x1F01FF);
        CHECK(bySid["BU"] == readExecute);  // users run the programs
        for (const auto& [sid, mask] : bySid) {
            CAPTURE(sid);
            if (sid != "SY" && sid != "BA") CHECK((mask & change) == 0);
        }
        CHECK(bySid.size() == 3);  // no Everyone, no Authenticated Users
    }
}
