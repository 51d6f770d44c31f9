#include "RegistryKey.h"

#include "Format.h"
#include "VtError.h"

namespace vt {

namespace {

// Closes a key handle on every way out of a scope.
class KeyHolder {
public:
    KeyHolder() = default;
    explicit KeyHolder(HKey key) : key_(key) {}
    ~KeyHolder() { Reset(); }
    KeyHolder(const KeyHolder&) = delete;
    KeyHolder& operator=(const KeyHolder&) = delete;
    HKey* Out() {
        Reset();
        return &key_;
    }
    HKey Get() const { return key_; }
    HKey Release() {
        HKey k = key_;
        key_ = 0;
        return k;
    }
    void Reset() {
        if (key_ != 0) Plat().RegCloseKey(key_);
        key_ = 0;
    }

private:
    HKey key_ = 0;
};

bool IsAbsolute(const std::u16string& path) {
    return !path.empty() && path[0] == u'\\';
}

std::u16string StripSlashes(const std::u16string& path) {
    std::size_t b = 0, e = path.size();
    while (b < e && path[b] == u'\\') ++b;
    while (e > b && path[e - 1] == u'\\') --e;
    return path.substr(b, e - b);
}

std::vector<std::u16string> EnumSubKeys(HKey key) {
    std::vector<std::u16string> names;
    for (std::uint32_t i = 0;; ++i) {
        std::u16string name;
        if (Plat().RegEnumKeyExW(key, i, &name) != ERROR_SUCCESS) break;
        names.push_back(std::move(name));
    }
    return names;
}

constexpr std::uint32_t kDeleteAccess = 0x00010000;  // DELETE
constexpr long kErrorKeyDeleted = 1018;              // ERROR_KEY_DELETED
constexpr long kErrorNotEnoughQuota = 1816;          // ERROR_NOT_ENOUGH_QUOTA

// Deletes parent\sub with everything below it; Windows refuses to delete a key that
// still has subkeys, so the leaves go first. A subkey that cannot be deleted keeps its
// parent, but not its siblings: as much as possible is removed, and the first failure
// is the result.
// Every key is opened as a link: a symbolic link is deleted itself, never the tree it
// points to (which may lie anywhere in the registry, or be an ancestor). `budget`
// counts the keys still allowed; at 0 the walk stops with an error.
long DeleteTree(HKey parent, const std::u16string& sub, int depth, std::uint32_t& budget) {
    if (depth > 512) return ERROR_ACCESS_DENIED;  // deeper than the registry allows
    if (budget == 0) return kErrorNotEnoughQuota;
    --budget;
    KeyHolder key;
    long rc = Plat().RegOpenKeyExW_OpenLink(parent, sub, KEY_READ | kDeleteAccess, key.Out());
    long failure = ERROR_SUCCESS;
    if (rc == ERROR_ACCESS_DENIED) {
        // the key itself stays, but what lies below it may still go
        failure = rc;
        rc = Plat().RegOpenKeyExW_OpenLink(parent, sub, KEY_READ, key.Out());
    }
    if (rc != ERROR_SUCCESS) return rc;
    for (const std::u16string& child : EnumSubKeys(key.Get())) {
        rc = DeleteTree(key.Get(), child, depth + 1, budget);
        if (rc != ERROR_SUCCESS && failure == ERROR_SUCCESS) failure = rc;
        if (rc == kErrorNotEnoughQuota) return rc;
    }
    if (failure != ERROR_SUCCESS) return failure;
    return Plat().NtDeleteKey(key.Get());
}

std::u16string TextFromBytes(const std::vector<std::uint8_t>& data, std::uint32_t size) {
    std::u16string text;
    std::size_t units = size / 2;
    text.reserve(units);
    for (std::size_t i = 0; i < units; ++i) {
        char16_t c = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
        if (c == 0) break;
        text.push_back(c);
    }
    return text;
}

}  // namespace

[[noreturn]] void RaiseInvalidType(const std::u16string& name) {
    throw ERegistryException(Format(u"Ungültiger Datentyp für '%s'", name));
}

[[noreturn]] void RaiseSetDataFailed(const std::u16string& name) {
    throw ERegistryException(Format(u"Fehler beim Setzen der Daten für '%s'", name));
}

[[noreturn]] void RaiseGetDataFailed(const std::u16string& name) {
    throw ERegistryException(Format(u"Fehler beim Holen der Daten für '%s'", name));
}

TRegistry::TRegistry(std::uint32_t access) : access_(access) {}

TRegistry::~TRegistry() {
    CloseKey();
}

void TRegistry::SetRootKey(HKey root) {
    CloseKey();
    root_ = root;
}

bool TRegistry::OpenKey(const std::u16string& path, bool canCreate) {
    bool relative = !IsAbsolute(path) && current_ != 0;
    HKey base = relative ? current_ : root_;
    std::u16string sub = StripSlashes(path);
    KeyHolder opened;
    if (canCreate) {
        bool created = false;
        lastError_ = Plat().RegCreateKeyExW(base, sub, access_, opened.Out(), &created);
    } else {
        lastError_ = Plat().RegOpenKeyExW(base, sub, access_, opened.Out());
    }
    if (lastError_ != ERROR_SUCCESS) return false;
    std::u16string newPath = relative && !sub.empty() ? currentPath_ + u"\\" + sub
                             : relative               ? currentPath_
                                                      : sub;
    CloseKey();
    current_ = opened.Release();
    currentPath_ = std::move(newPath);
    return true;
}

bool TRegistry::OpenKeyReadOnly(const std::u16string& path) {
    std::uint32_t saved = access_;
    access_ = KEY_READ;
    bool ok = OpenKey(path, false);
    access_ = saved;
    return ok;
}

void TRegistry::CloseKey() {
    if (current_ != 0) Plat().RegCloseKey(current_);
    current_ = 0;
    currentPath_.clear();
}

bool TRegistry::KeyExists(const std::u16string& path) {
    KeyHolder key;
    lastError_ = Plat().RegOpenKeyExW(root_, StripSlashes(path), KEY_READ, key.Out());
    return lastError_ == ERROR_SUCCESS;
}

bool TRegistry::DeleteKey(const std::u16string& path, std::uint32_t maxKeys) {
    bool relative = !IsAbsolute(path) && current_ != 0;
    std::u16string sub = StripSlashes(path);
    if (sub.empty()) return false;  // never the root or the current key itself
    std::uint32_t budget = maxKeys;
    lastError_ = DeleteTree(relative ? current_ : root_, sub, 0, budget);
    return lastError_ == ERROR_SUCCESS;
}

std::vector<std::u16string> TRegistry::GetKeyNames() {
    if (current_ == 0) return {};
    return EnumSubKeys(current_);
}

bool TRegistry::ValueExists(const std::u16string& name) {
    if (current_ == 0) return false;
    lastError_ = Plat().RegQueryValueExW(current_, name, nullptr, nullptr, nullptr);
    return lastError_ == ERROR_SUCCESS;
}

bool TRegistry::DeleteValue(const std::u16string& name) {
    if (current_ == 0) return false;
    lastError_ = Plat().RegDeleteValueW(current_, name);
    return lastError_ == ERROR_SUCCESS;
}

bool TRegistry::GetDataInfo(const std::u16string& name, std::uint32_t* type, std::uint32_t* size) {
    std::uint32_t t = REG_NONE, s = 0;
    if (current_ == 0) return false;
    lastError_ = Plat().RegQueryValueExW(current_, name, &t, nullptr, &s);
    if (lastError_ != ERROR_SUCCESS) return false;
    if (type) *type = t;
    if (size) *size = s;
    return true;
}

// Only a value (or key) that is not there reads as absent; any other failed query of a
// value is an error, so that an unreadable value never passes for an empty one.
bool TRegistry::QueryDataInfo(const std::u16string& name, std::uint32_t* type,
                              std::uint32_t* size) {
    if (GetDataInfo(name, type, size)) return true;
    if (current_ == 0 || lastError_ == ERROR_FILE_NOT_FOUND || lastError_ == kErrorKeyDeleted)
        return false;
    RaiseGetDataFailed(name);
}

std::u16string TRegistry::ReadString(const std::u16string& name) {
    std::uint32_t type = REG_NONE, size = 0;
    if (!QueryDataInfo(name, &type, &size) || size == 0) return u"";
    if (type != REG_SZ && type != REG_EXPAND_SZ) RaiseInvalidType(name);
    // The value may grow between the two queries (another process writing): ask again.
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::vector<std::uint8_t> data(size + 2, 0);
        std::uint32_t got = size;
        lastError_ = Plat().RegQueryValueExW(current_, name, &type, data.data(), &got);
        if (lastError_ == ERROR_MORE_DATA) {
            size = got;
            continue;
        }
        // deleted in between
        if (lastError_ == ERROR_FILE_NOT_FOUND || lastError_ == kErrorKeyDeleted) return u"";
        if (lastError_ != ERROR_SUCCESS) RaiseGetDataFailed(name);
        if (type != REG_SZ && type != REG_EXPAND_SZ) RaiseInvalidType(name);
        return TextFromBytes(data, got < size ? got : size);
    }
    RaiseGetDataFailed(name);
}

