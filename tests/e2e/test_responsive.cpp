// Whatever the tray program's own windows do, typing elsewhere never waits for it: keys
// typed in another program while the settings window imports a large file and while the
// import's list of changes is open stay within 100 ms each, with the host's answers in its
// log; and "Beenden" ends the program at once while a ten-second tone plays.
#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include <doctest/doctest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "../../src/tray/Settings.Resource.h"
#include "E2E.h"

using namespace e2e;

namespace {

const wchar_t kTitle[] = L"Vantor32 – Einstellungen";
const std::wstring kAltGr = kVantorMacros + L"\\AltGr";

double Now() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

HWND WaitDialog(const wchar_t* title, DWORD ms = 20000) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            found = FindWindowW(L"#32770", title);
            return found && IsWindowVisible(found);
        },
        ms);
    return found;
}

int CountLines(const std::wstring& path, const std::string& prefix) {
    int n = 0;
    for (const auto& l : ReadLines(path)) n += l.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
}

bool ValueThere(const std::wstring& path, const std::wstring& name) {
    return RegGetValueW(HKEY_CURRENT_USER, path.c_str(), name.c_str(), RRF_RT_ANY, nullptr,
                        nullptr, nullptr) == ERROR_SUCCESS;
}

// Types one letter into the target and waits until it shows there; the milliseconds it
// took, or a large number when it never came.
double TypeOne(Scene& scene, WORD letter) {
    const std::size_t before = scene.Text().size();
    const double start = Now();
    Tap(letter);
    while (scene.Text().size() <= before) {
        if (Now() - start > 3.0) return 1e6;
        Sleep(1);
    }
    return (Now() - start) * 1000.0;
}

// Types `count` letters, each after the last arrived; the slowest key in ms. The host's
// log then holds its answer to the library's question for every press and release.
double TypeKeysMeasured(Scene& scene, int count, const std::function<bool()>& goOn = nullptr) {
    const int asked = CountLines(scene.hostLog, "46B ");
    double worst = 0;
    int typed = 0;
    for (int i = 0; i < count && (!goOn || goOn()); ++i, ++typed) {
        const double ms = TypeOne(scene, static_cast<WORD>('A' + i % 26));
        CAPTURE(ms);
        CHECK(ms < 100.0);
        if (ms > worst) worst = ms;
    }
    CHECK(WaitUntil([&] { return CountLines(scene.hostLog, "46B ") >= asked + 2 * typed; }, 10000));
    MESSAGE("typed " << typed << " keys, slowest " << worst << " ms");
    return worst;
}

HWND Menu() {
    HWND m = FindWindowW(L"#32768", nullptr);
    return m && IsWindowVisible(m) ? m : nullptr;
}

}  // namespace

