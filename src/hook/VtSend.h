// VtSend: typing texts of the macro text language with injected key events.
#pragma once

#include <cstdint>
#include <string>

#include "../platform/WinTypes.h"

namespace vt {

constexpr char16_t EscapeChar = 0x00FF;

// Injected key events of this thread's current text not yet seen by the hook
// (diagnostic lines only).
std::int32_t& PlaybackCounter();

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
// Forgets every text still pending or playing, on every thread (module start and end).
void ResetPlayback();

// ---------------------------------------------------------------- the library's own events
// Every text goes into the input stream in one SendInput call, bracketed by a press and
// a release of the marker key whose scan code (and extended flag) is the sequence's tag.
// The hook of the thread that injected it follows each sequence: which of its events have
// arrived, and what the user typed meanwhile.
enum AKeyOrigin : std::uint8_t {
    ORIGIN_USER,  // the user's key, to convert as typed
    ORIGIN_TEXT,  // an event of one of the library's own texts (or a marker): passed on as is
    ORIGIN_HOLD,  // the user's key, typed while the library's events are still on their
                  // way: it must wait behind them (HoldBackKey)
};
// Decides, and records, what an event the hook sees on this thread is.
AKeyOrigin TrackKeyEvent(WParam wParam, LParam lParam);
// Swallowing the key, injects it again (a Unicode key event with its character) behind
// everything pending, where it comes back as the user's key. False when it could not be
// injected: the key must then be handled where it is.
bool HoldBackKey(WParam wParam, LParam lParam);
// True while this thread reads the events of one of the library's texts.
bool PlaybackActive();
// The masking key put between a restored Alt or Windows key and the user's release of
// it, so that no program sees a lone press of either: unassigned in Windows' table of
// virtual keys, no layout types anything with it and programs ignore it.
constexpr std::uint16_t kMaskKey = 0xE8;

std::u16string KeyActionText(std::uint32_t flags);
// Reads a raw-form number: decimal, or hex after "$", "x", "X", "0x", "0X"; leading
// blanks and a sign allowed; a 32-bit signed value. False when it is not one.
bool ReadRawNumber(const std::u16string& text, std::int32_t* value);

}  // namespace vt
