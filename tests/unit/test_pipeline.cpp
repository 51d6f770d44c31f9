// The key conversion pipeline: each row of the trigger table, the order of its tests and
// the option reads it makes, against the fake registry and key state.
#include <doctest/doctest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "FakePlatform.h"
#include "common/Vantor.Utils.h"
#include "common/VtError.h"
#include "hook/VtConvert.h"
#include "hook/VtSend.h"

using namespace vt;

namespace {

const std::u16string kSettingsPath = u"Software\\Quellmark\\Vantor32\\Settings";

constexpr std::uint32_t kPress = 0x00000001;
constexpr std::uint32_t kExtended = 1u << 24;
constexpr std::uint32_t kDialogMode = 1u << 27;
constexpr std::uint32_t kRepeat = 1u << 30;

// Records the value names the logic queries, to see which options a press reads.
struct RecordingFake : FakePlatform {
    std::vector<std::u16string> queried;
    long RegQueryValueExW(HKey key, const std::u16string& name, std::uint32_t* type,
                          std::uint8_t* data, std::uint32_t* size) override {
        queried.push_back(name);
        return FakePlatform::RegQueryValueExW(key, name, type, data, size);
    }
};

using Events = std::vector<WParam>;
using Names = std::vector<std::u16string>;

struct PipelineFixture {
    RecordingFake fake;

    PipelineFixture() {
        SetPlatform(&fake);
        PlatformIsNT = true;
        ModifierState = 0;
        LockState = 0;
        PlaybackCounter() = 0;
        RegPath = kDefaultRegPath;
        OpenOptions(HKEY_CURRENT_USER);
        HostWindow = fake.AddWindow(kHostWindowName, kHostWindowName);
        Store(OPT_MAIN, 1);
        Store(OPT_BEEP, 1);
    }
    ~PipelineFixture() {
        Options.reset();
        HostWindow = 0;
        ModifierState = 0;
        LockState = 0;
        PlaybackCounter() = 0;
        SetPlatform(nullptr);
    }

    void Store(AOption option, std::uint8_t value) {
        fake.SetRegBinary(HKEY_CURRENT_USER, kSettingsPath, OptionValueNames[option], {value});
    }
    int Stored(AOption option) const {
        auto v = fake.GetRegValue(HKEY_CURRENT_USER, kSettingsPath, OptionValueNames[option]);
        return v && v->data.size() == 1 ? v->data[0] : -1;
    }
    void StoreText(AOption option, const std::u16string& text) {
        fake.SetRegString(HKEY_CURRENT_USER, kSettingsPath, OptionValueNames[option], text);
    }
    void Macro(const std::u16string& valueName, const std::u16string& text,
               const std::u16string& table = kMacroTableAltGr) {
        fake.SetRegString(HKEY_CURRENT_USER, table, valueName, text);
    }

    std::uint8_t Press(std::uint16_t vk, std::uint32_t keyData = kPress) {
        fake.queried.clear();
        const KeyEvent event{vk, keyData};
        return ConvertKey(event);
    }

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
    // What SendText injects for text with the current modifiers, as a reference.
    std::string KeysOf(const std::u16string& text) {
        auto saved = fake.injected;
        const std::int32_t counter = PlaybackCounter();
        fake.injected.clear();
        SendText(text);
        std::string keys = Keys();
        fake.injected = saved;
        PlaybackCounter() = counter;
        return keys;
    }
    Events SoundEvents() const {
        Events out;
        for (const auto& m : fake.posted)
            if (m.msg == WM_HOST_SOUNDEVENT && m.wnd == HostWindow) out.push_back(m.wParam);
        return out;
    }
    // The option values a press read, in order.
    Names OptionReads() const {
        Names out;
        for (const auto& name : fake.queried)
            if (std::find(OptionValueNames.begin(), OptionValueNames.end(), name) !=
                OptionValueNames.end())
                out.push_back(name);
        return out;
    }
    int Lines(const std::u16string& prefix) const {
        return static_cast<int>(
            std::count_if(fake.debugOutput.begin(), fake.debugOutput.end(),
                          [&](const std::u16string& l) { return l.rfind(prefix, 0) == 0; }));
    }
    bool Logged(const std::u16string& line) const {
        return std::find(fake.debugOutput.begin(), fake.debugOutput.end(), line) !=
               fake.debugOutput.end();
    }
};

const std::u16string& Name(AOption option) {
    return OptionValueNames[option];
}

}  // namespace

