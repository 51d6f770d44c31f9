#include "DebugWindowInterface.h"

#include <atomic>

#include "MemMap.h"
#include "Vantor.Utils.h"
#include "VtError.h"

namespace vt {

HWnd FindDebugWindow() {
    return Plat().FindWindowW(kDebugWindowClass, kDebugWindowTitle);
}

namespace {

struct RLogListeners {
    int depth = 0;
    bool looked = false;  // at the scope's first line, not before: a call may log nothing
    HWnd viewer = 0;
    bool debugger = false;
    Handle lock = 0;  // the writers' mutex, opened at the scope's first line for the viewer
    std::uint32_t viewerMs = 0;  // spent on the viewer in this scope
};
thread_local RLogListeners tListeners;

// Per process: every hook call would otherwise pay a registry read for it.
std::atomic<bool> gDiagnoseKnown{false};
std::atomic<bool> gDiagnoseOn{false};
std::atomic<std::uint32_t> gDiagnoseReadAt{0};

// The viewer as this process last saw it, shared by its threads: a hung viewer is hung
// for all of them.
struct RViewerState {
    std::atomic<std::uint32_t> generation{0};  // the platform these belong to
    std::atomic<bool> known{false};
    std::atomic<HWnd> window{0};
    std::atomic<std::uint32_t> lookedAt{0};
    std::atomic<bool> silent{false};
    std::atomic<std::uint32_t> silentSince{0};
};
RViewerState gViewer;

void ResetViewerStateForPlatform() {
    const std::uint32_t generation = PlatformGeneration();
    if (gViewer.generation == generation) return;
    gViewer.known = false;
    gViewer.window = 0;
    gViewer.silent = false;
    gViewer.generation = generation;
}

// The viewer window to write to now: none while a silent viewer is left alone, else the
// result of the last look, looking again once that is kViewerLookIntervalMs old.
HWnd CurrentViewer(std::uint32_t now) {
    ResetViewerStateForPlatform();
    if (gViewer.silent) {
        if (now - gViewer.silentSince < kViewerRetryMs) return 0;
        gViewer.silent = false;
    }
    if (!gViewer.known || now - gViewer.lookedAt >= kViewerLookIntervalMs) {
        gViewer.window = FindDebugWindow();
        gViewer.lookedAt = now;
        gViewer.known = true;
    }
    return gViewer.window;
}

void ViewerSilent(std::uint32_t now) {
    gViewer.silentSince = now;
    gViewer.silent = true;
}

// The window went away: the next look (not before its time) finds a new one.
void ViewerGone(HWnd wnd) {
    HWnd expected = wnd;
    gViewer.window.compare_exchange_strong(expected, 0);
}

bool DiagnoseSwitchOn() {
    if (!Options) return false;
    const std::uint32_t now = Plat().GetTickCount();
    if (gDiagnoseKnown && now - gDiagnoseReadAt < kDiagnoseReadIntervalMs) return gDiagnoseOn;
    bool on = false;
    try {
        on = Options->ReadFlag(kDiagnoseValueName, 0) != 0;
    } catch (...) {
        // a value of the wrong type leaves the switch off
    }
    gDiagnoseOn = on;
    gDiagnoseReadAt = now;
    gDiagnoseKnown = true;
    return on;
}

enum class EViewerResult {
    DELIVERED,
    GONE,   // no usable viewer (window, block or lock missing or broken): look again later
    SILENT  // a wait ran out: the viewer is left alone for a while
};

// Hands the line to the viewer through its block, holding the writers' lock so that no
// other process clears or fills the block before the viewer has read it. Every wait takes
// only what is left of the scope's time for the viewer. Every failure of this channel
// stays here: the callers run inside keyboard hooks.
EViewerResult SendToViewer(RLogListeners& l, const std::u16string& text,
                           std::uint32_t start) noexcept {
    const auto left = [&]() -> std::uint32_t {
        const std::uint32_t spent = l.viewerMs + (Plat().GetTickCount() - start);
        return spent >= kViewerTimeoutMs ? 0 : kViewerTimeoutMs - spent;
    };
    EViewerResult result = EViewerResult::GONE;
    try {
        if (l.lock == 0) l.lock = Plat().CreateMutexW(false, kDebugMutexName);
        if (l.lock == 0) return result;
        const std::uint32_t wait = Plat().WaitForSingleObject(l.lock, left());
        if (wait == WAIT_TIMEOUT) return EViewerResult::SILENT;
        if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) return result;
        try {
            TSharedMemory block(kDebugBlockSize, false);
            try {
                // Checked before the write: a block made by another program may be one
                // that faults when written.
                block.SetAsString(text);
                const std::uint32_t timeout = left();
                LResult ignored = 0;
                if (timeout == 0) {
                    result = EViewerResult::SILENT;
                } else if (Plat().SendMessageTimeoutW(l.viewer, WM_DEBUG_LINE, 1, 0,
                                                      SMTO_ABORTIFHUNG, timeout, &ignored)) {
                    result = EViewerResult::DELIVERED;
                } else if (Plat().GetLastError() != ERROR_INVALID_WINDOW_HANDLE) {
                    result = EViewerResult::SILENT;
                }
            } catch (...) {
                // fall through to the release: the block is freed on every path
            }
            block.Close();
        } catch (...) {
        }
        (void)Plat().ReleaseMutex(l.lock);
    } catch (...) {
    }
    return result;
}

void WriteToViewer(RLogListeners& l, const std::u16string& text) noexcept {
    try {
        const std::uint32_t start = Plat().GetTickCount();
        const EViewerResult result = SendToViewer(l, text, start);
        const std::uint32_t now = Plat().GetTickCount();
        l.viewerMs += now - start;
        if (result == EViewerResult::GONE) {
            ViewerGone(l.viewer);
            l.viewer = 0;
        } else if (result == EViewerResult::SILENT || l.viewerMs >= kViewerTimeoutMs) {
            // Not answered, or answered so slowly that this call has no time left for it.
            ViewerSilent(now);
            l.viewer = 0;
        }
    } catch (...) {
        l.viewer = 0;
    }
}

// Looks for whoever takes the lines, once per outermost scope.
void Look(RLogListeners& l) noexcept {
    if (l.looked) return;
    l.looked = true;
    try {
        l.viewer = CurrentViewer(Plat().GetTickCount());
    } catch (...) {
        l.viewer = 0;
    }
    try {
        l.debugger = Plat().IsDebuggerPresent() || DiagnoseSwitchOn();
    } catch (...) {
        l.debugger = false;
    }
}

}  // namespace

void ForgetDiagnoseSwitch() noexcept {
    gDiagnoseKnown = false;
}

TLogScope::TLogScope() noexcept {
    outer_ = tListeners.depth++ == 0;
}

TLogScope::~TLogScope() {
    RLogListeners& l = tListeners;
    --l.depth;
    if (!outer_) return;
    if (l.lock != 0) {
        try {
            (void)Plat().CloseHandle(l.lock);
        } catch (...) {
        }
    }
    l = RLogListeners{};
}

bool LogListening() noexcept {
    RLogListeners& l = tListeners;
    if (l.depth == 0) return true;
    Look(l);
    return l.viewer != 0 || l.debugger;
}

bool DebugWrite(const std::u16string& text) noexcept {
    TLogScope scope;
    RLogListeners& l = tListeners;
    Look(l);
    if (l.viewer != 0) WriteToViewer(l, text);
    if (l.debugger) {
        try {
            Plat().OutputDebugStringW(text);
        } catch (...) {
        }
    }
    return true;
}

}  // namespace vt