TEST_CASE("typing elsewhere stays fast while the settings window imports a large file") {
    ConfigureSwitches({{L"Vantor eingeschaltet", 1}});
    // A large configuration: 30,000 macros on combinations no keyboard has.
    const int kMacros = 30000;
    std::wstring text = L"\xFEFFWindows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\" +
                        kAltGr + L"]\r\n";
    wchar_t line[96];
    for (int i = 0; i < kMacros; ++i) {
        swprintf(line, 96, L"\"0008%04X\"=\"Makro Nummer %d mit etwas Text\"\r\n", 0x1000 + i, i);
        text += line;
    }
    swprintf(line, 96, L"0008%04X", 0x1000 + kMacros - 1);
    const std::wstring last = line;
    const std::wstring file = TempPath(L"large") + L".reg";
    HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    REQUIRE(h != INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(h);

    Scene scene;
    REQUIRE(scene.Up());
    // The settings window, by a second start; "Importieren…" and the file.
    Process second = Start(HostExe());
    REQUIRE(WaitExit(second, 20000));
    HWND settings = WaitDialog(kTitle);
    REQUIRE(settings);
    REQUIRE(ReadyForKeys(settings));
    Chord(VK_MENU, 'I');
    HWND open = WaitDialog(L"Einstellungen importieren");
    REQUIRE(open);
    REQUIRE(ReadyForKeys(open));
    TypeKeys(file);
    Tap(VK_RETURN);

    // The list of changes, a modal box of the tray program, stays open while another
    // program is typed in.
    HWND preview = WaitDialog(L"Einstellungen importieren: Änderungen", 60000);
    REQUIRE(preview);
    scene.Focus();
    REQUIRE(WaitUntil([&] { return GetForegroundWindow() == scene.targetWnd; }, 10000));
    scene.ClearText();
    TypeKeysMeasured(scene, 20);
    CHECK_FALSE(ValueThere(kAltGr, last));  // nothing written yet

    // OK: the import writes 30,000 values on the tray program's main thread while typing
    // goes on.
    PostMessageW(preview, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    REQUIRE(WaitUntil([&] { return FindWindowW(L"#32770", L"Einstellungen importieren: Änderungen") == nullptr; },
                      10000));
    scene.Focus();
    REQUIRE(WaitUntil([&] { return GetForegroundWindow() == scene.targetWnd; }, 10000));
    scene.ClearText();
    const bool stillWriting = !ValueThere(kAltGr, last);
    TypeKeysMeasured(scene, 200, [&] { return !ValueThere(kAltGr, last); });
    CHECK(stillWriting);
    CHECK(WaitUntil([&] { return ValueThere(kAltGr, last); }, 120000));
    DeleteFileW(file.c_str());

    // The settings window is the tray program's own again.
    PostMessageW(settings, WM_CLOSE, 0, 0);
    CHECK(WaitUntil([&] { return FindWindowW(L"#32770", kTitle) == nullptr; }, 20000));
    RegDeleteTreeCU(kVantorKey);
}

TEST_CASE("Beenden ends the program at once while a ten-second tone plays") {
    ConfigureSwitches({{L"Vantor eingeschaltet", 1},
                       {L"Piepsen bei Umschaltungen", 1},
                       {L"Speaker benutzen", 1}});
    // 18 Hz is silence for the duration, waited out inside the library.
    RegSetText(kVantorSettings + L"\\Speaker", L"Ein", L"18,10000,1,0");
    // Without the icon: under Wine without a window manager, taking the last icon away
    // waits two seconds for the display (its notification area's window is withdrawn);
    // the menu is the same without it.
    Scene scene;
    REQUIRE(scene.Up());
    HWND host = FindWindowW(L"Vantor32", L"Vantor32");
    REQUIRE(host);
    // The library's sound event, and more queued behind it while it plays.
    PostMessageW(host, 0x464 /* WM_HOST_SOUNDEVENT */, 1, 0);
    REQUIRE(WaitUntil([&] { return FileHasLine(scene.hostLog, "SOUND 1"); }, 10000));
    for (int i = 0; i < 6; ++i) PostMessageW(host, 0x464, 2, 0);
    CHECK(WaitUntil([&] { return CountLines(scene.hostLog, "464 2") == 6; }, 10000));

    // The menu from the keyboard (as the shell would send it), "Beenden".
    scene.Focus();
    REQUIRE(WaitUntil([&] { return GetForegroundWindow() == scene.targetWnd; }, 10000));
    PostMessageW(host, 0x8001 /* the icon's message */, 1, WM_CONTEXTMENU);
    REQUIRE(WaitUntil([] { return Menu() != nullptr; }, 10000));
    const double start = Now();
    Tap('B');
    DWORD code = 99;
    CHECK(WaitExit(scene.host, 2000, &code));
    MESSAGE("ended after " << (Now() - start) * 1000.0 << " ms");
    CHECK(code == 0);
    CHECK(FindWindowW(L"Vantor32", L"Vantor32") == nullptr);
    CHECK(FileHasLine(scene.hostLog, "END"));
    CHECK(CountLines(scene.hostLog, "SOUND 2") == 0);  // what waited behind it is not played
    // A new start right after it runs (the one-instance mutex is free).
    const std::wstring log = TempPath(L"after");
    Process next = Start(HostExe() + L" --no-tray --log \"" + log + L"\"");
    CHECK(WaitUntil([&] { return ReadFileBytes(log).find("READY 1") != std::string::npos; },
                    20000));
    CHECK(ReadFileBytes(log).find("SECOND") == std::string::npos);
    if (HWND w = WaitWindow(L"Vantor32", L"Vantor32", 5000)) PostMessageW(w, WM_CLOSE, 0, 0);
    if (!WaitExit(next, 10000)) Kill(next);
    RegDeleteTreeCU(kVantorKey);
}
