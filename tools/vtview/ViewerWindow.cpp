#include "ViewerWindow.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <string>

#include "ViewerLines.h"

namespace viewer {

namespace {

constexpr int IDC_PAUSE = 101, IDC_CLEAR = 102, IDC_SAVE = 103, IDC_COPY = 104,
              IDC_SEARCH_LABEL = 105, IDC_SEARCH = 106, IDC_LINES = 107;
// Lines kept: enough for a long session, bounded so that a chatty hook cannot fill memory.
constexpr std::size_t kMaxLines = 200000;

struct RViewer {
    HWND wnd = nullptr, list = nullptr, search = nullptr, pause = nullptr;
    HFONT font = nullptr;
    TViewerLines lines{kMaxLines};
    bool paused = false;
};

RViewer g;

int Rows() {
    return static_cast<int>(g.lines.Rows());
}

// The list after its rows were made anew (search, "Fortsetzen", "Leeren"): the newest in view.
void ShowAllRows() {
    ListView_SetItemCountEx(g.list, Rows(), 0);
    if (Rows() > 0) ListView_EnsureVisible(g.list, Rows() - 1, FALSE);
    InvalidateRect(g.list, nullptr, TRUE);
}

std::wstring SelectedText(bool all) {
    std::wstring text;
    int row = -1;
    for (;;) {
        row = all ? row + 1 : ListView_GetNextItem(g.list, row, LVNI_SELECTED);
        if (row < 0 || row >= Rows()) break;
        const RLine& l = g.lines.Row(static_cast<std::size_t>(row));
        text += l.time + L"\t" + l.text + L"\r\n";
    }
    return text;
}

void Copy() {
    const std::wstring text = SelectedText(false);
    if (text.empty() || !OpenClipboard(g.wnd)) return;
    EmptyClipboard();
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    if (HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        if (void* p = GlobalLock(mem)) {
            memcpy(p, text.c_str(), bytes);
            GlobalUnlock(mem);
            if (!SetClipboardData(CF_UNICODETEXT, mem)) GlobalFree(mem);
        } else {
            GlobalFree(mem);
        }
    }
    CloseClipboard();
}

void Save() {
    wchar_t file[MAX_PATH] = L"Vantor32-Diagnose.txt";
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = g.wnd;
    ofn.lpstrFilter = L"Textdateien (*.txt)\0*.txt\0Alle Dateien (*.*)\0*.*\0";
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrDefExt = L"txt";
    ofn.lpstrTitle = L"Diagnose speichern";
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT | OFN_NOCHANGEDIR;
    if (!GetSaveFileNameW(&ofn)) return;
    const std::wstring text = SelectedText(true);  // the lines shown, search applied
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), n,
                        nullptr, nullptr);
    HANDLE f = CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    const bool ok = f != INVALID_HANDLE_VALUE &&
                    WriteFile(f, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr) &&
                    written == utf8.size();
    if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
    if (!ok)
        MessageBoxW(g.wnd, (L"„" + std::wstring(file) + L"“ ließ sich nicht schreiben.").c_str(),
                    L"Diagnose speichern", MB_OK | MB_ICONERROR);
}

void Layout() {
    RECT rc;
    GetClientRect(g.wnd, &rc);
    // positions in pixels at 96 dpi, scaled to the display's
    const HDC dc = GetDC(g.wnd);
    const int scale = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc) ReleaseDC(g.wnd, dc);
    auto px = [scale](int v) { return MulDiv(v, scale, 96); };
    const int h = px(26), y = px(6), w = px(90), gap = px(6);
    int x = px(6);
    for (int id : {IDC_PAUSE, IDC_CLEAR, IDC_SAVE, IDC_COPY}) {
        MoveWindow(GetDlgItem(g.wnd, id), x, y, w, h, TRUE);
        x += w + gap;
    }
    MoveWindow(GetDlgItem(g.wnd, IDC_SEARCH_LABEL), x + gap, y + px(5), px(50), px(18), TRUE);
    x += gap + px(52);
    MoveWindow(g.search, x, y + px(1), std::max<int>(px(80), rc.right - x - px(6)), px(24), TRUE);
    const int top = y + h + px(6);
    MoveWindow(g.list, 0, top, rc.right, std::max<int>(0, static_cast<int>(rc.bottom) - top), TRUE);
    ListView_SetColumnWidth(g.list, 1, LVSCW_AUTOSIZE_USEHEADER);
}

