// The dialog of one abbreviation: its name, its text with the same check and preview as a
// macro's, and a key stroke inserted by pressing it.
#include "AbbrevEditor.Win32.h"

#include "MacroEditor.Win32.h"
#include "MacroText.h"
#include "Settings.Abbrev.h"
#include "Settings.Resource.h"
#include "common/DebugWindowInterface.h"

namespace vt {

namespace {

struct RAbbrevEdit {
    std::u16string originalName;  // "" for a new one
    std::u16string stored;
    std::u16string written;
};

std::uint8_t HeldModifiers() {
    std::uint8_t mods = 0;
    if (GetKeyState(VK_SHIFT) < 0) mods |= MOD_SHIFT;
    if (GetKeyState(VK_CONTROL) < 0) mods |= MOD_CTRL;
    if (GetKeyState(VK_LMENU) < 0) mods |= MOD_ALT;
    if (GetKeyState(VK_RMENU) < 0) mods |= MOD_ALTGR;
    return mods;
}

void UpdatePreview(HWND dlg) {
    const std::u16string text = GetText(GetDlgItem(dlg, IDC_TEXT));
    const std::u16string problem = CheckMacroText(text);
    SetDlgItemTextW(dlg, IDC_PREVIEW, W(problem.empty() ? MacroPreview(text) : u"").c_str());
    SetDlgItemTextW(dlg, IDC_KIND,
                    W(problem.empty() ? u"Art: " + MacroKind(text) : u"⚠ " + problem).c_str());
}

bool Save(HWND dlg, RAbbrevEdit& edit) {
    const std::u16string name = GetText(GetDlgItem(dlg, IDC_ABBREV_NAME));
    const std::u16string text = GetText(GetDlgItem(dlg, IDC_TEXT));
    const std::u16string problem = SaveAbbrev(edit.originalName, name, text, edit.stored);
    if (!problem.empty()) {
        MessageBoxW(dlg, W(problem).c_str(), L"Kürzel", MB_OK | MB_ICONWARNING);
        const bool nameFault = !CheckAbbrevName(name, edit.originalName).empty();
        SetFocus(GetDlgItem(dlg, nameFault ? IDC_ABBREV_NAME : IDC_TEXT));
        return false;
    }
    edit.written = name;
    return true;
}

INT_PTR CALLBACK AbbrevProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    try {
        auto* edit = reinterpret_cast<RAbbrevEdit*>(GetWindowLongPtrW(dlg, DWLP_USER));
        switch (msg) {
            case WM_INITDIALOG:
                SetWindowLongPtrW(dlg, DWLP_USER, lParam);
                edit = reinterpret_cast<RAbbrevEdit*>(lParam);
                SetWindowTextW(dlg,
                               edit->originalName.empty() ? L"Neues Kürzel" : L"Kürzel bearbeiten");
                SetDlgItemTextW(dlg, IDC_ABBREV_NAME, W(edit->originalName).c_str());
                SendDlgItemMessageW(dlg, IDC_ABBREV_NAME, EM_LIMITTEXT, 64, 0);
                SetDlgItemTextW(dlg, IDC_TEXT, W(edit->stored).c_str());
                UpdatePreview(dlg);
                SetFocus(GetDlgItem(dlg, edit->originalName.empty() ? IDC_ABBREV_NAME : IDC_TEXT));
                return FALSE;
            case WM_COMMAND:
                if (!edit) return FALSE;
                switch (LOWORD(wParam)) {
                    case IDC_TEXT:
                        if (HIWORD(wParam) == EN_CHANGE) UpdatePreview(dlg);
                        return TRUE;
                    case IDC_INSERT_KEY: {
                        TKeyCapture capture(HeldModifiers());
                        HWND text = GetDlgItem(dlg, IDC_TEXT);
                        if (CaptureKey(dlg, capture)) {
                            const std::wstring stroke =
                                W(KeyStrokeText(capture.Key(), capture.Modifiers()));
                            SendMessageW(text, EM_REPLACESEL, TRUE,
                                         reinterpret_cast<LPARAM>(stroke.c_str()));
                        }
                        SetFocus(text);
                        return TRUE;
                    }
                    case IDOK:
                        if (Save(dlg, *edit)) EndDialog(dlg, IDOK);
                        return TRUE;
                    case IDCANCEL:
                        EndDialog(dlg, IDCANCEL);
                        return TRUE;
                    default:
                        return FALSE;
                }
            default:
                return FALSE;
        }
    } catch (const std::exception& e) {
        DebugLog(u"Kürzel: %s", ToU16(e.what()));
        return FALSE;
    } catch (...) {
        return FALSE;
    }
}

}  // namespace

std::u16string AbbrevDialog(HWND owner, const RMacroEntry* entry) {
    RAbbrevEdit edit;
    if (entry) {
        edit.originalName = entry->name;
        edit.stored = entry->stored;
    }
    const INT_PTR result =
        DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABBREV_EDIT), owner,
                        AbbrevProc, reinterpret_cast<LPARAM>(&edit));
    return result == IDOK ? edit.written : std::u16string();
}

}  // namespace vt
