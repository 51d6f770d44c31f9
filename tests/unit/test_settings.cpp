// The settings window's logic: key combinations in names and words, the macro preview and
// checks, the .reg export and import, the command line.
#include <doctest/doctest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "FakePlatform.h"
#include "common/KeyCombination.h"
#include "common/Vantor.Utils.h"
#include "tray/MacroText.h"
#include "tray/RegFile.h"
#include "tray/Settings.h"

using namespace vt;
using namespace std::string_literals;

namespace {

struct Scene {
    FakeScope scope;
    FakePlatform& fake = scope.fake;
    Scene() { VantorUtilsInit(); }
    ~Scene() { VantorUtilsDone(); }
};

std::vector<std::uint8_t> Bytes(std::initializer_list<int> b) {
    std::vector<std::uint8_t> v;
    for (int x : b) v.push_back(static_cast<std::uint8_t>(x));
    return v;
}

std::u16string TempFile(const char* name) {
    return ToU16((std::filesystem::temp_directory_path() / name).string());
}

}  // namespace

TEST_CASE("combinations: pressed key, value name and words agree both ways") {
    struct Case {
        std::uint8_t mods;
        std::uint16_t vk;
        bool extended;
        const char16_t* name;
        const char16_t* words;
    };
    const Case cases[] = {
        {0x0E, 0x45, false, u"00080045", u"AltGr+E"},  // Windows: AltGr is Ctrl+Alt+right Alt
        {0x0C, 0x45, false, u"00080045", u"AltGr+E"},  // Wine: without Ctrl
        {0x06, 0x45, false, u"00060045", u"Strg+Alt+E"},
        {0x01, 0x71, false, u"00010071", u"Umschalt+F2"},
        {0x0F, 0x54, false, u"00090054", u"AltGr+Umschalt+T"},
        {0x08, 0x2E, true, u"0008802E", u"AltGr+Entf"},
        {0x08, 0x2E, false, u"0008002E", u"AltGr+Num Entf"},
        {0x00, 0x0D, true, u"0000800D", u"Num Eingabe"},
        {0x00, 0x0D, false, u"0000000D", u"Eingabe"},
        {0x40, 0x4C, false, u"0040004C", u"Win+L"},
        {0x83, 0xBF, false, u"008300BF", u"Strg+Umschalt+Win rechts+#"},
        {0x02, 0x6B, false, u"0002006B", u"Strg+Num +"},
        {0x02, 0xBB, false, u"000200BB", u"Strg++"},
        {0x00, 0x6F, true, u"0000806F", u"Num /"},
        {0x00, 0x41, true, u"00008041", u"A (erweitert)"},
        {0x30 | 0x04, 0x46, false, u"00040046", u"Alt+F"},  // bits 0x10 and 0x20 never
        {0x00, 0xE9, false, u"000000E9", u"Taste E9"},
    };
    for (const auto& c : cases) {
        CAPTURE(ToUtf8(c.words));
        const std::uint32_t key = CombinationFromKey(c.vk, c.extended, c.mods);
        CHECK(MacroValueName(key) == c.name);
        CHECK(CombinationWords(key) == c.words);
        CHECK(ParseMacroValueName(c.name) == key);
        CHECK(ParseCombinationWords(c.words) == key);
    }
    // Every key with and without the extended bit, under every modifier, reads back.
    for (std::uint32_t vk = 1; vk <= 0xFF; ++vk)
        for (std::uint8_t mods : {0x00, 0x01, 0x02, 0x04, 0x08, 0x40, 0x80, 0xC7, 0xC9})
            for (bool ext : {false, true}) {
                const std::uint32_t key =
                    CombinationFromKey(static_cast<std::uint16_t>(vk), ext, mods);
                CAPTURE(vk);
                REQUIRE(ParseCombinationWords(CombinationWords(key)) == key);
                REQUIRE(ParseMacroValueName(MacroValueName(key)) == key);
            }
    // Words in another order or case name the same combination; names are case-free too.
    CHECK(ParseCombinationWords(u"alt+strg+e") == 0x00060045u);
    CHECK(ParseMacroValueName(u"0008802e") == 0x0008802Eu);
    // Names the lookup can never produce are not combinations.
    for (const char16_t* bad : {u"00180045", u"00280045", u"000E0045", u"01080045", u"00080000",
                                u"0008012E", u"8045", u"0008004G", u"000800450"})
        CHECK_FALSE(ParseMacroValueName(bad).has_value());
    for (const char16_t* bad : {u"Strg+AltGr+E", u"Hyper+E", u"AltGr+", u"", u"AltGr+Quatsch"})
        CHECK_FALSE(ParseCombinationWords(bad).has_value());
}

