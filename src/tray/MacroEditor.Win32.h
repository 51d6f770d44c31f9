// The macro editor's dialogs, the key capture and the import preview. Windows only.
#pragma once

#include <windows.h>

#include <string>

#include "MacroText.h"
#include "Settings.h"

namespace vt {

std::wstring W(const std::u16string& s);
std::u16string U(const std::wstring& s);
std::u16string GetText(HWND wnd);

// "Taste aufzeichnen": waits for one key combination. While it waits, a keyboard hook of
// this thread takes every key before the library's hook (which runs in this process too),
// so that no macro or switch of the library acts on the keys being recorded.
bool CaptureKey(HWND owner, TKeyCapture& capture);

// "Neu…": records a combination, then edits its text. The value name written, or "".
std::u16string NewMacroDialog(HWND owner);
// "Bearbeiten…" of an entry of the table. The value name written, or "".
std::u16string EditMacroDialog(HWND owner, const RMacroEntry& entry);

// Reads the file, shows what it would change, and writes after the person agreed. True
// when it was written.
bool ImportWithPreview(HWND owner, const std::u16string& file);

}  // namespace vt
