#include "Format.h"

#include <vector>

namespace vt {

namespace {

std::u16string Decimal(std::int64_t v) {
    // Work on the magnitude as unsigned so that the most negative value has no overflow.
    std::uint64_t mag = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    std::u16string digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + mag % 10));
        mag /= 10;
    } while (mag != 0);
    if (v < 0) digits.insert(digits.begin(), u'-');
    return digits;
}

std::u16string Hex(std::uint32_t value, std::size_t minDigits) {
    static const char16_t kDigits[] = u"0123456789ABCDEF";
    std::u16string digits;
    do {
        digits.insert(digits.begin(), kDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    if (digits.size() < minDigits) digits.insert(0, minDigits - digits.size(), u'0');
    return digits;
}

// A width or precision number; large values are capped so that a stray "%99999999d"
// in a log format cannot ask for gigabytes.
std::size_t ReadNumber(std::u16string_view fmt, std::size_t& i) {
    std::size_t n = 0;
    while (i < fmt.size() && fmt[i] >= u'0' && fmt[i] <= u'9') {
        if (n < 1024) n = n * 10 + (fmt[i] - u'0');
        ++i;
    }
    return n > 1024 ? 1024 : n;
}

std::u16string ArgAsText(const FmtArg& a) {
    switch (a.kind()) {
        case FmtArg::Kind::Text:
            return std::u16string(a.text());
        case FmtArg::Kind::Char:
            return std::u16string(1, static_cast<char16_t>(a.num()));
        case FmtArg::Kind::Int:
            break;
    }
    return Decimal(a.num());
}

}  // namespace

std::u16string FormatText(std::u16string_view fmt, std::initializer_list<FmtArg> args) {
    std::vector<const FmtArg*> list;
    list.reserve(args.size());
    for (const FmtArg& a : args) list.push_back(&a);
    std::size_t next = 0;

    std::u16string out;
    out.reserve(fmt.size() + 16);
    std::size_t i = 0;
    while (i < fmt.size()) {
        char16_t c = fmt[i];
        if (c != u'%') {
            out.push_back(c);
            ++i;
            continue;
        }
        std::size_t start = i++;
        if (i < fmt.size() && fmt[i] == u'%') {
            out.push_back(u'%');
            ++i;
            continue;
        }
        bool leftAlign = false, zeroPad = false;
        while (i < fmt.size() && (fmt[i] == u'-' || fmt[i] == u'0')) {
            (fmt[i] == u'-' ? leftAlign : zeroPad) = true;
            ++i;
        }
        std::size_t width = ReadNumber(fmt, i);
        bool hasPrecision = false;
        std::size_t precision = 0;
        if (i < fmt.size() && fmt[i] == u'.') {
            ++i;
            hasPrecision = true;
            precision = ReadNumber(fmt, i);
        }
        if (i >= fmt.size()) {  // a lone or unfinished specifier at the end
            out.append(fmt.substr(start));
            break;
        }
        char16_t conv = fmt[i++];
        bool known = conv == u's' || conv == u'd' || conv == u'x' || conv == u'X' || conv == u'u' ||
                     conv == u'i';
        if (!known || next >= list.size()) {
            out.append(fmt.substr(start, i - start));
            continue;
        }
        const FmtArg& a = *list[next++];
        std::u16string piece;
        if (conv == u's' || a.kind() == FmtArg::Kind::Text) {
            piece = ArgAsText(a);
            if (conv == u's' && hasPrecision && piece.size() > precision) piece.resize(precision);
        } else if (conv == u'x' || conv == u'X') {
            piece = Hex(static_cast<std::uint32_t>(a.num()), hasPrecision ? precision : 1);
        } else {
            piece = Decimal(a.num());
            if (hasPrecision) {
                bool neg = !piece.empty() && piece[0] == u'-';
                std::size_t digits = piece.size() - (neg ? 1 : 0);
                if (digits < precision) piece.insert(neg ? 1 : 0, precision - digits, u'0');
            }
        }
        if (piece.size() < width) {
            if (leftAlign) {
                piece.append(width - piece.size(), u' ');
            } else if (zeroPad && conv != u's' && a.kind() != FmtArg::Kind::Text) {
                bool neg = piece[0] == u'-';
                piece.insert(neg ? 1 : 0, width - piece.size(), u'0');
            } else {
                piece.insert(0, width - piece.size(), u' ');
            }
        }
        out += piece;
    }
    return out;
}

std::u16string HexStr(std::uint32_t value, int digits) {
    return Hex(value, digits < 1 ? 1 : static_cast<std::size_t>(digits > 1024 ? 1024 : digits));
}

}  // namespace vt
