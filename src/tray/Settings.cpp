#include "Settings.h"

#include <algorithm>
#include <exception>

#include "MacroText.h"
#include "RegFile.h"
#include "common/DebugWindowInterface.h"
#include "common/KeyCombination.h"
#include "common/RegistryKey.h"
#include "common/Vantor.Utils.h"
#include "common/VtError.h"

namespace vt {

const std::array<RSwitchItem, 10> kSwitchItems = {{
    {OPT_MAIN, u"&Vantor eingeschaltet (AltGr+F1)"},
    {OPT_UMLAUT, u"&Umlautwandlung"},
    {OPT_EZ_TAB, u"Easy&Tab: Num + und Num - als Tab und Umschalt+Tab"},
    {OPT_EZ_BS, u"Easy&Backslash: die Taste # schreibt \\"},
    {OPT_NP_DOT, u"&NUM Punkt: die Komma-Taste des Ziffernblocks schreibt einen eigenen Text"},
    {OPT_LOCK_CAPS, u"&CAPSLOCK sperren"},
    {OPT_LOCK_NUM, u"NU&M Umschaltung sperren"},
    {OPT_BEEP, u"&Piepsen bei Umschaltungen"},
    {OPT_SPEAKER, u"&Speaker benutzen (Töne statt WAV-Dateien)"},
    {OPT_HIDE, u"Vantor-Symbol verstec&ken"},
}};

const std::array<RUmlautKey, 7> kUmlautKeys = {{
    {0x000000DE, u"ä"},
    {0x000000C0, u"ö"},
    {0x000000BA, u"ü"},
    {0x000100DE, u"Ä"},
    {0x000100C0, u"Ö"},
    {0x000100BA, u"Ü"},
    {0x000000DB, u"ß"},
}};

const std::array<RToneField, 4> kToneFields = {{
    {u"Frequenz (Hz)", 0, 32767},
    {u"Dauer (ms)", 0, kMaxToneMs},
    {u"Anzahl", 0, kMaxToneCount},
    {u"Pause (ms)", 0, kMaxPauseMs},
}};

namespace {

void LogFailure(const std::u16string& what, const std::exception& e) noexcept {
    try {
        const auto* vtError = dynamic_cast<const EVtError*>(&e);
        DebugLog(u"Einstellungen: %s: %s", what, vtError ? vtError->Message() : ToU16(e.what()));
    } catch (...) {
    }
}

// A key of the product below HKEY_CURRENT_USER, opened for one operation.
struct Key : TRegistry {
    explicit Key(const std::u16string& path, bool create) : TRegistry(KEY_ALL_ACCESS) {
        SetRootKey(HKEY_CURRENT_USER);
        open = OpenKey(path, create);
    }
    bool open = false;
};

std::u16string SpeakerPath() {
    return RegPath + u"Settings\\Speaker";
}

}  // namespace

// ---------------------------------------------------------------- "Allgemein"
std::optional<bool> ReadSwitch(AOption option) {
    try {
        if (!Options) return std::nullopt;
        return Options->GetOption(option) != 0;
    } catch (const std::exception& e) {
        LogFailure(OptionValueNames[option], e);
        return std::nullopt;
    }
}

bool WriteSwitch(AOption option, bool on) {
    try {
        if (!Options) return false;
        Options->SetOption(option, on);
        return true;
    } catch (const std::exception& e) {
        LogFailure(OptionValueNames[option], e);
        return false;
    }
}

std::optional<EinUmlautMode> ReadUmlautMode() {
    try {
        if (!Options) return std::nullopt;
        const EinUmlautMode mode = Options->GetUmlautMode();
        if (mode != UMLAUT_ASCII && mode != UMLAUT_HTML) return std::nullopt;
        return mode;
    } catch (const std::exception& e) {
        LogFailure(u"UmlautMode", e);
        return std::nullopt;
    }
}

bool WriteUmlautMode(EinUmlautMode mode) {
    try {
        if (!Options) return false;
        Options->SetUmlautMode(mode);
        return true;
    } catch (const std::exception& e) {
        LogFailure(u"UmlautMode", e);
        return false;
    }
}

std::optional<std::u16string> ReadDecimalDot() {
    try {
        if (!Options) return std::nullopt;
        return Options->GetOptionString(OPT_DECIMAL_DOT);
    } catch (const std::exception& e) {
        LogFailure(OptionValueNames[OPT_DECIMAL_DOT], e);
        return std::nullopt;
    }
}

bool WriteDecimalDot(const std::u16string& text) {
    try {
        if (!Options) return false;
        Options->SetOptionString(OPT_DECIMAL_DOT, text);
        return true;
    } catch (const std::exception& e) {
        LogFailure(OptionValueNames[OPT_DECIMAL_DOT], e);
        return false;
    }
}

// ---------------------------------------------------------------- "Makros"
std::vector<RMacroEntry> ReadMacroTable(const std::u16string& table) {
    std::vector<RMacroEntry> entries;
    std::vector<RRegKey> keys;
    HKey key = 0;
    if (Plat().RegOpenKeyExW(HKEY_CURRENT_USER, table, KEY_READ, &key) != ERROR_SUCCESS)
        return entries;
    std::vector<std::u16string> names;
    std::u16string name;
    for (std::uint32_t i = 0; Plat().RegEnumValueW(key, i, &name) == ERROR_SUCCESS; ++i)
        names.push_back(name);
    std::sort(names.begin(), names.end());
    for (const auto& n : names) {
        RMacroEntry e;
        e.name = n;
        e.key = ParseMacroValueName(n);
        std::uint32_t size = 0;
        if (Plat().RegQueryValueExW(key, n, &e.type, nullptr, &size) != ERROR_SUCCESS) continue;
        e.data.resize(size);
        if (Plat().RegQueryValueExW(key, n, &e.type, e.data.data(), &size) != ERROR_SUCCESS)
            continue;
        e.data.resize(size);
        const bool text = (e.type == REG_SZ || e.type == REG_EXPAND_SZ) && size % 2 == 0;
        if (text) e.stored = TextOf(e.data);
        e.usable = e.key.has_value() && text && size <= kMaxMacroBytes && !e.stored.empty();
        entries.push_back(std::move(e));
    }
    Plat().RegCloseKey(key);
    return entries;
}

std::u16string EntryCombination(const RMacroEntry& e) {
    if (!e.key) return e.name + u" (kein Tastenname)";
    return CombinationWords(*e.key);
}

std::u16string EntryKind(const RMacroEntry& e) {
    if (!e.usable) return u"unbenutzt";
    return MacroKind(e.stored);
}

std::u16string EntryContent(const RMacroEntry& e) {
    if (e.usable) return MacroPreview(e.stored);
    if (e.type == REG_SZ || e.type == REG_EXPAND_SZ) {
        if (e.data.size() > kMaxMacroBytes) return u"(zu lang, wird nicht geschrieben)";
        if (e.stored.empty()) return u"(leer)";
        return MacroPreview(e.stored);
    }
    return u"(kein Text: " + ValueText(e.type, e.data) + u")";
}

RMacroSave PlanMacroSave(const std::u16string& originalName, std::uint32_t key,
                         const std::u16string& text, const std::u16string& stored) {
    RMacroSave plan;
    plan.sameMacro = !originalName.empty() && ParseMacroValueName(originalName) == key;
    plan.name = plan.sameMacro ? originalName : MacroValueName(key);
    plan.write = !(plan.sameMacro && text == stored);
    plan.deleteOriginal = !originalName.empty() && !plan.sameMacro;
    return plan;
}

// ---------------------------------------------------------------- "Erweitert"
std::optional<bool> ReadDiagnose() {
    try {
        if (!Options) return std::nullopt;
        return Options->ReadFlag(kDiagnoseValueName, 0) != 0;
    } catch (const std::exception& e) {
        LogFailure(kDiagnoseValueName, e);
        return std::nullopt;
    }
}

bool WriteDiagnose(bool on) {
    try {
        if (!Options) return false;
        Options->WriteFlag(kDiagnoseValueName, on ? 1 : 0);
        return true;
    } catch (const std::exception& e) {
        LogFailure(kDiagnoseValueName, e);
        return false;
    }
}

RRemapState ParseRemapState(const std::vector<std::uint8_t>& map) {
    RRemapState state;
    if (map.size() < 12) return state;
    auto dword = [&](std::size_t at) {
        return static_cast<std::uint32_t>(map[at] | map[at + 1] << 8 | map[at + 2] << 16 |
                                          static_cast<std::uint32_t>(map[at + 3]) << 24);
    };
    // The count includes the closing null entry; never read past the value.
    const std::size_t count = std::min<std::size_t>(dword(8), (map.size() - 12) / 4);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t entry = dword(12 + 4 * i);
        const std::uint32_t from = entry >> 16;  // the key pressed; the low word is what it types
        if (entry == 0) continue;
        if (from == 0x003A) state.capsLock = true;
        if (from == 0x0046) state.scrollLock = true;
    }
    return state;
}

