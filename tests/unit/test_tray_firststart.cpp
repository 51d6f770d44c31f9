// What the tray program sets up for the person it runs as (sound events, the autostart
// value at the first start), and what the page "Erweitert" says "Tasten umbelegen…" will
// do to the machine's map.
#include <doctest/doctest.h>

#include "FakePlatform.h"
#include "common/Vantor.Utils.h"
#include "tray/Settings.Remap.h"
#include "tray/Vantor32.h"

using namespace vt;

namespace {

const std::u16string kExe = u"C:\\Tools\\Vantor32\\Vantor32.exe";
const std::u16string kRun = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::u16string kLayout = u"SYSTEM\\CurrentControlSet\\Control\\Keyboard Layout";

struct UserFixture : FakeScope {
    UserFixture() {
        VantorCommonInit();
        VantorUtilsInit();
    }
    ~UserFixture() {
        VantorUtilsDone();
        VantorCommonDone();
    }
    void Machine(std::uint32_t autostart) {
        fake.SetRegValue(HKEY_LOCAL_MACHINE, kMachineKey, kMachineAutostartValue, REG_DWORD,
                         {static_cast<std::uint8_t>(autostart), 0, 0, 0});
    }
    bool RunValue() { return fake.GetRegValue(HKEY_CURRENT_USER, kRun, kRunValue).has_value(); }
};

std::vector<std::uint8_t> Map(std::initializer_list<std::uint32_t> entries) {
    std::vector<std::uint8_t> out(8, 0);
    const auto count = static_cast<std::uint32_t>(entries.size() + 1);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(count >> (8 * i)));
    for (std::uint32_t e : entries)
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(e >> (8 * i)));
    out.insert(out.end(), 4, 0);
    return out;
}

}  // namespace

TEST_SUITE("tray first start") {
    TEST_CASE("the step of a first start") {
        CHECK(FirstStartStep(false, false, true) == FIRST_START_AUTOSTART);
        CHECK(FirstStartStep(false, false, false) == FIRST_START_MARK);
        CHECK(FirstStartStep(false, true, true) == FIRST_START_MARK);  // a user of before
        CHECK(FirstStartStep(true, false, true) == FIRST_START_DONE);
        CHECK(FirstStartStep(false, false, std::nullopt) == FIRST_START_DONE);  // not installed
    }

    TEST_CASE("the first start after an installation that chose it writes the autostart, once") {
        UserFixture f;
        f.Machine(1);
        CHECK(SetUpUser(kExe));
        auto run = f.fake.GetRegValue(HKEY_CURRENT_USER, kRun, kRunValue);
        REQUIRE(run);
        CHECK(run->data.size() == (kExe.size() + 3) * 2);  // quoted, with its NUL
        CHECK(f.fake.GetRegValue(HKEY_CURRENT_USER, kSchemeKey + u"\\Ein\\.current", u""));
        // switched off in the menu: the next start leaves it off
        CHECK(SetAutostart(false, kExe));
        CHECK(SetUpUser(kExe));
        CHECK_FALSE(f.RunValue());
    }

    TEST_CASE("no autostart when the installation chose none, or without an installation") {
        for (int machine : {0, -1}) {
            CAPTURE(machine);
            UserFixture f;
            if (machine >= 0) f.Machine(static_cast<std::uint32_t>(machine));
            CHECK(SetUpUser(kExe));
            CHECK_FALSE(f.RunValue());
            // the sound events are registered all the same
            CHECK(f.fake.RegKeyExists(HKEY_CURRENT_USER, kEventLabelsKey + u"\\Ein"));
            // Installed later, or chosen later: the sound events of that first start tell
            // of a person who has made their own choice in the menu by now.
            f.Machine(1);
            CHECK(SetUpUser(kExe));
            CHECK_FALSE(f.RunValue());
        }
    }

    TEST_CASE("someone who ran an earlier version keeps their own choice") {
        UserFixture f;
        f.Machine(1);
        f.fake.CreateRegKey(HKEY_CURRENT_USER, kSchemeKey + u"\\Ein");
        CHECK(SetUpUser(kExe));
        CHECK_FALSE(f.RunValue());
        CHECK(f.fake.GetRegValue(HKEY_CURRENT_USER, u"Software\\Quellmark\\Vantor32",
                                 kUserSetUpValue));
    }
}

