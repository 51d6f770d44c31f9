#include <doctest/doctest.h>

#include <functional>

#include "FakePlatform.h"
#include "common/Vantor.Utils.h"
#include "common/VtError.h"

using namespace vt;

namespace {

const std::u16string kSettings = u"Software\\Quellmark\\Vantor32\\Settings";

// The module as loaded in one process, on the fake.
struct OptionsScope {
    FakeScope scope;
    FakePlatform& fake = scope.fake;
    OptionsScope() { VantorUtilsInit(); }
    ~OptionsScope() { VantorUtilsDone(); }
};

std::u16string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const ERegistryException& e) {
        return e.Message();
    }
    return u"<no error>";
}

}  // namespace

TEST_SUITE("option store") {
    TEST_CASE("the value names of the options") {
        CHECK(OptionValueNames[OPT_MAIN] == u"Vantor eingeschaltet");
        CHECK(OptionValueNames[OPT_HIDE] == u"Vantor-Symbol verstecken");
        CHECK(OptionValueNames[OPT_NP_DOT] == u"NUM Punkt");
        CHECK(OptionValueNames[OPT_EZ_BS] == u"EasyBackslash");
        CHECK(OptionValueNames[OPT_EZ_TAB] == u"EasyTab");
        CHECK(OptionValueNames[OPT_LOCK_NUM] == u"NUM Umschaltung sperren");
        CHECK(OptionValueNames[OPT_BEEP] == u"Piepsen bei Umschaltungen");
        CHECK(OptionValueNames[OPT_SPEAKER] == u"Speaker benutzen");
        CHECK(OptionValueNames[OPT_UMLAUT] == u"Umlautwandlung");
        CHECK(OptionValueNames[OPT_LOCK_CAPS] == u"CAPSLOCK sperren");
        CHECK(OptionValueNames[OPT_UMLAUT_MODE] == u"UmlautMode");
        CHECK(OptionValueNames[OPT_DECIMAL_DOT] == u"DecimalDot");
    }

    TEST_CASE("OpenOptions creates the missing Settings key") {
        OptionsScope s;
        REQUIRE(Options);
        CHECK(s.fake.RegKeyExists(HKEY_CURRENT_USER, kSettings));
        CHECK(Options->CurrentPath() == kSettings);
        CHECK(RegPath == u"Software\\Quellmark\\Vantor32\\");
    }

    TEST_CASE("an empty Settings key gives every default") {
        OptionsScope s;
        for (int i = OPT_MAIN; i < OPT_UMLAUT_MODE; ++i)
            CHECK(Options->GetOption(static_cast<AOption>(i)) == 0);
        CHECK(Options->GetOptionString(OPT_DECIMAL_DOT) == u"");
        CHECK(Options->GetUmlautMode() == UMLAUT_ASCII);
    }

    TEST_CASE("ReadFlag by stored type and size") {
        OptionsScope s;
        auto& f = s.fake;
        f.SetRegBinary(HKEY_CURRENT_USER, kSettings, u"empty", {});
        f.SetRegBinary(HKEY_CURRENT_USER, kSettings, u"one", {1});
        f.SetRegBinary(HKEY_CURRENT_USER, kSettings, u"zero", {0});
        f.SetRegBinary(HKEY_CURRENT_USER, kSettings, u"two", {1, 0});
        f.SetRegBinary(HKEY_CURRENT_USER, kSettings, u"stored2", {2});
        f.SetRegDword(HKEY_CURRENT_USER, kSettings, u"dword", 1);
        f.SetRegString(HKEY_CURRENT_USER, kSettings, u"sz", u"1");
        f.SetRegString(HKEY_CURRENT_USER, kSettings, u"esz", u"1", REG_EXPAND_SZ);
        f.SetRegValue(HKEY_CURRENT_USER, kSettings, u"none", REG_NONE, {1});
        f.SetRegValue(HKEY_CURRENT_USER, kSettings, u"emptynone", REG_NONE, {});

        SUBCASE("absent and zero-length values give the default") {
            CHECK(Options->ReadFlag(u"absent", 0) == 0);
            CHECK(Options->ReadFlag(u"absent", 7) == 7);
            CHECK(Options->ReadFlag(u"empty", 0) == 0);
            CHECK(Options->ReadFlag(u"empty", 5) == 5);
            CHECK(Options->ReadFlag(u"emptynone", 3) == 3);
        }
        SUBCASE("one byte reads back unchanged") {
            CHECK(Options->ReadFlag(u"one", 0) == 1);
            CHECK(Options->ReadFlag(u"zero", 9) == 0);
            CHECK(Options->ReadFlag(u"stored2", 0) == 2);
            CHECK(Options->ReadFlag(u"none", 0) == 1);
        }
        SUBCASE("text, DWORD and longer values are of an invalid type") {
            CHECK(ErrorOf([] { Options->ReadFlag(u"two", 0); }) ==
                  u"Ungültiger Datentyp für 'two'");
            CHECK(ErrorOf([] { Options->ReadFlag(u"dword", 0); }) ==
                  u"Ungültiger Datentyp für 'dword'");
            CHECK(ErrorOf([] { Options->ReadFlag(u"sz", 0); }) == u"Ungültiger Datentyp für 'sz'");
            CHECK(ErrorOf([] { Options->ReadFlag(u"esz", 0); }) ==
                  u"Ungültiger Datentyp für 'esz'");
        }
    }

    TEST_CASE("a switch stored as the byte 2 reads as 2") {
        OptionsScope s;
        s.fake.SetRegBinary(HKEY_CURRENT_USER, kSettings, OptionValueNames[OPT_EZ_TAB], {2});
        CHECK(Options->GetOption(OPT_EZ_TAB) == 2);
    }

    TEST_CASE("a switch stored as REG_DWORD raises with the value name") {
        OptionsScope s;
        s.fake.SetRegDword(HKEY_CURRENT_USER, kSettings, OptionValueNames[OPT_MAIN], 1);
        CHECK(ErrorOf([] { Options->GetOption(OPT_MAIN); }) ==
              u"Ungültiger Datentyp für 'Vantor eingeschaltet'");
    }

    TEST_CASE("SetOption writes one REG_BINARY byte, 0 or 1, over any old type") {
        OptionsScope s;
        s.fake.SetRegDword(HKEY_CURRENT_USER, kSettings, OptionValueNames[OPT_BEEP], 77);
        Options->SetOption(OPT_BEEP, true);
        auto v = s.fake.GetRegValue(HKEY_CURRENT_USER, kSettings, OptionValueNames[OPT_BEEP]);
        REQUIRE(v);
        CHECK(v->type == REG_BINARY);
        CHECK(v->data == std::vector<std::uint8_t>{1});
        CHECK(Options->GetOption(OPT_BEEP) == 1);
        Options->SetOption(OPT_BEEP, false);
        v = s.fake.GetRegValue(HKEY_CURRENT_USER, kSettings, OptionValueNames[OPT_BEEP]);
        REQUIRE(v);
        CHECK(v->data == std::vector<std::uint8_t>{0});
    }

    TEST_CASE("text options") {
        OptionsScope s;
        auto& f = s.fake;
        const auto& name = OptionValueNames[OPT_DECIMAL_DOT];
        SUBCASE("written as REG_SZ with the NUL counted") {
            Options->SetOptionString(OPT_DECIMAL_DOT, u",-");
            auto v = f.GetRegValue(HKEY_CURRENT_USER, kSettings, name);
            REQUIRE(v);
            CHECK(v->type == REG_SZ);
            CHECK(v->data.size() == 6);
            CHECK(Options->GetOptionString(OPT_DECIMAL_DOT) == u",-");
        }
        SUBCASE("REG_EXPAND_SZ is not expanded") {
            f.environment[u"USERNAME"] = u"anna";
            f.SetRegString(HKEY_CURRENT_USER, kSettings, name, u"%USERNAME%", REG_EXPAND_SZ);
            CHECK(Options->GetOptionString(OPT_DECIMAL_DOT) == u"%USERNAME%");
        }
        SUBCASE("an embedded NUL ends the text") {
            f.SetRegValue(HKEY_CURRENT_USER, kSettings, name, REG_SZ, {'.', 0, 0, 0, 'x', 0, 0, 0});
            CHECK(Options->GetOptionString(OPT_DECIMAL_DOT) == u".");
        }
        SUBCASE("a binary value is of an invalid type") {
            f.SetRegBinary(HKEY_CURRENT_USER, kSettings, name, {'.', 0});
            CHECK(ErrorOf([] { Options->GetOptionString(OPT_DECIMAL_DOT); }) ==
                  u"Ungültiger Datentyp für 'DecimalDot'");
        }
    }

    TEST_CASE("UmlautMode is one byte; absent reads as ASCII") {
        OptionsScope s;
        Options->SetUmlautMode(UMLAUT_HTML);
        auto v = s.fake.GetRegValue(HKEY_CURRENT_USER, kSettings, u"UmlautMode");
        REQUIRE(v);
        CHECK(v->type == REG_BINARY);
        CHECK(v->data == std::vector<std::uint8_t>{1});
        CHECK(Options->GetUmlautMode() == UMLAUT_HTML);
        Options->SetUmlautMode(UMLAUT_ASCII);
        CHECK(Options->GetUmlautMode() == UMLAUT_ASCII);
        s.fake.SetRegDword(HKEY_CURRENT_USER, kSettings, u"UmlautMode", 1);
        CHECK(ErrorOf([] { Options->GetUmlautMode(); }) == u"Ungültiger Datentyp für 'UmlautMode'");
    }

    TEST_CASE("nothing is cached: a write by another store is seen at the next read") {
        OptionsScope s;
        TOptionsRegistry other(HKEY_CURRENT_USER);
        REQUIRE(other.OpenKey(RegPath + u"Settings", false));
        CHECK(Options->GetOption(OPT_UMLAUT) == 0);
        other.SetOption(OPT_UMLAUT, true);
        CHECK(Options->GetOption(OPT_UMLAUT) == 1);
        other.SetOptionString(OPT_DECIMAL_DOT, u";");
        CHECK(Options->GetOptionString(OPT_DECIMAL_DOT) == u";");
        // and a change made behind both stores' backs
        s.fake.SetRegBinary(HKEY_CURRENT_USER, kSettings, OptionValueNames[OPT_UMLAUT], {0});
        CHECK(Options->GetOption(OPT_UMLAUT) == 0);
        CHECK(other.GetOption(OPT_UMLAUT) == 0);
    }

    // Programs with low rights may read the user's keys but not write them.
    TEST_CASE("a Settings key that cannot be written: reads and lookups work, writes fail") {
        FakeScope scope;
        scope.fake.SetRegBinary(HKEY_CURRENT_USER, kSettings, OptionValueNames[OPT_MAIN], {1});
        scope.fake.SetRegString(HKEY_CURRENT_USER, kSettings, OptionValueNames[OPT_DECIMAL_DOT],
                                u",");
        scope.fake.SetRegString(HKEY_CURRENT_USER, kMacroTableAltGr, u"00080045", u"Gruss");
        scope.fake.ProtectRegKey(HKEY_CURRENT_USER, kSettings);
        scope.fake.ProtectRegKey(HKEY_CURRENT_USER, kMacroTableAltGr);
        VantorUtilsInit();
        REQUIRE(Options);
        CHECK(Options->GetOption(OPT_MAIN) == 1);
        CHECK(Options->GetOptionString(OPT_DECIMAL_DOT) == u",");
        CHECK(FindMacro(kMacroTableAltGr, 0x45, MOD_ALTGR) == u"Gruss");
        CHECK(ErrorOf([] { Options->SetOption(OPT_MAIN, false); }) ==
              u"Fehler beim Setzen der Daten für 'Vantor eingeschaltet'");
        CHECK(Options->GetOption(OPT_MAIN) == 1);
        VantorUtilsDone();
        CHECK(scope.fake.OpenRegKeys() == 0);
    }

    TEST_CASE("a Settings key deleted and written again is followed at the next read") {
        OptionsScope s;
        Options->SetOption(OPT_UMLAUT, false);
        CHECK(Options->GetOption(OPT_UMLAUT) == 0);
        // an uninstall in another process
        TRegistry other(KEY_ALL_ACCESS);
        REQUIRE(other.DeleteKey(u"Software\\Quellmark"));
        CHECK(Options->GetOption(OPT_UMLAUT) == 0);
        CHECK(Options->GetOptionString(OPT_DECIMAL_DOT) == u"");
        CHECK(ErrorOf([] { Options->SetOption(OPT_MAIN, true); }) ==
              u"Fehler beim Setzen der Daten für 'Vantor eingeschaltet'");
        CHECK_FALSE(s.fake.RegKeyExists(HKEY_CURRENT_USER, kSettings));  // reads create nothing
        // and a new install
        s.fake.SetRegBinary(HKEY_CURRENT_USER, kSettings, OptionValueNames[OPT_UMLAUT], {1});
        s.fake.SetRegString(HKEY_CURRENT_USER, kSettings, OptionValueNames[OPT_DECIMAL_DOT], u";");
        CHECK(Options->GetOption(OPT_UMLAUT) == 1);
        CHECK(Options->GetOptionString(OPT_DECIMAL_DOT) == u";");
        Options->SetOption(OPT_MAIN, true);
        auto v = s.fake.GetRegValue(HKEY_CURRENT_USER, kSettings, OptionValueNames[OPT_MAIN]);
        REQUIRE(v);
        CHECK(v->data == std::vector<std::uint8_t>{1});
        // the text read finds a deleted key as well
        REQUIRE(other.DeleteKey(u"Software\\Quellmark"));
        s.fake.SetRegString(HKEY_CURRENT_USER, kSettings, OptionValueNames[OPT_DECIMAL_DOT], u"!");
        CHECK(Options->GetOptionString(OPT_DECIMAL_DOT) == u"!");
    }

    TEST_CASE("OpenOptions on another root follows RegPath") {
        FakeScope scope;
        VantorUtilsInit();
        RegPath = u"S-1-5-21-7\\Software\\Quellmark\\Vantor32\\";
        OpenOptions(HKEY_USERS);
        CHECK(scope.fake.RegKeyExists(HKEY_USERS,
                                      u"S-1-5-21-7\\Software\\Quellmark\\Vantor32\\Settings"));
        Options->SetOption(OPT_MAIN, true);
        auto v = scope.fake.GetRegValue(HKEY_USERS,
                                        u"S-1-5-21-7\\Software\\Quellmark\\Vantor32\\Settings",
                                        OptionValueNames[OPT_MAIN]);
        REQUIRE(v);
        CHECK(v->data == std::vector<std::uint8_t>{1});
        VantorUtilsDone();
    }

    TEST_CASE("unloading frees the store, closes its key and clears RegPath") {
        FakeScope scope;
        VantorUtilsInit();
        CHECK(scope.fake.OpenRegKeys() > 0);
        VantorUtilsDone();
        CHECK_FALSE(Options);
        CHECK(RegPath.empty());
        CHECK(scope.fake.OpenRegKeys() == 0);
        VantorUtilsInit();  // a later load starts from the default path again
        CHECK(RegPath == u"Software\\Quellmark\\Vantor32\\");
        VantorUtilsDone();
    }
}

