// VtSend: typing texts of the macro text language with injected key events.
#include "VtSend.h"

#include <algorithm>
#include <string>

#include "../common/DebugWindowInterface.h"
#include "../common/RegistryKey.h"
#include "../common/Vantor.Common.h"
#include "../common/VtError.h"
#include "VtSend.Batch.h"

namespace vt {

namespace {

constexpr std::uint16_t kMarkerKey = 0xFF;      // brackets every injected text
constexpr std::uint16_t kRightAltKey = 0x8012;  // VK_MENU with the extended flag
constexpr std::uint16_t kShiftBit = 0x0100;     // Shift in a key-scan result
constexpr std::uint16_t kCtrlAltBits = 0x0600;  // Ctrl and Alt in a key-scan result

// Windows takes Alt + keypad + and hexadecimal digits as a character only where the user
// has this value at "1" (and has logged on again since).
const std::u16string kInputMethodKey = u"Control Panel\\Input Method";
const std::u16string kHexNumpadValue = u"EnableHexNumpad";

// What the characters of the text being typed depend on: Caps Lock as the target thread
// will see it when the keys arrive, and the user's hexadecimal keypad entry (read when a
// character first needs it).
struct TypingState {
    bool capsLock = false;
    int hexNumpad = -1;  // -1 not read yet
    int shiftLock = -1;  // "Caps Lock off with Shift"; -1 not read yet
};
thread_local TypingState tTyping;

constexpr std::uint16_t kRightCtrlKey = 0x8011;
constexpr std::uint8_t kRightShiftScan = 0x36;

// The modifier keys by side, in the order they are sent: right Alt (or Alt and Ctrl),
// Shift, right and left Windows key. vk names the side in the key state tables.
struct ModifierKey {
    std::uint8_t side;
    std::uint16_t vk;
    std::uint16_t code;  // the KeyCode injected for it
};
constexpr ModifierKey kModifierKeys[] = {
    {SIDE_RALT, VK_RMENU, kRightAltKey},   {SIDE_LALT, VK_LMENU, VK_MENU},
    {SIDE_LCTRL, VK_LCONTROL, VK_CONTROL}, {SIDE_RCTRL, VK_RCONTROL, kRightCtrlKey},
    {SIDE_LSHIFT, VK_LSHIFT, VK_SHIFT},    {SIDE_RSHIFT, VK_RSHIFT, VK_RSHIFT},
    {SIDE_RWIN, VK_RWIN, VK_RWIN},         {SIDE_LWIN, VK_LWIN, VK_LWIN},
};

// The user's "Caps Lock off with Shift" setting: with it, the first Shift pressed while
// Caps Lock is on switches Caps Lock off.
const std::u16string kKeyboardLayoutKey = u"Keyboard Layout";
const std::u16string kLayoutAttributesValue = u"Attributes";
constexpr std::uint32_t kShiftLockAttribute = 0x00010000;  // KLF_SHIFTLOCK

// Keys of the navigation block and the others that a keyboard sends with the 0xE0 prefix.
// MapVirtualKeyW gives the prefix on Windows but not under Wine, so the list decides too.
bool IsExtendedKey(std::uint8_t vk, std::uint32_t scan) {
    if ((scan & 0xFF00) == 0xE000) return true;
    switch (vk) {
        case 0x21: case 0x22: case 0x23: case 0x24:  // Page Up, Page Down, End, Home
        case 0x25: case 0x26: case 0x27: case 0x28:  // the arrows
        case 0x2C: case 0x2D: case 0x2E:             // Print Screen, Insert, Delete
        case 0x5B: case 0x5C: case 0x5D:             // the Windows keys, Applications
        case 0x6F: case VK_NUMLOCK:                  // keypad /, Num Lock
        case VK_RCONTROL: case VK_RMENU:
            return true;
        default:
            return vk >= 0xA6 && vk <= 0xB7;  // browser, volume and media keys
    }
}

// The ScanModifiers bits of a key-scan result, in the order they are pressed (and,
// not reversed, released).
struct ScanModifierKey {
    std::uint8_t bit;
    std::uint16_t vk;
};
constexpr ScanModifierKey kScanModifierKeys[] = {
    {0x01, VK_SHIFT}, {0x02, VK_CONTROL}, {0x04, VK_MENU}, {0x40, VK_RWIN}, {0x20, VK_LWIN}};

bool ShiftLockOn();

void SendScanModifiers(std::uint8_t modifiers, bool press) {
    for (const ScanModifierKey& key : kScanModifierKeys) {
        if (modifiers & key.bit) SendKey(key.vk, press);
    }
    // With "Caps Lock off with Shift" a Shift of the text switches the lock off; the
    // characters after it are typed for that.
    if (press && (modifiers & 0x01) && tTyping.capsLock && ShiftLockOn()) tTyping.capsLock = false;
}

// One key with the modifiers of its high byte. An escape cut short by the end of the
// text names no key at all: it gets its line but nothing is injected for it (a stroke of
// virtual key 0 would only reach the application as an unknown key). Nor is the marker
// key typed as a key of the text: its release would end the hook's playback in the
// middle of the text, and the rest would be converted again (even run its own macro).
void SendKeyStroke(std::uint16_t code, bool hasKey = true) {
    const std::uint8_t modifiers = static_cast<std::uint8_t>(code >> 8);
    DebugLog(u"4.VK=%.4x winToggle:%x", code, modifiers);
    if (!hasKey || (code & 0xFF) == kMarkerKey) return;
    SendScanModifiers(modifiers, true);
    SendKey(code, true);
    SendKey(code, false);
    SendScanModifiers(modifiers, false);
    // A text may switch Caps Lock itself; the characters after it are typed for the new state.
    if ((code & 0xFF) == VK_CAPITAL) tTyping.capsLock = !tTyping.capsLock;
}

bool ShiftLockOn() {
    if (tTyping.shiftLock < 0) {
        std::uint32_t attributes = 0;
        HKey key = 0;
        if (Plat().RegOpenKeyExW(HKEY_CURRENT_USER, kKeyboardLayoutKey, KEY_QUERY_VALUE, &key) ==
            ERROR_SUCCESS) {
            std::uint32_t type = REG_NONE, size = sizeof attributes;
            std::uint8_t data[4] = {};
            // Anything but a DWORD is Windows' default: Caps Lock off with its own key.
            if (Plat().RegQueryValueExW(key, kLayoutAttributesValue, &type, data, &size) ==
                    ERROR_SUCCESS &&
                type == REG_DWORD && size == 4)
                attributes = data[0] | (data[1] << 8) | (data[2] << 16) |
                             (static_cast<std::uint32_t>(data[3]) << 24);
            Plat().RegCloseKey(key);
        }
        tTyping.shiftLock = (attributes & kShiftLockAttribute) ? 1 : 0;
    }
    return tTyping.shiftLock == 1;
}

bool HexNumpadEnabled() {
    if (tTyping.hexNumpad < 0) {
        TRegistry reg(KEY_READ);
        reg.SetRootKey(HKEY_CURRENT_USER);
        bool on = false;
        try {
            on = reg.OpenKey(kInputMethodKey, false) && reg.ReadString(kHexNumpadValue) == u"1";
        } catch (const EVtError&) {
            on = false;  // a value of another type enables nothing
        }
        tTyping.hexNumpad = on ? 1 : 0;
    }
    return tTyping.hexNumpad == 1;
}

// A character that no key of the layout types. Up to U+00FF Alt + keypad decimal entry
// types it everywhere; above, Alt + keypad hexadecimal entry works only where the user
// enabled it (elsewhere Alt + keypad + and the letters A-F type wrong characters or open
// menus), so the character goes as a Unicode key event instead.
void SendKeylessChar(char16_t ch) {
    if (ch <= 0xFF || !PlatformIsNT || HexNumpadEnabled()) {
        SendRawChar(ch);
    } else {
        SendUnicodeChar(ch);
    }
}

// U+00FF U+00FF n, then up to n code units read as a number; i is on the second U+00FF
// and ends on the last code unit consumed.
void SendRawForm(const std::u16string& text, std::size_t& i) {
    if (i + 1 >= text.size()) {
        SendRawChar(EscapeChar);
        return;
    }
    const char16_t count = text[++i];
    DebugLog(u"RAW1 %d \"%s\"", static_cast<int>(count), count);
    const std::size_t take = std::min<std::size_t>(count, text.size() - i - 1);
    const std::u16string number = text.substr(i + 1, take);
    i += take;
    std::int32_t value = 0;
    if (ReadRawNumber(number, &value)) {
        const char16_t ch = static_cast<char16_t>(value & 0xFFFF);
        DebugLog(u"RAW (\"%s\" / %s)=%.4x", number, ch, value);
        SendKeylessChar(ch);
    } else {
        SendKeylessChar(count);
    }
}

// U+00FF m k: one key with modifiers; i is on m and ends on k (or stays on m when the
// text ends there).
void SendKeyForm(const std::u16string& text, std::size_t& i) {
    const std::uint8_t m = static_cast<std::uint8_t>(text[i] & 0xFF);
    std::uint16_t code = static_cast<std::uint16_t>((m & 0x7F) << 8);
    const bool hasKey = i + 1 < text.size();
    char16_t k = 0;
    if (hasKey) {
        k = text[++i];
        if (m & 0x80) {
            const std::int16_t scan = Plat().VkKeyScanW(k);
            code = scan == -1 ? 0xFFFF : static_cast<std::uint16_t>(code | scan);
        } else {
            code = static_cast<std::uint16_t>(code | k);
        }
    }
    // The whole text in hexadecimal, for every key form of it: built only for a listener.
    if (LogListening()) DebugLog(u"VK_VIRTUAL (%s)=%.4x", HexText(text), code);
    if (hasKey && code == 0xFFFF) {
        SendKeylessChar(k);
    } else {
        SendKeyStroke(code, hasKey);
    }
}

// The spacing accents that layouts put on dead keys (^ ´ ` ~ ¨ ¸ ¯ ˆ ˇ ˘ ˙ ˚ ˛ ˜ ˝).
// Typed by their key they would wait for the next character ("x^e" would type "xê") or,
// at the end of a text, for the user's next key.
bool IsAccentChar(char16_t ch) {
    switch (ch) {
        case u'^': case u'`': case u'~': case 0xB4: case 0xA8: case 0xB8: case 0xAF:
        case 0x2C6: case 0x2C7: case 0x2D8: case 0x2D9: case 0x2DA: case 0x2DB:
        case 0x2DC: case 0x2DD:
            return true;
        default:
            return false;
    }
}

void SendCharacter(char16_t ch) {
    const std::int16_t scan = Plat().VkKeyScanW(ch);
    if (LogListening())
        DebugLog(u"vk=\"%s\"(%d)=%.4x", ch, static_cast<int>(ch), static_cast<int>(scan));
    if (scan == -1) {
        SendKeylessChar(ch);
        return;
    }
    auto code = static_cast<std::uint16_t>(scan);
    const auto vk = static_cast<std::uint8_t>(code);
    if (IsAccentChar(ch)) {
        // A Unicode key event types the character alone and leaves the layout's dead-key
        // state as it is. Without one, the dead key followed by Space gives the bare accent.
        if (PlatformIsNT) {
            SendUnicodeChar(ch);
            return;
        }
        const bool dead = (Plat().MapVirtualKeyW(vk, MAPVK_VK_TO_CHAR) & 0x80000000u) != 0;
        SendKeyStroke(code);
        if (dead) SendKeyStroke(VK_SPACE);
        return;
    }
    // Caps Lock swaps the two levels of a letter key (not its AltGr level); Shift swaps
    // them back, so the text arrives as stored. Toggling Caps Lock instead would change
    // the user's own state.
    if (tTyping.capsLock && (code & kCtrlAltBits) == 0 && IsCaseKey(vk, ch)) code ^= kShiftBit;
    // With "Caps Lock off with Shift" that Shift (or any other) would switch the user's
    // Caps Lock off: the character goes as a Unicode key event instead.
    if (tTyping.capsLock && (code & kShiftBit) && PlatformIsNT && ShiftLockOn()) {
        SendUnicodeChar(ch);
        return;
    }
    SendKeyStroke(code);
}

// The other case of a letter, or the letter itself when it has none: the alphabets of
// the layouts people type German and its neighbours with (Latin, Greek, Cyrillic).
char16_t OtherCase(char16_t c) {
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
        return static_cast<char16_t>(c - 0x20);
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return static_cast<char16_t>(c + 0x20);
    if (c == 0xFF) return 0x178;
    if (c == 0x178) return 0xFF;
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 &&
        c != 0x17F) {
        // pairs: even upper / odd lower, except the two runs that start on an odd code
        const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        return static_cast<char16_t>(((c & 1) != 0) == oddUpper ? c + 1 : c - 1);
    }
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return static_cast<char16_t>(c + 0x20);
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return static_cast<char16_t>(c - 0x20);
    if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 0x20);
    if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
    if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 0x50);
    if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
    return c;
}

