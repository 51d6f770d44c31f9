#include "VtConfig.ReadKey.h"

#include "common/Vantor.Common.h"

namespace vt {

std::uint32_t PackKeyCode(std::uint32_t code) {
    return code & 0x00CFFFFFu;
}

TFrmReadKey::TFrmReadKey() = default;

TFrmReadKey::~TFrmReadKey() = default;

void TFrmReadKey::FormShow() {
    vkResult = 0;
    keyPreview = true;
    modalResult = mrNone;
}

void TFrmReadKey::FormKeyUp(std::uint16_t key) {
    std::uint8_t mods = GetModifierState();
    // AltGr arrives as Ctrl+Alt+right Alt; only right Alt names the combination.
    if (mods & MOD_ALTGR) mods = static_cast<std::uint8_t>(mods & ~(MOD_CTRL | MOD_ALT));
    vkResult = PackKeyCode((static_cast<std::uint32_t>(mods) << 16) | key);
    modalResult = mrOk;
}

void TFrmReadKey::PngBitBtn1Click() {
    modalResult = mrCancel;
}

}  // namespace vt