TEST_CASE("macro preview: every escape form and every command in words") {
    struct Case {
        const char16_t* stored;
        const char16_t* preview;
    };
    const Case cases[] = {
        {u"Mit freundlichen Gr$FC$DFen$FF$00$0D", u"Mit freundlichen Grüßen⏎"},
        {u"$FF$02C", u"Strg+C"},
        {u"a$FF$81$09b", u"a[Umschalt+⇥]b"},  // bit 0x80: the key of a character
        {u"$FF$06$2E", u"Strg+Alt+Entf"},
        {u"x$FF$00$0Dy$FF$00$09z", u"x⏎y⇥z"},
        {u"$FF$FF$048364", u"€"},    // raw entry by number
        {u"$FF$FF$03x41", u"A"},     // hex after x
        {u"$FF$FF$03abc", u"\x03"},  // not a number: the count character
        {u"A10$$", u"A10$"},
        {u"Zeile$0D$0A", u"Zeile⏎⏎"},
        {u"^%SystemRoot%\\notepad.exe", u"Befehl: startet „%SystemRoot%\\notepad.exe“"},
        {u"^notepad.exe^Hallo", u"Befehl: startet „notepad.exe“; schreibt „Hallo“"},
        {u"^*49\"yyyy-mm-dd\"*40", u"Befehl: schreibt das Datum als „yyyy-mm-dd“"},
        {u"^Heute *40", u"Befehl: schreibt das Datum"},  // a command drops what came before
        {u"^*41", u"Befehl: schreibt die Uhrzeit"},
        {u"^*1*2*3*7*8*9",
         u"Befehl: schaltet Vantor ein oder aus; schaltet die Umlautwandlung (ASCII) ein oder "
         u"aus; schaltet die Umlautwandlung (HTML) ein oder aus; schaltet EasyTab ein oder aus; "
         u"schaltet NUM Punkt ein oder aus; meldet sich beim Vantor-Symbol"},
        {u"^", u"Befehl: schreibt „^“"},
        {u"^*", u"Befehl: schreibt „^“"},
        {u"^*5", u"Befehl: tut nichts"},
    };
    for (const auto& c : cases) {
        CAPTURE(ToUtf8(c.stored));
        CHECK(ToUtf8(MacroPreview(c.stored)) == ToUtf8(c.preview));
    }
    CHECK(MacroKind(u"^*40") == u"Befehl");
    CHECK(MacroKind(u"$5E*40") == u"Befehl");  // the decoded text decides
    CHECK(MacroKind(u"Hallo") == u"Text");
    // A key pressed in the editor is stored so that it previews as pressed.
    CHECK(KeyStrokeText(0x43, MOD_CTRL) == u"$FF$02C");
    CHECK(MacroPreview(KeyStrokeText(0x43, MOD_CTRL)) == u"Strg+C");
    CHECK(KeyStrokeText(0x0D, 0) == u"$FF$00$0D");
    CHECK(MacroPreview(KeyStrokeText(0x2E, MOD_ALTGR | MOD_SHIFT)) == u"Strg+Alt+Umschalt+Entf");
    CHECK(MacroPreview(KeyStrokeText(0x24, 0)) == u"Pos1");  // "$" is the Home key, not text
}

TEST_CASE("macro check: texts the library would not type as written are refused") {
    CHECK(CheckMacroText(u"Mit freundlichen Gr$FC$DFen$FF$00$0D").empty());
    CHECK(CheckMacroText(u"^*49\"yyyy\"*40").empty());
    CHECK(CheckMacroText(u"100$$").empty());
    CHECK(CheckMacroText(u"").find(u"leer") != std::u16string::npos);
    const std::u16string bad = CheckMacroText(u"Preis $4G");
    CHECK(bad.find(u"„$4G“ an Stelle 7") != std::u16string::npos);
    CHECK(CheckMacroText(u"a$FF$02").find(u"unvollständig") != std::u16string::npos);
    CHECK(CheckMacroText(std::u16string(32767, u'a')).empty());
    CHECK(CheckMacroText(std::u16string(32768, u'a')).find(u"32767") != std::u16string::npos);
}

TEST_CASE("reg file: every value survives export and import byte for byte") {
    Scene s;
    const HKey cu = HKEY_CURRENT_USER;
    const std::u16string settings = u"Software\\Quellmark\\Vantor32\\Settings";
    const std::u16string macros = u"Software\\Quellmark\\Vantor32\\Macros\\AltGr";
    s.fake.SetRegBinary(cu, settings, u"EasyTab", {1});
    s.fake.SetRegBinary(cu, settings, u"NUM Punkt", {2});    // a 2 stays a 2
    s.fake.SetRegDword(cu, settings, u"Umlautwandlung", 1);  // wrong type, kept
    s.fake.SetRegString(cu, settings, u"DecimalDot", u",");
    s.fake.SetRegString(cu, macros, u"00080045", u"Mit \"freundlichen\" Gr$FC$DFen\\");
    s.fake.SetRegString(cu, macros, u"00080052", u"^%SystemRoot%\\notepad.exe", REG_EXPAND_SZ);
    s.fake.SetRegValue(cu, macros, u"0008004B", REG_SZ, Bytes({'a', 0, 0, 0, 'b', 0, 0, 0}));
    s.fake.SetRegValue(cu, macros, u"0008004C", REG_SZ, Bytes({'a', 0}));  // no terminator
    s.fake.SetRegValue(cu, macros, u"0008004D", REG_SZ, Bytes({'a'}));     // odd size
    s.fake.SetRegString(cu, macros, u"0008004E", u"zwei\r\nZeilen");
    s.fake.SetRegValue(cu, macros, u"Notiz", REG_MULTI_SZ, Bytes({'x', 0, 0, 0, 0, 0}));
    s.fake.SetRegValue(cu, macros, u"", REG_NONE, {});
    s.fake.SetRegValue(cu, macros, u"Lang", REG_BINARY, std::vector<std::uint8_t>(100, 0xAB));
    s.fake.SetRegValue(cu, macros, u"Q", 11, Bytes({1, 2, 3, 4, 5, 6, 7, 8}));
    s.fake.SetRegDword(cu, macros, u"kurz", 7);
    s.fake.SetRegValue(cu, macros, u"D3", REG_DWORD, Bytes({1, 2, 3}));
    s.fake.CreateRegKey(cu, u"Software\\Quellmark\\Vantor32\\Leer");
    s.fake.SetRegString(cu, settings + u"\\Ausnahmen", u"mstsc.exe", u"");
    s.fake.SetRegString(cu, u"AppEvents\\Schemes\\Apps\\Vantor32\\Ein\\.current", u"",
                        u"C:\\Sounds\\ein.wav");
    s.fake.SetRegString(cu, u"Software\\Other", u"x", u"not ours");

    const std::vector<RRegKey> before = ReadConfiguration();
    const std::vector<std::uint8_t> file = EncodeRegFile(FormatRegFile(before));
    CHECK(file[0] == 0xFF);
    CHECK(file[1] == 0xFE);
    const std::u16string text = FormatRegFile(before);
    CHECK(text.find(u"\"EasyTab\"=hex:01\r\n") != std::u16string::npos);
    CHECK(text.find(u"\"00080045\"=\"Mit \\\"freundlichen\\\" Gr$FC$DFen\\\\\"\r\n") !=
          std::u16string::npos);
    CHECK(text.find(u"\"kurz\"=dword:00000007\r\n") != std::u16string::npos);
    CHECK(text.find(u"\"00080052\"=hex(2):") != std::u16string::npos);
    CHECK(text.find(u"Software\\Other") == std::u16string::npos);
    CHECK(text.find(u"[HKEY_CURRENT_USER\\Software\\Quellmark\\Vantor32\\Settings\\Ausnahmen]\r\n"
                    u"\"mstsc.exe\"=\"\"\r\n") != std::u16string::npos);

    // Wipe, import, and compare every value and the file again.
    s.fake.SetRegBinary(cu, settings, u"EasyTab", {0});
    s.fake.SetRegString(cu, macros, u"00080045", u"anders");
    std::vector<RRegKey> parsed;
    std::u16string error;
    REQUIRE(ParseRegFile(file, parsed, error));
    std::vector<RImportChange> changes;
    REQUIRE(PlanImport(parsed, changes, error));
    REQUIRE(changes.size() == 2);  // only what differs is listed
    CHECK(DescribeChange(changes[0]) ==
          u"Ändern: Software\\Quellmark\\Vantor32\\Macros\\AltGr\\00080045: „anders“ → „Mit "
          u"\"freundlichen\" Gr$FC$DFen\\“");
    CHECK(changes[1].kind == CHANGE_MODIFY);
    REQUIRE(ApplyImport(parsed, error));
    const std::vector<RRegKey> after = ReadConfiguration();
    REQUIRE(after.size() == before.size());
    for (std::size_t k = 0; k < before.size(); ++k) {
        CHECK(after[k].path == before[k].path);
        REQUIRE(after[k].values.size() == before[k].values.size());
        for (std::size_t v = 0; v < before[k].values.size(); ++v) {
            CAPTURE(ToUtf8(before[k].values[v].name));
            CHECK(after[k].values[v].type == before[k].values[v].type);
            CHECK(after[k].values[v].data == before[k].values[v].data);
        }
    }
    CHECK(EncodeRegFile(FormatRegFile(after)) == file);
    // The imported macro is what the library then types.
    CHECK(FindMacro(kMacroTableAltGr, 0x45, 0x0C) == u"Mit \"freundlichen\" Grüßen\\");
}

