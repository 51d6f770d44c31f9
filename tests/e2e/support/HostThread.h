// A tray host of the tests' own, on a thread of the calling process: the window "Vantor32"
// answering the host messages at once, as the tray host does, and optionally the library
// loaded after it (so that every copy finds the window) with its hook switched on. Hang()
// stops the window thread, which then neither answers nor reads messages, until Wake().
#pragma once

#include <windows.h>

#include <atomic>
#include <thread>

namespace e2e {

class THostThread {
public:
    explicit THostThread(bool installHook);
    ~THostThread();
    THostThread(const THostThread&) = delete;
    THostThread& operator=(const THostThread&) = delete;

    HWND Window() const { return wnd_; }
    bool HookInstalled() const { return hook_ != nullptr; }
    // Host messages answered (the hook handle, the modifier byte asked for and reported).
    unsigned long Answered() const { return answered_; }
    void ResetAnswered() { answered_ = 0; }
    void Hang();
    void Wake();

private:
    static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void Run();

    bool installHook_;
    HANDLE ready_ = nullptr, wake_ = nullptr;
    HWND wnd_ = nullptr;
    HHOOK hook_ = nullptr;
    BYTE modifiers_ = 0;
    std::atomic<bool> hanging_{false};
    std::atomic<unsigned long> answered_{0};
    std::thread thread_;
};

// Seconds from the performance counter.
double Seconds();

}  // namespace e2e
