// ProcessMacro's command grammar on arbitrary macros, against the fake platform, which
// records program starts, typed keys and host messages instead of acting. A non-empty
// macro always swallows the key; a typed macro never starts a program or posts to the host.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FakePlatform.h"
#include "common/Vantor.Utils.h"
#include "hook/VtConvert.h"

namespace {

struct Scene {
    vt::FakePlatform fake;
    Scene() {
        vt::SetPlatform(&fake);
        vt::VantorUtilsInit();
        vt::PlatformIsNT = true;
        vt::HostWindow = fake.AddWindow(vt::kHostWindowName, vt::kHostWindowName);
        fake.environment[u"SystemRoot"] = u"C:\\Windows";
        fake.environment[u"LOOP"] = u"%LOOP%%LOOP%";
        fake.environment[u"LONG"] = std::u16string(3000, u'L');
        // Every other start fails, so the beep path runs too.
        fake.shellExecuteResult = [this](const vt::ShellExecuteInfo&) {
            return fake.shellExecutes.size() % 2 == 0;
        };
    }
    void Clear() {
        fake.debugOutput.clear();
        fake.injected.clear();
        fake.posted.clear();
        fake.sent.clear();
        fake.shellExecutes.clear();
        fake.messageBeeps.clear();
        fake.sleeps.clear();
        fake.beepTones.clear();
        fake.playedSounds.clear();
    }
};

Scene& TheScene() {
    static Scene* scene = new Scene();
    return *scene;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 2048) return 0;  // typing costs several log lines per character
    Scene& scene = TheScene();
    scene.Clear();

    // Bytes map mostly onto the command language; the first byte decides whether the
    // macro is a command macro.
    std::u16string text;
    if (size > 0 && (data[0] & 1)) text.push_back(u'^');
    for (std::size_t i = 1; i < size; ++i) {
        const std::uint8_t b = data[i];
        if (b < 0x80)
            text.push_back(u"^*0123456789\"yYmMdDhHnNsS:- %aApP/'x"[b % 36]);
        else
            text.push_back(static_cast<char16_t>(b < 0xF0 ? b : 0x2000 + b));
    }

    vt::KeyEvent event;
    event.VirtualKey = 0x45;
    vt::KeyContext context{event};
    vt::ProcessMacro(text, context);

    if (!text.empty() && context.Verdict != 2) __builtin_trap();
    if (text.empty() && context.Verdict != 0) __builtin_trap();
    if (!text.empty() && text[0] != u'^') {
        if (!scene.fake.shellExecutes.empty() || !scene.fake.posted.empty()) __builtin_trap();
    }
    return 0;
}
