// Resource ids of Vantor32.exe. The lowest icon id is the program's own icon.
#pragma once

#define IDI_VANTOR_ON 1
#define IDI_VANTOR_OFF 2
