// RegFile: the configuration as a .reg file (the registry editor's format 5.00, UTF-16 with
// a byte-order mark, CRLF). Export writes every value of the product's keys in a form that
// imports back to the same type and bytes (a line break in a value name as \n or \r;
// registry links are left out); import shows its changes first, writes only the product's
// own keys, never through a link, and all or nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vt {

struct RRegEntry {
    std::u16string name;  // "" is the key's default value ("@")
    bool remove = false;  // "name"=-
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

struct RRegKey {
    std::u16string path;  // below HKEY_CURRENT_USER, without a leading backslash
    bool remove = false;  // [-HKEY_CURRENT_USER\...]
    std::vector<RRegEntry> values;
};

// A text value's characters up to the first NUL (an odd last byte is left out).
std::u16string TextOf(const std::vector<std::uint8_t>& data);

// The keys a configuration file holds, below HKEY_CURRENT_USER.
extern const std::u16string kConfigRoots[2];

// The text of a .reg file, and its bytes (byte-order mark, UTF-16LE).
std::u16string FormatRegFile(const std::vector<RRegKey>& keys);
std::vector<std::uint8_t> EncodeRegFile(const std::u16string& text);
// Reads a .reg file (UTF-16 with byte-order mark, or UTF-8; without a mark, bytes that are
// no UTF-8 are Windows-1252). False with a one-line German reason (with the line number)
// when it is not one.
bool ParseRegFile(const std::vector<std::uint8_t>& bytes, std::vector<RRegKey>& keys,
                  std::u16string& error);

// Every key and value below kConfigRoots as stored now (keys that do not exist are left
// out). Registry errors raise ERegistryException.
std::vector<RRegKey> ReadConfiguration();

enum EChangeKind { CHANGE_ADD_KEY, CHANGE_ADD, CHANGE_MODIFY, CHANGE_DELETE, CHANGE_DELETE_KEY };
struct RImportChange {
    EChangeKind kind;
    std::u16string path, name;
    std::u16string oldText, newText;  // the values in words
};
// What importing keys would change, in file order; values already equal are not listed.
// False with a reason (nothing is written then) when the file names a key outside
// kConfigRoots, goes beyond the registry's limits (a key name part over 255 characters, a
// value name over 16,383, an empty part, more than 512 levels) or leads through a registry
// link below the configuration's roots.
bool PlanImport(const std::vector<RRegKey>& keys, std::vector<RImportChange>& changes,
                std::u16string& error);
std::u16string DescribeChange(const RImportChange& change);  // one line
// Writes the changes of PlanImport, all or nothing: what the import touches is read first,
// and when a write fails every key and value is put back as it was. False with a reason
// otherwise; *restored then says whether the previous state is back (false only when
// putting it back failed too, which the reason then says).
bool ApplyImport(const std::vector<RRegKey>& keys, std::u16string& error,
                 bool* restored = nullptr);

// A value in words: a text in quotes, a number, bytes in hex.
std::u16string ValueText(std::uint32_t type, const std::vector<std::uint8_t>& data);

// Files (the whole file at once). False with a German reason. A write goes to FILE.tmp
// first and then replaces the file, so a failed one leaves the old file as it was.
bool ReadFileBytes(const std::u16string& path, std::vector<std::uint8_t>& bytes,
                   std::u16string& error);
bool WriteFileBytes(const std::u16string& path, const std::vector<std::uint8_t>& bytes,
                    std::u16string& error);

// The two steps of the command line and of the window's buttons.
bool ExportConfiguration(const std::u16string& path, std::u16string& error);
bool LoadImportFile(const std::u16string& path, std::vector<RRegKey>& keys,
                    std::vector<RImportChange>& changes, std::u16string& error);

}  // namespace vt
