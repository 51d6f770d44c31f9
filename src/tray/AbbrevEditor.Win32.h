// The dialog of one abbreviation ("Neu…", "Bearbeiten…" on the page "Kürzel"). Windows only.
#pragma once

#include <windows.h>

#include <string>

#include "Settings.h"

namespace vt {

// entry null for a new abbreviation. The name written, or "" when nothing was.
std::u16string AbbrevDialog(HWND owner, const RMacroEntry* entry);

}  // namespace vt
