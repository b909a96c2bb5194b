// The picture containers: bitmap lists (one picture an item) and image lists
// (a strip of equal-sized images an item, with an optional mask strip), and
// the two-level image-list interface (list index, image index) through which
// the library's controls draw images. Out-of-range questions get neutral
// answers: sizes and counts 0, no valid item, white colours.
#pragma once

#include "widgets/storage/containers.h"
#include "widgets/storage/property_stream.h"
#include "widgets/framework/graphics.h"

#include <QImage>

#include <memory>
#include <vector>

namespace kyd::widgets {

class TCanvas;
class TQtCanvas;

// Save pixel formats 0..3 of bitmap and image items: the picture's own
// depth, 1, 4 and 8 bits a pixel (formats of bitmap_stream.h).
int DUDSavePixelFormatToBmpFormat(int savePixelFormat);

class EInvalidGraphicOperation : public EDUDException {
public:
    using EDUDException::EDUDException;
};

class TDUDCustomImageList : public TDUDCustomContainer {
public:
    using TDUDCustomContainer::TDUDCustomContainer;

    // The image's rectangle in the item's picture (empty when invalid).
    virtual TRect ItemRect(int list, int image) const = 0;
    // Width for 0, height for 1; 0 beyond the list.
    virtual int Dimensions(int list, int which) const = 0;
    virtual int ItemCount(int list) const = 0;
    virtual bool IsValidItem(int list, int image) const = 0;
    // The picture of the image (null when invalid).
    virtual QImage GetBitmapItem(int list, int image) const = 0;
    virtual bool Masked(int list) const = 0;
    virtual TColor TransparentColor(int list, int image) const = 0;
    // White outside the image or beyond the list.
    TColor GetColorAtPoint(TPoint p, int list, int image) const;
    // The image at (x, y) in its own size (through its mask when masked).
    virtual void Draw(TCanvas& canvas, int x, int y, int list, int image) const = 0;
    // The image into r: stretched with flag $10, else at r's top-left.
    void DrawExt(TCanvas& canvas, const TRect& r, unsigned flags, int list, int image) const;
    // As DrawExt, but nothing outside r, and the pixels of `color` left out
    // (clNone: none).
    void ClipDraw(TCanvas& canvas, const TRect& r, unsigned flags, TColor color, int list, int image) const;
    // The colour table of the list's picture: empty for pictures of true
    // colour, for an empty item and beyond the list.
    virtual std::vector<TColor> Palette(int list) const;
    // A canvas that paints on the item's own picture (the strip of an
    // image item); null beyond the list, for an empty item, and for lists
    // that show pictures held elsewhere.
    virtual std::unique_ptr<TQtCanvas> BmpCanvas(int list);
};

class TDUDBitmapListItem : public TDUDListItem {
public:
    // An empty item in a container with a Source fetches its bitmap from
    // there on first use (once: FreeData allows another try). Source 2
    // reads the Qt resource ":/bitmaps/<Ident>.bmp"; source 3 the same
    // bitmap of a resource library (DUDBitmapFromResourceLibrary).
    const QImage& Bitmap() const;
    void SetBitmap(QImage v);
    int SavePixelFormat() const { return savePixelFormat_; }
    void SetSavePixelFormat(int v); // 0..3

    void FreeData() override { bitmap_ = QImage(); fetched_ = false; }
    bool GetEmpty() const override { return bitmap_.isNull(); }
    TDUDReadCost DataCost() const override;
    std::int64_t ObjectBytes() const override { return sizeof(TDUDBitmapListItem); }
    std::uint8_t WriteFlag() const override;
    std::unique_ptr<TDUDListItem> NewEmpty() const override { return std::make_unique<TDUDBitmapListItem>(); }
    void Assign(const TDUDListItem& other) override;

protected:
    void ReadBody(TStream& s, std::uint8_t flag) override;
    void WriteBody(TStream& s) const override;
    void TakeData(TDUDListItem& other) override;

private:
    friend class TDUDBitmapList; // paints on the picture (BmpCanvas)
    mutable QImage bitmap_;
    mutable bool fetched_ = false;
    int savePixelFormat_ = 0;
};

class TDUDImageListItem : public TDUDListItem {
public:
    int AllocBy() const { return allocBy_; }
    void SetAllocBy(int v) { if (v >= 1) SetField(allocBy_, v); }
    int Width() const { return width_; }
    int Height() const { return height_; }
    // A value below 1 or the current one does nothing; any other clears the
    // images.
    void SetWidth(int v);
    void SetHeight(int v);
    bool Masked() const { return masked_; }
    void SetMasked(bool v);
    int SavePixelFormat() const { return savePixelFormat_; }
    void SetSavePixelFormat(int v);
    int Count() const { return count_; }
    const QImage& Images() const { return strip_; }
    const QImage& Mask() const { return mask_; }