TEST_CASE("reg file: the shipped example imports; deletions; foreign keys and bad files refused") {
    Scene s;
    std::vector<std::uint8_t> example;
    std::u16string error;
    REQUIRE(ReadFileBytes(ToU16(VT_SOURCE_DIR "/examples/vantor32.reg"), example, error));
    std::vector<RRegKey> keys;
    REQUIRE(ParseRegFile(example, keys, error));
    std::vector<RImportChange> changes;
    REQUIRE(PlanImport(keys, changes, error));
    CHECK(changes.size() == 12 + 8 + 6 + 7 + 7);
    REQUIRE(ApplyImport(keys, error));
    CHECK(FindMacro(kMacroTableAltGr, 0x47, 0x08) == u"Guten Tag,\xFF\x00\r"s);
    CHECK(FindMacro(kMacroTableHtml, 0xDB, 0) == u"&szlig;");
    REQUIRE(PlanImport(keys, changes, error));
    CHECK(changes.empty());  // a second import changes nothing

    auto parse = [&](const std::u16string& text) {
        keys.clear();
        error.clear();
        return ParseRegFile(EncodeRegFile(text), keys, error);
    };
    const std::u16string head = u"Windows Registry Editor Version 5.00\r\n\r\n";
    REQUIRE(parse(head +
                  u"[HKEY_CURRENT_USER\\Software\\Quellmark\\Vantor32\\Macros\\AltGr]\r\n"
                  u"\"00080045\"=-\r\n"
                  u"[-HKEY_CURRENT_USER\\Software\\Quellmark\\Vantor32\\Macros\\Umlaut]\r\n"));
    REQUIRE(PlanImport(keys, changes, error));
    REQUIRE(changes.size() == 2);
    CHECK(DescribeChange(changes[0]).rfind(u"Löschen: ", 0) == 0);
    CHECK(DescribeChange(changes[1]) ==
          u"Schlüssel löschen: Software\\Quellmark\\Vantor32\\Macros\\Umlaut");
    REQUIRE(ApplyImport(keys, error));
    CHECK(FindMacro(kMacroTableAltGr, 0x45, 0x08).empty());
    CHECK_FALSE(s.fake.RegKeyExists(HKEY_CURRENT_USER,
                                    u"Software\\Quellmark\\Vantor32\\Macros\\Umlaut\\HTML"));
    CHECK(FindMacro(kMacroTableAltGr, 0x44, 0x08) == u"^*49\"yyyy-mm-dd\"*40");  // others stay

    REQUIRE(parse(head +
                  u"[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n"
                  u"\"x\"=\"evil.exe\"\r\n"));
    CHECK_FALSE(PlanImport(keys, changes, error));
    CHECK(error.find(u"nur seine eigenen Schlüssel") != std::u16string::npos);
    CHECK_FALSE(ApplyImport(keys, error));
    CHECK_FALSE(s.fake.RegKeyExists(HKEY_CURRENT_USER,
                                    u"Software\\Microsoft\\Windows\\CurrentVersion\\Run"));

    CHECK_FALSE(parse(u"REGEDIT4\r\n"));
    CHECK(error.find(u"Keine .reg-Datei") == 0);
    CHECK_FALSE(parse(head + u"[HKEY_LOCAL_MACHINE\\Software\\Quellmark\\Vantor32]\r\n"));
    CHECK(error.find(u"Zeile 3:") == 0);
    CHECK_FALSE(
        parse(head + u"[HKEY_CURRENT_USER\\Software\\Quellmark\\Vantor32]\r\n\"a\"=hex:1,zz\r\n"));
    CHECK(error == u"Zeile 4: Unlesbare Bytes in einem hex-Wert.");
    CHECK_FALSE(
        parse(head + u"[HKEY_CURRENT_USER\\Software\\Quellmark\\Vantor32]\r\n\"a\"=\"offen\r\n"));
    CHECK_FALSE(
        parse(head + u"[HKEY_CURRENT_USER\\Software\\Quellmark\\Vantor32]\r\n\"a\"=hex:01,\\\r\n"));

    // Without byte-order mark: UTF-8, or else the ANSI code page a hand-edited file was saved in.
    const std::string file8 =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Quellmark\\Vantor32]\r\n\"a\"=\"Gr";
    for (const std::string& bytes : {file8 + "\xC3\xBC\xC3\x9F"
                                             "e \xE2\x82\xAC\"\r\n",
                                     file8 + "\xFC\xDF"
                                             "e \x80\"\r\n"}) {
        REQUIRE(ParseRegFile(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), keys, error));
        REQUIRE(keys.size() == 1);
        REQUIRE(keys[0].values.size() == 1);
        CHECK(ValueText(keys[0].values[0].type, keys[0].values[0].data) == u"„Grüße €“");
    }

    // An export that fails to write (here: disk full) leaves yesterday's file as it was.
    const std::u16string path = TempFile("vt-export-test.reg");
    const std::filesystem::path file(ToUtf8(path)), temp(ToUtf8(path + u".tmp"));
    std::filesystem::remove(temp);
    std::ofstream(file, std::ios::binary) << "gestern";
    std::filesystem::create_symlink("/dev/full", temp);
    CHECK_FALSE(ExportConfiguration(path, error));
    CHECK(error.find(u"lässt sich nicht schreiben") != std::u16string::npos);
    std::vector<std::uint8_t> bytes;
    REQUIRE(ReadFileBytes(path, bytes, error));
    CHECK(std::string(bytes.begin(), bytes.end()) == "gestern");
    CHECK_FALSE(std::filesystem::exists(std::filesystem::symlink_status(temp)));
    REQUIRE(ExportConfiguration(path, error));  // and one that works replaces it
    REQUIRE(ReadFileBytes(path, bytes, error));
    REQUIRE(ParseRegFile(bytes, keys, error));
    CHECK(keys.size() > 1);
    CHECK_FALSE(std::filesystem::exists(temp));
    std::filesystem::remove(file);
}

