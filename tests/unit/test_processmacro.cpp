// Macro execution: typed macros, the command language of "^" macros, program starts
// and the environment expansion they use.
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "FakePlatform.h"
#include "common/Vantor.Utils.h"
#include "hook/VtConvert.h"

using namespace vt;

namespace {

// The texts handed to SendText, one per call, rebuilt from its per-character log lines
// ("vk=\"%s\"(%d)=...") between the marker presses.
std::vector<std::u16string> TypedTexts(const FakePlatform& fake) {
    std::vector<std::u16string> texts;
    for (const auto& line : fake.debugOutput) {
        if (line.rfind(u"4.AddVK\tVK:00FF\t", 0) == 0) {
            if (line.find(u"]\tDN") != std::u16string::npos) texts.emplace_back();
            continue;
        }
        if (texts.empty() || line.rfind(u"vk=\"", 0) != 0 || line.size() < 8) continue;
        if (line[5] != u'"' || line[6] != u'(') continue;
        long code = 0;
        for (std::size_t i = 7; i < line.size() && line[i] != u')'; ++i)
            code = code * 10 + (line[i] - u'0');
        texts.back() += static_cast<char16_t>(code);
    }
    return texts;
}

std::vector<std::u16string> LinesStarting(const FakePlatform& fake, const std::u16string& prefix) {
    std::vector<std::u16string> lines;
    for (const auto& l : fake.debugOutput)
        if (l.rfind(prefix, 0) == 0) lines.push_back(l);
    return lines;
}

using Texts = std::vector<std::u16string>;

struct MacroScene {
    FakeScope scope;
    FakePlatform& fake = scope.fake;
    KeyEvent event;
    KeyContext context{event};

    MacroScene() {
        VantorUtilsInit();
        ModifierState = 0;
        HostWindow = 0;
        PlatformIsNT = true;
        event.VirtualKey = 0x45;
        fake.localTime = SystemTime{2026, 12, 1, 7, 21, 5, 9, 0};
        fake.localeInfo[LOCALE_SLONGDATE] = u"dddd, d. MMMM yyyy";
        fake.localeInfo[LOCALE_STIMEFORMAT] = u"HH:mm:ss";
    }
    ~MacroScene() {
        VantorUtilsDone();
        HostWindow = 0;
    }
    std::u16string Settings() const { return kDefaultRegPath + u"Settings"; }
    void SetOption(AOption option, std::uint8_t value) {
        fake.SetRegBinary(HKEY_CURRENT_USER, Settings(), OptionValueNames[option], {value});
    }
    std::uint8_t Option(AOption option) { return Options->GetOption(option); }
    void Run(const std::u16string& text) { ProcessMacro(text, context); }
};

}  // namespace

TEST_CASE("typed macros") {
    MacroScene s;

    SUBCASE("a text without a leading caret is typed and swallows the key") {
        s.Run(u"Hallo");
        CHECK(s.fake.debugOutput.front() == u"PROCESSMACRO: <Hallo>");
        CHECK(TypedTexts(s.fake) == Texts{u"Hallo"});
        CHECK(s.context.Verdict == 2);
    }
    SUBCASE("a typed macro never starts a program or runs a command") {
        s.fake.AddWindow(kHostWindowName, kHostWindowName);
        s.Run(u"x^notepad.exe*9*1^");
        CHECK(TypedTexts(s.fake) == Texts{u"x^notepad.exe*9*1^"});
        CHECK(s.fake.shellExecutes.empty());
        CHECK(s.fake.posted.empty());
        CHECK(s.Option(OPT_MAIN) == 0);
        CHECK(s.context.Verdict == 2);
    }
    SUBCASE("an empty text does nothing but its line") {
        s.Run(u"");
        CHECK(s.fake.debugOutput == Texts{u"PROCESSMACRO: <>"});
        CHECK(s.context.Verdict == 0);
    }
}