    // An image exactly Height high and a whole multiple of Width wide, else
    // "Invalid image size"; a strip that would grow, in steps of AllocBy
    // images, past 32768 pixels "Too many images". The mask (white where
    // transparent) may be null. Returns the index of the first image added.
    int Add(const QImage& image, const QImage& mask = QImage());
    int AddMasked(const QImage& image, TColor transparent);
    void Insert(int index, const QImage& image, const QImage& mask = QImage());
    void InsertMasked(int index, const QImage& image, TColor transparent);
    void Replace(int index, const QImage& image, const QImage& mask = QImage());
    void ReplaceMasked(int index, const QImage& image, TColor transparent);
    void AddImages(const TDUDImageListItem& other);
    // The other item's images (and mask) before image `index`.
    void InsertImages(int index, const TDUDImageListItem& other);
    void Delete(int index);
    void Move(int from, int to);
    void Clear();
    QImage GetBitmap(int index) const;
    QImage GetMaskBitmap(int index) const;
    TRect ImageRect(int index) const;

    // The item from one bitmap of `count` images; count below 1 or a width
    // that is not a multiple of it raises EDUDException, a bitmap wider
    // than 32768 pixels "Too many images" (the strip is made at the
    // bitmap's width: no growth step is added). Like Move (which grows
    // nothing, so a full strip may be reordered) and
    // LoadFromBitmap it changes all or nothing: on failure the item keeps
    // its images.
    void ConvertBmpToIML(const QImage& bitmap, int count, bool masked);
    // Loads a BMP file (a regular file only) and converts it; "Cannot open
    // file" on failure.
    void LoadFromBitmap(const std::string& name, int count, bool masked);
    // A one-item image list file.
    void SaveToFile(const std::string& name) const;
    void LoadFromFile(const std::string& name);

    void FreeData() override { Clear(); }
    bool GetEmpty() const override { return count_ == 0; }
    TDUDReadCost DataCost() const override;
    std::int64_t ObjectBytes() const override { return sizeof(TDUDImageListItem); }
    std::uint8_t WriteFlag() const override;
    std::unique_ptr<TDUDListItem> NewEmpty() const override { return std::make_unique<TDUDImageListItem>(); }
    void Assign(const TDUDListItem& other) override;

protected:
    void ReadBody(TStream& s, std::uint8_t flag) override;
    void WriteBody(TStream& s) const override;
    void TakeData(TDUDListItem& other) override;

private:
    friend class TDUDImageList; // paints on the strip (BmpCanvas)
    // The images in `image`, checked; `grown` rounds the strip up to the
    // growth step before it is held to the limit.
    void CheckSize(const QImage& image, int& n, bool grown) const;
    // The other item's pictures and settings (the pictures shared until
    // either is changed).
    void CopyData(const TDUDImageListItem& o);
    void InsertStrip(int index, const QImage& image, const QImage& mask, bool grown = true);
    int allocBy_ = 4;
    int height_ = 16;
    int width_ = 16;
    int savePixelFormat_ = 0;
    bool masked_ = false;
    int count_ = 0;
    QImage strip_; // count_ * width_ wide
    QImage mask_;
};

class TDUDBitmapList : public TDUDCustomImageList {
public:
    TDUDBitmapList() : TDUDCustomImageList(lftBitmapList) {}
    // An empty item in the DefaultPixelFormat.
    std::unique_ptr<TDUDListItem> NewItem() const override;
    TDUDBitmapListItem* Item(int index) const { return static_cast<TDUDBitmapListItem*>(GetItem(index)); }