TEST_CASE("command line: /export and /import /S with exit codes and one-line messages") {
    Scene s;
    std::u16string error;
    auto parse = [&](std::vector<std::u16string> args) {
        error.clear();
        return ParseConfigCommand(args, error);
    };
    CHECK_FALSE(parse({}).has_value());
    CHECK_FALSE(parse({u"/tray"}).has_value());
    auto exp = parse({u"/EXPORT", u"C:\\a.reg"});
    REQUIRE(exp.has_value());
    CHECK(exp->isExport);
    CHECK(exp->file == u"C:\\a.reg");
    auto imp = parse({u"/import", u"b.reg", u"/s"});
    REQUIRE(imp.has_value());
    CHECK_FALSE(imp->isExport);
    CHECK(imp->silent);
    CHECK(parse({u"/import"}).has_value());
    CHECK(error == u"Aufruf: Vantor32.exe /import DATEI.reg /S");

    const std::u16string file = TempFile("vt_settings_cmd.reg");
    std::u16string message;
    s.fake.SetRegString(HKEY_CURRENT_USER, u"Software\\Quellmark\\Vantor32\\Macros\\AltGr",
                        u"00080045", u"Hallo");
    CHECK(RunConfigCommand({true, file, false}, message) == 0);
    s.fake.SetRegString(HKEY_CURRENT_USER, u"Software\\Quellmark\\Vantor32\\Macros\\AltGr",
                        u"00080045", u"weg");
    CHECK(RunConfigCommand({false, file, true}, message) == 0);
    CHECK(FindMacro(kMacroTableAltGr, 0x45, 0x08) == u"Hallo");
    CHECK(RunConfigCommand({false, file + u".fehlt", true}, message) == 3);
    CHECK(message.find(u"lässt sich nicht öffnen") != std::u16string::npos);
    CHECK(RunConfigCommand({true, ToU16("/no/such/dir/x.reg"), false}, message) == 2);
    CHECK(message.find(u'\n') == std::u16string::npos);
    std::filesystem::remove(std::filesystem::path(file));
}

