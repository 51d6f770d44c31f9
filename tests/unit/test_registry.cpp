#include <doctest/doctest.h>

#include <functional>

#include "FakePlatform.h"
#include "common/RegistryKey.h"
#include "common/VtError.h"

using namespace vt;
using namespace std::string_literals;

namespace {

const std::u16string kBase = u"Software\\Test";

std::vector<std::uint8_t> Utf16Bytes(const std::u16string& s, bool withNul) {
    std::vector<std::uint8_t> out;
    for (char16_t c : s) {
        out.push_back(static_cast<std::uint8_t>(c & 0xFF));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    if (withNul) out.insert(out.end(), {0, 0});
    return out;
}

// A value whose query fails although it is there (the hive cannot be read, a value
// locked by a driver).
struct UnreadableValue : FakePlatform {
    std::u16string name;
    long RegQueryValueExW(HKey key, const std::u16string& n, std::uint32_t* type,
                          std::uint8_t* data, std::uint32_t* size) override {
        if (n == name) return 1016;  // ERROR_REGISTRY_IO_FAILED
        return FakePlatform::RegQueryValueExW(key, n, type, data, size);
    }
};

std::u16string ErrorText(const std::function<void()>& f) {
    try {
        f();
    } catch (const ERegistryException& e) {
        return e.Message();
    }
    return u"<no error>";
}

}  // namespace

TEST_SUITE("TRegistry keys") {
    TEST_CASE("OpenKey creates missing levels only when asked") {
        FakeScope scope;
        {
            TRegistry reg;
            CHECK_FALSE(reg.OpenKey(kBase + u"\\A\\B", false));
            CHECK(reg.CurrentKey() == 0);
            CHECK(reg.OpenKey(kBase + u"\\A\\B", true));
            CHECK(reg.CurrentKey() != 0);
            CHECK(reg.CurrentPath() == kBase + u"\\A\\B");
            CHECK(scope.fake.RegKeyExists(HKEY_CURRENT_USER, kBase + u"\\A\\B"));
        }
        CHECK(scope.fake.OpenRegKeys() == 0);
    }

    TEST_CASE("a path without a leading backslash is relative to the open key") {
        FakeScope scope;
        scope.fake.CreateRegKey(HKEY_CURRENT_USER, kBase + u"\\A\\B");
        scope.fake.CreateRegKey(HKEY_CURRENT_USER, u"B");
        TRegistry reg;
        REQUIRE(reg.OpenKey(kBase + u"\\A", false));
        REQUIRE(reg.OpenKey(u"B", false));
        CHECK(reg.CurrentPath() == kBase + u"\\A\\B");
        // a leading backslash goes back to the root
        REQUIRE(reg.OpenKey(u"\\" + kBase, false));
        CHECK(reg.CurrentPath() == kBase);
        reg.CloseKey();
        CHECK(reg.CurrentKey() == 0);
        CHECK(scope.fake.OpenRegKeys() == 0);
    }

    TEST_CASE("a failed open keeps the key that was open") {
        FakeScope scope;
        scope.fake.CreateRegKey(HKEY_CURRENT_USER, kBase);
        TRegistry reg;
        REQUIRE(reg.OpenKey(kBase, false));
        HKey before = reg.CurrentKey();
        CHECK_FALSE(reg.OpenKey(u"Missing", false));
        CHECK(reg.CurrentKey() == before);
        CHECK(reg.LastError() == ERROR_FILE_NOT_FOUND);
    }

    TEST_CASE("SetRootKey closes the open key and switches roots") {
        FakeScope scope;
        scope.fake.CreateRegKey(HKEY_USERS, u"S-1\\Software");
        TRegistry reg;
        REQUIRE(reg.OpenKey(u"Software", true));
        reg.SetRootKey(HKEY_USERS);
        CHECK(reg.CurrentKey() == 0);
        CHECK(scope.fake.OpenRegKeys() == 0);
        CHECK(reg.OpenKey(u"S-1\\Software", false));
        CHECK(reg.KeyExists(u"S-1"));
        CHECK_FALSE(reg.KeyExists(u"S-2"));
    }

    TEST_CASE("DeleteKey removes the subkeys first, then the key") {
        FakeScope scope;
        scope.fake.CreateRegKey(HKEY_CURRENT_USER, kBase + u"\\Top\\A\\A1\\A2");
        scope.fake.CreateRegKey(HKEY_CURRENT_USER, kBase + u"\\Top\\B");
        scope.fake.SetRegString(HKEY_CURRENT_USER, kBase + u"\\Top\\A\\A1", u"v", u"x");
        scope.fake.CreateRegKey(HKEY_CURRENT_USER, kBase + u"\\Sibling");
        {
            TRegistry reg;
            CHECK(reg.DeleteKey(kBase + u"\\Top"));
            CHECK_FALSE(scope.fake.RegKeyExists(HKEY_CURRENT_USER, kBase + u"\\Top"));
            CHECK(scope.fake.RegKeyExists(HKEY_CURRENT_USER, kBase + u"\\Sibling"));
            CHECK_FALSE(reg.DeleteKey(kBase + u"\\Top"));  // gone already
        }
        CHECK(scope.fake.OpenRegKeys() == 0);
    }

    TEST_CASE("DeleteKey relative to the open key") {
        FakeScope scope;
        scope.fake.CreateRegKey(HKEY_CURRENT_USER, kBase + u"\\Macros\\AltGr");
        TRegistry reg;
        REQUIRE(reg.OpenKey(kBase, false));
        CHECK(reg.DeleteKey(u"Macros"));
        CHECK_FALSE(scope.fake.RegKeyExists(HKEY_CURRENT_USER, kBase + u"\\Macros"));
        CHECK(scope.fake.RegKeyExists(HKEY_CURRENT_USER, kBase));
    }

    TEST_CASE("DeleteKey reports a protected subkey and closes everything") {
        FakeScope scope;
        scope.fake.CreateRegKey(HKEY_CURRENT_USER, kBase + u"\\Top\\Locked");
        scope.fake.ProtectRegKey(HKEY_CURRENT_USER, kBase + u"\\Top\\Locked");
        {
            TRegistry reg;
            CHECK_FALSE(reg.DeleteKey(kBase + u"\\Top"));
            CHECK(scope.fake.RegKeyExists(HKEY_CURRENT_USER, kBase + u"\\Top"));
        }
        CHECK(scope.fake.OpenRegKeys() == 0);
    }

    TEST_CASE("a subkey that cannot be deleted keeps its parent but not its siblings") {
        FakeScope scope;
        scope.fake.CreateRegKey(HKEY_CURRENT_USER, kBase + u"\\Top\\A\\A1");
        scope.fake.CreateRegKey(HKEY_CURRENT_USER, kBase + u"\\Top\\Locked");
        scope.fake.CreateRegKey(HKEY_CURRENT_USER, kBase + u"\\Top\\Z");
        scope.fake.ProtectRegKey(HKEY_CURRENT_USER, kBase + u"\\Top\\Locked");
        {
            TRegistry reg;
            CHECK_FALSE(reg.DeleteKey(kBase + u"\\Top"));
            CHECK(reg.LastError() == ERROR_ACCESS_DENIED);
        }
        CHECK(scope.fake.RegKeyExists(HKEY_CURRENT_USER, kBase + u"\\Top\\Locked"));
        CHECK_FALSE(scope.fake.RegKeyExists(HKEY_CURRENT_USER, kBase + u"\\Top\\A"));
        CHECK_FALSE(scope.fake.RegKeyExists(HKEY_CURRENT_USER, kBase + u"\\Top\\Z"));
        CHECK(scope.fake.OpenRegKeys() == 0);
    }

    TEST_CASE("DeleteKey stops after its bound of keys and fails") {
        FakeScope scope;
        for (const char16_t* leaf : {u"A\\1", u"A\\2", u"B\\1", u"B\\2", u"C\\1"})
            scope.fake.CreateRegKey(HKEY_CURRENT_USER, kBase + u"\\Top\\" + leaf);
        {
            TRegistry reg;
            CHECK_FALSE(reg.DeleteKey(kBase + u"\\Top", 5));  // Top and 8 keys below it
            CHECK(reg.LastError() != ERROR_SUCCESS);
            CHECK(scope.fake.RegKeyExists(HKEY_CURRENT_USER, kBase + u"\\Top"));
            CHECK(scope.fake.RegKeyExists(HKEY_CURRENT_USER, kBase + u"\\Top\\C\\1"));
            CHECK(reg.DeleteKey(kBase + u"\\Top"));  // the default bound is far above
        }
        CHECK_FALSE(scope.fake.RegKeyExists(HKEY_CURRENT_USER, kBase + u"\\Top"));
        CHECK(scope.fake.OpenRegKeys() == 0);
    }

    TEST_CASE("GetKeyNames lists the subkeys of the open key") {
        FakeScope scope;
        scope.fake.CreateRegKey(HKEY_CURRENT_USER, kBase + u"\\One");
        scope.fake.CreateRegKey(HKEY_CURRENT_USER, kBase + u"\\Two");
        TRegistry reg;
        CHECK(reg.GetKeyNames().empty());  // no key open
        REQUIRE(reg.OpenKey(kBase, false));
        auto names = reg.GetKeyNames();
        REQUIRE(names.size() == 2);
        CHECK(((names[0] == u"One" && names[1] == u"Two") ||
               (names[0] == u"Two" && names[1] == u"One")));
    }
}

TEST_SUITE("TRegistry values") {
    TEST_CASE("a value that is there but cannot be read raises the read error") {
        UnreadableValue fake;
        SetPlatform(&fake);
        fake.SetRegString(HKEY_CURRENT_USER, kBase, u"Text", u"abc");
        fake.SetRegBinary(HKEY_CURRENT_USER, kBase, u"Bytes", {1});
        {
            TRegistry reg;
            // without an open key, and for a value that is not there, nothing is raised
            fake.name = u"Text";
            CHECK(reg.ReadString(u"Text") == u"");
            REQUIRE(reg.OpenKey(kBase, false));
            CHECK(ErrorText([&] { (void)reg.ReadString(u"Text"); }) ==
                  u"Fehler beim Holen der Daten für 'Text'");
            std::uint8_t byte = 0;
            fake.name = u"Bytes";
            CHECK(ErrorText([&] { (void)reg.ReadBinaryData(u"Bytes", &byte, 1); }) ==
                  u"Fehler beim Holen der Daten für 'Bytes'");
            CHECK(reg.ReadString(u"Text") == u"abc");
            fake.name.clear();
            CHECK(reg.ReadBinaryData(u"Bytes", &byte, 1) == 1);
            CHECK(reg.ReadString(u"Missing") == u"");
            CHECK(reg.ReadBinaryData(u"Missing", &byte, 1) == 0);
        }
        CHECK(fake.OpenRegKeys() == 0);
        SetPlatform(nullptr);
    }

    TEST_CASE("text values end at the first NUL and stay unexpanded") {
        FakeScope scope;
        auto& f = scope.fake;
        f.SetRegValue(HKEY_CURRENT_USER, kBase, u"nul", REG_SZ, Utf16Bytes(u"ab\0cd"s, true));
        f.SetRegString(HKEY_CURRENT_USER, kBase, u"exp", u"%WINDIR%\\x", REG_EXPAND_SZ);
        f.SetRegValue(HKEY_CURRENT_USER, kBase, u"noterm", REG_SZ, Utf16Bytes(u"xyz", false));
        f.SetRegValue(HKEY_CURRENT_USER, kBase, u"empty", REG_SZ, {});
        f.SetRegValue(HKEY_CURRENT_USER, kBase, u"odd", REG_SZ, {'a', 0, 'b'});
        TRegistry reg;
        REQUIRE(reg.OpenKey(kBase, false));
        CHECK(reg.ReadString(u"nul") == u"ab");
        CHECK(reg.ReadString(u"exp") == u"%WINDIR%\\x");
        CHECK(reg.ReadString(u"noterm") == u"xyz");
        CHECK(reg.ReadString(u"empty") == u"");
        CHECK(reg.ReadString(u"absent") == u"");
        CHECK(reg.ReadString(u"odd") == u"a");
    }

    TEST_CASE("a text read of another type raises the invalid-type error") {
        FakeScope scope;
        scope.fake.SetRegDword(HKEY_CURRENT_USER, kBase, u"num", 5);
        scope.fake.SetRegBinary(HKEY_CURRENT_USER, kBase, u"bin", {1, 2});
        {
            TRegistry reg;
            REQUIRE(reg.OpenKey(kBase, false));
            CHECK(ErrorText([&] { reg.ReadString(u"num"); }) == u"Ungültiger Datentyp für 'num'");
            CHECK(ErrorText([&] { reg.ReadString(u"bin"); }) == u"Ungültiger Datentyp für 'bin'");
        }
        CHECK(scope.fake.OpenRegKeys() == 0);
    }

    TEST_CASE("WriteString stores REG_SZ with its terminating NUL") {
        FakeScope scope;
        TRegistry reg;
        REQUIRE(reg.OpenKey(kBase, true));
        reg.WriteString(u"t", u"Ä1");
        auto v = scope.fake.GetRegValue(HKEY_CURRENT_USER, kBase, u"t");
        REQUIRE(v);
        CHECK(v->type == REG_SZ);
        CHECK(v->data == std::vector<std::uint8_t>{0xC4, 0x00, '1', 0x00, 0x00, 0x00});
        reg.WriteString(u"e", u"");
        v = scope.fake.GetRegValue(HKEY_CURRENT_USER, kBase, u"e");
        REQUIRE(v);
        CHECK(v->data.size() == 2);
        CHECK(reg.ReadString(u"t") == u"Ä1");
    }

    TEST_CASE("binary data: read within the buffer, wrong types and sizes raise") {
        FakeScope scope;
        auto& f = scope.fake;
        f.SetRegBinary(HKEY_CURRENT_USER, kBase, u"two", {7, 8});
        f.SetRegValue(HKEY_CURRENT_USER, kBase, u"none", REG_NONE, {9});
        f.SetRegString(HKEY_CURRENT_USER, kBase, u"sz", u"x");
        f.SetRegDword(HKEY_CURRENT_USER, kBase, u"dw", 1);
        TRegistry reg;
        REQUIRE(reg.OpenKey(kBase, false));
        std::uint8_t buf[2] = {0, 0};
        CHECK(reg.ReadBinaryData(u"two", buf, 2) == 2);
        CHECK(buf[0] == 7);
        CHECK(buf[1] == 8);
        CHECK(reg.ReadBinaryData(u"none", buf, 2) == 1);
        CHECK(buf[0] == 9);
        CHECK(reg.ReadBinaryData(u"absent", buf, 2) == 0);
        CHECK(ErrorText([&] { reg.ReadBinaryData(u"two", buf, 1); }) ==
              u"Ungültiger Datentyp für 'two'");
        CHECK(ErrorText([&] { reg.ReadBinaryData(u"sz", buf, 2); }) ==
              u"Ungültiger Datentyp für 'sz'");
        CHECK(ErrorText([&] { reg.ReadBinaryData(u"dw", buf, 8); }) ==
              u"Ungültiger Datentyp für 'dw'");
    }

    TEST_CASE("WriteBinaryData replaces the stored type") {
        FakeScope scope;
        scope.fake.SetRegDword(HKEY_CURRENT_USER, kBase, u"flag", 1);
        TRegistry reg;
        REQUIRE(reg.OpenKey(kBase, false));
        const std::uint8_t one = 1;
        reg.WriteBinaryData(u"flag", &one, 1);
        auto v = scope.fake.GetRegValue(HKEY_CURRENT_USER, kBase, u"flag");
        REQUIRE(v);
        CHECK(v->type == REG_BINARY);
        CHECK(v->data == std::vector<std::uint8_t>{1});
    }

    TEST_CASE("writing without an open key raises the set-data error") {
        FakeScope scope;
        TRegistry reg;
        const std::uint8_t b = 1;
        CHECK(ErrorText([&] { reg.WriteBinaryData(u"x", &b, 1); }) ==
              u"Fehler beim Setzen der Daten für 'x'");
        CHECK(ErrorText([&] { reg.WriteString(u"y", u"v"); }) ==
              u"Fehler beim Setzen der Daten für 'y'");
        CHECK(reg.ReadString(u"y") == u"");
        CHECK_FALSE(reg.ValueExists(u"y"));
    }

    TEST_CASE("ValueExists, GetDataInfo and DeleteValue") {
        FakeScope scope;
        scope.fake.SetRegBinary(HKEY_CURRENT_USER, kBase, u"b", {1, 2, 3});
        TRegistry reg;
        REQUIRE(reg.OpenKey(kBase, false));
        CHECK(reg.ValueExists(u"b"));
        std::uint32_t type = 0, size = 0;
        REQUIRE(reg.GetDataInfo(u"b", &type, &size));
        CHECK(type == REG_BINARY);
        CHECK(size == 3);
        CHECK(reg.DeleteValue(u"b"));
        CHECK_FALSE(reg.ValueExists(u"b"));
        CHECK_FALSE(reg.GetDataInfo(u"b", &type, &size));
        CHECK_FALSE(reg.DeleteValue(u"b"));
    }
}
