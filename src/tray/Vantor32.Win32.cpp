// Vantor32.exe, the tray program: owns the window "Vantor32" (created before the library
// is loaded, so that every process finds it), switches the hook on, answers the hook's
// messages at once, sounds events on a worker thread, shows the master switch in its
// tray icon and every switch in its menu, and on 64-bit Windows starts the 32-bit
// companion. The menu's logic is in Vantor32.Menu.cpp; the settings window (from the menu,
// WM_HOST_COMMAND and a second start) in Settings.Win32.cpp.
//
// Threads. Every key typed in every program waits for the window "Vantor32" to answer, so
// that window has a thread of its own (the host thread, above normal priority) that
// answers the library's sent messages and waits for nothing: no dialog, no file, no
// registry walk, no sound. It also installs the hook, because Windows calls the hook of a
// program of the other bitness on the installing thread, and it never stops pumping.
// Everything else it hands on by posting: the icon's messages, WM_HOST_COMMAND and the
// setup tool's WM_CLOSE and WM_QUIT to the main thread (icon, menu, settings window,
// imports, message boxes, the companion), sound events to the sound thread (a bounded
// queue; "Beenden" stops what plays), log lines to the log writer.
//   Vantor32 [--log FILE] [--dll PATH] [--no-tray]
//   Vantor32 /export FILE.reg | /import FILE.reg [/S]   (ends without starting the program)
// --log is the test mode: the host messages and the tray's steps go to FILE.
#include <windows.h>
#include <mmsystem.h>
#include <shellapi.h>

#include <atomic>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "MessagePump.Win32.h"
#include "Settings.Win32.h"
#include "Vantor32.Res.h"
#include "Vantor32.SoundQueue.h"
#include "Vantor32.h"
#include "common/Vantor.Utils.h"
#include "platform/win32/Win32Platform.h"

namespace {

using namespace vt;

constexpr UINT kTrayId = 1;
// To the main thread's window. WM_SETTINGS_CHANGED comes from the wait on the "Settings"
// key; a message, so that every loop that runs on that thread (the menu's, the settings
// window's, a message box's) keeps the icon current.
constexpr UINT WM_SETTINGS_CHANGED = WM_APP + 2;
constexpr UINT WM_OPEN_SETTINGS = WM_APP + 3;  // WM_HOST_COMMAND, handed on by the host
constexpr UINT WM_END_PROGRAM = WM_APP + 4;    // WM_CLOSE or WM_QUIT reached the host
// To the host thread: switch the hook off and end.
constexpr UINT WM_STOP_HOST = WM_APP + 5;
// To the sound thread: wParam is the event.
constexpr UINT WM_PLAY_SOUND = WM_APP + 6;
// What the program waits, at most, for a sound to stop when it ends. A WAV file stops at
// once; a speaker tone is waited out inside the library, so past this the program ends
// without it.
constexpr DWORD kSoundStopMs = 300;

using InstallFn = HHOOK(WINAPI*)(BOOL);
using PlaySoundFn = BOOL(WINAPI*)(BYTE);

const wchar_t* W(const std::u16string& s) {
    return reinterpret_cast<const wchar_t*>(s.c_str());
}
std::u16string U(const std::wstring& s) {
    return std::u16string(s.begin(), s.end());
}

// ------------------------------------------------------------------ the --log file
// Lines come from every thread; the host thread must not wait for a disk, so a writer
// thread of its own writes them, in the order they came.
class TLogWriter {
public:
    bool Open(const wchar_t* path) {
        file_ = _wfopen(path, L"ab");
        if (!file_) return false;
        try {
            thread_ = std::thread([this] { Run(); });
        } catch (...) {
            std::fclose(file_);
            file_ = nullptr;
        }
        return file_ != nullptr;
    }
    bool IsOpen() const { return file_ != nullptr; }
    void Line(std::string line) {
        if (!file_) return;
        try {
            std::lock_guard<std::mutex> lock(mutex_);
            lines_.push_back(std::move(line));
        } catch (...) {
            return;
        }
        wake_.notify_one();
    }
    void Close() {
        if (!file_) return;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_one();
        if (thread_.joinable()) thread_.join();
        std::fclose(file_);
        file_ = nullptr;
    }

private:
    void Run() {
        std::vector<std::string> batch;
        for (;;) {
            bool stop = false;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                wake_.wait(lock, [this] { return stop_ || !lines_.empty(); });
                batch.swap(lines_);
                stop = stop_;
            }
            for (const auto& l : batch) {
                std::fputs(l.c_str(), file_);
                std::fputc('\n', file_);
            }
            std::fflush(file_);
            batch.clear();
            if (stop) return;
        }
    }
    FILE* file_ = nullptr;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<std::string> lines_;
    bool stop_ = false;
};

