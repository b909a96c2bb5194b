#include "widgets/painting/qt/image_list_wrappers.h"

#include "widgets/framework/qt/qt_canvas.h"

namespace kyd::widgets {

namespace {

TColor BottomLeft(const QImage& img)
{
    return FromQColor(QColor(img.pixel(0, img.height() - 1)));
}

void DrawWhole(TCanvas& canvas, int x, int y, const QImage& img)
{
    if (auto* qc = dynamic_cast<TQtCanvas*>(&canvas))
        qc->DrawImage({x, y, x + img.width(), y + img.height()}, img, img.rect());
}

} // namespace

// --- connector ---------------------------------------------------------------

const TDUDPixmapList* TDUDImageListConnector::Images(int list) const
{
    if (list < 0 || list >= static_cast<int>(Items.size()))
        return nullptr;
    return Items[static_cast<std::size_t>(list)].ImageList;
}

int TDUDImageListConnector::ItemCount(int list) const
{
    if (list < 0 || list >= static_cast<int>(Items.size()))
        return -1;
    const TDUDPixmapList* images = Images(list);
    return images ? static_cast<int>(images->size()) : 0;
}

int TDUDImageListConnector::Dimensions(int list, int which) const
{
    const TDUDPixmapList* images = Images(list);
    if (!images || images->empty())
        return 0;
    const QPixmap& p = images->front();
    return which == 0 ? p.width() : which == 1 ? p.height() : 0;
}

bool TDUDImageListConnector::IsValidItem(int list, int image) const
{
    const TDUDPixmapList* images = Images(list);
    return images && image >= 0 && image < static_cast<int>(images->size()) &&
           !(*images)[static_cast<std::size_t>(image)].isNull();
}

TRect TDUDImageListConnector::ItemRect(int list, int image) const
{
    if (!IsValidItem(list, image))
        return {};
    return {0, 0, Dimensions(list, 0), Dimensions(list, 1)};
}

QImage TDUDImageListConnector::GetBitmapItem(int list, int image) const
{
    return IsValidItem(list, image) ? (*Images(list))[static_cast<std::size_t>(image)].toImage() : QImage();
}

bool TDUDImageListConnector::Masked(int list) const
{
    const TDUDPixmapList* images = Images(list);
    return images && !images->empty() && images->front().hasAlphaChannel();
}

TColor TDUDImageListConnector::TransparentColor(int list, int image) const
{
    return IsValidItem(list, image) ? BottomLeft(GetBitmapItem(list, image)) : clNone;
}

void TDUDImageListConnector::Draw(TCanvas& canvas, int x, int y, int list, int image) const
{
    if (IsValidItem(list, image))
        DrawWhole(canvas, x, y, GetBitmapItem(list, image));
}

// --- graphic list --------------------------------------------------------------

const QImage* TDUDGraphicList::Picture(int list) const
{
    if (list < 0 || list >= static_cast<int>(Items.size()))
        return nullptr;
    const QImage& p = Items[static_cast<std::size_t>(list)].Picture;
    return p.isNull() ? nullptr : &p;
}

int TDUDGraphicList::ItemCount(int list) const
{
    return Picture(list) ? 1 : 0;
}

int TDUDGraphicList::Dimensions(int list, int which) const
{
    const QImage* p = Picture(list);
    if (!p)
        return 0;
    return which == 0 ? p->width() : which == 1 ? p->height() : 0;
}

bool TDUDGraphicList::IsValidItem(int list, int image) const
{
    return image == 0 && Picture(list);
}

TRect TDUDGraphicList::ItemRect(int list, int image) const
{
    if (!IsValidItem(list, image))
        return {};
    return {0, 0, Dimensions(list, 0), Dimensions(list, 1)};
}

QImage TDUDGraphicList::GetBitmapItem(int list, int image) const
{
    return IsValidItem(list, image) ? *Picture(list) : QImage();
}

TColor TDUDGraphicList::TransparentColor(int list, int image) const
{
    return IsValidItem(list, image) ? BottomLeft(*Picture(list)) : clNone;
}

void TDUDGraphicList::Draw(TCanvas& canvas, int x, int y, int list, int image) const
{
    if (IsValidItem(list, image))
        DrawWhole(canvas, x, y, *Picture(list));
}

} // namespace kyd::widgets
