// The library's Windows entry: DllMain and the two exports. Install is exported at
// ordinal 10 and PlaySound at 13 through Vt32Util.def; the C++ function behind
// PlaySound has another name because <windows.h> makes PlaySound a macro.
#include <windows.h>

#include <exception>

#include "../common/DebugWindowInterface.h"
#include "../common/Vantor.Utils.h"
#include "../platform/win32/Win32Platform.h"
#include "Vt32Util.h"

namespace {

LRESULT CALLBACK HookProcedure(int code, WPARAM wParam, LPARAM lParam) {
    return vt::KeyboardProc(code, wParam, lParam);
}

}  // namespace

extern "C" HHOOK WINAPI Install(BOOL enable) noexcept {
    try {
        return reinterpret_cast<HHOOK>(vt::Install(enable != FALSE));
    } catch (...) {
        return nullptr;
    }
}

extern "C" BOOL WINAPI VtPlaySound(BYTE event) noexcept {
    // Whatever happens inside, the host only ever sees TRUE.
    try {
        vt::PlaySoundEvent(event);
    } catch (...) {
        try {
            vt::DebugLog(u"PlaySound: error");
        } catch (...) {
        }
    }
    return TRUE;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    try {
        if (reason == DLL_PROCESS_ATTACH) {
            DisableThreadLibraryCalls(instance);
            vt::SetPlatform(&vt::Win32PlatformInstance());
            vt::KeyboardHookProcedure = reinterpret_cast<void*>(&HookProcedure);
            vt::ModuleInstance = reinterpret_cast<vt::HInstance>(instance);
            vt::LibraryLoad();
        } else if (reason == DLL_PROCESS_DETACH) {
            vt::LibraryUnload();
        }
    } catch (...) {
        // A failing module start must not keep the library from loading: the
        // option store then reads every switch as off.
    }
    return TRUE;
}