TLogWriter gLog;

void Log(const char* fmt, ...) {
    if (!gLog.IsOpen()) return;
    char buffer[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    gLog.Line(buffer);
}

void LogMessage(UINT msg, WPARAM wParam) {
    Log("%X %llu", msg, static_cast<unsigned long long>(wParam));
}

// ------------------------------------------------------------------ state
struct Host {
    // the host thread: its window, the library, the hook and the modifier byte
    std::atomic<HWND> wnd{nullptr};
    HANDLE thread = nullptr;
    HANDLE ready = nullptr, go = nullptr;
    std::wstring dllPath;
    bool libraryLoaded = false;
    InstallFn install = nullptr;
    PlaySoundFn playSound = nullptr;
    std::atomic<HHOOK> hook{nullptr};
    bool installed = false;  // host thread only
    BYTE modifiers = 0;      // host thread only
    bool stopping = false;   // host thread only

    // the sound thread
    HANDLE soundThread = nullptr;
    DWORD soundThreadId = 0;
    std::atomic<bool> soundsEnding{false};

    // the main thread: the window the icon's messages and commands go to
    HWND ui = nullptr;
    std::wstring exePath;
    RCompanion companion;
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

// ------------------------------------------------------------------ sounds
// Sounds play synchronously and may take minutes. The worker takes what was posted while
// one played into a bounded queue (the oldest go) and plays the oldest left.
DWORD WINAPI SoundThread(void* started) {
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the queue, before anyone posts to it
    SetEvent(static_cast<HANDLE>(started));
    TSoundQueue queue;
    const auto take = [&](const MSG& m) {
        if (m.message == WM_PLAY_SOUND && queue.Push(static_cast<std::uint8_t>(m.wParam)))
            Log("SOUND dropped");
    };
    for (;;) {
        if (queue.Empty()) {
            if (GetMessageW(&msg, nullptr, 0, 0) <= 0) return 0;
            take(msg);
        }
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) return 0;
            take(msg);
        }
        if (queue.Empty() || g.soundsEnding) continue;
        const std::uint8_t event = queue.Pop();
        Log("SOUND %u", event);
        if (g.playSound) g.playSound(event);
    }
}

void PostSound(std::uint8_t event) {
    if (g.soundThreadId) PostThreadMessageW(g.soundThreadId, WM_PLAY_SOUND, event, 0);
}

DWORD WINAPI StopWavSound(void*) {
    return PlaySoundW(nullptr, nullptr, 0);
}

// Stops what plays and ends the worker; false when it is still inside a speaker tone.
bool StopSounds() {
    if (!g.soundThread) return true;
    g.soundsEnding = true;
    PostThreadMessageW(g.soundThreadId, WM_QUIT, 0, 0);
    // PlaySound(NULL) stops a WAV file playing on any thread of the process; it waits for
    // that sound to let go, so it gets a thread of its own.
    if (HANDLE stopper = CreateThread(nullptr, 0, StopWavSound, nullptr, 0, nullptr))
        CloseHandle(stopper);
    const bool ended = WaitForSingleObject(g.soundThread, kSoundStopMs) == WAIT_OBJECT_0;
    if (ended) {
        CloseHandle(g.soundThread);
        g.soundThread = nullptr;
    }
    return ended;
}

// ------------------------------------------------------------------ the host thread
void SwitchOff() {
    if (g.installed && g.install) {
        g.install(FALSE);
        g.installed = false;
        g.hook = nullptr;
    }
}

