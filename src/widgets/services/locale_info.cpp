// The classic locale values from the C library's locale of the user.
#include "widgets/services/sysinfo.h"

#include <cctype>
#include <ctime>
#include <vector>
#include <langinfo.h>
#include <locale.h>

namespace kyd::widgets {

namespace {

// The picture of one conversion ('d' of "%d"); empty for one that has none.
std::string pictureOf(char conv)
{
    switch (conv) {
    case 'd': return "dd";
    case 'e': return "d";
    case 'm': return "MM";
    case 'b':
    case 'h': return "MMM";
    case 'B': return "MMMM";
    case 'a': return "ddd";
    case 'A': return "dddd";
    case 'Y':
    case 'G': return "yyyy";
    case 'y':
    case 'g': return "yy";
    case 'H': return "HH";
    case 'k': return "H";
    case 'I': return "hh";
    case 'l': return "h";
    case 'M': return "mm";
    case 'S': return "ss";
    case 'p':
    case 'P': return "tt";
    case 'T': return "HH:mm:ss";
    case 'R': return "HH:mm";
    case 'r': return "hh:mm:ss tt";
    case 'D': return "MM/dd/yy";
    case 'F': return "yyyy-MM-dd";
    case 'n': return " ";
    case 't': return " ";
    default: return {};
    }
}

// The conversion letter at s[i] (just after '%'), past glibc's flags and
// width ("%-d", "%_H", "%Ey"); i is left on it. unpadded: the "-" flag.
char conversionAt(const std::string& s, std::size_t& i, bool* unpadded = nullptr)
{
    while (i < s.size() && (s[i] == '-' || s[i] == '_' || s[i] == '0' || s[i] == '^' || s[i] == '#' ||
                            std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == 'E' || s[i] == 'O')) {
        if (s[i] == '-' && unpadded)
            *unpadded = true;
        ++i;
    }
    return i < s.size() ? s[i] : '\0';
}

bool hour12(const std::string& format)
{
    for (std::size_t i = 0; i + 1 < format.size(); ++i) {
        if (format[i] != '%')
            continue;
        ++i;
        const char c = conversionAt(format, i);
        if (c == 'I' || c == 'l' || c == 'r' || c == 'p' || c == 'P')
            return true;
    }
    return false;
}

// The long date by the order of day, month and year in the short one.
std::string longDate(const std::string& shortPicture, const std::string& sep)
{
    const auto d = shortPicture.find('d');
    const auto m = shortPicture.find('M');
    const auto y = shortPicture.find('y');
    if (d == std::string::npos || m == std::string::npos || y == std::string::npos)
        return "dddd, d MMMM yyyy";
    if (m < d && d < y)
        return "dddd, MMMM d, yyyy";
    if (y < m && m < d)
        return "dddd, yyyy MMMM d";
    return sep == "." ? "dddd, d. MMMM yyyy" : "dddd, d MMMM yyyy";
}

} // namespace

std::string DUDLocalePicture(const std::string& format)
{
    std::string r, literal;
    // The format's own text: runs of letters (and quotes) quoted, the rest
    // as it stands.
    auto flush = [&] {
        bool quoted = false;
        for (char c : literal) {
            const bool word = std::isalpha(static_cast<unsigned char>(c)) || c == '\'';
            if (word != quoted) {
                r += '\'';
                quoted = word;
            }
            r += c == '\'' ? std::string("''") : std::string(1, c);
        }
        if (quoted)
            r += '\'';
        literal.clear();
    };
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 == format.size()) {
            literal += format[i];
            continue;
        }
        ++i;
        bool unpadded = false;
        const char c = conversionAt(format, i, &unpadded);
        if (c == '%') {
            literal += '%';
            continue;
        }
        flush();
        std::string picture = pictureOf(c);
        // "%-d": no leading zero, "d" for "dd" (two-letter numeric fields only).
        if (unpadded && picture.size() == 2 && picture[0] == picture[1] && std::string("dMHhms").find(picture[0]) != std::string::npos)
            picture.pop_back();
        r += picture;
    }
    flush();
    return r;
}

std::string DUDLocaleSeparator(const std::string& format, const std::string& fallback)
{
    bool afterField = false;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            ++i;
            const char c = conversionAt(format, i);
            if (c == 'T' || c == 'R' || c == 'r')
                return ":";
            if (c == 'D')
                return "/";
            if (c == 'F')
                return "-";
            afterField = true;
            continue;
        }
        if (afterField && format[i] != ' ' && !std::isalnum(static_cast<unsigned char>(format[i])))
            return std::string(1, format[i]);
    }
    return fallback;
}

