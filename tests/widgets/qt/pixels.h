// Pixel helpers for the canvas tests.
#pragma once

#include "widgets/framework/graphics.h"
#include "widgets/framework/qt/qt_canvas.h"

#include <QColor>
#include <QImage>

#include <string>

namespace kyd::widgets::test {

inline TColor Px(const QImage& img, int x, int y)
{
    return FromQColor(QColor(img.pixel(x, y)));
}

inline std::string Hex(TColor c)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%06X", static_cast<unsigned>(c) & 0xFFFFFFu);
    return buf;
}

// The colour a canvas paints for c (system colours resolved).
inline TColor Rgb(TColor c)
{
    return ColorToRGB(c);
}

} // namespace kyd::widgets::test
