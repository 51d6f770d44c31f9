#include "RegFile.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "common/Format.h"
#include "common/RegistryKey.h"
#include "common/VtError.h"
#include "platform/Platform.h"

namespace vt {

const std::u16string kConfigRoots[2] = {u"Software\\Quellmark\\Vantor32",
                                        u"AppEvents\\Schemes\\Apps\\Vantor32"};

namespace {

const std::u16string kHeader = u"Windows Registry Editor Version 5.00";
const std::u16string kRootName = u"HKEY_CURRENT_USER";

std::u16string Upper(std::u16string s) {
    for (auto& c : s)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    return s;
}

std::u16string Hex2(std::uint8_t b) {
    static const char16_t digits[] = u"0123456789abcdef";
    return {digits[b >> 4], digits[b & 15]};
}

// A value name may hold a line break, which would end the line: in a name it is written
// as \n or \r, which the import reads back. (The registry editor escapes every backslash,
// so its files never hold these two sequences.) Texts with a line break go out as hex(1).
std::u16string Quoted(const std::u16string& s, bool name = false) {
    std::u16string out = u"\"";
    for (char16_t c : s) {
        if (name && c == u'\n') {
            out += u"\\n";
            continue;
        }
        if (name && c == u'\r') {
            out += u"\\r";
            continue;
        }
        if (c == u'\\' || c == u'"') out += u'\\';
        out += c;
    }
    return out + u"\"";
}

// A REG_SZ value that the quoted form gives back byte for byte: whole characters, one
// final NUL and no other, and no line break (which would end the line).
bool PlainText(const std::vector<std::uint8_t>& data, std::u16string* text) {
    if (data.size() < 2 || data.size() % 2) return false;
    std::u16string s;
    for (std::size_t i = 0; i + 2 < data.size(); i += 2) {
        const auto c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (c == 0 || c == u'\r' || c == u'\n') return false;
        s += c;
    }
    if (data[data.size() - 2] || data[data.size() - 1]) return false;
    *text = s;
    return true;
}

// "hex:" or "hex(N):" and the bytes, wrapped like the registry editor wraps them.
std::u16string HexForm(const std::u16string& prefix, const std::vector<std::uint8_t>& data) {
    std::u16string out = prefix;
    std::size_t column = prefix.size();
    for (std::size_t i = 0; i < data.size(); ++i) {
        out += Hex2(data[i]);
        column += 2;
        if (i + 1 < data.size()) {
            out += u',';
            ++column;
            if (column > 76) {
                out += u"\\\r\n  ";
                column = 2;
            }
        }
    }
    return out;
}

std::u16string ValueLine(const RRegEntry& v) {
    std::u16string line = v.name.empty() ? u"@" : Quoted(v.name, true);
    line += u'=';
    if (v.remove) return line + u"-";
    std::u16string text;
    if (v.type == REG_SZ && PlainText(v.data, &text)) return line + Quoted(text);
    if (v.type == REG_DWORD && v.data.size() == 4) {
        std::uint32_t n = v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) |
                          (static_cast<std::uint32_t>(v.data[3]) << 24);
        std::u16string hex = HexStr(n, 8);
        for (auto& c : hex)
            if (c >= u'A' && c <= u'F') c = static_cast<char16_t>(c + 32);
        return line + u"dword:" + hex;
    }
    std::u16string prefix = u"hex";
    if (v.type != REG_BINARY) {
        std::u16string t = HexStr(v.type, 1);
        for (auto& c : t)
            if (c >= u'A' && c <= u'F') c = static_cast<char16_t>(c + 32);
        prefix += u"(" + t + u")";
    }
    return HexForm(line + prefix + u":", v.data);
}

// ---------------------------------------------------------------- parsing
struct Parser {
    std::vector<std::u16string> lines;
    std::size_t index = 0;
    std::u16string error;

