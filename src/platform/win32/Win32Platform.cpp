// Straight calls into Windows. No decisions here: what to do with a result is the
// logic's business, and the contract suite pins that these calls behave as the fake does.
#include "Win32Platform.h"

#include <windows.h>
#include <mmsystem.h>
#include <shellapi.h>

#include <cstring>
#include <vector>

namespace vt {

namespace {

const wchar_t* W(const std::u16string& s) {
    return reinterpret_cast<const wchar_t*>(s.c_str());
}
const wchar_t* WOrNull(const std::u16string& s) {
    return s.empty() ? nullptr : W(s);
}

std::u16string U(const wchar_t* s, std::size_t len) {
    return std::u16string(reinterpret_cast<const char16_t*>(s), len);
}

HKEY K(HKey key) {
    return reinterpret_cast<HKEY>(key);
}
HWND H(HWnd wnd) {
    return reinterpret_cast<HWND>(wnd);
}
HANDLE Hd(Handle h) {
    return reinterpret_cast<HANDLE>(h);
}

class Win32Platform final : public Platform {
public:
    // ------------------------------------------------------------ registry
    long RegOpenKeyExW(HKey root, const std::u16string& subKey, std::uint32_t access,
                       HKey* out) override {
        HKEY key = nullptr;
        LONG rc = ::RegOpenKeyExW(K(root), W(subKey), 0, access, &key);
        if (rc == ERROR_SUCCESS && out) *out = reinterpret_cast<HKey>(key);
        return rc;
    }

    long RegCreateKeyExW(HKey root, const std::u16string& subKey, std::uint32_t access, HKey* out,
                         bool* created) override {
        HKEY key = nullptr;
        DWORD disposition = 0;
        LONG rc = ::RegCreateKeyExW(K(root), W(subKey), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                    nullptr, &key, &disposition);
        if (rc == ERROR_SUCCESS) {
            if (out) *out = reinterpret_cast<HKey>(key);
            if (created) *created = disposition == REG_CREATED_NEW_KEY;
        }
        return rc;
    }

    long RegCloseKey(HKey key) override { return ::RegCloseKey(K(key)); }

    long RegQueryValueExW(HKey key, const std::u16string& name, std::uint32_t* type,
                          std::uint8_t* data, std::uint32_t* size) override {
        DWORD t = 0;
        DWORD s = size ? *size : 0;
        LONG rc = ::RegQueryValueExW(K(key), W(name), nullptr, type ? &t : nullptr, data,
                                     size ? &s : nullptr);
        if (type && (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA)) *type = t;
        if (size && (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA)) *size = s;
        return rc;
    }

    long RegSetValueExW(HKey key, const std::u16string& name, std::uint32_t type,
                        const std::uint8_t* data, std::uint32_t size) override {
        return ::RegSetValueExW(K(key), W(name), 0, type, data, size);
    }

    long RegDeleteValueW(HKey key, const std::u16string& name) override {
        return ::RegDeleteValueW(K(key), W(name));
    }

    long RegDeleteKeyW(HKey key, const std::u16string& subKey) override {
        return ::RegDeleteKeyW(K(key), W(subKey));
    }

    long RegEnumKeyExW(HKey key, std::uint32_t index, std::u16string* name) override {
        wchar_t buffer[256];  // key names are at most 255 characters
        DWORD len = 256;
        LONG rc = ::RegEnumKeyExW(K(key), index, buffer, &len, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_SUCCESS && name) *name = U(buffer, len);
        return rc;
    }

    long RegOpenKeyExW_OpenLink(HKey root, const std::u16string& subKey, std::uint32_t access,
                                HKey* out) override {
        HKEY key = nullptr;
        LONG rc = ::RegOpenKeyExW(K(root), W(subKey), REG_OPTION_OPEN_LINK, access, &key);
        if (rc == ERROR_SUCCESS && out) *out = reinterpret_cast<HKey>(key);
        return rc;
    }

