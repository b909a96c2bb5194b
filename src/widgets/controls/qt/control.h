// The control framework of the component library: a control paints itself
// through the canvas into a surface image of its size, which paint messages
// copy to the screen. A control can also draw part of itself at once (DrawNow), without
// waiting for a paint message, and paint itself onto any canvas (PaintTo),
// which is what the pixel tests look at.
#pragma once

#include "widgets/painting/bevel.h"
#include "widgets/framework/canvas.h"
#include "widgets/storage/property_stream.h"
#include "widgets/controls/qt/image_indexes.h"
#include "widgets/painting/qt/image_list.h"
#include "widgets/painting/qt/paint_objects.h"

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>

namespace kyd::widgets {

enum TDUDBoundsChangeState : std::uint8_t { bcSize = 1, bcPos = 2 };
using TDUDBoundsChangeStates = std::uint8_t;

class TDUDControl : public QWidget {
public:
    explicit TDUDControl(QWidget* parent = nullptr);

    std::function<void(TDUDControl*)> OnMouseEnter;
    std::function<void(TDUDControl*)> OnMouseExit;
    std::function<void(TDUDControl*, TDUDBoundsChangeStates)> OnBoundsChange;

    // Moves and sizes the control; reports what changed (nothing when
    // nothing did) unless the control is loading.
    void SetBounds(int left, int top, int width, int height);

    TColor Color() const { return color_; }
    void SetColor(TColor c);
    TColor FontColor() const { return fontColor_; }
    void SetFontColor(TColor c);
    // The widget's font with the font colour, as the canvas takes it.
    TFont CanvasFont() const;

    // While loading, bounds changes are not reported and nothing paints.
    bool Loading() const { return loading_; }
    void BeginLoading() { loading_ = true; }
    virtual void Loaded();

    virtual bool GetEmpty() const { return false; }
    // The handler the control installs on its settings objects: repaint.
    virtual void GetChange(void* sender);
    void FillControl(TCanvas& canvas);
    // A dotted frame over the client area: black pen of width 1, XOR, no
    // fill (drawn twice, it is gone again).
    void DrawDashedFrame(TCanvas& canvas) const;

    // Paints the whole control onto the canvas (origin at its top-left).
    void PaintTo(TCanvas& canvas);
    // A fresh picture of the whole control.
    QImage Picture();
    // The image the screen shows (empty before the first paint).
    const QImage& ScreenImage() const { return surface_; }
    TRect ClientRect() const { return {0, 0, width(), height()}; }

protected:
    virtual void Paint(TCanvas& canvas);
    virtual void BoundsChange(TDUDBoundsChangeStates changed);
    virtual void MouseEnter();
    virtual void MouseExit();
    // True when the surface no longer shows the control's state, so that
    // the next paint message must paint it afresh.
    virtual bool SurfaceStale() const { return false; }
    // True while paintEvent paints the screen surface (not a PaintTo).
    bool PaintingScreen() const { return painting_; }
    // A size set while constructing, which is not a change to report.
    void SetInitialSize(int width, int height);
    // Requests a full repaint at the next paint message.
    void Invalidate();
    // Runs fn on the screen surface now and, when it drew, shows `area` at
    // once; with no painted surface yet (hidden, or a full repaint pending)
    // the whole control is repainted instead.
    void DrawNow(const std::function<bool(TCanvas&)>& fn, const TRect& area);

    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void ReportGeometry();

    TColor color_ = clBtnFace;
    TColor fontColor_ = clWindowText;
    bool loading_ = false;
    QRect reported_;
    QImage surface_;
    bool surfaceValid_ = false;
    bool painting_ = false;
};

// Adds an image list (not owned; forgotten when it goes away) and indexes.
class TDUDBaseControl : public TDUDControl, public TDUDImageIndexes<TDUDBaseControl> {
public:
    explicit TDUDBaseControl(QWidget* parent = nullptr);
    ~TDUDBaseControl() override;