TEST_CASE("settings: unreadable values are shown as such and never rewritten unasked") {
    Scene s;
    const std::u16string settings = u"Software\\Quellmark\\Vantor32\\Settings";
    s.fake.SetRegDword(HKEY_CURRENT_USER, settings, u"EasyTab", 1);
    s.fake.SetRegBinary(HKEY_CURRENT_USER, settings, u"UmlautMode", {7});
    CHECK_FALSE(ReadSwitch(OPT_EZ_TAB).has_value());
    CHECK_FALSE(ReadUmlautMode().has_value());
    CHECK(ReadSwitch(OPT_EZ_BS) == false);
    CHECK(s.fake.GetRegValue(HKEY_CURRENT_USER, settings, u"EasyTab")->type == REG_DWORD);
    CHECK(WriteSwitch(OPT_EZ_TAB, true));  // the person's choice mends it
    CHECK(s.fake.GetRegValue(HKEY_CURRENT_USER, settings, u"EasyTab")->data == Bytes({1}));

    const std::u16string table = kMacroTableAltGr;
    s.fake.SetRegString(HKEY_CURRENT_USER, table, u"00080045", u"Hallo$FF$00$0D");
    s.fake.SetRegDword(HKEY_CURRENT_USER, table, u"00080046", 5);
    s.fake.SetRegString(HKEY_CURRENT_USER, table, u"Kommentar", u"x");
    const auto entries = ReadMacroTable(table);
    REQUIRE(entries.size() == 3);
    CHECK(EntryCombination(entries[0]) == u"AltGr+E");
    CHECK(EntryKind(entries[0]) == u"Text");
    CHECK(EntryContent(entries[0]) == u"Hallo⏎");
    CHECK(EntryKind(entries[1]) == u"unbenutzt");
    CHECK(EntryContent(entries[1]) == u"(kein Text: 5)");
    CHECK(EntryCombination(entries[2]) == u"Kommentar (kein Tastenname)");
    CHECK(MacroExists(table, 0x00080046));
    CHECK(WriteMacro(table, 0x00080047, u"Neu"));
    CHECK(FindMacro(table, 0x47, 0x0E) == u"Neu");
    CHECK(DeleteMacroValue(table, u"00080047"));
    CHECK_FALSE(MacroExists(table, 0x00080047));

    CHECK(WriteUmlaut(kMacroTableAscii, 0x000100DE, u"Ae"));
    CHECK(ReadUmlaut(kMacroTableAscii, 0x000100DE) == u"Ae");
    CHECK(WriteUmlaut(kMacroTableAscii, 0x000100DE, u""));  // an empty entry is no entry
    CHECK_FALSE(s.fake.GetRegValue(HKEY_CURRENT_USER, kMacroTableAscii, u"000100DE").has_value());

    s.fake.SetRegString(HKEY_CURRENT_USER, u"Software\\Quellmark\\Vantor32\\Settings\\Speaker",
                        u"Großschrift", u"900,30,2,30");
    CHECK(FormatTone(*ReadTone(3)) == u"900,30,2,30");
    std::int32_t v = 0;
    CHECK(CheckToneField(1, u"10000", &v).empty());
    CHECK(v == 10000);
    CHECK(CheckToneField(1, u"10001", &v) == u"Dauer (ms): bitte eine ganze Zahl von 0 bis 10000.");
    CHECK_FALSE(CheckToneField(2, u"-1", &v).empty());
    CHECK(WriteTone(8, RTone{1300, 30, 3, 20}));
    CHECK(s.fake
              .GetRegValue(HKEY_CURRENT_USER, u"Software\\Quellmark\\Vantor32\\Settings\\Speaker",
                           u"EasyTab")
              ->data == Bytes({'1', 0,   '3', 0,   '0', 0,   '0', 0,   ',', 0,   '3', 0, '0',
                               0,   ',', 0,   '3', 0,   ',', 0,   '2', 0,   '0', 0,   0, 0}));
}

TEST_CASE("programs left alone: added from a path, listed once whatever the case, removed") {
    Scene s;
    const std::u16string list = u"Software\\Quellmark\\Vantor32\\Settings\\Ausnahmen";
    CHECK(AddExclusion(u"C:\\Programme\\Fern\\MSTSC.exe") == u"");
    CHECK(IsProgramExcluded(u"mstsc.exe"));  // what the library then sees
    CHECK(s.fake.GetRegValue(HKEY_CURRENT_USER, list, u"MSTSC.exe")->type == REG_SZ);
    CHECK(AddExclusion(u"mstsc.exe") == u"„mstsc.exe“ steht schon in der Liste.");
    CHECK(AddExclusion(u"C:\\Spiele\\") == u"„C:\\Spiele\\“ ist kein Programmname.");
    CHECK(AddExclusion(u"a|b.exe") == u"„a|b.exe“ ist kein Programmname.");
    s.fake.SetRegDword(HKEY_CURRENT_USER, list, u"keepass.exe", 1);  // the library ignores it
    s.fake.SetRegString(HKEY_CURRENT_USER, list, u"äpfel.exe", u"später");
    auto entries = ReadExclusionList();
    REQUIRE(entries.size() == 3);
    CHECK(ExclusionText(entries[0]) == u"keepass.exe  (kein Text: 1; gilt nicht)");
    CHECK(ExclusionText(entries[1]) == u"MSTSC.exe");
    CHECK(ExclusionText(entries[2]) == u"äpfel.exe");
    CHECK(ProgramChoices({u"target.exe", u"mstsc.EXE", u"KeePass.exe", u"Target.exe", u"Äpfel.exe",
                          u"explorer.exe"}) ==
          std::vector<std::u16string>{u"explorer.exe", u"KeePass.exe", u"target.exe"});
    CHECK(AddExclusion(u"KeePass.exe") == u"");  // the person's choice mends the wrong type
    CHECK(IsProgramExcluded(u"keepass.exe"));
    CHECK(RemoveExclusion(u"MSTSC.exe"));
    CHECK_FALSE(IsProgramExcluded(u"mstsc.exe"));
    CHECK(ReadExclusionList().size() == 2);
    CHECK(s.fake.GetRegValue(HKEY_CURRENT_USER, list, u"äpfel.exe")->data.size() == 14);  // kept
}

