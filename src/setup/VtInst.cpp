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
RUserHint UserHint;
bool StartupCreatedProductKey = false;
std::u16string ProfileUserName;
std::function<std::u16string(const std::u16string&)> AccountNameOf;
std::function<void(const std::u16string&)> ErrorLine;
int ReportedFailures = 0;

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

namespace {

// A run with /Q may be a job nobody watches: a box would wait for ever.
void WriteErrorLine(const std::u16string& text) noexcept {
    try {
        if (ErrorLine) ErrorLine(text);
    } catch (...) {
    }
}

}  // namespace

void ShowInfo(const std::u16string& text) {
    if (QuietMode) return;
    (void)Plat().MessageBoxW(0, text, AppTitle, MB_OK | MB_ICONINFORMATION);
}

void ShowError(const std::u16string& text) {
    ++ReportedFailures;
    if (QuietMode) return WriteErrorLine(text);
    (void)Plat().MessageBeep(MB_ICONHAND);
    (void)Plat().MessageBoxW(0, text, AppTitle, MB_OK | MB_ICONERROR);
}

void ShowAlert(const std::u16string& text) {
    if (QuietMode) return WriteErrorLine(text);
    (void)Plat().MessageBoxW(0, text, kAlertCaption, MB_OK);
}

// ---------------------------------------------------------------- user profile

namespace {

bool SameName(const std::u16string& a, const std::u16string& b) {
    return UpperCaseText(a) == UpperCaseText(b);
}

std::u16string NameOfAccount(const std::u16string& sid) {
    std::u16string name;
    try {
        if (AccountNameOf && !sid.empty()) name = AccountNameOf(sid);
    } catch (...) {
        name.clear();
    }
    return name.empty() ? sid : name;
}

}  // namespace

