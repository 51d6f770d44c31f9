// The hook procedure against the fake platform: what it logs, what it tells the host,
// what reaches the pipeline, and that nothing escapes it.
#include <doctest/doctest.h>

#include <algorithm>
#include <stdexcept>

#include "FakePlatform.h"
#include "common/DebugWindowInterface.h"
#include "common/Vantor.Utils.h"
#include "hook/Vt32Util.h"
#include "hook/VtSend.h"

using namespace vt;

namespace {

const std::u16string kSettings = u"Software\\Quellmark\\Vantor32\\Settings";
constexpr HHook kHostHook = 0x4242;

struct HookFixture : FakeScope {
    HWnd host = 0;
    std::uint8_t hostByte = 0;
    std::vector<WParam> reported;  // WM_HOST_SETMODIFIERS
    int getHook = 0, getModifiers = 0;

    explicit HookFixture(bool withHost = true) {
        if (withHost) {
            host = fake.AddWindow(u"Vantor32", u"Vantor32",
                                  [this](HWnd, std::uint32_t msg, WParam w, LParam) -> LResult {
                                      if (msg == WM_HOST_GETHOOK) {
                                          ++getHook;
                                          return static_cast<LResult>(kHostHook);
                                      }
                                      if (msg == WM_HOST_GETMODIFIERS) {
                                          ++getModifiers;
                                          return hostByte;
                                      }
                                      if (msg == WM_HOST_SETMODIFIERS) reported.push_back(w);
                                      return 0;
                                  });
        }
        LibraryLoad();
        HookHandle = 0;
        ResetPlayback();
        PlaybackCounter() = 0;
    }
    ~HookFixture() { LibraryUnload(); }

    void SetOption(const std::u16string& name, std::uint8_t value) {
        fake.SetRegBinary(HKEY_CURRENT_USER, kSettings, name, {value});
    }
    void SetMacro(const std::u16string& valueName, const std::u16string& text) {
        fake.SetRegString(HKEY_CURRENT_USER, kMacroTableAltGr, valueName, text);
    }
    LResult Press(std::uint16_t vk, std::uint32_t scan, std::uint32_t extra = 0, int code = 0) {
        return KeyboardProc(code, vk, static_cast<LParam>(0x00000001u | (scan << 16) | extra));
    }
    LResult Release(std::uint16_t vk, std::uint32_t scan, int code = 0) {
        return KeyboardProc(code, vk, static_cast<LParam>(0xC0000001u | (scan << 16)));
    }
    // The injected events from number `from` on, read by the program: each goes through
    // the hook as Windows hands it over (the generic modifier key, scan code, extended
    // flag, release bits). Returns what the hook returned for the last one.
    LResult Replay(std::size_t from = 0, std::size_t count = SIZE_MAX) {
        LResult last = 0;
        for (std::size_t i = from; i < fake.injected.size() && count-- != 0; ++i) {
            const KeyInput& in = fake.injected[i].input;
            std::uint32_t vk = in.wVk;
            if (vk == VK_LSHIFT || vk == VK_RSHIFT) vk = VK_SHIFT;
            if (vk == VK_LCONTROL || vk == VK_RCONTROL) vk = VK_CONTROL;
            if (vk == VK_LMENU || vk == VK_RMENU) vk = VK_MENU;
            std::uint32_t data = 1u | ((in.wScan & 0xFFu) << 16);
            if (in.dwFlags & KEYEVENTF_EXTENDEDKEY) data |= 1u << 24;
            if (in.dwFlags & KEYEVENTF_KEYUP) data |= 0xC0000000u;
            last = KeyboardProc(HC_ACTION, vk, static_cast<LParam>(data));
        }
        return last;
    }
    std::vector<std::u16string> EventLines() const {
        std::vector<std::u16string> out;
        for (const auto& l : fake.debugOutput)
            if (l.rfind(u"PROCESS:", 0) == 0 || l.rfind(u"PLAYBACK(", 0) == 0) out.push_back(l);
        return out;
    }
};

}  // namespace

TEST_CASE("a key press is logged, reported to the host twice and passed on") {
    HookFixture f;
    f.fake.keyNameTexts[0x1E] = u"A";
    f.fake.nextHookResult = 77;
    CHECK(f.Press('A', 0x1E) == 77);
    REQUIRE(f.EventLines().size() == 1);
    CHECK(f.EventLines()[0] ==
          u"PROCESS:\tVK:0041\tSC:1E\tRC:1\tFlags:xiidmarl\t[A]\tDN\t00000000");
    CHECK(HookHandle == kHostHook);  // learned from the host
    REQUIRE(f.fake.nextHookCalls.size() == 1);
    CHECK(f.fake.nextHookCalls[0].hook == kHostHook);
    CHECK(f.reported.size() == 2);
    CHECK(f.getModifiers == 1);
}

