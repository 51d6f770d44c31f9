// DebugWindowInterface: the diagnostic channel. Every line goes to the viewer window
// (when one runs) through the shared block SHMEM_1024, and always to the debugger output.
#pragma once

#include <string>

#include "../platform/Platform.h"
#include "Format.h"

namespace vt {

inline const std::u16string kDebugWindowClass = u"TDebugWindowDisplay";
inline const std::u16string kDebugWindowTitle = u"DebugWindow (Unicode)";
constexpr std::uint32_t kDebugBlockSize = 1024;
constexpr std::uint32_t WM_DEBUG_LINE = 0x400 + 100;
// A hung viewer must not freeze typing everywhere: the notification waits this long.
constexpr std::uint32_t kViewerTimeoutMs = 1000;

HWnd FindDebugWindow();
// Delivers one line. Errors of the viewer channel are contained here: the line still
// goes to the debugger output. Always returns true.
bool DebugWrite(const std::u16string& text) noexcept;

template <class... A>
bool DebugLog(std::u16string_view fmt, const A&... args) {
    return DebugWrite(FormatText(fmt, {FmtArg(args)...}));
}

}  // namespace vt
