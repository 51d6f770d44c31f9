// The tray program's logic against the fake: its menu and switches, autostart, the
// sound-event registration, the instance check and the 32-bit companion.
#include <doctest/doctest.h>

#include <optional>

#include "FakePlatform.h"
#include "common/Vantor.Utils.h"
#include "tray/Vantor32.h"

using namespace vt;

namespace {

const std::u16string kSettings = u"Software\\Quellmark\\Vantor32\\Settings";
const std::u16string kExe = u"C:\\Program Files\\Vantor32\\Vantor32.exe";

struct TrayFixture : FakeScope {
    TrayFixture() {
        VantorCommonInit();
        VantorUtilsInit();
    }
    ~TrayFixture() {
        ReleaseInstance();
        VantorUtilsDone();
        VantorCommonDone();
    }
    std::optional<std::uint8_t> Byte(const std::u16string& name) {
        auto v = fake.GetRegValue(HKEY_CURRENT_USER, kSettings, name);
        if (!v || v->type != REG_BINARY || v->data.size() != 1) return std::nullopt;
        return v->data[0];
    }
    const RTrayMenuItem& Item(std::uint32_t id) {
        static std::vector<RTrayMenuItem> menu;
        menu = BuildTrayMenu();
        for (const auto& i : menu)
            if (i.id == id) return i;
        FAIL("no menu item " << id);
        return menu[0];
    }
    std::u16string Text(HKey root, const std::u16string& path, const std::u16string& name = u"") {
        auto v = fake.GetRegValue(root, path, name);
        if (!v || v->type != REG_SZ) return u"<none>";
        std::u16string s;
        for (std::size_t i = 0; i + 1 < v->data.size(); i += 2)
            s += static_cast<char16_t>(v->data[i] | (v->data[i + 1] << 8));
        return s.substr(0, s.find(u'\0'));
    }
};

}  // namespace

TEST_SUITE("tray menu") {
    TEST_CASE("the menu: German items in order, each key letter once, the master switch bold") {
        TrayFixture f;
        std::vector<std::u16string> texts;
        for (const auto& i : BuildTrayMenu()) texts.push_back(i.id ? i.text : u"-");
        CHECK(texts == std::vector<std::u16string>{
                           u"&Vantor eingeschaltet", u"-", u"&Umlautwandlung", u"Umlaute als &HTML",
                           u"Kür&zel", u"Easy&Tab", u"EasyBac&kslash", u"&NUM Punkt", u"&CAPSLOCK sperren",
                           u"NU&M sperren", u"&Piepsen bei Umschaltungen", u"&Speaker benutzen",
                           u"-", u"&Einstellungen…", u"&Diagnose anzeigen", u"Mit &Windows starten",
                           u"&Info", u"-", u"&Beenden"});
        // A letter used twice would only select; each letter carries its item out at once.
        std::u16string letters;
        for (const auto& t : texts) {
            const auto amp = t.find(u'&');
            if (amp == std::u16string::npos) continue;
            const char16_t c = static_cast<char16_t>(t[amp + 1] | 0x20);
            CHECK(letters.find(c) == std::u16string::npos);
            letters += c;
        }
        int defaults = 0;
        for (const auto& i : BuildTrayMenu()) defaults += i.isDefault ? 1 : 0;
        CHECK(defaults == 1);
        CHECK(f.Item(IDM_MAIN).isDefault);
    }

    TEST_CASE("each switch shows its stored value and its item flips exactly that value") {
        TrayFixture f;
        const std::pair<std::uint32_t, const char16_t*> items[] = {
            {IDM_MAIN, u"Vantor eingeschaltet"},
            {IDM_UMLAUT, u"Umlautwandlung"},
            {IDM_ABBREV, u"K\u00FCrzel"},
            {IDM_EZ_TAB, u"EasyTab"},
            {IDM_EZ_BS, u"EasyBackslash"},
            {IDM_NP_DOT, u"NUM Punkt"},
            {IDM_LOCK_CAPS, u"CAPSLOCK sperren"},
            {IDM_LOCK_NUM, u"NUM Umschaltung sperren"},
            {IDM_BEEP, u"Piepsen bei Umschaltungen"},
            {IDM_SPEAKER, u"Speaker benutzen"},
        };
        for (const auto& [id, name] : items) {
            CAPTURE(std::string(ToUtf8(name)));
            CHECK_FALSE(f.Item(id).checked);  // absent reads as off
            CHECK(RunTrayCommand(id, kExe) == TRAY_NONE);
            CHECK(f.Byte(name) == std::optional<std::uint8_t>(1));
            CHECK(f.Item(id).checked);
            // a switch stored as 2 by someone else is on; choosing it switches it off
            f.fake.SetRegBinary(HKEY_CURRENT_USER, kSettings, name, {2});
            CHECK(f.Item(id).checked);
            CHECK(RunTrayCommand(id, kExe) == TRAY_NONE);
            CHECK(f.Byte(name) == std::optional<std::uint8_t>(0));
        }
        // Nothing else was written: ten values, all off.
        for (const auto& [id, name] : items) CHECK(f.Byte(name) == std::optional<std::uint8_t>(0));
        CHECK_FALSE(f.fake.GetRegValue(HKEY_CURRENT_USER, kSettings, u"UmlautMode"));
        CHECK(MainSwitchOn() == false);
    }

    TEST_CASE("the umlaut-mode item switches between the ASCII and the HTML table") {
        TrayFixture f;
        CHECK_FALSE(f.Item(IDM_UMLAUT_HTML).checked);
        RunTrayCommand(IDM_UMLAUT_HTML, kExe);
        CHECK(f.Byte(u"UmlautMode") == std::optional<std::uint8_t>(UMLAUT_HTML));
        CHECK(f.Item(IDM_UMLAUT_HTML).checked);
        CHECK_FALSE(f.Item(IDM_UMLAUT).checked);  // the conversion itself is its own switch
        RunTrayCommand(IDM_UMLAUT_HTML, kExe);
        CHECK(f.Byte(u"UmlautMode") == std::optional<std::uint8_t>(UMLAUT_ASCII));
    }

    TEST_CASE("a switch of the wrong type shows unchecked; choosing it stores a proper byte") {
        TrayFixture f;
        f.fake.SetRegDword(HKEY_CURRENT_USER, kSettings, u"Vantor eingeschaltet", 1);
        CHECK_FALSE(f.Item(IDM_MAIN).checked);
        CHECK(TrayTip(MainSwitchOn()) == u"Vantor32 – ausgeschaltet");
        CHECK(RunTrayCommand(IDM_MAIN, kExe) == TRAY_NONE);
        CHECK(f.Byte(u"Vantor eingeschaltet") == std::optional<std::uint8_t>(1));
        CHECK(TrayTip(MainSwitchOn()) == u"Vantor32 – eingeschaltet");
    }

    TEST_CASE("Diagnose anzeigen starts the viewer from the program's folder; the others") {
        TrayFixture f;
        CHECK(RunTrayCommand(IDM_VIEWER, kExe) == TRAY_NONE);
        REQUIRE(f.fake.shellExecutes.size() == 1);
        CHECK(f.fake.shellExecutes[0].lpFile == u"C:\\Program Files\\Vantor32\\vtview.exe");
        f.fake.shellExecuteResult = [](const ShellExecuteInfo&) { return false; };
        CHECK(RunTrayCommand(IDM_VIEWER, kExe) == TRAY_FAILED);
        CHECK(RunTrayCommand(IDM_INFO, kExe) == TRAY_INFO);
        CHECK(RunTrayCommand(IDM_QUIT, kExe) == TRAY_QUIT);
        CHECK(RunTrayCommand(IDM_SETTINGS, kExe) == TRAY_SETTINGS);
    }
}

