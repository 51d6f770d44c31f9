// Registry behaviour the logic relies on, pinned for the fake and the real platform.
// Everything happens below a throwaway key that is removed before and after each case.
#include <doctest/doctest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "ContractScene.h"

namespace vt::contract {

namespace {

const std::u16string kBase = u"Software\\VantorContractTest";

long DeleteTree(HKey root, const std::u16string& path) {
    HKey key = 0;
    long rc = Plat().RegOpenKeyExW(root, path, KEY_READ, &key);
    if (rc != ERROR_SUCCESS) return rc;
    std::vector<std::u16string> names;
    std::u16string name;
    for (std::uint32_t i = 0; Plat().RegEnumKeyExW(key, i, &name) == ERROR_SUCCESS; ++i)
        names.push_back(name);
    Plat().RegCloseKey(key);
    for (const auto& sub : names) DeleteTree(root, path + u"\\" + sub);
    return Plat().RegDeleteKeyW(root, path);
}

struct TestKey {
    TestKey() { DeleteTree(HKEY_CURRENT_USER, kBase); }
    ~TestKey() {
        for (HKey key : open) Plat().RegCloseKey(key);
        DeleteTree(HKEY_CURRENT_USER, kBase);
    }
    // Creates (or opens) base\sub with all access; closed at the end of the case.
    HKey Create(const std::u16string& sub = u"", bool* created = nullptr) {
        HKey key = 0;
        bool made = false;
        long rc = Plat().RegCreateKeyExW(HKEY_CURRENT_USER, Path(sub), KEY_ALL_ACCESS, &key, &made);
        REQUIRE(rc == ERROR_SUCCESS);
        REQUIRE(key != 0);
        if (created) *created = made;
        open.push_back(key);
        return key;
    }
    long Open(const std::u16string& sub, std::uint32_t access, HKey* key) {
        long rc = Plat().RegOpenKeyExW(HKEY_CURRENT_USER, Path(sub), access, key);
        if (rc == ERROR_SUCCESS) open.push_back(*key);
        return rc;
    }
    void Closed(HKey key) {
        for (auto it = open.begin(); it != open.end(); ++it)
            if (*it == key) {
                open.erase(it);
                return;
            }
    }
    static std::u16string Path(const std::u16string& sub) {
        return sub.empty() ? kBase : kBase + u"\\" + sub;
    }
    std::vector<HKey> open;
};

std::vector<std::uint8_t> Bytes(const std::u16string& text) {
    std::vector<std::uint8_t> bytes(text.size() * 2);
    if (!text.empty()) std::memcpy(bytes.data(), text.data(), bytes.size());
    return bytes;
}

long Set(HKey key, const std::u16string& name, std::uint32_t type,
         const std::vector<std::uint8_t>& data) {
    return Plat().RegSetValueExW(key, name, type, data.empty() ? nullptr : data.data(),
                                 static_cast<std::uint32_t>(data.size()));
}

struct Read {
    long rc = -1;
    std::uint32_t type = 0xDEAD;
    std::vector<std::uint8_t> data;
};

// Asks for the size, then reads the value with a buffer of exactly that size.
Read Get(HKey key, const std::u16string& name) {
    Read r;
    std::uint32_t size = 0xFFFF;
    r.rc = Plat().RegQueryValueExW(key, name, &r.type, nullptr, &size);
    if (r.rc != ERROR_SUCCESS) return r;
    r.data.assign(size + 1, 0xCC);
    std::uint32_t got = size;
    r.rc = Plat().RegQueryValueExW(key, name, &r.type, r.data.data(), &got);
    CHECK(got == size);
    CHECK(r.data[size] == 0xCC);  // nothing written past the reported size
    r.data.resize(size);
    return r;
}

constexpr std::uint32_t kDelete = 0x00010000;  // DELETE

// Below HKEY_LOCAL_MACHINE, where links can point by a fixed native path:
//   Target (value "v") \ Child (value "w"),  Target\Up -> the base,  Link -> Target.
struct LinkScene {
    static constexpr const char16_t* kLinkBase = u"Software\\VantorContractLinks";
    LinkScene() {
        Remove(HKEY_LOCAL_MACHINE, kLinkBase);
        HKey key = 0;
        REQUIRE(Plat().RegCreateKeyExW(HKEY_LOCAL_MACHINE, Path(u"Target\\Child"), KEY_ALL_ACCESS,
                                       &key, nullptr) == ERROR_SUCCESS);
        CHECK(Set(key, u"w", REG_SZ, Bytes(u"w")) == ERROR_SUCCESS);
        Plat().RegCloseKey(key);
        REQUIRE(Plat().RegOpenKeyExW(HKEY_LOCAL_MACHINE, Path(u"Target"), KEY_ALL_ACCESS, &key) ==
                ERROR_SUCCESS);
        CHECK(Set(key, u"v", REG_SZ, Bytes(u"v")) == ERROR_SUCCESS);
        Plat().RegCloseKey(key);
        REQUIRE(CreateSceneLink(Path(u"Link"), Path(u"Target")));
        REQUIRE(CreateSceneLink(Path(u"Target\\Up"), kLinkBase));
    }
    ~LinkScene() {
        for (HKey key : open) Plat().RegCloseKey(key);
        Remove(HKEY_LOCAL_MACHINE, kLinkBase);
    }
    static std::u16string Path(const std::u16string& sub) {
        return std::u16string(kLinkBase) + u"\\" + sub;
    }
    long Open(const std::u16string& sub, std::uint32_t access, HKey* key) {
        long rc = Plat().RegOpenKeyExW(HKEY_LOCAL_MACHINE, Path(sub), access, key);
        if (rc == ERROR_SUCCESS) open.push_back(*key);
        return rc;
    }
    long OpenLink(const std::u16string& sub, std::uint32_t access, HKey* key) {
        long rc = Plat().RegOpenKeyExW_OpenLink(HKEY_LOCAL_MACHINE, Path(sub), access, key);
        if (rc == ERROR_SUCCESS) open.push_back(*key);
        return rc;
    }
    // Deletes a tree that may hold links, each link itself.
    static void Remove(HKey parent, const std::u16string& sub) {
        HKey key = 0;
        if (Plat().RegOpenKeyExW_OpenLink(parent, sub, KEY_READ | kDelete, &key) != ERROR_SUCCESS)
            return;
        std::vector<std::u16string> names;
        std::u16string name;
        for (std::uint32_t i = 0; Plat().RegEnumKeyExW(key, i, &name) == ERROR_SUCCESS; ++i)
            names.push_back(name);
        for (const auto& child : names) Remove(key, child);
        Plat().NtDeleteKey(key);
        Plat().RegCloseKey(key);
    }
    std::vector<HKey> open;
};

}  // namespace

TEST_SUITE("registry") {
    TEST_CASE("keys: opening a missing key fails with file-not-found") {
        TestKey t;
        HKey key = 0;
        CHECK(t.Open(u"", KEY_READ, &key) == ERROR_FILE_NOT_FOUND);
        CHECK(t.Open(u"Missing\\Deeper", KEY_READ, &key) == ERROR_FILE_NOT_FOUND);
    }

    TEST_CASE("keys: create makes every missing level and tells whether it created") {
        TestKey t;
        bool created = false;
        t.Create(u"A\\B\\C", &created);
        CHECK(created);
        HKey key = 0;
        CHECK(t.Open(u"A", KEY_READ, &key) == ERROR_SUCCESS);
        CHECK(t.Open(u"A\\B", KEY_READ, &key) == ERROR_SUCCESS);
        t.Create(u"A\\B\\C", &created);
        CHECK_FALSE(created);
        t.Create(u"A\\B\\D", &created);
        CHECK(created);
    }

    TEST_CASE("keys: paths are case-insensitive and keep their first spelling") {
        TestKey t;
        t.Create(u"MixedCase");
        HKey key = 0;
        CHECK(Plat().RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\vantorcontracttest\\MIXEDcase",
                                   KEY_READ, &key) == ERROR_SUCCESS);
        t.open.push_back(key);
        HKey base = t.Create();
        std::u16string name;
        REQUIRE(Plat().RegEnumKeyExW(base, 0, &name) == ERROR_SUCCESS);
        CHECK(name == u"MixedCase");
    }

