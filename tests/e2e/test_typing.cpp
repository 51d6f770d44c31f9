// Typing as a person does under Wine, with the real library in the real host and a target
// program: the lock options, text typed with Caps Lock on, characters the layout has no
// key for, and a configuration deleted and written again while the programs run. Each
// case asserts the target's text and the target thread's own lock state.
#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include <doctest/doctest.h>

#include "E2E.h"

using namespace e2e;

namespace {

const std::wstring kAltGr = kVantorMacros + L"\\AltGr";

// Lines of the viewer's log that hold every part.
int ViewerLines(const Scene& scene, std::initializer_list<const char*> parts) {
    int n = 0;
    for (const auto& line : ReadLines(scene.viewerLog)) {
        bool all = true;
        for (const char* p : parts) all = all && line.find(p) != std::string::npos;
        n += all;
    }
    return n;
}

// Ends of injected sequences the target has read (the marker's release).
int Playbacks(const Scene& scene) {
    return ViewerLines(scene, {"PROCESS:\tVK:00FF", "\tUP\t"});
}

// Types the text on the keyboard's letter keys with F2, which types the macro, between.
void TypeMacro(Scene& scene) {
    Tap(VK_F2);
    scene.Settle();
}

}  // namespace

TEST_CASE("the locks hold: Caps Lock stays off and Num Lock on, pressed or held") {
    ConfigureSwitches({{L"Vantor eingeschaltet", 1}});
    Scene scene;
    REQUIRE(scene.Up());
    // Toggles are desktop-wide under Wine: set them in the target before the locks go on.
    REQUIRE(scene.SetTargetLock(VK_CAPITAL, false));
    REQUIRE(scene.SetTargetLock(VK_NUMLOCK, true));
    RegSetByte(kVantorSettings, L"CAPSLOCK sperren", 1);  // read at the next press
    RegSetByte(kVantorSettings, L"NUM Umschaltung sperren", 1);

    // A lock press that would switch its lock is put back by one injected sequence. Keys
    // that arrive while such a sequence is still coming belong to it and pass unconverted,
    // so each press waits for it, as a keyboard's auto-repeat delay would.
    int playbacks = Playbacks(scene);
    auto corrected = [&](WORD vk, bool down) {
        down ? KeyDown(vk, vk == VK_NUMLOCK) : Tap(vk, vk == VK_NUMLOCK);
        return WaitUntil([&] { return Playbacks(scene) > playbacks; }, 10000) &&
               (playbacks = Playbacks(scene)) > 0;
    };
    std::wstring expected;
    for (int round = 1; round <= 2; ++round) {
        CAPTURE(round);
        CHECK(corrected(VK_CAPITAL, false));
        CHECK(corrected(VK_NUMLOCK, false));
        CHECK_FALSE(scene.TargetLockOn(VK_CAPITAL));
        CHECK(scene.TargetLockOn(VK_NUMLOCK));
        Tap('A');
        expected += L"a";
        CHECK(scene.WaitText(expected));
    }
    // held: the repeat comes after the correction released the key, so it switches too
    CHECK(corrected(VK_CAPITAL, true));
    CHECK(corrected(VK_CAPITAL, true));
    KeyUp(VK_CAPITAL);
    Tap('B');
    expected += L"b";
    CHECK(scene.WaitText(expected));
    CHECK_FALSE(scene.TargetLockOn(VK_CAPITAL));
    CHECK(scene.TargetLockOn(VK_NUMLOCK));

    // without the locks the keys switch again
    RegSetByte(kVantorSettings, L"CAPSLOCK sperren", 0);
    RegSetByte(kVantorSettings, L"NUM Umschaltung sperren", 0);
    Tap(VK_CAPITAL);
    Tap('C');
    expected += L"C";
    CHECK(scene.WaitText(expected));
    CHECK(scene.SetTargetLock(VK_CAPITAL, false));
}

TEST_CASE("with Caps Lock on a macro and an HTML umlaut arrive as stored") {
    ConfigureSwitches({{L"Vantor eingeschaltet", 1}, {L"Umlautwandlung", 1}, {L"UmlautMode", 1}});
    RegSetText(kAltGr, L"00000071", L"Mit Gruss, Anna! 5");
    RegSetText(kVantorMacros + L"\\Umlaut\\HTML", L"000000DE", L"&auml;");
    Scene scene;
    REQUIRE(scene.Up());
    REQUIRE(scene.SetTargetLock(VK_CAPITAL, true));
    TypeMacro(scene);
    CHECK(scene.WaitText(L"Mit Gruss, Anna! 5"));
    Tap(VK_OEM_7);  // on the test layout the quote key, which Caps Lock leaves alone
    scene.Settle();
    CHECK(scene.WaitText(L"Mit Gruss, Anna! 5&auml;"));
    Tap('X');  // the user's own typing still follows Caps Lock
    CHECK(scene.WaitText(L"Mit Gruss, Anna! 5&auml;X"));
    CHECK(scene.TargetLockOn(VK_CAPITAL));
    CHECK(scene.SetTargetLock(VK_CAPITAL, false));
}

TEST_CASE("characters without a key arrive, the raw form's too; the hot-key acts once") {
    ConfigureSwitches({{L"Vantor eingeschaltet", 1}, {L"EasyBackslash", 1}});
    // German quotes, a dash and the euro sign: no key of the test layout types them
    RegSetText(kAltGr, L"00000071", L"\u201EGruss\u201C \u2013 5 \u20AC$FF$FF$048364");
    Scene scene;
    REQUIRE(scene.Up());
    TypeMacro(scene);
    CHECK(scene.WaitText(L"\u201EGruss\u201C \u2013 5 \u20AC\u20AC"));
    CHECK(scene.WaitViewerContains("4.AddChar\tU+201E\tDN"));

    // right Alt+F1 held into one auto-repeat switches the system off, and only once
    KeyDown(VK_RMENU, true);
    KeyDown(VK_F1);
    KeyDown(VK_F1);
    KeyUp(VK_F1);
    KeyUp(VK_RMENU, true);
    Tap(VK_OEM_2);
    CHECK(scene.WaitText(L"\u201EGruss\u201C \u2013 5 \u20AC\u20AC/"));
    BYTE on = 1;
    CHECK(RegGetByte(kVantorSettings, L"Vantor eingeschaltet", &on));
    CHECK(on == 0);
}

TEST_CASE("a configuration deleted and written again counts at the next key press") {
    ConfigureSwitches({{L"Vantor eingeschaltet", 1}});
    Scene scene;
    REQUIRE(scene.Up());
    Tap(VK_OEM_2);
    CHECK(scene.WaitText(L"/"));  // the library has loaded in the target, EasyBackslash off
    // an uninstall and a new install while the programs run
    RegDeleteTreeCU(kVantorKey);
    Tap(VK_OEM_2);
    CHECK(scene.WaitText(L"//"));
    ConfigureSwitches({{L"Vantor eingeschaltet", 1}, {L"EasyBackslash", 1}});
    Tap(VK_OEM_2);
    scene.Settle();
    CHECK(scene.WaitText(L"//\\"));
}
