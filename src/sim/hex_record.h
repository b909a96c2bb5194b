// One Intel HEX record as a loader reads it, for building download images
// to feed the simulated bootstrap loader.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kyd::sim {

// ":" + count, address, type, data and checksum in upper-case hex.
std::string HexRecord(std::uint8_t type, std::uint16_t address, const std::vector<std::uint8_t>& data);

} // namespace kyd::sim
