#include "widgets/painting/qt/image_list.h"

#include "widgets/painting/bmp_format.h"
#include "widgets/painting/qt/bitmap_stream.h"
#include "widgets/painting/qt/image_list_pixels.h"
#include "widgets/painting/qt/image_list_wrappers.h"
#include "widgets/framework/qt/qt_canvas.h"

#include <QFile>
#include <QResource>

#include <atomic>
#include <optional>

#include <algorithm>
#include <filesystem>

namespace kyd::widgets {

namespace detail {

TColor PixelOf(const QImage& img, int x, int y)
{
    if (img.isNull() || x < 0 || y < 0 || x >= img.width() || y >= img.height())
        return clWhite;
    return FromQColor(QColor(img.pixel(x, y)));
}

// The mask of image: white where it has the transparent colour, else black.
QImage MaskOf(const QImage& image, TColor transparent)
{
    const QRgb key = ToQColor(ColorToRGB(transparent)).rgb() & 0xFFFFFF;
    QImage mask(image.size(), QImage::Format_RGB32);
    const QImage src = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < src.height(); ++y) {
        const auto* s = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        auto* d = reinterpret_cast<QRgb*>(mask.scanLine(y));
        for (int x = 0; x < src.width(); ++x)
            d[x] = (s[x] & 0xFFFFFF) == key ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
    }
    return mask;
}

int FormatFromFlag(std::uint8_t flag)
{
    for (int f = 3; f >= 1; --f)
        if (flag & (1u << (ifFormatShift + f - 1)))
            return f;
    return 0;
}

TDUDReadCost PictureReadCost(const QImage& picture, int bmpFormat)
{
    if (picture.isNull())
        return {};
    return {DUDDecodedBytes(picture.width(), picture.height()) + kDUDPictureObjectBytes,
            DUDBmpImageSize(picture, bmpFormat)};
}

} // namespace detail

using detail::FormatFromFlag;
using detail::MaskOf;
using detail::PixelOf;

namespace {

// A BMP picture among the Qt resources, checked and decoded as stored
// pictures are; null when it is missing or damaged.
QImage ResourceBitmap(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() > kDUDMaxFileSize)
        return {};
    const QByteArray bytes = f.readAll();
    try {
        return DUDDecodeBmp(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                            static_cast<std::size_t>(bytes.size()));
    } catch (const EDUDException&) {
        return {};
    }
}

} // namespace

int DUDSavePixelFormatToBmpFormat(int savePixelFormat)
{
    switch (savePixelFormat) {
    case 1: return bfMono;
    case 2: return bfColors16;
    case 3: return bfColors256;
    default: return bfOwnDepth;
    }
}

// --- the interface -----------------------------------------------------

TColor TDUDCustomImageList::GetColorAtPoint(TPoint p, int list, int image) const
{
    if (!IsValidItem(list, image))
        return clWhite;
    return PixelOf(GetBitmapItem(list, image), p.X, p.Y);
}

void TDUDCustomImageList::DrawExt(TCanvas& canvas, const TRect& r, unsigned flags, int list, int image) const
{
    if (!IsValidItem(list, image))
        return;
    if (!(flags & 0x10)) {
        Draw(canvas, r.Left, r.Top, list, image);
        return;
    }
    auto* qc = dynamic_cast<TQtCanvas*>(&canvas);
    if (!qc)
        return;
    const QImage img = GetBitmapItem(list, image);
    qc->DrawImage(r, img, img.rect());
}

void TDUDCustomImageList::ClipDraw(TCanvas& canvas, const TRect& r, unsigned flags, TColor color, int list,
                                   int image) const
{
    if (!IsValidItem(list, image) || r.IsEmpty())
        return;
    auto* qc = dynamic_cast<TQtCanvas*>(&canvas);
    if (!qc)
        return;
    const std::optional<TRect> savedClip = canvas.ClipRect();
    canvas.SetClipRect(savedClip ? savedClip->Intersect(r) : r);
    if (color == clNone) {
        DrawExt(canvas, r, flags, list, image);
    } else {
        const QImage img = GetBitmapItem(list, image);
        const QImage mask = MaskOf(img, color);
        const TRect dest = (flags & 0x10) ? r : TRect{r.Left, r.Top, r.Left + img.width(), r.Top + img.height()};
        qc->DrawImage(dest, img, img.rect(), &mask);
    }
    if (savedClip)
        canvas.SetClipRect(*savedClip);
    else
        canvas.ClearClip();
}

