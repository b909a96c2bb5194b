// The simulated bootstrap loader's state machine, byte by byte.
#include "sim/boot_core.h"

#include <gtest/gtest.h>

#include <string>

namespace kyd::sim {
namespace {

// A block as the loader sends it: length, index, complement, filler, a
// last byte that makes the sum 0.
std::string Block(std::size_t length, std::uint8_t index)
{
    std::string b(length, '\x11');
    b[0] = static_cast<char>(length & 0xFF);
    b[1] = static_cast<char>(length >> 8);
    b[2] = static_cast<char>(index);
    b[3] = static_cast<char>(~index);
    if (length == 32) {
        b[16] = static_cast<char>(0x13);
        b[17] = static_cast<char>(0xF8);
    }
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < length; ++i)
        sum += static_cast<unsigned char>(b[i]);
    b.back() = static_cast<char>((0x100 - (sum & 0xFF)) & 0xFF);
    return b;
}

std::string Bytes(std::initializer_list<int> l)
{
    std::string s;
    for (int b : l)
        s += static_cast<char>(b);
    return s;
}

struct Target {
    explicit Target(BootConfig c = {}) : core(c) {}

    // Feeds the bytes; returns everything answered.
    std::string Feed(const std::string& bytes, std::int64_t gapMs = 0)
    {
        std::string out;
        for (char c : bytes) {
            now += gapMs;
            BootAnswer a = core.feed(static_cast<std::uint8_t>(c), now);
            for (auto& chunk : a.chunks)
                out += chunk.bytes;
            last = a;
        }
        return out;
    }
    void Boot()
    {
        ASSERT_EQ(Feed(std::string(1, '\0')), "\xC5");
        ASSERT_EQ(Feed(Block(32, 0x81)), "");
        ASSERT_EQ(Feed(Block(276, 0x82)), "\xA0");
        ASSERT_EQ(Feed(Block(150, 0)), Bytes({0x00, 0xB0}));
        ASSERT_EQ(core.state(), BootState::CommandLoop);
    }
    std::string Routine(int index)
    {
        const auto& routine = BootRoutines()[static_cast<std::size_t>(index)];
        std::string out = Feed(std::string(1, routine.command));
        if (out != "\xA0")
            return "no ready";
        return Feed(Block(routine.length, static_cast<std::uint8_t>(index)));
    }

