// The tray program under Wine, used like a person uses it: the hot-key and its icon,
// the menu opened from the keyboard, switches that every program sees at its next key
// press, autostart, a second start, a restarted taskbar, the sound events.
#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include <doctest/doctest.h>

#include <shellapi.h>

#include "E2E.h"
#include "SetupDriver.h"

using namespace e2e;

namespace {

const std::wstring kRun = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::wstring kScheme = L"AppEvents\\Schemes\\Apps\\Vantor32";
const UINT kTrayId = 1;

void Prepare() {
    ConfigureSwitches({{L"Vantor eingeschaltet", 1}});
    RegDeleteTreeCU(kScheme);
    RegDeleteValueCU(kRun, L"Vantor32");
    // AltGr+M sends the host command (*9): it opens the settings window.
    RegSetText(kVantorMacros + L"\\AltGr", L"0008004D", L"^*9");
    RegSetText(kVantorMacros + L"\\Umlaut\\Ascii", L"000000DE", L"ae");
    RegSetText(kVantorMacros + L"\\Umlaut\\HTML", L"000000DE", L"&auml;");
}

int CountLines(const std::wstring& path, const std::string& line) {
    int n = 0;
    for (const auto& l : ReadLines(path)) n += l == line ? 1 : 0;
    return n;
}

bool WaitLines(const std::wstring& path, const std::string& line, int count) {
    return WaitUntil([&] { return CountLines(path, line) >= count; }, 10000);
}

BYTE Switch(const wchar_t* name) {
    BYTE b = 0xEE;
    return RegGetByte(kVantorSettings, name, &b) ? b : 0xEE;
}

bool WaitSwitch(const wchar_t* name, BYTE value) {
    return WaitUntil([&] { return Switch(name) == value; }, 10000);
}

HWND Menu() {
    HWND m = FindWindowW(L"#32768", nullptr);
    return m && IsWindowVisible(m) ? m : nullptr;
}

bool WaitMenu(bool open) {
    return WaitUntil([&] { return (Menu() != nullptr) == open; }, 10000);
}

void AltGr(WORD vk) {
    KeyDown(VK_RMENU, true);
    Tap(vk);
    KeyUp(VK_RMENU, true);
}

// From the keyboard: with the icon focused (Win+B, the arrow keys), the menu key makes the
// shell send the icon's message with WM_CONTEXTMENU; Wine's tray has no keyboard focus, so
// the test sends what the shell would. The program typed in keeps the foreground until then.
bool OpenMenu(Scene& scene) {
    scene.Focus();
    WaitUntil([&] { return GetForegroundWindow() == scene.targetWnd; }, 10000);
    PostMessageW(FindWindowW(L"Vantor32", L"Vantor32"), 0x8001 /* the icon's message */, kTrayId,
                 WM_CONTEXTMENU);
    return WaitMenu(true);
}

const wchar_t kSettingsTitle[] = L"Vantor32 – Einstellungen";

HWND SettingsWindow() {
    HWND w = FindWindowW(L"#32770", kSettingsTitle);
    return w && IsWindowVisible(w) ? w : nullptr;
}

// An item by its underlined letter; the menu closes.
bool Choose(char letter) {
    Tap(static_cast<WORD>(letter));
    return WaitMenu(false);
}

// Whether the shell holds the host's icon: it modifies only an icon it has.
bool IconInTray(HWND host) {
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = host;
    nid.uID = kTrayId;
    return Shell_NotifyIconW(NIM_MODIFY, &nid) != FALSE;
}

// The type-in test: what the key with the umlaut code types now.
std::wstring TypeUmlautKey(Scene& scene) {
    scene.Focus();
    REQUIRE(WaitUntil([&] { return GetForegroundWindow() == scene.targetWnd; }, 10000));
    scene.ClearText();
    Tap(VK_OEM_7);
    WaitUntil([&] { return !scene.Text().empty(); }, 10000);
    scene.Settle();
    return scene.Text();
}

// Wine shows the icons in a window of its own when there is no taskbar.
HWND TrayWindow() {
    HWND taskbar = FindWindowW(L"Shell_TrayWnd", nullptr);
    if (taskbar && IsWindowVisible(taskbar)) return taskbar;
    return FindWindowW(L"__winex11_standalone_tray", nullptr);
}

void Screenshot(HWND wnd, const wchar_t* name) {
    if (wnd) CHECK(setup::SaveScreenshot(wnd, setup::ScreenshotPath(name)));
}

}  // namespace

