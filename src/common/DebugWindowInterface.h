// DebugWindowInterface: the diagnostic channel. A line goes to the viewer window (when
// one runs) through the shared block SHMEM_1024, and to the debugger output only while a
// debugger is attached or the "Diagnose" switch is on: the lines carry every key typed,
// passwords too, and any program could collect the debugger output of all the others.
#pragma once

#include <string>
#include <type_traits>

#include "../platform/Platform.h"
#include "Format.h"

namespace vt {

inline const std::u16string kDebugWindowClass = u"TDebugWindowDisplay";
inline const std::u16string kDebugWindowTitle = u"DebugWindow (Unicode)";
constexpr std::uint32_t kDebugBlockSize = 1024;
constexpr std::uint32_t WM_DEBUG_LINE = 0x400 + 100;
// A hung or slow viewer must not freeze typing everywhere. One hook call (one outermost
// log scope) spends at most this long on the viewer in all: waiting for the writers'
// lock and for the viewer's answers to each of its lines.
constexpr std::uint32_t kViewerTimeoutMs = 200;
// A viewer that used that time up is not waited for again by this process for this long:
// its copies of the lines are dropped meanwhile, the debugger output keeps getting them.
// A window without a usable block (or gone) is only dropped until the next look.
constexpr std::uint32_t kViewerRetryMs = 1000;
// The look for the viewer window is a call to the window server; one per key press was a
// quarter of what a key costs with nothing switched on. A viewer started (or closed) is
// noticed within this time.
constexpr std::uint32_t kViewerLookIntervalMs = 250;
// One line at a time in the block: held from opening it until the viewer has the line.
inline const std::u16string kDebugMutexName = u"SHMEM_1024.Writer";
// One-byte switch under "Settings": the lines go to the debugger output as well. Read
// at most once a second (ForgetDiagnoseSwitch makes the next line read it again).
inline const std::u16string kDiagnoseValueName = u"Diagnose";
constexpr std::uint32_t kDiagnoseReadIntervalMs = 1000;

HWnd FindDebugWindow();
void ForgetDiagnoseSwitch() noexcept;

// Who takes the lines, looked for once while the outermost scope of a thread lives (a hook
// call, an injected text), at its first line: the viewer window (from the process's last
// look, at most kViewerLookIntervalMs old), and whether the debugger output is wanted.
// Lines outside any scope look for themselves. A viewer that fails to take a line is not
// tried again before the scope ends, and for kViewerRetryMs when it did not answer.
class TLogScope {
public:
    TLogScope() noexcept;
    ~TLogScope();
    TLogScope(const TLogScope&) = delete;
    TLogScope& operator=(const TLogScope&) = delete;

private:
    bool outer_ = false;
};

// False when the current scope found nobody to take a line: callers then build none
// (key names cost platform calls). Outside a scope it is true: the line looks itself.
bool LogListening() noexcept;

// Delivers one line. Errors of the viewer channel are contained here. Always returns true.
bool DebugWrite(const std::u16string& text) noexcept;

// An argument of DebugLog that costs to build (a key name, the hexadecimal form of a text,
// a modifier list) is passed as a callable returning it, `[&] { return HexText(text); }`:
// it is called only once someone takes the line.
template <class T>
decltype(auto) LogArgValue(const T& arg) {
    if constexpr (std::is_invocable_v<const T&>) {
        return arg();
    } else {
        return (arg);
    }
}

template <class... A>
bool DebugLog(std::u16string_view fmt, const A&... args) {
    TLogScope scope;
    if (!LogListening()) return true;
    return DebugWrite(FormatText(fmt, {FmtArg(LogArgValue(args))...}));
}

}  // namespace vt