TEST_CASE("the hook handle is asked for only until the host has answered") {
    HookFixture f;
    f.Press('A', 0x1E);
    f.Press('B', 0x30);
    CHECK(f.getHook == 1);
}

TEST_CASE(
    "a call with HC_NOREMOVE writes no line, takes no snapshot and echoes the host byte once") {
    HookFixture f;
    f.hostByte = 0x09;
    f.fake.HoldKey(VK_SHIFT);  // a snapshot would report 0x01
    f.Press('A', 0x1E, 0, HC_NOREMOVE);
    CHECK(f.EventLines().empty());
    REQUIRE(f.reported.size() == 1);
    CHECK(f.reported[0] == 0x09);
    CHECK(f.fake.nextHookCalls.size() == 1);
}

TEST_CASE("modifier keys are logged and reported but never converted") {
    HookFixture f;
    f.SetOption(u"Vantor eingeschaltet", 1);
    for (std::uint16_t vk : {VK_SHIFT, VK_CONTROL, VK_MENU, VK_LWIN, VK_RWIN}) {
        // A macro for the key itself must not fire.
        f.SetMacro(MacroValueName(MacroKey(vk, 0)), u"x");
        f.fake.injected.clear();
        f.Press(vk, 0x2A);
        CHECK(f.fake.injected.empty());
    }
    CHECK(f.EventLines().size() == 5);
    CHECK(f.reported.size() == 10);
}

TEST_CASE("a release is never swallowed, also when its press was") {
    HookFixture f;
    f.SetOption(u"Vantor eingeschaltet", 1);
    f.SetMacro(u"00000041", u"x");
    CHECK(f.Press('A', 0x1E) == 1);
    CHECK(f.fake.nextHookCalls.empty());
    f.fake.nextHookResult = 5;
    CHECK(f.Replay() == 5);  // the text has arrived
    CHECK(f.Release('A', 0x1E) == 5);
}

TEST_CASE("an auto-repeated press reaches the pipeline like a first press") {
    HookFixture f;
    f.SetOption(u"Vantor eingeschaltet", 1);
    f.SetMacro(u"00000041", u"x");
    CHECK(f.Press('A', 0x1E, 0x40000000u) == 1);
}

TEST_CASE("the marker brackets playback: counter before the decrement, release says PROCESS") {
    HookFixture f;
    f.SetOption(u"Vantor eingeschaltet", 1);
    f.SetMacro(u"00000041", u"x");
    f.SetMacro(u"00000058", u"!");  // an X that reached the pipeline would type "!"
    REQUIRE(f.Press('A', 0x1E) == 1);
    REQUIRE(f.fake.injected.size() == 4);  // marker, X press and release, marker
    CHECK(PlaybackCounter() == 4);
    f.fake.debugOutput.clear();
    f.fake.nextHookResult = 3;
    CHECK(f.Replay(0, 1) == 3);  // the marker itself goes on like any other key
    CHECK(PlaybackActive());
    CHECK(f.Replay(1, 1) == 3);  // not converted during playback
    f.Replay(2, 1);
    CHECK(f.Replay(3, 1) == 3);
    CHECK_FALSE(PlaybackActive());
    CHECK(f.fake.nextHookCalls.size() == 4);
    CHECK(f.fake.injected.size() == 4);
    auto lines = f.EventLines();
    REQUIRE(lines.size() == 4);
    CHECK(lines[0].rfind(u"PLAYBACK(4):\tVK:00FF", 0) == 0);
    CHECK(lines[1].rfind(u"PLAYBACK(3):\tVK:0058", 0) == 0);
    CHECK(lines[2].rfind(u"PLAYBACK(2):\tVK:0058", 0) == 0);
    CHECK(lines[3].rfind(u"PROCESS:\tVK:00FF", 0) == 0);
    CHECK(PlaybackCounter() == 1);
}

TEST_CASE("a process without a host window converts and logs all the same") {
    HookFixture f(false);
    f.SetOption(u"Vantor eingeschaltet", 1);
    f.SetMacro(u"00000041", u"x");
    CHECK(f.Press('A', 0x1E) == 1);
    CHECK(f.EventLines().size() == 1);
    CHECK(HookHandle == 0);
    CHECK(f.fake.sent.empty());
}

