// Small text helpers the simulator's parts share.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace kyd::sim::text {

inline std::string digits(long value, int width)
{
    if (value < 0)
        value = 0;
    std::string s = std::to_string(value);
    if (static_cast<int>(s.size()) > width)
        s = std::string(static_cast<std::size_t>(width), '9'); // saturate
    return std::string(static_cast<std::size_t>(width) - s.size(), '0') + s;
}

inline bool allDigits(std::string_view s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

inline int toInt(std::string_view s)
{
    int v = 0;
    for (char c : s)
        v = v * 10 + (c - '0');
    return v;
}

inline std::string last5(const std::string& id)
{
    std::string s = id;
    if (s.size() < 5)
        s.append(5 - s.size(), ' ');
    return s.substr(s.size() - 5);
}

} // namespace kyd::sim::text
