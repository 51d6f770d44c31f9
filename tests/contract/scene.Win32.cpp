// The contract scene on the real system: windows of our own classes on this thread.
#include <windows.h>

#include <map>
#include <utility>
#include <vector>

#include "ContractScene.h"

namespace vt::contract {

namespace {

std::map<HWND, std::pair<UINT, LRESULT>> gAnswers;

LRESULT CALLBACK SceneProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto it = gAnswers.find(wnd);
    if (it != gAnswers.end() && it->second.first == msg) return it->second.second;
    if (msg == WM_NCDESTROY) gAnswers.erase(wnd);
    return DefWindowProcW(wnd, msg, wParam, lParam);
}

const wchar_t* W(const std::u16string& s) {
    return reinterpret_cast<const wchar_t*>(s.c_str());
}

void Register(const std::u16string& className) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = SceneProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = W(className);
    RegisterClassW(&wc);  // a second registration fails harmlessly
}

}  // namespace

HWnd CreateSceneWindow(const std::u16string& className, const std::u16string& title,
                       std::uint32_t msg, LResult answer) {
    Register(className);
    HWND wnd = CreateWindowExW(0, W(className), W(title), WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                               nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (wnd) gAnswers[wnd] = {msg, answer};
    return reinterpret_cast<HWnd>(wnd);
}

HWnd CreateSceneChild(HWnd parent, const std::u16string& className, const std::u16string& title) {
    Register(className);
    HWND wnd = CreateWindowExW(0, W(className), W(title), WS_CHILD, 0, 0, 10, 10,
                               reinterpret_cast<HWND>(parent), nullptr, GetModuleHandleW(nullptr),
                               nullptr);
    return reinterpret_cast<HWnd>(wnd);
}

void DestroySceneWindow(HWnd wnd) {
    DestroyWindow(reinterpret_cast<HWND>(wnd));
}

bool CreateSceneReservedMapping(std::uint32_t size, const std::u16string& name) {
    HANDLE h = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_RESERVE, 0,
                                  size, W(name));
    return h != nullptr;  // kept open for the suite's life
}

// A link key holds the target's native path in its value "SymbolicLinkValue" (REG_LINK,
// without a terminating NUL). Volatile, so that a run cut short leaves nothing behind.
bool CreateSceneLink(const std::u16string& linkPath, const std::u16string& targetPath) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, W(linkPath), 0, nullptr,
                        REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE,
                        KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    std::u16string target = u"\\Registry\\Machine\\" + targetPath;
    LONG rc = RegSetValueExW(key, L"SymbolicLinkValue", 0, REG_LINK,
                             reinterpret_cast<const BYTE*>(target.data()),
                             static_cast<DWORD>(target.size() * 2));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

namespace {
HWND gInputWnd = nullptr;
}  // namespace

bool FocusSceneInputWindow() {
    Register(u"VtContractInput");
    gInputWnd =
        CreateWindowExW(0, L"VtContractInput", L"VtContractInput", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                        0, 0, 100, 100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!gInputWnd) return false;
    SetForegroundWindow(gInputWnd);
    SetFocus(gInputWnd);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    return GetFocus() == gInputWnd;
}

void ReadSceneInput() {
    // Only read: dispatching a lone Alt release would open the window's menu.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    }
}

void EndSceneInput() {
    ReadSceneInput();
    if (gInputWnd) DestroyWindow(gInputWnd);
    gInputWnd = nullptr;
}

void SetSceneEnvironment(const std::u16string& name, const std::u16string* value) {
    SetEnvironmentVariableW(W(name), value ? W(*value) : nullptr);
}

namespace {

struct Watch {
    int vk = 0;
    bool swallow = false;
    bool sentinelSeen = false;
    std::vector<std::int16_t> seen;
    std::vector<std::pair<WParam, LParam>> hooked;
} gWatch;

// Marks the end of a scene's events: a key that types nothing and nobody else uses.
constexpr WORD kSentinel = VK_F24;

LRESULT CALLBACK SceneHook(int code, WPARAM wParam, LPARAM lParam) {
    const bool press = (static_cast<DWORD>(lParam) & 0x80000000u) == 0;
    if (code == HC_ACTION) {
        if (wParam == kSentinel && !press) gWatch.sentinelSeen = true;
        if (wParam != kSentinel) gWatch.hooked.emplace_back(wParam, lParam);
        if (gWatch.vk != 0 && static_cast<int>(wParam) == gWatch.vk && press) {
            gWatch.seen.push_back(GetKeyState(gWatch.vk));
            if (gWatch.swallow) return 1;
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void Inject(const KeyInput& k) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = k.wVk;
    in.ki.wScan = k.wScan;
    in.ki.dwFlags = k.dwFlags;
    SendInput(1, &in, sizeof in);
}

}  // namespace

SceneTyping TypeIntoScene(const std::vector<KeyInput>& events, int watch, bool swallow) {
    SceneTyping result;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    Register(u"VtContractTyping");
    HWND wnd = CreateWindowExW(0, L"VtContractTyping", L"VtContractTyping",
                               WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, nullptr, nullptr,
                               instance, nullptr);
    HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 0, 0, 280,
                                180, wnd, nullptr, instance, nullptr);
    SetForegroundWindow(wnd);
    SetFocus(edit);
    gWatch = Watch{watch, swallow, false, {}, {}};
    HHOOK hook = SetWindowsHookExW(WH_KEYBOARD, SceneHook, nullptr, GetCurrentThreadId());
    PlatformUnderTest().SendInputArray(events);
    Inject(KeyInput{kSentinel, 0, 0, 0, 0});
    Inject(KeyInput{kSentinel, 0, KEYEVENTF_KEYUP, 0, 0});
    // The thread reads its input as it pumps; the sentinel's release comes last.
    const DWORD start = GetTickCount();
    while (!gWatch.sentinelSeen && GetTickCount() - start < 10000) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (!gWatch.sentinelSeen) MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    if (hook) UnhookWindowsHookEx(hook);
    wchar_t buf[512] = {};
    GetWindowTextW(edit, buf, 512);
    result.text = std::u16string(reinterpret_cast<const char16_t*>(buf));
    result.watchedInHook = gWatch.seen;
    result.hooked = gWatch.hooked;
    gWatch = Watch{};
    DestroyWindow(wnd);
    return result;
}

}  // namespace vt::contract
