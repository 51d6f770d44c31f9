// The viewer's window for people: the lines with the time each arrived, following the
// newest; "Anhalten", "Leeren", "Speichern…", "Kopieren" and a search box. The window the
// library looks for stays the hidden one of the viewer contract; this one only shows.
#pragma once

#include <windows.h>

#include <string>

namespace viewer {

// Creates and shows the window; closing it ends the message loop (WM_QUIT).
bool CreateViewerWindow(HINSTANCE instance);
// A line as it arrived (called while the writer waits: only stores it and updates the list).
void AddViewerLine(const std::wstring& line);
// Keyboard of the window (Tab, mnemonics, Escape, Ctrl+C); true when msg was handled.
bool ViewerDialogMessage(MSG& msg);

}  // namespace viewer
