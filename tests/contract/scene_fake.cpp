// The contract scene on the fake platform.
#ifndef VT_CONTRACT_WIN32

#include "ContractScene.h"
#include "FakePlatform.h"

namespace vt::contract {

namespace {
FakePlatform& Fake() {
    return static_cast<FakePlatform&>(PlatformUnderTest());
}
}  // namespace

HWnd CreateSceneWindow(const std::u16string& className, const std::u16string& title,
                       std::uint32_t msg, LResult answer) {
    return Fake().AddWindow(className, title,
                            [msg, answer](HWnd, std::uint32_t m, WParam, LParam) -> LResult {
                                return m == msg ? answer : 0;
                            });
}

HWnd CreateSceneChild(HWnd parent, const std::u16string& className, const std::u16string& title) {
    return Fake().AddWindow(className, title, nullptr, parent);
}

void DestroySceneWindow(HWnd wnd) {
    Fake().RemoveWindow(wnd);
}

bool CreateSceneReservedMapping(std::uint32_t size, const std::u16string& name) {
    Fake().AddReservedMapping(size, name);
    return true;
}

bool CreateSceneLink(const std::u16string& linkPath, const std::u16string& targetPath) {
    Fake().AddRegLink(HKEY_LOCAL_MACHINE, linkPath, HKEY_LOCAL_MACHINE, targetPath);
    return true;
}

bool FocusSceneInputWindow() {
    Fake().queueInput = true;
    return true;
}

void ReadSceneInput() {
    while (Fake().ReadInput(nullptr)) {
    }
}

void EndSceneInput() {
    ReadSceneInput();
    Fake().queueInput = false;
}

void SetSceneEnvironment(const std::u16string& name, const std::u16string* value) {
    if (value)
        Fake().environment[name] = *value;
    else
        Fake().environment.erase(name);
}

SceneTyping TypeIntoScene(const std::vector<KeyInput>& events, int watch, bool swallow) {
    SceneTyping result;
    Fake().typed.clear();
    auto hook = [&](int, WParam wParam, LParam lParam) -> LResult {
        result.hooked.emplace_back(wParam, lParam);
        const bool press = (static_cast<std::uint32_t>(lParam) & 0x80000000u) == 0;
        if (watch == 0 || static_cast<int>(wParam) != watch || !press) return 0;
        result.watchedInHook.push_back(Fake().GetKeyState(watch));
        return swallow ? 1 : 0;
    };
    for (const KeyInput& e : events) Fake().DeliverKey(e, hook);
    result.text = Fake().typed;
    return result;
}

}  // namespace vt::contract

#endif
