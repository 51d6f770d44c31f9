// VtConvert: the umlaut conversion and macro execution (typed macros and the command
// language of macros that begin with "^").
#include "VtConvert.h"

#include "../common/DebugWindowInterface.h"
#include "../common/Vantor.Utils.h"
#include "VtSend.h"

namespace vt {

namespace {

// A variable that refers to itself (directly or through others) would expand forever.
constexpr int kMaxExpansions = 64;
// GetEnvironmentVariableW's first try; longer values are asked for again at their size.
constexpr std::uint32_t kEnvBufferSize = 1024;

// The state of one ProcessMacro call.
struct MacroRun {
    KeyContext& context;
    std::u16string dateFormat;
    std::u16string timeFormat;
    std::u16string customDateFormat;
};

void Execute(const std::u16string& segment, KeyContext& context) {
    DebugLog(u"ProcessMacro.Execute: <%s>", segment);
    if (segment.empty()) return;
    if (segment.size() >= 2 && segment[0] == u'^') {
        if (!LaunchProgram(segment.substr(1))) Plat().MessageBeep(MB_ICONEXCLAMATION);
        return;
    }
    SendTextAndSwallow(segment, context);
}

void TypeNow(const std::u16string& pattern, KeyContext& context) {
    SystemTime now;
    Plat().GetLocalTime(&now);
    SendTextAndSwallow(FormatDateTime(pattern, now), context);
}

// The "*4" family, with p on the "4". Moves p over what the command consumes; the
// caller's loop then steps past p.
void DateCommand(const std::u16string& text, std::size_t& p, MacroRun& run) {
    const std::size_t last = text.size() - 1;
    if (p >= last) return;
    ++p;
    switch (text[p]) {
        case u'0':
            if (!run.customDateFormat.empty()) run.dateFormat = run.customDateFormat;
            TypeNow(run.dateFormat, run.context);
            break;
        case u'1':
            if (!run.customDateFormat.empty()) run.timeFormat = run.customDateFormat;
            TypeNow(run.timeFormat, run.context);
            break;
        case u'9':
            ++p;
            if (p >= last) return;
            run.customDateFormat.clear();
            if (text[p] == u'"') {
                ++p;
                while (p <= last && text[p] != u'"') run.customDateFormat += text[p++];
            }
            break;
        default:
            break;
    }
}

void Command(const std::u16string& text, std::size_t& p, MacroRun& run) {
    switch (text[p]) {
        case u'1':
            ToggleOption(OPT_MAIN, run.context);
            break;
        case u'2':
            SwitchUmlautMode(UMLAUT_ASCII, run.context);
            break;
        case u'3':
            SwitchUmlautMode(UMLAUT_HTML, run.context);
            break;
        case u'4':
            DateCommand(text, p, run);
            break;
        case u'7':
            ToggleEasyTab(run.context);
            break;
        case u'8':
            SetLockToggle(static_cast<std::uint8_t>(VK_NUMLOCK), true);
            ToggleNumpadDot(run.context);
            break;
        case u'9': {
            // Looked up anew: the host may have started after this process loaded us.
            const HWnd host = FindHostWindow();
            if (host != 0) Plat().PostMessageW(host, WM_HOST_COMMAND, 1, 0);
            ++ActionCount;
            break;
        }
        default:  // *0, *5, *6 and unknown commands
            break;
    }
}

}  // namespace

bool ConvertUmlaut(KeyContext& context) {
    if (!Options) return false;
    const std::u16string* table = nullptr;
    switch (Options->GetUmlautModeOrDefault()) {
        case UMLAUT_ASCII:
            table = &kMacroTableAscii;
            break;
        case UMLAUT_HTML:
            table = &kMacroTableHtml;
            break;
        default:
            return false;
    }
    const auto keyCode = static_cast<std::uint16_t>(context.Event.VirtualKey & 0x7FFF);
    std::uint8_t modifiers = ModifierState;
    // Caps Lock + ä types Ä, and Shift with Caps Lock types ä again: the entry is the one
    // for the character the key would type.
    if ((LockState & LOCK_CAPS) && CapsLockAffectsKey(static_cast<std::uint8_t>(keyCode)))
        modifiers ^= MOD_SHIFT;
    const std::u16string text = FindMacro(*table, keyCode, modifiers);
    if (text.empty()) return false;
    ProcessMacro(text, context);
    return true;
}

void ProcessMacro(const std::u16string& text, KeyContext& context) {
    DebugLog(u"PROCESSMACRO: <%s>", text);
    if (text.empty()) return;
    if (text[0] != u'^') {
        SendTextAndSwallow(text, context);
        SwallowKey(context);
        return;
    }

    MacroRun run{context, LongDateFormat(), LongTimeFormat(), std::u16string()};
    // The leading "^" marks the first segment as a program to start.
    std::u16string collected = u"^";
    const std::size_t last = text.size() - 1;
    for (std::size_t p = 1; p <= last; ++p) {
        const char16_t ch = text[p];
        if (ch == u'*') {
            if (p == last) continue;
            ++p;
            Command(text, p, run);
            collected.clear();
        } else if (ch == u'^') {
            Execute(collected, context);
            collected.clear();
        } else {
            collected += ch;
        }
    }
    Execute(collected, context);
    SwallowKey(context);
}

bool LaunchProgram(const std::u16string& command) {
    const std::u16string expanded = ExpandEnvironment(command);
    std::u16string program;
    std::u16string parameters;
    if (!expanded.empty() && expanded[0] == u'"') {
        // The quoted form splits the command as written: the shell expands variables
        // in the program path (SEE_MASK_DOENVSUBST); the parameters go on as they are.
        // When the quote comes from a variable, the text as written begins with that
        // "%" reference instead: only the expanded text can be split then.
        const std::u16string& quoted = command[0] == u'"' ? command : expanded;
        const std::u16string work = quoted.substr(1);
        const std::size_t q = work.find(u'"');
        if (q == std::u16string::npos) {
            program = work;
        } else {
            program = work.substr(0, q);
            parameters = work.substr(q + 1);
        }
    } else {
        // Unquoted: the whole text, blanks included, names the program.
        program = expanded;
    }

    ShellExecuteInfo info;
    info.fMask = SEE_MASK_DOENVSUBST;
    info.hwnd = HostWindow;
    info.lpFile = program;
    info.lpParameters = parameters;
    info.nShow = SW_SHOWNORMAL;
    DebugLog(u"ProcessMacro.Execute.wnd: <%d>", HostWindow);
    const bool started = Plat().ShellExecuteExW(info);
    ++ActionCount;  // tried: whatever the shell did, it did in the key's place
    return started;
}

std::u16string ExpandEnvironment(const std::u16string& text) {
    std::u16string result = text;
    std::size_t p = result.find(u'%');
    for (int n = 0; p != std::u16string::npos && n < kMaxExpansions; ++n) {
        const std::size_t close = result.find(u'%', p + 1);
        std::u16string value;
        std::size_t length = 1;  // a "%" without a partner vanishes alone
        if (close != std::u16string::npos) {
            length = close - p + 1;
            // "%%" names nothing and becomes empty.
            if (length > 2) value = GetEnvironmentValue(result.substr(p + 1, length - 2));
        }
        result.replace(p, length, value);
        // Searched from the start again: "%" signs a value brings in are expanded too.
        p = result.find(u'%');
    }
    return result;
}

std::u16string GetEnvironmentValue(const std::u16string& name) {
    std::uint32_t size = kEnvBufferSize;
    // The value may change between the calls; a few tries are enough.
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::u16string value;
        const std::uint32_t n = Plat().GetEnvironmentVariableW(name, &value, size);
        if (n == 0) return std::u16string();
        if (n < size) {
            if (value.size() > n) value.resize(n);
            return value;
        }
        size = n;  // too small: n is the size needed, terminator included
    }
    return std::u16string();
}

}  // namespace vt
