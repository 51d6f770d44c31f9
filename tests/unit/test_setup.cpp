// The setup tool's start: instance marker, command line, user profile, the start
// sequence with its dispatch, the /M action and how a run ends.
#include <doctest/doctest.h>

#include <algorithm>

#include "FakePlatform.h"
#include "common/Vantor.Utils.h"
#include "common/VtError.h"
#include "setup/PrevInst.h"
#include "setup/VtConfig.Common.h"
#include "setup/VtInst.h"

using namespace vt;

namespace {

const std::u16string kLayout = u"SYSTEM\\CurrentControlSet\\Control\\Keyboard Layout";
const std::u16string kExe = u"C:\\Programme\\Vantor32\\VtInst.exe";

// The setup tool's modules for one test, started like the program starts them.
struct SetupScope {
    FakeScope scope;
    FakePlatform& fake = scope.fake;
    SetupScope() { SetupModulesInit(kExe); }
    ~SetupScope() { SetupModulesDone(); }
};

// A run's Windows side that records what it was asked to do.
struct ShellRecorder {
    bool admin = true;
    int adminChecks = 0, dialogs = 0, formsCreated = 0, formsReleased = 0;
    TUnInstOptions answer;
    RUserHint hint;
    std::vector<std::u16string> errorLines;
    std::u16string dialogUser;  // whose data the dialog named
    RSetupShell Shell() {
        RSetupShell s;
        s.userHint = [this] { return hint; };
        s.accountName = [](const std::u16string& sid) -> std::u16string {
            if (sid == u"S-1-5-21-9-9-9-1001") return u"PC\\anna";
            if (sid == u"S-1-5-21-9-9-9-500") return u"PC\\admin";
            return u"";
        };
        s.errorLine = [this](const std::u16string& line) { errorLines.push_back(line); };
        s.isAdministrator = [this] {
            ++adminChecks;
            return admin;
        };
        s.askUninstallOptions = [this] {
            ++dialogs;
            dialogUser = ProfileUserName;
            return answer;
        };
        s.createMainForm = [this] { ++formsCreated; };
        s.releaseMainForm = [this] { ++formsReleased; };
        return s;
    }
};

std::vector<std::uint8_t> Bytes(std::initializer_list<int> list) {
    std::vector<std::uint8_t> out;
    for (int b : list) out.push_back(static_cast<std::uint8_t>(b));
    return out;
}

}  // namespace

TEST_SUITE("setup command line") {
    TEST_CASE("HasSwitch compares the whole argument, upper-cased") {
        ParamList = {u"/u"};
        CHECK(HasSwitch(u"U"));
        ParamList = {u"/U"};
        CHECK(HasSwitch(u"U"));
        for (const char16_t* other : {u"-U", u"/U2", u"U", u"//U", u" /U", u"/"}) {
            std::string otherText = ToUtf8(other);
            CAPTURE(otherText);
            ParamList = {other};
            CHECK_FALSE(HasSwitch(u"U"));
        }
        ParamList = {u"CAPSLOCK", u"/x", u"/q"};
        CHECK(HasSwitch(u"Q"));
        CHECK(HasSwitch(u"X"));
        CHECK_FALSE(HasSwitch(u"M"));
        ParamList.clear();
        CHECK_FALSE(HasSwitch(u"U"));
    }

    TEST_CASE("HasParamWord compares the whole argument without case") {
        ParamList = {u"/M", u"capslock"};
        CHECK(HasParamWord(u"CAPSLOCK"));
        CHECK(HasParamWord(u"CapsLock"));
        CHECK_FALSE(HasParamWord(u"SCROLLOCK"));
        ParamList = {u"CAPSLOCK2", u"/CAPSLOCK", u"CAPS"};
        CHECK_FALSE(HasParamWord(u"CAPSLOCK"));
        ParamList.clear();
    }

    TEST_CASE("UpperCaseText leaves everything but letters alone") {
        CHECK(UpperCaseText(u"/u-1äß") == u"/U-1Äß");
    }
}

TEST_SUITE("setup instance marker") {
    TEST_CASE("the mutex name drops only an upper-case .EXE") {
        CHECK(InstanceName(u"C:\\Tools\\VTINST.EXE") == u"VTINST");
        CHECK(InstanceName(u"C:\\Tools\\VtInst.exe") == u"VtInst.exe");
        CHECK(InstanceName(u"VtInst.Exe") == u"VtInst.Exe");
        CHECK(InstanceName(u"\"C:/x/VTINST.EXE") == u"VTINST");
        CHECK(InstanceName(u"VtInst") == u"VtInst");
    }

    TEST_CASE("a second instance gives up the handle and goes on") {
        FakeScope scope;
        CreateInstanceMutex(u"C:\\a\\VTINST.EXE");
        CHECK(InstanceMutex != 0);
        CHECK(scope.fake.mutexes[u"VTINST"] == 1);
        Handle first = InstanceMutex;
        InstanceMutex = 0;  // as if in another process

        CreateInstanceMutex(u"C:\\b\\VTINST.EXE");
        CHECK(InstanceMutex == 0);
        InstanceMutex = first;
        CloseInstanceMutex();
        CHECK(InstanceMutex == 0);
    }
}

