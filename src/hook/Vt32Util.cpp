// The library's main module: Install's logic, the hook procedure and the playback flag.
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
bool PlaybackActive = false;
HInstance ModuleInstance = 0;
std::u16string ProgramFileName;

HHook Install(bool enable) {
    if (enable) {
        // A second call installs a second hook and keeps only the newest handle.
        HookHandle = Plat().SetWindowsHookExW(WH_KEYBOARD, ModuleInstance, 0);
    } else if (Plat().UnhookWindowsHookEx(HookHandle)) {
        HookHandle = 0;
    }
    return HookHandle;
}

namespace {

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

// Logging the failure must not fail in its turn.
void LogContained(const std::u16string& what) noexcept {
    try {
        DebugLog(u"KeyboardProc: %s", what);
    } catch (...) {
    }
}

}  // namespace

LResult KeyboardProc(int code, WParam wParam, LParam lParam) noexcept {
    std::uint8_t verdict = 0;
    TLogScope logScope;        // the log's listeners, looked for once for this call
    THostCallScope hostScope;  // a host that does not answer is waited for once
    try {
        KeyEvent event;
        event.VirtualKey = static_cast<std::uint16_t>(wParam & 0xFFFF);
        event.KeyData = static_cast<std::uint32_t>(lParam);

        if (HookHandle == 0) HookHandle = GetHookFromHost();
        ModifierState = GetHostModifiers();

        if (code == HC_ACTION) {
            const bool pressed = (event.KeyData & 0x80000000u) == 0;
            if (event.VirtualKey == PlaybackMarker) PlaybackActive = pressed;

            if (LogListening()) {
                std::u16string prefix =
                    PlaybackActive ? Format(u"PLAYBACK(%d)", PlaybackCounter) : u"PROCESS";
                DebugLog(u"%s:\t%s\t%s\t%.8x", prefix, DescribeKeyEvent(event),
                         pressed ? u"DN" : u"UP", 0);
            }
            if (PlaybackActive) --PlaybackCounter;

            TakeKeyStateSnapshot();
            SendHostModifiers(ModifierState);

            // Modifier keys never reach the pipeline, releases never do, and keys of
            // our own injected sequences pass on unconverted.
            if (!IsModifierKey(event.VirtualKey) && pressed && !PlaybackActive) {
                if (IsProgramExcluded(ProgramFileName)) {
                    // A listed program gets every key untouched, the hot-key included.
                    DebugLog(u"KeyboardProc: %s steht unter Ausnahmen", ProgramFileName);
                } else if (tConverting.active && tConverting.wParam == wParam &&
                    tConverting.lParam == lParam) {
                    DebugLog(u"KeyboardProc: nested call for the key being converted");
                    verdict = 2;
                } else {
                    ConvertingScope scope(wParam, lParam);
                    verdict = ConvertKey(event);
                }
            }
        }
        SendHostModifiers(ModifierState);
    } catch (const EVtError& e) {
        verdict = 0;
        LogContained(e.Message());
    } catch (const std::exception& e) {
        verdict = 0;
        LogContained(ToU16(e.what()));
    } catch (...) {
        verdict = 0;
        LogContained(u"unknown error");
    }
    if (verdict == 2) return 1;
    try {
        return Plat().CallNextHookEx(HookHandle, code, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

void LibraryLoad() {
    VantorCommonInit();
    PCSpkInit();
    VantorUtilsInit();
    ProgramFileName = FileNamePart(Plat().GetModuleFileNameW());
}

void LibraryUnload() {
    ProgramFileName.clear();
    VantorUtilsDone();
    PCSpkDone();
    VantorCommonDone();
}

}  // namespace vt
