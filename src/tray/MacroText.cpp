#include "MacroText.h"

#include "common/Format.h"
#include "common/KeyCombination.h"
#include "common/Vantor.Common.h"
#include "common/Vantor.Utils.h"

namespace vt {

namespace {

constexpr char16_t kEscape = 0x00FF;

// ScanModifiers bits of a key form (Shift, Ctrl, Alt, left and right Windows key) as a
// ModifierState byte, for the words.
std::uint8_t StateFromScan(std::uint8_t scan) {
    std::uint8_t state = 0;
    if (scan & 0x01) state |= MOD_SHIFT;
    if (scan & 0x02) state |= MOD_CTRL;
    if (scan & 0x04) state |= MOD_ALT;
    if (scan & 0x20) state |= MOD_LWIN;
    if (scan & 0x40) state |= MOD_RWIN;
    return state;
}

std::u16string StrokeWords(std::uint16_t vk, std::uint8_t scan) {
    if (scan == 0 && vk == 0x0D) return u"⏎";
    if (scan == 0 && vk == 0x09) return u"⇥";
    // The key sender maps a key to its extended scan code: Delete is the navigation
    // block's, not the keypad's.
    const bool navigation = (vk >= 0x21 && vk <= 0x28) || vk == 0x2D || vk == 0x2E;
    return CombinationWords((static_cast<std::uint32_t>(StateFromScan(scan)) << 16) | (vk & 0xFF) |
                            (navigation ? 0x8000u : 0u));
}

// A character typed as it stands; control characters by what they do.
std::u16string CharWords(char16_t ch) {
    if (ch == u'\r' || ch == u'\n') return u"⏎";
    if (ch == u'\t') return u"⇥";
    if (ch == 0x08) return u"[Rücktaste]";
    if (ch == 0x1B) return u"[Esc]";
    if (ch < 0x20) return u"[Strg+" + std::u16string(1, static_cast<char16_t>(ch + 0x40)) + u"]";
    return std::u16string(1, ch);
}

// Reads digits as SendText does for raw entry: decimal, or hex after $, x, 0x.
bool ReadNumber(const std::u16string& s, std::uint32_t* value) {
    std::size_t p = 0;
    while (p < s.size() && s[p] == u' ') ++p;
    bool negative = false;
    if (p < s.size() && (s[p] == u'-' || s[p] == u'+')) negative = s[p++] == u'-';
    int base = 10;
    if (p < s.size() && (s[p] == u'$' || s[p] == u'x' || s[p] == u'X')) {
        base = 16;
        ++p;
    } else if (p + 1 < s.size() && s[p] == u'0' && (s[p + 1] == u'x' || s[p + 1] == u'X')) {
        base = 16;
        p += 2;
    }
    if (p >= s.size()) return false;
    std::uint64_t v = 0;
    for (; p < s.size(); ++p) {
        int d = -1;
        const char16_t c = s[p];
        if (c >= u'0' && c <= u'9')
            d = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            d = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            d = c - u'A' + 10;
        if (d < 0) return false;
        v = v * base + static_cast<std::uint64_t>(d);
        if (v > 0xFFFFFFFFull) return false;
    }
    *value = static_cast<std::uint32_t>(negative ? 0u - v : v);
    return true;
}

// What a typed text shows, key forms and raw entries in words. Keys alone, without
// text around them, are not put in brackets ("Strg+C").
std::u16string TypedPreview(const std::u16string& text) {
    std::u16string out;
    std::u16string lastStroke;
    int parts = 0, strokes = 0;
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        ++parts;
        const char16_t ch = text[i];
        if (ch != kEscape) {
            out += CharWords(ch);
            continue;
        }
        if (i + 1 >= n) break;  // cut short: nothing typed
        if (text[i + 1] == kEscape) {
            ++i;
            if (i + 1 >= n) {
                out += static_cast<char16_t>(0xFF);
                continue;
            }
            const char16_t count = text[++i];
            std::u16string digits = text.substr(i + 1, count);
            i += digits.size();
            std::uint32_t value = 0;
            out += ReadNumber(digits, &value) ? static_cast<char16_t>(value & 0xFFFF) : count;
            continue;
        }
        const auto m = static_cast<std::uint8_t>(text[i + 1] & 0xFF);
        ++i;
        if (i + 1 >= n) break;
        const char16_t k = text[++i];
        std::u16string stroke;
        if (m & 0x80) {
            // A character whose key is looked up: the modifiers and the character.
            const std::uint8_t state = StateFromScan(m & 0x7F);
            const std::u16string w =
                CombinationWords(static_cast<std::uint32_t>(state) << 16 | 0x41);
            stroke = w.substr(0, w.size() - 1) + CharWords(k);  // "Strg+" and the character
        } else {
            stroke = StrokeWords(k, static_cast<std::uint8_t>(m & 0x7F));
        }
        ++strokes;
        lastStroke = stroke;
        out += (stroke == u"⏎" || stroke == u"⇥") ? stroke : u"[" + stroke + u"]";
    }
    if (parts == 1 && strokes == 1) return lastStroke;
    return out;
}

const char16_t* CommandWords(char16_t c) {
    switch (c) {
        case u'1':
            return u"schaltet Vantor ein oder aus";
        case u'2':
            return u"schaltet die Umlautwandlung (ASCII) ein oder aus";
        case u'3':
            return u"schaltet die Umlautwandlung (HTML) ein oder aus";
        case u'7':
            return u"schaltet EasyTab ein oder aus";
        case u'8':
            return u"schaltet NUM Punkt ein oder aus";
        case u'9':
            return u"meldet sich beim Vantor-Symbol";
        default:
            return nullptr;
    }
}

// Follows the command grammar of the macro interpreter: "^" ends a segment, "*x" is a
// command that drops what was collected before it, the first segment starts a program.
std::u16string CommandPreview(const std::u16string& text) {
    std::u16string out;
    auto add = [&out](const std::u16string& part) {
        if (!out.empty()) out += u"; ";
        out += part;
    };
    auto execute = [&add](const std::u16string& segment) {
        if (segment.empty()) return;
        if (segment.size() >= 2 && segment[0] == u'^')
            add(u"startet „" + segment.substr(1) + u"“");
        else
            add(u"schreibt „" + TypedPreview(segment) + u"“");
    };
    std::u16string collected = u"^";
    std::u16string dateFormat, timeFormat, custom;
    const std::size_t last = text.size() - 1;
    for (std::size_t p = 1; p <= last; ++p) {
        const char16_t ch = text[p];
        if (ch == u'^') {
            execute(collected);
            collected.clear();
            continue;
        }
        if (ch != u'*') {
            collected += ch;
            continue;
        }
        if (p == last) continue;
        const char16_t c = text[++p];
        if (c == u'4' && p < last) {
            const char16_t d = text[++p];
            if (d == u'0') {
                if (!custom.empty()) dateFormat = custom;
                add(dateFormat.empty() ? u"schreibt das Datum"
                                       : u"schreibt das Datum als „" + dateFormat + u"“");
            } else if (d == u'1') {
                if (!custom.empty()) timeFormat = custom;
                add(timeFormat.empty() ? u"schreibt die Uhrzeit"
                                       : u"schreibt die Uhrzeit als „" + timeFormat + u"“");
            } else if (d == u'9') {
                ++p;
                if (p < last) {
                    custom.clear();
                    if (text[p] == u'"') {
                        ++p;
                        while (p <= last && text[p] != u'"') custom += text[p++];
                    }
                }
            }
        } else if (const char16_t* words = CommandWords(c)) {
            add(words);
        }
        collected.clear();
    }
    execute(collected);
    return out.empty() ? u"tut nichts" : out;
}

}  // namespace

