// VtInst: the setup tool's start sequence, its command line and its actions.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "VtConfig.UnInstU.h"
#include "common/RegistryKey.h"
#include "platform/Platform.h"

namespace vt {

inline const std::u16string kAppTitle = u"VtInst - Vantor32 Setup";
inline const std::u16string kAlertCaption = u"Vantor32";
inline const std::u16string kAdminRefusal =
    u"Sie benötigen Administratorrechte, um dieses Programm auszuführen.";

// ---------------------------------------------------------------- process-wide state
extern bool QuietMode;
extern HKey RegRoot;
extern std::u16string AppTitle;                // caption of the standard dialogs
extern std::vector<std::u16string> ParamList;  // arguments 1..n

// ---------------------------------------------------------------- command line
std::u16string UpperCaseText(const std::u16string& text);
// Some argument, upper-cased, is "/" + letter (letter given upper-case).
bool HasSwitch(const std::u16string& letter);
// Some argument, upper-cased, is the word upper-cased.
bool HasParamWord(const std::u16string& word);

// ---------------------------------------------------------------- message boxes
void ShowInfo(const std::u16string& text);
void ShowError(const std::u16string& text);  // beeps MB_ICONHAND first
void ShowAlert(const std::u16string& text);  // caption "Vantor32"

// ---------------------------------------------------------------- user profile
// Re-points RegRoot, RegPath and Options to the first hive below HKEY_USERS that holds
// the product key; leaves them alone when none does.
void FindUserProfile();
// The hive name and a backslash in front of "Software\" in RegPath, or "".
std::u16string ProfilePrefix();

// Whether the calling thread's token holds the built-in Administrators group, enabled
// and not for deny only. Any failed query answers false.
bool IsAdministrator();

// ---------------------------------------------------------------- actions
inline const std::u16string kScancodeMapNotSaved =
    u"Konnte ScancodeMap nicht in Registry schreiben";
inline const std::u16string kScancodeMapNotDeleted =
    u"Konnte ScancodeMap nicht aus Registry löschen";
// Raises kScancodeMapNotSaved or kScancodeMapNotDeleted when the map cannot be changed.
void RunScancodeMap();

void SetMainSwitch(bool enable);
void PostToHost(std::uint32_t msg, WParam wParam, LParam lParam);
void CloseHost();
void DeleteKeyReported(TRegistry& reg, const std::u16string& key);
void RemoveScancodeMap();
void RemoveHexNumpad();
inline const std::u16string kRegPathMissing = u"RegPath nicht gesetzt!";
void RunUninstall(const std::function<TUnInstOptions()>& askUninstallOptions);

// ---------------------------------------------------------------- the program
// What only the Windows side can do; every member may be empty in tests.
struct RSetupShell {
    std::function<bool()> isAdministrator;
    std::function<TUnInstOptions()> askUninstallOptions;
    std::function<void()> createMainForm;
    std::function<void()> releaseMainForm;
};

// Module start-up in module order and shutdown in reverse.
void SetupModulesInit(const std::u16string& exePath);
void SetupModulesDone();

// Steps 2 to 8 of a run: administrator check, switches, profile, information box,
// main form, dispatch. Errors of an action propagate.
void RunStartSequence(const std::u16string& commandLine, const std::vector<std::u16string>& args,
                      const RSetupShell& shell);

// The whole program: start-up, start sequence, shutdown. An error raised on the way
// is shown with its text and makes the exit code 1; a normal end gives 0.
int VtInstMain(const std::u16string& exePath, const std::u16string& commandLine,
               const std::vector<std::u16string>& args, const RSetupShell& shell) noexcept;

}  // namespace vt