void HandOn(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) {
    if (g.ui) PostMessageW(g.ui, msg, wParam, lParam);
}

LRESULT CALLBACK HostProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    try {
        switch (msg) {
            case WM_HOST_GETHOOK:
                LogMessage(msg, wParam);
                return reinterpret_cast<LRESULT>(g.hook.load());
            case WM_HOST_GETMODIFIERS:
                LogMessage(msg, wParam);
                return g.modifiers;
            case WM_HOST_SETMODIFIERS:
                LogMessage(msg, wParam);
                g.modifiers = static_cast<BYTE>(wParam & 0xFF);
                return 0;
            case WM_HOST_SOUNDEVENT:
                LogMessage(msg, wParam);
                PostSound(static_cast<std::uint8_t>(wParam));
                return 0;
            case WM_HOST_COMMAND:
                LogMessage(msg, wParam);
                HandOn(WM_OPEN_SETTINGS);
                return 0;
            case WM_TRAY:  // the icon is this window's; the main thread shows the menu
                HandOn(WM_TRAY, wParam, lParam);
                return 0;
            case WM_CLOSE:
                LogMessage(msg, wParam);
                HandOn(WM_END_PROGRAM);
                return 0;
            case WM_STOP_HOST:
                g.stopping = true;
                SwitchOff();
                DestroyWindow(wnd);
                return 0;
            case WM_ENDSESSION:
                // The session ends or an installer closes the program: the hook goes now,
                // the main thread's window does the rest.
                if (wParam) SwitchOff();
                return 0;
            case WM_DESTROY:
                g.wnd = nullptr;
                PostQuitMessage(0);
                return 0;
            default:
                if (msg == g.taskbarCreated && msg != 0) {
                    HandOn(msg);
                    return 0;
                }
                return DefWindowProcW(wnd, msg, wParam, lParam);
        }
    } catch (...) {
        return 0;  // nothing escapes a window procedure
    }
}

DWORD WINAPI HostThread(void*) {
    // Its answers hold up every key in every program; it only answers, so running it
    // before the programs it answers costs them nothing.
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_VANTOR_ON));
    wc.lpszClassName = L"Vantor32";
    RegisterClassW(&wc);
    g.wnd = CreateWindowExW(0, L"Vantor32", L"Vantor32", WS_OVERLAPPED, 0, 0, 100, 100, nullptr,
                            nullptr, instance, nullptr);
    if (!g.wnd) {
        SetEvent(g.ready);
        return 1;
    }
    // Started elevated (the setup starts it at its end, or "Als Administrator ausführen"),
    // the window would no longer hear the library in normal programs nor Explorer's
    // restart: Windows drops messages from a lower integrity level unless let through.
    for (UINT m : {static_cast<UINT>(vt::WM_HOST_SOUNDEVENT), static_cast<UINT>(vt::WM_HOST_COMMAND),
                   static_cast<UINT>(vt::WM_HOST_GETHOOK), static_cast<UINT>(vt::WM_HOST_GETMODIFIERS),
                   static_cast<UINT>(vt::WM_HOST_SETMODIFIERS), g.taskbarCreated})
        ChangeWindowMessageFilterEx(g.wnd, m, MSGFLT_ALLOW, nullptr);

    // The window exists before the library loads: the library looks it up once per process.
    HMODULE lib = LoadLibraryW(g.dllPath.c_str());
    if (lib) {
        g.install = reinterpret_cast<InstallFn>(GetProcAddress(lib, "Install"));
        g.playSound = reinterpret_cast<PlaySoundFn>(GetProcAddress(lib, "PlaySound"));
    }
    g.libraryLoaded = lib && g.install;
    SetEvent(g.ready);
    // The main thread starts the sound thread meanwhile, so that no early event is lost.
    if (g.libraryLoaded && WaitForSingleObject(g.go, 10000) == WAIT_OBJECT_0) {
        g.hook = g.install(TRUE);
        g.installed = g.hook.load() != nullptr;
        Log("READY %d", g.installed ? 1 : 0);
    }
    // Windows calls the hook for programs of the other bitness on this thread, through
    // its queue: it pumps until the main thread ends it.
    MSG msg;
    for (;;) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1) break;
        if (got == 0) {
            if (g.stopping || !g.wnd) break;
            // The setup tool's WM_QUIT, posted to the window: the program ends.
            HandOn(WM_END_PROGRAM);
            continue;
        }
        DispatchMessageW(&msg);
    }
    SwitchOff();
    return 0;
}

