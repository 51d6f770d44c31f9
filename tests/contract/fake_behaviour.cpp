// What the fake does beyond the shared contract: the Windows behaviour that Wine cannot
// show (a German layout, injected input changing the key state, hung windows, refused
// calls) and the scene and recording side the unit tests build on. Native build only.
#ifndef VT_CONTRACT_WIN32

#include <doctest/doctest.h>

#include "FakePlatform.h"

namespace vt {

namespace {

KeyInput Key(std::uint16_t vk, bool down, std::uint32_t extra = 0) {
    KeyInput in;
    in.wVk = vk;
    in.dwFlags = (down ? 0 : KEYEVENTF_KEYUP) | extra;
    return in;
}

bool Down(FakePlatform& f, int vk) {
    return f.GetKeyState(vk) < 0;
}

}  // namespace

TEST_SUITE("fake: layout") {
    TEST_CASE("German key scan: QWERTZ, Shift and AltGr characters") {
        FakePlatform f;
        CHECK(f.VkKeyScanW(u'y') == 0x5A);
        CHECK(f.VkKeyScanW(u'z') == 0x59);
        CHECK(f.VkKeyScanW(u'Z') == 0x159);
        CHECK(f.VkKeyScanW(u'q') == 0x51);
        CHECK(f.VkKeyScanW(u'0') == 0x30);
        CHECK(f.VkKeyScanW(u'#') == 0xBF);
        CHECK(f.VkKeyScanW(u'\\') == 0x6DB);
        CHECK(f.VkKeyScanW(u'@') == 0x651);
        CHECK(f.VkKeyScanW(u'\u20AC') == 0x645);
        CHECK(f.VkKeyScanW(u'\u00E4') == 0xDE);
        CHECK(f.VkKeyScanW(u'\u00D6') == 0x1C0);
        CHECK(f.VkKeyScanW(u'\u00FC') == 0xBA);
        CHECK(f.VkKeyScanW(u'\u00DF') == 0xDB);
        CHECK(f.VkKeyScanW(u'*') == 0x1BB);
        CHECK(f.VkKeyScanW(u'"') == 0x132);
        CHECK(f.VkKeyScanW(u'/') == 0x137);
        CHECK(f.VkKeyScanW(u'=') == 0x130);
        CHECK(f.VkKeyScanW(u'?') == 0x1DB);
        CHECK(f.VkKeyScanW(u'_') == 0x1BD);
        CHECK(f.VkKeyScanW(u'<') == 0xE2);
        CHECK(f.VkKeyScanW(u'>') == 0x1E2);
        CHECK(f.VkKeyScanW(u'|') == 0x6E2);
        CHECK(f.VkKeyScanW(u'{') == 0x637);
        CHECK(f.VkKeyScanW(u'}') == 0x630);
        CHECK(f.VkKeyScanW(u'[') == 0x638);
        CHECK(f.VkKeyScanW(u']') == 0x639);
        CHECK(f.VkKeyScanW(u'~') == 0x6BB);
        CHECK(f.VkKeyScanW(u'^') == 0xDC);  // dead key: its own key
        CHECK(f.VkKeyScanW(u'\n') == 0x20D);
        CHECK(f.VkKeyScanW(u'\x1B') == 0x1B);
        CHECK(f.VkKeyScanW(u'\u00E9') == -1);
        CHECK(f.VkKeyScanW(u'\x03') == -1);
        CHECK(f.VkKeyScanW(u'\u00FF') == -1);
    }

    TEST_CASE("US key scan") {
        FakePlatform f;
        f.UseUsLayout();
        CHECK(f.VkKeyScanW(u'y') == 0x59);
        CHECK(f.VkKeyScanW(u'z') == 0x5A);
        CHECK(f.VkKeyScanW(u'@') == 0x132);
        CHECK(f.VkKeyScanW(u'\\') == 0xDC);
        CHECK(f.VkKeyScanW(u'#') == 0x133);
        CHECK(f.VkKeyScanW(u'\u00E4') == -1);
        f.UseGermanLayout();
        CHECK(f.VkKeyScanW(u'y') == 0x5A);
    }

    TEST_CASE("German scan codes, extended keys with their prefix") {
        FakePlatform f;
        const std::pair<std::uint32_t, std::uint32_t> ex[] = {
            {0xBA, 0x1A},      {0xBB, 0x1B},        {0xBC, 0x33},         {0xBD, 0x35},
            {0xBE, 0x34},      {0xBF, 0x2B},        {0xC0, 0x27},         {0xDB, 0x0C},
            {0xDC, 0x29},      {0xDD, 0x0D},        {0xDE, 0x28},         {0xE2, 0x56},
            {'Z', 0x15},       {'Y', 0x2C},         {VK_NUMLOCK, 0xE045}, {VK_PAUSE, 0xE11D},
            {VK_LWIN, 0xE05B}, {VK_RWIN, 0xE05C},   {VK_RMENU, 0xE038},   {VK_RCONTROL, 0xE01D},
            {0x6F, 0xE035},    {VK_DELETE, 0xE053}, {0x25, 0xE04B},       {VK_NUMPAD0, 0x52},
            {0x69, 0x49},      {VK_DECIMAL, 0x53},  {VK_EREOF, 0x5D},     {VK_ZOOM, 0x62},
            {0xFF, 0},         {VK_F1 + 11, 0x58},  {VK_SCROLL, 0x46},
        };
        for (const auto& e : ex) {
            CAPTURE(e.first);
            CHECK(f.MapVirtualKeyW(e.first, MAPVK_VK_TO_VSC_EX) == e.second);
            CHECK(f.MapVirtualKeyW(e.first, MAPVK_VK_TO_VSC) == (e.second & 0xFF));
        }
        f.UseUsLayout();
        CHECK(f.MapVirtualKeyW('Z', MAPVK_VK_TO_VSC) == 0x2C);
        CHECK(f.MapVirtualKeyW(0xBD, MAPVK_VK_TO_VSC) == 0x0C);
    }

    TEST_CASE("scan codes back to keys") {
        FakePlatform f;
        CHECK(f.MapVirtualKeyW(0x2A, MAPVK_VSC_TO_VK) == VK_SHIFT);
        CHECK(f.MapVirtualKeyW(0x36, MAPVK_VSC_TO_VK_EX) == VK_RSHIFT);
        CHECK(f.MapVirtualKeyW(0xE01D, MAPVK_VSC_TO_VK_EX) == VK_RCONTROL);
        CHECK(f.MapVirtualKeyW(0x1D, MAPVK_VSC_TO_VK_EX) == VK_LCONTROL);
        CHECK(f.MapVirtualKeyW(0xE038, MAPVK_VSC_TO_VK_EX) == VK_RMENU);
        CHECK(f.MapVirtualKeyW(0x15, MAPVK_VSC_TO_VK) == 'Z');
        CHECK(f.MapVirtualKeyW(0x1E, MAPVK_VSC_TO_VK) == 'A');
        CHECK(f.MapVirtualKeyW(0x3A, MAPVK_VSC_TO_VK) == VK_CAPITAL);
        CHECK(f.MapVirtualKeyW(0xE053, MAPVK_VSC_TO_VK_EX) == VK_DELETE);
        CHECK(f.MapVirtualKeyW(0x02, MAPVK_VSC_TO_VK) == '1');
        CHECK(f.MapVirtualKeyW(0x7F, MAPVK_VSC_TO_VK) == 0);
    }

    TEST_CASE("characters of keys, dead keys with bit 31") {
        FakePlatform f;
        CHECK(f.MapVirtualKeyW(0xDB, MAPVK_VK_TO_CHAR) == 0xDF);
        CHECK(f.MapVirtualKeyW(0xDC, MAPVK_VK_TO_CHAR) == 0x8000005Eu);
        CHECK(f.MapVirtualKeyW(0xDD, MAPVK_VK_TO_CHAR) == 0x800000B4u);
        CHECK(f.MapVirtualKeyW(VK_DECIMAL, MAPVK_VK_TO_CHAR) == ',');
        CHECK(f.MapVirtualKeyW(VK_NUMPAD0 + 7, MAPVK_VK_TO_CHAR) == '7');
        CHECK(f.MapVirtualKeyW(VK_RETURN, MAPVK_VK_TO_CHAR) == 0x0D);
        CHECK(f.MapVirtualKeyW(0x5C, MAPVK_VK_TO_CHAR) == 0);
        f.UseUsLayout();
        CHECK(f.MapVirtualKeyW(VK_DECIMAL, MAPVK_VK_TO_CHAR) == '.');
        CHECK(f.MapVirtualKeyW(0xDC, MAPVK_VK_TO_CHAR) == '\\');
    }

    TEST_CASE("key names come from the scene, by scan code and extended bit") {
        FakePlatform f;
        f.keyNameTexts[0x1E] = u"A";
        f.keyNameTexts[0x11D] = u"STRG-RECHTS";
        CHECK(f.GetKeyNameTextW(0x001E0001, 200) == u"A");
        CHECK(f.GetKeyNameTextW(0x011D0001, 200) == u"STRG-RECHTS");
        CHECK(f.GetKeyNameTextW(0x001D0001, 200) == u"");
        CHECK(f.GetKeyNameTextW(static_cast<std::int32_t>(0xC11D0001), 200) == u"STRG-RECHTS");
        CHECK(f.GetKeyNameTextW(0x011D0001, 5) == u"STRG");  // room for the NUL
        CHECK(f.GetKeyNameTextW(0x011D0001, 0) == u"");
    }
}

TEST_SUITE("fake: key state and injection") {
    TEST_CASE("injected keys are recorded and change the key state like Windows") {
        FakePlatform f;
        std::vector<std::uint16_t> seen;
        f.onInject = [&](const KeyInput& in) {
            CHECK(f.injected.size() == seen.size() + 1);  // recorded first
            seen.push_back(in.wVk);
        };
        SUBCASE("a sided Shift sets the generic one; it stays while the other side is held") {
            CHECK(f.SendInput(Key(VK_LSHIFT, true)) == 1);
            CHECK(Down(f, VK_SHIFT));
            CHECK(f.SendInput(Key(VK_RSHIFT, true)) == 1);
            f.SendInput(Key(VK_LSHIFT, false));
            CHECK(Down(f, VK_SHIFT));
            f.SendInput(Key(VK_RSHIFT, false));
            CHECK_FALSE(Down(f, VK_SHIFT));
            CHECK(seen.size() == 4);
        }
        SUBCASE("extended Alt is right Alt") {
            f.SendInput(Key(VK_MENU, true, KEYEVENTF_EXTENDEDKEY));
            CHECK(Down(f, VK_RMENU));
            CHECK(Down(f, VK_MENU));
            CHECK_FALSE(Down(f, VK_LMENU));
            CHECK_FALSE(Down(f, VK_CONTROL));
            CHECK(f.GetAsyncKeyState(VK_MENU) == static_cast<std::int16_t>(0x8000));
            f.SendInput(Key(VK_RMENU, false, KEYEVENTF_EXTENDEDKEY));
            CHECK_FALSE(Down(f, VK_MENU));
            CHECK(f.GetAsyncKeyState(VK_MENU) == 0);
        }
        SUBCASE("generic Ctrl without the extended flag is left Ctrl") {
            f.SendInput(Key(VK_CONTROL, true));
            CHECK(Down(f, VK_LCONTROL));
            CHECK_FALSE(Down(f, VK_RCONTROL));
        }
        SUBCASE("lock keys toggle on the press, not on the release") {
            f.SendInput(Key(VK_CAPITAL, true));
            CHECK(f.GetKeyState(VK_CAPITAL) == static_cast<std::int16_t>(0xFF81));
            f.SendInput(Key(VK_CAPITAL, false));
            CHECK(f.GetKeyState(VK_CAPITAL) == 1);
            f.SendInput(Key(VK_NUMLOCK, true, KEYEVENTF_EXTENDEDKEY));
            f.SendInput(Key(VK_NUMLOCK, false, KEYEVENTF_EXTENDEDKEY));
            f.SendInput(Key(VK_CAPITAL, true));
            f.SendInput(Key(VK_CAPITAL, false));
            CHECK(f.GetKeyState(VK_CAPITAL) == 0);
            CHECK(f.GetKeyState(VK_NUMLOCK) == 1);
        }
        SUBCASE("a key given by scan code alone") {
            KeyInput in;
            in.wScan = 0x1E;
            in.dwFlags = KEYEVENTF_SCANCODE;
            f.SendInput(in);
            CHECK(Down(f, 'A'));
        }
        SUBCASE("a Unicode character touches no key") {
            KeyInput in;
            in.wScan = u'\u20AC';
            in.dwFlags = KEYEVENTF_UNICODE;
            std::uint8_t before[256], after[256];
            f.GetKeyboardState(before);
            f.SendInput(in);
            f.GetKeyboardState(after);
            CHECK(std::equal(before, before + 256, after));
            CHECK(f.injected.size() == 1);
        }
        SUBCASE("keybd_event is recorded as such") {
            f.keybd_event(0x41, 0x1E, 0, 7);
            REQUIRE(f.injected.size() == 1);
            CHECK(f.injected[0].viaKeybdEvent);
            CHECK(f.injected[0].input.wScan == 0x1E);
            CHECK(f.injected[0].input.dwExtraInfo == 7);
            CHECK(Down(f, 'A'));
            CHECK(seen == std::vector<std::uint16_t>{0x41});
        }
    }

    TEST_CASE("AltGr's added left Ctrl, when asked for") {
        FakePlatform f;
        f.altGrAddsLeftCtrl = true;
        std::vector<KeyInput> seen;
        f.onInject = [&](const KeyInput& in) { seen.push_back(in); };
        f.SendInput(Key(VK_RMENU, true, KEYEVENTF_EXTENDEDKEY));
        CHECK(Down(f, VK_CONTROL));
        CHECK(Down(f, VK_LCONTROL));
        CHECK(Down(f, VK_RMENU));
        f.SendInput(Key(VK_RMENU, false, KEYEVENTF_EXTENDEDKEY));
        CHECK_FALSE(Down(f, VK_CONTROL));
        REQUIRE(seen.size() == 4);
        CHECK(seen[0].wVk == VK_LCONTROL);
        CHECK(seen[0].wScan == 0x21D);
        CHECK(seen[1].wVk == VK_RMENU);
        CHECK(seen[2].wVk == VK_LCONTROL);
        CHECK(seen[2].dwFlags == KEYEVENTF_KEYUP);
        CHECK(f.injected.size() == 2);
        f.UseUsLayout();
        seen.clear();
        f.SendInput(Key(VK_RMENU, true, KEYEVENTF_EXTENDEDKEY));
        CHECK(seen.size() == 1);
        CHECK_FALSE(Down(f, VK_CONTROL));
    }

    TEST_CASE("held keys set both tables and the generic modifier") {
        FakePlatform f;
        f.HoldKey(VK_RSHIFT);
        CHECK(Down(f, VK_SHIFT));
        CHECK((f.asyncState[VK_SHIFT] & 0x80) != 0);
        f.HoldKey(VK_SHIFT, false);
        CHECK_FALSE(Down(f, VK_SHIFT));
        CHECK_FALSE(Down(f, VK_RSHIFT));
        f.HoldKey(VK_MENU);
        CHECK(Down(f, VK_LMENU));
        f.SetToggle(VK_SCROLL, true);
        CHECK(f.GetKeyState(VK_SCROLL) == 1);
        f.SetToggle(VK_SCROLL, false);
        CHECK(f.GetKeyState(VK_SCROLL) == 0);
    }
}

TEST_SUITE("fake: registry scene") {
    TEST_CASE("scene helpers store what the calls read") {
        FakePlatform f;
        f.SetRegString(HKEY_CURRENT_USER, u"Software\\A", u"Text", u"hi");
        f.SetRegDword(HKEY_CURRENT_USER, u"Software\\A", u"Num", 0x01020304);
        f.SetRegBinary(HKEY_CURRENT_USER, u"software\\a", u"Bin", {9});
        auto text = f.GetRegValue(HKEY_CURRENT_USER, u"SOFTWARE\\A", u"text");
        REQUIRE(text);
        CHECK(text->type == REG_SZ);
        CHECK(text->data == std::vector<std::uint8_t>{'h', 0, 'i', 0, 0, 0});
        auto num = f.GetRegValue(HKEY_CURRENT_USER, u"Software\\A", u"Num");
        REQUIRE(num);
        CHECK(num->data == std::vector<std::uint8_t>{4, 3, 2, 1});
        CHECK_FALSE(f.GetRegValue(HKEY_CURRENT_USER, u"Software\\A", u"Missing"));
        CHECK_FALSE(f.GetRegValue(HKEY_USERS, u"Software\\A", u"Text"));  // roots apart
        CHECK(f.RegKeyExists(HKEY_CURRENT_USER, u"Software\\A"));
        CHECK_FALSE(f.RegKeyExists(HKEY_CURRENT_USER, u"Software\\B"));
        f.CreateRegKey(HKEY_LOCAL_MACHINE, u"SYSTEM\\X\\Y");
        CHECK(f.RegKeyExists(HKEY_LOCAL_MACHINE, u"system\\x\\y"));
    }

    TEST_CASE("open handles are tracked and every call is counted") {
        FakePlatform f;
        HKey a = 0, b = 0;
        REQUIRE(f.RegCreateKeyExW(HKEY_CURRENT_USER, u"K", KEY_ALL_ACCESS, &a, nullptr) == 0);
        REQUIRE(f.RegOpenKeyExW(HKEY_CURRENT_USER, u"K", KEY_READ, &b) == 0);
        CHECK(a != b);
        CHECK(f.OpenRegKeys() == 2);
        f.RegCloseKey(a);
        CHECK(f.OpenRegKeys() == 1);
        f.RegCloseKey(b);
        CHECK(f.OpenRegKeys() == 0);
        CHECK(f.RegOpenKeyExW(HKEY_CURRENT_USER, u"Nope", KEY_READ, &a) == ERROR_FILE_NOT_FOUND);
        CHECK(f.OpenRegKeys() == 0);
        CHECK(f.counts.registry == 5);
    }

    TEST_CASE("a protected key cannot be deleted or opened for writing") {
        FakePlatform f;
        f.ProtectRegKey(HKEY_LOCAL_MACHINE, u"SYSTEM\\Locked");
        HKey key = 0;
        CHECK(f.RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"SYSTEM\\Locked") == ERROR_ACCESS_DENIED);
        CHECK(f.RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\Locked", KEY_ALL_ACCESS, &key) ==
              ERROR_ACCESS_DENIED);
        CHECK(f.RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\Locked", KEY_WRITE, &key, nullptr) ==
              ERROR_ACCESS_DENIED);
        CHECK(f.RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\Locked\\Sub", KEY_ALL_ACCESS, &key,
                                nullptr) == ERROR_ACCESS_DENIED);
        REQUIRE(f.RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\Locked", KEY_READ, &key) ==
                ERROR_SUCCESS);
        CHECK(f.RegCloseKey(key) == ERROR_SUCCESS);
        CHECK(f.OpenRegKeys() == 0);
        CHECK(f.RegKeyExists(HKEY_LOCAL_MACHINE, u"SYSTEM\\Locked"));
    }

    TEST_CASE("a key opened without query rights cannot be read or listed") {
        FakePlatform f;
        f.SetRegBinary(HKEY_CURRENT_USER, u"K\\Sub", u"v", {1});
        HKey key = 0;
        REQUIRE(f.RegOpenKeyExW(HKEY_CURRENT_USER, u"K", KEY_SET_VALUE, &key) == 0);
        std::uint32_t size = 0;
        CHECK(f.RegQueryValueExW(key, u"v", nullptr, nullptr, &size) == ERROR_ACCESS_DENIED);
        std::u16string name;
        CHECK(f.RegEnumKeyExW(key, 0, &name) == ERROR_ACCESS_DENIED);
        f.RegCloseKey(key);
    }

    TEST_CASE("a predefined root is never closed or deleted") {
        FakePlatform f;
        CHECK(f.RegCloseKey(HKEY_CURRENT_USER) == ERROR_SUCCESS);
        CHECK(f.RegCloseKey(HKEY_CURRENT_USER) == ERROR_SUCCESS);
        CHECK(f.RegDeleteKeyW(HKEY_CURRENT_USER, u"") == ERROR_ACCESS_DENIED);
        CHECK(f.RegCloseKey(0x1234) == ERROR_INVALID_HANDLE);
    }
}