    bool Fail(const std::u16string& why) {
        error = u"Zeile " + ToU16(std::to_string(index + 1)) + u": " + why;
        return false;
    }
};

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

bool ParseHexBytes(const std::u16string& s, std::vector<std::uint8_t>& out) {
    std::size_t p = 0;
    while (p < s.size()) {
        while (p < s.size() && (s[p] == u' ' || s[p] == u'\t')) ++p;
        if (p >= s.size()) break;
        if (p + 1 >= s.size()) return false;
        const int hi = HexValue(s[p]), lo = HexValue(s[p + 1]);
        if (hi < 0 || lo < 0) return false;
        out.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
        p += 2;
        while (p < s.size() && (s[p] == u' ' || s[p] == u'\t')) ++p;
        if (p < s.size()) {
            if (s[p] != u',') return false;
            ++p;
        }
    }
    return true;
}

// A quoted string from position p (on the opening quote); p ends after the closing one.
// In a value name (name true), \n and \r stand for a line break.
bool ParseQuoted(const std::u16string& s, std::size_t& p, std::u16string& out,
                 bool name = false) {
    if (p >= s.size() || s[p] != u'"') return false;
    ++p;
    while (p < s.size()) {
        const char16_t c = s[p++];
        if (c == u'"') return true;
        if (c == u'\\' && p < s.size()) {
            const char16_t e = s[p++];
            out += name && e == u'n' ? u'\n' : name && e == u'r' ? u'\r' : e;
            continue;
        }
        out += c;
    }
    return false;
}

bool ParseValue(Parser& ps, const std::u16string& line, RRegEntry& v) {
    std::size_t p = 0;
    if (line[0] == u'@') {
        p = 1;
    } else if (!ParseQuoted(line, p, v.name, true)) {
        return ps.Fail(u"Wertname ohne schließendes Anführungszeichen.");
    }
    while (p < line.size() && line[p] == u' ') ++p;
    if (p >= line.size() || line[p] != u'=') return ps.Fail(u"Nach dem Wertnamen fehlt „=“.");
    ++p;
    while (p < line.size() && line[p] == u' ') ++p;
    std::u16string rest = line.substr(p);
    if (rest == u"-") {
        v.remove = true;
        return true;
    }
    if (!rest.empty() && rest[0] == u'"') {
        std::size_t q = 0;
        std::u16string text;
        if (!ParseQuoted(rest, q, text))
            return ps.Fail(u"Text ohne schließendes Anführungszeichen.");
        while (q < rest.size() && rest[q] == u' ') ++q;
        if (q != rest.size()) return ps.Fail(u"Nach dem Text steht noch etwas.");
        v.type = REG_SZ;
        for (char16_t c : text) {
            v.data.push_back(static_cast<std::uint8_t>(c & 0xFF));
            v.data.push_back(static_cast<std::uint8_t>(c >> 8));
        }
        v.data.push_back(0);
        v.data.push_back(0);
        return true;
    }
    const std::u16string lower = [&] {
        std::u16string l = rest;
        for (auto& c : l)
            if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
        return l;
    }();
    if (lower.rfind(u"dword:", 0) == 0) {
        const std::u16string digits = rest.substr(6);
        if (digits.size() != 8) return ps.Fail(u"Ein dword-Wert hat acht Hexadezimalziffern.");
        std::uint32_t n = 0;
        for (char16_t c : digits) {
            const int d = HexValue(c);
            if (d < 0) return ps.Fail(u"Ein dword-Wert hat acht Hexadezimalziffern.");
            n = n * 16 + static_cast<std::uint32_t>(d);
        }
        v.type = REG_DWORD;
        v.data = {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
                  static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)};
        return true;
    }
    if (lower.rfind(u"hex", 0) == 0) {
        std::size_t q = 3;
        v.type = REG_BINARY;
        if (q < lower.size() && lower[q] == u'(') {
            const std::size_t close = lower.find(u')', q);
            if (close == std::u16string::npos || close == q + 1 || close > q + 9)
                return ps.Fail(u"Unlesbarer Werttyp „hex(…)“.");
            std::uint32_t t = 0;
            for (std::size_t i = q + 1; i < close; ++i) {
                const int d = HexValue(lower[i]);
                if (d < 0) return ps.Fail(u"Unlesbarer Werttyp „hex(…)“.");
                t = t * 16 + static_cast<std::uint32_t>(d);
            }
            v.type = t;
            q = close + 1;
        }
        if (q >= lower.size() || lower[q] != u':') return ps.Fail(u"Nach „hex“ fehlt „:“.");
        std::u16string bytes = rest.substr(q + 1);
        // Continuation lines: a line that ends in a backslash goes on in the next one.
        while (!bytes.empty() && bytes.back() == u'\\') {
            bytes.pop_back();
            if (ps.index + 1 >= ps.lines.size()) return ps.Fail(u"Die Datei endet mitten im Wert.");
            ++ps.index;
            bytes += ps.lines[ps.index];
        }
        if (!ParseHexBytes(bytes, v.data)) return ps.Fail(u"Unlesbare Bytes in einem hex-Wert.");
        return true;
    }
    return ps.Fail(u"Unbekannte Wertform.");
}

