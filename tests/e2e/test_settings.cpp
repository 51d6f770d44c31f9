// The tray program's settings window under Wine, driven from the keyboard like a person: a
// macro recorded by pressing AltGr+E (while the library runs in the window's process too)
// and typed into another program, edited and deleted; a switch, a tone, a program left
// alone; export and import. Saves a screenshot of every tab.
#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include <doctest/doctest.h>

#include <algorithm>

#include "../../src/tray/Settings.Resource.h"
#include "E2E.h"
#include "SetupDriver.h"

using namespace e2e;

namespace {

const std::wstring kProduct = L"Software\\Quellmark\\Vantor32";
const std::wstring kSettings = kProduct + L"\\Settings";
const std::wstring kAltGr = kProduct + L"\\Macros\\AltGr";
const std::wstring kSpeaker = kSettings + L"\\Speaker";
const wchar_t kTitle[] = L"Vantor32 – Einstellungen";

std::wstring RegText(const std::wstring& path, const std::wstring& name) {
    auto v = setup::GetValue(HKEY_CURRENT_USER, path, name);
    if (!v || v->type != REG_SZ) return L"<none>";
    std::wstring s(reinterpret_cast<const wchar_t*>(v->data.data()), v->data.size() / 2);
    while (!s.empty() && s.back() == 0) s.pop_back();
    return s;
}

HWND WaitDialog(const wchar_t* title, DWORD ms = 15000) {
    HWND found = nullptr;
    // Found once it shows: a dialog exists (and can be found) while it still sets itself up.
    WaitUntil(
        [&] {
            found = FindWindowW(L"#32770", title);
            return found && IsWindowVisible(found);
        },
        ms);
    return found;
}

bool WaitGone(const wchar_t* title, DWORD ms = 15000) {
    return WaitUntil([&] { return FindWindowW(L"#32770", title) == nullptr; }, ms);
}

// A control anywhere below top, by its id.
HWND Item(HWND top, int id) {
    struct Search {
        int id;
        HWND found;
    } s{id, nullptr};
    EnumChildWindows(
        top,
        [](HWND wnd, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            if (GetDlgCtrlID(wnd) != s->id || !IsWindowVisible(wnd)) return TRUE;
            s->found = wnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&s));
    return s.found;
}

bool Ready(HWND dlg, int id = 0) {
    return ReadyForKeys(dlg, id ? Item(dlg, id) : nullptr);
}

bool WaitItemText(HWND top, int id, const std::wstring& text, DWORD ms = 10000) {
    return WaitUntil([&] { return WindowText(Item(top, id)) == text; }, ms);
}

// Answers a question box with "yes": the default is "no", so Shift+Tab, then Enter.
void AnswerYes(HWND box) {
    Ready(box);
    Chord(VK_SHIFT, VK_TAB);
    Tap(VK_RETURN);
}

// The settings window of the running tray program (the scene's host), opened the way a
// person opens it when the icon is out of reach: by starting the program a second time.
struct Window {
    HWND wnd = nullptr;
    bool Open() {
        Process second = Start(HostExe());
        DWORD code = 99;
        if (!WaitExit(second, 20000, &code) || code != 0) return false;
        wnd = WaitDialog(kTitle, 20000);
        return wnd && Front();
    }
    // In front with the keyboard focus on one of its controls, so that keys land there.
    bool Front() { return Ready(wnd); }
    // Ctrl+Tab until the tab control shows page (0 Allgemein ... 5 Erweitert).
    bool Page(int page) {
        Front();
        HWND tabs = GetDlgItem(wnd, IDC_TABS);
        for (int i = 0; i < 6 && SendMessageW(tabs, 0x130B /* TCM_GETCURSEL */, 0, 0) != page;
             ++i) {
            const LRESULT before = SendMessageW(tabs, 0x130B, 0, 0);
            Chord(VK_CONTROL, VK_TAB);
            WaitUntil([&] { return SendMessageW(tabs, 0x130B, 0, 0) != before; }, 5000);
        }
        return SendMessageW(tabs, 0x130B, 0, 0) == page;
    }
    void Shot(const wchar_t* name) { setup::SaveScreenshot(wnd, setup::ScreenshotPath(name)); }
    ~Window() {
        if (wnd && IsWindow(wnd)) {
            Front();
            Tap(VK_ESCAPE);
            WaitGone(kTitle);
        }
    }
};

struct Run {
    DWORD code = 0xFFFFFFFF;
    std::string err;
};

// The tray program with a configuration command, beside the running one; its standard
// error output is read through a file.
Run Command(const std::wstring& args) {
    Run r;
    const std::wstring errFile = TempPath(L"stderr");
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
    HANDLE err = CreateFileW(errFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0,
                             nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdError = err;
    PROCESS_INFORMATION pi{};
    std::wstring cmd = HostExe() + L" " + args;
    if (CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        CloseHandle(pi.hThread);
        if (WaitForSingleObject(pi.hProcess, 30000) == WAIT_OBJECT_0)
            GetExitCodeProcess(pi.hProcess, &r.code);
        else
            TerminateProcess(pi.hProcess, 99);
        CloseHandle(pi.hProcess);
    }
    CloseHandle(err);
    r.err = ReadFileBytes(errFile);
    return r;
}

}  // namespace

TEST_CASE("a macro recorded with AltGr+E in the settings window types in another program") {
    RegDeleteTreeCU(kProduct);
    RegSetByte(kSettings, L"Vantor eingeschaltet", 1);
    // A macro already on AltGr+E: recording the combination must not type it.
    RegSetText(kAltGr, L"00080045", L"ALT");
    RegSetText(kAltGr, L"00080047", L"Guten Tag,$FF$00$0D");
    RegSetText(kAltGr, L"00080044", L"^*49\"yyyy-mm-dd\"*40");
    RegSetText(kAltGr, L"00090054", L"^*41");
    RegSetText(kAltGr, L"00080052", L"^%SystemRoot%\\notepad.exe");
    Scene scene;
    REQUIRE(scene.Up());
    Window w;
    REQUIRE(w.Open());
    w.Shot(L"settings-allgemein");
    REQUIRE(w.Page(1));

    // "Neu…", then right Alt+E in the capture dialog.
    Chord(VK_MENU, 'N');
    HWND capture = WaitDialog(L"Taste aufzeichnen");
    REQUIRE(capture);
    KeyDown(VK_RMENU, true);
    Tap('E');
    KeyUp(VK_RMENU, true);
    HWND editor = WaitDialog(L"Neues Makro");
    REQUIRE(editor);
    CHECK(WaitItemText(editor, IDC_COMBINATION, L"AltGr+E"));
    REQUIRE(Ready(editor, IDC_TEXT));
    TypeKeys(L"Hallo Welt");
    // Exactly what was typed: the old macro did not type itself into the dialog.
    CHECK(WaitItemText(editor, IDC_TEXT, L"Hallo Welt"));
    CHECK(WaitItemText(editor, IDC_PREVIEW, L"Hallo Welt"));
    setup::SaveScreenshot(editor, setup::ScreenshotPath(L"settings-makro"));
    Tap(VK_RETURN);
    HWND replace = WaitDialog(L"Makro ersetzen");
    REQUIRE(replace);
    CHECK(setup::MessageBoxText(replace).find(L"Für AltGr+E gibt es schon ein Makro") == 0);
    AnswerYes(replace);
    REQUIRE(WaitGone(L"Neues Makro"));
    CHECK(WaitUntil([] { return RegText(kAltGr, L"00080045") == L"Hallo Welt"; }, 5000));
    w.Shot(L"settings-makros");

    // In the target program.
    scene.Focus();
    KeyDown(VK_RMENU, true);
    Tap('E');
    scene.Settle();
    KeyUp(VK_RMENU, true);
    CHECK(scene.WaitText(L"Hallo Welt"));

    // Edit: Enter on the list opens it; a key stroke inserted by pressing Enter.
    w.Front();
    HWND list = Item(w.wnd, IDC_MACRO_LIST);
    REQUIRE(list);
    REQUIRE(SendMessageW(list, 0x1004 /* LVM_GETITEMCOUNT */, 0, 0) == 5);
    Chord(VK_MENU, 'M');  // the list's label
    REQUIRE(Ready(w.wnd, IDC_MACRO_LIST));
    Tap(VK_RETURN);
    editor = WaitDialog(L"Makro bearbeiten");
    REQUIRE(editor);
    CHECK(WaitItemText(editor, IDC_TEXT, L"Hallo Welt"));
    REQUIRE(Ready(editor, IDC_TEXT));
    Tap(VK_END, true);
    TypeKeys(L"!");
    Chord(VK_MENU, 'E');  // "Taste einfügen…"
    REQUIRE(WaitDialog(L"Taste aufzeichnen"));
    Tap(VK_RETURN);
    CHECK(WaitItemText(editor, IDC_TEXT, L"Hallo Welt!$FF$00$0D"));
    CHECK(WaitItemText(editor, IDC_PREVIEW, L"Hallo Welt!⏎"));
    Tap(VK_RETURN);
    REQUIRE(WaitGone(L"Makro bearbeiten"));
    CHECK(RegText(kAltGr, L"00080045") == L"Hallo Welt!$FF$00$0D");
    scene.ClearText();
    scene.Focus();
    KeyDown(VK_RMENU, true);
    Tap('E');
    scene.Settle();
    KeyUp(VK_RMENU, true);
    scene.WaitText(L"Hallo Welt!\r\n");
    CHECK(Utf8(scene.Text()) == "Hallo Welt!\r\n");

    // Delete asks first.
    w.Front();
    Chord(VK_MENU, 'L');
    HWND ask = WaitDialog(L"Makro löschen");
    REQUIRE(ask);
    CHECK(setup::MessageBoxText(ask).find(L"Das Makro für AltGr+E löschen?") == 0);
    AnswerYes(ask);
    CHECK(WaitUntil([] { return RegText(kAltGr, L"00080045") == L"<none>"; }, 5000));
    CHECK(WaitUntil([&] { return SendMessageW(list, 0x1004, 0, 0) == 4; }, 5000));
    CHECK(RegText(kAltGr, L"00080047") == L"Guten Tag,$FF$00$0D");  // the others stay
}

TEST_CASE(
    "a switch and a tone changed in the window; export and import, in the window and "
    "on the command line") {
    RegDeleteTreeCU(kProduct);
    RegSetByte(kSettings, L"Vantor eingeschaltet", 1);
    RegSetText(kAltGr, L"00080047", L"Guten Tag");
    const wchar_t* umlauts[][3] = {{L"000000DE", L"ae", L"&auml;"}, {L"000000C0", L"oe", L"&ouml;"},
                                   {L"000000BA", L"ue", L"&uuml;"}, {L"000100DE", L"Ae", L"&Auml;"},
                                   {L"000100C0", L"Oe", L"&Ouml;"}, {L"000100BA", L"Ue", L"&Uuml;"},
                                   {L"000000DB", L"ss", L"&szlig;"}};
    for (const auto& u : umlauts) {
        RegSetText(kProduct + L"\\Macros\\Umlaut\\Ascii", u[0], u[1]);
        RegSetText(kProduct + L"\\Macros\\Umlaut\\HTML", u[0], u[2]);
    }
    Scene scene;
    REQUIRE(scene.Up());
    {
        Window w;
        REQUIRE(w.Open());
        // EasyBackslash by its mnemonic; the library in the target sees it at once.
        Chord(VK_MENU, 'B');
        CHECK(WaitUntil(
            [] {
                BYTE b = 0;
                return RegGetByte(kSettings, L"EasyBackslash", &b) && b == 1;
            },
            5000));
        scene.Focus();
        Tap(VK_OEM_2);
        CHECK(scene.WaitText(L"\\"));

        REQUIRE(w.Page(2));
        w.Shot(L"settings-umlaute");
        REQUIRE(w.Page(3));
        // "Ein": Frequenz, Dauer, Anzahl, Pause, then "Anhören".
        Chord(VK_MENU, '1');
        TypeKeys(L"1500\t80\t2\t30\t");  // leaving the last field writes the row
        CHECK(WaitUntil([] { return RegText(kSpeaker, L"Ein") == L"1500,80,2,30"; }, 5000));
        // A duration beyond the library's bound is not written.
        Chord(VK_MENU, '2');
        Tap(VK_TAB);
        TypeKeys(L"99999");
        HWND status = Item(w.wnd, IDC_PAGE_STATUS);
        CHECK(WaitUntil(
            [&] {
                return WindowText(status).find(
                           L"Dauer (ms): bitte eine ganze Zahl von 0 bis 10000.") !=
                       std::wstring::npos;
            },
            5000));
        Chord(VK_MENU, '1');  // leaving the row does not write it
        CHECK(RegText(kSpeaker, L"Aus") == L"<none>");
        Chord(VK_MENU, '1');
        for (int i = 0; i < 4; ++i) Tap(VK_TAB);
        Tap(VK_SPACE);  // "Anhören" plays through the library; the window stays usable
        w.Shot(L"settings-toene");
        CHECK(WaitUntil([&] { return IsWindowEnabled(w.wnd) != FALSE; }, 5000));

        // "Ausnahmen": the target picked from the running programs, then removed.
        const std::wstring kList = kSettings + L"\\Ausnahmen";
        REQUIRE(w.Page(4));
        Chord(VK_MENU, 'L');  // "Aus laufenden Programmen…"
        HWND pick = WaitDialog(L"Laufendes Programm wählen");
        REQUIRE(pick);
        HWND programs = Item(pick, IDC_PROGRAMS);
        const LRESULT row = SendMessageW(programs, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                         reinterpret_cast<LPARAM>(scene.targetExe.c_str()));
        REQUIRE(row >= 0);
        REQUIRE(Ready(pick, IDC_PROGRAMS));
        Tap(VK_HOME);
        for (LRESULT i = 0; i < row; ++i) Tap(VK_DOWN);
        CHECK(WaitUntil([&] { return SendMessageW(programs, LB_GETCURSEL, 0, 0) == row; }, 5000));
        Tap(VK_RETURN);
        REQUIRE(WaitGone(L"Laufendes Programm wählen"));
        CHECK(WaitUntil([&] { return RegText(kList, scene.targetExe) == L""; }, 5000));
        HWND listed = Item(w.wnd, IDC_EXCL_LIST);
        CHECK(WaitUntil([&] { return SendMessageW(listed, LB_GETCOUNT, 0, 0) == 1; }, 5000));
        w.Shot(L"settings-ausnahmen");
        Chord(VK_MENU, 'F');  // "Entfernen", the entry is selected
        CHECK(WaitUntil([&] { return RegText(kList, scene.targetExe) == L"<none>"; }, 5000));
        CHECK(WaitUntil([&] { return SendMessageW(listed, LB_GETCOUNT, 0, 0) == 0; }, 5000));

        // Export on the command line while the window is open.
        const std::wstring file = TempPath(L"config");
        Run r = Command(L"/export \"" + file + L"\"");
        CHECK(r.code == 0);
        const std::string bytes = ReadFileBytes(file);
        REQUIRE(bytes.size() > 2);
        CHECK(static_cast<unsigned char>(bytes[0]) == 0xFF);
        CHECK(static_cast<unsigned char>(bytes[1]) == 0xFE);

        // Import in the window: it lists what changes before it writes.
        RegSetText(kAltGr, L"00080047", L"anders");
        RegSetText(kSpeaker, L"Ein", L"1,1,1,1");
        w.Page(0);
        Chord(VK_MENU, 'I');
        HWND open = WaitDialog(L"Einstellungen importieren");
        REQUIRE(open);
        REQUIRE(Ready(open));
        TypeKeys(file);
        Tap(VK_RETURN);
        HWND preview = WaitDialog(L"Einstellungen importieren: Änderungen");
        REQUIRE(preview);
        HWND changes = Item(preview, IDC_CHANGES);
        CHECK(SendMessageW(changes, LB_GETCOUNT, 0, 0) == 2);
        CHECK(WindowText(Item(preview, IDC_CHANGES_LABEL)).find(L"ändert 2 Einträge") !=
              std::wstring::npos);
        setup::SaveScreenshot(preview, setup::ScreenshotPath(L"settings-import"));
        CHECK(RegText(kAltGr, L"00080047") == L"anders");  // nothing written yet
        Tap(VK_RETURN);
        CHECK(WaitUntil([] { return RegText(kSpeaker, L"Ein") == L"1500,80,2,30"; }, 5000));
        CHECK(RegText(kAltGr, L"00080047") == L"Guten Tag");  // written before Ein

        // Import on the command line, silently, while the window is open.
        RegSetText(kAltGr, L"00080047", L"wieder anders");
        r = Command(L"/import \"" + file + L"\" /S");
        CHECK(r.code == 0);
        CHECK(r.err.empty());
        CHECK(RegText(kAltGr, L"00080047") == L"Guten Tag");
    }
    // Errors: a non-zero code and one German line.
    Run r = Command(L"/import \"" + TempPath(L"missing") + L".reg\" /S");
    CHECK(r.code != 0);
    CHECK(r.err.find("lässt sich nicht öffnen") != std::string::npos);
    CHECK(std::count(r.err.begin(), r.err.end(), '\n') == 1);
    r = Command(L"/export");
    CHECK(r.code != 0);
    CHECK(r.err == "Aufruf: Vantor32.exe /export DATEI.reg\r\n");
}

TEST_CASE("Erweitert: the diagnostic switch, and Caps Lock taken away through the setup tool") {
    RegDeleteTreeCU(kProduct);
    RegSetByte(kSettings, L"Vantor eingeschaltet", 1);
    setup::ValueGuard map{HKEY_LOCAL_MACHINE, setup::kLayoutKey, L"Scancode Map"};
    setup::ValueGuard backup{HKEY_LOCAL_MACHINE, setup::kLayoutKey, L"Vantor Backup Scancode Map"};
    setup::CreateKey(HKEY_LOCAL_MACHINE, setup::kLayoutKey);
    setup::DeleteValue(HKEY_LOCAL_MACHINE, setup::kLayoutKey, L"Scancode Map");
    Scene scene;
    REQUIRE(scene.Up());
    Window w;
    REQUIRE(w.Open());
    REQUIRE(w.Page(5));
    CHECK(WaitItemText(w.wnd, IDC_EXTRA_STATE, L"Zurzeit ist keine Taste umbelegt."));
    // what the button will do, said before it runs
    CHECK(WaitItemText(w.wnd, IDC_EXTRA_PLAN,
                       L"„Tasten umbelegen…“ ändert nichts: Keine Taste ist umbelegt."));

    Chord(VK_MENU, 'D');
    BYTE diag = 0;
    CHECK(WaitUntil([&] { return RegGetByte(kSettings, L"Diagnose", &diag) && diag == 1; }, 5000));

    // Caps Lock ticked, then "Tasten umbelegen…": the setup tool asks, then writes the map.
    Chord(VK_MENU, 'L');
    CHECK(WaitUntil(
        [&] { return SendMessageW(Item(w.wnd, IDC_EXTRA_CAPS), BM_GETCHECK, 0, 0) == BST_CHECKED; },
        5000));
    CHECK(WaitItemText(w.wnd, IDC_EXTRA_PLAN, L"„Tasten umbelegen…“ schaltet CAPSLOCK aus."));
    Chord(VK_MENU, 'U');
    HWND info = WaitDialog(setup::kInfoCaption, 30000);
    REQUIRE(info);
    CHECK(setup::MessageBoxText(info).find(L"/M CAPSLOCK>") != std::wstring::npos);
    Ready(info);
    Tap(VK_RETURN);
    CHECK(WaitUntil(
        [] {
            auto v = setup::GetValue(HKEY_LOCAL_MACHINE, setup::kLayoutKey, L"Scancode Map");
            return v && v->data.size() == 20 && v->data[14] == 0x3A;
        },
        15000));
    CHECK(WaitItemText(w.wnd, IDC_EXTRA_STATE, L"Zurzeit umbelegt: CAPSLOCK"));
    w.Shot(L"settings-erweitert");
    // Caps Lock unticked again: the button would take the tool's own map away.
    Chord(VK_MENU, 'L');
    CHECK(WaitItemText(w.wnd, IDC_EXTRA_PLAN,
                       L"„Tasten umbelegen…“ hebt die Umbelegung von Vantor32 auf."));
}
