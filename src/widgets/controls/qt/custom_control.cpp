#include "widgets/controls/qt/custom_control.h"

#include "widgets/painting/frames.h"
#include "widgets/controls/qt/control.h"
#include "widgets/framework/qt/qt_canvas.h"

#include <QEnterEvent>
#include <QFocusEvent>
#include <QPaintEvent>
#include <QPainter>

#include <unordered_map>

namespace kyd::widgets {

namespace {

std::unordered_map<const QWidget*, TDUDBackgroundSource*>& Sources()
{
    static std::unordered_map<const QWidget*, TDUDBackgroundSource*> sources;
    return sources;
}

} // namespace

TDUDBackgroundSource* DUDBackgroundSource(const QWidget* form)
{
    const auto it = Sources().find(form);
    return it == Sources().end() ? nullptr : it->second;
}

void DUDSetBackgroundSource(const QWidget* form, TDUDBackgroundSource* source)
{
    if (source)
        Sources()[form] = source;
    else
        Sources().erase(form);
}

TDUDCustomControl::TDUDCustomControl(QWidget* parent) : QWidget(parent)
{
    // The library's own default size; forms that place controls scale them
    // to the desktop's font.
    resize(100, 40);
    setFocusPolicy(Qt::ClickFocus); // not a tab stop
    imageList_.OnChange = [this] { update(); };
    imageList_.OnRemoved = [this] { update(); };
    backFX_.OnChange = [this](void*) { update(); };
}

TDUDCustomControl::~TDUDCustomControl()
{
    backFX_.OnChange = nullptr;
}

void TDUDCustomControl::SetTransparent(bool v)
{
    if (v == transparent_)
        return;
    transparent_ = v;
    setAttribute(Qt::WA_OpaquePaintEvent, !v);
    update();
}

void TDUDCustomControl::SetFlat(bool v)
{
    if (v == flat_)
        return;
    flat_ = v;
    DoFlatChanged();
    update();
}

void TDUDCustomControl::SetColor(TColor c)
{
    if (c == color_)
        return;
    color_ = c;
    update();
}

void TDUDCustomControl::SetImageList(TDUDCustomImageList* list)
{
    if (!imageList_.Set(list))
        return;
    update();
}

void TDUDCustomControl::FillControl(TCanvas& canvas)
{
    const TRect all{0, 0, width(), height()};
    if (BackBitmap()) {
        // The background goes through the effects on its way.
        DUDDrawBackThroughFX(canvas, width(), height(), backFX_, [&](TCanvas& c) {
            BackDrawArea(c, all);
            return true;
        });
        return;
    }
    if (transparent_)
        return; // the parent's background shows through
    const TBrush saved = canvas.Brush;
    canvas.Brush = {color_, TBrushStyle::bsSolid};
    canvas.FillRect(all);
    canvas.Brush = saved;
}

bool TDUDCustomControl::BackBitmapCheck() const
{
    const TDUDBackgroundSource* source = window() != this ? DUDBackgroundSource(window()) : nullptr;
    return source && source->BackBitmapCheck();
}

void TDUDCustomControl::BackDrawArea(TCanvas& canvas, const TRect& r)
{
    const TDUDBackgroundSource* source = window() != this ? DUDBackgroundSource(window()) : nullptr;
    if (!source || !source->BackBitmapCheck())
        return;
    // Where r lies on the form, in the background's coordinates.
    const QPoint at = mapTo(window(), QPoint(r.Left, r.Top));
    if (!source->BackDrawArea(canvas, r, source->BackMapPoint({at.x(), at.y()}))) {
        const TBrush saved = canvas.Brush;
        canvas.Brush = {color_, TBrushStyle::bsSolid};
        canvas.FillRect(r);
        canvas.Brush = saved;
    }
}

TPoint TDUDCustomControl::BackMapPoint(TPoint p, QSize back) const
{
    return DUDBackMapPoint(p, {x(), y()}, parentWidget(), back);
}

void TDUDCustomControl::RepBack(const TRect& r)
{
    update(ToQRect(r));
}

void TDUDCustomControl::InvalidateFrame()
{
    update();
}

void TDUDCustomControl::RestoreBorderFront(TCanvas& canvas)
{
    // A sunken two-pixel edge.
    const TRect r{0, 0, width(), height()};
    DUDDrawBorder(canvas, r, clBtnShadow, clWindow);
    DUDDrawBorder(canvas, r.Inset(1), clWindowFrame, clBtnFace);
}

void TDUDCustomControl::RestoreBorderBack(TCanvas& canvas)
{
    // A quiet frame: a shadow line with the face colour inside it.
    const TRect r{0, 0, width(), height()};
    DUDDrawBorder(canvas, r, clBtnShadow, clBtnShadow);
    DUDDrawBorder(canvas, r.Inset(1), color_, color_);
}

void TDUDCustomControl::PaintTo(TCanvas& canvas)
{
    canvas.Font = FontFromQFont(font(), clWindowText);
    // Transparent or not, the content is painted; a transparent control
    // only leaves out its own background (see FillControl).
    Paint(canvas);
    if (flat_) {
        if (mouseAbove_ || focused_)
            RestoreBorderFront(canvas);
        else
            RestoreBorderBack(canvas);
    }
}

QImage TDUDCustomControl::Picture()
{
    QImage img = MakeCanvasImage(width(), height());
    {
        TQtCanvas canvas(img);
        PaintTo(canvas);
    }
    return img;
}

void TDUDCustomControl::paintEvent(QPaintEvent* e)
{
    QImage img = MakeCanvasImage(width(), height(), true);
    {
        TQtCanvas canvas(img);
        PaintTo(canvas);
    }
    QPainter p(this);
    p.drawImage(e->rect(), img, e->rect());
}

void TDUDCustomControl::SetMouseAbove(bool v)
{
    if (v == mouseAbove_)
        return;
    mouseAbove_ = v;
    if (flat_)
        InvalidateFrame();
}

void TDUDCustomControl::MouseEnter()
{
    SetMouseAbove(true);
    if (OnMouseEnter)
        OnMouseEnter(this);
}

void TDUDCustomControl::MouseExit()
{
    SetMouseAbove(false);
    if (OnMouseExit)
        OnMouseExit(this);
}

void TDUDCustomControl::DoEnter()
{
    focused_ = true;
    if (flat_)
        InvalidateFrame();
}

void TDUDCustomControl::DoExit()
{
    focused_ = false;
    if (flat_)
        InvalidateFrame();
}

void TDUDCustomControl::enterEvent(QEnterEvent* e)
{
    QWidget::enterEvent(e);
    MouseEnter();
}

void TDUDCustomControl::leaveEvent(QEvent* e)
{
    QWidget::leaveEvent(e);
    MouseExit();
}

void TDUDCustomControl::focusInEvent(QFocusEvent* e)
{
    QWidget::focusInEvent(e);
    DoEnter();
}

void TDUDCustomControl::focusOutEvent(QFocusEvent* e)
{
    QWidget::focusOutEvent(e);
    DoExit();
}

} // namespace kyd::widgets
