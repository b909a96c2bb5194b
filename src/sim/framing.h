// Framing of the dispenser's serial protocol.
//
// A frame is the text up to a carriage return; its last two characters are
// the checksum of the rest: the exclusive-or of all bytes, written as the
// high nibble + '0' and the low nibble + '0' (so 10..15 give ':'..'?').
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kyd::sim {

// Two checksum characters of text ("00" for an empty text).
std::string checksum(std::string_view text);
// text + checksum + carriage return.
std::string frame(std::string_view text);
// True when the last two characters are the checksum of what precedes them.
bool checksumOk(std::string_view textWithChecksum);
// A printable 7-bit character (0x20..0x7E).
bool isPrintable(char c);

// Cuts a byte stream into frames: the bytes before each carriage return,
// line feeds dropped. A frame that grows beyond maxFrame bytes without a
// carriage return is discarded up to the next carriage return.
class FrameAssembler {
public:
    explicit FrameAssembler(std::size_t maxFrame = 512) : maxFrame_(maxFrame) {}
    // Appends bytes; returns the frames they complete (possibly empty ones).
    std::vector<std::string> feed(const char* data, std::size_t size);
    void clear();
    std::size_t pending() const { return current_.size(); }

private:
    std::size_t maxFrame_;
    std::string current_;
    bool overflow_ = false;
};

} // namespace kyd::sim