RRemapState ReadRemapState() {
    try {
        TRegistry reg(KEY_READ);
        reg.SetRootKey(HKEY_LOCAL_MACHINE);
        if (!reg.OpenKeyReadOnly(u"SYSTEM\\CurrentControlSet\\Control\\Keyboard Layout"))
            return {};
        std::uint32_t type = 0, size = 0;
        if (!reg.GetDataInfo(u"Scancode Map", &type, &size) || type != REG_BINARY || size == 0 ||
            size > 4096)
            return {};
        std::vector<std::uint8_t> bytes(size);
        bytes.resize(reg.ReadBinaryData(u"Scancode Map", bytes.data(), size));
        return ParseRemapState(bytes);
    } catch (const std::exception& e) {
        LogFailure(u"Scancode Map", e);
        return {};
    }
}

std::u16string RemapArguments(bool capsLock, bool scrollLock) {
    return std::u16string(u"/M") + (capsLock ? u" CAPSLOCK" : u"") +
           (scrollLock ? u" SCROLLOCK" : u"");
}

bool MacroExists(const std::u16string& table, std::uint32_t key) {
    Key k(table, false);
    return k.open && k.ValueExists(MacroValueName(key));
}

bool WriteMacro(const std::u16string& table, std::uint32_t key, const std::u16string& stored) {
    try {
        Key k(table, true);
        if (!k.open) return false;
        k.WriteString(MacroValueName(key), stored);
        return true;
    } catch (const std::exception& e) {
        LogFailure(MacroValueName(key), e);
        return false;
    }
}

