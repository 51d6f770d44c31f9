// target: a window with a multi-line edit control that receives the typed keys in the
// end-to-end tests. WM_APP+1 makes it take the foreground and focus its edit; WM_APP+2
// answers GetKeyState of the key in wParam; WM_APP+3 keeps it busy until the event
// "VtTargetGo" is set (it sets "VtTargetBusy" first), so that keys sent meanwhile queue
// up before it reads any; WM_APP+4 answers how many presses of the key wParam reached it;
// WM_APP+5 answers whether key messages still wait in its queue; WM_APP+6 makes it stall
// for lParam ms when it next reads a press of the key wParam (a program busy with one key);
// WM_APP+7 gives it a menu bar, with which a lone Alt press and release opens the menu.
#include <windows.h>

namespace {
HWND gEdit = nullptr;
int gPresses[256] = {};
WPARAM gStallKey = 0;
DWORD gStallMs = 0;

void WaitUntilGo() {
    HANDLE busy = OpenEventW(EVENT_MODIFY_STATE, FALSE, L"VtTargetBusy");
    HANDLE go = OpenEventW(SYNCHRONIZE, FALSE, L"VtTargetGo");
    if (busy) SetEvent(busy);
    if (go) WaitForSingleObject(go, 10000);
    if (go) CloseHandle(go);
    if (busy) CloseHandle(busy);
}

LRESULT CALLBACK TargetProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_SIZE:
            if (gEdit) MoveWindow(gEdit, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
            return 0;
        case WM_SETFOCUS:
            if (gEdit) SetFocus(gEdit);
            return 0;
        case WM_APP + 2:  // the key state as this program's thread sees it
            return static_cast<unsigned short>(GetKeyState(static_cast<int>(wParam)));
        case WM_APP + 1:
            SetForegroundWindow(wnd);
            SetActiveWindow(wnd);
            SetFocus(gEdit);
            return 0;
        case WM_APP + 3:
            WaitUntilGo();
            return 0;
        case WM_APP + 4:
            return gPresses[wParam & 0xFF];
        case WM_APP + 5:
            return (HIWORD(GetQueueStatus(QS_KEY)) & QS_KEY) != 0;
        case WM_APP + 6:
            gStallKey = wParam;
            gStallMs = static_cast<DWORD>(lParam);
            return 0;
        case WM_APP + 7: {
            HMENU bar = CreateMenu();
            HMENU file = CreatePopupMenu();
            AppendMenuW(file, MF_STRING, 1, L"&Beenden");
            AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"&Datei");
            SetMenu(wnd, bar);
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(wnd, msg, wParam, lParam);
    }
}
}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = TargetProc;
    wc.hInstance = instance;
    wc.lpszClassName = L"VtTargetWnd";
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassW(&wc);
    HWND wnd = CreateWindowExW(0, L"VtTargetWnd", L"VtTarget", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40,
                               40, 500, 300, nullptr, nullptr, instance, nullptr);
    gEdit = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                            WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN,
                            0, 0, 480, 260, wnd, nullptr, instance, nullptr);
    SetForegroundWindow(wnd);
    SetFocus(gEdit);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) {
            ++gPresses[msg.wParam & 0xFF];
            if (gStallKey != 0 && msg.wParam == gStallKey) {
                gStallKey = 0;
                Sleep(gStallMs);
            }
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