TEST_SUITE("host sound notifications") {
    struct HostScope : OptionsScope {
        HWnd host;
        HostScope() {
            host = fake.AddWindow(u"Vantor32", u"Vantor32",
                                  [](HWnd, std::uint32_t, WParam, LParam) { return LResult(0); });
            HostWindow = host;
        }
        ~HostScope() { HostWindow = 0; }
    };

    TEST_CASE("OPT_BEEP off: nothing is posted") {
        HostScope s;
        NotifySoundEvent(4);
        NotifyOnOff(true);
        CHECK(s.fake.posted.empty());
    }

    TEST_CASE("OPT_BEEP on: the event number goes to the host") {
        HostScope s;
        Options->SetOption(OPT_BEEP, true);
        NotifySoundEvent(5);
        NotifyOnOff(true);
        NotifyOnOff(false);
        REQUIRE(s.fake.posted.size() == 3);
        CHECK(s.fake.posted[0].wnd == s.host);
        CHECK(s.fake.posted[0].msg == WM_HOST_SOUNDEVENT);
        CHECK(s.fake.posted[0].wParam == 5);
        CHECK(s.fake.posted[0].lParam == 0);
        CHECK(s.fake.posted[1].wParam == 1);
        CHECK(s.fake.posted[2].wParam == 2);
        CHECK(s.fake.sent.empty());  // posting never waits on the host
    }

    TEST_CASE("no host window: the events are dropped") {
        OptionsScope s;
        HostWindow = 0;
        Options->SetOption(OPT_BEEP, true);
        NotifySoundEvent(1);
        CHECK(s.fake.posted.empty());
    }
}