bool DeleteMacroValue(const std::u16string& table, const std::u16string& name) {
    Key k(table, false);
    return k.open && k.DeleteValue(name);
}

// ---------------------------------------------------------------- "Ausnahmen"
namespace {

std::u16string ExclusionsPath() {
    return RegPath + kExclusionsKey;
}

// The registry compares value names in upper case (ASCII and Latin-1 letters alike).
std::u16string Folded(std::u16string s) {
    for (auto& c : s)
        if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
            c = static_cast<char16_t>(c - 32);
    return s;
}

bool FoldedLess(const std::u16string& a, const std::u16string& b) {
    return Folded(a) < Folded(b);
}

}  // namespace

std::vector<RMacroEntry> ReadExclusionList() {
    std::vector<RMacroEntry> entries = ReadMacroTable(ExclusionsPath());
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto& a, const auto& b) { return FoldedLess(a.name, b.name); });
    return entries;
}

std::u16string ExclusionText(const RMacroEntry& e) {
    if (e.type == REG_SZ) return e.name;
    return e.name + u"  (kein Text: " + ValueText(e.type, e.data) + u"; gilt nicht)";
}

std::u16string AddExclusion(const std::u16string& pathOrName) {
    std::u16string name = FileNamePart(pathOrName);
    while (!name.empty() && (name.back() == u' ' || name.back() == u'.')) name.pop_back();
    while (!name.empty() && name.front() == u' ') name.erase(0, 1);
    if (name.empty() || name.find_first_of(u"<>\"|?*") != std::u16string::npos)
        return u"„" + pathOrName + u"“ ist kein Programmname.";
    try {
        Key k(ExclusionsPath(), true);
        if (!k.open) return u"Die Liste „" + kExclusionsKey + u"“ ließ sich nicht anlegen.";
        std::uint32_t type = 0, size = 0;
        // A value of another type does not count; the person asked for one that does.
        if (k.GetDataInfo(name, &type, &size) && type == REG_SZ)
            return u"„" + name + u"“ steht schon in der Liste.";
        k.WriteString(name, u"");
        return u"";
    } catch (const std::exception& e) {
        LogFailure(name, e);
        return u"„" + name + u"“ ließ sich nicht eintragen.";
    }
}

bool RemoveExclusion(const std::u16string& name) {
    Key k(ExclusionsPath(), false);
    return k.open && k.DeleteValue(name);
}

std::vector<std::u16string> ProgramChoices(const std::vector<std::u16string>& exeNames) {
    std::vector<std::u16string> listed;
    // An entry of another type does not count: choosing it again mends it.
    for (const auto& e : ReadExclusionList())
        if (e.type == REG_SZ) listed.push_back(Folded(e.name));
    std::vector<std::u16string> choices;
    std::vector<std::u16string> seen;
    for (const auto& n : exeNames) {
        const std::u16string f = Folded(n);
        if (n.empty() || std::find(seen.begin(), seen.end(), f) != seen.end() ||
            std::find(listed.begin(), listed.end(), f) != listed.end())
            continue;
        seen.push_back(f);
        choices.push_back(n);
    }
    std::sort(choices.begin(), choices.end(), FoldedLess);
    return choices;
}

