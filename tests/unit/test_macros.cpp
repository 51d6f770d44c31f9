// The macro store: value names, the "$" escape form, FindMacro against the registry
// and the umlaut conversion's table choice.
#include <doctest/doctest.h>

#include "FakePlatform.h"
#include "common/Vantor.Utils.h"
#include "hook/VtConvert.h"

using namespace vt;

namespace {

const std::u16string kTable = kMacroTableAltGr;

bool Logged(const FakePlatform& fake, const std::u16string& line) {
    for (const auto& l : fake.debugOutput)
        if (l == line) return true;
    return false;
}

bool AnyLineStarts(const FakePlatform& fake, const std::u16string& prefix) {
    for (const auto& l : fake.debugOutput)
        if (l.rfind(prefix, 0) == 0) return true;
    return false;
}

// Options open on the fake, as after the library's load.
struct OptionsScene {
    FakeScope scope;
    FakePlatform& fake = scope.fake;
    OptionsScene() {
        VantorUtilsInit();
        ModifierState = 0;
        HostWindow = 0;
    }
    ~OptionsScene() {
        VantorUtilsDone();
        ModifierState = 0;
        HostWindow = 0;
    }
    std::u16string Settings() const { return kDefaultRegPath + u"Settings"; }
};

}  // namespace

TEST_CASE("macro value names carry the key code and the masked modifier byte") {
    CHECK(MacroValueName(MacroKey(0x41, 0x01)) == u"00010041");
    CHECK(MacroValueName(MacroKey(0x70, 0x00)) == u"00000070");

    SUBCASE("AltGr drops the Ctrl and Alt bits Windows reports with it") {
        CHECK(MacroValueName(MacroKey(0x45, 0x0E)) == u"00080045");
        CHECK(MacroValueName(MacroKey(0x45, 0x0C)) == u"00080045");
        CHECK(MacroValueName(MacroKey(0x45, 0x0F)) == u"00090045");
    }
    SUBCASE("left Ctrl and left Alt keep their own name") {
        CHECK(MacroValueName(MacroKey(0x45, 0x06)) == u"00060045");
    }
    SUBCASE("the extended mark of the key code is kept") {
        CHECK(MacroValueName(MacroKey(0x802E, 0x08)) == u"0008802E");
        CHECK(MacroValueName(MacroKey(0x002E, 0x08)) == u"0008002E");
        CHECK(MacroValueName(MacroKey(0x800D, 0x00)) == u"0000800D");
        CHECK(MacroValueName(MacroKey(0x000D, 0x00)) == u"0000000D");
    }
    SUBCASE("bits 0x10 and 0x20 never appear, whatever the byte holds") {
        for (int m = 0; m < 256; ++m) {
            const std::uint32_t key = MacroKey(0x41, static_cast<std::uint8_t>(m));
            CHECK((key & 0x00300000u) == 0);
            CHECK((key & 0xFF000000u) == 0);
            CHECK((key & 0xFFFFu) == 0x41);
        }
        CHECK(MacroValueName(MacroKey(0x41, 0xFF)) == u"00C90041");
    }
    SUBCASE("Windows keys and Shift stay") {
        CHECK(MacroValueName(MacroKey(0x41, 0xC1)) == u"00C10041");
    }
    SUBCASE("names are eight upper-case digits") {
        CHECK(MacroValueName(0xABCDEFu) == u"00ABCDEF");
        CHECK(MacroValueName(0) == u"00000000");
    }
}

TEST_CASE("the stored escape form decodes to the macro text") {
    CHECK(DecodeMacroText(u"A10$$") == u"A10$");
    CHECK(DecodeMacroText(u"A$41B") == u"AAB");
    CHECK(DecodeMacroText(u"A$4GB") == u"AB");
    CHECK(DecodeMacroText(u"A$") == u"A$");
    CHECK(DecodeMacroText(u"A$4") == std::u16string(u"A\u0004"));
    CHECK(DecodeMacroText(u"$FF") == std::u16string(1, u'\u00FF'));
    CHECK(DecodeMacroText(u"$ff") == std::u16string(1, u'\u00FF'));
    CHECK(DecodeMacroText(u"$0D") == std::u16string(1, u'\r'));

    SUBCASE("decoded characters are not decoded again") {
        CHECK(DecodeMacroText(u"$2441") == u"$41");
        CHECK(DecodeMacroText(u"$$41") == u"$41");
        CHECK(DecodeMacroText(u"$24$41") == u"$A");
        CHECK(DecodeMacroText(u"$$$$") == u"$$");
    }
    SUBCASE("consecutive escapes each decode") {
        CHECK(DecodeMacroText(u"$41$42$43") == u"ABC");
        CHECK(DecodeMacroText(u"$00x") == std::u16string(u"\u0000x", 2));
    }
    SUBCASE("a broken escape vanishes with the characters it covers") {
        CHECK(DecodeMacroText(u"$G1rest") == u"rest");
        CHECK(DecodeMacroText(u"x$1Grest") == u"xrest");
        CHECK(DecodeMacroText(u"x$ 1y") == u"xy");
        CHECK(DecodeMacroText(u"x$-1y") == u"xy");
        CHECK(DecodeMacroText(u"x$G") == u"x");
        CHECK(DecodeMacroText(u"$G$41") == u"41");  // the "$" it covers goes too
    }
    SUBCASE("only ASCII hex digits count") {
        CHECK(DecodeMacroText(u"$\uFF14\uFF11z") == u"z");  // full-width digits
    }
    SUBCASE("texts without escapes are unchanged") {
        CHECK(DecodeMacroText(u"") == u"");
        CHECK(DecodeMacroText(u"$") == u"$");
        CHECK(DecodeMacroText(u"Grüße") == u"Grüße");
    }
}

