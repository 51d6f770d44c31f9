#include "Vantor.Utils.h"

#include <atomic>

#include "DebugWindowInterface.h"
#include "Format.h"
#include "Vantor.Utils.Abbrev.h"
#include "VtError.h"

namespace vt {

namespace {
constexpr long kErrorKeyDeleted = 1018;  // ERROR_KEY_DELETED
}

std::u16string RegPath = kDefaultRegPath;
std::unique_ptr<TOptionsRegistry> Options;

// Reading needs no more than read access, which programs with low rights also get; a
// write opens the key for writing just for itself.
TOptionsRegistry::TOptionsRegistry(HKey root) : TRegistry(KEY_READ) {
    SetRootKey(root);
}

bool TOptionsRegistry::Reopen() {
    std::lock_guard<std::recursive_mutex> lock(handleLock_);
    // A key deleted under the open handle (an uninstall followed by a new install, an
    // import) holds no values any more; the key now at its path is the configuration.
    // Until there is one, the dead handle stays and the next read tries again.
    if (CurrentKey() == 0 || LastError() != kErrorKeyDeleted) return false;
    return OpenKey(u"\\" + CurrentPath(), false);
}

namespace {

// What made a value unreadable, as one number: its error, type, size and (when it was
// read) its bytes. 0 stands for a readable value.
std::uint64_t Signature(long rc, std::uint32_t type, std::uint32_t size, const std::uint8_t* data,
                        std::uint32_t dataSize) {
    std::uint64_t h = 1469598103934665603ull;
    const auto mix = [&](std::uint64_t v) {
        for (int i = 0; i < 8; ++i) {
            h ^= (v >> (8 * i)) & 0xFF;
            h *= 1099511628211ull;
        }
    };
    mix(static_cast<std::uint64_t>(rc));
    mix(type);
    mix(size);
    for (std::uint32_t i = 0; i < dataSize; ++i) mix(data[i]);
    return h == 0 ? 1 : h;
}

// Per option, the signature of the failure last logged: each failure is logged once,
// and again only after the value changed.
std::array<std::atomic<std::uint64_t>, OPT_COUNT> gUnreadable{};

void ForgetUnreadable() {
    for (auto& s : gUnreadable) s = 0;
}

void NoteReadable(AOption index) {
    if (index >= 0 && index < OPT_COUNT) gUnreadable[index] = 0;
}

// `why` builds the failure's text; it is called only for a line that someone takes.
template <class Why>
void NoteUnreadable(AOption index, std::uint64_t signature, const Why& why,
                    const char16_t* countsAs) {
    if (index < 0 || index >= OPT_COUNT) return;
    if (gUnreadable[index].exchange(signature) == signature) return;
    DebugLog(u"Optionen: %s: gilt als %s", why, countsAs);
}

}  // namespace

TOptionsRegistry::EFlagRead TOptionsRegistry::QueryFlag(const std::u16string& name,
                                                        std::uint8_t def, std::uint8_t& value,
                                                        std::uint64_t& signature) {
    std::lock_guard<std::recursive_mutex> lock(handleLock_);
    // Read on every key event: one query answers existence, type, size and the byte. The
    // buffer takes a few bytes more, so that a wrong value's bytes tell when it changed.
    for (int attempt = 0;; ++attempt) {
        value = def;
        signature = 0;
        if (CurrentKey() == 0) return FLAG_READ;
        std::uint8_t buffer[8] = {};
        std::uint32_t type = REG_NONE, size = sizeof buffer;
        long rc = Plat().RegQueryValueExW(CurrentKey(), name, &type, buffer, &size);
        SetLastError(rc);
        if (rc == kErrorKeyDeleted && attempt == 0 && Reopen()) continue;
        if (rc == ERROR_FILE_NOT_FOUND || rc == kErrorKeyDeleted) return FLAG_READ;
        const bool haveBytes = rc == ERROR_SUCCESS && size <= sizeof buffer;
        signature = Signature(rc, type, size, buffer, haveBytes ? size : 0);
        if (rc == ERROR_MORE_DATA) return FLAG_INVALID;
        if (rc != ERROR_SUCCESS) return FLAG_UNREADABLE;
        if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_DWORD || size > 1)
            return FLAG_INVALID;
        if (size == 1) value = buffer[0];
        signature = 0;
        return FLAG_READ;
    }
}

std::uint8_t TOptionsRegistry::ReadFlag(const std::u16string& name, std::uint8_t def) {
    std::uint8_t value = def;
    std::uint64_t signature = 0;
    switch (QueryFlag(name, def, value, signature)) {
        case FLAG_INVALID:
            RaiseInvalidType(name);
        case FLAG_UNREADABLE:
            RaiseGetDataFailed(name);
        default:
            return value;
    }
}

