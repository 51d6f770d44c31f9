// The date pattern language of the macro date commands and the translation of the
// locale's long date and time formats into it.
#include <doctest/doctest.h>

#include "FakePlatform.h"
#include "hook/VtConvert.h"

using namespace vt;

namespace {

// Monday, 7 December 2026, 21:05:09.
const SystemTime kEvening{2026, 12, 1, 7, 21, 5, 9, 0};
// Sunday, 3 May 2009, 00:07:03.
const SystemTime kMidnight{2009, 5, 0, 3, 0, 7, 3, 0};
// Saturday, 3 January 2009, 12:30:00.
const SystemTime kNoon{2009, 1, 6, 3, 12, 30, 0, 0};

struct GermanLocale {
    FakeScope scope;
    FakePlatform& fake = scope.fake;
    GermanLocale() {
        const char16_t* days[] = {u"Montag",  u"Dienstag", u"Mittwoch", u"Donnerstag",
                                  u"Freitag", u"Samstag",  u"Sonntag"};
        const char16_t* shortDays[] = {u"Mo", u"Di", u"Mi", u"Do", u"Fr", u"Sa", u"So"};
        const char16_t* months[] = {u"Januar",    u"Februar", u"März",     u"April",
                                    u"Mai",       u"Juni",    u"Juli",     u"August",
                                    u"September", u"Oktober", u"November", u"Dezember"};
        const char16_t* shortMonths[] = {u"Jan", u"Feb", u"Mär", u"Apr", u"Mai", u"Jun",
                                         u"Jul", u"Aug", u"Sep", u"Okt", u"Nov", u"Dez"};
        for (std::uint32_t i = 0; i < 7; ++i) {
            fake.localeInfo[LOCALE_SDAYNAME1 + i] = days[i];
            fake.localeInfo[LOCALE_SABBREVDAYNAME1 + i] = shortDays[i];
        }
        for (std::uint32_t i = 0; i < 12; ++i) {
            fake.localeInfo[LOCALE_SMONTHNAME1 + i] = months[i];
            fake.localeInfo[LOCALE_SABBREVMONTHNAME1 + i] = shortMonths[i];
        }
        fake.localeInfo[LOCALE_SLONGDATE] = u"dddd, d. MMMM yyyy";
        fake.localeInfo[LOCALE_STIMEFORMAT] = u"HH:mm:ss";
        fake.localeInfo[LOCALE_S1159] = u"vorm.";
        fake.localeInfo[LOCALE_S2359] = u"nachm.";
    }
};

}  // namespace

TEST_CASE("day, month and year specifiers") {
    GermanLocale locale;

    CHECK(FormatDateTime(u"d dd ddd dddd", kEvening) == u"7 07 Mo Montag");
    CHECK(FormatDateTime(u"m mm mmm mmmm", kEvening) == u"12 12 Dez Dezember");
    CHECK(FormatDateTime(u"m mm mmm mmmm", kMidnight) == u"5 05 Mai Mai");
    CHECK(FormatDateTime(u"yy yyyy", kEvening) == u"26 2026");
    CHECK(FormatDateTime(u"yy/yyyy", kMidnight) == u"09/2009");

    SUBCASE("the locale's first day name is Monday; Sunday is the last") {
        CHECK(FormatDateTime(u"dddd", kMidnight) == u"Sonntag");
        CHECK(FormatDateTime(u"ddd", kMidnight) == u"So");
        CHECK(FormatDateTime(u"dddd", kNoon) == u"Samstag");
    }
    SUBCASE("month names with umlauts come from the locale") {
        SystemTime march = kEvening;
        march.wMonth = 3;
        CHECK(FormatDateTime(u"mmmm mmm", march) == u"März Mär");
    }
    SUBCASE("specifiers are case-insensitive") {
        CHECK(FormatDateTime(u"DD.MM.YYYY", kEvening) == u"07.12.2026");
        CHECK(FormatDateTime(u"Dddd", kEvening) == u"Montag");
    }
    SUBCASE("out-of-range fields give empty names, not a crash") {
        SystemTime bad = kEvening;
        bad.wMonth = 13;
        bad.wDayOfWeek = 9;
        CHECK(FormatDateTime(u"[mmmm][dddd][mmm][ddd]", bad) == u"[][][][]");
    }
}

TEST_CASE("time specifiers") {
    GermanLocale locale;

    CHECK(FormatDateTime(u"h:n:s", kMidnight) == u"0:7:3");
    CHECK(FormatDateTime(u"hh:nn:ss", kMidnight) == u"00:07:03");
    CHECK(FormatDateTime(u"hh:nn:ss", kEvening) == u"21:05:09");

    SUBCASE("m after h means minutes, over separators and quoted text") {
        CHECK(FormatDateTime(u"hh:mm", kEvening) == u"21:05");
        CHECK(FormatDateTime(u"h:m", kMidnight) == u"0:7");
        CHECK(FormatDateTime(u"hh 'Uhr' mm", kEvening) == u"21 Uhr 05");
        CHECK(FormatDateTime(u"HH:MM", kEvening) == u"21:05");
    }
    SUBCASE("m after another specifier, or mmm after h, is the month") {
        CHECK(FormatDateTime(u"hh:nn mm", kEvening) == u"21:05 12");
        CHECK(FormatDateTime(u"mm hh", kEvening) == u"12 21");
        CHECK(FormatDateTime(u"hh mmm", kEvening) == u"21 Dez");
        CHECK(FormatDateTime(u"hh:mm:ss mm", kEvening) == u"21:05:09 12");
    }
}

