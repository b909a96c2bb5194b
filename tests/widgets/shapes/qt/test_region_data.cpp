#include "widgets/shapes/qt/region_data.h"

#include <gtest/gtest.h>

using namespace kyd::widgets;

namespace {

TEST(RegionDataQt, BandedAndUnbandedDataGiveTheSameRegion)
{
    const std::vector<TRect> ell{{0, 0, 2, 1}, {0, 1, 1, 2}};
    const auto banded = DUDRegionFromData(DUDEncodeRegionData(ell));
    ASSERT_TRUE(banded);
    EXPECT_EQ(*banded, QRegion(0, 0, 2, 1) + QRegion(0, 1, 1, 1));
    EXPECT_TRUE(banded->contains(QPoint(1, 0)));
    EXPECT_FALSE(banded->contains(QPoint(1, 1)));

    // Bands that could be merged still compare equal to the merged region.
    const auto stacked = DUDRegionFromData(DUDEncodeRegionData({{0, 0, 5, 1}, {0, 1, 5, 2}}));
    ASSERT_TRUE(stacked);
    EXPECT_EQ(*stacked, QRegion(0, 0, 5, 2));
    EXPECT_TRUE(stacked->contains(QPoint(4, 1)));

    // Overlapping, unsorted rectangles are joined.
    const std::vector<TRect> messy{{5, 5, 10, 10}, {0, 0, 8, 8}, {3, 3, 3, 9}};
    const auto joined = DUDRegionFromData(DUDEncodeRegionData(messy));
    ASSERT_TRUE(joined);
    EXPECT_EQ(*joined, QRegion(5, 5, 5, 5) + QRegion(0, 0, 8, 8));

    // No region is not an empty region.
    EXPECT_FALSE(DUDRegionFromData(std::vector<std::uint8_t>{1, 2, 3}));
    const auto empty = DUDRegionFromData(DUDEncodeRegionData({}));
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->isEmpty());
}

TEST(RegionDataQt, RegionRoundTripIsExact)
{
    QRegion r = QRegion(0, 0, 200, 100, QRegion::Ellipse) - QRegion(90, 40, 20, 20);
    const std::vector<std::uint8_t> bytes = DUDRegionToData(r);
    const auto rects = DUDDecodeRegionData(bytes.data(), bytes.size());
    ASSERT_TRUE(rects);
    EXPECT_TRUE(DUDRegionRectsBanded(*rects));
    EXPECT_EQ(DUDRegionFromData(bytes), r);
    EXPECT_EQ(DUDRegionToData(QRegion(0, 0, 200, 100)), DUDEncodeRegionData({{0, 0, 200, 100}}));
}

} // namespace
