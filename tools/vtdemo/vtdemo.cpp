// vtdemo: the demonstration.
// Keys that arrive while an injected text is still being typed pass unconverted (they
// belong to the playback), so the script waits, like a person, until a text has arrived. Starts the
// viewer, the host and a target window, types a scripted session with real injected keys, and
// prints what the target received and what the library logged. Expects the configuration of
// examples/vantor32.reg.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "E2E.h"

using namespace e2e;

namespace {

enum Act { TAP, DOWN, UP, SETTLE };

struct Step {
    const char* what;
    std::vector<std::pair<WORD, Act>> keys;
};

// SETTLE waits, like a person, until the typed text has arrived.
constexpr WORD kNoKey = 0;

void Run(Scene& scene, const Step& s) {
    for (auto [vk, act] : s.keys) {
        const bool extended = vk == VK_RMENU;
        switch (act) {
            case TAP:
                Tap(vk, extended);
                break;
            case DOWN:
                KeyDown(vk, extended);
                break;
            case UP:
                KeyUp(vk, extended);
                break;
            case SETTLE:
                scene.Settle(4000);
                break;
        }
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
        {"plain letters pass unchanged",
         {{'H', TAP}, {'A', TAP}, {'L', TAP}, {'L', TAP}, {'O', TAP}, {VK_SPACE, TAP}}},
        {"AltGr+E types its macro",
         {{VK_RMENU, DOWN}, {'E', TAP}, {kNoKey, SETTLE}, {VK_RMENU, UP}, {VK_SPACE, TAP}}},
        {"the umlaut keys are converted (ASCII table)",
         {{VK_OEM_7, TAP},
          {kNoKey, SETTLE},
          {VK_OEM_3, TAP},
          {kNoKey, SETTLE},
          {VK_OEM_1, TAP},
          {kNoKey, SETTLE},
          {VK_SPACE, TAP}}},
        {"EasyBackslash: the key types \\ and with AltGr #",
         {{VK_OEM_2, TAP},
          {kNoKey, SETTLE},
          {VK_RMENU, DOWN},
          {VK_OEM_2, TAP},
          {kNoKey, SETTLE},
          {VK_RMENU, UP},
          {VK_SPACE, TAP}}},
        {"the keypad decimal key types the configured text",
         {{'3', TAP}, {VK_DECIMAL, TAP}, {'5', TAP}, {VK_SPACE, TAP}}},
        {"keypad + is a Tab (EasyTab)", {{'X', TAP}, {VK_ADD, TAP}, {'Y', TAP}, {VK_SPACE, TAP}}},
        {"AltGr+D types the date (command macro)",
         {{VK_RMENU, DOWN}, {'D', TAP}, {kNoKey, SETTLE}, {VK_RMENU, UP}, {VK_SPACE, TAP}}},
        {"AltGr+F1 switches everything off: the umlaut key passes",
         {{VK_RMENU, DOWN}, {VK_F1, TAP}, {VK_RMENU, UP}, {VK_OEM_7, TAP}, {VK_SPACE, TAP}}},
        {"AltGr+F1 switches it on again",
         {{VK_RMENU, DOWN}, {VK_F1, TAP}, {VK_RMENU, UP}, {VK_OEM_7, TAP}}},
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
