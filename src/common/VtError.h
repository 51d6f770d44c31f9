// Errors raised inside the logic. Each carries the system's own message text; the
// boundaries (KeyboardProc, the exports, window procedures, the setup tool's main)
// contain them.
#pragma once

#include <stdexcept>
#include <string>

#include "../platform/Platform.h"

namespace vt {

class EVtError : public std::runtime_error {
public:
    explicit EVtError(const std::u16string& message)
        : std::runtime_error(ToUtf8(message)), msg_(message) {}
    const std::u16string& Message() const noexcept { return msg_; }

private:
    std::u16string msg_;
};

// The registry wrapper's errors ("Ungültiger Datentyp für '%s'" and its siblings).
class ERegistryException : public EVtError {
public:
    using EVtError::EVtError;
};

// The shared-memory block's errors (English texts).
class ESharedMemoryError : public EVtError {
public:
    using EVtError::EVtError;
};

// An operating-system error for a last-error code.
class EOSError : public EVtError {
public:
    EOSError(const std::u16string& message, std::uint32_t code) : EVtError(message), code_(code) {}
    std::uint32_t Code() const noexcept { return code_; }

private:
    std::uint32_t code_;
};

}  // namespace vt
