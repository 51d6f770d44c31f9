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
};
thread_local RLogListeners tListeners;

// Per process: every hook call would otherwise pay a registry read for it.
std::atomic<bool> gDiagnoseKnown{false};
std::atomic<bool> gDiagnoseOn{false};
std::atomic<std::uint32_t> gDiagnoseReadAt{0};

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

// Hands the line to the viewer through its block, holding the writers' lock so that no
// other process clears or fills the block before the viewer has read it. Every failure of
// this channel stays here: the callers run inside keyboard hooks. False when the viewer
// did not take the line (lock or answer timed out, block gone): the scope then skips it.
bool WriteToViewer(RLogListeners& l, const std::u16string& text) noexcept {
    bool delivered = false;
    try {
        if (l.lock == 0) l.lock = Plat().CreateMutexW(false, kDebugMutexName);
        if (l.lock == 0) return false;
        const std::uint32_t wait = Plat().WaitForSingleObject(l.lock, kViewerTimeoutMs);
        if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) return false;
        try {
            TSharedMemory block(kDebugBlockSize, false);
            try {
                block.SetAsString(text);
                LResult ignored = 0;
                delivered = Plat().SendMessageTimeoutW(
                    l.viewer, WM_DEBUG_LINE, 1, 0, SMTO_ABORTIFHUNG, kViewerTimeoutMs, &ignored);
            } catch (...) {
                // fall through to the release: the block is freed on every path
            }
            block.Close();
        } catch (...) {
        }
        (void)Plat().ReleaseMutex(l.lock);
    } catch (...) {
    }
    return delivered;
}

// Looks for whoever takes the lines, once per outermost scope.
void Look(RLogListeners& l) noexcept {
    if (l.looked) return;
    l.looked = true;
    try {
        l.viewer = FindDebugWindow();
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
    if (l.viewer != 0 && !WriteToViewer(l, text)) l.viewer = 0;
    if (l.debugger) {
        try {
            Plat().OutputDebugStringW(text);
        } catch (...) {
        }
    }
    return true;
}

}  // namespace vt