// The sides of the modifier byte: the sides the thread's key state holds, the left one
// when it names neither. With right Alt, the Ctrl and Alt of the byte belong to it.
std::uint8_t SidesOfState(std::uint8_t state, const std::uint8_t* keys) {
    auto down = [keys](std::uint16_t vk) { return keys && (keys[vk] & 0x80); };
    auto pick = [&](std::uint8_t bit, std::uint8_t left, std::uint8_t right, std::uint16_t leftVk,
                    std::uint16_t rightVk) -> std::uint8_t {
        if (!(state & bit)) return 0;
        const std::uint8_t held = (down(leftVk) ? left : 0) | (down(rightVk) ? right : 0);
        return held ? held : left;
    };
    std::uint8_t sides = 0;
    if (state & MOD_ALTGR) {
        sides |= SIDE_RALT;
    } else {
        sides |= pick(MOD_ALT, SIDE_LALT, SIDE_RALT, VK_LMENU, VK_RMENU);
        sides |= pick(MOD_CTRL, SIDE_LCTRL, SIDE_RCTRL, VK_LCONTROL, VK_RCONTROL);
    }
    sides |= pick(MOD_SHIFT, SIDE_LSHIFT, SIDE_RSHIFT, VK_LSHIFT, VK_RSHIFT);
    if (state & MOD_RWIN) sides |= SIDE_RWIN;
    if (state & MOD_LWIN) sides |= SIDE_LWIN;
    return sides;
}

