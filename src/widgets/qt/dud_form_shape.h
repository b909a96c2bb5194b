// A component that gives its form the outline of a region and lets the user
// drag the form by a free spot of its client area. A form that does not keep
// its caption is frameless and shaped as a whole; one that keeps it keeps
// the window manager's frame, and only its client area is shaped, since the
// decorations cannot be shaped here.
#pragma once

#include "widgets/qt/dud_form_region.h"
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

    void Loaded() override;
    // Builds the outline for the form's size and sets it as the form's mask
    // (none when the outline comes out empty). Never re-entered.
    void ReRegion();

protected:
    bool WndProc(QObject* target, QEvent* event) override;

private:
    bool Free(QWidget* form, const QPoint& pos) const;

    TDUDRegionParams region_;
    bool showFormCaption_ = true;
    bool formDragable_ = true;
    bool inUpdate_ = false;
    bool dragging_ = false;
    QPoint dragOffset_;
};

} // namespace kyd::widgets
