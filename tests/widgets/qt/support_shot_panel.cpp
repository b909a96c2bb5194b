#include "support_shot_panel.h"

#include "platform/qt/ui_scale.h"

#include <QLabel>
#include <QPainter>
#include <QPalette>

namespace kyd::widgets::test {

using platform::UiScale;

std::unique_ptr<QWidget> Panel()
{
    auto w = std::make_unique<QWidget>();
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, ToQColor(clBtnFace));
    pal.setColor(QPalette::WindowText, ToQColor(clBtnText));
    w->setPalette(pal);
    w->setAutoFillBackground(true);
    return w;
}

QGridLayout* Grid(QWidget* panel)
{
    auto* grid = new QGridLayout(panel);
    const auto s = UiScale::For(panel);
    grid->setHorizontalSpacing(s.X(10));
    grid->setVerticalSpacing(s.Y(3));
    return grid;
}

QImage Picture(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    QPainter p(&img);
    p.fillRect(img.rect(), QColor(90, 160, 230));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 210, 40));
    p.drawEllipse(QPoint(w / 4, h / 3), h / 5, h / 5);
    p.setBrush(QColor(40, 140, 50));
    p.drawEllipse(QPoint(w * 2 / 3, h), w / 2, h / 2);
    p.end();
    return img;
}

void Tile(QGridLayout* grid, int index, int columns, const QString& caption, int w, int h,
          const std::function<void(TQtCanvas&, const TRect&)>& paint)
{
    QWidget* parent = grid->parentWidget();
    const auto s = UiScale::For(parent);
    QImage img = MakeCanvasImage(s.X(w), s.Y(h));
    img.fill(ToQColor(ColorToRGB(clBtnFace)));
    {
        TQtCanvas c(img);
        paint(c, {0, 0, img.width(), img.height()});
    }
    auto* pic = new QLabel(parent);
    pic->setPixmap(QPixmap::fromImage(img));
    auto* text = new QLabel(caption, parent);
    text->setAlignment(Qt::AlignHCenter);
    const int row = index / columns * 2;
    grid->addWidget(pic, row, index % columns, Qt::AlignHCenter);
    grid->addWidget(text, row + 1, index % columns);
}

} // namespace kyd::widgets::test
