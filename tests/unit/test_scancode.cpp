// The scancode map: the record operations, the binary value, the export file and the
// registry operations of TScancodeMap against the fake registry.
#include <doctest/doctest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "FakePlatform.h"
#include "common/VtError.h"
#include "setup/VtConfig.Common.h"

using namespace vt;

namespace {

const std::u16string kLayout = u"SYSTEM\\CurrentControlSet\\Control\\Keyboard Layout";

// One mapping of 0x3A to 0x5D, as the driver stores it.
const std::vector<std::uint8_t> kExample = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                            0x00, 0x02, 0x00, 0x00, 0x00, 0x5D, 0x00,
                                            0x3A, 0x00, 0x00, 0x00, 0x00, 0x00};

std::vector<std::uint8_t> MapBytes(std::uint32_t h1, std::uint32_t h2, std::uint32_t count,
                                   const std::vector<std::uint32_t>& entries) {
    std::vector<std::uint8_t> out;
    for (std::uint32_t w : {h1, h2, count})
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(w >> (8 * i)));
    for (std::uint32_t w : entries)
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(w >> (8 * i)));
    return out;
}

std::string ReadFileBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::uint8_t> StoredValue(FakePlatform& fake, const std::u16string& name) {
    auto v = fake.GetRegValue(HKEY_LOCAL_MACHINE, kLayout, name);
    REQUIRE(v.has_value());
    return v->data;
}

}  // namespace

