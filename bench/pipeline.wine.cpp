// Cost of one key press through KeyboardProc under Wine with the real Win32 platform,
// called in-process: the registry reads, window lookups, host messages and log lines are
// real Wine costs. Each case runs without and with a host window, next to a bare
// CallNextHookEx loop. A benchmark that prints figures, not a test.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "E2E.h"
#include "HostThread.h"
#include "WineBench.h"
#include "common/Vantor.Common.h"
#include "common/Vantor.Utils.h"
#include "hook/Vt32Util.h"
#include "hook/VtSend.h"
#include "platform/win32/Win32Platform.h"

using vtbench::Median;
using vtbench::Now;

namespace {

constexpr int kRuns = 7;
constexpr int kWarmUp = 10;
const std::wstring kRoot = L"Software\\Quellmark\\Vantor32";
const std::wstring kSettings = kRoot + L"\\Settings";

std::wstring Wide(const std::u16string& s) {
    return std::wstring(s.begin(), s.end());
}

// ---------------------------------------------------------------- scenarios
struct Scenario {
    const char* label;
    bool main;
    bool umlaut;
    bool altGr;
    WORD vk;
    DWORD scan;
    int presses;  // per run
    bool listed = false;  // this program is on the list of programs left alone
    bool abbrev = false;      // the switch "Kürzel" (1,000 abbreviations are stored in every case)
    bool wordBefore = false;  // "ha" typed (not timed) before each press
};

// A configured system: both tables hold entries, none of them for the plain letter. Every
// case writes the same values (the tree is not deleted while the library holds its key).
void Configure(const Scenario& s) {
    using vt::OptionValueNames;
    e2e::RegSetByte(kSettings, Wide(OptionValueNames[vt::OPT_MAIN]), s.main);
    e2e::RegSetByte(kSettings, Wide(OptionValueNames[vt::OPT_UMLAUT]), s.umlaut);
    e2e::RegSetByte(kSettings, Wide(OptionValueNames[vt::OPT_BEEP]), 1);
    const std::wstring ascii = Wide(vt::kMacroTableAscii);
    e2e::RegSetText(ascii, L"000000DE", L"ae");
    e2e::RegSetText(ascii, L"000000C0", L"oe");
    e2e::RegSetText(ascii, L"000000BA", L"ue");
    const std::wstring altGr = Wide(vt::kMacroTableAltGr);
    e2e::RegSetText(altGr, L"00080045", L"xy");
    e2e::RegSetText(altGr, L"00020070", L"^*1");
    // A list of 50 programs left alone; this program is on it only where the case says.
    const std::wstring list = kSettings + L"\\Ausnahmen";
    for (int i = 0; i < 50; ++i) {
        wchar_t name[32];
        swprintf(name, 32, L"program%02d.exe", i);
        e2e::RegSetText(list, name, L"");
    }
    e2e::RegSetByte(kSettings, Wide(OptionValueNames[vt::OPT_ABBREV]), s.abbrev);
    static bool abbrevsStored = false;
    if (!abbrevsStored) {
        const std::wstring abbrevs = kRoot + L"\\Macros\\K\u00FCrzel";
        for (int i = 0; i < 1000; ++i) {
            wchar_t name[32];
            swprintf(name, 32, L"k%04d", i);
            e2e::RegSetText(abbrevs, name, L"Text eines K\u00FCrzels");
        }
        abbrevsStored = true;
    }
    const std::wstring self = Wide(vt::ProgramFileName);
    if (s.listed) {
        e2e::RegSetText(list, self, L"");
    } else {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, list.c_str(), self.c_str());
    }
}

// The thread's key state as the hook would see it: AltGr is left Ctrl plus right Alt.
void SetHeldKeys(bool altGr) {
    BYTE keys[256] = {};
    if (altGr) {
        keys[VK_CONTROL] = keys[VK_LCONTROL] = 0x80;
        keys[VK_MENU] = keys[VK_RMENU] = 0x80;
    }
    SetKeyboardState(keys);
}

