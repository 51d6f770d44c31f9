// VtConfig.Common: the keyboard driver's scancode map and the table of virtual-key
// descriptions.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace vt {

// ---------------------------------------------------------------- scancode map records
// One entry of the driver's table. Both views cover the same four bytes: newVal is the
// low half of dw, oldVal the high half. An entry of 0 ends the table.
struct TScancodeMapping {
    std::uint16_t newVal = 0;  // scan code the key shall produce
    std::uint16_t oldVal = 0;  // scan code of the physical key

    std::uint32_t dw() const {
        return static_cast<std::uint32_t>(newVal) | (std::uint32_t(oldVal) << 16);
    }
    void setDw(std::uint32_t value) {
        newVal = static_cast<std::uint16_t>(value & 0xFFFF);
        oldVal = static_cast<std::uint16_t>(value >> 16);
    }
    bool operator==(const TScancodeMapping& o) const { return dw() == o.dw(); }
};

struct RScancodeMap {
    std::uint32_t dummy[2] = {0, 0};  // header words of the value (version, flags)
    std::int32_t len = 0;             // entries in a, terminator included
    std::vector<TScancodeMapping> a;
};
using PScancodeMap = RScancodeMap*;

// The driver reads at most this many entries from us; the read buffer is sized for it.
constexpr int kMaxScancodeEntries = 255;

int EntryBytes(const RScancodeMap& map);
int MapSize(const RScancodeMap& map);
void InitMap(RScancodeMap& map, int n);
bool HasTerminator(const RScancodeMap& map);
void AddMapping(RScancodeMap& map, std::uint16_t oldVal, std::uint16_t newVal);
// Takes the header, the count and as many entries as the bytes hold (never more than
// the count claims, never past `size`).
void LoadMap(RScancodeMap& map, const std::uint8_t* bytes, std::size_t size);
// The value's bytes: header, len as the count, every entry of a.
std::vector<std::uint8_t> StoreMap(const RScancodeMap& map);
std::u16string HexBytes(const std::uint8_t* bytes, std::size_t count);
std::u16string MapToHex(const RScancodeMap& map);
std::uint16_t ScanCodeOf(std::uint32_t vk);
// The mappings /M writes for its words, Caps Lock first: Caps Lock to VK_EREOF, Scroll
// Lock to VK_ZOOM, with the scan codes of the active layout.
void AddToolMappings(RScancodeMap& map, bool capsLock, bool scrollLock);

// ---------------------------------------------------------------- TScancodeMap
class TScancodeMap {
public:
    TScancodeMap();
    ~TScancodeMap();
    TScancodeMap(const TScancodeMap&) = delete;
    TScancodeMap& operator=(const TScancodeMap&) = delete;

    PScancodeMap MapPtr() { return &_map; }

    [[nodiscard]] bool ReadFromRegistry(const std::u16string& name, RScancodeMap& map);
    [[nodiscard]] bool ReadFromRegistry();
    [[nodiscard]] bool SaveToRegistry(const std::u16string& newName);
    [[nodiscard]] bool SaveToRegistry();
    [[nodiscard]] bool DeleteFromRegistry(const std::u16string& name);
    [[nodiscard]] bool DeleteFromRegistry();
    [[nodiscard]] bool AlreadyExists(const std::u16string& name);
    [[nodiscard]] bool SaveBackup();
    [[nodiscard]] bool RestoreBackup();

    // Takes the machine back to the map it had before this tool: a stored map that is
    // byte for byte one this tool writes goes, the backup (when it holds a map that is
    // not the tool's) takes its place, and the backup value is removed. A map the tool
    // did not write stays, and so does the backup then.
    enum ERemoveResult { MAP_FAILED, MAP_NONE, MAP_REMOVED, MAP_RESTORED, MAP_FOREIGN };
    [[nodiscard]] ERemoveResult RemoveOwnMap();
    // Whether the stored map is byte for byte one this tool writes; false when absent.
    [[nodiscard]] bool StoredMapIsOwn();
    void SaveToRegFile(const std::u16string& filename);

    static const std::u16string& KeyPath();
    static const std::u16string& ValueName();
    static const std::u16string& BackupValueName();

private:
    RScancodeMap _map;
};

// The text of the exported .reg file (CR LF line ends; plain ASCII, so the same bytes
// in every ANSI code page).
std::string RegFileText(const RScancodeMap& map);

// Whether a value (type and bytes) is one of the maps this tool writes: Caps Lock,
// Scroll Lock or both, with the scan codes of the active layout.
bool IsToolMap(std::uint32_t type, const std::vector<std::uint8_t>& data);

// ---------------------------------------------------------------- key table
struct TWindowsKeyDescr {
    std::uint16_t sc;        // scan code on a German layout, 0xE0nn/0xE1nn when extended
    const char16_t* vkName;  // "VK_..." or "0" where the platform defines no name
    const char16_t* desc;
};

// Row k - 1 describes virtual key k (1..255).
extern const std::array<TWindowsKeyDescr, 255> WindowsKeyTable;

// The row of a virtual key 1..255; null for anything else.
const TWindowsKeyDescr* KeyDescrOf(int vk);

}  // namespace vt