TEST_SUITE("scancode map records") {
    TEST_CASE("AddMapping on an empty map gives the mapping and a terminator") {
        RScancodeMap map;
        InitMap(map, 0);
        AddMapping(map, 0x3A, 0x5D);
        CHECK(map.len == 2);
        REQUIRE(map.a.size() == 2);
        CHECK(map.a[0].oldVal == 0x3A);
        CHECK(map.a[0].newVal == 0x5D);
        CHECK(map.a[0].dw() == 0x003A005Du);
        CHECK(map.a[1].dw() == 0);
        CHECK(HasTerminator(map));

        AddMapping(map, 0x46, 0x62);  // each further one takes the terminator's place
        CHECK(map.len == 3);
        REQUIRE(map.a.size() == 3);
        CHECK(map.a[0].oldVal == 0x3A);
        CHECK(map.a[1].oldVal == 0x46);
        CHECK(map.a[1].newVal == 0x62);
        CHECK(map.a[2].dw() == 0);
    }

    TEST_CASE("AddMapping on a map without terminator appends and terminates") {
        RScancodeMap map;
        std::vector<std::uint8_t> bytes = MapBytes(0, 0, 1, {0x001D003Au});
        LoadMap(map, bytes.data(), bytes.size());
        REQUIRE(map.len == 1);
        CHECK_FALSE(HasTerminator(map));
        AddMapping(map, 0x46, 0x62);
        CHECK(map.len == 3);
        REQUIRE(map.a.size() == 3);
        CHECK(map.a[0].dw() == 0x001D003Au);
        CHECK(map.a[1].oldVal == 0x46);
        CHECK(map.a[2].dw() == 0);
    }

    TEST_CASE("adding the same key twice keeps both entries") {
        RScancodeMap map;
        AddMapping(map, 0x3A, 0x5D);
        AddMapping(map, 0x3A, 0x01);
        CHECK(map.len == 3);
        CHECK(map.a[0].newVal == 0x5D);
        CHECK(map.a[1].newVal == 0x01);
    }

    TEST_CASE("InitMap clears the header and resizes with zero entries") {
        RScancodeMap map;
        map.dummy[0] = 7;
        map.dummy[1] = 9;
        AddMapping(map, 0x3A, 0x5D);
        InitMap(map, 4);
        CHECK(map.dummy[0] == 0);
        CHECK(map.dummy[1] == 0);
        CHECK(map.len == 4);
        REQUIRE(map.a.size() == 4);
        CHECK(map.a[0].oldVal == 0x3A);  // a resize keeps what is there
        CHECK(map.a[2].dw() == 0);
        CHECK(map.a[3].dw() == 0);
        CHECK(EntryBytes(map) == 16);
        CHECK(MapSize(map) == 28);
        InitMap(map, 0);
        CHECK(map.a.empty());
        CHECK(MapSize(map) == 12);
        CHECK_FALSE(HasTerminator(map));
    }

    TEST_CASE("the one-mapping example is stored as its 20 bytes and loads back") {
        RScancodeMap map;
        AddMapping(map, 0x3A, 0x5D);
        CHECK(StoreMap(map) == kExample);

        RScancodeMap back;
        LoadMap(back, kExample.data(), kExample.size());
        CHECK(back.len == 2);
        REQUIRE(back.a.size() == 2);
        CHECK(back.a[0].oldVal == 0x3A);
        CHECK(back.a[0].newVal == 0x5D);
        CHECK(StoreMap(back) == kExample);
    }

    TEST_CASE("LoadMap takes the header words over and keeps extended scan codes") {
        std::vector<std::uint8_t> bytes =
            MapBytes(0x11223344u, 0x55667788u, 3, {0xE01D003Au, 0x00460062u, 0});
        RScancodeMap map;
        LoadMap(map, bytes.data(), bytes.size());
        CHECK(map.dummy[0] == 0x11223344u);
        CHECK(map.dummy[1] == 0x55667788u);
        CHECK(map.len == 3);
        CHECK(map.a[0].oldVal == 0xE01D);
        CHECK(map.a[0].newVal == 0x003A);
        CHECK(StoreMap(map) == bytes);
    }

    TEST_CASE("LoadMap never reads past the bytes it is given") {
        RScancodeMap map;
        SUBCASE("a count above the entries present loads those present") {
            std::vector<std::uint8_t> bytes = MapBytes(0, 0, 5, {0x003A005Du, 0});
            LoadMap(map, bytes.data(), bytes.size());
            CHECK(map.len == 2);
            CHECK(map.a.size() == 2);
        }
        SUBCASE("a huge count") {
            std::vector<std::uint8_t> bytes = MapBytes(0, 0, 0x7FFFFFFF, {0x003A005Du});
            LoadMap(map, bytes.data(), bytes.size());
            CHECK(map.len == 1);
        }
        SUBCASE("a negative count loads nothing") {
            std::vector<std::uint8_t> bytes = MapBytes(0, 0, 0xFFFFFFFF, {0x003A005Du});
            LoadMap(map, bytes.data(), bytes.size());
            CHECK(map.len == 0);
            CHECK(map.a.empty());
        }
        SUBCASE("a partial last entry is left out") {
            std::vector<std::uint8_t> bytes = MapBytes(0, 0, 2, {0x003A005Du});
            bytes.push_back(0x12);
            bytes.push_back(0x34);
            LoadMap(map, bytes.data(), bytes.size());
            CHECK(map.len == 1);
        }
        SUBCASE("fewer bytes than a header") {
            std::vector<std::uint8_t> bytes = {1, 0, 0, 0, 2};
            LoadMap(map, bytes.data(), bytes.size());
            CHECK(map.dummy[0] == 1);
            CHECK(map.dummy[1] == 2);
            CHECK(map.len == 0);
        }
        SUBCASE("no bytes at all") {
            LoadMap(map, nullptr, 0);
            CHECK(map.len == 0);
        }
    }

    TEST_CASE("HexBytes and MapToHex") {
        const std::uint8_t bytes[] = {0x00, 0x5D, 0xE0, 0xFF};
        CHECK(HexBytes(bytes, 4) == u"00,5D,E0,FF,");
        CHECK(HexBytes(bytes, 0) == u"");

        RScancodeMap map;
        AddMapping(map, 0x3A, 0x5D);
        CHECK(MapToHex(map) == u"00,00,00,00,00,00,00,00,02,00,00,00,5D,00,3A,00,00,00,00,00");

        RScancodeMap empty;
        CHECK(MapToHex(empty) == u"00,00,00,00,00,00,00,00,00,00,00,00");

        RScancodeMap ext;
        ext.dummy[0] = 0x01020304;
        AddMapping(ext, 0xE01D, 0xE11D);
        CHECK(MapToHex(ext) == u"04,03,02,01,00,00,00,00,02,00,00,00,1D,E1,1D,E0,00,00,00,00");
    }

    TEST_CASE("ScanCodeOf asks the layout with the extended prefix") {
        FakeScope scope;
        CHECK(ScanCodeOf(VK_CAPITAL) == 0x3A);
        CHECK(ScanCodeOf(VK_EREOF) == 0x5D);
        CHECK(ScanCodeOf(VK_RCONTROL) == 0xE01D);
        CHECK(ScanCodeOf(0x07) == 0);
    }
}