// The macro's restored right Alt stays down on the desktop; release it so that the next
// case starts from a clean keyboard.
void ReleaseModifiers(vtbench::TTargetWindow& target) {
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wVk = VK_MENU;
    in[0].ki.dwFlags = KEYEVENTF_KEYUP | KEYEVENTF_EXTENDEDKEY;
    in[1].ki.wVk = VK_CONTROL;
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, in, sizeof(INPUT));
    target.Drain(false);
    SetHeldKeys(false);
}

// One case's figures, gathered over the rounds.
struct RResult {
    std::vector<double> runs;  // us of each single press: their median shrugs off bursts of load
    vtbench::RCallCounts counts;
    double presses = 0;
    double hostAnswers = 0;
};

void Add(vtbench::RCallCounts& sum, const vtbench::RCallCounts& c) {
    sum.registry += c.registry;
    sum.windows += c.windows;
    sum.messages += c.messages;
    sum.debugLines += c.debugLines;
    sum.keyState += c.keyState;
    sum.injected += c.injected;
    sum.layout += c.layout;
    sum.sleeps += c.sleeps;
    sum.other += c.other;
}

// The floor: what passing the key on costs without any of our work, one call, timed as a
// press is: right after the key state is set.
double BareCall(const Scenario& s) {
    const LPARAM lParam = static_cast<LPARAM>(0x00000001u | (s.scan << 16));
    SetHeldKeys(s.altGr);
    const double start = Now();
    CallNextHookEx(nullptr, HC_ACTION, s.vk, lParam);
    return Now() - start;
}

// One run of a case: s.presses presses, each timed alone so that dropping the macro's
// injected keys between them stays out of the figure. Right before each press one bare
// call is timed for the baseline: on a shared machine the load changes from second to
// second, and a baseline timed apart from the presses drifted from them by 3x.
void MeasureRun(const Scenario& s, vtbench::TCountingPlatform& counting,
                vtbench::TTargetWindow& target, e2e::THostThread* host, RResult& r,
                RResult& bare) {
    Configure(s);
    const LPARAM lParam = static_cast<LPARAM>(0x00000001u | (s.scan << 16));
    double wordAnswers = 0;
    auto press = [&] {
        SetHeldKeys(s.altGr);
        if (s.wordBefore) {  // neither timed nor counted
            const vtbench::RCallCounts saved = counting.counts;
            const double answered = host ? host->Answered() : 0;
            vt::KeyboardProc(HC_ACTION, 'H', 0x00230001);
            vt::KeyboardProc(HC_ACTION, 'A', 0x001E0001);
            counting.counts = saved;
            if (host) wordAnswers += host->Answered() - answered;
        }
        const double start = Now();
        vt::KeyboardProc(HC_ACTION, s.vk, lParam);
        const double took = Now() - start;
        vt::ResetPlayback();              // the injected text never comes back here
        if (s.altGr) target.Pump(false);  // the macro's keys: dropped
        return took;
    };
    for (int i = 0; i < kWarmUp; ++i) press();
    target.Drain(false, 10);

    counting.counts = {};
    if (host) host->ResetAnswered();
    wordAnswers = 0;
    for (int i = 0; i < s.presses; ++i) {
        bare.runs.push_back(BareCall(s) * 1e6);
        r.runs.push_back(press() * 1e6);
    }
    Add(r.counts, counting.counts);
    r.presses += s.presses;
    if (host) r.hostAnswers += host->Answered() - wordAnswers;
    target.Drain(false, 10);
    if (s.altGr) ReleaseModifiers(target);
}