TEST_CASE("a hung host costs one wait per hook call and none in the second after it") {
    HookFixture f;
    f.fake.SetHung(f.host, true);
    f.fake.HoldKey(VK_SHIFT);
    f.Press('A', 0x1E);
    CHECK(HookHandle == 0);
    CHECK(f.EventLines().size() == 1);
    CHECK(ModifierState == 0x01);
    CHECK(f.fake.sent.size() == 1);
    f.Release('A', 0x1E);
    CHECK(f.fake.sent.size() == 1);
    f.fake.HoldKey(VK_SHIFT, false);
    // A call that outlasts the second (a program start) still waits only once.
    f.SetOption(u"Vantor eingeschaltet", 1);
    f.SetMacro(u"00000042", u"^prog.exe");
    f.fake.shellExecuteResult = [&](const ShellExecuteInfo&) {
        f.fake.tickCount += 5000;
        return true;
    };
    f.fake.tickCount += kHostRetryMs;
    CHECK(f.Press('B', 0x30) == 1);
    CHECK(f.fake.sent.size() == 2);
    // Once the host answers, every call has its full traffic again.
    f.fake.SetHung(f.host, false);
    f.fake.tickCount += kHostRetryMs;
    f.fake.sent.clear();
    f.Press('C', 0x2E);
    CHECK(HookHandle == kHostHook);
    CHECK(f.fake.sent.size() == 4);
    CHECK(f.reported == std::vector<WParam>{0, 0});
}

TEST_CASE("with nobody listening no line is built and the viewer is looked for once a call") {
    HookFixture f;
    f.fake.debuggerPresent = false;
    f.SetOption(u"Vantor eingeschaltet", 1);
    f.SetMacro(u"00000041", u"xy");
    f.fake.counts = {};
    CHECK(f.Press('A', 0x1E) == 1);
    CHECK(f.fake.injected.size() == 6);  // marker, x, y, marker: the text is typed
    CHECK(f.fake.debugOutput.empty());
    CHECK(f.fake.counts.windows == 1);
    CHECK(f.fake.counts.debugLines == 0);
    // A call that logs nothing (HC_NOREMOVE) does not look at all.
    f.fake.counts = {};
    f.Press('A', 0x1E, 0, 3);
    CHECK(f.fake.counts.windows == 0);
}

TEST_CASE("an error inside the hook is contained, logged, and the key passed on") {
    HookFixture f;
    // Without its option store the pipeline raises its error.
    Options.reset();
    f.fake.nextHookResult = 9;
    CHECK(f.Press('A', 0x1E) == 9);
    bool logged = false;
    for (const auto& l : f.fake.debugOutput)
        if (l.find(u"Options not open") != std::u16string::npos) logged = true;
    CHECK(logged);
}

TEST_CASE("every switch stored with a wrong type: the keys pass, each call tells the host") {
    HookFixture f;
    for (const auto& name : OptionValueNames)
        f.fake.SetRegDword(HKEY_CURRENT_USER, kSettings, name, 1);
    f.SetMacro(u"00000041", u"never");
    f.fake.nextHookResult = 7;
    CHECK(f.Press('A', 0x1E) == 7);
    CHECK(f.Release('A', 0x1E) == 7);
    CHECK(f.Press(VK_OEM_2, 0x35) == 7);
    CHECK(f.Release(VK_OEM_2, 0x35) == 7);
    CHECK(f.fake.injected.empty());
    CHECK(f.fake.nextHookCalls.size() == 4);
    // the modifier byte asked for once and reported twice in every call
    CHECK(f.getModifiers == 4);
    CHECK(f.reported.size() == 8);
}

TEST_CASE("Install switches the hook on and off and reports the handle as it stands") {
    HookFixture f(false);
    HHook first = Install(true);
    CHECK(first != 0);
    HHook second = Install(true);  // a second hook; only the newest handle is kept
    CHECK(second != first);
    CHECK(Install(false) == 0);
    CHECK(f.fake.hooks.count(first) == 1);
    CHECK(Install(false) == 0);  // nothing installed: unhooking 0 fails, 0 stays

    f.fake.failSetHook = true;
    CHECK(Install(true) == 0);
}

