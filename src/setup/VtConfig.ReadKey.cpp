#include "VtConfig.ReadKey.h"

#include "common/KeyCombination.h"
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
    // The macro editor packs the same way; this dialog never records the extended bit.
    vkResult = PackKeyCode(CombinationFromKey(key, false, GetModifierState()));
    modalResult = mrOk;
}

void TFrmReadKey::PngBitBtn1Click() {
    modalResult = mrCancel;
}

}  // namespace vt
