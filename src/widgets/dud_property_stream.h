// The property stream: how settings objects and containers store the
// properties a form would stream for them. Forms are built in code here, so
// the framing is our own: each property is its name (a length byte and the
// characters), a 32-bit payload length and the payload; an empty name ends
// the list. Payloads are byte-exact (container data, integer lists).
#pragma once

#include "widgets/dud_stream.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kyd::widgets {

struct TDUDStreamProperty {
    std::string Name;
    std::vector<std::uint8_t> Data;
    friend bool operator==(const TDUDStreamProperty&, const TDUDStreamProperty&) = default;
};
using TDUDStreamProperties = std::vector<TDUDStreamProperty>;

void DUDWriteProperties(TStream& s, const TDUDStreamProperties& properties);
// EReadError for a damaged list (a length beyond the bytes left, no end).
TDUDStreamProperties DUDReadProperties(TStream& s);
// The property of that name, or null.
const TDUDStreamProperty* DUDFindProperty(const TDUDStreamProperties& properties, const std::string& name);

// An item list of integers as a payload: a 32-bit count, then the values.
std::vector<std::uint8_t> DUDIntegerListData(const std::vector<std::int32_t>& values);
// EReadError when the payload is not such a list.
std::vector<std::int32_t> DUDIntegerListFromData(const std::vector<std::uint8_t>& data);

} // namespace kyd::widgets
