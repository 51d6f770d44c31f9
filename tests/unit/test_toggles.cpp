// The per-press context's operations and the option toggles: what they store, which
// sound events reach the host, and that each of them swallows the key.
#include <doctest/doctest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "FakePlatform.h"
#include "common/Vantor.Utils.h"
#include "common/VtError.h"
#include "hook/VtConvert.h"
#include "hook/VtSend.h"

using namespace vt;

namespace {

const std::u16string kSettingsKey = u"Software\\Quellmark\\Vantor32\\Settings";

struct ToggleFixture : FakeScope {
    KeyEvent event{0x41, 0x001E0001};
    KeyContext context{event};

    ToggleFixture() {
        PlatformIsNT = true;
        ModifierState = 0;
        LockState = 0;
        RegPath = kDefaultRegPath;
        OpenOptions(HKEY_CURRENT_USER);
        HostWindow = fake.AddWindow(kHostWindowName, kHostWindowName);
    }
    ~ToggleFixture() {
        Options.reset();
        HostWindow = 0;
        ModifierState = 0;
    }

    void Store(AOption option, std::uint8_t value) {
        fake.SetRegBinary(HKEY_CURRENT_USER, kSettingsKey, OptionValueNames[option], {value});
    }
    // The stored byte; -1 when the value is absent or not one byte.
    int Stored(AOption option) const {
        auto v = fake.GetRegValue(HKEY_CURRENT_USER, kSettingsKey, OptionValueNames[option]);
        if (!v || v->type != REG_BINARY || v->data.size() != 1) return -1;
        return v->data[0];
    }
    std::vector<WParam> SoundEvents() const {
        std::vector<WParam> out;
        for (const auto& m : fake.posted) {
            CHECK(m.wnd == HostWindow);
            if (m.msg == WM_HOST_SOUNDEVENT) out.push_back(m.wParam);
        }
        return out;
    }
};

using Events = std::vector<WParam>;

}  // namespace

TEST_SUITE("ToggleOption") {
    TEST_CASE_FIXTURE(ToggleFixture, "switching the master switch on sounds one event") {
        Store(OPT_BEEP, 1);
        ToggleOption(OPT_MAIN, context);
        CHECK(Stored(OPT_MAIN) == 1);
        CHECK(SoundEvents() == Events{1});
        CHECK(context.Verdict == 2);
        CHECK(fake.injected.empty());
    }

    TEST_CASE_FIXTURE(ToggleFixture, "switching the master switch off sounds the off event") {
        Store(OPT_BEEP, 1);
        Store(OPT_MAIN, 1);
        ToggleOption(OPT_MAIN, context);
        CHECK(Stored(OPT_MAIN) == 0);
        CHECK(SoundEvents() == Events{2});
    }

    TEST_CASE_FIXTURE(ToggleFixture, "without the beep option the toggle is silent") {
        Store(OPT_BEEP, 0);
        ToggleOption(OPT_MAIN, context);
        CHECK(Stored(OPT_MAIN) == 1);
        CHECK(fake.posted.empty());
        CHECK(context.Verdict == 2);
    }

    TEST_CASE_FIXTURE(ToggleFixture, "without a host window the toggle still switches") {
        HostWindow = 0;
        Store(OPT_BEEP, 1);
        ToggleOption(OPT_MAIN, context);
        CHECK(Stored(OPT_MAIN) == 1);
        CHECK(fake.posted.empty());
        CHECK(context.Verdict == 2);
    }

    TEST_CASE_FIXTURE(ToggleFixture, "a switch stored as 2 counts as on and is switched off") {
        Store(OPT_BEEP, 1);
        Store(OPT_EZ_BS, 2);
        ToggleOption(OPT_EZ_BS, context);
        CHECK(Stored(OPT_EZ_BS) == 0);
        CHECK(SoundEvents() == Events{2});
        ToggleOption(OPT_EZ_BS, context);
        CHECK(Stored(OPT_EZ_BS) == 1);
    }

    TEST_CASE_FIXTURE(ToggleFixture, "an absent switch is off and becomes one stored byte 1") {
        CHECK(Stored(OPT_LOCK_NUM) == -1);
        ToggleOption(OPT_LOCK_NUM, context);
        CHECK(Stored(OPT_LOCK_NUM) == 1);
    }

    TEST_CASE_FIXTURE(ToggleFixture, "a switch of the wrong type counts as off and is written over") {
        Store(OPT_BEEP, 1);
        fake.SetRegDword(HKEY_CURRENT_USER, kSettingsKey, OptionValueNames[OPT_MAIN], 1);
        ToggleOption(OPT_MAIN, context);
        CHECK(Stored(OPT_MAIN) == 1);
        CHECK(SoundEvents() == Events{1});
        CHECK(context.Verdict == 2);
        // the beep switch broken too: the toggle still works, silently
        fake.SetRegDword(HKEY_CURRENT_USER, kSettingsKey, OptionValueNames[OPT_BEEP], 1);
        fake.SetRegString(HKEY_CURRENT_USER, kSettingsKey, OptionValueNames[OPT_UMLAUT], u"1");
        SwitchUmlautMode(UMLAUT_HTML, context);
        CHECK(Stored(OPT_UMLAUT) == 1);
        CHECK(Stored(OPT_UMLAUT_MODE) == UMLAUT_HTML);
        CHECK(SoundEvents() == Events{1});
    }
}

