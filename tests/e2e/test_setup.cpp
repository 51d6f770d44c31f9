// The setup tool under Wine, driven like a user drives it: VtInst.exe is started with
// its switches, its information box is read and confirmed, its uninstall dialog is
// clicked, and the registry is looked at afterwards. The read-key dialog is shown by a
// small host program and gets real injected keys.
#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include <doctest/doctest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <memory>

#include "E2E.h"
#include "SetupDriver.h"

using namespace setup;

namespace {

const std::wstring kProduct = kProductKey;
const std::wstring kSound = L"AppEvents\\Schemes\\Apps\\Vantor32";
const std::wstring kInputMethod = L"Control Panel\\Input Method";
const std::wstring kDefaultHive = L".Default";
const std::wstring kUserHive = L"S-1-5-21-0-0-0-1000";  // the account Wine runs as (HKCU)

std::vector<BYTE> MapBytes(std::initializer_list<std::pair<WORD, WORD>> mappings) {
    std::vector<BYTE> out(8, 0);
    DWORD count = static_cast<DWORD>(mappings.size() + 1);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<BYTE>(count >> (8 * i)));
    for (auto [oldVal, newVal] : mappings) {
        out.push_back(static_cast<BYTE>(newVal & 0xFF));
        out.push_back(static_cast<BYTE>(newVal >> 8));
        out.push_back(static_cast<BYTE>(oldVal & 0xFF));
        out.push_back(static_cast<BYTE>(oldVal >> 8));
    }
    out.insert(out.end(), 4, 0);
    return out;
}

WORD Scan(UINT vk) {
    return static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC_EX) & 0xFFFF);
}

std::optional<RegValue> StoredMap() {
    return GetValue(HKEY_LOCAL_MACHINE, kLayoutKey, L"Scancode Map");
}
std::optional<RegValue> StoredBackup() {
    return GetValue(HKEY_LOCAL_MACHINE, kLayoutKey, L"Vantor Backup Scancode Map");
}

// Everything a test touches, cleaned before it and put back after it.
struct CleanSlate {
    ValueGuard map{HKEY_LOCAL_MACHINE, kLayoutKey, L"Scancode Map"};
    ValueGuard backup{HKEY_LOCAL_MACHINE, kLayoutKey, L"Vantor Backup Scancode Map"};
    ValueGuard hexCU{HKEY_CURRENT_USER, kInputMethod, L"EnableHexNumpad"};
    ValueGuard hexDefault{HKEY_USERS, kDefaultHive + L"\\" + kInputMethod, L"EnableHexNumpad"};
    CleanSlate() {
        // Windows always has the driver's key; a fresh Wine prefix does not.
        CreateKey(HKEY_LOCAL_MACHINE, kLayoutKey);
        DeleteValue(HKEY_LOCAL_MACHINE, kLayoutKey, L"Scancode Map");
        DeleteValue(HKEY_LOCAL_MACHINE, kLayoutKey, L"Vantor Backup Scancode Map");
        Clear();
    }
    ~CleanSlate() { Clear(); }
    static void Clear() {
        for (HKEY root : {HKEY_CURRENT_USER}) {
            DeleteTree(root, L"Software\\Quellmark");
            DeleteTree(root, kSound);
        }
        DeleteTree(HKEY_USERS, kDefaultHive + L"\\Software\\Quellmark");
        DeleteTree(HKEY_USERS, kDefaultHive + L"\\" + kSound);
    }
};

// A user's complete data below root\prefix (prefix: "" or a hive name and a backslash).
void FillProfile(HKEY root, const std::wstring& prefix) {
    const std::wstring p = prefix + kProduct + L"\\";
    PutValue(root, p + L"Settings", L"Vantor eingeschaltet", REG_BINARY, {1});
    PutValue(root, p + L"Settings\\Speaker", L"1", REG_SZ, {'4', 0, '4', 0, '0', 0, 0, 0});
    PutValue(root, p + L"Macros\\AltGr", L"00080045", REG_SZ, {'x', 0, 0, 0});
    PutValue(root, p + L"Macros\\Umlaut\\Ascii", L"000000DE", REG_SZ, {'a', 0, 'e', 0, 0, 0});
    PutValue(root, p + L"Macros\\Umlaut\\HTML", L"000000DE", REG_SZ, {'&', 0, 0, 0});
    PutValue(root, prefix + kSound + L"\\Event1\\.current", L"", REG_SZ, {'a', 0, 0, 0});
    PutValue(root, prefix + kInputMethod, L"EnableHexNumpad", REG_SZ, {'1', 0, 0, 0});
}

