// Vantor.Utils: the abbreviation table. Asked at an end character only (never per
// letter), with one value query by name however many abbreviations there are.
#include "Vantor.Utils.Abbrev.h"

#include <vector>

#include "DebugWindowInterface.h"
#include "Vantor.Utils.h"

namespace vt {

namespace {

constexpr long kErrorKeyDeleted = 1018;  // ERROR_KEY_DELETED
// Most texts fit; a longer one costs a second query at its size.
constexpr std::uint32_t kFirstReadBytes = 512;

// Opened read-only at the first lookup that finds the key, and kept; a key deleted under
// us (an import writes it anew) is opened again.
HKey AbbrevKey = 0;

void CloseKey() {
    if (AbbrevKey != 0) (void)Plat().RegCloseKey(AbbrevKey);
    AbbrevKey = 0;
}

bool OpenTable() {
    HKey key = 0;
    const long rc = Plat().RegOpenKeyExW(HKEY_CURRENT_USER, kAbbrevTable, KEY_QUERY_VALUE, &key);
    if (rc == ERROR_SUCCESS) {
        AbbrevKey = key;
        return true;
    }
    if (rc != ERROR_FILE_NOT_FOUND) DebugLog(u"K\u00FCrzel: Tabelle nicht lesbar (%d)", rc);
    return false;
}

std::u16string TextOfBytes(const std::uint8_t* data, std::uint32_t size) {
    std::u16string text;
    for (std::uint32_t i = 0; i + 1 < size; i += 2) {
        const auto c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (c == 0) break;
        text += c;
    }
    return text;
}

}  // namespace

bool IsAbbrevLetter(char16_t c) {
    if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')) return true;
    if (c >= 0xC0 && c <= 0xFF) return c != 0xD7 && c != 0xF7;
    if (c >= 0x100 && c <= 0x17F) return true;
    if (c >= 0x386 && c <= 0x3CE) return c != 0x387 && c != 0x3A2;
    return c >= 0x400 && c <= 0x45F;
}

bool IsAbbrevChar(char16_t c) {
    return (c >= u'0' && c <= u'9') || IsAbbrevLetter(c);
}

char16_t UpperChar(char16_t c) {
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
        return static_cast<char16_t>(c - 0x20);
    if (c == 0xFF) return 0x178;
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 &&
        c != 0x17F) {
        // pairs: even upper / odd lower, except the two runs that start on an odd code
        const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        const bool upper = ((c & 1) != 0) == oddUpper;
        return upper ? c : static_cast<char16_t>(oddUpper ? c - 1 : c - 1);
    }
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return static_cast<char16_t>(c - 0x20);
    if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
    if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
    return c;
}

char16_t LowerChar(char16_t c) {
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return static_cast<char16_t>(c + 0x20);
    if (c == 0x178) return 0xFF;
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 &&
        c != 0x17F) {
        const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        const bool upper = ((c & 1) != 0) == oddUpper;
        return upper ? static_cast<char16_t>(c + 1) : c;
    }
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return static_cast<char16_t>(c + 0x20);
    if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 0x20);
    if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 0x50);
    return c;
}

bool IsValidAbbreviation(const std::u16string& name) {
    if (name.size() < kMinAbbrevLength || name.size() > kMaxAbbrevLength) return false;
    for (char16_t c : name)
        if (!IsAbbrevChar(c)) return false;
    return true;
}

std::u16string FindAbbreviation(const std::u16string& word) noexcept {
    try {
        if (!IsValidAbbreviation(word)) return std::u16string();
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (AbbrevKey == 0 && !OpenTable()) return std::u16string();
            std::uint8_t first[kFirstReadBytes];
            std::uint32_t type = REG_NONE, size = sizeof first;
            long rc = Plat().RegQueryValueExW(AbbrevKey, word, &type, first, &size);
            if (rc == kErrorKeyDeleted) {
                CloseKey();
                continue;
            }
            if (rc == ERROR_FILE_NOT_FOUND) return std::u16string();
            std::vector<std::uint8_t> more;
            const std::uint8_t* data = first;
            if (rc == ERROR_MORE_DATA) {
                // A runaway value would freeze the program while it is typed.
                if (size > kMaxMacroBytes) {
                    DebugLog(u"K\u00FCrzel %s\tzu lang (%d Bytes)", word, size);
                    return std::u16string();
                }
                more.resize(size);
                rc = Plat().RegQueryValueExW(AbbrevKey, word, &type, more.data(), &size);
                data = more.data();
            }
            if (rc != ERROR_SUCCESS) {
                DebugLog(u"K\u00FCrzel: Fehler beim Holen der Daten f\u00FCr '%s' (%d)", word, rc);
                return std::u16string();
            }
            if (type != REG_SZ && type != REG_EXPAND_SZ) {
                DebugLog(u"K\u00FCrzel: Ung\u00FCltiger Datentyp f\u00FCr '%s'", word);
                return std::u16string();
            }
            std::u16string text = TextOfBytes(data, size);
            if (text.find(u'$') != std::u16string::npos) text = DecodeMacroText(text);
            return text;
        }
    } catch (...) {
        // A line that cannot be formatted: the word simply stays as typed.
    }
    return std::u16string();
}

void CloseAbbreviations() noexcept {
    try {
        CloseKey();
    } catch (...) {
        AbbrevKey = 0;
    }
}

}  // namespace vt