// ---------------------------------------------------------------- "Umlaute"
std::optional<std::u16string> ReadUmlaut(const std::u16string& table, std::uint32_t key) {
    try {
        Key k(table, false);
        if (!k.open) return std::u16string();
        return k.ReadString(MacroValueName(key));
    } catch (const std::exception& e) {
        LogFailure(MacroValueName(key), e);
        return std::nullopt;
    }
}

bool WriteUmlaut(const std::u16string& table, std::uint32_t key, const std::u16string& stored) {
    try {
        Key k(table, !stored.empty());
        if (!k.open) return stored.empty();
        if (stored.empty()) {
            k.DeleteValue(MacroValueName(key));
            return !k.ValueExists(MacroValueName(key));
        }
        k.WriteString(MacroValueName(key), stored);
        return true;
    } catch (const std::exception& e) {
        LogFailure(MacroValueName(key), e);
        return false;
    }
}

// ---------------------------------------------------------------- "Töne"
std::optional<RTone> ReadTone(std::uint8_t event) {
    if (event < 1 || event > 8) return std::nullopt;
    try {
        Key k(SpeakerPath(), false);
        RTone tone;
        if (!k.open) return tone;
        TSpeakerSetting s;
        ParseSpeakerSetting(k.ReadString(SoundEventNames[event]), s);
        tone.freq = s.Freq;
        tone.duration = s.Duration;
        tone.count = s.Count;
        tone.pause = s.Pause;
        return tone;
    } catch (const std::exception& e) {
        LogFailure(SoundEventNames[event], e);
        return std::nullopt;
    }
}

std::u16string FormatTone(const RTone& t) {
    auto n = [](std::int32_t v) { return ToU16(std::to_string(v)); };
    return n(t.freq) + u"," + n(t.duration) + u"," + n(t.count) + u"," + n(t.pause);
}

std::u16string CheckToneField(int field, const std::u16string& text, std::int32_t* value) {
    const RToneField& f = kToneFields[static_cast<std::size_t>(field)];
    std::int64_t v = 0;
    bool ok = !text.empty() && text.size() <= 9;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9')
            ok = false;
        else
            v = v * 10 + (c - u'0');
    }
    if (!ok || v < f.min || v > f.max)
        return std::u16string(f.label) + u": bitte eine ganze Zahl von " +
               ToU16(std::to_string(f.min)) + u" bis " + ToU16(std::to_string(f.max)) + u".";
    *value = static_cast<std::int32_t>(v);
    return std::u16string();
}

bool WriteTone(std::uint8_t event, const RTone& tone) {
    if (event < 1 || event > 8) return false;
    try {
        Key k(SpeakerPath(), true);
        if (!k.open) return false;
        k.WriteString(SoundEventNames[event], FormatTone(tone));
        return true;
    } catch (const std::exception& e) {
        LogFailure(SoundEventNames[event], e);
        return false;
    }
}

// ---------------------------------------------------------------- command line
std::optional<RConfigCommand> ParseConfigCommand(const std::vector<std::u16string>& args,
                                                 std::u16string& error) {
    auto lower = [](std::u16string s) {
        for (auto& c : s)
            if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
        return s;
    };
    std::optional<RConfigCommand> command;
    bool silent = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::u16string a = lower(args[i]);
        if (a == u"/s" || a == u"-s") {
            silent = true;
        } else if (a == u"/export" || a == u"-export" || a == u"/import" || a == u"-import") {
            if (command) {
                error = u"Bitte nur eines: /export DATEI oder /import DATEI /S.";
                return RConfigCommand{};
            }
            command = RConfigCommand{};
            command->isExport = a.find(u"export") != std::u16string::npos;
            if (i + 1 >= args.size() || args[i + 1].empty() || args[i + 1][0] == u'/') {
                error = command->isExport ? u"Aufruf: Vantor32.exe /export DATEI.reg"
                                          : u"Aufruf: Vantor32.exe /import DATEI.reg /S";
                return command;
            }
            command->file = args[++i];
        }
    }
    if (command) command->silent = silent;
    return command;
}

int RunConfigCommand(const RConfigCommand& command, std::u16string& message) {
    if (command.isExport) {
        if (!ExportConfiguration(command.file, message)) return 2;
        message = u"Einstellungen nach „" + command.file + u"“ exportiert.";
        return 0;
    }
    std::vector<RRegKey> keys;
    std::vector<RImportChange> changes;
    if (!LoadImportFile(command.file, keys, changes, message)) return 3;
    // 4: nothing changed, everything is back as it was; 6: a part of the file stayed.
    bool restored = true;
    if (!ApplyImport(keys, message, &restored)) return restored ? 4 : 6;
    message = u"Einstellungen aus „" + command.file + u"“ importiert (" +
              ToU16(std::to_string(changes.size())) + u" Änderungen).";
    return 0;
}

}  // namespace vt