struct Expect {
    bool settings, sound, macros;  // which groups were removed
};

void CheckProfile(HKEY root, const std::wstring& prefix, Expect e) {
    const std::wstring p = prefix + kProduct + L"\\";
    CHECK(KeyExists(root, p + L"Settings") == !e.settings);
    CHECK(KeyExists(root, p + L"Settings\\Speaker") == !e.settings);
    CHECK(KeyExists(root, prefix + kSound) == !e.sound);
    CHECK(KeyExists(root, p + L"Macros\\AltGr") == !e.macros);
    CHECK(KeyExists(root, p + L"Macros\\Umlaut\\Ascii") == !e.macros);
    CHECK(KeyExists(root, p + L"Macros\\Umlaut\\HTML") == !e.macros);
    CHECK(KeyExists(root, p + L"Macros") == !e.macros);
    CHECK(KeyExists(root, prefix + kProduct) == !(e.settings && e.macros));
    if (!e.settings) {
        auto main = GetValue(root, p + L"Settings", L"Vantor eingeschaltet");
        REQUIRE(main.has_value());
        CHECK(main->data == std::vector<BYTE>{0});
    }
    CHECK_FALSE(GetValue(root, prefix + kInputMethod, L"EnableHexNumpad").has_value());
}

void CheckHostAskedToClose(const FakeHost& host) {
    CHECK(WaitFor([&] { return host.received.size() >= 2; }, 10000));
    CHECK(host.received == std::vector<UINT>{WM_CLOSE, WM_QUIT});
}

// Frames and captions in the screenshots.
UnmanagedWindows gUnmanagedWindows;

// The tool's own map for the words, with the scan codes of the layout here.
std::vector<BYTE> ToolMap(bool caps, bool scroll) {
    if (caps && scroll)
        return MapBytes({{Scan(VK_CAPITAL), Scan(VK_EREOF)}, {Scan(VK_SCROLL), Scan(VK_ZOOM)}});
    return caps ? MapBytes({{Scan(VK_CAPITAL), Scan(VK_EREOF)}})
                : MapBytes({{Scan(VK_SCROLL), Scan(VK_ZOOM)}});
}

bool HasQuietSwitch(std::wstring args) {
    for (wchar_t& c : args) c = static_cast<wchar_t>(towupper(c));
    return (L" " + args + L" ").find(L" /Q ") != std::wstring::npos;
}

// Runs the tool to its end: confirms the information box, nothing else. With /Q there
// is no box to confirm, and no window may show at all.
void RunQuiet(const std::wstring& args, DWORD* exitCode = nullptr) {
    Run run(args);
    REQUIRE(run.proc.handle != nullptr);
    if (!HasQuietSwitch(args)) {
        REQUIRE(run.ConfirmInfo());
        CHECK(run.infoText == L"VtInst: <" + run.commandLine + L">");
    }
    REQUIRE(run.WaitExit());
    if (HasQuietSwitch(args)) {
        CHECK_FALSE(run.sawWindow);
        CHECK(run.ErrorOutput().empty());
    }
    CHECK(run.exitCode == 0);
    if (exitCode) *exitCode = run.exitCode;
}

}  // namespace

