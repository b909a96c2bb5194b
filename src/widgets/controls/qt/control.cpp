#include "widgets/controls/qt/control.h"

#include "widgets/controls/qt/custom_control.h"

#include "widgets/painting/qt/image_list_ident.h"

#include "widgets/framework/qt/qt_canvas.h"

#include <QEnterEvent>
#include <QEvent>
#include <QPaintEvent>
#include <QPainter>

namespace kyd::widgets {

// ---- TDUDControl ----

TDUDControl::TDUDControl(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_Hover, false);
}

void TDUDControl::SetBounds(int left, int top, int width, int height)
{
    setGeometry(left, top, std::max(0, width), std::max(0, height));
    ReportGeometry();
}

void TDUDControl::ReportGeometry()
{
    const QRect g = geometry();
    TDUDBoundsChangeStates changed = 0;
    if (g.topLeft() != reported_.topLeft())
        changed |= bcPos;
    if (g.size() != reported_.size())
        changed |= bcSize;
    if (loading_ || changed == 0)
        return;
    reported_ = g;
    BoundsChange(changed);
}

void TDUDControl::SetInitialSize(int width, int height)
{
    resize(width, height);
    reported_ = geometry();
}

void TDUDControl::SetColor(TColor c)
{
    if (c == color_)
        return;
    color_ = c;
    Invalidate();
}

void TDUDControl::SetFontColor(TColor c)
{
    if (c == fontColor_)
        return;
    fontColor_ = c;
    Invalidate();
}

TFont TDUDControl::CanvasFont() const
{
    return FontFromQFont(font(), fontColor_);
}

void TDUDControl::Loaded()
{
    loading_ = false;
    reported_ = geometry();
    Invalidate();
}

void TDUDControl::GetChange(void* /*sender*/)
{
    Invalidate();
}

void TDUDControl::FillControl(TCanvas& canvas)
{
    const TBrush saved = canvas.Brush;
    canvas.Brush = {color_, TBrushStyle::bsSolid};
    canvas.FillRect(ClientRect());
    canvas.Brush = saved;
}

void TDUDControl::DrawDashedFrame(TCanvas& canvas) const
{
    const TPen savedPen = canvas.Pen;
    const TBrush savedBrush = canvas.Brush;
    // Black dots on the opaque white gaps, XORed: the gaps invert what is
    // under them and the dots leave it, so every other pixel flips.
    canvas.Pen = {clWhite, 1, TPenStyle::psDot, TPenMode::pmXor};
    canvas.Brush = {clWhite, TBrushStyle::bsClear};
    canvas.Rectangle(ClientRect());
    canvas.Pen = savedPen;
    canvas.Brush = savedBrush;
}

void TDUDControl::Paint(TCanvas& canvas)
{
    FillControl(canvas);
}

void TDUDControl::PaintTo(TCanvas& canvas)
{
    if (loading_)
        return;
    canvas.Font = CanvasFont();
    Paint(canvas);
}

QImage TDUDControl::Picture()
{
    QImage img;
    // A control that corrects its size while it paints is painted again at
    // the size it settled on.
    for (int tries = 0; tries < 2 && img.size() != size(); ++tries) {
        img = MakeCanvasImage(width(), height());
        TQtCanvas canvas(img);
        PaintTo(canvas);
    }
    return img;
}

void TDUDControl::BoundsChange(TDUDBoundsChangeStates changed)
{
    if (OnBoundsChange)
        OnBoundsChange(this, changed);
}

void TDUDControl::MouseEnter()
{
    if (isEnabled() && OnMouseEnter)
        OnMouseEnter(this);
}

void TDUDControl::MouseExit()
{
    if (isEnabled() && OnMouseExit)
        OnMouseExit(this);
}

void TDUDControl::Invalidate()
{
    surfaceValid_ = false;
    update();
}

