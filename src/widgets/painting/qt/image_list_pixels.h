// Helpers shared by the image lists and their items.
#pragma once

#include "widgets/storage/containers.h"
#include "widgets/framework/graphics.h"

#include <QImage>

#include <cstdint>

namespace kyd::widgets::detail {

// The colour of the pixel at (x, y); white outside the picture.
TColor PixelOf(const QImage& img, int x, int y);
// The mask of image: white where it has the transparent colour, else black.
QImage MaskOf(const QImage& image, TColor transparent);
// The save pixel format (0..3) an item record's flag byte names.
int FormatFromFlag(std::uint8_t flag);
// What reading back a picture stored as a BMP image of bmpFormat costs: it
// is held decoded, and its stored bytes pass while it is decoded (nothing
// for a null picture).
TDUDReadCost PictureReadCost(const QImage& picture, int bmpFormat);

} // namespace kyd::widgets::detail
