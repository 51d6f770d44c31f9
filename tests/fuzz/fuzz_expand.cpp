// ExpandEnvironment with an environment the input chooses: the text to expand, then the
// values of the variables A, B, C... separated by U+0001. Whatever refers to what, the
// expansion must end and stay bounded.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FakePlatform.h"
#include "hook/VtConvert.h"

namespace {

vt::FakePlatform& Fake() {
    static vt::FakePlatform* fake = [] {
        auto* f = new vt::FakePlatform();
        vt::SetPlatform(f);
        return f;
    }();
    return *fake;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vt::FakePlatform& fake = Fake();
    // Bytes map to a small alphabet rich in "%" and variable names, with wide characters
    // now and then.
    std::vector<std::u16string> parts(1);
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t b = data[i];
        char16_t ch;
        if (b == 0x01) {
            if (parts.size() < 9) parts.emplace_back();
            continue;
        }
        if (b < 0x40)
            ch = u"%%%%ABCDEFGH ab\\\"=%AB"[b % 22];
        else if (b < 0xF0)
            ch = static_cast<char16_t>(b);
        else
            ch = static_cast<char16_t>(0x2000 + b);
        parts.back().push_back(ch);
    }

    fake.environment.clear();
    std::size_t longest = 0;
    for (std::size_t k = 1; k < parts.size(); ++k) {
        // A value repeated makes the long-value path (more than 1024 characters) reachable.
        std::u16string value = parts[k];
        if (!value.empty() && value[0] == u'*') value = std::u16string(1500, u'x') + value;
        fake.environment[std::u16string(1, static_cast<char16_t>(u'A' + k - 1))] = value;
        longest = std::max(longest, value.size());
    }

    const std::u16string result = vt::ExpandEnvironment(parts[0]);
    if (result.size() > parts[0].size() + 64 * longest) __builtin_trap();
    if (parts[0].find(u'%') == std::u16string::npos && result != parts[0]) __builtin_trap();
    return 0;
}
