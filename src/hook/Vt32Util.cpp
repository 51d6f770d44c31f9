// The library's main module: Install's logic and the hook procedure.
#include "Vt32Util.h"

#include <exception>

#include "../common/DebugWindowInterface.h"
#include "../common/PCSpk.h"
#include "../common/Vantor.Utils.h"
#include "../common/VtError.h"
#include "VtConvert.h"
#include "VtSend.h"

namespace vt {

HHook HookHandle = 0;
HInstance ModuleInstance = 0;
std::u16string ProgramFileName;
bool InstallingProcess = false;

HHook Install(bool enable) {
    if (enable) {
        // A second call installs a second hook and keeps only the newest handle.
        HookHandle = Plat().SetWindowsHookExW(WH_KEYBOARD, ModuleInstance, 0);
        InstallingProcess = HookHandle != 0;
    } else if (Plat().UnhookWindowsHookEx(HookHandle)) {
        HookHandle = 0;
        InstallingProcess = false;
    }
    return HookHandle;
}

namespace {

// Windows cannot load a library into a program of the other bitness, so it runs the
// hook for such a program in the thread that installed it. The library of the program's
// own bitness converts the key there; this copy must only pass it on.
bool KeyOfAnotherProcess() {
    if (!InstallingProcess) return false;
    HWnd foreground = Plat().GetForegroundWindow();
    if (foreground == 0) return false;
    std::uint32_t pid = 0;
    if (Plat().GetWindowThreadProcessId(foreground, &pid) == 0) return false;
    return pid != Plat().GetCurrentProcessId();
}

bool IsModifierKey(std::uint16_t vk) {
    return vk == VK_MENU || vk == VK_CONTROL || vk == VK_SHIFT || vk == VK_RWIN || vk == VK_LWIN;
}

// The key press being converted on this thread. A conversion that starts a program may
// run a message loop (the shell's error box does), and Wine then hands the same key
// message to the hook again: converting it once more would run the macro again, one
// level deeper each time. The nested call swallows it; the outer conversion owns it.
struct Converting {
    bool active = false;
    WParam wParam = 0;
    LParam lParam = 0;
};
thread_local Converting tConverting;

class ConvertingScope {
public:
    ConvertingScope(WParam wParam, LParam lParam) : saved_(tConverting) {
        tConverting = {true, wParam, lParam};
    }
    ~ConvertingScope() { tConverting = saved_; }

private:
    Converting saved_;
};

}  // namespace

LResult KeyboardProc(int code, WParam wParam, LParam lParam) noexcept {
    std::uint8_t verdict = 0;
    TLogScope logScope;        // the log's listeners, looked for once for this call
    THostCallScope hostScope;  // a host that does not answer is waited for once
    bool askedHost = false;
    try {
        if (KeyOfAnotherProcess()) return Plat().CallNextHookEx(HookHandle, code, wParam, lParam);
        KeyEvent event;
        event.VirtualKey = static_cast<std::uint16_t>(wParam & 0xFFFF);
        event.KeyData = static_cast<std::uint32_t>(lParam);

        if (HookHandle == 0) HookHandle = GetHookFromHost();
        ModifierState = GetHostModifiers();
        askedHost = true;

        if (code == HC_ACTION) {
            const bool pressed = (event.KeyData & 0x80000000u) == 0;
            // The key being converted, handed to us again by a message loop inside its
            // macro: the outer conversion owns it.
            const bool nested = tConverting.active && tConverting.wParam == wParam &&
                                tConverting.lParam == lParam;
            const AKeyOrigin origin = nested ? ORIGIN_TEXT : TrackKeyEvent(wParam, lParam);
            const bool playback = PlaybackActive();

            if (LogListening()) {
                std::u16string prefix =
                    playback ? Format(u"PLAYBACK(%d)", PlaybackCounter()) : u"PROCESS";
                DebugLog(u"%s:\t%s\t%s\t%.8x", prefix, DescribeKeyEvent(event),
                         pressed ? u"DN" : u"UP", 0);
            }
            if (playback) --PlaybackCounter();

            TakeKeyStateSnapshot();
            SendHostModifiers(ModifierState);

            // Modifier keys never reach the pipeline, releases never do, and keys of
            // our own injected sequences pass on unconverted.
            if (nested) {
                DebugLog(u"KeyboardProc: nested call for the key being converted");
                verdict = 2;
            } else if (origin == ORIGIN_HOLD && HoldBackKey(wParam, lParam)) {
                verdict = 2;
            } else if (origin != ORIGIN_TEXT && !IsModifierKey(event.VirtualKey) && pressed) {
                ConvertingScope scope(wParam, lParam);
                verdict = ConvertKey(event);
            }
        }
    } catch (...) {
        LogCurrentError(u"KeyboardProc");
    }
    // The host learns the state of this call whatever the pipeline raised: it is the
    // fresh snapshot, or the host's own byte when the call did not get that far.
    if (askedHost) {
        try {
            SendHostModifiers(ModifierState);
        } catch (...) {
        }
    }
    if (verdict == 2) return 1;
    try {
        return Plat().CallNextHookEx(HookHandle, code, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

void LibraryLoad() {
    ResetPlayback();
    VantorCommonInit();
    PCSpkInit();
    VantorUtilsInit();
    ProgramFileName = FileNamePart(Plat().GetModuleFileNameW());
}

void LibraryUnload() {
    ProgramFileName.clear();
    ResetPlayback();
    VantorUtilsDone();
    PCSpkDone();
    VantorCommonDone();
}

}  // namespace vt
