// Vantor32.exe, the tray program: owns the window "Vantor32" (created before the library
// is loaded, so that every process finds it), switches the hook on, answers the hook's
// messages at once, sounds events on a worker thread, shows the master switch in its
// tray icon and every switch in its menu, and on 64-bit Windows starts the 32-bit
// companion. The menu's logic is in Vantor32.Menu.cpp; the settings window (from the menu,
// WM_HOST_COMMAND and a second start) in Settings.Win32.cpp.
//   Vantor32 [--log FILE] [--dll PATH] [--no-tray]
//   Vantor32 /export FILE.reg | /import FILE.reg [/S]   (ends without starting the program)
// --log is the test mode: the host messages and the tray's steps go to FILE.
#include <windows.h>
#include <shellapi.h>

#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "MessagePump.Win32.h"
#include "Settings.Win32.h"
#include "Vantor32.Res.h"
#include "Vantor32.h"
#include "common/Vantor.Utils.h"
#include "platform/win32/Win32Platform.h"

namespace {

using namespace vt;

constexpr UINT kTrayId = 1;
// Posted by the wait on the "Settings" key; a message, so that every loop that runs on
// this thread (the menu's, the settings window's, a message box's) keeps the icon current.
constexpr UINT WM_SETTINGS_CHANGED = WM_APP + 2;

using InstallFn = HHOOK(WINAPI*)(BOOL);
using PlaySoundFn = BOOL(WINAPI*)(BYTE);

const wchar_t* W(const std::u16string& s) {
    return reinterpret_cast<const wchar_t*>(s.c_str());
}
std::u16string U(const std::wstring& s) {
    return std::u16string(s.begin(), s.end());
}

// Sounds play synchronously and may take seconds; the window thread must keep answering
// the hook's sent messages meanwhile, or typing would stall in every program.
class SoundWorker {
public:
    void Start(PlaySoundFn play) {
        play_ = play;
        thread_ = std::thread([this] { Run(); });
    }
    void Post(BYTE event) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            queue_.push_back(event);
        }
        cv_.notify_one();
    }
    void Stop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        cv_.notify_one();
        if (thread_.joinable()) thread_.join();
    }

private:
    void Run() {
        for (;;) {
            BYTE event;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                cv_.wait(lock, [this] { return stop_ || !queue_.empty(); });
                if (stop_) return;
                event = queue_.front();
                queue_.pop_front();
            }
            if (play_) play_(event);
        }
    }
    PlaySoundFn play_ = nullptr;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<BYTE> queue_;
    bool stop_ = false;
};

struct Host {
    HWND wnd = nullptr;
    std::wstring exePath;
    InstallFn install = nullptr;
    HHOOK hook = nullptr;
    bool installed = false;
    BYTE modifiers = 0;
    FILE* log = nullptr;
    SoundWorker sounds;
    RCompanion companion;
    // tray icon
    bool trayWanted = true;
    bool trayShown = false;
    int iconState = -1;  // the master switch the icon shows; -1 before the first
    HICON iconOn = nullptr, iconOff = nullptr;
    UINT taskbarCreated = 0;
    bool menuOpen = false;
    // the watch on the "Settings" key
    HKEY settingsKey = nullptr;
    HANDLE settingsChanged = nullptr;
    HANDLE settingsWait = nullptr;
    bool settingsWanted = false;  // the main loop opens the settings window
} g;

void Log(const char* fmt, ...) {
    if (!g.log) return;
    va_list args;
    va_start(args, fmt);
    std::vfprintf(g.log, fmt, args);
    va_end(args);
    std::fputc('\n', g.log);
    std::fflush(g.log);
}

void LogMessage(UINT msg, WPARAM wParam) {
    Log("%X %llu", msg, static_cast<unsigned long long>(wParam));
}

// ------------------------------------------------------------------ tray icon
void RemoveTray();

