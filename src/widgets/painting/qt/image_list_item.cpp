// The image items of the image lists: strips of images of one size, with
// an optional mask strip, and how they are stored.
#include "widgets/painting/qt/image_list.h"

#include "widgets/painting/bmp_format.h"
#include "widgets/painting/qt/bitmap_stream.h"
#include "widgets/painting/qt/image_list_pixels.h"
#include "widgets/framework/qt/qt_canvas.h"

#include <QPainter>

#include <algorithm>
#include <filesystem>

namespace kyd::widgets {

using detail::FormatFromFlag;
using detail::MaskOf;
using detail::PixelOf;

namespace {

constexpr int kMaxStrip = 32768;

QImage BlankStrip(int width, int height, bool white)
{
    QImage img(std::max(width, 0), std::max(height, 0), QImage::Format_RGB32);
    img.fill(white ? Qt::white : Qt::black);
    return img;
}

// The picture at four bytes a pixel; EReadError when there is no memory for
// it (Qt answers a failed conversion with a null picture).
QImage TrueColour(const QImage& picture)
{
    QImage converted = picture.convertToFormat(QImage::Format_RGB32);
    if (converted.isNull())
        throw EReadError("Not enough memory for the picture");
    return converted;
}

// A new strip; EInvalidGraphicOperation when there is no memory for it.
QImage NewStrip(int width, int height)
{
    QImage strip = BlankStrip(width, height, false);
    if (strip.isNull() && width > 0 && height > 0)
        throw EInvalidGraphicOperation("Not enough memory for the images");
    return strip;
}

// Columns [x, x + w) of src placed at column at of dst.
void CopyColumns(QImage& dst, int at, const QImage& src, int x, int w)
{
    QPainter p(&dst);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(QPoint(at, 0), src, QRect(x, 0, w, src.height()));
}

} // namespace

// --- image items ---------------------------------------------------------

void TDUDImageListItem::SetWidth(int v)
{
    if (v < 1 || v == width_)
        return;
    width_ = v;
    Clear();
}

void TDUDImageListItem::SetHeight(int v)
{
    if (v < 1 || v == height_)
        return;
    height_ = v;
    Clear();
}

void TDUDImageListItem::SetMasked(bool v)
{
    if (v == masked_)
        return;
    masked_ = v;
    mask_ = v ? BlankStrip(strip_.width(), strip_.height(), false) : QImage();
    Change();
}

void TDUDImageListItem::SetSavePixelFormat(int v)
{
    SetField(savePixelFormat_, std::clamp(v, 0, 3));
}

void TDUDImageListItem::Clear()
{
    count_ = 0;
    strip_ = QImage();
    mask_ = QImage();
    Change();
}

void TDUDImageListItem::CheckSize(const QImage& image, int& n, bool grown) const
{
    if (image.isNull() || image.height() != height_ || image.width() % width_ != 0)
        throw EInvalidGraphicOperation("Invalid image size");
    n = image.width() / width_;
    // A strip that grows does so by AllocBy images at a time.
    const std::int64_t images = count_ + n;
    const std::int64_t capacity = grown ? (images + allocBy_ - 1) / allocBy_ * allocBy_ : images;
    if (capacity * width_ > kMaxStrip)
        throw EInvalidGraphicOperation("Too many images");
}

void TDUDImageListItem::InsertStrip(int index, const QImage& image, const QImage& mask, bool grown)
{
    int n = 0;
    CheckSize(image, n, grown);
    index = std::clamp(index, 0, count_);
    QImage strip = NewStrip((count_ + n) * width_, height_);
    QImage newMask = masked_ ? NewStrip(strip.width(), height_) : QImage();
    const int at = index * width_;
    if (count_ > 0) {
        CopyColumns(strip, 0, strip_, 0, at);
        CopyColumns(strip, at + n * width_, strip_, at, count_ * width_ - at);
        if (masked_) {
            CopyColumns(newMask, 0, mask_, 0, at);
            CopyColumns(newMask, at + n * width_, mask_, at, count_ * width_ - at);
        }
    }
    CopyColumns(strip, at, image, 0, image.width());
    if (masked_ && !mask.isNull())
        CopyColumns(newMask, at, mask, 0, std::min(mask.width(), image.width()));
    strip_ = std::move(strip);
    mask_ = std::move(newMask);
    count_ += n;
    Change();
}

int TDUDImageListItem::Add(const QImage& image, const QImage& mask)
{
    const int first = count_;
    InsertStrip(count_, image, mask);
    return first;
}

int TDUDImageListItem::AddMasked(const QImage& image, TColor transparent)
{
    return Add(image, MaskOf(image, transparent));
}

void TDUDImageListItem::Insert(int index, const QImage& image, const QImage& mask)
{
    InsertStrip(index, image, mask);
}

void TDUDImageListItem::InsertMasked(int index, const QImage& image, TColor transparent)
{
    InsertStrip(index, image, MaskOf(image, transparent));
}

void TDUDImageListItem::Replace(int index, const QImage& image, const QImage& mask)
{
    if (index < 0 || index >= count_)
        return;
    if (image.isNull() || image.width() != width_ || image.height() != height_)
        throw EInvalidGraphicOperation("Invalid image size");
    CopyColumns(strip_, index * width_, image, 0, width_);
    if (masked_)
        CopyColumns(mask_, index * width_, mask.isNull() ? BlankStrip(width_, height_, false) : mask, 0, width_);
    Change();
}

void TDUDImageListItem::ReplaceMasked(int index, const QImage& image, TColor transparent)
{
    Replace(index, image, MaskOf(image, transparent));
}

void TDUDImageListItem::AddImages(const TDUDImageListItem& other)
{
    if (other.count_ == 0)
        return;
    Add(other.strip_, other.masked_ ? other.mask_ : QImage());
}

void TDUDImageListItem::InsertImages(int index, const TDUDImageListItem& other)
{
    if (other.count_ == 0)
        return;
    InsertStrip(index, other.strip_, other.masked_ ? other.mask_ : QImage());
}

void TDUDImageListItem::Delete(int index)
{
    if (index < 0 || index >= count_)
        return;
    if (count_ == 1) {
        Clear();
        return;
    }
    QImage strip = NewStrip((count_ - 1) * width_, height_);
    CopyColumns(strip, 0, strip_, 0, index * width_);
    CopyColumns(strip, index * width_, strip_, (index + 1) * width_, (count_ - index - 1) * width_);
    if (masked_) {
        QImage m = NewStrip(strip.width(), height_);
        CopyColumns(m, 0, mask_, 0, index * width_);
        CopyColumns(m, index * width_, mask_, (index + 1) * width_, (count_ - index - 1) * width_);
        mask_ = std::move(m);
    }
    strip_ = std::move(strip);
    --count_;
    Change();
}

namespace {

// A copy of a strip of images `w` wide with image `from` moved to `to`;
// EInvalidGraphicOperation when there is no memory for it.
QImage MovedImages(const QImage& strip, int from, int to, int w)
{
    QImage moved = strip.copy();
    if (moved.isNull())
        throw EInvalidGraphicOperation("Not enough memory for the images");
    if (from < to)
        CopyColumns(moved, from * w, strip, (from + 1) * w, (to - from) * w);
    else
        CopyColumns(moved, (to + 1) * w, strip, to * w, (from - to) * w);
    CopyColumns(moved, to * w, strip, from * w, w);
    return moved;
}

} // namespace

void TDUDImageListItem::Move(int from, int to)
{
    if (from < 0 || from >= count_ || to < 0 || to >= count_ || from == to)
        return;
    // The strip keeps its size: nothing grows, so a full strip can be
    // reordered too. The new strips are taken over only once both are
    // complete: a failure leaves the item as it was.
    QImage strip = MovedImages(strip_, from, to, width_);
    QImage mask = masked_ && !mask_.isNull() ? MovedImages(mask_, from, to, width_) : mask_;
    strip_ = std::move(strip);
    mask_ = std::move(mask);
    Change();
}

TRect TDUDImageListItem::ImageRect(int index) const
{
    if (index < 0 || index >= count_)
        return {};
    return {index * width_, 0, (index + 1) * width_, height_};
}

QImage TDUDImageListItem::GetBitmap(int index) const
{
    if (index < 0 || index >= count_)
        return {};
    return strip_.copy(index * width_, 0, width_, height_);
}

QImage TDUDImageListItem::GetMaskBitmap(int index) const
{
    if (!masked_ || index < 0 || index >= count_)
        return {};
    return mask_.copy(index * width_, 0, width_, height_);
}

void TDUDImageListItem::ConvertBmpToIML(const QImage& bitmap, int count, bool masked)
{
    if (count < 1 || bitmap.isNull() || bitmap.width() % count != 0)
        throw EDUDException("Invalid image count");
    // Made on a new item and taken over only once it is complete: a failure
    // (a strip too wide, no memory) leaves the item as it was.
    TDUDImageListItem made;
    made.allocBy_ = allocBy_;
    made.width_ = bitmap.width() / count;
    made.height_ = bitmap.height();
    made.masked_ = masked;
    // The strip is made at the bitmap's width: it does not grow, so no
    // growth step is added before it is held to the limit.
    if (masked) {
        const TColor transparent = PixelOf(bitmap, 0, bitmap.height() - 1);
        made.InsertStrip(0, bitmap, MaskOf(bitmap, transparent), false);
    } else {
        made.InsertStrip(0, bitmap, QImage(), false);
    }
    made.savePixelFormat_ = savePixelFormat_;
    TakeData(made);
    Change();
}

void TDUDImageListItem::LoadFromBitmap(const std::string& name, int count, bool masked)
{
    QImage bitmap;
    try {
        if (count >= 1)
            bitmap = DUDLoadBmpFile(name);
    } catch (const EStreamError&) {
        throw DUDCannotOpenFile(name);
    }
    if (bitmap.isNull() || bitmap.width() % count != 0)
        throw DUDCannotOpenFile(name);
    // One change for the pictures and the name; nothing changes on failure.
    TDUDUpdate update(*this);
    try {
        ConvertBmpToIML(bitmap, count, masked);
    } catch (const EInvalidGraphicOperation&) {
        throw DUDCannotOpenFile(name);
    }
    SetDescription(std::filesystem::path(name).filename().string());
    update.Commit();
}

std::uint8_t TDUDImageListItem::WriteFlag() const
{
    std::uint8_t flag = TDUDListItem::WriteFlag();
    if (savePixelFormat_ > 0)
        flag |= static_cast<std::uint8_t>(1u << (ifFormatShift + savePixelFormat_ - 1));
    return flag;
}

void TDUDImageListItem::WriteBody(TStream& s) const
{
    stWriteInteger(s, height_);
    stWriteInteger(s, width_);
    stWriteInteger(s, allocBy_);
    stWriteByte(s, masked_ ? 1 : 0);
    stWriteInteger(s, count_);
    if (count_ > 0) {
        const int format = DUDSavePixelFormatToBmpFormat(savePixelFormat_);
        stWriteBitmap(s, strip_, Compressed(), format);
        if (masked_)
            stWriteBitmap(s, mask_, Compressed(), bfMono);
    }
}

TDUDReadCost TDUDImageListItem::DataCost() const
{
    if (count_ == 0)
        return {};
    TDUDReadCost cost = detail::PictureReadCost(strip_, DUDSavePixelFormatToBmpFormat(savePixelFormat_));
    if (masked_)
        cost.Add(detail::PictureReadCost(mask_, bfMono));
    return cost;
}

void TDUDImageListItem::ReadBody(TStream& s, std::uint8_t flag)
{
    const int height = stReadInteger(s);
    const int width = stReadInteger(s);
    const int allocBy = stReadInteger(s);
    const bool masked = stReadByte(s) != 0;
    const int count = stReadInteger(s);
    if (width < 1 || height < 1 || allocBy < 1 || count < 0 ||
        static_cast<std::int64_t>(count) * width > kMaxStrip)
        throw EReadError("Bad image list item");
    QImage strip, mask;
    const bool compressed = (flag & ifCompressed) != 0;
    if (count > 0) {
        // Each strip is counted once, at the four bytes a pixel it is held
        // at, before it is decoded (its stored bytes only while they are
        // decoded): a list the library writes reads back within the budget.
        stReadBitmap(s, strip, compressed);
        if (strip.width() != count * width || strip.height() != height)
            throw EReadError("Image strip of the wrong size");
        strip = TrueColour(strip);
        if (masked) {
            stReadBitmap(s, mask, compressed);
            if (mask.size() != strip.size())
                throw EReadError("Mask strip of the wrong size");
            mask = TrueColour(mask);
        }
    }
    height_ = height;
    width_ = width;
    allocBy_ = allocBy;
    masked_ = masked;
    count_ = count;
    savePixelFormat_ = FormatFromFlag(flag);
    strip_ = std::move(strip);
    mask_ = masked && count > 0 ? std::move(mask) : QImage();
}

void TDUDImageListItem::TakeData(TDUDListItem& other)
{
    auto& o = static_cast<TDUDImageListItem&>(other);
    CopyData(o); // the pictures shared, then left to this item alone
    o.strip_ = QImage();
    o.mask_ = QImage();
}

void TDUDImageListItem::CopyData(const TDUDImageListItem& o)
{
    allocBy_ = o.allocBy_;
    height_ = o.height_;
    width_ = o.width_;
    savePixelFormat_ = o.savePixelFormat_;
    masked_ = o.masked_;
    count_ = o.count_;
    strip_ = o.strip_;
    mask_ = o.mask_;
}

void TDUDImageListItem::Assign(const TDUDListItem& other)
{
    if (auto* o = dynamic_cast<const TDUDImageListItem*>(&other))
        CopyData(*o);
    TDUDListItem::Assign(other);
}

void TDUDImageListItem::SaveToFile(const std::string& name) const
{
    TMemoryStream s;
    stWriteString(s, DUDICGetSignature(lftImageList));
    stWriteInteger(s, 1);
    stWriteInteger(s, static_cast<std::int32_t>(s.Position() + 4));
    WriteData(s);
    DUDSaveListFile(name, s);
}

void TDUDImageListItem::LoadFromFile(const std::string& name)
{
    try {
        TMemoryStream s = DUDLoadListFile(name, lftImageList);
        stReadInteger(s); // the count
        stReadInteger(s); // the one offset
        ReadData(s);
    } catch (const EStreamError&) {
        throw DUDCannotOpenFile(name);
    }
}

} // namespace kyd::widgets
