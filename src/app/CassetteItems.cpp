#include "app/CassetteItems.h"

#include "link/TextPos.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string_view>

namespace kyd::app {

namespace {

std::string Upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string Trimmed(const std::string& s)
{
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

bool CurrencyCode(const std::string& s)
{
    return s.size() == 3 && std::all_of(s.begin(), s.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

// 1 to 3 decimal digits; -1 otherwise.
int SizeValue(const std::string& s)
{
    return s.size() > 3 ? -1 : link::DecimalOrMinusOne(s);
}

} // namespace

bool CassetteIdText(const std::string& shown, std::string& out, std::string& error)
{
    const std::string mask(kCassetteIdMask, std::string_view(kCassetteIdMask).find(';'));
    std::string id = shown;
    if (id.size() < mask.size())
        id.append(mask.size() - id.size(), ' ');
    bool fits = id.size() == mask.size();
    bool requiredEmpty = false;
    for (std::size_t i = 0; fits && i < mask.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(id[i]);
        const bool required = std::isupper(static_cast<unsigned char>(mask[i])) != 0;
        if (c == ' ') {
            requiredEmpty = requiredEmpty || required;
            continue;
        }
        fits = c < 0x80 && std::isalnum(c) != 0;
    }
    if (!fits) {
        error = "Wrong Cassette ID: " + shown + "\nAn id holds letters A-Z, a-z and digits 0-9 only.";
        return false;
    }
    if (requiredEmpty) {
        error = "Wrong Cassette ID: " + Trimmed(shown) +
                "\nThe 8th position of the id must be filled. Positions left empty before it are sent as "
                "blanks.";
        return false;
    }
    out = id;
    return true;
}

bool ComposeDenomination(const std::string& currency, const std::string& value, const std::string& variant,
                         TDenomination& out, std::string& error)
{
    const std::string cur = Upper(currency);
    std::string text = cur + " " + value;
    const std::string v = Trimmed(Upper(variant));
    if (!v.empty())
        text += " " + v;
    out = TDenomination();
    // The currency is what keeps the text form apart from the code form: two
    // letters and a value ("EU 500") would read as the code of EU 50.
    if (!CurrencyCode(cur)) {
        error = "Wrong Denomination value: " + text + " (the currency must be three letters A-Z)";
        return false;
    }
    out = TDenomination(text);
    // What goes out must read back as what the page shows: the code keeps
    // two digits of the value (EUR 255 would be stored as EUR 250), and a
    // value of 0 gives a code ("EUR000") no reader takes.
    const TDenomination stored(out.Code);
    const std::string shownValue = Trimmed(value);
    const char shownVariant = v.empty() ? ' ' : v[0];
    const bool same = out.Valid && stored.Valid && stored.Currency == cur && out.Currency == cur &&
                      std::to_string(stored.Value) == shownValue && stored.Value == out.Value &&
                      stored.Variant == shownVariant && v.size() <= 1;
    if (!same) {
        error = "Wrong Denomination value: " + text;
        out.Valid = false;
        return false;
    }
    return true;
}

bool NoteSizeText(const std::string& height, const std::string& width, std::string& out, std::string& error)
{
    const int h = SizeValue(Trimmed(height));
    const int w = SizeValue(Trimmed(width));
    if (h < 0 || w < 0) {
        error = "Wrong note size: height and width must be numbers of 1 to 3 digits (height '" + height +
                "', width '" + width + "')";
        return false;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3d%.3d", h, w);
    out = buf;
    return true;
}

} // namespace kyd::app