TEST_SUITE("pipeline: master switch") {
    TEST_CASE_FIXTURE(PipelineFixture, "right Alt+F1 switches the system on and sounds event 1") {
        Store(OPT_MAIN, 0);
        ModifierState = 0x0E;
        CHECK(Press(VK_F1) == 2);
        CHECK(Stored(OPT_MAIN) == 1);
        CHECK(SoundEvents() == Events{1});
        CHECK(fake.injected.empty());
    }

    TEST_CASE_FIXTURE(PipelineFixture, "right Alt+F1 switches a running system off") {
        ModifierState = MOD_ALTGR;  // Wine reports AltGr without Ctrl
        CHECK(Press(VK_F1) == 2);
        CHECK(Stored(OPT_MAIN) == 0);
        CHECK(SoundEvents() == Events{2});
    }

    TEST_CASE_FIXTURE(PipelineFixture,
                      "holding right Alt+F1 toggles once; the repeats are its own") {
        ModifierState = 0x0E;
        CHECK(Press(VK_F1) == 2);
        CHECK(Stored(OPT_MAIN) == 0);
        CHECK(Press(VK_F1, kPress | kRepeat) == 2);
        CHECK(Press(VK_F1, kPress | kRepeat) == 2);
        CHECK(Stored(OPT_MAIN) == 0);
        CHECK(SoundEvents() == Events{2});
        CHECK(Press(VK_F1) == 2);  // pressed anew
        CHECK(Stored(OPT_MAIN) == 1);
    }

    TEST_CASE_FIXTURE(PipelineFixture, "F1 with Ctrl and Alt is not the hot-key") {
        Store(OPT_MAIN, 0);
        ModifierState = MOD_CTRL | MOD_ALT;
        CHECK(Press(VK_F1) == 0);
        CHECK(Stored(OPT_MAIN) == 0);
        CHECK(fake.posted.empty());
    }

    TEST_CASE_FIXTURE(PipelineFixture, "with the master switch off every key passes untouched") {
        Store(OPT_MAIN, 0);
        Store(OPT_UMLAUT, 1);
        Store(OPT_EZ_BS, 1);
        Store(OPT_LOCK_CAPS, 1);
        Macro(u"00000041", u"xy");
        Macro(u"000000DE", u"ae", kMacroTableAscii);
        LockState = LOCK_CAPS;
        for (std::uint16_t vk : {std::uint16_t{0x41}, std::uint16_t{0xDE}, VK_OEM_2, VK_CAPITAL}) {
            CAPTURE(vk);
            CHECK(Press(vk) == 0);
            CHECK(OptionReads() == Names{Name(OPT_MAIN)});
        }
        CHECK(fake.injected.empty());
        CHECK(fake.posted.empty());
        CHECK(Lines(u"MacStr:") == 0);
    }

    TEST_CASE_FIXTURE(PipelineFixture, "a switch changed between presses counts at the next one") {
        Macro(u"00000041", u"xy");
        Store(OPT_MAIN, 0);
        CHECK(Press(0x41) == 0);
        Store(OPT_MAIN, 1);
        CHECK(Press(0x41) == 2);
        Store(OPT_MAIN, 0);
        CHECK(Press(0x41) == 0);
    }
}

TEST_SUITE("pipeline: EasyBackslash") {
    TEST_CASE_FIXTURE(PipelineFixture, "right Alt with the key types a hash sign") {
        Store(OPT_EZ_BS, 1);
        ModifierState = 0x0E;
        CHECK(Press(VK_OEM_2) == 2);
        CHECK(Keys() == KeysOf(u"#"));
        CHECK(Keys().find("BF/2B dn") != std::string::npos);
        CHECK(Lines(u"MacStr:") == 0);
    }

    TEST_CASE_FIXTURE(PipelineFixture, "the key alone types a backslash") {
        Store(OPT_EZ_BS, 1);
        CHECK(Press(VK_OEM_2) == 2);
        CHECK(Keys() == KeysOf(u"\\"));
        CHECK_FALSE(Keys().empty());
    }

    TEST_CASE_FIXTURE(PipelineFixture, "a Windows key held does not stop the backslash") {
        Store(OPT_EZ_BS, 1);
        ModifierState = MOD_LWIN;
        CHECK(Press(VK_OEM_2) == 2);
        CHECK(Keys() == KeysOf(u"\\"));
    }

    TEST_CASE_FIXTURE(PipelineFixture, "with Shift or Ctrl the key goes to the macro lookup") {
        Store(OPT_EZ_BS, 1);
        ModifierState = MOD_SHIFT;
        CHECK(Press(VK_OEM_2) == 0);
        CHECK(Logged(u"MacStr:BF [ Sh]\t\"\""));
        ModifierState = MOD_CTRL;
        CHECK(Press(VK_OEM_2) == 0);
        CHECK(Logged(u"MacStr:BF [ Ct]\t\"\""));
        CHECK(fake.injected.empty());

        Macro(u"000100BF", u"q");
        ModifierState = MOD_SHIFT;
        CHECK(Press(VK_OEM_2) == 2);
        CHECK(Keys() == KeysOf(u"q"));
    }

    TEST_CASE_FIXTURE(PipelineFixture, "with the option off the key passes") {
        CHECK(Press(VK_OEM_2) == 0);
        ModifierState = 0x0E;
        CHECK(Press(VK_OEM_2) == 0);
        CHECK(fake.injected.empty());
    }
}