void FindUserProfile() {
    ProfileUserName = NameOfAccount(UserHint.tokenUser);
    std::vector<std::u16string> names;
    {
        TRegistry users(KEY_READ);
        users.SetRootKey(HKEY_USERS);
        if (!users.OpenKeyReadOnly(u"")) return;
        names = users.GetKeyNames();
    }
    TRegistry probe(KEY_READ);
    probe.SetRootKey(HKEY_USERS);
    auto holdsProduct = [&](const std::u16string& name) {
        return probe.KeyExists(name + u"\\" + kDefaultRegPath);
    };
    auto use = [&](const std::u16string& name, bool withOptions) {
        Options.reset();
        RegRoot = HKEY_USERS;
        RegPath = name + u"\\" + kDefaultRegPath;
        // A user without the product's key has nothing to switch off: no key is made
        // for them.
        if (withOptions) OpenOptions(HKEY_USERS);
        ProfileUserName = NameOfAccount(name);
    };

    // Elevated with another administrator's credentials, or run as SYSTEM: the data is
    // the person's at the keyboard, not the account's the tool runs as.
    const std::u16string& wanted =
        !UserHint.sessionUser.empty() && !SameName(UserHint.sessionUser, UserHint.tokenUser)
            ? UserHint.sessionUser
            : UserHint.tokenUser;
    if (!wanted.empty())
        for (const std::u16string& name : names)
            if (SameName(name, wanted)) return use(name, holdsProduct(name));

    for (const std::u16string& name : names) {
        if (!holdsProduct(name)) continue;
        if (StartupCreatedProductKey && SameName(name, UserHint.tokenUser)) continue;
        return use(name, true);
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
    // A run that could not change the map must not end like one that did: the error
    // ends the run with its box and a non-zero exit code.
    if (map.MapPtr()->len != 0) {
        (void)map.SaveBackup();
        if (!map.SaveToRegistry()) throw EVtError(kScancodeMapNotSaved);
    } else {
        // Only our own map is ours to take away; someone else's stays, and that is no
        // failure.
        if (map.RemoveOwnMap() == TScancodeMap::MAP_FAILED) throw EVtError(kScancodeMapNotDeleted);
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

namespace {

bool OwnKeyExists(const std::u16string& path) {
    try {
        TRegistry reg(KEY_READ);
        reg.SetRootKey(HKEY_CURRENT_USER);
        return reg.KeyExists(path);
    } catch (...) {
        return false;
    }
}

// The keys the start-up's option store may create in the tool's own account, innermost
// last, and which of them were there before it.
const std::u16string kStartupKeys[] = {u"Software\\Quellmark", u"Software\\Quellmark\\Vantor32",
                                       u"Software\\Quellmark\\Vantor32\\Settings"};
bool StartupKeyExisted[3] = {true, true, true};

bool KeyEmpty(const std::u16string& path) {
    HKey key = 0;
    if (Plat().RegOpenKeyExW(HKEY_CURRENT_USER, path, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    std::u16string name;
    const bool empty = Plat().RegEnumKeyExW(key, 0, &name) == ERROR_NO_MORE_ITEMS &&
                       Plat().RegEnumValueW(key, 0, &name) == ERROR_NO_MORE_ITEMS;
    (void)Plat().RegCloseKey(key);
    return empty;
}

}  // namespace

void RemoveStartupKeys() noexcept {
    try {
        if (!StartupCreatedProductKey || HasSwitch(u"I")) return;
        if (RegRoot == HKEY_CURRENT_USER && Options) Options->CloseKey();
        for (int i = 2; i >= 0; --i) {
            if (StartupKeyExisted[i] || !KeyEmpty(kStartupKeys[i])) continue;
            (void)Plat().RegDeleteKeyW(HKEY_CURRENT_USER, kStartupKeys[i]);
        }
    } catch (...) {
        // what is left is an empty key: nothing worth failing the run for
    }
}

void SetupModulesInit(const std::u16string& exePath) {
    CreateInstanceMutex(exePath);
    VantorCommonInit();
    PCSpkInit();
    for (int i = 0; i < 3; ++i) StartupKeyExisted[i] = OwnKeyExists(kStartupKeys[i]);
    VantorUtilsInit();
    StartupCreatedProductKey = !StartupKeyExisted[1] && OwnKeyExists(kStartupKeys[1]);
    QuietMode = false;
    RegRoot = HKEY_CURRENT_USER;
    AppTitle = u"VtInst";
    ParamList.clear();
    UserHint = RUserHint{};
    ProfileUserName.clear();
    ReportedFailures = 0;
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
    // Known before the check: a refusal in a quiet run must not wait in a box either.
    QuietMode = HasSwitch(u"Q");
    if (shell.isAdministrator && !shell.isAdministrator()) {
        ShowAlert(kAdminRefusal);
        if (QuietMode) ++ReportedFailures;
        return;
    }
    if (shell.userHint) UserHint = shell.userHint();
    AccountNameOf = shell.accountName;
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

// Stands in for the default report of an unhandled error: a box with the error's text,
// or its line on the error output in QuietMode.
void ShowUnhandledError(const std::u16string& text) noexcept {
    if (QuietMode) return WriteErrorLine(text);
    try {
        (void)Plat().MessageBoxW(0, text, AppTitle, MB_OK | MB_ICONHAND);
    } catch (...) {
    }
}

}  // namespace

int VtInstMain(const std::u16string& exePath, const std::u16string& commandLine,
               const std::vector<std::u16string>& args, const RSetupShell& shell) noexcept {
    int exitCode = 0;
    ErrorLine = shell.errorLine;
    try {
        SetupModulesInit(exePath);
        RunStartSequence(commandLine, args, shell);
        // Only /I is meant to leave the start-up's key behind.
        RemoveStartupKeys();
        if (ReportedFailures > 0) exitCode = 1;
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
    AccountNameOf = nullptr;
    ErrorLine = nullptr;
    QuietMode = false;
    return exitCode;
}

}  // namespace vt
