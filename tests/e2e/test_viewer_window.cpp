// The viewer as a window people read, under Wine: lines sent through the library's log
// call arrive with their time and the newest stays in view; search, pause, clear, save and
// copy, driven from the keyboard. Saves a screenshot.
#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include <doctest/doctest.h>

#include "E2E.h"
#include "SetupDriver.h"
#include "common/DebugWindowInterface.h"
#include "platform/win32/Win32Platform.h"

using namespace e2e;

namespace {

constexpr int IDC_SEARCH = 106, IDC_LINES = 107;

LRESULT Count(HWND list) {
    return SendMessageW(list, 0x1004 /* LVM_GETITEMCOUNT */, 0, 0);
}

void With(WORD modifier, WORD vk) {
    KeyDown(modifier);
    Tap(vk);
    KeyUp(modifier);
}

void Type(const std::wstring& text) {
    for (wchar_t ch : text) {
        const SHORT r = VkKeyScanW(ch);
        const bool shift = (r >> 8) & 1;
        if (shift) KeyDown(VK_SHIFT);
        Tap(static_cast<WORD>(r & 0xFF));
        if (shift) KeyUp(VK_SHIFT);
    }
}

// In front with the focus inside; a pause lets Wine take the display's focus event, which
// resets the modifiers it believes held, before the next Alt goes down.
bool Ready(HWND wnd) {
    SetForegroundWindow(wnd);
    const bool ok = WaitUntil(
        [&] {
            GUITHREADINFO info{};
            info.cbSize = sizeof(info);
            return GetForegroundWindow() == wnd &&
                   GetGUIThreadInfo(GetWindowThreadProcessId(wnd, nullptr), &info) &&
                   info.hwndFocus && (info.hwndFocus == wnd || IsChild(wnd, info.hwndFocus));
        },
        10000);
    Sleep(150);
    return ok;
}

std::wstring Clipboard() {
    std::wstring text;
    if (!OpenClipboard(nullptr)) return text;
    if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
        if (auto* p = static_cast<const wchar_t*>(GlobalLock(h))) {
            text = p;
            GlobalUnlock(h);
        }
    }
    CloseClipboard();
    return text;
}

}  // namespace

TEST_CASE("the viewer window lists the lines with their time; search, pause, clear, save, copy") {
    vt::SetPlatform(&vt::Win32PlatformInstance());
    Process viewer = Start(L"\"" + ExeDir() + L"vtview.exe\"");
    HWND wnd = WaitWindow(L"VtViewerWindow", L"Vantor32 – Diagnose", 20000);
    REQUIRE(wnd);
    REQUIRE(WaitWindow(L"TDebugWindowDisplay", L"DebugWindow (Unicode)", 20000));
    HWND list = nullptr;
    REQUIRE(WaitUntil([&] { return (list = GetDlgItem(wnd, IDC_LINES)) != nullptr; }, 10000));

    for (const wchar_t* line :
         {L"PROCESS\tVK:0045\tSC:38\tRC:1\tFlags:XiidmaRl\t[Alt rechts]\tDN",
          L"FindMacro vkStr=00080045", L"PROCESSMACRO: <Mit freundlichen Grüßen>"})
        vt::DebugWrite(std::u16string(line, line + wcslen(line)));
    CHECK(WaitUntil([&] { return Count(list) == 3; }, 10000));
    setup::SaveScreenshot(wnd, setup::ScreenshotPath(L"viewer"));

    // Search: only the matching lines.
    REQUIRE(Ready(wnd));
    With(VK_MENU, 'U');
    Type(L"FINDMACRO");
    CHECK(WaitUntil([&] { return Count(list) == 1; }, 5000));
    With(VK_MENU, 'U');  // selects the search text
    Tap(VK_BACK);
    CHECK(WaitUntil([&] { return Count(list) == 3; }, 5000));

    // Copy: Tab to the list, select all, Ctrl+C.
    Tap(VK_TAB);
    With(VK_CONTROL, 'A');
    With(VK_CONTROL, 'C');
    CHECK(WaitUntil(
        [] { return Clipboard().find(L"\tFindMacro vkStr=00080045\r\n") != std::wstring::npos; },
        5000));

    // Pause: lines are kept but not shown until "Fortsetzen".
    With(VK_MENU, 'A');
    HWND pause = FindWindowExW(wnd, nullptr, L"BUTTON", nullptr);
    REQUIRE(WaitUntil([&] { return WindowText(pause) == L"&Fortsetzen"; }, 5000));
    vt::DebugWrite(u"vier");  // returns once the viewer has taken the line
    CHECK(Count(list) == 3);
    With(VK_MENU, 'F');
    CHECK(WaitUntil([&] { return Count(list) == 4; }, 5000));

    // Save writes what is shown.
    const std::wstring file = TempPath(L"viewer-save");
    With(VK_MENU, 'S');
    HWND save = WaitWindow(L"#32770", L"Diagnose speichern", 15000);
    REQUIRE(save);
    REQUIRE(Ready(save));
    Type(file);
    Tap(VK_RETURN);
    CHECK(WaitUntil([&] { return ReadFileBytes(file).find("\tvier\r\n") != std::string::npos; },
                    10000));
    const auto saved = ReadLines(file);
    CHECK(saved.size() == 4);

    // Clear.
    REQUIRE(Ready(wnd));
    With(VK_MENU, 'L');
    CHECK(WaitUntil([&] { return Count(list) == 0; }, 5000));
    vt::DebugWrite(u"fünf");
    CHECK(WaitUntil([&] { return Count(list) == 1; }, 5000));

    // Escape closes it, and the program ends.
    REQUIRE(Ready(wnd));
    Tap(VK_ESCAPE);
    DWORD code = 1;
    CHECK(WaitExit(viewer, 10000, &code));
    CHECK(code == 0);
    if (viewer.handle) Kill(viewer);
}
