#include "Settings.Abbrev.h"

#include <algorithm>
#include <exception>

#include "MacroText.h"
#include "RegFile.h"
#include "common/DebugWindowInterface.h"
#include "common/RegistryKey.h"
#include "common/Vantor.Utils.Abbrev.h"
#include "common/Vantor.Utils.h"
#include "common/VtError.h"

namespace vt {

namespace {

std::u16string Folded(const std::u16string& s) {
    std::u16string out = s;
    for (auto& c : out) c = UpperChar(c);
    return out;
}

std::u16string Number(std::size_t n) {
    return ToU16(std::to_string(n));
}

}  // namespace

std::vector<RMacroEntry> ReadAbbrevTable() {
    std::vector<RMacroEntry> entries = ReadMacroTable(kAbbrevTable);
    for (auto& e : entries) {
        const bool text = (e.type == REG_SZ || e.type == REG_EXPAND_SZ) && e.data.size() % 2 == 0;
        e.usable = IsValidAbbreviation(e.name) && text && e.data.size() <= kMaxMacroBytes &&
                   !e.stored.empty();
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto& a, const auto& b) { return Folded(a.name) < Folded(b.name); });
    return entries;
}

std::u16string AbbrevName(const RMacroEntry& e) {
    if (IsValidAbbreviation(e.name)) return e.name;
    return e.name + u" (kein Kürzel)";
}

std::u16string AbbrevKind(const RMacroEntry& e) {
    return e.usable ? MacroKind(e.stored) : u"unbenutzt";
}

std::u16string AbbrevContent(const RMacroEntry& e) {
    if (e.type == REG_SZ || e.type == REG_EXPAND_SZ) {
        if (e.data.size() > kMaxMacroBytes) return u"(zu lang, wird nicht geschrieben)";
        if (e.stored.empty()) return u"(leer)";
        return MacroPreview(e.stored);
    }
    return u"(kein Text: " + ValueText(e.type, e.data) + u")";
}

std::u16string CheckAbbrevName(const std::u16string& name, const std::u16string& originalName) {
    if (name.empty()) return u"Bitte ein Kürzel eingeben.";
    if (name.size() < kMinAbbrevLength || name.size() > kMaxAbbrevLength)
        return u"„" + name + u"“ hat " + Number(name.size()) +
               u" Zeichen; ein Kürzel hat 2 bis 32 Buchstaben und Ziffern.";
    for (char16_t c : name)
        if (!IsAbbrevChar(c))
            return u"„" + std::u16string(1, c) +
                   u"“ geht in einem Kürzel nicht: nur Buchstaben und Ziffern, denn ein "
                   u"Leerzeichen oder Satzzeichen beendet das Kürzel beim Tippen.";
    if (!originalName.empty() && Folded(name) == Folded(originalName)) return std::u16string();
    for (const auto& e : ReadMacroTable(kAbbrevTable))
        if (Folded(e.name) == Folded(name))
            return u"„" + e.name + u"“ ist schon vergeben: " + AbbrevContent(e) +
                   u"\nBitte ein anderes Kürzel wählen oder jenes bearbeiten.";
    return std::u16string();
}

RAbbrevSave PlanAbbrevSave(const std::u16string& originalName, const std::u16string& name,
                           const std::u16string& text, const std::u16string& stored) {
    RAbbrevSave plan;
    const bool sameName = !originalName.empty() && originalName == name;
    plan.write = !(sameName && text == stored);
    plan.deleteOriginal = !originalName.empty() && !sameName;
    return plan;
}

std::u16string SaveAbbrev(const std::u16string& originalName, const std::u16string& name,
                          const std::u16string& text, const std::u16string& stored) {
    std::u16string problem = CheckAbbrevName(name, originalName);
    if (!problem.empty()) return problem;
    problem = CheckMacroText(text);
    if (!problem.empty()) return u"Diesen Text kann Vantor nicht so schreiben:\n\n" + problem;
    const RAbbrevSave plan = PlanAbbrevSave(originalName, name, text, stored);
    if (!plan.write) return std::u16string();
    try {
        TRegistry reg(KEY_ALL_ACCESS);
        reg.SetRootKey(HKEY_CURRENT_USER);
        if (!reg.OpenKey(kAbbrevTable, true))
            return u"Die Tabelle „Macros\\Kürzel“ ließ sich nicht anlegen.";
        if (plan.deleteOriginal && Folded(originalName) == Folded(name)) {
            // Only the case changed: the registry takes both spellings for one value, so
            // the old one goes first for the new spelling to be the one stored. Should the
            // write fail, the old value is put back.
            if (!reg.DeleteValue(originalName) && reg.ValueExists(originalName))
                return u"„" + originalName + u"“ ließ sich nicht umbenennen.";
            try {
                reg.WriteString(name, text);
            } catch (...) {
                reg.WriteString(originalName, stored);
                throw;
            }
            return std::u16string();
        }
        // A new name is written before the old one goes: a failed write loses nothing.
        reg.WriteString(name, text);
        if (plan.deleteOriginal) (void)reg.DeleteValue(originalName);
        return std::u16string();
    } catch (const std::exception& e) {
        const auto* vtError = dynamic_cast<const EVtError*>(&e);
        DebugLog(u"Einstellungen: %s: %s", name, vtError ? vtError->Message() : ToU16(e.what()));
        return u"Das Kürzel ließ sich nicht speichern.";
    }
}

bool DeleteAbbrev(const std::u16string& name) {
    TRegistry reg(KEY_ALL_ACCESS);
    reg.SetRootKey(HKEY_CURRENT_USER);
    return reg.OpenKey(kAbbrevTable, false) && reg.DeleteValue(name);
}

}  // namespace vt
