#include "hex_record.h"

#include <cstdio>

namespace kyd::sim {

std::string HexRecord(std::uint8_t type, std::uint16_t address, const std::vector<std::uint8_t>& data)
{
    std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(data.size()), static_cast<std::uint8_t>(address >> 8),
                                       static_cast<std::uint8_t>(address & 0xFF), type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (auto b : bytes)
        sum += b;
    bytes.push_back(static_cast<std::uint8_t>((0x100 - (sum & 0xFF)) & 0xFF));
    std::string line = ":";
    char buf[3];
    for (auto b : bytes) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        line += buf;
    }
    return line;
}

} // namespace kyd::sim
