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

// Who a run is for, as the Windows side finds out (SIDs as text, "" when unknown).
struct RUserHint {
    std::u16string tokenUser;    // the account the tool runs as
    std::u16string sessionUser;  // the person logged on to this session (or the console)
};
extern RUserHint UserHint;
// The start-up found no product key in its own account's hive and created one: that is
// no sign of that account's data.
extern bool StartupCreatedProductKey;
// After a run other than /I: the keys the start-up created in the tool's own account go
// again while they are empty.
void RemoveStartupKeys() noexcept;
// The account whose data the run works on, as a person reads it ("" when unknown).
extern std::u16string ProfileUserName;
// Turns a hive name (a SID) into an account name; may be empty (tests).
extern std::function<std::u16string(const std::u16string&)> AccountNameOf;
// Where a line for the error output goes in QuietMode; may be empty (tests record it).
extern std::function<void(const std::u16string&)> ErrorLine;
// Failures reported by ShowError during the run: they make the exit code non-zero.
extern int ReportedFailures;

// ---------------------------------------------------------------- command line
std::u16string UpperCaseText(const std::u16string& text);
// Some argument, upper-cased, is "/" + letter (letter given upper-case).
bool HasSwitch(const std::u16string& letter);
// Some argument, upper-cased, is the word upper-cased.
bool HasParamWord(const std::u16string& word);

// ---------------------------------------------------------------- message boxes
// In QuietMode none of them shows a window: ShowInfo says nothing, ShowError and
// ShowAlert write their text as one line to the error output.
void ShowInfo(const std::u16string& text);
void ShowError(const std::u16string& text);  // beeps MB_ICONHAND first; counts a failure
void ShowAlert(const std::u16string& text);  // caption "Vantor32"

// ---------------------------------------------------------------- user profile
// Re-points RegRoot, RegPath and Options to the hive of the user the run is for: the
// person logged on to this session when the tool runs as another account (elevated with
// other credentials, or as SYSTEM), else the account it runs as. When that user is
// unknown or their hive is not loaded: the first hive in enumeration order that holds
// the product key, passing over the tool's own hive when the start-up created the key
// there. Leaves them alone when none fits. Sets ProfileUserName.
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
// With words: writes the tool's map (the map from before kept once as the backup).
// Without: takes the tool's own map away and puts back the one from before; a map the
// tool did not write stays. Raises kScancodeMapNotSaved or kScancodeMapNotDeleted when
// the map cannot be changed.
void RunScancodeMap();

void SetMainSwitch(bool enable);
void PostToHost(std::uint32_t msg, WParam wParam, LParam lParam);
void CloseHost();
void DeleteKeyReported(TRegistry& reg, const std::u16string& key);
// The tool's own map goes, the one from before comes back (error box when it cannot).
void RemoveScancodeMap();
void RemoveHexNumpad();
// The autostart value and the sound event labels the tray program registered for the
// user, in that user's hive.
void RemoveAutostart();
void RemoveEventLabels();
inline const std::u16string kRegPathMissing = u"RegPath nicht gesetzt!";
void RunUninstall(const std::function<TUnInstOptions()>& askUninstallOptions);

// ---------------------------------------------------------------- the program
// What only the Windows side can do; every member may be empty in tests.
struct RSetupShell {
    std::function<bool()> isAdministrator;
    std::function<RUserHint()> userHint;
    std::function<std::u16string(const std::u16string&)> accountName;
    std::function<void(const std::u16string&)> errorLine;
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
// is shown with its text (in QuietMode written to the error output) and makes the exit
// code 1, as does a failure reported on the way or a refusal in QuietMode; a normal end
// gives 0.
int VtInstMain(const std::u16string& exePath, const std::u16string& commandLine,
               const std::vector<std::u16string>& args, const RSetupShell& shell) noexcept;

}  // namespace vt
