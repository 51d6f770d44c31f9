// The macro editor: the key capture, the dialog of one macro, the import preview.
#include "MacroEditor.Win32.h"

#include <optional>
#include <vector>

#include "MacroText.h"
#include "RegFile.h"
#include "Settings.Resource.h"
#include "common/DebugWindowInterface.h"
#include "common/KeyCombination.h"
#include "common/Vantor.Utils.h"

namespace vt {

namespace {

HINSTANCE Instance() {
    return GetModuleHandleW(nullptr);
}

constexpr UINT WM_CAPTURED = WM_APP + 17;

// ---------------------------------------------------------------- key capture
struct RCaptureRun {
    TKeyCapture* capture = nullptr;
    HWND dlg = nullptr;
    HHOOK hook = nullptr;
};
thread_local RCaptureRun* tCapture = nullptr;

// A hook of this thread runs before the global one; by not passing the key on, it keeps
// it from the library (no macro types into the dialog) and from the dialog itself.
LRESULT CALLBACK CaptureHookProc(int code, WPARAM wParam, LPARAM lParam) noexcept {
    RCaptureRun* run = tCapture;
    if (code < 0 || !run) return CallNextHookEx(nullptr, code, wParam, lParam);
    try {
        if (code == HC_ACTION && !run->capture->Done()) {
            if (run->capture->Feed(static_cast<std::uint16_t>(wParam & 0xFFFF),
                                   static_cast<std::uint32_t>(lParam)))
                PostMessageW(run->dlg, WM_CAPTURED, 0, 0);
        }
    } catch (...) {
    }
    return 1;
}

INT_PTR CALLBACK CaptureProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM) noexcept {
    switch (msg) {
        case WM_INITDIALOG:
            if (tCapture) tCapture->dlg = dlg;
            return TRUE;
        case WM_CAPTURED:
            EndDialog(dlg, tCapture && !tCapture->capture->Cancelled() ? IDOK : IDCANCEL);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL) EndDialog(dlg, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
    }
}

std::uint8_t HeldModifiers() {
    std::uint8_t mods = 0;
    if (GetKeyState(VK_SHIFT) < 0) mods |= MOD_SHIFT;
    if (GetKeyState(VK_CONTROL) < 0) mods |= MOD_CTRL;
    if (GetKeyState(VK_LMENU) < 0) mods |= MOD_ALT;
    if (GetKeyState(VK_RMENU) < 0) mods |= MOD_ALTGR;
    if (GetKeyState(VK_LWIN) < 0) mods |= MOD_LWIN;
    if (GetKeyState(VK_RWIN) < 0) mods |= MOD_RWIN;
    return mods;
}

// ---------------------------------------------------------------- one macro
struct RMacroEdit {
    std::optional<std::uint32_t> key;
    std::u16string originalName;  // "" for a new macro
    std::u16string stored;
    std::u16string written;  // the value name written on OK
};

void ShowCombination(HWND dlg, const RMacroEdit& edit) {
    SetDlgItemTextW(dlg, IDC_COMBINATION,
                    edit.key ? W(CombinationWords(*edit.key)).c_str() : L"(noch keine)");
}

void UpdatePreview(HWND dlg) {
    const std::u16string text = GetText(GetDlgItem(dlg, IDC_TEXT));
    const std::u16string problem = CheckMacroText(text);
    SetDlgItemTextW(dlg, IDC_PREVIEW, W(problem.empty() ? MacroPreview(text) : u"").c_str());
    SetDlgItemTextW(dlg, IDC_KIND,
                    W(problem.empty() ? u"Art: " + MacroKind(text) : u"⚠ " + problem).c_str());
}

bool Record(HWND dlg, RMacroEdit& edit) {
    TKeyCapture capture(HeldModifiers());
    if (!CaptureKey(dlg, capture)) return false;
    edit.key = capture.Combination();
    ShowCombination(dlg, edit);
    return true;
}

bool Save(HWND dlg, RMacroEdit& edit) {
    if (!edit.key) {
        MessageBoxW(dlg, L"Bitte zuerst die Tastenkombination aufnehmen.", L"Makro",
                    MB_OK | MB_ICONINFORMATION);
        SetFocus(GetDlgItem(dlg, IDC_RECORD));
        return false;
    }
    const std::u16string text = GetText(GetDlgItem(dlg, IDC_TEXT));
    const std::u16string problem = CheckMacroText(text);
    if (!problem.empty()) {
        MessageBoxW(dlg, W(u"Dieses Makro kann Vantor nicht so schreiben:\n\n" + problem).c_str(),
                    L"Makro", MB_OK | MB_ICONWARNING);
        SetFocus(GetDlgItem(dlg, IDC_TEXT));
        return false;
    }
    const RMacroSave plan = PlanMacroSave(edit.originalName, *edit.key, text, edit.stored);
    if (!plan.write) {
        edit.written = plan.name;
        return true;
    }
    if (!plan.sameMacro && MacroExists(kMacroTableAltGr, *edit.key)) {
        std::u16string current;
        for (const auto& e : ReadMacroTable(kMacroTableAltGr))
            if (ParseMacroValueName(e.name) == edit.key) current = EntryContent(e);
        const std::u16string question = u"Für " + CombinationWords(*edit.key) +
                                        u" gibt es schon ein Makro:\n\n" + current +
                                        u"\n\nErsetzen?";
        if (MessageBoxW(dlg, W(question).c_str(), L"Makro ersetzen",
                        MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
            return false;
    }
    if (!WriteMacro(kMacroTableAltGr, *edit.key, text)) {
        MessageBoxW(dlg, L"Das Makro ließ sich nicht speichern.", L"Makro", MB_OK | MB_ICONERROR);
        return false;
    }
    // A combination changed while editing moves the macro.
    if (plan.deleteOriginal) DeleteMacroValue(kMacroTableAltGr, edit.originalName);
    edit.written = plan.name;
    return true;
}

INT_PTR CALLBACK MacroProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    try {
        auto* edit = reinterpret_cast<RMacroEdit*>(GetWindowLongPtrW(dlg, DWLP_USER));
        switch (msg) {
            case WM_INITDIALOG:
                SetWindowLongPtrW(dlg, DWLP_USER, lParam);
                edit = reinterpret_cast<RMacroEdit*>(lParam);
                SetWindowTextW(dlg,
                               edit->originalName.empty() ? L"Neues Makro" : L"Makro bearbeiten");
                ShowCombination(dlg, *edit);
                SetDlgItemTextW(dlg, IDC_TEXT, W(edit->stored).c_str());
                UpdatePreview(dlg);
                SetFocus(GetDlgItem(dlg, IDC_TEXT));
                return FALSE;
            case WM_COMMAND:
                if (!edit) return FALSE;
                switch (LOWORD(wParam)) {
                    case IDC_TEXT:
                        if (HIWORD(wParam) == EN_CHANGE) UpdatePreview(dlg);
                        return TRUE;
                    case IDC_RECORD:
                        Record(dlg, *edit);
                        SetFocus(GetDlgItem(dlg, IDC_TEXT));
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
        DebugLog(u"Makro: %s", ToU16(e.what()));
        return FALSE;
    } catch (...) {
        return FALSE;
    }
}

std::u16string RunMacroDialog(HWND owner, RMacroEdit& edit) {
    const INT_PTR result = DialogBoxParamW(Instance(), MAKEINTRESOURCEW(IDD_MACRO_EDIT), owner,
                                           MacroProc, reinterpret_cast<LPARAM>(&edit));
    return result == IDOK ? edit.written : std::u16string();
}

// ---------------------------------------------------------------- import preview
struct RImportView {
    std::u16string file;
    std::vector<std::u16string> lines;
};

INT_PTR CALLBACK ImportProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    try {
        switch (msg) {
            case WM_INITDIALOG: {
                const auto* view = reinterpret_cast<const RImportView*>(lParam);
                SetDlgItemTextW(
                    dlg, IDC_CHANGES_LABEL,
                    W(u"„" + view->file + u"“ ändert " + ToU16(std::to_string(view->lines.size())) +
                      (view->lines.size() == 1 ? u" Eintrag:" : u" Einträge:"))
                        .c_str());
                HWND list = GetDlgItem(dlg, IDC_CHANGES);
                int widest = 0;
                HDC dc = GetDC(list);
                HGDIOBJ old = SelectObject(
                    dc, reinterpret_cast<HGDIOBJ>(SendMessageW(list, WM_GETFONT, 0, 0)));
                for (const auto& line : view->lines) {
                    const std::wstring w = W(line);
                    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(w.c_str()));
                    SIZE size{};
                    GetTextExtentPoint32W(dc, w.c_str(), static_cast<int>(w.size()), &size);
                    if (size.cx > widest) widest = size.cx;
                }
                SelectObject(dc, old);
                ReleaseDC(list, dc);
                SendMessageW(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest + 8), 0);
                SendMessageW(list, LB_SETCURSEL, 0, 0);
                SetForegroundWindow(dlg);
                return TRUE;
            }
            case WM_COMMAND:
                if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                    EndDialog(dlg, LOWORD(wParam));
                    return TRUE;
                }
                return FALSE;
            default:
                return FALSE;
        }
    } catch (...) {
        return FALSE;
    }
}

}  // namespace

