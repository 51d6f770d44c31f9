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
    try {
        TScancodeMap map;
        if (map.RemoveOwnMap() != TScancodeMap::MAP_FAILED) return;
    } catch (const EVtError&) {
        // a value that cannot be read is one that cannot be put right: reported below
    }
    ShowError(kScancodeMapNotDeleted);
}

namespace {

const std::u16string kRunKeyPath = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::u16string kRunValueName = u"Vantor32";
const std::u16string kEventLabelsPath = u"AppEvents\\EventLabels\\";
const std::u16string kOwnLabelPrefix = u"Vantor32: ";

}  // namespace

void RemoveAutostart() {
    try {
        TRegistry reg(KEY_ALL_ACCESS);
        reg.SetRootKey(RegRoot);
        if (!reg.OpenKey(ProfilePrefix() + kRunKeyPath, false)) return;
        if (reg.ValueExists(kRunValueName) && !reg.DeleteValue(kRunValueName))
            ShowError(u"Registry-Eintrag \"" + kRunValueName + u"\" konnte nicht gelöscht werden");
    } catch (const EVtError& e) {
        ShowError(e.Message());
    }
}

// Only a label that still reads as the tray program wrote it: another program's label of
// the same event name stays.
void RemoveEventLabels() {
    TRegistry reg(KEY_ALL_ACCESS);
    reg.SetRootKey(RegRoot);
    for (std::size_t e = 1; e <= 8; ++e) {
        const std::u16string path = ProfilePrefix() + kEventLabelsPath + SoundEventNames[e];
        try {
            std::u16string label;
            {
                TRegistry read(KEY_READ);
                read.SetRootKey(RegRoot);
                if (!read.OpenKeyReadOnly(path)) continue;
                std::uint32_t type = 0, size = 0;
                if (!read.GetDataInfo(u"", &type, &size) || type != REG_SZ) continue;
                label = read.ReadString(u"");
            }
            if (label.compare(0, kOwnLabelPrefix.size(), kOwnLabelPrefix) != 0) continue;
            DeleteKeyReported(reg, path);
        } catch (const EVtError&) {
            // a label of another type or size is not one the tray program wrote
        }
    }
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
        }
        // The remap belongs to the installation, not to a user's macros: whatever was
        // chosen, the keyboard goes back to the map it had before the tool.
        RemoveScancodeMap();
        if (flags.Has(UNINST_SETTINGS) && flags.Has(UNINST_MACROS)) DeleteKeyReported(reg, RegPath);
    }
    if (flags.Has(UNINST_AUTOSTART)) RemoveAutostart();
    RemoveEventLabels();
    RemoveHexNumpad();
}

}  // namespace vt