// Adds the icon (add) or brings it in line with the master switch and with
// "Vantor-Symbol verstecken".
void UpdateTray(bool add) {
    // IsWindow: a WM_CLOSE handled inside a message box (the setup closing the program while
    // "Info" is open) has destroyed the window by the time the command returns here.
    if (!g.trayWanted || !g.wnd || !IsWindow(g.wnd)) return;
    if (IconHidden()) {
        if (g.trayShown) Log("ICON versteckt");
        RemoveTray();
        return;
    }
    const bool on = MainSwitchOn();
    if (!add && g.trayShown && g.iconState == (on ? 1 : 0)) return;
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = g.wnd;
    nid.uID = kTrayId;
    nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    nid.uCallbackMessage = WM_TRAY;
    nid.hIcon = on ? g.iconOn : g.iconOff;
    lstrcpynW(nid.szTip, W(TrayTip(on)), ARRAYSIZE(nid.szTip));
    BOOL ok = FALSE;
    if (!add && g.trayShown) ok = Shell_NotifyIconW(NIM_MODIFY, &nid);
    // A shell that restarted without telling us has forgotten the icon.
    if (!ok) ok = Shell_NotifyIconW(NIM_ADD, &nid);
    g.trayShown = ok != FALSE;
    g.iconState = on ? 1 : 0;
    Log("ICON %s %d", on ? "ein" : "aus", ok ? 1 : 0);
}

void RemoveTray() {
    if (!g.trayShown) return;
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = g.wnd;
    nid.uID = kTrayId;
    Shell_NotifyIconW(NIM_DELETE, &nid);
    g.trayShown = false;
}

// ------------------------------------------------------------------ the watch on "Settings"
// Any program may switch an option (the hot-key in whatever program has the focus, a
// macro, the setup tool): the icon follows the key, without polling. Windows says nothing
// to a watch whose key is deleted, and an import or an uninstall deletes the product's key
// and may write a new one. So the watch sits on the maker's key above it, subtree
// included, and each change opens it again by its path.
void ArmSettingsWatch() {
    if (!g.settingsChanged) return;
    if (g.settingsKey) RegCloseKey(g.settingsKey);
    g.settingsKey = nullptr;
    std::u16string path = RegPath;
    while (!path.empty() && path.back() == u'\\') path.pop_back();
    path = path.substr(0, path.find_last_of(u'\\'));  // the maker's key
    if (RegCreateKeyExW(HKEY_CURRENT_USER, W(path), 0, nullptr, 0, KEY_NOTIFY | KEY_READ, nullptr,
                        &g.settingsKey, nullptr) != ERROR_SUCCESS) {
        g.settingsKey = nullptr;
        return;
    }
    if (RegNotifyChangeKeyValue(g.settingsKey, TRUE,
                                REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_NAME,
                                g.settingsChanged, TRUE) != ERROR_SUCCESS) {
        RegCloseKey(g.settingsKey);
        g.settingsKey = nullptr;
    }
}

// A pool thread waits for the event; the window's thread re-arms the watch.
void CALLBACK SettingsChanged(void*, BOOLEAN) {
    PostMessageW(g.wnd, WM_SETTINGS_CHANGED, 0, 0);
}

// ------------------------------------------------------------------ menu
// A tray program's menu needs the foreground, or it neither takes the keyboard nor
// closes when the person clicks elsewhere. After a WM_HOST_COMMAND another program
// has it; joining its input queue for the call lets us take it.
void BringToFront(HWND wnd) {
    if (SetForegroundWindow(wnd)) return;
    HWND fg = GetForegroundWindow();
    DWORD fgThread = fg ? GetWindowThreadProcessId(fg, nullptr) : 0;
    DWORD self = GetCurrentThreadId();
    if (fgThread && fgThread != self && AttachThreadInput(self, fgThread, TRUE)) {
        SetForegroundWindow(wnd);
        AttachThreadInput(self, fgThread, FALSE);
    }
}

void OpenSettings();

