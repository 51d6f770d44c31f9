// VtSend: typing texts of the macro text language with injected key events.
#pragma once

#include <cstdint>
#include <string>

namespace vt {

constexpr char16_t EscapeChar = 0x00FF;

// Injected key events not yet seen by the hook (diagnostic lines only).
extern std::int32_t PlaybackCounter;

bool SendText(const std::u16string& text);
void SendKey(std::uint16_t code, bool press);
void SendRawChar(std::uint16_t code);
void SendModifiers(std::uint8_t state, bool press);
// A character as a Unicode key event (VK_PACKET), for characters no key of the layout has.
void SendUnicodeChar(char16_t ch);
// Toggles a lock key once more with events inside the playback marker (so the hook
// passes them on), while the user's press of it may still be down.
void SendLockKeyToggle(std::uint16_t code);
// True when the key's plain and Shift levels are the two cases of letter: the keys
// Caps Lock affects.
bool IsCaseKey(std::uint8_t vk, char16_t letter);
bool CapsLockAffectsKey(std::uint8_t vk);
std::u16string KeyActionText(std::uint32_t flags);
// Reads a raw-form number: decimal, or hex after "$", "x", "X", "0x", "0X"; leading
// blanks and a sign allowed; a 32-bit signed value. False when it is not one.
bool ReadRawNumber(const std::u16string& text, std::int32_t* value);

}  // namespace vt
