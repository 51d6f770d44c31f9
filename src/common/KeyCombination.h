// KeyCombination: a key combination as the macro table names it (the MacroKey, eight hex
// digits) and as people name it ("AltGr+E", "Strg+Alt+Entf"), both ways. The setup
// tool's read-key dialog and the tray program's macro editor pack a pressed key here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vt {

// The MacroKey of a pressed key: the virtual key, 0x8000 for an extended key, and the
// modifier byte without bits 0x10 and 0x20 (and without Ctrl and Alt when AltGr is held).
std::uint32_t CombinationFromKey(std::uint16_t vk, bool extended, std::uint8_t modifiers);

// A value name of the macro table read back: eight hexadecimal digits naming a MacroKey
// the lookup can produce. Anything else (other lengths, bits 24-31, bits 0x10 or 0x20,
// Ctrl or Alt beside AltGr, bits 8-14 of the key code) gives nothing.
std::optional<std::uint32_t> ParseMacroValueName(const std::u16string& name);

// German words: modifiers in the order Strg, Alt, AltGr, Umschalt, Win, Win rechts, then
// the key ("Entf" is the navigation block's Delete, "Num Entf" the keypad's).
std::u16string CombinationWords(std::uint32_t macroKey);
std::u16string KeyWord(std::uint16_t keyCode);  // bit 15 = extended
// The words read back (any modifier order, case-insensitive); nothing when not a name.
std::optional<std::uint32_t> ParseCombinationWords(const std::u16string& words);

}  // namespace vt
