// Macros under Wine, typed with real keys into a target window in another process:
// typed texts, command macros with dates, program starts and the host command.
#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include <doctest/doctest.h>

#include "E2E.h"

using namespace e2e;

namespace {

const std::wstring kProduct = L"Software\\Quellmark\\Vantor32";
const std::wstring kSettings = kProduct + L"\\Settings";
const std::wstring kAltGr = kProduct + L"\\Macros\\AltGr";

void Configure() {
    RegDeleteTreeCU(kProduct);
    RegSetByte(kSettings, L"Vantor eingeschaltet", 1);
}

// AltGr + key, held until the macro's text has arrived, as a person would.
void AltGr(Scene& scene, WORD vk) {
    KeyDown(VK_RMENU, true);
    Tap(vk);
    scene.Settle();
    KeyUp(VK_RMENU, true);
}

std::wstring Today() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    wchar_t buf[32];
    swprintf(buf, 32, L"%04u-%02u-%02u", t.wYear, t.wMonth, t.wDay);
    return buf;
}

}  // namespace

TEST_CASE("a typed macro arrives exactly; its keys are logged as playback and not converted") {
    Configure();
    RegSetByte(kSettings, L"EasyBackslash", 1);  // the injected / must not become a backslash
    RegSetText(kAltGr, L"00080054", L"Hello World 123, ok!/-=[]$FF$00$09x$FF$00$0Dend");
    Scene scene;
    REQUIRE(scene.Up());
    AltGr(scene, 'T');
    CHECK(scene.WaitText(L"Hello World 123, ok!/-=[]\tx\r\nend"));
    CHECK(scene.WaitViewerContains("PLAYBACK("));
    // Between the marker's press and release nothing reaches the pipeline.
    bool playing = false, convertedInPlayback = false;
    for (const auto& l : ReadLines(scene.viewerLog)) {
        if (l.rfind("PLAYBACK(", 0) == 0 && l.find("VK:00FF") != std::string::npos) playing = true;
        if (l.rfind("PROCESS:", 0) == 0 && l.find("VK:00FF") != std::string::npos) playing = false;
        if (playing && l.rfind("MacStr:", 0) == 0) convertedInPlayback = true;
    }
    CHECK_FALSE(convertedInPlayback);
}

TEST_CASE("a character the layout cannot produce is entered with Alt and the keypad") {
    Configure();
    RegSetText(kAltGr, L"00080055", L"x$E9");  // é has no key on the test layout
    Scene scene;
    REQUIRE(scene.Up());
    AltGr(scene, 'U');
    CHECK(scene.WaitViewerContains("Raw=E9 233"));
    // Alt down, keypad 0, 2, 3, 3, Alt up
    CHECK(scene.WaitViewerContains("4.AddVK\tVK:0012\t[MENU]\tDN"));
    CHECK(scene.WaitViewerContains("4.AddVK\tVK:0060\t[NUMPAD0]\tDN"));
    CHECK(scene.WaitViewerContains("4.AddVK\tVK:0062\t[NUMPAD2]\tDN"));
    CHECK(scene.WaitViewerContains("4.AddVK\tVK:0063\t[NUMPAD3]\tDN"));
}

TEST_CASE("a command macro types today's date in a custom pattern") {
    Configure();
    RegSetText(kAltGr, L"00080044", L"^*49\"yyyy-mm-dd\"*40");
    Scene scene;
    REQUIRE(scene.Up());
    AltGr(scene, 'D');
    scene.WaitText(Today());
    CHECK(Utf8(scene.Text()) == Utf8(Today()));
}

TEST_CASE("a command macro starts a program with a variable in its path; a missing one beeps") {
    Configure();
    std::wstring marker = TempPath(L"marker");
    std::wstring dir = ExeDir();
    dir.pop_back();  // no trailing backslash: the macro adds it
    SetEnvironmentVariableW(L"VT_MARKER_FILE", marker.c_str());
    SetEnvironmentVariableW(L"VT_E2E_DIR", dir.c_str());
    RegSetText(kAltGr, L"00080050", L"^%VT_E2E_DIR%\\marker_prog.exe");
    RegSetText(kAltGr, L"00080051", L"^\"%VT_E2E_DIR%\\marker_prog.exe\" /x");
    RegSetText(kAltGr, L"0008004D", L"^C:\\no\\such\\program.exe^after");
    Scene scene;  // the target inherits the variables: macros run in its process
    REQUIRE(scene.Up());
    AltGr(scene, 'P');
    CHECK(WaitUntil([&] { return FileHasLine(marker, "started []"); }, 15000));
    scene.Focus();
    AltGr(scene, 'Q');
    CHECK(WaitUntil([&] { return FileHasLine(marker, "started [/x]"); }, 15000));
    scene.Focus();
    AltGr(scene, 'M');
    // The shell may report the missing program in a box of its own (no SEE_MASK_FLAG_NO_UI):
    // a person closes it, then the macro goes on.
    WaitUntil(
        [&] {
            HWND box = FindWindowW(L"#32770", nullptr);
            if (box) PostMessageW(box, WM_COMMAND, IDOK, 0);
            return ReadFileBytes(scene.viewerLog).find("ProcessMacro.Execute: <after>") !=
                   std::string::npos;
        },
        15000);
    // The macro goes on after the failed start and types its next segment (where the
    // focus went after the box is Wine's business: the injected keys are checked).
    CHECK(scene.WaitViewerContains("ProcessMacro.Execute: <after>"));
    CHECK(scene.WaitViewerContains("4.AddVK\tVK:0052\t[R]\tUP"));
    CHECK(scene.WaitViewerContains("ProcessMacro.Execute: <^C:\\no\\such\\program.exe>"));
    CHECK(scene.WaitViewerContains("ProcessMacro.Execute.wnd: <"));
}

TEST_CASE("the host command reaches the host") {
    Configure();
    RegSetText(kAltGr, L"00080048", L"^*9");
    Scene scene;
    REQUIRE(scene.Up());
    AltGr(scene, 'H');
    CHECK(WaitUntil([&] { return FileHasLine(scene.hostLog, "468 1"); }, 10000));
}