// Windows-1252, the ANSI code page of German Windows: older editors save a file by hand
// in it ("ANSI"). 0x80-0x9F hold letters and signs; the five bytes it leaves free keep
// their number, as Windows maps them.
std::u16string FromWindows1252(const std::string& bytes) {
    static const char16_t high[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::u16string text;
    for (unsigned char c : bytes)
        text += (c >= 0x80 && c < 0xA0) ? high[c - 0x80] : static_cast<char16_t>(c);
    return text;
}

std::u16string Decode(const std::vector<std::uint8_t>& bytes, bool* ok) {
    *ok = true;
    std::u16string text;
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        if (bytes.size() % 2) *ok = false;
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
            text += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        return text;
    }
    std::size_t start = 0;
    if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) start = 3;
    const std::string raw(bytes.begin() + static_cast<std::ptrdiff_t>(start), bytes.end());
    text = ToU16(raw);
    // Bytes that are no UTF-8 (they would become U+FFFD): a file without byte-order mark
    // saved in the ANSI code page. Text in it is read as the person wrote it.
    if (start == 0 && ToUtf8(text) != raw) text = FromWindows1252(raw);
    return text;
}

// The path of "[HKEY_CURRENT_USER\...]" below the root, or false for another root.
bool KeyPath(const std::u16string& full, std::u16string& path) {
    const std::u16string prefix = kRootName + u"\\";
    if (full.size() <= prefix.size() || Upper(full.substr(0, prefix.size())) != prefix)
        return false;
    path = full.substr(prefix.size());
    while (!path.empty() && path.back() == u'\\') path.pop_back();
    return !path.empty();
}

bool InConfig(const std::u16string& path) {
    const std::u16string up = Upper(path);
    for (const auto& root : kConfigRoots) {
        const std::u16string r = Upper(root);
        if (up == r || up.rfind(r + u"\\", 0) == 0) return true;
    }
    return false;
}

// ---------------------------------------------------------------- the registry
// The registry's own limits: a key name's parts (255 characters each), the depth of the tree
// (512 levels), a value name (16,383 characters); RegCreateKeyExW creates at most 32 levels
// in one call.
constexpr std::size_t kMaxKeyNamePart = 255;
constexpr std::size_t kMaxDepth = 512;
constexpr std::size_t kMaxValueName = 16383;
constexpr std::size_t kMaxLevelsPerCreate = 32;
// What a failed import can put back is kept in memory: a bound against a runaway tree.
constexpr std::size_t kMaxSnapshotKeys = 100000;

struct Stored {
    bool exists = false;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

Stored ReadValue(HKey key, const std::u16string& name) {
    Stored s;
    std::uint32_t size = 0;
    if (Plat().RegQueryValueExW(key, name, &s.type, nullptr, &size) != ERROR_SUCCESS) return s;
    s.data.resize(size);
    long rc = Plat().RegQueryValueExW(key, name, &s.type, s.data.data(), &size);
    if (rc != ERROR_SUCCESS) RaiseGetDataFailed(name);
    s.data.resize(size);
    s.exists = true;
    return s;
}

std::vector<std::u16string> Parts(const std::u16string& path) {
    std::vector<std::u16string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = path.find(u'\\', start);
        parts.push_back(path.substr(start, end == std::u16string::npos ? end : end - start));
        if (end == std::u16string::npos) return parts;
        start = end + 1;
    }
}

std::size_t Depth(const std::u16string& path) {
    return static_cast<std::size_t>(std::count(path.begin(), path.end(), u'\\')) + 1;
}

// A name as a message shows it: line breaks visible, a long one cut short.
std::u16string Shown(const std::u16string& name) {
    std::u16string out;
    for (char16_t c : name) {
        if (out.size() >= 80) return out + u"…";
        out += c == u'\n' ? std::u16string(u"\\n") : c == u'\r' ? std::u16string(u"\\r")
                                                                : std::u16string(1, c);
    }
    return out;
}

