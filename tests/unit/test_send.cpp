// The key sender: what SendText injects for each form of the macro text language, the
// raw character entry, the modifier order, the counter and the lines it logs.
#include <doctest/doctest.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "FakePlatform.h"
#include "common/Vantor.Common.h"
#include "hook/VtSend.h"

using namespace vt;

namespace {

struct SendFixture : FakeScope {
    SendFixture() {
        PlatformIsNT = true;
        ModifierState = 0;
        LockState = 0;
        HostWindow = 0;
        PlaybackCounter() = 0;
    }
    ~SendFixture() {
        PlatformIsNT = false;
        ModifierState = 0;
        PlaybackCounter() = 0;
    }

    // Each injected event as "vk/scan dn|up", " x" for the extended flag.
    std::string Keys() const {
        std::string out;
        for (const auto& e : fake.injected) {
            char buf[48];
            // The marker's scan code and extended flag carry its sequence's tag.
            const bool marker = e.input.wVk == 0xFF;
            std::snprintf(buf, sizeof buf, "%X/%X %s%s", e.input.wVk, marker ? 0 : e.input.wScan,
                          (e.input.dwFlags & KEYEVENTF_KEYUP) ? "up" : "dn",
                          !marker && (e.input.dwFlags & KEYEVENTF_EXTENDEDKEY) ? " x" : "");
            if (!out.empty()) out += ", ";
            out += buf;
        }
        return out;
    }
    bool Logged(const std::u16string& line) const {
        return std::find(fake.debugOutput.begin(), fake.debugOutput.end(), line) !=
               fake.debugOutput.end();
    }
    int LinesStartingWith(const std::u16string& prefix) const {
        return static_cast<int>(
            std::count_if(fake.debugOutput.begin(), fake.debugOutput.end(),
                          [&](const std::u16string& l) { return l.rfind(prefix, 0) == 0; }));
    }
};

const std::u16string kEsc(1, EscapeChar);

// The keys between the marker's press and release.
std::string Framed(const std::string& keys) {
    return keys.empty() ? "FF/0 dn, FF/0 up" : "FF/0 dn, " + keys + ", FF/0 up";
}

}  // namespace