struct HeldModifiers {
    std::uint8_t lift = 0;     // released before the text
    std::uint8_t restore = 0;  // pressed again after it
};

// The thread's state says what the text would be typed with: those sides are lifted
// before it and put back after it. The physical state follows every event already
// queued, so it also lifts a modifier the user pressed after the trigger: under Wine the
// program's thread takes that press when the hook holds it back, before the text.
// What the user let go of or pressed after the trigger is held back by the hook and
// comes after the text, so the text puts back exactly what the thread held.
HeldModifiers SampleModifiers(std::uint8_t saved) {
    std::uint8_t keys[256] = {};
    const bool haveKeys = Plat().GetKeyboardState(keys);
    const std::uint8_t logical = SidesOfState(saved, haveKeys ? keys : nullptr);
    std::uint8_t physical = 0;
    for (const ModifierKey& key : kModifierKeys) {
        if (Plat().GetAsyncKeyState(key.vk) < 0) physical |= key.side;
    }
    // Layouts with AltGr hold left Ctrl along with right Alt; its release lifts both.
    if ((logical | physical) & SIDE_RALT) physical &= static_cast<std::uint8_t>(~SIDE_LCTRL);
    return {static_cast<std::uint8_t>(logical | physical), logical};
}

// A program takes a press and release of Alt (or a Windows key) with nothing between them
// as a call for its menu bar (or the Start menu). When the text puts back Alt or a Windows
// key that the user then lets go of, a key in between keeps that release from being one.
// Right Alt as AltGr (Windows holds Ctrl with it) opens no menu.
void MaskRestoredKeys(std::uint8_t saved, std::uint8_t restored) {
    std::uint8_t menuKeys = SIDE_LALT | SIDE_LWIN | SIDE_RWIN;
    if (!(saved & MOD_CTRL)) menuKeys |= SIDE_RALT;
    if (!(restored & menuKeys)) return;
    SendKey(kMaskKey, true);
    SendKey(kMaskKey, false);
}

