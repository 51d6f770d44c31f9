// The seam between the logic and the operating system. Each method stands for one
// Windows call and keeps its meaning: same arguments, same results, same error codes.
// The real implementation (win32/) decides nothing; tests use FakePlatform, and the
// contract suite pins both to the same behaviour.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "WinTypes.h"

namespace vt {

// ---------------------------------------------------------------- registry
class IRegistry {
public:
    virtual ~IRegistry() = default;
    // RegOpenKeyExW: ERROR_SUCCESS and *out, or an error code (2 when absent).
    virtual long RegOpenKeyExW(HKey root, const std::u16string& subKey, std::uint32_t access,
                               HKey* out) = 0;
    // RegCreateKeyExW: opens or creates every missing level; *created tells which.
    virtual long RegCreateKeyExW(HKey root, const std::u16string& subKey, std::uint32_t access,
                                 HKey* out, bool* created) = 0;
    virtual long RegCloseKey(HKey key) = 0;
    // RegQueryValueExW with its buffer protocol: data may be null to ask for the size;
    // a buffer too small gives ERROR_MORE_DATA and the needed size. An empty name is
    // the key's default value.
    virtual long RegQueryValueExW(HKey key, const std::u16string& name, std::uint32_t* type,
                                  std::uint8_t* data, std::uint32_t* size) = 0;
    virtual long RegSetValueExW(HKey key, const std::u16string& name, std::uint32_t type,
                                const std::uint8_t* data, std::uint32_t size) = 0;
    virtual long RegDeleteValueW(HKey key, const std::u16string& name) = 0;
    // RegDeleteKeyW: fails (ERROR_ACCESS_DENIED) while the key has subkeys.
    virtual long RegDeleteKeyW(HKey key, const std::u16string& subKey) = 0;
    // RegEnumKeyExW: name of subkey number index; ERROR_NO_MORE_ITEMS past the end.
    virtual long RegEnumKeyExW(HKey key, std::uint32_t index, std::u16string* name) = 0;
    // RegOpenKeyExW with REG_OPTION_OPEN_LINK: a symbolic link named last in the path is
    // opened itself instead of the key it points to.
    virtual long RegOpenKeyExW_OpenLink(HKey root, const std::u16string& subKey,
                                        std::uint32_t access, HKey* out) = 0;
    // NtDeleteKey: deletes the key the handle stands for (a link itself when opened as
    // one), not while it has subkeys; the status as a Win32 error code.
    virtual long NtDeleteKey(HKey key) = 0;
    // RegEnumValueW: name of value number index (the default value's name is empty);
    // ERROR_NO_MORE_ITEMS past the end. Type and data are read with RegQueryValueExW.
    virtual long RegEnumValueW(HKey key, std::uint32_t index, std::u16string* name) = 0;
};

// ---------------------------------------------------------------- keyboard
struct KeyInput {  // one INPUT of type INPUT_KEYBOARD
    std::uint16_t wVk = 0;
    std::uint16_t wScan = 0;
    std::uint32_t dwFlags = 0;
    std::uint32_t time = 0;
    std::uintptr_t dwExtraInfo = 0;
};

class IKeyboard {
public:
    virtual ~IKeyboard() = default;
    virtual std::int16_t GetKeyState(int vk) = 0;
    virtual std::int16_t GetAsyncKeyState(int vk) = 0;
    virtual bool GetKeyboardState(std::uint8_t state[256]) = 0;
    virtual bool SetKeyboardState(const std::uint8_t state[256]) = 0;
    // SendInput with one keyboard INPUT; returns the number of events inserted.
    virtual std::uint32_t SendInput(const KeyInput& input) = 0;
    // SendInput with several keyboard INPUTs in one call: Windows inserts them into the
    // input stream together, with no other program's or the user's input among them.
    // Returns the number of events inserted.
    virtual std::uint32_t SendInputArray(const std::vector<KeyInput>& inputs) = 0;
    virtual void keybd_event(std::uint8_t vk, std::uint8_t scan, std::uint32_t flags,
                             std::uintptr_t extraInfo) = 0;
    virtual std::uint32_t MapVirtualKeyW(std::uint32_t code, std::uint32_t mapType) = 0;
    virtual std::int16_t VkKeyScanW(char16_t ch) = 0;
    // GetKeyNameTextW with a buffer of `size` characters; empty when the layout has no name.
    virtual std::u16string GetKeyNameTextW(std::int32_t lParam, int size) = 0;
};

// ---------------------------------------------------------------- windows and messages
class IWindows {
public:
    virtual ~IWindows() = default;
    virtual HWnd FindWindowW(const std::u16string& className, const std::u16string& title) = 0;
    virtual LResult SendMessageW(HWnd wnd, std::uint32_t msg, WParam wParam, LParam lParam) = 0;
    // SendMessageTimeoutW: false when the call failed or timed out (*result untouched then).
    virtual bool SendMessageTimeoutW(HWnd wnd, std::uint32_t msg, WParam wParam, LParam lParam,
                                     std::uint32_t flags, std::uint32_t timeoutMs,
                                     LResult* result) = 0;
    virtual bool PostMessageW(HWnd wnd, std::uint32_t msg, WParam wParam, LParam lParam) = 0;
    virtual HWnd GetFocus() = 0;
    virtual HWnd GetParent(HWnd wnd) = 0;
    virtual bool IsChild(HWnd parent, HWnd wnd) = 0;
    virtual int MessageBoxW(HWnd owner, const std::u16string& text, const std::u16string& caption,
                            std::uint32_t type) = 0;
    virtual bool MessageBeep(std::uint32_t type) = 0;
    // Hooks. The logic registers and chains; the procedure itself is bound in win32/.
    virtual HHook SetWindowsHookExW(int idHook, HInstance module, std::uint32_t threadId) = 0;
    virtual bool UnhookWindowsHookEx(HHook hook) = 0;
    virtual LResult CallNextHookEx(HHook hook, int code, WParam wParam, LParam lParam) = 0;
    // GetForegroundWindow: 0 while no window is in the foreground.
    virtual HWnd GetForegroundWindow() = 0;
    // GetWindowThreadProcessId: the id of the thread that created the window (0 for no
    // window) and, in *processId when not null, the id of its process.
    virtual std::uint32_t GetWindowThreadProcessId(HWnd wnd, std::uint32_t* processId) = 0;
    virtual bool PostThreadMessageW(std::uint32_t threadId, std::uint32_t msg, WParam wParam,
                                    LParam lParam) = 0;
};

// ---------------------------------------------------------------- system
struct SystemTime {  // SYSTEMTIME
    std::uint16_t wYear = 0, wMonth = 0, wDayOfWeek = 0, wDay = 0;
    std::uint16_t wHour = 0, wMinute = 0, wSecond = 0, wMilliseconds = 0;
};

struct ShellExecuteInfo {  // the fields of SHELLEXECUTEINFOW we fill
    std::uint32_t fMask = 0;
    HWnd hwnd = 0;
    std::u16string lpVerb;  // empty = default verb (null pointer)
    std::u16string lpFile;
    std::u16string lpParameters;  // empty = null pointer
    std::u16string lpDirectory;   // empty = null pointer
    int nShow = 0;
};

struct TokenGroup {                 // one SID_AND_ATTRIBUTES of a token's group list
    std::vector<std::uint8_t> sid;  // the SID's bytes (GetLengthSid of them)
    std::uint32_t attributes = 0;   // SE_GROUP_...
};

struct ProcessInfo {  // PROCESS_INFORMATION without the thread handle
    Handle hProcess = 0;
    std::uint32_t dwProcessId = 0;
    std::uint32_t dwThreadId = 0;
};

struct MemoryRegion {  // the fields of MEMORY_BASIC_INFORMATION we read
    std::uintptr_t baseAddress = 0;  // the page the queried address lies in
    std::size_t regionSize = 0;      // bytes from there on with the same state and protection
    std::uint32_t state = 0;         // MEM_COMMIT, MEM_RESERVE or MEM_FREE
    std::uint32_t protect = 0;       // PAGE_... of those pages (0 unless committed)
};

class ISystem {
public:
    virtual ~ISystem() = default;
    virtual std::uint32_t GetLastError() = 0;
    // GetVersionExW: the dwPlatformId of an OSVERSIONINFOW; 0 when the call failed.
    virtual std::uint32_t GetVersionExW_PlatformId() = 0;
    virtual void OutputDebugStringW(const std::u16string& text) = 0;
    // IsDebuggerPresent: a user-mode debugger is attached to this process.
    virtual bool IsDebuggerPresent() = 0;
    // Named file mappings backed by the paging file. 0 on failure (GetLastError tells).
    virtual Handle CreateFileMappingW(std::uint32_t size, const std::u16string& name) = 0;
    virtual Handle OpenFileMappingW(const std::u16string& name) = 0;
    virtual void* MapViewOfFile(Handle mapping) = 0;  // FILE_MAP_ALL_ACCESS, whole mapping
    virtual bool UnmapViewOfFile(void* view) = 0;
    // VirtualQuery of this process: false when the address lies outside its address space.
    virtual bool VirtualQuery(const void* address, MemoryRegion* region) = 0;
    virtual bool CloseHandle(Handle h) = 0;
    // GetEnvironmentVariableW with a buffer of `size` characters: the length copied, the
    // size needed (terminator included) when the buffer is too small, 0 when unset.
    virtual std::uint32_t GetEnvironmentVariableW(const std::u16string& name, std::u16string* value,
                                                  std::uint32_t size) = 0;
    virtual std::uint32_t GetTickCount() = 0;
    virtual void Sleep(std::uint32_t ms) = 0;
    virtual void GetLocalTime(SystemTime* st) = 0;
    // GetLocaleInfoW for the user's default locale; empty on failure.
    virtual std::u16string GetLocaleInfoW(std::uint32_t lcType) = 0;
    virtual bool ShellExecuteExW(const ShellExecuteInfo& info) = 0;
    // GetModuleFileNameW(NULL): the full path of this process's program; empty on failure.
    virtual std::u16string GetModuleFileNameW() = 0;
    virtual std::uint32_t GetCurrentProcessId() = 0;
    virtual std::uint32_t GetCurrentThreadId() = 0;
    // GetFileAttributesW: INVALID_FILE_ATTRIBUTES when nothing is there.
    virtual std::uint32_t GetFileAttributesW(const std::u16string& path) = 0;
    // MoveFileExW: with MOVEFILE_REPLACE_EXISTING a file already at `to` is replaced in one
    // step. False on failure (GetLastError tells); nothing moved then.
    virtual bool MoveFileExW(const std::u16string& from, const std::u16string& to,
                             std::uint32_t flags) = 0;
    // CreateProcessW(null, commandLine, no handles inherited, no flags, the caller's
    // environment and folder); the new thread's handle is closed at once.
    virtual bool CreateProcessW(const std::u16string& commandLine, ProcessInfo* info) = 0;
    virtual bool TerminateProcess(Handle process, std::uint32_t exitCode) = 0;
    virtual Handle CreateMutexW(bool initialOwner, const std::u16string& name) = 0;
    // Access tokens, opened with TOKEN_QUERY and closed with CloseHandle.
    // OpenThreadToken(GetCurrentThread(), ..., openAsSelf): ERROR_NO_TOKEN when the thread
    // does not impersonate.
    virtual bool OpenThreadToken(bool openAsSelf, Handle* token) = 0;
    virtual bool OpenProcessToken(Handle* token) = 0;
    // GetTokenInformation(TokenGroups) into a buffer of `size` bytes: false with
    // ERROR_INSUFFICIENT_BUFFER and the size *needed when the list does not fit.
    virtual bool GetTokenInformation_Groups(Handle token, std::uint32_t size,
                                            std::vector<TokenGroup>* groups,
                                            std::uint32_t* needed) = 0;
    // WaitForSingleObject: WAIT_OBJECT_0 (a process: it has ended), WAIT_ABANDONED (a
    // mutex whose owner ended without releasing it: now ours), WAIT_TIMEOUT or WAIT_FAILED.
    virtual std::uint32_t WaitForSingleObject(Handle h, std::uint32_t timeoutMs) = 0;
    // ReleaseMutex: false (ERROR_NOT_OWNER) when this thread does not own it.
    virtual bool ReleaseMutex(Handle h) = 0;
    // PlaySoundW(file, no module, flags)
    virtual bool PlaySoundW(const std::u16string& sound, std::uint32_t flags) = 0;
    virtual bool Beep(std::uint32_t freq, std::uint32_t durationMs) = 0;
    // Direct I/O port access; only where the platform allows it (CanAccessPorts).
    virtual bool CanAccessPorts() = 0;
    virtual std::uint8_t ReadPort(std::uint16_t port) = 0;
    virtual void WritePort(std::uint16_t port, std::uint8_t value) = 0;
};

class Platform : public IRegistry, public IKeyboard, public IWindows, public ISystem {};

// The keyboard hook procedure that SetWindowsHookExW registers (a HOOKPROC, set by the
// library's Windows entry before Install runs; opaque on this side of the seam).
extern void* KeyboardHookProcedure;

// The platform of this process: the Win32 one in the deliverables, a fake in tests.
Platform& Plat();
void SetPlatform(Platform* platform);
// Counts SetPlatform calls: what a module remembers of the platform (a window handle, a
// clock reading) belongs to the platform of that count.
std::uint32_t PlatformGeneration();

// Text at the Windows boundary (wchar_t is 16 bits there).
std::u16string ToU16(const std::string& utf8);
std::string ToUtf8(const std::u16string& text);

}  // namespace vt
