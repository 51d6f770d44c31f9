// Typing the way people do, through the hook as the thread reads its keys (the fake's
// DeliverKey): the lock options under both orders of key state and hook, text typed
// with Caps Lock on, characters the layout has no key for. Asserts what a person sees:
// the text that arrives and the locks' final state.
#include <doctest/doctest.h>

#include "FakePlatform.h"
#include "common/Vantor.Utils.h"
#include "hook/Vt32Util.h"
#include "hook/VtSend.h"

using namespace vt;

namespace {

const std::u16string kSettings = u"Software\\Quellmark\\Vantor32\\Settings";
const std::u16string kAscii = u"Software\\Quellmark\\Vantor32\\Macros\\Umlaut\\Ascii";
const std::u16string kHtml = u"Software\\Quellmark\\Vantor32\\Macros\\Umlaut\\HTML";
constexpr std::uint16_t kF2 = 0x71;

struct TypingFixture : FakeScope {
    HWnd host = 0;

    TypingFixture() {
        host = fake.AddWindow(kHostWindowName, kHostWindowName);
        LibraryLoad();
        HookHandle = 0;
        PlaybackActive = false;
        PlaybackCounter = 0;
        Option(OPT_MAIN, 1);
        Option(OPT_BEEP, 1);
    }
    ~TypingFixture() { LibraryUnload(); }

