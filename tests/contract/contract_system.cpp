// Kernel, window and keyboard behaviour the logic relies on, pinned for the fake and the
// real platform. Only what holds on Windows and under Wine's default (US) layout.
#include <doctest/doctest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <vector>

#include "ContractScene.h"

namespace vt::contract {

namespace {

constexpr long kErrorInvalidWindowHandle = 1400;

std::vector<KeyInput> Tap(std::uint16_t vk) {
    KeyInput down;
    down.wVk = vk;
    down.wScan = static_cast<std::uint16_t>(Plat().MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    KeyInput up = down;
    up.dwFlags = KEYEVENTF_KEYUP;
    return {down, up};
}

std::vector<KeyInput> Join(std::initializer_list<std::vector<KeyInput>> parts) {
    std::vector<KeyInput> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

std::vector<KeyInput> Shifted(std::uint16_t vk) {
    std::vector<KeyInput> shift = Tap(VK_SHIFT);
    return Join({{shift[0]}, Tap(vk), {shift[1]}});
}

// Closes what a case mapped or opened, also when a check fails.
struct Mapped {
    std::vector<Handle> handles;
    std::vector<void*> views;
    ~Mapped() {
        for (void* v : views) CHECK(Plat().UnmapViewOfFile(v));
        for (Handle h : handles) CHECK(Plat().CloseHandle(h));
    }
    Handle Keep(Handle h) {
        if (h) handles.push_back(h);
        return h;
    }
    std::uint8_t* View(Handle h) {
        void* v = Plat().MapViewOfFile(h);
        if (v) views.push_back(v);
        return static_cast<std::uint8_t*>(v);
    }
};

}  // namespace

TEST_SUITE("file mappings") {
    TEST_CASE("a new mapping is zero-filled and reports no previous object") {
        Mapped m;
        Handle h = m.Keep(Plat().CreateFileMappingW(1024, u"VtContract_Fresh"));
        REQUIRE(h != 0);
        CHECK(Plat().GetLastError() == 0);
        std::uint8_t* view = m.View(h);
        REQUIRE(view != nullptr);
        bool allZero = true;
        for (int i = 0; i < 1024; ++i) allZero = allZero && view[i] == 0;
        CHECK(allZero);
    }

    TEST_CASE("opening by name reaches the same memory") {
        Mapped m;
        Handle created = m.Keep(Plat().CreateFileMappingW(1024, u"VtContract_Shared"));
        REQUIRE(created != 0);
        Handle opened = m.Keep(Plat().OpenFileMappingW(u"VtContract_Shared"));
        REQUIRE(opened != 0);
        std::uint8_t* a = m.View(created);
        std::uint8_t* b = m.View(opened);
        REQUIRE(a != nullptr);
        REQUIRE(b != nullptr);
        std::memcpy(a, "hello", 5);
        CHECK(std::memcmp(b, "hello", 5) == 0);
        b[1023] = 0x5A;
        CHECK(a[1023] == 0x5A);
    }

    TEST_CASE("creating an existing name gives a handle to it and already-exists") {
        Mapped m;
        Handle first = m.Keep(Plat().CreateFileMappingW(1024, u"VtContract_Twice"));
        REQUIRE(first != 0);
        std::uint8_t* a = m.View(first);
        REQUIRE(a != nullptr);
        a[0] = 42;
        Handle second = m.Keep(Plat().CreateFileMappingW(1024, u"VtContract_Twice"));
        REQUIRE(second != 0);
        CHECK(Plat().GetLastError() == ERROR_ALREADY_EXISTS);
        std::uint8_t* b = m.View(second);
        REQUIRE(b != nullptr);
        CHECK(b[0] == 42);  // not cleared
    }

    TEST_CASE("opening a missing name fails with file-not-found") {
        CHECK(Plat().OpenFileMappingW(u"VtContract_NoSuchBlock") == 0);
        CHECK(Plat().GetLastError() == ERROR_FILE_NOT_FOUND);
    }

    TEST_CASE("the name goes away with the last handle and view") {
        {
            Mapped m;
            REQUIRE(m.Keep(Plat().CreateFileMappingW(64, u"VtContract_Gone")) != 0);
            REQUIRE(m.View(m.handles[0]) != nullptr);
        }
        CHECK(Plat().OpenFileMappingW(u"VtContract_Gone") == 0);
        CHECK(Plat().GetLastError() == ERROR_FILE_NOT_FOUND);
    }

    TEST_CASE("a view of a mapping is committed and writable for the whole size asked") {
        Mapped m;
        Handle h = m.Keep(Plat().CreateFileMappingW(1024, u"VtContract_Committed"));
        REQUIRE(h != 0);
        std::uint8_t* view = m.View(h);
        REQUIRE(view != nullptr);
        MemoryRegion region;
        REQUIRE(Plat().VirtualQuery(view, &region));
        CHECK(region.baseAddress == reinterpret_cast<std::uintptr_t>(view));
        CHECK(region.state == MEM_COMMIT);
        CHECK(region.protect == PAGE_READWRITE);
        CHECK(region.regionSize >= 1024);
        // a smaller mapping still has a view of a whole page
        Handle small = m.Keep(Plat().CreateFileMappingW(100, u"VtContract_Small"));
        REQUIRE(small != 0);
        std::uint8_t* smallView = m.View(small);
        REQUIRE(smallView != nullptr);
        REQUIRE(Plat().VirtualQuery(smallView, &region));
        CHECK(region.state == MEM_COMMIT);
        CHECK(region.regionSize >= 4096);
    }

    TEST_CASE("a view of a mapping made with SEC_RESERVE reports reserved pages") {
        REQUIRE(contract::CreateSceneReservedMapping(1024, u"VtContract_Reserved"));
        Mapped m;
        Handle h = m.Keep(Plat().OpenFileMappingW(u"VtContract_Reserved"));
        REQUIRE(h != 0);
        std::uint8_t* view = m.View(h);
        REQUIRE(view != nullptr);  // maps without an error, though nothing can be written
        MemoryRegion region;
        REQUIRE(Plat().VirtualQuery(view, &region));
        CHECK(region.state == MEM_RESERVE);
    }

    TEST_CASE("releasing what is not there fails") {
        int notAView = 0;
        CHECK_FALSE(Plat().UnmapViewOfFile(&notAView));
        CHECK_FALSE(Plat().CloseHandle(0));
        CHECK(Plat().MapViewOfFile(0) == nullptr);
    }
}

TEST_SUITE("access token") {
    TEST_CASE("the process token lists an enabled Administrators group; its buffer protocol") {
        Handle token = 0;
        // a thread that does not impersonate has no token of its own
        CHECK_FALSE(Plat().OpenThreadToken(true, &token));
        CHECK(Plat().GetLastError() == static_cast<std::uint32_t>(ERROR_NO_TOKEN));
        REQUIRE(Plat().OpenProcessToken(&token));
        std::vector<TokenGroup> groups;
        std::uint32_t needed = 0;
        CHECK_FALSE(Plat().GetTokenInformation_Groups(token, 16, &groups, &needed));
        CHECK(Plat().GetLastError() == static_cast<std::uint32_t>(ERROR_INSUFFICIENT_BUFFER));
        CHECK(needed > 16);
        REQUIRE(Plat().GetTokenInformation_Groups(token, needed, &groups, &needed));
        const std::vector<std::uint8_t> admins = {1,    2, 0, 0, 0,    0,    0, 5,
                                                  0x20, 0, 0, 0, 0x20, 0x02, 0, 0};
        bool found = false;
        for (const TokenGroup& g : groups)
            if (g.sid == admins) {
                found = true;
                CHECK((g.attributes & SE_GROUP_ENABLED) != 0);
                CHECK((g.attributes & SE_GROUP_USE_FOR_DENY_ONLY) == 0);
            }
        CHECK(found);
        CHECK(Plat().CloseHandle(token));
    }
}

TEST_SUITE("mutex") {
    TEST_CASE("a second mutex of one name reports already-exists and still gives a handle") {
        Handle first = Plat().CreateMutexW(true, u"VtContractMutex");
        REQUIRE(first != 0);
        CHECK(Plat().GetLastError() == 0);
        Handle second = Plat().CreateMutexW(true, u"VtContractMutex");
        CHECK(second != 0);
        CHECK(Plat().GetLastError() == ERROR_ALREADY_EXISTS);
        CHECK(Plat().CloseHandle(second));
        CHECK(Plat().CloseHandle(first));
        Handle again = Plat().CreateMutexW(true, u"VtContractMutex");
        CHECK(again != 0);
        CHECK(Plat().GetLastError() == 0);
        CHECK(Plat().CloseHandle(again));
    }

    TEST_CASE("a free mutex is taken at once, again by its owner, and released as often") {
        Handle lock = Plat().CreateMutexW(false, u"VtContractLock");
        REQUIRE(lock != 0);
        CHECK(Plat().WaitForSingleObject(lock, 0) == WAIT_OBJECT_0);
        CHECK(Plat().WaitForSingleObject(lock, 0) == WAIT_OBJECT_0);
        CHECK(Plat().ReleaseMutex(lock));
        CHECK(Plat().ReleaseMutex(lock));
        CHECK_FALSE(Plat().ReleaseMutex(lock));
        CHECK(Plat().GetLastError() == static_cast<std::uint32_t>(ERROR_NOT_OWNER));
        CHECK(Plat().CloseHandle(lock));
    }
}

TEST_SUITE("environment") {
    TEST_CASE("the environment buffer protocol") {
        const std::u16string name = u"VT_CONTRACT_VAR";
        const std::u16string value = u"abcdef";
        SetSceneEnvironment(name, &value);
        std::u16string out = u"untouched";

        SUBCASE("a buffer with room for the terminator: the length without it") {
            CHECK(Plat().GetEnvironmentVariableW(name, &out, 7) == 6);
            CHECK(out == value);
        }
        SUBCASE("a buffer one too small: the size with the terminator, nothing copied") {
            CHECK(Plat().GetEnvironmentVariableW(name, &out, 6) == 7);
            CHECK(out == u"untouched");
        }
        SUBCASE("no buffer: the size needed") {
            CHECK(Plat().GetEnvironmentVariableW(name, &out, 0) == 7);
        }
        SUBCASE("names are case-insensitive") {
            CHECK(Plat().GetEnvironmentVariableW(u"vt_contract_var", &out, 100) == 6);
            CHECK(out == value);
        }
        SUBCASE("an empty value reads as 0") {
            const std::u16string empty;
            SetSceneEnvironment(name, &empty);
            CHECK(Plat().GetEnvironmentVariableW(name, &out, 100) == 0);
        }
        SUBCASE("an unset variable: 0 and envvar-not-found") {
            SetSceneEnvironment(name, nullptr);
            CHECK(Plat().GetEnvironmentVariableW(name, &out, 100) == 0);
            CHECK(Plat().GetLastError() == ERROR_ENVVAR_NOT_FOUND);
            CHECK(out == u"untouched");
        }
        SetSceneEnvironment(name, nullptr);
    }
}

TEST_SUITE("clock") {
    TEST_CASE("Sleep lets the tick count advance") {
        std::uint32_t before = Plat().GetTickCount();
        Plat().Sleep(50);
        std::uint32_t after = Plat().GetTickCount();
        // the tick count moves in steps of up to 16 ms
        CHECK(after - before >= 34);
    }

    TEST_CASE("local time is a plausible date") {
        SystemTime st;
        Plat().GetLocalTime(&st);
        CHECK(st.wYear >= 2000);
        CHECK(st.wMonth >= 1);
        CHECK(st.wMonth <= 12);
        CHECK(st.wDay >= 1);
        CHECK(st.wDay <= 31);
        CHECK(st.wDayOfWeek <= 6);
    }

    TEST_CASE("the locale names the days and months") {
        CHECK_FALSE(Plat().GetLocaleInfoW(LOCALE_SLONGDATE).empty());
        CHECK_FALSE(Plat().GetLocaleInfoW(LOCALE_STIMEFORMAT).empty());
        for (std::uint32_t i = 0; i < 7; ++i)
            CHECK_FALSE(Plat().GetLocaleInfoW(LOCALE_SDAYNAME1 + i).empty());
        for (std::uint32_t i = 0; i < 12; ++i)
            CHECK_FALSE(Plat().GetLocaleInfoW(LOCALE_SMONTHNAME1 + i).empty());
    }

    TEST_CASE("the program's path is a full path that ends in its file name") {
        const std::u16string path = Plat().GetModuleFileNameW();
        REQUIRE(path.size() > 7);
        CHECK(path[1] == u':');
        CHECK(path[2] == u'\\');
        std::u16string ext = path.substr(path.size() - 4);
        for (char16_t& c : ext) c = static_cast<char16_t>(c >= u'A' && c <= u'Z' ? c + 32 : c);
        CHECK(ext == u".exe");
    }

    TEST_CASE("the platform is NT") {
        CHECK(Plat().GetVersionExW_PlatformId() == 2);
    }
}

TEST_SUITE("windows") {
    struct Scene {
        HWnd wnd = 0, child = 0;
        Scene() {
            wnd = CreateSceneWindow(u"VtContractWindow", u"Vantor Contract", WM_USER + 7, 0x1234);
            REQUIRE(wnd != 0);
            child = CreateSceneChild(wnd, u"VtContractChild", u"Child");
            REQUIRE(child != 0);
        }
        ~Scene() {
            if (wnd) DestroySceneWindow(wnd);
        }
    };

    TEST_CASE("FindWindowW needs class and title to match") {
        Scene s;
        CHECK(Plat().FindWindowW(u"VtContractWindow", u"Vantor Contract") == s.wnd);
        CHECK(Plat().FindWindowW(u"vtcontractwindow", u"VANTOR CONTRACT") == s.wnd);
        CHECK(Plat().FindWindowW(u"VtContractWindow", u"Vantor") == 0);
        CHECK(Plat().FindWindowW(u"VtContractWindow", u"Vantor Contract 2") == 0);
        CHECK(Plat().FindWindowW(u"VtOtherWindow", u"Vantor Contract") == 0);
    }

    TEST_CASE("FindWindowW finds top-level windows only") {
        Scene s;
        CHECK(Plat().FindWindowW(u"VtContractChild", u"Child") == 0);
    }

    TEST_CASE("a destroyed window is not found") {
        Scene s;
        DestroySceneWindow(s.wnd);
        HWnd gone = s.wnd;
        s.wnd = 0;
        CHECK(Plat().FindWindowW(u"VtContractWindow", u"Vantor Contract") == 0);
        LResult result = 77;
        CHECK_FALSE(
            Plat().SendMessageTimeoutW(gone, WM_USER + 7, 0, 0, SMTO_ABORTIFHUNG, 1000, &result));
        CHECK(result == 77);
        CHECK(Plat().GetLastError() == kErrorInvalidWindowHandle);
        CHECK_FALSE(Plat().PostMessageW(gone, WM_USER, 0, 0));
        CHECK(Plat().SendMessageW(gone, WM_USER + 7, 0, 0) == 0);
    }

    TEST_CASE("messages reach the window procedure and return its answer") {
        Scene s;
        CHECK(Plat().SendMessageW(s.wnd, WM_USER + 7, 1, 2) == 0x1234);
        LResult result = 0;
        CHECK(
            Plat().SendMessageTimeoutW(s.wnd, WM_USER + 7, 0, 0, SMTO_ABORTIFHUNG, 1000, &result));
        CHECK(result == 0x1234);
        CHECK(Plat().PostMessageW(s.wnd, WM_USER + 8, 0, 0));
    }

    TEST_CASE("parent and child links") {
        Scene s;
        CHECK(Plat().GetParent(s.child) == s.wnd);
        CHECK(Plat().GetParent(s.wnd) == 0);
        CHECK(Plat().IsChild(s.wnd, s.child));
        CHECK_FALSE(Plat().IsChild(s.child, s.wnd));
    }

    TEST_CASE("unhooking an unknown hook fails") {
        CHECK_FALSE(Plat().UnhookWindowsHookEx(0));
        CHECK_FALSE(Plat().UnhookWindowsHookEx(0x7654320));
    }
}

TEST_SUITE("keyboard") {
    // Wine's key tables come from the X server and differ from Windows in places: the
    // navigation block comes without the E0 prefix, the keypad digits have no scan code.
    // The fake follows Windows there, so those keys are not pinned here.
    TEST_CASE("scan codes of keys placed alike on both layouts") {
        CHECK(Plat().MapVirtualKeyW(VK_CAPITAL, MAPVK_VK_TO_VSC_EX) == 0x3A);
        CHECK(Plat().MapVirtualKeyW(VK_CAPITAL, MAPVK_VK_TO_VSC) == 0x3A);
        CHECK(Plat().MapVirtualKeyW('A', MAPVK_VK_TO_VSC) == 0x1E);
        CHECK(Plat().MapVirtualKeyW(VK_LSHIFT, MAPVK_VK_TO_VSC) == 0x2A);
        CHECK(Plat().MapVirtualKeyW(VK_RSHIFT, MAPVK_VK_TO_VSC) == 0x36);
        CHECK(Plat().MapVirtualKeyW(VK_SHIFT, MAPVK_VK_TO_VSC) == 0x2A);
        CHECK(Plat().MapVirtualKeyW(VK_MENU, MAPVK_VK_TO_VSC) == 0x38);
        CHECK(Plat().MapVirtualKeyW(VK_RMENU, MAPVK_VK_TO_VSC_EX) == 0xE038);
        CHECK(Plat().MapVirtualKeyW(VK_RCONTROL, MAPVK_VK_TO_VSC_EX) == 0xE01D);
        CHECK(Plat().MapVirtualKeyW(VK_F1, MAPVK_VK_TO_VSC) == 0x3B);
        CHECK(Plat().MapVirtualKeyW(VK_ADD, MAPVK_VK_TO_VSC) == 0x4E);
        CHECK(Plat().MapVirtualKeyW(VK_SCROLL, MAPVK_VK_TO_VSC) == 0x46);
    }

    TEST_CASE("characters of unshifted keys") {
        CHECK(Plat().MapVirtualKeyW('A', MAPVK_VK_TO_CHAR) == 'A');
        CHECK(Plat().MapVirtualKeyW('5', MAPVK_VK_TO_CHAR) == '5');
        CHECK(Plat().MapVirtualKeyW(VK_SPACE, MAPVK_VK_TO_CHAR) == ' ');
        CHECK(Plat().MapVirtualKeyW(VK_ADD, MAPVK_VK_TO_CHAR) == '+');
        CHECK(Plat().MapVirtualKeyW(VK_F1, MAPVK_VK_TO_CHAR) == 0);
        CHECK(Plat().MapVirtualKeyW(VK_LWIN, MAPVK_VK_TO_CHAR) == 0);
    }

    TEST_CASE("key scan of characters placed alike on both layouts") {
        CHECK(Plat().VkKeyScanW(u'a') == 0x41);
        CHECK(Plat().VkKeyScanW(u'A') == 0x141);
        CHECK(Plat().VkKeyScanW(u'1') == 0x31);
        CHECK(Plat().VkKeyScanW(u'!') == 0x131);
        CHECK(Plat().VkKeyScanW(u' ') == 0x20);
        CHECK(Plat().VkKeyScanW(u'\r') == 0x0D);
        CHECK(Plat().VkKeyScanW(u'\t') == 0x09);
        CHECK(Plat().VkKeyScanW(u'\b') == 0x08);
        CHECK(Plat().VkKeyScanW(u'.') == 0xBE);
        CHECK(Plat().VkKeyScanW(u',') == 0xBC);
        CHECK(Plat().VkKeyScanW(u'-') == 0xBD);
        CHECK(Plat().VkKeyScanW(0x0E9) == -1);  // é: no key on either layout
    }

    // Lock toggles are desktop-wide under Wine, and a process reads them as off until a
    // key changed them: each case sets Caps Lock by typing it and leaves it off.
    TEST_CASE("typing: Caps Lock swaps the two levels of letter keys; Shift swaps them back") {
        const std::vector<KeyInput> caps = Tap(VK_CAPITAL);
        if (Plat().GetKeyState(VK_CAPITAL) & 1) TypeIntoScene(caps);
        REQUIRE((Plat().GetKeyState(VK_CAPITAL) & 1) == 0);
        CHECK(TypeIntoScene(Join({Tap('A'), Shifted('A'), Tap('1')})).text == u"aA1");
        const SceneTyping locked =
            TypeIntoScene(Join({caps, Tap('A'), Shifted('A'), Tap('1'), Shifted('1'), caps}));
        CHECK(locked.text == u"Aa1!");
        CHECK((Plat().GetKeyState(VK_CAPITAL) & 1) == 0);
    }

    TEST_CASE("typing: a Unicode key event types its character, whatever the layout") {
        KeyInput in;
        in.wScan = 0x201E;
        in.dwFlags = KEYEVENTF_UNICODE;
        KeyInput up = in;
        up.dwFlags |= KEYEVENTF_KEYUP;
        CHECK(TypeIntoScene({in, up}).text == u"\u201E");
    }

    // What the hook tells the library's own events by: one call's events arrive together
    // and in order; the marker keeps the scan code and extended flag it was sent with; a
    // Unicode event carries its character in the high word of the flags, where the
    // release bit would be, so its press and release look alike.
    TEST_CASE("one SendInput call: events in order, a marker's tag, a Unicode event's character") {
        KeyInput marker;
        marker.wVk = 0xFF;
        marker.wScan = 0x5A;
        marker.dwFlags = KEYEVENTF_EXTENDEDKEY;
        KeyInput markerUp = marker;
        markerUp.dwFlags |= KEYEVENTF_KEYUP;
        KeyInput euro;
        euro.wScan = 0x20AC;
        euro.dwFlags = KEYEVENTF_UNICODE;
        KeyInput euroUp = euro;
        euroUp.dwFlags |= KEYEVENTF_KEYUP;
        const SceneTyping run = TypeIntoScene(Join({{marker}, Tap('A'), {euro, euroUp}, {markerUp}}));
        CHECK(run.text == u"a\u20AC");
        REQUIRE(run.hooked.size() == 6);
        const std::uint16_t keys[] = {0xFF, 'A', 'A', VK_PACKET, VK_PACKET, 0xFF};
        for (std::size_t i = 0; i < 6; ++i) CHECK((run.hooked[i].first & 0xFFFF) == keys[i]);
        auto bits = [&](std::size_t i) { return static_cast<std::uint32_t>(run.hooked[i].second); };
        CHECK(((bits(0) >> 16) & 0xFF) == 0x5A);
        CHECK((bits(0) & (1u << 24)) != 0);
        CHECK((bits(0) & 0x80000000u) == 0);
        CHECK(((bits(5) >> 16) & 0xFF) == 0x5A);
        CHECK((bits(5) & (1u << 24)) != 0);
        CHECK((bits(5) & 0x80000000u) != 0);
        CHECK((bits(3) >> 16) == 0x20AC);
        CHECK((bits(4) >> 16) == 0x20AC);
    }

    TEST_CASE("the hook sees the key state before the press; a swallowed lock press toggles") {
        const std::int16_t before = Plat().GetKeyState(VK_CAPITAL);
        const SceneTyping run = TypeIntoScene(Tap(VK_CAPITAL), VK_CAPITAL, true);
        REQUIRE(run.watchedInHook.size() == 1);
        CHECK(run.watchedInHook[0] == before);
        const std::int16_t after = Plat().GetKeyState(VK_CAPITAL);
        CHECK((after & 1) != (before & 1));
        CHECK(after >= 0);  // released again
        if (after & 1) TypeIntoScene(Tap(VK_CAPITAL));
    }

    // Wine keeps no side for an injected Shift (right Shift reads as left): Shift's
    // sides are Windows' behaviour, kept by the fake and not pinned here.
    TEST_CASE("a key is down physically when queued, for the thread when read; sides apart") {
        REQUIRE(FocusSceneInputWindow());
        auto send = [](std::uint16_t vk, bool up, std::uint32_t flags = 0) {
            KeyInput in;
            in.wVk = vk;
            in.wScan = static_cast<std::uint16_t>(Plat().MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
            in.dwFlags = flags | (up ? KEYEVENTF_KEYUP : 0);
            CHECK(Plat().SendInput(in) == 1);
        };
        auto down = [](int vk) { return Plat().GetKeyState(vk) < 0; };
        auto physical = [](int vk) { return Plat().GetAsyncKeyState(vk) < 0; };

        send(VK_CONTROL, false, KEYEVENTF_EXTENDEDKEY);
        CHECK(physical(VK_RCONTROL));
        CHECK(physical(VK_CONTROL));
        CHECK_FALSE(physical(VK_LCONTROL));
        CHECK_FALSE(down(VK_CONTROL));  // still in the queue
        ReadSceneInput();
        CHECK(down(VK_CONTROL));
        CHECK(down(VK_RCONTROL));
        CHECK_FALSE(down(VK_LCONTROL));

        // Right Alt, as the extended Alt key, let go of before the release is read.
        send(VK_MENU, false, KEYEVENTF_EXTENDEDKEY);
        ReadSceneInput();
        CHECK(down(VK_RMENU));
        CHECK_FALSE(down(VK_LMENU));
        send(VK_MENU, true, KEYEVENTF_EXTENDEDKEY);
        send(VK_CONTROL, true, KEYEVENTF_EXTENDEDKEY);
        CHECK_FALSE(physical(VK_RMENU));
        CHECK_FALSE(physical(VK_CONTROL));
        CHECK(down(VK_RMENU));
        CHECK(down(VK_MENU));
        CHECK(down(VK_CONTROL));
        ReadSceneInput();
        CHECK_FALSE(down(VK_RMENU));
        CHECK_FALSE(down(VK_MENU));
        CHECK_FALSE(down(VK_CONTROL));
        EndSceneInput();
    }

    TEST_CASE("key state: the down bit reads negative, the toggle bit as 1") {
        std::uint8_t saved[256];
        REQUIRE(Plat().GetKeyboardState(saved));
        std::uint8_t state[256];
        std::memcpy(state, saved, sizeof state);
        state['Q'] = 0x80;
        state['W'] = 0x81;
        state['E'] = 0x01;
        state['R'] = 0x00;
        REQUIRE(Plat().SetKeyboardState(state));
        CHECK(Plat().GetKeyState('Q') == static_cast<std::int16_t>(0xFF80));
        CHECK(Plat().GetKeyState('W') == static_cast<std::int16_t>(0xFF81));
        CHECK(Plat().GetKeyState('E') == 1);
        CHECK(Plat().GetKeyState('R') == 0);
        std::uint8_t back[256];
        REQUIRE(Plat().GetKeyboardState(back));
        CHECK(back['Q'] == 0x80);
        CHECK(back['W'] == 0x81);
        CHECK(back['E'] == 0x01);
        REQUIRE(Plat().SetKeyboardState(saved));
    }
}

TEST_SUITE("processes") {
    TEST_CASE("a window of this process names this process; no window names none") {
        HWnd wnd = CreateSceneWindow(u"VtContractOwn", u"VtContractOwn", 0x0400, 0);
        REQUIRE(wnd != 0);
        std::uint32_t pid = 0;
        CHECK(Plat().GetWindowThreadProcessId(wnd, &pid) != 0);
        CHECK(pid == Plat().GetCurrentProcessId());
        DestroySceneWindow(wnd);
        pid = 77;
        CHECK(Plat().GetWindowThreadProcessId(0, &pid) == 0);
        CHECK(pid == 0);
    }

    TEST_CASE("a program that is not there is neither found nor started") {
        const std::u16string missing = u"C:\\windows\\vt-contract-missing.exe";
        CHECK(Plat().GetFileAttributesW(missing) == INVALID_FILE_ATTRIBUTES);
        CHECK(Plat().GetLastError() == static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
        ProcessInfo info;
        CHECK_FALSE(Plat().CreateProcessW(u"\"" + missing + u"\" 1", &info));
        CHECK(Plat().GetLastError() == static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
        CHECK(info.hProcess == 0);
    }
}

TEST_SUITE("files") {
    TEST_CASE("MoveFileExW replaces a file only when asked, and needs its source") {
        const auto dir = std::filesystem::temp_directory_path();
        const auto from = dir / "vt-contract-move.tmp", to = dir / "vt-contract-move.txt";
        std::ofstream(from, std::ios::binary) << "neu";
        std::ofstream(to, std::ios::binary) << "alt";
        CHECK_FALSE(Plat().MoveFileExW(from.u16string(), to.u16string(), 0));
        CHECK(Plat().GetLastError() == static_cast<std::uint32_t>(ERROR_ALREADY_EXISTS));
        CHECK(Plat().MoveFileExW(from.u16string(), to.u16string(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
        std::ifstream in(to, std::ios::binary);
        CHECK(std::string(std::istreambuf_iterator<char>(in), {}) == "neu");
        in.close();
        CHECK_FALSE(std::filesystem::exists(from));
        CHECK_FALSE(
            Plat().MoveFileExW(from.u16string(), to.u16string(), MOVEFILE_REPLACE_EXISTING));
        CHECK(Plat().GetLastError() == static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
        std::filesystem::remove(to);
    }
}

}  // namespace vt::contract