TEST_CASE("command macros: segments") {
    MacroScene s;

    SUBCASE("a caret alone is typed") {
        s.Run(u"^");
        CHECK(TypedTexts(s.fake) == Texts{u"^"});
        CHECK(s.fake.shellExecutes.empty());
        CHECK(LinesStarting(s.fake, u"ProcessMacro.Execute: ") ==
              Texts{u"ProcessMacro.Execute: <^>"});
        CHECK(s.context.Verdict == 2);
    }
    SUBCASE("a star at the end does nothing, so ^* types the caret") {
        s.Run(u"^*");
        CHECK(TypedTexts(s.fake) == Texts{u"^"});
        CHECK(s.fake.shellExecutes.empty());
    }
    SUBCASE("the segment after a caret is typed without anything in front") {
        s.Run(u"^^abc");
        CHECK(TypedTexts(s.fake) == Texts{u"^", u"abc"});
        CHECK(LinesStarting(s.fake, u"ProcessMacro.Execute: ") ==
              Texts{u"ProcessMacro.Execute: <^>", u"ProcessMacro.Execute: <abc>"});
    }
    SUBCASE("only the first segment can start a program") {
        s.Run(u"^prog.exe^text^^more");
        REQUIRE(s.fake.shellExecutes.size() == 1);
        CHECK(s.fake.shellExecutes[0].lpFile == u"prog.exe");
        CHECK(TypedTexts(s.fake) == Texts{u"text", u"more"});
        CHECK(LinesStarting(s.fake, u"ProcessMacro.Execute: ") ==
              Texts{u"ProcessMacro.Execute: <^prog.exe>", u"ProcessMacro.Execute: <text>",
                    u"ProcessMacro.Execute: <>", u"ProcessMacro.Execute: <more>"});
    }
    SUBCASE("empty segments are logged and do nothing") {
        s.Run(u"^*0");
        CHECK(TypedTexts(s.fake).empty());
        CHECK(LinesStarting(s.fake, u"ProcessMacro.Execute: ") ==
              Texts{u"ProcessMacro.Execute: <>"});
        CHECK(s.context.Verdict == 2);
    }
    SUBCASE("a command empties the collected text") {
        s.Run(u"^Today *0tail");
        CHECK(TypedTexts(s.fake) == Texts{u"tail"});
        CHECK(s.fake.shellExecutes.empty());
    }
    SUBCASE("unknown and inert commands do nothing") {
        s.fake.AddWindow(kHostWindowName, kHostWindowName);
        s.Run(u"^*0*5*6*x**4*4x");
        CHECK(TypedTexts(s.fake).empty());
        CHECK(s.fake.posted.empty());
        CHECK(s.Option(OPT_MAIN) == 0);
        CHECK(s.context.Verdict == 2);
    }
    SUBCASE("*4 at the end does nothing") {
        s.Run(u"^*4");
        CHECK(TypedTexts(s.fake).empty());
        CHECK(s.context.Verdict == 2);
    }
}