TEST_SUITE("scancode map export file") {
    TEST_CASE("the .reg text has the four lines with CR LF, byte for byte") {
        RScancodeMap map;
        AddMapping(map, 0x3A, 0x5D);
        const std::string expected =
            "Windows Registry Editor Version 5.00\r\n"
            "\r\n"
            "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Keyboard Layout]\r\n"
            "\"Scancode Map\"=hex:00,00,00,00,00,00,00,00,02,00,00,00,5D,00,3A,00,00,00,00,00\r\n";
        CHECK(RegFileText(map) == expected);
    }

    TEST_CASE("SaveToRegFile writes the text unchanged and overwrites an older file") {
        auto dir = std::filesystem::temp_directory_path() / "vt_setup_regfile";
        std::filesystem::create_directories(dir);
        auto file = dir / "map.reg";
        {
            std::ofstream old(file, std::ios::binary);
            old << std::string(500, 'x');
        }
        TScancodeMap map;
        map.SaveToRegFile(ToU16(file.string()));
        const std::string expected =
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Keyboard Layout]\r\n"
            "\"Scancode Map\"=hex:00,00,00,00,00,00,00,00,00,00,00,00\r\n";
        CHECK(ReadFileBytes(file) == expected);

        AddMapping(*map.MapPtr(), 0x46, 0x62);
        map.SaveToRegFile(ToU16(file.string()));
        CHECK(
            ReadFileBytes(file) ==
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Keyboard Layout]\r\n"
            "\"Scancode Map\"=hex:00,00,00,00,00,00,00,00,02,00,00,00,62,00,46,00,00,00,00,00\r\n");
        std::filesystem::remove_all(dir);
    }

    TEST_CASE("a file that cannot be created raises an error naming it") {
        TScancodeMap map;
        auto missing = std::filesystem::temp_directory_path() / "vt_no_such_dir_42" / "x.reg";
        std::u16string name = ToU16(missing.string());
        try {
            map.SaveToRegFile(name);
            FAIL("no error raised");
        } catch (const EVtError& e) {
            CHECK(e.Message().find(name) != std::u16string::npos);
        }
    }
}

