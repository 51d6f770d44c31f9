// Vantor.Common: option identifiers and names, the host window and its messages, the
// per-process key-state snapshots, and the key texts of the log lines.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "../platform/Platform.h"

namespace vt {

// ---------------------------------------------------------------- options
enum AOption : int {
    OPT_MAIN,
    OPT_HIDE,
    OPT_NP_DOT,
    OPT_EZ_BS,
    OPT_EZ_TAB,
    OPT_LOCK_NUM,
    OPT_BEEP,
    OPT_SPEAKER,
    OPT_UMLAUT,
    OPT_LOCK_CAPS,
    OPT_UMLAUT_MODE,
    OPT_DECIMAL_DOT,
    OPT_ABBREV,  // "Kürzel": typed abbreviations become their texts
    OPT_COUNT
};

extern const std::array<std::u16string, OPT_COUNT> OptionValueNames;

enum EinUmlautMode : std::uint8_t { UMLAUT_ASCII = 0, UMLAUT_HTML = 1 };

// ---------------------------------------------------------------- host window
inline const std::u16string kHostWindowName = u"Vantor32";

constexpr std::uint32_t WM_HOST_SOUNDEVENT = 0x400 + 100;    // posted, wParam event 1..8
constexpr std::uint32_t WM_HOST_COMMAND = 0x400 + 104;       // posted, wParam 1
constexpr std::uint32_t WM_HOST_GETHOOK = 0x400 + 106;       // sent, returns the hook handle
constexpr std::uint32_t WM_HOST_GETMODIFIERS = 0x400 + 107;  // sent, returns a modifier byte
constexpr std::uint32_t WM_HOST_SETMODIFIERS = 0x400 + 108;  // sent, wParam modifier byte

// A hung host must not freeze typing in every program: the sent host messages wait
// at most this long and count as unanswered after it.
constexpr std::uint32_t kHostTimeoutMs = 200;
// After a host message went unanswered, the library sends the host nothing for the rest
// of that hook call and for this long, so that a hung host costs one wait, not three per
// key. The first answer after it restores the full traffic.
constexpr std::uint32_t kHostRetryMs = 1000;

// Marks one hook call for the rule above; nested calls belong to the outer one.
class THostCallScope {
public:
    THostCallScope() noexcept;
    ~THostCallScope();
    THostCallScope(const THostCallScope&) = delete;
    THostCallScope& operator=(const THostCallScope&) = delete;
};

// ---------------------------------------------------------------- key events
struct KeyEvent {
    std::uint16_t VirtualKey = 0;  // low 16 bits of the hook's wParam
    std::uint32_t KeyData = 0;     // the hook's lParam
};

// <windows.h> defines MOD_SHIFT and MOD_ALT for RegisterHotKey, which nothing here uses;
// in this code the names are the ModifierState bits.
#undef MOD_SHIFT
#undef MOD_ALT
constexpr std::uint8_t MOD_SHIFT = 0x01;
constexpr std::uint8_t MOD_CTRL = 0x02;
constexpr std::uint8_t MOD_ALT = 0x04;
constexpr std::uint8_t MOD_ALTGR = 0x08;
constexpr std::uint8_t MOD_LWIN = 0x40;
constexpr std::uint8_t MOD_RWIN = 0x80;

constexpr std::uint8_t LOCK_CAPS = 0x01;
constexpr std::uint8_t LOCK_SCROLL = 0x02;
constexpr std::uint8_t LOCK_NUM = 0x04;

// ---------------------------------------------------------------- per-process state
extern bool PlatformIsNT;
extern std::uint8_t ModifierState;
extern std::uint8_t LockState;
// The mouse buttons in the same snapshot: toggle and down bit of the left, right and
// middle button, in bits 0-1, 2-3 and 4-5. A click changes them, which tells the
// abbreviations that the caret may have moved.
extern std::uint8_t MouseButtonState;
extern HWnd HostWindow;  // looked up once at load; 0 = no host
// Counts the steps that act in a key's place (an injected key, a written option, a
// started program, a message posted to the host), so that a failing conversion can tell
// whether the key was already taken.
extern std::uint32_t ActionCount;

// Module life: platform flag, ModifierState := 0, the host window looked up.
void VantorCommonInit();
void VantorCommonDone();

HWnd FindHostWindow();
HHook GetHookFromHost();
std::uint8_t GetHostModifiers();
void SendHostModifiers(std::uint8_t state);
bool IsKeyDown(int vk);
std::uint8_t GetModifierState();
std::uint8_t GetLockState();
// ModifierState and LockState from one GetKeyboardState snapshot: the thread state that
// GetKeyState reads, in one platform call instead of seven.
void TakeKeyStateSnapshot();

// ---------------------------------------------------------------- key texts
inline const std::u16string KeyFlagLetters = u"xiidmarlXIIDMARL";

std::u16string DescribeKeyEvent(const KeyEvent& event);
std::u16string KeyName(std::uint16_t virtualKey, std::uint32_t keyData);
std::u16string ModifierNames(std::uint8_t state);
std::u16string HexText(const std::u16string& text);

}  // namespace vt
