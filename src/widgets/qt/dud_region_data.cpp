#include "widgets/qt/dud_region_data.h"

namespace kyd::widgets {

std::optional<QRegion> DUDRegionFromData(const std::uint8_t* data, std::size_t size)
{
    const auto rects = DUDDecodeRegionData(data, size);
    if (!rects)
        return std::nullopt;
    QList<QRect> qrects;
    qrects.reserve(static_cast<qsizetype>(rects->size()));
    for (const TRect& r : *rects)
        qrects.append(QRect(QPoint(r.Left, r.Top), QPoint(r.Right - 1, r.Bottom - 1)));
    QRegion region;
    if (DUDRegionRectsBanded(*rects)) {
        region.setRects(qrects.constData(), static_cast<int>(qrects.size()));
    } else {
        for (const QRect& q : qrects)
            if (q.isValid())
                region += q;
    }
    return region;
}

std::optional<QRegion> DUDRegionFromData(const std::vector<std::uint8_t>& data)
{
    return DUDRegionFromData(data.data(), data.size());
}

std::vector<std::uint8_t> DUDRegionToData(const QRegion& region)
{
    std::vector<TRect> rects;
    rects.reserve(static_cast<std::size_t>(region.rectCount()));
    for (const QRect& q : region)
        rects.push_back({q.left(), q.top(), q.right() + 1, q.bottom() + 1});
    return DUDEncodeRegionData(rects);
}

} // namespace kyd::widgets
