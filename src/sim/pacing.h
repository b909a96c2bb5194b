// Line pacing: how long characters take on a real serial line.
#pragma once

#include <cstddef>

namespace kyd::sim {

struct LinePacing {
    int baud = 0;         // 0: no pacing
    int bitsPerChar = 10; // start + 7 data + parity + stop = 10; 11 with two stop bits or 8 data bits
    bool enabled() const { return baud > 0; }
    // Microseconds that n characters occupy the line.
    double microsFor(std::size_t n) const
    {
        return enabled() ? static_cast<double>(n) * bitsPerChar * 1e6 / baud : 0.0;
    }
};

} // namespace kyd::sim