TEST_SUITE("pipeline: umlaut conversion") {
    TEST_CASE_FIXTURE(PipelineFixture, "an umlaut key types its ASCII replacement") {
        Store(OPT_UMLAUT, 1);
        Macro(u"000000DE", u"ae", kMacroTableAscii);
        Macro(u"000000DE", u"&auml;", kMacroTableHtml);
        Macro(u"000000DE", u"never");
        CHECK(Press(0xDE) == 2);
        CHECK(Keys() == KeysOf(u"ae"));
        CHECK(Lines(u"MacStr:") == 0);  // stopped before the macro lookup
    }

    TEST_CASE_FIXTURE(PipelineFixture, "the HTML mode uses its own table, also with Shift") {
        Store(OPT_UMLAUT, 1);
        Store(OPT_UMLAUT_MODE, UMLAUT_HTML);
        Macro(u"000100DE", u"Ae", kMacroTableAscii);
        Macro(u"000100DE", u"&Auml;", kMacroTableHtml);
        ModifierState = MOD_SHIFT;
        CHECK(Press(0xDE) == 2);
        CHECK(Keys() == KeysOf(u"&Auml;"));
    }

    TEST_CASE_FIXTURE(PipelineFixture, "Ctrl, Alt or AltGr skip the conversion") {
        Store(OPT_UMLAUT, 1);
        Macro(u"000200DE", u"ae", kMacroTableAscii);
        Macro(u"000400DE", u"ae", kMacroTableAscii);
        Macro(u"000800DE", u"ae", kMacroTableAscii);
        for (std::uint8_t mods : {MOD_CTRL, MOD_ALT, std::uint8_t{0x0E}}) {
            CAPTURE(mods);
            ModifierState = mods;
            CHECK(Press(0xDE) == 0);
            CHECK(OptionReads() == Names{Name(OPT_MAIN)});
        }
        CHECK(fake.injected.empty());
    }

    TEST_CASE_FIXTURE(PipelineFixture, "with the conversion off the table is not consulted") {
        Macro(u"000000DE", u"ae", kMacroTableAscii);
        CHECK(Press(0xDE) == 0);
        CHECK(fake.injected.empty());
        CHECK(Logged(u"MacStr:DE []\t\"\""));
    }

    TEST_CASE_FIXTURE(PipelineFixture, "a key without a replacement goes on to its own feature") {
        Store(OPT_UMLAUT, 1);
        Store(OPT_NP_DOT, 1);
        Macro(u"000000DE", u"ae", kMacroTableAscii);
        CHECK(Press(VK_DECIMAL) == 2);
        CHECK(Keys() == KeysOf(u"."));
    }
}

