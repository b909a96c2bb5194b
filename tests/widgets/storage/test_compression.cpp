// The block compressor and the stream helpers: byte-exact blocks, damaged
// input refused without output, and loaders that never trust a length.
#include "widgets/storage/stream.h"
#include "widgets/storage/lzrw.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

using namespace kyd::widgets;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes B(std::initializer_list<int> v)
{
    Bytes b;
    for (int x : v)
        b.push_back(static_cast<std::uint8_t>(x));
    return b;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Repeat(const Bytes& unit, int times)
{
    Bytes b;
    for (int i = 0; i < times; ++i)
        b.insert(b.end(), unit.begin(), unit.end());
    return b;
}

Bytes Compress(const Bytes& in)
{
    // Exactly the room the compressor asks for, so that ASan sees an overrun.
    return DUDLZRWCompressBlock(in.data(), static_cast<std::int32_t>(in.size()));
}

bool Expand(const Bytes& block, Bytes& out)
{
    Bytes copy = block; // exact size for ASan
    out.clear();
    return DUDLZRWExpandBlock(copy.data(), static_cast<std::int32_t>(copy.size()), out);
}

Bytes RandomBytes(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& x : b)
        x = static_cast<std::uint8_t>(rng());
    return b;
}

} // namespace

TEST(Compressor, BlocksAreByteExactAndExpandBack)
{
    struct Case {
        const char* name;
        Bytes in;
        Bytes block;
    } cases[] = {
        {"100 equal bytes", Bytes(100, 0x07), B({0x40, 0x80, 0x00, 0x00, 0x00, 0x54, 0x07})},
        {"no gain", Text("abc"), B({0x80, 0x61, 0x62, 0x63})},
        {"empty", {}, B({0x80})},
        {"back references", Repeat(Text("abc"), 8), B({0x40, 0x18, 0x00, 0x61, 0x62, 0x63, 0x00, 0x3F, 0x01, 0x20})},
        {"runs count their first byte, at most 4095", Bytes(5000, 'a'),
         B({0x40, 0xC0, 0x00, 0x00, 0x0F, 0xEF, 0x61, 0x00, 0x03, 0x79, 0x61})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Compress(c.in), c.block);
        Bytes out;
        ASSERT_TRUE(Expand(c.block, out));
        EXPECT_EQ(out, c.in);
    }
}

TEST(Compressor, LargeAndMixedBlocksRoundTrip)
{
    Bytes tooBig(static_cast<std::size_t>(kLZRWBlockSize) + 1, 'x');
    EXPECT_TRUE(Compress(tooBig).empty());
    Bytes mixed = RandomBytes(9000, 7);
    const Bytes text = Text("The quick brown fox jumps over the lazy dog. ");
    for (int i = 0; i < 400; ++i)
        mixed.insert(mixed.end(), text.begin(), text.end());
    mixed.insert(mixed.end(), 5000, 0);
    mixed.resize(kLZRWBlockSize);
    for (const Bytes& in : {mixed, RandomBytes(kLZRWBlockSize, 3), Bytes(kLZRWBlockSize, 0xFF)}) {
        const Bytes block = Compress(in);
        EXPECT_LE(block.size(), in.size() + 1);
        Bytes out;
        ASSERT_TRUE(Expand(block, out));
        EXPECT_EQ(out, in);
    }
}

// Incompressible bytes drive the output up to the input's size just when a
// command word is flushed, and a run follows: the compressor writes six
// bytes past size before it stores the block as it is.
TEST(Compressor, OutputSixPastTheInputStaysInsideItsBuffer)
{
    const std::int32_t size = kLZRWBlockSize;
    Bytes in = RandomBytes(static_cast<std::size_t>(size), 1);
    std::fill(in.begin() + 29140, in.end(), 0xEE);
    Bytes dest(DUDLZRWDestSize(size), 0xA5);
    const std::int32_t n = DUDLZRWCompress(in.data(), dest.data(), size);
    EXPECT_EQ(dest[static_cast<std::size_t>(size) + 5], 0xEE) << "the case no longer reaches size + 6";
    ASSERT_EQ(n, size + 1);
    dest.resize(static_cast<std::size_t>(n));
    EXPECT_EQ(dest[0], 0x80);
    Bytes out;
    ASSERT_TRUE(Expand(dest, out));
    EXPECT_EQ(out, in);
}

