// vtdemo: the demonstration.
// Keys that arrive while an injected text is still being typed pass unconverted (they
// belong to the playback), so the script waits, like a person, until a text has arrived. Starts the viewer, the host and a target window, types a
// scripted session with real injected keys, and prints what the target received and
// what the library logged. Expects the configuration of examples/vantor32.reg.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "E2E.h"

using namespace e2e;

namespace {

struct Step {
    const char* what;
    std::vector<std::pair<WORD, int>> keys;  // vk, 0 tap / 1 down / 2 up / 3 extended tap / 4 settle
};

constexpr WORD kSettle = 0;  // with 4: wait like a person until the typed text has arrived

void Settle(Scene& scene) {
    std::wstring last = scene.Text();
    WaitUntil(
        [&] {
            Sleep(150);
            std::wstring now = scene.Text();
            bool same = now == last;
            last = now;
            return same;
        },
        4000);
}

void Run(Scene& scene, const Step& s) {
    for (auto [vk, how] : s.keys) {
        if (how == 4) {
            Settle(scene);
            continue;
        }
        bool ext = vk == VK_RMENU || how == 3;
        if (how == 0 || how == 3) Tap(vk, ext);
        else if (how == 1) KeyDown(vk, ext);
        else KeyUp(vk, ext);
    }
}

}  // namespace

int wmain() {
    Scene scene;
    if (!scene.Up()) {
        std::printf("demo: could not start viewer, host and target\n");
        return 1;
    }
    const std::vector<Step> steps = {
        {"plain letters pass unchanged", {{'H', 0}, {'A', 0}, {'L', 0}, {'L', 0}, {'O', 0}, {VK_SPACE, 0}}},
        {"AltGr+E types its macro", {{VK_RMENU, 1}, {'E', 0}, {kSettle, 4}, {VK_RMENU, 2}, {VK_SPACE, 0}}},
        {"the umlaut keys are converted (ASCII table)", {{VK_OEM_7, 0}, {kSettle, 4}, {VK_OEM_3, 0}, {kSettle, 4}, {VK_OEM_1, 0}, {kSettle, 4}, {VK_SPACE, 0}}},
        {"EasyBackslash: the key types \\ and with AltGr #", {{VK_OEM_2, 0}, {kSettle, 4}, {VK_RMENU, 1}, {VK_OEM_2, 0}, {kSettle, 4}, {VK_RMENU, 2}, {VK_SPACE, 0}}},
        {"the keypad decimal key types the configured text", {{'3', 0}, {VK_DECIMAL, 0}, {'5', 0}, {VK_SPACE, 0}}},
        {"keypad + is a Tab (EasyTab)", {{'X', 0}, {VK_ADD, 0}, {'Y', 0}, {VK_SPACE, 0}}},
        {"AltGr+D types the date (command macro)", {{VK_RMENU, 1}, {'D', 0}, {kSettle, 4}, {VK_RMENU, 2}, {VK_SPACE, 0}}},
        {"AltGr+F1 switches everything off: the umlaut key passes", {{VK_RMENU, 1}, {VK_F1, 0}, {VK_RMENU, 2}, {VK_OEM_7, 0}, {VK_SPACE, 0}}},
        {"AltGr+F1 switches it on again", {{VK_RMENU, 1}, {VK_F1, 0}, {VK_RMENU, 2}, {VK_OEM_7, 0}}},
    };
    std::wstring before = scene.Text();
    for (const auto& s : steps) {
        scene.Focus();
        Run(scene, s);
        // Wait until the target's text stops changing.
        std::wstring last;
        WaitUntil(
            [&] {
                std::wstring now = scene.Text();
                bool same = now == last;
                last = now;
                return same && now != before;
            },
            4000);
        Sleep(150);
        std::wstring now = scene.Text();
        std::wstring added = now.substr(std::min(before.size(), now.size()));
        std::printf("%-60s -> \"%s\"\n", s.what, Utf8(added).c_str());
        before = now;
    }
    std::printf("\nThe target received:\n%s\n", Utf8(scene.Text()).c_str());

    std::printf("\nSound events posted to the host (event numbers):");
    for (const auto& l : ReadLines(scene.hostLog))
        if (l.rfind("464 ", 0) == 0) std::printf(" %s", l.substr(4).c_str());
    std::printf("\n\nThe library's log (viewer) for AltGr+E, up to the first injected key:\n");
    auto lines = ReadLines(scene.viewerLog);
    bool on = false;
    int shown = 0;
    for (const auto& l : lines) {
        if (l.find("VK:0045") != std::string::npos && l.rfind("PROCESS:", 0) == 0 &&
            l.find("\tDN\t") != std::string::npos && !on)
            on = true;
        if (on) {
            std::printf("  %s\n", l.c_str());
            if (++shown >= 24) break;
        }
    }
    std::printf("\n(%zu log lines in all; the whole log is in %s)\n", lines.size(),
                Utf8(scene.viewerLog).c_str());
    scene.Down();
    return 0;
}
