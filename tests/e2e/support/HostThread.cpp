#include "HostThread.h"

#include <string>

#include "E2E.h"

namespace e2e {

namespace {
constexpr UINT kHang = WM_APP + 7;
constexpr UINT kGetHook = WM_USER + 106;
constexpr UINT kGetModifiers = WM_USER + 107;
constexpr UINT kSetModifiers = WM_USER + 108;
// What a host without the library hands out as the hook handle.
const HHOOK kStandInHook = reinterpret_cast<HHOOK>(0x4242);
using InstallFn = HHOOK(WINAPI*)(BOOL);
}  // namespace

THostThread::THostThread(bool installHook) : installHook_(installHook) {
    ready_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    wake_ = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    thread_ = std::thread([this] { Run(); });
    WaitForSingleObject(ready_, 20000);
}

THostThread::~THostThread() {
    Wake();
    if (wnd_) PostMessageW(wnd_, WM_CLOSE, 0, 0);
    thread_.join();
    CloseHandle(ready_);
    CloseHandle(wake_);
}

void THostThread::Hang() {
    ResetEvent(wake_);
    PostMessageW(wnd_, kHang, 0, 0);
    WaitUntil([&] { return hanging_.load(); }, 5000);
}

void THostThread::Wake() {
    SetEvent(wake_);
}

LRESULT CALLBACK THostThread::Proc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<THostThread*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
    switch (msg) {
        case kGetHook:
            ++self->answered_;
            return reinterpret_cast<LRESULT>(self->installHook_ ? self->hook_ : kStandInHook);
        case kGetModifiers:
            ++self->answered_;
            return self->modifiers_;
        case kSetModifiers:
            ++self->answered_;
            self->modifiers_ = static_cast<BYTE>(wParam);
            return 0;
        case kHang:
            self->hanging_ = true;
            WaitForSingleObject(self->wake_, 30000);
            self->hanging_ = false;
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(wnd, msg, wParam, lParam);
    }
}

void THostThread::Run() {
    // As the tray program's host thread runs.
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
    WNDCLASSW wc{};
    wc.lpfnWndProc = &Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"Vantor32";
    RegisterClassW(&wc);
    wnd_ = CreateWindowExW(0, L"Vantor32", L"Vantor32", WS_OVERLAPPED, 0, 0, 100, 100, nullptr,
                           nullptr, wc.hInstance, nullptr);
    SetWindowLongPtrW(wnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    HMODULE dll = nullptr;
    InstallFn install = nullptr;
    if (installHook_) {
        dll = LoadLibraryW((ExeDir() + L"Vt32Util.dll").c_str());
        install = dll ? reinterpret_cast<InstallFn>(GetProcAddress(dll, "Install")) : nullptr;
        if (install) hook_ = install(TRUE);
    }
    SetEvent(ready_);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    if (install) install(FALSE);
    if (dll) FreeLibrary(dll);
    UnregisterClassW(L"Vantor32", wc.hInstance);
}

double Seconds() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / frequency;
}

}  // namespace e2e
