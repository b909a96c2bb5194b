#include "firmware/HexFile.h"

#include <algorithm>
#include <string>

namespace kyd::firmware {

int HexDigitValue(char c)
{
    const auto u = static_cast<unsigned char>(c);
    if (u > '9')
        return static_cast<int>(u | 0x20u) - 0x57;
    return static_cast<int>(u) - '0';
}

std::uint8_t HexByteAt(std::string_view line, std::size_t pos)
{
    return static_cast<std::uint8_t>(HexDigitValue(line[pos]) * 16 + HexDigitValue(line[pos + 1]));
}

bool IsEndRecord(std::string_view line)
{
    return line.size() >= 10 && line[7] == '0' && line[8] == '1';
}

std::string RecordBytes(std::string_view line)
{
    std::string out;
    if (line.empty())
        return out;
    const std::size_t n = line.size() - 1;
    out.reserve(1 + n / 2);
    out += line[0];
    for (std::size_t pos = 1; pos < n; pos += 2)
        out += static_cast<char>(HexByteAt(line, pos));
    return out;
}

namespace {

constexpr std::string_view kWhiteSpace = " \t\r\n\f\v";

bool IsBlank(std::string_view line)
{
    return line.find_first_not_of(kWhiteSpace) == std::string_view::npos;
}

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// v in upper-case hex digits, at least width of them.
std::string Hex(std::uint64_t v, int width)
{
    static const char* const digits = "0123456789ABCDEF";
    std::string out;
    for (; v != 0 || static_cast<int>(out.size()) < width; v >>= 4)
        out.insert(out.begin(), digits[v & 0xF]);
    return out;
}

// The bytes a data record fills, and the line it is on (from 1).
struct Span {
    std::uint64_t from;
    std::uint64_t to; // one past the last byte
    std::size_t line;
};

// What is wrong with the digits of one record (':' first), empty when
// nothing is. base is the address the extended address records set.
std::string RecordBodyFault(const std::string& line, std::uint64_t& base, std::vector<Span>& spans, std::size_t number)
{
    for (std::size_t pos = 1; pos < line.size(); ++pos)
        if (!IsHexDigit(line[pos]))
            return "'" + std::string(1, line[pos]) + "' is not a hex digit";
    // ':', count, address, type, the count's data bytes, checksum.
    const std::size_t count = line.size() >= 3 ? HexByteAt(line, 1) : 0;
    if (line.size() != 11 + 2 * count)
        return "the byte count " + std::to_string(count) + " does not match the record's length";
    unsigned sum = 0;
    for (std::size_t pos = 1; pos < line.size(); pos += 2)
        sum += HexByteAt(line, pos);
    if ((sum & 0xFFu) != 0)
        return "the record's checksum is wrong";
    const std::uint8_t type = HexByteAt(line, 7);
    if (type > 0x05)
        return "record type " + Hex(type, 2) + " is unknown";
    if (type == 0x02 || type == 0x04) {
        if (count != 2)
            return "an extended address record holds two bytes, not " + std::to_string(count);
        const std::uint64_t value = (std::uint64_t{HexByteAt(line, 9)} << 8) | HexByteAt(line, 11);
        base = value << (type == 0x02 ? 4 : 16);
    } else if (type == 0x00 && count > 0) {
        const std::uint64_t from = base + ((std::uint64_t{HexByteAt(line, 3)} << 8) | HexByteAt(line, 5));
        // Consecutive records, the usual case, make one span.
        if (!spans.empty() && spans.back().to == from)
            spans.back().to = from + count;
        else
            spans.push_back({from, from + count, number});
    }
    return {};
}

// What is wrong with one line up to the end record, empty when nothing is.
std::string RecordFault(const std::string& line, std::uint64_t& base, std::vector<Span>& spans, std::size_t number)
{
    const std::string where = "line " + std::to_string(number);
    if (line.size() < 2)
        return where + " holds no record"; // a record without any digits cannot be sent
    if (line[0] != ':')
        return where + " does not start with ':'";
    const std::string fault = RecordBodyFault(line, base, spans, number);
    return fault.empty() ? fault : where + ": " + fault;
}

} // namespace

std::string HexFileFault(const std::vector<std::string>& lines, std::uint64_t flashBytes, std::string_view flashName)
{
    unsigned sum = 0;
    std::size_t endLine = 0; // the end record's line, 0 before it
    std::size_t number = 0;
    std::uint64_t base = 0;
    std::vector<Span> spans;
    for (const std::string& line : lines) {
        ++number;
        if (endLine != 0) {
            // Nothing is sent after the end record: anything there but
            // white space is a second file or a damaged one, not to be
            // dropped unseen.
            if (!IsBlank(line))
                return "line " + std::to_string(number) + " follows the end record of line " +
                       std::to_string(endLine) + " (nothing but white space may)";
            continue;
        }
        if (std::string fault = RecordFault(line, base, spans, number); !fault.empty())
            return fault;
        const std::size_t n = line.size() - 1;
        for (std::size_t pos = 1; pos < n; pos += 2)
            sum = (sum + HexByteAt(line, pos)) & 0xFFu;
        if (IsEndRecord(line))
            endLine = number;
    }
    if (number == 0)
        return "the file is empty";
    if (endLine == 0)
        return "no end record";
    // Only data bytes are data: records of type 00 without any hold none.
    if (spans.empty())
        return "no data records";
    if (sum != 0)
        return "the checksums do not add up";
    for (const Span& s : spans)
        if (flashBytes > 0 && s.to > flashBytes) {
            const std::string size = std::to_string(flashBytes / 1024) + " KiB";
            return "line " + std::to_string(s.line) + ": data up to address " + Hex(s.to - 1, 5) +
                   " lies beyond the flash of " +
                   (flashName.empty() ? size : "the " + std::string(flashName) + " (" + size + ")");
        }
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.from < b.from; });
    for (std::size_t i = 1; i < spans.size(); ++i)
        if (spans[i].from < spans[i - 1].to) {
            const auto [first, second] = std::minmax(spans[i - 1].line, spans[i].line);
            return "line " + std::to_string(second) + ": data at address " + Hex(spans[i].from, 5) +
                   " overlaps the data of line " + std::to_string(first);
        }
    return {};
}

bool CheckHexLines(const std::vector<std::string>& lines)
{
    return HexFileFault(lines).empty();
}

std::vector<std::string> SplitHexLines(std::string_view text)
{
    // An editor's UTF-8 byte-order mark before the first record.
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    // A DOS end-of-file mark (Ctrl+Z) that only white space follows: the
    // file's text ends before it.
    if (const auto mark = text.find_last_not_of(kWhiteSpace);
        mark != std::string_view::npos && text[mark] == '\x1A')
        text.remove_suffix(text.size() - mark);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        const bool last = end == std::string_view::npos;
        if (last)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        // Blanks and tabs an editor left at the end of a line.
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        lines.emplace_back(line);
        if (last)
            break;
        // CR LF is one line end.
        start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
    return lines;
}

bool CheckHexBytes(const std::uint8_t* data, std::size_t size)
{
    if (size == 0 || data == nullptr)
        return false;
    return CheckHexLines(SplitHexLines(std::string_view(reinterpret_cast<const char*>(data), size)));
}

} // namespace kyd::firmware
