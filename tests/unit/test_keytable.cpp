// The key description table and the read-key dialog's recording.
#include <doctest/doctest.h>

#include <set>
#include <string>

#include "FakePlatform.h"
#include "setup/VtConfig.Common.h"
#include "setup/VtConfig.ReadKey.h"

using namespace vt;

namespace {

std::u16string S(const char16_t* s) {
    return s ? std::u16string(s) : std::u16string();
}

}  // namespace

TEST_SUITE("key table") {
    TEST_CASE("the telling rows carry their scan code, name and description") {
        struct Row {
            int vk;
            std::uint16_t sc;
            const char16_t* name;
            const char16_t* desc;
        };
        const Row rows[] = {
            {0x03, 0xE046, u"VK_CANCEL", u"Control-break processing"},
            {0x13, 0xE11D, u"VK_PAUSE", u"PAUSE key"},
            {0x14, 0x003A, u"VK_CAPITAL", u"CAPS LOCK key"},
            {0x30, 0x000B, u"0", u"0 key"},
            {0x59, 0x002C, u"0", u"Y key"},
            {0x5A, 0x0015, u"0", u"Z key"},
            {0x6F, 0xE035, u"VK_DIVIDE", u"Divide key"},
            {0x91, 0x0046, u"VK_SCROLL", u"SCROLL LOCK key"},
            {0xA3, 0xE01D, u"VK_RCONTROL", u"Right CONTROL key"},
            {0xE2, 0x0056, u"VK_OEM_102",
             u"Either the angle bracket key or the backslash key on the RT 102-key keyboard"},
            {0xF9, 0x005D, u"VK_EREOF", u"Erase EOF key"},
            {0xFB, 0x0062, u"VK_ZOOM", u"Zoom key"},
            {0xFC, 0, u"VK_NONAME", u"Reserved"},
        };
        for (const Row& r : rows) {
            CAPTURE(r.vk);
            const TWindowsKeyDescr* d = KeyDescrOf(r.vk);
            REQUIRE(d != nullptr);
            CHECK(d == &WindowsKeyTable[static_cast<std::size_t>(r.vk - 1)]);
            CHECK(d->sc == r.sc);
            CHECK(S(d->vkName) == r.name);
            CHECK(S(d->desc) == r.desc);
        }
    }

    TEST_CASE("the German layout shows in the OEM keys and the scan codes of rows left open") {
        const std::pair<int, std::uint16_t> scans[] = {
            {0xBA, 0x1A}, {0xBB, 0x1B}, {0xBF, 0x2B}, {0xC0, 0x27}, {0xDB, 0x0C},
            {0xDC, 0x29}, {0xDD, 0x0D}, {0xDE, 0x28}, {0xC1, 0x73}, {0xC2, 0x7E},
            {0xE9, 0x71}, {0x01, 0},    {0x15, 0},    {0x41, 0x1E}, {0x31, 0x02},
        };
        for (const auto& row : scans) {
            int vk = row.first;
            CAPTURE(vk);
            CHECK(KeyDescrOf(vk)->sc == row.second);
        }
        CHECK(S(KeyDescrOf(0xC1)->vkName) == u"0");
    }

    TEST_CASE("the rows follow the published names and the forms for open codes") {
        CHECK(S(KeyDescrOf(0x01)->vkName) == u"VK_LBUTTON");
        CHECK(S(KeyDescrOf(0x60)->vkName) == u"VK_NUMPAD0");
        CHECK(S(KeyDescrOf(0x69)->vkName) == u"VK_NUMPAD9");
        CHECK(S(KeyDescrOf(0x70)->vkName) == u"VK_F1");
        CHECK(S(KeyDescrOf(0x87)->vkName) == u"VK_F24");
        CHECK(S(KeyDescrOf(0x41)->desc) == u"A key");
        CHECK(S(KeyDescrOf(0x39)->desc) == u"9 key");
        const std::set<std::u16string> openForms = {u"Undefined", u"Reserved", u"Unassigned",
                                                    u"OEM specific"};
        const std::pair<int, const char16_t*> open[] = {
            {0x07, u"Undefined"},  {0x0A, u"Reserved"},    {0x3A, u"Undefined"},
            {0x5E, u"Reserved"},   {0x88, u"Unassigned"},  {0x92, u"OEM specific"},
            {0xE8, u"Unassigned"}, {0xF5, u"OEM specific"}};
        for (const auto& row : open) {
            int vk = row.first;
            CAPTURE(vk);
            CHECK(S(KeyDescrOf(vk)->vkName) == u"0");
            CHECK(S(KeyDescrOf(vk)->desc) == row.second);
        }
        // every row: a "VK_" name, or "0" with a description
        for (int vk = 1; vk <= 0xFE; ++vk) {
            CAPTURE(vk);
            std::u16string name = S(KeyDescrOf(vk)->vkName);
            std::u16string desc = S(KeyDescrOf(vk)->desc);
            CHECK_FALSE(desc.empty());
            CHECK((name == u"0" || name.rfind(u"VK_", 0) == 0));
            if (openForms.count(desc) && vk != 0xFC) CHECK(name == u"0");
        }
    }

    TEST_CASE("row 0xFF is empty and only codes 1..255 have rows") {
        CHECK(WindowsKeyTable.size() == 255);
        const TWindowsKeyDescr* last = KeyDescrOf(0xFF);
        REQUIRE(last != nullptr);
        CHECK(last->sc == 0);
        CHECK(S(last->vkName).empty());
        CHECK(S(last->desc).empty());
        CHECK(KeyDescrOf(0) == nullptr);
        CHECK(KeyDescrOf(256) == nullptr);
        CHECK(KeyDescrOf(-1) == nullptr);
    }

    TEST_CASE("the scan codes the /M action asks for are the rows of VK_EREOF and VK_ZOOM") {
        FakeScope scope;
        CHECK(ScanCodeOf(VK_EREOF) == KeyDescrOf(VK_EREOF)->sc);
        CHECK(ScanCodeOf(VK_ZOOM) == KeyDescrOf(VK_ZOOM)->sc);
        CHECK(ScanCodeOf(VK_CAPITAL) == KeyDescrOf(VK_CAPITAL)->sc);
        CHECK(ScanCodeOf(VK_SCROLL) == KeyDescrOf(VK_SCROLL)->sc);
    }
}

