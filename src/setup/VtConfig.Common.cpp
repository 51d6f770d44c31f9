#include "VtConfig.Common.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>

#include "common/Format.h"
#include "common/RegistryKey.h"
#include "common/VtError.h"

namespace vt {

namespace {

std::uint32_t WordAt(const std::uint8_t* bytes, std::size_t size, std::size_t offset) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i)
        if (offset + i < size) v |= static_cast<std::uint32_t>(bytes[offset + i]) << (8 * i);
    return v;
}

void PutWord(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// Opens the driver's key without creating it.
bool OpenLayoutKey(TRegistry& reg, std::uint32_t access) {
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    reg.SetAccess(access);
    return reg.OpenKey(TScancodeMap::KeyPath(), false);
}

struct RStoredValue {
    std::uint32_t type = REG_NONE;
    std::vector<std::uint8_t> data;
};

// A stored value, type and bytes as they are; nothing when it does not exist.
std::optional<RStoredValue> ReadValue(TRegistry& reg, const std::u16string& name) {
    HKey key = reg.CurrentKey();
    RStoredValue v;
    std::uint32_t size = 0;
    long rc = Plat().RegQueryValueExW(key, name, &v.type, nullptr, &size);
    if (rc == ERROR_FILE_NOT_FOUND) return std::nullopt;
    if (rc != ERROR_SUCCESS) RaiseGetDataFailed(name);
    // Another writer may grow the value between the two queries: ask again then.
    for (int attempt = 0;; ++attempt) {
        v.data.assign(size, 0);
        std::uint32_t got = size;
        rc = Plat().RegQueryValueExW(key, name, &v.type, size ? v.data.data() : nullptr, &got);
        if (rc == ERROR_MORE_DATA && attempt < 4) {
            size = got;
            continue;
        }
        if (rc == ERROR_FILE_NOT_FOUND) return std::nullopt;
        if (rc != ERROR_SUCCESS) RaiseGetDataFailed(name);
        v.data.resize(std::min(got, size));
        return v;
    }
}

void WriteValue(TRegistry& reg, const std::u16string& name, const RStoredValue& v) {
    long rc = Plat().RegSetValueExW(reg.CurrentKey(), name, v.type,
                                    v.data.empty() ? nullptr : v.data.data(),
                                    static_cast<std::uint32_t>(v.data.size()));
    if (rc != ERROR_SUCCESS) RaiseSetDataFailed(name);
}

// A value that is, byte for byte, a map this tool writes here is not the user's.
bool IsOwnValue(const RStoredValue& v) {
    return IsToolMap(v.type, v.data);
}

}  // namespace

bool IsToolMap(std::uint32_t type, const std::vector<std::uint8_t>& data) {
    if (type != REG_BINARY) return false;
    for (bool capsLock : {true, false})
        for (bool scrollLock : {true, false}) {
            if (!capsLock && !scrollLock) continue;
            RScancodeMap map;
            AddToolMappings(map, capsLock, scrollLock);
            if (StoreMap(map) == data) return true;
        }
    return false;
}

// ---------------------------------------------------------------- records

int EntryBytes(const RScancodeMap& map) {
    return 4 * static_cast<int>(map.a.size());
}

int MapSize(const RScancodeMap& map) {
    return 12 + EntryBytes(map);
}

void InitMap(RScancodeMap& map, int n) {
    if (n < 0) n = 0;
    map.dummy[0] = map.dummy[1] = 0;
    map.len = n;
    map.a.resize(static_cast<std::size_t>(n));
}

bool HasTerminator(const RScancodeMap& map) {
    return !map.a.empty() && map.a.back().dw() == 0;
}

void AddMapping(RScancodeMap& map, std::uint16_t oldVal, std::uint16_t newVal) {
    std::size_t index;
    if (HasTerminator(map)) {
        index = map.a.size() - 1;
        map.a.resize(map.a.size() + 1);
    } else {
        index = map.a.size();
        map.a.resize(map.a.size() + 2);
    }
    map.a.back().setDw(0);
    map.len = static_cast<std::int32_t>(map.a.size());
    map.a[index].oldVal = oldVal;
    map.a[index].newVal = newVal;
}

