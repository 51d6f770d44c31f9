// MacroText: what the macro editor shows and checks about a stored macro text (the "$"
// form of the macro table): a preview line of what will be typed or done, the reasons a
// text is refused, and the stored form of a key stroke pressed in the editor.
#pragma once

#include <cstdint>
#include <string>

namespace vt {

// The preview line: typed text with key strokes in words ("Mit freundlichen Grüßen⏎",
// "Strg+C"), or for a command macro what it starts or does, parts separated by "; ".
std::u16string MacroPreview(const std::u16string& stored);

// "Text" or "Befehl", as the macro table's list shows the kind of a stored text.
std::u16string MacroKind(const std::u16string& stored);

// Why a stored text is refused, or "" when the library types it as written. Refused: an
// empty text, one longer than the lookup reads, a "$" escape the decoding would drop, a
// key form cut short at the end.
std::u16string CheckMacroText(const std::u16string& stored);

// The stored form of one key stroke: "$FF", the ScanModifiers byte as "$hh", then the key
// (a letter or digit as itself, any other key as "$hh"). modifiers is a ModifierState byte.
std::u16string KeyStrokeText(std::uint16_t vk, std::uint8_t modifiers);

// Follows the key events of one capture ("press the key you want"): the modifiers held,
// from the events themselves (a modifier let go right after the key still counts for it),
// and the first key that is not a modifier. Escape alone cancels.
class TKeyCapture {
public:
    explicit TKeyCapture(std::uint8_t heldModifiers = 0) : mods_(heldModifiers) {}
    // One key event as the keyboard hook gets it: the virtual key and the keystroke flags
    // (bit 24 extended, bit 31 release). True once the capture is over.
    bool Feed(std::uint16_t vk, std::uint32_t keyData);
    bool Done() const { return done_; }
    bool Cancelled() const { return cancelled_; }
    std::uint16_t Key() const { return key_; }
    std::uint8_t Modifiers() const { return keyMods_; }  // a ModifierState byte
    std::uint32_t Combination() const;                   // the MacroKey, extended bit included

private:
    std::uint8_t mods_;
    bool done_ = false, cancelled_ = false, extended_ = false;
    std::uint16_t key_ = 0;
    std::uint8_t keyMods_ = 0;
};

}  // namespace vt
