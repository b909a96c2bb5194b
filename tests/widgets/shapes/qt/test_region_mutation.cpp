// Mutation testing of what a stored form hands the window regions: region
// data, a point list's integer list and the settings an outline is built
// from, each taken from sound seeds and damaged in a fixed pseudo-random
// sequence (bytes flipped, numbers replaced by extreme ones, cut short,
// parts repeated). Run in a child under the memory bound; under the asan
// build the sanitizers watch every step. Whatever comes out is a region
// within the window range and the rectangle bound, or none.
#include "memory_bound.h"

#include "widgets/shapes/qt/region.h"
#include "widgets/shapes/qt/region_data.h"
#include "widgets/shapes/qt/window_regions.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <random>

using namespace kyd::widgets;

namespace {

using Bytes = std::vector<std::uint8_t>;

const QRect kWindowRange(-32767, -32767, 2 * 32767 + 1, 2 * 32767 + 1);

class Mutator {
public:
    explicit Mutator(std::uint32_t seed) : rng_(seed) {}

    int Below(int n) { return static_cast<int>(rng_() % static_cast<std::uint32_t>(n)); }

    std::int32_t Extreme()
    {
        static const std::int32_t values[] = {0,     1,          -1,      2,      32767,   32768, -32767,
                                              -32768, 65535,     65536,   1 << 20, 1 << 30, INT_MAX, INT_MIN,
                                              4000,  1048576,    1048577, 100,    16,      32};
        return values[Below(static_cast<int>(std::size(values)))];
    }

    Bytes Mutate(Bytes b)
    {
        const int steps = 1 + Below(4);
        for (int s = 0; s < steps; ++s) {
            switch (Below(5)) {
            case 0: // a byte flipped
                if (!b.empty())
                    b[static_cast<std::size_t>(Below(static_cast<int>(b.size())))] ^=
                        static_cast<std::uint8_t>(1u << Below(8));
                break;
            case 1: // a number replaced, aligned as the data's numbers are
                if (b.size() >= 4) {
                    const std::size_t at = static_cast<std::size_t>(Below(static_cast<int>(b.size() / 4))) * 4;
                    const auto v = static_cast<std::uint32_t>(Extreme());
                    for (int i = 0; i < 4; ++i)
                        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
                }
                break;
            case 2: // cut short
                b.resize(static_cast<std::size_t>(Below(static_cast<int>(b.size()) + 1)));
                break;
            case 3: { // a part repeated at the end
                if (b.empty())
                    break;
                const std::size_t from = static_cast<std::size_t>(Below(static_cast<int>(b.size())));
                const std::size_t len = std::min<std::size_t>(b.size() - from, 1 + Below(64));
                const Bytes part(b.begin() + static_cast<std::ptrdiff_t>(from),
                                 b.begin() + static_cast<std::ptrdiff_t>(from + len));
                for (int k = Below(8); k >= 0; --k)
                    b.insert(b.end(), part.begin(), part.end());
                break;
            }
            case 4: // a random byte anywhere
                if (!b.empty())
                    b[static_cast<std::size_t>(Below(static_cast<int>(b.size())))] = static_cast<std::uint8_t>(rng_());
                break;
            }
        }
        return b;
    }

private:
    std::mt19937 rng_;
};

std::string CheckRegion(const std::optional<QRegion>& g, const char* what)
{
    if (!g || g->isEmpty())
        return {};
    if (!kWindowRange.contains(g->boundingRect()))
        return std::string(what) + ": a region beyond the window range\n";
    if (static_cast<std::size_t>(g->rectCount()) > kDUDRegionMaxRects)
        return std::string(what) + ": more rectangles than the bound\n";
    return {};
}

std::vector<Bytes> RegionSeeds()
{
    std::vector<Bytes> seeds;
    seeds.push_back(DUDRegionToData(DUDEllipticRgn({0, 0, 300, 200})));
    seeds.push_back(DUDRegionToData(DUDCreateStarRgn({5, 5, 120, 120})));
    seeds.push_back(DUDEncodeRegionData({{0, 0, 10, 10}, {5, 5, 20, 20}, {-3, 8, 2, 30}})); // not banded
    std::vector<TRect> lattice;
    for (int i = 0; i < 40; ++i) {
        lattice.push_back({2 * i, 0, 2 * i + 1, 80});
        lattice.push_back({0, 2 * i, 80, 2 * i + 1});
    }
    seeds.push_back(DUDEncodeRegionData(lattice));
    return seeds;
}

std::vector<Bytes> PointListSeeds()
{
    return {DUDIntegerListData({0, 0, 40, 0, 40, 40, 0, 40}),
            DUDIntegerListData({10, 0, 20, 30, 0, 12, 30, 12, 0, 30}),
            DUDIntegerListData({0, -32767, 8, 32767, 16, -32767, 24, 32767})};
}

// Runs step(m, i) for i = 0 .. runs - 1 in a child under the memory bound,
// until one reports a failure; expects none.
void Mutations(std::uint32_t seed, int runs, const std::function<std::string(Mutator&, int)>& step)
{
    const auto r = kyd::test::runWithinMemoryBound([&] {
        Mutator m(seed);
        std::string failures;
        for (int i = 0; i < runs && failures.empty(); ++i)
            failures += step(m, i);
        return failures;
    });
    EXPECT_EQ(r.report, "");
}

} // namespace

