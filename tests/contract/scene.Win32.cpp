// The contract scene on the real system: windows of our own classes on this thread.
#include <windows.h>

#include <map>
#include <utility>

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

void SetSceneEnvironment(const std::u16string& name, const std::u16string* value) {
    SetEnvironmentVariableW(W(name), value ? W(*value) : nullptr);
}

}  // namespace vt::contract