std::vector<TColor> TDUDCustomImageList::Palette(int list) const
{
    std::vector<TColor> colours;
    if (!IsValidItem(list, 0))
        return colours;
    for (const QRgb rgb : GetBitmapItem(list, 0).colorTable())
        colours.push_back(FromQColor(QColor(rgb)));
    return colours;
}

std::unique_ptr<TQtCanvas> TDUDCustomImageList::BmpCanvas(int)
{
    return nullptr;
}

// --- bitmap items --------------------------------------------------------

const QImage& TDUDBitmapListItem::Bitmap() const
{
    const TDUDCustomContainer* c = Container();
    if (!bitmap_.isNull() || fetched_ || !c || c->Source == 0)
        return bitmap_;
    fetched_ = true;
    switch (c->Source) {
    case 1: {
        TDUDBitmapListItem item;
        try {
            if (DUDListGetItemFromFile(DUDBitmapItemSourceName(*c, Ident()), lftBitmapList, item, Ident()))
                bitmap_ = item.bitmap_;
        } catch (const EDUDException&) {
            // A missing or damaged list file leaves the item empty.
        }
        break;
    }
    case 2: bitmap_ = ResourceBitmap(QStringLiteral(":/bitmaps/%1.bmp").arg(Ident())); break;
    case 3: bitmap_ = DUDBitmapFromResourceLibrary(DUDBitmapItemSourceName(*c, Ident()), Ident()); break;
    case 4:
        try {
            bitmap_ = DUDLoadBmpFile(DUDBitmapItemSourceName(*c, Ident()));
        } catch (const EDUDException&) {
            // A missing, damaged or irregular file (a FIFO is not waited
            // on) leaves the item empty.
        }
        break;
    default: break;
    }
    return bitmap_;
}

void TDUDBitmapListItem::SetBitmap(QImage v)
{
    bitmap_ = std::move(v);
    fetched_ = false;
    Change();
}

void TDUDBitmapListItem::SetSavePixelFormat(int v)
{
    SetField(savePixelFormat_, std::clamp(v, 0, 3));
}

std::uint8_t TDUDBitmapListItem::WriteFlag() const
{
    std::uint8_t flag = TDUDListItem::WriteFlag();
    if (savePixelFormat_ > 0)
        flag |= static_cast<std::uint8_t>(1u << (ifFormatShift + savePixelFormat_ - 1));
    return flag;
}

void TDUDBitmapListItem::ReadBody(TStream& s, std::uint8_t flag)
{
    savePixelFormat_ = FormatFromFlag(flag);
    bitmap_ = QImage();
    fetched_ = false;
    if (flag & ifData)
        stReadBitmap(s, bitmap_, (flag & ifCompressed) != 0);
}

TDUDReadCost TDUDBitmapListItem::DataCost() const
{
    return detail::PictureReadCost(bitmap_, DUDSavePixelFormatToBmpFormat(savePixelFormat_));
}

void TDUDBitmapListItem::WriteBody(TStream& s) const
{
    if (!GetEmpty())
        stWriteBitmap(s, bitmap_, Compressed(), DUDSavePixelFormatToBmpFormat(savePixelFormat_));
}

void TDUDBitmapListItem::TakeData(TDUDListItem& other)
{
    auto& o = static_cast<TDUDBitmapListItem&>(other);
    bitmap_ = std::move(o.bitmap_);
    savePixelFormat_ = o.savePixelFormat_;
}

void TDUDBitmapListItem::Assign(const TDUDListItem& other)
{
    if (auto* o = dynamic_cast<const TDUDBitmapListItem*>(&other)) {
        bitmap_ = o->bitmap_;
        savePixelFormat_ = o->savePixelFormat_;
    }
    TDUDListItem::Assign(other);
}

// --- bitmap list ---------------------------------------------------------

std::unique_ptr<TDUDListItem> TDUDBitmapList::NewItem() const
{
    auto item = std::make_unique<TDUDBitmapListItem>();
    item->SetSavePixelFormat(DefaultPixelFormat);
    return item;
}