void TDUDControl::DrawNow(const std::function<bool(TCanvas&)>& fn, const TRect& area)
{
    if (painting_)
        return; // the paint under way draws everything
    if (!isVisible()) {
        Invalidate();
        return;
    }
    if (!surfaceValid_ || surface_.size() != size()) {
        Invalidate();
        repaint(); // the full paint draws everything, at once
        return;
    }
    bool drawn = false;
    {
        TQtCanvas canvas(surface_);
        canvas.Font = CanvasFont();
        drawn = fn(canvas);
    }
    if (drawn)
        repaint(ToQRect(area));
}

void TDUDControl::paintEvent(QPaintEvent* e)
{
    if (loading_)
        return;
    // The surface is painted afresh whenever it may differ from what the
    // control would paint now; otherwise it is only copied.
    if (!surfaceValid_ || surface_.size() != size() || SurfaceStale()) {
        if (surface_.size() != size())
            surface_ = MakeCanvasImage(width(), height(), true);
        else
            surface_.fill(Qt::transparent);
        painting_ = true;
        {
            TQtCanvas canvas(surface_);
            PaintTo(canvas);
        }
        painting_ = false;
        surfaceValid_ = true;
    }
    QPainter p(this);
    p.drawImage(e->rect(), surface_, e->rect());
}

void TDUDControl::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    ReportGeometry();
}

void TDUDControl::moveEvent(QMoveEvent* e)
{
    QWidget::moveEvent(e);
    ReportGeometry();
}

void TDUDControl::enterEvent(QEnterEvent* e)
{
    QWidget::enterEvent(e);
    MouseEnter();
}

void TDUDControl::leaveEvent(QEvent* e)
{
    QWidget::leaveEvent(e);
    MouseExit();
}

void TDUDControl::changeEvent(QEvent* e)
{
    QWidget::changeEvent(e);
    if (e->type() == QEvent::FontChange || e->type() == QEvent::EnabledChange)
        Invalidate();
}

// ---- TDUDBaseControl ----

TDUDBaseControl::TDUDBaseControl(QWidget* parent) : TDUDControl(parent)
{
    imageList_.OnChange = [this] { GetIMLChange(); };
    imageList_.OnRemoved = [this] { Invalidate(); };
    backFX_.OnChange = [this](void* sender) { GetChange(sender); };
}

TDUDBaseControl::~TDUDBaseControl()
{
    backFX_.OnChange = nullptr;
}

void TDUDBaseControl::DefineProperties(TDUDStreamProperties& out) const
{
    DUDWriteIdent(out, ImageList());
}

void TDUDBaseControl::ReadProperties(const TDUDStreamProperties& in)
{
    loadedList_ = DUDReadIdent(in);
}

void TDUDBaseControl::Loaded()
{
    if (loadedList_) {
        SetImageList(*loadedList_);
        loadedList_.reset();
    }
    if (TDUDCustomImageList* list = ImageList(); list && DUDIsCollectionImageList(list)) {
        imageList_.Set(nullptr);
        imageList_.Set(list);
        GetIMLChange();
    }
    TDUDControl::Loaded();
}

void TDUDBaseControl::SetImageList(TDUDCustomImageList* list)
{
    if (!imageList_.Set(list))
        return;
    Invalidate();
}

TRect TDUDBaseControl::GetScreenRect() const
{
    const QPoint tl = mapToGlobal(QPoint(0, 0));
    return {tl.x(), tl.y(), tl.x() + width(), tl.y() + height()};
}

TPoint DUDBackMapPoint(TPoint p, TPoint pos, const QWidget* parent, QSize back)
{
    TPoint out{p.X + pos.X, p.Y + pos.Y};
    if (parent && parent->isWindow() && back.isValid() && back != parent->size()) {
        out.X += (back.width() - parent->width()) / 2;
        out.Y += (back.height() - parent->height()) / 2;
    }
    return out;
}

TPoint TDUDBaseControl::BackMapPoint(TPoint p, QSize back) const
{
    return DUDBackMapPoint(p, {x(), y()}, parentWidget(), back);
}

// ---- TDUDBaseGraphicControl ----

