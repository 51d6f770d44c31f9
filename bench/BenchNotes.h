// What a benchmark was built with, for its printed figures.
#pragma once

namespace vt::bench {

inline const char* SanitizerNote() {
#if defined(__SANITIZE_ADDRESS__)
    return "with AddressSanitizer/UBSan";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return "with AddressSanitizer/UBSan";
#else
    return "without sanitizers";
#endif
#else
    return "without sanitizers";
#endif
}

inline const char* OptimizeNote() {
#if defined(__OPTIMIZE__)
    return "optimized";
#else
    return "not optimized";
#endif
}

}  // namespace vt::bench