TEST_SUITE("setup user profile") {
    TEST_CASE("no hive with the product key leaves HKEY_CURRENT_USER") {
        SetupScope s;
        s.fake.CreateRegKey(HKEY_USERS, u"S-1-5-21-1\\Software\\Other");
        FindUserProfile();
        CHECK(RegRoot == HKEY_CURRENT_USER);
        CHECK(RegPath == u"Software\\Quellmark\\Vantor32\\");
        CHECK(ProfilePrefix() == u"");
        REQUIRE(Options);
        CHECK(Options->RootKey() == HKEY_CURRENT_USER);
    }

    TEST_CASE("the first hive in enumeration order that holds the key wins") {
        SetupScope s;
        s.fake.CreateRegKey(HKEY_USERS, u"S-1-5-21-1\\Software\\Other");
        s.fake.CreateRegKey(HKEY_USERS, u"S-1-5-21-2\\Software\\Quellmark\\Vantor32");
        s.fake.CreateRegKey(HKEY_USERS, u"S-1-5-21-3\\Software\\Quellmark\\Vantor32");
        FindUserProfile();
        CHECK(RegRoot == HKEY_USERS);
        CHECK(RegPath == u"S-1-5-21-2\\Software\\Quellmark\\Vantor32\\");
        CHECK(ProfilePrefix() == u"S-1-5-21-2\\");
        REQUIRE(Options);
        CHECK(Options->RootKey() == HKEY_USERS);
        // the store now works in that hive, and created its "Settings" key there
        CHECK(s.fake.RegKeyExists(HKEY_USERS,
                                  u"S-1-5-21-2\\Software\\Quellmark\\Vantor32\\Settings"));
        Options->SetOption(OPT_MAIN, true);
        auto v =
            s.fake.GetRegValue(HKEY_USERS, u"S-1-5-21-2\\Software\\Quellmark\\Vantor32\\Settings",
                               u"Vantor eingeschaltet");
        REQUIRE(v.has_value());
        CHECK(v->data == Bytes({1}));

        FindUserProfile();  // the second lookup of /T finds the same
        CHECK(RegPath == u"S-1-5-21-2\\Software\\Quellmark\\Vantor32\\");
    }

    TEST_CASE("a user who cannot be told: the hive listed first wins, also before the tool's own") {
        SetupScope s;
        s.fake.CreateRegKey(HKEY_USERS, u".DEFAULT\\Software\\Quellmark\\Vantor32");
        s.fake.CreateRegKey(HKEY_USERS, u"S-1-5-21-0-0-0-1000\\Software\\Quellmark\\Vantor32");
        FindUserProfile();
        CHECK(RegPath == u".DEFAULT\\Software\\Quellmark\\Vantor32\\");
    }

    TEST_CASE("the hive of the user the run is for, whatever the enumeration order") {
        const std::u16string person = u"S-1-5-21-9-9-9-1001";
        const std::u16string admin = u"S-1-5-21-9-9-9-500";
        struct Case {
            const char* name;
            RUserHint hint;
            std::u16string first;  // listed before the right one, holding the key too
            std::u16string chosen;
            std::u16string userName;
        };
        for (const Case& c : {
                 Case{"started by the person; .DEFAULT first",
                      {person, person},
                      u".DEFAULT",
                      person,
                      u"PC\\anna"},
                 Case{"started by the person; another user's hive first",
                      {person, u""},
                      u"S-1-5-21-9-9-9-1000",
                      person,
                      u"PC\\anna"},
                 Case{"elevated with the administrator's credentials",
                      {admin, person},
                      admin,
                      person,
                      u"PC\\anna"},
                 Case{"run as SYSTEM by a job, the person at the console",
                      {u"S-1-5-18", person},
                      u".DEFAULT",
                      person,
                      u"PC\\anna"},
                 Case{"the administrator is the one logged on",
                      {admin, admin},
                      person,
                      admin,
                      u"PC\\admin"},
             }) {
            CAPTURE(c.name);
            SetupScope s;
            const std::u16string key = u"\\Software\\Quellmark\\Vantor32";
            s.fake.CreateRegKey(HKEY_USERS, c.first + key);
            s.fake.CreateRegKey(HKEY_USERS, c.chosen + key + u"\\Macros");
            s.fake.CreateRegKey(HKEY_USERS, u"S-1-5-18" + std::u16string());
            UserHint = c.hint;
            AccountNameOf = ShellRecorder().Shell().accountName;
            FindUserProfile();
            CHECK(RegRoot == HKEY_USERS);
            CHECK(RegPath == c.chosen + key + u"\\");
            CHECK(ProfileUserName == c.userName);
            REQUIRE(Options);
            CHECK(Options->RootKey() == HKEY_USERS);
            AccountNameOf = nullptr;
        }
    }

    TEST_CASE("the right user without the product key: nothing of anyone else's is chosen") {
        SetupScope s;
        const std::u16string person = u"S-1-5-21-9-9-9-1001";
        s.fake.CreateRegKey(HKEY_USERS, u".DEFAULT\\Software\\Quellmark\\Vantor32\\Macros");
        s.fake.CreateRegKey(HKEY_USERS, person + u"\\Software\\Other");
        UserHint = {u"S-1-5-21-9-9-9-500", person};
        FindUserProfile();
        CHECK(RegRoot == HKEY_USERS);
        CHECK(RegPath == person + u"\\Software\\Quellmark\\Vantor32\\");
        CHECK_FALSE(Options);  // nothing to switch off, and no key made for it
        CHECK_FALSE(s.fake.RegKeyExists(HKEY_USERS, person + u"\\Software\\Quellmark"));
        // a quiet uninstall then leaves the other hive alone
        QuietMode = true;
        RunUninstall(nullptr);
        QuietMode = false;
        CHECK(s.fake.RegKeyExists(HKEY_USERS, u".DEFAULT\\Software\\Quellmark\\Vantor32\\Macros"));
        CHECK_FALSE(s.fake.RegKeyExists(HKEY_USERS, person + u"\\Software\\Quellmark"));
    }

    TEST_CASE("a product key the start-up created is no reason to choose the tool's own hive") {
        SetupScope s;
        const std::u16string admin = u"S-1-5-21-9-9-9-500";
        // The person's hive is not loaded, so the lookup falls back to the order.
        s.fake.CreateRegKey(HKEY_USERS, admin + u"\\Software\\Quellmark\\Vantor32\\Settings");
        s.fake.CreateRegKey(HKEY_USERS, u"S-1-5-21-9-9-9-700\\Software\\Quellmark\\Vantor32");
        UserHint = {admin, u"S-1-5-21-9-9-9-1001"};
        StartupCreatedProductKey = true;
        FindUserProfile();
        CHECK(RegPath == u"S-1-5-21-9-9-9-700\\Software\\Quellmark\\Vantor32\\");
        StartupCreatedProductKey = false;
        FindUserProfile();
        CHECK(RegPath == admin + u"\\Software\\Quellmark\\Vantor32\\");
    }

    TEST_CASE("the start-up tells whether it created the product key of its own account") {
        {
            FakeScope scope;
            SetupModulesInit(kExe);
            CHECK(StartupCreatedProductKey);
            SetupModulesDone();
        }
        FakeScope scope;
        scope.fake.CreateRegKey(HKEY_CURRENT_USER, u"Software\\Quellmark\\Vantor32");
        SetupModulesInit(kExe);
        CHECK_FALSE(StartupCreatedProductKey);
        SetupModulesDone();
    }

    TEST_CASE("a run other than /I takes away the empty keys its start-up created") {
        for (auto args : {std::vector<std::u16string>{u"/M", u"/Q"},
                          std::vector<std::u16string>{u"/T"}, std::vector<std::u16string>{}}) {
            FakeScope scope;
            scope.fake.CreateRegKey(HKEY_LOCAL_MACHINE, kLayout);
            scope.fake.CreateRegKey(HKEY_CURRENT_USER, u"Software\\Other");
            ShellRecorder rec;
            CHECK(VtInstMain(kExe, u"x", args, rec.Shell()) == 0);
            CHECK_FALSE(scope.fake.RegKeyExists(HKEY_CURRENT_USER, u"Software\\Quellmark"));
            CHECK(scope.fake.RegKeyExists(HKEY_CURRENT_USER, u"Software\\Other"));
            CHECK(scope.fake.OpenRegKeys() == 0);
        }
        // a key that was there, or that holds something now, stays
        FakeScope scope;
        scope.fake.CreateRegKey(HKEY_LOCAL_MACHINE, kLayout);
        scope.fake.CreateRegKey(HKEY_CURRENT_USER, u"Software\\Quellmark\\Other");
        ShellRecorder rec;
        CHECK(VtInstMain(kExe, u"x", {u"/M", u"/Q"}, rec.Shell()) == 0);
        CHECK_FALSE(scope.fake.RegKeyExists(HKEY_CURRENT_USER, u"Software\\Quellmark\\Vantor32"));
        CHECK(scope.fake.RegKeyExists(HKEY_CURRENT_USER, u"Software\\Quellmark\\Other"));
    }

    TEST_CASE("the uninstall dialog names the user whose data it removes") {
        FakeScope scope;
        const std::u16string person = u"S-1-5-21-9-9-9-1001";
        scope.fake.CreateRegKey(HKEY_LOCAL_MACHINE, kLayout);
        scope.fake.CreateRegKey(HKEY_USERS, u".DEFAULT\\Software\\Quellmark\\Vantor32");
        scope.fake.CreateRegKey(HKEY_USERS, person + u"\\Software\\Quellmark\\Vantor32\\Macros");
        ShellRecorder rec;
        rec.hint = {u"S-1-5-21-9-9-9-500", person};
        rec.answer = TUnInstOptions::All();
        CHECK(VtInstMain(kExe, u"x", {u"/U"}, rec.Shell()) == 0);
        CHECK(rec.dialogs == 1);
        CHECK(rec.dialogUser == u"PC\\anna");
        CHECK_FALSE(
            scope.fake.RegKeyExists(HKEY_USERS, person + u"\\Software\\Quellmark\\Vantor32"));
        CHECK(scope.fake.RegKeyExists(HKEY_USERS, u".DEFAULT\\Software\\Quellmark\\Vantor32"));
        TUnInstallForm form;
        form.userName = u"PC\\anna";
        CHECK(form.UserText() == u"Benutzer: PC\\anna");
        form.userName.clear();
        CHECK(form.UserText().empty());
    }
}