TEST_SUITE("pipeline: Caps Lock") {
    // The snapshot here comes before the press (the key is not down in it), so the press
    // is what switches the lock.
    TEST_CASE_FIXTURE(PipelineFixture,
                      "the lock turns Caps Lock back off when a press turns it on") {
        Store(OPT_LOCK_CAPS, 1);
        CHECK(Press(VK_CAPITAL) == 2);
        CHECK(Keys() == "FF/0 dn, 14/3A up, 14/3A dn, 14/3A up, FF/0 up");
        CHECK(fake.posted.empty());
        CHECK(Lines(u"MacStr:") == 0);
    }

    TEST_CASE_FIXTURE(PipelineFixture, "with the lock, a press that turns Caps Lock off goes on") {
        Store(OPT_LOCK_CAPS, 1);
        LockState = LOCK_CAPS;
        CHECK(Press(VK_CAPITAL) == 0);
        CHECK(fake.injected.empty());
        CHECK(fake.posted.empty());
        CHECK(Logged(u"MacStr:14 []\t\"\""));

        Macro(u"00000014", u"k");
        CHECK(Press(VK_CAPITAL) == 2);
        CHECK(Keys() == KeysOf(u"k"));
    }

    TEST_CASE_FIXTURE(PipelineFixture, "without the lock a press sounds event 3 and the state") {
        LockState = LOCK_CAPS;
        CHECK(Press(VK_CAPITAL) == 0);
        CHECK(SoundEvents() == Events{3, 1});
        fake.posted.clear();
        LockState = 0;
        CHECK(Press(VK_CAPITAL) == 0);
        CHECK(SoundEvents() == Events{3, 2});
        CHECK(fake.injected.empty());
    }

    TEST_CASE_FIXTURE(PipelineFixture, "auto-repeat is logged but not sounded") {
        PlaybackCounter() = 5;
        LockState = LOCK_CAPS;
        Press(VK_CAPITAL, kPress | kRepeat);
        Press(VK_CAPITAL, kPress | kRepeat);
        CHECK(fake.posted.empty());
        CHECK(Lines(u"1.CapsLock ") == 2);
        CHECK(Logged(u"1.CapsLock 5 1\""));
        LockState = 0;
        Press(VK_CAPITAL);
        CHECK(Logged(u"1.CapsLock 5 0\""));
    }

    TEST_CASE_FIXTURE(PipelineFixture, "without the beep option nothing is posted") {
        Store(OPT_BEEP, 0);
        CHECK(Press(VK_CAPITAL) == 0);
        CHECK(fake.posted.empty());
    }

    TEST_CASE_FIXTURE(PipelineFixture, "with Ctrl held the Caps Lock case is skipped") {
        ModifierState = MOD_CTRL;
        Press(VK_CAPITAL);
        CHECK(Lines(u"1.CapsLock") == 0);
        CHECK(fake.posted.empty());
    }
}

TEST_SUITE("pipeline: EasyTab") {
    TEST_CASE_FIXTURE(PipelineFixture, "keypad plus types Tab") {
        Store(OPT_EZ_TAB, 1);
        CHECK(Press(VK_ADD) == 2);
        CHECK(Keys() == "FF/0 dn, 9/F dn, 9/F up, FF/0 up");
    }

    TEST_CASE_FIXTURE(PipelineFixture, "keypad minus types Shift+Tab") {
        Store(OPT_EZ_TAB, 1);
        CHECK(Press(VK_SUBTRACT) == 2);
        CHECK(Keys() == "FF/0 dn, 10/2A dn, 9/F dn, 9/F up, 10/2A up, FF/0 up");
    }

    TEST_CASE_FIXTURE(PipelineFixture, "with Shift the keypad keys pass on unchanged") {
        Store(OPT_EZ_TAB, 1);
        ModifierState = MOD_SHIFT;
        CHECK(Press(VK_ADD) == 0);
        CHECK(Press(VK_SUBTRACT) == 0);
        CHECK(fake.injected.empty());
        CHECK(Logged(u"MacStr:6B [ Sh]\t\"\""));

        Macro(u"0001006B", u"p");
        CHECK(Press(VK_ADD) == 2);
        CHECK(Keys() == KeysOf(u"p"));
    }

    TEST_CASE_FIXTURE(PipelineFixture, "with the option off the keypad keys pass") {
        CHECK(Press(VK_ADD) == 0);
        CHECK(Press(VK_SUBTRACT) == 0);
        CHECK(fake.injected.empty());
    }

    TEST_CASE_FIXTURE(PipelineFixture, "in a dialog the keys move the dialog's focus") {
        Store(OPT_EZ_TAB, 1);
        const HWnd dialog = fake.AddWindow(u"#32770", u"Dialog");
        const HWnd group = fake.AddWindow(u"Button", u"Group", nullptr, dialog);
        fake.focus = fake.AddWindow(u"Edit", u"", nullptr, group);

        CHECK(Press(VK_ADD, kPress | kDialogMode) == 2);
        CHECK(Press(VK_SUBTRACT, kPress | kDialogMode) == 2);
        CHECK(fake.injected.empty());
        REQUIRE(fake.posted.size() == 2);
        CHECK(fake.posted[0].wnd == dialog);
        CHECK(fake.posted[0].msg == WM_NEXTDLGCTL);
        CHECK(fake.posted[0].wParam == 0);
        CHECK(fake.posted[0].lParam == 0);
        CHECK(fake.posted[1].wnd == dialog);
        CHECK(fake.posted[1].wParam == static_cast<WParam>(-1));
    }

    TEST_CASE_FIXTURE(PipelineFixture, "in a dialog without a focus window the key is swallowed") {
        Store(OPT_EZ_TAB, 1);
        fake.focus = 0;
        CHECK(Press(VK_SUBTRACT, kPress | kDialogMode) == 2);
        CHECK(fake.posted.empty());
        CHECK(fake.injected.empty());
    }

    TEST_CASE_FIXTURE(PipelineFixture, "DialogRootWindow climbs child links to the top") {
        const HWnd top = fake.AddWindow(u"#32770", u"Dialog");
        const HWnd child = fake.AddWindow(u"Static", u"", nullptr, top);
        const HWnd grandchild = fake.AddWindow(u"Edit", u"", nullptr, child);
        CHECK(DialogRootWindow(grandchild) == top);
        CHECK(DialogRootWindow(child) == top);
        CHECK(DialogRootWindow(top) == top);
        CHECK(DialogRootWindow(0) == 0);
    }
}