void TRegistry::WriteString(const std::u16string& name, const std::u16string& value) {
    std::vector<std::uint8_t> data;
    data.reserve(value.size() * 2 + 2);
    for (char16_t c : value) {
        data.push_back(static_cast<std::uint8_t>(c & 0xFF));
        data.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    data.push_back(0);
    data.push_back(0);
    if (current_ == 0) RaiseSetDataFailed(name);
    lastError_ = Plat().RegSetValueExW(current_, name, REG_SZ, data.data(),
                                       static_cast<std::uint32_t>(data.size()));
    if (lastError_ != ERROR_SUCCESS) RaiseSetDataFailed(name);
}

std::uint32_t TRegistry::ReadBinaryData(const std::u16string& name, std::uint8_t* buffer,
                                        std::uint32_t size) {
    std::uint32_t type = REG_NONE, stored = 0;
    if (!QueryDataInfo(name, &type, &stored)) return 0;
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_DWORD || stored > size)
        RaiseInvalidType(name);
    if (stored == 0) return 0;
    std::uint32_t got = size;
    lastError_ = Plat().RegQueryValueExW(current_, name, &type, buffer, &got);
    if (lastError_ == ERROR_MORE_DATA) RaiseInvalidType(name);  // grew in between
    if (lastError_ == ERROR_FILE_NOT_FOUND || lastError_ == kErrorKeyDeleted) return 0;
    if (lastError_ != ERROR_SUCCESS) RaiseGetDataFailed(name);
    return got;
}

void TRegistry::WriteBinaryData(const std::u16string& name, const std::uint8_t* data,
                                std::uint32_t size) {
    if (current_ == 0) RaiseSetDataFailed(name);
    lastError_ = Plat().RegSetValueExW(current_, name, REG_BINARY, data, size);
    if (lastError_ != ERROR_SUCCESS) RaiseSetDataFailed(name);
}

}  // namespace vt
