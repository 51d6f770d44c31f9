#include "VtInst.h"

#include <exception>

#include "PrevInst.h"
#include "VtConfig.Common.h"
#include "common/PCSpk.h"
#include "common/Vantor.Common.h"
#include "common/Vantor.Utils.h"
#include "common/VtError.h"

namespace vt {

bool QuietMode = false;
HKey RegRoot = HKEY_CURRENT_USER;
std::u16string AppTitle = u"VtInst";
std::vector<std::u16string> ParamList;

// ---------------------------------------------------------------- command line

std::u16string UpperCaseText(const std::u16string& text) {
    std::u16string out(text);
    for (char16_t& c : out) {
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 0x20);
        // Latin-1 letters; the division sign and y-diaeresis have no partner here
        else if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
            c = static_cast<char16_t>(c - 0x20);
    }
    return out;
}

bool HasSwitch(const std::u16string& letter) {
    const std::u16string wanted = u"/" + letter;
    for (const std::u16string& arg : ParamList)
        if (UpperCaseText(arg) == wanted) return true;
    return false;
}

bool HasParamWord(const std::u16string& word) {
    const std::u16string wanted = UpperCaseText(word);
    for (const std::u16string& arg : ParamList)
        if (UpperCaseText(arg) == wanted) return true;
    return false;
}

// ---------------------------------------------------------------- message boxes

void ShowInfo(const std::u16string& text) {
    (void)Plat().MessageBoxW(0, text, AppTitle, MB_OK | MB_ICONINFORMATION);
}

void ShowError(const std::u16string& text) {
    (void)Plat().MessageBeep(MB_ICONHAND);
    (void)Plat().MessageBoxW(0, text, AppTitle, MB_OK | MB_ICONERROR);
}

void ShowAlert(const std::u16string& text) {
    (void)Plat().MessageBoxW(0, text, kAlertCaption, MB_OK);
}

// ---------------------------------------------------------------- user profile

void FindUserProfile() {
    std::vector<std::u16string> names;
    {
        TRegistry users(KEY_READ);
        users.SetRootKey(HKEY_USERS);
        if (!users.OpenKeyReadOnly(u"")) return;
        names = users.GetKeyNames();
    }
    TRegistry probe(KEY_READ);
    probe.SetRootKey(HKEY_USERS);
    for (const std::u16string& name : names) {
        std::u16string path = name + u"\\" + kDefaultRegPath;
        if (!probe.KeyExists(path)) continue;
        Options.reset();
        RegRoot = HKEY_USERS;
        RegPath = path;
        OpenOptions(HKEY_USERS);
        return;
    }
}

std::u16string ProfilePrefix() {
    static const std::u16string software = u"Software\\";
    if (RegPath.size() >= kDefaultRegPath.size() &&
        RegPath.compare(RegPath.size() - kDefaultRegPath.size(), kDefaultRegPath.size(),
                        kDefaultRegPath) == 0)
        return RegPath.substr(0, RegPath.size() - kDefaultRegPath.size());
    std::size_t at = RegPath.find(software);
    return at == std::u16string::npos ? std::u16string() : RegPath.substr(0, at);
}

// ---------------------------------------------------------------- scancode map

void RunScancodeMap() {
    TScancodeMap map;
    if (HasParamWord(u"CAPSLOCK"))
        AddMapping(*map.MapPtr(), ScanCodeOf(VK_CAPITAL), ScanCodeOf(VK_EREOF));
    if (HasParamWord(u"SCROLLOCK"))
        AddMapping(*map.MapPtr(), ScanCodeOf(VK_SCROLL), ScanCodeOf(VK_ZOOM));
    // The results go unreported: a machine without the key simply keeps its map.
    if (map.MapPtr()->len != 0) {
        (void)map.SaveBackup();
        (void)map.SaveToRegistry();
    } else {
        // Removing is no reason to lose a map the user had before we ever wrote one.
        (void)map.SaveBackup();
        (void)map.DeleteFromRegistry();
    }
}

// ---------------------------------------------------------------- the program

void SetupModulesInit(const std::u16string& exePath) {
    CreateInstanceMutex(exePath);
    VantorCommonInit();
    PCSpkInit();
    VantorUtilsInit();
    QuietMode = false;
    RegRoot = HKEY_CURRENT_USER;
    AppTitle = u"VtInst";
    ParamList.clear();
}

void SetupModulesDone() {
    VantorUtilsDone();
    PCSpkDone();
    VantorCommonDone();
    CloseInstanceMutex();
}

void RunStartSequence(const std::u16string& commandLine, const std::vector<std::u16string>& args,
                      const RSetupShell& shell) {
    ParamList = args;
    if (shell.isAdministrator && !shell.isAdministrator()) {
        ShowAlert(kAdminRefusal);
        return;
    }
    QuietMode = HasSwitch(u"Q");
    FindUserProfile();
    AppTitle = kAppTitle;
    ShowInfo(u"VtInst: <" + commandLine + u">");
    if (shell.createMainForm) shell.createMainForm();

    if (HasSwitch(u"T")) {
        FindUserProfile();
    } else if (HasSwitch(u"M")) {
        RunScancodeMap();
    } else if (HasSwitch(u"I")) {
        // the start-up already created the "Settings" key: nothing more to do
    } else if (HasSwitch(u"U")) {
        RunUninstall(shell.askUninstallOptions);
    }
}

namespace {

// Stands in for the default report of an unhandled error: a box with the error's text.
void ShowUnhandledError(const std::u16string& text) noexcept {
    try {
        (void)Plat().MessageBoxW(0, text, AppTitle, MB_OK | MB_ICONHAND);
    } catch (...) {
    }
}

}  // namespace

int VtInstMain(const std::u16string& exePath, const std::u16string& commandLine,
               const std::vector<std::u16string>& args, const RSetupShell& shell) noexcept {
    int exitCode = 0;
    try {
        SetupModulesInit(exePath);
        RunStartSequence(commandLine, args, shell);
    } catch (const EVtError& e) {
        ShowUnhandledError(e.Message());
        exitCode = 1;
    } catch (const std::exception& e) {
        ShowUnhandledError(ToU16(e.what()));
        exitCode = 1;
    } catch (...) {
        ShowUnhandledError(u"Unbekannter Fehler");
        exitCode = 1;
    }
    try {
        if (shell.releaseMainForm) shell.releaseMainForm();
        SetupModulesDone();
    } catch (...) {
        if (exitCode == 0) exitCode = 1;
    }
    return exitCode;
}

}  // namespace vt