TEST_SUITE("fake: windows") {
    TEST_CASE("a hung window times out; the call leaves the result alone") {
        FakePlatform f;
        int calls = 0;
        HWnd w = f.AddWindow(u"Vantor32", u"Vantor32", [&](HWnd, std::uint32_t, WParam, LParam) {
            ++calls;
            return LResult{5};
        });
        f.SetHung(w, true);
        LResult r = 99;
        CHECK_FALSE(f.SendMessageTimeoutW(w, WM_USER, 1, 2, SMTO_ABORTIFHUNG, 100, &r));
        CHECK(r == 99);
        CHECK(calls == 0);
        CHECK(f.GetLastError() == 1460);
        REQUIRE(f.sent.size() == 1);
        CHECK(f.sent[0].wParam == 1);
        f.SetHung(w, false);
        CHECK(f.SendMessageTimeoutW(w, WM_USER, 1, 2, SMTO_ABORTIFHUNG, 100, &r));
        CHECK(r == 5);
        CHECK(f.counts.messages == 2);
    }

    TEST_CASE("messages are recorded only when a window takes them") {
        FakePlatform f;
        HWnd w = f.AddWindow(u"C", u"T");
        CHECK(f.SendMessageW(w, WM_USER, 0, 0) == 0);  // no handler
        CHECK(f.PostMessageW(w, WM_CLOSE, 0, 0));
        CHECK_FALSE(f.PostMessageW(w + 1, WM_CLOSE, 0, 0));
        CHECK(f.SendMessageW(w + 1, WM_USER, 0, 0) == 0);
        CHECK(f.sent.size() == 1);
        REQUIRE(f.posted.size() == 1);
        CHECK(f.posted[0].msg == WM_CLOSE);
        CHECK(f.counts.messages == 4);
        CHECK(f.FindWindowW(u"C", u"T") == w);
        CHECK(f.FindWindowW(u"C", u"") == 0);
        CHECK(f.counts.windows == 2);
    }

    TEST_CASE("removing a window removes its children and the focus") {
        FakePlatform f;
        HWnd top = f.AddWindow(u"Top", u"Top");
        HWnd child = f.AddWindow(u"Edit", u"", nullptr, top);
        HWnd grandchild = f.AddWindow(u"Btn", u"", nullptr, child);
        f.focus = grandchild;
        CHECK(f.GetFocus() == grandchild);
        CHECK(f.IsChild(top, grandchild));
        CHECK(f.GetParent(grandchild) == child);
        f.RemoveWindow(top);
        CHECK(f.GetParent(grandchild) == 0);
        CHECK_FALSE(f.IsChild(top, grandchild));
        CHECK(f.GetFocus() == 0);
    }

    TEST_CASE("hooks, message boxes and beeps are recorded") {
        FakePlatform f;
        HHook a = f.SetWindowsHookExW(WH_KEYBOARD, 0x400000, 0);
        HHook b = f.SetWindowsHookExW(WH_KEYBOARD, 0x400000, 0);
        CHECK(a != 0);
        CHECK(b != a);
        CHECK(f.hooks.size() == 2);
        CHECK(f.UnhookWindowsHookEx(a));
        CHECK_FALSE(f.UnhookWindowsHookEx(a));
        CHECK(f.GetLastError() == 1404);
        f.failSetHook = true;
        CHECK(f.SetWindowsHookExW(WH_KEYBOARD, 0x400000, 0) == 0);
        f.nextHookResult = 1;
        CHECK(f.CallNextHookEx(b, HC_ACTION, 0x41, 0x1E0001) == 1);
        REQUIRE(f.nextHookCalls.size() == 1);
        CHECK(f.nextHookCalls[0].lParam == 0x1E0001);
        f.messageBoxResult = 2;
        CHECK(f.MessageBoxW(0, u"Text", u"Vantor32", MB_OK) == 2);
        REQUIRE(f.messageBoxes.size() == 1);
        CHECK(f.messageBoxes[0].caption == u"Vantor32");
        CHECK(f.MessageBeep(MB_ICONHAND));
        CHECK(f.messageBeeps == std::vector<std::uint32_t>{MB_ICONHAND});
    }
}

