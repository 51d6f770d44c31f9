// PrevInst: the named mutex that marks a running setup tool. A marker only: a second
// instance is not refused.
#pragma once

#include <string>

#include "platform/Platform.h"

namespace vt {

// The mutex handle of this instance; 0 when another instance held the name already.
extern Handle InstanceMutex;

// The executable's file name without its path; ".EXE" (upper case only) is dropped.
std::u16string InstanceName(const std::u16string& exePath);
void CreateInstanceMutex(const std::u16string& exePath);
void CloseInstanceMutex();

}  // namespace vt
