// Stored shapes built to exhaust memory, time or the integer range: region
// data whose rectangles unite into millions, point lists whose polygon
// would, teeth and bevels with numbers no shape can use, and outlines of
// controls larger than any window. Each ends with no region or a read
// error, within the memory bound, and every shape a screen can show still fits.
#include "memory_bound.h"

#include "widgets/painting/bmp_format.h"
#include "widgets/storage/lzrw.h"
#include "widgets/shapes/region_bands.h"
#include "widgets/shapes/region_mask.h"
#include "widgets/shapes/shape_outline.h"

#include <gtest/gtest.h>

#include <climits>

using namespace kyd::widgets;

namespace {

// A lattice of n / 2 thin columns and n / 2 thin rows over a square: n
// rectangles (16 n stored bytes) whose union needs about n * n / 4.
std::vector<TRect> Lattice(int n)
{
    std::vector<TRect> rects;
    const int side = n;
    for (int i = 0; i < n / 2; ++i) {
        rects.push_back({2 * i, 0, 2 * i + 1, side});
        rects.push_back({0, 2 * i, side, 2 * i + 1});
    }
    return rects;
}

// Every other pixel of a w x h screen: the most rectangles an area needs.
std::vector<TRect> Checkerboard(int w, int h)
{
    std::vector<TRect> rects;
    rects.reserve(static_cast<std::size_t>(w / 2) * h);
    for (int y = 0; y < h; ++y)
        for (int x = y % 2; x < w; x += 2)
            rects.push_back({x, y, x + 1, y + 1});
    return rects;
}

// A stored point list's points: a zigzag of n points between the top and
// the bottom of the window range, n / 2 spans on every row.
std::vector<TPoint> Zigzag(int n)
{
    std::vector<TPoint> pts;
    for (int i = 0; i < n; ++i)
        pts.push_back({i * 8, i % 2 ? 32767 : -32767});
    return pts;
}

std::string Expect(bool ok, const std::string& what) { return ok ? std::string() : what + "\n"; }

// A border picture property as it is stored compressed: the flag byte 1,
// then the compressed stream of a black 24-bit picture of w x h, made a
// block at a time (the picture itself is never held).
std::vector<std::uint8_t> CompressedBlackBorder(int w, int h)
{
    const std::vector<std::uint8_t> header = DUDBmpHeaders(w, h, 24);
    const std::int64_t size = static_cast<std::int64_t>(header.size()) + DUDBmpRowBytes(w, 24) * h;
    TMemoryStream s;
    stWriteByte(s, 1);
    stWriteInteger(s, 0); // the total, filled in below
    std::vector<std::uint8_t> zeros;
    for (std::int64_t at = 0; at < size; at += kLZRWBlockSize) {
        const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(kLZRWBlockSize, size - at));
        std::vector<std::uint8_t> in(static_cast<std::size_t>(n), 0);
        if (at == 0)
            std::copy(header.begin(), header.end(), in.begin());
        const bool plain = at != 0 && n == kLZRWBlockSize;
        if (plain && zeros.empty())
            zeros = DUDLZRWCompressBlock(in.data(), n);
        const std::vector<std::uint8_t> block = plain ? zeros : DUDLZRWCompressBlock(in.data(), n);
        stWriteInteger(s, static_cast<std::int32_t>(block.size()));
        s.WriteBuffer(block.data(), block.size());
    }
    const std::int64_t end = s.Position();
    s.SetPosition(1);
    stWriteInteger(s, static_cast<std::int32_t>(end - 5));
    return s.TakeBytes();
}

} // namespace

TEST(StoredRegionBounds, RegionDataThatUnitesIntoMillionsOfRectanglesGivesNoRegion)
{
    for (const int n : {4000, 8000}) { // 64 KB and 128 KB of stored data
        const auto data = DUDEncodeRegionData(Lattice(n));
        ASSERT_LE(data.size(), 16u * n + kDUDRegionHeaderSize);
        const auto r = kyd::test::runWithinMemoryBound([&] {
            return Expect(!DUDRegionBandsFromData(data.data(), data.size()), "a region came out");
        });
        EXPECT_EQ(r.report, "") << n << " rectangles";
    }
    // The same lattice small enough is a region, every column and row in it.
    const auto small = DUDEncodeRegionData(Lattice(200));
    const auto rects = DUDRegionBandsFromData(small.data(), small.size());
    ASSERT_TRUE(rects);
    EXPECT_EQ(rects->size(), 100u * 100u + 100u);
}