HWND Child(const wchar_t* cls, const wchar_t* text, DWORD style, int id, DWORD exStyle = 0) {
    HWND c = CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, g.wnd,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             GetModuleHandleW(nullptr), nullptr);
    SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(g.font), FALSE);
    return c;
}

void Create() {
    NONCLIENTMETRICSW ncm{};
    ncm.cbSize = sizeof(ncm);
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0))
        g.font = CreateFontIndirectW(&ncm.lfMessageFont);
    g.pause = Child(L"BUTTON", L"&Anhalten", BS_PUSHBUTTON | WS_TABSTOP, IDC_PAUSE);
    Child(L"BUTTON", L"&Leeren", BS_PUSHBUTTON | WS_TABSTOP, IDC_CLEAR);
    Child(L"BUTTON", L"&Speichern…", BS_PUSHBUTTON | WS_TABSTOP, IDC_SAVE);
    Child(L"BUTTON", L"&Kopieren", BS_PUSHBUTTON | WS_TABSTOP, IDC_COPY);
    Child(L"STATIC", L"S&uchen:", SS_LEFT, IDC_SEARCH_LABEL);
    g.search = Child(L"EDIT", L"", ES_AUTOHSCROLL | WS_TABSTOP | WS_BORDER, IDC_SEARCH);
    g.list =
        Child(WC_LISTVIEWW, L"",
              LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS | WS_TABSTOP | WS_BORDER, IDC_LINES);
    ListView_SetExtendedListViewStyle(g.list, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    LVCOLUMNW c{};
    c.mask = LVCF_TEXT | LVCF_WIDTH;
    c.pszText = const_cast<wchar_t*>(L"Zeit");
    const HDC dc = GetDC(g.wnd);
    c.cx = MulDiv(100, dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96, 96);
    if (dc) ReleaseDC(g.wnd, dc);
    ListView_InsertColumn(g.list, 0, &c);
    c.pszText = const_cast<wchar_t*>(L"Zeile");
    c.cx = 600;
    ListView_InsertColumn(g.list, 1, &c);
    Layout();
}

LRESULT CALLBACK WindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    try {
        switch (msg) {
            case WM_CREATE:
                g.wnd = wnd;
                Create();
                return 0;
            case WM_SIZE:
                if (g.list) Layout();
                return 0;
            case WM_COMMAND:
                switch (LOWORD(wParam)) {
                    case IDC_PAUSE:
                        g.paused = !g.paused;
                        SetWindowTextW(g.pause, g.paused ? L"&Fortsetzen" : L"&Anhalten");
                        if (!g.paused) {
                            g.lines.Refill();
                            ShowAllRows();
                        }
                        return 0;
                    case IDC_CLEAR:
                        g.lines.Clear();
                        ShowAllRows();
                        return 0;
                    case IDC_SAVE:
                        Save();
                        return 0;
                    case IDC_COPY:
                        Copy();
                        return 0;
                    case IDC_SEARCH:
                        if (HIWORD(wParam) == EN_CHANGE) {
                            const int n = GetWindowTextLengthW(g.search);
                            std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
                            text.resize(static_cast<std::size_t>(
                                GetWindowTextW(g.search, text.data(), n + 1)));
                            g.lines.SetFilter(text);
                            ShowAllRows();
                        }
                        return 0;
                    case IDCANCEL:
                        DestroyWindow(wnd);
                        return 0;
                    default:
                        return 0;
                }
            case WM_NOTIFY: {
                auto* hdr = reinterpret_cast<NMHDR*>(lParam);
                if (hdr->idFrom == IDC_LINES && hdr->code == LVN_GETDISPINFOW) {
                    auto* info = reinterpret_cast<NMLVDISPINFOW*>(lParam);
                    const auto row = static_cast<std::size_t>(info->item.iItem);
                    if ((info->item.mask & LVIF_TEXT) && row < g.lines.Rows()) {
                        const RLine& l = g.lines.Row(row);
                        std::wstring s = info->item.iSubItem == 0 ? l.time : l.text;
                        // The fields of a line are tab-separated; a list shows no tabs.
                        for (std::size_t p = 0; (p = s.find(L'\t', p)) != std::wstring::npos;)
                            s.replace(p, 1, L"    ");
                        lstrcpynW(info->item.pszText, s.c_str(), info->item.cchTextMax);
                    }
                }
                return 0;
            }
            case WM_DESTROY:
                if (g.font) DeleteObject(g.font);
                PostQuitMessage(0);
                return 0;
            default:
                return DefWindowProcW(wnd, msg, wParam, lParam);
        }
    } catch (...) {
        return 0;
    }
}

}  // namespace