void RunCommand(UINT id) {
    switch (RunTrayCommand(id, U(g.exePath))) {
        case TRAY_SETTINGS:
            OpenSettings();
            break;
        case TRAY_INFO:
            MessageBoxW(g.wnd, W(kInfoText), L"Vantor32", MB_OK | MB_ICONINFORMATION);
            break;
        case TRAY_QUIT:
            PostMessageW(g.wnd, WM_CLOSE, 0, 0);
            break;
        case TRAY_FAILED:
            MessageBoxW(g.wnd,
                        L"Der Befehl konnte nicht ausgeführt werden. Einzelheiten zeigt die "
                        L"Diagnose.",
                        L"Vantor32", MB_OK | MB_ICONEXCLAMATION);
            break;
        case TRAY_NONE:
            break;
    }
    UpdateTray(false);
}

// Shows the menu at the mouse pointer, from the icon.
void ShowTrayMenu() {
    if (g.menuOpen) return;  // one menu at a time; it is already in front
    HMENU menu = CreatePopupMenu();
    if (!menu) return;
    for (const auto& item : BuildTrayMenu()) {
        if (item.id == 0)
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        else
            AppendMenuW(menu, MF_STRING | (item.checked ? MF_CHECKED : MF_UNCHECKED), item.id,
                        W(item.text));
        if (item.isDefault) SetMenuDefaultItem(menu, item.id, FALSE);
    }
    POINT pt{};
    GetCursorPos(&pt);
    HWND previous = GetForegroundWindow();
    BringToFront(g.wnd);
    g.menuOpen = true;
    Log("MENU open");
    UINT id = static_cast<UINT>(TrackPopupMenu(menu, TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY,
                                               pt.x, pt.y, 0, g.wnd, nullptr));
    g.menuOpen = false;
    DestroyMenu(menu);
    // Lets the menu close properly when the person clicks elsewhere next time.
    PostMessageW(g.wnd, WM_NULL, 0, 0);
    Log("MENU %u", id);
    if (id) RunCommand(id);
    // Typing goes on where it was: the menu took the foreground only for itself (our
    // window is never visible).
    if (previous && previous != g.wnd && IsWindow(previous) && GetForegroundWindow() == g.wnd)
        SetForegroundWindow(previous);
}

// ------------------------------------------------------------------ settings window
// From the menu, WM_HOST_COMMAND and a second start. The window runs its own loop until
// it closes; the main loop starts it, not a window procedure, so that a WM_CLOSE of the
// host window meanwhile finds no handler of its own still running. One already open
// comes to the front.
void OpenSettings() {
    // Another program has the foreground after a WM_HOST_COMMAND or a second start.
    BringToFront(g.wnd);
    if (SettingsWindowOpen()) {
        ShowSettingsWindow(g.wnd, nullptr);
        return;
    }
    g.settingsWanted = true;
    PostMessageW(g.wnd, WM_NULL, 0, 0);  // wakes the main loop
}

void RunSettingsWindow() {
    g.settingsWanted = false;
    Log("SETTINGS open");
    // Sounds go to the same worker as the library's events: "Anhören" never blocks the
    // window, and the window's thread keeps answering the hook.
    ShowSettingsWindow(g.wnd, [](std::uint8_t event) { g.sounds.Post(event); });
    Log("SETTINGS closed");
}

// ------------------------------------------------------------------ window
void SwitchOff() {
    if (g.installed && g.install) {
        g.install(FALSE);
        g.installed = false;
    }
}