TEST_SUITE("read-key dialog") {
    TEST_CASE("PackKeyCode keeps the key, masks the modifiers with 0xCF, drops bits 24-31") {
        CHECK(PackKeyCode(0x00080045u) == 0x00080045u);
        CHECK(PackKeyCode(0xFF3FFFFFu) == 0x000FFFFFu);
        CHECK(PackKeyCode(0x00FF8041u) == 0x00CF8041u);
        CHECK(PackKeyCode(0x12000000u) == 0);
        CHECK(PackKeyCode(0x0030FFFFu) == 0x0000FFFFu);  // bits 0x10 and 0x20 are not modifiers
    }

    TEST_CASE("a key release records the modifiers held at that moment") {
        FakeScope scope;
        TFrmReadKey form;
        form.FormShow();
        CHECK(form.keyPreview);

        SUBCASE("AltGr (Ctrl, Alt and right Alt held) + E") {
            scope.fake.HoldKey(VK_LCONTROL);
            scope.fake.HoldKey(VK_RMENU);
            form.FormKeyUp(0x45);
            CHECK(form.vkResult == 0x80045u);
        }
        SUBCASE("AltGr as Wine reports it (Alt and right Alt, no Ctrl) + E") {
            scope.fake.HoldKey(VK_RMENU);
            form.FormKeyUp(0x45);
            CHECK(form.vkResult == 0x80045u);
        }
        SUBCASE("left Ctrl and left Alt + E") {
            scope.fake.HoldKey(VK_LCONTROL);
            scope.fake.HoldKey(VK_LMENU);
            form.FormKeyUp(0x45);
            CHECK(form.vkResult == 0x60045u);
        }
        SUBCASE("Shift + A") {
            scope.fake.HoldKey(VK_LSHIFT);
            form.FormKeyUp(0x41);
            CHECK(form.vkResult == 0x10041u);
        }
        SUBCASE("both Windows keys + Shift: the Windows bits are kept") {
            scope.fake.HoldKey(VK_LWIN);
            scope.fake.HoldKey(VK_RWIN);
            scope.fake.HoldKey(VK_RSHIFT);
            form.FormKeyUp(0x41);
            CHECK(form.vkResult == 0xC10041u);
        }
        SUBCASE("a modifier released on its own records itself") {
            scope.fake.HoldKey(VK_LCONTROL);
            form.FormKeyUp(VK_LSHIFT);
            CHECK(form.vkResult == 0x200A0u);
        }
        CHECK(form.modalResult == mrOk);
    }

    TEST_CASE("Cancel after an earlier recording leaves 0") {
        FakeScope scope;
        TFrmReadKey form;
        form.FormShow();
        scope.fake.HoldKey(VK_LSHIFT);
        form.FormKeyUp(0x41);
        REQUIRE(form.vkResult == 0x10041u);
        REQUIRE(form.modalResult == mrOk);

        form.FormShow();
        CHECK(form.modalResult == mrNone);
        form.PngBitBtn1Click();
        CHECK(form.modalResult == mrCancel);
        CHECK(form.vkResult == 0);
    }
}
