// Vantor.Utils: the macro lookup. Macros are read afresh at every key press, so a table
// edited while the system runs takes effect in every process at once.
#include <algorithm>

#include "DebugWindowInterface.h"
#include "Format.h"
#include "Vantor.Utils.h"
#include "VtError.h"

namespace vt {

namespace {

int HexDigit(char16_t ch) {
    if (ch >= u'0' && ch <= u'9') return ch - u'0';
    if (ch >= u'A' && ch <= u'F') return ch - u'A' + 10;
    if (ch >= u'a' && ch <= u'f') return ch - u'a' + 10;
    return -1;
}

}  // namespace

std::uint32_t MacroKey(std::uint16_t keyCode, std::uint8_t modifiers) {
    // On layouts with AltGr, Windows reports right Alt together with Ctrl and Alt; one
    // name must serve both ways of reporting it.
    if (modifiers & MOD_ALTGR) modifiers &= static_cast<std::uint8_t>(~(MOD_CTRL | MOD_ALT));
    return (static_cast<std::uint32_t>(modifiers & 0xCF) << 16) | keyCode;
}

std::u16string MacroValueName(std::uint32_t macroKey) {
    return HexStr(macroKey, 8);
}

std::u16string DecodeMacroText(const std::u16string& stored) {
    // One pass from the front: a decoded character is never taken as an escape, so the
    // output only grows at its end (editing the text in place costs quadratic time on a
    // long stored value, inside every hooked program).
    std::u16string text;
    text.reserve(stored.size());
    const std::size_t n = stored.size();
    std::size_t p = 0;
    // A "$" in the last position is never examined.
    while (p + 1 < n) {
        if (stored[p] != u'$') {
            text += stored[p++];
            continue;
        }
        if (stored[p + 1] == u'$') {
            text += u'$';
            p += 2;
            continue;
        }
        // "$" and up to two more characters, read as "$" followed by hex digits.
        const std::size_t len = std::min<std::size_t>(3, n - p);
        int value = 0;
        bool ok = true;
        for (std::size_t i = p + 1; i < p + len; ++i) {
            const int digit = HexDigit(stored[i]);
            if (digit < 0) {
                ok = false;
                break;
            }
            value = value * 16 + digit;
        }
        if (ok) text += static_cast<char16_t>(value);
        p += len;
    }
    text.append(stored, p, std::u16string::npos);
    return text;
}

std::u16string FindMacro(const std::u16string& table, std::uint16_t keyCode,
                         std::uint8_t modifiers) {
    // Looking up needs read access only, which programs with low rights also have.
    TRegistry reg(KEY_READ);
    reg.SetRootKey(HKEY_CURRENT_USER);
    if (!reg.OpenKey(table, false)) return std::u16string();

    const std::u16string name = MacroValueName(MacroKey(keyCode, modifiers));
    DebugLog(u"FindMacro vkStr=%s", name);

    std::u16string text;
    try {
        // The hook types a macro on the user's input thread: a runaway value of megabytes
        // would freeze the program for minutes, so it is not taken as a macro.
        std::uint32_t type = 0, size = 0;
        if (reg.GetDataInfo(name, &type, &size) && size > kMaxMacroBytes) {
            DebugLog(u"FindMacro %s	too long (%d bytes)", name, size);
            return std::u16string();
        }
        text = reg.ReadString(name);
    } catch (const EVtError& e) {
        // A value of another type is no macro: the key goes on as if nothing were stored.
        DebugLog(u"FindMacro %s\t%s", name, e.Message());
        return std::u16string();
    }
    if (!text.empty() && text.find(u'$') != std::u16string::npos) text = DecodeMacroText(text);
    return text;
}

}  // namespace vt