TEST_SUITE("autostart") {
    TEST_CASE("Mit Windows starten writes the quoted path, shows it, and removes it again") {
        TrayFixture f;
        CHECK(SetAutostart(false, kExe));  // no Run key yet: nothing to remove, nothing created
        CHECK_FALSE(f.fake.RegKeyExists(HKEY_CURRENT_USER, kRunKey));
        CHECK_FALSE(f.Item(IDM_AUTOSTART).checked);
        CHECK(RunTrayCommand(IDM_AUTOSTART, kExe) == TRAY_NONE);
        CHECK(f.Text(HKEY_CURRENT_USER, kRunKey, u"Vantor32") == u"\"" + kExe + u"\"");
        CHECK(f.Item(IDM_AUTOSTART).checked);
        CHECK(RunTrayCommand(IDM_AUTOSTART, kExe) == TRAY_NONE);
        CHECK_FALSE(f.fake.GetRegValue(HKEY_CURRENT_USER, kRunKey, u"Vantor32"));
        CHECK_FALSE(f.Item(IDM_AUTOSTART).checked);
        // the other programs' values stay; switching off twice is no error
        f.fake.SetRegString(HKEY_CURRENT_USER, kRunKey, u"Other", u"other.exe");
        CHECK(SetAutostart(false, kExe));
        CHECK(f.Text(HKEY_CURRENT_USER, kRunKey, u"Other") == u"other.exe");
    }
}

