// A banknote denomination in its two forms: the short code the dispenser
// stores (currency, two-digit mantissa, power of ten, optional variant:
// "EUR052", "SEK102A") and the text the operator reads ("EUR 500",
// "SEK 100 A").
#pragma once

#include <cstdint>
#include <string>

namespace kyd::app {

class TDenomination {
public:
    TDenomination() = default;
    // All fields empty or zero, then Parse(text).
    explicit TDenomination(const std::string& text);

    // Parses a code ("EUR052", "EUR052A") or a text ("EUR 500 A"); fills
    // the other form. Returns (and stores in Valid) whether it parsed.
    bool Parse(const std::string& s);

    bool Valid = false;
    std::string Currency; // three characters
    std::int64_t Value = 0; // face value (ten digits overflow 32 bits)
    char Variant = ' ';   // ' ' when there is none
    std::string Text;
    std::string Code;

private:
    bool ParseCode(const std::string& s);
    bool ParseText(const std::string& s);
};

} // namespace kyd::app