void Report(const char* host, const char* label, const RResult& r, double bare) {
    const vtbench::RCallCounts& c = r.counts;
    const double n = r.presses;
    std::printf(
        "%-8s %-40s %9.2f us/press  %5.1fx bare hook  registry %5.1f  FindWindowW %4.1f  "
        "messages %4.1f  log lines %4.1f  key state %4.1f  layout %4.1f  injected %4.1f  "
        "other %4.1f  host answers %4.1f\n",
        host, label, Median(r.runs), Median(r.runs) / bare, c.registry / n, c.windows / n,
        c.messages / n, c.debugLines / n, c.keyState / n, c.layout / n, c.injected / n, c.other / n,
        r.hostAnswers / n);
}

// A letter typed at ten keys a second while the host's window thread hangs: the library
// waits for the host once, then leaves it alone for a second, then tries again.
void HungHostRun(vtbench::TTargetWindow& target) {
    constexpr int kPresses = 30;
    e2e::THostThread host(false);
    target.Focus();
    vt::RegPath = vt::kDefaultRegPath;
    vt::HookHandle = 0;
    vt::LibraryLoad();
    e2e::RegSetByte(kSettings, Wide(vt::OptionValueNames[vt::OPT_MAIN]), 0);
    host.Hang();
    std::vector<double> took;
    const double begin = Now();
    for (int i = 0; i < kPresses; ++i) {
        const double start = Now();
        vt::KeyboardProc(HC_ACTION, 'A', 0x001E0001);
        vt::KeyboardProc(HC_ACTION, 'A', static_cast<LPARAM>(0xC01E0001u));
        took.push_back(Now() - start);
        while (Now() - begin < (i + 1) * 0.1) Sleep(5);
    }
    host.Wake();
    vt::LibraryUnload();
    vt::HookHandle = 0;
    double sum = 0;
    for (double t : took) sum += t;
    std::printf(
        "%-8s %-40s %9.2f ms/key press and release, worst %.2f ms, over %d keys in %.1f s\n",
        "hung", "letter, host hangs, 10 keys a second", sum * 1e3 / kPresses,
        *std::max_element(took.begin(), took.end()) * 1e3, kPresses, Now() - begin);
}

// What a press is made of, call by call.
void CallCosts(HWND hostWnd) {
    using vtbench::MicrosPerCall;
    using vtbench::PrintCallCost;
    HKEY key = nullptr;
    RegOpenKeyExW(HKEY_CURRENT_USER, kSettings.c_str(), 0, KEY_READ, &key);
    const std::wstring mainName = Wide(vt::OptionValueNames[vt::OPT_MAIN]);
    const std::wstring table = Wide(vt::kMacroTableAltGr);
    const auto readOption = [&] {
        BYTE value = 0;
        DWORD type = 0, size = 1;
        RegQueryValueExW(key, mainName.c_str(), nullptr, &type, &value, &size);
    };
    const auto openTable = [&] {
        HKEY k = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, table.c_str(), 0, KEY_ALL_ACCESS, &k) == 0) {
            RegCloseKey(k);
        }
    };
    const auto findViewer = [] { FindWindowW(L"TDebugWindowDisplay", L"DebugWindow (Unicode)"); };
    const auto logLine = [] {
        OutputDebugStringW(L"PROCESS:\tVK:0041\tSC:1e\tRC:1\tFlags:xiidmarl\t[A]\tDN\t00000000");
    };
    const auto keyState = [] { GetKeyState(VK_SHIFT); };
    const auto keyboardState = [] {
        BYTE keys[256];
        GetKeyboardState(keys);
    };
    const auto askHost = [&] {
        DWORD_PTR r = 0;
        SendMessageTimeoutW(hostWnd, vt::WM_HOST_GETMODIFIERS, 0, 0, SMTO_ABORTIFHUNG,
                            vt::kHostTimeoutMs, &r);
    };
    PrintCallCost("RegQueryValueExW (an option byte)", MicrosPerCall(readOption, 2000));
    PrintCallCost("RegOpenKeyExW + RegCloseKey (a macro table)", MicrosPerCall(openTable, 2000));
    PrintCallCost("FindWindowW (the viewer, absent)", MicrosPerCall(findViewer, 2000));
    PrintCallCost("OutputDebugStringW (a log line)", MicrosPerCall(logLine, 2000));
    PrintCallCost("GetKeyState", MicrosPerCall(keyState, 2000));
    PrintCallCost("GetKeyboardState", MicrosPerCall(keyboardState, 2000));
    const auto keyChar = [] { MapVirtualKeyW('A', MAPVK_VK_TO_CHAR); };
    PrintCallCost("MapVirtualKeyW (the word tracker's call per key)", MicrosPerCall(keyChar, 2000));
    const auto focus = [] { GetFocus(); };
    PrintCallCost("GetFocus (once per word, and when one is replaced)", MicrosPerCall(focus, 2000));
    PrintCallCost("SendMessageTimeoutW (host thread answers)", MicrosPerCall(askHost, 1000));
    RegCloseKey(key);
}

