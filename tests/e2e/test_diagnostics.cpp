// The diagnostic channel and the host messages under Wine, where several processes meet:
// writers that log at the same moment, and a host whose window thread stops answering.
#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include <doctest/doctest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <thread>

#include "E2E.h"
#include "HostThread.h"
#include "common/DebugWindowInterface.h"
#include "platform/win32/Win32Platform.h"

using namespace e2e;

namespace {

const std::wstring kProduct = L"Software\\Quellmark\\Vantor32";

// A line that shows when it was cut or mixed with another: its writer's letter all along.
std::string WriterLine(char writer, int n) {
    char head[32];
    std::snprintf(head, sizeof(head), "writer %c line %04d ", writer, n);
    return head + std::string(160, writer) + " end";
}

}  // namespace

TEST_CASE("two writers at once: the viewer gets every line once, whole, and no empty one") {
    vt::SetPlatform(&vt::Win32PlatformInstance());
    const std::wstring out = TempPath(L"viewer-writers");
    Process viewer = Start(L"\"" + ExeDir() + L"vtview.exe\" --quiet --out \"" + out + L"\"");
    REQUIRE(WaitWindow(L"TDebugWindowDisplay", L"DebugWindow (Unicode)", 20000));

    constexpr int kLines = 300;
    auto write = [](char writer) {
        for (int n = 0; n < kLines; ++n) {
            const std::string line = WriterLine(writer, n);
            vt::DebugWrite(std::u16string(line.begin(), line.end()));
        }
    };
    std::thread a(write, 'a');
    std::thread b(write, 'b');
    a.join();
    b.join();
    WaitUntil([&] { return ReadLines(out).size() >= 2 * kLines; }, 60000);

    std::map<std::string, int> seen;
    int empty = 0;
    for (const auto& l : ReadLines(out)) {
        if (l.empty()) ++empty;
        ++seen[l];
    }
    CHECK(empty == 0);
    int missing = 0, repeated = 0;
    for (char writer : {'a', 'b'}) {
        for (int n = 0; n < kLines; ++n) {
            const auto it = seen.find(WriterLine(writer, n));
            if (it == seen.end()) {
                ++missing;
            } else {
                if (it->second > 1) ++repeated;
                seen.erase(it);
            }
        }
    }
    CHECK(missing == 0);
    CHECK(repeated == 0);
    CHECK(seen.size() == (empty ? 1u : 0u));  // nothing cut or mixed besides
    PostMessageW(FindWindowW(L"TDebugWindowDisplay", L"DebugWindow (Unicode)"), WM_CLOSE, 0, 0);
    if (!WaitExit(viewer, 5000)) Kill(viewer);
}

TEST_CASE("while the host hangs each key press costs one bounded wait and the text arrives whole") {
    RegDeleteTreeCU(kProduct);
    RegSetByte(kProduct + L"\\Settings", L"Vantor eingeschaltet", 0);
    THostThread host(true);
    REQUIRE(host.HookInstalled());
    Scene scene;
    REQUIRE(scene.Up(false));
    Tap('A');
    REQUIRE(scene.WaitText(L"a"));
    REQUIRE(WaitUntil([&] { return host.Answered() > 0; }, 10000));

    host.Hang();
    // One key at a time, each timed from its press until it shows: with three waits per
    // hook call it took over a second; the design's figure is one wait (0.2 s) per second.
    // The bound is loose for a shared machine; the benchmark prints the real figure.
    std::wstring typed = L"a";
    double worst = 0;
    for (char key : std::string("BCDEFG")) {
        const double start = Seconds();
        Tap(static_cast<WORD>(key));
        typed += static_cast<wchar_t>(key + 32);
        CHECK(scene.WaitText(typed, 10000));
        worst = std::max(worst, Seconds() - start);
    }
    MESSAGE("slowest key press while the host hangs: " << worst * 1000 << " ms");
    CHECK(worst < 1.0);
    // Typed fast, each key queued before the last is read: all of it arrives, in order.
    for (char key : std::string("HIJKLM")) {
        KeyDown(static_cast<WORD>(key));
        KeyUp(static_cast<WORD>(key));
    }
    typed += L"hijklm";
    CHECK(scene.WaitText(typed, 10000));
    host.Wake();

    // The host answers again: within a second or so a key press reaches it with the whole
    // traffic of a hook call (the modifier byte asked for and reported twice).
    bool reached = false;
    for (int i = 0; i < 20 && !reached; ++i) {
        const unsigned long before = host.Answered();
        Tap('N');
        typed += L'n';
        REQUIRE(scene.WaitText(typed, 10000));
        reached = WaitUntil([&] { return host.Answered() >= before + 3; }, 300);
    }
    CHECK(reached);
    scene.Down();
}