TEST_CASE("FindMacro reads the value of the combination from the table") {
    FakeScope scope;
    FakePlatform& fake = scope.fake;

    SUBCASE("a stored macro is found and decoded") {
        fake.SetRegString(HKEY_CURRENT_USER, kTable, u"00080045", u"Euro$$ $41");
        CHECK(FindMacro(kTable, 0x45, 0x0E) == u"Euro$ A");
        CHECK(Logged(fake, u"FindMacro vkStr=00080045"));
        CHECK(fake.OpenRegKeys() == 0);
    }
    SUBCASE("AltGr and left Ctrl+Alt are different macros") {
        fake.SetRegString(HKEY_CURRENT_USER, kTable, u"00060045", u"ctrl-alt");
        CHECK(FindMacro(kTable, 0x45, 0x0E) == u"");
        CHECK(FindMacro(kTable, 0x45, 0x06) == u"ctrl-alt");
        fake.SetRegString(HKEY_CURRENT_USER, kTable, u"00080045", u"altgr");
        CHECK(FindMacro(kTable, 0x45, 0x0E) == u"altgr");
        CHECK(FindMacro(kTable, 0x45, 0x06) == u"ctrl-alt");
    }
    SUBCASE("the keypad Enter key is told from the main one") {
        fake.SetRegString(HKEY_CURRENT_USER, kTable, u"0000800D", u"pad");
        CHECK(FindMacro(kTable, 0x800D, 0) == u"pad");
        CHECK(FindMacro(kTable, 0x000D, 0) == u"");
    }
    SUBCASE("a missing table gives no macro and no line") {
        CHECK(FindMacro(kTable, 0x45, 0x08) == u"");
        CHECK_FALSE(AnyLineStarts(fake, u"FindMacro"));
        CHECK(fake.OpenRegKeys() == 0);
    }
    SUBCASE("a table that cannot be written is read all the same") {
        fake.SetRegString(HKEY_CURRENT_USER, kTable, u"00080045", u"readable");
        fake.ProtectRegKey(HKEY_CURRENT_USER, kTable);
        CHECK(FindMacro(kTable, 0x45, 0x08) == u"readable");
        CHECK(fake.OpenRegKeys() == 0);
    }
    SUBCASE("a missing value gives no macro after the line") {
        fake.CreateRegKey(HKEY_CURRENT_USER, kTable);
        CHECK(FindMacro(kTable, 0x41, 0x01) == u"");
        CHECK(Logged(fake, u"FindMacro vkStr=00010041"));
        CHECK(fake.OpenRegKeys() == 0);
    }
    SUBCASE("an empty value gives no macro") {
        fake.SetRegValue(HKEY_CURRENT_USER, kTable, u"00010041", REG_SZ, {});
        CHECK(FindMacro(kTable, 0x41, 0x01) == u"");
    }
    SUBCASE("REG_EXPAND_SZ is read unexpanded") {
        fake.environment[u"TEMP"] = u"C:\\Temp";
        fake.SetRegString(HKEY_CURRENT_USER, kTable, u"00010041", u"%TEMP%", REG_EXPAND_SZ);
        CHECK(FindMacro(kTable, 0x41, 0x01) == u"%TEMP%");
    }
    SUBCASE("the text ends at the first NUL") {
        fake.SetRegValue(HKEY_CURRENT_USER, kTable, u"00010041", REG_SZ,
                         {'a', 0, 0, 0, 'b', 0, 0, 0});
        CHECK(FindMacro(kTable, 0x41, 0x01) == u"a");
    }
    SUBCASE("a value of another type is no macro and raises nothing") {
        fake.SetRegDword(HKEY_CURRENT_USER, kTable, u"00010041", 0x41);
        fake.SetRegBinary(HKEY_CURRENT_USER, kTable, u"00010042", {'x', 0});
        fake.SetRegValue(HKEY_CURRENT_USER, kTable, u"00010043", REG_MULTI_SZ,
                         {'x', 0, 0, 0, 0, 0});
        std::u16string text = u"unset";
        CHECK_NOTHROW(text = FindMacro(kTable, 0x41, 0x01));
        CHECK(text == u"");
        CHECK_NOTHROW(text = FindMacro(kTable, 0x42, 0x01));
        CHECK(text == u"");
        CHECK_NOTHROW(text = FindMacro(kTable, 0x43, 0x01));
        CHECK(text == u"");
        CHECK(fake.OpenRegKeys() == 0);
        CHECK(AnyLineStarts(fake, u"FindMacro 00010041\tUngültiger Datentyp"));
    }
    SUBCASE("a runaway value is not taken as a macro; the longest allowed one is") {
        fake.SetRegString(HKEY_CURRENT_USER, kTable, u"00000041", std::u16string(32767, u'a'));
        fake.SetRegString(HKEY_CURRENT_USER, kTable, u"00000042", std::u16string(32768, u'b'));
        CHECK(FindMacro(kTable, 0x41, 0).size() == 32767);
        CHECK(FindMacro(kTable, 0x42, 0) == u"");
        CHECK(Logged(fake, u"FindMacro 00000042\ttoo long (65538 bytes)"));
        CHECK(fake.OpenRegKeys() == 0);
    }
    SUBCASE("a table changed between presses takes effect at once") {
        fake.SetRegString(HKEY_CURRENT_USER, kTable, u"00000070", u"one");
        CHECK(FindMacro(kTable, 0x70, 0) == u"one");
        fake.SetRegString(HKEY_CURRENT_USER, kTable, u"00000070", u"two");
        CHECK(FindMacro(kTable, 0x70, 0) == u"two");
    }
}

