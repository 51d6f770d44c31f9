#include "DebugWindowInterface.h"

#include "MemMap.h"
#include "VtError.h"

namespace vt {

HWnd FindDebugWindow() {
    return Plat().FindWindowW(kDebugWindowClass, kDebugWindowTitle);
}

namespace {

// Hands the line to the viewer through its block. Every failure of this channel stays
// here: the callers run inside keyboard hooks, and the line still reaches the debugger
// output.
void WriteToViewer(HWnd viewer, const std::u16string& text) noexcept {
    try {
        TSharedMemory block(kDebugBlockSize, false);
        try {
            block.SetAsString(text);
            LResult ignored = 0;
            (void)Plat().SendMessageTimeoutW(viewer, WM_DEBUG_LINE, 1, 0, SMTO_ABORTIFHUNG,
                                             kViewerTimeoutMs, &ignored);
        } catch (...) {
            // fall through to the release: the block is freed on every path
        }
        block.Close();
    } catch (...) {
    }
}

}  // namespace

bool DebugWrite(const std::u16string& text) noexcept {
    try {
        HWnd viewer = FindDebugWindow();
        if (viewer != 0) WriteToViewer(viewer, text);
    } catch (...) {
    }
    try {
        Plat().OutputDebugStringW(text);
    } catch (...) {
    }
    return true;
}

}  // namespace vt
