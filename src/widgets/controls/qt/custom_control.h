// The windowed branch of the control framework: a focusable control that
// keeps track of the mouse above it and of its focus, and that, when Flat,
// draws its own two-pixel border, hot while the mouse is above it or it has
// the focus.
#pragma once

#include "widgets/framework/canvas.h"
#include "widgets/controls/qt/image_indexes.h"
#include "widgets/painting/qt/image_list.h"
#include "widgets/painting/qt/paint_objects.h"

#include <QImage>
#include <QWidget>

#include <functional>

namespace kyd::widgets {

class TDUDCustomControl : public QWidget, public TDUDImageIndexes<TDUDCustomControl> {
public:
    explicit TDUDCustomControl(QWidget* parent = nullptr);
    ~TDUDCustomControl() override;

    std::function<void(TDUDCustomControl*)> OnMouseEnter;
    std::function<void(TDUDCustomControl*)> OnMouseExit;

    bool Transparent() const { return transparent_; }
    void SetTransparent(bool v);
    bool Flat() const { return flat_; }
    void SetFlat(bool v);
    bool MouseAbove() const { return mouseAbove_; }
    bool Focused() const { return focused_; }
    TColor Color() const { return color_; }
    void SetColor(TColor c);

    TDUDCustomImageList* ImageList() const { return imageList_.Get(); }
    void SetImageList(TDUDCustomImageList* list);

    virtual bool GetEmpty() const { return true; }
    // No parent here supplies a background bitmap.
    virtual bool CheckOptimized() const { return false; }
    virtual bool BackBitmap() const { return false; }
    virtual bool BackBitmapCheck() const { return false; }
    virtual void BackDrawArea(TCanvas&, const TRect&) {}
    // The colour table of the background picture (empty: none, or a
    // true-colour one).
    virtual std::vector<TColor> BackBitmapPalette() const { return {}; }

    // The effects applied to the background from the parent; a change
    // repaints.
    TDUDBitmapEffectObject& BackFXObject() { return backFX_; }
    void SetBackFXObject(const TDUDBitmapEffectObject& fx) { backFX_.Assign(fx); }
    // See TDUDBaseControl::BackMapPoint.
    TPoint BackMapPoint(TPoint p, QSize back) const;

    // The background: the parent's bitmap when there is one (through the
    // effects), else Color; nothing on a transparent control.
    void FillControl(TCanvas& canvas);
    // Repaints a rectangle of the background.
    void RepBack(const TRect& r);
    void InvalidateFrame();
    // The hot border and the flat border, drawn in the outer two pixels.
    void RestoreBorderFront(TCanvas& canvas);
    void RestoreBorderBack(TCanvas& canvas);
    // Paints the whole control onto the canvas; a fresh picture of it.
    void PaintTo(TCanvas& canvas);
    QImage Picture();

protected:
    virtual void Paint(TCanvas& canvas) { FillControl(canvas); }
    virtual void MouseEnter();
    virtual void MouseExit();
    virtual void DoEnter();
    virtual void DoExit();
    virtual void DoFlatChanged() {}
    void SetMouseAbove(bool v);

    void paintEvent(QPaintEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    friend class TDUDImageIndexes<TDUDCustomControl>;
    void IndexesChanged() { update(); }

    bool transparent_ = false;
    bool flat_ = false;
    bool mouseAbove_ = false;
    bool focused_ = false;
    TColor color_ = clBtnFace;
    TDUDContainerHold<TDUDCustomImageList> imageList_;
    TDUDBitmapEffectObject backFX_;
};

// The index among the form's children of the first one of class T, or -1.
template <class T>
int DUDCheckForFormComponent(const QWidget* form)
{
    if (!form)
        return -1;
    const auto& kids = form->children();
    for (int i = 0; i < kids.size(); ++i)
        if (dynamic_cast<const T*>(kids[i]))
            return i;
    return -1;
}

} // namespace kyd::widgets
