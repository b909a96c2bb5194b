#include "widgets/storage/text_forms.h"

#include "widgets/framework/strings.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace kyd::widgets {

namespace {

struct ColorName {
    TColor color;
    const char* name;
};

constexpr ColorName kColorNames[] = {
    {clBlack, "clBlack"}, {clMaroon, "clMaroon"}, {clGreen, "clGreen"}, {clOlive, "clOlive"},
    {clNavy, "clNavy"}, {clPurple, "clPurple"}, {clTeal, "clTeal"}, {clGray, "clGray"},
    {clSilver, "clSilver"}, {clRed, "clRed"}, {clLime, "clLime"}, {clYellow, "clYellow"},
    {clBlue, "clBlue"}, {clFuchsia, "clFuchsia"}, {clAqua, "clAqua"}, {clWhite, "clWhite"},
    {clScrollBar, "clScrollBar"}, {clBackground, "clBackground"},
    {clActiveCaption, "clActiveCaption"}, {clInactiveCaption, "clInactiveCaption"},
    {clMenu, "clMenu"}, {clWindow, "clWindow"}, {clWindowFrame, "clWindowFrame"},
    {clMenuText, "clMenuText"}, {clWindowText, "clWindowText"}, {clCaptionText, "clCaptionText"},
    {clActiveBorder, "clActiveBorder"}, {clInactiveBorder, "clInactiveBorder"},
    {clAppWorkSpace, "clAppWorkSpace"}, {clHighlight, "clHighlight"},
    {clHighlightText, "clHighlightText"}, {clBtnFace, "clBtnFace"}, {clBtnShadow, "clBtnShadow"},
    {clGrayText, "clGrayText"}, {clBtnText, "clBtnText"},
    {clInactiveCaptionText, "clInactiveCaptionText"}, {clBtnHighlight, "clBtnHighlight"},
    {cl3DDkShadow, "cl3DDkShadow"}, {cl3DLight, "cl3DLight"}, {clInfoText, "clInfoText"},
    {clInfoBk, "clInfoBk"}, {clNone, "clNone"}, {clDefault, "clDefault"},
};

bool equalsNoCase(const std::string& a, const char* b)
{
    std::size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && !b[i];
}

int intOrZero(const std::string& s)
{
    int v = 0;
    return DUDTryStrToInt(s, v) ? v : 0;
}

} // namespace

bool DUDTryStrToInt(const std::string& s, int& v)
{
    const std::string t = DUDTrim(s);
    const char* b = t.data();
    const char* e = b + t.size();
    if (b != e && *b == '+')
        ++b;
    if (b == e)
        return false;
    int out = 0;
    auto [p, ec] = std::from_chars(b, e, out);
    if (ec != std::errc() || p != e)
        return false;
    v = out;
    return true;
}

std::string DUDPointToString(const TPoint& p, char delimiter)
{
    return "[" + std::to_string(p.X) + delimiter + std::to_string(p.Y) + "]";
}

TPoint DUDStringToPoint(const std::string& s, char delimiter)
{
    TPoint p;
    const auto d = s.find(delimiter);
    // The delimiter must stand after the first character and before the last.
    if (d == std::string::npos || d == 0 || d + 1 >= s.size())
        return p;
    if (s.front() != '[' || s.back() != ']')
        return p;
    p.X = intOrZero(s.substr(1, d - 1));
    p.Y = intOrZero(s.substr(d + 1, s.size() - d - 2));
    return p;
}

bool DUDTryStringToPoint(const std::string& s, TPoint& p, char delimiter)
{
    const auto d = s.find(delimiter);
    if (d == std::string::npos || d == 0 || d + 1 >= s.size() || s.front() != '[' || s.back() != ']')
        return false;
    TPoint r;
    if (!DUDTryStrToInt(s.substr(1, d - 1), r.X) || !DUDTryStrToInt(s.substr(d + 1, s.size() - d - 2), r.Y))
        return false;
    p = r;
    return true;
}

std::string DUDRectToString(const TRect& r, char delimiter)
{
    return std::to_string(r.Left) + delimiter + std::to_string(r.Top) + delimiter + std::to_string(r.Right) +
           delimiter + std::to_string(r.Bottom);
}