TEST_SUITE("feature toggles") {
    TEST_CASE_FIXTURE(ToggleFixture, "ToggleEasyTab posts its own event and then on or off") {
        Store(OPT_BEEP, 1);
        ToggleEasyTab(context);
        CHECK(Stored(OPT_EZ_TAB) == 1);
        CHECK(SoundEvents() == Events{8, 1});
        fake.posted.clear();
        ToggleEasyTab(context);
        CHECK(Stored(OPT_EZ_TAB) == 0);
        CHECK(SoundEvents() == Events{8, 2});
        CHECK(context.Verdict == 2);
    }

    TEST_CASE_FIXTURE(ToggleFixture, "ToggleNumpadDot posts event 6 and then on or off") {
        Store(OPT_BEEP, 1);
        ToggleNumpadDot(context);
        CHECK(Stored(OPT_NP_DOT) == 1);
        CHECK(SoundEvents() == Events{6, 1});
    }

    TEST_CASE_FIXTURE(ToggleFixture, "feature toggles without the beep option post nothing") {
        ToggleEasyTab(context);
        ToggleNumpadDot(context);
        SwitchUmlautMode(UMLAUT_HTML, context);
        CHECK(fake.posted.empty());
        CHECK(Stored(OPT_EZ_TAB) == 1);
        CHECK(Stored(OPT_NP_DOT) == 1);
        CHECK(Stored(OPT_UMLAUT) == 1);
    }

    TEST_CASE_FIXTURE(ToggleFixture, "choosing a mode while the conversion is off switches it on") {
        Store(OPT_BEEP, 1);
        Store(OPT_UMLAUT_MODE, UMLAUT_ASCII);
        SwitchUmlautMode(UMLAUT_HTML, context);
        CHECK(Stored(OPT_UMLAUT) == 1);
        CHECK(Stored(OPT_UMLAUT_MODE) == UMLAUT_HTML);
        CHECK(SoundEvents() == Events{7, 1});
        CHECK(context.Verdict == 2);
    }

    TEST_CASE_FIXTURE(ToggleFixture, "choosing a mode while the conversion is on switches it off") {
        Store(OPT_BEEP, 1);
        Store(OPT_UMLAUT, 1);
        Store(OPT_UMLAUT_MODE, UMLAUT_ASCII);
        SwitchUmlautMode(UMLAUT_HTML, context);
        CHECK(Stored(OPT_UMLAUT) == 0);
        CHECK(Stored(OPT_UMLAUT_MODE) == UMLAUT_ASCII);
        CHECK(SoundEvents() == Events{7, 2});
    }

    TEST_CASE_FIXTURE(ToggleFixture, "an absent mode is written only when the conversion goes on") {
        Store(OPT_UMLAUT, 1);
        SwitchUmlautMode(UMLAUT_HTML, context);
        CHECK(Stored(OPT_UMLAUT_MODE) == -1);
        SwitchUmlautMode(UMLAUT_ASCII, context);
        CHECK(Stored(OPT_UMLAUT_MODE) == UMLAUT_ASCII);
    }
}

