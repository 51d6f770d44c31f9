// Hosts the setup tool's read-key dialog for the end-to-end tests, which have no other
// way to show it (the tool creates it but no action of it shows it).
//   readkey_host.exe <result file> <showings>
// Shows the one form <showings> times; after each showing appends "<n> <modal result>
// <vkResult as 8 hex digits>" to the result file and waits for the event
// "VtReadKeyHostNext" before the next showing, so keys still being released by the test
// cannot land in it.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>

#include "platform/win32/Win32Platform.h"

// The dialog's sources are built into this program (see cmake/Windows.cmake).
#include "setup/VtConfig.ReadKey.h"

namespace {

// The tool's manifest asks for common controls 6; borrow it so the dialog looks the same.
HANDLE ActivateToolManifest(ULONG_PTR* cookie) {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring exe(path, n);
    exe = exe.substr(0, exe.find_last_of(L"\\/") + 1) + L"VtInst.exe";
    ACTCTXW ctx{};
    ctx.cbSize = sizeof(ctx);
    ctx.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    ctx.lpSource = exe.c_str();
    ctx.lpResourceName = MAKEINTRESOURCEW(1);
    HANDLE h = CreateActCtxW(&ctx);
    if (h != INVALID_HANDLE_VALUE) ActivateActCtx(h, cookie);
    return h;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 3) return 2;
    std::wstring resultFile = argv[1];
    int showings = _wtoi(argv[2]);
    LocalFree(argv);

    vt::SetPlatform(&vt::Win32PlatformInstance());
    ULONG_PTR cookie = 0;
    HANDLE actx = ActivateToolManifest(&cookie);
    HANDLE next = CreateEventW(nullptr, FALSE, FALSE, L"VtReadKeyHostNext");

    vt::TFrmReadKey form;
    for (int i = 1; i <= showings; ++i) {
        if (i > 1) {
            WaitForSingleObject(next, 60000);
            // Keys the test released after the last showing closed are still queued for
            // this thread; they belong to no showing.
            MSG m;
            while (PeekMessageW(&m, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
            }
        }
        vt::TModalResult r = form.ShowModal();
        FILE* f = _wfopen(resultFile.c_str(), L"ab");
        if (!f) return 3;
        std::fprintf(f, "%d %d %08X\n", i, static_cast<int>(r),
                     static_cast<unsigned>(form.vkResult));
        std::fclose(f);
    }
    if (next) CloseHandle(next);
    if (actx != INVALID_HANDLE_VALUE) {
        DeactivateActCtx(0, cookie);
        ReleaseActCtx(actx);
    }
    return 0;
}
