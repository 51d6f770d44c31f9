// What the tray program sets up for the person it runs as: the setup program runs
// elevated, possibly with another administrator's credentials, and so writes nothing of
// a person's own; the tray program does, at each start the sound events, at the first
// start the autostart value the installation chose.
#include <exception>
#include <optional>

#include "Vantor32.h"
#include "common/DebugWindowInterface.h"
#include "common/Vantor.Utils.h"
#include "common/VtError.h"

namespace vt {

namespace {

void LogFirstStart(const std::exception& e) noexcept {
    try {
        const auto* vtError = dynamic_cast<const EVtError*>(&e);
        DebugLog(u"Vantor32: erster Start: %s", vtError ? vtError->Message() : ToU16(e.what()));
    } catch (...) {
    }
}

// The installation's choice, or nothing without an installation (a copy started from
// anywhere else sets up no autostart).
std::optional<bool> MachineAutostart() {
    TRegistry reg(KEY_READ);
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    if (!reg.OpenKeyReadOnly(kMachineKey)) return std::nullopt;
    std::uint32_t type = 0, size = 4;
    std::uint8_t bytes[4] = {};
    if (Plat().RegQueryValueExW(reg.CurrentKey(), kMachineAutostartValue, &type, bytes, &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != 4)
        return std::nullopt;
    return (bytes[0] | bytes[1] | bytes[2] | bytes[3]) != 0;
}

bool KeyThere(const std::u16string& path) {
    TRegistry reg(KEY_READ);
    return reg.KeyExists(path);
}

}  // namespace

EFirstStart FirstStartStep(bool userSetUp, bool usedBefore, std::optional<bool> machineChoice) {
    if (userSetUp || !machineChoice) return FIRST_START_DONE;
    // Someone who ran an earlier version has made their own choice in the menu.
    if (usedBefore || !*machineChoice) return FIRST_START_MARK;
    return FIRST_START_AUTOSTART;
}

bool SetUpUser(const std::u16string& exePath) {
    bool ok = true;
    try {
        // Before the sound events are registered: their key tells of an earlier start.
        const bool usedBefore = KeyThere(kSchemeKey);
        ok = RegisterSoundEvents();
        TRegistry product;
        const bool userSetUp =
            product.OpenKeyReadOnly(kDefaultRegPath) && product.ValueExists(kUserSetUpValue);
        product.CloseKey();
        const EFirstStart step = FirstStartStep(userSetUp, usedBefore, MachineAutostart());
        if (step == FIRST_START_DONE) return ok;
        if (step == FIRST_START_AUTOSTART && !SetAutostart(true, exePath)) return false;
        // Once: "Mit Windows starten" switched off later stays off.
        if (!product.OpenKey(kDefaultRegPath, true)) return false;
        const std::uint8_t one = 1;
        product.WriteBinaryData(kUserSetUpValue, &one, 1);
        return ok;
    } catch (const std::exception& e) {
        LogFirstStart(e);
        return false;
    }
}

}  // namespace vt