TEST_SUITE("SetLockToggle") {
    TEST_CASE_FIXTURE(ToggleFixture, "it sets only the toggle bit of the thread's key state") {
        fake.keyState[0x41] = 0x80;
        fake.keyState[VK_NUMLOCK] = 0x80;
        fake.asyncState[VK_NUMLOCK] = 0x80;
        SetLockToggle(VK_NUMLOCK, true);
        CHECK(fake.keyState[VK_NUMLOCK] == 0x81);
        CHECK(fake.keyState[0x41] == 0x80);
        CHECK(fake.asyncState[VK_NUMLOCK] == 0x80);
        CHECK(fake.injected.empty());
        CHECK(fake.posted.empty());
    }

    TEST_CASE_FIXTURE(ToggleFixture, "it clears the toggle bit and keeps the down bit") {
        fake.keyState[VK_CAPITAL] = 0x81;
        SetLockToggle(VK_CAPITAL, false);
        CHECK(fake.keyState[VK_CAPITAL] == 0x80);
        SetLockToggle(VK_CAPITAL, false);
        CHECK(fake.keyState[VK_CAPITAL] == 0x80);
        CHECK(fake.injected.empty());
    }
}

namespace {
struct UnreadableKeyboard : FakePlatform {
    bool GetKeyboardState(std::uint8_t state[256]) override {
        std::fill(state, state + 256, std::uint8_t{0});
        return false;
    }
};
}  // namespace

TEST_CASE("SetLockToggle leaves the key state alone when it cannot be read") {
    UnreadableKeyboard fake;
    SetPlatform(&fake);
    fake.keyState[0x41] = 0x80;
    fake.keyState[VK_SHIFT] = 0x80;
    SetLockToggle(VK_NUMLOCK, true);
    CHECK(fake.keyState[0x41] == 0x80);
    CHECK(fake.keyState[VK_SHIFT] == 0x80);
    CHECK(fake.keyState[VK_NUMLOCK] == 0);
    SetPlatform(nullptr);
}

TEST_SUITE("swallowing") {
    TEST_CASE_FIXTURE(ToggleFixture, "SendTextAndSwallow types the text and swallows") {
        SendTextAndSwallow(u"a", context);
        CHECK(context.Verdict == 2);
        REQUIRE(fake.injected.size() == 4);  // marker, a, a, marker
        CHECK(fake.injected[1].input.wVk == 0x41);
        CHECK(fake.injected[3].input.wVk == 0xFF);
    }

    TEST_CASE_FIXTURE(ToggleFixture, "every operation with a context leaves the verdict at 2") {
        Store(OPT_BEEP, 1);
        const std::vector<std::pair<const char*, std::function<void(KeyContext&)>>> ops = {
            {"SwallowKey", [](KeyContext& c) { SwallowKey(c); }},
            {"SendTextAndSwallow", [](KeyContext& c) { SendTextAndSwallow(u"", c); }},
            {"ToggleOption", [](KeyContext& c) { ToggleOption(OPT_HIDE, c); }},
            {"SwitchUmlautMode ASCII", [](KeyContext& c) { SwitchUmlautMode(UMLAUT_ASCII, c); }},
            {"SwitchUmlautMode HTML", [](KeyContext& c) { SwitchUmlautMode(UMLAUT_HTML, c); }},
            {"ToggleNumpadDot", [](KeyContext& c) { ToggleNumpadDot(c); }},
            {"ToggleEasyTab", [](KeyContext& c) { ToggleEasyTab(c); }},
        };
        for (const auto& op : ops) {
            CAPTURE(op.first);
            for (int round = 0; round < 2; ++round) {  // from either state of the switch
                KeyContext fresh{event};
                op.second(fresh);
                CHECK(fresh.Verdict == 2);
            }
        }
    }
}