TEST_CASE("key capture: the combination as pressed, the way people press it") {
    auto capture = [](std::initializer_list<std::pair<int, std::uint32_t>> events,
                      std::uint8_t held = 0) {
        TKeyCapture c(held);
        for (const auto& e : events)
            if (c.Feed(static_cast<std::uint16_t>(e.first), e.second)) break;
        return c;
    };
    const std::uint32_t down = 0x00000001, up = 0xC0000001, ext = 0x01000000;
    // Windows with AltGr: a left Ctrl comes first, right Alt is VK_MENU extended.
    auto c = capture({{0x11, down}, {0x12, down | ext}, {0x45, down}});
    CHECK(c.Done());
    CHECK(MacroValueName(c.Combination()) == u"00080045");
    // Wine: right Alt without the Ctrl.
    CHECK(capture({{0x12, down | ext}, {0x45, down}}).Combination() == 0x00080045u);
    CHECK(capture({{0x12, down}, {0x11, down}, {0x45, down}}).Combination() == 0x00060045u);
    // Shift let go before the program read the key press: it was held when E went down.
    CHECK(capture({{0x10, down}, {0x45, down}, {0x10, up}}).Combination() == 0x00010045u);
    // A modifier released before the key does not count; one held at the start does.
    CHECK(capture({{0x10, down}, {0x10, up}, {0x45, down}}).Combination() == 0x00000045u);
    CHECK(capture({{0x45, down}}, MOD_CTRL).Combination() == 0x00020045u);
    CHECK(capture({{0x12, up}, {0x45, down}}, MOD_ALT).Combination() == 0x00000045u);
    // The release of a key pressed before the capture is no key.
    CHECK(capture({{0x4E, up}, {0x2E, down | ext}}).Combination() == 0x0000802Eu);
    // Enter held on the button that started the capture repeats; the repeats are no key.
    const std::uint32_t repeat = 0x40000001;
    CHECK(capture({{0x0D, repeat}, {0x0D, repeat}, {0x0D, up}, {0x45, down}}).Combination() ==
          0x00000045u);
    CHECK(capture({{0x2E, down}}).Combination() == 0x0000002Eu);
    CHECK(capture({{0x5C, down | ext}, {0x4C, down}}).Combination() == 0x0080004Cu);
    CHECK(capture({{0x1B, down}}).Cancelled());
    auto esc = capture({{0x11, down}, {0x1B, down}});
    CHECK_FALSE(esc.Cancelled());
    CHECK(CombinationWords(esc.Combination()) == u"Strg+Esc");
    CHECK_FALSE(capture({{0x10, down}, {0x12, down | ext}}).Done());
}

TEST_CASE("macro dialog OK: a macro under a lower-case name is edited in place, never deleted") {
    Scene s;
    const std::u16string table = kMacroTableAltGr;
    s.fake.SetRegString(HKEY_CURRENT_USER, table, u"0008004a", u"%USERNAME%", REG_EXPAND_SZ);
    // What OK does, as the dialog carries it out.
    auto ok = [&](const std::u16string& original, std::uint32_t key, const std::u16string& text) {
        const RMacroSave plan = PlanMacroSave(original, key, text, u"%USERNAME%");
        if (plan.write) CHECK(WriteMacro(table, key, text));
        if (plan.deleteOriginal) CHECK(DeleteMacroValue(table, original));
        return plan;
    };
    // Unchanged: nothing written, the value keeps its type.
    CHECK_FALSE(ok(u"0008004a", 0x0008004A, u"%USERNAME%").write);
    CHECK(s.fake.GetRegValue(HKEY_CURRENT_USER, table, u"0008004A")->type == REG_EXPAND_SZ);
    // A new text under the same combination: written, and the macro is still there.
    const RMacroSave edited = ok(u"0008004a", 0x0008004A, u"Hallo");
    CHECK(edited.sameMacro);
    CHECK(edited.name == u"0008004a");
    CHECK(FindMacro(table, 0x4A, 0x0E) == u"Hallo");
    // Moved to AltGr+K: written there, the old one gone.
    const RMacroSave moved = ok(u"0008004a", 0x0008004B, u"Hallo");
    CHECK(moved.deleteOriginal);
    CHECK(moved.name == u"0008004B");
    CHECK_FALSE(MacroExists(table, 0x0008004A));
    CHECK(FindMacro(table, 0x4B, 0x0E) == u"Hallo");
    // A new macro is written under its upper-case name and deletes nothing.
    const RMacroSave fresh = PlanMacroSave(u"", 0x0008004A, u"x", u"");
    CHECK((fresh.write && !fresh.deleteOriginal && !fresh.sameMacro && fresh.name == u"0008004A"));
}

TEST_CASE("Erweitert: the remap read from the machine's map, the setup tool's arguments") {
    Scene s;
    const std::u16string layout = u"SYSTEM\\CurrentControlSet\\Control\\Keyboard Layout";
    CHECK_FALSE(ReadRemapState().capsLock);  // no map
    // Caps Lock and Scroll Lock taken away, after another program's own entry.
    const std::vector<std::uint8_t> both = {0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0,
                                            0x1D, 0, 0x38, 0, 0x6F, 0xE0, 0x3A, 0,
                                            0x6E, 0xE0, 0x46, 0};
    s.fake.SetRegBinary(HKEY_LOCAL_MACHINE, layout, u"Scancode Map", both);
    CHECK(ReadRemapState().capsLock);
    CHECK(ReadRemapState().scrollLock);
    CHECK_FALSE(ParseRemapState(std::vector<std::uint8_t>(both.begin(), both.begin() + 16)).capsLock);
    // A count beyond the value's end reads only what is there; a map of another type is none.
    std::vector<std::uint8_t> cut(both.begin(), both.begin() + 20);
    cut[8] = 200;
    CHECK(ParseRemapState(cut).capsLock);
    CHECK_FALSE(ParseRemapState(cut).scrollLock);
    CHECK_FALSE(ParseRemapState({1, 2, 3}).capsLock);
    s.fake.SetRegDword(HKEY_LOCAL_MACHINE, layout, u"Scancode Map", 5);
    CHECK_FALSE(ReadRemapState().capsLock);
    CHECK(RemapArguments(true, true) == u"/M CAPSLOCK SCROLLOCK");
    CHECK(RemapArguments(false, true) == u"/M SCROLLOCK");
    CHECK(RemapArguments(false, false) == u"/M");
    // The diagnostic switch, and a value of another type shown as unreadable, kept.
    CHECK(WriteDiagnose(true));
    CHECK(ReadDiagnose() == true);
    s.fake.SetRegDword(HKEY_CURRENT_USER, u"Software\\Quellmark\\Vantor32\\Settings", u"Diagnose", 1);
    CHECK_FALSE(ReadDiagnose().has_value());
}