TRect TDUDBitmapList::ItemRect(int list, int image) const
{
    if (!IsValidItem(list, image))
        return {};
    const QImage& b = Item(list)->Bitmap();
    return {0, 0, b.width(), b.height()};
}

int TDUDBitmapList::Dimensions(int list, int which) const
{
    const auto* item = Item(list);
    if (!item || item->Bitmap().isNull())
        return 0;
    return which == 0 ? item->Bitmap().width() : which == 1 ? item->Bitmap().height() : 0;
}

int TDUDBitmapList::ItemCount(int list) const
{
    const auto* item = Item(list);
    return item && !item->Bitmap().isNull() ? 1 : 0;
}

bool TDUDBitmapList::IsValidItem(int list, int image) const
{
    return image == 0 && ItemCount(list) == 1;
}

QImage TDUDBitmapList::GetBitmapItem(int list, int image) const
{
    return IsValidItem(list, image) ? Item(list)->Bitmap() : QImage();
}

TColor TDUDBitmapList::TransparentColor(int list, int image) const
{
    if (!IsValidItem(list, image))
        return clWhite;
    const QImage& b = Item(list)->Bitmap();
    return PixelOf(b, 0, b.height() - 1);
}

void TDUDBitmapList::Draw(TCanvas& canvas, int x, int y, int list, int image) const
{
    auto* qc = dynamic_cast<TQtCanvas*>(&canvas);
    if (!qc || !IsValidItem(list, image))
        return;
    const QImage& b = Item(list)->Bitmap();
    qc->DrawImage({x, y, x + b.width(), y + b.height()}, b, b.rect());
}

std::unique_ptr<TQtCanvas> TDUDBitmapList::BmpCanvas(int list)
{
    if (!IsValidItem(list, 0))
        return nullptr;
    TDUDBitmapListItem* item = Item(list);
    // A picture with a colour table is painted in true colour.
    if (item->bitmap_.format() != QImage::Format_RGB32 && item->bitmap_.format() != QImage::Format_ARGB32)
        item->bitmap_ = item->bitmap_.convertToFormat(QImage::Format_RGB32);
    return std::make_unique<TQtCanvas>(item->bitmap_);
}

// --- image list ------------------------------------------------------------

std::unique_ptr<TDUDListItem> TDUDImageList::NewItem() const
{
    auto item = std::make_unique<TDUDImageListItem>();
    item->SetSavePixelFormat(DefaultPixelFormat);
    return item;
}

TRect TDUDImageList::ItemRect(int list, int image) const
{
    const auto* item = Item(list);
    return item ? item->ImageRect(image) : TRect{};
}

int TDUDImageList::Dimensions(int list, int which) const
{
    const auto* item = Item(list);
    if (!item)
        return 0;
    return which == 0 ? item->Width() : which == 1 ? item->Height() : 0;
}

int TDUDImageList::ItemCount(int list) const
{
    const auto* item = Item(list);
    return item ? item->Count() : 0;
}

bool TDUDImageList::IsValidItem(int list, int image) const
{
    return image >= 0 && image < ItemCount(list);
}

QImage TDUDImageList::GetBitmapItem(int list, int image) const
{
    return IsValidItem(list, image) ? Item(list)->GetBitmap(image) : QImage();
}

bool TDUDImageList::Masked(int list) const
{
    const auto* item = Item(list);
    return item && item->Masked();
}

TColor TDUDImageList::TransparentColor(int list, int image) const
{
    if (!IsValidItem(list, image))
        return clWhite;
    const auto* item = Item(list);
    return PixelOf(item->Images(), image * item->Width(), item->Height() - 1);
}

void TDUDImageList::Draw(TCanvas& canvas, int x, int y, int list, int image) const
{
    auto* qc = dynamic_cast<TQtCanvas*>(&canvas);
    if (!qc || !IsValidItem(list, image))
        return;
    const auto* item = Item(list);
    const TRect r = item->ImageRect(image);
    qc->DrawImage({x, y, x + r.Width(), y + r.Height()}, item->Images(), ToQRect(r),
                  item->Masked() ? &item->Mask() : nullptr);
}

std::unique_ptr<TQtCanvas> TDUDImageList::BmpCanvas(int list)
{
    if (!IsValidItem(list, 0))
        return nullptr;
    TDUDImageListItem* item = Item(list);
    if (item->strip_.format() != QImage::Format_RGB32 && item->strip_.format() != QImage::Format_ARGB32)
        item->strip_ = item->strip_.convertToFormat(QImage::Format_RGB32);
    return std::make_unique<TQtCanvas>(item->strip_);
}

