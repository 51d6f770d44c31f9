// FakePlatform: an in-memory Windows for the native tests. It behaves like Windows where
// the logic relies on it (the contract suite pins that), records what the logic did
// (injected input, messages, debug output, sounds, program starts), and lets tests set
// the scene (registry contents, key state, windows, clock, failures).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace vt {

class FakePlatform : public Platform {
public:
    FakePlatform();
    ~FakePlatform() override;

    // ------------------------------------------------------------ registry (scene)
    struct RegValue {
        std::uint32_t type = REG_NONE;
        std::vector<std::uint8_t> data;
    };
    // Paths are relative to a root ("Software\\A\\B"), case-insensitive like Windows.
    void SetRegValue(HKey root, const std::u16string& path, const std::u16string& name,
                     std::uint32_t type, const std::vector<std::uint8_t>& data);
    void SetRegString(HKey root, const std::u16string& path, const std::u16string& name,
                      const std::u16string& text, std::uint32_t type = REG_SZ);  // NUL counted
    void SetRegBinary(HKey root, const std::u16string& path, const std::u16string& name,
                      const std::vector<std::uint8_t>& bytes);
    void SetRegDword(HKey root, const std::u16string& path, const std::u16string& name,
                     std::uint32_t value);
    std::optional<RegValue> GetRegValue(HKey root, const std::u16string& path,
                                        const std::u16string& name) const;
    bool RegKeyExists(HKey root, const std::u16string& path) const;
    void CreateRegKey(HKey root, const std::u16string& path);
    // A key that cannot be deleted (RegDeleteKeyW gives ERROR_ACCESS_DENIED) or opened
    // with write access.
    void ProtectRegKey(HKey root, const std::u16string& path);
    int OpenRegKeys() const;  // handles not closed yet
    // A symbolic link at root\path to targetRoot\targetPath (which need not exist): paths
    // through it lead to the target; RegOpenKeyExW_OpenLink opens the link itself, which
    // holds the target's native path in "SymbolicLinkValue" (REG_LINK), as on Windows.
    void AddRegLink(HKey root, const std::u16string& path, HKey targetRoot,
                    const std::u16string& targetPath);
    // RegSetValueExW of a value by one of these names (any case) fails with the error given.
    std::map<std::u16string, long> failSetValue;

    // ------------------------------------------------------------ keyboard (scene)
    std::uint8_t keyState[256] = {};    // GetKeyState/GetKeyboardState: 0x80 down, 0x01 toggled
    std::uint8_t asyncState[256] = {};  // GetAsyncKeyState: 0x80 down
    void HoldKey(int vk, bool down = true);  // sets both tables (and VK_SHIFT for VK_LSHIFT...)
    void SetToggle(int vk, bool on);
    void UseGermanLayout();  // the default: QWERTZ, AltGr = Ctrl+Alt in VkKeyScanW
    void UseUsLayout();
    std::map<std::int32_t, std::u16string> keyNameTexts;  // by scan code (+0x100 extended)
    struct Injected {
        KeyInput input;
        bool viaKeybdEvent = false;
    };
    std::vector<Injected> injected;
    // Called for every injected event (after it is recorded), for tests that feed the
    // events back into the hook.
    std::function<void(const KeyInput&)> onInject;
    // Windows adds a left Ctrl event (scan 0x21D) in front of every right Alt event on
    // layouts with AltGr. Off by default; when on (and the German layout is active) the
    // added event changes the key state and goes to onInject, but not into `injected`.
    bool altGrAddsLeftCtrl = false;
    // What an edit control with the focus would show: each key press typed with the key
    // state at that moment (Shift, AltGr, Caps Lock on the keys it affects), a Unicode
    // event as its character, Backspace removing one. Alt + keypad entry is not composed.
    std::u16string typed;
    char16_t pendingDeadKey = 0;  // a dead key typed, waiting for the next character
    // A key event as the thread reads it with its WH_KEYBOARD hook installed: the hook
    // sees the key state before the event (as under Wine), or with the event already in
    // it when snapshotHoldsPress; the event changes the state whether the hook swallows
    // it or not, and types its character only when it does not. Events injected during
    // the hook call wait behind this one and then go through the hook in their order.
    using KeyboardHook = std::function<LResult(int code, WParam wParam, LParam lParam)>;
    LResult DeliverKey(const KeyInput& input, const KeyboardHook& hook);
    bool snapshotHoldsPress = false;
    // A thread's input queue, for tests that type the way people do. When on, events
    // wait in the queue: the async (physical) state follows them when they are queued,
    // the thread's (logical) state only when the program reads them with ReadInput.
    bool queueInput = false;
    struct QueuedKey {
        std::uint8_t vk = 0;     // as queued: sided or generic
        std::uint16_t scan = 0;  // with 0xE000 for an extended key
        bool down = true;
        bool extended = false;
        bool injected = true;
        char16_t ch = 0;  // a Unicode key event's character (vk is VK_PACKET then)
    };
    std::vector<QueuedKey> inputQueue;
    // The user's keyboard: queues an event with the layout's scan code (not recorded as
    // injected). Needs queueInput.
    void QueueUserKey(int vk, bool down, bool extended = false);
    // The program reads the next event: `hook` gets the message's wParam (the generic
    // modifier key) and lParam (for VK_PACKET: the character in the high word) (scan code, extended, previous state, release) while the
    // thread's state is still the one before it; then the thread's state takes it. False
    // when the queue is empty.
    bool ReadInput(const std::function<void(WParam, LParam)>& hook);

