// Small helpers for the setup tool's two forms: windows laid out in client pixels,
// fonts, the OK and Cancel glyphs, and a modal loop. Windows only.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace vt::forms {

inline std::wstring W(const std::u16string& s) {
    return std::wstring(s.begin(), s.end());
}

inline HFONT MakeFont(const wchar_t* face, int height) {
    return CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, face);
}

inline BOOL CALLBACK SetFontOne(HWND child, LPARAM font) {
    SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(font), FALSE);
    return TRUE;
}

inline void SetFontAll(HWND wnd, HFONT font) {
    SendMessageW(wnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    EnumChildWindows(wnd, SetFontOne, reinterpret_cast<LPARAM>(font));
}

inline int TextWidth(HWND wnd, HFONT font, const wchar_t* text) {
    HDC dc = GetDC(wnd);
    if (!dc) return 0;
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32W(dc, text, static_cast<int>(wcslen(text)), &size);
    SelectObject(dc, old);
    ReleaseDC(wnd, dc);
    return size.cx;
}

// The window rectangle whose client area is w x h pixels, at x, y; centred on the work
// area when centre is set.
inline RECT FrameFor(int w, int h, DWORD style, DWORD exStyle, bool centre) {
    RECT rc{0, 0, w, h};
    AdjustWindowRectEx(&rc, style, FALSE, exStyle);
    int fw = rc.right - rc.left, fh = rc.bottom - rc.top;
    RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    int x = centre ? work.left + ((work.right - work.left) - fw) / 2 : CW_USEDEFAULT;
    int y = centre ? work.top + ((work.bottom - work.top) - fh) / 2 : CW_USEDEFAULT;
    return RECT{x, y, x + fw, y + fh};
}

// A form's window class, registered once per process.
inline void RegisterFormClass(const wchar_t* className, WNDPROC proc) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    if (GetClassInfoExW(GetModuleHandleW(nullptr), className, &wc)) return;
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = className;
    RegisterClassExW(&wc);
}

// A modal form's top-level window with the given client size, centred on the screen;
// param reaches the form procedure through CREATESTRUCT.
inline HWND CreateForm(const wchar_t* className, WNDPROC proc, const wchar_t* caption,
                       int clientWidth, int clientHeight, void* param) {
    RegisterFormClass(className, proc);
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    const DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT | WS_EX_APPWINDOW;
    RECT frame = FrameFor(clientWidth, clientHeight, style, exStyle, true);
    return CreateWindowExW(exStyle, className, caption, style, frame.left, frame.top,
                           frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                           GetModuleHandleW(nullptr), param);
}

inline HWND Child(HWND parent, const wchar_t* cls, const std::wstring& text, DWORD style, int x,
                  int y, int w, int h, int id) {
    return CreateWindowExW(0, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleW(nullptr), nullptr);
}

enum class Glyph { Ok, Cancel };

// The glyphs of the standard OK and Cancel buttons: a green tick and a red cross,
// drawn anti-aliased into a 16 x 16 icon with an alpha channel.
inline HICON MakeGlyph(Glyph glyph) {
    constexpr int n = 16;
    struct Seg {
        float x1, y1, x2, y2;
    };
    std::vector<Seg> segs;
    BYTE r, g, b;
    if (glyph == Glyph::Ok) {
        segs = {{2.5f, 8.5f, 6.0f, 12.0f}, {6.0f, 12.0f, 13.5f, 4.0f}};
        r = 0, g = 150, b = 0;
    } else {
        segs = {{4.0f, 4.0f, 12.0f, 12.0f}, {12.0f, 4.0f, 4.0f, 12.0f}};
        r = 210, g = 0, b = 0;
    }
    BITMAPV5HEADER bi{};
    bi.bV5Size = sizeof(bi);
    bi.bV5Width = n;
    bi.bV5Height = -n;
    bi.bV5Planes = 1;
    bi.bV5BitCount = 32;
    bi.bV5Compression = BI_BITFIELDS;
    bi.bV5RedMask = 0x00FF0000;
    bi.bV5GreenMask = 0x0000FF00;
    bi.bV5BlueMask = 0x000000FF;
    bi.bV5AlphaMask = 0xFF000000;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HBITMAP color = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS,
                                     &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    if (!color) return nullptr;
    if (!bits) {
        DeleteObject(color);
        return nullptr;
    }
    auto* px = static_cast<DWORD*>(bits);
    const float half = 1.3f;
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            float cx = x + 0.5f, cy = y + 0.5f, d = 1e9f;
            for (const Seg& s : segs) {
                float vx = s.x2 - s.x1, vy = s.y2 - s.y1;
                float t = ((cx - s.x1) * vx + (cy - s.y1) * vy) / (vx * vx + vy * vy);
                t = std::clamp(t, 0.0f, 1.0f);
                float dx = cx - (s.x1 + t * vx), dy = cy - (s.y1 + t * vy);
                d = std::min(d, std::sqrt(dx * dx + dy * dy));
            }
            float a = std::clamp(half + 0.5f - d, 0.0f, 1.0f);
            auto A = static_cast<DWORD>(a * 255.0f + 0.5f);
            // premultiplied, as the alpha blend of an icon wants it
            px[y * n + x] = (A << 24) | (static_cast<DWORD>(r * a) << 16) |
                            (static_cast<DWORD>(g * a) << 8) | static_cast<DWORD>(b * a);
        }
    }
    HBITMAP mask = CreateBitmap(n, n, 1, 1, nullptr);
    ICONINFO ii{TRUE, 0, 0, mask, color};
    HICON icon = CreateIconIndirect(&ii);
    DeleteObject(mask);
    DeleteObject(color);
    return icon;
}

// Runs the modal loop of wnd until done() holds. preview sees every message first and
// returns true for those it has handled. A WM_QUIT ends the loop and is posted again
// for the caller's own loop.
inline void RunModal(HWND wnd, const std::function<bool()>& done,
                     const std::function<bool(const MSG&)>& preview) {
    MSG msg;
    while (!done()) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got == -1) break;
        if (preview && preview(msg)) continue;
        if (IsDialogMessageW(wnd, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

inline bool BelongsTo(HWND form, HWND wnd) {
    return wnd == form || IsChild(form, wnd);
}

}  // namespace vt::forms