TEST(StoredRegionBounds, EveryPatternOfAFullHdScreenFitsAndOneRectangleMoreIsRefused)
{
    const auto r = kyd::test::runWithinMemoryBound([] {
        std::vector<TRect> board = Checkerboard(1920, 1080);
        std::string failures;
        {
            const auto data = DUDEncodeRegionData(board);
            const auto back = DUDRegionBandsFromData(data.data(), data.size());
            failures += Expect(back && back->size() == board.size(), "the checkerboard did not fit");
        }
        board.resize(kDUDRegionMaxRects + 1, TRect{0, 2000, 1, 2001});
        const auto data = DUDEncodeRegionData(board);
        failures += Expect(!DUDDecodeRegionData(data.data(), data.size()), "more rectangles than the bound decoded");
        return failures;
    });
    EXPECT_EQ(r.report, "");
}

TEST(StoredRegionBounds, PointListsWhosePolygonWouldExplodeGiveNoRegion)
{
    // 800 points (6.4 KB stored) spanning the whole range: 400 spans on
    // each of 65534 rows. And edges that cross every row on the same column,
    // which give no spans at all but would take as long to walk.
    std::vector<TPoint> flat;
    for (int i = 0; i < 4000; ++i)
        flat.push_back({0, i % 2 ? 32767 : -32767});
    const auto r = kyd::test::runWithinMemoryBound([&] {
        return Expect(DUDPointListRegionData(Zigzag(800)).empty(), "the zigzag gave a region") +
               Expect(DUDPointListRegionData(flat).empty(), "the flat zigzag gave a region") +
               Expect(!DUDPolygonBandsWithin(Zigzag(800)), "the zigzag's bands came out");
    });
    EXPECT_EQ(r.report, "");
    // A screen-sized outline of many points is still a region.
    std::vector<TPoint> comb;
    for (int i = 0; i < 400; ++i) {
        comb.push_back({i * 8, 0});
        comb.push_back({i * 8 + 4, 2000});
    }
    comb.push_back({3200, 2100});
    comb.push_back({0, 2100});
    EXPECT_FALSE(DUDPointListRegionData(comb).empty());
}

TEST(StoredRegionBounds, BorderPicturesOfAStoredMaskShareOneBudget)
{
    // Three compressed pictures of 8000 x 8000, 192 MB each once expanded,
    // each within the bound of one picture, stored in about a megabyte.
    const auto border = CompressedBlackBorder(8000, 8000);
    TDUDStreamProperties three;
    three.push_back({"RegionData", DUDEncodeRegionData({{0, 0, 8000, 8000}})});
    for (const char* name : {"BorderBmp", "BorderUpBmp", "BorderDnBmp"})
        three.push_back({name, border});
    ASSERT_LT(3 * border.size(), 2u << 20);
    TDUDStreamProperties one{three[0], three[1]};
    // What the read holds is the budget's 256 MB, and the room the one
    // picture that goes past it had taken when it was stopped.
    const auto r = kyd::test::runWithinMemoryBound(
        [&]() -> std::string {
            std::string failures;
            TDUDRegionMask mask;
            mask.SetRects({{0, 0, 10, 10}});
            const auto before = mask.RegionData();
            try {
                mask.ReadProperties(three);
                failures += "three pictures of 192 MB were read\n";
            } catch (const EReadError&) {
            } catch (const std::exception& e) {
                failures += std::string("not a read error: ") + e.what() + "\n";
            }
            failures += Expect(mask.RegionData() == before && mask.BorderBmp(0).empty() && !mask.Compressed(),
                               "the refused read changed the mask");
            // One such picture is within the budget.
            try {
                mask.ReadProperties(one);
                failures += Expect(mask.BorderBmp(0).size() == 8000u * 8000 * 3 + 54 && mask.Compressed() &&
                                       mask.Rects()->size() == 1,
                                   "the one picture came back wrong");
            } catch (const std::exception& e) {
                failures += std::string("one picture was refused: ") + e.what() + "\n";
            }
            return failures;
        },
        kyd::test::kMemoryBoundBytes + (32 << 20));
    EXPECT_EQ(r.report, "");
}

TEST(StoredRegionBounds, AMaskThatCouldNotBeReadBackIsNotWritten)
{
    // A border picture and region data that come to one byte more than a
    // stored mask may hold when it is read.
    std::vector<std::uint8_t> border = DUDBmpHeaders(2, 2, 24);
    border.resize(border.size() + 2 * DUDBmpRowBytes(2, 24), 0x7F);
    TDUDRegionMask mask;
    mask.SetBorderBmp(1, border);
    mask.SetRegionData(std::vector<std::uint8_t>(
        static_cast<std::size_t>(kDUDMaxExpanded - static_cast<std::int64_t>(border.size()) + 1), 0));
    TDUDStreamProperties out{{"Other", {1, 2, 3}}};
    EXPECT_THROW(mask.DefineProperties(out), EWriteError);
    ASSERT_EQ(out.size(), 1u) << "nothing written";

    // Within the budget it is written and reads back.
    mask.SetRects({{0, 0, 30, 20}});
    out.clear();
    mask.DefineProperties(out);
    TDUDRegionMask back;
    back.ReadProperties(out);
    EXPECT_EQ(back.RegionData(), mask.RegionData());
    EXPECT_EQ(back.BorderBmp(1), border);
}

