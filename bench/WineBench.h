// Shared by the benchmarks under Wine: a platform that counts the calls it forwards to
// the real one, a focused window of our own that takes the injected keys, and timing.
// Include after <windows.h>.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "HostThread.h"
#include "platform/Platform.h"

namespace vtbench {

// ---------------------------------------------------------------- counting platform
// Forwards every call unchanged and counts it by kind; the kinds that go to the Wine
// server are the ones worth counting.
struct RCallCounts {
    std::uint64_t registry = 0;  // every registry call
    std::uint64_t windows = 0;   // FindWindowW
    std::uint64_t messages = 0;  // sent and posted messages
    std::uint64_t debugLines = 0;
    std::uint64_t keyState = 0;  // GetKeyState, GetAsyncKeyState, GetKeyboardState
    std::uint64_t injected = 0;  // SendInput, keybd_event
    std::uint64_t injectCalls = 0;  // of them, SendInput calls with several events
    std::uint64_t layout = 0;    // MapVirtualKeyW, VkKeyScanW, GetKeyNameTextW
    std::uint64_t sleeps = 0;
    std::uint64_t other = 0;
};

class TCountingPlatform final : public vt::Platform {
public:
    explicit TCountingPlatform(vt::Platform& inner) : inner_(inner) {}
    RCallCounts counts;
    std::vector<vt::KeyInput>* recordInjected = nullptr;  // when set, SendInput's events

    // ------------------------------------------------------------ registry
    long RegOpenKeyExW(vt::HKey root, const std::u16string& subKey, std::uint32_t access,
                       vt::HKey* out) override {
        ++counts.registry;
        return inner_.RegOpenKeyExW(root, subKey, access, out);
    }
    long RegCreateKeyExW(vt::HKey root, const std::u16string& subKey, std::uint32_t access,
                         vt::HKey* out, bool* created) override {
        ++counts.registry;
        return inner_.RegCreateKeyExW(root, subKey, access, out, created);
    }
    long RegCloseKey(vt::HKey key) override {
        ++counts.registry;
        return inner_.RegCloseKey(key);
    }
    long RegQueryValueExW(vt::HKey key, const std::u16string& name, std::uint32_t* type,
                          std::uint8_t* data, std::uint32_t* size) override {
        ++counts.registry;
        return inner_.RegQueryValueExW(key, name, type, data, size);
    }
    long RegSetValueExW(vt::HKey key, const std::u16string& name, std::uint32_t type,
                        const std::uint8_t* data, std::uint32_t size) override {
        ++counts.registry;
        return inner_.RegSetValueExW(key, name, type, data, size);
    }
    long RegDeleteValueW(vt::HKey key, const std::u16string& name) override {
        ++counts.registry;
        return inner_.RegDeleteValueW(key, name);
    }
    long RegDeleteKeyW(vt::HKey key, const std::u16string& subKey) override {
        ++counts.registry;
        return inner_.RegDeleteKeyW(key, subKey);
    }
    long RegEnumKeyExW(vt::HKey key, std::uint32_t index, std::u16string* name) override {
        ++counts.registry;
        return inner_.RegEnumKeyExW(key, index, name);
    }
    long RegOpenKeyExW_OpenLink(vt::HKey root, const std::u16string& subKey, std::uint32_t access,
                                vt::HKey* out) override {
        ++counts.registry;
        return inner_.RegOpenKeyExW_OpenLink(root, subKey, access, out);
    }
    long NtDeleteKey(vt::HKey key) override {
        ++counts.registry;
        return inner_.NtDeleteKey(key);
    }
    long RegEnumValueW(vt::HKey key, std::uint32_t index, std::u16string* name) override {
        ++counts.registry;
        return inner_.RegEnumValueW(key, index, name);
    }