TEST_CASE("a nested call for the key being converted does not run its macro again") {
    HookFixture f;
    f.SetOption(u"Vantor eingeschaltet", 1);
    f.SetMacro(u"00000041", u"^prog.exe");
    int starts = 0;
    LResult nested = 0;
    // The shell's message loop inside ShellExecuteExW hands the same message to the hook.
    f.fake.shellExecuteResult = [&](const ShellExecuteInfo&) {
        if (++starts == 1) nested = f.Press('A', 0x1E);
        return true;
    };
    CHECK(f.Press('A', 0x1E) == 1);
    CHECK(starts == 1);
    CHECK(nested == 1);
    // Another key typed meanwhile is converted as usual.
    f.SetMacro(u"00000042", u"b");
    f.fake.shellExecuteResult = [&](const ShellExecuteInfo&) {
        nested = f.Press('B', 0x30);
        return true;
    };
    f.fake.injected.clear();
    f.Press('A', 0x1E);
    CHECK(nested == 1);
    CHECK_FALSE(f.fake.injected.empty());
}

TEST_CASE("an error after a macro typed in the key's place still swallows the key") {
    HookFixture f;
    f.SetOption(u"Vantor eingeschaltet", 1);
    // *7 toggles EasyTab, in a key this program may read but not write.
    f.fake.ProtectRegKey(HKEY_CURRENT_USER, kSettings);
    f.SetMacro(u"00000041", u"^prog^abc^*7");
    CHECK(f.Press('A', 0x1E) == 1);
    CHECK_FALSE(f.fake.injected.empty());
    CHECK(f.fake.nextHookCalls.empty());
    bool logged = false;
    for (const auto& l : f.fake.debugOutput)
        if (l == u"ConvertKey: Fehler beim Setzen der Daten für 'EasyTab'") logged = true;
    CHECK(logged);
}

namespace {

// A program reading its input queue: every event goes through the hook first (the
// thread's state is still the one before it); a letter key that the hook passes on
// types its letter, upper case with Shift, nothing with Ctrl or Alt held (a shortcut).
struct TypingFixture : HookFixture {
    std::string typed;
    std::uint32_t msPerEvent = 0;

    TypingFixture() {
        fake.UseUsLayout();
        fake.queueInput = true;
        SetOption(u"Vantor eingeschaltet", 1);
        SetMacro(u"00080045", u"xyz");  // AltGr+E
    }
    void Key(int vk, bool down, bool extended = false) { fake.QueueUserKey(vk, down, extended); }
    void Tap(int vk) {
        Key(vk, true);
        Key(vk, false);
    }
    bool Down(int vk) { return fake.GetKeyState(vk) < 0; }
    // Reads the queue (at most `events` of it) as the program does.
    void Read(int events = -1) {
        while (events-- != 0 && fake.ReadInput([this](WParam w, LParam l) {
            fake.tickCount += msPerEvent;
            if (KeyboardProc(HC_ACTION, w, l) == 1) return;
            if ((l & 0x80000000) || w < 'A' || w > 'Z') return;
            if (Down(VK_CONTROL) || Down(VK_MENU)) return;
            typed += static_cast<char>(Down(VK_SHIFT) ? w : w + 0x20);
        })) {
        }
    }
};

struct QueuedKeyCopy {
    FakePlatform::QueuedKey key;
};

}  // namespace

TEST_CASE("right Shift held: Shift+Ä types Ae, and right Shift is back while still held") {
    TypingFixture f;
    f.SetOption(u"Umlautwandlung", 1);
    f.fake.SetRegString(HKEY_CURRENT_USER, kMacroTableAscii, MacroValueName(MacroKey(0xDE, 0x01)),
                        u"Ae");
    f.Key(VK_RSHIFT, true);
    f.Tap(0xDE);
    f.Read();
    CHECK(f.typed == "Ae");
    CHECK(f.Down(VK_RSHIFT));
    CHECK_FALSE(f.Down(VK_LSHIFT));
    f.Key(VK_RSHIFT, false);
    f.Tap('B');
    f.Read();
    CHECK(f.typed == "Aeb");
}

TEST_CASE("a modifier let go of while its text is being injected is not left down") {
    TypingFixture f;
    f.Key(VK_RMENU, true, true);
    f.Key('E', true);
    // The user lets go of AltGr while the hook injects the text: the release lands
    // between the text's keys, before the hook puts right Alt back.
    f.fake.onInject = [&](const KeyInput& in) {
        if (in.wVk == 'Y' && !(in.dwFlags & KEYEVENTF_KEYUP)) f.Key(VK_RMENU, false, true);
    };
    f.Read();
    f.fake.onInject = nullptr;
    CHECK(f.typed == "xyz");
    CHECK_FALSE(f.Down(VK_MENU));
    f.Key('E', false);
    f.Tap('Q');
    f.Read();
    CHECK(f.typed == "xyzq");
}