TEST_SUITE("sound events") {
    TEST_CASE("registration: display name, eight labels, empty files; a chosen file stays") {
        TrayFixture f;
        const std::u16string chosen = kSchemeKey + u"\\Ein\\.current";
        f.fake.SetRegString(HKEY_CURRENT_USER, chosen, u"", u"C:\\Klang\\ein.wav");
        f.fake.SetRegString(HKEY_CURRENT_USER, kEventLabelsKey + u"\\Aus", u"", u"Fremd");
        for (int round = 0; round < 2; ++round) {
            CHECK(RegisterSoundEvents());
            CHECK(f.Text(HKEY_CURRENT_USER, kSchemeKey) == u"Vantor32");
            CHECK(f.Text(HKEY_CURRENT_USER, chosen) == u"C:\\Klang\\ein.wav");
            CHECK(f.Text(HKEY_CURRENT_USER, kEventLabelsKey + u"\\Aus") == u"Fremd");
            for (int e = 2; e <= 8; ++e) {
                const std::u16string event = kSchemeKey + u"\\" + SoundEventNames[e];
                CHECK(f.Text(HKEY_CURRENT_USER, event + u"\\.current") == u"");
                CHECK(f.Text(HKEY_CURRENT_USER, event + u"\\.Default") == u"");
                if (e != 2)
                    CHECK(f.Text(HKEY_CURRENT_USER, kEventLabelsKey + u"\\" + SoundEventNames[e]) ==
                          SoundEventLabels[e]);
            }
        }
        CHECK(f.Text(HKEY_CURRENT_USER, kEventLabelsKey + u"\\Großschrift") ==
              u"Vantor32: Großschrift (CAPSLOCK)");
        // What PlaySound looks up is what was registered.
        f.fake.SetRegString(HKEY_CURRENT_USER, kSchemeKey + u"\\Rollen\\.current", u"", u"r.wav");
        PlaySoundEvent(4);
        REQUIRE(f.fake.playedSounds.size() == 1);
        CHECK(f.fake.playedSounds[0].first == u"r.wav");
    }
}

TEST_SUITE("instance and companion") {
    TEST_CASE("one instance per session; a second start asks the first to show itself") {
        TrayFixture f;
        CHECK(ClaimInstance());
        CHECK(f.fake.mutexes[kInstanceMutexName] == 1);
        ReleaseInstance();
        CHECK(f.fake.mutexes.count(kInstanceMutexName) == 0);
        f.fake.mutexes[kInstanceMutexName] = 1;  // another process holds it
        CHECK_FALSE(ClaimInstance());
        CHECK(f.fake.mutexes[kInstanceMutexName] == 1);  // our handle was closed again
        f.fake.mutexes.erase(kInstanceMutexName);
        f.fake.mutexesDenied.insert(kInstanceMutexName);  // held by an elevated program
        CHECK_FALSE(ClaimInstance());
        f.fake.mutexesDenied.clear();

        CHECK_FALSE(ShowRunningInstance());  // no window yet
        HWnd host = f.fake.AddWindow(u"Vantor32", u"Vantor32");
        CHECK(ShowRunningInstance());
        REQUIRE(f.fake.posted.size() == 1);
        CHECK(f.fake.posted[0].wnd == host);
        CHECK(f.fake.posted[0].msg == WM_HOST_COMMAND);
        CHECK(f.fake.posted[0].wParam == 1);
    }

    TEST_CASE("the companion starts from the program's folder with the program's id") {
        TrayFixture f;
        const std::u16string dir = FolderOf(kExe);
        RCompanion c;
        CHECK_FALSE(StartCompanion(dir, c));  // not installed: nothing started
        CHECK(f.fake.processes.empty());
        CHECK(c.process == 0);

        f.fake.files.insert(dir + u"Vantor32x86.exe");
        f.fake.currentProcessId = 4711;
        const int handles = f.fake.OpenHandles();
        REQUIRE(StartCompanion(dir, c));
        REQUIRE(f.fake.processes.size() == 1);
        CHECK(f.fake.processes[0].commandLine ==
              u"\"C:\\Program Files\\Vantor32\\Vantor32x86.exe\" 4711");
        StopCompanion(c);
        CHECK(f.fake.processes[0].threadMessages == std::vector<std::uint32_t>{WM_QUIT});
        CHECK_FALSE(f.fake.processes[0].running);
        CHECK_FALSE(f.fake.processes[0].terminated);
        CHECK(f.fake.OpenHandles() == handles);
        CHECK(c.process == 0);
        StopCompanion(c);  // stopping twice does nothing
        CHECK(f.fake.OpenHandles() == handles);
    }

    TEST_CASE("a companion that does not quit is ended after a bounded wait") {
        TrayFixture f;
        const std::u16string dir = u"C:\\V\\";
        f.fake.files.insert(dir + u"Vantor32x86.exe");
        f.fake.processesIgnoreQuit = true;
        RCompanion c;
        REQUIRE(StartCompanion(dir, c));
        const std::uint32_t before = f.fake.tickCount;
        StopCompanion(c);
        CHECK(f.fake.tickCount - before == kCompanionStopMs);
        CHECK(f.fake.processes[0].terminated);
        CHECK(c.process == 0);

        f.fake.failCreateProcess = true;
        CHECK_FALSE(StartCompanion(dir, c));
        CHECK(c.process == 0);
    }
}