TEST_SUITE("setup start sequence") {
    TEST_CASE("a user who is not an administrator sees only the refusal") {
        {
            // quiet: the refusal is a line on the error output and a failed run
            FakeScope scope;
            ShellRecorder rec;
            rec.admin = false;
            int code = VtInstMain(kExe, u"\"" + kExe + u"\" /U /Q", {u"/U", u"/Q"}, rec.Shell());
            CHECK(code != 0);
            CHECK(scope.fake.messageBoxes.empty());
            CHECK(rec.errorLines == std::vector<std::u16string>{kAdminRefusal});
            CHECK(rec.formsCreated == 0);
            CHECK(scope.fake.posted.empty());
        }
        FakeScope scope;
        ShellRecorder rec;
        rec.admin = false;
        int code = VtInstMain(kExe, u"\"" + kExe + u"\" /U", {u"/U"}, rec.Shell());
        CHECK(code == 0);
        CHECK(rec.errorLines.empty());
        REQUIRE(scope.fake.messageBoxes.size() == 1);
        CHECK(scope.fake.messageBoxes[0].text ==
              u"Sie benötigen Administratorrechte, um dieses Programm auszuführen.");
        CHECK(scope.fake.messageBoxes[0].caption == u"Vantor32");
        CHECK(scope.fake.messageBoxes[0].type == MB_OK);
        CHECK(rec.formsCreated == 0);
        CHECK(scope.fake.posted.empty());
    }

    TEST_CASE("the information box shows the whole command line, before any action") {
        FakeScope scope;
        ShellRecorder rec;
        const std::u16string cmd = u"\"C:\\Program Files\\VtInst.exe\"  /i  \"a b\"";
        int code = VtInstMain(kExe, cmd, {u"/i", u"a b"}, rec.Shell());
        CHECK(code == 0);
        REQUIRE(scope.fake.messageBoxes.size() == 1);
        CHECK(scope.fake.messageBoxes[0].text == u"VtInst: <" + cmd + u">");
        CHECK(scope.fake.messageBoxes[0].caption == u"VtInst - Vantor32 Setup");
        CHECK(scope.fake.messageBoxes[0].type == (MB_OK | MB_ICONINFORMATION));
        CHECK(rec.adminChecks == 1);
        CHECK(rec.formsCreated == 1);
        CHECK(rec.formsReleased == 1);
        // /I: the start-up created the "Settings" key, nothing else happened
        CHECK(
            scope.fake.RegKeyExists(HKEY_CURRENT_USER, u"Software\\Quellmark\\Vantor32\\Settings"));
    }

    TEST_CASE("no arguments: the information box with the program path, then the end") {
        FakeScope scope;
        scope.fake.SetRegBinary(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map",
                                Bytes({0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}));
        scope.fake.AddWindow(u"Vantor32", u"Vantor32");
        ShellRecorder rec;
        const std::u16string cmd = u"\"C:\\Program Files\\Vantor32\\VtInst.exe\"";
        CHECK(VtInstMain(kExe, cmd, {}, rec.Shell()) == 0);
        REQUIRE(scope.fake.messageBoxes.size() == 1);
        CHECK(scope.fake.messageBoxes[0].text ==
              u"VtInst: <\"C:\\Program Files\\Vantor32\\VtInst.exe\">");
        CHECK(rec.dialogs == 0);
        CHECK(rec.formsCreated == 1);
        CHECK(scope.fake.posted.empty());
        CHECK(scope.fake.GetRegValue(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map"));
        CHECK_FALSE(
            scope.fake.GetRegValue(HKEY_LOCAL_MACHINE, kLayout, u"Vantor Backup Scancode Map"));
    }

    TEST_CASE("the instance mutex carries the file name and is closed at the end") {
        FakeScope scope;
        ShellRecorder rec;
        RSetupShell shell = rec.Shell();
        int heldDuringRun = -1;
        shell.createMainForm = [&] { heldDuringRun = scope.fake.mutexes[u"VTINST"]; };
        CHECK(VtInstMain(u"C:\\x\\VTINST.EXE", u"VTINST.EXE", {}, shell) == 0);
        CHECK(heldDuringRun == 1);
        CHECK(scope.fake.mutexes.count(u"VTINST") == 0);
        CHECK(InstanceMutex == 0);
    }

    TEST_CASE("only the first action in the order /T /M /I /U runs") {
        FakeScope scope;
        // the tool's own Caps Lock map: /M alone and /U take it away
        scope.fake.SetRegBinary(
            HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map",
            Bytes({0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0x5D, 0, 0x3A, 0, 0, 0, 0, 0}));
        scope.fake.CreateRegKey(HKEY_CURRENT_USER, u"Software\\Quellmark\\Vantor32\\Macros\\AltGr");
        auto storedMap = [&] {
            return scope.fake.GetRegValue(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map");
        };
        ShellRecorder rec;
        rec.answer = TUnInstOptions::All();

        SUBCASE("/T /U runs only /T") {
            CHECK(VtInstMain(kExe, u"x", {u"/T", u"/U"}, rec.Shell()) == 0);
            CHECK(rec.dialogs == 0);
            CHECK(storedMap().has_value());
        }
        SUBCASE("/U /M runs only /M") {
            CHECK(VtInstMain(kExe, u"x", {u"/U", u"/M"}, rec.Shell()) == 0);
            CHECK(rec.dialogs == 0);
            CHECK_FALSE(storedMap().has_value());  // /M alone removes the map
        }
        SUBCASE("/U /I runs only /I") {
            CHECK(VtInstMain(kExe, u"x", {u"/U", u"/I"}, rec.Shell()) == 0);
            CHECK(rec.dialogs == 0);
            CHECK(storedMap().has_value());
        }
        SUBCASE("unknown arguments are ignored") {
            CHECK(VtInstMain(kExe, u"x", {u"-U", u"/U2", u"U", u"/X", u"CAPSLOCK", u"-M"},
                             rec.Shell()) == 0);
            CHECK(rec.dialogs == 0);
            REQUIRE(storedMap().has_value());
            CHECK(storedMap()->data.size() == 20);
        }
        SUBCASE("/u asks and uninstalls") {
            CHECK(VtInstMain(kExe, u"x", {u"/u"}, rec.Shell()) == 0);
            CHECK(rec.dialogs == 1);
            CHECK_FALSE(storedMap().has_value());
        }
        CHECK(scope.fake.RegKeyExists(HKEY_CURRENT_USER,
                                      u"Software\\Quellmark\\Vantor32\\Macros\\AltGr") ==
              (rec.dialogs == 0));
        CHECK(scope.fake.messageBoxes.size() == 1);  // the information box only
    }

    TEST_CASE("/Q with /U in any order and case is a quiet uninstall") {
        for (auto args : {std::vector<std::u16string>{u"/u", u"/Q"},
                          std::vector<std::u16string>{u"/Q", u"/U"}}) {
            FakeScope scope;
            scope.fake.CreateRegKey(HKEY_CURRENT_USER, u"Software\\Quellmark\\Vantor32\\Macros");
            scope.fake.CreateRegKey(HKEY_LOCAL_MACHINE, kLayout);
            ShellRecorder rec;
            CHECK(VtInstMain(kExe, u"x", args, rec.Shell()) == 0);
            CHECK(rec.dialogs == 0);
            CHECK(scope.fake.messageBoxes.empty());  // no window at all, not even the information
            CHECK(rec.errorLines.empty());
            CHECK_FALSE(
                scope.fake.RegKeyExists(HKEY_CURRENT_USER, u"Software\\Quellmark\\Vantor32"));
        }
    }

    TEST_CASE("an error inside an action ends the run with its text and a non-zero code") {
        FakeScope scope;
        // The option store cannot open its key, so switching the system off fails.
        scope.fake.ProtectRegKey(HKEY_CURRENT_USER, u"Software\\Quellmark\\Vantor32\\Settings");
        scope.fake.CreateRegKey(HKEY_CURRENT_USER, u"Software\\Quellmark\\Vantor32\\Macros");
        ShellRecorder rec;
        rec.answer = TUnInstOptions::All();
        const std::u16string text = u"Fehler beim Setzen der Daten für 'Vantor eingeschaltet'";
        SUBCASE("with a box") {
            int code = VtInstMain(kExe, u"x", {u"/U"}, rec.Shell());
            CHECK(code != 0);
            REQUIRE(scope.fake.messageBoxes.size() == 2);
            CHECK(scope.fake.messageBoxes[1].text == text);
            CHECK((scope.fake.messageBoxes[1].type & MB_ICONHAND) == MB_ICONHAND);
            CHECK(rec.errorLines.empty());
        }
        SUBCASE("quiet: a line on the error output") {
            int code = VtInstMain(kExe, u"x", {u"/U", u"/Q"}, rec.Shell());
            CHECK(code != 0);
            CHECK(scope.fake.messageBoxes.empty());
            CHECK(rec.errorLines == std::vector<std::u16string>{text});
        }
        CHECK(rec.formsReleased == 1);
        // nothing after the failing step ran
        CHECK(scope.fake.RegKeyExists(HKEY_CURRENT_USER, u"Software\\Quellmark\\Vantor32\\Macros"));
        CHECK(scope.fake.OpenRegKeys() == 0);
    }
}

TEST_SUITE("setup administrator check") {
    TEST_CASE("only an enabled Administrators group that is not for deny only counts") {
        FakeScope scope;
        FakePlatform& f = scope.fake;
        const std::vector<std::uint8_t> admins = FakePlatform::Sid(5, {32, 544});
        auto adminGroup = [&]() -> TokenGroup& {
            for (TokenGroup& g : f.tokenGroups)
                if (g.sid == admins) return g;
            FAIL("no Administrators group");
            return f.tokenGroups.front();
        };
        CHECK(IsAdministrator());  // the elevated token Wine gives
        SUBCASE("deny only: a filtered token, started past the manifest") {
            adminGroup().attributes = SE_GROUP_USE_FOR_DENY_ONLY | 0x1;
            CHECK_FALSE(IsAdministrator());
            // such a user sees the refusal and no map is written
            ShellRecorder rec;
            RSetupShell shell = rec.Shell();
            shell.isAdministrator = IsAdministrator;
            f.CreateRegKey(HKEY_LOCAL_MACHINE, kLayout);
            CHECK(VtInstMain(kExe, u"x", {u"/M", u"CAPSLOCK"}, shell) == 0);
            REQUIRE(f.messageBoxes.size() == 1);
            CHECK(f.messageBoxes[0].text == kAdminRefusal);
            CHECK_FALSE(f.GetRegValue(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map"));
        }
        SUBCASE("listed but not enabled") {
            adminGroup().attributes = 0x1;  // mandatory only
            CHECK_FALSE(IsAdministrator());
        }
        SUBCASE("not listed") {
            adminGroup().sid = FakePlatform::Sid(5, {32, 545});
            CHECK_FALSE(IsAdministrator());
        }
        SUBCASE("over 1 KB of groups, Administrators last") {
            TokenGroup admin = adminGroup();
            f.tokenGroups.erase(
                std::remove_if(f.tokenGroups.begin(), f.tokenGroups.end(),
                               [&](const TokenGroup& g) { return g.sid == admins; }),
                f.tokenGroups.end());
            for (std::uint32_t i = 0; i < 40; ++i)
                f.tokenGroups.push_back({FakePlatform::Sid(5, {21, 1, 2, 3, 1000 + i}), 0x7});
            f.tokenGroups.push_back(admin);
            std::uint32_t needed = 0;
            Handle token = 0;
            REQUIRE(f.OpenProcessToken(&token));
            CHECK_FALSE(f.GetTokenInformation_Groups(token, 1024, nullptr, &needed));
            CHECK(needed > 1024);
            CHECK(f.CloseHandle(token));
            CHECK(IsAdministrator());
        }
        SUBCASE("an impersonating thread answers with its own token") {
            f.threadImpersonates = true;
            CHECK(IsAdministrator());
        }
        CHECK(f.OpenHandles() == 0);
    }

    TEST_CASE("any failed query means not an administrator") {
        FakeScope scope;
        FakePlatform& f = scope.fake;
        SUBCASE("the version query fails") {
            f.platformId = 0;
        }
        SUBCASE("no token can be opened") {
            f.failOpenToken = ERROR_ACCESS_DENIED;
        }
        SUBCASE("the thread's token cannot be opened for another reason") {
            f.threadImpersonates = true;
            f.failOpenToken = ERROR_INVALID_HANDLE;
        }
        SUBCASE("the group list cannot be read") {
            f.failTokenGroups = ERROR_ACCESS_DENIED;
        }
        CHECK_FALSE(IsAdministrator());
        CHECK(f.OpenHandles() == 0);
    }
}

TEST_SUITE("setup message boxes") {
    TEST_CASE("ShowError beeps first, ShowInfo and ShowAlert do not") {
        FakeScope scope;
        AppTitle = kAppTitle;
        ShowInfo(u"i");
        ShowAlert(u"a");
        CHECK(scope.fake.messageBeeps.empty());
        ShowError(u"e");
        REQUIRE(scope.fake.messageBeeps.size() == 1);
        CHECK(scope.fake.messageBeeps[0] == MB_ICONHAND);
        REQUIRE(scope.fake.messageBoxes.size() == 3);
        CHECK(scope.fake.messageBoxes[1].caption == u"Vantor32");
        CHECK(scope.fake.messageBoxes[2].text == u"e");
        CHECK((scope.fake.messageBoxes[2].type & MB_ICONHAND) == MB_ICONHAND);
        CHECK(scope.fake.messageBoxes[0].owner == 0);
    }
}

TEST_SUITE("setup /M") {
    TEST_CASE("the words choose the mappings, Caps Lock first") {
        SetupScope s;
        s.fake.CreateRegKey(HKEY_LOCAL_MACHINE, kLayout);
        SUBCASE("CAPSLOCK") {
            ParamList = {u"/M", u"CAPSLOCK"};
            RunScancodeMap();
            auto v = s.fake.GetRegValue(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map");
            REQUIRE(v.has_value());
            CHECK(v->type == REG_BINARY);
            CHECK(v->data ==
                  Bytes({0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0x5D, 0, 0x3A, 0, 0, 0, 0, 0}));
        }
        SUBCASE("SCROLLOCK CAPSLOCK in either order") {
            ParamList = {u"scrollock", u"/M", u"CapsLock"};
            RunScancodeMap();
            auto v = s.fake.GetRegValue(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map");
            REQUIRE(v.has_value());
            CHECK(v->data == Bytes({0,    0, 0,    0, 0,    0, 0,    0, 3, 0, 0, 0,
                                    0x5D, 0, 0x3A, 0, 0x62, 0, 0x46, 0, 0, 0, 0, 0}));
        }
        // the new scan codes are the table's rows for VK_EREOF and VK_ZOOM
        CHECK(ScanCodeOf(VK_EREOF) == KeyDescrOf(VK_EREOF)->sc);
        CHECK(ScanCodeOf(VK_ZOOM) == KeyDescrOf(VK_ZOOM)->sc);
        CHECK_FALSE(s.fake.GetRegValue(HKEY_LOCAL_MACHINE, kLayout, u"Vantor Backup Scancode Map"));
        ParamList.clear();
    }

    TEST_CASE("the first /M over an existing map backs the old one up, once") {
        SetupScope s;
        const auto userMap =
            Bytes({0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0x1D, 0, 0x3A, 0, 0, 0, 0, 0});
        s.fake.SetRegBinary(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map", userMap);
        ParamList = {u"/M", u"CAPSLOCK"};
        RunScancodeMap();
        ParamList = {u"/M", u"SCROLLOCK"};
        RunScancodeMap();
        auto backup =
            s.fake.GetRegValue(HKEY_LOCAL_MACHINE, kLayout, u"Vantor Backup Scancode Map");
        REQUIRE(backup.has_value());
        CHECK(backup->data == userMap);
        auto map = s.fake.GetRegValue(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map");
        REQUIRE(map.has_value());
        CHECK(map->data ==
              Bytes({0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0x62, 0, 0x46, 0, 0, 0, 0, 0}));
        ParamList.clear();
    }

    TEST_CASE("/M alone leaves a map the tool did not write, and its backup, and succeeds") {
        SetupScope s;
        s.fake.SetRegBinary(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map", Bytes({1, 2, 3}));
        s.fake.SetRegBinary(HKEY_LOCAL_MACHINE, kLayout, u"Vantor Backup Scancode Map", Bytes({4}));
        ParamList = {u"/M"};
        RunScancodeMap();
        auto map = s.fake.GetRegValue(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map");
        REQUIRE(map);
        CHECK(map->data == Bytes({1, 2, 3}));
        auto backup =
            s.fake.GetRegValue(HKEY_LOCAL_MACHINE, kLayout, u"Vantor Backup Scancode Map");
        REQUIRE(backup);
        CHECK(backup->data == Bytes({4}));
        CHECK(s.fake.messageBoxes.empty());
        ParamList.clear();
    }

    TEST_CASE("/M alone never makes a backup of a map stored before any run") {
        SetupScope s;
        s.fake.SetRegBinary(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map", Bytes({1, 2, 3}));
        ParamList = {u"/M"};
        RunScancodeMap();
        auto map = s.fake.GetRegValue(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map");
        REQUIRE(map);
        CHECK(map->data == Bytes({1, 2, 3}));
        CHECK_FALSE(s.fake.GetRegValue(HKEY_LOCAL_MACHINE, kLayout, u"Vantor Backup Scancode Map"));
        ParamList.clear();
    }

    TEST_CASE("/M CAPSLOCK over a user's map, then /M: the user's map is back, no backup left") {
        SetupScope s;
        const auto userMap =
            Bytes({0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0x1D, 0, 0x3A, 0, 0, 0, 0, 0});
        s.fake.SetRegBinary(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map", userMap);
        ParamList = {u"/M", u"CAPSLOCK", u"SCROLLOCK"};
        RunScancodeMap();
        ParamList = {u"/M"};
        RunScancodeMap();
        auto map = s.fake.GetRegValue(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map");
        REQUIRE(map);
        CHECK(map->data == userMap);
        CHECK_FALSE(s.fake.GetRegValue(HKEY_LOCAL_MACHINE, kLayout, u"Vantor Backup Scancode Map"));
        // and a second /M changes nothing more
        RunScancodeMap();
        CHECK(s.fake.GetRegValue(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map")->data == userMap);
        ParamList.clear();
    }

    TEST_CASE("/M /Q that cannot change the map: no window, a line, a failed run") {
        FakeScope scope;
        const auto own = Bytes({0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0x5D, 0, 0x3A, 0, 0, 0, 0, 0});
        scope.fake.SetRegBinary(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map", own);
        scope.fake.ProtectRegKey(HKEY_LOCAL_MACHINE, kLayout);
        ShellRecorder rec;
        CHECK(VtInstMain(kExe, u"x", {u"/M", u"/Q"}, rec.Shell()) != 0);
        CHECK(scope.fake.messageBoxes.empty());
        CHECK(rec.errorLines ==
              std::vector<std::u16string>{u"Konnte ScancodeMap nicht aus Registry löschen"});
        CHECK(scope.fake.GetRegValue(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map")->data == own);
    }

    TEST_CASE("a map that cannot be written or removed is an error box and a failed run") {
        // Without administrator rights every write below HKEY_LOCAL_MACHINE fails; a
        // machine without the layout key cannot take a map either.
        const auto userMap =
            Bytes({0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0x1D, 0, 0x3A, 0, 0, 0, 0, 0});
        struct Case {
            const char* name;
            std::vector<std::u16string> args;
            bool keyExists;
            const char16_t* text;
        };
        for (const Case& c :
             {Case{"denied write",
                   {u"/M", u"CAPSLOCK"},
                   true,
                   u"Konnte ScancodeMap nicht in Registry schreiben"},
              Case{
                  "denied delete", {u"/M"}, true, u"Konnte ScancodeMap nicht aus Registry löschen"},
              Case{"no layout key",
                   {u"/M", u"SCROLLOCK"},
                   false,
                   u"Konnte ScancodeMap nicht in Registry schreiben"}}) {
            CAPTURE(c.name);
            FakeScope scope;
            if (c.keyExists) {
                scope.fake.SetRegBinary(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map", userMap);
                scope.fake.ProtectRegKey(HKEY_LOCAL_MACHINE, kLayout);
            }
            ShellRecorder rec;
            CHECK(VtInstMain(kExe, u"x", c.args, rec.Shell()) != 0);
            REQUIRE(scope.fake.messageBoxes.size() == 2);  // the information box, then the error
            CHECK(scope.fake.messageBoxes[1].text == c.text);
            CHECK((scope.fake.messageBoxes[1].type & MB_ICONHAND) == MB_ICONHAND);
            auto stored = scope.fake.GetRegValue(HKEY_LOCAL_MACHINE, kLayout, u"Scancode Map");
            CHECK(stored.has_value() == c.keyExists);
            if (stored) CHECK(stored->data == userMap);
            CHECK_FALSE(
                scope.fake.GetRegValue(HKEY_LOCAL_MACHINE, kLayout, u"Vantor Backup Scancode Map"));
            CHECK(scope.fake.RegKeyExists(HKEY_LOCAL_MACHINE, kLayout) == c.keyExists);
        }
    }
}