    TEST_CASE("keys: backslashes in paths") {
        TestKey t;
        t.Create(u"Sub");
        HKey key = 0;
        CHECK(t.Open(u"Sub\\", KEY_READ, &key) == ERROR_SUCCESS);
        // a leading backslash is a bad path name, except below HKEY_CLASSES_ROOT
        CHECK(Plat().RegOpenKeyExW(HKEY_CURRENT_USER, u"\\" + kBase, KEY_READ, &key) == 161);
        bool created = false;
        CHECK(Plat().RegCreateKeyExW(HKEY_CURRENT_USER, u"\\" + kBase + u"\\New", KEY_ALL_ACCESS,
                                     &key, &created) == 161);
        CHECK(t.Open(u"New", KEY_READ, &key) == ERROR_FILE_NOT_FOUND);
        REQUIRE(Plat().RegOpenKeyExW(HKEY_CLASSES_ROOT, u"\\", KEY_READ, &key) == ERROR_SUCCESS);
        CHECK(Plat().RegCloseKey(key) == ERROR_SUCCESS);
    }

    TEST_CASE("keys: an empty subkey opens a new handle to the same key") {
        TestKey t;
        HKey base = t.Create();
        REQUIRE(Set(base, u"v", REG_BINARY, {7}) == ERROR_SUCCESS);
        HKey again = 0;
        REQUIRE(Plat().RegOpenKeyExW(base, u"", KEY_READ, &again) == ERROR_SUCCESS);
        t.open.push_back(again);
        CHECK(again != base);
        Read r = Get(again, u"v");
        CHECK(r.rc == ERROR_SUCCESS);
        CHECK(r.data == std::vector<std::uint8_t>{7});
    }