    // The registry API has no call that deletes an open key itself: RegDeleteKeyW opens
    // the name again and so follows a link. ntdll is mapped into every process.
    long NtDeleteKey(HKey key) override {
        using DeleteKeyFn = LONG(NTAPI*)(HANDLE);
        using StatusToErrorFn = ULONG(NTAPI*)(LONG);
        HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
        auto deleteKey = ntdll ? reinterpret_cast<DeleteKeyFn>(reinterpret_cast<void*>(
                                     ::GetProcAddress(ntdll, "NtDeleteKey")))
                               : nullptr;
        auto toError = ntdll ? reinterpret_cast<StatusToErrorFn>(reinterpret_cast<void*>(
                                   ::GetProcAddress(ntdll, "RtlNtStatusToDosError")))
                             : nullptr;
        if (!deleteKey || !toError) return ERROR_CALL_NOT_IMPLEMENTED;
        LONG status = deleteKey(reinterpret_cast<HANDLE>(key));
        return status == 0 ? ERROR_SUCCESS : static_cast<long>(toError(status));
    }

    long RegEnumValueW(HKey key, std::uint32_t index, std::u16string* name) override {
        wchar_t buffer[16384];  // value names are at most 16383 characters
        DWORD len = 16384;
        LONG rc = ::RegEnumValueW(K(key), index, buffer, &len, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_SUCCESS && name) *name = U(buffer, len);
        return rc;
    }

    // ------------------------------------------------------------ keyboard
    std::int16_t GetKeyState(int vk) override { return ::GetKeyState(vk); }
    std::int16_t GetAsyncKeyState(int vk) override { return ::GetAsyncKeyState(vk); }

    bool GetKeyboardState(std::uint8_t state[256]) override {
        return ::GetKeyboardState(state) != FALSE;
    }

    bool SetKeyboardState(const std::uint8_t state[256]) override {
        BYTE copy[256];
        std::memcpy(copy, state, sizeof copy);
        return ::SetKeyboardState(copy) != FALSE;
    }

    std::uint32_t SendInput(const KeyInput& input) override {
        INPUT in{};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = input.wVk;
        in.ki.wScan = input.wScan;
        in.ki.dwFlags = input.dwFlags;
        in.ki.time = input.time;
        in.ki.dwExtraInfo = input.dwExtraInfo;
        return ::SendInput(1, &in, sizeof in);
    }

    std::uint32_t SendInputArray(const std::vector<KeyInput>& inputs) override {
        if (inputs.empty()) return 0;
        std::vector<INPUT> in(inputs.size());
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            in[i].type = INPUT_KEYBOARD;
            in[i].ki.wVk = inputs[i].wVk;
            in[i].ki.wScan = inputs[i].wScan;
            in[i].ki.dwFlags = inputs[i].dwFlags;
            in[i].ki.time = inputs[i].time;
            in[i].ki.dwExtraInfo = inputs[i].dwExtraInfo;
        }
        return ::SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
    }

    void keybd_event(std::uint8_t vk, std::uint8_t scan, std::uint32_t flags,
                     std::uintptr_t extraInfo) override {
        ::keybd_event(vk, scan, flags, extraInfo);
    }

    std::uint32_t MapVirtualKeyW(std::uint32_t code, std::uint32_t mapType) override {
        return ::MapVirtualKeyW(code, mapType);
    }

    std::int16_t VkKeyScanW(char16_t ch) override { return ::VkKeyScanW(static_cast<wchar_t>(ch)); }

    std::u16string GetKeyNameTextW(std::int32_t lParam, int size) override {
        if (size <= 0) return u"";
        std::vector<wchar_t> buffer(static_cast<std::size_t>(size) + 1, L'\0');
        int len = ::GetKeyNameTextW(lParam, buffer.data(), size);
        return len > 0 ? U(buffer.data(), static_cast<std::size_t>(len)) : u"";
    }