    TDUDCustomImageList* ImageList() const { return imageList_.Get(); }
    void SetImageList(TDUDCustomImageList* list);
    bool IMLEmpty() const { return imageList_.Get() == nullptr; }
    // The client area in screen coordinates.
    TRect GetScreenRect() const;
    // Whether the control paints its parent's background behind it (see
    // TDUDBaseGraphicControl); not in this base.
    virtual bool CheckOptimized() const { return false; }

    // The effects applied to the background taken from the parent; a
    // change repaints.
    TDUDBitmapEffectObject& BackFX() { return backFX_; }
    const TDUDBitmapEffectObject& BackFX() const { return backFX_; }
    void SetBackFX(const TDUDBitmapEffectObject& fx) { backFX_.Assign(fx); }
    // A point of the control in the coordinates of the parent's background
    // of size `back`: the control's position added, and, when the parent is
    // a window whose client size differs from it, half the difference (the
    // background is centred there).
    TPoint BackMapPoint(TPoint p, QSize back) const;
    // True when the control sits on a parent.
    bool HasControl() const { return parentWidget() != nullptr; }

    // The image list's identity in the form's stream: "Internal" naming one
    // of the library's global lists (a list of the form itself is stored as
    // a reference, not here).
    void DefineProperties(TDUDStreamProperties& out) const;
    // Takes the identity while loading; Loaded links the list it names.
    void ReadProperties(const TDUDStreamProperties& in);
    // Links the list read and re-links a collection image list, so that it
    // is asked afresh for what its collection holds now.
    void Loaded() override;

protected:
    virtual void GetIMLChange() { Invalidate(); }

private:
    friend class TDUDImageIndexes<TDUDBaseControl>;
    void IndexesChanged() { Invalidate(); }

    std::optional<TDUDCustomImageList*> loadedList_;
    TDUDContainerHold<TDUDCustomImageList> imageList_;
    TDUDBitmapEffectObject backFX_;
};

// The shared rule of BackMapPoint for a control at `pos` on `parent`.
TPoint DUDBackMapPoint(TPoint p, TPoint pos, const QWidget* parent, QSize back);
// Paints the background that `draw` gives into a client area of width x
// height on canvas, through fx on its way when fx is active (and canvas can
// take a picture). False, and nothing painted, when draw has none.
bool DUDDrawBackThroughFX(TCanvas& canvas, int width, int height, TDUDBitmapEffectObject& fx,
                          const std::function<bool(TCanvas&)>& draw);

// A windowless-looking control: transparent by default, 30 x 30. A
// transparent one whose parent supplies a background (CheckOptimized)
// paints that background behind itself, through its background effects;
// otherwise a transparent one paints no background and an opaque one fills
// itself with Color.
class TDUDBaseGraphicControl : public TDUDBaseControl {
public:
    explicit TDUDBaseGraphicControl(QWidget* parent = nullptr);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool v);
    void DisableTransMode() { SetTransparent(false); }
    void InvalidateControl() { Invalidate(); }
    // Transparent, on a windowed control of the library that has a
    // background to give (TDUDCustomControl::BackBitmap) or on a form whose
    // background source has one now (DUDBackgroundSource).
    bool CheckOptimized() const override;

protected:
    void Paint(TCanvas& canvas) override;
    // The parent's background under the control into its client area;
    // false when there is none.
    bool DrawParentBackground(TCanvas& canvas);
    // The parent's background may have changed since the last paint.
    bool SurfaceStale() const override { return CheckOptimized(); }

private:
    bool transparent_ = true;
};

// A graphic control framed by its bevel.
class TDUDGraphicControl : public TDUDBaseGraphicControl {
public:
    explicit TDUDGraphicControl(QWidget* parent = nullptr);
    ~TDUDGraphicControl() override;

    TDUDBevel& Bevel() { return bevel_; }
    const TDUDBevel& Bevel() const { return bevel_; }
    void SetBevel(const TDUDBevel& b) { bevel_.Assign(b); }
    int BevelExt() const { return bevel_.Extent(); }
    int DblBevelExt() const { return 2 * bevel_.Extent(); }
    TRect BeveledRect() const { return bevel_.ClientRect(ClientRect()); }

protected:
    void Paint(TCanvas& canvas) override;

private:
    TDUDBevel bevel_;
};

} // namespace kyd::widgets
