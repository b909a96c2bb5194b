#include "platform/int_text.h"

#include <cstdint>

namespace kyd::platform {

bool ParseIntText(std::string_view s, int& out)
{
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    int base = 10;
    if (i < s.size() && s[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= s.size())
        return false;
    std::int64_t v = 0;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return false;
        v = v * base + d;
        if (v > (base == 16 ? 0xFFFFFFFFLL : 0x80000000LL))
            return false;
    }
    if (negative)
        v = -v;
    if (base == 16 && !negative && v > 0x7FFFFFFF)
        v -= 0x100000000LL;
    if (v > 0x7FFFFFFF || v < -0x80000000LL)
        return false;
    out = static_cast<int>(v);
    return true;
}

} // namespace kyd::platform
