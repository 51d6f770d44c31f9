#include <doctest/doctest.h>

#include "FakePlatform.h"
#include "common/Vantor.Common.h"

using namespace vt;

TEST_SUITE("key-event line") {
    TEST_CASE("a press: VK, SC, RC, lower-case flags and the key's name") {
        FakeScope scope;
        scope.fake.keyNameTexts[0x1E] = u"A";
        CHECK(DescribeKeyEvent({0x41, 0x001E0001}) == u"VK:0041\tSC:1E\tRC:1\tFlags:xiidmarl\t[A]");
    }

    TEST_CASE("the release sets the repeat and up letters") {
        FakeScope scope;
        scope.fake.keyNameTexts[0x1E] = u"A";
        CHECK(DescribeKeyEvent({0x41, 0xC01E0001}) == u"VK:0041\tSC:1E\tRC:1\tFlags:xiidmaRL\t[A]");
    }

    TEST_CASE("each of bits 24 to 31 has its own letter") {
        FakeScope scope;
        const char16_t* expected[8] = {u"Xiidmarl", u"xIidmarl", u"xiIdmarl", u"xiiDmarl",
                                       u"xiidMarl", u"xiidmArl", u"xiidmaRl", u"xiidmarL"};
        for (int k = 0; k < 8; ++k) {
            std::u16string line = DescribeKeyEvent({0x41, (1u << (24 + k)) | 0x001E0001});
            CAPTURE(k);
            CHECK(line.find(std::u16string(u"Flags:") + expected[k] + u"\t") !=
                  std::u16string::npos);
        }
        CHECK(DescribeKeyEvent({0x41, 0xFF1E0001}).find(u"Flags:XIIDMARL\t") !=
              std::u16string::npos);
    }

    TEST_CASE("an extended key: flags begin with X and the extended name is used") {
        FakeScope scope;
        scope.fake.keyNameTexts[0x138] = u"Alt Gr";
        scope.fake.keyNameTexts[0x38] = u"Alt";
        CHECK(DescribeKeyEvent({0x12, 0x21380001}) ==
              u"VK:0012\tSC:38\tRC:1\tFlags:XiidmArl\t[Alt Gr]");
    }

    TEST_CASE("a large repeat count and a wide virtual key") {
        FakeScope scope;
        CHECK(DescribeKeyEvent({0x1234, 0x0000FFFF}) ==
              u"VK:1234\tSC:00\tRC:65535\tFlags:xiidmarl\t[[1234]]");
    }
}

TEST_SUITE("KeyName") {
    TEST_CASE("the layout's name comes first") {
        FakeScope scope;
        scope.fake.keyNameTexts[0x3B] = u"F1-Taste";
        CHECK(KeyName(0x70, 0x003B0001) == u"F1-Taste");
    }

    TEST_CASE("then the character the key produces") {
        FakeScope scope;
        CHECK(KeyName(0x41, 0) == u"A");
        CHECK(KeyName(0xDE, 0) == u"\u00C4");  // German layout: Ä
        scope.fake.UseUsLayout();
        CHECK(KeyName(0xDE, 0) == u"'");
    }

    TEST_CASE("a dead key gives its character without the dead-key bit") {
        FakeScope scope;
        CHECK(KeyName(0xDC, 0) == u"^");
    }

    TEST_CASE("then the name table") {
        FakeScope scope;
        CHECK(KeyName(0x70, 0) == u"F1");
        CHECK(KeyName(0x7F, 0) == u"F16");
        CHECK(KeyName(0x14, 0) == u"CAPITAL");
        CHECK(KeyName(0x2E, 0) == u"DELETE");
        CHECK(KeyName(0x5B, 0) == u"WINKEY");
        CHECK(KeyName(0x90, 0) == u"NUMLOCK");
        CHECK(KeyName(0x91, 0) == u"SCROLL");
        CHECK(KeyName(0x6E, 0) == u",");  // the layout maps the keypad decimal key
        CHECK(KeyName(0x6C, 0) == u"SEPARATOR");
        // the table goes by the low byte
        CHECK(KeyName(0x0170, 0) == u"F1");
    }

    TEST_CASE("last the hexadecimal key code in brackets") {
        FakeScope scope;
        CHECK(KeyName(0x5C, 0) == u"[5C]");  // right Windows key: no entry
        CHECK(KeyName(0x015C, 0) == u"[15C]");
        CHECK(KeyName(0xFF, 0) == u"[FF]");
    }
}

