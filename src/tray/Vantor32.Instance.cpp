// One instance per session, and the 32-bit companion that covers 32-bit programs on
// 64-bit Windows.
#include "Vantor32.h"
#include "common/DebugWindowInterface.h"

namespace vt {

namespace {
Handle gInstanceMutex = 0;
}

bool ClaimInstance() {
    ReleaseInstance();
    Handle h = Plat().CreateMutexW(false, kInstanceMutexName);
    // A mutex we may not open belongs to a program running with other rights (started
    // elevated): that one runs. Any other failure: better one program too many than none.
    if (h == 0) return Plat().GetLastError() != static_cast<std::uint32_t>(ERROR_ACCESS_DENIED);
    if (Plat().GetLastError() == static_cast<std::uint32_t>(ERROR_ALREADY_EXISTS)) {
        (void)Plat().CloseHandle(h);
        return false;
    }
    gInstanceMutex = h;
    return true;
}

void ReleaseInstance() {
    if (gInstanceMutex != 0) (void)Plat().CloseHandle(gInstanceMutex);
    gInstanceMutex = 0;
}

bool ShowRunningInstance() {
    HWnd host = FindHostWindow();
    return host != 0 && Plat().PostMessageW(host, WM_HOST_COMMAND, 1, 0);
}

bool StartCompanion(const std::u16string& exeDir, RCompanion& companion) {
    const std::u16string path = exeDir + kCompanionExe;
    if (Plat().GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) {
        DebugLog(u"Vantor32: %s fehlt: 32-Bit-Programme werden nicht erfasst", path);
        return false;
    }
    ProcessInfo info;
    const std::u16string cmd =
        u"\"" + path + u"\" " + ToU16(std::to_string(Plat().GetCurrentProcessId()));
    if (!Plat().CreateProcessW(cmd, &info)) {
        DebugLog(u"Vantor32: %s konnte nicht gestartet werden (%d)", path,
                 static_cast<int>(Plat().GetLastError()));
        return false;
    }
    companion.process = info.hProcess;
    companion.threadId = info.dwThreadId;
    return true;
}

void StopCompanion(RCompanion& companion) {
    if (companion.process == 0) return;
    // The companion also ends by itself when this process ends; asking first lets it
    // remove its hook in order.
    (void)Plat().PostThreadMessageW(companion.threadId, WM_QUIT, 0, 0);
    if (Plat().WaitForSingleObject(companion.process, kCompanionStopMs) != WAIT_OBJECT_0) {
        DebugLog(u"Vantor32: der 32-Bit-Begleiter antwortet nicht und wird beendet");
        (void)Plat().TerminateProcess(companion.process, 1);
    }
    (void)Plat().CloseHandle(companion.process);
    companion = RCompanion{};
}

}  // namespace vt