    TEST_CASE("keys: paths open relative to an open key") {
        TestKey t;
        HKey base = t.Create();
        HKey sub = 0;
        bool created = false;
        REQUIRE(Plat().RegCreateKeyExW(base, u"X\\Y", KEY_ALL_ACCESS, &sub, &created) ==
                ERROR_SUCCESS);
        t.open.push_back(sub);
        CHECK(created);
        HKey key = 0;
        CHECK(t.Open(u"X\\Y", KEY_READ, &key) == ERROR_SUCCESS);
    }

    TEST_CASE("handles: closing twice fails with invalid-handle") {
        TestKey t;
        HKey key = t.Create();
        t.Closed(key);
        CHECK(Plat().RegCloseKey(key) == ERROR_SUCCESS);
        CHECK(Plat().RegCloseKey(key) == ERROR_INVALID_HANDLE);
    }

    TEST_CASE("handles: a handle to a deleted key stays valid but fails with key-deleted") {
        TestKey t;
        t.Create();
        HKey doomed = t.Create(u"Doomed");
        REQUIRE(Set(doomed, u"v", REG_BINARY, {1}) == ERROR_SUCCESS);
        REQUIRE(Plat().RegDeleteKeyW(HKEY_CURRENT_USER, TestKey::Path(u"Doomed")) == ERROR_SUCCESS);
        std::uint32_t size = 0;
        CHECK(Plat().RegQueryValueExW(doomed, u"v", nullptr, nullptr, &size) == 1018);
        CHECK(Set(doomed, u"w", REG_BINARY, {2}) == 1018);
        std::u16string name;
        CHECK(Plat().RegEnumKeyExW(doomed, 0, &name) == 1018);
        t.Closed(doomed);
        CHECK(Plat().RegCloseKey(doomed) == ERROR_SUCCESS);
    }

