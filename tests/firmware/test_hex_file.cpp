#include "firmware/BootBlocks.h"
#include "firmware/HexFile.h"
#include "firmware/Unit_HexLoaders.h"
#include "sim/boot_core.h"
#include "sim/hex_record.h"

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
    // Two faults that compensate each other in the whole-file sum: each
    // record's own checksum is still wrong.
    bad[1].back() = '7';
    EXPECT_FALSE(CheckHexLines(bad));
    EXPECT_EQ(HexFileFault(bad), "line 1: the record's checksum is wrong");
}

TEST(HexFile, StructureAroundTheEndRecord)
{
    // ":" alone cannot be sent.
    EXPECT_FALSE(CheckHexLines({":", ":00000001FF"}));
    EXPECT_FALSE(CheckHexLines({":"}));
    // A file without an end record fails, also when its sum is right.
    EXPECT_FALSE(CheckHexLines({kGood[0], kGood[1]}));
    EXPECT_FALSE(CheckHexLines({}));
    // After the end record only white space may follow.
    EXPECT_TRUE(CheckHexLines({kGood[0], ":00000001FF", "", " \t"}));
    EXPECT_FALSE(CheckHexLines({kGood[0], ":00000001FF", "", ":"}));
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
    EXPECT_EQ(HexFileFault(bad), "line 1: the record's checksum is wrong");
    // Lines after the end record would not be sent: the file is refused.
    EXPECT_EQ(HexFileFault({kGood[0], kGood[2], ":0101"}),
              "line 3 follows the end record of line 2 (nothing but white space may)");
}

TEST(HexFile, RecordsWithoutDataBytesAreNoData)
{
    // Data records of no bytes, with or without an address record: nothing
    // to flash, refused as an end record alone is.
    EXPECT_EQ(HexFileFault({":00010000FF", ":00000001FF"}), "no data records");
    EXPECT_EQ(HexFileFault({":020000040001F9", ":00010000FF", ":00020000FE", ":00000001FF"}), "no data records");
    // One data byte is enough.
    EXPECT_EQ(HexFileFault({":00010000FF", ":0100000001FE", ":00000001FF"}), "");
}

