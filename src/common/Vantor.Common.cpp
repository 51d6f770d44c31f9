#include "Vantor.Common.h"

#include <atomic>

#include "Format.h"

namespace vt {

const std::array<std::u16string, OPT_COUNT> OptionValueNames = {
    u"Vantor eingeschaltet",
    u"Vantor-Symbol verstecken",
    u"NUM Punkt",
    u"EasyBackslash",
    u"EasyTab",
    u"NUM Umschaltung sperren",
    u"Piepsen bei Umschaltungen",
    u"Speaker benutzen",
    u"Umlautwandlung",
    u"CAPSLOCK sperren",
    u"UmlautMode",
    u"DecimalDot",
    u"K\u00FCrzel",
};

bool PlatformIsNT = false;
std::uint8_t ModifierState = 0;
std::uint8_t LockState = 0;
std::uint8_t MouseButtonState = 0;
HWnd HostWindow = 0;
std::uint32_t ActionCount = 0;

namespace {

// The host rule's state: per process (a hung host is hung for every thread), and the
// hook call on this thread.
std::atomic<bool> gHostSilent{false};
std::atomic<std::uint32_t> gHostSilentSince{0};
thread_local int tHostCallDepth = 0;
thread_local bool tHostFailedInCall = false;

}  // namespace

void VantorCommonInit() {
    gHostSilent = false;
    PlatformIsNT = Plat().GetVersionExW_PlatformId() >= VER_PLATFORM_WIN32_NT;
    ModifierState = 0;
    if (HostWindow == 0) HostWindow = FindHostWindow();
}

void VantorCommonDone() {
    gHostSilent = false;
    HostWindow = 0;
    ModifierState = 0;
    LockState = 0;
}

HWnd FindHostWindow() {
    return Plat().FindWindowW(kHostWindowName, kHostWindowName);
}

namespace {

// Every hook call waits for these answers; a host that hangs counts as not answering,
// and is not waited for again before kHostRetryMs have passed.
bool AskHost(std::uint32_t msg, WParam wParam, LResult* result) {
    if (HostWindow == 0 || tHostFailedInCall) return false;
    if (gHostSilent && Plat().GetTickCount() - gHostSilentSince < kHostRetryMs) return false;
    if (Plat().SendMessageTimeoutW(HostWindow, msg, wParam, 0, SMTO_ABORTIFHUNG, kHostTimeoutMs,
                                   result)) {
        gHostSilent = false;
        return true;
    }
    gHostSilentSince = Plat().GetTickCount();
    gHostSilent = true;
    if (tHostCallDepth > 0) tHostFailedInCall = true;
    return false;
}

}  // namespace

THostCallScope::THostCallScope() noexcept {
    if (tHostCallDepth++ == 0) tHostFailedInCall = false;
}

THostCallScope::~THostCallScope() {
    if (--tHostCallDepth == 0) tHostFailedInCall = false;
}

HHook GetHookFromHost() {
    LResult r = 0;
    if (!AskHost(WM_HOST_GETHOOK, 0, &r)) return 0;
    return static_cast<HHook>(r);
}

std::uint8_t GetHostModifiers() {
    LResult r = 0;
    if (!AskHost(WM_HOST_GETMODIFIERS, 0, &r)) return 0;
    return static_cast<std::uint8_t>(r & 0xFF);
}

void SendHostModifiers(std::uint8_t state) {
    LResult r = 0;
    (void)AskHost(WM_HOST_SETMODIFIERS, state, &r);
}

bool IsKeyDown(int vk) {
    return Plat().GetKeyState(vk) < 0;
}

namespace {

// A key is held when its entry has the high bit, as GetKeyState's sign bit.
std::uint8_t ModifierBits(const std::uint8_t keys[256]) {
    std::uint8_t s = 0;
    if (keys[VK_SHIFT] & 0x80) s |= MOD_SHIFT;
    if (keys[VK_CONTROL] & 0x80) s |= MOD_CTRL;
    if (keys[VK_MENU] & 0x80) s |= MOD_ALT;
    if (keys[VK_RMENU] & 0x80) s |= MOD_ALTGR;
    if (keys[VK_RWIN] & 0x80) s |= MOD_RWIN;
    if (keys[VK_LWIN] & 0x80) s |= MOD_LWIN;
    return s;
}

std::uint8_t LockBits(const std::uint8_t keys[256]) {
    std::uint8_t s = 0;
    if (keys[VK_CAPITAL] & 1) s |= LOCK_CAPS;
    if (keys[VK_SCROLL] & 1) s |= LOCK_SCROLL;
    if (keys[VK_NUMLOCK] & 1) s |= LOCK_NUM;
    return s;
}

}  // namespace

std::uint8_t GetModifierState() {
    std::uint8_t keys[256] = {};
    return Plat().GetKeyboardState(keys) ? ModifierBits(keys) : 0;
}

std::uint8_t GetLockState() {
    std::uint8_t keys[256] = {};
    return Plat().GetKeyboardState(keys) ? LockBits(keys) : 0;
}

void TakeKeyStateSnapshot() {
    std::uint8_t keys[256] = {};
    const bool ok = Plat().GetKeyboardState(keys);
    ModifierState = ok ? ModifierBits(keys) : 0;
    LockState = ok ? LockBits(keys) : 0;
    std::uint8_t mouse = 0;
    if (ok) {
        const int buttons[3] = {0x01, 0x02, 0x04};  // VK_LBUTTON, VK_RBUTTON, VK_MBUTTON
        for (int i = 0; i < 3; ++i) {
            const std::uint8_t b = keys[buttons[i]];
            mouse |= static_cast<std::uint8_t>((((b & 0x80) ? 2 : 0) | (b & 0x01)) << (2 * i));
        }
    }
    MouseButtonState = mouse;
}

// ---------------------------------------------------------------- key texts

std::u16string DescribeKeyEvent(const KeyEvent& event) {
    std::u16string flags;
    for (int k = 0; k < 8; ++k) {
        bool set = (event.KeyData >> (24 + k)) & 1;
        flags.push_back(KeyFlagLetters[k + (set ? 8 : 0)]);
    }
    return Format(u"VK:%.4x\tSC:%.2x\tRC:%d\tFlags:%s\t[%s]", event.VirtualKey,
                  (event.KeyData >> 16) & 0xFF, event.KeyData & 0xFFFF, flags,
                  KeyName(event.VirtualKey, event.KeyData));
}

namespace {

const char16_t* TableName(std::uint8_t vk) {
    switch (vk) {
        case 0x03:
            return u"CANCEL";
        case 0x08:
            return u"BACK";
        case 0x09:
            return u"TAB";
        case 0x0C:
            return u"CLEAR";
        case 0x0D:
            return u"RETURN";
        case 0x10:
            return u"SHIFT";
        case 0x11:
            return u"CONTROL";
        case 0x12:
            return u"MENU";
        case 0x13:
            return u"PAUSE";
        case 0x14:
            return u"CAPITAL";
        case 0x1B:
            return u"ESCAPE";
        case 0x20:
            return u"SPACE";
        case 0x21:
            return u"PRIOR";
        case 0x22:
            return u"NEXT";
        case 0x23:
            return u"END";
        case 0x24:
            return u"HOME";
        case 0x25:
            return u"LEFT";
        case 0x26:
            return u"UP";
        case 0x27:
            return u"RIGHT";
        case 0x28:
            return u"DOWN";
        case 0x29:
            return u"SELECT";
        case 0x2A:
            return u"PRINT";
        case 0x2B:
            return u"EXECUTE";
        case 0x2C:
            return u"SNAPSHOT";
        case 0x2D:
            return u"INSERT";
        case 0x2E:
            return u"DELETE";
        case 0x2F:
            return u"HELP";
        case 0x5B:
            return u"WINKEY";
        case 0x6A:
            return u"MULTIPLY";
        case 0x6B:
            return u"ADD";
        case 0x6C:
            return u"SEPARATOR";
        case 0x6D:
            return u"SUBTRACT";
        case 0x6E:
            return u"DECIMAL";
        case 0x6F:
            return u"DIVIDE";
        case 0x90:
            return u"NUMLOCK";
        case 0x91:
            return u"SCROLL";
        default:
            return nullptr;
    }
}

}  // namespace

std::u16string KeyName(std::uint16_t virtualKey, std::uint32_t keyData) {
    std::u16string name = Plat().GetKeyNameTextW(static_cast<std::int32_t>(keyData), 200);
    if (!name.empty()) return name;
    std::uint32_t ch = Plat().MapVirtualKeyW(virtualKey, MAPVK_VK_TO_CHAR);
    if (ch != 0) return std::u16string(1, static_cast<char16_t>(ch & 0xFFFF));
    std::uint8_t low = static_cast<std::uint8_t>(virtualKey & 0xFF);
    if (low >= 0x60 && low <= 0x69) return Format(u"NUMPAD%d", low - 0x60);
    if (low >= 0x70 && low <= 0x7F) return Format(u"F%d", low - 0x6F);
    if (const char16_t* t = TableName(low)) return t;
    return Format(u"[%x]", virtualKey);
}

std::u16string ModifierNames(std::uint8_t state) {
    std::u16string s;
    if (state & MOD_SHIFT) s += u" Sh";
    if (state & MOD_CTRL) s += u" Ct";
    if (state & MOD_ALT) s += u" A ";
    if (state & MOD_ALTGR) s += u" Ag";
    if (state & MOD_RWIN) s += u" Wr";
    if (state & MOD_LWIN) s += u" Wl";
    return s;
}

std::u16string HexText(const std::u16string& text) {
    std::u16string s;
    s.reserve(text.size() * 2);
    for (char16_t c : text) s += HexStr(c, 2);
    return s;
}

}  // namespace vt
