#include "app/Denomination.h"

#include <cctype>
#include <cstdint>

namespace kyd::app {

namespace {

bool IsBlank(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// All characters decimal digits (one to ten); false otherwise.
bool Digits(const std::string& s, std::int64_t& out)
{
    if (s.empty() || s.size() > 10)
        return false;
    std::int64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    out = v;
    return true;
}

} // namespace

TDenomination::TDenomination(const std::string& text)
{
    Parse(text);
}

bool TDenomination::Parse(const std::string& s)
{
    Valid = false;
    if (s.size() <= 4)
        return false;
    const unsigned char first = static_cast<unsigned char>(s[0]);
    if (!std::isalpha(first) && first != '?')
        return false;
    if (IsBlank(s[3])) {
        Text = s;
        Valid = ParseText(s);
    } else if (s.size() == 6 || s.size() == 7) {
        Code = s;
        Valid = ParseCode(s);
    }
    return Valid;
}

bool TDenomination::ParseCode(const std::string& s)
{
    std::int64_t mantissa = 0;
    if (!Digits(s.substr(3, 2), mantissa))
        return false;
    const int power = s[5] - '0';
    if (mantissa < 1 || power < 0 || power > 9)
        return false;
    std::int64_t value = mantissa;
    for (int k = 0; k < power; ++k)
        value *= 10; // at most 99 * 10^9: fits in 64 bits
    Currency = s.substr(0, 3);
    Value = value;
    Text = Currency + " " + std::to_string(Value);
    if (s.size() == 7) {
        Variant = s[6];
        Text += ' ';
        Text += Variant;
    } else {
        Variant = ' ';
    }
    return true;
}

bool TDenomination::ParseText(const std::string& s)
{
    Currency = s.substr(0, 3);
    std::size_t start = 3;
    while (start < s.size() && s[start] == ' ')
        ++start;
    if (start >= s.size())
        return false;
    const std::size_t last = s.rfind(' ');
    std::string digits;
    if (last < start) {
        digits = s.substr(start);
        Variant = ' ';
    } else if (last == s.size() - 1) {
        return false;
    } else {
        digits = s.substr(start, last - start);
        Variant = s[last + 1];
    }
    std::int64_t value = 0;
    if (digits.size() > 10 || !Digits(digits, value))
        return false;
    Value = value;
    // Only the two leading digits survive in the code.
    if (digits.size() == 1 || digits[1] == '0')
        Code = Currency + "0" + digits[0] + std::to_string(digits.size() - 1);
    else
        Code = Currency + digits.substr(0, 2) + std::to_string(digits.size() - 2);
    Code += Variant;
    return true;
}

} // namespace kyd::app