// The real tray program as the host, in a process of its own: its window's answer, as
// every key in every program waits for it. VT_BENCH_TRAY names one program or several
// separated by ";" (another build's, to compare); the library beside this benchmark is the
// one each loads. One instance runs at a time, so they take turns, round by round.
struct RTrayRun {
    double idle = -1;     // us per answer, nothing else going on
    double opening = -1;  // ms, the slowest answer while the settings window opens
};

RTrayRun TrayRun(const std::wstring& exe) {
    const std::wstring log = e2e::TempPath(L"bench-tray");
    e2e::Process tray = e2e::Start(L"\"" + exe + L"\" --no-tray --dll \"" + e2e::ExeDir() +
                                   L"Vt32Util.dll\" --log \"" + log + L"\"");
    HWND wnd = e2e::WaitWindow(L"Vantor32", L"Vantor32", 20000);
    RTrayRun r;
    if (wnd && e2e::WaitUntil([&] { return e2e::FileHasLine(log, "READY 1"); }, 20000)) {
        const auto askTray = [&] {
            DWORD_PTR result = 0;
            SendMessageTimeoutW(wnd, vt::WM_HOST_GETMODIFIERS, 0, 0, SMTO_ABORTIFHUNG,
                                vt::kHostTimeoutMs, &result);
        };
        r.idle = vtbench::MicrosPerCall(askTray, 500);
        // The host command opens the settings window, which the program builds on its main
        // thread: meanwhile the library keeps asking, as typing in any program does.
        PostMessageW(wnd, vt::WM_HOST_COMMAND, 1, 0);
        const double start = Now();
        double worst = 0;
        while (Now() - start < 1.0) {
            const double t = Now();
            askTray();
            worst = std::max(worst, Now() - t);
        }
        r.opening = worst * 1e3;
    }
    if (wnd) PostMessageW(wnd, WM_CLOSE, 0, 0);
    if (!e2e::WaitExit(tray, 10000)) e2e::Kill(tray);
    return r;
}

void TrayRoundTrips() {
    wchar_t list[4096] = {};
    if (!GetEnvironmentVariableW(L"VT_BENCH_TRAY", list, 4096)) return;
    std::vector<std::wstring> exes;
    std::wstring all = list;
    for (std::size_t start = 0; start <= all.size();) {
        const std::size_t end = std::min(all.find(L';', start), all.size());
        if (end > start) exes.push_back(all.substr(start, end - start));
        start = end + 1;
    }
    std::vector<std::vector<double>> idle(exes.size()), opening(exes.size());
    for (int round = 0; round < 3; ++round)
        for (std::size_t i = 0; i < exes.size(); ++i) {
            const RTrayRun r = TrayRun(exes[i]);
            idle[i].push_back(r.idle);
            opening[i].push_back(r.opening);
        }
    for (std::size_t i = 0; i < exes.size(); ++i) {
        const std::string name(exes[i].begin(), exes[i].end());
        std::printf("  tray program %zu (%s):\n", i + 1, name.c_str());
        std::printf("  %-44s %8.2f us/call\n", "  SendMessageTimeoutW, idle", Median(idle[i]));
        std::printf("  %-44s %8.2f ms\n", "  slowest answer while its settings window opens",
                    Median(opening[i]));
    }
}

}  // namespace