void RestoreModifiers(std::uint8_t saved, std::uint8_t restore) {
    if (PlatformIsNT) {
        if (LogListening()) {
            DebugLog(u"2.prevTgl\t%s", ModifierNames(saved));
            DebugLog(u"2.GlobalTgl\t%s", ModifierNames(ModifierState));
            // three key-state calls for the line alone
            DebugLog(u"2.SAC\t%x\t%x\t%x", static_cast<int>(Plat().GetAsyncKeyState(VK_SHIFT)),
                     static_cast<int>(Plat().GetAsyncKeyState(VK_MENU)),
                     static_cast<int>(Plat().GetAsyncKeyState(VK_CONTROL)));
        }
        SendModifierSides(restore, true);
        MaskRestoredKeys(saved, restore);
        return;
    }
    // keybd_event platforms get back what the key form can express; the Windows keys
    // stay up.
    const bool altGr = (saved & MOD_ALTGR) && (restore & SIDE_RALT);
    if ((saved & MOD_SHIFT) && (restore & (SIDE_LSHIFT | SIDE_RSHIFT))) SendKey(VK_SHIFT, true);
    if ((saved & MOD_CTRL) && (altGr || (restore & (SIDE_LCTRL | SIDE_RCTRL))))
        SendKey(VK_CONTROL, true);
    if ((saved & MOD_ALT) && (restore & (SIDE_LALT | SIDE_RALT))) SendKey(VK_MENU, true);
    if (altGr) SendKey(kRightAltKey, true);
    if ((saved & MOD_ALT) && (restore & (SIDE_LALT | SIDE_RALT)))
        MaskRestoredKeys(saved, altGr ? SIDE_RALT : SIDE_LALT);
}