TEST(StoredShapeBounds, TeethAndBevelNumbersNoShapeCanUseAreReadErrors)
{
    for (const char* name : {"Teeth.Width", "Teeth.Height"})
        for (const std::int32_t v : {INT_MIN, -1, 32768, INT_MAX}) {
            TDUDStreamProperties props;
            DUDWriteValue(props, name, v, 0);
            TDUDTeeth teeth;
            EXPECT_THROW(teeth.ReadProperties(props, "Teeth."), EReadError) << name << " " << v;
            EXPECT_EQ(teeth.Width(), 10);
            EXPECT_EQ(teeth.Height(), 0);
        }
    TDUDStreamProperties ok;
    DUDWriteValue(ok, "Teeth.Height", 32767, 0);
    TDUDTeeth teeth;
    teeth.ReadProperties(ok, "Teeth.");
    EXPECT_EQ(teeth.Height(), 32767);

    for (const std::int32_t style : {-1, 3, INT_MAX}) {
        TDUDStreamProperties props;
        DUDWriteValue(props, "Bevel.Style", style, 0);
        TDUDShape shape;
        EXPECT_THROW(shape.ReadProperties(props), EReadError) << style;
        EXPECT_EQ(shape.Bevel().Style(), 0);
    }
    TDUDStreamProperties inset;
    DUDWriteValue(inset, "Bevel.Style", 2, 0);
    TDUDShape shape;
    shape.ReadProperties(inset);
    EXPECT_EQ(shape.Bevel().Style(), 2);

    // Set in code, they are held to what a shape can use.
    teeth.SetWidth(INT_MIN);
    teeth.SetHeight(INT_MAX);
    EXPECT_EQ(teeth.Width(), 0);
    EXPECT_EQ(teeth.Height(), kMaxTeethSize);
}

TEST(StoredShapeBounds, OutlinesStayInTheWindowRangeWhateverTheSizeAndTeeth)
{
    TDUDTeeth teeth;
    teeth.SetSetPerCount(false);
    for (const TRect& r : {TRect{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, TRect{0, 0, 100, 1 << 30},
                           TRect{0, 0, 30000000, 30000000}, TRect{-5, -5, 32763, 32763}}) {
        for (int t = 0; t <= int(TDUDShapeType::stStar); ++t) {
            const auto o = DUDShapeOutline(r, static_cast<TDUDShapeType>(t), nullptr, false, 100, nullptr, nullptr);
            EXPECT_TRUE(o.Points.empty()) << t << ": a control beyond the window range has no outline";
        }
        EXPECT_TRUE(DUDShapeOutline(r, TDUDShapeType::stRectangle, &teeth, false, 33, nullptr, nullptr).Points.empty());
    }
    // The largest control there is: every point inside it, the teeth at
    // their finest and deepest included.
    const TRect most{0, 0, 32767, 32767};
    for (int t = 0; t <= int(TDUDShapeType::stStar); ++t) {
        const auto o = DUDShapeOutline(most, static_cast<TDUDShapeType>(t), nullptr, false, 100, nullptr, nullptr);
        ASSERT_FALSE(o.Points.empty()) << t;
        for (const TPoint& p : o.Points)
            EXPECT_TRUE(p.X >= 0 && p.X <= 32767 && p.Y >= 0 && p.Y <= 32767) << t;
    }
    for (const TDUDDirection d : {TDUDDirection::tdRight, TDUDDirection::tdDown, TDUDDirection::tdLeft,
                                  TDUDDirection::tdUp}) {
        teeth.SetDirection(d);
        teeth.SetWidth(1);
        teeth.SetHeight(1);
        const auto fine = DUDShapeOutline(most, TDUDShapeType::stRectangle, &teeth, false, 33, nullptr, nullptr);
        EXPECT_EQ(fine.Points.size(), 4u + 2 * 32767 + 1 + 1) << int(d);
        teeth.SetWidth(INT_MAX);
        teeth.SetHeight(INT_MAX);
        const auto deep = DUDShapeOutline(most, TDUDShapeType::stRectangle, &teeth, false, 33, nullptr, nullptr);
        for (const TPoint& p : deep.Points)
            EXPECT_TRUE(p.X >= -32768 && p.X <= 32767 && p.Y >= -32768 && p.Y <= 32767) << int(d);
    }
}
