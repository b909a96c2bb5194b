// The compressor's output is part of the stored format: files written
// earlier are compared byte for byte after a load and save, so a faster
// compressor must produce exactly the blocks it always did. The digests
// below are of blocks the compressor made before it was tuned for speed.
#include "widgets/storage/stream.h"
#include "widgets/storage/lzrw.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

using namespace kyd::widgets;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint64_t Fnv(const Bytes& b)
{
    std::uint64_t h = 1469598103934665603ULL;
    for (std::uint8_t c : b)
        h = (h ^ c) * 1099511628211ULL;
    return h ^ b.size();
}

// Words from a small vocabulary: matches of every length, near and far.
Bytes Words(std::size_t n, unsigned seed)
{
    static const char* words[] = {"the ",     "dispenser ", "note ",  "feeder ", "and ",     "of ",
                                  "cassette ", "a ",          "reject ", "vault ",  "status, ", "is.\n",
                                  "presenter ", "throat ",    "to ",     "in "};
    std::mt19937 rng(seed);
    Bytes b;
    while (b.size() < n) {
        const std::string w = words[rng() % 16];
        b.insert(b.end(), w.begin(), w.end());
    }
    b.resize(n);
    return b;
}

// Runs of every length around the shortest and the longest run, literals
// and short repeats between them.
Bytes Runs(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes b;
    static const int lengths[] = {1, 2, 3, 15, 16, 17, 18, 19, 100, 4094, 4095, 4096, 4110, 4111, 4112, 5000};
    while (b.size() < n) {
        const int len = lengths[rng() % 16];
        const auto c = static_cast<std::uint8_t>(rng() % 4);
        b.insert(b.end(), static_cast<std::size_t>(len), c);
        for (int i = 0; i < 5; ++i)
            b.push_back(static_cast<std::uint8_t>(rng()));
    }
    b.resize(n);
    return b;
}

// Repeats at distances around the window's edge and of lengths around the
// longest match.
Bytes FarRepeats(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes b;
    for (int i = 0; i < 5000 && b.size() < n; ++i)
        b.push_back(static_cast<std::uint8_t>(rng()));
    static const int dist[] = {4094, 4095, 4096, 4097, 3, 8, 9, 17, 18, 19};
    while (b.size() < n) {
        const int d = dist[rng() % 10];
        const int len = 1 + static_cast<int>(rng() % 40);
        for (int i = 0; i < len; ++i)
            b.push_back(b[b.size() - static_cast<std::size_t>(d)]);
        for (int i = 0, k = static_cast<int>(rng() % 6); i < k; ++i)
            b.push_back(static_cast<std::uint8_t>(rng()));
    }
    b.resize(n);
    return b;
}

Bytes Noise(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& c : b)
        c = static_cast<std::uint8_t>(rng() % 7 == 0 ? 0 : rng());
    return b;
}

// The blocks of many inputs of the four kinds, every size from 0 to 40 and
// sizes around the largest block, chained into one digest per kind.
std::uint64_t Digest(Bytes (*make)(std::size_t, unsigned))
{
    std::vector<std::int32_t> sizes;
    for (int s = 0; s <= 40; ++s)
        sizes.push_back(s);
    for (int s : {100, 1000, 4097, 20000, kLZRWBlockSize - 7, kLZRWBlockSize - 1, kLZRWBlockSize})
        sizes.push_back(s);
    Bytes all;
    unsigned seed = 1;
    for (std::int32_t s : sizes) {
        const Bytes in = make(static_cast<std::size_t>(s), seed++);
        const Bytes block = DUDLZRWCompressBlock(in.data(), s);
        all.insert(all.end(), block.begin(), block.end());
        Bytes back;
        EXPECT_TRUE(DUDLZRWExpandBlock(block.data(), static_cast<std::int32_t>(block.size()), back));
        EXPECT_TRUE(back == in) << "size " << s;
    }
    return Fnv(all);
}

} // namespace

TEST(Compressor, BlocksAreTheSameAsTheFormatAlwaysHad)
{
    EXPECT_EQ(Digest(Words), 0xD34D6654C413EDD2ULL);
    EXPECT_EQ(Digest(Runs), 0xA0C2BD42711B1EEAULL);
    EXPECT_EQ(Digest(FarRepeats), 0xBBDAD86D139ADA0EULL);
    EXPECT_EQ(Digest(Noise), 0x134E3C8A6FC657ECULL);
}

TEST(Compressor, StreamsAreTheSameAsTheFormatAlwaysHad)
{
    // Several blocks through the stream functions, from and into memory
    // streams and with the destination not at its end.
    Bytes data = Words(70000, 99);
    const Bytes runs = Runs(30000, 98);
    data.insert(data.end(), runs.begin(), runs.end());
    TMemoryStream source(data);
    TMemoryStream packed;
    stWriteInteger(packed, 77);
    EXPECT_EQ(SaveCompressedStream(source, packed, static_cast<std::int64_t>(data.size())),
              static_cast<std::int64_t>(data.size()));
    EXPECT_EQ(Fnv(packed.Bytes()), 0x8767E04E0CA68844ULL);
    packed.SetPosition(4);
    TMemoryStream back;
    LoadCompressedStream(packed, back);
    EXPECT_TRUE(back.Bytes() == data);
}
