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
    REQUIRE(ReadyForKeys(wnd));
    Chord(VK_MENU, 'U');
    TypeKeys(L"FINDMACRO");
    CHECK(WaitUntil([&] { return Count(list) == 1; }, 5000));
    Chord(VK_MENU, 'U');  // selects the search text
    Tap(VK_BACK);
    CHECK(WaitUntil([&] { return Count(list) == 3; }, 5000));

    // Copy: Tab to the list, select all, Ctrl+C.
    Tap(VK_TAB);
    Chord(VK_CONTROL, 'A');
    Chord(VK_CONTROL, 'C');
    CHECK(WaitUntil(
        [] { return Clipboard().find(L"\tFindMacro vkStr=00080045\r\n") != std::wstring::npos; },
        5000));

    // Pause: lines are kept but not shown until "Fortsetzen".
    Chord(VK_MENU, 'A');
    HWND pause = FindWindowExW(wnd, nullptr, L"BUTTON", nullptr);
    REQUIRE(WaitUntil([&] { return WindowText(pause) == L"&Fortsetzen"; }, 5000));
    vt::DebugWrite(u"vier");  // returns once the viewer has taken the line
    CHECK(Count(list) == 3);
    Chord(VK_MENU, 'F');
    CHECK(WaitUntil([&] { return Count(list) == 4; }, 5000));

    // Save writes what is shown.
    const std::wstring file = TempPath(L"viewer-save");
    Chord(VK_MENU, 'S');
    HWND save = WaitWindow(L"#32770", L"Diagnose speichern", 15000);
    REQUIRE(save);
    REQUIRE(ReadyForKeys(save));
    TypeKeys(file);
    Tap(VK_RETURN);
    CHECK(WaitUntil([&] { return ReadFileBytes(file).find("\tvier\r\n") != std::string::npos; },
                    10000));
    const auto saved = ReadLines(file);
    CHECK(saved.size() == 4);

    // Clear.
    REQUIRE(ReadyForKeys(wnd));
    Chord(VK_MENU, 'L');
    CHECK(WaitUntil([&] { return Count(list) == 0; }, 5000));
    vt::DebugWrite(u"fünf");
    CHECK(WaitUntil([&] { return Count(list) == 1; }, 5000));

    // Escape closes it, and the program ends.
    REQUIRE(ReadyForKeys(wnd));
    Tap(VK_ESCAPE);
    DWORD code = 1;
    CHECK(WaitExit(viewer, 10000, &code));
    CHECK(code == 0);
    if (viewer.handle) Kill(viewer);
}
