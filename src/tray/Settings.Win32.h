// The settings window of the tray program and the configuration commands of its command
// line. Windows only; the logic is in Settings, MacroText and RegFile.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

namespace vt {

// Sounds an event (1..8) the way the tray program does: through the library's PlaySound,
// off the window's thread.
using SoundPlayer = std::function<void(std::uint8_t event)>;

// Shows the settings window and returns when it is closed (the caller's windows keep
// getting their messages meanwhile). A second call while it is open brings it to the
// front and returns at once. A WM_QUIT that arrives meanwhile closes it and is posted again.
void ShowSettingsWindow(HWND owner, SoundPlayer playSound) noexcept;
bool SettingsWindowOpen() noexcept;
// A switch changed somewhere else (the hot-key, a macro, another program): the page
// "Allgemein" shows it. Text being typed there is left alone.
void RefreshSettingsWindow() noexcept;

// "/export FILE" and "/import FILE [/S]" of the command line (argv without the program):
// the exit code, or -1 when the command line holds neither. An error is reported in one
// German line on the standard error output (or the console the program was started from;
// without either and without /S, in a message box).
int RunConfigCommandLine(int argc, wchar_t** argv) noexcept;

}  // namespace vt
