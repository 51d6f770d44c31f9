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
    AddToolMappings(*map.MapPtr(), HasParamWord(u"CAPSLOCK"), HasParamWord(u"SCROLLOCK"));
    // Removing is no reason to lose a map the user had before we ever wrote one.
    (void)map.SaveBackup();
    // A run that could not change the map must not end like one that did: the error
    // ends the run with its box and a non-zero exit code.
    if (map.MapPtr()->len != 0) {
        if (!map.SaveToRegistry()) throw EVtError(kScancodeMapNotSaved);
    } else {
        if (!map.DeleteFromRegistry()) throw EVtError(kScancodeMapNotDeleted);
    }
}

// ---------------------------------------------------------------- administrator check

namespace {

// S-1-5-32-544, the built-in Administrators group
const std::vector<std::uint8_t> kAdministratorsSid = {1,    2, 0, 0, 0,    0,    0, 5,
                                                      0x20, 0, 0, 0, 0x20, 0x02, 0, 0};

// Reads the token's group list whatever its size: a domain account easily has more
// than 1 KB of groups.
bool ReadTokenGroups(Handle token, std::vector<TokenGroup>& groups) {
    std::uint32_t size = 1024;
    for (int attempt = 0; attempt < 8; ++attempt) {
        std::uint32_t needed = 0;
        if (Plat().GetTokenInformation_Groups(token, size, &groups, &needed)) return true;
        if (Plat().GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= size) return false;
        size = needed;
    }
    return false;
}

}  // namespace

// Fails closed: whatever cannot be read means "not an administrator".
bool IsAdministrator() {
    // 0 is also what a failed version query gives; only the 9x line has no tokens.
    std::uint32_t platform = Plat().GetVersionExW_PlatformId();
    if (platform == 0) return false;
    if (platform < VER_PLATFORM_WIN32_NT) return true;
    Handle token = 0;
    if (!Plat().OpenThreadToken(true, &token)) {
        if (Plat().GetLastError() != static_cast<std::uint32_t>(ERROR_NO_TOKEN)) return false;
        if (!Plat().OpenProcessToken(&token)) return false;
    }
    std::vector<TokenGroup> groups;
    bool read = ReadTokenGroups(token, groups);
    (void)Plat().CloseHandle(token);
    if (!read) return false;
    // A filtered token lists the group for deny only, and a disabled group grants nothing.
    for (const TokenGroup& g : groups)
        if (g.sid == kAdministratorsSid)
            return (g.attributes & SE_GROUP_ENABLED) != 0 &&
                   (g.attributes & SE_GROUP_USE_FOR_DENY_ONLY) == 0;
    return false;
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