// --- the container ---------------------------------------------------------

TDUDContainer::TDUDContainer()
{
    for (TDUDBaseContainer* list :
         std::initializer_list<TDUDBaseContainer*>{&BitmapList, &ImageList, &WaveList, &StringList})
        list->OnChange = [this](void*) { Change(); };
}

TDUDContainerCtrl::TDUDContainerCtrl() : container_(DUDGlobalContainer()) {}

TDUDContainerCtrl::TDUDContainerCtrl(TDUDContainer& container) : container_(container) {}

namespace {

struct NamedList {
    const char* name;
    TDUDCustomContainer* list;
};

std::vector<NamedList> ListsOf(TDUDContainer& c)
{
    return {{"BitmapList", &c.BitmapList}, {"ImageList", &c.ImageList}, {"WaveList", &c.WaveList},
            {"StringList", &c.StringList}};
}

} // namespace

void TDUDContainerCtrl::DefineProperties(TDUDStreamProperties& out) const
{
    for (const NamedList& l : ListsOf(container_)) {
        if (l.list->GetEmpty())
            continue;
        TMemoryStream s;
        l.list->WriteData(s, true);
        out.push_back({l.name, s.TakeBytes()});
    }
}

void TDUDContainerCtrl::ReadProperties(const TDUDStreamProperties& in)
{
    for (const NamedList& l : ListsOf(container_))
        if (const TDUDStreamProperty* p = DUDFindProperty(in, l.name)) {
            TMemoryStream s(p->Data);
            l.list->ReadData(s, true);
        }
}

bool DUDBMLGetItem(const std::string& name, int index, QImage& bitmap)
{
    TDUDBitmapListItem item;
    if (!DUDListGetItemFromFile(name, lftBitmapList, item, index))
        return false;
    bitmap = item.Bitmap();
    return true;
}

bool DUDIMLGetItem(const std::string& name, int index, TDUDImageListItem& item)
{
    return DUDListGetItemFromFile(name, lftImageList, item, index);
}

QImage DUDBitmapFromResourceLibrary(const std::string& file, std::uint16_t ident)
{
    if (file.empty() || !std::filesystem::is_regular_file(file))
        return {};
    // A root of its own, so that the library's bitmaps cannot shadow the
    // program's and two libraries cannot shadow each other.
    static std::atomic<unsigned> counter{0};
    const QString root = QStringLiteral("/kyd-resource-library-%1").arg(++counter);
    const QString path = QString::fromStdString(file);
    if (!QResource::registerResource(path, root))
        return {};
    QImage bitmap = ResourceBitmap(QStringLiteral(":%1/bitmaps/%2.bmp").arg(root).arg(ident));
    QResource::unregisterResource(path, root);
    return bitmap;
}

TDUDContainer& DUDGlobalContainer()
{
    static TDUDContainer container;
    return container;
}

bool DUDIsGlobalIdent(const TDUDCustomImageList* list)
{
    return list && (list == &DUDGlobalContainer().BitmapList || list == &DUDGlobalContainer().ImageList);
}

std::string DUDWriteGlobalIdent(const TDUDCustomImageList* list)
{
    if (list && list == &DUDGlobalContainer().BitmapList)
        return DUDICGetSignature(lftBitmapList);
    if (list && list == &DUDGlobalContainer().ImageList)
        return DUDICGetSignature(lftImageList);
    return {};
}

TDUDCustomImageList* DUDReadGlobalIdent(const std::string& ident)
{
    if (ident == DUDICGetSignature(lftBitmapList))
        return &DUDGlobalContainer().BitmapList;
    if (ident == DUDICGetSignature(lftImageList))
        return &DUDGlobalContainer().ImageList;
    return nullptr;
}

bool DUDIsSingleItemImageList(const TDUDCustomImageList* list)
{
    return dynamic_cast<const TDUDBitmapList*>(list) || dynamic_cast<const TDUDGraphicList*>(list);
}

bool DUDIsCollectionImageList(const TDUDCustomImageList* list)
{
    return dynamic_cast<const TDUDImageListConnector*>(list) != nullptr;
}

} // namespace kyd::widgets
