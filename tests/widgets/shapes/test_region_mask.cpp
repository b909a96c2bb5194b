#include "widgets/painting/bmp_format.h"
#include "widgets/shapes/region_mask.h"

#include <gtest/gtest.h>

#include <cctype>

using namespace kyd::widgets;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Hex(const char* text)
{
    Bytes out;
    unsigned v = 0;
    int n = 0;
    for (const char* p = text; *p; ++p) {
        if (*p == ' ')
            continue;
        v = v * 16 + unsigned(std::isdigit(*p) ? *p - '0' : std::toupper(*p) - 'A' + 10);
        if (++n == 2) {
            out.push_back(std::uint8_t(v));
            v = 0;
            n = 0;
        }
    }
    return out;
}

Bytes SmallBmp(std::uint8_t shade)
{
    Bytes b = DUDBmpHeaders(2, 2, 24);
    for (int i = 0; i < 16; ++i)
        b.push_back(std::uint8_t(shade + i));
    return b;
}

TEST(RegionData, EncodesTheGoldenLayoutAndDecodesIt)
{
    const Bytes one = DUDEncodeRegionData({{0, 0, 200, 100}});
    EXPECT_EQ(one, Hex("20000000 01000000 01000000 10000000"
                       "00000000 00000000 C8000000 64000000"
                       "00000000 00000000 C8000000 64000000"));
    const std::vector<TRect> ell{{0, 0, 2, 1}, {0, 1, 1, 2}};
    const Bytes l = DUDEncodeRegionData(ell);
    ASSERT_EQ(l.size(), 64u);
    EXPECT_EQ(Bytes(l.begin() + 16, l.begin() + 32), Hex("00000000 00000000 02000000 02000000"));
    EXPECT_EQ(DUDDecodeRegionData(l.data(), l.size()), ell);
    EXPECT_TRUE(DUDRegionRectsBanded(ell));
    EXPECT_EQ(DUDEncodeRegionData({}).size(), 32u);
    EXPECT_EQ(DUDDecodeRegionData(DUDEncodeRegionData({}).data(), 32)->size(), 0u);
}

TEST(RegionData, RejectsBadHeadersAndEveryTruncation)
{
    const Bytes l = DUDEncodeRegionData({{0, 0, 2, 1}, {0, 1, 1, 2}});
    for (std::size_t n = 0; n < l.size(); ++n) {
        const Bytes cut(l.begin(), l.begin() + long(n));
        EXPECT_FALSE(DUDDecodeRegionData(cut.data(), cut.size())) << n;
    }
    EXPECT_FALSE(DUDDecodeRegionData(nullptr, 0));
    for (std::size_t at : {0u, 4u, 8u, 11u}) {
        Bytes bad = l;
        bad[at] ^= 0x80; // header size, type, count, count's sign
        EXPECT_FALSE(DUDDecodeRegionData(bad.data(), bad.size())) << at;
    }
    // A huge count must not be multiplied into a small number.
    Bytes huge = l;
    huge[8] = 0xFF; huge[9] = 0xFF; huge[10] = 0xFF; huge[11] = 0x0F;
    EXPECT_FALSE(DUDDecodeRegionData(huge.data(), huge.size()));
    // The stored bound is not trusted, and trailing bytes are allowed.
    Bytes lying = l;
    lying[24] = 0x7F;
    lying.push_back(0);
    EXPECT_TRUE(DUDDecodeRegionData(lying.data(), lying.size()));
}

TEST(RegionData, BandingCheck)
{
    EXPECT_TRUE(DUDRegionRectsBanded({}));
    EXPECT_TRUE(DUDRegionRectsBanded({{0, 0, 2, 1}, {3, 0, 5, 1}, {0, 1, 9, 4}}));
    EXPECT_FALSE(DUDRegionRectsBanded({{0, 0, 2, 1}, {2, 0, 5, 1}}));  // touching in a band
    EXPECT_FALSE(DUDRegionRectsBanded({{3, 0, 5, 1}, {0, 0, 2, 1}}));  // unsorted band
    EXPECT_FALSE(DUDRegionRectsBanded({{0, 0, 2, 2}, {0, 1, 2, 3}}));  // overlapping bands
    EXPECT_FALSE(DUDRegionRectsBanded({{0, 1, 2, 2}, {0, 0, 2, 1}}));  // bands upside down
    EXPECT_FALSE(DUDRegionRectsBanded({{0, 0, 0, 1}}));                // empty
    EXPECT_FALSE(DUDRegionRectsBanded({{0, 0, 5, 1}, {0, 1, 5, 2}}));  // bands to be merged
    EXPECT_FALSE(DUDRegionRectsBanded({{0, 0, 1, 1}, {0, 1, 5, 2}, {0, 2, 5, 3}}));
    EXPECT_TRUE(DUDRegionRectsBanded({{0, 0, 5, 1}, {0, 2, 5, 3}}));   // a gap between them
}

