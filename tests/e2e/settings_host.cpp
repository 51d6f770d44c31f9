// Hosts the tray program's settings window for the end-to-end tests, as the tray program's
// menu opens it: in a GUI process into which the library's global hook is loaded.
//   settings_host.exe                      shows the window until it is closed
//   settings_host.exe /export F | /import F [/S]   the configuration commands
#include <windows.h>

#include <shellapi.h>

#include <thread>

#include "common/Vantor.Utils.h"
#include "platform/win32/Win32Platform.h"
#include "tray/Settings.Win32.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    vt::SetPlatform(&vt::Win32PlatformInstance());
    try {
        vt::VantorCommonInit();
        vt::VantorUtilsInit();
    } catch (...) {
    }
    const int code = argv ? vt::RunConfigCommandLine(argc - 1, argv + 1) : -1;
    if (argv) LocalFree(argv);
    if (code >= 0) return code;

    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dll(path, n);
    dll = dll.substr(0, dll.find_last_of(L"\\/") + 1) + L"Vt32Util.dll";
    HMODULE library = LoadLibraryW(dll.c_str());
    using PlaySoundFn = BOOL(WINAPI*)(BYTE);
    auto play =
        library ? reinterpret_cast<PlaySoundFn>(GetProcAddress(library, "PlaySound")) : nullptr;
    vt::ShowSettingsWindow(nullptr, [play](std::uint8_t event) {
        if (play) std::thread([play, event] { play(event); }).detach();
    });
    return 0;
}
