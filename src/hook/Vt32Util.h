// Vt32Util: the library's main module: the exports' logic and the hook entry. DllMain and the exported symbols live in Vt32Util.Win32.cpp.
#pragma once

#include <cstdint>
#include <string>

#include "../common/Vantor.Common.h"

namespace vt {

constexpr std::uint16_t PlaybackMarker = 0xFF;

extern HHook HookHandle;
extern HInstance ModuleInstance;  // the library's own module handle
// The file name of the program this copy runs in ("notepad.exe"), learnt at load; the
// list of programs left alone is looked up by it.
extern std::u16string ProgramFileName;
// True in the process whose Install(true) installed the hook (the host or its companion).
extern bool InstallingProcess;

// Install(true) registers the global WH_KEYBOARD hook, Install(false) removes it;
// returns the hook handle as it then stands.
HHook Install(bool enable);

// The hook procedure's logic. Never throws: errors are logged and the key passed on.
LResult KeyboardProc(int code, WParam wParam, LParam lParam) noexcept;

// Per-process life of all modules, in their order (and the reverse).
void LibraryLoad();
void LibraryUnload();

}  // namespace vt
