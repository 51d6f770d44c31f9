#include "RegFile.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

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

std::u16string Quoted(const std::u16string& s) {
    std::u16string out = u"\"";
    for (char16_t c : s) {
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
    std::u16string line = v.name.empty() ? u"@" : Quoted(v.name);
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
bool ParseQuoted(const std::u16string& s, std::size_t& p, std::u16string& out) {
    if (p >= s.size() || s[p] != u'"') return false;
    ++p;
    while (p < s.size()) {
        const char16_t c = s[p++];
        if (c == u'"') return true;
        if (c == u'\\' && p < s.size()) {
            out += s[p++];
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
    } else if (!ParseQuoted(line, p, v.name)) {
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

void ReadTree(const std::u16string& path, std::vector<RRegKey>& out) {
    HKey key = 0;
    if (Plat().RegOpenKeyExW(HKEY_CURRENT_USER, path, KEY_READ, &key) != ERROR_SUCCESS) return;
    RRegKey entry;
    entry.path = path;
    std::vector<std::u16string> names, subKeys;
    std::u16string name;
    for (std::uint32_t i = 0; Plat().RegEnumValueW(key, i, &name) == ERROR_SUCCESS; ++i)
        names.push_back(name);
    for (std::uint32_t i = 0; Plat().RegEnumKeyExW(key, i, &name) == ERROR_SUCCESS; ++i)
        subKeys.push_back(name);
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
    for (const auto& sub : subKeys) ReadTree(path + u"\\" + sub, out);
}

bool KeyExists(const std::u16string& path) {
    HKey key = 0;
    if (Plat().RegOpenKeyExW(HKEY_CURRENT_USER, path, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    Plat().RegCloseKey(key);
    return true;
}

Stored StoredValue(const std::u16string& path, const std::u16string& name) {
    HKey key = 0;
    if (Plat().RegOpenKeyExW(HKEY_CURRENT_USER, path, KEY_READ, &key) != ERROR_SUCCESS)
        return Stored{};
    Stored s;
    try {
        s = ReadValue(key, name);
    } catch (...) {
        s = Stored{};
        s.exists = true;  // there but unreadable: counts as a change
        s.type = 0xFFFFFFFFu;
    }
    Plat().RegCloseKey(key);
    return s;
}

long DeleteTree(const std::u16string& path) {
    HKey key = 0;
    long rc = Plat().RegOpenKeyExW(HKEY_CURRENT_USER, path, KEY_ALL_ACCESS, &key);
    if (rc == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) return rc;
    std::vector<std::u16string> subs;
    std::u16string name;
    for (std::uint32_t i = 0; Plat().RegEnumKeyExW(key, i, &name) == ERROR_SUCCESS; ++i)
        subs.push_back(name);
    Plat().RegCloseKey(key);
    for (const auto& s : subs) {
        rc = DeleteTree(path + u"\\" + s);
        if (rc != ERROR_SUCCESS) return rc;
    }
    return Plat().RegDeleteKeyW(HKEY_CURRENT_USER, path);
}

std::u16string Where(const std::u16string& path, const std::u16string& name) {
    return path + u"\\" + (name.empty() ? u"(Standard)" : name);
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
    for (const auto& root : kConfigRoots) ReadTree(root, keys);
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
    changes.clear();
    for (const auto& key : keys)
        if (!InConfig(key.path)) {
            error = u"Die Datei ändert „" + kRootName + u"\\" + key.path +
                    u"“; Vantor32 übernimmt nur seine eigenen Schlüssel.";
            return false;
        }
    for (const auto& key : keys) {
        if (key.remove) {
            if (KeyExists(key.path))
                changes.push_back({CHANGE_DELETE_KEY, key.path, u"", u"", u""});
            continue;
        }
        const bool exists = KeyExists(key.path);
        if (!exists && key.values.empty())
            changes.push_back({CHANGE_ADD_KEY, key.path, u"", u"", u""});
        for (const auto& v : key.values) {
            const Stored s = exists ? StoredValue(key.path, v.name) : Stored{};
            if (v.remove) {
                if (s.exists)
                    changes.push_back(
                        {CHANGE_DELETE, key.path, v.name, ValueText(s.type, s.data), u""});
                continue;
            }
            if (!s.exists)
                changes.push_back({CHANGE_ADD, key.path, v.name, u"", ValueText(v.type, v.data)});
            else if (s.type != v.type || s.data != v.data)
                changes.push_back({CHANGE_MODIFY, key.path, v.name, ValueText(s.type, s.data),
                                   ValueText(v.type, v.data)});
        }
    }
    return true;
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

bool ApplyImport(const std::vector<RRegKey>& keys, std::u16string& error) {
    std::vector<RImportChange> changes;
    if (!PlanImport(keys, changes, error)) return false;
    for (const auto& key : keys) {
        if (key.remove) {
            if (DeleteTree(key.path) != ERROR_SUCCESS) {
                error = u"Der Schlüssel „" + key.path + u"“ ließ sich nicht löschen.";
                return false;
            }
            continue;
        }
        HKey h = 0;
        bool created = false;
        if (Plat().RegCreateKeyExW(HKEY_CURRENT_USER, key.path, KEY_ALL_ACCESS, &h, &created) !=
            ERROR_SUCCESS) {
            error = u"Der Schlüssel „" + key.path + u"“ ließ sich nicht anlegen.";
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
            error = u"Der Wert „" + Where(key.path, failed) + u"“ ließ sich nicht schreiben.";
            return false;
        }
    }
    return true;
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