int DigitValue(char16_t ch, int base) {
    int value = -1;
    if (ch >= u'0' && ch <= u'9') value = ch - u'0';
    if (ch >= u'A' && ch <= u'F') value = ch - u'A' + 10;
    if (ch >= u'a' && ch <= u'f') value = ch - u'a' + 10;
    return value < base ? value : -1;
}

}  // namespace

bool SendText(const std::u16string& text) {
    TLogScope logScope;  // one look for the log's listeners for all the text's lines
    tTyping = TypingState{(LockState & LOCK_CAPS) != 0, -1, -1};
    PlaybackCounter() = 0;
    // The whole text goes into the input stream in one piece: nothing the user types
    // meanwhile lands between its keys.
    TInputBatch batch(true);
    ++PlaybackCounter();  // the marker's press
    const std::uint8_t saved = ModifierState;
    try {
        const HeldModifiers held = SampleModifiers(saved);
        SendModifierSides(held.lift, false);
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char16_t ch = text[i];
            if (ch != EscapeChar) {
                // CR LF is one line break, and so is a lone LF: the layout types LF as
                // Ctrl+Enter, which sends mail and breaks pages.
                if (ch == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
                SendCharacter(ch == u'\n' ? u'\r' : ch);
            } else if (i + 1 >= text.size()) {
                SendKeyStroke(0, false);
            } else if (text[i + 1] == EscapeChar) {
                ++i;
                SendRawForm(text, i);
            } else {
                ++i;
                SendKeyForm(text, i);
            }
        }
        RestoreModifiers(saved, held.restore);
    } catch (...) {
        // What was built goes out with the marker's release, so the hook does not wait
        // for a text that never comes.
        batch.Send();
        throw;
    }
    ++PlaybackCounter();  // the marker's release
    batch.Send();
    return true;
}

void SendKey(std::uint16_t code, bool press) {
    std::uint32_t flags = press ? 0 : KEYEVENTF_KEYUP;
    if (code & 0x8000) {
        flags |= KEYEVENTF_EXTENDEDKEY;
        code &= 0x7FFF;
    }
    const std::uint8_t vk = static_cast<std::uint8_t>(code & 0xFF);
    std::uint32_t scan;
    if (PlatformIsNT) {
        scan = Plat().MapVirtualKeyW(vk, MAPVK_VK_TO_VSC_EX);
        // Programs that read scan codes (remote desktops, virtual machines) tell Delete
        // from keypad Del, and the arrows from the keypad's, by this flag alone.
        if (IsExtendedKey(vk, scan)) flags |= KEYEVENTF_EXTENDEDKEY;
        scan &= 0xFF;
        KeyInput input;
        input.wVk = vk;
        input.wScan = static_cast<std::uint16_t>(scan);
        input.dwFlags = flags;
        input.time = 0;
        input.dwExtraInfo = Plat().GetTickCount();
        if (TInputBatch* batch = TInputBatch::Open()) {
            batch->Add(input);
        } else {
            Plat().SendInput(input);  // a refused event is not detectable here anyway
        }
    } else {
        scan = Plat().MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
        KeyInput input;
        input.wVk = vk;
        input.wScan = static_cast<std::uint16_t>(scan);
        input.dwFlags = flags;
        if (TInputBatch* batch = TInputBatch::Open()) {
            batch->Add(input);
        } else {
            Plat().keybd_event(vk, static_cast<std::uint8_t>(scan), flags, 0);
        }
    }
    ++PlaybackCounter();
    ++ActionCount;
    if (LogListening()) {
        DebugLog(u"4.AddVK\tVK:%.4x\t[%s]\t%s\tsc=%x\t%.8x", code, KeyName(code, 0),
                 KeyActionText(flags), scan, 0);
    }
}

