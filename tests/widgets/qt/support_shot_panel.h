// What the component library's screenshot programs share: a panel in the
// classic button-face grey, a grid on it, and captioned tiles painted on a
// canvas of a design size.
#pragma once

#include "widgets/framework/qt/qt_canvas.h"

#include <QGridLayout>
#include <QImage>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

namespace kyd::widgets::test {

std::unique_ptr<QWidget> Panel();
QGridLayout* Grid(QWidget* panel);
// One captioned tile painted by `paint` on a canvas of the design size w × h.
// A small picture to paint with (a sky, a sun and a hill), 32-bit RGB.
QImage Picture(int w, int h);

void Tile(QGridLayout* grid, int index, int columns, const QString& caption, int w, int h,
          const std::function<void(TQtCanvas&, const TRect&)>& paint);

} // namespace kyd::widgets::test
