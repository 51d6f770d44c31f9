// Cost of typing a text with SendText under Wine with the real Win32 platform: events
// injected per character and time per event, next to a bare loop of the same SendInput
// calls. Many short runs, each followed by its bare loops, and the median of each: on a
// shared machine a burst of load then spoils a few runs, not the figure. The keys go to an
// EDIT of our own that holds the focus. A benchmark that prints figures, not a test.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "WineBench.h"
#include "common/DebugWindowInterface.h"
#include "common/Vantor.Common.h"
#include "hook/Vt32Util.h"
#include "hook/VtSend.h"
#include "platform/win32/Win32Platform.h"

using vtbench::Median;
using vtbench::Now;

namespace {

constexpr int kRuns = 41;
constexpr std::size_t kLength = 100;

std::wstring Wide(const std::u16string& s) {
    return std::wstring(s.begin(), s.end());
}

std::string Narrow(const std::wstring& s) {
    std::string out;
    for (wchar_t c : s) out.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
    return out;
}

// A bare loop of the SendInput calls SendText made, the same events in the same order;
// optionally yielding after each like SendKey does.
double BareSendInput(const std::vector<vt::KeyInput>& events, bool yield) {
    std::vector<INPUT> in(events.size());
    for (std::size_t i = 0; i < events.size(); ++i) {
        in[i].type = INPUT_KEYBOARD;
        in[i].ki.wVk = events[i].wVk;
        in[i].ki.wScan = events[i].wScan;
        in[i].ki.dwFlags = events[i].dwFlags;
        in[i].ki.dwExtraInfo = events[i].dwExtraInfo;
    }
    const double start = Now();
    for (INPUT& one : in) {
        SendInput(1, &one, sizeof(INPUT));
        if (yield) Sleep(0);
    }
    return Now() - start;
}

}  // namespace

int main() {
    std::printf("bench_send: SendText of %zu characters under Wine, real Win32 platform, %s\n",
                kLength, vtbench::OptimizeNote());

    vtbench::TTargetWindow target;
    if (!target.Focus()) std::printf("  note: the benchmark's edit did not get the focus\n");

    vtbench::TCountingPlatform counting(vt::Win32PlatformInstance());
    vt::SetPlatform(&counting);
    vt::LibraryLoad();
    if (vt::FindDebugWindow() != 0) {
        std::printf("  note: a viewer is running; every log line also goes to it\n");
    }
    vt::ModifierState = 0;

    const std::u16string text = vtbench::MakeProse(kLength);
    const std::wstring expected = Wide(text);

    // warm up: the first injected keys of a process pay for setting up its input
    vt::SendText(text.substr(0, 50));
    target.Drain(true);
    target.Clear();

    std::vector<double> perText;
    vtbench::RCallCounts counts;
    int typedRight = 0;
    std::string mismatch;
    std::vector<vt::KeyInput> injected;
    std::vector<double> bareRuns[2];  // without and with Sleep(0) after each event
    for (int run = 0; run < kRuns; ++run) {
        counting.counts = {};
        injected.clear();
        counting.recordInjected = &injected;
        const double start = Now();
        vt::SendText(text);
        perText.push_back(Now() - start);
        counting.recordInjected = nullptr;
        counts = counting.counts;
        // Every injected key is in our queue already; the edit gets them now.
        target.Drain(true, 200);
        const std::wstring got = target.Text();
        if (got == expected) {
            ++typedRight;
        } else if (mismatch.empty()) {
            std::size_t at = 0;
            while (at < got.size() && at < expected.size() && got[at] == expected[at]) ++at;
            mismatch = "got " + std::to_string(got.size()) + " characters, first difference at " +
                       std::to_string(at) + ": \"" + Narrow(got.substr(at, 20)) + "\"";
        }
        target.Clear();
        // The bare loops replay this run's events in the same round, so that load elsewhere
        // on the machine falls on both alike; like SendText's, their keys reach the edit.
        for (const bool yield : {false, true}) {
            bareRuns[yield].push_back(BareSendInput(injected, yield));
            target.Drain(true, 200);
            target.Clear();
        }
    }

    if (counts.injected == 0) {
        std::printf("SendText injected no events\n");
        vt::LibraryUnload();
        vt::SetPlatform(&vt::Win32PlatformInstance());
        return 1;
    }
    const double events = static_cast<double>(counts.injected);
    const double seconds = Median(perText);
    std::printf(
        "SendText                  %5zu chars  %6.0f events  %5.2f events/char  %6llu log lines"
        "  %8.2f ms/text  %7.2f us/event\n",
        kLength, events, events / kLength, static_cast<unsigned long long>(counts.debugLines),
        seconds * 1e3, seconds * 1e6 / events);
    std::printf(
        "  platform calls per event: SendInput %.2f  log lines %.2f  FindWindowW %.2f  "
        "layout %.2f  Sleep(0) %.2f  registry %.2f  key state %.2f  other %.2f\n",
        counts.injected / events, counts.debugLines / events, counts.windows / events,
        counts.layout / events, counts.sleeps / events, counts.registry / events,
        counts.keyState / events, counts.other / events);
    std::printf("  the edit received exactly the text in %d of %d runs\n", typedRight, kRuns);
    if (!mismatch.empty()) std::printf("  first mismatch: %s\n", mismatch.c_str());

    const std::size_t calls = injected.size();
    for (const bool yield : {false, true}) {
        const double s = Median(bareRuns[yield]);
        std::printf("%-25s %6zu calls  %8.2f ms/loop  %7.2f us/event  SendText is %.2fx this\n",
                    yield ? "bare SendInput+Sleep(0)" : "bare SendInput", calls, s * 1e3,
                    s * 1e6 / static_cast<double>(calls), seconds / s);
    }

    // What one event of SendText is made of, call by call.
    std::printf("single calls (the platform calls of one injected event):\n");
    const auto findViewer = [] { FindWindowW(L"TDebugWindowDisplay", L"DebugWindow (Unicode)"); };
    const auto logLine = [] { OutputDebugStringW(L"4.AddVK\tVK:0041\t[A]\tDN\tsc=1e\t00000000"); };
    const auto mapKey = [] { MapVirtualKeyW('A', MAPVK_VK_TO_VSC_EX); };
    const auto scanChar = [] { VkKeyScanW(L'a'); };
    const auto keyName = [] {
        wchar_t name[200];
        GetKeyNameTextW(0x1E0001, name, 200);
    };
    const auto sleepZero = [] { Sleep(0); };
    vtbench::PrintCallCost("FindWindowW (the viewer, absent)",
                           vtbench::MicrosPerCall(findViewer, 2000));
    vtbench::PrintCallCost("OutputDebugStringW (a log line)",
                           vtbench::MicrosPerCall(logLine, 2000));
    vtbench::PrintCallCost("MapVirtualKeyW", vtbench::MicrosPerCall(mapKey, 2000));
    vtbench::PrintCallCost("VkKeyScanW", vtbench::MicrosPerCall(scanChar, 2000));
    vtbench::PrintCallCost("GetKeyNameTextW", vtbench::MicrosPerCall(keyName, 2000));
    vtbench::PrintCallCost("Sleep(0)", vtbench::MicrosPerCall(sleepZero, 2000));

    vt::LibraryUnload();
    vt::SetPlatform(&vt::Win32PlatformInstance());
    return 0;
}
