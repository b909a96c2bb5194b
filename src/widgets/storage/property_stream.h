// The property stream: how settings objects and containers store the
// properties a form would stream for them. Forms are built in code here, so
// the framing is our own: each property is its name (a length byte and the
// characters), a 32-bit payload length and the payload; an empty name ends
// the list. Payloads are byte-exact (container data, integer lists).
#pragma once

#include "widgets/storage/stream.h"

#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
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

// A single value as a payload: an integer, colour or enumeration as its
// 32-bit value, a Boolean as one byte (0 or 1). The readers raise
// EReadError for a payload of another size or a Boolean byte above 1.
std::vector<std::uint8_t> DUDIntegerData(std::int32_t value);
std::int32_t DUDIntegerFromData(const std::vector<std::uint8_t>& data);
std::vector<std::uint8_t> DUDBooleanData(bool value);
bool DUDBooleanFromData(const std::vector<std::uint8_t>& data);

// A settings object's published property, written under prefix + name only
// when it differs from its default (as a form stores them), and read back
// when present.
template <class T>
void DUDWriteValue(TDUDStreamProperties& out, const std::string& name, T value, T defaultValue)
{
    if (value == defaultValue)
        return;
    if constexpr (std::is_same_v<T, bool>)
        out.push_back({name, DUDBooleanData(value)});
    else
        out.push_back({name, DUDIntegerData(static_cast<std::int32_t>(value))});
}
// The value of the property, or nothing when absent; an enumeration's
// value must lie in 0..count-1 (EReadError otherwise).
std::optional<std::int32_t> DUDReadInteger(const TDUDStreamProperties& in, const std::string& name);
std::optional<bool> DUDReadBoolean(const TDUDStreamProperties& in, const std::string& name);
template <class E>
std::optional<E> DUDReadEnum(const TDUDStreamProperties& in, const std::string& name, int count)
{
    const std::optional<std::int32_t> v = DUDReadInteger(in, name);
    if (!v)
        return std::nullopt;
    if (*v < 0 || *v >= count)
        throw EReadError("Property " + name + " is out of range");
    return static_cast<E>(*v);
}

} // namespace kyd::widgets