// ------------------------------------------------------------------ tray icon
void RemoveTray();

// Adds the icon (add) or brings it in line with the master switch and with
// "Vantor-Symbol verstecken". The icon belongs to the host window, which hands its
// messages on to this thread.
void UpdateTray(bool add) {
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
    if (!g.trayShown || !g.wnd) return;
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

// A pool thread waits for the event; the main thread re-arms the watch.
void CALLBACK SettingsChanged(void*, BOOLEAN) {
    PostMessageW(g.ui, WM_SETTINGS_CHANGED, 0, 0);
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
            MessageBoxW(g.ui, W(kInfoText), L"Vantor32", MB_OK | MB_ICONINFORMATION);
            break;
        case TRAY_QUIT:
            PostMessageW(g.ui, WM_END_PROGRAM, 0, 0);
            break;
        case TRAY_FAILED:
            MessageBoxW(g.ui,
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
    BringToFront(g.ui);
    g.menuOpen = true;
    Log("MENU open");
    UINT id = static_cast<UINT>(TrackPopupMenu(menu, TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY,
                                               pt.x, pt.y, 0, g.ui, nullptr));
    g.menuOpen = false;
    DestroyMenu(menu);
    // Lets the menu close properly when the person clicks elsewhere next time.
    PostMessageW(g.ui, WM_NULL, 0, 0);
    Log("MENU %u", id);
    if (id) RunCommand(id);
    // Typing goes on where it was: the menu took the foreground only for itself (our
    // window is never visible).
    if (previous && previous != g.ui && IsWindow(previous) && GetForegroundWindow() == g.ui)
        SetForegroundWindow(previous);
}

// ------------------------------------------------------------------ settings window
// From the menu, WM_HOST_COMMAND and a second start. The window runs its own loop until
// it closes; the main loop starts it, not a window procedure, so that the end of the
// program meanwhile finds no handler of its own still running. One already open comes to
// the front.
void OpenSettings() {
    // Another program has the foreground after a WM_HOST_COMMAND or a second start.
    BringToFront(g.ui);
    if (SettingsWindowOpen()) {
        ShowSettingsWindow(g.ui, nullptr);
        return;
    }
    g.settingsWanted = true;
    PostMessageW(g.ui, WM_NULL, 0, 0);  // wakes the main loop
}

void RunSettingsWindow() {
    g.settingsWanted = false;
    Log("SETTINGS open");
    // Sounds go to the same worker as the library's events: "Anhören" never blocks the
    // window.
    ShowSettingsWindow(g.ui, [](std::uint8_t event) { PostSound(event); });
    Log("SETTINGS closed");
}

// ------------------------------------------------------------------ the main thread's window
// Hidden; the menu's owner, the settings window's and every message box's, and the
// receiver of what the host thread hands on.
LRESULT CALLBACK TrayProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    try {
        switch (msg) {
            case WM_OPEN_SETTINGS:
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
            case WM_END_PROGRAM:
            case WM_CLOSE:
                if (g.menuOpen) {  // the menu's loop ends first; then we close
                    EndMenu();
                    PostMessageW(wnd, WM_END_PROGRAM, 0, 0);
                    return 0;
                }
                // Every loop on this thread (a message box, the settings window, a file
                // dialog) gives way to WM_QUIT and passes it on down to the main loop.
                PostQuitMessage(0);
                return 0;
            case WM_ENDSESSION:
                if (wParam) {
                    StopCompanion(g.companion);
                    RemoveTray();
                    // Closed for an update rather than a logoff, the program must end: a
                    // window without its hook would take every later start's hand-over.
                    PostQuitMessage(0);
                }
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

// Starts the sound thread once its queue exists; without it events go unplayed and typing
// is not affected.
void StartSounds() {
    HANDLE started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!started) return;
    DWORD id = 0;
    g.soundThread = CreateThread(nullptr, 0, SoundThread, started, 0, &id);
    if (g.soundThread && WaitForSingleObject(started, 5000) == WAIT_OBJECT_0)
        g.soundThreadId = id;
    else
        Log("NO SOUND THREAD");
    CloseHandle(started);
}

// Switches the hook off and ends the host thread. It never waits for anything, so the
// wait is short; bounded all the same.
void StopHost() {
    if (!g.thread) return;
    if (g.wnd) PostMessageW(g.wnd, WM_STOP_HOST, 0, 0);
    if (WaitForSingleObject(g.thread, 5000) != WAIT_OBJECT_0) Log("HOST did not end");
    CloseHandle(g.thread);
    g.thread = nullptr;
}

int Finish(int code) {
    gLog.Close();
    return code;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    SetPlatform(&Win32PlatformInstance());
    const std::u16string exePath = Plat().GetModuleFileNameW();
    g.exePath.assign(exePath.begin(), exePath.end());
    std::wstring dir = g.exePath.substr(0, g.exePath.find_last_of(L"\\/") + 1);
    g.dllPath = dir + L"Vt32Util.dll";
    for (int i = 1; argv && i < argc; ++i) {
        std::wstring a = argv[i];
        if (a == L"--log" && i + 1 < argc)
            gLog.Open(argv[++i]);
        else if (a == L"--dll" && i + 1 < argc)
            g.dllPath = argv[++i];
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
    if (configCode >= 0) return Finish(configCode);
    if (!ClaimInstance() && HandOver()) return Finish(0);
    SetUpUser(exePath);

    g.iconOn = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_VANTOR_ON), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON),
                                             GetSystemMetrics(SM_CYSMICON), 0));
    g.iconOff = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_VANTOR_OFF),
                                              IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                              GetSystemMetrics(SM_CYSMICON), 0));
    g.taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");

    // This thread's window first: the host thread hands its messages on to it.
    WNDCLASSW wc{};
    wc.lpfnWndProc = TrayProc;
    wc.hInstance = instance;
    wc.lpszClassName = L"Vantor32.Symbol";
    RegisterClassW(&wc);
    g.ui = CreateWindowExW(0, L"Vantor32.Symbol", L"", WS_OVERLAPPED, 0, 0, 100, 100, nullptr,
                           nullptr, instance, nullptr);
    if (!g.ui) return Finish(1);

    g.ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g.go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!g.ready || !g.go) return Finish(1);
    g.thread = CreateThread(nullptr, 0, HostThread, nullptr, 0, nullptr);
    if (!g.thread || WaitForSingleObject(g.ready, 30000) != WAIT_OBJECT_0 || !g.wnd) {
        Log("NO HOST WINDOW");
        return Finish(1);
    }
    if (!g.libraryLoaded) {
        MessageBoxW(nullptr, L"Vt32Util.dll konnte nicht geladen werden.", L"Vantor32",
                    MB_OK | MB_ICONERROR);
        StopHost();
        return Finish(1);
    }
    StartSounds();
    SetEvent(g.go);  // the host thread installs the hook now
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
    LogMessage(WM_QUIT, msg.wParam);
    // The icon before its window goes; then the hook, the companion, the sounds.
    RemoveTray();
    StopHost();
    StopCompanion(g.companion);
    const bool soundsEnded = StopSounds();
    if (g.settingsWait) UnregisterWaitEx(g.settingsWait, INVALID_HANDLE_VALUE);
    if (g.settingsKey) RegCloseKey(g.settingsKey);
    if (g.settingsChanged) CloseHandle(g.settingsChanged);
    DestroyWindow(g.ui);
    ReleaseInstance();
    Log("END");
    Finish(0);
    // A speaker tone is still being waited out inside the library: everything is put
    // away, so the program ends without it rather than after it.
    if (!soundsEnded) TerminateProcess(GetCurrentProcess(), 0);
    return 0;
}
