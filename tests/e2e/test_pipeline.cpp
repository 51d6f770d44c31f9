// The features a user types with, under Wine: the real library in the real host, a viewer
// and a target window in other processes, each scenario from registry settings written here.
#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include <doctest/doctest.h>

#include "E2E.h"

using namespace e2e;

namespace {

const std::wstring kProduct = L"Software\\Quellmark\\Vantor32";
const std::wstring kSettings = kProduct + L"\\Settings";
const std::wstring kAltGr = kProduct + L"\\Macros\\AltGr";

void Configure(std::initializer_list<std::pair<const wchar_t*, BYTE>> switches) {
    RegDeleteTreeCU(kProduct);
    for (auto [name, value] : switches) RegSetByte(kSettings, name, value);
}

int HostCount(const Scene& scene, const std::string& line) {
    int n = 0;
    for (const auto& l : ReadLines(scene.hostLog))
        if (l == line) ++n;
    return n;
}

std::vector<std::string> SoundEvents(const Scene& scene) {
    std::vector<std::string> out;
    for (const auto& l : ReadLines(scene.hostLog))
        if (l.rfind("464 ", 0) == 0) out.push_back(l.substr(4));
    return out;
}

}  // namespace

TEST_CASE("with the master switch off everything passes; AltGr+F1 switches it on and off") {
    Configure(
        {{L"Vantor eingeschaltet", 0}, {L"EasyBackslash", 1}, {L"Piepsen bei Umschaltungen", 1}});
    Scene scene;
    REQUIRE(scene.Up());
    Tap(VK_OEM_2);
    CHECK(scene.WaitText(L"/"));  // the key's own character on the test layout

    KeyDown(VK_RMENU, true);
    Tap(VK_F1);
    KeyUp(VK_RMENU, true);
    Tap('X');
    CHECK(scene.WaitText(L"/x"));
    BYTE on = 0;
    CHECK(RegGetByte(kSettings, L"Vantor eingeschaltet", &on));
    CHECK(on == 1);
    Tap(VK_OEM_2);
    CHECK(scene.WaitText(L"/x\\"));

    KeyDown(VK_RMENU, true);
    Tap(VK_F1);
    KeyUp(VK_RMENU, true);
    Tap(VK_OEM_2);
    CHECK(scene.WaitText(L"/x\\/"));
    CHECK(RegGetByte(kSettings, L"Vantor eingeschaltet", &on));
    CHECK(on == 0);
    CHECK(WaitUntil([&] { return SoundEvents(scene).size() >= 2; }, 5000));
    CHECK(SoundEvents(scene) == std::vector<std::string>{"1", "2"});
}

TEST_CASE("a macro on AltGr+E types its text and the E never arrives; a Shift macro too") {
    Configure({{L"Vantor eingeschaltet", 1}});
    RegSetText(kAltGr, L"00080045", L"Hallo$FF$00$0DWelt");  // Enter in the middle
    RegSetText(kAltGr, L"00010071", L"shift+F2");
    Scene scene;
    REQUIRE(scene.Up());
    KeyDown(VK_RMENU, true);
    Tap('E');
    scene.Settle();  // a person holds AltGr until the text is there
    KeyUp(VK_RMENU, true);
    CHECK(scene.WaitText(L"Hallo\r\nWelt"));
    CHECK(scene.WaitViewerContains("FindMacro vkStr=00080045"));
    CHECK(scene.WaitViewerContains("PROCESSMACRO: <Hallo"));

    KeyDown(VK_SHIFT);
    Tap(VK_F2);
    scene.Settle();
    KeyUp(VK_SHIFT);
    CHECK(scene.WaitText(L"Hallo\r\nWeltshift+F2"));
}

TEST_CASE("EasyBackslash types a backslash, and # with AltGr") {
    Configure({{L"Vantor eingeschaltet", 1}, {L"EasyBackslash", 1}});
    Scene scene;
    REQUIRE(scene.Up());
    Tap(VK_OEM_2);
    CHECK(scene.WaitText(L"\\"));
    KeyDown(VK_RMENU, true);
    Tap(VK_OEM_2);
    scene.Settle();
    KeyUp(VK_RMENU, true);
    CHECK(scene.WaitText(L"\\#"));
    // With Shift the key goes to the macro lookup and then passes on unchanged.
    KeyDown(VK_SHIFT);
    Tap(VK_OEM_2);
    KeyUp(VK_SHIFT);
    CHECK(scene.WaitText(L"\\#?"));
}

TEST_CASE("EasyTab: keypad + types a tab in a multi-line edit, with Shift it passes") {
    Configure({{L"Vantor eingeschaltet", 1}, {L"EasyTab", 1}});
    Scene scene;
    REQUIRE(scene.Up());
    Tap('A');
    Tap(VK_ADD);
    scene.Settle();
    Tap('B');
    CHECK(scene.WaitText(L"a\tb"));
    CHECK(scene.WaitViewerContains("4.AddVK\tVK:0009"));
}

TEST_CASE("the keypad decimal key types the configured text") {
    Configure({{L"Vantor eingeschaltet", 1}, {L"NUM Punkt", 1}});
    RegSetText(kSettings, L"DecimalDot", L",");
    Scene scene;
    REQUIRE(scene.Up());
    Tap('1');
    Tap(VK_DECIMAL);
    scene.Settle();
    Tap('5');
    CHECK(scene.WaitText(L"1,5"));
}

