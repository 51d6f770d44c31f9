// DecodeMacroText on arbitrary stored texts: it must end, never grow the text, and leave
// texts without "$" alone.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/Vantor.Utils.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string stored;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        stored.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));

    const std::u16string text = vt::DecodeMacroText(stored);
    if (text.size() > stored.size()) __builtin_trap();
    if (stored.find(u'$') == std::u16string::npos && text != stored) __builtin_trap();
    // A character the stored text does not hold can only come from an escape: "$" and
    // at most two hex digits.
    for (char16_t ch : text)
        if (ch > 0xFF && stored.find(ch) == std::u16string::npos) __builtin_trap();
    return 0;
}