    // ------------------------------------------------------------ windows (scene)
    using MessageHandler = std::function<LResult(HWnd, std::uint32_t, WParam, LParam)>;
    HWnd AddWindow(const std::u16string& className, const std::u16string& title,
                   MessageHandler handler = nullptr, HWnd parent = 0);
    void RemoveWindow(HWnd wnd);
    void SetHung(HWnd wnd, bool hung);  // SendMessageTimeoutW times out on it
    // A window whose thread takes this long for each sent message: SendMessageTimeoutW
    // advances the clock by it (by its time-out at most) and times out when it is longer.
    void SetAnswerDelay(HWnd wnd, std::uint32_t ms);
    HWnd focus = 0;
    struct Message {
        HWnd wnd;
        std::uint32_t msg;
        WParam wParam;
        LParam lParam;
    };
    // Messages that reached a window (a hung one too); calls to a missing window fail
    // and are not recorded. A post to window 0 goes to the thread's queue: recorded.
    std::vector<Message> sent;    // SendMessageW and SendMessageTimeoutW
    std::vector<Message> posted;  // PostMessageW
    struct Box {
        HWnd owner;
        std::u16string text, caption;
        std::uint32_t type;
    };
    std::vector<Box> messageBoxes;
    int messageBoxResult = 1;  // IDOK
    std::vector<std::uint32_t> messageBeeps;
    std::set<HHook> hooks;
    struct NextHookCall {
        HHook hook;
        int code;
        WParam wParam;
        LParam lParam;
    };
    std::vector<NextHookCall> nextHookCalls;
    LResult nextHookResult = 0;
    bool failSetHook = false;

    // ------------------------------------------------------------ access token (scene)
    // The process token's groups; by default those of an elevated administrator, as
    // Wine's token has them.
    std::vector<TokenGroup> tokenGroups;
    bool threadImpersonates = false;    // OpenThreadToken then opens a token with the same groups
    std::uint32_t failOpenToken = 0;    // error of every token open; 0: they work
    std::uint32_t failTokenGroups = 0;  // error of the group query; 0: it works
    static std::vector<std::uint8_t> Sid(std::uint8_t authority,
                                         std::initializer_list<std::uint32_t> subAuthorities);

    // ------------------------------------------------------------ system (scene)
    std::uint32_t platformId = 2;
    std::vector<std::u16string> debugOutput;
    // The tests read the log through the debugger output, as a developer does with a
    // debugger attached; a test of the privacy rule switches it off.
    bool debuggerPresent = true;
    bool failMapView = false, failUnmapView = false, failCloseHandle = false;
    // A named mapping of the size whose pages are reserved, not committed (SEC_RESERVE):
    // its views report MEM_RESERVE. Another process's object; the fake keeps it alive.
    void AddReservedMapping(std::uint32_t size, const std::u16string& name);
    int OpenHandles() const;  // file mapping and mutex handles not closed yet
    int MappedViews() const;  // views not unmapped yet
    std::map<std::u16string, std::u16string> environment;
    std::uint32_t tickCount = 1000;
    std::vector<std::uint32_t> sleeps;  // Sleep advances tickCount too
    SystemTime localTime{2026, 12, 1, 7, 21, 5, 9, 0};
    std::map<std::uint32_t, std::u16string> localeInfo;  // German by default
    std::vector<ShellExecuteInfo> shellExecutes;
    std::u16string moduleFileName = u"C:\\Windows\\notepad.exe";      // GetModuleFileNameW
    std::function<bool(const ShellExecuteInfo&)> shellExecuteResult;  // default: true
    std::map<std::u16string, int> mutexes;  // open handles by name; preset = another instance
    // Named mutexes another thread holds: a wait for them times out (after its time).
    std::set<std::u16string> mutexesHeldElsewhere;
    // Named mutexes of a process with other rights (elevated): opening them is refused.
    std::set<std::u16string> mutexesDenied;
    bool MutexOwned(const std::u16string& name) const;  // by this thread
    std::vector<std::pair<std::u16string, std::uint32_t>> playedSounds;
    struct Tone {
        std::uint32_t freq, duration, at;
    };
    std::vector<Tone> beepTones;     // Beep(freq, ms); also advances the clock
    bool beepReturnsAtOnce = false;  // as under Wine; Windows returns when the tone ends
    bool canAccessPorts = false;
    std::map<std::uint16_t, std::uint8_t> ports;
    std::vector<std::pair<std::uint16_t, std::uint8_t>> portWrites;

