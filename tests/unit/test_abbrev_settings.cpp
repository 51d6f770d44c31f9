// The page "Kürzel": names checked and refused with the reason, what OK writes and keeps,
// the list's columns, and the table carried by export and import.
#include <doctest/doctest.h>

#include "FakePlatform.h"
#include "common/Vantor.Utils.Abbrev.h"
#include "common/Vantor.Utils.h"
#include "tray/RegFile.h"
#include "tray/Settings.Abbrev.h"
#include "tray/Settings.h"

using namespace vt;

namespace {

struct Scene {
    FakeScope scope;
    FakePlatform& fake = scope.fake;
    Scene() { VantorUtilsInit(); }
    ~Scene() { VantorUtilsDone(); }
    std::u16string Stored(const std::u16string& name) {
        auto v = fake.GetRegValue(HKEY_CURRENT_USER, kAbbrevTable, name);
        if (!v) return u"<none>";
        return TextOf(v->data);
    }
    std::vector<std::u16string> Names() {
        std::vector<std::u16string> out;
        for (const auto& e : ReadAbbrevTable()) out.push_back(e.name);
        return out;
    }
};

}  // namespace

TEST_CASE("Kürzel: a name of 2 to 32 letters and digits, not taken by another") {
    Scene s;
    s.fake.SetRegString(HKEY_CURRENT_USER, kAbbrevTable, u"mfg", u"Mit freundlichen Grüßen");
    CHECK(CheckAbbrevName(u"sgdh", u"") == u"");
    CHECK(CheckAbbrevName(u"grü2", u"") == u"");
    CHECK(CheckAbbrevName(u"", u"") == u"Bitte ein Kürzel eingeben.");
    CHECK(CheckAbbrevName(u"m", u"").find(u"hat 1 Zeichen") != std::u16string::npos);
    CHECK_FALSE(CheckAbbrevName(std::u16string(33, u'a'), u"").empty());
    CHECK(CheckAbbrevName(u"m.f", u"").rfind(u"„.“ geht in einem Kürzel nicht", 0) == 0);
    CHECK(CheckAbbrevName(u"z b", u"").rfind(u"„ “ geht", 0) == 0);
    // Taken: the registry does not tell MFG from mfg. The reason shows what it types.
    const std::u16string taken = CheckAbbrevName(u"MFG", u"");
    CHECK(taken.rfind(u"„mfg“ ist schon vergeben: Mit freundlichen Grüßen", 0) == 0);
    CHECK(CheckAbbrevName(u"MFG", u"mfg") == u"");  // its own name in another case
    CHECK(CheckAbbrevName(u"mfg", u"sgdh").find(u"schon vergeben") != std::u16string::npos);
}

TEST_CASE("Kürzel dialog OK: refused, new, unchanged, renamed, only its case changed") {
    Scene s;
    CHECK(SaveAbbrev(u"", u"mfg", u"Mit freundlichen Gr$FC$DFen", u"") == u"");
    CHECK(s.Stored(u"mfg") == u"Mit freundlichen Gr$FC$DFen");
    CHECK(FindAbbreviation(u"MFG") == u"Mit freundlichen Grüßen");
    // The macro check refuses what the library would not type as written; nothing written.
    CHECK(SaveAbbrev(u"", u"xy", u"A$4GB", u"").find(u"keine gültige Ersetzung") !=
          std::u16string::npos);
    CHECK(s.Stored(u"xy") == u"<none>");
    // Taken by another: refused, the other stays.
    CHECK(SaveAbbrev(u"", u"Mfg", u"anders", u"").find(u"schon vergeben") != std::u16string::npos);
    CHECK(s.Stored(u"mfg") == u"Mit freundlichen Gr$FC$DFen");
    // Unchanged: not written, type and bytes kept.
    s.fake.SetRegString(HKEY_CURRENT_USER, kAbbrevTable, u"sgdh", u"%x%", REG_EXPAND_SZ);
    CHECK(SaveAbbrev(u"sgdh", u"sgdh", u"%x%", u"%x%") == u"");
    CHECK(s.fake.GetRegValue(HKEY_CURRENT_USER, kAbbrevTable, u"sgdh")->type == REG_EXPAND_SZ);
    // Renamed: the new name holds the text, the old one is gone.
    CHECK(SaveAbbrev(u"sgdh", u"sgh", u"Sehr geehrte Damen und Herren", u"%x%") == u"");
    CHECK(s.Names() == std::vector<std::u16string>{u"mfg", u"sgh"});
    CHECK(s.Stored(u"sgh") == u"Sehr geehrte Damen und Herren");
    // Only the case: one value, now spelt as typed.
    CHECK(SaveAbbrev(u"mfg", u"MfG", u"Mit freundlichen Grüßen", u"Mit freundlichen Gr$FC$DFen") ==
          u"");
    CHECK(s.Names() == std::vector<std::u16string>{u"MfG", u"sgh"});
    CHECK(DeleteAbbrev(u"MFG"));
    CHECK(s.Names() == std::vector<std::u16string>{u"sgh"});
}