TEST_CASE("am/pm markers switch to the 12-hour clock") {
    GermanLocale locale;

    CHECK(FormatDateTime(u"h:nn am/pm", kEvening) == u"9:05 pm");
    CHECK(FormatDateTime(u"h:nn AM/PM", kEvening) == u"9:05 PM");
    CHECK(FormatDateTime(u"hh:nn Am/pM", kEvening) == u"09:05 pM");
    CHECK(FormatDateTime(u"h:nn am/pm", kMidnight) == u"12:07 am");
    CHECK(FormatDateTime(u"h:nn am/pm", kNoon) == u"12:30 pm");
    CHECK(FormatDateTime(u"h a/p", kEvening) == u"9 p");
    CHECK(FormatDateTime(u"h A/P", kMidnight) == u"12 A");
    CHECK(FormatDateTime(u"h ampm", kEvening) == u"9 nachm.");
    CHECK(FormatDateTime(u"h AMPM", kMidnight) == u"12 vorm.");

    SUBCASE("without a marker the clock has 24 hours") {
        CHECK(FormatDateTime(u"h", kEvening) == u"21");
        CHECK(FormatDateTime(u"h 'am/pm'", kEvening) == u"21 am/pm");
    }
    SUBCASE("a lone a is text") {
        CHECK(FormatDateTime(u"a h", kEvening) == u"a 21");
    }
}

TEST_CASE("quoted text is copied") {
    GermanLocale locale;

    CHECK(FormatDateTime(u"\"Heute ist\" dddd", kEvening) == u"Heute ist Montag");
    CHECK(FormatDateTime(u"'d' d", kEvening) == u"d 7");
    CHECK(FormatDateTime(u"'say \"hi\"' yyyy", kEvening) == u"say \"hi\" 2026");
    CHECK(FormatDateTime(u"yyyy 'open", kEvening) == u"2026 open");
    CHECK(FormatDateTime(u"", kEvening) == u"");
    CHECK(FormatDateTime(u"-/.: ,", kEvening) == u"-/.: ,");
}

TEST_CASE("the long formats come from the locale in its own notation") {
    GermanLocale locale;
    FakePlatform& fake = locale.fake;

    SUBCASE("German") {
        CHECK(LongDateFormat() == u"dddd, d. mmmm yyyy");
        CHECK(LongTimeFormat() == u"hh:nn:ss");
        CHECK(FormatDateTime(LongDateFormat(), kEvening) == u"Montag, 7. Dezember 2026");
        CHECK(FormatDateTime(LongTimeFormat(), kMidnight) == u"00:07:03");
    }
    SUBCASE("US English, with the 12-hour clock and its marker") {
        fake.localeInfo[LOCALE_SLONGDATE] = u"dddd, MMMM d, yyyy";
        fake.localeInfo[LOCALE_STIMEFORMAT] = u"h:mm:ss tt";
        fake.localeInfo[LOCALE_S1159] = u"AM";
        fake.localeInfo[LOCALE_S2359] = u"PM";
        CHECK(FormatDateTime(LongDateFormat(), kEvening) == u"Montag, Dezember 7, 2026");
        CHECK(FormatDateTime(LongTimeFormat(), kEvening) == u"9:05:09 PM");
        CHECK(FormatDateTime(LongTimeFormat(), kMidnight) == u"12:07:03 AM");
        fake.localeInfo[LOCALE_STIMEFORMAT] = u"hh:mm t";
        CHECK(FormatDateTime(LongTimeFormat(), kEvening) == u"09:05 P");
    }
    SUBCASE("quoted words and letters of the locale stay text") {
        fake.localeInfo[LOCALE_SLONGDATE] = u"d 'de' MMMM 'de' yyyy";
        CHECK(FormatDateTime(LongDateFormat(), kEvening) == u"7 de Dezember de 2026");
        fake.localeInfo[LOCALE_SLONGDATE] = u"yyyy'年'M'月'd'日'";
        CHECK(FormatDateTime(LongDateFormat(), kEvening) == u"2026年12月7日");
        fake.localeInfo[LOCALE_STIMEFORMAT] = u"H 'h' mm 'min' ss 's'";
        CHECK(FormatDateTime(LongTimeFormat(), kEvening) == u"21 h 05 min 09 s");
    }
    SUBCASE("quote characters inside the locale's text survive") {
        fake.localeInfo[LOCALE_SLONGDATE] = u"'It''s' d \"x\" yyyy";
        CHECK(FormatDateTime(LongDateFormat(), kEvening) == u"It's 7 \"x\" 2026");
    }
    SUBCASE("one-letter years and eras") {
        fake.localeInfo[LOCALE_SLONGDATE] = u"d.M.y gg";
        CHECK(FormatDateTime(LongDateFormat(), kEvening) == u"7.12.26 ");
    }
    SUBCASE("a locale that answers nothing still gives a pattern") {
        fake.localeInfo.erase(LOCALE_SLONGDATE);
        fake.localeInfo.erase(LOCALE_STIMEFORMAT);
        CHECK(FormatDateTime(LongDateFormat(), kEvening) == u"Dezember 7, 2026");
        CHECK(FormatDateTime(LongTimeFormat(), kEvening) == u"21:05:09");
    }
}