    // ------------------------------------------------------------ keyboard
    std::int16_t GetKeyState(int vk) override {
        ++counts.keyState;
        return inner_.GetKeyState(vk);
    }
    std::int16_t GetAsyncKeyState(int vk) override {
        ++counts.keyState;
        return inner_.GetAsyncKeyState(vk);
    }
    bool GetKeyboardState(std::uint8_t state[256]) override {
        ++counts.keyState;
        return inner_.GetKeyboardState(state);
    }
    bool SetKeyboardState(const std::uint8_t state[256]) override {
        ++counts.other;
        return inner_.SetKeyboardState(state);
    }
    std::uint32_t SendInput(const vt::KeyInput& input) override {
        ++counts.injected;
        if (recordInjected) recordInjected->push_back(input);
        return inner_.SendInput(input);
    }
    std::uint32_t SendInputArray(const std::vector<vt::KeyInput>& inputs) override {
        counts.injected += inputs.size();
        ++counts.injectCalls;
        if (recordInjected) recordInjected->insert(recordInjected->end(), inputs.begin(), inputs.end());
        return inner_.SendInputArray(inputs);
    }
    void keybd_event(std::uint8_t vk, std::uint8_t scan, std::uint32_t flags,
                     std::uintptr_t extraInfo) override {
        ++counts.injected;
        inner_.keybd_event(vk, scan, flags, extraInfo);
    }
    std::uint32_t MapVirtualKeyW(std::uint32_t code, std::uint32_t mapType) override {
        ++counts.layout;
        return inner_.MapVirtualKeyW(code, mapType);
    }
    std::int16_t VkKeyScanW(char16_t ch) override {
        ++counts.layout;
        return inner_.VkKeyScanW(ch);
    }
    std::u16string GetKeyNameTextW(std::int32_t lParam, int size) override {
        ++counts.layout;
        return inner_.GetKeyNameTextW(lParam, size);
    }

    // ------------------------------------------------------------ windows and messages
    vt::HWnd FindWindowW(const std::u16string& className, const std::u16string& title) override {
        ++counts.windows;
        return inner_.FindWindowW(className, title);
    }
    vt::LResult SendMessageW(vt::HWnd wnd, std::uint32_t msg, vt::WParam wParam,
                             vt::LParam lParam) override {
        ++counts.messages;
        return inner_.SendMessageW(wnd, msg, wParam, lParam);
    }
    bool SendMessageTimeoutW(vt::HWnd wnd, std::uint32_t msg, vt::WParam wParam, vt::LParam lParam,
                             std::uint32_t flags, std::uint32_t timeoutMs,
                             vt::LResult* result) override {
        ++counts.messages;
        return inner_.SendMessageTimeoutW(wnd, msg, wParam, lParam, flags, timeoutMs, result);
    }
    bool PostMessageW(vt::HWnd wnd, std::uint32_t msg, vt::WParam wParam,
                      vt::LParam lParam) override {
        ++counts.messages;
        return inner_.PostMessageW(wnd, msg, wParam, lParam);
    }
    vt::HWnd GetFocus() override {
        ++counts.other;
        return inner_.GetFocus();
    }
    vt::HWnd GetParent(vt::HWnd wnd) override {
        ++counts.other;
        return inner_.GetParent(wnd);
    }
    bool IsChild(vt::HWnd parent, vt::HWnd wnd) override {
        ++counts.other;
        return inner_.IsChild(parent, wnd);
    }
    int MessageBoxW(vt::HWnd owner, const std::u16string& text, const std::u16string& caption,
                    std::uint32_t type) override {
        ++counts.other;
        return inner_.MessageBoxW(owner, text, caption, type);
    }
    bool MessageBeep(std::uint32_t type) override {
        ++counts.other;
        return inner_.MessageBeep(type);
    }
    vt::HHook SetWindowsHookExW(int idHook, vt::HInstance module, std::uint32_t threadId) override {
        ++counts.other;
        return inner_.SetWindowsHookExW(idHook, module, threadId);
    }
    bool UnhookWindowsHookEx(vt::HHook hook) override {
        ++counts.other;
        return inner_.UnhookWindowsHookEx(hook);
    }
    vt::LResult CallNextHookEx(vt::HHook hook, int code, vt::WParam wParam,
                               vt::LParam lParam) override {
        ++counts.other;
        return inner_.CallNextHookEx(hook, code, wParam, lParam);
    }
    vt::HWnd GetForegroundWindow() override {
        ++counts.other;
        return inner_.GetForegroundWindow();
    }
    std::uint32_t GetWindowThreadProcessId(vt::HWnd wnd, std::uint32_t* processId) override {
        ++counts.other;
        return inner_.GetWindowThreadProcessId(wnd, processId);
    }
    bool PostThreadMessageW(std::uint32_t threadId, std::uint32_t msg, vt::WParam wParam,
                            vt::LParam lParam) override {
        ++counts.messages;
        return inner_.PostThreadMessageW(threadId, msg, wParam, lParam);
    }