LRESULT CALLBACK HostProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    try {
        switch (msg) {
            case WM_HOST_GETHOOK:
                LogMessage(msg, wParam);
                return reinterpret_cast<LRESULT>(g.hook);
            case WM_HOST_GETMODIFIERS:
                LogMessage(msg, wParam);
                return g.modifiers;
            case WM_HOST_SETMODIFIERS:
                LogMessage(msg, wParam);
                g.modifiers = static_cast<BYTE>(wParam & 0xFF);
                return 0;
            case WM_HOST_SOUNDEVENT:
                LogMessage(msg, wParam);
                g.sounds.Post(static_cast<BYTE>(wParam));
                return 0;
            case WM_HOST_COMMAND:
                LogMessage(msg, wParam);
                OpenSettings();
                return 0;
            case WM_SETTINGS_CHANGED:
                ArmSettingsWatch();  // first, so that no change slips between the two
                UpdateTray(false);
                RefreshSettingsWindow();
                return 0;
            case WM_TRAY:
                switch (LOWORD(lParam)) {
                    case WM_RBUTTONUP:
                    case WM_CONTEXTMENU:
                    case NIN_KEYSELECT:
                        ShowTrayMenu();
                        break;
                    case WM_LBUTTONDBLCLK:
                        RunCommand(IDM_MAIN);
                        break;
                }
                return 0;
            case WM_CLOSE:
                LogMessage(msg, wParam);
                if (g.menuOpen) {  // the menu's loop ends first; then we close
                    EndMenu();
                    PostMessageW(wnd, WM_CLOSE, wParam, lParam);
                    return 0;
                }
                SwitchOff();
                DestroyWindow(wnd);
                return 0;
            case WM_ENDSESSION:
                if (wParam) {
                    SwitchOff();
                    StopCompanion(g.companion);
                    RemoveTray();
                    // Closed for an update rather than a logoff, the program must end: a
                    // window without its hook would take every later start's hand-over.
                    DestroyWindow(wnd);
                }
                return 0;
            case WM_DESTROY:
                RemoveTray();
                PostQuitMessage(0);
                return 0;
            default:
                if (msg == g.taskbarCreated && msg != 0) {
                    // Explorer restarted: its new taskbar knows no icons.
                    Log("TASKBARCREATED");
                    g.trayShown = false;
                    UpdateTray(true);
                    return 0;
                }
                return DefWindowProcW(wnd, msg, wParam, lParam);
        }
    } catch (...) {
        return 0;  // nothing escapes a window procedure
    }
}

