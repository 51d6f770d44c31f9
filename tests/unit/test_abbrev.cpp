// Abbreviations: the word tracker's rules, the case of the typed word, and typing through
// the hook as the thread reads its keys (German layout): what arrives in the program,
// and what the registry is asked per key.
#include <doctest/doctest.h>

#include "FakePlatform.h"
#include "common/Vantor.Utils.Abbrev.h"
#include "common/Vantor.Utils.h"
#include "hook/Vt32Util.h"
#include "hook/VtConvert.Abbrev.h"
#include "hook/VtSend.h"

using namespace vt;

namespace {

const std::u16string kSettings = u"Software\\Quellmark\\Vantor32\\Settings";
const std::u16string kGreeting = u"Mit freundlichen Gr\u00FC\u00DFen";

RAbbrevKey K(EAbbrevKey kind, char16_t ch = 0) {
    RAbbrevKey key;
    key.kind = kind;
    key.ch = ch;
    return key;
}

void Letters(TWordTracker& t, const std::u16string& s) {
    for (char16_t c : s) t.Feed(K(IsAbbrevChar(c) ? AK_WORD : AK_SEPARATOR, c));
}

struct CountingFake : FakePlatform {
    int queries = 0;
    long RegQueryValueExW(HKey key, const std::u16string& name, std::uint32_t* type,
                          std::uint8_t* data, std::uint32_t* size) override {
        ++queries;
        return FakePlatform::RegQueryValueExW(key, name, type, data, size);
    }
};

struct AbbrevFixture {
    CountingFake fake;
    AbbrevFixture() {
        SetPlatform(&fake);
        fake.focus = fake.AddWindow(u"Edit", u"");
        LibraryLoad();
        HookHandle = 0;
        ResetPlayback();
        ResetAbbrevWord();
        Option(OPT_MAIN, 1);
        Option(OPT_ABBREV, 1);
        Abbrev(u"mfg", kGreeting);
        Abbrev(u"heute", u"^*49\"dd.mm.yyyy\"*40");
        Abbrev(u"gr\u00FC", u"Gr\u00FC\u00DFe");
        Abbrev(u"adr", u"Hauptstra$DFe 1$FF$00$0D12345 Ort");
    }
    ~AbbrevFixture() {
        LibraryUnload();
        ResetAbbrevWord();
        SetPlatform(nullptr);
    }
    void Option(AOption option, std::uint8_t value) {
        fake.SetRegBinary(HKEY_CURRENT_USER, kSettings, OptionValueNames[option], {value});
    }
    void Abbrev(const std::u16string& name, const std::u16string& text) {
        fake.SetRegString(HKEY_CURRENT_USER, kAbbrevTable, name, text);
    }
    LResult Key(std::uint16_t vk, bool down, bool extended = false) {
        KeyInput in;
        in.wVk = vk;
        in.wScan = static_cast<std::uint16_t>(fake.MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
        in.dwFlags = (down ? 0 : KEYEVENTF_KEYUP) | (extended ? KEYEVENTF_EXTENDEDKEY : 0);
        return fake.DeliverKey(
            in, [](int code, WParam w, LParam l) { return KeyboardProc(code, w, l); });
    }
    // Presses and releases the key; true when the program got the press.
    bool Tap(std::uint16_t vk, bool extended = false) {
        const bool passed = Key(vk, true, extended) == 0;
        Key(vk, false, extended);
        return passed;
    }
    // Types with the layout's keys, Shift where a character needs it.
    void Type(const std::u16string& text) {
        for (char16_t c : text) {
            const std::int16_t r = fake.VkKeyScanW(c);
            REQUIRE(r != -1);
            const bool shift = (r & 0x100) != 0, altGr = (r & 0x600) == 0x600;
            fake.altGrAddsLeftCtrl = true;
            if (shift) Key(VK_SHIFT, true);
            if (altGr) Key(VK_MENU, true, true);
            Tap(static_cast<std::uint16_t>(r & 0xFF));
            if (altGr) Key(VK_MENU, false, true);
            if (shift) Key(VK_SHIFT, false);
        }
    }
};

}  // namespace

TEST_SUITE("abbreviations: the word") {
    TEST_CASE("a whole word of 2 to 32 letters and digits, after a separator or a reset") {
        TWordTracker t;
        Letters(t, u"mfg");
        CHECK(t.Word() == u"mfg");
        Letters(t, u" xmfg");
        CHECK(t.Word() == u"xmfg");
        Letters(t, u"(a4");
        CHECK(t.Word() == u"a4");
        Letters(t, u" m");
        CHECK(t.Word() == u"");  // one letter is no abbreviation
        t.Reset();
        Letters(t, std::u16string(32, u'a'));
        CHECK(t.Word().size() == 32);
        Letters(t, u"a");
        CHECK(t.Word() == u"");
    }

    TEST_CASE("Backspace takes back a character, also across a separator") {
        TWordTracker t;
        Letters(t, u"mfx");
        t.Feed(K(AK_BACK));
        Letters(t, u"g");
        CHECK(t.Word() == u"mfg");
        Letters(t, u"mf ");
        t.Reset();
        Letters(t, u"mf ");
        t.Feed(K(AK_BACK));
        Letters(t, u"g");
        CHECK(t.Word() == u"mfg");
        // Backspace beyond what was seen: the word before the caret is not known.
        t.Reset();
        t.Feed(K(AK_BACK));
        Letters(t, u"mfg");
        CHECK(t.Word() == u"");
        Letters(t, u" mfg");
        CHECK(t.Word() == u"mfg");
    }

    TEST_CASE("a reset starts a new word; a character not known glues to the word") {
        TWordTracker t;
        Letters(t, u"mf");
        t.Feed(K(AK_RESET));
        Letters(t, u"g");
        CHECK(t.Word() == u"");
        Letters(t, u"xy");
        CHECK(t.Word() == u"gxy");
        t.FeedUnknown();
        Letters(t, u"mfg");
        CHECK(t.Word() == u"");
    }

    TEST_CASE("dead keys compose with the next letter; a space after one types the accent") {
        TWordTracker t;
        t.Feed(K(AK_DEAD, u'^'));
        CHECK(t.DeadPending());
        Letters(t, u"e");
        CHECK_FALSE(t.DeadPending());
        Letters(t, u"tre");
        CHECK(t.Word() == u"\u00EAtre");
        t.Feed(K(AK_DEAD, 0xB4));
        Letters(t, u"e");
        CHECK(t.Word() == u"\u00EAtre\u00E9");
        // ^ and a letter that takes no accent: the accent stands before the letter.
        t.Reset();
        t.Feed(K(AK_DEAD, u'^'));
        Letters(t, u"mfg");
        CHECK(t.Word() == u"mfg");
        t.Feed(K(AK_DEAD, u'^'));
        t.Feed(K(AK_END, u' '));
        Letters(t, u"ab");
        CHECK(t.Word() == u"ab");
    }
}

TEST_SUITE("abbreviations: case") {
    TEST_CASE("the case of the typed word carries over to a typed text") {
        CHECK(TypedCase(kGreeting, u"mfg") == kGreeting);
        CHECK(TypedCase(u"mit freundlichen Gr\u00FC\u00DFen", u"Mfg") ==
              u"Mit freundlichen Gr\u00FC\u00DFen");
        CHECK(TypedCase(kGreeting, u"MFG") == u"MIT FREUNDLICHEN GR\u00DCSSEN");
        CHECK(TypedCase(kGreeting, u"mFG") == kGreeting);
        CHECK(TypedCase(u"\u00FCber", u"\u00DCb") == u"\u00DCber");
        // Key strokes and raw entries keep their bytes.
        const std::u16string withKeys =
            u"a\u00FF\u0001b\u00FF\u00FF\u0002"
            u"12c";
        CHECK(TypedCase(withKeys, u"AB") ==
              u"A\u00FF\u0001b\u00FF\u00FF\u0002"
              u"12C");
        CHECK(TypedCase(u"\u00FF\u0000\u000Dhallo", u"Xy") == u"\u00FF\u0000\u000DHallo");
    }
}

TEST_SUITE("abbreviations: typing through the hook") {
    TEST_CASE_FIXTURE(AbbrevFixture, "mfg and a space, Mfg and a full stop, MFG: the text") {
        Type(u"mfg ");
        CHECK(fake.typed == kGreeting + u" ");
        fake.typed.clear();
        Type(u"Mfg.");
        CHECK(fake.typed == kGreeting + u".");
        fake.typed.clear();
        Type(u"MFG\r");
        CHECK(fake.typed == u"MIT FREUNDLICHEN GR\u00DCSSEN\r");
        fake.typed.clear();
        Type(u"ein Gr\u00FC!");  // an abbreviation with an umlaut, a text with two
        CHECK(fake.typed == u"ein Gr\u00FC\u00DFe!");
        fake.typed.clear();
        Type(u"adr/");  // escapes: a sharp s by its code, Enter as a key stroke
        CHECK(fake.typed == u"Hauptstra\u00DFe 1\r12345 Ort/");
        fake.typed.clear();
        Type(u"[mfg]");  // AltGr+8 and AltGr+9: the end key again with AltGr
        CHECK(fake.typed == u"[" + kGreeting + u"]");
        CHECK((fake.keyState[VK_RMENU] & 0x80) == 0);
    }

    TEST_CASE_FIXTURE(AbbrevFixture, "part of a longer word, or edited out of one, stays") {
        Type(u"xmfg mfgx ");
        CHECK(fake.typed == u"xmfg mfgx ");
        fake.typed.clear();
        Type(u"mfx");
        Tap(VK_BACK);
        Type(u"g ");
        CHECK(fake.typed == kGreeting + u" ");
        fake.typed.clear();
        Type(u"mf");
        Tap(0x25, true);  // Left, Right: the caret went somewhere
        Tap(0x27, true);
        Type(u"g ");
        CHECK(fake.typed == u"mfg ");
        fake.typed.clear();
        Type(u"m");
        Key(VK_CONTROL, true);  // Ctrl+F (a search box) takes the word
        Tap('F');
        Key(VK_CONTROL, false);
        Type(u"fg ");
        CHECK(fake.typed == u"mfg ");
    }

    TEST_CASE_FIXTURE(AbbrevFixture, "a command abbreviation runs: the date") {
        Type(u"heute ");
        CHECK(fake.typed == u"07.12.2026 ");
        fake.typed.clear();
        Type(u"HEUTE ");  // commands keep their case
        CHECK(fake.typed == u"07.12.2026 ");
    }

    TEST_CASE_FIXTURE(AbbrevFixture, "off: the switch, the master switch, a program left alone") {
        Option(OPT_ABBREV, 0);
        Type(u"mfg ");
        fake.SetRegValue(HKEY_CURRENT_USER, kSettings, OptionValueNames[OPT_ABBREV], REG_NONE, {});
        Type(u"mfg ");
        Option(OPT_ABBREV, 1);
        Option(OPT_MAIN, 0);
        Type(u"mfg ");
        Option(OPT_MAIN, 1);
        fake.SetRegString(HKEY_CURRENT_USER, RegPath + kExclusionsKey, ProgramFileName, u"");
        Type(u"mfg ");
        fake.SetRegBinary(HKEY_CURRENT_USER, RegPath + kExclusionsKey, ProgramFileName, {});
        // The tray program's own windows, where abbreviations are written down.
        InstallingProcess = true;
        Type(u"mfg ");
        InstallingProcess = false;
        CHECK(fake.typed == u"mfg mfg mfg mfg mfg ");
        CHECK(fake.injected.empty());
    }

    TEST_CASE_FIXTURE(AbbrevFixture,
                      "Caps Lock on: the word reads MFG, the text arrives in capitals") {
        Tap(VK_CAPITAL);
        REQUIRE((fake.GetKeyState(VK_CAPITAL) & 1) != 0);
        Type(u"mfg ");
        CHECK(fake.typed == u"MIT FREUNDLICHEN GR\u00DCSSEN ");
        fake.typed.clear();
        Key(VK_SHIFT, true);  // Shift with Caps Lock: "mfg" on the screen
        Type(u"mfg");
        Key(VK_SHIFT, false);
        Type(u" ");
        CHECK(fake.typed == kGreeting + u" ");
        Tap(VK_CAPITAL);
    }

    TEST_CASE_FIXTURE(AbbrevFixture,
                      "dead keys before and after an abbreviation pass on as typed") {
        const std::uint16_t circumflex = 0xDC;  // ^ on the German layout, a dead key
        REQUIRE((fake.MapVirtualKeyW(circumflex, MAPVK_VK_TO_CHAR) & 0x80000000u) != 0);
        // ^ e (ê in the program) and a word after it.
        CHECK(Tap(circumflex));
        CHECK(Tap('E'));
        Type(u" mfg ");
        CHECK(fake.typed == u"\u00EA " + kGreeting + u" ");
        // After the text, the dead key and its letter reach the program untouched.
        const std::size_t injected = fake.injected.size();
        CHECK(Tap(circumflex));
        CHECK(Tap('O'));
        CHECK(fake.injected.size() == injected);
        CHECK(fake.typed == u"\u00EA " + kGreeting + u" \u00F4");
        // A dead key between the word and the space: the space types the accent.
        fake.typed.clear();
        Type(u" mfg");
        CHECK(Tap(circumflex));
        Type(u" ");
        CHECK(fake.typed == u" mfg^");  // the space typed the accent, nothing else
        CHECK(fake.injected.size() == injected);
    }

    TEST_CASE_FIXTURE(AbbrevFixture, "another window or a click between the letters: no text") {
        Type(u"mf");
        fake.focus = fake.AddWindow(u"Edit", u"other");
        Type(u"g ");
        CHECK(fake.typed == u"mfg ");
        fake.typed.clear();
        Type(u"mf");
        fake.keyState[0x01] ^= 0x01;  // a left click toggles the button's state
        Type(u"g ");
        CHECK(fake.typed == u"mfg ");
    }

    TEST_CASE_FIXTURE(AbbrevFixture, "no registry per letter; one value query per end character") {
        for (int i = 0; i < 1000; ++i)
            Abbrev(u"k" + ToU16(std::to_string(i)), u"Text " + ToU16(std::to_string(i)));
        Type(u"ab");
        auto queriesOf = [&](const std::u16string& keys) {
            const int before = fake.queries;
            Type(keys);
            return fake.queries - before;
        };
        const int letterOn = queriesOf(u"c");
        Option(OPT_ABBREV, 0);
        const int letterOff = queriesOf(u"c");
        Option(OPT_ABBREV, 1);
        CHECK(letterOn == letterOff);
        // A separator that does not trigger, then an end character after a word not stored.
        const int separator = queriesOf(u"+");
        Type(u"hallo");
        const int end = queriesOf(u" ");
        CHECK(end == separator + 1);
        Type(u"k999");
        fake.typed.clear();
        Type(u" ");
        CHECK(fake.typed == u"Text 999 ");
    }
}