    TRect ItemRect(int list, int image) const override;
    int Dimensions(int list, int which) const override;
    int ItemCount(int list) const override;
    bool IsValidItem(int list, int image) const override;
    QImage GetBitmapItem(int list, int image) const override;
    bool Masked(int) const override { return false; }
    TColor TransparentColor(int list, int image) const override;
    void Draw(TCanvas& canvas, int x, int y, int list, int image) const override;
    std::unique_ptr<TQtCanvas> BmpCanvas(int list) override;
};

class TDUDImageList : public TDUDCustomImageList {
public:
    TDUDImageList() : TDUDCustomImageList(lftImageList) {}
    // An empty item in the DefaultPixelFormat.
    std::unique_ptr<TDUDListItem> NewItem() const override;
    TDUDImageListItem* Item(int index) const { return static_cast<TDUDImageListItem*>(GetItem(index)); }

    TRect ItemRect(int list, int image) const override;
    int Dimensions(int list, int which) const override;
    int ItemCount(int list) const override;
    bool IsValidItem(int list, int image) const override;
    QImage GetBitmapItem(int list, int image) const override;
    bool Masked(int list) const override;
    TColor TransparentColor(int list, int image) const override;
    void Draw(TCanvas& canvas, int x, int y, int list, int image) const override;
    std::unique_ptr<TQtCanvas> BmpCanvas(int list) override;
};

// One bitmap list, one image list, one wave list and one string list.
class TDUDContainer : public TDUDBaseContainer {
public:
    TDUDContainer();
    TDUDBitmapList BitmapList;
    TDUDImageList ImageList;
    TDUDWaveList WaveList;
    TDUDStringList StringList;
};

// The face of a container on a form: at run time the process-wide
// container. Its four lists are stored as properties named after each
// list's class from its fifth character on ("BitmapList", "ImageList",
// "WaveList", "StringList"), each only when that list isn't empty; the
// payload is the list's container data with offsets.
class TDUDContainerCtrl {
public:
    // Forms are built in code, never designed: a control on a form works on
    // the process-wide container, so any number of them share it.
    TDUDContainerCtrl();
    explicit TDUDContainerCtrl(TDUDContainer& container);
    TDUDContainer& Container() { return container_; }
    void DefineProperties(TDUDStreamProperties& out) const;
    // A damaged property raises EReadError and leaves its list unchanged.
    void ReadProperties(const TDUDStreamProperties& in);

private:
    TDUDContainer& container_;
};

// One bitmap or one image item by index from a bitmap or image list file;
// false out of range, "Cannot open file" for a file of another type.
bool DUDBMLGetItem(const std::string& name, int index, QImage& bitmap);
bool DUDIMLGetItem(const std::string& name, int index, TDUDImageListItem& item);
// Bitmap `ident` of a resource library: a Qt binary resource file (made by
// `rcc -binary`) holding "bitmaps/<ident>.bmp", registered for the read and
// released again. A null image when the file or the bitmap is missing.
QImage DUDBitmapFromResourceLibrary(const std::string& file, std::uint16_t ident);

// The process-wide container, made on first use.
TDUDContainer& DUDGlobalContainer();
// True for the global container's bitmap list and image list.
bool DUDIsGlobalIdent(const TDUDCustomImageList* list);
// "DUDBML30" / "DUDIML30" for those two lists, else empty.
std::string DUDWriteGlobalIdent(const TDUDCustomImageList* list);
// The list the identifier names, else null.
TDUDCustomImageList* DUDReadGlobalIdent(const std::string& ident);
// Bitmap lists and graphic lists hold one image an item; connectors wrap
// collections.
bool DUDIsSingleItemImageList(const TDUDCustomImageList* list);
bool DUDIsCollectionImageList(const TDUDCustomImageList* list);

} // namespace kyd::widgets