    // ------------------------------------------------------------ processes and files (scene)
    std::uint32_t currentProcessId = 0x1000;
    std::uint32_t currentThreadId = 0x1004;  // the input thread the hook runs on
    // SendInputArray calls (each event also counts in `injected`); a failing injection
    // (UIPI, a desktop switch) inserts nothing.
    int injectCalls = 0;
    bool failInjection = false;
    HWnd foreground = 0;
    std::map<HWnd, std::uint32_t> windowProcesses;  // windows of other processes; the rest are ours
    std::set<std::u16string> files;  // what GetFileAttributesW finds (case-insensitive)
    struct StartedProcess {
        std::u16string commandLine;
        std::uint32_t pid = 0, tid = 0;
        bool running = true;
        bool terminated = false;
        std::vector<std::uint32_t> threadMessages;  // PostThreadMessageW to its thread
    };
    std::vector<StartedProcess> processes;  // CreateProcessW, in order
    bool failCreateProcess = false;
    bool processesIgnoreQuit = false;  // a started process that hangs: WM_QUIT does not end it

    // ------------------------------------------------------------ call counts (benchmarks)
    struct Counts {
        int registry = 0;  // every registry call
        int windows = 0;   // FindWindowW
        int messages = 0;  // sent and posted messages
        int debugLines = 0;
    } counts;

    // ------------------------------------------------------------ Platform
    long RegOpenKeyExW(HKey root, const std::u16string& subKey, std::uint32_t access,
                       HKey* out) override;
    long RegCreateKeyExW(HKey root, const std::u16string& subKey, std::uint32_t access, HKey* out,
                         bool* created) override;
    long RegCloseKey(HKey key) override;
    long RegQueryValueExW(HKey key, const std::u16string& name, std::uint32_t* type,
                          std::uint8_t* data, std::uint32_t* size) override;
    long RegSetValueExW(HKey key, const std::u16string& name, std::uint32_t type,
                        const std::uint8_t* data, std::uint32_t size) override;
    long RegDeleteValueW(HKey key, const std::u16string& name) override;
    long RegDeleteKeyW(HKey key, const std::u16string& subKey) override;
    long RegEnumKeyExW(HKey key, std::uint32_t index, std::u16string* name) override;
    long RegOpenKeyExW_OpenLink(HKey root, const std::u16string& subKey, std::uint32_t access,
                                HKey* out) override;
    long NtDeleteKey(HKey key) override;
    long RegEnumValueW(HKey key, std::uint32_t index, std::u16string* name) override;

    std::int16_t GetKeyState(int vk) override;
    std::int16_t GetAsyncKeyState(int vk) override;
    bool GetKeyboardState(std::uint8_t state[256]) override;
    bool SetKeyboardState(const std::uint8_t state[256]) override;
    std::uint32_t SendInput(const KeyInput& input) override;
    std::uint32_t SendInputArray(const std::vector<KeyInput>& inputs) override;
    void keybd_event(std::uint8_t vk, std::uint8_t scan, std::uint32_t flags,
                     std::uintptr_t extraInfo) override;
    std::uint32_t MapVirtualKeyW(std::uint32_t code, std::uint32_t mapType) override;
    std::int16_t VkKeyScanW(char16_t ch) override;
    std::u16string GetKeyNameTextW(std::int32_t lParam, int size) override;