TEST_SUITE("SendText") {
    TEST_CASE_FIXTURE(SendFixture, "an empty text injects only the marker without modifiers") {
        CHECK(SendText(u""));
        CHECK(Keys() == "FF/0 dn, FF/0 up");
        CHECK(PlaybackCounter() == 2);
        CHECK(fake.injected[0].input.dwExtraInfo == fake.tickCount);
    }

    TEST_CASE_FIXTURE(SendFixture, "an empty text lifts and restores every held modifier") {
        ModifierState = MOD_ALTGR | MOD_CTRL | MOD_ALT | MOD_SHIFT | MOD_LWIN | MOD_RWIN;
        for (int vk : {VK_RMENU, VK_LCONTROL, VK_LSHIFT, VK_LWIN, VK_RWIN}) fake.HoldKey(vk);
        SendText(u"");
        // The Windows keys put back, a masking key keeps their release from opening the
        // Start menu (right Alt as AltGr opens nothing).
        CHECK(Keys() ==
              "FF/0 dn, 12/38 up x, 10/2A up, 5C/5C up x, 5B/5B up x, "
              "12/38 dn x, 10/2A dn, 5C/5C dn x, 5B/5B dn x, E8/0 dn, E8/0 up, FF/0 up");
        // twelve events plus one for each right Alt event
        CHECK(PlaybackCounter() == 14);
    }

    TEST_CASE_FIXTURE(SendFixture, "a letter typed under AltGr lifts right Alt around it") {
        ModifierState = 0x0E;
        fake.HoldKey(VK_RMENU);
        SendText(u"a");
        CHECK(Keys() == "FF/0 dn, 12/38 up x, 41/1E dn, 41/1E up, 12/38 dn x, FF/0 up");
        CHECK(PlaybackCounter() == 8);
        for (const auto& e : fake.injected) {
            CHECK_FALSE(e.viaKeybdEvent);
            CHECK(e.input.time == 0);
        }
        CHECK(Logged(u"vk=\"a\"(97)=0041"));
        CHECK(Logged(u"4.VK=0041 winToggle:0"));
        CHECK(Logged(u"2.prevTgl\t Ct A  Ag"));
        CHECK(Logged(u"2.GlobalTgl\t Ct A  Ag"));
        CHECK(Logged(u"4.AddVK\tVK:0012\t[MENU]\tUP (X)\tsc=38\t00000000"));
        CHECK(LinesStartingWith(u"4.AddVK\tVK:00FF\t[[FF]]\tDN") == 1);
    }

    TEST_CASE_FIXTURE(SendFixture, "a capital letter is typed with Shift held around its key") {
        SendText(u"A");
        CHECK(Keys() == Framed("10/2A dn, 41/1E dn, 41/1E up, 10/2A up"));
        CHECK(Logged(u"vk=\"A\"(65)=0141"));
        CHECK(Logged(u"4.VK=0141 winToggle:1"));
        // the key sender's line keeps the modifier bits of the code, also for its name
        CHECK(Logged(u"4.AddVK\tVK:0141\t[[141]]\tDN\tsc=1E\t00000000"));
    }

    TEST_CASE_FIXTURE(SendFixture, "an AltGr character presses Ctrl and Alt in that order") {
        SendText(u"@");  // German layout: Ctrl+Alt+Q
        CHECK(Keys() == Framed("11/1D dn, 12/38 dn, 51/10 dn, 51/10 up, 11/1D up, 12/38 up"));
    }

    TEST_CASE_FIXTURE(SendFixture, "a character without a key goes through Alt and the keypad") {
        SendText(u"\u00E9");
        CHECK(Keys() == Framed("12/38 dn, 60/52 dn, 60/52 up, 62/50 dn, 62/50 up, "
                               "63/51 dn, 63/51 up, 63/51 dn, 63/51 up, 12/38 up"));
        CHECK(Logged(u"vk=\"\u00E9\"(233)=FFFFFFFF"));
        CHECK(Logged(u"Raw=E9 233"));
    }

    TEST_CASE_FIXTURE(SendFixture, "a code above 0xFF goes as a Unicode event") {
        fake.UseUsLayout();  // no euro key
        SendText(u"\u20AC");
        CHECK(Keys() == Framed("0/20AC dn, 0/20AC up"));
        CHECK(fake.injected[1].input.dwFlags == KEYEVENTF_UNICODE);
        CHECK(fake.injected[2].input.dwFlags == (KEYEVENTF_UNICODE | KEYEVENTF_KEYUP));
        CHECK(Logged(u"4.AddChar\tU+20AC\tDN"));
        CHECK(PlaybackCounter() == 4);
    }

    TEST_CASE_FIXTURE(SendFixture,
                      "with hexadecimal keypad entry on it is entered in hex with letter keys") {
        fake.UseUsLayout();
        fake.SetRegString(HKEY_CURRENT_USER, u"Control Panel\\Input Method", u"EnableHexNumpad",
                          u"1");
        SendText(u"\u20AC");
        CHECK(Keys() == Framed("12/38 dn, 6B/4E dn, 6B/4E up, 60/52 dn, 60/52 up, "
                               "62/50 dn, 62/50 up, 60/52 dn, 60/52 up, 41/1E dn, 41/1E up, "
                               "43/2E dn, 43/2E up, 12/38 up"));
        CHECK(Logged(u"Raw=20AC 20AC"));
    }

    TEST_CASE_FIXTURE(SendFixture, "a text goes into the input stream in one piece, tagged") {
        SendText(u"ab");
        SendText(u"c");
        CHECK(fake.injectCalls == 2);
        CHECK(fake.sleeps.empty());
        // Both markers of a text carry its tag (scan code and extended flag); the next
        // text has another.
        REQUIRE(fake.injected.size() == 10);
        auto tag = [&](std::size_t i) {
            const KeyInput& in = fake.injected[i].input;
            return in.wScan | ((in.dwFlags & KEYEVENTF_EXTENDEDKEY) ? 0x100 : 0);
        };
        CHECK((tag(0) & 0xFF) != 0);
        CHECK(tag(0) == tag(5));
        CHECK(tag(6) == tag(9));
        CHECK(tag(0) != tag(6));
    }

    TEST_CASE_FIXTURE(SendFixture, "the restore lines report the async state sign-extended") {
        // AltGr's left Ctrl goes up with right Alt and is not lifted on its own.
        ModifierState = MOD_ALTGR | MOD_CTRL;
        fake.HoldKey(VK_RMENU);
        fake.HoldKey(VK_LCONTROL);
        SendText(u"");
        CHECK(Logged(u"2.prevTgl\t Ct Ag"));
        // The whole text is queued at once, after this line: right Alt still reads down.
        CHECK(Logged(u"2.SAC\t0\tFFFF8000\tFFFF8000"));
    }
}

