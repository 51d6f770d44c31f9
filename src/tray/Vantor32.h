// Vantor32: the tray program's logic. Its menu, the autostart value, the sound-event
// registration, the instance check and the 32-bit companion, through the platform seam.
// The windows, the icon and the message loop are in Vantor32.Win32.cpp.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/Vantor.Common.h"

namespace vt {

// ---------------------------------------------------------------- menu
enum ATrayCommand : std::uint32_t {
    IDM_MAIN = 100,
    IDM_UMLAUT,
    IDM_UMLAUT_HTML,
    IDM_EZ_TAB,
    IDM_EZ_BS,
    IDM_NP_DOT,
    IDM_LOCK_CAPS,
    IDM_LOCK_NUM,
    IDM_BEEP,
    IDM_SPEAKER,
    IDM_VIEWER,
    IDM_AUTOSTART,
    IDM_INFO,
    IDM_QUIT,
    IDM_SETTINGS
};

struct RTrayMenuItem {
    std::uint32_t id = 0;  // 0 for a separator
    std::u16string text;   // with "&" before the key letter
    bool checked = false;
    bool isDefault = false;
};

// The menu as it stands now: every switch read from the option store, the autostart
// check mark from the Run value. A switch that cannot be read shows unchecked.
std::vector<RTrayMenuItem> BuildTrayMenu();

// What the window side still has to do after a command.
enum ETrayAction { TRAY_NONE, TRAY_INFO, TRAY_QUIT, TRAY_SETTINGS, TRAY_FAILED };

// Carries out a menu command: switches go through the option store (every program's
// library sees them at its next key press), "Mit Windows starten" writes or removes the
// Run value, "Diagnose anzeigen" starts the viewer from exeDir; "Einstellungen…" is left to
// the window side (TRAY_SETTINGS). TRAY_FAILED when a write
// or a start did not work (the registry error is logged).
ETrayAction RunTrayCommand(std::uint32_t id, const std::u16string& exePath);

// The shell's message to the host window about its icon (a click, a key on it): lParam
// carries the mouse or keyboard event. WM_APP + 1.
constexpr std::uint32_t WM_TRAY = 0x8001;

// The master switch as stored; off when it cannot be read.
bool MainSwitchOn();
// "Vantor-Symbol verstecken": no icon; a second start or a *9 macro still opens the settings.
bool IconHidden();
std::u16string TrayTip(bool on);  // "Vantor32 – eingeschaltet" / "… ausgeschaltet"
inline const std::u16string kInfoText =
    u"Vantor32\n\nSchreibhilfe für den deutschen Windows-Desktop: Makros, Umlautwandlung, "
    u"EasyTab, EasyBackslash, NUM Punkt und die Sperren für CAPSLOCK und NUM.\n\n"
    u"AltGr+F1 schaltet Vantor ein und aus.";

// ---------------------------------------------------------------- autostart
inline const std::u16string kRunKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline const std::u16string kRunValue = u"Vantor32";
bool AutostartOn();                                         // the Run value exists
bool SetAutostart(bool on, const std::u16string& exePath);  // "\"exePath\"" or removed

// ---------------------------------------------------------------- the person's own parts
// The installation's choice for new users, under HKEY_LOCAL_MACHINE: REG_DWORD 1 or 0.
inline const std::u16string kMachineKey = u"Software\\Quellmark\\Vantor32";
inline const std::u16string kMachineAutostartValue = u"Autostart";
// Under the person's product key once their first start is done.
inline const std::u16string kUserSetUpValue = u"Eingerichtet";
enum EFirstStart {
    FIRST_START_DONE,       // nothing to do: done before, or no installation to follow
    FIRST_START_MARK,       // only remember that it is done
    FIRST_START_AUTOSTART,  // write the autostart value, then remember
};
// userSetUp: the mark is there; usedBefore: the person ran an earlier version (its sound
// events were registered); machineChoice: the installation's choice, if any.
EFirstStart FirstStartStep(bool userSetUp, bool usedBefore, std::optional<bool> machineChoice);
// At every start, as the person: registers the sound events and, at the first start
// after an installation that chose it, the autostart value. False when a write failed.
bool SetUpUser(const std::u16string& exePath);

// ---------------------------------------------------------------- sound events
inline const std::u16string kSchemeKey = u"AppEvents\\Schemes\\Apps\\Vantor32";
inline const std::u16string kEventLabelsKey = u"AppEvents\\EventLabels";
// The German label Windows' sound settings show for event 1..8.
extern const std::u16string SoundEventLabels[9];
// Registers the scheme's display name and the eight events with their labels, so that
// a person chooses the sound files in Windows' sound settings. A file already chosen
// and another program's label of the same name stay as they are. False when a key
// could not be written.
bool RegisterSoundEvents();

// ---------------------------------------------------------------- one instance
inline const std::u16string kInstanceMutexName = u"Local\\Vantor32";
// Takes the session's instance mutex; false when another instance holds it.
bool ClaimInstance();
void ReleaseInstance();
// The second start: asks the running instance to show itself. False without one.
bool ShowRunningInstance();

// ---------------------------------------------------------------- 32-bit companion
inline const std::u16string kCompanionExe = u"Vantor32x86.exe";
constexpr std::uint32_t kCompanionStopMs = 3000;
struct RCompanion {
    Handle process = 0;
    std::uint32_t threadId = 0;
};
// Starts exeDir + kCompanionExe with this process's id. False (and logged) when it is
// not installed or does not start: 32-bit programs are then not covered.
bool StartCompanion(const std::u16string& exeDir, RCompanion& companion);
// Asks the companion to end, waits a bounded time, ends it when it hangs.
void StopCompanion(RCompanion& companion);

std::u16string FolderOf(const std::u16string& path);  // with the trailing backslash

}  // namespace vt