    // ------------------------------------------------------------ windows and messages
    HWnd FindWindowW(const std::u16string& className, const std::u16string& title) override {
        return reinterpret_cast<HWnd>(::FindWindowW(W(className), W(title)));
    }

    LResult SendMessageW(HWnd wnd, std::uint32_t msg, WParam wParam, LParam lParam) override {
        return ::SendMessageW(H(wnd), msg, wParam, lParam);
    }

    bool SendMessageTimeoutW(HWnd wnd, std::uint32_t msg, WParam wParam, LParam lParam,
                             std::uint32_t flags, std::uint32_t timeoutMs,
                             LResult* result) override {
        DWORD_PTR r = 0;
        if (!::SendMessageTimeoutW(H(wnd), msg, wParam, lParam, flags, timeoutMs, &r)) return false;
        if (result) *result = static_cast<LResult>(r);
        return true;
    }

    bool PostMessageW(HWnd wnd, std::uint32_t msg, WParam wParam, LParam lParam) override {
        return ::PostMessageW(H(wnd), msg, wParam, lParam) != FALSE;
    }

    HWnd GetFocus() override { return reinterpret_cast<HWnd>(::GetFocus()); }
    HWnd GetParent(HWnd wnd) override { return reinterpret_cast<HWnd>(::GetParent(H(wnd))); }
    bool IsChild(HWnd parent, HWnd wnd) override { return ::IsChild(H(parent), H(wnd)) != FALSE; }

    int MessageBoxW(HWnd owner, const std::u16string& text, const std::u16string& caption,
                    std::uint32_t type) override {
        return ::MessageBoxW(H(owner), W(text), W(caption), type);
    }

    bool MessageBeep(std::uint32_t type) override { return ::MessageBeep(type) != FALSE; }

    HHook SetWindowsHookExW(int idHook, HInstance module, std::uint32_t threadId) override {
        auto proc = reinterpret_cast<HOOKPROC>(KeyboardHookProcedure);
        return reinterpret_cast<HHook>(
            ::SetWindowsHookExW(idHook, proc, reinterpret_cast<HINSTANCE>(module), threadId));
    }

    bool UnhookWindowsHookEx(HHook hook) override {
        return ::UnhookWindowsHookEx(reinterpret_cast<HHOOK>(hook)) != FALSE;
    }

    LResult CallNextHookEx(HHook hook, int code, WParam wParam, LParam lParam) override {
        return ::CallNextHookEx(reinterpret_cast<HHOOK>(hook), code, wParam, lParam);
    }

    HWnd GetForegroundWindow() override { return reinterpret_cast<HWnd>(::GetForegroundWindow()); }

    std::uint32_t GetWindowThreadProcessId(HWnd wnd, std::uint32_t* processId) override {
        DWORD pid = 0;
        DWORD tid = ::GetWindowThreadProcessId(H(wnd), &pid);
        if (processId) *processId = pid;
        return tid;
    }

    bool PostThreadMessageW(std::uint32_t threadId, std::uint32_t msg, WParam wParam,
                            LParam lParam) override {
        return ::PostThreadMessageW(threadId, msg, wParam, lParam) != FALSE;
    }

    // ------------------------------------------------------------ system
    std::uint32_t GetLastError() override { return ::GetLastError(); }

    std::uint32_t GetVersionExW_PlatformId() override {
        OSVERSIONINFOW info{};
        info.dwOSVersionInfoSize = sizeof info;  // 276
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
        BOOL ok = ::GetVersionExW(&info);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
        return ok ? info.dwPlatformId : 0;
    }

    void OutputDebugStringW(const std::u16string& text) override {
        ::OutputDebugStringW(W(text));
    }
    bool IsDebuggerPresent() override {
        return ::IsDebuggerPresent() != FALSE;
    }

    Handle CreateFileMappingW(std::uint32_t size, const std::u16string& name) override {
        return reinterpret_cast<Handle>(::CreateFileMappingW(
            INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, WOrNull(name)));
    }

