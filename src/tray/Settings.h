// Settings: what the settings window shows and writes, through the option store and the
// registry layout the library reads. Nothing is cached: every page reads afresh, and a
// value is written only when the person changed it, so values the window does not
// understand stay as they are.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/Vantor.Common.h"

namespace vt {

// ---------------------------------------------------------------- "Allgemein"
struct RSwitchItem {
    AOption option;
    const char16_t* label;  // with "&" before the mnemonic
};
extern const std::array<RSwitchItem, 10> kSwitchItems;
// The stored switch; nothing when its value cannot be read (wrong type or size).
std::optional<bool> ReadSwitch(AOption option);
bool WriteSwitch(AOption option, bool on);      // false when the write failed
std::optional<EinUmlautMode> ReadUmlautMode();  // nothing for an unknown stored mode
bool WriteUmlautMode(EinUmlautMode mode);
std::optional<std::u16string> ReadDecimalDot();
bool WriteDecimalDot(const std::u16string& text);

// ---------------------------------------------------------------- "Makros"
struct RMacroEntry {
    std::u16string name;               // the value name as stored
    std::optional<std::uint32_t> key;  // the combination, when the name is one
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    std::u16string stored;  // the text, for REG_SZ and REG_EXPAND_SZ values
    bool usable = false;    // a combination with a text the library reads
};
// Every value of the table, in value-name order; nothing when the table is missing.
std::vector<RMacroEntry> ReadMacroTable(const std::u16string& table);
// The three columns of the list: combination, kind, content.
std::u16string EntryCombination(const RMacroEntry& e);
std::u16string EntryKind(const RMacroEntry& e);
std::u16string EntryContent(const RMacroEntry& e);
// The stored text of a combination, when there is one (of any type: a value that is
// there but not a text counts too, so that it is not replaced unasked).
bool MacroExists(const std::u16string& table, std::uint32_t key);
bool WriteMacro(const std::u16string& table, std::uint32_t key, const std::u16string& stored);
bool DeleteMacroValue(const std::u16string& table, const std::u16string& name);
// What OK in the macro dialog does. A stored name may spell its hex digits in lower case;
// the registry does not care, so the macro keeps its name while its combination stays:
// it is no other macro to replace or delete. Unchanged, it is not written at all and
// keeps its type and bytes.
struct RMacroSave {
    std::u16string name;          // the value name the macro has afterwards
    bool sameMacro = false;       // the combination is the one it was stored under
    bool write = true;            // the text changed, or it is a new or moved macro
    bool deleteOriginal = false;  // moved to another combination
};
RMacroSave PlanMacroSave(const std::u16string& originalName, std::uint32_t key,
                         const std::u16string& text, const std::u16string& stored);

// ---------------------------------------------------------------- "Erweitert"
// The switch "Diagnose": the log also goes to a debugger's output.
std::optional<bool> ReadDiagnose();
bool WriteDiagnose(bool on);
// Which keys the machine's scancode map takes away (by scan code: Caps Lock 3A, Scroll
// Lock 46). The setup tool writes and removes the map; this only reads it.
struct RRemapState {
    bool capsLock = false;
    bool scrollLock = false;
};
RRemapState ParseRemapState(const std::vector<std::uint8_t>& map);
RRemapState ReadRemapState();
// The setup tool's arguments for the keys wanted: "/M CAPSLOCK SCROLLOCK", "/M" for none.
std::u16string RemapArguments(bool capsLock, bool scrollLock);

// ---------------------------------------------------------------- "Umlaute"
struct RUmlautKey {
    std::uint32_t key;      // the MacroKey the library looks up (key and Shift)
    const char16_t* label;  // the letter
};
extern const std::array<RUmlautKey, 7> kUmlautKeys;
// The stored text, "" when absent; nothing when the value is not a text.
std::optional<std::u16string> ReadUmlaut(const std::u16string& table, std::uint32_t key);
// An empty text removes the entry.
bool WriteUmlaut(const std::u16string& table, std::uint32_t key, const std::u16string& stored);

// ---------------------------------------------------------------- "Töne"
struct RTone {
    std::int32_t freq = 0, duration = 0, count = 0, pause = 0;
};
struct RToneField {
    const char16_t* label;
    std::int32_t min, max;
};
extern const std::array<RToneField, 4> kToneFields;  // Frequenz, Dauer, Anzahl, Pause
// The stored setting of event 1..8; nothing when the value is not a text.
std::optional<RTone> ReadTone(std::uint8_t event);
std::u16string FormatTone(const RTone& tone);  // "freq,duration,count,pause"
// Why a field's text is refused ("" when it is a number within the field's bounds).
std::u16string CheckToneField(int field, const std::u16string& text, std::int32_t* value);
bool WriteTone(std::uint8_t event, const RTone& tone);

// ---------------------------------------------------------------- "Ausnahmen"
// Every value of the list of programs left alone, ordered by name without regard to case
// (read as ReadMacroTable reads a table: entries the library ignores are shown too).
std::vector<RMacroEntry> ReadExclusionList();
// The line of an entry: its name, with a note when the library does not count it.
std::u16string ExclusionText(const RMacroEntry& e);
// Adds a program by its path or file name as an empty REG_SZ value. "" when it is listed
// now, else why not (no program name, already listed, a write that failed).
std::u16string AddExclusion(const std::u16string& pathOrName);
bool RemoveExclusion(const std::u16string& name);
// The running programs' file names to choose from: each once without regard to case,
// ordered, those already listed left out.
std::vector<std::u16string> ProgramChoices(const std::vector<std::u16string>& exeNames);

// ---------------------------------------------------------------- command line
// "/export FILE" and "/import FILE /S" (switches in any case). Nothing when the command
// line holds neither: then the tray program starts as usual.
struct RConfigCommand {
    bool isExport = false;
    std::u16string file;
    bool silent = false;
};
// error is set when the arguments name a configuration command but are incomplete.
std::optional<RConfigCommand> ParseConfigCommand(const std::vector<std::u16string>& args,
                                                 std::u16string& error);
// Runs it: 0 on success, else non-zero with a one-line German message: 2 the export failed,
// 3 the import file was refused (nothing written), 4 a write failed and everything was put
// back as it was, 6 a write failed and putting it back failed too.
int RunConfigCommand(const RConfigCommand& command, std::u16string& message);

}  // namespace vt