TEST_CASE("the icon follows the master switch and comes back after the taskbar restarts") {
    Prepare();
    const std::wstring chosen = kScheme + L"\\Ein\\.current";
    RegSetText(chosen, L"", L"C:\\windows\\media\\ding.wav");
    Scene scene;
    scene.hostTray = true;
    REQUIRE(scene.Up());
    HWND host = FindWindowW(L"Vantor32", L"Vantor32");
    REQUIRE(host != nullptr);
    CHECK(WaitLines(scene.hostLog, "ICON ein 1", 1));
    CHECK(IconInTray(host));
    HWND tray = TrayWindow();
    Screenshot(tray, L"tray_on");

    // Right Alt+F1 in the program being typed in: the icon follows the registry.
    scene.Focus();
    AltGr(VK_F1);
    CHECK(WaitSwitch(L"Vantor eingeschaltet", 0));
    CHECK(WaitLines(scene.hostLog, "ICON aus 1", 1));
    Screenshot(tray, L"tray_off");
    AltGr(VK_F1);
    CHECK(WaitLines(scene.hostLog, "ICON ein 1", 2));
    // Another program writes the switch: the icon follows as well.
    RegSetByte(kVantorSettings, L"Vantor eingeschaltet", 0);
    CHECK(WaitLines(scene.hostLog, "ICON aus 1", 2));

    // Explorer restarts: its new taskbar knows no icon until the program adds it again.
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = host;
    nid.uID = 1;
    REQUIRE(Shell_NotifyIconW(NIM_DELETE, &nid));
    REQUIRE_FALSE(IconInTray(host));
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0,
                        SMTO_ABORTIFHUNG, 5000, &ignored);
    CHECK(WaitUntil([&] { return IconInTray(host); }, 10000));
    CHECK(FileHasLine(scene.hostLog, "TASKBARCREATED"));

    // "Vantor-Symbol verstecken": the icon goes, stays away when the taskbar restarts,
    // and comes back when the switch is off again.
    RegSetByte(kVantorSettings, L"Vantor-Symbol verstecken", 1);
    CHECK(WaitUntil([&] { return !IconInTray(host); }, 10000));
    SendMessageTimeoutW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0,
                        SMTO_ABORTIFHUNG, 5000, &ignored);
    CHECK(WaitLines(scene.hostLog, "TASKBARCREATED", 2));
    CHECK_FALSE(IconInTray(host));
    RegSetByte(kVantorSettings, L"Vantor-Symbol verstecken", 0);
    CHECK(WaitUntil([&] { return IconInTray(host); }, 10000));

    // The whole configuration deleted and written again, as an import does: the icon still
    // follows the switch.
    const int shownOn = CountLines(scene.hostLog, "ICON ein 1");
    RegDeleteTreeCU(kVantorKey);
    RegSetByte(kVantorSettings, L"Vantor eingeschaltet", 1);
    CHECK(WaitLines(scene.hostLog, "ICON ein 1", shownOn + 1));

    // The sound events are registered for Windows' sound settings; the chosen file stays.
    std::wstring text;
    CHECK((RegGetText(kScheme, L"", &text) && text == L"Vantor32"));
    CHECK((RegGetText(chosen, L"", &text) && text == L"C:\\windows\\media\\ding.wav"));
    CHECK((RegGetText(kScheme + L"\\Großschrift\\.current", L"", &text) && text.empty()));
    CHECK((RegGetText(L"AppEvents\\EventLabels\\Großschrift", L"", &text) &&
           text == L"Vantor32: Großschrift (CAPSLOCK)"));
}

TEST_CASE("the menu opened from the keyboard switches what every program does at its next key") {
    Prepare();
    Scene scene;
    scene.hostTray = true;
    REQUIRE(scene.Up());
    CHECK(TypeUmlautKey(scene) == L"'");  // no conversion yet

    REQUIRE(OpenMenu(scene));
    CHECK(Choose('U'));  // Umlautwandlung
    CHECK(WaitSwitch(L"Umlautwandlung", 1));
    // Typing goes on where it was: the menu hands the foreground back.
    CHECK(WaitUntil([&] { return GetForegroundWindow() == scene.targetWnd; }, 10000));
    CHECK(TypeUmlautKey(scene) == L"ae");

    REQUIRE(OpenMenu(scene));
    Screenshot(Menu(), L"tray_menu");
    CHECK(Choose('H'));  // Umlaute als HTML
    CHECK(WaitSwitch(L"UmlautMode", 1));
    CHECK(TypeUmlautKey(scene) == L"&auml;");

    // Mit Windows starten: the quoted path in the Run key, and away again.
    REQUIRE(OpenMenu(scene));
    CHECK(Choose('W'));
    std::wstring run;
    CHECK(WaitUntil([&] { return RegGetText(kRun, L"Vantor32", &run); }, 10000));
    CHECK(run == HostExe());
    REQUIRE(OpenMenu(scene));
    CHECK(Choose('W'));
    CHECK(WaitUntil([&] { return !RegGetText(kRun, L"Vantor32", &run); }, 10000));

    REQUIRE(OpenMenu(scene));
    CHECK(Choose('V'));  // Vantor eingeschaltet: everything off
    CHECK(WaitSwitch(L"Vantor eingeschaltet", 0));
    CHECK(WaitLines(scene.hostLog, "ICON aus 1", 1));
    CHECK(TypeUmlautKey(scene) == L"'");
    CHECK(Switch(L"Umlautwandlung") == 1);  // the other switches keep their state

    // Einstellungen…: the settings window in front; Escape closes it.
    REQUIRE(OpenMenu(scene));
    CHECK(Choose('E'));
    CHECK(WaitUntil([] { return SettingsWindow() && GetForegroundWindow() == SettingsWindow(); },
                    15000));
    ReadyForKeys(SettingsWindow());
    Tap(VK_ESCAPE);
    CHECK(WaitUntil([] { return SettingsWindow() == nullptr; }, 10000));

    // Beenden: the program ends and its hook is gone.
    REQUIRE(OpenMenu(scene));
    CHECK(Choose('B'));
    CHECK(WaitExit(scene.host, 10000));
    CHECK(WaitUntil([] { return FindWindowW(L"Vantor32", L"Vantor32") == nullptr; }, 10000));
}