void LoadMap(RScancodeMap& map, const std::uint8_t* bytes, std::size_t size) {
    if (!bytes) size = 0;
    InitMap(map, 0);
    map.dummy[0] = WordAt(bytes, size, 0);
    map.dummy[1] = WordAt(bytes, size, 4);
    auto count = static_cast<std::int32_t>(WordAt(bytes, size, 8));
    std::size_t present = size > 12 ? (size - 12) / 4 : 0;
    std::size_t n = count > 0 ? std::min(static_cast<std::size_t>(count), present) : 0;
    map.a.resize(n);
    for (std::size_t i = 0; i < n; ++i) map.a[i].setDw(WordAt(bytes, size, 12 + 4 * i));
    map.len = static_cast<std::int32_t>(n);
}

std::vector<std::uint8_t> StoreMap(const RScancodeMap& map) {
    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(MapSize(map)));
    PutWord(out, map.dummy[0]);
    PutWord(out, map.dummy[1]);
    PutWord(out, static_cast<std::uint32_t>(map.len));
    for (const TScancodeMapping& e : map.a) PutWord(out, e.dw());
    return out;
}

std::u16string HexBytes(const std::uint8_t* bytes, std::size_t count) {
    std::u16string out;
    out.reserve(count * 3);
    for (std::size_t i = 0; i < count; ++i) {
        out += HexStr(bytes[i], 2);
        out += u',';
    }
    return out;
}

std::u16string MapToHex(const RScancodeMap& map) {
    std::vector<std::uint8_t> head;
    PutWord(head, map.dummy[0]);
    PutWord(head, map.dummy[1]);
    std::u16string hex = HexBytes(head.data(), 8);
    std::vector<std::uint8_t> len;
    PutWord(len, static_cast<std::uint32_t>(map.len));
    hex += HexBytes(len.data(), 4);
    for (const TScancodeMapping& e : map.a) {
        std::vector<std::uint8_t> entry;
        PutWord(entry, e.dw());
        hex += HexBytes(entry.data(), 4);
    }
    if (!hex.empty()) hex.pop_back();
    return hex;
}

std::uint16_t ScanCodeOf(std::uint32_t vk) {
    return static_cast<std::uint16_t>(Plat().MapVirtualKeyW(vk, MAPVK_VK_TO_VSC_EX) & 0xFFFF);
}

void AddToolMappings(RScancodeMap& map, bool capsLock, bool scrollLock) {
    if (capsLock) AddMapping(map, ScanCodeOf(VK_CAPITAL), ScanCodeOf(VK_EREOF));
    if (scrollLock) AddMapping(map, ScanCodeOf(VK_SCROLL), ScanCodeOf(VK_ZOOM));
}

std::string RegFileText(const RScancodeMap& map) {
    std::string text = "Windows Registry Editor Version 5.00\r\n";
    text += "\r\n";
    text += ToUtf8(Format(u"[%s]", u"HKEY_LOCAL_MACHINE\\" + TScancodeMap::KeyPath())) + "\r\n";
    text += "\"" + ToUtf8(TScancodeMap::ValueName()) + "\"=hex:" + ToUtf8(MapToHex(map)) + "\r\n";
    return text;
}

// ---------------------------------------------------------------- TScancodeMap

TScancodeMap::TScancodeMap() {
    InitMap(_map, 0);
}

TScancodeMap::~TScancodeMap() = default;

const std::u16string& TScancodeMap::KeyPath() {
    static const std::u16string path = u"SYSTEM\\CurrentControlSet\\Control\\Keyboard Layout";
    return path;
}

const std::u16string& TScancodeMap::ValueName() {
    static const std::u16string name = u"Scancode Map";
    return name;
}

const std::u16string& TScancodeMap::BackupValueName() {
    static const std::u16string name = u"Vantor Backup " + ValueName();
    return name;
}

bool TScancodeMap::ReadFromRegistry(const std::u16string& name, RScancodeMap& map) {
    InitMap(map, 0);
    TRegistry reg;
    if (!OpenLayoutKey(reg, KEY_READ)) {
        long code = reg.LastError();
        throw EOSError(Format(u"Systemfehler. Code: %d. %s", code,
                              u"HKEY_LOCAL_MACHINE\\" + KeyPath() + u" kann nicht geöffnet werden"),
                       static_cast<std::uint32_t>(code));
    }
    if (!reg.ValueExists(name)) return false;
    InitMap(map, kMaxScancodeEntries);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(MapSize(map)), 0);
    std::uint32_t got =
        reg.ReadBinaryData(name, buffer.data(), static_cast<std::uint32_t>(buffer.size()));
    LoadMap(map, buffer.data(), std::min<std::size_t>(got, buffer.size()));
    return true;
}

