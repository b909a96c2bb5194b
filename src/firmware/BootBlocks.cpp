#include "firmware/BootBlocks.h"

namespace kyd::firmware {

namespace {

struct Entry {
    char command;
    std::size_t length;
};

constexpr Entry kTable[kRoutineCount] = {
    {'0', 150}, {'1', 116}, {'0', 452}, {'1', 212}, {'2', 136}, {'3', 240},
    {'4', 212}, {'2', 376}, {'3', 634}, {'4', 466}, {'0', 740}, {'0', 178},
};

// Sets the last byte so that all bytes add up to 0 modulo 256.
void Seal(std::string& block)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < block.size(); ++i)
        sum += static_cast<unsigned char>(block[i]);
    block.back() = static_cast<char>((0x100u - (sum & 0xFFu)) & 0xFFu);
}

} // namespace

std::string MakePlaceholderBlock(std::size_t length, std::uint8_t index)
{
    std::string block(length, '\0');
    if (length < 5)
        return block;
    block[0] = static_cast<char>(length & 0xFF);
    block[1] = static_cast<char>((length >> 8) & 0xFF);
    block[2] = static_cast<char>(index);
    block[3] = static_cast<char>(~index);
    for (std::size_t i = 4; i + 1 < length; ++i)
        block[i] = static_cast<char>((i * 37 + index * 11) & 0xFF);
    Seal(block);
    return block;
}

const std::vector<TRoutine>& RoutineTable()
{
    static const std::vector<TRoutine> table = [] {
        std::vector<TRoutine> t;
        for (int i = 0; i < kRoutineCount; ++i)
            t.push_back({kTable[i].command, kTable[i].length,
                         MakePlaceholderBlock(kTable[i].length, static_cast<std::uint8_t>(i))});
        return t;
    }();
    return table;
}

std::string BootBlock1Unpatched()
{
    // Sealed as it will be once bytes 16 and 17 are set.
    std::string block = MakePlaceholderBlock(kBootBlock1Length, kBootBlock1Index);
    block[16] = static_cast<char>(0x13);
    block[17] = static_cast<char>(0xF8);
    Seal(block);
    block[16] = 0;
    block[17] = 0;
    return block;
}

std::string BootBlock2()
{
    return MakePlaceholderBlock(kBootBlock2Length, kBootBlock2Index);
}

} // namespace kyd::firmware