TDUDBaseGraphicControl::TDUDBaseGraphicControl(QWidget* parent) : TDUDBaseControl(parent)
{
    // The library's own default size; forms that place controls scale them
    // to the desktop's font.
    SetInitialSize(30, 30);
}

void TDUDBaseGraphicControl::SetTransparent(bool v)
{
    if (v == transparent_)
        return;
    transparent_ = v;
    setAttribute(Qt::WA_OpaquePaintEvent, !v);
    Invalidate();
    if (parentWidget())
        parentWidget()->update(geometry());
}

bool TDUDBaseGraphicControl::CheckOptimized() const
{
    const QWidget* parent = parentWidget();
    if (!transparent_ || !parent)
        return false;
    if (const auto* owner = dynamic_cast<const TDUDCustomControl*>(parent))
        return owner->BackBitmap();
    if (!parent->isWindow())
        return false;
    const TDUDBackgroundSource* source = DUDBackgroundSource(parent);
    return source && source->BackBitmapCheck();
}

bool TDUDBaseGraphicControl::DrawParentBackground(TCanvas& canvas)
{
    QWidget* parent = parentWidget();
    const TRect all = ClientRect();
    if (auto* owner = dynamic_cast<TDUDCustomControl*>(parent)) {
        // The windowed control draws its background in its own coordinates:
        // into a picture reaching to this control's far corner, from which
        // this control's part is taken.
        const QRect at = geometry();
        if (at.right() < 0 || at.bottom() < 0)
            return false;
        QImage back = MakeCanvasImage(at.right() + 1, at.bottom() + 1);
        {
            TQtCanvas bc(back);
            owner->BackDrawArea(bc, FromQRect(at));
        }
        auto* qc = dynamic_cast<TQtCanvas*>(&canvas);
        if (!qc)
            return false;
        qc->DrawImage(all, back, at);
        return true;
    }
    const TDUDBackgroundSource* source = parent ? DUDBackgroundSource(parent) : nullptr;
    if (!source || !source->BackBitmapCheck())
        return false;
    const QPoint at = mapTo(parent, QPoint(0, 0));
    return source->BackDrawArea(canvas, all, source->BackMapPoint({at.x(), at.y()}));
}

bool DUDDrawBackThroughFX(TCanvas& canvas, int width, int height, TDUDBitmapEffectObject& fx,
                          const std::function<bool(TCanvas&)>& draw)
{
    auto* qc = dynamic_cast<TQtCanvas*>(&canvas);
    if (!qc || !fx.Active())
        return draw(canvas);
    QImage back = MakeCanvasImage(width, height);
    bool drawn;
    {
        TQtCanvas bc(back);
        drawn = draw(bc);
    }
    if (!drawn)
        return false;
    fx.Draw(back);
    qc->DrawImage({0, 0, width, height}, back, back.rect());
    return true;
}

void TDUDBaseGraphicControl::Paint(TCanvas& canvas)
{
    if (CheckOptimized()) {
        // The background behind the control goes through the background
        // effects on its way.
        if (!DUDDrawBackThroughFX(canvas, width(), height(), BackFX(),
                                  [this](TCanvas& c) { return DrawParentBackground(c); }))
            FillControl(canvas);
        return;
    }
    if (!transparent_)
        FillControl(canvas);
}

// ---- TDUDGraphicControl ----

TDUDGraphicControl::TDUDGraphicControl(QWidget* parent) : TDUDBaseGraphicControl(parent)
{
    bevel_.OnChange = [this](void* sender) { GetChange(sender); };
}

TDUDGraphicControl::~TDUDGraphicControl()
{
    bevel_.OnChange = nullptr;
}

void TDUDGraphicControl::Paint(TCanvas& canvas)
{
    if (GetEmpty() && bevel_.Extent() == 0) {
        TDUDBaseGraphicControl::Paint(canvas);
        return;
    }
    TDUDBaseGraphicControl::Paint(canvas);
    bevel_.PaintBevel(canvas, ClientRect(), Transparent());
}

} // namespace kyd::widgets
