// Cost of typing a 1,000-character text with SendText against the fake platform: events
// injected per character and time per event. A benchmark that prints figures, not a test.
#include <chrono>
#include <cstdio>
#include <string>

#include "FakePlatform.h"
#include "common/Vantor.Common.h"
#include "hook/VtSend.h"

#include "BenchNotes.h"

using namespace vt;
using vt::bench::OptimizeNote;
using vt::bench::SanitizerNote;

namespace {

std::u16string MakeText(const std::u16string& pattern, std::size_t length) {
    std::u16string text;
    while (text.size() < length) text += pattern;
    text.resize(length);
    return text;
}

void Measure(const char* label, const std::u16string& text, std::uint8_t modifiers) {
    constexpr int kRuns = 20;
    FakeScope scope;
    FakePlatform& fake = scope.fake;
    fake.debuggerPresent = false;  // nobody watches the log
    PlatformIsNT = true;
    HostWindow = 0;
    ModifierState = modifiers;

    std::size_t events = 0;
    std::size_t lines = 0;
    double seconds = 0;
    for (int run = 0; run < kRuns; ++run) {
        fake.injected.clear();
        fake.debugOutput.clear();
        fake.sleeps.clear();
        const auto start = std::chrono::steady_clock::now();
        SendText(text);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        events = fake.injected.size();
        lines = fake.debugOutput.size();
    }
    const double perRun = seconds / kRuns;
    std::printf(
        "%-34s %5zu chars  %6zu events  %5.2f events/char  %6zu log lines  "
        "%8.3f ms/text  %6.2f us/event\n",
        label, text.size(), events, static_cast<double>(events) / text.size(), lines, perRun * 1e3,
        perRun * 1e6 / static_cast<double>(events));
    ModifierState = 0;
}

}  // namespace

int main() {
    std::printf("bench_send: SendText of 1,000 characters, fake platform (German layout), %s, %s\n",
                SanitizerNote(), OptimizeNote());
    Measure("lower-case letters", MakeText(u"abcdefghij", 1000), 0);
    Measure("mixed prose", MakeText(u"Hallo Welt, 12 Stra\u00dfen! ", 1000), 0);
    Measure("mixed prose with AltGr held", MakeText(u"Hallo Welt, 12 Stra\u00dfen! ", 1000), 0x0E);
    Measure("raw entry (no key: \u00e9)", MakeText(u"\u00e9", 1000), 0);
    Measure("AltGr characters (@ \u20ac)", MakeText(u"@\u20ac", 1000), 0);
    return 0;
}