    TEST_CASE("access: a key opened for reading refuses writes") {
        TestKey t;
        HKey base = t.Create();
        REQUIRE(Set(base, u"v", REG_BINARY, {1}) == ERROR_SUCCESS);
        HKey ro = 0;
        REQUIRE(t.Open(u"", KEY_READ, &ro) == ERROR_SUCCESS);
        CHECK(Set(ro, u"v", REG_BINARY, {2}) == ERROR_ACCESS_DENIED);
        CHECK(Plat().RegDeleteValueW(ro, u"v") == ERROR_ACCESS_DENIED);
        Read r = Get(ro, u"v");
        CHECK(r.rc == ERROR_SUCCESS);
        CHECK(r.data == std::vector<std::uint8_t>{1});
    }

    TEST_CASE("values: type and bytes come back as stored") {
        TestKey t;
        HKey key = t.Create();
        SUBCASE("a one-byte REG_BINARY") {
            REQUIRE(Set(key, u"Flag", REG_BINARY, {2}) == ERROR_SUCCESS);
            Read r = Get(key, u"Flag");
            CHECK(r.rc == ERROR_SUCCESS);
            CHECK(r.type == REG_BINARY);
            CHECK(r.data == std::vector<std::uint8_t>{2});
        }
        SUBCASE("a REG_DWORD has four bytes") {
            REQUIRE(Set(key, u"D", REG_DWORD, {0x78, 0x56, 0x34, 0x12}) == ERROR_SUCCESS);
            Read r = Get(key, u"D");
            CHECK(r.type == REG_DWORD);
            CHECK(r.data == std::vector<std::uint8_t>{0x78, 0x56, 0x34, 0x12});
        }
        SUBCASE("REG_SZ keeps its counted terminator") {
            REQUIRE(Set(key, u"S", REG_SZ, Bytes(std::u16string(u"abc\0", 4))) == ERROR_SUCCESS);
            Read r = Get(key, u"S");
            CHECK(r.type == REG_SZ);
            CHECK(r.data == Bytes(std::u16string(u"abc\0", 4)));
        }
        SUBCASE("REG_EXPAND_SZ comes back unexpanded") {
            std::u16string text(u"%SystemRoot%\\x.wav\0", 19);
            REQUIRE(Set(key, u"E", REG_EXPAND_SZ, Bytes(text)) == ERROR_SUCCESS);
            Read r = Get(key, u"E");
            CHECK(r.type == REG_EXPAND_SZ);
            CHECK(r.data == Bytes(text));
        }
        SUBCASE("text with an embedded NUL is stored whole") {
            std::u16string text(u"ab\0cd\0", 6);
            REQUIRE(Set(key, u"N", REG_SZ, Bytes(text)) == ERROR_SUCCESS);
            Read r = Get(key, u"N");
            CHECK(r.data.size() == 12);
            CHECK(r.data == Bytes(text));
        }
        SUBCASE("a zero-length REG_BINARY exists with size 0") {
            REQUIRE(Set(key, u"Z", REG_BINARY, {}) == ERROR_SUCCESS);
            Read r = Get(key, u"Z");
            CHECK(r.rc == ERROR_SUCCESS);
            CHECK(r.type == REG_BINARY);
            CHECK(r.data.empty());
        }
        SUBCASE("a zero-length REG_SZ exists with size 0") {
            REQUIRE(Set(key, u"Z", REG_SZ, {}) == ERROR_SUCCESS);
            Read r = Get(key, u"Z");
            CHECK(r.rc == ERROR_SUCCESS);
            CHECK(r.type == REG_SZ);
            CHECK(r.data.empty());
        }
        SUBCASE("setting again replaces type and data") {
            REQUIRE(Set(key, u"V", REG_DWORD, {1, 0, 0, 0}) == ERROR_SUCCESS);
            REQUIRE(Set(key, u"V", REG_BINARY, {0}) == ERROR_SUCCESS);
            Read r = Get(key, u"V");
            CHECK(r.type == REG_BINARY);
            CHECK(r.data == std::vector<std::uint8_t>{0});
        }
        SUBCASE("value names are case-insensitive") {
            REQUIRE(Set(key, u"Vantor eingeschaltet", REG_BINARY, {1}) == ERROR_SUCCESS);
            Read r = Get(key, u"VANTOR EINGESCHALTET");
            CHECK(r.rc == ERROR_SUCCESS);
            CHECK(r.data == std::vector<std::uint8_t>{1});
        }
    }

