#include "Vantor.Utils.h"

#include "DebugWindowInterface.h"
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
    // A key deleted under the open handle (an uninstall followed by a new install, an
    // import) holds no values any more; the key now at its path is the configuration.
    // Until there is one, the dead handle stays and the next read tries again.
    if (CurrentKey() == 0 || LastError() != kErrorKeyDeleted) return false;
    return OpenKey(u"\\" + CurrentPath(), false);
}

std::uint8_t TOptionsRegistry::ReadFlag(const std::u16string& name, std::uint8_t def) {
    // Read on every key event: one query answers existence, type, size and the byte.
    for (int attempt = 0;; ++attempt) {
        if (CurrentKey() == 0) return def;
        std::uint8_t buffer = def;
        std::uint32_t type = REG_NONE, size = 1;
        long rc = Plat().RegQueryValueExW(CurrentKey(), name, &type, &buffer, &size);
        SetLastError(rc);
        if (rc == kErrorKeyDeleted && attempt == 0 && Reopen()) continue;
        if (rc == ERROR_FILE_NOT_FOUND || rc == kErrorKeyDeleted) return def;
        if (rc == ERROR_MORE_DATA) RaiseInvalidType(name);
        if (rc != ERROR_SUCCESS) RaiseGetDataFailed(name);
        if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_DWORD || size > 1)
            RaiseInvalidType(name);
        return size == 0 ? def : buffer;
    }
}

template <typename Write>
void TOptionsRegistry::WriteValue(const std::u16string& name, Write write) {
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
    if (Options->GetOption(OPT_BEEP) == 0) return;
    (void)Plat().PostMessageW(HostWindow, WM_HOST_SOUNDEVENT, event, 0);
    ++ActionCount;
}

void NotifyOnOff(bool on) {
    NotifySoundEvent(on ? 1 : 2);
}

}  // namespace vt