TEST_SUITE("setup tool") {
    TEST_CASE("the information box shows the whole command line; the mutex marks the run") {
        CleanSlate slate;
        Run run(L"");
        REQUIRE(run.proc.handle != nullptr);
        HWND box = WaitProcessWindow(run.proc.pid, L"#32770", kInfoCaption, 30000);
        REQUIRE(box != nullptr);
        // A lower-case extension stays in the name.
        HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, L"VtInst.exe");
        CHECK(mutex != nullptr);
        if (mutex) CloseHandle(mutex);
        CHECK(MessageBoxText(box) == L"VtInst: <" + run.commandLine + L">");
        CHECK(SaveScreenshot(box, ScreenshotPath(L"setup_info")));
        REQUIRE(run.ConfirmInfo());
        REQUIRE(run.WaitExit());
        CHECK(run.exitCode == 0);
        HANDLE gone = OpenMutexW(SYNCHRONIZE, FALSE, L"VtInst.exe");
        CHECK(gone == nullptr);
        if (gone) CloseHandle(gone);
    }

    TEST_CASE("/M CAPSLOCK stores one mapping of Caps Lock to the Erase EOF key") {
        CleanSlate slate;
        RunQuiet(L"/M CAPSLOCK");
        auto map = StoredMap();
        REQUIRE(map.has_value());
        CHECK(map->type == REG_BINARY);
        CHECK(map->data == MapBytes({{Scan(VK_CAPITAL), Scan(VK_EREOF)}}));
        CHECK(map->data.size() == 20);
        CHECK_FALSE(StoredBackup().has_value());
    }

    TEST_CASE("/M CAPSLOCK SCROLLOCK stores 24 bytes, count 3, Caps Lock first") {
        CleanSlate slate;
        RunQuiet(L"/m scrollock capslock");
        auto map = StoredMap();
        REQUIRE(map.has_value());
        REQUIRE(map->data.size() == 24);
        CHECK(map->data[8] == 3);
        CHECK(map->data ==
              MapBytes({{Scan(VK_CAPITAL), Scan(VK_EREOF)}, {Scan(VK_SCROLL), Scan(VK_ZOOM)}}));
    }

    TEST_CASE("/M alone removes the tool's map, and an absent map is no failure") {
        CleanSlate slate;
        PutValue(HKEY_LOCAL_MACHINE, kLayoutKey, L"Scancode Map", REG_BINARY, ToolMap(true, true));
        RunQuiet(L"/M");
        CHECK_FALSE(StoredMap().has_value());
        RunQuiet(L"/M");  // no error box: RunQuiet would not see the process end otherwise
        CHECK_FALSE(StoredMap().has_value());
    }

    TEST_CASE("/M CAPSLOCK /Q and /U /Q end by themselves with no window") {
        CleanSlate slate;
        FillProfile(HKEY_CURRENT_USER, L"");
        FakeHost host;
        {
            Run run(L"/M CAPSLOCK /Q");
            REQUIRE(run.WaitExit());
            CHECK_FALSE(run.sawWindow);
            CHECK(run.exitCode == 0);
            CHECK(run.ErrorOutput().empty());
            REQUIRE(StoredMap().has_value());
            CHECK(StoredMap()->data == ToolMap(true, false));
        }
        Run run(L"/U /Q");
        REQUIRE(run.WaitExit());
        CHECK_FALSE(run.sawWindow);
        CHECK(run.exitCode == 0);
        CHECK(run.ErrorOutput().empty());
        CHECK_FALSE(StoredMap().has_value());
        CHECK_FALSE(KeyExists(HKEY_CURRENT_USER, kProduct));
        CheckHostAskedToClose(host);
    }

    TEST_CASE("/Q: a map that cannot be written is a line on the error output and exit code 1") {
        CleanSlate slate;
        DeleteTree(HKEY_LOCAL_MACHINE, kLayoutKey);  // no key to hold a map
        Run run(L"/M SCROLLOCK /Q");
        REQUIRE(run.WaitExit());
        CHECK_FALSE(run.sawWindow);
        CHECK(run.exitCode == 1);
        CHECK(run.ErrorOutput() == "Konnte ScancodeMap nicht in Registry schreiben\r\n");
        CreateKey(HKEY_LOCAL_MACHINE, kLayoutKey);
    }

    TEST_CASE("a map the tool did not write survives /M and /U /Q") {
        CleanSlate slate;
        const auto userMap = MapBytes({{0x3A, 0x1D}});
        PutValue(HKEY_LOCAL_MACHINE, kLayoutKey, L"Scancode Map", REG_BINARY, userMap);
        FillProfile(HKEY_CURRENT_USER, L"");
        RunQuiet(L"/M");
        REQUIRE(StoredMap().has_value());
        CHECK(StoredMap()->data == userMap);
        RunQuiet(L"/U /Q");
        REQUIRE(StoredMap().has_value());
        CHECK(StoredMap()->data == userMap);
        CHECK_FALSE(StoredBackup().has_value());
        CHECK_FALSE(KeyExists(HKEY_CURRENT_USER, kProduct));  // the uninstall did run
    }

    TEST_CASE("the first /M over a user's map keeps that map as the backup, once") {
        CleanSlate slate;
        const auto userMap = MapBytes({{0x3A, 0x1D}});
        PutValue(HKEY_LOCAL_MACHINE, kLayoutKey, L"Scancode Map", REG_BINARY, userMap);
        RunQuiet(L"/M CAPSLOCK");
        auto backup = StoredBackup();
        REQUIRE(backup.has_value());
        CHECK(backup->data == userMap);
        RunQuiet(L"/M SCROLLOCK");
        backup = StoredBackup();
        REQUIRE(backup.has_value());
        CHECK(backup->data == userMap);
        auto map = StoredMap();
        REQUIRE(map.has_value());
        CHECK(map->data == MapBytes({{Scan(VK_SCROLL), Scan(VK_ZOOM)}}));
        // /M alone gives back the map from before, and the backup has served
        RunQuiet(L"/M");
        map = StoredMap();
        REQUIRE(map.has_value());
        CHECK(map->data == userMap);
        CHECK_FALSE(StoredBackup().has_value());
    }

    TEST_CASE("a map the tool wrote never becomes the backup; the user's map later does") {
        CleanSlate slate;
        const auto capsMap = MapBytes({{Scan(VK_CAPITAL), Scan(VK_EREOF)}});
        const auto userMap = MapBytes({{0x3A, 0x1D}});
        RunQuiet(L"/M CAPSLOCK");
        CHECK_FALSE(StoredBackup().has_value());
        RunQuiet(L"/U /Q");
        CHECK_FALSE(StoredMap().has_value());
        CHECK_FALSE(StoredBackup().has_value());  // the tool's own map was not kept
        // the user stores a map with another tool, and later remaps Caps Lock again
        PutValue(HKEY_LOCAL_MACHINE, kLayoutKey, L"Scancode Map", REG_BINARY, userMap);
        RunQuiet(L"/M CAPSLOCK");
        auto backup = StoredBackup();
        REQUIRE(backup.has_value());
        CHECK(backup->data == userMap);
        CHECK(StoredMap()->data == capsMap);

        // A machine left with the tool's map as its backup: that backup counts as none.
        PutValue(HKEY_LOCAL_MACHINE, kLayoutKey, L"Vantor Backup Scancode Map", REG_BINARY,
                 capsMap);
        PutValue(HKEY_LOCAL_MACHINE, kLayoutKey, L"Scancode Map", REG_BINARY, userMap);
        RunQuiet(L"/M CAPSLOCK");
        backup = StoredBackup();
        REQUIRE(backup.has_value());
        CHECK(backup->data == userMap);
    }

    TEST_CASE("/M SCROLLOCK then /M leaves no backup") {
        CleanSlate slate;
        RunQuiet(L"/M SCROLLOCK");
        auto map = StoredMap();
        REQUIRE(map.has_value());
        CHECK(map->data == MapBytes({{Scan(VK_SCROLL), Scan(VK_ZOOM)}}));
        RunQuiet(L"/M");
        CHECK_FALSE(StoredMap().has_value());
        CHECK_FALSE(StoredBackup().has_value());
    }

    TEST_CASE("/T changes nothing, and /T /U runs only /T") {
        CleanSlate slate;
        FillProfile(HKEY_CURRENT_USER, L"");
        const auto sentinel = MapBytes({{0x46, 0x01}});
        PutValue(HKEY_LOCAL_MACHINE, kLayoutKey, L"Scancode Map", REG_BINARY, sentinel);
        FakeHost host;
        for (const wchar_t* args : {L"/T", L"/T /U", L"/U /t /Q"}) {
            std::string argsText = e2e::Utf8(args);
            CAPTURE(argsText);
            Run run(args);
            if (!HasQuietSwitch(args)) REQUIRE(run.ConfirmInfo());
            bool dialog = false;
            CHECK(WaitFor(
                [&] {
                    dialog = dialog || FindProcessWindow(run.proc.pid, nullptr, kUninstallTitle);
                    return WaitForSingleObject(run.proc.handle, 0) == WAIT_OBJECT_0;
                },
                30000));
            REQUIRE(run.WaitExit());
            CHECK(run.exitCode == 0);
            CHECK_FALSE(dialog);
            auto map = StoredMap();
            REQUIRE(map.has_value());
            CHECK(map->data == sentinel);
            auto main =
                GetValue(HKEY_CURRENT_USER, kProduct + L"\\Settings", L"Vantor eingeschaltet");
            REQUIRE(main.has_value());
            CHECK(main->data == std::vector<BYTE>{1});
            CHECK(KeyExists(HKEY_CURRENT_USER, kProduct + L"\\Macros\\AltGr"));
            CHECK(GetValue(HKEY_CURRENT_USER, kInputMethod, L"EnableHexNumpad").has_value());
        }
        CHECK(host.received.empty());
    }

    TEST_CASE("/I creates the Settings key of the running account and nothing else") {
        CleanSlate slate;
        PutValue(HKEY_LOCAL_MACHINE, kLayoutKey, L"Scancode Map", REG_BINARY,
                 MapBytes({{0x3A, 0x1D}}));
        REQUIRE_FALSE(KeyExists(HKEY_CURRENT_USER, kProduct));
        RunQuiet(L"/I");
        CHECK(KeyExists(HKEY_CURRENT_USER, kProduct + L"\\Settings"));
        CHECK(SubKeys(HKEY_CURRENT_USER, kProduct) == std::vector<std::wstring>{L"Settings"});
        CHECK(StoredMap().has_value());
    }

    TEST_CASE("arguments the tool does not know are ignored") {
        CleanSlate slate;
        const auto sentinel = MapBytes({{0x46, 0x01}});
        PutValue(HKEY_LOCAL_MACHINE, kLayoutKey, L"Scancode Map", REG_BINARY, sentinel);
        FillProfile(HKEY_CURRENT_USER, L"");
        RunQuiet(L"-M /M2 M CAPSLOCK /X -U /U2 U \"/U \"");
        auto map = StoredMap();
        REQUIRE(map.has_value());
        CHECK(map->data == sentinel);
        CHECK(KeyExists(HKEY_CURRENT_USER, kProduct + L"\\Macros\\AltGr"));
        // and known ones still work between them
        RunQuiet(L"/X CAPSLOCK -Q /m");
        map = StoredMap();
        REQUIRE(map.has_value());
        CHECK(map->data == MapBytes({{Scan(VK_CAPITAL), Scan(VK_EREOF)}}));
    }

    TEST_CASE("/U /Q removes everything and asks the host to close") {
        for (const wchar_t* args : {L"/U /Q", L"/u /q", L"/Q /U"}) {
            std::string argsText = e2e::Utf8(args);
            CAPTURE(argsText);
            CleanSlate slate;
            FillProfile(HKEY_CURRENT_USER, L"");
            const auto before = MapBytes({{0x46, 0x1D}});
            PutValue(HKEY_LOCAL_MACHINE, kLayoutKey, L"Scancode Map", REG_BINARY,
                     ToolMap(true, false));
            PutValue(HKEY_LOCAL_MACHINE, kLayoutKey, L"Vantor Backup Scancode Map", REG_BINARY,
                     before);
            FakeHost host;
            RunQuiet(args);
            CheckProfile(HKEY_CURRENT_USER, L"", {true, true, true});
            // the map from before the tool is back, and its backup has served
            REQUIRE(StoredMap().has_value());
            CHECK(StoredMap()->data == before);
            CHECK_FALSE(StoredBackup().has_value());
            CheckHostAskedToClose(host);
        }
    }

    TEST_CASE(
        "the hive of the user who started the tool is uninstalled, not the one listed first") {
        CleanSlate slate;
        // Wine lists ".Default" before the running account's hive.
        auto hives = SubKeys(HKEY_USERS, L"");
        auto def = std::find(hives.begin(), hives.end(), kDefaultHive);
        auto own = std::find(hives.begin(), hives.end(), kUserHive);
        REQUIRE(def != hives.end());
        REQUIRE(own != hives.end());
        REQUIRE(def < own);
        // The running account's hive is HKEY_CURRENT_USER under Wine.
        PutValue(HKEY_USERS, kUserHive + L"\\" + kProduct, L"probe", REG_SZ, {'1', 0, 0, 0});
        REQUIRE(GetValue(HKEY_CURRENT_USER, kProduct, L"probe").has_value());

        // As left by a job that ran the product as SYSTEM.
        FillProfile(HKEY_USERS, kDefaultHive + L"\\");
        FillProfile(HKEY_CURRENT_USER, L"");
        FakeHost host;
        RunQuiet(L"/U /Q");
        CheckProfile(HKEY_CURRENT_USER, L"", {true, true, true});
        // the other hive keeps everything
        const std::wstring other = kDefaultHive + L"\\";
        CHECK(KeyExists(HKEY_USERS, other + kProduct + L"\\Macros\\AltGr"));
        CHECK(KeyExists(HKEY_USERS, other + kSound));
        CHECK(GetValue(HKEY_USERS, other + kInputMethod, L"EnableHexNumpad").has_value());
        auto main = GetValue(HKEY_USERS, other + kProduct + L"\\Settings", L"Vantor eingeschaltet");
        REQUIRE(main.has_value());
        CHECK(main->data == std::vector<BYTE>{1});
        CheckHostAskedToClose(host);
    }

    TEST_CASE("the uninstall dialog: layout, and each choice removes its part") {
        struct Choice {
            const char* name;
            std::vector<const wchar_t*> boxes;
            Expect expect;
        };
        const Choice choices[] = {
            {"nothing changeable", {}, {false, false, false}},
            {"only sound", {L"Sound-Einstellungen"}, {false, true, false}},
            {"only macros", {L"Macros"}, {false, false, true}},
            {"settings and macros", {L"Programm-Einstellungen", L"Macros"}, {true, false, true}},
        };
        bool first = true;
        for (const Choice& c : choices) {
            CAPTURE(c.name);
            CleanSlate slate;
            FillProfile(HKEY_CURRENT_USER, L"");
            PutValue(HKEY_LOCAL_MACHINE, kLayoutKey, L"Scancode Map", REG_BINARY,
                     ToolMap(false, true));
            FakeHost host;
            Run run(L"/U");
            REQUIRE(run.ConfirmInfo());
            HWND dlg = WaitProcessWindow(run.proc.pid, nullptr, kUninstallTitle, 30000);
            REQUIRE(dlg != nullptr);

            HWND files = FindChild(dlg, L"Button", L"Programmdateien");
            HWND autostart = FindChild(dlg, L"Button", L"Autostart-Eintrag");
            HWND settings = FindChild(dlg, L"Button", L"Programm-Einstellungen");
            HWND sound = FindChild(dlg, L"Button", L"Sound-Einstellungen");
            HWND macros = FindChild(dlg, L"Button", L"Macros");
            HWND group = FindChild(dlg, L"Button", L"Was wollen Sie entfernen?");
            HWND ok = FindChild(dlg, L"Button", L"OK");
            REQUIRE(files);
            REQUIRE(autostart);
            REQUIRE(settings);
            REQUIRE(sound);
            REQUIRE(macros);
            REQUIRE(group);
            REQUIRE(ok);
            if (first) {
                first = false;
                RECT client;
                GetClientRect(dlg, &client);
                CHECK(client.right == 321);
                CHECK(client.bottom == 287);
                auto at = [&](HWND w, int x, int y, int cx, int cy) {
                    RECT r = ClientRectOf(w, dlg);
                    CHECK(r.left == x);
                    CHECK(r.top == y);
                    CHECK(r.right - r.left == cx);
                    CHECK(r.bottom - r.top == cy);
                };
                at(group, 22, 24, 285, 185);
                at(files, 22 + 16, 24 + 24, 185, 17);
                at(autostart, 22 + 16, 24 + 48, 185, 17);
                at(settings, 22 + 16, 24 + 80, 185, 17);
                at(sound, 22 + 16, 24 + 104, 185, 17);
                at(macros, 22 + 16, 24 + 128, 97, 17);
                at(ok, 119, 240, 90, 25);
                CHECK(SendMessageW(files, BM_GETCHECK, 0, 0) == BST_CHECKED);
                CHECK(SendMessageW(autostart, BM_GETCHECK, 0, 0) == BST_CHECKED);
                CHECK_FALSE(IsWindowEnabled(files));
                CHECK_FALSE(IsWindowEnabled(autostart));
                CHECK((GetWindowLongW(files, GWL_STYLE) & WS_TABSTOP) == 0);
                for (HWND b : {settings, sound, macros}) {
                    CHECK(SendMessageW(b, BM_GETCHECK, 0, 0) == BST_UNCHECKED);
                    CHECK(IsWindowEnabled(b));
                }
                CHECK(GetWindow(dlg, GW_CHILD) == ok);  // first in tab order
                // whose data: the account the tool was started by
                wchar_t user[256] = {};
                DWORD userLen = 256;
                REQUIRE(GetUserNameW(user, &userLen));
                bool named = false;
                for (HWND c = GetWindow(dlg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
                    const std::wstring t = e2e::WindowText(c);
                    named = named || (t.rfind(L"Benutzer: ", 0) == 0 && t.size() >= wcslen(user) &&
                                      t.compare(t.size() - wcslen(user), wcslen(user), user) == 0);
                }
                CHECK(named);
                CHECK(FindChild(dlg, L"Button", L"Abbrechen") == nullptr);
                CHECK(SaveScreenshot(dlg, ScreenshotPath(L"setup_uninstall")));
                // A click on a fixed box changes nothing; one on a free box toggles it.
                MouseClick(files);
                MouseClick(settings);
                CHECK(WaitFor(
                    [&] { return SendMessageW(settings, BM_GETCHECK, 0, 0) == BST_CHECKED; },
                    5000));
                CHECK(SendMessageW(files, BM_GETCHECK, 0, 0) == BST_CHECKED);
                MouseClick(settings);
                CHECK(WaitFor(
                    [&] { return SendMessageW(settings, BM_GETCHECK, 0, 0) == BST_UNCHECKED; },
                    5000));
            }
            for (const wchar_t* text : c.boxes) {
                HWND b = FindChild(dlg, L"Button", text);
                REQUIRE(b);
                REQUIRE(Click(b));
                CHECK(SendMessageW(b, BM_GETCHECK, 0, 0) == BST_CHECKED);
            }
            REQUIRE(Click(ok));
            REQUIRE(run.WaitExit());
            CHECK(run.exitCode == 0);
            CheckProfile(HKEY_CURRENT_USER, L"", c.expect);
            // the tool's remap goes, whatever was checked
            CHECK_FALSE(StoredMap().has_value());
            CheckHostAskedToClose(host);
        }
    }

    TEST_CASE("the uninstall dialog closed without OK changes nothing") {
        CleanSlate slate;
        FillProfile(HKEY_CURRENT_USER, L"");
        PutValue(HKEY_LOCAL_MACHINE, kLayoutKey, L"Scancode Map", REG_BINARY,
                 MapBytes({{0x3A, 0x5D}}));
        FakeHost host;
        Run run(L"/U");
        REQUIRE(run.ConfirmInfo());
        HWND dlg = WaitProcessWindow(run.proc.pid, nullptr, kUninstallTitle, 30000);
        REQUIRE(dlg != nullptr);
        HWND macros = FindChild(dlg, L"Button", L"Macros");
        REQUIRE(macros);
        Click(macros);  // chosen, then thought better of
        PostMessageW(dlg, WM_SYSCOMMAND, SC_CLOSE, 0);
        REQUIRE(run.WaitExit());
        CHECK(run.exitCode == 0);
        auto main = GetValue(HKEY_CURRENT_USER, kProduct + L"\\Settings", L"Vantor eingeschaltet");
        REQUIRE(main.has_value());
        CHECK(main->data == std::vector<BYTE>{1});
        CHECK(KeyExists(HKEY_CURRENT_USER, kProduct + L"\\Macros\\AltGr"));
        CHECK(KeyExists(HKEY_CURRENT_USER, kSound));
        CHECK(GetValue(HKEY_CURRENT_USER, kInputMethod, L"EnableHexNumpad").has_value());
        CHECK(StoredMap().has_value());
        WaitFor([] { return false; }, 300);  // give stray posts a chance to arrive
        CHECK(host.received.empty());
    }
}

