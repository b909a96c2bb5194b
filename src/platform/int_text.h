// Integer text shared by the settings files and the component library.
#pragma once

#include <string_view>

namespace kyd::platform {

// Decimal with an optional sign, or hexadecimal written "$1F" or "0x1F";
// hexadecimal names the 32 bits, so "$FFFFFFFF" is -1. The text must already
// be trimmed (each caller has its own idea of a blank). Anything else,
// including an out-of-range number, is not an integer: false, out untouched.
bool ParseIntText(std::string_view s, int& out);

} // namespace kyd::platform
