// The tray menu: what it shows and what its commands do, through the option store.
#include <exception>

#include "Vantor32.h"
#include "common/DebugWindowInterface.h"
#include "common/Vantor.Utils.h"
#include "common/VtError.h"

namespace vt {

namespace {

void LogFailure(const char16_t* what, const std::exception& e) noexcept {
    try {
        const auto* vtError = dynamic_cast<const EVtError*>(&e);
        DebugLog(u"Vantor32: %s: %s", std::u16string(what),
                 vtError ? vtError->Message() : ToU16(e.what()));
    } catch (...) {
    }
}

// A switch that cannot be read (a value of the wrong type) shows unchecked; choosing it
// writes a proper byte and so mends the value.
bool SwitchOn(AOption option) {
    try {
        return Options && Options->GetOption(option) != 0;
    } catch (const std::exception& e) {
        LogFailure(OptionValueNames[option].c_str(), e);
        return false;
    }
}

bool HtmlMode() {
    try {
        return Options && Options->GetUmlautMode() == UMLAUT_HTML;
    } catch (const std::exception& e) {
        LogFailure(u"UmlautMode", e);
        return false;
    }
}

struct RSwitchItem {
    std::uint32_t id;
    AOption option;
    const char16_t* text;
};

// The check items, in menu order.
const RSwitchItem kSwitchItems[] = {
    {IDM_UMLAUT, OPT_UMLAUT, u"&Umlautwandlung"},
    {IDM_UMLAUT_HTML, OPT_UMLAUT_MODE, u"Umlaute als &HTML"},
    {IDM_ABBREV, OPT_ABBREV, u"Kür&zel"},
    {IDM_EZ_TAB, OPT_EZ_TAB, u"Easy&Tab"},
    {IDM_EZ_BS, OPT_EZ_BS, u"EasyBac&kslash"},  // E opens the settings
    {IDM_NP_DOT, OPT_NP_DOT, u"&NUM Punkt"},
    {IDM_LOCK_CAPS, OPT_LOCK_CAPS, u"&CAPSLOCK sperren"},
    {IDM_LOCK_NUM, OPT_LOCK_NUM, u"NU&M sperren"},
    {IDM_BEEP, OPT_BEEP, u"&Piepsen bei Umschaltungen"},
    {IDM_SPEAKER, OPT_SPEAKER, u"&Speaker benutzen"},
};

}  // namespace

bool MainSwitchOn() {
    return SwitchOn(OPT_MAIN);
}

bool IconHidden() {
    return SwitchOn(OPT_HIDE);
}

std::u16string TrayTip(bool on) {
    return on ? u"Vantor32 – eingeschaltet" : u"Vantor32 – ausgeschaltet";
}

std::vector<RTrayMenuItem> BuildTrayMenu() {
    std::vector<RTrayMenuItem> menu;
    menu.push_back({IDM_MAIN, u"&Vantor eingeschaltet", MainSwitchOn(), true});
    menu.push_back({});
    for (const auto& s : kSwitchItems)
        menu.push_back(
            {s.id, s.text, s.option == OPT_UMLAUT_MODE ? HtmlMode() : SwitchOn(s.option), false});
    menu.push_back({});
    menu.push_back({IDM_SETTINGS, u"&Einstellungen…", false, false});
    menu.push_back({IDM_VIEWER, u"&Diagnose anzeigen", false, false});
    menu.push_back({IDM_AUTOSTART, u"Mit &Windows starten", AutostartOn(), false});
    menu.push_back({IDM_INFO, u"&Info", false, false});
    menu.push_back({});
    menu.push_back({IDM_QUIT, u"&Beenden", false, false});
    return menu;
}

ETrayAction RunTrayCommand(std::uint32_t id, const std::u16string& exePath) {
    try {
        if (id == IDM_MAIN) {
            if (!Options) return TRAY_FAILED;
            Options->SetOption(OPT_MAIN, !MainSwitchOn());
            return TRAY_NONE;
        }
        for (const auto& s : kSwitchItems) {
            if (s.id != id) continue;
            if (!Options) return TRAY_FAILED;
            if (s.option == OPT_UMLAUT_MODE)
                Options->SetUmlautMode(HtmlMode() ? UMLAUT_ASCII : UMLAUT_HTML);
            else
                Options->SetOption(s.option, !SwitchOn(s.option));
            return TRAY_NONE;
        }
        switch (id) {
            case IDM_VIEWER: {
                ShellExecuteInfo info;
                info.lpFile = FolderOf(exePath) + u"vtview.exe";
                info.lpDirectory = FolderOf(exePath);
                info.nShow = SW_SHOWNORMAL;
                if (Plat().ShellExecuteExW(info)) return TRAY_NONE;
                DebugLog(u"Vantor32: %s konnte nicht gestartet werden (%d)", info.lpFile,
                         static_cast<int>(Plat().GetLastError()));
                return TRAY_FAILED;
            }
            case IDM_AUTOSTART:
                return SetAutostart(!AutostartOn(), exePath) ? TRAY_NONE : TRAY_FAILED;
            case IDM_SETTINGS:
                return TRAY_SETTINGS;
            case IDM_INFO:
                return TRAY_INFO;
            case IDM_QUIT:
                return TRAY_QUIT;
            default:
                return TRAY_NONE;
        }
    } catch (const std::exception& e) {
        LogFailure(u"Menü", e);
        return TRAY_FAILED;
    }
}

std::u16string FolderOf(const std::u16string& path) {
    std::size_t slash = path.find_last_of(u"\\/");
    return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash + 1);
}

// ---------------------------------------------------------------- autostart
bool AutostartOn() {
    TRegistry reg(KEY_READ);
    return reg.OpenKeyReadOnly(kRunKey) && reg.ValueExists(kRunValue);
}

bool SetAutostart(bool on, const std::u16string& exePath) {
    try {
        TRegistry reg;
        if (!reg.OpenKey(kRunKey, on)) return !on;  // nothing to remove without the key
        if (!on) return !reg.ValueExists(kRunValue) || reg.DeleteValue(kRunValue);
        // Quoted: the folder may contain blanks.
        reg.WriteString(kRunValue, u"\"" + exePath + u"\"");
        return true;
    } catch (const std::exception& e) {
        LogFailure(kRunValue.c_str(), e);
        return false;
    }
}

}  // namespace vt
