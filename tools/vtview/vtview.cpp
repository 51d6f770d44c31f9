// vtview: the diagnostic viewer. Owns the window "TDebugWindowDisplay" / "DebugWindow
// (Unicode)" and the block SHMEM_1024; prints every line it is sent (UTF-8, one per line)
// and, with --out FILE, appends it to that file as well. It reads the block under the
// writers' lock (see EmitLine).
//   vtview                                  the window people read (ViewerWindow)
//   vtview --console [--out FILE] [--quiet] the console mode of the tests and scripts
//                                           (--out or --quiet alone mean it too)
// In the console mode the message WM_APP+10 makes the window thread sleep wParam ms, as a
// viewer stopped in a debugger or paged out: the tests see that such a viewer does not
// stall the programs that log.
#include <windows.h>

#include <cstdio>
#include <string>

#include "ViewerWindow.h"
#include "common/DebugWindowInterface.h"
#include "platform/Platform.h"

namespace {

constexpr UINT kLineMessage = WM_USER + 100;
constexpr UINT kStallMessage = WM_APP + 10;
constexpr DWORD kBlockSize = 1024;

HANDLE gMapping = nullptr;
HANDLE gWriterLock = nullptr;
wchar_t* gBlock = nullptr;
FILE* gOut = nullptr;
bool gQuiet = false;
bool gWindow = false;

void EmitLine() {
    // A writer holds the lock from filling the block until we return, so taking it fails
    // while a writer waits for us. Taking it succeeds only for a notification whose writer
    // gave up waiting: then the lock keeps the next writer out of the block while we read.
    const DWORD wait = gWriterLock ? WaitForSingleObject(gWriterLock, 0) : WAIT_TIMEOUT;
    const bool locked = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    // The writers put no terminator: a line that fills the block has 512 units.
    std::u16string line;
    for (DWORD i = 0; i < kBlockSize / 2 && gBlock[i] != 0; ++i) {
        line.push_back(static_cast<char16_t>(gBlock[i]));
    }
    // Cleared after reading so that a shorter next line is followed by zeros.
    ZeroMemory(gBlock, kBlockSize);
    if (locked) ReleaseMutex(gWriterLock);
    if (gWindow) {
        viewer::AddViewerLine(std::wstring(line.begin(), line.end()));
        return;
    }
    std::string utf8 = vt::ToUtf8(line);
    if (!gQuiet) {
        std::fwrite(utf8.data(), 1, utf8.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    if (gOut) {
        std::fwrite(utf8.data(), 1, utf8.size(), gOut);
        std::fputc('\n', gOut);
        std::fflush(gOut);
    }
}

LRESULT CALLBACK ViewerProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kLineMessage && wParam == 1) {
        EmitLine();
        return 0;
    }
    if (msg == kStallMessage && !gWindow) {
        Sleep(static_cast<DWORD>(wParam < 60000 ? wParam : 60000));
        return 0;
    }
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(wnd, msg, wParam, lParam);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    bool console = false;
    for (int i = 1; i < argc; ++i) {
        std::wstring a = argv[i];
        if (a == L"--out" && i + 1 < argc)
            gOut = _wfopen(argv[++i], L"ab");
        else if (a == L"--quiet")
            gQuiet = true;
        else if (a == L"--console")
            console = true;
    }
    gWindow = !console && !gOut && !gQuiet;
    gMapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBlockSize,
                                  L"SHMEM_1024");
    if (!gMapping) {
        std::fprintf(stderr, "vtview: CreateFileMapping failed (%lu)\n", GetLastError());
        return 1;
    }
    gBlock = static_cast<wchar_t*>(MapViewOfFile(gMapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    if (!gBlock) {
        std::fprintf(stderr, "vtview: MapViewOfFile failed (%lu)\n", GetLastError());
        return 1;
    }
    ZeroMemory(gBlock, kBlockSize);
    const std::wstring lockName(vt::kDebugMutexName.begin(), vt::kDebugMutexName.end());
    gWriterLock = CreateMutexW(nullptr, FALSE, lockName.c_str());

    WNDCLASSW wc{};
    wc.lpfnWndProc = ViewerProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TDebugWindowDisplay";
    RegisterClassW(&wc);
    HWND wnd = CreateWindowExW(0, L"TDebugWindowDisplay", L"DebugWindow (Unicode)",
                               WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 300, 100, nullptr,
                               nullptr, wc.hInstance, nullptr);
    if (!wnd) {
        std::fprintf(stderr, "vtview: CreateWindow failed (%lu)\n", GetLastError());
        return 1;
    }
    if (gWindow) {
        if (!viewer::CreateViewerWindow(wc.hInstance)) {
            std::fprintf(stderr, "vtview: CreateWindow failed (%lu)\n", GetLastError());
            return 1;
        }
        // Started on its own (from Explorer or the tray menu) it needs no console window.
        DWORD processes[2];
        if (GetConsoleProcessList(processes, 2) == 1) FreeConsole();
    }
    std::fprintf(stderr, "vtview: ready\n");
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (gWindow && viewer::ViewerDialogMessage(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    UnmapViewOfFile(gBlock);
    CloseHandle(gMapping);
    if (gWriterLock) CloseHandle(gWriterLock);
    if (gOut) std::fclose(gOut);
    return 0;
}
