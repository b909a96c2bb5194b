// TLineReader: lines across 4096-byte pages, line ends, Ctrl-Z.
#include "serial/SioMisc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

using namespace sio;

namespace {

std::vector<std::string> readAll(TLineReader& r)
{
    std::vector<std::string> lines;
    std::string line;
    while (r.NextLine(line))
        lines.push_back(line);
    EXPECT_TRUE(r.Eof());
    return lines;
}

std::vector<std::string> readAll(const std::string& text)
{
    TLineReader r(std::make_unique<std::istringstream>(text));
    EXPECT_EQ(r.StreamSize(), static_cast<std::int64_t>(text.size()));
    return readAll(r);
}

// A byte source that hands out at most chunk bytes per call.
TLineReader::ByteSource chunked(std::string text, std::size_t chunk)
{
    auto pos = std::make_shared<std::size_t>(0);
    return [text = std::move(text), chunk, pos](std::uint8_t* buf, std::size_t n) {
        std::size_t k = std::min({n, chunk, text.size() - *pos});
        std::copy_n(text.data() + *pos, k, buf);
        *pos += k;
        return k;
    };
}

using V = std::vector<std::string>;

} // namespace

TEST(SioLineReader, CrLfLines)
{
    EXPECT_EQ(readAll("one\r\ntwo\r\n\r\nfour"), (V{"one", "two", "", "four"}));
    EXPECT_EQ(readAll("a\rb\r"), (V{"a", "b"})) << "CR alone ends a line";
    EXPECT_EQ(readAll(""), V{});
    EXPECT_EQ(readAll("\r\n"), V{""});
}

TEST(SioLineReader, LfOnlyLines)
{
    EXPECT_EQ(readAll("a\nb\n\nc"), (V{"a", "b", "", "c"}));
    EXPECT_EQ(readAll("x\n"), V{"x"});
    EXPECT_EQ(readAll("\n\n"), (V{"", ""}));
}

TEST(SioLineReader, CrLfSplitAcrossAPage)
{
    std::string first(TLineReader::kPageSize - 1, 'a'); // CR is the page's last byte
    std::string text = first + "\r\nsecond\r\nthird";
    EXPECT_EQ(readAll(text), (V{first, "second", "third"}));
}

TEST(SioLineReader, LineLongerThanAPageIsJoined)
{
    std::string longLine;
    for (int i = 0; i < 10000; ++i)
        longLine.push_back(static_cast<char>('a' + i % 26));
    EXPECT_EQ(readAll(longLine + "\r\nshort\n"), (V{longLine, "short"}));
    EXPECT_EQ(readAll("x\r\n" + longLine), (V{"x", longLine}));
}

TEST(SioLineReader, CtrlZAtTheEndOfAPageEndsTheText)
{
    EXPECT_EQ(readAll("a\r\nb\x1a"), (V{"a", "b"}));
    EXPECT_EQ(readAll("a\r\n\x1a"), V{"a"});
    EXPECT_EQ(readAll("a\x1a" "b\r\n"), V{"a\x1a" "b"}) << "inside a page it is data";
    // A full page ending in Ctrl-Z ends the text there.
    std::string page(TLineReader::kPageSize - 2, 'p');
    EXPECT_EQ(readAll(page + "\n\x1a" + "after\r\n"), V{page});
}

TEST(SioLineReader, ShortReadsFromAByteSource)
{
    std::string first(TLineReader::kPageSize - 1, 'q');
    std::string text = first + "\r\nz\r\n";
    TLineReader r(chunked(text, 7));
    EXPECT_EQ(r.StreamSize(), -1);
    EXPECT_EQ(readAll(r), (V{first, "z"}));
    EXPECT_EQ(r.BytesRead(), static_cast<std::int64_t>(text.size()));
}

TEST(SioLineReader, BinaryBytesPassUnchanged)
{
    std::string text("\x01\xff\x00\x80", 4);
    EXPECT_EQ(readAll(text + "\r\n"), V{text});
}

TEST(SioLineReader, NoStreamIsEmptyText)
{
    TLineReader r(std::unique_ptr<std::istream>{});
    std::string line = "junk";
    EXPECT_FALSE(r.NextLine(line));
    EXPECT_TRUE(line.empty());
    EXPECT_TRUE(r.Eof());
}
