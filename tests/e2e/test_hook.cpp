// The hook spine under Wine: the real library in a real host, a viewer and a target
// window in three other processes, real injected keys.
#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include <doctest/doctest.h>

#include "E2E.h"

using namespace e2e;

namespace {

const std::wstring kSettings = L"Software\\Quellmark\\Vantor32\\Settings";

void ResetOptions() {
    RegDeleteTreeCU(L"Software\\Quellmark\\Vantor32");
    RegSetByte(kSettings, L"Vantor eingeschaltet", 0);
}

int CountContaining(const std::wstring& path, const std::string& part) {
    int n = 0;
    for (const auto& l : ReadLines(path))
        if (l.find(part) != std::string::npos) ++n;
    return n;
}

}  // namespace

TEST_CASE("typed keys reach the target unchanged and every event is logged exactly") {
    ResetOptions();
    Scene scene;
    REQUIRE(scene.Up());
    Tap('A');
    Tap('B');
    Tap(VK_SPACE);
    Tap('1');
    CHECK(scene.WaitText(L"ab 1"));

    // The press and the release of A, as the target's copy of the library saw them.
    wchar_t name[64] = {};
    GetKeyNameTextW(static_cast<LONG>(MapVirtualKeyW('A', MAPVK_VK_TO_VSC) << 16), name, 64);
    std::string keyName = Utf8(name);
    CHECK(scene.WaitViewerLine("PROCESS:\tVK:0041\tSC:1E\tRC:1\tFlags:xiidmarl\t[" + keyName +
                               "]\tDN\t00000000"));
    CHECK(scene.WaitViewerLine("PROCESS:\tVK:0041\tSC:1E\tRC:1\tFlags:xiidmaRL\t[" + keyName +
                               "]\tUP\t00000000"));
}

TEST_CASE("the host hands out the hook and exchanges the modifier byte") {
    ResetOptions();
    Scene scene;
    REQUIRE(scene.Up());
    KeyDown(VK_SHIFT);
    Tap('C');
    KeyUp(VK_SHIFT);
    CHECK(scene.WaitText(L"C"));
    // Each process that does not know the handle asks for it; every hook call asks for
    // the byte and reports it back, with Shift (0x01) while it is held.
    CHECK(WaitUntil([&] { return FileHasLine(scene.hostLog, "46A 0"); }, 10000));
    CHECK(WaitUntil([&] { return FileHasLine(scene.hostLog, "46B 0"); }, 10000));
    CHECK(WaitUntil([&] { return FileHasLine(scene.hostLog, "46C 1"); }, 10000));
    CHECK(WaitUntil([&] { return FileHasLine(scene.hostLog, "46C 0"); }, 10000));
}

TEST_CASE("a text's events are logged as playback, from its marker's press to its release") {
    ResetOptions();
    ConfigureSwitches({{L"Vantor eingeschaltet", 1}});
    RegSetText(kVantorMacros + L"\\AltGr", L"00080044", L"e");  // AltGr+D types "e"
    Scene scene;
    REQUIRE(scene.Up());
    KeyDown(VK_RMENU, true);
    Tap('D');
    KeyUp(VK_RMENU, true);
    Tap('F');
    CHECK(scene.WaitText(L"ef"));
    // "PLAYBACK(n):" with the events still to come; the marker's release ends playback:
    // its own line and the next key say PROCESS.
    CHECK(scene.WaitViewerContains("):\tVK:00FF"));
    CHECK(scene.WaitViewerContains("):\tVK:0045"));
    CHECK(scene.WaitViewerContains("PROCESS:\tVK:00FF"));
    CHECK(scene.WaitViewerContains("PROCESS:\tVK:0046"));
}

TEST_CASE("switching the hook off stops the lines") {
    ResetOptions();
    Scene scene;
    REQUIRE(scene.Up());
    Tap('F');
    CHECK(scene.WaitText(L"f"));
    CHECK(scene.WaitViewerContains("VK:0046"));

    HWND hostWnd = FindWindowW(L"Vantor32", L"Vantor32");
    REQUIRE(hostWnd != nullptr);
    PostMessageW(hostWnd, WM_CLOSE, 0, 0);
    REQUIRE(WaitExit(scene.host, 10000));
    CHECK(FileHasLine(scene.hostLog, "10 0"));  // WM_CLOSE reached the host

    int before = CountContaining(scene.viewerLog, "VK:0047");
    scene.Focus();
    Tap('G');
    CHECK(scene.WaitText(L"fg"));
    Sleep(300);
    CHECK(CountContaining(scene.viewerLog, "VK:0047") == before);
}

TEST_CASE("the host's tray menu switches the master switch and quits") {
    ResetOptions();
    Process host = Start(HostExe());
    HWND hostWnd = WaitWindow(L"Vantor32", L"Vantor32", 20000);
    REQUIRE(hostWnd != nullptr);
    auto openMenu = [&] {
        // what the tray icon sends on a right click
        PostMessageW(hostWnd, WM_APP + 1, 0, WM_RBUTTONUP);
        return WaitUntil([] { return FindWindowW(L"#32768", nullptr) != nullptr; }, 10000);
    };
    REQUIRE(openMenu());
    Tap(VK_DOWN);  // the first item: "Vantor eingeschaltet"
    Tap(VK_RETURN);
    BYTE on = 0;
    CHECK(WaitUntil(
        [&] {
            return RegGetByte(L"Software\\Quellmark\\Vantor32\\Settings", L"Vantor eingeschaltet",
                              &on) &&
                   on == 1;
        },
        10000));
    REQUIRE(openMenu());
    Tap(VK_UP);  // the last item: "Beenden"
    Tap(VK_RETURN);
    CHECK(WaitExit(host, 10000));
    if (host.handle) Kill(host);
}