// ------------------------------------------------------------------ read-key dialog
namespace {

struct ReadKeyHost {
    std::wstring results = e2e::TempPath(L"readkey");
    e2e::Process proc;
    HANDLE next = CreateEventW(nullptr, FALSE, FALSE, L"VtReadKeyHostNext");
    explicit ReadKeyHost(int showings) {
        proc = e2e::Start(L"\"" + e2e::ExeDir() + L"readkey_host.exe\" \"" + results + L"\" " +
                          std::to_wstring(showings));
    }
    ~ReadKeyHost() {
        if (proc.handle && !e2e::WaitExit(proc, 5000)) e2e::Kill(proc);
        if (next) CloseHandle(next);
    }
    // The dialog of the next showing, in front and ready for keys.
    HWND Dialog() {
        HWND dlg = WaitProcessWindow(proc.pid, L"TFrmReadKey", kReadKeyTitle, 30000);
        if (!dlg) return nullptr;
        WaitFor(
            [&] {
                if (GetForegroundWindow() == dlg) return true;
                SetForegroundWindow(dlg);
                return false;
            },
            10000);
        return GetForegroundWindow() == dlg ? dlg : nullptr;
    }
    // Presses the modifiers and holds them until they stay down. Wine takes the key
    // state from the X server once a window has the X focus, which lifts keys that
    // were only injected; a press that fell before that is made again.
    bool Hold(std::initializer_list<std::pair<WORD, bool>> keys) {
        for (int attempt = 0; attempt < 10; ++attempt) {
            for (auto [vk, ext] : keys)
                if (GetAsyncKeyState(vk) >= 0) SendKey(vk, false, ext);
            DWORD since = GetTickCount();
            bool lost = false;
            WaitFor(
                [&] {
                    for (auto [vk, ext] : keys)
                        if (GetAsyncKeyState(vk) >= 0) lost = true;
                    return lost || GetTickCount() - since > 1000;
                },
                2000);
            if (!lost) return true;
        }
        return false;
    }
    std::vector<std::string> Lines(size_t n) {
        WaitFor([&] { return e2e::ReadLines(results).size() >= n; }, 30000);
        return e2e::ReadLines(results);
    }
};

}  // namespace

