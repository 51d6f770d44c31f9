// The library's main module: Install's logic, the hook procedure and the playback flag.
#include "Vt32Util.h"

#include <deque>
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

// No event of a playback for this long: the rest of it went elsewhere (the focus moved
// in the middle of it), or a key of the keyboard reports the marker's code. Events of a
// playback arrive as fast as the program reads them, however long the text.
constexpr std::uint32_t kPlaybackTimeoutMs = 1000;

// Keys held back and injected again while a text is pending, until they come back.
struct ResentKey {
    std::uint16_t vk;
    bool release;
};
std::deque<ResentKey> gResent;
constexpr std::size_t kMaxResent = 256;

void EndPlayback() {
    PlaybackActive = false;
    PendingSequences = 0;
    gResent.clear();
    DebugLog(u"KeyboardProc: playback ends without its marker");
    ReleaseLetGoModifiers();
}

// The playback state, with each event: the marker's press starts it (and the pending
// text has begun to arrive), its release ends it.
void TrackPlayback(const KeyEvent& event, bool pressed) {
    const std::uint32_t now = Plat().GetTickCount();
    if ((PlaybackActive || PendingSequences > 0) && now - PlaybackTick > kPlaybackTimeoutMs) {
        EndPlayback();
    }
    if (event.VirtualKey == PlaybackMarker) {
        if (pressed && PendingSequences > 0 && --PendingSequences == 0) gResent.clear();
        const bool ended = PlaybackActive && !pressed;
        PlaybackActive = pressed;
        PlaybackTick = now;
        if (ended && PendingSequences == 0) ReleaseLetGoModifiers();
    } else if (PlaybackActive) {
        PlaybackTick = now;
        NoteModifierEvent(ModifierSide(event.VirtualKey, (event.KeyData & (1u << 24)) != 0,
                                       (event.KeyData >> 16) & 0xFF),
                          pressed);
    }
}

// A key seen while a text injected for an earlier key has not begun to arrive was typed
// after that key but queued before its text: the program would read it first. It is
// held back and injected again, which queues it behind the text; it then comes through
// here once more and is converted as typed.
bool HoldBack(const KeyEvent& event, bool pressed, WParam wParam, LParam lParam) {
    if (event.VirtualKey == PlaybackMarker) return false;
    // The key being converted, handed to us again by a message loop inside its macro.
    if (tConverting.active && tConverting.wParam == wParam && tConverting.lParam == lParam)
        return false;
    if (!gResent.empty() && gResent.front().vk == event.VirtualKey &&
        gResent.front().release == !pressed) {
        gResent.pop_front();
        // Back before the text's marker: the text went to another program.
        if (PendingSequences > 0) EndPlayback();
        return false;
    }
    // Inside a playback the keys are the text's own.
    if (PendingSequences == 0 || PlaybackActive || gResent.size() >= kMaxResent) return false;
    ResendKey(event.VirtualKey, event.KeyData);
    gResent.push_back({event.VirtualKey, !pressed});
    return true;
}

}  // namespace

LResult KeyboardProc(int code, WParam wParam, LParam lParam) noexcept {
    std::uint8_t verdict = 0;
    TLogScope logScope;        // the log's listeners, looked for once for this call
    THostCallScope hostScope;  // a host that does not answer is waited for once
    try {
        if (KeyOfAnotherProcess()) return Plat().CallNextHookEx(HookHandle, code, wParam, lParam);
        KeyEvent event;
        event.VirtualKey = static_cast<std::uint16_t>(wParam & 0xFFFF);
        event.KeyData = static_cast<std::uint32_t>(lParam);

        if (HookHandle == 0) HookHandle = GetHookFromHost();
        ModifierState = GetHostModifiers();

        if (code == HC_ACTION) {
            const bool pressed = (event.KeyData & 0x80000000u) == 0;
            TrackPlayback(event, pressed);

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
            if (HoldBack(event, pressed, wParam, lParam)) {
                verdict = 2;
            } else if (!IsModifierKey(event.VirtualKey) && pressed && !PlaybackActive) {
                if (tConverting.active && tConverting.wParam == wParam &&
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
    } catch (...) {
        verdict = 0;
        LogCurrentError(u"KeyboardProc");
    }
    if (verdict == 2) return 1;
    try {
        return Plat().CallNextHookEx(HookHandle, code, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

void LibraryLoad() {
    PlaybackActive = false;
    gResent.clear();
    ResetPlayback();
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