    Handle OpenFileMappingW(const std::u16string& name) override {
        return reinterpret_cast<Handle>(::OpenFileMappingW(FILE_MAP_ALL_ACCESS, TRUE, W(name)));
    }

    void* MapViewOfFile(Handle mapping) override {
        return ::MapViewOfFile(Hd(mapping), FILE_MAP_ALL_ACCESS, 0, 0, 0);
    }

    bool UnmapViewOfFile(void* view) override {
        return ::UnmapViewOfFile(view) != FALSE;
    }
    bool CloseHandle(Handle h) override {
        return ::CloseHandle(Hd(h)) != FALSE;
    }

    bool VirtualQuery(const void* address, MemoryRegion* region) override {
        MEMORY_BASIC_INFORMATION info{};
        if (::VirtualQuery(address, &info, sizeof info) == 0) return false;
        if (region) {
            region->baseAddress = reinterpret_cast<std::uintptr_t>(info.BaseAddress);
            region->regionSize = info.RegionSize;
            region->state = info.State;
            region->protect = info.Protect;
        }
        return true;
    }

    std::uint32_t GetEnvironmentVariableW(const std::u16string& name, std::u16string* value,
                                          std::uint32_t size) override {
        std::vector<wchar_t> buffer(size ? size : 1, L'\0');
        DWORD n = ::GetEnvironmentVariableW(W(name), size ? buffer.data() : nullptr, size);
        if (n > 0 && n < size && value) *value = U(buffer.data(), n);
        return n;
    }

    std::uint32_t GetTickCount() override {
        return ::GetTickCount();
    }
    void Sleep(std::uint32_t ms) override {
        ::Sleep(ms);
    }

    void GetLocalTime(SystemTime* st) override {
        SYSTEMTIME t{};
        ::GetLocalTime(&t);
        if (!st) return;
        st->wYear = t.wYear;
        st->wMonth = t.wMonth;
        st->wDayOfWeek = t.wDayOfWeek;
        st->wDay = t.wDay;
        st->wHour = t.wHour;
        st->wMinute = t.wMinute;
        st->wSecond = t.wSecond;
        st->wMilliseconds = t.wMilliseconds;
    }

    std::u16string GetLocaleInfoW(std::uint32_t lcType) override {
        int len = ::GetLocaleInfoW(LOCALE_USER_DEFAULT, lcType, nullptr, 0);
        if (len <= 0) return u"";
        std::vector<wchar_t> buffer(static_cast<std::size_t>(len), L'\0');
        len = ::GetLocaleInfoW(LOCALE_USER_DEFAULT, lcType, buffer.data(), len);
        if (len <= 0) return u"";
        return U(buffer.data(), static_cast<std::size_t>(len - 1));  // without the NUL
    }

    std::u16string GetModuleFileNameW() override {
        // Paths may be longer than MAX_PATH: grow until the name fits (a full buffer
        // means it was cut).
        for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
            std::vector<wchar_t> buffer(size, L'\0');
            const DWORD len = ::GetModuleFileNameW(nullptr, buffer.data(), size);
            if (len == 0) return u"";
            if (len < size) return U(buffer.data(), len);
        }
        return u"";
    }

    bool ShellExecuteExW(const ShellExecuteInfo& info) override {
        SHELLEXECUTEINFOW sei{};
        sei.cbSize = sizeof sei;
        sei.fMask = info.fMask;
        sei.hwnd = H(info.hwnd);
        sei.lpVerb = WOrNull(info.lpVerb);
        sei.lpFile = W(info.lpFile);
        sei.lpParameters = WOrNull(info.lpParameters);
        sei.lpDirectory = WOrNull(info.lpDirectory);
        sei.nShow = info.nShow;
        return ::ShellExecuteExW(&sei) != FALSE;
    }

    std::uint32_t GetCurrentProcessId() override {
        return ::GetCurrentProcessId();
    }

    std::uint32_t GetCurrentThreadId() override {
        return ::GetCurrentThreadId();
    }

