#include "sim/framing.h"

namespace kyd::sim {

std::string checksum(std::string_view text)
{
    unsigned x = 0;
    for (char c : text)
        x ^= static_cast<unsigned char>(c);
    std::string cs(2, '0');
    cs[0] = static_cast<char>(((x >> 4) & 0x0F) | 0x30);
    cs[1] = static_cast<char>((x & 0x0F) | 0x30);
    return cs;
}

std::string frame(std::string_view text)
{
    std::string f(text);
    f += checksum(text);
    f += '\r';
    return f;
}

bool checksumOk(std::string_view t)
{
    if (t.size() < 2)
        return false;
    return checksum(t.substr(0, t.size() - 2)) == t.substr(t.size() - 2);
}

bool isPrintable(char c)
{
    auto u = static_cast<unsigned char>(c);
    return u >= 0x20 && u <= 0x7E;
}

std::vector<std::string> FrameAssembler::feed(const char* data, std::size_t size)
{
    std::vector<std::string> frames;
    for (std::size_t i = 0; i < size; ++i) {
        char c = data[i];
        if (c == '\r') {
            if (!overflow_)
                frames.push_back(std::move(current_));
            current_.clear();
            overflow_ = false;
        } else if (c == '\n') {
            continue;
        } else if (!overflow_) {
            if (current_.size() >= maxFrame_) {
                overflow_ = true;
                current_.clear();
            } else {
                current_ += c;
            }
        }
    }
    return frames;
}

void FrameAssembler::clear()
{
    current_.clear();
    overflow_ = false;
}

} // namespace kyd::sim