TEST_CASE("started again while the last one is still ending, the new start runs") {
    Prepare();
    // A program that has closed its window but not yet ended still holds the
    // one-instance mutex. The test holds it the same way for a moment.
    HANDLE held = CreateMutexW(nullptr, FALSE, L"Local\\Vantor32");
    REQUIRE(held);
    REQUIRE(GetLastError() != ERROR_ALREADY_EXISTS);
    const std::wstring log = TempPath(L"restart");
    Process p = Start(HostExe() + L" --no-tray --log \"" + log + L"\"");
    CHECK(WaitUntil([&] { return FileHasLine(log, "SECOND"); }, 20000));
    CloseHandle(held);
    HWND host = WaitWindow(L"Vantor32", L"Vantor32", 20000);
    CHECK(host != nullptr);
    CHECK(WaitUntil([&] { return ReadFileBytes(log).find("READY 1") != std::string::npos; },
                    20000));
    if (host) PostMessageW(host, WM_CLOSE, 0, 0);
    if (!WaitExit(p, 10000)) Kill(p);
}

TEST_CASE("AltGr+M (*9) and a second start bring the settings window forward; the icon follows") {
    Prepare();
    Scene scene;
    scene.hostTray = true;
    REQUIRE(scene.Up());
    scene.Focus();
    AltGr('M');
    REQUIRE(WaitUntil([] { return SettingsWindow() != nullptr; }, 15000));
    HWND settings = SettingsWindow();
    CHECK(WaitUntil([&] { return GetForegroundWindow() == settings; }, 10000));
    CHECK(Menu() == nullptr);

    // While the window is open, the hot-key typed elsewhere switches everything off: the
    // icon and the window's master switch follow the registry.
    HWND master = nullptr;
    EnumChildWindows(
        settings,
        [](HWND wnd, LPARAM out) -> BOOL {
            if (GetDlgCtrlID(wnd) != 1100 /* the master switch's box */) return TRUE;
            *reinterpret_cast<HWND*>(out) = wnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&master));
    REQUIRE(master != nullptr);
    CHECK(SendMessageW(master, BM_GETCHECK, 0, 0) == BST_CHECKED);
    scene.Focus();
    REQUIRE(WaitUntil([&] { return GetForegroundWindow() == scene.targetWnd; }, 10000));
    AltGr(VK_F1);
    CHECK(WaitSwitch(L"Vantor eingeschaltet", 0));
    CHECK(WaitLines(scene.hostLog, "ICON aus 1", 1));
    CHECK(
        WaitUntil([&] { return SendMessageW(master, BM_GETCHECK, 0, 0) == BST_UNCHECKED; }, 10000));

    // A second start: the one window comes forward, the second program ends.
    const std::wstring secondLog = TempPath(L"second");
    Process second = Start(HostExe() + L" --log \"" + secondLog + L"\"");
    DWORD code = 99;
    CHECK(WaitExit(second, 20000, &code));
    CHECK(code == 0);
    CHECK(WaitUntil([&] { return GetForegroundWindow() == settings; }, 10000));
    CHECK(FileHasLine(secondLog, "SECOND"));
    // Only the first program loaded the library and installed the hook.
    CHECK(ReadFileBytes(secondLog).find("READY") == std::string::npos);
    CHECK(CountLines(scene.hostLog, "READY 1") == 1);
    CHECK(CountLines(scene.hostLog, "SETTINGS open") == 1);
    int hosts = 0;
    EnumWindows(
        [](HWND wnd, LPARAM count) -> BOOL {
            wchar_t cls[32] = {};
            GetClassNameW(wnd, cls, 32);
            if (lstrcmpW(cls, L"Vantor32") == 0) ++*reinterpret_cast<int*>(count);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&hosts));
    CHECK(hosts == 1);
    ReadyForKeys(settings);
    Tap(VK_ESCAPE);
    CHECK(WaitUntil([] { return SettingsWindow() == nullptr; }, 10000));
    CHECK(WaitLines(scene.hostLog, "SETTINGS closed", 1));
}