TEST_SUITE("pipeline: keypad decimal key") {
    TEST_CASE_FIXTURE(PipelineFixture, "the key types the configured text") {
        Store(OPT_NP_DOT, 1);
        StoreText(OPT_DECIMAL_DOT, u",");
        CHECK(Press(VK_DECIMAL) == 2);
        CHECK(Keys() == KeysOf(u","));
        CHECK(Keys() == "FF/0 dn, BC/33 dn, BC/33 up, FF/0 up");
    }

    TEST_CASE_FIXTURE(PipelineFixture, "an empty text types a dot") {
        Store(OPT_NP_DOT, 1);
        StoreText(OPT_DECIMAL_DOT, u"");
        CHECK(Press(VK_DECIMAL) == 2);
        CHECK(Keys() == "FF/0 dn, BE/34 dn, BE/34 up, FF/0 up");
    }

    TEST_CASE_FIXTURE(PipelineFixture, "with Caps Lock on the text is entered by its code") {
        Store(OPT_NP_DOT, 1);
        StoreText(OPT_DECIMAL_DOT, u",");
        LockState = LOCK_CAPS;
        CHECK(Press(VK_DECIMAL) == 2);
        CHECK(Keys() ==
              "FF/0 dn, 12/38 dn, 60/52 dn, 60/52 up, 64/4B dn, 64/4B up, "
              "64/4B dn, 64/4B up, 12/38 up, FF/0 up");
        CHECK(Logged(u"RAW1 44 \",\""));
    }

    TEST_CASE_FIXTURE(PipelineFixture,
                      "with Caps Lock on every character of a longer text is entered") {
        Store(OPT_NP_DOT, 1);
        StoreText(OPT_DECIMAL_DOT, u"12");
        LockState = LOCK_CAPS;
        CHECK(Press(VK_DECIMAL) == 2);
        CHECK(Keys() ==
              "FF/0 dn, 12/38 dn, 60/52 dn, 60/52 up, 64/4B dn, 64/4B up, "
              "69/49 dn, 69/49 up, 12/38 up, 12/38 dn, 60/52 dn, 60/52 up, "
              "65/4C dn, 65/4C up, 60/52 dn, 60/52 up, 12/38 up, FF/0 up");
    }

    TEST_CASE_FIXTURE(PipelineFixture, "Shift does not stop the decimal key, Ctrl does") {
        Store(OPT_NP_DOT, 1);
        StoreText(OPT_DECIMAL_DOT, u",");
        ModifierState = MOD_SHIFT;
        CHECK(Press(VK_DECIMAL) == 2);
        CHECK(Keys() == KeysOf(u","));
        fake.injected.clear();
        ModifierState = MOD_CTRL;
        CHECK(Press(VK_DECIMAL) == 0);
        CHECK(fake.injected.empty());
    }

    TEST_CASE_FIXTURE(PipelineFixture, "with the option off the decimal key passes") {
        StoreText(OPT_DECIMAL_DOT, u",");
        CHECK(Press(VK_DECIMAL) == 0);
        CHECK(fake.injected.empty());
    }
}