// A symbolic link, opened as one, holds the path it leads to in "SymbolicLinkValue".
// Anything below it lies wherever that path says, outside the product's keys or above them.
bool IsLink(const std::u16string& path) {
    HKey key = 0;
    if (Plat().RegOpenKeyExW_OpenLink(HKEY_CURRENT_USER, path, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return false;
    std::uint32_t type = 0, size = 0;
    const long rc = Plat().RegQueryValueExW(key, u"SymbolicLinkValue", &type, nullptr, &size);
    Plat().RegCloseKey(key);
    return rc == ERROR_SUCCESS && type == REG_LINK;
}

std::vector<std::u16string> SubKeyNames(HKey key) {
    std::vector<std::u16string> names;
    std::u16string name;
    for (std::uint32_t i = 0; Plat().RegEnumKeyExW(key, i, &name) == ERROR_SUCCESS; ++i)
        names.push_back(name);
    return names;
}

// The export's walk. A link is not followed: what it leads to is not the product's, and a
// link to a key above it would make the walk endless.
void ReadTree(const std::u16string& path, std::vector<RRegKey>& out, std::size_t depth) {
    if (depth > kMaxDepth || IsLink(path)) return;
    HKey key = 0;
    if (Plat().RegOpenKeyExW(HKEY_CURRENT_USER, path, KEY_READ, &key) != ERROR_SUCCESS) return;
    RRegKey entry;
    entry.path = path;
    std::vector<std::u16string> names;
    std::u16string name;
    for (std::uint32_t i = 0; Plat().RegEnumValueW(key, i, &name) == ERROR_SUCCESS; ++i)
        names.push_back(name);
    const std::vector<std::u16string> subKeys = SubKeyNames(key);
    // One order everywhere: the registry's own value order differs between systems.
    std::sort(names.begin(), names.end(),
              [](const std::u16string& a, const std::u16string& b) { return Upper(a) < Upper(b); });
    try {
        for (const auto& n : names) {
            Stored s = ReadValue(key, n);
            if (s.exists) entry.values.push_back(RRegEntry{n, false, s.type, s.data});
        }
    } catch (...) {
        Plat().RegCloseKey(key);
        throw;
    }
    Plat().RegCloseKey(key);
    out.push_back(std::move(entry));
    for (const auto& sub : subKeys) ReadTree(path + u"\\" + sub, out, depth + 1);
}

bool KeyExists(const std::u16string& path) {
    HKey key = 0;
    if (Plat().RegOpenKeyExW(HKEY_CURRENT_USER, path, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    Plat().RegCloseKey(key);
    return true;
}

// Opens path for writing, creating what is missing, at most 32 levels per call.
long CreatePath(const std::u16string& path, HKey* out) {
    const std::vector<std::u16string> parts = Parts(path);
    std::u16string prefix;
    bool created = false;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        prefix += (i ? u"\\" : u"") + parts[i];
        if ((i + 1) % kMaxLevelsPerCreate != 0 || i + 1 == parts.size()) continue;
        HKey h = 0;
        const long rc = Plat().RegCreateKeyExW(HKEY_CURRENT_USER, prefix, KEY_ALL_ACCESS, &h,
                                               &created);
        if (rc != ERROR_SUCCESS) return rc;
        Plat().RegCloseKey(h);
    }
    return Plat().RegCreateKeyExW(HKEY_CURRENT_USER, path, KEY_ALL_ACCESS, out, &created);
}

std::u16string Where(const std::u16string& path, const std::u16string& name) {
    return path + u"\\" + (name.empty() ? u"(Standard)" : name);
}

// ---------------------------------------------------------------- the import's plan
// A key as it was before the import: whether it existed, and every value it held.
struct RKeyState {
    std::u16string path;
    bool existed = false;
    std::vector<RRegEntry> values;
    std::map<std::u16string, std::size_t> byName;  // upper-case name -> index in values
};

// What an import changes (for the preview) and what it may touch, as it was before (to put
// back when a write fails): every key of a deleted tree, every key written, and the
// missing keys above a written one that its creation makes.
struct RImportPlan {
    std::vector<RImportChange> changes;
    std::vector<RKeyState> before;
    std::map<std::u16string, std::size_t> index;  // upper-case path -> index in before
    std::u16string error;

    bool Fail(const std::u16string& why) {
        error = why + u" Nichts wurde geändert.";
        return false;
    }
    const RKeyState* Find(const std::u16string& path) const {
        const auto it = index.find(Upper(path));
        return it == index.end() ? nullptr : &before[it->second];
    }

    // Reads one key's state (path must lead through no link).
    bool Record(const std::u16string& path) {
        if (Find(path)) return true;
        if (before.size() >= kMaxSnapshotKeys)
            return Fail(u"Der Import berührt mehr als " +
                        ToU16(std::to_string(kMaxSnapshotKeys)) + u" Schlüssel.");
        RKeyState state;
        state.path = path;
        HKey key = 0;
        if (Plat().RegOpenKeyExW(HKEY_CURRENT_USER, path, KEY_READ, &key) == ERROR_SUCCESS) {
            state.existed = true;
            std::vector<std::u16string> names;
            std::u16string name;
            for (std::uint32_t i = 0; Plat().RegEnumValueW(key, i, &name) == ERROR_SUCCESS; ++i)
                names.push_back(name);
            try {
                for (const auto& n : names) {
                    Stored s = ReadValue(key, n);
                    if (!s.exists) continue;
                    state.byName[Upper(n)] = state.values.size();
                    state.values.push_back(RRegEntry{n, false, s.type, s.data});
                }
            } catch (const EVtError& e) {
                Plat().RegCloseKey(key);
                // Without it a failed import could not be taken back.
                return Fail(u"„" + path + u"“: " + e.Message() + u".");
            }
            Plat().RegCloseKey(key);
        }
        index[Upper(path)] = before.size();
        before.push_back(std::move(state));
        return true;
    }

    // A key about to be written, and the missing keys above it.
    bool RecordWritten(const std::u16string& path) {
        if (!Record(path)) return false;
        std::u16string up = path;
        while (!Find(up)->existed) {
            const std::size_t slash = up.find_last_of(u'\\');
            if (slash == std::u16string::npos) break;
            up = up.substr(0, slash);
            if (!Record(up)) return false;
        }
        return true;
    }

    // A tree about to be deleted, key by key, refusing links inside it.
    bool RecordTree(const std::u16string& path, std::size_t depth) {
        if (depth > kMaxDepth) return Fail(u"„" + Shown(path) + u"“ ist zu tief verschachtelt.");
        if (!Record(path)) return false;
        HKey key = 0;
        if (Plat().RegOpenKeyExW(HKEY_CURRENT_USER, path, KEY_READ, &key) != ERROR_SUCCESS)
            return true;
        const std::vector<std::u16string> subKeys = SubKeyNames(key);
        Plat().RegCloseKey(key);
        for (const auto& sub : subKeys) {
            const std::u16string child = path + u"\\" + sub;
            if (IsLink(child)) return FailLink(child);
            if (!RecordTree(child, depth + 1)) return false;
        }
        return true;
    }

    bool FailLink(const std::u16string& path) {
        return Fail(u"„" + kRootName + u"\\" + Shown(path) +
                    u"“ ist eine Verknüpfung auf einen anderen Schlüssel der Registrierung. "
                    u"Vantor32 schreibt und löscht nicht durch Verknüpfungen.");
    }

    // No key from the configuration's root down to path is a link.
    bool CheckPath(const std::u16string& path) {
        const std::u16string up = Upper(path);
        std::size_t start = 0;
        for (const auto& root : kConfigRoots)
            if (up == Upper(root) || up.rfind(Upper(root) + u"\\", 0) == 0) start = root.size();
        for (std::size_t end = start; end != std::u16string::npos && end <= path.size();) {
            const std::u16string prefix = path.substr(0, end);
            if (!KeyExists(prefix)) return true;  // nothing below it exists either
            if (IsLink(prefix)) return FailLink(prefix);
            if (end == path.size()) break;
            end = path.find(u'\\', end + 1);
            if (end == std::u16string::npos) end = path.size();
        }
        return true;
    }
};

// The whole file against the registry's limits, before anything is written.
bool CheckLimits(const std::vector<RRegKey>& keys, RImportPlan& plan) {
    for (const auto& key : keys) {
        const std::vector<std::u16string> parts = Parts(key.path);
        if (parts.size() > kMaxDepth)
            return plan.Fail(u"Der Schlüssel „" + Shown(key.path) + u"“ liegt " +
                             ToU16(std::to_string(parts.size())) +
                             u" Ebenen tief; die Registrierung erlaubt höchstens 512.");
        for (const auto& part : parts) {
            if (part.empty())
                return plan.Fail(u"Der Schlüssel „" + Shown(key.path) +
                                 u"“ hat einen leeren Namensteil („\\\\“).");
            if (part.size() > kMaxKeyNamePart)
                return plan.Fail(u"Der Schlüssel „" + Shown(key.path) + u"“ hat einen Namensteil mit " +
                                 ToU16(std::to_string(part.size())) +
                                 u" Zeichen; die Registrierung erlaubt höchstens 255.");
        }
        for (const auto& v : key.values)
            if (v.name.size() > kMaxValueName)
                return plan.Fail(u"Der Wertname „" + Shown(v.name) + u"“ in „" + Shown(key.path) +
                                 u"“ hat " + ToU16(std::to_string(v.name.size())) +
                                 u" Zeichen; die Registrierung erlaubt höchstens 16383.");
    }
    return true;
}

bool MakePlan(const std::vector<RRegKey>& keys, RImportPlan& plan) {
    for (const auto& key : keys)
        if (!InConfig(key.path)) {
            plan.error = u"Die Datei ändert „" + kRootName + u"\\" + key.path +
                         u"“; Vantor32 übernimmt nur seine eigenen Schlüssel.";
            return false;
        }
    if (!CheckLimits(keys, plan)) return false;
    for (const auto& key : keys) {
        if (!plan.CheckPath(key.path)) return false;
        if (key.remove) {
            if (!KeyExists(key.path)) continue;
            if (!plan.RecordTree(key.path, Depth(key.path))) return false;
            plan.changes.push_back({CHANGE_DELETE_KEY, key.path, u"", u"", u""});
            continue;
        }
        if (!plan.RecordWritten(key.path)) return false;
        const RKeyState& state = *plan.Find(key.path);
        if (!state.existed && key.values.empty())
            plan.changes.push_back({CHANGE_ADD_KEY, key.path, u"", u"", u""});
        for (const auto& v : key.values) {
            const auto it = state.byName.find(Upper(v.name));
            const RRegEntry* s = it == state.byName.end() ? nullptr : &state.values[it->second];
            if (v.remove) {
                if (s)
                    plan.changes.push_back(
                        {CHANGE_DELETE, key.path, v.name, ValueText(s->type, s->data), u""});
                continue;
            }
            if (!s)
                plan.changes.push_back(
                    {CHANGE_ADD, key.path, v.name, u"", ValueText(v.type, v.data)});
            else if (s->type != v.type || s->data != v.data)
                plan.changes.push_back({CHANGE_MODIFY, key.path, v.name,
                                        ValueText(s->type, s->data), ValueText(v.type, v.data)});
        }
    }
    return true;
}

// Writes and deletes in file order; false with the reason at the first failure.
bool WriteImport(const std::vector<RRegKey>& keys, std::u16string& failure) {
    for (const auto& key : keys) {
        if (key.remove) {
            TRegistry reg;  // deletes links themselves, never what they lead to
            if (!reg.DeleteKey(key.path) && reg.LastError() != ERROR_FILE_NOT_FOUND) {
                failure = u"Der Schlüssel „" + key.path + u"“ ließ sich nicht löschen.";
                return false;
            }
            continue;
        }
        HKey h = 0;
        if (CreatePath(key.path, &h) != ERROR_SUCCESS) {
            failure = u"Der Schlüssel „" + key.path + u"“ ließ sich nicht anlegen.";
            return false;
        }
        long rc = ERROR_SUCCESS;
        std::u16string failed;
        for (const auto& v : key.values) {
            if (v.remove) {
                rc = Plat().RegDeleteValueW(h, v.name);
                if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;
            } else {
                Stored s;
                try {
                    s = ReadValue(h, v.name);
                } catch (...) {
                }
                if (s.exists && s.type == v.type && s.data == v.data) continue;  // not rewritten
                rc = Plat().RegSetValueExW(h, v.name, v.type, v.data.data(),
                                           static_cast<std::uint32_t>(v.data.size()));
            }
            if (rc != ERROR_SUCCESS) {
                failed = v.name;
                break;
            }
        }
        Plat().RegCloseKey(h);
        if (rc != ERROR_SUCCESS) {
            failure = u"Der Wert „" + Where(key.path, Shown(failed)) + u"“ ließ sich nicht schreiben.";
            return false;
        }
    }
    return true;
}

// Puts every key the plan recorded back as it was: keys the import made go (deepest
// first), the others get their values back (parents first). False, with the first key
// that would not, when something stays changed.
bool RestoreKeys(const RImportPlan& plan, std::u16string& stuck) {
    std::vector<const RKeyState*> made, kept;
    for (const auto& state : plan.before) (state.existed ? kept : made).push_back(&state);
    const auto deeper = [](const RKeyState* a, const RKeyState* b) {
        return Depth(a->path) > Depth(b->path);
    };
    std::stable_sort(made.begin(), made.end(), deeper);
    std::stable_sort(kept.begin(), kept.end(),
                     [&](const RKeyState* a, const RKeyState* b) { return deeper(b, a); });
    bool ok = true;
    const auto note = [&](const std::u16string& path) {
        if (ok) stuck = path;
        ok = false;
    };
    for (const RKeyState* state : made) {
        TRegistry reg;
        if (!reg.DeleteKey(state->path) && reg.LastError() != ERROR_FILE_NOT_FOUND)
            note(state->path);
    }
    for (const RKeyState* state : kept) {
        HKey h = 0;
        if (CreatePath(state->path, &h) != ERROR_SUCCESS) {
            note(state->path);
            continue;
        }
        try {
            std::vector<std::u16string> names;
            std::u16string name;
            for (std::uint32_t i = 0; Plat().RegEnumValueW(h, i, &name) == ERROR_SUCCESS; ++i)
                names.push_back(name);
            for (const auto& n : names)
                if (!state->byName.count(Upper(n)) &&
                    Plat().RegDeleteValueW(h, n) != ERROR_SUCCESS)
                    note(Where(state->path, Shown(n)));
            for (const auto& v : state->values) {
                const Stored now = ReadValue(h, v.name);
                if (now.exists && now.type == v.type && now.data == v.data) continue;
                if (Plat().RegSetValueExW(h, v.name, v.type, v.data.data(),
                                          static_cast<std::uint32_t>(v.data.size())) !=
                    ERROR_SUCCESS)
                    note(Where(state->path, Shown(v.name)));
            }
        } catch (...) {
            note(state->path);
        }
        Plat().RegCloseKey(h);
    }
    return ok;
}

}  // namespace

std::u16string TextOf(const std::vector<std::uint8_t>& data) {
    std::u16string s;
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
        const auto c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (c == 0) break;
        s += c;
    }
    return s;
}

std::u16string FormatRegFile(const std::vector<RRegKey>& keys) {
    std::u16string out = kHeader + u"\r\n\r\n";
    for (const auto& key : keys) {
        out += u"[" + std::u16string(key.remove ? u"-" : u"") + kRootName + u"\\" + key.path +
               u"]\r\n";
        for (const auto& v : key.values) out += ValueLine(v) + u"\r\n";
        out += u"\r\n";
    }
    return out;
}

std::vector<std::uint8_t> EncodeRegFile(const std::u16string& text) {
    std::vector<std::uint8_t> bytes{0xFF, 0xFE};
    for (char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return bytes;
}

bool ParseRegFile(const std::vector<std::uint8_t>& bytes, std::vector<RRegKey>& keys,
                  std::u16string& error) {
    keys.clear();
    bool ok = true;
    const std::u16string text = Decode(bytes, &ok);
    Parser ps;
    std::u16string line;
    for (char16_t c : text) {
        if (c == u'\n') {
            if (!line.empty() && line.back() == u'\r') line.pop_back();
            ps.lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) ps.lines.push_back(line);
    if (!ok || ps.lines.empty() || ps.lines[0] != kHeader) {
        error = u"Keine .reg-Datei: die erste Zeile muss „" + kHeader + u"“ lauten.";
        return false;
    }
    RRegKey* current = nullptr;
    for (ps.index = 1; ps.index < ps.lines.size(); ++ps.index) {
        std::u16string l = ps.lines[ps.index];
        std::size_t start = l.find_first_not_of(u" \t");
        if (start == std::u16string::npos) continue;
        l = l.substr(start);
        if (l[0] == u';') continue;
        if (l[0] == u'[') {
            const std::size_t close = l.rfind(u']');
            if (close == std::u16string::npos) {
                error.clear();
                ps.Fail(u"Schlüsselname ohne „]“.");
                error = ps.error;
                return false;
            }
            RRegKey key;
            std::u16string full = l.substr(1, close - 1);
            if (!full.empty() && full[0] == u'-') {
                key.remove = true;
                full = full.substr(1);
            }
            if (!KeyPath(full, key.path)) {
                ps.Fail(u"„" + full + u"“ liegt nicht unter " + kRootName + u".");
                error = ps.error;
                return false;
            }
            keys.push_back(std::move(key));
            current = &keys.back();
            continue;
        }
        if (l[0] != u'"' && l[0] != u'@') {
            ps.Fail(u"Unlesbare Zeile.");
            error = ps.error;
            return false;
        }
        if (!current || current->remove) {
            ps.Fail(u"Ein Wert ohne Schlüssel davor.");
            error = ps.error;
            return false;
        }
        RRegEntry v;
        if (!ParseValue(ps, l, v)) {
            error = ps.error;
            return false;
        }
        current->values.push_back(std::move(v));
    }
    return true;
}

std::vector<RRegKey> ReadConfiguration() {
    std::vector<RRegKey> keys;
    for (const auto& root : kConfigRoots) ReadTree(root, keys, Depth(root));
    return keys;
}

std::u16string ValueText(std::uint32_t type, const std::vector<std::uint8_t>& data) {
    if ((type == REG_SZ || type == REG_EXPAND_SZ) && data.size() % 2 == 0)
        return u"„" + TextOf(data) + u"“";
    if (type == REG_DWORD && data.size() == 4) {
        const std::uint32_t n = data[0] | (data[1] << 8) | (data[2] << 16) |
                                (static_cast<std::uint32_t>(data[3]) << 24);
        return ToU16(std::to_string(n));
    }
    std::u16string out;
    for (std::size_t i = 0; i < data.size() && i < 16; ++i) out += (i ? u" " : u"") + Hex2(data[i]);
    if (data.size() > 16) out += u" …";
    if (data.empty()) out = u"(leer)";
    if (type != REG_BINARY) out += u" (Typ " + ToU16(std::to_string(type)) + u")";
    return out;
}

bool PlanImport(const std::vector<RRegKey>& keys, std::vector<RImportChange>& changes,
                std::u16string& error) {
    RImportPlan plan;
    const bool ok = MakePlan(keys, plan);
    changes = std::move(plan.changes);
    if (!ok) {
        changes.clear();
        error = plan.error;
    }
    return ok;
}

std::u16string DescribeChange(const RImportChange& c) {
    switch (c.kind) {
        case CHANGE_ADD_KEY:
            return u"Neuer Schlüssel: " + c.path;
        case CHANGE_DELETE_KEY:
            return u"Schlüssel löschen: " + c.path;
        case CHANGE_ADD:
            return u"Neu: " + Where(c.path, c.name) + u" = " + c.newText;
        case CHANGE_MODIFY:
            return u"Ändern: " + Where(c.path, c.name) + u": " + c.oldText + u" → " + c.newText;
        case CHANGE_DELETE:
            return u"Löschen: " + Where(c.path, c.name) + u" (" + c.oldText + u")";
    }
    return std::u16string();
}

bool ApplyImport(const std::vector<RRegKey>& keys, std::u16string& error, bool* restored) {
    if (restored) *restored = true;
    RImportPlan plan;
    if (!MakePlan(keys, plan)) {
        error = plan.error;
        return false;
    }
    std::u16string failure;
    bool written = false;
    try {
        written = WriteImport(keys, failure);
    } catch (const EVtError& e) {
        failure = e.Message() + u".";
    } catch (const std::exception&) {
        failure = u"Der Import brach ab.";
    }
    if (written) return true;
    std::u16string stuck;
    bool back = false;
    try {
        back = RestoreKeys(plan, stuck);
    } catch (...) {
        back = false;
    }
    if (restored) *restored = back;
    error = failure + (back ? u" Der Import wurde zurückgenommen: alles steht wieder wie vorher."
                            : u" Der vorige Stand ließ sich nicht ganz wiederherstellen (zuerst bei „" +
                                  stuck + u"“): ein Teil der Datei ist übernommen.");
    return false;
}

bool ReadFileBytes(const std::u16string& path, std::vector<std::uint8_t>& bytes,
                   std::u16string& error) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    if (!in) {
        error = u"Die Datei „" + path + u"“ lässt sich nicht öffnen.";
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = u"Die Datei „" + path + u"“ lässt sich nicht lesen.";
        return false;
    }
    return true;
}

bool WriteFileBytes(const std::u16string& path, const std::vector<std::uint8_t>& bytes,
                    std::u16string& error) {
    // Written beside the file first and put in its place in one step: a write that fails
    // (disk full, stick pulled) leaves the file it would have replaced as it was.
    const std::u16string temp = path + u".tmp";
    std::ofstream out(std::filesystem::path(temp), std::ios::binary | std::ios::trunc);
    if (out)
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    if (out) out.close();
    if (!out ||
        !Plat().MoveFileExW(temp, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        if (out.is_open()) out.close();
        std::error_code ec;
        if (!std::filesystem::is_directory(std::filesystem::path(temp), ec))
            std::filesystem::remove(std::filesystem::path(temp), ec);
        error = u"Die Datei „" + path + u"“ lässt sich nicht schreiben.";
        return false;
    }
    return true;
}

bool ExportConfiguration(const std::u16string& path, std::u16string& error) {
    std::vector<RRegKey> keys;
    try {
        keys = ReadConfiguration();
    } catch (const EVtError& e) {
        error = e.Message();
        return false;
    }
    if (keys.empty()) {
        error = u"Es gibt noch keine Einstellungen von Vantor32 zum Exportieren.";
        return false;
    }
    // A key name with a line break cannot stand between the brackets of a .reg file (a
    // value name can: it is escaped). Better no file than one that cannot be read back.
    for (const auto& key : keys)
        if (key.path.find_first_of(u"\r\n") != std::u16string::npos) {
            error = u"Der Schlüssel „" + kRootName + u"\\" + Shown(key.path) +
                    u"“ hat einen Zeilenumbruch im Namen, den eine .reg-Datei nicht aufnehmen "
                    u"kann. Benennen Sie ihn um oder löschen Sie ihn; es wurde nichts exportiert.";
            return false;
        }
    return WriteFileBytes(path, EncodeRegFile(FormatRegFile(keys)), error);
}

bool LoadImportFile(const std::u16string& path, std::vector<RRegKey>& keys,
                    std::vector<RImportChange>& changes, std::u16string& error) {
    std::vector<std::uint8_t> bytes;
    if (!ReadFileBytes(path, bytes, error)) return false;
    if (!ParseRegFile(bytes, keys, error)) {
        error = path + u": " + error;
        return false;
    }
    return PlanImport(keys, changes, error);
}

}  // namespace vt