TEST_SUITE("scancode map in the registry") {
    TEST_CASE("ReadFromRegistry of an absent value is false with an empty map") {
        FakeScope scope;
        scope.fake.CreateRegKey(HKEY_LOCAL_MACHINE, kLayout);
        TScancodeMap map;
        CHECK_FALSE(map.ReadFromRegistry());
        CHECK(map.MapPtr()->len == 0);
        CHECK(map.MapPtr()->a.empty());
        CHECK(scope.fake.OpenRegKeys() == 0);
    }

    TEST_CASE("ReadFromRegistry raises an OS error when the key is missing") {
        FakeScope scope;
        TScancodeMap map;
        CHECK_THROWS_AS((void)map.ReadFromRegistry(), EOSError);
        CHECK(scope.fake.OpenRegKeys() == 0);
    }

    TEST_CASE("ReadFromRegistry loads a stored value") {
        FakeScope scope;
        scope.fake.SetRegBinary(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map", kExample);
        TScancodeMap map;
        REQUIRE(map.ReadFromRegistry());
        CHECK(map.MapPtr()->len == 2);
        CHECK(StoreMap(*map.MapPtr()) == kExample);
    }

    TEST_CASE("ReadFromRegistry never reads past the value") {
        FakeScope scope;
        TScancodeMap map;
        SUBCASE("a count above what the value holds") {
            scope.fake.SetRegBinary(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map",
                                    MapBytes(0, 0, 9, {0x003A005Du, 0}));
            REQUIRE(map.ReadFromRegistry());
            CHECK(map.MapPtr()->len == 2);
        }
        SUBCASE("a count above 255 in a full-size value") {
            std::vector<std::uint32_t> entries(255, 0x00010002u);
            scope.fake.SetRegBinary(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map",
                                    MapBytes(0, 0, 4000, entries));
            REQUIRE(map.ReadFromRegistry());
            CHECK(map.MapPtr()->len == 255);
            CHECK(map.MapPtr()->a.size() == 255);
        }
        SUBCASE("a value larger than 1032 bytes is refused") {
            std::vector<std::uint32_t> entries(256, 0x00010002u);
            scope.fake.SetRegBinary(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map",
                                    MapBytes(0, 0, 256, entries));
            CHECK_THROWS_WITH_AS((void)map.ReadFromRegistry(),
                                 "Ungültiger Datentyp für 'Scancode Map'", ERegistryException);
        }
        SUBCASE("a value of a text type is refused") {
            scope.fake.SetRegString(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map", u"3A");
            CHECK_THROWS_AS((void)map.ReadFromRegistry(), ERegistryException);
        }
        CHECK(scope.fake.OpenRegKeys() == 0);
    }

    TEST_CASE("reading needs read access only; writing needs full access") {
        FakeScope scope;
        scope.fake.SetRegBinary(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map", kExample);
        scope.fake.ProtectRegKey(HKEY_LOCAL_MACHINE, kLayout);
        TScancodeMap map;
        CHECK(map.ReadFromRegistry());
        CHECK_FALSE(map.SaveToRegistry());
        CHECK_FALSE(map.DeleteFromRegistry());
        CHECK_FALSE(map.AlreadyExists(u"Scancode Map"));
        CHECK_FALSE(map.SaveBackup());
        CHECK(StoredValue(scope.fake, u"Scancode Map") == kExample);
    }

    TEST_CASE("no operation creates the key") {
        FakeScope scope;
        TScancodeMap map;
        AddMapping(*map.MapPtr(), 0x3A, 0x5D);
        CHECK_FALSE(map.SaveToRegistry());
        CHECK_FALSE(map.DeleteFromRegistry());
        CHECK_FALSE(map.AlreadyExists(u"Scancode Map"));
        CHECK_FALSE(map.SaveBackup());
        CHECK_FALSE(map.RestoreBackup());
        CHECK_FALSE(scope.fake.RegKeyExists(HKEY_LOCAL_MACHINE, kLayout));
    }

    TEST_CASE("SaveToRegistry writes the map as REG_BINARY") {
        FakeScope scope;
        scope.fake.CreateRegKey(HKEY_LOCAL_MACHINE, kLayout);
        TScancodeMap map;
        AddMapping(*map.MapPtr(), 0x3A, 0x5D);
        CHECK(map.SaveToRegistry());
        auto v = scope.fake.GetRegValue(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map");
        REQUIRE(v.has_value());
        CHECK(v->type == REG_BINARY);
        CHECK(v->data == kExample);
        CHECK(map.AlreadyExists(u"Scancode Map"));
        CHECK(map.SaveToRegistry(u"Other"));
        CHECK(StoredValue(scope.fake, u"Other") == kExample);
        CHECK(scope.fake.OpenRegKeys() == 0);
    }

    TEST_CASE("DeleteFromRegistry removes the value; an absent value counts as success") {
        FakeScope scope;
        scope.fake.SetRegBinary(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map", kExample);
        TScancodeMap map;
        CHECK(map.DeleteFromRegistry());
        CHECK_FALSE(scope.fake.GetRegValue(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map"));
        CHECK(map.DeleteFromRegistry());
    }

    TEST_CASE("SaveBackup keeps the stored map, once, and never overwrites it") {
        FakeScope scope;
        const std::vector<std::uint8_t> original = MapBytes(0, 0, 2, {0x001D003Au, 0});
        scope.fake.SetRegBinary(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map", original);
        TScancodeMap map;
        AddMapping(*map.MapPtr(), 0x3A, 0x5D);
        CHECK(TScancodeMap::BackupValueName() == u"Vantor Backup Scancode Map");

        REQUIRE(map.SaveBackup());
        auto backup =
            scope.fake.GetRegValue(HKEY_LOCAL_MACHINE, kLayout, u"Vantor Backup Scancode Map");
        REQUIRE(backup.has_value());
        CHECK(backup->data == original);  // the user's map, not the one about to replace it
        CHECK(backup->type == REG_BINARY);

        REQUIRE(map.SaveToRegistry());
        CHECK_FALSE(map.SaveBackup());  // a second run leaves the backup alone
        CHECK(StoredValue(scope.fake, u"Vantor Backup Scancode Map") == original);
        CHECK(StoredValue(scope.fake, u"Scancode Map") == kExample);
    }

    TEST_CASE("SaveBackup never takes a map of its own; a backup holding one counts as none") {
        FakeScope scope;
        const std::vector<std::uint8_t> user = MapBytes(0, 0, 2, {0x001D003Au, 0});
        std::vector<std::vector<std::uint8_t>> own;
        for (auto [caps, scroll] : {std::pair{true, false}, {false, true}, {true, true}}) {
            RScancodeMap m;
            AddToolMappings(m, caps, scroll);
            own.push_back(StoreMap(m));
        }
        auto backup = [&] {
            return scope.fake.GetRegValue(HKEY_LOCAL_MACHINE, kLayout,
                                          u"Vantor Backup Scancode Map");
        };
        for (const auto& map : own) {
            scope.fake.SetRegBinary(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map", map);
            scope.fake.SetRegBinary(HKEY_LOCAL_MACHINE, kLayout, u"Vantor Backup Scancode Map",
                                    own[0]);
            TScancodeMap m;
            CHECK_FALSE(m.SaveBackup());  // ours over ours: nothing of the user's to keep
            CHECK(backup()->data == own[0]);
            scope.fake.SetRegBinary(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map", user);
            scope.fake.SetRegBinary(HKEY_LOCAL_MACHINE, kLayout, u"Vantor Backup Scancode Map",
                                    map);
            CHECK(m.SaveBackup());  // the user's map replaces ours in the backup
            CHECK(backup()->data == user);
            CHECK_FALSE(m.SaveBackup());
        }
        // the same bytes of another type were not written by us
        scope.fake.SetRegValue(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map", REG_NONE, own[0]);
        scope.fake.SetRegValue(HKEY_LOCAL_MACHINE, kLayout, u"Vantor Backup Scancode Map",
                               REG_BINARY, own[1]);
        TScancodeMap m;
        CHECK(m.SaveBackup());
        CHECK(backup()->type == REG_NONE);
        CHECK(scope.fake.OpenRegKeys() == 0);
    }

    TEST_CASE("SaveBackup without a stored map writes nothing") {
        FakeScope scope;
        scope.fake.CreateRegKey(HKEY_LOCAL_MACHINE, kLayout);
        TScancodeMap map;
        AddMapping(*map.MapPtr(), 0x3A, 0x5D);
        CHECK_FALSE(map.SaveBackup());
        CHECK_FALSE(
            scope.fake.GetRegValue(HKEY_LOCAL_MACHINE, kLayout, u"Vantor Backup Scancode Map"));
    }

    TEST_CASE("RestoreBackup copies the backup back") {
        FakeScope scope;
        const std::vector<std::uint8_t> original = MapBytes(0, 0, 2, {0x001D003Au, 0});
        scope.fake.SetRegBinary(HKEY_LOCAL_MACHINE, kLayout, u"Vantor Backup Scancode Map",
                                original);
        scope.fake.SetRegBinary(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map", kExample);
        TScancodeMap map;
        CHECK(map.RestoreBackup());
        CHECK(StoredValue(scope.fake, u"Scancode Map") == original);
        CHECK(StoredValue(scope.fake, u"Vantor Backup Scancode Map") == original);
    }

    TEST_CASE("RestoreBackup without a backup reports failure and changes nothing") {
        FakeScope scope;
        scope.fake.SetRegBinary(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map", kExample);
        TScancodeMap map;
        CHECK_FALSE(map.RestoreBackup());
        CHECK(StoredValue(scope.fake, u"Scancode Map") == kExample);
    }
}

TEST_SUITE("scancode map: back to the map from before") {
    // The tool's maps with the fake's layout (Caps Lock 3A, Scroll Lock 46).
    const std::vector<std::uint8_t> kCaps = MapBytes(0, 0, 2, {0x003A005Du, 0});
    const std::vector<std::uint8_t> kScroll = MapBytes(0, 0, 2, {0x00460062u, 0});
    const std::vector<std::uint8_t> kUser = MapBytes(0, 0, 2, {0x001D003Au, 0});

    std::optional<std::vector<std::uint8_t>> Value(FakePlatform & fake,
                                                   const std::u16string& name) {
        auto v = fake.GetRegValue(HKEY_LOCAL_MACHINE, kLayout, name);
        if (!v) return std::nullopt;
        return v->data;
    }

    TEST_CASE("RemoveOwnMap in every state of the two values") {
        struct Case {
            const char* name;
            std::optional<std::vector<std::uint8_t>> map, backup;
            TScancodeMap::ERemoveResult result;
            std::optional<std::vector<std::uint8_t>> mapAfter, backupAfter;
        };
        for (const Case& c : {
                 Case{"nothing stored", {}, {}, TScancodeMap::MAP_NONE, {}, {}},
                 Case{"ours, no backup", kCaps, {}, TScancodeMap::MAP_REMOVED, {}, {}},
                 Case{
                     "ours over the user's", kScroll, kUser, TScancodeMap::MAP_RESTORED, kUser, {}},
                 Case{"ours, a backup of ours", kCaps, kScroll, TScancodeMap::MAP_REMOVED, {}, {}},
                 Case{"gone, the user's backup left",
                      {},
                      kUser,
                      TScancodeMap::MAP_RESTORED,
                      kUser,
                      {}},
                 Case{"someone else's map", kUser, {}, TScancodeMap::MAP_FOREIGN, kUser, {}},
                 Case{"someone else's map over a backup", kUser, kCaps, TScancodeMap::MAP_FOREIGN,
                      kUser, kCaps},
                 Case{"ours with one byte more is not ours",
                      [&] {
                          auto v = kCaps;
                          v.push_back(0);
                          return v;
                      }(),
                      kUser, TScancodeMap::MAP_FOREIGN,
                      [&] {
                          auto v = kCaps;
                          v.push_back(0);
                          return v;
                      }(),
                      kUser},
             }) {
            CAPTURE(c.name);
            FakeScope scope;
            scope.fake.CreateRegKey(HKEY_LOCAL_MACHINE, kLayout);
            if (c.map)
                scope.fake.SetRegBinary(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map", *c.map);
            if (c.backup)
                scope.fake.SetRegBinary(HKEY_LOCAL_MACHINE, kLayout, u"Vantor Backup Scancode Map",
                                        *c.backup);
            TScancodeMap map;
            CHECK(map.StoredMapIsOwn() == (c.map && (*c.map == kCaps || *c.map == kScroll)));
            CHECK(map.RemoveOwnMap() == c.result);
            CHECK(Value(scope.fake, u"Scancode Map") == c.mapAfter);
            CHECK(Value(scope.fake, u"Vantor Backup Scancode Map") == c.backupAfter);
            if (c.mapAfter && c.mapAfter == c.backup)
                CHECK(scope.fake.GetRegValue(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map")->type ==
                      REG_BINARY);
            CHECK(scope.fake.OpenRegKeys() == 0);
        }
    }

    TEST_CASE("RemoveOwnMap fails without the key or the rights, and changes nothing") {
        FakeScope scope;
        TScancodeMap map;
        CHECK(map.RemoveOwnMap() == TScancodeMap::MAP_FAILED);
        scope.fake.SetRegBinary(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map", kCaps);
        scope.fake.ProtectRegKey(HKEY_LOCAL_MACHINE, kLayout);
        CHECK(map.RemoveOwnMap() == TScancodeMap::MAP_FAILED);
        CHECK(Value(scope.fake, u"Scancode Map") == kCaps);
    }
}