    void Option(AOption option, std::uint8_t value) {
        fake.SetRegBinary(HKEY_CURRENT_USER, kSettings, OptionValueNames[option], {value});
    }
    LResult Key(std::uint16_t vk, bool down, bool extended = false) {
        KeyInput in;
        in.wVk = vk;
        in.wScan = static_cast<std::uint16_t>(fake.MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
        in.dwFlags = (down ? 0 : KEYEVENTF_KEYUP) | (extended ? KEYEVENTF_EXTENDEDKEY : 0);
        return fake.DeliverKey(
            in, [](int code, WParam w, LParam l) { return KeyboardProc(code, w, l); });
    }
    void Tap(std::uint16_t vk, bool extended = false) {
        Key(vk, true, extended);
        Key(vk, false, extended);
    }
    void ShiftTap(std::uint16_t vk) {
        Key(VK_SHIFT, true);
        Tap(vk);
        Key(VK_SHIFT, false);
    }
    bool LockOn(int vk) { return (fake.GetKeyState(vk) & 1) != 0; }
    int SoundEvents() const {
        int n = 0;
        for (const auto& m : fake.posted) n += m.msg == WM_HOST_SOUNDEVENT;
        return n;
    }
    int Injected(std::uint32_t flag) const {
        int n = 0;
        for (const auto& e : fake.injected) n += (e.input.dwFlags & flag) != 0;
        return n;
    }
};

}  // namespace

TEST_SUITE("typing: lock options") {
    // A press toggles its lock swallowed or not; the hook may see the key state before
    // the press (Wine) or after it. Holding the key adds auto-repeats.
    TEST_CASE_FIXTURE(TypingFixture, "Caps Lock cannot be switched on, whichever way") {
        Option(OPT_LOCK_CAPS, 1);
        for (bool holds : {false, true}) {
            CAPTURE(holds);
            fake.snapshotHoldsPress = holds;
            fake.typed.clear();
            Tap(VK_CAPITAL);
            CHECK_FALSE(LockOn(VK_CAPITAL));
            Tap('A');
            Tap(VK_CAPITAL);
            CHECK_FALSE(LockOn(VK_CAPITAL));
            Key(VK_CAPITAL, true);
            Key(VK_CAPITAL, true);  // auto-repeat
            Key(VK_CAPITAL, true);
            Key(VK_CAPITAL, false);
            CHECK_FALSE(LockOn(VK_CAPITAL));
            Tap('B');
            CHECK(fake.typed == u"ab");
            // Caps Lock on from before the option: a press may switch it off, and holding
            // the key on adds repeats that toggle nothing
            fake.SetToggle(VK_CAPITAL, true);
            Key(VK_CAPITAL, true);
            Key(VK_CAPITAL, true);
            Key(VK_CAPITAL, false);
            CHECK_FALSE(LockOn(VK_CAPITAL));
        }
        CHECK(SoundEvents() == 0);
    }

    TEST_CASE_FIXTURE(TypingFixture, "Num Lock cannot be switched off, whichever way") {
        Option(OPT_LOCK_NUM, 1);
        for (bool holds : {false, true}) {
            CAPTURE(holds);
            fake.snapshotHoldsPress = holds;
            fake.SetToggle(VK_NUMLOCK, false);
            Tap(VK_NUMLOCK, true);  // the one press a lock lets through: on
            CHECK(LockOn(VK_NUMLOCK));
            Tap(VK_NUMLOCK, true);
            CHECK(LockOn(VK_NUMLOCK));
            Key(VK_NUMLOCK, true, true);
            Key(VK_NUMLOCK, true, true);
            Key(VK_NUMLOCK, false, true);
            CHECK(LockOn(VK_NUMLOCK));
        }
        CHECK(SoundEvents() == 0);
    }

    TEST_CASE_FIXTURE(TypingFixture, "without the locks the lock keys switch and sound") {
        Tap(VK_CAPITAL);
        Tap(VK_NUMLOCK, true);
        CHECK(LockOn(VK_CAPITAL));
        CHECK(LockOn(VK_NUMLOCK));
        CHECK(SoundEvents() == 4);
    }
}

TEST_SUITE("typing: Caps Lock on") {
    TEST_CASE_FIXTURE(TypingFixture, "a macro arrives as stored, and Caps Lock stays on") {
        const std::u16string text = u"Mit Gruss, Anna \u00E4\u00D6\u00DF @ 5!";
        fake.SetRegString(HKEY_CURRENT_USER, kMacroTableAltGr, u"00000071", text);
        for (bool caps : {false, true}) {
            CAPTURE(caps);
            fake.SetToggle(VK_CAPITAL, caps);
            fake.typed.clear();
            Tap(kF2);
            CHECK(fake.typed == text);
            CHECK(LockOn(VK_CAPITAL) == caps);
        }
    }

    TEST_CASE_FIXTURE(TypingFixture, "the umlaut table is looked up for what the key would type") {
        Option(OPT_UMLAUT, 1);
        fake.SetRegString(HKEY_CURRENT_USER, kAscii, u"000000DE", u"ae");
        fake.SetRegString(HKEY_CURRENT_USER, kAscii, u"000100DE", u"Ae");
        fake.SetRegString(HKEY_CURRENT_USER, kAscii, u"000000DB", u"ss");
        fake.SetRegString(HKEY_CURRENT_USER, kHtml, u"000000DE", u"&auml;");
        fake.SetRegString(HKEY_CURRENT_USER, kHtml, u"000100DE", u"&Auml;");
        fake.SetToggle(VK_CAPITAL, true);
        Tap(0xDE);       // Caps Lock + ä is Ä
        ShiftTap(0xDE);  // Shift with Caps Lock types ä
        Tap(0xDB);       // Caps Lock leaves the sharp s alone
        CHECK(fake.typed == u"Aeaess");
        Option(OPT_UMLAUT_MODE, UMLAUT_HTML);
        fake.typed.clear();
        Tap(0xDE);
        ShiftTap(0xDE);
        CHECK(fake.typed == u"&Auml;&auml;");
        fake.SetToggle(VK_CAPITAL, false);
        fake.typed.clear();
        Tap(0xDE);
        CHECK(fake.typed == u"&auml;");
    }
}

TEST_SUITE("typing: characters without a key") {
    TEST_CASE_FIXTURE(TypingFixture, "above U+00FF they go as Unicode events, up to it by Alt") {
        fake.UseUsLayout();  // no key for the euro sign either
        fake.SetRegString(HKEY_CURRENT_USER, kMacroTableAltGr, u"00000071",
                          u"\u201EGruss\u201C \u2013 5 \u20AC$FF$FF$048222\u00E9");
        fake.SetToggle(VK_CAPITAL, true);
        Tap(kF2);
        // é goes by Alt + keypad 0 2 3 3, which the fake (like Wine) does not compose
        CHECK(fake.typed == u"\u201EGruss\u201C \u2013 5 \u20AC\u201E");
        CHECK(Injected(KEYEVENTF_UNICODE) == 10);
        const std::vector<std::uint16_t> alt = {VK_MENU, 0x60, 0x60, 0x62, 0x62,
                                                0x63,    0x63, 0x63, 0x63, VK_MENU};
        std::vector<std::uint16_t> tail;
        for (std::size_t i = fake.injected.size() - 11; i + 1 < fake.injected.size(); ++i)
            tail.push_back(fake.injected[i].input.wVk);
        CHECK(tail == alt);
    }

    TEST_CASE_FIXTURE(TypingFixture, "with the user's hexadecimal keypad entry on, that is used") {
        fake.SetRegString(HKEY_CURRENT_USER, u"Control Panel\\Input Method", u"EnableHexNumpad",
                          u"1");
        fake.SetRegString(HKEY_CURRENT_USER, kMacroTableAltGr, u"00000071", u"\u201E");
        Tap(kF2);
        CHECK(Injected(KEYEVENTF_UNICODE) == 0);
        std::vector<std::uint16_t> keys;
        for (const auto& e : fake.injected)
            if (!(e.input.dwFlags & KEYEVENTF_KEYUP)) keys.push_back(e.input.wVk);
        // marker, Alt, keypad +, keypad 0, 2 0 1 E
        CHECK(keys ==
              std::vector<std::uint16_t>{0xFF, VK_MENU, VK_ADD, 0x60, 0x62, 0x60, 0x61, 'E'});
    }
}
