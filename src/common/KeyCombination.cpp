#include "KeyCombination.h"

#include <iterator>

#include "Format.h"
#include "Vantor.Common.h"
#include "Vantor.Utils.h"

namespace vt {

namespace {

struct RModifierWord {
    std::uint8_t bit;
    const char16_t* word;
};
const RModifierWord kModifierWords[] = {
    {MOD_CTRL, u"Strg"},      {MOD_ALT, u"Alt"},  {MOD_ALTGR, u"AltGr"},
    {MOD_SHIFT, u"Umschalt"}, {MOD_LWIN, u"Win"}, {MOD_RWIN, u"Win rechts"},
};

// Names of the keys whose key top does not say it all. The navigation block keys
// and Enter exist twice: the extended one in the navigation block (Enter on the keypad).
struct RKeyWord {
    std::uint16_t vk;
    const char16_t* word;
};
const RKeyWord kKeyWords[] = {
    {0x03, u"Untbr"},
    {0x08, u"Rücktaste"},
    {0x09, u"Tab"},
    {0x0C, u"Num 5 (ohne NUM)"},
    {0x0D, u"Eingabe"},
    {0x10, u"Umschalt"},
    {0x11, u"Strg"},
    {0x12, u"Alt"},
    {0x13, u"Pause"},
    {0x14, u"Feststell"},
    {0x1B, u"Esc"},
    {0x20, u"Leertaste"},
    {0x21, u"Bild auf"},
    {0x22, u"Bild ab"},
    {0x23, u"Ende"},
    {0x24, u"Pos1"},
    {0x25, u"Pfeil links"},
    {0x26, u"Pfeil oben"},
    {0x27, u"Pfeil rechts"},
    {0x28, u"Pfeil unten"},
    {0x2C, u"Druck"},
    {0x2D, u"Einfg"},
    {0x2E, u"Entf"},
    {0x5B, u"Win-Taste"},
    {0x5C, u"Win-Taste rechts"},
    {0x5D, u"Menütaste"},
    {0x6A, u"Num *"},
    {0x6B, u"Num +"},
    {0x6C, u"Num Trennzeichen"},
    {0x6D, u"Num -"},
    {0x6E, u"Num ,"},
    {0x6F, u"Num /"},
    {0x90, u"Num-Taste"},
    {0x91, u"Rollen"},
    {0xA0, u"Umschalt links"},
    {0xA1, u"Umschalt rechts"},
    {0xA2, u"Strg links"},
    {0xA3, u"Strg rechts"},
    {0xA4, u"Alt links"},
    {0xA5, u"AltGr-Taste"},
    {0xBA, u"Ü"},
    {0xBB, u"+"},
    {0xBC, u","},
    {0xBD, u"-"},
    {0xBE, u"."},
    {0xBF, u"#"},
    {0xC0, u"Ö"},
    {0xDB, u"ß"},
    {0xDC, u"^"},
    {0xDD, u"´"},
    {0xDE, u"Ä"},
    {0xE2, u"<"},
};

// Keys that exist in the navigation block (extended) and on the keypad (not extended),
// and Enter, which is extended on the keypad.
bool IsDualKey(std::uint16_t vk) {
    return (vk >= 0x21 && vk <= 0x28) || vk == 0x2D || vk == 0x2E;
}
// Keys Windows always reports as extended: their plain name means the extended code.
bool IsExtendedByNature(std::uint16_t vk) {
    return vk == 0x6F || vk == 0x5B || vk == 0x5C || vk == 0x5D || vk == 0xA3 || vk == 0xA5 ||
           vk == 0x90 || vk == 0x2C || vk == 0x03;
}

const char16_t kExtendedSuffix[] = u" (erweitert)";
const char16_t kNotExtendedSuffix[] = u" (nicht erweitert)";

std::u16string BaseWord(std::uint16_t vk) {
    if ((vk >= u'0' && vk <= u'9') || (vk >= u'A' && vk <= u'Z'))
        return std::u16string(1, static_cast<char16_t>(vk));
    if (vk >= 0x60 && vk <= 0x69) return u"Num " + std::u16string(1, char16_t(u'0' + vk - 0x60));
    if (vk >= 0x70 && vk <= 0x87) return u"F" + ToU16(std::to_string(vk - 0x6F));
    for (const auto& k : kKeyWords)
        if (k.vk == vk) return k.word;
    return u"Taste " + HexStr(vk, 2);
}

char16_t Fold(char16_t c) {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 32);
    if (c == u'ä') return u'Ä';
    if (c == u'ö') return u'Ö';
    if (c == u'ü') return u'Ü';
    return c;
}

bool SameWord(const std::u16string& a, const std::u16string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Fold(a[i]) != Fold(b[i])) return false;
    return true;
}

