// Programs left alone: in a program named under "Settings\Ausnahmen" the hook converts
// nothing, while it still logs and keeps the host informed.
#include <doctest/doctest.h>

#include "FakePlatform.h"
#include "common/Vantor.Utils.h"
#include "hook/Vt32Util.h"
#include "hook/VtSend.h"

using namespace vt;

namespace {

const std::u16string kSettings = u"Software\\Quellmark\\Vantor32\\Settings";
const std::u16string kList = kSettings + u"\\Ausnahmen";

struct ExclusionFixture : FakeScope {
    std::vector<WParam> reported;

    ExclusionFixture() {
        fake.moduleFileName = u"C:\\Program Files\\Remote\\MSTSC.EXE";
        fake.AddWindow(u"Vantor32", u"Vantor32", [this](HWnd, std::uint32_t msg, WParam w, LParam) {
            if (msg == WM_HOST_SETMODIFIERS) reported.push_back(w);
            return LResult{0};
        });
        fake.SetRegBinary(HKEY_CURRENT_USER, kSettings, u"Vantor eingeschaltet", {1});
        fake.SetRegBinary(HKEY_CURRENT_USER, kSettings, u"Umlautwandlung", {1});
        fake.SetRegString(HKEY_CURRENT_USER, kMacroTableAltGr, u"00000041", u"xyz");
        fake.SetRegString(HKEY_CURRENT_USER, kMacroTableAscii, u"000000DE", u"ae");
        LibraryLoad();
        HookHandle = 0;
    }
    ~ExclusionFixture() { LibraryUnload(); }

    void List(const std::u16string& name) {
        fake.SetRegString(HKEY_CURRENT_USER, kList, name, u"");
    }
    LResult Press(std::uint16_t vk, std::uint32_t scan) {
        const LResult r =
            KeyboardProc(HC_ACTION, vk, static_cast<LParam>(0x00000001u | (scan << 16)));
        // The program reads the text a press typed before the next key.
        ResetPlayback();
        return r;
    }
    std::uint8_t MasterSwitch() const {
        auto v = fake.GetRegValue(HKEY_CURRENT_USER, kSettings, u"Vantor eingeschaltet");
        return v && !v->data.empty() ? v->data[0] : 0;
    }
    bool Logged(const std::u16string& line) const {
        for (const auto& l : fake.debugOutput)
            if (l == line) return true;
        return false;
    }
};

}  // namespace

TEST_CASE("a listed program, named in another case, gets every key untouched") {
    ExclusionFixture f;
    f.List(u"mstsc.exe");
    CHECK(f.Press('A', 0x1E) == 0);   // the macro key
    CHECK(f.Press(0xDE, 0x28) == 0);  // the umlaut key
    f.fake.HoldKey(VK_RMENU);
    CHECK(f.Press(VK_F1, 0x3B) == 0);  // the hot-key
    CHECK(f.fake.injected.empty());
    CHECK(f.MasterSwitch() == 1);
    CHECK(f.fake.nextHookCalls.size() == 3);
    // Logged and reported to the host as in any other program.
    CHECK(f.Logged(u"ConvertKey: MSTSC.EXE steht unter Ausnahmen"));
    CHECK(f.reported.size() == 6);
    CHECK(f.reported.back() == 0x0C);
    // With the system switched off the hot-key cannot switch it on there either.
    f.fake.SetRegBinary(HKEY_CURRENT_USER, kSettings, u"Vantor eingeschaltet", {0});
    CHECK(f.Press(VK_F1, 0x3B) == 0);
    CHECK(f.MasterSwitch() == 0);
    f.fake.SetRegBinary(HKEY_CURRENT_USER, kSettings, u"Vantor eingeschaltet", {1});

    // Taken off the list, the program is converted again at its next key press.
    f.fake.HoldKey(VK_RMENU, false);
    f.fake.HoldKey(VK_MENU, false);
    HKey key = 0;
    REQUIRE(f.fake.RegOpenKeyExW(HKEY_CURRENT_USER, kList, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS);
    CHECK(f.fake.RegDeleteValueW(key, u"MSTSC.exe") == ERROR_SUCCESS);
    (void)f.fake.RegCloseKey(key);
    CHECK(f.Press('A', 0x1E) == 1);
    CHECK_FALSE(f.fake.injected.empty());
}

TEST_CASE("a deleted list is opened again, and another program is not affected") {
    ExclusionFixture f;
    f.List(u"notepad.exe");
    CHECK(f.Press('A', 0x1E) == 1);  // mstsc.exe is not listed
    // The key deleted and written anew (an import) while the program runs.
    HKey settings = 0;
    REQUIRE(f.fake.RegOpenKeyExW(HKEY_CURRENT_USER, kSettings, KEY_ALL_ACCESS, &settings) ==
            ERROR_SUCCESS);
    CHECK(f.fake.RegDeleteKeyW(settings, u"Ausnahmen") == ERROR_SUCCESS);
    (void)f.fake.RegCloseKey(settings);
    f.List(u"MSTSC.exe");
    f.fake.injected.clear();
    CHECK(f.Press('A', 0x1E) == 0);
    CHECK(f.fake.injected.empty());
}

TEST_CASE("a list entry of another type counts as not listed and is logged") {
    ExclusionFixture f;
    f.fake.SetRegDword(HKEY_CURRENT_USER, kList, u"mstsc.exe", 1);
    CHECK(f.Press('A', 0x1E) == 1);
    CHECK_FALSE(f.fake.injected.empty());
    CHECK(f.Logged(u"Ausnahmen: Ungültiger Datentyp für 'MSTSC.EXE'"));
}
