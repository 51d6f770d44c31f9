#include "Vantor.Utils.h"

namespace vt {

namespace {
constexpr long kErrorKeyDeleted = 1018;  // ERROR_KEY_DELETED
}

std::u16string RegPath = kDefaultRegPath;
std::unique_ptr<TOptionsRegistry> Options;

TOptionsRegistry::TOptionsRegistry(HKey root) : TRegistry(KEY_ALL_ACCESS) {
    SetRootKey(root);
}

std::uint8_t TOptionsRegistry::ReadFlag(const std::u16string& name, std::uint8_t def) {
    // Read on every key event: one query answers existence, type, size and the byte.
    if (CurrentKey() == 0) return def;
    std::uint8_t buffer = def;
    std::uint32_t type = REG_NONE, size = 1;
    long rc = Plat().RegQueryValueExW(CurrentKey(), name, &type, &buffer, &size);
    // A key deleted under us (uninstall in another process) holds no values any more.
    if (rc == ERROR_FILE_NOT_FOUND || rc == kErrorKeyDeleted) return def;
    if (rc == ERROR_MORE_DATA) RaiseInvalidType(name);
    if (rc != ERROR_SUCCESS) RaiseGetDataFailed(name);
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_DWORD || size > 1)
        RaiseInvalidType(name);
    return size == 0 ? def : buffer;
}

void TOptionsRegistry::WriteFlag(const std::u16string& name, std::uint8_t value) {
    WriteBinaryData(name, &value, 1);
}

std::uint8_t TOptionsRegistry::GetOption(AOption index) {
    return ReadFlag(OptionValueNames.at(index), 0);
}

void TOptionsRegistry::SetOption(AOption index, bool enable) {
    WriteFlag(OptionValueNames.at(index), enable ? 1 : 0);
}

std::u16string TOptionsRegistry::GetOptionString(AOption index) {
    return ReadString(OptionValueNames.at(index));
}

void TOptionsRegistry::SetOptionString(AOption index, const std::u16string& value) {
    WriteString(OptionValueNames.at(index), value);
}

EinUmlautMode TOptionsRegistry::GetUmlautMode() {
    return static_cast<EinUmlautMode>(ReadFlag(OptionValueNames[OPT_UMLAUT_MODE], UMLAUT_ASCII));
}

void TOptionsRegistry::SetUmlautMode(EinUmlautMode mode) {
    WriteFlag(OptionValueNames[OPT_UMLAUT_MODE], static_cast<std::uint8_t>(mode));
}

void OpenOptions(HKey root) {
    Options.reset();
    Options = std::make_unique<TOptionsRegistry>(root);
    // Without the key every switch reads as its default; nothing more to do here.
    (void)Options->OpenKey(RegPath + u"Settings", true);
}

void VantorUtilsInit() {
    if (RegPath.empty()) RegPath = kDefaultRegPath;
    OpenOptions(HKEY_CURRENT_USER);
}

void VantorUtilsDone() {
    CloseExclusions();
    Options.reset();
    RegPath.clear();
}

// ---------------------------------------------------------------- host notifications

void NotifySoundEvent(std::uint8_t event) {
    if (HostWindow == 0 || !Options) return;
    if (Options->GetOption(OPT_BEEP) == 0) return;
    (void)Plat().PostMessageW(HostWindow, WM_HOST_SOUNDEVENT, event, 0);
}

void NotifyOnOff(bool on) {
    NotifySoundEvent(on ? 1 : 2);
}

}  // namespace vt