std::u16string MacroPreview(const std::u16string& stored) {
    const std::u16string text = DecodeMacroText(stored);
    if (text.empty()) return std::u16string();
    if (text[0] == u'^') return u"Befehl: " + CommandPreview(text);
    return TypedPreview(text);
}

std::u16string MacroKind(const std::u16string& stored) {
    const std::u16string text = DecodeMacroText(stored);
    return !text.empty() && text[0] == u'^' ? u"Befehl" : u"Text";
}

std::u16string CheckMacroText(const std::u16string& stored) {
    if (stored.empty()) return u"Der Text ist leer.";
    if ((stored.size() + 1) * 2 > kMaxMacroBytes)
        return u"Der Text ist " + ToU16(std::to_string(stored.size())) +
               u" Zeichen lang; Vantor schreibt höchstens " +
               ToU16(std::to_string(kMaxMacroBytes / 2 - 1)) + u" Zeichen.";
    auto isHex = [](char16_t c) {
        return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
    };
    for (std::size_t p = 0; p + 1 < stored.size(); ++p) {
        if (stored[p] != u'$') continue;
        if (stored[p + 1] == u'$') {
            ++p;
            continue;
        }
        const std::size_t len = std::min<std::size_t>(2, stored.size() - p - 1);
        const std::u16string escape = stored.substr(p, len + 1);
        for (std::size_t i = 1; i <= len; ++i)
            if (!isHex(escape[i]))
                return u"„" + escape + u"“ an Stelle " + ToU16(std::to_string(p + 1)) +
                       u" ist keine gültige Ersetzung: $$ steht für ein $, $ mit zwei "
                       u"Hexadezimalziffern für ein Zeichen (zum Beispiel $0D).";
        p += len;
    }
    const std::u16string text = DecodeMacroText(stored);
    if (text[0] == u'^') return std::u16string();
    // A key form needs the escape, the modifier byte and the key.
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != kEscape) continue;
        if (i + 1 < text.size() && text[i + 1] == kEscape) {
            if (i + 2 < text.size())
                i += 2 + text[i + 2];
            else
                ++i;
            continue;
        }
        if (i + 2 >= text.size())
            return u"Die Tastenfolge am Ende ist unvollständig: nach $FF folgen das "
                   u"Umschaltbyte und die Taste (zum Beispiel $FF$02C für Strg+C).";
        i += 2;
    }
    return std::u16string();
}

