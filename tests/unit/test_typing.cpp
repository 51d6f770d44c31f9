// Typing the way people do, through the hook as the thread reads its keys (the fake's
// DeliverKey): the lock options under both orders of key state and hook, and text typed
// with Caps Lock on. Asserts what a person sees: the text that arrives and the locks'
// final state.
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
        ResetPlayback();
        PlaybackCounter() = 0;
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

TEST_SUITE("typing: text as stored") {
    // The German layout's ^, ´ and ` are dead keys: typed by their key they would take
    // the next character ("x^e" as "xê") or, at the end of a text, the user's next key.
    TEST_CASE_FIXTURE(TypingFixture, "accents of dead keys stand alone, also at a text's end") {
        for (const std::u16string text : {u"x^e", u"2^10", u"[^a-z]", u"\u00B4a`o"}) {
            CAPTURE(ToUtf8(text));
            fake.SetRegString(HKEY_CURRENT_USER, kMacroTableAltGr, u"00000071", text);
            fake.typed.clear();
            Tap(kF2);
            CHECK(fake.typed == text);
        }
        fake.SetRegString(HKEY_CURRENT_USER, kMacroTableAltGr, u"00000071", u"a^");
        fake.typed.clear();
        Tap(kF2);
        Tap('E');  // the user's own dead key still works afterwards: ^ then e
        Tap(0xDC);
        Tap('E');
        CHECK(fake.typed == u"a^e\u00EA");
    }

    TEST_CASE_FIXTURE(TypingFixture, "a line break is one Enter, without Ctrl, for CR LF and for LF") {
        for (const std::u16string text : {u"a$0D$0Ab", u"a$0Ab"}) {
            CAPTURE(ToUtf8(text));
            fake.SetRegString(HKEY_CURRENT_USER, kMacroTableAltGr, u"00000071", text);
            fake.injected.clear();
            Tap(kF2);
            int enters = 0, ctrls = 0;
            for (const auto& e : fake.injected) {
                if (e.input.dwFlags & KEYEVENTF_KEYUP) continue;
                enters += e.input.wVk == VK_RETURN;
                ctrls += e.input.wVk == VK_CONTROL || e.input.wVk == VK_LCONTROL;
            }
            CHECK(enters == 1);
            CHECK(ctrls == 0);
        }
    }

    // With "Caps Lock off with Shift" the Shift that swaps a letter back under Caps Lock
    // would switch the user's Caps Lock off for the rest of the text and after it.
    TEST_CASE_FIXTURE(TypingFixture, "Caps Lock with Shift lock: the text as stored, Caps Lock stays on") {
        fake.SetRegDword(HKEY_CURRENT_USER, u"Keyboard Layout", u"Attributes", 0x00010000);
        const std::u16string text = u"aBc! \u00E4\u00D6";
        fake.SetRegString(HKEY_CURRENT_USER, kMacroTableAltGr, u"00000071", text);
        fake.SetToggle(VK_CAPITAL, true);
        Tap(kF2);
        CHECK(fake.typed == text);
        CHECK(LockOn(VK_CAPITAL));
        Tap('Q');
        CHECK(fake.typed == text + u"Q");
    }
}