TEST_CASE("a text stays unconverted however slowly it is read; a key reporting the marker's code is the user's") {
    TypingFixture f;
    f.SetMacro(u"00000041", u"q");  // a plain A would type "q" if it were converted
    f.SetMacro(u"00080044", std::u16string(5000, u'a'));
    f.msPerEvent = 5;  // 10,000 events: 50 s in all

    f.Key(VK_RMENU, true, true);
    f.Tap('D');
    f.Key(VK_RMENU, false, true);
    f.Read(2);
    f.Read(4000);
    f.fake.tickCount += 1500;  // the program stalls in the middle of the text
    f.Read();
    CHECK(f.typed == std::string(5000, 'a'));

    // A key that reports the marker's code, pressed and never released, carries no tag
    // of ours: typing goes on converted at once.
    f.typed.clear();
    f.Key(0xFF, true);
    f.Tap('A');
    f.Read();
    CHECK(f.typed == "q");
    f.Key(VK_RMENU, true, true);
    f.Tap('E');
    f.Key(VK_RMENU, false, true);
    f.Read();
    CHECK(f.typed == "qxyz");
    CHECK_FALSE(PlaybackActive());
}

TEST_CASE("a macro typing two texts keeps them in order, and keys typed after it behind both") {
    TypingFixture f;
    f.SetMacro(u"00080045", u"^prog^xy^uv");
    f.Key(VK_RMENU, true, true);
    f.Key('E', true);
    f.Read(2);
    f.Key('E', false);
    f.Key(VK_RMENU, false, true);
    f.Tap('Q');
    f.Read();
    CHECK(f.typed == "xyuvq");
    CHECK_FALSE(f.Down(VK_MENU));
}

TEST_CASE("keys held back behind a text that never arrives come through once, in order") {
    TypingFixture f;
    f.Key(VK_RMENU, true, true);
    f.Key('E', true);
    f.Read(2);
    // The text goes to another program: the focus moved before it was queued here.
    f.fake.inputQueue.clear();
    f.Key('E', false);
    f.Key(VK_RMENU, false, true);
    f.Tap('Q');
    f.Tap('W');
    f.Read();
    CHECK(f.typed == "qw");
    CHECK_FALSE(f.Down(VK_MENU));
    int resentQ = 0;
    for (const auto& e : f.fake.injected) resentQ += e.input.wVk == 'Q';
    CHECK(resentQ == 2);  // press and release, once each
}

TEST_CASE("a Unicode key event held back behind a text comes back with its character") {
    TypingFixture f;
    f.Key(VK_RMENU, true, true);
    f.Tap('E');
    f.Key(VK_RMENU, false, true);
    // An on-screen keyboard types a euro sign right after the trigger.
    KeyInput euro;
    euro.wScan = 0x20AC;
    euro.dwFlags = KEYEVENTF_UNICODE;
    f.fake.SendInput(euro);
    euro.dwFlags |= KEYEVENTF_KEYUP;
    f.fake.SendInput(euro);
    f.fake.injected.clear();
    f.Read();
    CHECK(f.typed == "xyz");
    std::vector<std::uint32_t> sentAgain;
    for (const auto& e : f.fake.injected) {
        if (e.input.dwFlags & KEYEVENTF_UNICODE) {
            CHECK(e.input.wScan == 0x20AC);
            CHECK(e.input.wVk == 0);
            sentAgain.push_back(e.input.dwFlags);
        }
    }
    // press and release, once each, in that order, behind the text
    CHECK(sentAgain == std::vector<std::uint32_t>{KEYEVENTF_UNICODE, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP});
    CHECK(f.fake.inputQueue.empty());
}

