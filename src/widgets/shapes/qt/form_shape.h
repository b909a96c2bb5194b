// A component that gives its form the outline of a region and lets the user
// drag the form by a free spot of its client area. A form that does not keep
// its caption loses its frame and is shaped as a whole; one that keeps it
// keeps the window manager's frame, and only its client area is shaped,
// since the decorations cannot be shaped here. A form that is frameless of
// its own stays frameless either way. One form shape to a form.
#pragma once

#include "widgets/framework/image_list_link.h"
#include "widgets/shapes/qt/form_region.h"
#include "widgets/painting/qt/image_list.h"
#include "widgets/painting/qt/paint_objects.h"
#include "widgets/shapes/qt/region.h"
#include "widgets/controls/qt/custom_control.h"
#include "widgets/controls/qt/wnd_proc_component.h"

#include <QPoint>
#include <QPointer>
#include <QWindow>

namespace kyd::widgets {

class TDUDFormShape : public TDUDWndProcComponent, public TDUDBackgroundSource {
public:
    // Raises EDUDOneInst (DUDEOneInstError) when the owner has a form shape.
    explicit TDUDFormShape(QWidget* owner);
    ~TDUDFormShape() override;

    // The outline's settings; every change rebuilds the form's region and
    // repaints it.
    TDUDBorderRegion& Region() { return region_; }
    const TDUDBorderRegion& Region() const { return region_; }
    void SetRegion(const TDUDRegion& v) { region_.Assign(v); }
    bool ShowFormCaption() const { return showFormCaption_; }
    void SetShowFormCaption(bool v);
    bool FormDragable() const { return formDragable_; }
    void SetFormDragable(bool v) { formDragable_ = v; }

    // With a traced outline (rsBitmap), the mask's border picture is the
    // background and the form takes its size.
    bool UseRgnBitmap() const { return useRgnBitmap_; }
    void SetUseRgnBitmap(bool v);

    // The background fill; a change repaints the form.
    TDUDFillObject& FillObject() { return fill_; }
    // The border drawn along the outline; a change repaints the form.
    TDUDRegionBorder& Border() { return region_.Border(); }
    // The image list and item the fill style sfBitmapList paints; a change
    // of either, or of the list's items, repaints the form.
    TDUDCustomImageList* ImageList() const { return imageList_.Get(); }
    void SetImageList(TDUDCustomImageList* v);
    int ListIndex() const { return listIndex_; }
    int ImageIndex() const { return imageIndex_; }
    // Index 0 is ListIndex, 1 ImageIndex.
    void SetInteger(int index, int v);
    void SetListIndex(int v) { SetInteger(0, v); }
    void SetImageIndex(int v) { SetInteger(1, v); }

    // The form's background: the border picture (traced outline), else the
    // one the fill paints, of the form's size; null without either. The
    // controls of the form that paint its background behind them take it
    // from here (see TDUDBackgroundSource).
    const QImage& BackBitmap() const;
    bool BackBitmapCheck() const override
    {
        return RgnBitmapUsed() || fill_.Style() != TDUDFillStyle::sfNone;
    }
    // A point of the form in the background's coordinates: the same point.
    TPoint BackMapPoint(TPoint p) const override { return p; }
    // Copies the background's area of r's size at pos into r; false when
    // there is none.
    bool BackDrawArea(TCanvas& canvas, const TRect& r, TPoint pos) const override;

    // The client area: the fill's background, then the region's shadow and
    // the border along the outline, on the rectangle the outline was built on.
    void PaintBorder(TQtCanvas& canvas, int width, int height);
    // The rectangle the last ReRegion built the outline on.
    const TRect& ClientRect() const { return clientRect_; }

    // "Internal" when the image list is one of the library's global lists.
    void DefineProperties(TDUDStreamProperties& out) const;
    // Takes the global list "Internal" names (none for an unknown name).
    void ReadProperties(const TDUDStreamProperties& in);

    // Builds the form's outline when enabled. A form shape made in code
    // that is never told it is loaded does this when its form is first
    // shown (or polished), or, made for a form already shown, once the
    // event loop runs again.
    void Loaded() override;
    // Settings of the region, the fill or the image list changed: the
    // component's OnChange, then the outline is built again.
    void GetChange(void* sender) override;
    // Builds the outline for the form's size and sets it as the form's mask
    // (none when the outline comes out empty). Never re-entered.
    void ReRegion();

protected:
    bool WndProc(QObject* target, QEvent* event) override;
    // Also watches the form until it is loaded, and its window, where a
    // press on a disabled control arrives before the control drops it.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool Free(QWidget* form, const QPoint& pos) const;
    // A press that starts dragging the form, a move or a release while it
    // is dragged; true when it was used.
    bool DragEvent(QWidget* form, QEvent* event, bool fromWindow);
    void WatchWindow(QWidget* form);
    bool RgnBitmapUsed() const { return useRgnBitmap_ && region_.Shape() == TDUDRegionShape::rsBitmap; }
    // Paints the fill into back_ at width by height.
    void PaintFill(int width, int height) const;
    void Repaint();
    void GetIMLChange();

    TDUDBorderRegion region_;
    TDUDFillObject fill_;
    mutable QImage back_; // the fill's picture, made when first asked for
    QImage rgnBitmap_; // the mask's border picture, decoded
    TRect clientRect_;
    TDUDContainerHold<TDUDCustomImageList> imageList_;
    int listIndex_ = 0;
    int imageIndex_ = 0;
    bool useRgnBitmap_ = true;
    bool showFormCaption_ = true;
    bool formDragable_ = true;
    bool inUpdate_ = false;
    bool removedFrame_ = false; // the form's frame was taken off here
    bool dragging_ = false;
    bool loadedRan_ = false;
    QPointer<QWindow> window_; // the form's window, watched for presses
    QPoint dragOffset_;
};

} // namespace kyd::widgets
