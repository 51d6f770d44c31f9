// The read-key dialog's window: "Taste aufzeichnen", centred, laid out in client pixels.
#include <windows.h>

#include "Forms.Win32.h"
#include "VtConfig.ReadKey.h"

namespace vt {

namespace {

const wchar_t kClassName[] = L"TFrmReadKey";
constexpr int kClientWidth = 457, kClientHeight = 130;

LRESULT CALLBACK FormProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    try {
        auto* form = reinterpret_cast<TFrmReadKey*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
        switch (msg) {
            case WM_NCCREATE: {
                auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
                SetWindowLongPtrW(wnd, GWLP_USERDATA,
                                  reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
                break;
            }
            case WM_COMMAND:
                if (form && LOWORD(wParam) == IDCANCEL) {
                    form->PngBitBtn1Click();
                    return 0;
                }
                break;
            case WM_CLOSE:
                if (form) form->modalResult = mrCancel;
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

TModalResult TFrmReadKey::ShowModal() {
    HWND wnd = forms::CreateForm(kClassName, FormProc, L"Taste aufzeichnen", kClientWidth,
                                 kClientHeight, this);
    if (!wnd) return mrCancel;
    wnd_ = reinterpret_cast<HWnd>(wnd);

    // The Cancel button is first in tab order.
    HWND cancel = forms::Child(wnd, L"BUTTON", L"Abbrechen", BS_PUSHBUTTON | WS_TABSTOP, 144, 72,
                               153, 42, IDCANCEL);
    HICON glyph = forms::MakeGlyph(forms::Glyph::Cancel);
    if (glyph) SendMessageW(cancel, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(glyph));
    const wchar_t* prompt = L"Drücken Sie die gewünschte Tastenkombination";
    HWND label =
        forms::Child(wnd, L"STATIC", prompt, SS_LEFTNOWORDWRAP | SS_NOPREFIX, 64, 32, 338, 19, 101);
    HFONT font = forms::MakeFont(L"Tahoma", -16);
    forms::SetFontAll(wnd, font);
    // The label sizes itself to its text, one line: a substitute font that runs a little
    // wider must not cut the prompt off.
    int textWidth = forms::TextWidth(label, font, prompt);
    if (textWidth > 338)
        SetWindowPos(label, nullptr, 0, 0, textWidth, 19, SWP_NOMOVE | SWP_NOZORDER);

    FormShow();
    ShowWindow(wnd, SW_SHOWNORMAL);
    SetForegroundWindow(wnd);
    SetFocus(cancel);

    // Key preview: the form sees the keys before its button. Key presses never reach
    // the button, so any key can be recorded at its release; Escape is the Cancel
    // button's key.
    forms::RunModal(
        wnd, [this] { return modalResult != mrNone; },
        [this, wnd](const MSG& m) {
            if (!keyPreview || !forms::BelongsTo(wnd, m.hwnd)) return false;
            switch (m.message) {
                case WM_KEYDOWN:
                case WM_SYSKEYDOWN:
                    if (m.wParam == VK_ESCAPE) PngBitBtn1Click();
                    return true;
                case WM_CHAR:
                case WM_SYSCHAR:
                case WM_DEADCHAR:
                case WM_SYSDEADCHAR:
                    return true;
                case WM_KEYUP:
                case WM_SYSKEYUP:
                    FormKeyUp(static_cast<std::uint16_t>(m.wParam & 0xFFFF));
                    return true;
                default:
                    return false;
            }
        });

    DestroyWindow(wnd);
    wnd_ = 0;
    if (font) DeleteObject(font);
    if (glyph) DestroyIcon(glyph);
    if (modalResult != mrOk) vkResult = 0;
    return modalResult;
}

}  // namespace vt
