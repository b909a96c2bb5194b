#include "firmware/BootBlocks.h"
#include "firmware/HexFile.h"
#include "firmware/Unit_HexLoaders.h"
#include "sim/boot_core.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kyd::firmware {
namespace {

const std::vector<std::string> kGood = {
    ":10010000214601360121470136007EFE09D2190140",
    ":100110002146017E17C20001FF5F16002148011928",
    ":00000001FF",
};

TEST(HexFile, DigitsOfEitherCaseAndRecordBytes)
{
    EXPECT_EQ(HexDigitValue('0'), 0);
    EXPECT_EQ(HexDigitValue('9'), 9);
    EXPECT_EQ(HexDigitValue('A'), 10);
    EXPECT_EQ(HexDigitValue('f'), 15);
    EXPECT_EQ(HexByteAt(":7eFF", 1), 0x7E);
    // The end record goes out as ':' and its five bytes.
    EXPECT_EQ(RecordBytes(":00000001FF"), std::string(":\x00\x00\x00\x01\xFF", 6));
    // An odd trailing digit is not sent.
    EXPECT_EQ(RecordBytes(":0102F"), std::string(":\x01\x02", 3));
}

TEST(HexFile, EndRecordNeedsTenCharacters)
{
    EXPECT_TRUE(IsEndRecord(":00000001FF"));
    EXPECT_TRUE(IsEndRecord(":00000001F"));
    EXPECT_FALSE(IsEndRecord(":00000001"));
    EXPECT_FALSE(IsEndRecord(":0000000"));
    EXPECT_FALSE(IsEndRecord(":01"));
    EXPECT_FALSE(IsEndRecord(":10010000214601"));
}

TEST(HexFile, WholeFileSum)
{
    EXPECT_TRUE(CheckHexLines(kGood));
    // Lowercase digits are accepted.
    std::vector<std::string> lower = kGood;
    for (auto& l : lower)
        for (auto& c : l)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_TRUE(CheckHexLines(lower));
    // One wrong checksum fails the whole file.
    std::vector<std::string> bad = kGood;
    bad[0].back() = '1';
    EXPECT_FALSE(CheckHexLines(bad));
    // Two faults that compensate each other pass: the sum is over the file.
    bad[1].back() = '7';
    EXPECT_TRUE(CheckHexLines(bad));
}

TEST(HexFile, StructureAroundTheEndRecord)
{
    // ":" alone cannot be sent.
    EXPECT_FALSE(CheckHexLines({":", ":00000001FF"}));
    EXPECT_FALSE(CheckHexLines({":"}));
    // A file without an end record fails, also when its sum is right.
    EXPECT_FALSE(CheckHexLines({kGood[0], kGood[1]}));
    EXPECT_FALSE(CheckHexLines({}));
    // Lines after the end record count in the sum only.
    EXPECT_TRUE(CheckHexLines({kGood[0], ":00000001FF", "", ":"}));
    EXPECT_FALSE(CheckHexLines({kGood[0], ":00000001FF", ":01"}));
}

TEST(HexFile, FilesThatWouldLeaveTheTargetWaitingOrEmptyAreRefusedByName)
{
    EXPECT_EQ(HexFileFault(kGood), "");
    EXPECT_EQ(HexFileFault({}), "the file is empty");
    // Only the end record: nothing to flash.
    EXPECT_EQ(HexFileFault({":00000001FF"}), "no data records");
    EXPECT_EQ(HexFileFault({":020000040001F9", ":00000001FF"}), "no data records");
    // A count byte larger than the record's data: the target would wait for
    // bytes that never come. The sum is kept right, so only the length
    // check can see it.
    EXPECT_EQ(HexFileFault({":11010000214601360121470136007EFE09D219013F", ":00000001FF"}),
              "line 1: the byte count 17 does not match the record's length");
    EXPECT_EQ(HexFileFault({kGood[0], ":0000000"}), "line 2: the byte count 0 does not match the record's length");
    EXPECT_EQ(HexFileFault({kGood[0], ":"}), "line 2 holds no record");
    EXPECT_EQ(HexFileFault({kGood[0], kGood[1]}), "no end record");
    std::vector<std::string> bad = kGood;
    bad[0].back() = '1';
    EXPECT_EQ(HexFileFault(bad), "the checksums do not add up");
}

TEST(HexFile, BytesOfAFile)
{
    const std::string text = kGood[0] + "\r\n" + kGood[1] + "\n" + kGood[2] + "\r\n";
    EXPECT_EQ(SplitHexLines(text), kGood);
    EXPECT_EQ(SplitHexLines("a\n\nb"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_TRUE(CheckHexBytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    EXPECT_FALSE(CheckHexBytes(nullptr, 0));
    const std::string noEnd = kGood[0] + "\n";
    EXPECT_FALSE(CheckHexBytes(reinterpret_cast<const std::uint8_t*>(noEnd.data()), noEnd.size()));
    const std::uint8_t junk[] = {0x00, 0xFF, ':', '\n', '\r'};
    EXPECT_FALSE(CheckHexBytes(junk, sizeof junk));
}

TEST(HexFile, MutatedFilesNeverCrashAndOneDigitChangeIsCaught)
{
    std::string text;
    for (const auto& l : kGood)
        text += l + "\n";
    std::uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
    int caught = 0, digitChanges = 0;
    for (int i = 0; i < 2000; ++i) {
        std::string m = text;
        const std::size_t at = next() % m.size();
        const char old = m[at];
        if (i % 3 == 0)
            m.erase(at, next() % 5);
        else
            m[at] = static_cast<char>(next() & 0xFF);
        // Must not crash or read out of bounds, whatever the bytes.
        const bool ok = CheckHexBytes(reinterpret_cast<const std::uint8_t*>(m.data()), m.size());
        // Changing one hex digit into another always changes the sum.
        if (i % 3 != 0 && std::isxdigit(static_cast<unsigned char>(old)) &&
            std::isxdigit(static_cast<unsigned char>(m[at])) && HexDigitValue(old) != HexDigitValue(m[at]) &&
            at > 0 && m[at - 1] != '\n') {
            ++digitChanges;
            caught += ok ? 0 : 1;
        }
    }
    EXPECT_GT(digitChanges, 100);
    EXPECT_EQ(caught, digitChanges);
}

TEST(LoaderErrors, TextsByLowByte)
{
    EXPECT_EQ(LoaderErrorText(0), "");
    EXPECT_EQ(LoaderErrorText(-4), "No CAN nodes found");
    EXPECT_EQ(LoaderErrorText(0xFC), "No CAN nodes found");
    EXPECT_EQ(LoaderErrorText(-16), "Hex-Loader failed!");
    EXPECT_EQ(LoaderErrorText(0xF2), "Command failed!");
    EXPECT_EQ(LoaderErrorText(-1), "Hex File Error");
    EXPECT_EQ(LoaderErrorText(0xEF), "Ok");
    EXPECT_EQ(LoaderErrorText(0x10), " Internal Error, Out of index");
}

TEST(BootBlocks, PlaceholdersAreWhatTheTargetExpects)
{
    const auto& table = RoutineTable();
    const auto& target = sim::BootRoutines();
    ASSERT_EQ(table.size(), target.size());
    for (std::size_t i = 0; i < table.size(); ++i) {
        EXPECT_EQ(table[i].Command, target[i].command) << i;
        EXPECT_EQ(table[i].Block.size(), target[i].length) << i;
        EXPECT_EQ(table[i].Length, target[i].length) << i;
        unsigned sum = 0;
        for (char c : table[i].Block)
            sum += static_cast<unsigned char>(c);
        EXPECT_EQ(sum & 0xFF, 0u) << i;
    }
    // Boot block 1 sums to 0 once bytes 16 and 17 are set.
    std::string b1 = BootBlock1Unpatched();
    ASSERT_EQ(b1.size(), kBootBlock1Length);
    b1[16] = static_cast<char>(0x13);
    b1[17] = static_cast<char>(0xF8);
    unsigned sum = 0;
    for (char c : b1)
        sum += static_cast<unsigned char>(c);
    EXPECT_EQ(sum & 0xFF, 0u);
    EXPECT_EQ(BootBlock2().size(), kBootBlock2Length);
}

} // namespace
} // namespace kyd::firmware
