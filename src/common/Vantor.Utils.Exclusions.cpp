// Vantor.Utils: the list of programs left alone. Asked at every key press that would be
// converted, so it must cost one registry query, not a walk over the list.
#include "DebugWindowInterface.h"
#include "Vantor.Utils.h"

namespace vt {

namespace {

constexpr long kErrorKeyDeleted = 1018;  // ERROR_KEY_DELETED

// The list key, opened read-only at the first lookup that finds it and kept open; a key
// deleted under us (an import, a re-install) is opened again.
HKey ExclusionsKey = 0;

void CloseKey() {
    if (ExclusionsKey != 0) (void)Plat().RegCloseKey(ExclusionsKey);
    ExclusionsKey = 0;
}

bool OpenList() {
    HKey key = 0;
    const long rc =
        Plat().RegOpenKeyExW(Options->RootKey(), RegPath + kExclusionsKey, KEY_QUERY_VALUE, &key);
    if (rc == ERROR_SUCCESS) {
        ExclusionsKey = key;
        return true;
    }
    // No list at all is the common case and not worth a line.
    if (rc != ERROR_FILE_NOT_FOUND) DebugLog(u"Ausnahmen: Liste nicht lesbar (%d)", rc);
    return false;
}

}  // namespace

std::u16string FileNamePart(const std::u16string& path) {
    const std::size_t slash = path.find_last_of(u"\\/:");
    return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

bool IsProgramExcluded(const std::u16string& fileName) noexcept {
    try {
        if (fileName.empty() || !Options) return false;
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (ExclusionsKey == 0 && !OpenList()) return false;
            std::uint32_t type = REG_NONE, size = 0;
            const long rc = Plat().RegQueryValueExW(ExclusionsKey, fileName, &type, nullptr, &size);
            if (rc == kErrorKeyDeleted) {
                CloseKey();
                continue;
            }
            if (rc == ERROR_FILE_NOT_FOUND) return false;
            if (rc != ERROR_SUCCESS) {
                DebugLog(u"Ausnahmen: Fehler beim Holen der Daten für '%s' (%d)", fileName, rc);
                return false;
            }
            if (type != REG_SZ) {
                DebugLog(u"Ausnahmen: Ungültiger Datentyp für '%s'", fileName);
                return false;
            }
            return true;
        }
    } catch (...) {
        // Formatting the line may fail too; the key is then simply converted.
    }
    return false;
}

void CloseExclusions() noexcept {
    try {
        CloseKey();
    } catch (...) {
        ExclusionsKey = 0;
    }
}

}  // namespace vt