namespace {

// Every key below root with every value (name, type, bytes): what "as before" compares.
using RDumpValue = std::pair<std::uint32_t, std::vector<std::uint8_t>>;  // type, bytes
std::map<std::u16string, std::map<std::u16string, RDumpValue>> Dump(const std::u16string& root) {
    std::map<std::u16string, std::map<std::u16string, RDumpValue>> out;
    std::vector<std::u16string> todo{root};
    while (!todo.empty()) {
        const std::u16string path = todo.back();
        todo.pop_back();
        HKey key = 0;
        if (Plat().RegOpenKeyExW(HKEY_CURRENT_USER, path, KEY_READ, &key) != ERROR_SUCCESS)
            continue;
        auto& values = out[path];
        std::u16string name;
        for (std::uint32_t i = 0; Plat().RegEnumValueW(key, i, &name) == ERROR_SUCCESS; ++i) {
            RDumpValue v;
            std::uint32_t size = 0;
            Plat().RegQueryValueExW(key, name, &v.first, nullptr, &size);
            v.second.resize(size);
            Plat().RegQueryValueExW(key, name, &v.first, v.second.data(), &size);
            values[name] = v;
        }
        for (std::uint32_t i = 0; Plat().RegEnumKeyExW(key, i, &name) == ERROR_SUCCESS; ++i)
            todo.push_back(path + u"\\" + name);
        Plat().RegCloseKey(key);
    }
    return out;
}

const std::u16string kHead = u"Windows Registry Editor Version 5.00\r\n\r\n";
const std::u16string kProductKey = u"Software\\Quellmark\\Vantor32";

std::u16string WriteTemp(const char* name, const std::u16string& text) {
    const std::u16string file = TempFile(name);
    std::u16string error;
    REQUIRE(WriteFileBytes(file, EncodeRegFile(text), error));
    return file;
}

}  // namespace

TEST_CASE("import all or nothing: a write failing at the last value leaves everything as before") {
    Scene s;
    const HKey cu = HKEY_CURRENT_USER;
    s.fake.SetRegBinary(cu, kProductKey + u"\\Settings", u"EasyTab", {1});
    s.fake.SetRegString(cu, kProductKey + u"\\Settings", u"DecimalDot", u",");
    s.fake.SetRegString(cu, kProductKey + u"\\Macros\\AltGr", u"00080045", u"Hallo");
    s.fake.SetRegString(cu, kProductKey + u"\\Macros\\AltGr", u"00080047", u"Guten Tag");
    s.fake.SetRegString(cu, kProductKey + u"\\Macros\\Umlaut\\Ascii", u"000000DE", u"ae");
    s.fake.SetRegString(cu, kProductKey + u"\\Settings\\Ausnahmen", u"mstsc.exe", u"");
    const auto before = Dump(u"Software");

    // Deletes the macros first, then changes, adds and creates, and fails at its last value.
    const std::u16string text =
        kHead + u"[-HKEY_CURRENT_USER\\" + kProductKey + u"\\Macros]\r\n\r\n" +
        u"[HKEY_CURRENT_USER\\" + kProductKey + u"\\Settings]\r\n\"EasyTab\"=hex:00\r\n"
        u"\"DecimalDot\"=-\r\n\"Neu\"=dword:00000001\r\n\r\n" +
        u"[HKEY_CURRENT_USER\\" + kProductKey + u"\\Macros\\AltGr]\r\n\"00080045\"=\"anders\"\r\n\r\n" +
        u"[HKEY_CURRENT_USER\\" + kProductKey + u"\\Neu\\Tiefer]\r\n\"a\"=\"1\"\r\n\"Letzter\"=\"x\"\r\n";
    const std::u16string file = WriteTemp("vt_import_fails.reg", text);
    s.fake.failSetValue[u"letzter"] = ERROR_ACCESS_DENIED;
    std::u16string message;
    CHECK(RunConfigCommand({false, file, true}, message) == 4);
    CHECK(message.find(u"„Software\\Quellmark\\Vantor32\\Neu\\Tiefer\\Letzter“ ließ sich nicht "
                       u"schreiben") != std::u16string::npos);
    CHECK(message.find(u"alles steht wieder wie vorher") != std::u16string::npos);
    CHECK(Dump(u"Software") == before);
    CHECK(FindMacro(kMacroTableAltGr, 0x45, 0x08) == u"Hallo");

    // When putting back fails as well (the deleted "DecimalDot" cannot be written again),
    // the code and the message say that a part stayed.
    s.fake.failSetValue[u"DecimalDot"] = ERROR_ACCESS_DENIED;
    CHECK(RunConfigCommand({false, file, true}, message) == 6);
    CHECK(message.find(u"nicht ganz wiederherstellen") != std::u16string::npos);
    CHECK(message.find(u"DecimalDot") != std::u16string::npos);
    CHECK(s.fake.GetRegValue(cu, kProductKey + u"\\Macros\\AltGr", u"00080047")->data ==
          before.at(kProductKey + u"\\Macros\\AltGr").at(u"00080047").second);  // the rest is back
    s.fake.failSetValue.clear();

    // Beyond the registry's limits (a name part of 256 characters, a value name of 16,384):
    // refused before the first block deletes anything.
    for (const std::u16string& bad :
         {u"[HKEY_CURRENT_USER\\" + kProductKey + u"\\" + std::u16string(256, u'k') + u"]\r\n",
          u"[HKEY_CURRENT_USER\\" + kProductKey + u"\\Settings]\r\n\"" +
              std::u16string(16384, u'v') + u"\"=\"\"\r\n"}) {
        s.fake.SetRegString(cu, kProductKey + u"\\Settings", u"DecimalDot", u",");
        const auto now = Dump(u"Software");
        const std::u16string f = WriteTemp(
            "vt_import_limits.reg",
            kHead + u"[-HKEY_CURRENT_USER\\" + kProductKey + u"\\Macros]\r\n\r\n" + bad);
        CHECK(RunConfigCommand({false, f, true}, message) == 3);
        CHECK(message.find(u"die Registrierung erlaubt höchstens") != std::u16string::npos);
        CHECK(message.find(u"Nichts wurde geändert.") != std::u16string::npos);
        CHECK(Dump(u"Software") == now);
        std::filesystem::remove(std::filesystem::path(ToUtf8(f)));
    }
    std::filesystem::remove(std::filesystem::path(ToUtf8(file)));
}