    BootCore core;
    BootAnswer last;
    std::int64_t now = 1000;
};

TEST(BootCore, BootSequenceAndItsRefusals)
{
    Target t;
    // A broken boot block sends the CPU back to its ROM.
    EXPECT_EQ(t.Feed(std::string(1, '\0')), "\xC5");
    std::string b1 = Block(32, 0x81);
    b1[16] = 0;
    EXPECT_EQ(t.Feed(b1), "");
    EXPECT_EQ(t.core.state(), BootState::RomBoot);
    t.Boot();
    // Keep-alive, then a zero byte: the board was reset.
    EXPECT_EQ(t.Feed("\xE3"), "\xB0");
    EXPECT_EQ(t.Feed(std::string(1, '\0')), "\xC5");
    EXPECT_EQ(t.core.state(), BootState::BootBlock1);
}

TEST(BootCore, RoutineBlocksAreCheckedWhole)
{
    Target t;
    t.Boot();
    // The block of a routine of another command character is refused, so
    // is a garbled one; the right block is then taken.
    EXPECT_EQ(t.Feed("1"), "\xA0");
    EXPECT_EQ(t.Feed(Block(150, 0)), "\xAA");
    std::string garbled = Block(212, 3);
    garbled[100] ^= 0x01;
    EXPECT_EQ(t.Feed(garbled), "\xAA");
    EXPECT_EQ(t.Feed(Block(212, 3)), Bytes({0x00, 0xCA, 0x0F, 0x00, 0xB0}));
    // A block left half-sent for longer than 500 ms is dropped.
    EXPECT_EQ(t.Feed("1"), "\xA0");
    EXPECT_EQ(t.Feed(Block(116, 1).substr(0, 50)), "");
    t.now += 600;
    EXPECT_EQ(t.Feed("\xE3"), "\xB0");
}

TEST(BootCore, NodesPresenceListAndSelection)
{
    BootConfig c;
    c.nodeMask = 0x05; // nodes 1 and 3
    Target t(c);
    t.Boot();
    t.core.faults().absentNodes = 0x04;
    EXPECT_EQ(t.Routine(3), Bytes({0x00, 0xCA, 0x01, 0x00, 0xB0}));
    EXPECT_EQ(t.Routine(2), Bytes({0x00, 0xBB, 0xB0}));
    EXPECT_EQ(t.Routine(10), Bytes({0x00, 0xFB, 0xB0})); // no jumper board
    EXPECT_EQ(t.Routine(11), Bytes({0x00, 0xB1, 0xA0}));
    EXPECT_EQ(t.Feed("\x03"), Bytes({0xFC, 0xB0}));
    EXPECT_EQ(t.core.selectedNode(), 0);
    EXPECT_EQ(t.Routine(7), Bytes({0x00, 0xFC, 0xB0})); // no node to erase
    EXPECT_EQ(t.Routine(11), Bytes({0x00, 0xB1, 0xA0}));
    EXPECT_EQ(t.Feed("\x01"), Bytes({0xB1, 0xB0}));
    EXPECT_EQ(t.core.selectedNode(), 1);
    EXPECT_EQ(t.Routine(7), Bytes({0x00, 'q', 0xB0}));
    EXPECT_EQ(t.core.image(1)[100], 0xFF);
    EXPECT_EQ(t.core.image(0)[100], 0x00); // the CMC's flash untouched
}

TEST(BootCore, EraseFaultsAndDuration)
{
    BootConfig c;
    c.eraseMs = 300;
    Target t(c);
    t.Boot();
    t.core.faults().eraseError = 0xF4;
    t.core.faults().eraseErrors = 1;
    EXPECT_EQ(t.Routine(4), Bytes({0x00, 0xF4, 0xB0}));
    ASSERT_EQ(t.last.chunks.size(), 1u);
    EXPECT_EQ(t.last.chunks[0].waitMs, 300);
    EXPECT_EQ(t.core.image(0)[0], 0x00);
    EXPECT_EQ(t.Routine(4), Bytes({0x00, 'q', 0xB0}));
    EXPECT_EQ(t.core.image(0)[0], 0xFF);
}

TEST(BootCore, RecordsAddressesAndErrors)
{
    BootConfig c;
    c.initialFill = 0xFF;
    c.flashSize = 0x30000;
    Target t(c);
    t.Boot();
    EXPECT_EQ(t.Routine(5), Bytes({0x00, 0xA0}));
    // Extended segment address 0x2000 -> base 0x20000.
    EXPECT_EQ(t.Feed(Bytes({':', 0x02, 0x00, 0x00, 0x02, 0x20, 0x00, 0xDC})), Bytes({0x00, 0xA0}));
    EXPECT_EQ(t.Feed(Bytes({':', 0x01, 0x00, 0x10, 0x00, 0x5A, 0x95})), Bytes({0x00, 0xA0}));
    EXPECT_EQ(t.core.image(0)[0x20010], 0x5A);
    // A garbled record is asked for again.
    EXPECT_EQ(t.Feed(Bytes({':', 0x01, 0x00, 0x11, 0x00, 0x5A, 0x00})), Bytes({0xAA, 0xA0}));
    // Programming a bit back to 1 fails.
    EXPECT_EQ(t.Feed(Bytes({':', 0x01, 0x00, 0x10, 0x00, 0xFF, 0xF0})), Bytes({0x00, 0xF9, 0xB0}));
    EXPECT_EQ(t.core.state(), BootState::CommandLoop);
    // Past the end of the flash, and an unknown record type.
    EXPECT_EQ(t.Routine(5), Bytes({0x00, 0xA0}));
    EXPECT_EQ(t.Feed(Bytes({':', 0x02, 0x00, 0x00, 0x04, 0x00, 0x09, 0xF1})), Bytes({0x00, 0xA0}));
    EXPECT_EQ(t.Feed(Bytes({':', 0x01, 0x00, 0x00, 0x00, 0x00, 0xFF})), Bytes({0x00, 0xF2, 0xB0}));
    EXPECT_EQ(t.Routine(5), Bytes({0x00, 0xA0}));
    EXPECT_EQ(t.Feed(Bytes({':', 0x00, 0x00, 0x00, 0x07, 0xF9})), Bytes({0x00, 0xF2, 0xB0}));
    // The end record.
    EXPECT_EQ(t.Routine(6), Bytes({0x00, 0xA0}));
    EXPECT_EQ(t.Feed(Bytes({':', 0x00, 0x00, 0x00, 0x01, 0xFF})), Bytes({0x00, 0xA0, 0xB0}));
}

// The flash holds as much as the chip its id names: 512 KiB for the
// default 29F400, 1 MiB for a 29F800.
TEST(BootCore, FlashSizeFollowsTheChipId)
{
    for (const auto& [id, size] : {std::pair<std::uint16_t, std::size_t>{BootConfig{}.flashId, 0x80000},
                                   {0x2258, 0x100000}}) {
        SCOPED_TRACE(id);
        BootConfig c;
        c.flashId = id;
        Target t(c);
        EXPECT_EQ(t.core.image(0).size(), size);
    }
    BootConfig c;
    c.flashSize = 0x30000; // set by hand: kept
    EXPECT_EQ(Target(c).core.image(0).size(), 0x30000u);
}

} // namespace
} // namespace kyd::sim
