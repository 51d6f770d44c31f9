// VtConvert: the per-press context's swallowing operations and the option toggles.
#include "VtConvert.h"

#include "../common/Vantor.Utils.h"
#include "../common/VtError.h"
#include "VtSend.h"

namespace vt {

namespace {

TOptionsRegistry& Opts() {
    // Only before the module is loaded; the hook's boundary contains the error.
    if (!Options) throw EVtError(u"Options not open");
    return *Options;
}

}  // namespace

void SwallowKey(KeyContext& context) {
    context.Verdict = 2;
}

void SendTextAndSwallow(const std::u16string& text, KeyContext& context) {
    SendText(text);
    SwallowKey(context);
}

void ToggleOption(AOption option, KeyContext& context) {
    TOptionsRegistry& options = Opts();
    // Any non-zero byte is on, so on goes to 0: flipping only the lowest bit would keep
    // a switch stored as 2 on for ever. A value that cannot be read counts as off and is
    // written over: the toggle is the way to repair it.
    options.SetOption(option, options.GetOptionOrOff(option) == 0);
    if (options.GetOptionOrOff(OPT_BEEP) != 0) NotifyOnOff(options.GetOptionOrOff(option) != 0);
    SwallowKey(context);
}

void SetLockToggle(std::uint8_t virtualKey, bool on) {
    std::uint8_t state[256] = {};
    // Writing back a state that could not be read would clear every key of the thread.
    if (!Plat().GetKeyboardState(state)) return;
    if (on) {
        state[virtualKey] |= 0x01;
    } else {
        state[virtualKey] &= static_cast<std::uint8_t>(~0x01);
    }
    Plat().SetKeyboardState(state);
    ++ActionCount;
}

void SwitchUmlautMode(EinUmlautMode mode, KeyContext& context) {
    NotifySoundEvent(7);
    ToggleOption(OPT_UMLAUT, context);
    if (Opts().GetOptionOrOff(OPT_UMLAUT) != 0) Opts().SetUmlautMode(mode);
}

void ToggleNumpadDot(KeyContext& context) {
    NotifySoundEvent(6);
    ToggleOption(OPT_NP_DOT, context);
}

void ToggleEasyTab(KeyContext& context) {
    NotifySoundEvent(8);
    ToggleOption(OPT_EZ_TAB, context);
}

}  // namespace vt
