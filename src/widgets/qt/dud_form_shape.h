// A component that gives its form the outline of a region and lets the user
// drag the form by a free spot of its client area. A form that does not keep
// its caption is frameless and shaped as a whole; one that keeps it keeps
// the window manager's frame, and only its client area is shaped, since the
// decorations cannot be shaped here.
#pragma once

#include "widgets/qt/dud_form_region.h"
#include "widgets/qt/dud_paint_objects.h"
#include "widgets/qt/dud_region.h"
#include "widgets/qt/dud_wnd_proc_component.h"

#include <QPoint>

namespace kyd::widgets {

class TDUDFormShape : public TDUDWndProcComponent {
public:
    explicit TDUDFormShape(QWidget* owner);

    const TDUDRegionParams& Region() const { return region_; }
    // A new outline; rebuilds the form's region.
    void SetRegion(const TDUDRegionParams& v);
    bool ShowFormCaption() const { return showFormCaption_; }
    void SetShowFormCaption(bool v);
    bool FormDragable() const { return formDragable_; }
    void SetFormDragable(bool v) { formDragable_ = v; }

    // The background fill; a change repaints the form.
    TDUDFillObject& FillObject() { return fill_; }
    // The border drawn along the outline; a change repaints the form.
    TDUDRegionBorder& Border() { return border_; }
    // The background the fill paints, of the client size; null before the
    // first paint or without a fill.
    const QImage& BackBitmap() const { return back_; }
    bool BackBitmapCheck() const { return fill_.Style() != TDUDFillStyle::sfNone; }
    // Copies the background's area of r's size at pos into r (for controls
    // that paint the form's background behind them); false when there is none.
    bool BackDrawArea(TQtCanvas& canvas, const TRect& r, TPoint pos) const;

    // The client area: the fill's background, then the border along the
    // outline.
    void PaintBorder(TQtCanvas& canvas, int width, int height);

    void Loaded() override;
    // Builds the outline for the form's size and sets it as the form's mask
    // (none when the outline comes out empty). Never re-entered.
    void ReRegion();

protected:
    bool WndProc(QObject* target, QEvent* event) override;

private:
    bool Free(QWidget* form, const QPoint& pos) const;

    TDUDRegionParams region_;
    TDUDFillObject fill_;
    TDUDRegionBorder border_;
    QImage back_;
    bool showFormCaption_ = true;
    bool formDragable_ = true;
    bool inUpdate_ = false;
    bool dragging_ = false;
    QPoint dragOffset_;
};

} // namespace kyd::widgets