TEST_CASE("while the viewer's window thread sleeps, typing waits for it once now and then") {
    ConfigureSwitches({{L"Vantor eingeschaltet", 1}});
    Scene scene;
    REQUIRE(scene.Up());
    Tap('A');
    REQUIRE(scene.WaitText(L"a"));
    REQUIRE(scene.WaitViewerContains("PROCESS:\tVK:0041"));
    const HWND viewerWnd = FindWindowW(L"TDebugWindowDisplay", L"DebugWindow (Unicode)");
    REQUIRE(viewerWnd != nullptr);

    // The viewer's window thread sleeps for 5 s (it answers nothing meanwhile).
    PostMessageW(viewerWnd, WM_APP + 10, 5000, 0);
    const double stalled = Seconds();
    const auto answers = [&](UINT ms) {
        DWORD_PTR ignored = 0;
        return SendMessageTimeoutW(viewerWnd, WM_NULL, 0, 0, SMTO_NORMAL, ms, &ignored) != 0;
    };
    REQUIRE(WaitUntil([&] { return !answers(50); }, 5000));

    // Each key timed from its press until it shows. Before, every line waited up to a
    // second for the viewer: six keys took 5.2 s, the slowest 2.1 s.
    std::wstring typed = L"a";
    double worst = 0;
    const double first = Seconds();
    for (char key : std::string("BCDEFG")) {
        const double start = Seconds();
        Tap(static_cast<WORD>(key));
        typed += static_cast<wchar_t>(key + 32);
        CHECK(scene.WaitText(typed, 10000));
        worst = std::max(worst, Seconds() - start);
    }
    const double all = Seconds() - first;
    MESSAGE("six keys while the viewer sleeps: " << all * 1000 << " ms, the slowest "
                                                << worst * 1000 << " ms");
    CHECK(Seconds() - stalled < 5.0);  // all of it typed while the viewer slept
    CHECK(all < 2.5);
    CHECK(worst < 0.7);
    CHECK(scene.Text() == L"abcdefg");

    // Awake again, the viewer gets the lines of the keys typed from then on.
    REQUIRE(WaitUntil([&] { return answers(1000); }, 15000));
    bool seen = false;
    for (int i = 0; i < 20 && !seen; ++i) {
        Tap('H');
        typed += L'h';
        REQUIRE(scene.WaitText(typed, 10000));
        seen = scene.WaitViewerContains("PROCESS:\tVK:0048", 500);
    }
    CHECK(seen);
}

TEST_CASE("a viewer started while keys are typed gets their lines within a quarter second") {
    ConfigureSwitches({{L"Vantor eingeschaltet", 1}});
    Scene scene;
    REQUIRE(scene.Up());
    Tap('A');
    REQUIRE(scene.WaitText(L"a"));
    REQUIRE(scene.WaitViewerContains("PROCESS:\tVK:0041"));
    // The viewer goes; a key typed then tells the target's library there is none.
    PostMessageW(FindWindowW(L"TDebugWindowDisplay", L"DebugWindow (Unicode)"), WM_CLOSE, 0, 0);
    REQUIRE(WaitExit(scene.viewer, 10000));
    Tap('B');
    REQUIRE(scene.WaitText(L"ab"));

    const std::wstring out = TempPath(L"viewer-late");
    Process late = Start(L"\"" + ExeDir() + L"vtview.exe\" --quiet --out \"" + out + L"\"");
    REQUIRE(WaitWindow(L"TDebugWindowDisplay", L"DebugWindow (Unicode)", 20000));
    const double appeared = Seconds();
    // Keys one after another; the first whose line reaches the new viewer was typed this
    // long after its window appeared.
    std::wstring typed = L"ab";
    double reached = -1;
    for (int i = 0; i < 40 && reached < 0; ++i) {
        const double typedAt = Seconds();
        Tap('C');
        typed += L'c';
        REQUIRE(scene.WaitText(typed, 10000));
        if (WaitUntil([&] { return ReadFileBytes(out).find("VK:0043") != std::string::npos; },
                      100))
            reached = typedAt - appeared;
    }
    MESSAGE("first line at the new viewer for a key typed " << reached * 1000
                                                             << " ms after its window appeared");
    CHECK(reached >= 0);
    CHECK(reached < 0.6);  // 250 ms, and room for a loaded machine
    PostMessageW(FindWindowW(L"TDebugWindowDisplay", L"DebugWindow (Unicode)"), WM_CLOSE, 0, 0);
    if (!WaitExit(late, 5000)) Kill(late);
}
