// Settings: the page "Kürzel", the abbreviations of Macros\Kürzel. Each value's name is
// the abbreviation and its text a macro text of the "$" form, checked as the macro
// editor checks it.
#pragma once

#include <string>
#include <vector>

#include "Settings.h"

namespace vt {

// Every value of the table, ordered by name without regard to case (values the library
// does not use are listed too, with a note).
std::vector<RMacroEntry> ReadAbbrevTable();
std::u16string AbbrevName(const RMacroEntry& e);  // the name, with a note when unusable
std::u16string AbbrevKind(const RMacroEntry& e);  // "Text", "Befehl" or "unbenutzt"
std::u16string AbbrevContent(const RMacroEntry& e);

// Why name cannot be the abbreviation of an entry first stored as originalName ("" for a
// new one): not 2 to 32 letters and digits, or another abbreviation already has it (the
// registry does not tell "MFG" from "mfg"). "" when it can.
std::u16string CheckAbbrevName(const std::u16string& name, const std::u16string& originalName);

// What OK in the dialog writes: nothing when name and text stay as they were; a name that
// changed (also only in its case) is written new and the old value removed.
struct RAbbrevSave {
    bool write = true;
    bool deleteOriginal = false;
};
RAbbrevSave PlanAbbrevSave(const std::u16string& originalName, const std::u16string& name,
                           const std::u16string& text, const std::u16string& stored);
// Checks and writes: "" when stored, else the reason (German, one or two sentences).
std::u16string SaveAbbrev(const std::u16string& originalName, const std::u16string& name,
                          const std::u16string& text, const std::u16string& stored);
bool DeleteAbbrev(const std::u16string& name);

}  // namespace vt