namespace {
struct FailingLayout : FakePlatform {
    std::int16_t VkKeyScanW(char16_t ch) override {
        if (ch == u'!') throw std::runtime_error("layout failed");
        return FakePlatform::VkKeyScanW(ch);
    }
};
}  // namespace

TEST_CASE("a failure in the middle of a text still ends the playback") {
    FailingLayout fake;
    SetPlatform(&fake);
    PlatformIsNT = true;
    ModifierState = 0;
    CHECK_THROWS_AS(SendText(u"a!b"), std::runtime_error);
    REQUIRE(fake.injected.size() == 4);  // marker, a, a, marker
    CHECK(fake.injected.back().input.wVk == 0xFF);
    CHECK(fake.injected.back().input.dwFlags == KEYEVENTF_KEYUP);
    SetPlatform(nullptr);
    PlatformIsNT = false;
}

TEST_SUITE("SendText escapes") {
    TEST_CASE_FIXTURE(SendFixture, "a doubled escape at the end types U+00FF by its code") {
        SendText(u"x" + kEsc + kEsc);
        CHECK(Keys() == Framed("58/2D dn, 58/2D up, 12/38 dn, 60/52 dn, 60/52 up, 62/50 dn, "
                               "62/50 up, 65/4C dn, 65/4C up, 65/4C dn, 65/4C up, 12/38 up"));
    }

    TEST_CASE_FIXTURE(SendFixture, "a count followed by no number types the count character") {
        SendText(kEsc + kEsc + u"\u0003abc");
        // "abc" is consumed as the number and typed nowhere
        CHECK(Keys() == Framed("12/38 dn, 60/52 dn, 60/52 up, 63/51 dn, 63/51 up, 12/38 up"));
        CHECK(Logged(u"RAW1 3 \"\u0003\""));
        CHECK(LinesStartingWith(u"RAW (") == 0);
    }

    TEST_CASE_FIXTURE(SendFixture, "a count at the very end types itself by its code") {
        SendText(kEsc + kEsc + u".");
        CHECK(Keys() == Framed("12/38 dn, 60/52 dn, 60/52 up, 64/4B dn, 64/4B up, "
                               "66/4D dn, 66/4D up, 12/38 up"));
    }

    TEST_CASE_FIXTURE(SendFixture, "a decimal number after the count types that code") {
        SendText(kEsc + kEsc + u"\u0004" + u"8364" + u"a");
        CHECK(Keys() == Framed("0/20AC dn, 0/20AC up, 41/1E dn, 41/1E up"));
        CHECK(Logged(u"RAW1 4 \"\u0004\""));
        CHECK(Logged(u"RAW (\"8364\" / \u20AC)=20AC"));
    }

    TEST_CASE_FIXTURE(SendFixture, "the raw number forms all reach the same code") {
        const std::u16string forms[] = {u"65", u"$41", u"x41", u"X41", u"0x41", u"0X41", u"  +65"};
        for (const auto& number : forms) {
            fake.injected.clear();
            SendText(kEsc + kEsc + static_cast<char16_t>(number.size()) + number);
            CAPTURE(ToUtf8(number));
            CHECK(Keys() == Framed("12/38 dn, 60/52 dn, 60/52 up, 66/4D dn, 66/4D up, "
                                   "65/4C dn, 65/4C up, 12/38 up"));
        }
    }

    TEST_CASE_FIXTURE(SendFixture, "a raw number keeps its low 16 bits") {
        SendText(kEsc + kEsc + u"\u0002-1");
        CHECK(Logged(u"RAW (\"-1\" / \uFFFF)=FFFFFFFF"));
        CHECK(Keys() == Framed("0/FFFF dn, 0/FFFF up"));
    }

    TEST_CASE_FIXTURE(SendFixture, "a count longer than the rest of the text takes what is there") {
        SendText(kEsc + kEsc + u"\u0009" + u"49");
        CHECK(Keys() == Framed("12/38 dn, 60/52 dn, 60/52 up, 64/4B dn, 64/4B up, "
                               "69/49 dn, 69/49 up, 12/38 up"));
    }

    TEST_CASE_FIXTURE(SendFixture, "a modifier and a character type the character's key") {
        SendText(kEsc + u"\u0081\t");
        CHECK(Keys() == Framed("10/2A dn, 9/F dn, 9/F up, 10/2A up"));
        CHECK(Logged(u"VK_VIRTUAL (FF8109)=0109"));
        CHECK(Logged(u"4.VK=0109 winToggle:1"));
    }

    TEST_CASE_FIXTURE(SendFixture, "a modifier and a virtual key press that key") {
        SendText(kEsc + u"\u0002C" + kEsc + std::u16string(u"\u0000\r", 2));
        CHECK(Keys() == Framed("11/1D dn, 43/2E dn, 43/2E up, 11/1D up, D/1C dn, D/1C up"));
    }

    TEST_CASE_FIXTURE(SendFixture, "the Windows-key bits press right before left") {
        SendText(kEsc + u"\u0061D");
        CHECK(Keys() == Framed("10/2A dn, 5C/5C dn x, 5B/5B dn x, 44/20 dn, 44/20 up, "
                               "10/2A up, 5C/5C up x, 5B/5B up x"));
    }

    TEST_CASE_FIXTURE(SendFixture, "a looked-up character without a key is entered raw") {
        SendText(kEsc + u"\u0081\u00E9");
        CHECK(Logged(u"VK_VIRTUAL (FF81E9)=FFFF"));
        // no Shift: the raw entry replaces the whole stroke
        CHECK(Keys() == Framed("12/38 dn, 60/52 dn, 60/52 up, 62/50 dn, 62/50 up, "
                               "63/51 dn, 63/51 up, 63/51 dn, 63/51 up, 12/38 up"));
    }

    TEST_CASE_FIXTURE(SendFixture, "an escape cut short at the end injects nothing for it") {
        SendText(u"b" + kEsc);
        CHECK(Keys() == Framed("42/30 dn, 42/30 up"));
        CHECK(Logged(u"4.VK=0000 winToggle:0"));

        fake.injected.clear();
        fake.debugOutput.clear();
        SendText(u"b" + kEsc + u"\u0001");
        CHECK(Keys() == Framed("42/30 dn, 42/30 up"));
        CHECK(Logged(u"VK_VIRTUAL (62FF01)=0100"));
        CHECK(Logged(u"4.VK=0100 winToggle:1"));
    }

    TEST_CASE_FIXTURE(SendFixture, "a key form naming the marker key injects nothing for it") {
        // A marker release in the middle would end the playback early: the rest of the
        // text would be converted again, and could type its own trigger for ever.
        SendText(kEsc + std::u16string(u"\u0000\u00FF", 2) + u"b" + kEsc + u"\u0001\u00FF");
        CHECK(Keys() == Framed("42/30 dn, 42/30 up"));
        CHECK(Logged(u"4.VK=00FF winToggle:0"));
        CHECK(Logged(u"4.VK=01FF winToggle:1"));
        CHECK(PlaybackCounter() == 4);
    }

    TEST_CASE_FIXTURE(SendFixture, "keys of the navigation block carry the extended flag") {
        // Delete, Home and Left in key forms; remote desktops tell them from the keypad's by it.
        SendText(kEsc + std::u16string(u"\u0000\u002E", 2) + kEsc +
                 std::u16string(u"\u0000\u0024", 2) + kEsc + std::u16string(u"\u0001\u0025", 2));
        CHECK(Keys() == Framed("2E/53 dn x, 2E/53 up x, 24/47 dn x, 24/47 up x, "
                               "10/2A dn, 25/4B dn x, 25/4B up x, 10/2A up"));
    }

    TEST_CASE_FIXTURE(SendFixture, "a restored Alt is followed by the masking key before the marker") {
        ModifierState = MOD_ALT;
        fake.HoldKey(VK_LMENU);
        SendText(u"x");
        CHECK(Keys() == Framed("12/38 up, 58/2D dn, 58/2D up, 12/38 dn, E8/0 dn, E8/0 up"));
    }

    TEST_CASE_FIXTURE(SendFixture, "only the low byte of the modifier character counts") {
        SendText(kEsc + u"\u0101A");  // 0x01 after masking: Shift
        CHECK(Keys() == Framed("10/2A dn, 41/1E dn, 41/1E up, 10/2A up"));
    }
}