TEST_CASE("command macros: program starts") {
    MacroScene s;

    SUBCASE("an unquoted command is the program, with no parameters") {
        s.Run(u"^notepad.exe");
        REQUIRE(s.fake.shellExecutes.size() == 1);
        const ShellExecuteInfo& info = s.fake.shellExecutes[0];
        CHECK(info.fMask == SEE_MASK_DOENVSUBST);
        CHECK(info.hwnd == 0);
        CHECK(info.lpVerb.empty());
        CHECK(info.lpFile == u"notepad.exe");
        CHECK(info.lpParameters.empty());
        CHECK(info.lpDirectory.empty());
        CHECK(info.nShow == SW_SHOWNORMAL);
        CHECK(s.fake.messageBeeps.empty());
        CHECK(TypedTexts(s.fake).empty());
        CHECK(LinesStarting(s.fake, u"ProcessMacro.Execute.wnd") ==
              Texts{u"ProcessMacro.Execute.wnd: <0>"});
        CHECK(s.context.Verdict == 2);
    }
    SUBCASE("the host window owns the started program") {
        HostWindow = s.fake.AddWindow(kHostWindowName, kHostWindowName);
        s.Run(u"^calc.exe");
        REQUIRE(s.fake.shellExecutes.size() == 1);
        CHECK(s.fake.shellExecutes[0].hwnd == HostWindow);
        CHECK(LinesStarting(s.fake, u"ProcessMacro.Execute.wnd") ==
              Texts{u"ProcessMacro.Execute.wnd: <" +
                    ToU16(std::to_string(static_cast<long long>(HostWindow))) + u">"});
    }
    SUBCASE("blanks belong to the program name; a failed start beeps and the macro goes on") {
        s.fake.shellExecuteResult = [](const ShellExecuteInfo& info) {
            return info.lpFile == u"notepad.exe";
        };
        s.Run(u"^notepad.exe C:\\a.txt^after");
        REQUIRE(s.fake.shellExecutes.size() == 1);
        CHECK(s.fake.shellExecutes[0].lpFile == u"notepad.exe C:\\a.txt");
        CHECK(s.fake.shellExecutes[0].lpParameters.empty());
        CHECK(s.fake.messageBeeps == std::vector<std::uint32_t>{MB_ICONEXCLAMATION});
        CHECK(TypedTexts(s.fake) == Texts{u"after"});
        CHECK(s.context.Verdict == 2);
    }
    SUBCASE("a quoted program path takes the rest as parameters, blank included") {
        s.Run(u"^\"C:\\Program Files\\Tool\\tool.exe\" /x");
        REQUIRE(s.fake.shellExecutes.size() == 1);
        CHECK(s.fake.shellExecutes[0].lpFile == u"C:\\Program Files\\Tool\\tool.exe");
        CHECK(s.fake.shellExecutes[0].lpParameters == u" /x");
    }
    SUBCASE("a quote without a partner leaves the rest as the program") {
        s.Run(u"^\"C:\\tool.exe");
        REQUIRE(s.fake.shellExecutes.size() == 1);
        CHECK(s.fake.shellExecutes[0].lpFile == u"C:\\tool.exe");
        CHECK(s.fake.shellExecutes[0].lpParameters.empty());
    }
    SUBCASE("variables of an unquoted command are replaced") {
        s.fake.environment[u"SystemRoot"] = u"C:\\Windows";
        s.Run(u"^%SystemRoot%\\notepad.exe");
        REQUIRE(s.fake.shellExecutes.size() == 1);
        CHECK(s.fake.shellExecutes[0].lpFile == u"C:\\Windows\\notepad.exe");
    }
    SUBCASE("a quoted command is split as written: the shell expands the path") {
        s.fake.environment[u"ROOT"] = u"C:\\R";
        s.fake.environment[u"ARG"] = u"value";
        s.Run(u"^\"%ROOT%\\x.exe\" %ARG%");
        REQUIRE(s.fake.shellExecutes.size() == 1);
        CHECK(s.fake.shellExecutes[0].lpFile == u"%ROOT%\\x.exe");
        CHECK(s.fake.shellExecutes[0].lpParameters == u" %ARG%");
        CHECK(s.fake.shellExecutes[0].fMask == SEE_MASK_DOENVSUBST);
    }
    SUBCASE("a variable that brings the quotes in is split after its expansion") {
        // Splitting the text as written would cut the "%" off the reference and name a
        // program "EDITOR% notes.txt".
        s.fake.environment[u"EDITOR"] = u"\"C:\\Program Files\\Ed\\ed.exe\"";
        s.Run(u"^%EDITOR% notes.txt");
        REQUIRE(s.fake.shellExecutes.size() == 1);
        CHECK(s.fake.shellExecutes[0].lpFile == u"C:\\Program Files\\Ed\\ed.exe");
        CHECK(s.fake.shellExecutes[0].lpParameters == u" notes.txt");
    }
    SUBCASE("LaunchProgram reports the platform's answer") {
        CHECK(LaunchProgram(u"ok.exe"));
        s.fake.shellExecuteResult = [](const ShellExecuteInfo&) { return false; };
        CHECK_FALSE(LaunchProgram(u"missing.exe"));
        CHECK(s.fake.messageBeeps.empty());  // the beep is the macro's, not LaunchProgram's
    }
}

