// VtConfig.UnInstU: the uninstall dialog, which asks what to remove.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/Platform.h"

namespace vt {

enum EnumUnInstOptions : std::uint8_t {
    UNINST_FILES,
    UNINST_AUTOSTART,
    UNINST_SETTINGS,
    UNINST_SOUND,
    UNINST_MACROS,
    UNINST_COUNT
};

// A set of EnumUnInstOptions in one byte: member k is bit k (UNINST_FILES 0x01 ...
// UNINST_MACROS 0x10).
struct TUnInstOptions {
    std::uint8_t bits = 0;

    static TUnInstOptions All() { return TUnInstOptions{0x1F}; }
    bool Empty() const { return bits == 0; }
    bool Has(EnumUnInstOptions o) const { return (bits >> o) & 1; }
    void Include(EnumUnInstOptions o) { bits = static_cast<std::uint8_t>(bits | (1u << o)); }
    bool operator==(const TUnInstOptions& other) const { return bits == other.bits; }
    bool operator!=(const TUnInstOptions& other) const { return bits != other.bits; }
};

constexpr std::uint8_t OptionBit(EnumUnInstOptions o) {
    return static_cast<std::uint8_t>(1u << o);
}

class TUnInstallForm {
public:
    TUnInstallForm();
    ~TUnInstallForm();
    TUnInstallForm(const TUnInstallForm&) = delete;
    TUnInstallForm& operator=(const TUnInstallForm&) = delete;

    // The check boxes by member: FilesCB, AutostartCB, SettingsCB, SoundCB, MacrosCB.
    // The window copies its boxes here before OkBtnClick runs.
    std::array<bool, UNINST_COUNT> checked{};

    // opts := {}, then each checked box adds its member, Files to Macros.
    void OkBtnClick();

    // Shows the dialog modally; true when it was closed with OK. Windows only.
    bool ShowModal();

    TUnInstOptions opts;

    // Whose settings, sounds and macros the boxes are about; shown below them.
    std::u16string userName;
    // "Benutzer: <name>", or "" when the name is unknown.
    std::u16string UserText() const;

private:
    HWnd wnd_ = 0;
};

// Shows the dialog for the data of userName and returns its choice, or the empty set
// when it was closed without OK. Windows only.
TUnInstOptions AskUninstallOptions(const std::u16string& userName);

}  // namespace vt