    TEST_CASE("values: the query buffer protocol") {
        TestKey t;
        HKey key = t.Create();
        REQUIRE(Set(key, u"Data", REG_BINARY, {1, 2, 3, 4, 5}) == ERROR_SUCCESS);
        std::uint32_t type = 0;
        std::uint32_t size = 0;
        std::uint8_t buffer[8] = {0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC};

        SUBCASE("no buffer: the size and type") {
            CHECK(Plat().RegQueryValueExW(key, u"Data", &type, nullptr, &size) == ERROR_SUCCESS);
            CHECK(size == 5);
            CHECK(type == REG_BINARY);
        }
        SUBCASE("no buffer and no size: existence alone") {
            CHECK(Plat().RegQueryValueExW(key, u"Data", nullptr, nullptr, nullptr) ==
                  ERROR_SUCCESS);
            CHECK(Plat().RegQueryValueExW(key, u"Nope", nullptr, nullptr, nullptr) ==
                  ERROR_FILE_NOT_FOUND);
        }
        SUBCASE("a buffer too small: more-data and the size needed") {
            size = 1;
            CHECK(Plat().RegQueryValueExW(key, u"Data", &type, buffer, &size) == ERROR_MORE_DATA);
            CHECK(size == 5);
        }
        SUBCASE("a larger buffer: the data and its real size") {
            size = sizeof buffer;
            CHECK(Plat().RegQueryValueExW(key, u"Data", &type, buffer, &size) == ERROR_SUCCESS);
            CHECK(size == 5);
            CHECK(buffer[0] == 1);
            CHECK(buffer[4] == 5);
            CHECK(buffer[5] == 0xCC);
        }
        SUBCASE("an absent value: file-not-found") {
            size = sizeof buffer;
            CHECK(Plat().RegQueryValueExW(key, u"Absent", &type, buffer, &size) ==
                  ERROR_FILE_NOT_FOUND);
        }
        SUBCASE("the empty name is the default value") {
            size = 0;
            CHECK(Plat().RegQueryValueExW(key, u"", &type, nullptr, &size) == ERROR_FILE_NOT_FOUND);
            std::u16string text(u"C:\\x.wav\0", 9);
            REQUIRE(Set(key, u"", REG_SZ, Bytes(text)) == ERROR_SUCCESS);
            Read r = Get(key, u"");
            CHECK(r.rc == ERROR_SUCCESS);
            CHECK(r.type == REG_SZ);
            CHECK(r.data == Bytes(text));
        }
    }

    TEST_CASE("values: deleting") {
        TestKey t;
        HKey key = t.Create();
        REQUIRE(Set(key, u"V", REG_BINARY, {1}) == ERROR_SUCCESS);
        CHECK(Plat().RegDeleteValueW(key, u"v") == ERROR_SUCCESS);
        CHECK(Get(key, u"V").rc == ERROR_FILE_NOT_FOUND);
        CHECK(Plat().RegDeleteValueW(key, u"V") == ERROR_FILE_NOT_FOUND);
    }

    TEST_CASE("keys: deleting refuses a key with subkeys and removes a leaf") {
        TestKey t;
        t.Create(u"Parent\\Child");
        CHECK(Plat().RegDeleteKeyW(HKEY_CURRENT_USER, TestKey::Path(u"Parent")) ==
              ERROR_ACCESS_DENIED);
        HKey key = 0;
        CHECK(t.Open(u"Parent\\Child", KEY_READ, &key) == ERROR_SUCCESS);
        CHECK(Plat().RegDeleteKeyW(HKEY_CURRENT_USER, TestKey::Path(u"Parent\\Child")) ==
              ERROR_SUCCESS);
        CHECK(Plat().RegDeleteKeyW(HKEY_CURRENT_USER, TestKey::Path(u"Parent")) == ERROR_SUCCESS);
        CHECK(t.Open(u"Parent", KEY_READ, &key) == ERROR_FILE_NOT_FOUND);
        CHECK(Plat().RegDeleteKeyW(HKEY_CURRENT_USER, TestKey::Path(u"Parent")) ==
              ERROR_FILE_NOT_FOUND);
    }