    std::uint32_t GetFileAttributesW(const std::u16string& path) override {
        return ::GetFileAttributesW(W(path));
    }

    bool MoveFileExW(const std::u16string& from, const std::u16string& to,
                     std::uint32_t flags) override {
        return ::MoveFileExW(W(from), W(to), flags) != FALSE;
    }

    bool CreateProcessW(const std::u16string& commandLine, ProcessInfo* info) override {
        std::vector<wchar_t> cmd(commandLine.begin(), commandLine.end());
        cmd.push_back(L'\0');
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &si, &pi))
            return false;
        ::CloseHandle(pi.hThread);
        if (info) {
            info->hProcess = reinterpret_cast<Handle>(pi.hProcess);
            info->dwProcessId = pi.dwProcessId;
            info->dwThreadId = pi.dwThreadId;
        } else {
            ::CloseHandle(pi.hProcess);
        }
        return true;
    }

    bool TerminateProcess(Handle process, std::uint32_t exitCode) override {
        return ::TerminateProcess(Hd(process), exitCode) != FALSE;
    }

    Handle CreateMutexW(bool initialOwner, const std::u16string& name) override {
        return reinterpret_cast<Handle>(
            ::CreateMutexW(nullptr, initialOwner ? TRUE : FALSE, WOrNull(name)));
    }
    std::uint32_t WaitForSingleObject(Handle h, std::uint32_t timeoutMs) override {
        return ::WaitForSingleObject(reinterpret_cast<HANDLE>(h), timeoutMs);
    }
    bool ReleaseMutex(Handle h) override {
        return ::ReleaseMutex(reinterpret_cast<HANDLE>(h)) != FALSE;
    }

    bool OpenThreadToken(bool openAsSelf, Handle* token) override {
        HANDLE h = nullptr;
        if (!::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, openAsSelf ? TRUE : FALSE, &h))
            return false;
        if (token) *token = reinterpret_cast<Handle>(h);
        return true;
    }

    bool OpenProcessToken(Handle* token) override {
        HANDLE h = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &h)) return false;
        if (token) *token = reinterpret_cast<Handle>(h);
        return true;
    }

    bool GetTokenInformation_Groups(Handle token, std::uint32_t size,
                                    std::vector<TokenGroup>* groups,
                                    std::uint32_t* needed) override {
        // 8-byte aligned, as TOKEN_GROUPS holds pointers
        std::vector<std::uint64_t> buffer(size / 8 + 1, 0);
        DWORD need = 0;
        BOOL ok = ::GetTokenInformation(Hd(token), TokenGroups, buffer.data(), size, &need);
        if (needed) *needed = need;
        if (!ok) return false;
        if (groups) {
            groups->clear();
            const auto* list = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
            for (DWORD i = 0; i < list->GroupCount; ++i) {
                TokenGroup g;
                const auto* sid = static_cast<const std::uint8_t*>(list->Groups[i].Sid);
                g.sid.assign(sid, sid + ::GetLengthSid(list->Groups[i].Sid));
                g.attributes = list->Groups[i].Attributes;
                groups->push_back(std::move(g));
            }
        }
        return true;
    }

    bool PlaySoundW(const std::u16string& sound, std::uint32_t flags) override {
        return ::PlaySoundW(WOrNull(sound), nullptr, flags) != FALSE;
    }

    bool Beep(std::uint32_t freq, std::uint32_t durationMs) override {
        return ::Beep(freq, durationMs) != FALSE;
    }

    // User-mode programs on NT fault on in/out instructions: the speaker is reached
    // through Beep there, and the port calls never touch the hardware.
    bool CanAccessPorts() override {
        return false;
    }
    std::uint8_t ReadPort(std::uint16_t) override {
        return 0;
    }
    void WritePort(std::uint16_t, std::uint8_t) override {}
};

}  // namespace

Platform& Win32PlatformInstance() {
    static Win32Platform instance;
    return instance;
}

}  // namespace vt
