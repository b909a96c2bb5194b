// Image lists over pictures held elsewhere: the connector presents lists of
// equal-sized pixmaps (not owned) and the graphic list pictures of its own,
// each through the library's two-level image-list interface. Neither holds
// container items of its own, nor has a list file.
#pragma once

#include "widgets/painting/qt/image_list.h"

#include <QPixmap>

#include <string>
#include <vector>

namespace kyd::widgets {

// Equal-sized pixmaps, the images of a connector's entry.
using TDUDPixmapList = std::vector<QPixmap>;

struct TDUDBorImageListItem {
    std::string Name;
    const TDUDPixmapList* ImageList = nullptr; // not owned
    int Index = 0;
};

class TDUDImageListConnector : public TDUDCustomImageList {
public:
    TDUDImageListConnector() : TDUDCustomImageList(lftUnknown) {}
    std::unique_ptr<TDUDListItem> NewItem() const override { return nullptr; }

    // Entries; call Changed() after editing them.
    std::vector<TDUDBorImageListItem> Items;

    TRect ItemRect(int list, int image) const override;
    int Dimensions(int list, int which) const override;
    // The image count; -1 beyond the list.
    int ItemCount(int list) const override;
    bool IsValidItem(int list, int image) const override;
    QImage GetBitmapItem(int list, int image) const override;
    bool Masked(int list) const override;
    TColor TransparentColor(int list, int image) const override;
    void Draw(TCanvas& canvas, int x, int y, int list, int image) const override;

private:
    const TDUDPixmapList* Images(int list) const;
};

struct TDUDGraphicListItem {
    std::string Name;
    QImage Picture; // owned
    int Index = 0;
};

class TDUDGraphicList : public TDUDCustomImageList {
public:
    TDUDGraphicList() : TDUDCustomImageList(lftUnknown) {}
    std::unique_ptr<TDUDListItem> NewItem() const override { return nullptr; }

    std::vector<TDUDGraphicListItem> Items;

    TRect ItemRect(int list, int image) const override;
    int Dimensions(int list, int which) const override;
    // 1 for a valid picture, else 0.
    int ItemCount(int list) const override;
    bool IsValidItem(int list, int image) const override;
    QImage GetBitmapItem(int list, int image) const override;
    bool Masked(int) const override { return false; }
    // clNone when the entry holds no valid picture.
    TColor TransparentColor(int list, int image) const override;
    void Draw(TCanvas& canvas, int x, int y, int list, int image) const override;

private:
    const QImage* Picture(int list) const;
};

} // namespace kyd::widgets
