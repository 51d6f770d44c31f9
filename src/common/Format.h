// The printf-style formatting of the log lines: "%s" inserts a text or one character,
// "%d" a signed decimal, "%x" the upper-case hexadecimal form of the 32-bit value (two's
// complement), a precision ("%.8x") pads with zeros. "%%" is a percent sign.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace vt {

class FmtArg {
public:
    enum class Kind { Int, Text, Char };
    FmtArg(int v) : kind_(Kind::Int), num_(v) {}
    FmtArg(unsigned v) : kind_(Kind::Int), num_(v) {}
    FmtArg(long v) : kind_(Kind::Int), num_(v) {}
    FmtArg(unsigned long v) : kind_(Kind::Int), num_(static_cast<std::int64_t>(v)) {}
    FmtArg(long long v) : kind_(Kind::Int), num_(v) {}
    FmtArg(unsigned long long v) : kind_(Kind::Int), num_(static_cast<std::int64_t>(v)) {}
    FmtArg(std::uint16_t v) : kind_(Kind::Int), num_(v) {}
    FmtArg(std::int16_t v) : kind_(Kind::Int), num_(v) {}
    FmtArg(std::uint8_t v) : kind_(Kind::Int), num_(v) {}
    FmtArg(bool v) : kind_(Kind::Int), num_(v ? 1 : 0) {}
    FmtArg(char16_t c) : kind_(Kind::Char), num_(c) {}
    FmtArg(const std::u16string& s) : kind_(Kind::Text), text_(s) {}
    FmtArg(std::u16string_view s) : kind_(Kind::Text), text_(s) {}
    FmtArg(const char16_t* s) : kind_(Kind::Text), text_(s ? s : u"") {}

    Kind kind() const { return kind_; }
    std::int64_t num() const { return num_; }
    std::u16string_view text() const { return text_; }

private:
    Kind kind_;
    std::int64_t num_ = 0;
    std::u16string_view text_;
};

// Formats fmt with args; a specifier without an argument is copied as it stands.
std::u16string FormatText(std::u16string_view fmt, std::initializer_list<FmtArg> args);

template <class... A>
std::u16string Format(std::u16string_view fmt, const A&... args) {
    return FormatText(fmt, {FmtArg(args)...});
}

// Upper-case hexadecimal of a 32-bit value, zero-padded to at least `digits`.
std::u16string HexStr(std::uint32_t value, int digits = 1);

}  // namespace vt
