// Cost of one key press through ConvertKey and through KeyboardProc against the fake
// platform: time per press and the platform calls it makes (registry, window lookups,
// messages, log lines). A benchmark that prints figures, not a test.
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "FakePlatform.h"
#include "common/Vantor.Utils.h"
#include "hook/Vt32Util.h"
#include "hook/VtConvert.h"
#include "hook/VtSend.h"

#include "BenchNotes.h"

using namespace vt;
using vt::bench::OptimizeNote;
using vt::bench::SanitizerNote;

namespace {

const std::u16string kSettings = u"Software\\Quellmark\\Vantor32\\Settings";

struct Scenario {
    const char* label;
    bool main;
    bool umlaut;
    bool altGr;
    std::uint16_t vk;
    std::uint32_t scan;
};

// A configured system: both tables hold entries, none of them for the plain letter.
void Configure(FakePlatform& fake, const Scenario& s) {
    fake.SetRegBinary(HKEY_CURRENT_USER, kSettings, OptionValueNames[OPT_MAIN], {s.main});
    fake.SetRegBinary(HKEY_CURRENT_USER, kSettings, OptionValueNames[OPT_UMLAUT], {s.umlaut});
    fake.SetRegBinary(HKEY_CURRENT_USER, kSettings, OptionValueNames[OPT_BEEP], {1});
    fake.SetRegString(HKEY_CURRENT_USER, kMacroTableAscii, u"000000DE", u"ae");
    fake.SetRegString(HKEY_CURRENT_USER, kMacroTableAscii, u"000000C0", u"oe");
    fake.SetRegString(HKEY_CURRENT_USER, kMacroTableAscii, u"000000BA", u"ue");
    fake.SetRegString(HKEY_CURRENT_USER, kMacroTableAltGr, u"00080045", u"xy");
    fake.SetRegString(HKEY_CURRENT_USER, kMacroTableAltGr, u"00020070", u"^*1");
}

void Report(const char* path, const Scenario& s, int presses, double seconds,
            const FakePlatform::Counts& c, std::size_t injected) {
    const double n = presses;
    std::printf(
        "%-13s %-38s %8.2f us/press  registry %5.1f  windows %4.1f  messages %4.1f  "
        "debugLines %5.1f  injected %4.1f\n",
        path, s.label, seconds * 1e6 / n, c.registry / n, c.windows / n, c.messages / n,
        c.debugLines / n, static_cast<double>(injected) / n);
}

template <class Press>
void Run(const char* path, const Scenario& s, FakePlatform& fake, Press press) {
    constexpr int kPresses = 2000;
    for (int i = 0; i < 50; ++i) press();  // warm up
    fake.counts = {};
    std::size_t injected = 0;
    double seconds = 0;
    for (int i = 0; i < kPresses; ++i) {
        fake.injected.clear();
        fake.debugOutput.clear();
        fake.posted.clear();
        fake.sent.clear();
        fake.nextHookCalls.clear();
        const auto start = std::chrono::steady_clock::now();
        press();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        injected += fake.injected.size();
    }
    Report(path, s, kPresses, seconds, fake.counts, injected);
}

void ThroughConvertKey(const Scenario& s) {
    FakeScope scope;
    FakePlatform& fake = scope.fake;
    fake.debuggerPresent = false;  // nobody watches the log
    PlatformIsNT = true;
    HostWindow = fake.AddWindow(kHostWindowName, kHostWindowName);
    RegPath = kDefaultRegPath;
    OpenOptions(HKEY_CURRENT_USER);
    Configure(fake, s);
    ModifierState = s.altGr ? 0x0E : 0;
    LockState = 0;
    const KeyEvent event{s.vk, 0x00000001u | (s.scan << 16)};
    Run("ConvertKey", s, fake, [&] {
        ConvertKey(event);
        ResetPlayback();  // the injected text never comes back here
    });
    Options.reset();
    HostWindow = 0;
    ModifierState = 0;
}

void ThroughKeyboardProc(const Scenario& s) {
    FakeScope scope;
    FakePlatform& fake = scope.fake;
    fake.debuggerPresent = false;  // nobody watches the log
    std::uint8_t hostModifiers = 0;
    fake.AddWindow(kHostWindowName, kHostWindowName,
                   [&](HWnd, std::uint32_t msg, WParam wParam, LParam) -> LResult {
                       if (msg == WM_HOST_GETHOOK) return 0x4242;
                       if (msg == WM_HOST_GETMODIFIERS) return hostModifiers;
                       if (msg == WM_HOST_SETMODIFIERS)
                           hostModifiers = static_cast<std::uint8_t>(wParam);
                       return 0;
                   });
    RegPath = kDefaultRegPath;
    LibraryLoad();
    Configure(fake, s);
    if (s.altGr) {
        fake.HoldKey(VK_LCONTROL);
        fake.HoldKey(VK_RMENU);
    }
    ResetPlayback();
    const LParam lParam = static_cast<LParam>(0x00000001u | (s.scan << 16));
    KeyboardProc(HC_ACTION, s.vk, lParam);  // learns the hook handle once
    Run("KeyboardProc", s, fake, [&] {
        KeyboardProc(HC_ACTION, s.vk, lParam);
        ResetPlayback();  // the injected text never comes back here
    });
    LibraryUnload();
}

}  // namespace

int main() {
    std::printf("bench_pipeline: one key press, fake platform, %s, %s; figures per press\n",
                SanitizerNote(), OptimizeNote());
    const Scenario scenarios[] = {
        {"letter, OPT_MAIN off", false, false, false, 0x41, 0x1E},
        {"letter, OPT_MAIN+OPT_UMLAUT on, no macro", true, true, false, 0x41, 0x1E},
        {"macro hit: AltGr+E types \"xy\"", true, true, true, 0x45, 0x12},
    };
    for (const Scenario& s : scenarios) ThroughConvertKey(s);
    for (const Scenario& s : scenarios) ThroughKeyboardProc(s);
    return 0;
}