TEST_SUITE("fake: system") {
    TEST_CASE("file mapping failures on request, handles and views counted") {
        FakePlatform f;
        Handle h = f.CreateFileMappingW(1024, u"SHMEM_1024");
        REQUIRE(h != 0);
        CHECK(f.OpenHandles() == 1);
        f.failMapView = true;
        CHECK(f.MapViewOfFile(h) == nullptr);
        CHECK(f.GetLastError() == 8);
        f.failMapView = false;
        void* v = f.MapViewOfFile(h);
        REQUIRE(v != nullptr);
        CHECK(f.MappedViews() == 1);
        f.failUnmapView = true;
        CHECK_FALSE(f.UnmapViewOfFile(v));
        f.failUnmapView = false;
        CHECK(f.MapViewOfFile(h) == v);  // views of one mapping share its memory
        CHECK(f.MappedViews() == 2);
        CHECK(f.UnmapViewOfFile(v));
        CHECK(f.MappedViews() == 1);
        CHECK(f.UnmapViewOfFile(v));
        CHECK(f.MappedViews() == 0);
        CHECK_FALSE(f.UnmapViewOfFile(v));
        f.failCloseHandle = true;
        CHECK_FALSE(f.CloseHandle(h));
        f.failCloseHandle = false;
        CHECK(f.CloseHandle(h));
        CHECK(f.OpenHandles() == 0);
        CHECK(f.CreateFileMappingW(0, u"Empty") == 0);
        CHECK(f.GetLastError() == ERROR_INVALID_PARAMETER);
    }

    TEST_CASE("a mutex held elsewhere is seen as existing") {
        FakePlatform f;
        f.mutexes[u"VtInst"] = 1;
        Handle h = f.CreateMutexW(true, u"VtInst");
        CHECK(h != 0);
        CHECK(f.GetLastError() == ERROR_ALREADY_EXISTS);
        CHECK(f.mutexes[u"VtInst"] == 2);
        CHECK(f.CloseHandle(h));
        CHECK(f.mutexes[u"VtInst"] == 1);
    }

    TEST_CASE("the clock moves only by Sleep and Beep") {
        FakePlatform f;
        f.tickCount = 100;
        f.Sleep(0);
        f.Sleep(25);
        CHECK(f.GetTickCount() == 125);
        CHECK(f.sleeps == std::vector<std::uint32_t>{0, 25});
        CHECK(f.Beep(440, 200));
        REQUIRE(f.beepTones.size() == 1);
        CHECK(f.beepTones[0].freq == 440);
        CHECK(f.beepTones[0].duration == 200);
        CHECK(f.beepTones[0].at == 125);
        CHECK(f.GetTickCount() == 325);
        CHECK_FALSE(f.Beep(20, 100));  // below the range Windows accepts
        CHECK(f.beepTones.size() == 1);
        CHECK(f.GetTickCount() == 325);
    }

    TEST_CASE("German locale by default") {
        FakePlatform f;
        CHECK(f.GetLocaleInfoW(LOCALE_SLONGDATE) == u"dddd, d. MMMM yyyy");
        CHECK(f.GetLocaleInfoW(LOCALE_STIMEFORMAT) == u"HH:mm:ss");
        CHECK(f.GetLocaleInfoW(LOCALE_SDAYNAME1) == u"Montag");
        CHECK(f.GetLocaleInfoW(LOCALE_SDAYNAME1 + 6) == u"Sonntag");
        CHECK(f.GetLocaleInfoW(LOCALE_SABBREVDAYNAME1 + 2) == u"Mi");
        CHECK(f.GetLocaleInfoW(LOCALE_SMONTHNAME1 + 2) == u"M\u00E4rz");
        CHECK(f.GetLocaleInfoW(LOCALE_SABBREVMONTHNAME1 + 11) == u"Dez");
        CHECK(f.GetLocaleInfoW(LOCALE_S1159) == u"");
        CHECK(f.GetLocaleInfoW(0x7777) == u"");
        CHECK(f.GetLastError() == 1004);
    }

    TEST_CASE("program starts, sounds, debug output and ports are recorded") {
        FakePlatform f;
        ShellExecuteInfo info;
        info.lpFile = u"notepad.exe";
        CHECK(f.ShellExecuteExW(info));
        f.shellExecuteResult = [](const ShellExecuteInfo& i) { return i.lpFile != u"bad.exe"; };
        info.lpFile = u"bad.exe";
        CHECK_FALSE(f.ShellExecuteExW(info));
        REQUIRE(f.shellExecutes.size() == 2);
        CHECK(f.shellExecutes[0].lpFile == u"notepad.exe");
        CHECK(f.PlaySoundW(u"C:\\a.wav", SND_FILENAME));
        CHECK(f.playedSounds.size() == 1);
        f.OutputDebugStringW(u"line");
        CHECK(f.debugOutput == std::vector<std::u16string>{u"line"});
        CHECK(f.counts.debugLines == 1);
        f.ports[0x61] = 0x30;
        CHECK(f.ReadPort(0x61) == 0x30);
        f.WritePort(0x61, 0x33);
        CHECK(f.ReadPort(0x61) == 0x33);
        CHECK(f.portWrites.size() == 1);
        CHECK_FALSE(f.CanAccessPorts());
    }

    TEST_CASE("environment names match without regard to case") {
        FakePlatform f;
        f.environment[u"ProgramFiles"] = u"C:\\Programme";
        std::u16string v;
        CHECK(f.GetEnvironmentVariableW(u"PROGRAMFILES", &v, 260) == 12);
        CHECK(v == u"C:\\Programme");
    }
}

}  // namespace vt

#endif
