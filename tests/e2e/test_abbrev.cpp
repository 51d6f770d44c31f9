// Abbreviations under Wine, typed with real keys into a target program with the real tray
// program: the text in place of the word, the case of the typing, words that stay, the
// date command, keys queued behind the end character, and the three ways it is off.
#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include <doctest/doctest.h>

#include <cstdio>

#include "E2E.h"

using namespace e2e;

namespace {

const std::wstring kAbbrevs = kVantorMacros + L"\\K\u00FCrzel";
const std::wstring kGreeting = L"Mit freundlichen Gruessen";

void Configure() {
    ConfigureSwitches({{L"Vantor eingeschaltet", 1}, {L"K\u00FCrzel", 1}});
    RegSetText(kAbbrevs, L"mfg", kGreeting);
    RegSetText(kAbbrevs, L"heute", L"^*49\"dd.mm.yyyy\"*40");
}

// Types like a person who looks at the screen: each end character's text has arrived
// before the next word is typed.
void Type(Scene& scene, const std::wstring& text) {
    for (wchar_t c : text) {
        TypeKeys(std::wstring(1, c));
        if (c == L' ' || c == L'.' || c == L'\r') scene.Settle();
    }
}

std::wstring Today() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    wchar_t buf[16];
    swprintf(buf, 16, L"%02u.%02u.%04u", t.wDay, t.wMonth, t.wYear);
    return buf;
}

}  // namespace

TEST_CASE("an abbreviation and an end character become the text, in the case typed") {
    Configure();
    Scene scene;
    REQUIRE(scene.Up());
    Type(scene, L"mfg ");
    CHECK(scene.WaitText(kGreeting + L" "));
    Type(scene, L"Mfg.");
    CHECK(scene.WaitText(kGreeting + L" " + kGreeting + L"."));
    scene.ClearText();
    Type(scene, L"MFG ");
    CHECK(scene.WaitText(L"MIT FREUNDLICHEN GRUESSEN "));
    scene.ClearText();
    // Part of a longer word: stays as typed.
    Type(scene, L"xmfg ");
    CHECK(scene.WaitText(L"xmfg "));
    // Edited into the word with Backspace: it counts.
    scene.ClearText();
    Type(scene, L"mfx");
    Tap(VK_BACK);
    Type(scene, L"g ");
    CHECK(scene.WaitText(kGreeting + L" "));
    // The caret went left and right: the word starts again, "g" is no abbreviation.
    scene.ClearText();
    Type(scene, L"mf");
    Tap(VK_LEFT, true);
    Tap(VK_RIGHT, true);
    Type(scene, L"g ");
    scene.Settle();
    CHECK(scene.WaitText(L"mfg "));
    // A command abbreviation: today's date.
    scene.ClearText();
    Type(scene, L"heute ");
    CHECK(scene.WaitText(Today() + L" "));
    CHECK(scene.WaitViewerContains("K\xC3\xBCrzel: heute"));
}

TEST_CASE("keys typed at once after the end character come after the text, in order") {
    Configure();
    Scene scene;
    REQUIRE(scene.Up());
    REQUIRE(scene.Pause());
    TypeKeys(L"mfg hallo ");
    scene.Resume();
    CHECK(scene.WaitText(kGreeting + L" hallo "));
    scene.Settle();
    CHECK(Utf8(scene.Text()) == Utf8(kGreeting + L" hallo "));
    // The keys held back behind the text are converted as typed: the second word counts.
    // (The text is emptied behind the library's back; the space before it ended the word.)
    scene.ClearText();
    REQUIRE(scene.Pause());
    TypeKeys(L"mfg und mfg.");
    scene.Resume();
    CHECK(scene.WaitText(kGreeting + L" und " + kGreeting + L"."));
    scene.Settle();
    CHECK(Utf8(scene.Text()) == Utf8(kGreeting + L" und " + kGreeting + L"."));
}

TEST_CASE("off: the switch Kürzel, the master switch, a program left alone") {
    Configure();
    RegSetByte(kVantorSettings, L"K\u00FCrzel", 0);
    {
        Scene scene;
        REQUIRE(scene.Up());
        Type(scene, L"mfg ");
        scene.Settle();
        CHECK(scene.WaitText(L"mfg "));
        // Switched on while the program runs: the next word counts.
        RegSetByte(kVantorSettings, L"K\u00FCrzel", 1);
        Type(scene, L"mfg ");
        CHECK(scene.WaitText(L"mfg " + kGreeting + L" "));
        RegSetByte(kVantorSettings, L"Vantor eingeschaltet", 0);
        Type(scene, L"mfg ");
        scene.Settle();
        CHECK(scene.WaitText(L"mfg " + kGreeting + L" mfg "));
    }
    RegSetByte(kVantorSettings, L"Vantor eingeschaltet", 1);
    RegSetText(kVantorSettings + L"\\Ausnahmen", L"target.exe", L"");
    Scene scene;
    REQUIRE(scene.Up());
    Type(scene, L"mfg ");
    scene.Settle();
    CHECK(scene.WaitText(L"mfg "));
    CHECK(scene.WaitViewerContains("target.exe steht unter Ausnahmen"));
}