bool TScancodeMap::ReadFromRegistry() {
    return ReadFromRegistry(ValueName(), _map);
}

bool TScancodeMap::SaveToRegistry(const std::u16string& newName) {
    TRegistry reg;
    if (!OpenLayoutKey(reg, KEY_ALL_ACCESS)) return false;
    std::vector<std::uint8_t> bytes = StoreMap(_map);
    reg.WriteBinaryData(newName, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    return true;
}

bool TScancodeMap::SaveToRegistry() {
    return SaveToRegistry(ValueName());
}

bool TScancodeMap::DeleteFromRegistry(const std::u16string& name) {
    TRegistry reg;
    if (!OpenLayoutKey(reg, KEY_ALL_ACCESS)) return false;
    if (!reg.ValueExists(name)) return true;
    return reg.DeleteValue(name);
}

bool TScancodeMap::DeleteFromRegistry() {
    return DeleteFromRegistry(ValueName());
}

bool TScancodeMap::AlreadyExists(const std::u16string& name) {
    TRegistry reg;
    if (!OpenLayoutKey(reg, KEY_ALL_ACCESS)) return false;
    return reg.ValueExists(name);
}

// The backup keeps the user's own map from before the first run: it is taken from the
// stored value (not from the map about to replace it) and never overwritten. A map this
// tool wrote is no user's map: it is never backed up, and a backup holding one (left by
// earlier versions) counts as none.
bool TScancodeMap::SaveBackup() {
    TRegistry reg;
    if (!OpenLayoutKey(reg, KEY_ALL_ACCESS)) return false;
    std::optional<RStoredValue> stored = ReadValue(reg, ValueName());
    if (!stored || IsOwnValue(*stored)) return false;
    std::optional<RStoredValue> backup = ReadValue(reg, BackupValueName());
    if (backup && !IsOwnValue(*backup)) return false;
    WriteValue(reg, BackupValueName(), *stored);
    return true;
}

bool TScancodeMap::RestoreBackup() {
    TRegistry reg;
    if (!OpenLayoutKey(reg, KEY_ALL_ACCESS)) return false;
    std::optional<RStoredValue> backup = ReadValue(reg, BackupValueName());
    if (!backup) return false;
    WriteValue(reg, ValueName(), *backup);
    return true;
}

TScancodeMap::ERemoveResult TScancodeMap::RemoveOwnMap() {
    TRegistry reg;
    if (!OpenLayoutKey(reg, KEY_ALL_ACCESS)) return MAP_FAILED;
    std::optional<RStoredValue> stored = ReadValue(reg, ValueName());
    if (stored && !IsOwnValue(*stored)) return MAP_FOREIGN;
    std::optional<RStoredValue> backup = ReadValue(reg, BackupValueName());
    ERemoveResult result = stored ? MAP_REMOVED : MAP_NONE;
    if (backup && !IsOwnValue(*backup)) {
        // Written over ours in one step: the keyboard is never left without the old map.
        WriteValue(reg, ValueName(), *backup);
        result = MAP_RESTORED;
    } else if (stored && !reg.DeleteValue(ValueName())) {
        return MAP_FAILED;
    }
    // The backup has served: it is the stored map again, or was one of ours.
    if (backup && !reg.DeleteValue(BackupValueName())) return MAP_FAILED;
    return result;
}

bool TScancodeMap::StoredMapIsOwn() {
    TRegistry reg;
    if (!OpenLayoutKey(reg, KEY_READ)) return false;
    std::optional<RStoredValue> stored = ReadValue(reg, ValueName());
    return stored && IsOwnValue(*stored);
}

void TScancodeMap::SaveToRegFile(const std::u16string& filename) {
    std::string text = RegFileText(_map);
    std::ofstream out(std::filesystem::path(filename), std::ios::binary | std::ios::trunc);
    if (!out) throw EVtError(Format(u"Datei \"%s\" kann nicht erstellt werden", filename));
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    if (!out) throw EVtError(Format(u"Fehler beim Schreiben der Datei \"%s\"", filename));
}

}  // namespace vt
