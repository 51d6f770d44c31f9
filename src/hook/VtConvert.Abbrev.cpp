// VtConvert: abbreviations. The word is followed on every press without a registry read;
// only an end character after a word of 2 to 32 letters and digits asks the table, with
// one value query by name.
#include "VtConvert.Abbrev.h"

#include <algorithm>

#include "../common/DebugWindowInterface.h"
#include "../common/Vantor.Utils.Abbrev.h"
#include "../common/Vantor.Utils.h"
#include "../common/VtError.h"
#include "Vt32Util.h"
#include "VtSend.h"

namespace vt {

namespace {

constexpr std::uint8_t kScanShift = 0x01;
constexpr std::uint8_t kScanAltGr = 0x06;  // typed as Ctrl+Alt, as the key scan reports it

// The layout as this thread's keys showed it: per key its unshifted character (as
// MapVirtualKeyW reports it) and whether Caps Lock and Shift switch its case; per
// modifier level the characters of the other keys, from VkKeyScanW, built once. A key
// whose unshifted character changed means another layout: the levels are built anew.
// MapVirtualKeyW and VkKeyScanW only read the layout; ToUnicode would consume a dead key
// the program has not read yet.
struct RLayoutCache {
    bool known[256];
    std::uint32_t base[256];
    bool caseKey[256];
    bool levelsBuilt;
    char16_t levels[8][256];  // by the key scan's modifier byte: 1 Shift, 6 AltGr, 7 both
};
thread_local RLayoutCache tLayout;

struct RAbbrevThread {
    TWordTracker word;
    HWnd focus = 0;  // where the word began
    std::uint8_t mouse = 0;
    bool mouseKnown = false;
};
thread_local RAbbrevThread tAbbrev;

void BuildLevels() {
    auto add = [](char16_t ch) {
        const std::int16_t r = Plat().VkKeyScanW(ch);
        if (r == -1) return;
        const unsigned mods = (static_cast<unsigned>(r) >> 8) & 0xFF;
        if (mods > 7) return;
        char16_t& slot = tLayout.levels[mods][r & 0xFF];
        if (slot == 0) slot = ch;
    };
    for (auto& level : tLayout.levels)
        for (auto& c : level) c = 0;
    for (char16_t c = 0x21; c <= 0x7E; ++c) add(c);
    for (char16_t c = 0xA1; c <= 0x17F; ++c) add(c);
    add(0x20AC);
    tLayout.levelsBuilt = true;
}

bool IsSpacingAccent(char16_t c) {
    return c == u'^' || c == u'`' || c == u'~' || c == 0xA8 || c == 0xB4 || c == 0xB8;
}

RAbbrevKey CharKey(char16_t ch) {
    RAbbrevKey key;
    key.ch = ch;
    key.kind = IsAbbrevChar(ch) ? AK_WORD : IsAbbrevEndChar(ch) ? AK_END : AK_SEPARATOR;
    return key;
}

RAbbrevKey Kind(EAbbrevKey kind, char16_t ch = 0) {
    RAbbrevKey key;
    key.kind = kind;
    key.ch = ch;
    return key;
}

RAbbrevKey LayoutKey(std::uint8_t vk, bool shift, bool altGr, bool caps) {
    const std::uint32_t base = Plat().MapVirtualKeyW(vk, MAPVK_VK_TO_CHAR);
    if (!tLayout.known[vk] || tLayout.base[vk] != base) {
        if (tLayout.known[vk]) tLayout.levelsBuilt = false;  // another layout
        tLayout.known[vk] = true;
        tLayout.base[vk] = base;
        const auto c = static_cast<char16_t>(base & 0xFFFF);
        tLayout.caseKey[vk] =
            (base & 0x80000000u) == 0 && c != 0 && IsAbbrevLetter(c) && IsCaseKey(vk, LowerChar(c));
    }
    const bool dead = (base & 0x80000000u) != 0;
    const auto c = static_cast<char16_t>(base & 0xFFFF);
    if (!altGr && tLayout.caseKey[vk]) {
        const bool upper = shift != caps;
        return CharKey(upper ? UpperChar(LowerChar(c)) : LowerChar(c));
    }
    if (!shift && !altGr) {
        if (dead) return Kind(AK_DEAD, c);
        if (c == 0) return Kind(AK_NEUTRAL);
        return CharKey(c);
    }
    if (!tLayout.levelsBuilt) BuildLevels();
    const unsigned level = (shift ? kScanShift : 0u) | (altGr ? kScanAltGr : 0u);
    const char16_t ch = tLayout.levels[level][vk];
    if (ch == 0) return Kind(AK_UNKNOWN);
    if (dead && IsSpacingAccent(ch)) return Kind(AK_DEAD, ch);
    return CharKey(ch);
}

RAbbrevKey Classify(const KeyEvent& event) {
    const auto vk = static_cast<std::uint8_t>(event.VirtualKey & 0xFF);
    const bool altGr = (ModifierState & MOD_ALTGR) != 0;
    // With AltGr, the Ctrl and Alt that layouts report along with it are AltGr's own.
    const bool ctrlAlt = !altGr && (ModifierState & (MOD_CTRL | MOD_ALT)) != 0;
    if (ctrlAlt || (ModifierState & (MOD_LWIN | MOD_RWIN))) return Kind(AK_RESET);
    const bool shift = (ModifierState & MOD_SHIFT) != 0;
    switch (vk) {
        case 0x08:
            return Kind(AK_BACK);
        case 0x0D:
            return Kind(AK_END, u'\r');
        case 0x09:
            // Shift+Tab leaves the field in a dialog, or takes an indent back.
            return shift ? Kind(AK_RESET) : Kind(AK_END, u'\t');
        case 0x20:
            return Kind(AK_END, u' ');
        case 0x0C:  // Clear
        case 0x1B:  // Escape
        case 0x21:  // Page Up, Page Down, End, Home, the arrows
        case 0x22:
        case 0x23:
        case 0x24:
        case 0x25:
        case 0x26:
        case 0x27:
        case 0x28:
        case 0x2D:  // Insert
        case 0x2E:  // Delete
        case 0x5D:  // the context menu key
            return Kind(AK_RESET);
        case 0x6A:
            return CharKey(u'*');
        case 0x6B:
            return CharKey(u'+');
        case 0x6D:
            return CharKey(u'-');
        case 0x6F:
            return CharKey(u'/');
        case 0xE5:  // an input method's key
            return Kind(AK_UNKNOWN);
        case 0xE7: {
            // A character sent by another program (an on-screen keyboard) as a Unicode
            // event: the character is in the high word of the flags.
            const auto ch = static_cast<char16_t>(event.KeyData >> 16);
            return ch != 0 ? CharKey(ch) : Kind(AK_UNKNOWN);
        }
        default:
            break;
    }
    if (vk >= 0x60 && vk <= 0x69) return CharKey(static_cast<char16_t>(u'0' + vk - 0x60));
    if (vk >= 0x70 && vk <= 0x87) return Kind(AK_RESET);  // F1-F24
    if (vk == 0x10 || vk == 0x11 || vk == 0x12 || vk == 0x14 || vk == 0x90 || vk == 0x91 ||
        (vk >= 0xA0 && vk <= 0xB7) || vk == 0x13 || vk == 0x2C || vk == 0x5B || vk == 0x5C)
        return Kind(AK_NEUTRAL);
    return LayoutKey(vk, shift, altGr, (LockState & LOCK_CAPS) != 0);
}

// The end key once more, with the modifiers it was typed with (AltGr as Ctrl+Alt).
std::u16string EndKeyText(const RAbbrevKey& key) {
    return std::u16string{EscapeChar, static_cast<char16_t>(key.scanModifiers),
                          static_cast<char16_t>(key.vk)};
}

struct RCaseUse {
    bool all = false, first = false;
};

RCaseUse CaseOf(const std::u16string& word) {
    int upper = 0, lower = 0;
    bool firstUpper = false, seenLetter = false;
    for (char16_t c : word) {
        if (!IsAbbrevLetter(c)) continue;
        const bool isUpper = LowerChar(c) != c;
        const bool isLower = UpperChar(c) != c;
        if (!seenLetter) firstUpper = isUpper;
        seenLetter = true;
        upper += isUpper ? 1 : 0;
        lower += isLower ? 1 : 0;
    }
    RCaseUse use;
    use.all = upper >= 2 && lower == 0;
    use.first = !use.all && firstUpper;
    return use;
}

}  // namespace

bool IsAbbrevEndChar(char16_t c) {
    switch (c) {
        case u' ':
        case u'\r':
        case u'\t':
        case u'.':
        case u',':
        case u';':
        case u':':
        case u'!':
        case u'?':
        case u')':
        case u']':
        case u'}':
        case u'"':
        case u'\'':
        case u'-':
        case u'/':
            return true;
        default:
            return false;
    }
}

char16_t ComposeDeadKey(char16_t accent, char16_t letter) {
    static const char16_t kBase[] = u"aeiouyAEIOUYnNcC";
    struct RAccent {
        char16_t accent;
        const char16_t* composed;  // by kBase; 0 where nothing composes
    };
    static const RAccent kAccents[] = {
        {u'^',
         u"\u00E2\u00EA\u00EE\u00F4\u00FB\u0177\u00C2\u00CA\u00CE\u00D4\u00DB\u0176\x01\x01\u0109"
         u"\u0108"},
        {0xB4,
         u"\u00E1\u00E9\u00ED\u00F3\u00FA\u00FD\u00C1\u00C9\u00CD\u00D3\u00DA\u00DD\u0144\u0143"
         u"\u0107\u0106"},
        {u'`',
         u"\u00E0\u00E8\u00EC\u00F2\u00F9\x01\u00C0\u00C8\u00CC\u00D2\u00D9\x01\x01\x01\x01\x01"},
        {u'~',
         u"\u00E3\x01\u0129\u00F5\u0169\x01\u00C3\x01\u0128\u00D5\u0168\x01\u00F1\u00D1\x01\x01"},
        {0xA8,
         u"\u00E4\u00EB\u00EF\u00F6\u00FC\u00FF\u00C4\u00CB\u00CF\u00D6\u00DC\u0178\x01\x01\x01"
         u"\x01"},
        {0xB8, u"\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\u00E7\u00C7"},
    };
    for (const RAccent& a : kAccents) {
        if (a.accent != accent) continue;
        for (std::size_t i = 0; kBase[i] != 0; ++i)
            if (kBase[i] == letter) return a.composed[i] == 0x01 ? 0 : a.composed[i];
    }
    return 0;
}

// ---------------------------------------------------------------- TWordTracker
void TWordTracker::Reset() {
    len_ = 0;
    unknownStart_ = false;
    dead_ = 0;
}

void TWordTracker::Push(char16_t c) {
    if (len_ == kCapacity) {
        for (std::size_t i = 1; i < kCapacity; ++i) chars_[i - 1] = chars_[i];
        --len_;
        unknownStart_ = true;
    }
    chars_[len_++] = c;
}

void TWordTracker::Feed(const RAbbrevKey& key) {
    const char16_t dead = dead_;
    dead_ = 0;
    switch (key.kind) {
        case AK_NEUTRAL:
            dead_ = dead;
            return;
        case AK_RESET:
            Reset();
            return;
        case AK_BACK:
            // After a dead key nobody can say what Backspace took: the accent or more.
            if (dead != 0 || len_ == 0) {
                len_ = 0;
                unknownStart_ = true;
            } else {
                --len_;
            }
            return;
        case AK_WORD:
            if (dead != 0) {
                const char16_t composed = ComposeDeadKey(dead, key.ch);
                if (composed != 0) {
                    Push(composed);
                    return;
                }
                Push(dead);  // the accent as it stands, then the letter
            }
            Push(key.ch);
            return;
        case AK_SEPARATOR:
        case AK_END:
            if (dead != 0) {
                Push(dead);  // a space after a dead key types the accent alone
                if (key.ch != u' ') Push(key.ch);
                return;
            }
            Push(key.ch);
            return;
        case AK_DEAD:
            if (dead != 0) {
                Push(dead);
                Push(key.ch);
                return;
            }
            dead_ = key.ch;
            return;
        case AK_UNKNOWN:
            Push(kUnknown);
            return;
    }
}

void TWordTracker::FeedUnknown() {
    dead_ = 0;
    Push(kUnknown);
}

void TWordTracker::AfterExpansion(char16_t endChar) {
    Reset();
    Push(endChar);
}

std::size_t TWordTracker::WordLength() const {
    std::size_t i = len_;
    while (i > 0 && IsAbbrevChar(chars_[i - 1])) --i;
    return len_ - i;
}

std::u16string TWordTracker::Word() const {
    const std::size_t n = WordLength();
    if (n < kMinAbbrevLength || n > kMaxAbbrevLength) return std::u16string();
    const std::size_t start = len_ - n;
    if (start == 0 ? unknownStart_ : chars_[start - 1] == kUnknown) return std::u16string();
    return std::u16string(chars_ + start, n);
}

// ---------------------------------------------------------------- case
std::u16string TypedCase(const std::u16string& text, const std::u16string& word) {
    const RCaseUse use = CaseOf(word);
    if (!use.all && !use.first) return text;
    std::u16string out;
    out.reserve(text.size() + 4);
    bool done = false;  // the first letter is capitalised
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t c = text[i];
        if (c == EscapeChar) {
            // Escapes are key strokes and raw entries: copied as they stand.
            std::size_t len = 1;
            if (i + 1 < n && text[i + 1] == EscapeChar)
                len = i + 2 < n ? 3 + static_cast<std::size_t>(text[i + 2]) : 2;
            else
                len = 3;
            len = std::min(len, n - i);
            out.append(text, i, len);
            i += len - 1;
            continue;
        }
        if (use.all) {
            if (c == 0xDF)
                out += u"SS";  // no capital sharp s in common use: GRÜSSE
            else
                out += UpperChar(c);
        } else if (!done && IsAbbrevLetter(c)) {
            out += UpperChar(c);
            done = true;
        } else {
            out += c;
        }
    }
    return out;
}

