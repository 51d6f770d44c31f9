// VtConvert: the key conversion pipeline. Each press runs the steps in a fixed order
// and every option is read from the registry at its test, only as far as the order
// reaches, so a switch changed in any process counts at the next press.
#include "VtConvert.h"

#include "../common/DebugWindowInterface.h"
#include "../common/Vantor.Utils.h"
#include "../common/VtError.h"
#include "Vt32Util.h"
#include "VtConvert.Abbrev.h"
#include "VtSend.h"

#include <exception>

namespace vt {

namespace {

constexpr std::uint32_t kExtendedKeyBit = 1u << 24;
constexpr std::uint32_t kDialogModeBit = 1u << 27;  // KF_DLGMODE in the high word
constexpr std::uint32_t kRepeatBit = 1u << 30;

constexpr std::uint8_t kCtrlAltAltGr = MOD_CTRL | MOD_ALT | MOD_ALTGR;

const std::u16string kTabForward = u"\t";
// Shift+Tab in the macro text language.
const std::u16string kTabBackward = u"\u00FF\u0081\t";

// Climbing a parent chain ends on any sane desktop long before this.
constexpr int kMaxWindowDepth = 1024;

TOptionsRegistry& Opts() {
    if (!Options) throw EVtError(u"Options not open");
    return *Options;
}

// A switch that cannot be read counts as off, for itself only: the other features go on.
bool OptionOn(AOption option) {
    return Opts().GetOptionOrOff(option) != 0;
}

// The decimal key's text; with Caps Lock on it goes through raw entry so that the lock
// cannot change it. One character is the plain raw form; a longer text gets the counted
// form per character, because the plain form would read the characters after the first
// as a number (a text "12" would type the code 2).
std::u16string DecimalText(bool capsLock) {
    std::u16string text = Opts().GetOptionStringOrEmpty(OPT_DECIMAL_DOT);
    if (text.empty()) text = u".";
    if (!capsLock) return text;
    const std::u16string raw{EscapeChar, EscapeChar};
    if (text.size() == 1) return raw + text;
    std::u16string out;
    for (char16_t ch : text) {
        const std::u16string number = u"$" + HexStr(ch, 4);
        out += raw;
        out += static_cast<char16_t>(number.size());
        out += number;
    }
    return out;
}

// Whether this press of a lock key leaves its lock in the state `to`. A fresh press
// toggles the lock even when it is swallowed; an auto-repeat toggles nothing. Whether
// the hook's snapshot already holds the press differs between systems (under Wine it
// comes before it): the key's down bit in it tells.
bool PressSwitchesLock(std::uint16_t vk, bool onInSnapshot, bool repeat, bool to) {
    if (repeat) return false;
    const bool downInSnapshot = (Plat().GetKeyState(vk) & 0x8000) != 0;
    const bool after = downInSnapshot ? onInSnapshot : !onInSnapshot;
    return after == to;
}

// The single-key features, for presses without Ctrl, Alt and right Alt; true when the
// pipeline stops here.
bool ConvertSingleKey(KeyContext& context) {
    const KeyEvent& event = context.Event;
    const bool repeat = (event.KeyData & kRepeatBit) != 0;
    switch (event.VirtualKey) {
        case VK_CAPITAL: {
            const bool caps = (LockState & LOCK_CAPS) != 0;
            DebugLog(u"1.CapsLock %d %d\"", PlaybackCounter(), caps ? 1 : 0);
            if (OptionOn(OPT_LOCK_CAPS)) {
                if (!PressSwitchesLock(VK_CAPITAL, caps, repeat, true)) return false;
                // This press switches Caps Lock on, swallowed or not: one more toggle
                // switches it back off.
                SendLockKeyToggle(VK_CAPITAL);
                SwallowKey(context);
                return true;
            }
            if (!repeat) {
                NotifySoundEvent(3);
                NotifyOnOff(caps);
            }
            return false;
        }
        case VK_ADD:
        case VK_SUBTRACT:
            if (OptionOn(OPT_EZ_TAB) && !context.ModifiersHeld) {
                EasyTabStep(event.VirtualKey == VK_ADD, context);
                return true;
            }
            return false;
        case VK_DECIMAL:
            if (!OptionOn(OPT_NP_DOT)) return false;
            SendTextAndSwallow(DecimalText((LockState & LOCK_CAPS) != 0), context);
            return true;
        case VK_NUMLOCK: {
            const bool num = (LockState & LOCK_NUM) != 0;
            if (OptionOn(OPT_LOCK_NUM)) {
                // Num Lock is an extended key; without the flag its scan code is Pause's.
                if (PressSwitchesLock(VK_NUMLOCK, num, repeat, false))
                    SendLockKeyToggle(0x8000 | VK_NUMLOCK);
                SwallowKey(context);
                return true;
            }
            if (!repeat) {
                NotifySoundEvent(5);
                NotifyOnOff(num);
            }
            return false;
        }
        case VK_SCROLL:
            if (!repeat) {
                NotifySoundEvent(4);
                NotifyOnOff((LockState & LOCK_SCROLL) != 0);
            }
            return false;
        case VK_OEM_2:
            if (OptionOn(OPT_EZ_BS) && !context.ModifiersHeld) {
                SendTextAndSwallow(u"\\", context);
                return true;
            }
            return false;
        default:
            return false;
    }
}

void LookUpMacro(KeyContext& context) {
    const KeyEvent& event = context.Event;
    std::uint16_t code = event.VirtualKey;
    if (event.KeyData & kExtendedKeyBit) code |= 0x8000;
    const std::u16string text = FindMacro(kMacroTableAltGr, code, ModifierState);
    DebugLog(u"MacStr:%x [%s]\t\"%s\"", event.VirtualKey,
             [] { return ModifierNames(ModifierState); }, text);
    if (!text.empty()) ProcessMacro(text, context);
}

void RunPipeline(KeyContext& context, const RAbbrevKey& abbrevKey, bool& expanded) {
    const std::uint16_t vk = context.Event.VirtualKey;
    const bool hotKey = (ModifierState & MOD_ALTGR) && vk == VK_F1;
    // With the master switch off only the hot-key would act: the list of programs left
    // alone is asked only when something could be converted.
    if (!hotKey && !OptionOn(OPT_MAIN)) return;
    if (IsProgramExcluded(ProgramFileName)) {
        DebugLog(u"ConvertKey: %s steht unter Ausnahmen", ProgramFileName);
        return;
    }
    // The hot-key comes before the master switch so that it can switch the system back on.
    // It acts on the first press only: held into an auto-repeat it would switch back and
    // forth. The repeats are its own all the same.
    if (hotKey) {
        if (context.Event.KeyData & kRepeatBit) {
            SwallowKey(context);
        } else {
            ToggleOption(OPT_MAIN, context);
        }
        return;
    }
    // An end character after an abbreviation: typed as part of its text, so the other
    // features of the key do not act on it.
    if (ExpandAbbreviation(abbrevKey, context)) {
        expanded = true;
        return;
    }
    if ((ModifierState & MOD_ALTGR) && vk == VK_OEM_2 && OptionOn(OPT_EZ_BS)) {
        SendTextAndSwallow(u"#", context);
        return;
    }
    if ((ModifierState & kCtrlAltAltGr) == 0) {
        if (OptionOn(OPT_UMLAUT) && ConvertUmlaut(context)) return;
        if (ConvertSingleKey(context)) return;
    }
    LookUpMacro(context);
}

}  // namespace

std::uint8_t ConvertKey(const KeyEvent& event) {
    KeyContext context{event, (ModifierState & (MOD_SHIFT | MOD_CTRL | MOD_ALTGR)) != 0, 0};
    const std::uint32_t actionsBefore = ActionCount;
    // What the key types, named before any step acts (the key state is the one it was
    // typed with); the word follows it once the pipeline is done with it.
    const RAbbrevKey abbrevKey = AbbrevKeyOf(event);
    bool expanded = false;
    try {
        RunPipeline(context, abbrevKey, expanded);
    } catch (...) {
        // A step that already acted in the key's place (typed, wrote an option, started a
        // program, posted to the host) has taken it: passing the key on as well would act
        // on it twice. Otherwise the hook contains the error.
        if (context.Verdict != 2 && ActionCount == actionsBefore) {
            FollowAbbrevKey(abbrevKey, context, false);
            throw;
        }
        LogCurrentError(u"ConvertKey");
        context.Verdict = 2;
        FollowAbbrevKey(abbrevKey, context, expanded);
        return 2;
    }
    FollowAbbrevKey(abbrevKey, context, expanded);
    return context.Verdict;
}

void LogCurrentError(const char16_t* where) noexcept {
    try {
        try {
            throw;
        } catch (const EVtError& e) {
            DebugLog(u"%s: %s", where, e.Message());
        } catch (const std::exception& e) {
            DebugLog(u"%s: %s", where, [&e] { return ToU16(e.what()); });
        } catch (...) {
            DebugLog(u"%s: unknown error", where);
        }
    } catch (...) {
    }
}

void EasyTabStep(bool forward, KeyContext& context) {
    if (context.Event.KeyData & kDialogModeBit) {
        const HWnd dialog = DialogRootWindow(Plat().GetFocus());
        if (dialog != 0) {
            Plat().PostMessageW(dialog, WM_NEXTDLGCTL, forward ? 0 : static_cast<WParam>(-1), 0);
        }
        // Even without a dialog the key must not reach the control as a plain + or -.
        SwallowKey(context);
        return;
    }
    SendTextAndSwallow(forward ? kTabForward : kTabBackward, context);
}

HWnd DialogRootWindow(HWnd window) {
    for (int depth = 0; depth < kMaxWindowDepth; ++depth) {
        const HWnd parent = Plat().GetParent(window);
        if (parent == 0 || !Plat().IsChild(parent, window)) return window;
        window = parent;
    }
    return window;
}

}  // namespace vt
