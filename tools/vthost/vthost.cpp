// vthost: the reference tray host. Owns the window "Vantor32" (created before the library
// is loaded, so that every process finds it), switches the hook on, answers the hook's
// messages at once, sounds events on a worker thread, and offers a small tray menu.
//   vthost [--log FILE] [--dll PATH] [--no-tray]
#include <windows.h>
#include <shellapi.h>

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "common/Vantor.Utils.h"
#include "platform/win32/Win32Platform.h"

namespace {

constexpr UINT WM_HOST_SOUNDEVENT = WM_USER + 100;
constexpr UINT WM_HOST_COMMAND = WM_USER + 104;
constexpr UINT WM_HOST_GETHOOK = WM_USER + 106;
constexpr UINT WM_HOST_GETMODIFIERS = WM_USER + 107;
constexpr UINT WM_HOST_SETMODIFIERS = WM_USER + 108;
constexpr UINT WM_TRAY = WM_APP + 1;
constexpr UINT IDM_MAIN = 100;
constexpr UINT IDM_QUIT = 101;

using InstallFn = HHOOK(WINAPI*)(BOOL);
using PlaySoundFn = BOOL(WINAPI*)(BYTE);

InstallFn gInstall = nullptr;
PlaySoundFn gPlaySound = nullptr;
HHOOK gHook = nullptr;
bool gInstalled = false;
BYTE gModifiers = 0;
FILE* gLog = nullptr;
NOTIFYICONDATAW gTray{};
bool gTrayShown = false;

// Sounds play synchronously and may take seconds; the window thread must keep answering
// the hook's sent messages meanwhile, or typing would stall in every program.
class SoundWorker {
public:
    void Start() {
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
            if (gPlaySound) gPlaySound(event);
        }
    }
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<BYTE> queue_;
    bool stop_ = false;
};

SoundWorker gSounds;

void LogMessage(UINT msg, WPARAM wParam) {
    if (!gLog) return;
    std::fprintf(gLog, "%X %llu\n", msg, static_cast<unsigned long long>(wParam));
    std::fflush(gLog);
}

void SwitchOff() {
    if (gInstalled && gInstall) {
        gInstall(FALSE);
        gInstalled = false;
    }
}

bool MainSwitchOn() {
    try {
        return vt::Options && vt::Options->GetOption(vt::OPT_MAIN) != 0;
    } catch (...) {
        return false;
    }
}

void ShowTrayMenu(HWND wnd) {
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING | (MainSwitchOn() ? MF_CHECKED : MF_UNCHECKED), IDM_MAIN,
                L"Vantor eingeschaltet");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, IDM_QUIT, L"Beenden");
    POINT pt;
    GetCursorPos(&pt);
    SetForegroundWindow(wnd);
    TrackPopupMenu(menu, TPM_RIGHTBUTTON, pt.x, pt.y, 0, wnd, nullptr);
    DestroyMenu(menu);
}

LRESULT CALLBACK HostProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_HOST_GETHOOK:
            LogMessage(msg, wParam);
            return reinterpret_cast<LRESULT>(gHook);
        case WM_HOST_GETMODIFIERS:
            LogMessage(msg, wParam);
            return gModifiers;
        case WM_HOST_SETMODIFIERS:
            LogMessage(msg, wParam);
            gModifiers = static_cast<BYTE>(wParam & 0xFF);
            return 0;
        case WM_HOST_SOUNDEVENT:
            LogMessage(msg, wParam);
            gSounds.Post(static_cast<BYTE>(wParam));
            return 0;
        case WM_HOST_COMMAND:
            LogMessage(msg, wParam);
            return 0;
        case WM_TRAY:
            if (lParam == WM_RBUTTONUP || lParam == WM_CONTEXTMENU) ShowTrayMenu(wnd);
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDM_MAIN) {
                try {
                    if (vt::Options) vt::Options->SetOption(vt::OPT_MAIN, !MainSwitchOn());
                } catch (...) {
                }
            } else if (LOWORD(wParam) == IDM_QUIT) {
                PostMessageW(wnd, WM_CLOSE, 0, 0);
            }
            return 0;
        case WM_CLOSE:
            LogMessage(msg, wParam);
            SwitchOff();
            DestroyWindow(wnd);
            return 0;
        case WM_DESTROY:
            if (gTrayShown) Shell_NotifyIconW(NIM_DELETE, &gTray);
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(wnd, msg, wParam, lParam);
    }
}

std::wstring ExeDir() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s(path, n);
    return s.substr(0, s.find_last_of(L"\\/") + 1);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::wstring dllPath = ExeDir() + L"Vt32Util.dll";
    bool tray = true;
    for (int i = 1; i < argc; ++i) {
        std::wstring a = argv[i];
        if (a == L"--log" && i + 1 < argc)
            gLog = _wfopen(argv[++i], L"ab");
        else if (a == L"--dll" && i + 1 < argc)
            dllPath = argv[++i];
        else if (a == L"--no-tray")
            tray = false;
    }
    LocalFree(argv);

    vt::SetPlatform(&vt::Win32PlatformInstance());
    try {
        vt::VantorCommonInit();
        vt::VantorUtilsInit();
    } catch (...) {
    }

    WNDCLASSW wc{};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = instance;
    wc.lpszClassName = L"Vantor32";
    RegisterClassW(&wc);
    HWND wnd = CreateWindowExW(0, L"Vantor32", L"Vantor32", WS_OVERLAPPED, 0, 0, 100, 100, nullptr,
                               nullptr, instance, nullptr);
    if (!wnd) return 1;

    // The window exists before the library loads: the library looks it up once per process.
    HMODULE lib = LoadLibraryW(dllPath.c_str());
    if (!lib) {
        MessageBoxW(nullptr, L"Vt32Util.dll konnte nicht geladen werden.", L"Vantor32",
                    MB_OK | MB_ICONERROR);
        return 1;
    }
    gInstall = reinterpret_cast<InstallFn>(GetProcAddress(lib, "Install"));
    gPlaySound = reinterpret_cast<PlaySoundFn>(GetProcAddress(lib, "PlaySound"));
    if (!gInstall) return 1;
    gSounds.Start();
    gHook = gInstall(TRUE);
    gInstalled = gHook != nullptr;
    if (gLog) {
        std::fprintf(gLog, "READY %d\n", gInstalled ? 1 : 0);
        std::fflush(gLog);
    }

    if (tray) {
        gTray.cbSize = sizeof(gTray);
        gTray.hWnd = wnd;
        gTray.uID = 1;
        gTray.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        gTray.uCallbackMessage = WM_TRAY;
        gTray.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
        lstrcpynW(gTray.szTip, L"Vantor32", 64);
        gTrayShown = Shell_NotifyIconW(NIM_ADD, &gTray) != FALSE;
    }

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    // WM_QUIT posted straight to the thread ends the loop without WM_CLOSE.
    if (msg.message == WM_QUIT) LogMessage(WM_QUIT, msg.wParam);
    SwitchOff();
    if (gTrayShown && IsWindow(wnd)) Shell_NotifyIconW(NIM_DELETE, &gTray);
    gSounds.Stop();
    if (gLog) std::fclose(gLog);
    return 0;
}