TEST_CASE("umlaut conversion in ASCII and in HTML mode from the tables") {
    Configure({{L"Vantor eingeschaltet", 1}, {L"Umlautwandlung", 1}, {L"UmlautMode", 0}});
    RegSetText(kProduct + L"\\Macros\\Umlaut\\Ascii", L"000000DE", L"ae");
    RegSetText(kProduct + L"\\Macros\\Umlaut\\Ascii", L"000100DE", L"Ae");
    RegSetText(kProduct + L"\\Macros\\Umlaut\\HTML", L"000000DE", L"&auml;");
    Scene scene;
    REQUIRE(scene.Up());
    Tap(VK_OEM_7);
    scene.Settle();
    KeyDown(VK_SHIFT);
    Tap(VK_OEM_7);
    scene.Settle();
    KeyUp(VK_SHIFT);
    CHECK(scene.WaitText(L"aeAe"));
    RegSetByte(kSettings, L"UmlautMode", 1);  // read afresh at the next press
    Tap(VK_OEM_7);
    scene.Settle();
    CHECK(scene.WaitText(L"aeAe&auml;"));
}

TEST_CASE("lock keys raise their sound events, once per press, not on auto-repeat") {
    Configure({{L"Vantor eingeschaltet", 1}, {L"Piepsen bei Umschaltungen", 1}});
    Scene scene;
    REQUIRE(scene.Up());
    for (WORD vk : {VK_CAPITAL, VK_SCROLL, VK_NUMLOCK}) {
        KeyDown(vk, vk == VK_NUMLOCK);
        KeyDown(vk, vk == VK_NUMLOCK);  // auto-repeat: no second feedback
        KeyUp(vk, vk == VK_NUMLOCK);
    }
    Tap('Q');
    CHECK(WaitUntil([&] { return SoundEvents(scene).size() >= 6; }, 8000));
    auto events = SoundEvents(scene);
    REQUIRE(events.size() == 6);
    CHECK(events[0] == "3");
    CHECK(events[2] == "4");
    CHECK(events[4] == "5");
    for (int i : {1, 3, 5}) CHECK((events[i] == "1" || events[i] == "2"));
    CHECK(HostCount(scene, "464 3") == 1);
    // restore the lock states for the next tests
    Tap(VK_CAPITAL);
    Tap(VK_SCROLL);
    Tap(VK_NUMLOCK, true);
}

TEST_CASE("with the Num Lock lock a Num Lock press is swallowed and raises no feedback") {
    Configure({{L"Vantor eingeschaltet", 1},
               {L"NUM Umschaltung sperren", 1},
               {L"Piepsen bei Umschaltungen", 1}});
    Scene scene;
    REQUIRE(scene.Up());
    Tap(VK_NUMLOCK, true);
    Tap('Z');
    CHECK(scene.WaitText(L"z"));
    CHECK(scene.WaitViewerContains("PROCESS:\tVK:0090"));
    CHECK(SoundEvents(scene).empty());
}

namespace {

// The host traffic of every hook call: the modifier byte asked for once (46B) and
// reported twice (46C), in the host's log.
struct HostTraffic {
    int asked = 0, reported = 0;
};
HostTraffic Traffic(const Scene& scene) {
    HostTraffic t;
    for (const auto& l : ReadLines(scene.hostLog)) {
        if (l.rfind("46B ", 0) == 0) ++t.asked;
        if (l.rfind("46C ", 0) == 0) ++t.reported;
    }
    return t;
}

// Waits until every hook call since `before` has done its whole host traffic, for at
// least `calls` calls.
bool TrafficComplete(const Scene& scene, const HostTraffic& before, int calls) {
    return WaitUntil(
        [&] {
            const HostTraffic now = Traffic(scene);
            const int asked = now.asked - before.asked;
            return asked >= calls && now.reported - before.reported == 2 * asked;
        },
        10000);
}

}  // namespace

TEST_CASE("every switch stored with a wrong type: the keys pass, each hook call tells the host") {
    RegDeleteTreeCU(kProduct);
    for (const wchar_t* name :
         {L"Vantor eingeschaltet", L"NUM Punkt", L"EasyBackslash", L"EasyTab",
          L"NUM Umschaltung sperren", L"Piepsen bei Umschaltungen", L"Speaker benutzen",
          L"Umlautwandlung", L"CAPSLOCK sperren", L"UmlautMode", L"DecimalDot"})
        RegSetDword(kSettings, name, 1);
    RegSetText(kAltGr, L"00000041", L"never");
    Scene scene;
    REQUIRE(scene.Up());
    HostTraffic before = Traffic(scene);
    Tap('A');
    Tap('B');
    Tap(VK_OEM_2);
    CHECK(scene.WaitText(L"ab/"));
    CHECK(TrafficComplete(scene, before, 6));

    // The hot-key writes the master switch over; the rest still count as off.
    before = Traffic(scene);
    KeyDown(VK_RMENU, true);
    Tap(VK_F1);
    KeyUp(VK_RMENU, true);
    BYTE on = 0;
    CHECK(WaitUntil([&] { return RegGetByte(kSettings, L"Vantor eingeschaltet", &on); }, 5000));
    CHECK(on == 1);
    Tap('C');
    Tap(VK_OEM_2);
    Tap(VK_ADD);
    CHECK(scene.WaitText(L"ab/c/+"));
    CHECK(TrafficComplete(scene, before, 10));
    // The macro for A is found now that the master switch is on.
    Tap('A');
    CHECK(scene.WaitText(L"ab/c/+never"));
}

TEST_CASE("one switch of the wrong type while EasyBackslash is on: the key still types \\") {
    Configure({{L"Vantor eingeschaltet", 1}, {L"EasyBackslash", 1}});
    RegSetDword(kSettings, L"Umlautwandlung", 1);
    Scene scene;
    REQUIRE(scene.Up());
    const HostTraffic before = Traffic(scene);
    Tap(VK_OEM_2);
    scene.Settle();
    Tap('X');
    CHECK(scene.WaitText(L"\\x"));
    CHECK(TrafficComplete(scene, before, 4));
}
