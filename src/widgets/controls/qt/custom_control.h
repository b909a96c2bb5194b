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

// What a form offers the controls on it that paint its background behind
// them (a form shape with a fill or a traced picture).
class TDUDBackgroundSource {
public:
    virtual ~TDUDBackgroundSource() = default;
    // Whether there is a background to take now.
    virtual bool BackBitmapCheck() const = 0;
    // A point of the form in the background's coordinates.
    virtual TPoint BackMapPoint(TPoint p) const = 0;
    // Copies the background's area of r's size at pos into r; false when
    // there is none.
    virtual bool BackDrawArea(TCanvas& canvas, const TRect& r, TPoint pos) const = 0;
};

// The background source of a form; null without one. A source registers
// itself for its form and takes itself off again (null) before it goes.
TDUDBackgroundSource* DUDBackgroundSource(const QWidget* form);
void DUDSetBackgroundSource(const QWidget* form, TDUDBackgroundSource* source);

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
    // A transparent control whose form supplies a background.
    virtual bool CheckOptimized() const { return transparent_ && BackBitmapCheck(); }
    // Whether the control paints its background from its form's (see
    // TDUDBackgroundSource), and whether the form has one to give now.
    virtual bool BackBitmap() const { return BackBitmapCheck(); }
    virtual bool BackBitmapCheck() const;
    // Copies the form's background under r (control coordinates) into r;
    // nothing without one.
    virtual void BackDrawArea(TCanvas& canvas, const TRect& r);
    // The colour table of the background picture (empty: none, or a
    // true-colour one).
    virtual std::vector<TColor> BackBitmapPalette() const { return {}; }

    // The effects applied to the background from the parent; a change
    // repaints.
    TDUDBitmapEffectObject& BackFXObject() { return backFX_; }
    void SetBackFXObject(const TDUDBitmapEffectObject& fx) { backFX_.Assign(fx); }
    // See TDUDBaseControl::BackMapPoint.
    TPoint BackMapPoint(TPoint p, QSize back) const;

    // The background: the form's background when it has one (through the
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
