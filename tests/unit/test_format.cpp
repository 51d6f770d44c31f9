#include <doctest/doctest.h>

#include "common/Format.h"

using namespace vt;

TEST_SUITE("Format") {
    TEST_CASE("%s inserts a text or a single character") {
        CHECK(Format(u"<%s>", std::u16string(u"abc")) == u"<abc>");
        CHECK(Format(u"<%s>", u"xyz") == u"<xyz>");
        CHECK(Format(u"<%s>", char16_t(u'\u00E4')) == u"<\u00E4>");
        CHECK(Format(u"<%s>", std::u16string()) == u"<>");
    }

    TEST_CASE("%d is a signed decimal") {
        CHECK(Format(u"%d", 0) == u"0");
        CHECK(Format(u"%d", 1234) == u"1234");
        CHECK(Format(u"%d", -17) == u"-17");
        CHECK(Format(u"%d", std::uint8_t(255)) == u"255");
        CHECK(Format(u"%d", static_cast<long long>(INT64_MIN)) == u"-9223372036854775808");
    }

    TEST_CASE("%x is upper-case hexadecimal of the 32-bit value") {
        CHECK(Format(u"%x", 0xABCDEF) == u"ABCDEF");
        CHECK(Format(u"%x", 0) == u"0");
        CHECK(Format(u"%x", -1) == u"FFFFFFFF");
        CHECK(Format(u"%x", -2) == u"FFFFFFFE");
        // only the low 32 bits of a wider value
        CHECK(Format(u"%x", 0x1234567890ULL) == u"34567890");
    }

    TEST_CASE("a precision pads the hexadecimal form with zeros") {
        CHECK(Format(u"%.8x", 0) == u"00000000");
        CHECK(Format(u"%.8x", 0x1E) == u"0000001E");
        CHECK(Format(u"%.4x", 0x41) == u"0041");
        CHECK(Format(u"%.2x", 0xF) == u"0F");
        CHECK(Format(u"%.2x", 0x1234) == u"1234");  // never cut
        CHECK(Format(u"%.8x", -1) == u"FFFFFFFF");
    }

    TEST_CASE("tabs, percent signs and plain text are copied") {
        CHECK(Format(u"a\tb\t%d%%", 5) == u"a\tb\t5%");
        CHECK(Format(u"100%%") == u"100%");
        CHECK(Format(u"") == u"");
    }

    TEST_CASE("several arguments are taken in order") {
        CHECK(Format(u"%s:\t%s\t%s\t%.8x", u"PROCESS", u"VK", u"DN", 0) ==
              u"PROCESS:\tVK\tDN\t00000000");
        CHECK(Format(u"PLAYBACK(%d)", -3) == u"PLAYBACK(-3)");
    }

    TEST_CASE("a specifier without an argument is copied as it stands") {
        CHECK(Format(u"%d and %s") == u"%d and %s");
        CHECK(Format(u"%d and %.8x", 7) == u"7 and %.8x");
        CHECK(Format(u"50%") == u"50%");    // lone percent at the end
        CHECK(Format(u"x%.4") == u"x%.4");  // unfinished specifier
    }

    TEST_CASE("an unknown specifier is copied and consumes no argument") {
        CHECK(Format(u"%q %d", 3) == u"%q 3");
    }

    TEST_CASE("width does not crash and pads sensibly") {
        CHECK(Format(u"[%5d]", 42) == u"[   42]");
        CHECK(Format(u"[%-4s]", u"ab") == u"[ab  ]");
        CHECK(Format(u"[%04x]", 0xA) == u"[000A]");
        // an absurd width is capped rather than allocating gigabytes
        CHECK(Format(u"%999999999d", 1).size() <= 1024);
    }

    TEST_CASE("mismatched argument kinds still produce text") {
        CHECK(Format(u"%s", 12) == u"12");
        CHECK(Format(u"%d", u"txt") == u"txt");
        CHECK(Format(u"%x", char16_t(0x20AC)) == u"20AC");
    }

    TEST_CASE("HexStr pads to the requested digits") {
        CHECK(HexStr(0) == u"0");
        CHECK(HexStr(0xBEEF) == u"BEEF");
        CHECK(HexStr(0x5, 2) == u"05");
        CHECK(HexStr(0x00080045, 8) == u"00080045");
        CHECK(HexStr(0xFFFFFFFF, 4) == u"FFFFFFFF");
    }
}