TEST(RegionMask, StreamsNothingWhenEmptyAndRoundTripsCompressed)
{
    TDUDRegionMask empty;
    EXPECT_TRUE(empty.StoredProperties().empty());

    TDUDRegionMask m;
    m.SetRects({{0, 0, 2, 1}, {0, 1, 1, 2}});
    m.SetBorderBmp(TDUDRegionMask::biBorder, SmallBmp(10));
    m.SetBorderBmp(TDUDRegionMask::biBorderDown, SmallBmp(99));
    m.SetCompressed(true);
    const auto names = m.StoredProperties();
    EXPECT_EQ(names, (std::vector<std::string>{"RegionData", "BorderBmp", "BorderDnBmp"}));

    // Through a form's property list: the region data's size comes with it.
    TDUDStreamProperties props;
    m.DefineProperties(props);
    TMemoryStream s;
    DUDWriteProperties(s, props);
    s.SetPosition(0);
    TDUDRegionMask back;
    back.ReadProperties(DUDReadProperties(s));
    EXPECT_EQ(s.Remaining(), 0);
    EXPECT_EQ(back.RegionDataSize(), 64);
    EXPECT_EQ(back.RegionData(), m.RegionData());
    EXPECT_TRUE(back.Compressed());
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(back.BorderBmp(i), m.BorderBmp(i)) << i;
}

TEST(RegionMask, DamagedPropertiesAreRejectedWithoutChange)
{
    TDUDRegionMask m;
    m.SetRects({{0, 0, 4, 4}});
    const Bytes before = m.RegionData();
    TMemoryStream s;
    s.WriteBuffer("\x20\0\0\0", 4);
    s.SetPosition(0);
    m.SetDataSize(48); // more than the stream holds
    EXPECT_THROW(m.ReadProperty("RegionData", s), EReadError);
    m.SetDataSize(-1);
    EXPECT_THROW(m.ReadProperty("RegionData", s), EReadError);
    EXPECT_EQ(m.RegionData(), before);
    EXPECT_THROW(m.ReadProperty("Nonsense", s), EReadError);

    // Bad bytes are kept as they are but give no region.
    m.SetRegionData(Hex("21000000 01000000"));
    EXPECT_EQ(m.RegionDataSize(), 8);
    EXPECT_FALSE(m.Rects());

    TMemoryStream b;
    stWriteByte(b, 2);
    b.SetPosition(0);
    EXPECT_THROW(m.ReadBitmap(0, b), EReadError);
    TMemoryStream junk;
    stWriteByte(junk, 0);
    stWriteInteger(junk, 4);
    stWriteInteger(junk, 0x1234);
    junk.SetPosition(0);
    EXPECT_THROW(m.ReadBitmap(0, junk), EReadError);
    EXPECT_TRUE(m.BorderBmp(0).empty());
    EXPECT_FALSE(m.Compressed());

    // A picture property with bytes after the picture is damaged.
    TDUDRegionMask src;
    src.SetBorderBmp(0, SmallBmp(3));
    TDUDStreamProperties props;
    src.DefineProperties(props);
    ASSERT_EQ(props.size(), 1u);
    props[0].Data.push_back(0);
    EXPECT_THROW(m.ReadProperties(props), EReadError);
    EXPECT_TRUE(m.BorderBmp(0).empty());
}

TEST(RegionMask, AssignCarriesRegionAndPicturesAndNotifiesOnChange)
{
    TDUDRegionMask src, dst;
    int changes = 0;
    dst.OnChange = [&](void*) { ++changes; };
    dst.SetBorderBmp(0, SmallBmp(1));
    changes = 0;
    dst.Assign(src); // no region: pictures stay
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(dst.BorderBmp(0), SmallBmp(1));

    src.SetRects({{1, 1, 5, 5}});
    src.SetBorderBmp(1, SmallBmp(7));
    dst.Assign(src);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(dst.RegionData(), src.RegionData());
    EXPECT_TRUE(dst.BorderBmp(0).empty());
    EXPECT_EQ(dst.BorderBmp(1), SmallBmp(7));
    dst.Assign(src);
    EXPECT_EQ(changes, 1);

    TDUDRegionMask none;
    dst.Assign(none);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(dst.RegionDataSize(), 0);
    EXPECT_EQ(dst.BorderBmp(1), SmallBmp(7));
}

} // namespace

TEST(RegionMaskStream, PixelFormatAndCompressionAreStoredWithTheMask)
{
    TDUDRegionMask mask;
    TDUDStreamProperties props;
    mask.DefineProperties(props);
    EXPECT_EQ(nullptr, DUDFindProperty(props, "PixelFormat")); // the default stays out
    mask.SetPixelFormat(TDUDSavePixelFormat::spf4bit);
    mask.SetCompressed(true);
    props.clear();
    mask.DefineProperties(props);
    TDUDRegionMask back;
    back.ReadProperties(props);
    EXPECT_EQ(TDUDSavePixelFormat::spf4bit, back.PixelFormat());
    EXPECT_TRUE(back.Compressed());
    TDUDRegionMask kept;
    EXPECT_THROW(kept.ReadProperties({{"PixelFormat", DUDIntegerData(4)}}), EReadError);
    EXPECT_EQ(TDUDSavePixelFormat::spfDefault, kept.PixelFormat());
}