    HWnd FindWindowW(const std::u16string& className, const std::u16string& title) override;
    LResult SendMessageW(HWnd wnd, std::uint32_t msg, WParam wParam, LParam lParam) override;
    bool SendMessageTimeoutW(HWnd wnd, std::uint32_t msg, WParam wParam, LParam lParam,
                             std::uint32_t flags, std::uint32_t timeoutMs,
                             LResult* result) override;
    bool PostMessageW(HWnd wnd, std::uint32_t msg, WParam wParam, LParam lParam) override;
    HWnd GetFocus() override;
    HWnd GetParent(HWnd wnd) override;
    bool IsChild(HWnd parent, HWnd wnd) override;
    int MessageBoxW(HWnd owner, const std::u16string& text, const std::u16string& caption,
                    std::uint32_t type) override;
    bool MessageBeep(std::uint32_t type) override;
    HHook SetWindowsHookExW(int idHook, HInstance module, std::uint32_t threadId) override;
    bool UnhookWindowsHookEx(HHook hook) override;
    LResult CallNextHookEx(HHook hook, int code, WParam wParam, LParam lParam) override;
    HWnd GetForegroundWindow() override;
    std::uint32_t GetWindowThreadProcessId(HWnd wnd, std::uint32_t* processId) override;
    bool PostThreadMessageW(std::uint32_t threadId, std::uint32_t msg, WParam wParam,
                            LParam lParam) override;

    std::uint32_t GetLastError() override;
    std::uint32_t GetVersionExW_PlatformId() override;
    void OutputDebugStringW(const std::u16string& text) override;
    bool IsDebuggerPresent() override;
    Handle CreateFileMappingW(std::uint32_t size, const std::u16string& name) override;
    Handle OpenFileMappingW(const std::u16string& name) override;
    void* MapViewOfFile(Handle mapping) override;
    bool UnmapViewOfFile(void* view) override;
    bool VirtualQuery(const void* address, MemoryRegion* region) override;
    bool CloseHandle(Handle h) override;
    std::uint32_t GetEnvironmentVariableW(const std::u16string& name, std::u16string* value,
                                          std::uint32_t size) override;
    std::uint32_t GetTickCount() override;
    void Sleep(std::uint32_t ms) override;
    void GetLocalTime(SystemTime* st) override;
    std::u16string GetLocaleInfoW(std::uint32_t lcType) override;
    bool ShellExecuteExW(const ShellExecuteInfo& info) override;
    std::u16string GetModuleFileNameW() override;
    std::uint32_t GetCurrentProcessId() override;
    std::uint32_t GetCurrentThreadId() override;
    std::uint32_t GetFileAttributesW(const std::u16string& path) override;
    // On the real files of the test machine (the logic writes them with the standard library).
    bool MoveFileExW(const std::u16string& from, const std::u16string& to,
                     std::uint32_t flags) override;
    bool CreateProcessW(const std::u16string& commandLine, ProcessInfo* info) override;
    bool TerminateProcess(Handle process, std::uint32_t exitCode) override;
    Handle CreateMutexW(bool initialOwner, const std::u16string& name) override;
    bool OpenThreadToken(bool openAsSelf, Handle* token) override;
    bool OpenProcessToken(Handle* token) override;
    bool GetTokenInformation_Groups(Handle token, std::uint32_t size,
                                    std::vector<TokenGroup>* groups,
                                    std::uint32_t* needed) override;
    std::uint32_t WaitForSingleObject(Handle h, std::uint32_t timeoutMs) override;
    bool ReleaseMutex(Handle h) override;
    bool PlaySoundW(const std::u16string& sound, std::uint32_t flags) override;
    bool Beep(std::uint32_t freq, std::uint32_t durationMs) override;
    bool CanAccessPorts() override;
    std::uint8_t ReadPort(std::uint16_t port) override;
    void WritePort(std::uint16_t port, std::uint8_t value) override;

    struct Impl;  // registry tree, windows, mappings, handles

private:
    std::unique_ptr<Impl> impl_;
    LResult DeliverOne(const KeyInput& input, const KeyboardHook& hook);
    bool delivering_ = false, draining_ = false;
    std::vector<KeyInput> queued_;
    std::uint32_t lastError_ = 0;
};

// Installs a FakePlatform as the process platform for one test and removes it after.
struct FakeScope {
    FakePlatform fake;
    FakeScope() { SetPlatform(&fake); }
    ~FakeScope() { SetPlatform(nullptr); }
};

}  // namespace vt
