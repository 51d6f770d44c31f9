// Helpers for the end-to-end tests under Wine: processes, windows, waiting for
// conditions with a deadline, files, the registry, injected keys.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

namespace e2e {

std::wstring ExeDir();  // the folder of the running test program, with a trailing backslash
std::wstring TempPath(const std::wstring& name);  // a fresh file name in the build tree
std::wstring HostExe();  // the tray program in the build tree, quoted for a command line

struct Process {
    HANDLE handle = nullptr;
    DWORD pid = 0;
};
Process Start(const std::wstring& commandLine);
bool WaitExit(Process& p, DWORD ms, DWORD* exitCode = nullptr);
void Kill(Process& p);

// Polls cond every 20 ms until it holds or ms have passed.
bool WaitUntil(const std::function<bool()>& cond, DWORD ms);
HWND WaitWindow(const wchar_t* cls, const wchar_t* title, DWORD ms);

std::string ReadFileBytes(const std::wstring& path);
std::vector<std::string> ReadLines(const std::wstring& path);  // UTF-8, without line ends
bool FileHasLine(const std::wstring& path, const std::string& line);
std::string Utf8(const std::wstring& s);

// Registry under HKEY_CURRENT_USER
void RegDeleteTreeCU(const std::wstring& path);
void RegSetByte(const std::wstring& path, const std::wstring& name, BYTE value);
void RegSetText(const std::wstring& path, const std::wstring& name, const std::wstring& value);
void RegSetDword(const std::wstring& path, const std::wstring& name, DWORD value);
bool RegGetByte(const std::wstring& path, const std::wstring& name, BYTE* value);
bool RegGetText(const std::wstring& path, const std::wstring& name, std::wstring* value);
void RegDeleteValueCU(const std::wstring& path, const std::wstring& name);

// The product's keys under HKEY_CURRENT_USER; a fresh configuration of one-byte switches.
inline const std::wstring kVantorKey = L"Software\\Quellmark\\Vantor32";
inline const std::wstring kVantorSettings = kVantorKey + L"\\Settings";
inline const std::wstring kVantorMacros = kVantorKey + L"\\Macros";
void ConfigureSwitches(std::initializer_list<std::pair<const wchar_t*, BYTE>> switches);

// Keys: press/release with the layout's scan code (extended where the key is).
void KeyDown(WORD vk, bool extended = false);
void KeyUp(WORD vk, bool extended = false);
void Tap(WORD vk, bool extended = false);
void SetLock(WORD vk, bool on);  // toggles a lock key until its state matches

std::wstring WindowText(HWND wnd);

// A key with a modifier held (Alt+N, Ctrl+Tab).
void Chord(WORD modifier, WORD vk);
// Types text with the keys of the current layout, Shift where a character needs it.
void TypeKeys(const std::wstring& text);
// Waits until top is in front with the focus on focus (or on any of its controls when
// focus is null), as a person waits for a window before typing. Wine then still takes
// the display server's focus event, which resets the modifiers it believes held; a round
// trip through the window's thread and a short pause let that pass before a Shift or an
// Alt goes down.
bool ReadyForKeys(HWND top, HWND focus = nullptr);

// The three programs of the hook scenarios: the viewer, the host and a target window.
struct Scene {
    std::wstring viewerLog, hostLog;
    Process viewer, host, target;
    std::wstring targetExe = L"target.exe";  // a copy under another name is another program
    bool hostTray = false;                   // the host shows its tray icon (and logs it)
    HWND targetWnd = nullptr, targetEdit = nullptr;
    bool Up(bool withHost = true);  // starts all three and focuses the target's edit
    void Down();                    // closes the host (Install(false)), ends all three
    ~Scene() { Down(); }
    std::wstring Text();  // the target edit's text
    void ClearText();
    bool WaitViewerLine(const std::string& line, DWORD ms = 10000);
    bool WaitViewerContains(const std::string& part, DWORD ms = 10000);
    bool WaitText(const std::wstring& text, DWORD ms = 10000);
    // Waits, like a person, until the target has read every key and its text stops
    // changing (a converted key may type several characters; keys typed meanwhile would
    // belong to the playback).
    void Settle(DWORD ms = 5000);
    void Focus();
    // GetKeyState of a key in the target's thread (what typing there depends on).
    SHORT TargetKeyState(WORD vk);
    bool TargetLockOn(WORD vk) { return (TargetKeyState(vk) & 1) != 0; }
    // Taps a lock key until the target's thread has it as asked (each tap waits until the
    // viewer shows the target read its release); false if it never does.
    bool SetTargetLock(WORD vk, bool on);
    // The target's thread key state: 0x01 Shift, 0x02 Ctrl, 0x04 Alt, 0x08 right Alt.
    BYTE TargetModifiers();
    // Presses of a key that reached the target's message loop.
    int TargetPresses(WORD vk);
    // Keeps the target busy until Resume: keys sent meanwhile are all queued before it
    // reads the first, as behind a busy program or under a fast typist.
    bool Pause();
    void Resume();
};

}  // namespace e2e