bool CaptureKey(HWND owner, TKeyCapture& capture) {
    RCaptureRun run;
    run.capture = &capture;
    RCaptureRun* outer = tCapture;
    tCapture = &run;
    run.hook = SetWindowsHookExW(WH_KEYBOARD, CaptureHookProc, nullptr, GetCurrentThreadId());
    if (!run.hook)
        DebugLog(u"Taste aufzeichnen: kein Tastatur-Hook (%d)", static_cast<int>(GetLastError()));
    INT_PTR result = IDCANCEL;
    if (run.hook)
        result = DialogBoxParamW(Instance(), MAKEINTRESOURCEW(IDD_CAPTURE), owner, CaptureProc, 0);
    if (run.hook) UnhookWindowsHookEx(run.hook);
    tCapture = outer;
    return result == IDOK && capture.Done() && !capture.Cancelled();
}

std::u16string NewMacroDialog(HWND owner) {
    RMacroEdit edit;
    TKeyCapture capture(HeldModifiers());
    if (!CaptureKey(owner, capture)) return std::u16string();
    edit.key = capture.Combination();
    return RunMacroDialog(owner, edit);
}

std::u16string EditMacroDialog(HWND owner, const RMacroEntry& entry) {
    RMacroEdit edit;
    edit.key = entry.key;
    edit.originalName = entry.name;
    edit.stored = entry.stored;
    return RunMacroDialog(owner, edit);
}

bool ImportWithPreview(HWND owner, const std::u16string& file) {
    std::vector<RRegKey> keys;
    std::vector<RImportChange> changes;
    std::u16string error;
    if (!LoadImportFile(file, keys, changes, error)) {
        MessageBoxW(owner, W(error).c_str(), L"Einstellungen importieren", MB_OK | MB_ICONERROR);
        return false;
    }
    if (changes.empty()) {
        MessageBoxW(owner, W(u"„" + file + u"“ ändert nichts: alles steht schon so da.").c_str(),
                    L"Einstellungen importieren", MB_OK | MB_ICONINFORMATION);
        return false;
    }
    RImportView view{file, {}};
    for (const auto& c : changes) view.lines.push_back(DescribeChange(c));
    if (DialogBoxParamW(Instance(), MAKEINTRESOURCEW(IDD_IMPORT), owner, ImportProc,
                        reinterpret_cast<LPARAM>(&view)) != IDOK)
        return false;
    if (!ApplyImport(keys, error)) {
        MessageBoxW(owner, W(error).c_str(), L"Einstellungen importieren", MB_OK | MB_ICONERROR);
        return false;
    }
    return true;
}

}  // namespace vt
