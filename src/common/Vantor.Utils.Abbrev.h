// Vantor.Utils: the abbreviation table ("Kürzel"). A word typed and followed by an end
// character is looked up here by name; the value is a macro text of the "$" form, typed
// or run like a macro bound to a key.
#pragma once

#include <cstddef>
#include <string>

namespace vt {

// One REG_SZ value per abbreviation; the name is the abbreviation. The registry compares
// value names without regard to case, so "MFG" finds "mfg".
inline const std::u16string kAbbrevTable = u"Software\\Quellmark\\Vantor32\\Macros\\K\u00FCrzel";
constexpr std::size_t kMinAbbrevLength = 2;
constexpr std::size_t kMaxAbbrevLength = 32;

// The letters of the alphabets people type German and its neighbours with (Latin with
// Latin-1 and Latin Extended-A, Greek, Cyrillic), and their cases.
bool IsAbbrevLetter(char16_t c);
bool IsAbbrevChar(char16_t c);  // a letter or a digit 0-9
char16_t UpperChar(char16_t c);
char16_t LowerChar(char16_t c);
// 2 to 32 letters and digits.
bool IsValidAbbreviation(const std::u16string& name);

// The decoded macro text stored for word, "" when there is none (or it is no text, or
// too long: logged). One value query by name on a key this process keeps open.
std::u16string FindAbbreviation(const std::u16string& word) noexcept;
// Closes that key (module unload).
void CloseAbbreviations() noexcept;

}  // namespace vt