    TEST_CASE("keys: deleting relative to an open key") {
        TestKey t;
        HKey base = t.Create();
        t.Create(u"Leaf");
        CHECK(Plat().RegDeleteKeyW(base, u"leaf") == ERROR_SUCCESS);
        HKey key = 0;
        CHECK(t.Open(u"Leaf", KEY_READ, &key) == ERROR_FILE_NOT_FOUND);
    }

    TEST_CASE("keys: subkeys enumerate in case-insensitive alphabetical order") {
        TestKey t;
        HKey base = t.Create();
        for (const char16_t* name : {u"beta", u"Alpha", u"gamma", u"Delta", u"10", u"2"})
            t.Create(name);
        std::vector<std::u16string> names;
        std::u16string name;
        std::uint32_t i = 0;
        long rc;
        while ((rc = Plat().RegEnumKeyExW(base, i, &name)) == ERROR_SUCCESS) {
            names.push_back(name);
            ++i;
        }
        CHECK(rc == ERROR_NO_MORE_ITEMS);
        CHECK(names ==
              std::vector<std::u16string>{u"10", u"2", u"Alpha", u"beta", u"Delta", u"gamma"});
        CHECK(Plat().RegEnumKeyExW(base, 100, &name) == ERROR_NO_MORE_ITEMS);
    }

    TEST_CASE("keys: an empty key enumerates nothing") {
        TestKey t;
        HKey base = t.Create();
        std::u16string name;
        CHECK(Plat().RegEnumKeyExW(base, 0, &name) == ERROR_NO_MORE_ITEMS);
    }

    TEST_CASE("links: paths lead through them; opened as a link, the link itself") {
        LinkScene scene;
        HKey key = 0;
        // through the link: the target and what lies below it
        REQUIRE(scene.Open(u"Link", KEY_READ, &key) == ERROR_SUCCESS);
        std::u16string name;
        CHECK(Plat().RegEnumKeyExW(key, 0, &name) == ERROR_SUCCESS);
        CHECK(name == u"Child");
        CHECK(Get(key, u"v").rc == ERROR_SUCCESS);
        REQUIRE(scene.Open(u"Link\\Child", KEY_READ, &key) == ERROR_SUCCESS);
        // a link back to an ancestor makes a path as long as one likes
        REQUIRE(scene.Open(u"Target\\Up\\Target\\Up\\Link\\Child", KEY_READ, &key) ==
                ERROR_SUCCESS);
        // the link itself: no subkeys and not the target's values
        REQUIRE(scene.OpenLink(u"Link", KEY_READ, &key) == ERROR_SUCCESS);
        CHECK(Plat().RegEnumKeyExW(key, 0, &name) == ERROR_NO_MORE_ITEMS);
        CHECK(Get(key, u"v").rc == ERROR_FILE_NOT_FOUND);
        // only the last name of the path is opened as a link
        REQUIRE(scene.OpenLink(u"Link\\Child", KEY_READ, &key) == ERROR_SUCCESS);
        CHECK(Get(key, u"w").rc == ERROR_SUCCESS);
    }

    TEST_CASE("links: opened as a link, it holds its target in SymbolicLinkValue (REG_LINK)") {
        LinkScene scene;
        HKey key = 0;
        REQUIRE(scene.OpenLink(u"Link", KEY_QUERY_VALUE, &key) == ERROR_SUCCESS);
        const Read link = Get(key, u"SymbolicLinkValue");
        CHECK(link.rc == ERROR_SUCCESS);
        CHECK(link.type == REG_LINK);
        // through the link, and an ordinary key opened as a link: no such value
        REQUIRE(scene.Open(u"Link", KEY_QUERY_VALUE, &key) == ERROR_SUCCESS);
        CHECK(Get(key, u"SymbolicLinkValue").rc == ERROR_FILE_NOT_FOUND);
        REQUIRE(scene.OpenLink(u"Target", KEY_QUERY_VALUE, &key) == ERROR_SUCCESS);
        CHECK(Get(key, u"SymbolicLinkValue").rc == ERROR_FILE_NOT_FOUND);
    }