TEST_CASE("each input thread follows its own texts") {
    TypingFixture f;
    const std::uint32_t first = f.fake.currentThreadId, second = first + 4;
    f.SetMacro(u"00000044", u"xyz");  // D
    // The first thread's trigger: its text is on the way to that thread.
    f.Key('D', true);
    f.Read(1);
    std::vector<QueuedKeyCopy> text;
    for (const auto& k : f.fake.inputQueue) text.push_back({k});
    f.fake.inputQueue.clear();
    // A key read by another thread of the program is that thread's: not held back.
    f.fake.currentThreadId = second;
    f.Tap('Q');
    f.Read();
    CHECK(f.typed == "q");
    CHECK(std::none_of(f.fake.injected.begin(), f.fake.injected.end(),
                       [](const FakePlatform::Injected& e) { return e.input.wVk == 'Q'; }));
    // Back on the first thread, its text arrives unconverted, the keys after it follow.
    f.fake.currentThreadId = first;
    for (const auto& k : text) f.fake.inputQueue.push_back(k.key);
    f.Key('D', false);
    f.Tap('W');
    f.Read();
    CHECK(f.typed == "qxyzw");
    CHECK_FALSE(f.Down(VK_MENU));
}

TEST_CASE("a key stays swallowed once a step acted in its place, whatever fails after") {
    HookFixture f;
    f.SetOption(u"Vantor eingeschaltet", 1);
    f.fake.nextHookResult = 9;
    SUBCASE("an option written, then the sound switch cannot be read") {
        f.fake.SetRegDword(HKEY_CURRENT_USER, kSettings, u"Piepsen bei Umschaltungen", 1);
        f.fake.HoldKey(VK_RMENU);
        CHECK(f.Press(VK_F1, 0x3B) == 1);
        CHECK(f.fake.GetRegValue(HKEY_CURRENT_USER, kSettings, u"Vantor eingeschaltet")->data ==
              std::vector<std::uint8_t>{0});
    }
    SUBCASE("a program started, then an option cannot be read") {
        f.fake.SetRegDword(HKEY_CURRENT_USER, kSettings, u"EasyTab", 1);
        f.SetMacro(u"00000041", u"^prog^*7");
        CHECK(f.Press('A', 0x1E) == 1);
        CHECK(f.fake.shellExecutes.size() == 1);
        CHECK(f.fake.injected.empty());
    }
    SUBCASE("a text typed, then a failure of another kind") {
        f.SetMacro(u"00000041", u"ab");
        f.fake.onInject = [](const KeyInput& in) {
            if (in.wVk == 'B') throw std::runtime_error("injection failed");
        };
        CHECK(f.Press('A', 0x1E) == 1);
        CHECK(std::count(f.fake.debugOutput.begin(), f.fake.debugOutput.end(),
                         u"ConvertKey: injection failed") == 1);
    }
    SUBCASE("nothing done yet: an error of any type is contained and the key passed on") {
        f.SetMacro(u"00000041", u"^prog");
        f.fake.shellExecuteResult = [](const ShellExecuteInfo&) -> bool { throw 42; };
        CHECK(f.Press('A', 0x1E) == 9);
        CHECK(std::count(f.fake.debugOutput.begin(), f.fake.debugOutput.end(),
                         u"KeyboardProc: unknown error") == 1);
        CHECK(f.reported.size() == 2);  // the host still hears the end of the call
    }
}

TEST_CASE("in the installing process a key for another process's window passes unconverted") {
    // Windows runs the hook for a program of the other bitness in the installing thread;
    // the library inside that program converts the key, this copy only passes it on.
    HookFixture f;
    f.SetOption(u"Vantor eingeschaltet", 1);
    f.SetMacro(u"00000041", u"xy");
    HWnd other = f.fake.AddWindow(u"Notepad", u"32-Bit-Programm");
    f.fake.windowProcesses[other] = 0x5000;
    HWnd own = f.fake.AddWindow(u"Own", u"Own");
    const HHook installed = Install(true);
    REQUIRE(installed != 0);

    f.fake.foreground = other;
    f.fake.nextHookResult = 5;
    CHECK(f.Press('A', 0x1E) == 5);
    CHECK(f.fake.injected.empty());
    CHECK(f.EventLines().empty());
    CHECK(f.reported.empty());
    REQUIRE(f.fake.nextHookCalls.size() == 1);
    CHECK(f.fake.nextHookCalls[0].hook == installed);

    // The installing process's own window, or none in front: converted as always.
    for (HWnd front : {own, HWnd{0}}) {
        f.fake.injected.clear();
        f.fake.foreground = front;
        CHECK(f.Press('A', 0x1E) == 1);
        CHECK_FALSE(f.fake.injected.empty());
    }

    // Once the hook is removed this process is an ordinary one again.
    REQUIRE(Install(false) == 0);
    f.fake.injected.clear();
    f.fake.foreground = other;
    CHECK(f.Press('A', 0x1E) == 1);
    CHECK_FALSE(f.fake.injected.empty());
}
