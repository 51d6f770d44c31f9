// Handle types and the Windows constants the logic uses, with the values of the
// public headers. Logic files never include <windows.h>; the Windows-only files do,
// and then the constants below come from <windows.h> itself (same names, same values).
#pragma once

#include <cstdint>

namespace vt {

// Handles are plain integers on our side of the seam; 0 means none.
using HWnd = std::uintptr_t;
using HKey = std::uintptr_t;
using HHook = std::uintptr_t;
using Handle = std::uintptr_t;
using HInstance = std::uintptr_t;

using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;

}  // namespace vt

#ifndef _WINDOWS_
// Predefined registry roots (as integers; <windows.h> makes them pointers).
constexpr vt::HKey HKEY_CLASSES_ROOT = 0x80000000u;
constexpr vt::HKey HKEY_CURRENT_USER = 0x80000001u;
constexpr vt::HKey HKEY_LOCAL_MACHINE = 0x80000002u;
constexpr vt::HKey HKEY_USERS = 0x80000003u;

// Registry value types
constexpr std::uint32_t REG_NONE = 0;
constexpr std::uint32_t REG_SZ = 1;
constexpr std::uint32_t REG_EXPAND_SZ = 2;
constexpr std::uint32_t REG_BINARY = 3;
constexpr std::uint32_t REG_DWORD = 4;
constexpr std::uint32_t REG_LINK = 6;  // a symbolic link's "SymbolicLinkValue"
constexpr std::uint32_t REG_MULTI_SZ = 7;
constexpr std::uint32_t REG_QWORD = 11;

// Registry access masks
constexpr std::uint32_t KEY_QUERY_VALUE = 0x0001;
constexpr std::uint32_t KEY_SET_VALUE = 0x0002;
constexpr std::uint32_t KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr std::uint32_t KEY_READ = 0x20019;
constexpr std::uint32_t KEY_WRITE = 0x20006;
constexpr std::uint32_t KEY_ALL_ACCESS = 0xF003F;

// System error codes
constexpr long ERROR_SUCCESS = 0;
constexpr long ERROR_FILE_NOT_FOUND = 2;
constexpr long ERROR_ACCESS_DENIED = 5;
constexpr long ERROR_INVALID_HANDLE = 6;
constexpr long ERROR_INVALID_PARAMETER = 87;
constexpr long ERROR_INSUFFICIENT_BUFFER = 122;
constexpr long ERROR_MORE_DATA = 234;
constexpr long ERROR_NO_MORE_ITEMS = 259;
constexpr long ERROR_ALREADY_EXISTS = 183;
constexpr long ERROR_NO_TOKEN = 1008;
constexpr long ERROR_ENVVAR_NOT_FOUND = 203;
constexpr long ERROR_NOT_OWNER = 288;
constexpr long ERROR_INVALID_WINDOW_HANDLE = 1400;

// Virtual memory (VirtualQuery)
constexpr std::uint32_t MEM_COMMIT = 0x1000;
constexpr std::uint32_t MEM_RESERVE = 0x2000;
constexpr std::uint32_t MEM_FREE = 0x10000;
constexpr std::uint32_t PAGE_NOACCESS = 0x01;
constexpr std::uint32_t PAGE_READONLY = 0x02;
constexpr std::uint32_t PAGE_READWRITE = 0x04;
constexpr std::uint32_t PAGE_WRITECOPY = 0x08;
constexpr std::uint32_t PAGE_EXECUTE_READWRITE = 0x40;
constexpr std::uint32_t PAGE_EXECUTE_WRITECOPY = 0x80;
constexpr std::uint32_t PAGE_GUARD = 0x100;

// Waits
constexpr std::uint32_t WAIT_OBJECT_0 = 0x00000000;
constexpr std::uint32_t WAIT_ABANDONED = 0x00000080;
constexpr std::uint32_t WAIT_TIMEOUT = 0x00000102;
constexpr std::uint32_t WAIT_FAILED = 0xFFFFFFFF;

// Hooks
constexpr int WH_KEYBOARD = 2;
constexpr int HC_ACTION = 0;
constexpr int HC_NOREMOVE = 3;

// Keystroke flags in the high word of a keyboard hook's lParam
constexpr std::uint32_t KF_EXTENDED = 0x0100;
constexpr std::uint32_t KF_DLGMODE = 0x0800;
constexpr std::uint32_t KF_MENUMODE = 0x1000;
constexpr std::uint32_t KF_ALTDOWN = 0x2000;
constexpr std::uint32_t KF_REPEAT = 0x4000;
constexpr std::uint32_t KF_UP = 0x8000;

// Input injection
constexpr std::uint32_t KEYEVENTF_EXTENDEDKEY = 0x0001;
constexpr std::uint32_t KEYEVENTF_KEYUP = 0x0002;
constexpr std::uint32_t KEYEVENTF_UNICODE = 0x0004;
constexpr std::uint32_t KEYEVENTF_SCANCODE = 0x0008;

