// VtConvert: the key conversion pipeline, the per-press context and the option
// toggles, macro execution and the umlaut conversion.
#pragma once

#include <cstdint>
#include <string>

#include "../common/Vantor.Common.h"

namespace vt {

struct KeyContext {
    const KeyEvent& Event;
    bool ModifiersHeld = false;  // Shift, Ctrl or right Alt held
    std::uint8_t Verdict = 0;    // 0 pass on, 2 swallow
};

// ---------------------------------------------------------------- pipeline
std::uint8_t ConvertKey(const KeyEvent& event);
// Logs the exception being handled as "where: message". Call it only inside a catch
// handler; it allocates only inside its own try, so a failing log line is dropped.
void LogCurrentError(const char16_t* where) noexcept;
void EasyTabStep(bool forward, KeyContext& context);
HWnd DialogRootWindow(HWnd window);

// ---------------------------------------------------------------- context and toggles
void SwallowKey(KeyContext& context);
void SendTextAndSwallow(const std::u16string& text, KeyContext& context);
void ToggleOption(AOption option, KeyContext& context);
void SetLockToggle(std::uint8_t virtualKey, bool on);
void SwitchUmlautMode(EinUmlautMode mode, KeyContext& context);
void ToggleNumpadDot(KeyContext& context);
void ToggleEasyTab(KeyContext& context);

// ---------------------------------------------------------------- macros
bool ConvertUmlaut(KeyContext& context);
void ProcessMacro(const std::u16string& text, KeyContext& context);
bool LaunchProgram(const std::u16string& command);
std::u16string ExpandEnvironment(const std::u16string& text);
std::u16string GetEnvironmentValue(const std::u16string& name);
// The date pattern language (d dd ddd dddd, m mm mmm mmmm, yy yyyy, h hh, n nn, s ss,
// am/pm, a/p, quoted text; m after h means minutes) with the user's locale names.
std::u16string FormatDateTime(const std::u16string& pattern, const SystemTime& time);
std::u16string LongDateFormat();
std::u16string LongTimeFormat();

}  // namespace vt