TRect DUDStringToRect(const std::string& s, char delimiter)
{
    const auto parts = DUDParseToStrList(s, delimiter);
    if (parts.size() != 4)
        return {};
    return {intOrZero(parts[0]), intOrZero(parts[1]), intOrZero(parts[2]), intOrZero(parts[3])};
}

bool DUDTryStringToRect(const std::string& s, TRect& r, char delimiter)
{
    const auto parts = DUDParseToStrList(s, delimiter);
    TRect v;
    if (parts.size() != 4 || !DUDTryStrToInt(parts[0], v.Left) || !DUDTryStrToInt(parts[1], v.Top) ||
        !DUDTryStrToInt(parts[2], v.Right) || !DUDTryStrToInt(parts[3], v.Bottom))
        return false;
    r = v;
    return true;
}

std::string DUDFontToString(const TFont& f, char delimiter)
{
    // With a '.' whatever the numeric locale (a ',' would split the text
    // into more pieces under a comma-decimal locale).
    char size[64];
    const bool whole = f.Size == std::floor(f.Size) && std::fabs(f.Size) < 1e9;
    const auto [end, ec] = whole ? std::to_chars(size, size + sizeof size, static_cast<int>(f.Size))
                                 : std::to_chars(size, size + sizeof size, f.Size, std::chars_format::fixed, 2);
    *(ec == std::errc() ? end : size) = '\0';
    auto flag = [](bool b) { return b ? "1" : "0"; };
    std::string s = f.Name;
    s += delimiter;
    s += size;
    s += delimiter;
    s += ColorToString(f.Color);
    for (bool b : {f.Bold, f.Italic, f.Underline, f.StrikeOut}) {
        s += delimiter;
        s += flag(b);
    }
    return s;
}

bool DUDStringToFont(const std::string& s, TFont& f, char delimiter)
{
    const auto parts = DUDParseToStrList(s, delimiter);
    if (parts.size() != 7)
        return false;
    f.Name = DUDTrim(parts[0]);
    // The size is written with a '.', whatever the locale.
    const std::string size = DUDTrim(parts[1]);
    double v = 0;
    auto [p, ec] = std::from_chars(size.data(), size.data() + size.size(), v);
    f.Size = (ec == std::errc() && p == size.data() + size.size() && v > 0 && v < 10000) ? v : 10;
    StringToColor(parts[2], f.Color);
    // A style is on when its piece is a number other than 0.
    auto on = [](const std::string& t) {
        const std::string x = DUDTrim(t);
        double v = 0;
        const auto [p, ec] = std::from_chars(x.data(), x.data() + x.size(), v);
        return ec == std::errc() && p == x.data() + x.size() && v != 0;
    };
    f.Bold = on(parts[3]);
    f.Italic = on(parts[4]);
    f.Underline = on(parts[5]);
    f.StrikeOut = on(parts[6]);
    return true;
}

std::string ColorToString(TColor c)
{
    for (const auto& n : kColorNames)
        if (n.color == c)
            return n.name;
    char buf[16];
    std::snprintf(buf, sizeof buf, "$%.8X", static_cast<unsigned>(c));
    return buf;
}

bool StringToColor(const std::string& s, TColor& c)
{
    const std::string t = DUDTrim(s);
    for (const auto& n : kColorNames)
        if (equalsNoCase(t, n.name)) {
            c = n.color;
            return true;
        }
    std::string digits;
    int base = 10;
    if (!t.empty() && t[0] == '$') {
        digits = t.substr(1);
        base = 16;
    } else if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        digits = t.substr(2);
        base = 16;
    } else {
        int v = 0;
        if (!DUDTryStrToInt(t, v))
            return false;
        c = v;
        return true;
    }
    if (digits.empty() || digits.size() > 8)
        return false;
    std::uint32_t v = 0;
    auto [p, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v, base);
    if (ec != std::errc() || p != digits.data() + digits.size())
        return false;
    c = static_cast<TColor>(v);
    return true;
}

std::vector<std::string> DUDParseToStrList(const std::string& text, char delimiter)
{
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find(delimiter, start);
        if (end == std::string::npos) {
            pieces.push_back(text.substr(start));
            break;
        }
        pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

} // namespace kyd::widgets