TEST_CASE("Kürzel list: kind and preview; values the library does not use are marked") {
    Scene s;
    s.fake.SetRegString(HKEY_CURRENT_USER, kAbbrevTable, u"heute", u"^*49\"dd.mm.yyyy\"*40");
    s.fake.SetRegString(HKEY_CURRENT_USER, kAbbrevTable, u"Adr", u"Weg 1$FF$00$0DOrt");
    s.fake.SetRegString(HKEY_CURRENT_USER, kAbbrevTable, u"a b", u"x");
    s.fake.SetRegDword(HKEY_CURRENT_USER, kAbbrevTable, u"zahl", 7);
    const auto entries = ReadAbbrevTable();
    REQUIRE(entries.size() == 4);
    CHECK(AbbrevName(entries[0]) == u"a b (kein Kürzel)");
    CHECK(AbbrevKind(entries[0]) == u"unbenutzt");
    CHECK(AbbrevName(entries[1]) == u"Adr");
    CHECK(AbbrevContent(entries[1]) == u"Weg 1⏎Ort");
    CHECK(AbbrevKind(entries[2]) == u"Befehl");
    CHECK(AbbrevContent(entries[2]) == u"Befehl: schreibt das Datum als „dd.mm.yyyy“");
    CHECK(AbbrevKind(entries[3]) == u"unbenutzt");
    CHECK(AbbrevContent(entries[3]).rfind(u"(kein Text: ", 0) == 0);
    CHECK(FindAbbreviation(u"zahl") == u"");  // the library passes it by as well
}

TEST_CASE("Kürzel: /export and /import carry the table, also from a file saved as ANSI") {
    Scene s;
    s.fake.SetRegString(HKEY_CURRENT_USER, kAbbrevTable, u"mfg", u"Mit freundlichen Grüßen");
    s.fake.SetRegBinary(HKEY_CURRENT_USER, u"Software\\Quellmark\\Vantor32\\Settings", u"Kürzel",
                        {1});
    const std::vector<RRegKey> keys = ReadConfiguration();
    const std::vector<std::uint8_t> file = EncodeRegFile(FormatRegFile(keys));
    s.fake.SetRegString(HKEY_CURRENT_USER, kAbbrevTable, u"mfg", u"weg");
    s.fake.SetRegString(HKEY_CURRENT_USER, kAbbrevTable, u"neu", u"x");
    std::vector<RRegKey> parsed;
    std::u16string error;
    REQUIRE(ParseRegFile(file, parsed, error));
    REQUIRE(ApplyImport(parsed, error));
    CHECK(FindAbbreviation(u"mfg") == u"Mit freundlichen Grüßen");
    // A hand-written file in Windows-1252: the key's ü and the text's umlauts arrive.
    const std::string ansi =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Quellmark\\Vantor32\\Macros\\K\xFCrzel]\r\n"
        "\"gr\xFC\"=\"Gr\xFC\xDF"
        "e\"\r\n";
    REQUIRE(ParseRegFile(std::vector<std::uint8_t>(ansi.begin(), ansi.end()), parsed, error));
    REQUIRE(ApplyImport(parsed, error));
    CHECK(FindAbbreviation(u"GRÜ") == u"Grüße");
}