int main() {
    // VT_BENCH_TRAY_ONLY: only the tray programs' answers (to compare two builds quickly).
    if (GetEnvironmentVariableW(L"VT_BENCH_TRAY_ONLY", nullptr, 0)) {
        std::printf("bench_pipeline: the tray programs' answers only\n");
        TrayRoundTrips();
        return 0;
    }
    std::printf(
        "bench_pipeline: one key press through KeyboardProc under Wine, real Win32 platform, "
        "%s; median of every single press over %d rounds; platform calls per press\n",
        vtbench::OptimizeNote(), kRuns);

    vtbench::TTargetWindow target;
    if (!target.Focus()) std::printf("  note: the benchmark's edit did not get the focus\n");

    e2e::RegDeleteTreeCU(kRoot);
    vtbench::TCountingPlatform counting(vt::Win32PlatformInstance());
    vt::SetPlatform(&counting);

    constexpr int kScenarios = 7;
    const Scenario scenarios[kScenarios] = {
        {"letter, OPT_MAIN off", false, false, false, 'A', 0x1E, 300},
        {"letter, OPT_MAIN+OPT_UMLAUT on, no macro", true, true, false, 'A', 0x1E, 300},
        // Every case has a list of 50 programs left alone; only the last lists this one.
        {"macro hit: AltGr+E types \"xy\"", true, true, true, 'E', 0x12, 60},
        {"AltGr+E in a listed program", true, true, true, 'E', 0x12, 300, true},
        // Abbreviations: a letter with the switch off and on, and an end character after
        // a word that is not stored, with 1,000 abbreviations in the table.
        {"letter, OPT_MAIN on, Kuerzel off", true, false, false, 'A', 0x1E, 300},
        {"letter, OPT_MAIN on, Kuerzel on", true, false, false, 'A', 0x1E, 300, false, true},
        {"space after \"ha\", Kuerzel on (1,000)", true, false, false, VK_SPACE, 0x39, 300, false,
         true, true},
    };

    // Round by round every case gets one run, so that a burst of load elsewhere on the
    // machine spreads over all of them instead of spoiling one.
    RResult baseline;
    RResult results[2][kScenarios];
    for (int round = 0; round < kRuns; ++round) {
        for (const bool withHost : {false, true}) {
            // The library looks the host window up once, when it loads.
            std::optional<e2e::THostThread> host;
            if (withHost) host.emplace(false);
            if (withHost && !host->Window())
                std::printf("  note: the host window was not created\n");
            target.Focus();
            vt::RegPath = vt::kDefaultRegPath;
            vt::HookHandle = 0;
            vt::LibraryLoad();
            if (withHost && vt::HostWindow == 0) std::printf("  note: the library found no host\n");
            for (int k = 0; k < kScenarios; ++k) {
                MeasureRun(scenarios[k], counting, target, host ? &*host : nullptr,
                           results[withHost][k], baseline);
            }
            vt::LibraryUnload();
            vt::HookHandle = 0;
        }
    }

    const double bare = Median(baseline.runs);
    std::printf("%-8s %-40s %9.2f us/press\n", "-", "baseline: CallNextHookEx only", bare);
    for (const bool withHost : {false, true}) {
        for (int k = 0; k < kScenarios; ++k) {
            Report(withHost ? "host" : "no host", scenarios[k].label, results[withHost][k], bare);
        }
    }
    HungHostRun(target);

    std::printf("single calls:\n");
    {
        e2e::THostThread host(false);
        CallCosts(host.Window());
    }
    TrayRoundTrips();

    vt::SetPlatform(&vt::Win32PlatformInstance());
    e2e::RegDeleteTreeCU(kRoot);
    return 0;
}
