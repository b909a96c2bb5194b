// Region data (see widgets/dud_region_mask.h) as a Qt region and back.
#pragma once

#include "widgets/dud_region_mask.h"

#include <QList>
#include <QRect>
#include <QRegion>

#include <optional>

namespace kyd::widgets {

// The region of stored region data; nothing when the data is not valid.
// Banded data is taken as it stands, in linear time; any other data is
// built up rectangle by rectangle.
std::optional<QRegion> DUDRegionFromData(const std::uint8_t* data, std::size_t size);
std::optional<QRegion> DUDRegionFromData(const std::vector<std::uint8_t>& data);
// The region data of a region, its rectangles in bands.
std::vector<std::uint8_t> DUDRegionToData(const QRegion& region);

} // namespace kyd::widgets