TEST_SUITE("modifier and hex texts") {
    TEST_CASE("ModifierNames lists the set bits in a fixed order") {
        CHECK(ModifierNames(0) == u"");
        CHECK(ModifierNames(0x0E) == u" Ct A  Ag");
        CHECK(ModifierNames(0x01) == u" Sh");
        CHECK(ModifierNames(0xC0) == u" Wr Wl");
        CHECK(ModifierNames(0xFF) == u" Sh Ct A  Ag Wr Wl");
        CHECK(ModifierNames(0x30) == u"");  // bits that never carry a modifier
    }

    TEST_CASE("HexText writes every code unit with at least two digits") {
        CHECK(HexText(u"A\u20AC") == u"4120AC");
        CHECK(HexText(u"") == u"");
        CHECK(HexText(u"\t\u00E4") == u"09E4");
        CHECK(HexText(std::u16string(1, u'\0')) == u"00");
    }
}

TEST_SUITE("key-state snapshots") {
    TEST_CASE("GetModifierState maps the held keys to their bits") {
        FakeScope scope;
        auto& f = scope.fake;
        CHECK(GetModifierState() == 0);
        f.HoldKey(VK_LSHIFT);
        CHECK(GetModifierState() == MOD_SHIFT);
        f.HoldKey(VK_LSHIFT, false);
        // AltGr on a German layout: Ctrl, Alt and right Alt together
        f.HoldKey(VK_LCONTROL);
        f.HoldKey(VK_RMENU);
        CHECK(GetModifierState() == 0x0E);
        f.HoldKey(VK_LCONTROL, false);
        f.HoldKey(VK_RMENU, false);
        f.HoldKey(VK_LWIN);
        CHECK(GetModifierState() == MOD_LWIN);
        f.HoldKey(VK_RWIN);
        CHECK(GetModifierState() == (MOD_LWIN | MOD_RWIN));
    }

    TEST_CASE("IsKeyDown looks at the sign bit only") {
        FakeScope scope;
        scope.fake.SetToggle(VK_CAPITAL, true);
        CHECK_FALSE(IsKeyDown(VK_CAPITAL));
        scope.fake.HoldKey(VK_CAPITAL);
        CHECK(IsKeyDown(VK_CAPITAL));
    }

    TEST_CASE("GetLockState reads the toggle bits") {
        FakeScope scope;
        auto& f = scope.fake;
        CHECK(GetLockState() == 0);
        f.SetToggle(VK_CAPITAL, true);
        CHECK(GetLockState() == LOCK_CAPS);
        f.SetToggle(VK_NUMLOCK, true);
        f.SetToggle(VK_SCROLL, true);
        CHECK(GetLockState() == (LOCK_CAPS | LOCK_SCROLL | LOCK_NUM));
        f.SetToggle(VK_CAPITAL, false);
        f.HoldKey(VK_CAPITAL);  // held but not toggled
        CHECK(GetLockState() == (LOCK_SCROLL | LOCK_NUM));
    }
}

