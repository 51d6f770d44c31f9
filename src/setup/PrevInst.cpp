#include "PrevInst.h"

namespace vt {

Handle InstanceMutex = 0;

std::u16string InstanceName(const std::u16string& exePath) {
    std::size_t slash = exePath.find_last_of(u"\\/:");
    std::u16string name = slash == std::u16string::npos ? exePath : exePath.substr(slash + 1);
    // Compared with case: "VTINST.EXE" gives "VTINST", "VtInst.exe" stays as it is.
    if (name.find(u".EXE") != std::u16string::npos && name.size() >= 4)
        return name.substr(0, name.size() - 4);
    return name;
}

void CreateInstanceMutex(const std::u16string& exePath) {
    CloseInstanceMutex();
    Handle h = Plat().CreateMutexW(true, InstanceName(exePath));
    if (h != 0 && Plat().GetLastError() == static_cast<std::uint32_t>(ERROR_ALREADY_EXISTS)) {
        (void)Plat().CloseHandle(h);
        h = 0;
    }
    InstanceMutex = h;
}

void CloseInstanceMutex() {
    if (InstanceMutex != 0) (void)Plat().CloseHandle(InstanceMutex);
    InstanceMutex = 0;
}

}  // namespace vt
