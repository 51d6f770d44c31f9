// Programs left alone, under Wine: the same target program under two file names, one of
// them on the list "Settings\Ausnahmen", typed into with real keys.
#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include <doctest/doctest.h>

#include "E2E.h"

using namespace e2e;

namespace {

const std::wstring kProduct = L"Software\\Quellmark\\Vantor32";
const std::wstring kSettings = kProduct + L"\\Settings";
const std::wstring kList = kSettings + L"\\Ausnahmen";

// Right Alt+E, then the umlaut key and Q, as a person types them.
void TypeKeys(Scene& scene) {
    KeyDown(VK_RMENU, true);
    Tap('E');
    scene.Settle();
    KeyUp(VK_RMENU, true);
    Tap(VK_OEM_7);
    scene.Settle();
    Tap('Q');
    scene.Settle();
}

}  // namespace

TEST_CASE("a listed program gets the keys untouched until it is taken off the list") {
    RegDeleteTreeCU(kProduct);
    RegSetByte(kSettings, L"Vantor eingeschaltet", 1);
    RegSetByte(kSettings, L"Umlautwandlung", 1);
    RegSetText(kProduct + L"\\Macros\\AltGr", L"00080045", L"xyz");
    RegSetText(kProduct + L"\\Macros\\Umlaut\\Ascii", L"000000DE", L"ae");
    RegSetText(kList, L"LISTED_TARGET.EXE", L"");
    REQUIRE(CopyFileW((ExeDir() + L"target.exe").c_str(),
                      (ExeDir() + L"listed_target.exe").c_str(), FALSE));

    {
        Scene scene;
        REQUIRE(scene.Up());
        TypeKeys(scene);
        CHECK(scene.WaitText(L"xyzaeq"));
    }

    Scene scene;
    scene.targetExe = L"listed_target.exe";
    REQUIRE(scene.Up());
    TypeKeys(scene);
    // Alt+E types nothing in an edit control; the umlaut key types its own character.
    CHECK(scene.WaitText(L"'q"));
    CHECK(scene.WaitViewerContains("listed_target.exe steht unter Ausnahmen"));

    REQUIRE(RegDeleteKeyValueW(HKEY_CURRENT_USER, kList.c_str(), L"listed_target.exe") ==
            ERROR_SUCCESS);
    TypeKeys(scene);
    CHECK(scene.WaitText(L"'qxyzaeq"));
}
