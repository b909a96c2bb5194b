#include "firmware/HexFile.h"

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

std::string HexFileFault(const std::vector<std::string>& lines)
{
    unsigned sum = 0;
    bool ended = false;
    bool data = false;
    std::size_t number = 0;
    for (const std::string& line : lines) {
        ++number;
        if (!ended) {
            const std::string where = "line " + std::to_string(number);
            if (line.size() < 2)
                return where + " holds no record"; // a record without any digits cannot be sent
            // ':', count, address, type, the count's data bytes, checksum.
            const std::size_t count = line.size() >= 3 ? HexByteAt(line, 1) : 0;
            if (line.size() != 11 + 2 * count)
                return where + ": the byte count " + std::to_string(count) + " does not match the record's length";
            if (line[7] == '0' && line[8] == '0')
                data = true;
        }
        if (line.empty())
            continue;
        const std::size_t n = line.size() - 1;
        for (std::size_t pos = 1; pos < n; pos += 2)
            sum = (sum + HexByteAt(line, pos)) & 0xFFu;
        if (IsEndRecord(line))
            ended = true;
    }
    if (number == 0)
        return "the file is empty";
    if (!ended)
        return "no end record";
    if (!data)
        return "no data records";
    if (sum != 0)
        return "the checksums do not add up";
    return {};
}

bool CheckHexLines(const std::vector<std::string>& lines)
{
    return HexFileFault(lines).empty();
}

std::vector<std::string> SplitHexLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        const bool last = end == std::string_view::npos;
        if (last)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.emplace_back(line);
        if (last)
            break;
        start = end + 1;
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