TEST_SUITE("SendKey and helpers") {
    TEST_CASE_FIXTURE(SendFixture, "SendKey injects one event with the extended scan code") {
        fake.tickCount = 4242;
        SendKey(0x8012, true);
        REQUIRE(fake.injected.size() == 1);
        const KeyInput& in = fake.injected[0].input;
        CHECK(in.wVk == 0x12);
        CHECK(in.wScan == 0x38);
        CHECK(in.dwFlags == KEYEVENTF_EXTENDEDKEY);
        CHECK(in.time == 0);
        CHECK(in.dwExtraInfo == 4242);
        CHECK(PlaybackCounter() == 1);
        CHECK(Logged(u"4.AddVK\tVK:0012\t[MENU]\tDN (X)\tsc=38\t00000000"));

        // An extended key gets the flag and its scan code without the prefix (Wine would
        // put the prefix into the message's flag bits).
        SendKey(VK_NUMLOCK, false);
        CHECK(fake.injected[1].input.wScan == 0x45);
        CHECK(fake.injected[1].input.dwFlags == (KEYEVENTF_KEYUP | KEYEVENTF_EXTENDEDKEY));
        CHECK(Logged(u"4.AddVK\tVK:0090\t[NUMLOCK]\tUP (X)\tsc=45\t00000000"));
    }

    TEST_CASE_FIXTURE(SendFixture, "without NT every event goes through keybd_event") {
        PlatformIsNT = false;
        ModifierState = 0x0E | MOD_LWIN;
        fake.HoldKey(VK_RMENU);
        fake.HoldKey(VK_LWIN);
        SendText(u"a");
        for (const auto& e : fake.injected) CHECK(e.viaKeybdEvent);
        // the restore presses Ctrl, Alt and right Alt and leaves the Windows key up
        CHECK(Keys() ==
              "FF/0 dn, 12/38 up x, 5B/5B up, 41/1E dn, 41/1E up, "
              "11/1D dn, 12/38 dn, 12/38 dn x, FF/0 up");
        CHECK(LinesStartingWith(u"2.") == 0);
        CHECK(fake.injected[1].input.dwExtraInfo == 0);
    }

    TEST_CASE_FIXTURE(SendFixture, "SendModifiers sends right Alt instead of Ctrl and Alt") {
        SendModifiers(0xCF, true);
        CHECK(Keys() == "12/38 dn x, 10/2A dn, 5C/5C dn x, 5B/5B dn x");
        CHECK(PlaybackCounter() == 5);
    }

    TEST_CASE_FIXTURE(SendFixture, "SendModifiers keeps its order for a release") {
        SendModifiers(0x07, false);
        CHECK(Keys() == "12/38 up, 11/1D up, 10/2A up");
        CHECK(PlaybackCounter() == 3);
    }

    TEST_CASE_FIXTURE(SendFixture, "SendRawChar pads hexadecimal codes to four digits") {
        SendRawChar(0x100);
        CHECK(Logged(u"Raw=100 0100"));
        CHECK(Keys() ==
              "12/38 dn, 6B/4E dn, 6B/4E up, 60/52 dn, 60/52 up, 60/52 dn, 60/52 up, "
              "61/4F dn, 61/4F up, 60/52 dn, 60/52 up, 60/52 dn, 60/52 up, 12/38 up");
    }

    TEST_CASE("KeyActionText names direction and extension") {
        CHECK(KeyActionText(0) == u"DN");
        CHECK(KeyActionText(KEYEVENTF_KEYUP) == u"UP");
        CHECK(KeyActionText(KEYEVENTF_EXTENDEDKEY) == u"DN (X)");
        CHECK(KeyActionText(KEYEVENTF_KEYUP | KEYEVENTF_EXTENDEDKEY) == u"UP (X)");
    }

    TEST_CASE("ReadRawNumber reads decimal and prefixed hexadecimal 32-bit values") {
        struct Case {
            const char16_t* text;
            bool ok;
            std::int32_t value;
        };
        const Case cases[] = {
            {u"0", true, 0},
            {u"8364", true, 8364},
            {u"  -12", true, -12},
            {u"+7", true, 7},
            {u"$20ac", true, 0x20AC},
            {u"x1F", true, 0x1F},
            {u"X1f", true, 0x1F},
            {u"0x10", true, 16},
            {u"0X10", true, 16},
            {u"-$10", true, -16},
            {u"2147483647", true, 2147483647},
            {u"-2147483648", true, -2147483647 - 1},
            {u"$FFFFFFFF", true, -1},
            {u"2147483648", false, 0},
            {u"-2147483649", false, 0},
            {u"$100000000", false, 0},
            {u"99999999999999999999", false, 0},
            {u"", false, 0},
            {u"   ", false, 0},
            {u"-", false, 0},
            {u"$", false, 0},
            {u"0x", false, 0},
            {u"12 ", false, 0},
            {u"1 2", false, 0},
            {u"abc", false, 0},
            {u"$G1", false, 0},
            {u"1A", false, 0},
            {u"\t5", false, 0},
        };
        for (const Case& c : cases) {
            CAPTURE(ToUtf8(c.text));
            std::int32_t value = 12345;
            CHECK(ReadRawNumber(c.text, &value) == c.ok);
            if (c.ok) CHECK(value == c.value);
        }
    }
}