TEST_CASE("export: a value name with a line feed comes back; a key name with one is refused") {
    Scene s;
    const HKey cu = HKEY_CURRENT_USER;
    const std::u16string list = kProductKey + u"\\Settings\\Ausnahmen";
    s.fake.SetRegString(cu, list, u"mstsc.exe", u"");
    s.fake.SetRegString(cu, list, u"a\nb.exe", u"");
    s.fake.SetRegString(cu, list, u"c\r\\n.exe", u"x");  // a CR, and a backslash before an n
    const auto before = Dump(kProductKey);
    const std::u16string file = TempFile("vt_export_lf.reg");
    std::u16string error;
    REQUIRE(ExportConfiguration(file, error));
    std::vector<std::uint8_t> bytes;
    REQUIRE(ReadFileBytes(file, bytes, error));
    std::vector<RRegKey> keys;
    REQUIRE(ParseRegFile(bytes, keys, error));
    const std::u16string text = FormatRegFile(keys);
    CHECK(text.find(u"\"a\\nb.exe\"=\"\"\r\n") != std::u16string::npos);
    CHECK(text.find(u"\"c\\r\\\\n.exe\"=\"x\"\r\n") != std::u16string::npos);

    Plat().RegDeleteKeyW(cu, list);
    std::vector<RImportChange> changes;
    REQUIRE(LoadImportFile(file, keys, changes, error));
    CHECK(changes.size() == 3);
    REQUIRE(ApplyImport(keys, error));
    CHECK(Dump(kProductKey) == before);

    // A key name with a line break has no form between the brackets: no file, and the
    // message names the key.
    s.fake.CreateRegKey(cu, kProductKey + u"\\Macros\\Zwei\nZeilen");
    std::filesystem::remove(std::filesystem::path(ToUtf8(file)));
    CHECK_FALSE(ExportConfiguration(file, error));
    CHECK(error.find(u"Der Schlüssel „HKEY_CURRENT_USER\\Software\\Quellmark\\Vantor32\\Macros\\"
                     u"Zwei\\nZeilen“ "
                     u"hat einen Zeilenumbruch im Namen") == 0);
    CHECK_FALSE(std::filesystem::exists(std::filesystem::path(ToUtf8(file))));
}

TEST_CASE("import and export never go through a registry link under the product key") {
    Scene s;
    const HKey cu = HKEY_CURRENT_USER;
    s.fake.SetRegString(cu, u"Software\\Fremd", u"wichtig", u"bleibt");
    s.fake.SetRegString(cu, u"Software\\Fremd\\Unten", u"auch", u"bleibt");
    s.fake.SetRegString(cu, kProductKey + u"\\Macros\\AltGr", u"00080045", u"Hallo");
    s.fake.AddRegLink(cu, kProductKey + u"\\Macros\\AltGr\\Fremd", cu, u"Software\\Fremd");
    // and one back to the product key, which a walk that follows links never leaves
    s.fake.AddRegLink(cu, kProductKey + u"\\Settings\\Oben", cu, kProductKey);
    const auto before = Dump(u"Software\\Fremd");
    const auto product = Dump(kProductKey + u"\\Macros");

    const std::vector<RRegKey> exported = ReadConfiguration();
    const std::u16string text = FormatRegFile(exported);
    CHECK(text.find(u"Hallo") != std::u16string::npos);
    CHECK(text.find(u"wichtig") == std::u16string::npos);
    CHECK(text.find(u"Fremd") == std::u16string::npos);
    CHECK(text.find(u"Oben") == std::u16string::npos);

    std::vector<RRegKey> keys;
    std::vector<RImportChange> changes;
    std::u16string error;
    for (const std::u16string& body :
         {u"[-HKEY_CURRENT_USER\\" + kProductKey + u"\\Macros]\r\n",
          u"[HKEY_CURRENT_USER\\" + kProductKey + u"\\Macros\\AltGr\\Fremd]\r\n\"x\"=\"y\"\r\n",
          u"[-HKEY_CURRENT_USER\\" + kProductKey + u"\\Macros\\AltGr\\Fremd\\Unten]\r\n"}) {
        REQUIRE(ParseRegFile(EncodeRegFile(kHead + body), keys, error));
        CHECK_FALSE(PlanImport(keys, changes, error));
        CHECK(error ==
              u"„HKEY_CURRENT_USER\\Software\\Quellmark\\Vantor32\\Macros\\AltGr\\Fremd“ ist eine "
              u"Verknüpfung auf einen anderen Schlüssel der Registrierung. Vantor32 schreibt und "
              u"löscht nicht durch Verknüpfungen. Nichts wurde geändert.");
        CHECK_FALSE(ApplyImport(keys, error));
        CHECK(Dump(u"Software\\Fremd") == before);
        CHECK(Dump(kProductKey + u"\\Macros") == product);
    }
}