TEST(RegionMutation, DamagedRegionDataGivesASoundRegionOrNone)
{
    const auto seeds = RegionSeeds();
    Mutations(45, 2000, [&](Mutator& m, int i) {
        const Bytes data = m.Mutate(seeds[static_cast<std::size_t>(i) % seeds.size()]);
        std::string failures = CheckRegion(DUDRegionFromData(data), "DUDRegionFromData");
        TDUDRegion reg;
        try {
            reg.Mask().ReadProperties({{"RegionData", data}});
        } catch (const EDUDException&) {
            return failures;
        }
        reg.SetRegionShape(TDUDRegionShape::rsBitmap);
        return failures + CheckRegion(reg.CreateRegion({0, 0, 400, 300}), "traced outline");
    });
}

TEST(RegionMutation, DamagedPointListsAreReadErrorsOrGiveASoundRegion)
{
    const auto seeds = PointListSeeds();
    Mutations(4545, 2000, [&](Mutator& m, int i) -> std::string {
        const Bytes data = m.Mutate(seeds[static_cast<std::size_t>(i) % seeds.size()]);
        TDUDRegion reg;
        reg.SetRegionShape(TDUDRegionShape::rsPointList);
        try {
            reg.ReadData(data);
        } catch (const EReadError&) {
            return reg.Points().Count() != 0 ? "a damaged list left points behind\n" : "";
        }
        std::string failures = CheckRegion(reg.CreateRegion({0, 0, 400, 300}), "point list");
        reg.SetOrigin({m.Extreme(), m.Extreme()});
        return failures + CheckRegion(reg.CreateRegion({m.Extreme(), m.Extreme(), 400, 300}), "point list moved");
    });
}

TEST(RegionMutation, OutlinesFromDamagedSettingsAreSoundOrNone)
{
    const auto regionSeeds = RegionSeeds();
    const auto listSeeds = PointListSeeds();
    Mutations(454545, 1500, [&](Mutator& m, int i) {
        TDUDRegionParams p;
        p.Shape = static_cast<TDUDRegionShape>(m.Below(int(TDUDRegionShape::rsPointList) + 1));
        p.ExtPos = static_cast<TDUDExtPos>(m.Below(8));
        // Mostly window sizes, now and then the extremes.
        const auto coord = [&m](int most) { return m.Below(4) == 0 ? m.Extreme() : m.Below(most) - 50; };
        const TRect rect{coord(100), coord(100), coord(900), coord(700)};
        p.RoundX = coord(80);
        p.RoundY = coord(80);
        p.BubbleCount = m.Below(3) == 0 ? m.Extreme() % 64 : m.Below(8);
        p.ShadowDepth = m.Below(41);
        p.Origin = {m.Below(5) == 0 ? m.Extreme() : m.Below(20), m.Below(5) == 0 ? m.Extreme() : m.Below(20)};
        p.DesignTime = m.Below(2) == 0;
        const Bytes mask = m.Mutate(regionSeeds[static_cast<std::size_t>(i) % regionSeeds.size()]);
        std::vector<TPoint> pts;
        try {
            const auto v = DUDIntegerListFromData(m.Mutate(listSeeds[static_cast<std::size_t>(i) % listSeeds.size()]));
            for (std::size_t k = 0; k + 1 < v.size(); k += 2)
                pts.push_back({v[k], v[k + 1]});
        } catch (const EDUDException&) {
        }
        const Bytes user = DUDPointListRegionData(pts);
        p.MaskData = &mask;
        p.UserData = m.Below(2) ? &user : &mask;
        return CheckRegion(DUDCreateShapeRegion(rect, p), "DUDCreateShapeRegion");
    });
}