TEST_SUITE("settings: what the remap will do") {
    // The tool's maps with the fake's layout: Caps Lock 3A to 5D, Scroll Lock 46 to 62.
    const std::uint32_t kCapsEntry = 0x003A005D, kScrollEntry = 0x00460062;

    TEST_CASE("each case says what /M with the boxes will do") {
        const auto caps = Map({kCapsEntry});
        const auto both = Map({kCapsEntry, kScrollEntry});
        const auto user = Map({0x003A001D});
        FakeScope scope;
        CHECK(IsToolRemap(caps));
        CHECK(IsToolRemap(Map({kScrollEntry})));
        CHECK(IsToolRemap(both));
        CHECK_FALSE(IsToolRemap(Map({kScrollEntry, kCapsEntry})));
        CHECK_FALSE(IsToolRemap(user));

        RRemapStore none;
        RRemapStore own{caps, true, false, false};
        RRemapStore ownOverUser{both, true, true, false};
        RRemapStore foreign{user, true, false, false};
        RRemapStore foreignWithBackup{user, true, true, false};
        RRemapStore onlyBackup{std::nullopt, true, true, false};
        const std::u16string lead = u"„Tasten umbelegen…“ ";
        CHECK(RemapPlanText(none, false, false) ==
              lead + u"ändert nichts: Keine Taste ist umbelegt.");
        CHECK(RemapPlanText(own, false, false) == lead + u"hebt die Umbelegung von Vantor32 auf.");
        CHECK(RemapPlanText(ownOverUser, false, false) ==
              lead +
                  u"hebt die Umbelegung von Vantor32 auf und stellt die Belegung von vorher "
                  u"wieder her.");
        CHECK(RemapPlanText(onlyBackup, false, false) ==
              lead + u"stellt die Belegung von vorher wieder her.");
        CHECK(RemapPlanText(foreign, false, false) ==
              lead +
                  u"ändert nichts: Die Umbelegung auf diesem Computer stammt nicht von "
                  u"Vantor32 und bleibt.");
        CHECK(RemapPlanText(none, true, false) == lead + u"schaltet CAPSLOCK aus.");
        CHECK(RemapPlanText(own, true, true) == lead + u"schaltet CAPSLOCK und ROLLEN aus.");
        CHECK(RemapPlanText(foreign, false, true) ==
              lead +
                  u"schaltet ROLLEN aus; die Umbelegung, die es schon gibt, wird aufbewahrt "
                  u"und kommt mit der Aufhebung zurück.");
        CHECK(RemapPlanText(foreignWithBackup, true, false) ==
              lead +
                  u"schaltet CAPSLOCK aus und ersetzt die Umbelegung, die es schon gibt (sie "
                  u"stammt nicht von Vantor32).");
        // a backup of the tool's own map is no map from before
        RRemapStore ownBackup{caps, true, true, true};
        CHECK(RemapPlanText(ownBackup, false, false) ==
              lead + u"hebt die Umbelegung von Vantor32 auf.");
    }

    TEST_CASE("the machine's values as the page reads them") {
        FakeScope scope;
        CHECK_FALSE(ReadRemapStore().map);
        scope.fake.SetRegBinary(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map", Map({kCapsEntry}));
        scope.fake.SetRegBinary(HKEY_LOCAL_MACHINE, kLayout, u"Vantor Backup Scancode Map",
                                Map({kScrollEntry}));
        RRemapStore store = ReadRemapStore();
        REQUIRE(store.map);
        CHECK(IsToolRemap(*store.map));
        CHECK(store.backup);
        CHECK(store.backupIsOwn);
        // a text where a map belongs is no map of the tool's
        scope.fake.SetRegString(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map", u"x");
        store = ReadRemapStore();
        REQUIRE(store.map);
        CHECK_FALSE(store.mapIsBinary);
        CHECK(RemapPlanText(store, false, false).find(u"stammt nicht von Vantor32") !=
              std::u16string::npos);
        CHECK(scope.fake.OpenRegKeys() == 0);
    }
}
