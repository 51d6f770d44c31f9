// VtConvert: the date pattern language of the macro date commands, and the user's long
// date and time formats translated into it from the locale's own notation.
#include "VtConvert.h"

namespace vt {

namespace {

char16_t Lower(char16_t ch) {
    return (ch >= u'A' && ch <= u'Z') ? ch + (u'a' - u'A') : ch;
}
bool IsAsciiLetter(char16_t ch) {
    return Lower(ch) >= u'a' && Lower(ch) <= u'z';
}

// True when text continues at i with word, compared without case.
bool MatchAt(const std::u16string& text, std::size_t i, std::u16string_view word) {
    if (text.size() - i < word.size()) return false;
    for (std::size_t k = 0; k < word.size(); ++k)
        if (Lower(text[i + k]) != word[k]) return false;
    return true;
}

std::u16string Number(unsigned value, std::size_t digits) {
    std::u16string text;
    do {
        text.insert(text.begin(), static_cast<char16_t>(u'0' + value % 10));
        value /= 10;
    } while (value != 0);
    while (text.size() < digits) text.insert(text.begin(), u'0');
    return text;
}

// LOCALE_SDAYNAME1 is Monday; SYSTEMTIME counts from Sunday.
std::u16string DayName(std::uint32_t firstType, std::uint16_t dayOfWeek) {
    if (dayOfWeek > 6) return std::u16string();
    return Plat().GetLocaleInfoW(firstType + (dayOfWeek + 6u) % 7u);
}

std::u16string MonthName(std::uint32_t firstType, std::uint16_t month) {
    if (month < 1 || month > 12) return std::u16string();
    return Plat().GetLocaleInfoW(firstType + month - 1u);
}

std::size_t RunLength(const std::u16string& text, std::size_t i, bool ignoreCase) {
    std::size_t n = 1;
    while (i + n < text.size() &&
           (ignoreCase ? Lower(text[i + n]) == Lower(text[i]) : text[i + n] == text[i]))
        ++n;
    return n;
}

// Any am/pm marker outside quotes switches the hours to the 12-hour clock.
bool UsesTwelveHours(const std::u16string& pattern) {
    char16_t quote = 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char16_t ch = pattern[i];
        if (quote != 0) {
            if (ch == quote) quote = 0;
        } else if (ch == u'"' || ch == u'\'') {
            quote = ch;
        } else if (MatchAt(pattern, i, u"am/pm") || MatchAt(pattern, i, u"a/p") ||
                   MatchAt(pattern, i, u"ampm")) {
            return true;
        }
    }
    return false;
}

// Literal text of a locale pattern, written so that none of it is read as a specifier.
void AppendLiteral(std::u16string& out, const std::u16string& literal) {
    bool open = false;
    for (char16_t ch : literal) {
        const bool quote = IsAsciiLetter(ch) || ch == u'\'';
        if (ch == u'"') {
            if (open) out += u'"';
            open = false;
            out += u"'\"'";
        } else if (quote) {
            if (!open) out += u'"';
            open = true;
            out += ch;
        } else {
            if (open) out += u'"';
            open = false;
            out += ch;
        }
    }
    if (open) out += u'"';
}

// The locale's notation (M month, m minute, H and h hours, tt marker, '...' text) in
// the pattern language.
std::u16string FromLocalePattern(const std::u16string& pattern) {
    std::u16string out;
    std::u16string literal;
    std::size_t i = 0;
    while (i < pattern.size()) {
        const char16_t ch = pattern[i];
        if (ch == u'\'') {
            // '' is a quote character, inside quoted text and outside.
            if (i + 1 < pattern.size() && pattern[i + 1] == u'\'') {
                literal += u'\'';
                i += 2;
                continue;
            }
            ++i;
            while (i < pattern.size()) {
                if (pattern[i] == u'\'') {
                    if (i + 1 < pattern.size() && pattern[i + 1] == u'\'') {
                        literal += u'\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                literal += pattern[i++];
            }
            continue;
        }
        const std::size_t n = RunLength(pattern, i, false);
        std::u16string token;
        switch (ch) {
            case u'd':
                token.assign(n >= 4 ? 4 : n, u'd');
                break;
            case u'M':
                token.assign(n >= 4 ? 4 : n, u'm');
                break;
            case u'y':
                token = n <= 2 ? u"yy" : u"yyyy";
                break;
            case u'g':
                break;  // era: not in the pattern language
            case u'h':
            case u'H':
                token = n == 1 ? u"h" : u"hh";
                break;
            case u'm':
                token = n == 1 ? u"n" : u"nn";
                break;
            case u's':
                token = n == 1 ? u"s" : u"ss";
                break;
            case u't':
                token = n == 1 ? u"A/P" : u"ampm";
                break;
            default:
                literal += ch;
                ++i;
                continue;
        }
        AppendLiteral(out, literal);
        literal.clear();
        out += token;
        i += n;
    }
    AppendLiteral(out, literal);
    return out;
}

}  // namespace

std::u16string FormatDateTime(const std::u16string& pattern, const SystemTime& time) {
    const bool twelveHours = UsesTwelveHours(pattern);
    std::u16string out;
    bool afterHour = false;  // m or mm after h or hh are minutes
    std::size_t i = 0;
    while (i < pattern.size()) {
        const char16_t ch = pattern[i];
        const char16_t lc = Lower(ch);
        if (ch == u'"' || ch == u'\'') {
            const std::size_t close = pattern.find(ch, i + 1);
            const std::size_t end = close == std::u16string::npos ? pattern.size() : close;
            out.append(pattern, i + 1, end - i - 1);
            i = close == std::u16string::npos ? end : end + 1;
            continue;
        }
        if (lc == u'a') {
            if (MatchAt(pattern, i, u"am/pm")) {
                out.append(pattern, time.wHour < 12 ? i : i + 3, 2);  // in the case written
                i += 5;
            } else if (MatchAt(pattern, i, u"a/p")) {
                out += pattern[time.wHour < 12 ? i : i + 2];
                i += 3;
            } else if (MatchAt(pattern, i, u"ampm")) {
                out += Plat().GetLocaleInfoW(time.wHour < 12 ? LOCALE_S1159 : LOCALE_S2359);
                i += 4;
            } else {
                out += ch;
                ++i;
                continue;
            }
            afterHour = false;
            continue;
        }
        if (lc != u'd' && lc != u'm' && lc != u'y' && lc != u'h' && lc != u'n' && lc != u's') {
            out += ch;
            ++i;
            continue;
        }
        const std::size_t n = RunLength(pattern, i, true);
        switch (lc) {
            case u'd':
                if (n <= 2)
                    out += Number(time.wDay, n);
                else if (n == 3)
                    out += DayName(LOCALE_SABBREVDAYNAME1, time.wDayOfWeek);
                else
                    out += DayName(LOCALE_SDAYNAME1, time.wDayOfWeek);
                break;
            case u'm':
                if (n <= 2 && afterHour)
                    out += Number(time.wMinute, n);
                else if (n <= 2)
                    out += Number(time.wMonth, n);
                else if (n == 3)
                    out += MonthName(LOCALE_SABBREVMONTHNAME1, time.wMonth);
                else
                    out += MonthName(LOCALE_SMONTHNAME1, time.wMonth);
                break;
            case u'y':
                out += n <= 2 ? Number(time.wYear % 100u, 2) : Number(time.wYear, 4);
                break;
            case u'h': {
                unsigned hour = time.wHour;
                if (twelveHours) {
                    hour %= 12u;
                    if (hour == 0) hour = 12;
                }
                out += Number(hour, n >= 2 ? 2 : 1);
                break;
            }
            case u'n':
                out += Number(time.wMinute, n >= 2 ? 2 : 1);
                break;
            default:  // s
                out += Number(time.wSecond, n >= 2 ? 2 : 1);
                break;
        }
        afterHour = lc == u'h';
        i += n;
    }
    return out;
}

std::u16string LongDateFormat() {
    const std::u16string pattern = Plat().GetLocaleInfoW(LOCALE_SLONGDATE);
    return pattern.empty() ? u"mmmm d, yyyy" : FromLocalePattern(pattern);
}

std::u16string LongTimeFormat() {
    const std::u16string pattern = Plat().GetLocaleInfoW(LOCALE_STIMEFORMAT);
    return pattern.empty() ? u"hh:nn:ss" : FromLocalePattern(pattern);
}

}  // namespace vt