TEST(Expander, DamagedBlocksAreRefusedWithoutOutput)
{
    Bytes tooLong = B({0x40, 0xFF, 0x00});
    for (int i = 0; i < 8; ++i) {
        const Bytes run = B({0x00, 0x0F, 0xFF, 0x41}); // 4111 bytes each: 32888 in all
        tooLong.insert(tooLong.end(), run.begin(), run.end());
    }
    Bytes copiedTooLong(static_cast<std::size_t>(kLZRWBlockSize) + 2, 'x');
    copiedTooLong[0] = 0x80;
    const struct {
        const char* name;
        Bytes block;
    } cases[] = {
        {"reference cut off", B({0x40, 0x80, 0x00, 0x00})},
        {"reference before the start", B({0x40, 0x80, 0x00, 0x00, 0x10})},
        {"unknown flag", B({0x41})},
        {"no command word", B({0x40})},
        {"empty", {}},
        {"runs past the block size", tooLong},
        {"stored block too long", copiedTooLong},
        {"run cut off", B({0x40, 0x80, 0x00, 0x00, 0x00, 0x54})},
        {"command word cut off", [] {
             Bytes b = B({0x40, 0x00, 0x00});
             b.insert(b.end(), 16, 'z');
             b.push_back(0x00);
             return b;
         }()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes out = B({9, 9});
        Bytes copy = c.block;
        EXPECT_FALSE(DUDLZRWExpandBlock(copy.data(), static_cast<std::int32_t>(copy.size()), out));
        EXPECT_EQ(out, B({9, 9}));
    }
}

TEST(Expander, OverlappingReferenceRepeatsWhatItProduces)
{
    // 'a', 'b', then 12 bytes from two back: abababab...
    const Bytes block = B({0x40, 0x20, 0x00, 'a', 'b', 0x00, 0x29});
    Bytes out;
    ASSERT_TRUE(Expand(block, out));
    EXPECT_EQ(out, Text("ababababababab"));
}

TEST(Streams, ValuesAndStrings)
{
    TMemoryStream s;
    stWriteInteger(s, -2);
    stWriteWord(s, 0xBEEF);
    stWriteByte(s, 7);
    stWriteString(s, "abc");
    stWriteString(s, std::string(300, 'x'));
    EXPECT_EQ(Bytes(s.Bytes().begin() + 7, s.Bytes().begin() + 11), B({0x03, 'a', 'b', 'c'}));
    EXPECT_EQ(s.Size(), 4 + 2 + 1 + 4 + 256);
    s.SetPosition(0);
    EXPECT_EQ(stReadInteger(s), -2);
    EXPECT_EQ(stReadWord(s), 0xBEEF);
    EXPECT_EQ(stReadByte(s), 7);
    EXPECT_EQ(stReadString(s), "abc");
    EXPECT_EQ(stReadString(s), std::string(255, 'x'));
    EXPECT_THROW(stReadByte(s), EReadError);

    TMemoryStream shortString(B({5, 'a', 'b'}).data(), 3);
    EXPECT_THROW(stReadString(shortString), EReadError);
    TMemoryStream shortInteger(B({1, 2, 3}).data(), 3);
    EXPECT_THROW(stReadInteger(shortInteger), EReadError);
}

TEST(Streams, CompressedStreamLayout)
{
    const Bytes in = Repeat(Text("abc"), 8);
    TMemoryStream source(in), dest;
    EXPECT_EQ(SaveCompressedStream(source, dest, static_cast<std::int64_t>(in.size())), 24);
    Bytes expected = B({0x0E, 0, 0, 0, 0x0A, 0, 0, 0});
    const Bytes block = Compress(in);
    expected.insert(expected.end(), block.begin(), block.end());
    EXPECT_EQ(dest.Bytes(), expected);
    EXPECT_EQ(dest.Position(), dest.Size());

    // 100 000 bytes: blocks of 32781, 32781, 32781 and 1657 input bytes.
    Bytes big = RandomBytes(100000, 5);
    TMemoryStream bigSource(big), packed;
    SaveCompressedStream(bigSource, packed, 100000);
    packed.SetPosition(0);
    const std::int32_t total = stReadInteger(packed);
    EXPECT_EQ(total, packed.Size() - 4);
    std::vector<std::size_t> inputs;
    while (packed.Remaining() > 0) {
        const std::int32_t c = stReadInteger(packed);
        Bytes b(static_cast<std::size_t>(c));
        packed.ReadBuffer(b.data(), b.size());
        Bytes out;
        ASSERT_TRUE(Expand(b, out));
        inputs.push_back(out.size());
    }
    EXPECT_EQ(inputs, (std::vector<std::size_t>{32781, 32781, 32781, 1657}));
    packed.SetPosition(0);
    TMemoryStream back;
    LoadCompressedStream(packed, back);
    EXPECT_EQ(back.Bytes(), big);
}

TEST(Streams, SavingStopsWhenTheSourceRunsDry)
{
    TMemoryStream source(Text("hello")), dest;
    EXPECT_EQ(SaveCompressedStream(source, dest, 1000000), 5);
    dest.SetPosition(0);
    TMemoryStream back;
    LoadCompressedStream(dest, back);
    EXPECT_EQ(back.Bytes(), Text("hello"));

    TMemoryStream empty, none;
    SaveCompressedStream(empty, none, 10);
    EXPECT_EQ(none.Bytes(), B({0, 0, 0, 0}));
}

TEST(Streams, DamagedCompressedStreamsLeaveTheDestinationUnchanged)
{
    const Bytes in = Repeat(Text("hello world "), 50);
    TMemoryStream source(in), good;
    SaveCompressedStream(source, good, static_cast<std::int64_t>(in.size()));
    const Bytes g = good.Bytes();
    auto patched = [&](std::size_t at, std::initializer_list<int> v) {
        Bytes b = g;
        for (int x : v)
            b[at++] = static_cast<std::uint8_t>(x);
        return b;
    };
    const Bytes cut(g.begin(), g.end() - 1);
    Bytes trailing = g;
    trailing[0] = static_cast<std::uint8_t>(g[0] + 2);
    trailing.insert(trailing.end(), {1, 2});
    const struct {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"cut short", cut},
        {"total past the end", patched(0, {0xFF, 0xFF, 0, 0})},
        {"negative total", patched(0, {0xFF, 0xFF, 0xFF, 0xFF})},
        {"block length zero", patched(4, {0, 0, 0, 0})},
        {"block length past the total", patched(4, {0xFF, 0, 0, 0})},
        {"block length past the largest block", patched(4, {0x0F, 0x80, 0, 0})},
        {"total not used up by whole blocks", trailing},
        {"damaged block", patched(8, {0x41})},
        {"only a partial total", B({1, 0})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TMemoryStream src(c.bytes), dest(Text("kept"));
        dest.SetPosition(4);
        EXPECT_THROW(LoadCompressedStream(src, dest), EReadError);
        EXPECT_EQ(dest.Bytes(), Text("kept"));
    }

    // The expanded size is bounded.
    TMemoryStream zeros(Bytes(100000, 0)), packed;
    SaveCompressedStream(zeros, packed, 100000);
    packed.SetPosition(0);
    TMemoryStream dest;
    EXPECT_THROW(LoadCompressedStream(packed, dest, 50000), EReadError);
    EXPECT_EQ(dest.Size(), 0);
}

TEST(Streams, StringListsInBothForms)
{
    TMemoryStream empty;
    stWriteStringList(empty, {}, false);
    EXPECT_EQ(empty.Bytes(), B({0, 0, 0, 0}));

    const TStringList list = {"first", "", "third line"};
    for (bool compressed : {false, true}) {
        TMemoryStream s;
        stWriteStringList(s, list, compressed);
        stWriteByte(s, 0x5A); // what follows stays in place
        s.SetPosition(0);
        TStringList back = {"old"};
        stReadStringList(s, back, compressed);
        EXPECT_EQ(back, list);
        EXPECT_EQ(stReadByte(s), 0x5A);
    }
    TMemoryStream plain;
    stWriteStringList(plain, {"a", "b"}, false);
    EXPECT_EQ(plain.Bytes(), B({6, 0, 0, 0, 'a', '\r', '\n', 'b', '\r', '\n'}));

    EXPECT_EQ(StringListFromText("a\nb\rc\r\n\r\nd"), (TStringList{"a", "b", "c", "", "d"}));

    TMemoryStream lying(B({9, 0, 0, 0, 'a', '\r', '\n'}));
    TStringList kept = {"kept"};
    EXPECT_THROW(stReadStringList(lying, kept, false), EReadError);
    EXPECT_EQ(kept, TStringList{"kept"});
}

TEST(Streams, FileStreamRoundTrip)
{
    const std::string name = ::testing::TempDir() + "kyd_stream_test.bin";
    {
        TFileStream f(name, TFileStream::fmCreate);
        stWriteStringList(f, {"one", "two"}, true);
        stWriteString(f, "tail");
    }
    {
        TFileStream f(name, TFileStream::fmOpenRead);
        TStringList list;
        stReadStringList(f, list, true);
        EXPECT_EQ(list, (TStringList{"one", "two"}));
        EXPECT_EQ(stReadString(f), "tail");
        EXPECT_THROW(stReadByte(f), EReadError);
    }
    std::remove(name.c_str());
    EXPECT_THROW(TFileStream(name, TFileStream::fmOpenRead), EFOpenError);
}
