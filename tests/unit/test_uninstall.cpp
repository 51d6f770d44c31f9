// The uninstall action and the choice its dialog hands over.
#include <doctest/doctest.h>

#include <map>

#include "FakePlatform.h"
#include "common/Vantor.Utils.h"
#include "common/VtError.h"
#include "setup/VtConfig.UnInstU.h"
#include "setup/VtInst.h"

using namespace vt;

namespace {

const std::u16string kLayout = u"SYSTEM\\CurrentControlSet\\Control\\Keyboard Layout";
const std::u16string kProduct = u"Software\\Quellmark\\Vantor32";

struct UninstallScope {
    FakeScope scope;
    FakePlatform& fake = scope.fake;
    HWnd host = 0;
    UninstallScope() {
        host = fake.AddWindow(u"Vantor32", u"Vantor32");
        SetupModulesInit(u"C:\\VtInst.exe");
    }
    ~UninstallScope() {
        SetupModulesDone();
        QuietMode = false;
        RegRoot = HKEY_CURRENT_USER;
    }
};

// Everything the system keeps for one user, below prefix (a hive name and a backslash,
// or nothing for HKEY_CURRENT_USER).
void FillProfile(FakePlatform& fake, HKey root, const std::u16string& prefix) {
    const std::u16string p = prefix + kProduct + u"\\";
    fake.SetRegBinary(root, p + u"Settings", u"Vantor eingeschaltet", {1});
    fake.SetRegString(root, p + u"Settings\\Speaker", u"1", u"440,100,1,0");
    fake.SetRegString(root, p + u"Macros\\AltGr", u"00080045", u"€");
    fake.SetRegString(root, p + u"Macros\\Umlaut\\Ascii", u"00000000", u"ae");
    fake.SetRegString(root, p + u"Macros\\Umlaut\\HTML", u"00000000", u"&auml;");
    fake.SetRegString(root, p + u"Macros\\Other", u"x", u"y");
    fake.SetRegString(root, p + u"Extra", u"x", u"y");
    fake.SetRegString(root, prefix + u"AppEvents\\Schemes\\Apps\\Vantor32\\Event1\\.current", u"",
                      u"ding.wav");
    fake.SetRegBinary(root, prefix + u"Control Panel\\Input Method", u"EnableHexNumpad", {'1', 0});
    fake.SetRegString(root, prefix + u"Control Panel\\Input Method", u"Keep", u"1");
}

void FillMachine(FakePlatform& fake) {
    fake.SetRegBinary(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map",
                      {0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0x5D, 0, 0x3A, 0, 0, 0, 0, 0});
    fake.SetRegBinary(HKEY_LOCAL_MACHINE, kLayout, u"Vantor Backup Scancode Map", {9});
}

TUnInstOptions Flags(std::initializer_list<EnumUnInstOptions> members) {
    TUnInstOptions o;
    for (auto m : members) o.Include(m);
    return o;
}

// What must be left of a profile after an uninstall with flags.
void CheckProfileAfter(FakePlatform& fake, HKey root, const std::u16string& prefix,
                       TUnInstOptions flags) {
    const std::u16string p = prefix + kProduct + u"\\";
    const bool settings = flags.Has(UNINST_SETTINGS), sound = flags.Has(UNINST_SOUND),
               macros = flags.Has(UNINST_MACROS);
    CHECK(fake.RegKeyExists(root, p + u"Settings") == !settings);
    CHECK(fake.RegKeyExists(root, p + u"Settings\\Speaker") == !settings);
    CHECK(fake.RegKeyExists(root, prefix + u"AppEvents\\Schemes\\Apps\\Vantor32") == !sound);
    CHECK(fake.RegKeyExists(root, prefix + u"AppEvents\\Schemes\\Apps"));
    CHECK(fake.RegKeyExists(root, p + u"Macros\\AltGr") == !macros);
    CHECK(fake.RegKeyExists(root, p + u"Macros\\Umlaut") == !macros);
    CHECK(fake.RegKeyExists(root, p + u"Macros") == !macros);
    CHECK(fake.RegKeyExists(root, prefix + kProduct) == !(settings && macros));
    CHECK(fake.RegKeyExists(root, p + u"Extra") == !(settings && macros));
    // whatever was chosen, the tool's map goes and the one from before is back
    auto map = fake.GetRegValue(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map");
    REQUIRE(map.has_value());
    CHECK(map->data == std::vector<std::uint8_t>{9});
    CHECK_FALSE(fake.GetRegValue(HKEY_LOCAL_MACHINE, kLayout, u"Vantor Backup Scancode Map"));
    if (!settings) {
        auto main = fake.GetRegValue(root, p + u"Settings", u"Vantor eingeschaltet");
        REQUIRE(main.has_value());
        CHECK(main->data == std::vector<std::uint8_t>{0});
    }
    CHECK_FALSE(
        fake.GetRegValue(root, prefix + u"Control Panel\\Input Method", u"EnableHexNumpad"));
    CHECK(fake.GetRegValue(root, prefix + u"Control Panel\\Input Method", u"Keep"));
}

// A fake that logs, in call order, the keys deleted from a root and the values deleted,
// and that can refuse every open of one key below HKEY_CURRENT_USER (a key whose access
// list denies reading still exists).
class RecordingPlatform : public FakePlatform {
public:
    std::vector<std::u16string> log;
    std::u16string unreadable;

    std::map<HKey, std::u16string> opened;  // handles opened from a root, by their path

    long RegOpenKeyExW(HKey root, const std::u16string& subKey, std::uint32_t access,
                       HKey* out) override {
        if (!unreadable.empty() && root == HKEY_CURRENT_USER && subKey == unreadable)
            return ERROR_ACCESS_DENIED;
        return FakePlatform::RegOpenKeyExW(root, subKey, access, out);
    }
    long RegOpenKeyExW_OpenLink(HKey root, const std::u16string& subKey, std::uint32_t access,
                                HKey* out) override {
        if (!unreadable.empty() && root == HKEY_CURRENT_USER && subKey == unreadable)
            return ERROR_ACCESS_DENIED;
        long rc = FakePlatform::RegOpenKeyExW_OpenLink(root, subKey, access, out);
        if (rc == ERROR_SUCCESS && out && (root == HKEY_CURRENT_USER || root == HKEY_USERS))
            opened[*out] = subKey;
        return rc;
    }
    long RegDeleteKeyW(HKey key, const std::u16string& subKey) override {
        if (key == HKEY_CURRENT_USER || key == HKEY_USERS) log.push_back(u"key " + subKey);
        return FakePlatform::RegDeleteKeyW(key, subKey);
    }
    long NtDeleteKey(HKey key) override {
        auto it = opened.find(key);
        if (it != opened.end()) log.push_back(u"key " + it->second);
        return FakePlatform::NtDeleteKey(key);
    }
    long RegCloseKey(HKey key) override {
        opened.erase(key);
        return FakePlatform::RegCloseKey(key);
    }
    long RegDeleteValueW(HKey key, const std::u16string& name) override {
        log.push_back(u"value " + name);
        return FakePlatform::RegDeleteValueW(key, name);
    }
};

struct RecordingScope {
    RecordingPlatform fake;
    HWnd host = 0;
    RecordingScope() {
        SetPlatform(&fake);
        host = fake.AddWindow(u"Vantor32", u"Vantor32");
        SetupModulesInit(u"C:\\VtInst.exe");
    }
    ~RecordingScope() {
        SetupModulesDone();
        QuietMode = false;
        RegRoot = HKEY_CURRENT_USER;
        SetPlatform(nullptr);
    }
};

std::vector<std::u16string> BoxTexts(const FakePlatform& fake) {
    std::vector<std::u16string> texts;
    for (const auto& box : fake.messageBoxes) texts.push_back(box.text);
    return texts;
}

void CheckHostClosed(FakePlatform& fake, HWnd host) {
    REQUIRE(fake.posted.size() == 2);
    CHECK(fake.posted[0].wnd == host);
    CHECK(fake.posted[0].msg == WM_CLOSE);
    CHECK(fake.posted[0].wParam == 0);
    CHECK(fake.posted[0].lParam == 0);
    CHECK(fake.posted[1].wnd == host);
    CHECK(fake.posted[1].msg == WM_QUIT);
}

}  // namespace

TEST_SUITE("uninstall dialog choice") {
    TEST_CASE("OkBtnClick adds each checked box, Files to Macros") {
        for (int combo = 0; combo < 8; ++combo) {
            CAPTURE(combo);
            TUnInstallForm form;
            CHECK(form.checked[UNINST_FILES]);
            CHECK(form.checked[UNINST_AUTOSTART]);
            CHECK_FALSE(form.checked[UNINST_SETTINGS]);
            form.checked[UNINST_SETTINGS] = combo & 1;
            form.checked[UNINST_SOUND] = combo & 2;
            form.checked[UNINST_MACROS] = combo & 4;
            form.opts.Include(UNINST_SOUND);  // left over from before: replaced
            form.OkBtnClick();
            std::uint8_t expected = 0x01 | 0x02 | ((combo & 1) ? 0x04 : 0) |
                                    ((combo & 2) ? 0x08 : 0) | ((combo & 4) ? 0x10 : 0);
            CHECK(form.opts.bits == expected);
        }
    }

    TEST_CASE("the set's members are the bits 0x01 to 0x10") {
        CHECK(OptionBit(UNINST_FILES) == 0x01);
        CHECK(OptionBit(UNINST_AUTOSTART) == 0x02);
        CHECK(OptionBit(UNINST_SETTINGS) == 0x04);
        CHECK(OptionBit(UNINST_SOUND) == 0x08);
        CHECK(OptionBit(UNINST_MACROS) == 0x10);
        CHECK(TUnInstOptions::All().bits == 0x1F);
        TUnInstallForm none;
        none.checked = {};
        none.OkBtnClick();
        CHECK(none.opts.Empty());
    }
}

TEST_SUITE("uninstall") {
    TEST_CASE("quiet: a failure is a line on the error output, never a box") {
        UninstallScope s;
        FillProfile(s.fake, HKEY_CURRENT_USER, u"");
        FillMachine(s.fake);
        s.fake.ProtectRegKey(HKEY_CURRENT_USER, u"AppEvents\\Schemes\\Apps\\Vantor32\\");
        s.fake.ProtectRegKey(HKEY_LOCAL_MACHINE, kLayout);
        std::vector<std::u16string> lines;
        ErrorLine = [&](const std::u16string& line) { lines.push_back(line); };
        QuietMode = true;
        RunUninstall(nullptr);
        ErrorLine = nullptr;
        CHECK(s.fake.messageBoxes.empty());
        CHECK(s.fake.messageBeeps.empty());
        CHECK(lines == std::vector<std::u16string>{
                           u"Registry-Einträge \"AppEvents\\Schemes\\Apps\\Vantor32\\\" konnten "
                           u"nicht gelöscht werden",
                           u"Konnte ScancodeMap nicht aus Registry löschen"});
        CHECK(ReportedFailures == 2);
        CHECK_FALSE(s.fake.RegKeyExists(HKEY_CURRENT_USER, kProduct));
    }

    TEST_CASE("quiet mode removes everything without asking") {
        UninstallScope s;
        FillProfile(s.fake, HKEY_CURRENT_USER, u"");
        FillMachine(s.fake);
        QuietMode = true;
        int asked = 0;
        RunUninstall([&] {
            ++asked;
            return TUnInstOptions{};
        });
        CHECK(asked == 0);
        CheckProfileAfter(s.fake, HKEY_CURRENT_USER, u"", TUnInstOptions::All());
        CHECK_FALSE(s.fake.RegKeyExists(HKEY_CURRENT_USER, kProduct));
        CheckHostClosed(s.fake, s.host);
        CHECK(s.fake.messageBoxes.empty());
        CHECK(s.fake.OpenRegKeys() == 0);
    }

    TEST_CASE("each choice of the dialog deletes its keys under HKEY_CURRENT_USER") {
        for (int combo = 0; combo < 8; ++combo) {
            CAPTURE(combo);
            UninstallScope s;
            FillProfile(s.fake, HKEY_CURRENT_USER, u"");
            FillMachine(s.fake);
            TUnInstOptions flags = Flags({UNINST_FILES, UNINST_AUTOSTART});
            if (combo & 1) flags.Include(UNINST_SETTINGS);
            if (combo & 2) flags.Include(UNINST_SOUND);
            if (combo & 4) flags.Include(UNINST_MACROS);
            RunUninstall([&] { return flags; });
            CheckProfileAfter(s.fake, HKEY_CURRENT_USER, u"", flags);
            CheckHostClosed(s.fake, s.host);
            CHECK(s.fake.messageBoxes.empty());
            CHECK(s.fake.OpenRegKeys() == 0);
        }
    }

    TEST_CASE("in a user hive every path carries the hive's prefix") {
        for (auto flags : {TUnInstOptions::All(), Flags({UNINST_FILES, UNINST_SOUND}),
                           Flags({UNINST_MACROS}), Flags({UNINST_SETTINGS, UNINST_MACROS})}) {
            int bits = flags.bits;
            CAPTURE(bits);
            UninstallScope s;
            const std::u16string hive = u"S-1-5-21-7";
            FillProfile(s.fake, HKEY_USERS, hive + u"\\");
            FillProfile(s.fake, HKEY_CURRENT_USER, u"");
            FillMachine(s.fake);
            FindUserProfile();
            REQUIRE(RegRoot == HKEY_USERS);
            RunUninstall([&] { return flags; });
            CheckProfileAfter(s.fake, HKEY_USERS, hive + u"\\", flags);
            // the tool's own account is not touched
            CHECK(s.fake.RegKeyExists(HKEY_CURRENT_USER, kProduct + u"\\Macros\\AltGr"));
            CHECK(s.fake.RegKeyExists(HKEY_CURRENT_USER, u"AppEvents\\Schemes\\Apps\\Vantor32"));
            CHECK(s.fake.GetRegValue(HKEY_CURRENT_USER, u"Control Panel\\Input Method",
                                     u"EnableHexNumpad"));
            auto main = s.fake.GetRegValue(HKEY_CURRENT_USER, kProduct + u"\\Settings",
                                           u"Vantor eingeschaltet");
            REQUIRE(main.has_value());
            CHECK(main->data == std::vector<std::uint8_t>{1});
        }
    }

    TEST_CASE("the dialog closed without OK changes nothing") {
        UninstallScope s;
        FillProfile(s.fake, HKEY_CURRENT_USER, u"");
        FillMachine(s.fake);
        RunUninstall([] { return TUnInstOptions{}; });
        CHECK(s.fake.posted.empty());
        auto main = s.fake.GetRegValue(HKEY_CURRENT_USER, kProduct + u"\\Settings",
                                       u"Vantor eingeschaltet");
        REQUIRE(main.has_value());
        CHECK(main->data == std::vector<std::uint8_t>{1});
        CHECK(s.fake.GetRegValue(HKEY_CURRENT_USER, u"Control Panel\\Input Method",
                                 u"EnableHexNumpad"));
        CHECK(s.fake.GetRegValue(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map"));
        CHECK(s.fake.messageBoxes.empty());
    }

    TEST_CASE("keys that do not exist give no message") {
        UninstallScope s;
        s.fake.CreateRegKey(HKEY_LOCAL_MACHINE, kLayout);
        QuietMode = true;
        RunUninstall(nullptr);
        CHECK(s.fake.messageBoxes.empty());
        CHECK(s.fake.messageBeeps.empty());
    }

    TEST_CASE("a key that cannot be deleted gives one error box and the run goes on") {
        UninstallScope s;
        FillProfile(s.fake, HKEY_CURRENT_USER, u"");
        FillMachine(s.fake);
        s.fake.ProtectRegKey(HKEY_CURRENT_USER, u"AppEvents\\Schemes\\Apps\\Vantor32\\");
        // confirmed with every box: the reports are boxes
        RunUninstall([] { return TUnInstOptions::All(); });
        REQUIRE(s.fake.messageBoxes.size() == 1);
        CHECK(s.fake.messageBoxes[0].text ==
              u"Registry-Einträge \"AppEvents\\Schemes\\Apps\\Vantor32\\\" konnten nicht "
              u"gelöscht werden");
        CHECK((s.fake.messageBoxes[0].type & MB_ICONHAND) == MB_ICONHAND);
        CHECK(s.fake.messageBeeps == std::vector<std::uint32_t>{MB_ICONHAND});
        // the later steps ran
        CHECK_FALSE(s.fake.RegKeyExists(HKEY_CURRENT_USER, kProduct));
        CHECK(s.fake.GetRegValue(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map")->data ==
              std::vector<std::uint8_t>{9});
        CHECK_FALSE(s.fake.GetRegValue(HKEY_CURRENT_USER, u"Control Panel\\Input Method",
                                       u"EnableHexNumpad"));
    }

    TEST_CASE("the deletions run in their order, the input-method value last") {
        RecordingScope s;
        FillProfile(s.fake, HKEY_CURRENT_USER, u"");
        FillMachine(s.fake);
        QuietMode = true;
        RunUninstall(nullptr);
        const std::vector<std::u16string> expected = {
            u"key Software\\Quellmark\\Vantor32\\Settings\\Speaker",
            u"key Software\\Quellmark\\Vantor32\\Settings",
            u"key AppEvents\\Schemes\\Apps\\Vantor32",
            u"key Software\\Quellmark\\Vantor32\\Macros\\AltGr",
            u"key Software\\Quellmark\\Vantor32\\Macros\\Umlaut\\Ascii",
            u"key Software\\Quellmark\\Vantor32\\Macros\\Umlaut\\HTML",
            u"key Software\\Quellmark\\Vantor32\\Macros",
            u"value Vantor Backup Scancode Map",  // written back over the tool's map first
            u"key Software\\Quellmark\\Vantor32",
            u"value EnableHexNumpad",
        };
        CHECK(s.fake.log == expected);
        CHECK(s.fake.messageBoxes.empty());
    }

    TEST_CASE("each failing step is reported in order and the later steps still run") {
        RecordingScope s;
        FillProfile(s.fake, HKEY_CURRENT_USER, u"");
        FillMachine(s.fake);
        s.fake.ProtectRegKey(HKEY_CURRENT_USER, kProduct + u"\\Settings\\Speaker");
        s.fake.ProtectRegKey(HKEY_CURRENT_USER, kProduct + u"\\Macros\\Umlaut\\HTML");
        s.fake.ProtectRegKey(HKEY_LOCAL_MACHINE, kLayout);
        // confirmed with every box: the reports are boxes
        RunUninstall([] { return TUnInstOptions::All(); });
        const std::vector<std::u16string> expected = {
            u"Registry-Einträge \"Software\\Quellmark\\Vantor32\\Settings\\Speaker\" konnten "
            u"nicht gelöscht werden",
            u"Registry-Einträge \"Software\\Quellmark\\Vantor32\\Settings\" konnten nicht "
            u"gelöscht werden",
            u"Registry-Einträge \"Software\\Quellmark\\Vantor32\\Macros\\Umlaut\\HTML\" "
            u"konnten nicht gelöscht werden",
            u"Registry-Einträge \"Software\\Quellmark\\Vantor32\\Macros\" konnten nicht "
            u"gelöscht werden",
            u"Konnte ScancodeMap nicht aus Registry löschen",
            u"Registry-Einträge \"Software\\Quellmark\\Vantor32\\\" konnten nicht gelöscht "
            u"werden",
        };
        CHECK(BoxTexts(s.fake) == expected);
        CHECK(s.fake.messageBeeps.size() == expected.size());
        CHECK_FALSE(s.fake.RegKeyExists(HKEY_CURRENT_USER, u"AppEvents\\Schemes\\Apps\\Vantor32"));
        CHECK_FALSE(s.fake.RegKeyExists(HKEY_CURRENT_USER, kProduct + u"\\Macros\\AltGr"));
        CHECK_FALSE(s.fake.GetRegValue(HKEY_CURRENT_USER, u"Control Panel\\Input Method",
                                       u"EnableHexNumpad"));
        CHECK(s.fake.OpenRegKeys() == 0);
    }

    TEST_CASE("a key that exists but cannot be read is reported, not passed over") {
        RecordingScope s;
        FillProfile(s.fake, HKEY_CURRENT_USER, u"");
        FillMachine(s.fake);
        s.fake.unreadable = u"AppEvents\\Schemes\\Apps\\Vantor32";
        // confirmed with every box: the reports are boxes
        RunUninstall([] { return TUnInstOptions::All(); });
        REQUIRE(s.fake.messageBoxes.size() == 1);
        CHECK(s.fake.messageBoxes[0].text ==
              u"Registry-Einträge \"AppEvents\\Schemes\\Apps\\Vantor32\\\" konnten nicht "
              u"gelöscht werden");
        CHECK(s.fake.RegKeyExists(HKEY_CURRENT_USER, u"AppEvents\\Schemes\\Apps\\Vantor32"));
        CHECK_FALSE(s.fake.RegKeyExists(HKEY_CURRENT_USER, kProduct));
    }

    TEST_CASE("links below the product key are removed themselves, never followed") {
        UninstallScope s;
        FillProfile(s.fake, HKEY_CURRENT_USER, u"");
        FillMachine(s.fake);
        s.fake.SetRegString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Victim\\Child", u"v", u"keep");
        s.fake.SetRegString(HKEY_CURRENT_USER, u"Software\\Other", u"v", u"keep");
        s.fake.AddRegLink(HKEY_CURRENT_USER, kProduct + u"\\Macros\\AltGr\\Elsewhere",
                          HKEY_LOCAL_MACHINE, u"SOFTWARE\\Victim");
        // two links back to ancestors: a walk that followed them would never end
        s.fake.AddRegLink(HKEY_CURRENT_USER, kProduct + u"\\Settings\\Up1", HKEY_CURRENT_USER,
                          kProduct);
        s.fake.AddRegLink(HKEY_CURRENT_USER, kProduct + u"\\Settings\\Up2", HKEY_CURRENT_USER,
                          u"Software");
        REQUIRE(s.fake.RegKeyExists(HKEY_CURRENT_USER,
                                    kProduct + u"\\Settings\\Up1\\Settings\\Up2\\Other"));
        QuietMode = true;
        RunUninstall(nullptr);
        CHECK(BoxTexts(s.fake).empty());
        CHECK_FALSE(s.fake.RegKeyExists(HKEY_CURRENT_USER, kProduct));
        CHECK(s.fake.GetRegValue(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Victim\\Child", u"v"));
        CHECK(s.fake.GetRegValue(HKEY_CURRENT_USER, u"Software\\Other", u"v"));
        CHECK(s.fake.OpenRegKeys() == 0);
    }

    TEST_CASE("a map the tool did not write survives the uninstall where it is") {
        for (TUnInstOptions flags :
             {TUnInstOptions::All(), Flags({UNINST_FILES, UNINST_AUTOSTART})}) {
            UninstallScope s;
            FillProfile(s.fake, HKEY_CURRENT_USER, u"");
            s.fake.SetRegBinary(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map", {7, 7});
            RunUninstall([&] { return flags; });
            auto map = s.fake.GetRegValue(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map");
            REQUIRE(map);
            CHECK(map->data == std::vector<std::uint8_t>{7, 7});
            CHECK_FALSE(
                s.fake.GetRegValue(HKEY_LOCAL_MACHINE, kLayout, u"Vantor Backup Scancode Map"));
            CHECK(s.fake.messageBoxes.empty());
        }
    }

    TEST_CASE("the tool's own map without a backup goes, whatever the boxes say") {
        UninstallScope s;
        FillProfile(s.fake, HKEY_CURRENT_USER, u"");
        s.fake.SetRegBinary(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map",
                            {0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0x62, 0, 0x46, 0, 0, 0, 0, 0});
        RunUninstall([] { return Flags({UNINST_FILES, UNINST_AUTOSTART, UNINST_SOUND}); });
        CHECK_FALSE(s.fake.GetRegValue(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map"));
        CHECK(s.fake.RegKeyExists(HKEY_CURRENT_USER, kProduct + u"\\Macros\\AltGr"));
        CHECK(s.fake.messageBoxes.empty());
    }

    TEST_CASE("the autostart value and the tray program's labels go in the user's hive only") {
        UninstallScope s;
        const std::u16string hive = u"S-1-5-21-7";
        const std::u16string run = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
        const std::u16string labels = u"AppEvents\\EventLabels\\";
        for (const std::u16string& prefix : {hive + u"\\", std::u16string()}) {
            HKey root = prefix.empty() ? HKEY_CURRENT_USER : HKEY_USERS;
            FillProfile(s.fake, root, prefix);
            s.fake.SetRegString(root, prefix + run, u"Vantor32", u"\"C:\\V\\Vantor32.exe\"");
            s.fake.SetRegString(root, prefix + run, u"Other", u"other.exe");
            s.fake.SetRegString(root, prefix + labels + u"Ein", u"",
                                u"Vantor32: Schalter eingeschaltet");
            s.fake.SetRegString(root, prefix + labels + u"Rollen", u"", u"Bildlauf eines anderen");
        }
        s.fake.CreateRegKey(HKEY_LOCAL_MACHINE, kLayout);
        UserHint = {hive, u""};
        FindUserProfile();
        REQUIRE(RegRoot == HKEY_USERS);
        RunUninstall([] { return Flags({UNINST_FILES, UNINST_AUTOSTART}); });
        CHECK_FALSE(s.fake.GetRegValue(HKEY_USERS, hive + u"\\" + run, u"Vantor32"));
        CHECK(s.fake.GetRegValue(HKEY_USERS, hive + u"\\" + run, u"Other"));
        CHECK_FALSE(s.fake.RegKeyExists(HKEY_USERS, hive + u"\\" + labels + u"Ein"));
        CHECK(s.fake.RegKeyExists(HKEY_USERS, hive + u"\\" + labels + u"Rollen"));
        // the tool's own account keeps its entries
        CHECK(s.fake.GetRegValue(HKEY_CURRENT_USER, run, u"Vantor32"));
        CHECK(s.fake.RegKeyExists(HKEY_CURRENT_USER, labels + u"Ein"));
        CHECK(s.fake.messageBoxes.empty());
    }

    TEST_CASE("a scancode map that cannot be deleted is reported and the run goes on") {
        UninstallScope s;
        FillProfile(s.fake, HKEY_CURRENT_USER, u"");
        FillMachine(s.fake);
        s.fake.ProtectRegKey(HKEY_LOCAL_MACHINE, kLayout);
        // confirmed with every box: the reports are boxes
        RunUninstall([] { return TUnInstOptions::All(); });
        REQUIRE(s.fake.messageBoxes.size() == 1);
        CHECK(s.fake.messageBoxes[0].text == u"Konnte ScancodeMap nicht aus Registry löschen");
        CHECK(s.fake.messageBeeps.size() == 1);
        CHECK_FALSE(s.fake.RegKeyExists(HKEY_CURRENT_USER, kProduct));
        CHECK_FALSE(s.fake.GetRegValue(HKEY_CURRENT_USER, u"Control Panel\\Input Method",
                                       u"EnableHexNumpad"));
    }

    TEST_CASE("a missing layout key counts as a map that cannot be deleted") {
        UninstallScope s;
        // confirmed with every box: the reports are boxes
        RunUninstall([] { return TUnInstOptions::All(); });
        REQUIRE(s.fake.messageBoxes.size() == 1);
        CHECK(s.fake.messageBoxes[0].text == u"Konnte ScancodeMap nicht aus Registry löschen");
    }

    TEST_CASE("an empty RegPath stops before any deletion") {
        UninstallScope s;
        FillProfile(s.fake, HKEY_CURRENT_USER, u"");
        FillMachine(s.fake);
        QuietMode = true;
        RegPath.clear();
        CHECK_THROWS_WITH_AS(RunUninstall(nullptr), "RegPath nicht gesetzt!", EVtError);
        CheckHostClosed(s.fake, s.host);  // steps before the check ran
        CHECK(s.fake.RegKeyExists(HKEY_CURRENT_USER, kProduct + u"\\Macros\\AltGr"));
        CHECK(s.fake.GetRegValue(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map"));
        CHECK(s.fake.GetRegValue(HKEY_CURRENT_USER, u"Control Panel\\Input Method",
                                 u"EnableHexNumpad"));
        CHECK(s.fake.OpenRegKeys() == 0);
    }

    TEST_CASE("without a host nothing is posted; with one it is looked up for each message") {
        UninstallScope s;
        s.fake.RemoveWindow(s.host);
        s.fake.CreateRegKey(HKEY_LOCAL_MACHINE, kLayout);
        int before = s.fake.counts.windows;
        CloseHost();
        CHECK(s.fake.posted.empty());
        CHECK(s.fake.counts.windows == before + 2);
    }
}