    TEST_CASE("links: NtDeleteKey removes the key of the handle, a link without its target") {
        LinkScene scene;
        HKey key = 0;
        REQUIRE(scene.OpenLink(u"Link", KEY_READ | kDelete, &key) == ERROR_SUCCESS);
        CHECK(Plat().NtDeleteKey(key) == ERROR_SUCCESS);
        CHECK(scene.Open(u"Link", KEY_READ, &key) == ERROR_FILE_NOT_FOUND);
        CHECK(scene.Open(u"Target\\Child", KEY_READ, &key) == ERROR_SUCCESS);
        // not a key with subkeys, and not without delete access
        REQUIRE(scene.OpenLink(u"Target", KEY_READ | kDelete, &key) == ERROR_SUCCESS);
        CHECK(Plat().NtDeleteKey(key) == ERROR_ACCESS_DENIED);
        REQUIRE(scene.OpenLink(u"Target\\Child", KEY_READ, &key) == ERROR_SUCCESS);
        CHECK(Plat().NtDeleteKey(key) == ERROR_ACCESS_DENIED);
        REQUIRE(scene.OpenLink(u"Target\\Child", KEY_READ | kDelete, &key) == ERROR_SUCCESS);
        CHECK(Plat().NtDeleteKey(key) == ERROR_SUCCESS);
        CHECK(scene.Open(u"Target\\Child", KEY_READ, &key) == ERROR_FILE_NOT_FOUND);
    }

    TEST_CASE("links: RegDeleteKeyW on a link's name deletes the key it points to") {
        LinkScene scene;
        HKey key = 0;
        REQUIRE(scene.Open(u"Target\\Child", KEY_READ, &key) == ERROR_SUCCESS);
        REQUIRE(CreateSceneLink(LinkScene::Path(u"ToChild"), LinkScene::Path(u"Target\\Child")));
        CHECK(Plat().RegDeleteKeyW(HKEY_LOCAL_MACHINE, LinkScene::Path(u"ToChild")) ==
              ERROR_SUCCESS);
        CHECK(scene.Open(u"Target\\Child", KEY_READ, &key) == ERROR_FILE_NOT_FOUND);
        CHECK(scene.OpenLink(u"ToChild", KEY_READ, &key) == ERROR_SUCCESS);  // left dangling
        CHECK(scene.Open(u"ToChild", KEY_READ, &key) == ERROR_FILE_NOT_FOUND);
    }

    TEST_CASE("values: each value enumerates once, the default value with an empty name") {
        TestKey t;
        HKey base = t.Create();
        const std::uint8_t one = 1;
        for (const char16_t* name : {u"b", u"A", u"", u"Groß"})
            REQUIRE(Plat().RegSetValueExW(base, name, REG_BINARY, &one, 1) == ERROR_SUCCESS);
        t.Create(u"Sub");  // a subkey is not a value
        std::vector<std::u16string> names;
        std::u16string name;
        long rc;
        for (std::uint32_t i = 0; (rc = Plat().RegEnumValueW(base, i, &name)) == ERROR_SUCCESS; ++i)
            names.push_back(name);
        CHECK(rc == ERROR_NO_MORE_ITEMS);
        std::sort(names.begin(), names.end());
        CHECK(names == std::vector<std::u16string>{u"", u"A", u"Groß", u"b"});
        HKey sub = t.Create(u"Sub");
        CHECK(Plat().RegEnumValueW(sub, 0, &name) == ERROR_NO_MORE_ITEMS);
    }

    TEST_CASE("keys: the predefined roots exist") {
        for (HKey root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CLASSES_ROOT}) {
            HKey key = 0;
            REQUIRE(Plat().RegOpenKeyExW(root, u"", KEY_READ, &key) == ERROR_SUCCESS);
            CHECK(key != 0);
            CHECK(Plat().RegCloseKey(key) == ERROR_SUCCESS);
        }
    }
}

}  // namespace vt::contract
