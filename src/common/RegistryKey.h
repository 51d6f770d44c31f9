// TRegistry: the small registry-key wrapper both deliverables build on. One object holds
// a root key, an access mask and at most one open key; every path out closes it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "../platform/Platform.h"

namespace vt {

class TRegistry {
public:
    explicit TRegistry(std::uint32_t access = KEY_ALL_ACCESS);
    virtual ~TRegistry();
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    HKey RootKey() const { return root_; }
    void SetRootKey(HKey root);  // closes an open key
    HKey CurrentKey() const { return current_; }
    const std::u16string& CurrentPath() const { return currentPath_; }
    std::uint32_t Access() const { return access_; }
    void SetAccess(std::uint32_t access) { access_ = access; }
    // The last error code of a registry call made through this object.
    long LastError() const { return lastError_; }
    void SetLastError(long error) { lastError_ = error; }

    // Opens path as the current key: relative to the current key when one is open and
    // the path has no leading backslash, else relative to the root. Creates the missing
    // levels when canCreate. False when it cannot be opened.
    bool OpenKey(const std::u16string& path, bool canCreate);
    bool OpenKeyReadOnly(const std::u16string& path);
    void CloseKey();
    bool KeyExists(const std::u16string& path);  // relative to the root key
    // Deletes a key below the root (or the current key, as OpenKey) with its subkeys.
    // Links are deleted themselves, never followed; more than maxKeys keys is a failure.
    bool DeleteKey(const std::u16string& path, std::uint32_t maxKeys = kMaxKeysPerDelete);
    static constexpr std::uint32_t kMaxKeysPerDelete = 100000;
    std::vector<std::u16string> GetKeyNames();  // subkeys of the current key, in order

    bool ValueExists(const std::u16string& name);
    bool DeleteValue(const std::u16string& name);
    // Type and size of a value; false when it does not exist.
    bool GetDataInfo(const std::u16string& name, std::uint32_t* type, std::uint32_t* size);

    // Text values: REG_SZ or REG_EXPAND_SZ (returned unexpanded), up to the first NUL;
    // absent or empty gives "". Other types raise "Ungültiger Datentyp für '%s'", a value
    // that cannot be read "Fehler beim Holen der Daten für '%s'".
    std::u16string ReadString(const std::u16string& name);
    void WriteString(const std::u16string& name, const std::u16string& value);
    // Binary data into a buffer of `size` bytes; returns the bytes read. A value of a
    // text or DWORD type, or one longer than the buffer, raises the invalid-type error;
    // absent gives 0, a value that cannot be read the read error.
    std::uint32_t ReadBinaryData(const std::u16string& name, std::uint8_t* buffer,
                                 std::uint32_t size);
    void WriteBinaryData(const std::u16string& name, const std::uint8_t* data, std::uint32_t size);

private:
    // GetDataInfo that raises the read error for anything but an absent value.
    bool QueryDataInfo(const std::u16string& name, std::uint32_t* type, std::uint32_t* size);

    HKey root_ = 0x80000001u;  // HKEY_CURRENT_USER (a pointer in <windows.h>)
    HKey current_ = 0;
    std::u16string currentPath_;
    std::uint32_t access_;
    long lastError_ = 0;
};

// Error texts of the wrapper.
[[noreturn]] void RaiseInvalidType(const std::u16string& name);
[[noreturn]] void RaiseSetDataFailed(const std::u16string& name);
[[noreturn]] void RaiseGetDataFailed(const std::u16string& name);

}  // namespace vt
