// Vantor32x86.exe, the 32-bit companion of the 64-bit tray program. Windows maps a hook
// library only into programs of its own bitness, so 32-bit programs on 64-bit Windows
// need the 32-bit library's hook, installed by a 32-bit process. The tray program
// starts this one from its folder with its own process id; it loads x86\Vt32Util.dll
// below that folder, installs the hook, and removes it when told to quit or when the
// tray program has ended. It creates no window "Vantor32": every copy of the library,
// 32- or 64-bit, talks to the tray program's window.
//   Vantor32x86 <process id of the tray program>
#include <windows.h>

#include <cwchar>
#include <string>

#include "../MessagePump.Win32.h"

namespace {

using InstallFn = HHOOK(WINAPI*)(BOOL);

std::wstring ModuleFolder() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return L"";
    std::wstring s(path, n);
    return s.substr(0, s.find_last_of(L"\\/") + 1);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR cmdLine, int) {
    // The message queue exists before anyone can post WM_QUIT to this thread.
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);

    wchar_t* end = nullptr;
    unsigned long pid = std::wcstoul(cmdLine ? cmdLine : L"", &end, 10);
    HANDLE host = pid ? OpenProcess(SYNCHRONIZE, FALSE, pid) : nullptr;
    if (!host) return 2;  // started by hand, or the tray program is gone already

    // One companion per session, like the tray program itself. The companion of a tray
    // program that just ended may still be removing its hook: wait for it a little.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, L"Local\\Vantor32x86");
    DWORD owned = mutex ? WaitForSingleObject(mutex, 5000) : WAIT_FAILED;
    if (owned != WAIT_OBJECT_0 && owned != WAIT_ABANDONED) {
        if (mutex) CloseHandle(mutex);
        CloseHandle(host);
        return 3;
    }

    const std::wstring dll = ModuleFolder() + L"x86\\Vt32Util.dll";
    HMODULE lib = LoadLibraryW(dll.c_str());
    InstallFn install = lib ? reinterpret_cast<InstallFn>(GetProcAddress(lib, "Install")) : nullptr;
    HHOOK hook = install ? install(TRUE) : nullptr;
    int rc = hook ? 0 : 1;

    // Windows runs this hook for 64-bit programs in this thread, through its message
    // queue: keep pumping until told to quit or the tray program ends.
    bool running = hook != nullptr;
    while (running) {
        DWORD r = MsgWaitForMultipleObjects(1, &host, FALSE, INFINITE, QS_ALLINPUT);
        if (r != WAIT_OBJECT_0 + 1) break;  // the tray program ended, or the wait failed
        running = PumpMessages(msg);
    }
    if (hook) install(FALSE);
    if (lib) FreeLibrary(lib);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    CloseHandle(host);
    return rc;
}
