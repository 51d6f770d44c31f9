// Typing the way people type, under Wine: the next keys and the release of a modifier
// queued before the program reads the trigger, a key that reports the marker's code, a
// failing step after the key was acted on. What is checked is what the person sees: the
// typed text and the modifiers the program's thread holds afterwards.
#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include <doctest/doctest.h>

#include "E2E.h"

using namespace e2e;

namespace {

const std::wstring kAltGr = kVantorMacros + L"\\AltGr";

void Configure() {
    ConfigureSwitches({{L"Vantor eingeschaltet", 1}});
    RegSetText(kAltGr, L"00080045", L"xyz");    // AltGr+E
    RegSetText(kAltGr, L"00010041", L"Hallo");  // Shift+A
}

bool WaitModifiers(Scene& scene, BYTE expected) {
    return WaitUntil([&] { return scene.TargetModifiers() == expected; }, 5000);
}

}  // namespace

TEST_CASE("keys queued behind a trigger come after its text; no modifier stays down") {
    Configure();
    Scene scene;
    REQUIRE(scene.Up());

    // AltGr+E, AltGr let go and Q W typed, all before the program reads the E.
    REQUIRE(scene.Pause());
    KeyDown(VK_RMENU, true);
    Tap('E');
    KeyUp(VK_RMENU, true);
    Tap('Q');
    Tap('W');
    scene.Resume();
    CHECK(scene.WaitText(L"xyzqw"));
    CHECK(WaitModifiers(scene, 0));
    Tap('Q');  // a plain Q, not Alt+Q
    CHECK(scene.WaitText(L"xyzqwq"));

    // Shift+A let go at once: Shift is not pressed again after the text.
    REQUIRE(scene.Pause());
    KeyDown(VK_SHIFT);
    Tap('A');
    KeyUp(VK_SHIFT);
    Tap('B');
    scene.Resume();
    CHECK(scene.WaitText(L"xyzqwqHallob"));
    CHECK(WaitModifiers(scene, 0));

    // AltGr held over two presses: it is back after each text and types both.
    scene.ClearText();
    KeyDown(VK_RMENU, true);
    Tap('E');
    CHECK(scene.WaitText(L"xyz"));
    CHECK(WaitModifiers(scene, 0x0C));
    Tap('E');
    CHECK(scene.WaitText(L"xyzxyz"));
    KeyUp(VK_RMENU, true);
    CHECK(WaitModifiers(scene, 0));
}

TEST_CASE("a lone marker press from a keyboard key stops conversion only for a moment") {
    Configure();
    Scene scene;
    REQUIRE(scene.Up());
    KeyDown(0xFF);  // a key that reports the marker's code, never released
    CHECK(scene.WaitViewerContains("PLAYBACK("));
    const DWORD pressed = GetTickCount();
    // The playback times out after a second without its events.
    WaitUntil([&] { return GetTickCount() - pressed > 1200; }, 3000);
    KeyDown(VK_RMENU, true);
    Tap('E');
    KeyUp(VK_RMENU, true);
    CHECK(scene.WaitText(L"xyz"));
    CHECK(WaitModifiers(scene, 0));
    KeyUp(0xFF);
}

TEST_CASE("a switch of the wrong type read after the master switch was toggled: swallowed") {
    Configure();
    // Stored with a type the option store refuses: read after the toggle, it counts as
    // off (no sound) and the hot-key is still the toggle's.
    RegSetDword(kVantorSettings, L"Piepsen bei Umschaltungen", 1);
    Scene scene;
    REQUIRE(scene.Up());
    KeyDown(VK_RMENU, true);
    Tap(VK_F1);
    KeyUp(VK_RMENU, true);
    Tap('Q');  // conversion is off now: Q passes, and comes after the F1
    CHECK(scene.WaitText(L"q"));
    BYTE on = 1;
    CHECK(RegGetByte(kVantorSettings, L"Vantor eingeschaltet", &on));
    CHECK(on == 0);
    CHECK(scene.TargetPresses(VK_F1) == 0);
    CHECK(scene.TargetPresses('Q') == 1);
    CHECK(scene.WaitViewerContains("Piepsen bei Umschaltungen': gilt als aus"));
}
