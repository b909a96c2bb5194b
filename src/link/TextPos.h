// 1-based, clamping access to reply text at fixed positions.
//
// Replies are decoded at fixed character positions counted from 1. These
// helpers never throw: positions before the start or past the end give a
// shorter (possibly empty) piece, as the dispenser's replies may be short.
#pragma once

#include <string>

namespace kyd::link {

// Up to count characters of s from the 1-based position pos.
inline std::string SubString(const std::string& s, int pos, int count)
{
    if (count <= 0)
        return {};
    long first = pos;
    long last = static_cast<long>(pos) + count - 1; // inclusive
    if (first < 1)
        first = 1;
    if (last > static_cast<long>(s.size()))
        last = static_cast<long>(s.size());
    if (first > last)
        return {};
    return s.substr(static_cast<std::size_t>(first - 1), static_cast<std::size_t>(last - first + 1));
}

// The character at the 1-based position, or '\0' when there is none.
inline char CharAt(const std::string& s, int pos)
{
    if (pos < 1 || pos > static_cast<long>(s.size()))
        return '\0';
    return s[static_cast<std::size_t>(pos - 1)];
}

// The decimal number made of all characters of s (at least one, all
// digits); -1 otherwise.
inline int DecimalOrMinusOne(const std::string& s)
{
    if (s.empty() || s.size() > 9)
        return -1;
    int v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return -1;
        v = v * 10 + (c - '0');
    }
    return v;
}

} // namespace kyd::link
