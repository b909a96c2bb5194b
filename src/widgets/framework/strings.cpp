#include "widgets/framework/strings.h"

#include "widgets/framework/object.h"
#include "platform/int_text.h"

#include <algorithm>
#include <cstdint>

namespace kyd::widgets {

namespace {
bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }
} // namespace

std::string DUDAddCharL(const std::string& s, int len, char c)
{
    if (len <= static_cast<int>(s.size()))
        return s;
    return std::string(static_cast<std::size_t>(len) - s.size(), c) + s;
}

std::string DUDAddCharR(const std::string& s, int len, char c)
{
    if (len <= static_cast<int>(s.size()))
        return s;
    return s + std::string(static_cast<std::size_t>(len) - s.size(), c);
}

std::string DUDAddSpaceL(const std::string& s, int len) { return DUDAddCharL(s, len, ' '); }
std::string DUDAddSpaceR(const std::string& s, int len) { return DUDAddCharR(s, len, ' '); }
std::string DUDAddZeroL(const std::string& s, int len) { return DUDAddCharL(s, len, '0'); }
std::string DUDAddZeroR(const std::string& s, int len) { return DUDAddCharR(s, len, '0'); }

std::string DUDFillString(int n, char c) { return n < 1 ? std::string() : std::string(static_cast<std::size_t>(n), c); }
std::string DUDSpace(int n) { return DUDFillString(n, ' '); }

int DUDCount(const std::string& s, char c) { return static_cast<int>(std::count(s.begin(), s.end(), c)); }

int DUDBackPos(char c, const std::string& s)
{
    const auto p = s.rfind(c);
    return p == std::string::npos ? 0 : static_cast<int>(p) + 1;
}

bool DUDEmpty(const std::string& s) { return std::all_of(s.begin(), s.end(), IsBlank); }

std::string DUDTrimL(const std::string& s)
{
    auto it = std::find_if_not(s.begin(), s.end(), IsBlank);
    return std::string(it, s.end());
}

std::string DUDTrimR(const std::string& s)
{
    auto it = std::find_if_not(s.rbegin(), s.rend(), IsBlank);
    return std::string(s.begin(), it.base());
}

std::string DUDTrim(const std::string& s) { return DUDTrimL(DUDTrimR(s)); }

std::string DUDGetFirstString(const std::string& s, char c)
{
    const auto p = s.find(c);
    return p == std::string::npos ? s : s.substr(0, p);
}

std::string DUDGetSecondString(const std::string& s, char c)
{
    const auto p = s.find(c);
    return p == std::string::npos ? s : s.substr(p + 1, 255);
}

std::string DUDReplaceChar(const std::string& s, char oldChar, char newChar)
{
    std::string r = s;
    std::replace(r.begin(), r.end(), oldChar, newChar);
    return r;
}

std::string DUDSlashAdd(const std::string& s)
{
    if (DUDEmpty(s) || s.back() != '/')
        return s + '/';
    return s;
}

std::string DUDSlashRemove(const std::string& s)
{
    if (DUDEmpty(s) || s.back() != '/')
        return s;
    return s.substr(0, s.size() - 1);
}

int DUDScanToNumber(const std::string& s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b >= '0' && b <= '9')
            return static_cast<int>(i) + 1;
        std::size_t step = 1;
        if (b >= 0xC0) {
            // A lead byte: skip its continuation bytes with it.
            while (i + step < s.size() && (static_cast<unsigned char>(s[i + step]) & 0xC0) == 0x80)
                ++step;
        }
        i += step;
    }
    return 0;
}

std::string DUDCodeString(const std::vector<std::string>& values, int last, char sep)
{
    std::string r;
    const int n = std::min(last, static_cast<int>(values.size()) - 1);
    for (int i = 0; i <= n; ++i) {
        if (i > 0)
            r += sep;
        r += values[static_cast<std::size_t>(i)];
    }
    return r;
}

std::string DUDCodeInt(const std::vector<int>& values, int last, char sep)
{
    std::vector<std::string> texts;
    for (int v : values)
        texts.push_back(std::to_string(v));
    return DUDCodeString(texts, last, sep);
}

int DUDGetCodedCount(const std::string& s, char sep) { return s.empty() ? 0 : DUDCount(s, sep) + 1; }

namespace {
// Start and length of field index, or false when s has fewer fields.
bool FieldSpan(const std::string& s, char sep, int index, std::size_t& start, std::size_t& length)
{
    if (index < 0 || s.empty())
        return false;
    std::size_t p = 0;
    for (int i = 0; i < index; ++i) {
        p = s.find(sep, p);
        if (p == std::string::npos)
            return false;
        ++p;
    }
    const auto end = s.find(sep, p);
    start = p;
    length = (end == std::string::npos ? s.size() : end) - p;
    return true;
}
} // namespace

std::string DUDGetCodedString(const std::string& s, char sep, int index)
{
    std::size_t start = 0, length = 0;
    return FieldSpan(s, sep, index, start, length) ? s.substr(start, length) : std::string();
}

int DUDGetCodedInt(const std::string& s, char sep, int index)
{
    const std::string field = DUDGetCodedString(s, sep, index);
    return field.empty() ? -1 : DUDStrToInt(field);
}

void DUDSetCodedString(std::string& s, const std::string& value, char sep, int index)
{
    if (index < 0)
        return;
    const int fields = std::max(1, DUDGetCodedCount(s, sep));
    if (fields < index + 1)
        s.append(static_cast<std::size_t>(index + 1 - fields), sep);
    std::size_t start = 0, length = 0;
    if (s.empty()) {
        s = value;
        return;
    }
    FieldSpan(s, sep, index, start, length);
    s.replace(start, length, value);
}

int DUDStrToInt(const std::string& text)
{
    int v = 0;
    if (!platform::ParseIntText(DUDTrim(text), v))
        throw EDUDException("'" + text + "' is not a valid integer value");
    return v;
}

} // namespace kyd::widgets