TEST(HexFile, AnythingButWhiteSpaceAfterTheEndRecordIsRefusedByLine)
{
    const std::vector<std::vector<std::string>> tails = {
        {"ZZ"},
        {":00"},
        {"; comment"},
        {"END"},
        {kGood[0], kGood[1], kGood[2]}, // a second file appended
        {"  ", ":00000001FF"},
    };
    for (const auto& tail : tails) {
        std::vector<std::string> lines = kGood;
        lines.insert(lines.end(), tail.begin(), tail.end());
        SCOPED_TRACE(tail.back());
        const std::size_t first = tail[0] == "  " ? 5 : 4;
        EXPECT_EQ(HexFileFault(lines),
                  "line " + std::to_string(first) + " follows the end record of line 3 (nothing but white space may)");
    }
    // Empty and blank lines after it are fine, so is a file of bytes with
    // blank lines at its end.
    EXPECT_EQ(HexFileFault({kGood[0], kGood[1], kGood[2], "", "\t ", ""}), "");
    const std::string text = kGood[0] + "\n" + kGood[1] + "\n" + kGood[2] + "\r\n\r\n \n\t\r";
    EXPECT_TRUE(CheckHexBytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

TEST(HexFile, CrOrLfOrCrLfEndsALineAndTrailingBlanksAreDropped)
{
    // CR only, LF only, CR LF, mixed; blanks and tabs at a line's end.
    for (const std::string& text : {kGood[0] + "\r" + kGood[1] + "\r" + kGood[2] + "\r",
                                    kGood[0] + " \n" + kGood[1] + "\t\r\n" + kGood[2] + " \t ",
                                    kGood[0] + "\r" + kGood[1] + "\n" + kGood[2] + "\r\n"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(SplitHexLines(text), kGood);
        EXPECT_TRUE(CheckHexBytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    }
    // CR CR LF: an empty line between two line ends.
    EXPECT_EQ(SplitHexLines("a\r\r\nb\r"), (std::vector<std::string>{"a", "", "b"}));
    // Blanks inside a record are still no hex digits.
    EXPECT_EQ(HexFileFault(SplitHexLines(":10010000 214601360121470136007EFE09D2190140\n:00000001FF\n")),
              "line 1: ' ' is not a hex digit");
}

std::string Record(std::uint8_t type, std::uint16_t address, const std::vector<std::uint8_t>& data)
{
    return sim::HexRecord(type, address, data);
}

// Each of these would be sent, and the flash erased, before the target
// refused it, or flashed as garbage: the check refuses them, naming the line.
TEST(HexFile, RecordsTheTargetCannotTakeAreRefusedByLine)
{
    const std::string end = ":00000001FF";
    const std::string data = Record(0x00, 0x0100, {1, 2, 3, 4});
    struct Case {
        std::vector<std::string> lines;
        std::string fault;
    };
    // Data digits that are no hex digits, their checksum computed as the
    // target would read them.
    std::string zz = data;
    zz[9] = 'Z';
    zz[10] = 'Z';
    std::string g0 = data;
    g0[11] = 'G';
    const std::vector<Case> cases = {
        {{zz, end}, "line 1: 'Z' is not a hex digit"},
        {{g0, end}, "line 1: 'G' is not a hex digit"},
        {{";" + data.substr(1), end}, "line 1 does not start with ':'"},
        {{"X" + data.substr(1), end}, "line 1 does not start with ':'"},
        {{data, Record(0x06, 0, {1}), end}, "line 2: record type 06 is unknown"},
        {{data, Record(0x04, 0, {0, 1, 2}), end}, "line 2: an extended address record holds two bytes, not 3"},
        {{data, Record(0x00, 0x0102, {9}), end}, "line 2: data at address 00102 overlaps the data of line 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        EXPECT_EQ(HexFileFault(c.lines), c.fault);
    }
    // Start and segment addresses (03, 05) pass; consecutive records do not
    // overlap.
    EXPECT_EQ(HexFileFault({Record(0x03, 0, {0, 0, 1, 0}), data, Record(0x00, 0x0104, {5}),
                            Record(0x05, 0, {0, 0, 1, 0}), end}),
              "");
}

TEST(HexFile, DataBeyondTheFlashIsRefused)
{
    const std::string end = ":00000001FF";
    // The last byte of a 512 KiB flash, through an extended linear address.
    const std::vector<std::string> last = {Record(0x04, 0, {0x00, 0x07}), Record(0x00, 0xFFFF, {0xAA}), end};
    EXPECT_EQ(HexFileFault(last, 0x80000), "");
    EXPECT_EQ(HexFileFault(last, 0x7FFFF), "line 2: data up to address 7FFFF lies beyond the flash of 511 KiB");
    // Through an extended segment address: 0x8000 << 4 is 512 KiB.
    const std::vector<std::string> beyond = {Record(0x00, 0, {1}), Record(0x02, 0, {0x80, 0x00}),
                                             Record(0x00, 0x0000, {0xAA, 0xBB}), end};
    EXPECT_EQ(HexFileFault(beyond, 0x80000), "line 3: data up to address 80001 lies beyond the flash of 512 KiB");
    EXPECT_EQ(HexFileFault(beyond, 0x100000), "");
    // Without a flash size only the file itself is judged.
    EXPECT_EQ(HexFileFault(beyond), "");
    // With the chip's name, the fault names it and its size.
    EXPECT_EQ(HexFileFault(beyond, 0x80000, "Am29F400B"),
              "line 3: data up to address 80001 lies beyond the flash of the Am29F400B (512 KiB)");
}

TEST(HexFile, ByteOrderMarkBeforeTheFirstRecordIsSkipped)
{
    const std::string text = "\xEF\xBB\xBF" + kGood[0] + "\r\n" + kGood[1] + "\r\n" + kGood[2] + "\r\n";
    EXPECT_EQ(SplitHexLines(text), kGood);
    EXPECT_TRUE(CheckHexBytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    // Also before lines that CR alone ends, with blanks after the end record.
    const std::string cr = "\xEF\xBB\xBF" + kGood[0] + "\r" + kGood[1] + "\r" + kGood[2] + "\r \r\t";
    EXPECT_EQ(HexFileFault(SplitHexLines(cr)), "");
}


TEST(HexFile, ADosEndOfFileMarkAtTheEndIsNoLine)
{
    // Ctrl+Z ending the file, as DOS tools wrote it: on a line of its own
    // or right after the end record, white space after it or not.
    const std::string body = kGood[0] + "\r\n" + kGood[1] + "\r\n" + kGood[2];
    for (const char* tail : {"\r\n\x1A", "\x1A", "\r\n\x1A\r\n", "\r\n \x1A\t"}) {
        SCOPED_TRACE(tail);
        const std::string text = body + tail;
        EXPECT_EQ(HexFileFault(SplitHexLines(text)), "");
        EXPECT_TRUE(CheckHexBytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    }
    // Anything after it, or a mark that does not end the file, is not
    // passed over.
    EXPECT_EQ(HexFileFault(SplitHexLines(body + "\r\n\x1A\r\n" + kGood[2])),
              "line 4 follows the end record of line 3 (nothing but white space may)");
    EXPECT_EQ(HexFileFault(SplitHexLines(body + "\r\n\x1A\x1A")),
              "line 4 follows the end record of line 3 (nothing but white space may)");
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