bool CreateViewerWindow(HINSTANCE instance) {
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    WNDCLASSW wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"VtViewerWindow";
    RegisterClassW(&wc);
    HWND wnd = CreateWindowExW(WS_EX_CONTROLPARENT, L"VtViewerWindow", L"Vantor32 – Diagnose",
                               WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 900, 600, nullptr,
                               nullptr, instance, nullptr);
    if (!wnd) return false;
    ShowWindow(wnd, SW_SHOWNORMAL);
    SetFocus(g.list);
    return true;
}

void AddViewerLine(const std::wstring& text) {
    if (!g.wnd) return;
    SYSTEMTIME t;
    GetLocalTime(&t);
    wchar_t time[16];
    swprintf(time, 16, L"%02u:%02u:%02u.%03u", t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
    // Follows the newest line unless the person selected one to read or scrolled up to
    // one (a list too small to show a row yet still follows).
    const int before = Rows(), page = ListView_GetCountPerPage(g.list);
    const bool follow = ListView_GetSelectedCount(g.list) == 0 &&
                        (page <= 0 || ListView_GetTopIndex(g.list) + page >= before);
    const TViewerLines::RAdded added = g.lines.Add(RLine{time, text}, g.paused);
    // The oldest line made room: its row goes, and the selection moves up with the rest,
    // a step that costs the same however many lines are kept.
    if (added.firstRowGone) ListView_DeleteItem(g.list, 0);
    if (!added.rowAdded) return;
    ListView_SetItemCountEx(g.list, Rows(), LVSICF_NOSCROLL);
    if (follow) ListView_EnsureVisible(g.list, Rows() - 1, FALSE);
}

bool ViewerDialogMessage(MSG& msg) {
    if (!g.wnd || (msg.hwnd != g.wnd && !IsChild(g.wnd, msg.hwnd))) return false;
    // The search box by its label's letter or Ctrl+F (a label in a plain window does not
    // pass its mnemonic on by itself).
    if ((msg.message == WM_SYSKEYDOWN && msg.wParam == 'U') ||
        (msg.message == WM_KEYDOWN && msg.wParam == 'F' && GetKeyState(VK_CONTROL) < 0)) {
        SetFocus(g.search);
        SendMessageW(g.search, EM_SETSEL, 0, -1);
        return true;
    }
    if (msg.message == WM_KEYDOWN) {
        const bool ctrl = GetKeyState(VK_CONTROL) < 0;
        if (ctrl && msg.wParam == 'C' && msg.hwnd == g.list) {
            Copy();
            return true;
        }
        if (ctrl && msg.wParam == 'A' && msg.hwnd == g.list) {
            ListView_SetItemState(g.list, -1, LVIS_SELECTED, LVIS_SELECTED);
            return true;
        }
        if (msg.wParam == VK_ESCAPE) {
            DestroyWindow(g.wnd);
            return true;
        }
    }
    return IsDialogMessageW(g.wnd, &msg) != FALSE;
}

}  // namespace viewer
