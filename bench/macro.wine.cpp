// A long macro typed the way a person meets it: right Alt+L in a target program, through
// the tray program's hook, nobody watching the log; the time from the trigger until the
// target's edit holds the whole text, as characters per second. Beside it, in the same
// run, a bare loop that injects the same events one SendInput call each from outside.
// A benchmark that prints figures, not a test.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "E2E.h"
#include "WineBench.h"
#include "common/Vantor.Common.h"
#include "hook/Vt32Util.h"
#include "hook/VtSend.h"
#include "platform/win32/Win32Platform.h"

using vtbench::Median;
using vtbench::Now;

namespace {

constexpr std::size_t kLength = 1500;
constexpr int kRuns = 3;

// The events SendText makes of the text, recorded in this process (its own window takes
// them and drops them).
std::vector<vt::KeyInput> EventsOf(const std::u16string& text) {
    vtbench::TTargetWindow own;
    vtbench::TCountingPlatform counting(vt::Win32PlatformInstance());
    vt::SetPlatform(&counting);
    vt::LibraryLoad();
    std::vector<vt::KeyInput> events;
    counting.recordInjected = &events;
    vt::ModifierState = 0;
    vt::SendText(text);
    counting.recordInjected = nullptr;
    vt::LibraryUnload();
    vt::SetPlatform(&vt::Win32PlatformInstance());
    own.Drain(false, 100);
    return events;
}

int EditLength(HWND edit) {
    DWORD_PTR length = 0;
    SendMessageTimeoutW(edit, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length);
    return static_cast<int>(length);
}

// Seconds until the edit holds `length` characters; negative when it never did.
double WaitForLength(HWND edit, int length, double since) {
    const double deadline = since + 120;
    while (Now() < deadline) {
        if (EditLength(edit) >= length) return Now() - since;
        Sleep(2);
    }
    return -1;
}

void Send(WORD vk, bool up, bool extended = false) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (extended ? KEYEVENTF_EXTENDEDKEY : 0);
    SendInput(1, &in, sizeof in);
}

}  // namespace

int main() {
    std::printf("bench_macro: a %zu-character macro typed into a target through the tray program, "
                "no viewer, %s\n",
                kLength, vtbench::OptimizeNote());
    const std::u16string text = vtbench::MakeProse(kLength);
    const std::vector<vt::KeyInput> events = EventsOf(text);

    e2e::ConfigureSwitches({{L"Vantor eingeschaltet", 1}});
    e2e::RegSetText(e2e::kVantorMacros + L"\\AltGr", L"0008004C",
                    std::wstring(text.begin(), text.end()));
    const std::wstring dir = e2e::ExeDir();
    e2e::Process host = e2e::Start(e2e::HostExe() + L" --no-tray");
    e2e::Process target = e2e::Start(L"\"" + dir + L"target.exe\"");
    HWND targetWnd = e2e::WaitWindow(L"VtTargetWnd", L"VtTarget", 20000);
    HWND edit = nullptr;
    e2e::WaitUntil([&] { return (edit = FindWindowExW(targetWnd, nullptr, L"EDIT", nullptr)) != nullptr; },
                   10000);
    if (!e2e::WaitWindow(L"Vantor32", L"Vantor32", 20000) || !edit) {
        std::printf("the tray program or the target did not start\n");
        return 1;
    }
    Sleep(500);  // the host installs its hook once its window is up

    std::vector<double> macroRuns, bareRuns;
    int wrong = 0;
    for (int run = 0; run < kRuns; ++run) {
        SendMessageW(targetWnd, WM_APP + 1, 0, 0);
        SetForegroundWindow(targetWnd);
        e2e::ReadyForKeys(targetWnd, edit);
        SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
        double start = Now();
        Send(VK_RMENU, false, true);
        Send('L', false);
        Send('L', true);
        Send(VK_RMENU, true, true);
        const double macro = WaitForLength(edit, static_cast<int>(kLength), start);
        if (macro > 0) macroRuns.push_back(macro);
        if (e2e::WindowText(edit) != std::wstring(text.begin(), text.end())) ++wrong;
        Sleep(200);

        SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
        start = Now();
        for (const vt::KeyInput& e : events) {
            INPUT in{};
            in.type = INPUT_KEYBOARD;
            in.ki.wVk = e.wVk;
            in.ki.wScan = e.wScan;
            in.ki.dwFlags = e.dwFlags;
            SendInput(1, &in, sizeof in);
        }
        const double bare = WaitForLength(edit, static_cast<int>(kLength), start);
        if (bare > 0) bareRuns.push_back(bare);
        Sleep(200);
    }
    HWND hostWnd = FindWindowW(L"Vantor32", L"Vantor32");
    if (hostWnd) PostMessageW(hostWnd, WM_CLOSE, 0, 0);
    PostMessageW(targetWnd, WM_CLOSE, 0, 0);
    if (!e2e::WaitExit(host, 10000)) e2e::Kill(host);
    if (!e2e::WaitExit(target, 5000)) e2e::Kill(target);

    if (macroRuns.empty() || bareRuns.empty()) {
        std::printf("the text never arrived (macro runs %zu, bare runs %zu)\n", macroRuns.size(),
                    bareRuns.size());
        return 1;
    }
    const double macro = Median(macroRuns), bare = Median(bareRuns);
    std::printf("macro through the tray program  %5zu chars  %6zu events  %8.1f ms  %8.0f chars/s  "
                "(text exact in %d of %d runs)\n",
                kLength, events.size(), macro * 1e3, kLength / macro, kRuns - wrong, kRuns);
    std::printf("bare SendInput loop, same events %5zu chars  %6zu calls   %8.1f ms  %8.0f chars/s  "
                "macro takes %.2fx its time\n",
                kLength, events.size(), bare * 1e3, kLength / bare, macro / bare);
    return 0;
}