// ---------------------------------------------------------------- pipeline steps
RAbbrevKey AbbrevKeyOf(const KeyEvent& event) noexcept {
    try {
        RAbbrevKey key = Classify(event);
        key.vk = static_cast<std::uint8_t>(event.VirtualKey & 0xFF);
        key.scanModifiers =
            static_cast<std::uint8_t>(((ModifierState & MOD_SHIFT) ? kScanShift : 0) |
                                      ((ModifierState & MOD_ALTGR) ? kScanAltGr : 0));
        // A click (seen in the key state of the mouse buttons) may have put the caret
        // elsewhere. A double click toggles twice and goes unseen.
        if (tAbbrev.mouseKnown && tAbbrev.mouse != MouseButtonState) tAbbrev.word.Reset();
        tAbbrev.mouse = MouseButtonState;
        tAbbrev.mouseKnown = true;
        return key;
    } catch (...) {
        return RAbbrevKey{};
    }
}

bool ExpandAbbreviation(const RAbbrevKey& key, KeyContext& context) {
    if (key.kind != AK_END || tAbbrev.word.DeadPending()) return false;
    // The tray program's own windows are where abbreviations are written down: "mfg" typed
    // as a name there must stay "mfg".
    if (InstallingProcess) return false;
    const std::u16string word = tAbbrev.word.Word();
    if (word.empty()) return false;
    const std::u16string text = FindAbbreviation(word);
    if (text.empty()) return false;
    if (!Options || Options->GetOption(OPT_ABBREV) == 0) return false;
    if (Plat().GetFocus() != tAbbrev.focus) {
        // Typed partly in another window: this one has no such word.
        DebugLog(u"K\u00FCrzel: %s\tanderes Fenster", word);
        tAbbrev.word.Reset();
        return false;
    }
    DebugLog(u"K\u00FCrzel: %s\t<%s>", word, text);
    std::u16string erase;
    for (std::size_t i = 0; i < word.size(); ++i) erase += std::u16string{EscapeChar, 0, 0x08};
    if (text[0] == u'^') {
        SendTextAndSwallow(erase, context);
        ProcessMacro(text, context);
        SendTextAndSwallow(EndKeyText(key), context);
    } else {
        SendTextAndSwallow(erase + TypedCase(text, word) + EndKeyText(key), context);
    }
    return true;
}

void FollowAbbrevKey(const RAbbrevKey& key, const KeyContext& context, bool expanded) noexcept {
    try {
        TWordTracker& word = tAbbrev.word;
        if (expanded) {
            word.AfterExpansion(key.ch);
            return;
        }
        const std::size_t before = word.WordLength();
        if (context.Verdict == 2 && key.kind != AK_RESET && key.kind != AK_NEUTRAL) {
            // Another feature typed in the key's place: what it typed is not known here.
            word.FeedUnknown();
            return;
        }
        word.Feed(key);
        if (before == 0 && word.WordLength() == 1) tAbbrev.focus = Plat().GetFocus();
    } catch (...) {
        tAbbrev.word.Reset();
    }
}

void ResetAbbrevWord() noexcept {
    tAbbrev.word.Reset();
    tAbbrev.mouseKnown = false;
    tAbbrev.focus = 0;
    tLayout.levelsBuilt = false;
    for (bool& k : tLayout.known) k = false;
}

}  // namespace vt