// The second start: the running instance shows its settings window, this one ends. Its
// window may still be on its way when both start at once. Or the running one is just ending
// (a person chose "Beenden" and started the program again at once): its window is gone
// but not yet its mutex. Once the mutex comes free this start is the only one and
// carries on, or nothing would run at all.
// Returns true when this start should end.
bool HandOver() {
    Log("SECOND");
    for (int i = 0; i < 200; ++i) {
        if (HWND host = FindWindowW(L"Vantor32", L"Vantor32")) {
            DWORD pid = 0;
            GetWindowThreadProcessId(host, &pid);
            AllowSetForegroundWindow(pid);  // we have the foreground; it may take it
            ShowRunningInstance();
            return true;
        }
        if (ClaimInstance()) {
            Log("FIRST");
            return false;
        }
        Sleep(50);
    }
    return true;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    SetPlatform(&Win32PlatformInstance());
    const std::u16string exePath = Plat().GetModuleFileNameW();
    g.exePath.assign(exePath.begin(), exePath.end());
    std::wstring dir = g.exePath.substr(0, g.exePath.find_last_of(L"\\/") + 1);
    std::wstring dllPath = dir + L"Vt32Util.dll";
    for (int i = 1; argv && i < argc; ++i) {
        std::wstring a = argv[i];
        if (a == L"--log" && i + 1 < argc)
            g.log = _wfopen(argv[++i], L"ab");
        else if (a == L"--dll" && i + 1 < argc)
            dllPath = argv[++i];
        else if (a == L"--no-tray")
            g.trayWanted = false;
    }

    try {
        VantorCommonInit();
        VantorUtilsInit();
    } catch (...) {
        // Without the option store every switch reads as off; the program still runs.
    }
    // /export and /import work beside a running program and start none: before the
    // instance check, the window and the library.
    const int configCode = argv ? RunConfigCommandLine(argc - 1, argv + 1) : -1;
    if (argv) LocalFree(argv);
    if (configCode >= 0) {
        if (g.log) std::fclose(g.log);
        return configCode;
    }
    if (!ClaimInstance() && HandOver()) {
        if (g.log) std::fclose(g.log);
        return 0;
    }
    SetUpUser(exePath);

    g.iconOn = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_VANTOR_ON), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON),
                                             GetSystemMetrics(SM_CYSMICON), 0));
    g.iconOff = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_VANTOR_OFF),
                                              IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                              GetSystemMetrics(SM_CYSMICON), 0));
    g.taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");

    WNDCLASSW wc{};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_VANTOR_ON));
    wc.lpszClassName = L"Vantor32";
    RegisterClassW(&wc);
    g.wnd = CreateWindowExW(0, L"Vantor32", L"Vantor32", WS_OVERLAPPED, 0, 0, 100, 100, nullptr,
                            nullptr, instance, nullptr);
    if (!g.wnd) return 1;
    // Started elevated (the setup starts it at its end, or "Als Administrator ausführen"),
    // the window would no longer hear the library in normal programs nor Explorer's
    // restart: Windows drops messages from a lower integrity level unless let through.
    for (UINT m : {static_cast<UINT>(vt::WM_HOST_SOUNDEVENT), static_cast<UINT>(vt::WM_HOST_COMMAND),
                   static_cast<UINT>(vt::WM_HOST_GETHOOK), static_cast<UINT>(vt::WM_HOST_GETMODIFIERS),
                   static_cast<UINT>(vt::WM_HOST_SETMODIFIERS), g.taskbarCreated})
        ChangeWindowMessageFilterEx(g.wnd, m, MSGFLT_ALLOW, nullptr);

    // The window exists before the library loads: the library looks it up once per process.
    HMODULE lib = LoadLibraryW(dllPath.c_str());
    if (!lib) {
        MessageBoxW(nullptr, L"Vt32Util.dll konnte nicht geladen werden.", L"Vantor32",
                    MB_OK | MB_ICONERROR);
        DestroyWindow(g.wnd);
        return 1;
    }
    g.install = reinterpret_cast<InstallFn>(GetProcAddress(lib, "Install"));
    if (!g.install) return 1;
    try {
        g.sounds.Start(reinterpret_cast<PlaySoundFn>(GetProcAddress(lib, "PlaySound")));
    } catch (...) {
        Log("NO SOUND THREAD");  // events then queue up unplayed; typing is not affected
    }
    g.hook = g.install(TRUE);
    g.installed = g.hook != nullptr;
    Log("READY %d", g.installed ? 1 : 0);
#ifdef _WIN64
    // 32-bit programs need the 32-bit library, which only a 32-bit process can install.
    Log("COMPANION %d", StartCompanion(U(dir), g.companion) ? 1 : 0);
#endif

    g.settingsChanged = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (g.settingsChanged &&
        !RegisterWaitForSingleObject(&g.settingsWait, g.settingsChanged, SettingsChanged, nullptr,
                                     INFINITE, WT_EXECUTEDEFAULT))
        g.settingsWait = nullptr;
    ArmSettingsWatch();
    UpdateTray(true);

    MSG msg{};
    bool running = true;
    while (running) {
        running = PumpMessages(msg);
        if (!running) break;
        if (g.settingsWanted) {
            RunSettingsWindow();
            continue;  // what its loop left in the queue first
        }
        MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
    // WM_QUIT posted straight to the thread ends the loop without WM_CLOSE.
    LogMessage(WM_QUIT, msg.wParam);
    SwitchOff();
    StopCompanion(g.companion);
    if (IsWindow(g.wnd)) RemoveTray();
    g.sounds.Stop();
    if (g.settingsWait) UnregisterWaitEx(g.settingsWait, INVALID_HANDLE_VALUE);
    if (g.settingsKey) RegCloseKey(g.settingsKey);
    if (g.settingsChanged) CloseHandle(g.settingsChanged);
    ReleaseInstance();
    if (g.log) std::fclose(g.log);
    return 0;
}
