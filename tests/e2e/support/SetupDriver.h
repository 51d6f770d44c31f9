// Drives the setup tool under Wine the way a user would: starts VtInst.exe, finds its
// boxes and dialogs by caption and text, clicks them, and looks at the registry.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "E2E.h"

namespace setup {

extern const wchar_t kInfoCaption[];     // caption of the tool's information and error boxes
extern const wchar_t kUninstallTitle[];  // "Vantor32 deinstallieren"
extern const wchar_t kReadKeyTitle[];    // "Taste aufzeichnen"
extern const wchar_t kLayoutKey[];       // HKLM ...\Keyboard Layout
extern const wchar_t kProductKey[];      // Software\Quellmark\Vantor32

// ------------------------------------------------------------------ registry
struct RegValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    bool operator==(const RegValue& o) const { return type == o.type && data == o.data; }
};
std::optional<RegValue> GetValue(HKEY root, const std::wstring& path, const std::wstring& name);
bool PutValue(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type,
              const std::vector<BYTE>& data);
void DeleteValue(HKEY root, const std::wstring& path, const std::wstring& name);
bool KeyExists(HKEY root, const std::wstring& path);
void CreateKey(HKEY root, const std::wstring& path);
void DeleteTree(HKEY root, const std::wstring& path);
std::vector<std::wstring> SubKeys(HKEY root, const std::wstring& path);

// Puts a value (or its absence) back as it was when the guard was made; the key too
// when it did not exist before.
class ValueGuard {
public:
    ValueGuard(HKEY root, std::wstring path, std::wstring name);
    ~ValueGuard();

private:
    HKEY root_;
    std::wstring path_, name_;
    bool keyExisted_;
    std::optional<RegValue> saved_;
};

// Xvfb runs no window manager: while an instance lives, Wine draws the frames and
// captions itself, so that screenshots show them. Put back when it goes.
class UnmanagedWindows {
public:
    UnmanagedWindows();

private:
    ValueGuard managed_{HKEY_CURRENT_USER, L"Software\\Wine\\X11 Driver", L"Managed"};
};

// ------------------------------------------------------------------ the fake host
// A top-level window of class and title "Vantor32" in the test process that records
// the messages posted to it (WM_QUIT included).
class FakeHost {
public:
    FakeHost();
    ~FakeHost();
    HWND wnd() const { return wnd_; }
    std::vector<UINT> received;  // WM_CLOSE, WM_QUIT, in arrival order

private:
    HWND wnd_ = nullptr;
};

// Polls cond every 20 ms, handing this thread's messages to its windows (and posted
// WM_QUITs to the fake host's record), until cond holds or ms have passed.
bool WaitFor(const std::function<bool()>& cond, DWORD ms);

// ------------------------------------------------------------------ windows
// The first visible top-level window of process pid with that class and title.
HWND FindProcessWindow(DWORD pid, const wchar_t* cls, const wchar_t* title);
HWND WaitProcessWindow(DWORD pid, const wchar_t* cls, const wchar_t* title, DWORD ms);
// A child (at any depth) with that class whose text is text; null when none.
HWND FindChild(HWND parent, const wchar_t* cls, const std::wstring& text);
std::wstring ClassOf(HWND wnd);
// The rectangle of a child in the client coordinates of its top-level window.
RECT ClientRectOf(HWND child, HWND top);
// Clicks a button like the mouse does (BM_CLICK), without blocking on a hung window.
bool Click(HWND button);
// Clicks the middle of a window with the injected mouse, as a user's click lands.
void MouseClick(HWND wnd);
// The longest static text of a message box: its message.
std::wstring MessageBoxText(HWND box);
// The window as the screen shows it, saved as a PNG file.
bool SaveScreenshot(HWND wnd, const std::wstring& path);
std::wstring ScreenshotPath(const std::wstring& name);  // in the build tree

// ------------------------------------------------------------------ a run of the tool
struct Run {
    e2e::Process proc;
    std::wstring commandLine;
    DWORD exitCode = 0xFFFFFFFF;
    std::wstring infoText;  // the text of the information box, once confirmed
    std::wstring errFile;   // its standard error output goes here
    bool sawWindow = false;  // a visible window of the tool appeared while waiting

    // Starts VtInst.exe (beside the test program) with args.
    explicit Run(const std::wstring& args);
    ~Run();
    // Waits for the information box, keeps its text and presses OK.
    bool ConfirmInfo(DWORD ms = 30000);
    // Waits for the end, noting in sawWindow whether any window of the tool showed.
    bool WaitExit(DWORD ms = 30000);
    std::string ErrorOutput() const;  // what it wrote to its error output
};

// ------------------------------------------------------------------ keys
// Injects one key event with the layout's scan code.
void SendKey(WORD vk, bool up, bool extended = false);

}  // namespace setup
