// The uninstall action (/U): switches the system off, asks the host to close and removes
// the chosen registry data.
#include "VtConfig.Common.h"
#include "VtInst.h"
#include "common/Vantor.Common.h"
#include "common/Vantor.Utils.h"
#include "common/VtError.h"

namespace vt {

void SetMainSwitch(bool enable) {
    if (Options) Options->SetOption(OPT_MAIN, enable);
}

void PostToHost(std::uint32_t msg, WParam wParam, LParam lParam) {
    HWnd host = FindHostWindow();
    if (host != 0) (void)Plat().PostMessageW(host, msg, wParam, lParam);
}

// The host may be gone after the first message: each one looks the window up anew.
void CloseHost() {
    PostToHost(WM_CLOSE, 0, 0);
    PostToHost(WM_QUIT, 0, 0);
}

namespace {

constexpr long kErrorPathNotFound = 3;  // ERROR_PATH_NOT_FOUND

// Only a key the registry does not find is absent: one whose access list keeps us from
// opening it still exists, and failing to delete it must be reported.
bool KeyPresent(TRegistry& reg, const std::u16string& key) {
    if (reg.KeyExists(key)) return true;
    return reg.LastError() != ERROR_FILE_NOT_FOUND && reg.LastError() != kErrorPathNotFound;
}

}  // namespace

void DeleteKeyReported(TRegistry& reg, const std::u16string& key) {
    if (!KeyPresent(reg, key)) return;
    if (!reg.DeleteKey(key))
        ShowError(u"Registry-Einträge \"" + key + u"\" konnten nicht gelöscht werden");
}

void RemoveScancodeMap() {
    TScancodeMap map;
    (void)map.SaveBackup();  // a map the user had before us survives as the backup
    if (!map.DeleteFromRegistry()) ShowError(kScancodeMapNotDeleted);
}

void RemoveHexNumpad() {
    try {
        TRegistry reg(KEY_ALL_ACCESS);
        reg.SetRootKey(RegRoot);
        if (!reg.OpenKey(ProfilePrefix() + u"Control Panel\\Input Method", false)) return;
        (void)reg.DeleteValue(u"EnableHexNumpad");
        reg.CloseKey();
    } catch (const EVtError&) {
        // nothing to report: the value only matters to a running library
    }
}

void RunUninstall(const std::function<TUnInstOptions()>& askUninstallOptions) {
    TUnInstOptions flags = QuietMode             ? TUnInstOptions::All()
                           : askUninstallOptions ? askUninstallOptions()
                                                 : TUnInstOptions{};
    if (flags.Empty()) return;

    SetMainSwitch(false);
    CloseHost();
    // no handle of ours may keep the "Settings" key open while it is deleted
    if (Options) Options->CloseKey();

    {
        TRegistry reg(KEY_ALL_ACCESS);
        reg.SetRootKey(RegRoot);
        if (RegPath.empty()) throw EVtError(kRegPathMissing);

        if (flags.Has(UNINST_SETTINGS)) {
            DeleteKeyReported(reg, RegPath + u"Settings\\Speaker");
            DeleteKeyReported(reg, RegPath + u"Settings");
        }
        if (flags.Has(UNINST_SOUND))
            DeleteKeyReported(reg, ProfilePrefix() + u"AppEvents\\Schemes\\Apps\\Vantor32\\");
        if (flags.Has(UNINST_MACROS)) {
            DeleteKeyReported(reg, RegPath + u"Macros\\AltGr");
            DeleteKeyReported(reg, RegPath + u"Macros\\Umlaut\\Ascii");
            DeleteKeyReported(reg, RegPath + u"Macros\\Umlaut\\HTML");
            DeleteKeyReported(reg, RegPath + u"Macros");
            RemoveScancodeMap();
        }
        if (flags.Has(UNINST_SETTINGS) && flags.Has(UNINST_MACROS)) DeleteKeyReported(reg, RegPath);
        // UNINST_FILES and UNINST_AUTOSTART: nothing of theirs lives in the registry
    }
    RemoveHexNumpad();
}

}  // namespace vt