TEST_SUITE("pipeline: Num Lock and Scroll Lock") {
    TEST_CASE_FIXTURE(PipelineFixture,
                      "the lock switches Num Lock back on when a press turns it off") {
        Store(OPT_LOCK_NUM, 1);
        LockState = LOCK_NUM;
        CHECK(Press(VK_NUMLOCK) == 2);
        CHECK(Keys() == "FF/0 dn, 90/45 up x, 90/45 dn x, 90/45 up x, FF/0 up");
        CHECK(fake.posted.empty());
    }

    TEST_CASE_FIXTURE(PipelineFixture, "the lock swallows a Num Lock press that turns it on") {
        Store(OPT_LOCK_NUM, 1);
        CHECK(Press(VK_NUMLOCK) == 2);
        CHECK(fake.injected.empty());
        CHECK(fake.posted.empty());
    }

    TEST_CASE_FIXTURE(PipelineFixture, "without the lock Num Lock sounds event 5 and the state") {
        LockState = LOCK_NUM;
        CHECK(Press(VK_NUMLOCK) == 0);
        CHECK(SoundEvents() == Events{5, 1});
        fake.posted.clear();
        LockState = 0;
        CHECK(Press(VK_NUMLOCK) == 0);
        CHECK(SoundEvents() == Events{5, 2});
        fake.posted.clear();
        CHECK(Press(VK_NUMLOCK, kPress | kRepeat) == 0);
        CHECK(fake.posted.empty());
        CHECK(fake.injected.empty());
    }

    TEST_CASE_FIXTURE(PipelineFixture, "Scroll Lock sounds event 4 and still reaches its macro") {
        LockState = LOCK_SCROLL;
        CHECK(Press(VK_SCROLL) == 0);
        CHECK(SoundEvents() == Events{4, 1});
        fake.posted.clear();
        LockState = 0;
        CHECK(Press(VK_SCROLL, kPress | kRepeat) == 0);
        CHECK(fake.posted.empty());

        Macro(u"00000091", u"s");
        CHECK(Press(VK_SCROLL) == 2);
        CHECK(SoundEvents() == Events{4, 2});
        CHECK(Keys() == KeysOf(u"s"));
    }

    TEST_CASE_FIXTURE(PipelineFixture, "with Alt held the lock keys are not converted") {
        Store(OPT_LOCK_NUM, 1);
        ModifierState = MOD_ALT;
        CHECK(Press(VK_NUMLOCK) == 0);
        CHECK(Press(VK_SCROLL) == 0);
        CHECK(fake.posted.empty());
        CHECK(fake.injected.empty());
    }
}

TEST_SUITE("pipeline: macro lookup") {
    TEST_CASE_FIXTURE(PipelineFixture, "AltGr+E types its macro with right Alt lifted") {
        Macro(u"00080045", u"xy");
        ModifierState = 0x0E;
        CHECK(Press(0x45) == 2);
        CHECK(Keys() == KeysOf(u"xy"));
        CHECK(Keys().rfind("FF/0 dn, 12/38 up x,", 0) == 0);
        CHECK(Logged(u"MacStr:45 [ Ct A  Ag]\t\"xy\""));
    }

    TEST_CASE_FIXTURE(PipelineFixture, "Ctrl+Alt+E does not find the AltGr macro") {
        Macro(u"00080045", u"xy");
        ModifierState = MOD_CTRL | MOD_ALT;
        CHECK(Press(0x45) == 0);
        CHECK(fake.injected.empty());
    }

    TEST_CASE_FIXTURE(PipelineFixture, "an extended key has its own macro code") {
        Macro(u"0008802E", u"d");
        ModifierState = 0x0E;
        CHECK(Press(VK_DELETE, kPress | kExtended) == 2);
        CHECK(Logged(u"MacStr:2E [ Ct A  Ag]\t\"d\""));
        fake.injected.clear();
        CHECK(Press(VK_DELETE) == 0);  // the keypad's Delete
        CHECK(fake.injected.empty());
    }

    TEST_CASE_FIXTURE(PipelineFixture, "a key without a macro is logged and passes") {
        CHECK(Press(0x41) == 0);
        CHECK(Logged(u"MacStr:41 []\t\"\""));
        CHECK(fake.injected.empty());
    }

    TEST_CASE_FIXTURE(PipelineFixture, "a Windows key is part of the macro's name") {
        Macro(u"00400041", u"w");
        ModifierState = MOD_LWIN;
        CHECK(Press(0x41) == 2);
        CHECK(Keys() == KeysOf(u"w"));
    }

    TEST_CASE_FIXTURE(PipelineFixture, "a command macro runs and swallows the key") {
        Macro(u"00000070", u"^*1");
        CHECK(Press(VK_F1) == 2);
        CHECK(Stored(OPT_MAIN) == 0);
        CHECK(SoundEvents() == Events{2});
    }
}

