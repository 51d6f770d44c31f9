// VtConvert: abbreviations. Every press that reaches the pipeline tells a per-thread word
// tracker what it typed; an end character after a whole word that is stored under
// "Macros\Kürzel" erases the word and types (or runs) its text, then the end character.
#pragma once

#include <cstdint>
#include <string>

#include "VtConvert.h"

namespace vt {

// What a key press types, as far as words are concerned.
enum EAbbrevKey : std::uint8_t {
    AK_NEUTRAL,    // nothing that touches the text (lock keys, volume keys)
    AK_RESET,      // the caret may have moved: arrows, Home, Escape, a Ctrl or Alt combination
    AK_BACK,       // Backspace
    AK_WORD,       // a letter or a digit
    AK_SEPARATOR,  // a character that starts a new word (punctuation, symbols)
    AK_END,        // a separator that also triggers: Space Enter Tab . , ; : ! ? ) ] } " ' - /
    AK_DEAD,       // a dead key: the next key composes with it
    AK_UNKNOWN,    // a character we cannot name: the word around it is no abbreviation
};

struct RAbbrevKey {
    EAbbrevKey kind = AK_NEUTRAL;
    char16_t ch = 0;  // the character typed (the accent of a dead key)
    std::uint8_t vk = 0;
    std::uint8_t scanModifiers = 0;  // the key form's modifier byte that types it again
};

bool IsAbbrevEndChar(char16_t c);
// The precomposed letter of a dead key's accent and a letter, 0 when they do not compose.
char16_t ComposeDeadKey(char16_t accent, char16_t letter);

// The characters before the caret as far as they matter for the next word. Fixed size and
// trivially destructible: one lives in each thread that types.
class TWordTracker {
public:
    void Reset();  // a new word starts with the next character
    void Feed(const RAbbrevKey& key);
    // The key typed something else than its character (another feature's text).
    void FeedUnknown();
    // An abbreviation was replaced: what is before the caret ends in the end character.
    void AfterExpansion(char16_t endChar);
    // The whole word before the caret, "" when there is none or it cannot be one.
    std::u16string Word() const;
    std::size_t WordLength() const;  // letters and digits at the end, whole word or not
    bool DeadPending() const { return dead_ != 0; }

private:
    static constexpr std::size_t kCapacity = 64;
    static constexpr char16_t kUnknown = 0xFFFF;
    void Push(char16_t c);
    char16_t chars_[kCapacity] = {};
    std::size_t len_ = 0;
    bool unknownStart_ = false;  // what came before chars_ is not known
    char16_t dead_ = 0;
};

// "mfg" gives the text as stored, "Mfg" its first letter in capitals, "MFG" all its
// letters; escapes (key strokes, raw entries) stay as they are. For typed texts only.
std::u16string TypedCase(const std::u16string& text, const std::u16string& word);

// The pipeline's three steps. AbbrevKeyOf names what the press types (from the layout,
// ModifierState and LockState, without any call that would change a dead key's state);
// ExpandAbbreviation acts on an end character; FollowAbbrevKey feeds the tracker once the
// pipeline is done with the key. None of them reads the registry for a letter.
RAbbrevKey AbbrevKeyOf(const KeyEvent& event) noexcept;
bool ExpandAbbreviation(const RAbbrevKey& key, KeyContext& context);
void FollowAbbrevKey(const RAbbrevKey& key, const KeyContext& context, bool expanded) noexcept;
// Forgets this thread's word (tests, module start).
void ResetAbbrevWord() noexcept;

}  // namespace vt