TEST_CASE("command macros: date and time") {
    MacroScene s;

    SUBCASE("*40 types the long date and nothing else") {
        s.Run(u"^*40");
        CHECK(TypedTexts(s.fake) == Texts{u"Montag, 7. Dezember 2026"});
        CHECK(s.context.Verdict == 2);
    }
    SUBCASE("the collected word before a command is dropped") {
        s.Run(u"^Today *40");
        CHECK(TypedTexts(s.fake) == Texts{u"Montag, 7. Dezember 2026"});
    }
    SUBCASE("*41 types the long time") {
        s.Run(u"^*41");
        CHECK(TypedTexts(s.fake) == Texts{u"21:05:09"});
    }
    SUBCASE("text after a command is typed as the next segment") {
        s.Run(u"^*41 Uhr");
        CHECK(TypedTexts(s.fake) == Texts{u"21:05:09", u" Uhr"});
    }
    SUBCASE("the clock is read once per command") {
        s.Run(u"^*41*41");
        CHECK(TypedTexts(s.fake) == Texts{u"21:05:09", u"21:05:09"});
        s.fake.debugOutput.clear();
        s.fake.localTime.wSecond = 10;
        s.Run(u"^*41");
        CHECK(TypedTexts(s.fake) == Texts{u"21:05:10"});
    }
    SUBCASE("*49 sets a custom pattern for both commands") {
        s.Run(u"^*49\"yyyy-mm-dd\"*40*41");
        CHECK(TypedTexts(s.fake) == Texts{u"2026-12-07", u"2026-12-07"});
    }
    SUBCASE("a used custom pattern stays that command's pattern") {
        // *49x empties the custom pattern and consumes the x; y is collected, then dropped.
        s.Run(u"^*49\"yyyy\"*40*49xy*40*41");
        CHECK(TypedTexts(s.fake) == Texts{u"2026", u"2026", u"21:05:09"});
    }
    SUBCASE("an empty custom pattern leaves the long formats") {
        s.Run(u"^*49\"\"*40");
        CHECK(TypedTexts(s.fake) == Texts{u"Montag, 7. Dezember 2026"});
    }
    SUBCASE("a missing closing quote runs the pattern to the end") {
        s.Run(u"^*49\"yyyy*40");
        CHECK(TypedTexts(s.fake).empty());
        CHECK(LinesStarting(s.fake, u"ProcessMacro.Execute: ") ==
              Texts{u"ProcessMacro.Execute: <>"});
    }
    SUBCASE("*49 cut short does nothing") {
        s.Run(u"^*49");
        CHECK(TypedTexts(s.fake).empty());
        s.Run(u"^*49\"");
        CHECK(TypedTexts(s.fake).empty());
        CHECK(s.context.Verdict == 2);
    }
}