    // ------------------------------------------------------------ system
    std::uint32_t GetLastError() override { return inner_.GetLastError(); }
    std::uint32_t GetVersionExW_PlatformId() override {
        ++counts.other;
        return inner_.GetVersionExW_PlatformId();
    }
    void OutputDebugStringW(const std::u16string& text) override {
        ++counts.debugLines;
        inner_.OutputDebugStringW(text);
    }
    // Reads the process block, no server call: not counted.
    bool IsDebuggerPresent() override { return inner_.IsDebuggerPresent(); }
    vt::Handle CreateFileMappingW(std::uint32_t size, const std::u16string& name) override {
        ++counts.other;
        return inner_.CreateFileMappingW(size, name);
    }
    vt::Handle OpenFileMappingW(const std::u16string& name) override {
        ++counts.other;
        return inner_.OpenFileMappingW(name);
    }
    void* MapViewOfFile(vt::Handle mapping) override {
        ++counts.other;
        return inner_.MapViewOfFile(mapping);
    }
    bool UnmapViewOfFile(void* view) override {
        ++counts.other;
        return inner_.UnmapViewOfFile(view);
    }
    bool CloseHandle(vt::Handle h) override {
        ++counts.other;
        return inner_.CloseHandle(h);
    }
    // Answered inside the process (its own address space), no server call.
    bool VirtualQuery(const void* address, vt::MemoryRegion* region) override {
        return inner_.VirtualQuery(address, region);
    }
    std::uint32_t GetEnvironmentVariableW(const std::u16string& name, std::u16string* value,
                                          std::uint32_t size) override {
        ++counts.other;
        return inner_.GetEnvironmentVariableW(name, value, size);
    }
    std::uint32_t GetTickCount() override { return inner_.GetTickCount(); }
    void Sleep(std::uint32_t ms) override {
        ++counts.sleeps;
        inner_.Sleep(ms);
    }
    void GetLocalTime(vt::SystemTime* st) override {
        ++counts.other;
        inner_.GetLocalTime(st);
    }
    std::u16string GetLocaleInfoW(std::uint32_t lcType) override {
        ++counts.other;
        return inner_.GetLocaleInfoW(lcType);
    }
    bool ShellExecuteExW(const vt::ShellExecuteInfo& info) override {
        ++counts.other;
        return inner_.ShellExecuteExW(info);
    }
    std::u16string GetModuleFileNameW() override {
        ++counts.other;
        return inner_.GetModuleFileNameW();
    }
    std::uint32_t GetCurrentProcessId() override {
        ++counts.other;
        return inner_.GetCurrentProcessId();
    }
    std::uint32_t GetCurrentThreadId() override {
        ++counts.other;
        return inner_.GetCurrentThreadId();
    }
    std::uint32_t GetFileAttributesW(const std::u16string& path) override {
        ++counts.other;
        return inner_.GetFileAttributesW(path);
    }
    bool MoveFileExW(const std::u16string& from, const std::u16string& to,
                     std::uint32_t flags) override {
        ++counts.other;
        return inner_.MoveFileExW(from, to, flags);
    }
    bool CreateProcessW(const std::u16string& commandLine, vt::ProcessInfo* info) override {
        ++counts.other;
        return inner_.CreateProcessW(commandLine, info);
    }
    bool TerminateProcess(vt::Handle process, std::uint32_t exitCode) override {
        ++counts.other;
        return inner_.TerminateProcess(process, exitCode);
    }
    vt::Handle CreateMutexW(bool initialOwner, const std::u16string& name) override {
        ++counts.other;
        return inner_.CreateMutexW(initialOwner, name);
    }
    bool OpenThreadToken(bool openAsSelf, vt::Handle* token) override {
        ++counts.other;
        return inner_.OpenThreadToken(openAsSelf, token);
    }
    bool OpenProcessToken(vt::Handle* token) override {
        ++counts.other;
        return inner_.OpenProcessToken(token);
    }
    bool GetTokenInformation_Groups(vt::Handle token, std::uint32_t size,
                                    std::vector<vt::TokenGroup>* groups,
                                    std::uint32_t* needed) override {
        ++counts.other;
        return inner_.GetTokenInformation_Groups(token, size, groups, needed);
    }
    std::uint32_t WaitForSingleObject(vt::Handle h, std::uint32_t timeoutMs) override {
        ++counts.other;
        return inner_.WaitForSingleObject(h, timeoutMs);
    }
    bool ReleaseMutex(vt::Handle h) override {
        ++counts.other;
        return inner_.ReleaseMutex(h);
    }
    bool PlaySoundW(const std::u16string& sound, std::uint32_t flags) override {
        ++counts.other;
        return inner_.PlaySoundW(sound, flags);
    }
    bool Beep(std::uint32_t freq, std::uint32_t durationMs) override {
        ++counts.other;
        return inner_.Beep(freq, durationMs);
    }
    bool CanAccessPorts() override { return inner_.CanAccessPorts(); }
    std::uint8_t ReadPort(std::uint16_t port) override { return inner_.ReadPort(port); }
    void WritePort(std::uint16_t port, std::uint8_t value) override {
        inner_.WritePort(port, value);
    }

private:
    vt::Platform& inner_;
};

// ---------------------------------------------------------------- timing
inline double Now() {
    return e2e::Seconds();
}

inline double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Microseconds per call of f: the median of five loops of `calls` calls.
template <class F>
double MicrosPerCall(F&& f, int calls) {
    std::vector<double> runs;
    for (int run = 0; run < 5; ++run) {
        const double start = Now();
        for (int i = 0; i < calls; ++i) f();
        runs.push_back((Now() - start) * 1e6 / calls);
    }
    return Median(runs);
}

inline void PrintCallCost(const char* label, double us) {
    std::printf("  %-44s %8.2f us/call\n", label, us);
}

inline const char* OptimizeNote() {
#if defined(__OPTIMIZE__)
    return "optimized";
#else
    return "not optimized";
#endif
}

// ---------------------------------------------------------------- the focused target
// Injected keys go to the window with the focus: a window of the benchmark's own with
// an EDIT takes them, so that nothing else on the desktop receives them.
// Letters, capitals, digits, punctuation and blanks; all of it has a key on the layout
// of the Wine session (which has none for the parentheses), so every character is one
// key stroke and the edit's text can be compared with what was sent.
inline std::u16string MakeProse(std::size_t length) {
    const std::u16string pattern =
        u"The Quick Brown Fox, 12 jumps over 34 lazy dogs! [Yes?] \"A-B\" & 5.67; x_y=9/0 'Z' ";
    std::u16string text;
    while (text.size() < length) text += pattern;
    text.resize(length);
    return text;
}

class TTargetWindow {
public:
    TTargetWindow() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"VtBenchTarget";
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        RegisterClassW(&wc);
        wnd_ = CreateWindowExW(0, wc.lpszClassName, L"VtBenchTarget", WS_OVERLAPPEDWINDOW, 40, 40,
                               640, 200, nullptr, nullptr, wc.hInstance, nullptr);
        edit_ = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, 0, 0, 620,
                                24, wnd_, nullptr, wc.hInstance, nullptr);
        SendMessageW(edit_, EM_SETLIMITTEXT, 0, 0);  // 0: the largest limit
        SetWindowLongPtrW(wnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(edit_));
        ShowWindow(wnd_, SW_SHOW);
        UpdateWindow(wnd_);
        Focus();
    }
    ~TTargetWindow() {
        if (wnd_) DestroyWindow(wnd_);
        Pump(false);
    }
    TTargetWindow(const TTargetWindow&) = delete;
    TTargetWindow& operator=(const TTargetWindow&) = delete;

    // True when the edit holds the focus of the foreground window.
    bool Focus() {
        const double deadline = Now() + 5;
        do {
            SetForegroundWindow(wnd_);
            SetFocus(edit_);
            Pump(true);
            if (GetForegroundWindow() == wnd_ && GetFocus() == edit_) return true;
            Sleep(20);
        } while (Now() < deadline);
        return false;
    }

    // Takes every queued message; keyboard messages go to the edit when dispatchKeys,
    // otherwise they are dropped. Returns the number of keyboard messages seen.
    std::size_t Pump(bool dispatchKeys) {
        std::size_t keys = 0;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            const bool key = msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST;
            if (key) ++keys;
            if (key && !dispatchKeys) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        return keys;
    }

    // Pumps until no message has come for quietMs (or deadlineMs passed).
    std::size_t Drain(bool dispatchKeys, DWORD quietMs = 30, DWORD deadlineMs = 10000) {
        std::size_t keys = 0;
        const double end = Now() + deadlineMs / 1000.0;
        double quietSince = Now();
        while (Now() < end) {
            const std::size_t n = Pump(dispatchKeys);
            keys += n;
            if (n) quietSince = Now();
            if ((Now() - quietSince) * 1000 >= quietMs) break;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        }
        return keys;
    }

    std::wstring Text() const {
        const int len = GetWindowTextLengthW(edit_);
        std::wstring text(static_cast<std::size_t>(len) + 1, L'\0');
        GetWindowTextW(edit_, text.data(), len + 1);
        text.resize(static_cast<std::size_t>(len));
        return text;
    }
    void Clear() { SetWindowTextW(edit_, L""); }
    HWND Edit() const { return edit_; }

private:
    static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg == WM_SETFOCUS) {
            if (HWND edit = reinterpret_cast<HWND>(GetWindowLongPtrW(wnd, GWLP_USERDATA))) {
                SetFocus(edit);
                return 0;
            }
        }
        return DefWindowProcW(wnd, msg, wParam, lParam);
    }

    HWND wnd_ = nullptr;
    HWND edit_ = nullptr;
};

}  // namespace vtbench