std::string DUDGetLocalInfo(int index)
{
    locale_t loc = ::newlocale(LC_ALL_MASK, "", static_cast<locale_t>(0));
    if (!loc)
        loc = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    auto li = [&](nl_item item) { return std::string(::nl_langinfo_l(item, loc)); };
    auto byte = [&](nl_item item) { return static_cast<int>(static_cast<signed char>(::nl_langinfo_l(item, loc)[0])); };
    // Currency decimals; a locale without any (the C locale's CHAR_MAX) gives
    // the usual 2.
    auto digits = [&] {
        const int n = byte(FRAC_DIGITS);
        return std::to_string(n >= 0 && n <= 9 ? n : 2);
    };
    const std::string dateFormat = li(D_FMT);
    const std::string timeFormat = li(T_FMT);
    std::string r;
    switch (index) {
    case 0: r = "1"; break; // Gregorian
    case 1: r = digits(); break;
    case 2: r = std::to_string(DUDLocaleCurrencyFormat(byte(P_CS_PRECEDES), byte(P_SEP_BY_SPACE))); break;
    case 3: r = digits(); break; // the C library has no separate figure for plain numbers
    case 4: r = std::to_string((::nl_langinfo_l(_NL_TIME_FIRST_WEEKDAY, loc)[0] + 5) % 7); break;
    case 5: r = std::to_string(DUDLocaleFirstWeekOfYear(byte(_NL_TIME_WEEK_1STWEEK))); break;
    case 6: r = "1"; break; // the C library writes 0.5
    case 7: r = byte(_NL_MEASUREMENT_MEASUREMENT) == 2 ? "1" : "0"; break; // 1: US units, 0: metric
    case 8:
        r = std::to_string(
            DUDLocaleNegativeCurrencyFormat(byte(N_CS_PRECEDES), byte(N_SEP_BY_SPACE), byte(N_SIGN_POSN)));
        break;
    case 9: r = "1"; break; // the C library writes negative numbers as -1.1
    case 10: r = hour12(timeFormat) ? "0" : "1"; break;
    case 11: r = li(AM_STR); break;
    case 12: r = li(PM_STR); break;
    case 13: r = li(CRNCYSTR); if (!r.empty() && (r[0] == '-' || r[0] == '+' || r[0] == '.')) r.erase(0, 1); break;
    case 14: r = DUDLocaleSeparator(dateFormat, "/"); break;
    case 15: r = li(RADIXCHAR); break;
    case 16: r = DUDLocaleGrouping(::nl_langinfo_l(GROUPING, loc)); break;
    case 17: r = li(RADIXCHAR) == "," ? ";" : ","; break; // lists must not split numbers
    case 18: r = longDate(DUDLocalePicture(dateFormat), DUDLocaleSeparator(dateFormat, "/")); break;
    case 19: r = ::nl_langinfo_l(MON_DECIMAL_POINT, loc); break;
    case 20: r = DUDLocaleGrouping(::nl_langinfo_l(MON_GROUPING, loc)); break;
    case 21: r = ::nl_langinfo_l(MON_THOUSANDS_SEP, loc); break;
    case 22: r = ::nl_langinfo_l(NEGATIVE_SIGN, loc); if (r.empty()) r = "-"; break;
    case 23: r = ::nl_langinfo_l(POSITIVE_SIGN, loc); break;
    case 24: r = DUDLocalePicture(dateFormat); break;
    case 25: r = li(THOUSEP); break;
    case 26: r = DUDLocaleSeparator(timeFormat, ":"); break;
    case 27: r = DUDLocalePicture(timeFormat); break;
    default: r = "Hallo"; break; // not known here: the caller's default text stays
    }
    ::freelocale(loc);
    return r;
}

std::string DUDFormatPicture(const std::string& picture, const std::tm& tm)
{
    locale_t loc = ::newlocale(LC_ALL_MASK, "", static_cast<locale_t>(0));
    if (!loc)
        loc = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    // The picture becomes a C library format: fields by their run length,
    // quoted and other text as it stands.
    std::string f;
    auto literal = [&f](char c) {
        if (c == '%')
            f += "%%";
        else
            f += c;
    };
    for (std::size_t i = 0; i < picture.size();) {
        const char c = picture[i];
        if (c == '\'') {
            if (i + 1 < picture.size() && picture[i + 1] == '\'') { // '' is one quote
                literal('\'');
                i += 2;
                continue;
            }
            for (++i; i < picture.size(); ++i) {
                if (picture[i] == '\'') {
                    if (i + 1 < picture.size() && picture[i + 1] == '\'') {
                        literal('\'');
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                literal(picture[i]);
            }
            continue;
        }
        std::size_t n = 1;
        while (i + n < picture.size() && picture[i + n] == c)
            ++n;
        switch (c) {
        case 'd': f += n == 1 ? "%-d" : n == 2 ? "%d" : n == 3 ? "%a" : "%A"; break;
        case 'M': f += n == 1 ? "%-m" : n == 2 ? "%m" : n == 3 ? "%b" : "%B"; break;
        case 'y': f += n == 1 ? "%-y" : n == 2 ? "%y" : "%Y"; break;
        case 'h': f += n == 1 ? "%-I" : "%I"; break;
        case 'H': f += n == 1 ? "%-H" : "%H"; break;
        case 'm': f += n == 1 ? "%-M" : "%M"; break;
        case 's': f += n == 1 ? "%-S" : "%S"; break;
        case 't':
            if (n == 1) { // the first letter of the locale's AM or PM text
                const char* mark = ::nl_langinfo_l(tm.tm_hour < 12 ? AM_STR : PM_STR, loc);
                if (mark[0] != '\0')
                    literal(mark[0]);
            } else {
                f += "%p";
            }
            break;
        default:
            for (std::size_t k = 0; k < n; ++k)
                literal(c);
            break;
        }
        i += n;
    }
    std::string r;
    if (!f.empty()) {
        // strftime gives 0 both for an empty result and for a short buffer.
        std::vector<char> buf(256 + f.size() * 16);
        r.assign(buf.data(), ::strftime_l(buf.data(), buf.size(), f.c_str(), &tm, loc));
    }
    ::freelocale(loc);
    return r;
}

} // namespace kyd::widgets