TEST_SUITE("read-key dialog") {
    TEST_CASE("layout of the dialog") {
        ReadKeyHost host(1);
        REQUIRE(host.proc.handle != nullptr);
        HWND dlg = host.Dialog();
        REQUIRE(dlg != nullptr);
        RECT client;
        GetClientRect(dlg, &client);
        CHECK(client.right == 457);
        CHECK(client.bottom == 130);
        RECT frame, work;
        GetWindowRect(dlg, &frame);
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        CHECK(std::abs((frame.left + frame.right) - (work.left + work.right)) <= 2);
        CHECK(std::abs((frame.top + frame.bottom) - (work.top + work.bottom)) <= 2);
        HWND label = FindChild(dlg, L"Static", L"Drücken Sie die gewünschte Tastenkombination");
        HWND cancel = FindChild(dlg, L"Button", L"Abbrechen");
        REQUIRE(label);
        REQUIRE(cancel);
        RECT l = ClientRectOf(label, dlg), b = ClientRectOf(cancel, dlg);
        CHECK(l.left == 64);
        CHECK(l.top == 32);
        CHECK(l.right - l.left >= 338);  // grows with its text, as an auto-sized label does
        CHECK(l.right <= client.right);
        CHECK(l.bottom - l.top == 19);
        CHECK(b.left == 144);
        CHECK(b.top == 72);
        CHECK(b.right - b.left == 153);
        CHECK(b.bottom - b.top == 42);
        CHECK(GetWindow(dlg, GW_CHILD) == cancel);
        CHECK(SaveScreenshot(dlg, ScreenshotPath(L"setup_readkey")));
        REQUIRE(Click(cancel));
        auto lines = host.Lines(1);
        REQUIRE(lines.size() == 1);
        CHECK(lines[0] == "1 2 00000000");
    }

    TEST_CASE("AltGr+E records 0x80045") {
        // Under Wine right Alt reaches the program as Alt and right Alt without Ctrl;
        // Windows with a German layout adds Ctrl. Both record right Alt alone.
        ReadKeyHost host(1);
        REQUIRE(host.Dialog() != nullptr);
        REQUIRE(host.Hold({{VK_RMENU, true}}));
        SendKey('E', false);
        SendKey('E', true);
        SendKey(VK_RMENU, true, true);
        auto lines = host.Lines(1);
        REQUIRE(lines.size() == 1);
        CHECK(lines[0] == "1 1 00080045");
    }

    TEST_CASE("left Ctrl+Alt+E records 0x60045") {
        ReadKeyHost host(1);
        REQUIRE(host.Dialog() != nullptr);
        REQUIRE(host.Hold({{VK_LCONTROL, false}, {VK_LMENU, false}}));
        SendKey('E', false);
        SendKey('E', true);
        SendKey(VK_LMENU, true);
        SendKey(VK_LCONTROL, true);
        auto lines = host.Lines(1);
        REQUIRE(lines.size() == 1);
        CHECK(lines[0] == "1 1 00060045");
    }

    TEST_CASE("Shift+A records 0x10041, and Cancel in the next showing gives 0") {
        ReadKeyHost host(2);
        REQUIRE(host.Dialog() != nullptr);
        REQUIRE(host.Hold({{VK_LSHIFT, false}}));
        SendKey('A', false);
        SendKey('A', true);
        SendKey(VK_LSHIFT, true);
        auto lines = host.Lines(1);
        REQUIRE(lines.size() == 1);
        CHECK(lines[0] == "1 1 00010041");

        SetEvent(host.next);
        HWND dlg = host.Dialog();
        REQUIRE(dlg != nullptr);
        HWND cancel = FindChild(dlg, L"Button", L"Abbrechen");
        REQUIRE(cancel);
        REQUIRE(Click(cancel));
        lines = host.Lines(2);
        REQUIRE(lines.size() == 2);
        CHECK(lines[1] == "2 2 00000000");
    }
}