TEST_SUITE("pipeline: option reads") {
    TEST_CASE_FIXTURE(PipelineFixture, "a letter reads the master switch and the umlaut switch") {
        CHECK(Press(0x41) == 0);
        CHECK(OptionReads() == Names{Name(OPT_MAIN), Name(OPT_UMLAUT)});
    }

    TEST_CASE_FIXTURE(PipelineFixture, "with the conversion on a letter adds the umlaut mode") {
        Store(OPT_UMLAUT, 1);
        CHECK(Press(0x41) == 0);
        CHECK(OptionReads() == Names{Name(OPT_MAIN), Name(OPT_UMLAUT), Name(OPT_UMLAUT_MODE)});
    }

    TEST_CASE_FIXTURE(PipelineFixture, "a letter with AltGr reads only the master switch") {
        ModifierState = 0x0E;
        CHECK(Press(0x41) == 0);
        CHECK(OptionReads() == Names{Name(OPT_MAIN)});
    }

    TEST_CASE_FIXTURE(PipelineFixture,
                      "each feature key reads its options in the pipeline's order") {
        Press(VK_OEM_2);
        CHECK(OptionReads() == Names{Name(OPT_MAIN), Name(OPT_UMLAUT), Name(OPT_EZ_BS)});
        ModifierState = 0x0E;
        Press(VK_OEM_2);
        CHECK(OptionReads() == Names{Name(OPT_MAIN), Name(OPT_EZ_BS)});
        ModifierState = 0;
        Press(VK_ADD);
        CHECK(OptionReads() == Names{Name(OPT_MAIN), Name(OPT_UMLAUT), Name(OPT_EZ_TAB)});
        Press(VK_CAPITAL);
        CHECK(OptionReads() == Names{Name(OPT_MAIN), Name(OPT_UMLAUT), Name(OPT_LOCK_CAPS),
                                     Name(OPT_BEEP), Name(OPT_BEEP)});  // one per sound event
    }

    TEST_CASE_FIXTURE(PipelineFixture, "a switch of the wrong type is read like any other") {
        fake.SetRegDword(HKEY_CURRENT_USER, kSettingsPath, Name(OPT_UMLAUT), 1);
        CHECK(Press(0x41) == 0);
        CHECK(OptionReads() == Names{Name(OPT_MAIN), Name(OPT_UMLAUT)});
        CHECK(fake.injected.empty());
    }
}