TEST_SUITE("host window") {
    struct HostRecord {
        std::vector<std::uint32_t> msgs;
        std::uint8_t modifiers = 0;
    };

    TEST_CASE("VantorCommonInit finds the host and reads the platform") {
        FakeScope scope;
        HWnd host = scope.fake.AddWindow(u"Vantor32", u"Vantor32");
        scope.fake.AddWindow(u"Vantor32", u"other title");
        scope.fake.platformId = 1;
        VantorCommonInit();
        CHECK(HostWindow == host);
        CHECK_FALSE(PlatformIsNT);
        CHECK(ModifierState == 0);
        VantorCommonDone();
        scope.fake.platformId = 2;
        VantorCommonInit();
        CHECK(PlatformIsNT);
        VantorCommonDone();
        CHECK(HostWindow == 0);
    }

    TEST_CASE("a window with only the class or only the title is not the host") {
        FakeScope scope;
        scope.fake.AddWindow(u"Vantor32", u"");
        scope.fake.AddWindow(u"Edit", u"Vantor32");
        CHECK(FindHostWindow() == 0);
    }

    TEST_CASE("without a host nothing is sent and the answers are 0") {
        FakeScope scope;
        VantorCommonInit();
        REQUIRE(HostWindow == 0);
        CHECK(GetHookFromHost() == 0);
        CHECK(GetHostModifiers() == 0);
        SendHostModifiers(0x0E);
        CHECK(scope.fake.sent.empty());
        VantorCommonDone();
    }

    TEST_CASE("a normal host answers the hook, keeps and returns the modifiers") {
        FakeScope scope;
        HostRecord rec;
        HWnd host = scope.fake.AddWindow(u"Vantor32", u"Vantor32",
                                         [&rec](HWnd, std::uint32_t msg, WParam w, LParam) {
                                             rec.msgs.push_back(msg);
                                             if (msg == WM_HOST_GETHOOK) return LResult(0x20001);
                                             if (msg == WM_HOST_GETMODIFIERS)
                                                 return LResult(0x1200 | rec.modifiers);
                                             if (msg == WM_HOST_SETMODIFIERS)
                                                 rec.modifiers = static_cast<std::uint8_t>(w);
                                             return LResult(0);
                                         });
        VantorCommonInit();
        REQUIRE(HostWindow == host);
        CHECK(GetHookFromHost() == 0x20001);
        SendHostModifiers(0x0E);
        CHECK(GetHostModifiers() == 0x0E);  // only the low byte
        REQUIRE(scope.fake.sent.size() == 3);
        CHECK(scope.fake.sent[1].msg == WM_HOST_SETMODIFIERS);
        CHECK(scope.fake.sent[1].wParam == 0x0E);
        CHECK(scope.fake.sent[1].lParam == 0);
        CHECK(rec.msgs == std::vector<std::uint32_t>{WM_HOST_GETHOOK, WM_HOST_SETMODIFIERS,
                                                     WM_HOST_GETMODIFIERS});
        VantorCommonDone();
    }

    TEST_CASE("a hung host counts as no answer and is waited for once a second at most") {
        FakeScope scope;
        int handled = 0;
        HWnd host = scope.fake.AddWindow(u"Vantor32", u"Vantor32",
                                         [&handled](HWnd, std::uint32_t, WParam, LParam) {
                                             ++handled;
                                             return LResult(0x55);
                                         });
        VantorCommonInit();
        scope.fake.SetHung(host, true);
        CHECK(GetHookFromHost() == 0);
        CHECK(GetHostModifiers() == 0);
        SendHostModifiers(1);
        CHECK(handled == 0);
        CHECK(scope.fake.sent.size() == 1);  // one wait; the others count as no answer
        scope.fake.tickCount += kHostRetryMs - 1;
        CHECK(GetHostModifiers() == 0);
        CHECK(scope.fake.sent.size() == 1);
        scope.fake.tickCount += 1;  // a second on: one more try, still hung
        CHECK(GetHostModifiers() == 0);
        CHECK(scope.fake.sent.size() == 2);
        scope.fake.SetHung(host, false);
        scope.fake.tickCount += kHostRetryMs;
        // The host answers again: every message goes to it as before.
        CHECK(GetHostModifiers() == 0x55);
        SendHostModifiers(1);
        CHECK(GetHookFromHost() == 0x55);
        CHECK(handled == 3);
        VantorCommonDone();
    }

    TEST_CASE("a host that went away answers nothing") {
        FakeScope scope;
        HWnd host = scope.fake.AddWindow(u"Vantor32", u"Vantor32");
        VantorCommonInit();
        scope.fake.RemoveWindow(host);
        CHECK(GetHookFromHost() == 0);
        CHECK(GetHostModifiers() == 0);
        VantorCommonDone();
    }

    TEST_CASE("the host is looked up only at load") {
        FakeScope scope;
        VantorCommonInit();
        scope.fake.AddWindow(u"Vantor32", u"Vantor32");
        CHECK(HostWindow == 0);
        CHECK(GetHostModifiers() == 0);
        VantorCommonDone();
    }
}