constexpr std::uint32_t MAPVK_VK_TO_VSC = 0;
constexpr std::uint32_t MAPVK_VSC_TO_VK = 1;
constexpr std::uint32_t MAPVK_VK_TO_CHAR = 2;
constexpr std::uint32_t MAPVK_VSC_TO_VK_EX = 3;
constexpr std::uint32_t MAPVK_VK_TO_VSC_EX = 4;

// Virtual keys
constexpr std::uint16_t VK_CANCEL = 0x03;
constexpr std::uint16_t VK_BACK = 0x08;
constexpr std::uint16_t VK_TAB = 0x09;
constexpr std::uint16_t VK_RETURN = 0x0D;
constexpr std::uint16_t VK_SHIFT = 0x10;
constexpr std::uint16_t VK_CONTROL = 0x11;
constexpr std::uint16_t VK_MENU = 0x12;
constexpr std::uint16_t VK_PAUSE = 0x13;
constexpr std::uint16_t VK_CAPITAL = 0x14;
constexpr std::uint16_t VK_ESCAPE = 0x1B;
constexpr std::uint16_t VK_SPACE = 0x20;
constexpr std::uint16_t VK_DELETE = 0x2E;
constexpr std::uint16_t VK_LWIN = 0x5B;
constexpr std::uint16_t VK_RWIN = 0x5C;
constexpr std::uint16_t VK_NUMPAD0 = 0x60;
constexpr std::uint16_t VK_ADD = 0x6B;
constexpr std::uint16_t VK_SUBTRACT = 0x6D;
constexpr std::uint16_t VK_DECIMAL = 0x6E;
constexpr std::uint16_t VK_F1 = 0x70;
constexpr std::uint16_t VK_NUMLOCK = 0x90;
constexpr std::uint16_t VK_SCROLL = 0x91;
constexpr std::uint16_t VK_LSHIFT = 0xA0;
constexpr std::uint16_t VK_RSHIFT = 0xA1;
constexpr std::uint16_t VK_LCONTROL = 0xA2;
constexpr std::uint16_t VK_RCONTROL = 0xA3;
constexpr std::uint16_t VK_LMENU = 0xA4;
constexpr std::uint16_t VK_RMENU = 0xA5;
constexpr std::uint16_t VK_OEM_2 = 0xBF;
constexpr std::uint16_t VK_PACKET = 0xE7;
constexpr std::uint16_t VK_EREOF = 0xF9;
constexpr std::uint16_t VK_ZOOM = 0xFB;

// Files
constexpr std::uint32_t INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;
constexpr std::uint32_t MOVEFILE_REPLACE_EXISTING = 0x1;
constexpr std::uint32_t MOVEFILE_WRITE_THROUGH = 0x8;

// Messages
constexpr std::uint32_t WM_CLOSE = 0x0010;
constexpr std::uint32_t WM_QUIT = 0x0012;
constexpr std::uint32_t WM_NEXTDLGCTL = 0x0028;
constexpr std::uint32_t WM_USER = 0x0400;

constexpr std::uint32_t SMTO_NORMAL = 0x0000;
constexpr std::uint32_t SMTO_BLOCK = 0x0001;
constexpr std::uint32_t SMTO_ABORTIFHUNG = 0x0002;

// Message boxes
constexpr std::uint32_t MB_OK = 0x00000000;
constexpr std::uint32_t MB_ICONHAND = 0x00000010;
constexpr std::uint32_t MB_ICONERROR = 0x00000010;
constexpr std::uint32_t MB_ICONEXCLAMATION = 0x00000030;
constexpr std::uint32_t MB_ICONINFORMATION = 0x00000040;

// Shell execution
constexpr std::uint32_t SEE_MASK_DOENVSUBST = 0x00000200;
constexpr int SW_SHOWNORMAL = 1;

// Sound
constexpr std::uint32_t SND_SYNC = 0x0000;
constexpr std::uint32_t SND_ASYNC = 0x0001;
constexpr std::uint32_t SND_NODEFAULT = 0x0002;
constexpr std::uint32_t SND_FILENAME = 0x00020000;

// Locale information
constexpr std::uint32_t LOCALE_SLONGDATE = 0x00000020;
constexpr std::uint32_t LOCALE_STIMEFORMAT = 0x00001003;
constexpr std::uint32_t LOCALE_SDAYNAME1 = 0x0000002A;
constexpr std::uint32_t LOCALE_SABBREVDAYNAME1 = 0x00000031;
constexpr std::uint32_t LOCALE_SMONTHNAME1 = 0x00000038;
constexpr std::uint32_t LOCALE_SABBREVMONTHNAME1 = 0x00000044;
constexpr std::uint32_t LOCALE_S1159 = 0x00000028;
constexpr std::uint32_t LOCALE_S2359 = 0x00000029;

// Platform ids of GetVersionExW
constexpr std::uint32_t VER_PLATFORM_WIN32_WINDOWS = 1;
constexpr std::uint32_t VER_PLATFORM_WIN32_NT = 2;

// Attributes of a token's group
constexpr std::uint32_t SE_GROUP_ENABLED = 0x00000004;
constexpr std::uint32_t SE_GROUP_USE_FOR_DENY_ONLY = 0x00000010;
#endif
