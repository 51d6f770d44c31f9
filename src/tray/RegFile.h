// RegFile: the configuration as a .reg file (the registry editor's format 5.00, UTF-16 with
// a byte-order mark, CRLF). Export writes every value of the product's keys in a form that
// imports back to the same type and bytes; import shows its changes first and writes only
// the product's own keys.
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
// False with a reason when the file names a key outside kConfigRoots (nothing is written
// then).
bool PlanImport(const std::vector<RRegKey>& keys, std::vector<RImportChange>& changes,
                std::u16string& error);
std::u16string DescribeChange(const RImportChange& change);  // one line
// Writes the changes of PlanImport. False with a reason at the first write that fails.
bool ApplyImport(const std::vector<RRegKey>& keys, std::u16string& error);

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
