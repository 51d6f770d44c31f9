// vtdemo: the demonstration.
// The tray program runs as people run it, with its icon; at the end the demo opens its
// settings window from the keyboard, switches EasyTab there and starts the program a
// second time.
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

HWND SettingsWindow() {
    HWND w = FindWindowW(L"#32770", L"Vantor32 \u2013 Einstellungen");
    return w && IsWindowVisible(w) ? w : nullptr;
}

bool SettingsClosed() {
    HWND w = SettingsWindow();
    if (!w) return true;
    if (ReadyForKeys(w)) Tap(VK_ESCAPE);
    return WaitUntil([] { return SettingsWindow() == nullptr; }, 5000);
}

// The tray program: its icon's states, its settings window and a second start.
void ShowTray(Scene& scene) {
    std::printf("\nThe tray program's icon followed the master switch:");
    for (const auto& l : ReadLines(scene.hostLog))
        if (l.rfind("ICON ", 0) == 0)
            std::printf(" %s", l.compare(5, 3, "ein") == 0 ? "on" : "off");
    std::printf("\n\n");

    scene.Focus();
    KeyDown(VK_RMENU, true);
    Tap('M');
    KeyUp(VK_RMENU, true);
    bool open = WaitUntil([] { return SettingsWindow() != nullptr; }, 15000);
    std::printf("%-60s -> %s\n", "AltGr+M (macro ^*9) opens the settings window",
                open ? "settings window open" : "no window");
    if (open && ReadyForKeys(SettingsWindow())) {
        Chord(VK_MENU, 'T');  // "Easy&Tab" on the page "Allgemein"
        BYTE easyTab = 0xEE;
        WaitUntil(
            [&] {
                return RegGetByte(L"Software\\Quellmark\\Vantor32\\Settings", L"EasyTab",
                                  &easyTab) &&
                       easyTab == 0;
            },
            10000);
        std::printf("%-60s -> registry \"EasyTab\" = %d\n", "Alt+T in the window switches EasyTab",
                    easyTab);
        SettingsClosed();
        scene.Focus();
        std::wstring before = scene.Text();
        Tap('X');
        Tap(VK_ADD);
        Tap('Y');
        scene.Settle();
        std::wstring now = scene.Text();
        std::printf("%-60s -> \"%s\"\n", "keypad + now types + in every program",
                    Utf8(now.substr(std::min(before.size(), now.size()))).c_str());
    }
    SettingsClosed();

    Process second = Start(HostExe());
    DWORD code = 1;
    bool ended = WaitExit(second, 20000, &code);
    bool shown = WaitUntil([] { return SettingsWindow() != nullptr; }, 10000);
    std::printf("%-60s -> %s, %s\n", "a second Vantor32.exe", ended ? "ended" : "still running",
                shown ? "the running one shows its settings window" : "no window");
    if (!ended) Kill(second);
    SettingsClosed();
}

int wmain() {
    Scene scene;
    scene.hostTray = true;
    if (!scene.Up()) {
        std::printf("demo: could not start viewer, host and target\n");
        return 1;
    }
    const std::vector<Step> steps = {
        {"plain letters pass unchanged",
         {{'H', TAP}, {'A', TAP}, {'L', TAP}, {'L', TAP}, {'O', TAP}, {VK_SPACE, TAP}}},
        {"an abbreviation: mfg and a space become its text",
         {{'M', TAP}, {'F', TAP}, {'G', TAP}, {VK_SPACE, TAP}, {kNoKey, SETTLE}}},
        {"a command abbreviation: heute and a space type the date",
         {{'H', TAP}, {'E', TAP}, {'U', TAP}, {'T', TAP}, {'E', TAP}, {VK_SPACE, TAP},
          {kNoKey, SETTLE}}},
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
    ShowTray(scene);

    std::printf("\nSound events posted to the tray program (event numbers):");
    for (const auto& l : ReadLines(scene.hostLog))
        if (l.rfind("464 ", 0) == 0) std::printf(" %s", l.substr(4).c_str());
    std::printf("\n\nThe library's log (viewer) for AltGr+E, up to the first injected key:\n");
    auto lines = ReadLines(scene.viewerLog);
    bool on = false;
    int shown = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        // The E of AltGr+E, not one typed in a word: its macro is looked up with AltGr.
        bool altGrE = false;
        for (std::size_t k = i + 1; k < lines.size() && k <= i + 4; ++k)
            altGrE = altGrE || lines[k].find("vkStr=00080045") != std::string::npos;
        if (l.find("VK:0045") != std::string::npos && l.rfind("PROCESS:", 0) == 0 &&
            l.find("\tDN\t") != std::string::npos && altGrE && !on)
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
