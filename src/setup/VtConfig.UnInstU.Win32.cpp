// The uninstall dialog's window: "Vantor32 deinstallieren", laid out in client pixels.
#include <windows.h>

#include "Forms.Win32.h"
#include "VtConfig.UnInstU.h"

namespace vt {

namespace {

const wchar_t kClassName[] = L"TUnInstallForm";
constexpr int kClientWidth = 321, kClientHeight = 287;

struct BoxLayout {
    EnumUnInstOptions member;
    const wchar_t* text;
    int x, y, w, h;
    bool fixed;  // checked and disabled
    bool tabStop;
};

// Positions inside the group box, which sits at 22, 24 and is 285 x 185.
constexpr int kGroupX = 22, kGroupY = 24, kGroupW = 285, kGroupH = 185;
const BoxLayout kBoxes[] = {
    {UNINST_FILES, L"Programmdateien", 16, 24, 185, 17, true, false},
    {UNINST_AUTOSTART, L"Autostart-Eintrag", 16, 48, 185, 17, true, true},
    {UNINST_SETTINGS, L"Programm-Einstellungen", 16, 80, 185, 17, false, true},
    {UNINST_SOUND, L"Sound-Einstellungen", 16, 104, 185, 17, false, true},
    {UNINST_MACROS, L"Macros", 16, 128, 97, 17, false, true},
};
constexpr int kBoxIdBase = 200;

struct FormState {
    TUnInstallForm* form = nullptr;
    HWND boxes[UNINST_COUNT] = {};
    bool done = false;
    bool ok = false;
};

LRESULT CALLBACK FormProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    try {
        auto* st = reinterpret_cast<FormState*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
        switch (msg) {
            case WM_NCCREATE: {
                auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
                SetWindowLongPtrW(wnd, GWLP_USERDATA,
                                  reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
                break;
            }
            case WM_COMMAND:
                if (!st) break;
                if (LOWORD(wParam) == IDOK) {  // OkBtn, or Enter
                    for (const BoxLayout& b : kBoxes)
                        st->form->checked[b.member] =
                            SendMessageW(st->boxes[b.member], BM_GETCHECK, 0, 0) == BST_CHECKED;
                    st->form->OkBtnClick();
                    st->ok = true;
                    st->done = true;
                    return 0;
                }
                if (LOWORD(wParam) == IDCANCEL) {  // Escape closes like the close box
                    st->done = true;
                    return 0;
                }
                break;
            case WM_CLOSE:
                if (st) st->done = true;
                return 0;
            default:
                break;
        }
        return DefWindowProcW(wnd, msg, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

}  // namespace

bool TUnInstallForm::ShowModal() {
    FormState st;
    st.form = this;
    HWND wnd = forms::CreateForm(kClassName, FormProc, L"Vantor32 deinstallieren", kClientWidth,
                                 kClientHeight, &st);
    if (!wnd) return false;
    wnd_ = reinterpret_cast<HWnd>(wnd);

    // Creation order is tab order: the OK button first.
    HWND ok =
        forms::Child(wnd, L"BUTTON", L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 119, 240, 90, 25, IDOK);
    HICON okGlyph = forms::MakeGlyph(forms::Glyph::Ok);
    if (okGlyph) SendMessageW(ok, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(okGlyph));
    for (const BoxLayout& b : kBoxes) {
        HWND box =
            forms::Child(wnd, L"BUTTON", b.text, BS_AUTOCHECKBOX | (b.tabStop ? WS_TABSTOP : 0),
                         kGroupX + b.x, kGroupY + b.y, b.w, b.h, kBoxIdBase + b.member);
        SendMessageW(box, BM_SETCHECK, checked[b.member] ? BST_CHECKED : BST_UNCHECKED, 0);
        if (b.fixed) EnableWindow(box, FALSE);
        st.boxes[b.member] = box;
    }
    // The frame lies below its boxes, so it never paints over them.
    HWND group = forms::Child(wnd, L"BUTTON", L"Was wollen Sie entfernen?", BS_GROUPBOX, kGroupX,
                              kGroupY, kGroupW, kGroupH, 100);
    SetWindowPos(group, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    // The settings of one person are removed: the dialog says whose.
    const std::u16string user = UserText();
    if (!user.empty())
        forms::Child(wnd, L"STATIC", forms::W(user).c_str(), SS_LEFT | SS_NOPREFIX, kGroupX,
                     kGroupY + kGroupH + 6, kGroupW, 17, 101);

    HFONT font = forms::MakeFont(L"MS Sans Serif", -12);
    forms::SetFontAll(wnd, font);

    ShowWindow(wnd, SW_SHOWNORMAL);
    SetForegroundWindow(wnd);
    SetFocus(ok);
    forms::RunModal(
        wnd, [&] { return st.done; }, nullptr);

    DestroyWindow(wnd);
    wnd_ = 0;
    if (font) DeleteObject(font);
    if (okGlyph) DestroyIcon(okGlyph);
    return st.ok;
}

TUnInstOptions AskUninstallOptions(const std::u16string& userName) {
    TUnInstallForm form;
    form.userName = userName;
    return form.ShowModal() ? form.opts : TUnInstOptions{};
}

}  // namespace vt