TEST_CASE("command macros: option commands") {
    MacroScene s;

    SUBCASE("*1 switches the whole system") {
        s.Run(u"^*1");
        CHECK(s.Option(OPT_MAIN) == 1);
        s.Run(u"^*1");
        CHECK(s.Option(OPT_MAIN) == 0);
        CHECK(TypedTexts(s.fake).empty());
        CHECK(s.context.Verdict == 2);
    }
    SUBCASE("*2 with the conversion on in HTML mode switches it off and keeps HTML") {
        s.SetOption(OPT_UMLAUT, 1);
        s.SetOption(OPT_UMLAUT_MODE, UMLAUT_HTML);
        s.Run(u"^*2");
        CHECK(s.Option(OPT_UMLAUT) == 0);
        CHECK(Options->GetUmlautMode() == UMLAUT_HTML);
    }
    SUBCASE("*3 with the conversion off switches it on in HTML mode") {
        s.Run(u"^*3");
        CHECK(s.Option(OPT_UMLAUT) == 1);
        CHECK(Options->GetUmlautMode() == UMLAUT_HTML);
    }
    SUBCASE("*7 toggles EasyTab") {
        s.Run(u"^*7");
        CHECK(s.Option(OPT_EZ_TAB) == 1);
    }
    SUBCASE("*8 sets the Num Lock toggle and toggles the keypad dot") {
        s.fake.SetToggle(VK_NUMLOCK, false);
        s.Run(u"^*8");
        CHECK((s.fake.keyState[VK_NUMLOCK] & 0x01) == 0x01);
        CHECK(s.Option(OPT_NP_DOT) == 1);
        CHECK(s.fake.injected.empty());
    }
    SUBCASE("commands run in order") {
        s.Run(u"^*1*7*1");
        CHECK(s.Option(OPT_MAIN) == 0);
        CHECK(s.Option(OPT_EZ_TAB) == 1);
    }
}

TEST_CASE("command macros: the host command") {
    MacroScene s;

    SUBCASE("*9 posts the command to the host, looked up anew") {
        // HostWindow is 0: the host started after this process loaded the library.
        const HWnd host = s.fake.AddWindow(kHostWindowName, kHostWindowName);
        s.Run(u"^*9");
        REQUIRE(s.fake.posted.size() == 1);
        CHECK(s.fake.posted[0].wnd == host);
        CHECK(s.fake.posted[0].msg == WM_HOST_COMMAND);
        CHECK(s.fake.posted[0].wParam == 1);
        CHECK(s.fake.posted[0].lParam == 0);
        CHECK(s.context.Verdict == 2);
    }
    SUBCASE("*9 without a host does nothing") {
        HostWindow = 0x1234;  // a host that has gone away since the load
        s.Run(u"^*9");
        CHECK(s.fake.posted.empty());
        CHECK(s.context.Verdict == 2);
    }
}

TEST_CASE("environment expansion") {
    FakeScope scope;
    FakePlatform& fake = scope.fake;
    fake.environment[u"A"] = u"alpha";
    fake.environment[u"B"] = u"%A%-beta";

    SUBCASE("variables are replaced by their values") {
        CHECK(ExpandEnvironment(u"x%A%y") == u"xalphay");
        CHECK(ExpandEnvironment(u"%a%") == u"alpha");
        CHECK(ExpandEnvironment(u"no variables") == u"no variables");
    }
    SUBCASE("percent signs a value brings in are expanded in turn") {
        CHECK(ExpandEnvironment(u"%B%") == u"alpha-beta");
    }
    SUBCASE("unset variables, %% and a lone % become empty") {
        CHECK(ExpandEnvironment(u"a%UNSET%b") == u"ab");
        CHECK(ExpandEnvironment(u"100%%") == u"100");
        CHECK(ExpandEnvironment(u"50% off") == u"50 off");
        CHECK(ExpandEnvironment(u"%") == u"");
    }
    SUBCASE("a self-referencing variable ends") {
        fake.environment[u"LOOP"] = u"%LOOP%";
        CHECK(ExpandEnvironment(u"%LOOP%") == u"%LOOP%");
        fake.environment[u"GROW"] = u"g%GROW%";
        const std::u16string grown = ExpandEnvironment(u"%GROW%");
        CHECK(grown == std::u16string(64, u'g') + u"%GROW%");
        fake.environment[u"X"] = u"%Y%";
        fake.environment[u"Y"] = u"%X%";
        CHECK(ExpandEnvironment(u"[%X%]").size() == 5);
    }
    SUBCASE("values of any length") {
        for (std::size_t len : {1022u, 1023u, 1024u, 1025u, 5000u, 32767u}) {
            const std::u16string value(len, u'v');
            fake.environment[u"LONG"] = value;
            CHECK(GetEnvironmentValue(u"LONG") == value);
        }
        CHECK(GetEnvironmentValue(u"UNSET") == u"");
    }
}