std::u16string KeyStrokeText(std::uint16_t vk, std::uint8_t modifiers) {
    std::uint8_t scan = 0;
    if (modifiers & MOD_SHIFT) scan |= 0x01;
    if (modifiers & (MOD_CTRL | MOD_ALTGR)) scan |= 0x02;  // AltGr is typed as Ctrl+Alt
    if (modifiers & (MOD_ALT | MOD_ALTGR)) scan |= 0x04;
    if (modifiers & MOD_LWIN) scan |= 0x20;
    if (modifiers & MOD_RWIN) scan |= 0x40;
    const auto key = static_cast<std::uint8_t>(vk & 0xFF);
    std::u16string text = u"$FF$" + HexStr(scan, 2);
    if ((key >= u'A' && key <= u'Z') || (key >= u'0' && key <= u'9'))
        text += static_cast<char16_t>(key);
    else
        text += u"$" + HexStr(key, 2);
    return text;
}

bool TKeyCapture::Feed(std::uint16_t vk, std::uint32_t keyData) {
    if (done_) return true;
    const bool up = (keyData & 0x80000000u) != 0;
    const bool extended = (keyData & 0x01000000u) != 0;
    std::uint8_t bit = 0;
    switch (vk & 0xFF) {
        case 0x10:
        case 0xA0:
        case 0xA1:
            bit = MOD_SHIFT;
            break;
        case 0x11:
        case 0xA2:
        case 0xA3:
            bit = MOD_CTRL;
            break;
        case 0x12:
            bit = extended ? MOD_ALTGR : MOD_ALT;
            break;  // right Alt is extended
        case 0xA4:
            bit = MOD_ALT;
            break;
        case 0xA5:
            bit = MOD_ALTGR;
            break;
        case 0x5B:
            bit = MOD_LWIN;
            break;
        case 0x5C:
            bit = MOD_RWIN;
            break;
        default:
            break;
    }
    if (bit) {
        mods_ = static_cast<std::uint8_t>(up ? mods_ & ~bit : mods_ | bit);
        return false;
    }
    if (up) return false;  // the release of a key pressed before the capture began
    // A key held since before the capture began (Enter on the button that started it)
    // repeats: those repeats are not the combination the person is about to press.
    if (keyData & 0x40000000u) return false;
    done_ = true;
    key_ = static_cast<std::uint16_t>(vk & 0xFF);
    extended_ = extended;
    keyMods_ = mods_;
    cancelled_ = key_ == VK_ESCAPE && mods_ == 0;
    return true;
}

std::uint32_t TKeyCapture::Combination() const {
    return CombinationFromKey(key_, extended_, keyMods_);
}

}  // namespace vt
