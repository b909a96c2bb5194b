#include "app/ToolPlacement.h"

#include <algorithm>
#include <set>

namespace kyd::app {

namespace {

FrameBox Grown(const FrameBox& b, int by)
{
    return {b.X - by, b.Y - by, b.W + 2 * by, b.H + 2 * by};
}

bool Free(const FrameBox& box, const FrameBox& area, const FrameBox& main, const std::vector<FrameBox>& taken,
          int gap)
{
    if (!box.Inside(area) || box.Intersects(Grown(main, gap)))
        return false;
    return std::none_of(taken.begin(), taken.end(),
                        [&](const FrameBox& t) { return box.Intersects(Grown(t, gap)); });
}

long long Overlap(const FrameBox& a, const FrameBox& b)
{
    const long long w = std::min(a.Right(), b.Right()) - std::max(a.X, b.X);
    const long long h = std::min(a.Bottom(), b.Bottom()) - std::max(a.Y, b.Y);
    return w > 0 && h > 0 ? w * h : 0;
}

} // namespace

FrameBox PlaceBesideMain(const FrameBox& area, const FrameBox& main, const std::vector<FrameBox>& taken, int w,
                         int h, int gap)
{
    // Beside the main window (right, below, left, above), lined up with its
    // edge or just after a window already placed there; nearest the main
    // window first.
    std::set<int> rows{main.Y};
    std::set<int> cols{main.X};
    const int right = main.Right() + gap;
    const int below = main.Bottom() + gap;
    std::set<int> rights{right};
    std::set<int> belows{below};
    for (const FrameBox& t : taken) {
        rows.insert(t.Bottom() + gap);
        cols.insert(t.Right() + gap);
        if (t.Right() + gap > right)
            rights.insert(t.Right() + gap);
        if (t.Bottom() + gap > below)
            belows.insert(t.Bottom() + gap);
    }
    const int left = main.X - gap - w;
    const int above = main.Y - gap - h;
    std::vector<FrameBox> candidates;
    for (int x : rights)
        for (int y : rows)
            candidates.push_back({x, y, w, h});
    for (int y : belows)
        for (int x : cols)
            candidates.push_back({x, y, w, h});
    for (int y : rows)
        candidates.push_back({left, y, w, h});
    for (int x : cols)
        candidates.push_back({x, above, w, h});
    for (const FrameBox& c : candidates)
        if (Free(c, area, main, taken, gap))
            return c;

    // A screen too small for a free place: the candidate that, kept inside
    // the area, covers least of the main window, then of the others.
    FrameBox best{};
    long long bestCost = -1;
    for (FrameBox c : candidates) {
        c.X = std::max(area.X, std::min(c.X, area.Right() - w));
        c.Y = std::max(area.Y, std::min(c.Y, area.Bottom() - h));
        long long cost = Overlap(c, main) * 1'000'000'000LL;
        for (const FrameBox& t : taken)
            cost += Overlap(c, t);
        if (bestCost < 0 || cost < bestCost) {
            best = c;
            bestCost = cost;
        }
    }
    return best;
}

FrameBox OntoScreens(const FrameBox& box, const std::vector<FrameBox>& screens, const FrameBox& fallback)
{
    long long shown = 0;
    const FrameBox* most = nullptr;
    long long mostShown = 0;
    for (const FrameBox& s : screens) {
        const long long o = Overlap(box, s);
        shown += o;
        if (o > mostShown) {
            mostShown = o;
            most = &s;
        }
    }
    const long long whole = static_cast<long long>(std::max(box.W, 0)) * std::max(box.H, 0);
    if (whole > 0 && 2 * shown >= whole)
        return box;
    const FrameBox& area = most ? *most : fallback;
    FrameBox out = box;
    out.W = std::min(box.W, area.W);
    out.H = std::min(box.H, area.H);
    out.X = std::clamp(box.X, area.X, area.Right() - out.W);
    out.Y = std::clamp(box.Y, area.Y, area.Bottom() - out.H);
    return out;
}

} // namespace kyd::app
