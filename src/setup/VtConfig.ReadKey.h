// VtConfig.ReadKey: a small modal dialog that records one key combination in the
// layout of a macro key (key code in bits 0-15, modifier byte in bits 16-23).
#pragma once

#include <cstdint>

#include "platform/Platform.h"

namespace vt {

// Keeps bits 0-15, masks bits 16-23 with 0xCF and drops bits 24-31.
std::uint32_t PackKeyCode(std::uint32_t code);

enum TModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2 };

class TFrmReadKey {
public:
    TFrmReadKey();
    ~TFrmReadKey();
    TFrmReadKey(const TFrmReadKey&) = delete;
    TFrmReadKey& operator=(const TFrmReadKey&) = delete;

    void FormShow();
    // The first key release records the key with the modifiers held at that moment.
    void FormKeyUp(std::uint16_t key);
    void PngBitBtn1Click();

    // Shows the dialog modally and returns how it was closed. Windows only.
    TModalResult ShowModal();

    std::uint32_t vkResult = 0;
    bool keyPreview = false;
    TModalResult modalResult = mrNone;

private:
    HWnd wnd_ = 0;
};

}  // namespace vt