std::optional<std::uint16_t> ParseKeyWord(const std::u16string& word) {
    for (std::uint32_t code = 1; code <= 0xFF; ++code)
        for (std::uint16_t ext : {0, 0x8000})
            if (SameWord(KeyWord(static_cast<std::uint16_t>(code | ext)), word))
                return static_cast<std::uint16_t>(code | ext);
    return std::nullopt;
}

}  // namespace

std::uint32_t CombinationFromKey(std::uint16_t vk, bool extended, std::uint8_t modifiers) {
    return MacroKey(static_cast<std::uint16_t>((vk & 0x7FFF) | (extended ? 0x8000 : 0)), modifiers);
}

std::optional<std::uint32_t> ParseMacroValueName(const std::u16string& name) {
    if (name.size() != 8) return std::nullopt;
    std::uint32_t value = 0;
    for (char16_t c : name) {
        int digit = -1;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else if (c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        if (digit < 0) return std::nullopt;
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    const auto mods = static_cast<std::uint8_t>(value >> 16);
    const auto key = static_cast<std::uint16_t>(value & 0xFFFF);
    if (value >> 24) return std::nullopt;
    if (key == 0 || (key & 0x7F00)) return std::nullopt;
    if (MacroKey(key, mods) != value) return std::nullopt;  // 0x10, 0x20, Ctrl/Alt beside AltGr
    return value;
}

std::u16string KeyWord(std::uint16_t keyCode) {
    const auto vk = static_cast<std::uint16_t>(keyCode & 0xFF);
    const bool extended = (keyCode & 0x8000) != 0;
    const std::u16string base = BaseWord(vk);
    if (IsDualKey(vk)) return extended ? base : u"Num " + base;
    if (vk == 0x0D) return extended ? u"Num " + base : base;
    const bool natural = IsExtendedByNature(vk);
    if (extended == natural) return base;
    return base + (extended ? kExtendedSuffix : kNotExtendedSuffix);
}

std::u16string CombinationWords(std::uint32_t macroKey) {
    std::u16string words;
    const auto mods = static_cast<std::uint8_t>(macroKey >> 16);
    for (const auto& m : kModifierWords)
        if (mods & m.bit) words += std::u16string(m.word) + u"+";
    return words + KeyWord(static_cast<std::uint16_t>(macroKey & 0xFFFF));
}

std::optional<std::uint32_t> ParseCombinationWords(const std::u16string& words) {
    // Modifier words, each followed by "+", from the front; the rest names the key (which
    // may itself be "+" or contain one, as "Num +").
    std::uint8_t mods = 0;
    std::size_t p = 0;
    for (;;) {
        bool found = false;
        // The longer word first: "Win rechts+" before "Win+".
        for (auto it = std::rbegin(kModifierWords); it != std::rend(kModifierWords); ++it) {
            const std::u16string w = std::u16string(it->word) + u"+";
            if (words.size() - p > w.size() && SameWord(words.substr(p, w.size()), w)) {
                mods |= it->bit;
                p += w.size();
                found = true;
                break;
            }
        }
        if (!found) break;
    }
    const auto key = ParseKeyWord(words.substr(p));
    if (!key) return std::nullopt;
    const std::uint32_t value = MacroKey(*key, mods);
    if (static_cast<std::uint8_t>(value >> 16) != mods) return std::nullopt;  // Strg+AltGr
    return value;
}

}  // namespace vt