std::uint8_t TOptionsRegistry::ReadFlagOr(AOption index, std::uint8_t def,
                                          const char16_t* countsAs) {
    const std::u16string& name = OptionValueNames.at(index);
    std::uint8_t value = def;
    std::uint64_t signature = 0;
    EFlagRead read;
    long error;
    {
        std::lock_guard<std::recursive_mutex> lock(handleLock_);
        read = QueryFlag(name, def, value, signature);
        error = LastError();
    }
    if (read == FLAG_READ) {
        NoteReadable(index);
        return value;
    }
    NoteUnreadable(
        index, signature,
        [&] {
            return read == FLAG_INVALID
                       ? Format(u"Ungültiger Datentyp für '%s'", name)
                       : Format(u"Fehler beim Holen der Daten für '%s' (%d)", name,
                                static_cast<int>(error));
        },
        countsAs);
    return def;
}

std::uint8_t TOptionsRegistry::GetOptionOrOff(AOption index) {
    return ReadFlagOr(index, 0, u"aus");
}

EinUmlautMode TOptionsRegistry::GetUmlautModeOrDefault() {
    return static_cast<EinUmlautMode>(ReadFlagOr(OPT_UMLAUT_MODE, UMLAUT_ASCII, u"ASCII"));
}

std::u16string TOptionsRegistry::GetOptionStringOrEmpty(AOption index) {
    try {
        std::u16string text = GetOptionString(index);
        NoteReadable(index);
        return text;
    } catch (const ERegistryException& e) {
        // The failure's signature: the value's type and size now.
        const std::u16string& name = OptionValueNames.at(index);
        std::uint32_t type = REG_NONE, size = 0;
        const long error = GetDataInfo(name, &type, &size) ? 0 : LastError();
        NoteUnreadable(index, Signature(error, type, size, nullptr, 0), e.Message(), u"leer");
        return std::u16string();
    }
}

template <typename Write>
void TOptionsRegistry::WriteValue(const std::u16string& name, Write write) {
    std::lock_guard<std::recursive_mutex> lock(handleLock_);
    if (CurrentKey() == 0) RaiseSetDataFailed(name);
    TRegistry writer(KEY_SET_VALUE);
    writer.SetRootKey(RootKey());
    // By path, so that a key deleted and written again since the load is the one written.
    if (!writer.OpenKey(u"\\" + CurrentPath(), false)) RaiseSetDataFailed(name);
    write(writer);
}

void TOptionsRegistry::WriteFlag(const std::u16string& name, std::uint8_t value) {
    WriteValue(name, [&](TRegistry& key) { key.WriteBinaryData(name, &value, 1); });
}

std::uint8_t TOptionsRegistry::GetOption(AOption index) {
    return ReadFlag(OptionValueNames.at(index), 0);
}

void TOptionsRegistry::SetOption(AOption index, bool enable) {
    WriteFlag(OptionValueNames.at(index), enable ? 1 : 0);
    ++ActionCount;
}

std::u16string TOptionsRegistry::GetOptionString(AOption index) {
    std::lock_guard<std::recursive_mutex> lock(handleLock_);
    const std::u16string& name = OptionValueNames.at(index);
    try {
        std::u16string text = ReadString(name);
        if (!Reopen()) return text;
    } catch (const ERegistryException&) {
        if (!Reopen()) throw;
    }
    return ReadString(name);
}

void TOptionsRegistry::SetOptionString(AOption index, const std::u16string& value) {
    const std::u16string& name = OptionValueNames.at(index);
    WriteValue(name, [&](TRegistry& key) { key.WriteString(name, value); });
}

EinUmlautMode TOptionsRegistry::GetUmlautMode() {
    return static_cast<EinUmlautMode>(ReadFlag(OptionValueNames[OPT_UMLAUT_MODE], UMLAUT_ASCII));
}

void TOptionsRegistry::SetUmlautMode(EinUmlautMode mode) {
    WriteFlag(OptionValueNames[OPT_UMLAUT_MODE], static_cast<std::uint8_t>(mode));
    ++ActionCount;
}

void OpenOptions(HKey root) {
    Options.reset();
    Options = std::make_unique<TOptionsRegistry>(root);
    ForgetDiagnoseSwitch();  // the store may sit on another hive now
    ForgetUnreadable();
    // Without the key every switch reads as its default; nothing more to do here. Opening
    // comes first: programs with low rights may read the key but not create it.
    const std::u16string path = RegPath + u"Settings";
    if (!Options->OpenKey(path, false)) (void)Options->OpenKey(path, true);
}

void VantorUtilsInit() {
    if (RegPath.empty()) RegPath = kDefaultRegPath;
    OpenOptions(HKEY_CURRENT_USER);
}

void VantorUtilsDone() {
    CloseExclusions();
    CloseAbbreviations();
    Options.reset();
    RegPath.clear();
}

// ---------------------------------------------------------------- host notifications

void NotifySoundEvent(std::uint8_t event) {
    if (HostWindow == 0 || !Options) return;
    if (Options->GetOptionOrOff(OPT_BEEP) == 0) return;
    (void)Plat().PostMessageW(HostWindow, WM_HOST_SOUNDEVENT, event, 0);
    ++ActionCount;
}

void NotifyOnOff(bool on) {
    NotifySoundEvent(on ? 1 : 2);
}

}  // namespace vt