TEST_SUITE("pipeline: a value that cannot be read") {
    // Every feature switched on, then one value stored with a type the store refuses:
    // that one counts as off (or as its default), the others go on.
    TEST_CASE_FIXTURE(PipelineFixture, "a switch of the wrong type breaks only its own feature") {
        const AOption broken[] = {OPT_MAIN,   OPT_UMLAUT,   OPT_UMLAUT_MODE, OPT_EZ_BS,
                                  OPT_EZ_TAB, OPT_NP_DOT,   OPT_LOCK_CAPS,   OPT_LOCK_NUM,
                                  OPT_BEEP,   OPT_DECIMAL_DOT};
        for (AOption option : broken) {
            CAPTURE(ToUtf8(Name(option)));
            for (AOption on : {OPT_MAIN, OPT_UMLAUT, OPT_EZ_BS, OPT_EZ_TAB, OPT_NP_DOT, OPT_LOCK_CAPS,
                               OPT_LOCK_NUM, OPT_BEEP})
                Store(on, 1);
            Store(OPT_UMLAUT_MODE, UMLAUT_ASCII);
            StoreText(OPT_DECIMAL_DOT, u",");
            Macro(u"000000DE", u"ae", kMacroTableAscii);
            Macro(u"00000041", u"x");
            Macro(u"00010042", u"y");
            if (option == OPT_DECIMAL_DOT)
                fake.SetRegDword(HKEY_CURRENT_USER, kSettingsPath, Name(option), 0x2C);
            else
                fake.SetRegDword(HKEY_CURRENT_USER, kSettingsPath, Name(option), 1);
            std::fill(std::begin(fake.keyState), std::end(fake.keyState), 0);
            std::fill(std::begin(fake.asyncState), std::end(fake.asyncState), 0);
            const bool mainOn = option != OPT_MAIN;
            const auto expect = [&](AOption own) { return mainOn && option != own ? 2 : 0; };

            ModifierState = 0;
            fake.injected.clear();
            CHECK(Press(VK_OEM_2) == expect(OPT_EZ_BS));
            if (expect(OPT_EZ_BS) == 2) CHECK(Keys() == KeysOf(u"\\"));
            CHECK(Press(VK_ADD) == expect(OPT_EZ_TAB));
            fake.injected.clear();
            CHECK(Press(VK_DECIMAL) == expect(OPT_NP_DOT));  // an unreadable text: "."
            if (expect(OPT_NP_DOT) == 2) CHECK(Keys() == KeysOf(option == OPT_DECIMAL_DOT ? u"." : u","));
            CHECK(Press(0xDE) == expect(OPT_UMLAUT));
            fake.injected.clear();
            CHECK(Press(0x41) == (mainOn ? 2 : 0));
            if (mainOn) CHECK(Keys() == KeysOf(u"x"));
            ModifierState = MOD_SHIFT;
            fake.HoldKey(VK_SHIFT);
            CHECK(Press(0x42) == (mainOn ? 2 : 0));
            ModifierState = 0;
            std::fill(std::begin(fake.keyState), std::end(fake.keyState), 0);
            std::fill(std::begin(fake.asyncState), std::end(fake.asyncState), 0);
            // The Caps Lock lock: a press that switches Caps Lock on is swallowed.
            fake.HoldKey(VK_CAPITAL, false);
            LockState = 0;
            CHECK(Press(VK_CAPITAL) == expect(OPT_LOCK_CAPS));
            LockState = LOCK_NUM;
            CHECK(Press(VK_NUMLOCK) == expect(OPT_LOCK_NUM));
            LockState = 0;
        }
    }

    TEST_CASE_FIXTURE(PipelineFixture, "an unreadable switch is logged once per value and change") {
        const std::u16string line =
            u"Optionen: Ungültiger Datentyp für 'EasyBackslash': gilt als aus";
        const auto count = [&] {
            return std::count(fake.debugOutput.begin(), fake.debugOutput.end(), line);
        };
        Store(OPT_EZ_BS, 1);
        fake.SetRegDword(HKEY_CURRENT_USER, kSettingsPath, Name(OPT_EZ_BS), 1);
        CHECK(Press(VK_OEM_2) == 0);
        CHECK(Press(VK_OEM_2) == 0);
        CHECK(count() == 1);
        fake.SetRegDword(HKEY_CURRENT_USER, kSettingsPath, Name(OPT_EZ_BS), 2);  // changed
        CHECK(Press(VK_OEM_2) == 0);
        CHECK(count() == 2);
        fake.SetRegBinary(HKEY_CURRENT_USER, kSettingsPath, Name(OPT_EZ_BS), {1, 0});  // too long
        CHECK(Press(VK_OEM_2) == 0);
        CHECK(Press(VK_OEM_2) == 0);
        CHECK(count() == 3);
        Store(OPT_EZ_BS, 1);  // repaired
        CHECK(Press(VK_OEM_2) == 2);
        fake.SetRegDword(HKEY_CURRENT_USER, kSettingsPath, Name(OPT_EZ_BS), 1);  // broken again
        CHECK(Press(VK_OEM_2) == 0);
        CHECK(count() == 4);
        CHECK(std::count_if(fake.debugOutput.begin(), fake.debugOutput.end(),
                            [](const std::u16string& l) {
                                return l.rfind(u"Optionen: ", 0) == 0;
                            }) == 4);
    }

    TEST_CASE_FIXTURE(PipelineFixture, "the hot-key writes over a master switch of the wrong type") {
        fake.SetRegDword(HKEY_CURRENT_USER, kSettingsPath, Name(OPT_MAIN), 1);
        ModifierState = MOD_ALTGR;
        CHECK(Press(VK_F1) == 2);
        ModifierState = 0;
        const auto stored = fake.GetRegValue(HKEY_CURRENT_USER, kSettingsPath, Name(OPT_MAIN));
        REQUIRE(stored);
        CHECK(stored->type == REG_BINARY);
        CHECK(stored->data == std::vector<std::uint8_t>{1});
        CHECK(SoundEvents() == Events{1});
        Macro(u"00000041", u"x");
        CHECK(Press(0x41) == 2);
    }
}
