// VtSend: typing texts of the macro text language with injected key events.
#pragma once

#include <cstdint>
#include <string>

namespace vt {

constexpr char16_t EscapeChar = 0x00FF;

// Injected key events not yet seen by the hook (diagnostic lines only).
extern std::int32_t PlaybackCounter;
// Texts injected whose marker press the hook has not seen yet: keys it sees meanwhile
// were typed after the trigger but queued before the text.
extern int PendingSequences;
// When the playback last showed life: a text was injected, or one of its events arrived.
extern std::uint32_t PlaybackTick;

// Modifier keys by side, one bit each, in the order SendModifierSides sends them.
enum : std::uint8_t {
    SIDE_RALT = 0x01,
    SIDE_LALT = 0x02,
    SIDE_LCTRL = 0x04,
    SIDE_RCTRL = 0x08,
    SIDE_LSHIFT = 0x10,
    SIDE_RSHIFT = 0x20,
    SIDE_RWIN = 0x40,
    SIDE_LWIN = 0x80,
};
// The side of a modifier key event (virtual key, extended flag, scan code); 0 for
// any other key.
std::uint8_t ModifierSide(std::uint16_t vk, bool extended, std::uint32_t scan);

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

void SendModifierSides(std::uint8_t sides, bool press);
// The hook saw an event of a modifier during the playback.
void NoteModifierEvent(std::uint8_t side, bool press);
// At the end of the playback: a modifier that SendText pressed again but the user let
// go of during the text (its release came in between) is released now.
void ReleaseLetGoModifiers();
// Forgets every text still pending or playing (module start).
void ResetPlayback();
// Injects again a key event the hook held back, with its own scan code and flags.
void ResendKey(std::uint16_t vk, std::uint32_t keyData);
std::u16string KeyActionText(std::uint32_t flags);
// Reads a raw-form number: decimal, or hex after "$", "x", "X", "0x", "0X"; leading
// blanks and a sign allowed; a 32-bit signed value. False when it is not one.
bool ReadRawNumber(const std::u16string& text, std::int32_t* value);

}  // namespace vt
