// Vantor.Utils: the option store, the macro lookup, sound playing and the host
// notifications.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "RegistryKey.h"
#include "Vantor.Common.h"

namespace vt {

// ---------------------------------------------------------------- option store
// "Software\Quellmark\Vantor32\" (trailing backslash: subkey names are appended directly).
inline const std::u16string kDefaultRegPath = u"Software\\Quellmark\\Vantor32\\";
extern std::u16string RegPath;

class TOptionsRegistry : public TRegistry {
public:
    explicit TOptionsRegistry(HKey root);

    // The stored byte of a switch (a stored 2 reads as 2); 0 when absent.
    std::uint8_t GetOption(AOption index);
    void SetOption(AOption index, bool enable);
    std::u16string GetOptionString(AOption index);
    void SetOptionString(AOption index, const std::u16string& value);
    EinUmlautMode GetUmlautMode();  // the stored ordinal; absent gives UMLAUT_ASCII
    void SetUmlautMode(EinUmlautMode mode);

    // The reads of the hook, where one broken value must break only itself: a value that
    // cannot be read (wrong type or size, a failed read) counts as off, empty or
    // UMLAUT_ASCII. Each such failure is logged once, and again once the value changed.
    std::uint8_t GetOptionOrOff(AOption index);
    std::u16string GetOptionStringOrEmpty(AOption index);
    EinUmlautMode GetUmlautModeOrDefault();

    // One-byte switches: absent or zero-length gives def; a text or DWORD type, or a
    // value longer than one byte, raises "Ungültiger Datentyp für '%s'".
    std::uint8_t ReadFlag(const std::u16string& name, std::uint8_t def);
    void WriteFlag(const std::u16string& name, std::uint8_t value);

private:
    enum EFlagRead { FLAG_READ, FLAG_INVALID, FLAG_UNREADABLE };
    // One query of a one-byte switch; value is def unless FLAG_READ found a byte, and
    // signature tells a failure apart from another (0 when read).
    EFlagRead QueryFlag(const std::u16string& name, std::uint8_t def, std::uint8_t& value,
                        std::uint64_t& signature);
    std::uint8_t ReadFlagOr(AOption index, std::uint8_t def, const char16_t* countsAs);
    // After a read found the open key deleted: opens the key now at its path, once.
    bool Reopen();
    // Several threads of a program read options (each input thread, the tray program's
    // threads): the handle that Reopen replaces, its path and the last error are used
    // under this lock. It is held for registry calls only, never while calling out.
    std::recursive_mutex handleLock_;
    template <typename Write>
    void WriteValue(const std::u16string& name, Write write);
};

// The process-wide store of this module; null before OpenOptions.
extern std::unique_ptr<TOptionsRegistry> Options;

// Creates Options on root and opens RegPath + "Settings", creating it when missing.
void OpenOptions(HKey root);
// Module life: OpenOptions(HKEY_CURRENT_USER) / free Options and clear RegPath.
void VantorUtilsInit();
void VantorUtilsDone();

// ---------------------------------------------------------------- macro lookup
inline const std::u16string kMacroTableAltGr = u"Software\\Quellmark\\Vantor32\\Macros\\AltGr";
inline const std::u16string kMacroTableAscii =
    u"Software\\Quellmark\\Vantor32\\Macros\\Umlaut\\Ascii";
inline const std::u16string kMacroTableHtml =
    u"Software\\Quellmark\\Vantor32\\Macros\\Umlaut\\HTML";

// The 32-bit key of a combination: key code in bits 0-15, the modifier byte masked with
// 0xCF (and without Ctrl and Alt when right Alt is set) in bits 16-23.
std::uint32_t MacroKey(std::uint16_t keyCode, std::uint8_t modifiers);
std::u16string MacroValueName(std::uint32_t macroKey);  // eight upper-case hex digits
// The largest stored macro value the lookup takes (32767 characters and the NUL).
constexpr std::uint32_t kMaxMacroBytes = 65536;
// Turns the stored escape form ("$$", "$hh") into the macro text.
std::u16string DecodeMacroText(const std::u16string& stored);
// The decoded macro of table (below HKEY_CURRENT_USER), or "" when there is none.
std::u16string FindMacro(const std::u16string& table, std::uint16_t keyCode,
                         std::uint8_t modifiers);

// ---------------------------------------------------------------- programs left alone
// RegPath + "Settings\Ausnahmen" holds one REG_SZ value per program whose keys the library
// leaves untouched, named by the program's file name ("mstsc.exe"). Value names compare
// without regard to case in the registry itself.
inline const std::u16string kExclusionsKey = u"Settings\\Ausnahmen";
// "C:\\Tools\\a.exe" -> "a.exe"
std::u16string FileNamePart(const std::u16string& path);
// Whether fileName is on the list: one value query per call once the key is open. A value
// of another type, or a list that cannot be read, counts as not listed and is logged.
bool IsProgramExcluded(const std::u16string& fileName) noexcept;
// Closes the list key this process keeps open (module unload).
void CloseExclusions() noexcept;

// ---------------------------------------------------------------- host notifications
// Posts WM_HOST_SOUNDEVENT when OPT_BEEP is on and a host window exists.
void NotifySoundEvent(std::uint8_t event);
void NotifyOnOff(bool on);

// ---------------------------------------------------------------- sound playing
extern const std::array<std::u16string, 9> SoundEventNames;

struct TSpeakerSetting {
    std::int32_t Freq = 0;
    std::int32_t Duration = 0;
    std::int32_t Count = 0;
    std::int32_t Pause = 0;
};

// Fills the fields the text gives ("freq,duration,count,pause"); others stay as they are.
void ParseSpeakerSetting(const std::u16string& text, TSpeakerSetting& setting);
// A speaker setting from the registry cannot block the caller for longer than
// kMaxToneCount * (kMaxToneMs + kMaxPauseMs).
constexpr std::int32_t kMaxToneMs = 10000;
constexpr std::int32_t kMaxPauseMs = 10000;
constexpr std::int32_t kMaxToneCount = 100;

// Sounds an event through the PC speaker (OPT_SPEAKER) or the sound scheme. Always true;
// registry errors are logged and contained.
bool PlaySoundEvent(std::uint8_t event) noexcept;

}  // namespace vt