TEST_CASE("a macro value that cannot be read is no macro and raises nothing") {
    struct Unreadable : FakePlatform {
        long RegQueryValueExW(HKey key, const std::u16string& n, std::uint32_t* type,
                              std::uint8_t* data, std::uint32_t* size) override {
            if (n == u"00010041") return 1016;  // ERROR_REGISTRY_IO_FAILED
            return FakePlatform::RegQueryValueExW(key, n, type, data, size);
        }
    } fake;
    SetPlatform(&fake);
    fake.SetRegString(HKEY_CURRENT_USER, kTable, u"00010041", u"secret");
    std::u16string text = u"unset";
    CHECK_NOTHROW(text = FindMacro(kTable, 0x41, 0x01));
    CHECK(text == u"");
    CHECK(Logged(fake, u"FindMacro 00010041\tFehler beim Holen der Daten für '00010041'"));
    CHECK(fake.OpenRegKeys() == 0);
    SetPlatform(nullptr);
}

TEST_CASE("the umlaut conversion looks up the table of the current mode") {
    OptionsScene scene;
    FakePlatform& fake = scene.fake;
    fake.SetRegString(HKEY_CURRENT_USER, kMacroTableAscii, u"000000DE", u"ae");
    fake.SetRegString(HKEY_CURRENT_USER, kMacroTableAscii, u"000100DE", u"Ae");
    fake.SetRegString(HKEY_CURRENT_USER, kMacroTableHtml, u"000000DE", u"&auml;");

    KeyEvent event;
    event.VirtualKey = 0xDE;
    KeyContext context{event};

    SUBCASE("ASCII mode, also when the mode value is absent") {
        CHECK(ConvertUmlaut(context));
        CHECK(context.Verdict == 2);
        CHECK(Logged(fake, u"PROCESSMACRO: <ae>"));
    }
    SUBCASE("HTML mode") {
        fake.SetRegBinary(HKEY_CURRENT_USER, scene.Settings(), u"UmlautMode", {1});
        CHECK(ConvertUmlaut(context));
        CHECK(context.Verdict == 2);
        CHECK(Logged(fake, u"PROCESSMACRO: <&auml;>"));
    }
    SUBCASE("Shift is part of the name") {
        ModifierState = MOD_SHIFT;
        CHECK(ConvertUmlaut(context));
        CHECK(Logged(fake, u"PROCESSMACRO: <Ae>"));
    }
    SUBCASE("an extended key is looked up without its mark") {
        event.KeyData = 0x01000000u;
        CHECK(ConvertUmlaut(context));
        CHECK(Logged(fake, u"FindMacro vkStr=000000DE"));
    }
    SUBCASE("no macro: false, and the context is left alone") {
        event.VirtualKey = 0x41;
        CHECK_FALSE(ConvertUmlaut(context));
        CHECK(context.Verdict == 0);
        CHECK(Logged(fake, u"FindMacro vkStr=00000041"));
    }
    SUBCASE("another mode value looks nothing up") {
        fake.SetRegBinary(HKEY_CURRENT_USER, scene.Settings(), u"UmlautMode", {2});
        CHECK_FALSE(ConvertUmlaut(context));
        CHECK(context.Verdict == 0);
        CHECK_FALSE(AnyLineStarts(fake, u"FindMacro"));
    }
}