void SendRawChar(std::uint16_t code) {
    SendKey(VK_MENU, true);
    std::u16string digits;
    if (code > 0xFF) {
        digits = HexStr(code, 4);
        SendKey(VK_ADD, true);
        SendKey(VK_ADD, false);
    } else {
        digits = ToU16(std::to_string(code));
    }
    SendKey(VK_NUMPAD0, true);
    SendKey(VK_NUMPAD0, false);
    DebugLog(u"Raw=%x %s", code, digits);
    for (char16_t digit : digits) {
        // 0-9 on the keypad, A-F on the letter keys
        const std::uint16_t key = digit <= u'9' ? static_cast<std::uint16_t>(digit + 0x30)
                                                : static_cast<std::uint16_t>(digit);
        SendKey(key, true);
        SendKey(key, false);
    }
    SendKey(VK_MENU, false);
}

void SendUnicodeChar(char16_t ch) {
    KeyInput input;
    input.wScan = ch;
    input.dwExtraInfo = Plat().GetTickCount();
    for (std::uint32_t flags : {KEYEVENTF_UNICODE, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP}) {
        input.dwFlags = flags;
        if (TInputBatch* batch = TInputBatch::Open()) {
            batch->Add(input);
        } else {
            Plat().SendInput(input);
        }
        ++PlaybackCounter();
        if (LogListening())
            DebugLog(u"4.AddChar\tU+%.4x\t%s", static_cast<int>(ch), KeyActionText(flags));
    }
}

void SendLockKeyToggle(std::uint16_t code) {
    PlaybackCounter() = 0;
    TInputBatch batch(true);
    ++PlaybackCounter();
    try {
        // The user's own press is still down when these events arrive, and a press of a
        // key that is down toggles nothing: the key is released first.
        SendKey(code, false);
        SendKey(code, true);
        SendKey(code, false);
    } catch (...) {
        batch.Send();
        throw;
    }
    ++PlaybackCounter();
    batch.Send();
}

bool IsCaseKey(std::uint8_t vk, char16_t letter) {
    const char16_t other = OtherCase(letter);
    if (other == letter) return false;
    const std::int16_t a = Plat().VkKeyScanW(letter);
    const std::int16_t b = Plat().VkKeyScanW(other);
    return (a == vk && b == (kShiftBit | vk)) || (b == vk && a == (kShiftBit | vk));
}

bool CapsLockAffectsKey(std::uint8_t vk) {
    // The key's unshifted character; dead keys carry a flag in the high bits.
    const auto ch = static_cast<char16_t>(Plat().MapVirtualKeyW(vk, MAPVK_VK_TO_CHAR) & 0xFFFF);
    return ch != 0 && IsCaseKey(vk, ch);
}

void SendModifiers(std::uint8_t state, bool press) {
    SendModifierSides(SidesOfState(state, nullptr), press);
}

void SendModifierSides(std::uint8_t sides, bool press) {
    for (const ModifierKey& key : kModifierKeys) {
        if (!(sides & key.side)) continue;
        SendKey(key.code, press);
        // Windows adds a left Ctrl event to right Alt on layouts with AltGr.
        if (key.side == SIDE_RALT) ++PlaybackCounter();
    }
}

std::uint8_t ModifierSide(std::uint16_t vk, bool extended, std::uint32_t scan) {
    switch (vk) {
        case VK_SHIFT:
            return (scan & 0xFF) == kRightShiftScan ? SIDE_RSHIFT : SIDE_LSHIFT;
        case VK_CONTROL:
            return extended ? SIDE_RCTRL : SIDE_LCTRL;
        case VK_MENU:
            return extended ? SIDE_RALT : SIDE_LALT;
        default:
            for (const ModifierKey& key : kModifierKeys) {
                if (key.vk == vk) return key.side;
            }
            return 0;
    }
}

std::u16string KeyActionText(std::uint32_t flags) {
    std::u16string text = (flags & KEYEVENTF_KEYUP) ? u"UP" : u"DN";
    if (flags & KEYEVENTF_EXTENDEDKEY) text += u" (X)";
    return text;
}

bool ReadRawNumber(const std::u16string& text, std::int32_t* value) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && text[i] == u' ') ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    int base = 10;
    if (i < n && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    if (i >= n) return false;
    // Hexadecimal covers the whole 32-bit pattern ($FFFFFFFF is -1); decimal must fit.
    const std::uint64_t limit =
        base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    std::uint64_t magnitude = 0;
    for (; i < n; ++i) {
        const int digit = DigitValue(text[i], base);
        if (digit < 0) return false;
        magnitude = magnitude * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
        if (magnitude > limit) return false;
    }
    std::uint32_t bits = static_cast<std::uint32_t>(magnitude);
    if (negative) bits = 0u - bits;
    *value = static_cast<std::int32_t>(bits);
    return true;
}

}  // namespace vt
