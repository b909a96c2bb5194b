#include "widgets/shapes/qt/form_shape.h"

#include "widgets/services/application.h"
#include "widgets/painting/qt/image_list_ident.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include <unordered_map>

namespace kyd::widgets {

namespace {

// The form shape of each form.
std::unordered_map<const QWidget*, const TDUDFormShape*>& Shapes()
{
    static std::unordered_map<const QWidget*, const TDUDFormShape*> shapes;
    return shapes;
}

} // namespace

TDUDFormShape::TDUDFormShape(QWidget* owner) : TDUDWndProcComponent(owner)
{
    if (owner) {
        if (Shapes().contains(owner))
            DUDEOneInstError("TDUDFormShape");
        Shapes()[owner] = this;
        DUDSetBackgroundSource(owner, this);
        connect(owner, &QObject::destroyed, this, [this, owner] {
            if (Shapes()[owner] == this) {
                Shapes().erase(owner);
                DUDSetBackgroundSource(owner, nullptr);
            }
        });
    }
    fill_.OnChange = [this](void*) {
        back_ = QImage();
        Change();
        Repaint();
    };
    region_.OnChange = [this](void* sender) { GetChange(sender); };
    imageList_.OnChange = [this] { GetIMLChange(); };
    imageList_.OnRemoved = [this] { GetIMLChange(); };
    // Until it is loaded the form is watched for its first showing; a form
    // already on the screen is shaped as soon as the program is back in its
    // event loop (unless it has said by then that the shape is loaded).
    if (owner) {
        owner->installEventFilter(this);
        if (owner->isVisible())
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (!loadedRan_ && GetOwnerForm())
                        Loaded();
                },
                Qt::QueuedConnection);
    }
}

TDUDFormShape::~TDUDFormShape()
{
    if (window_)
        window_->removeEventFilter(this);
    if (QWidget* form = GetOwnerForm())
        form->removeEventFilter(this);
    if (const auto it = Shapes().find(GetOwnerForm()); it != Shapes().end() && it->second == this) {
        Shapes().erase(it);
        DUDSetBackgroundSource(GetOwnerForm(), nullptr);
    }
    fill_.OnChange = nullptr;
    region_.OnChange = nullptr;
}

void TDUDFormShape::Repaint()
{
    if (QWidget* form = GetOwnerForm())
        form->update();
}

void TDUDFormShape::SetUseRgnBitmap(bool v)
{
    if (v == useRgnBitmap_)
        return;
    useRgnBitmap_ = v;
    GetChange(this);
}

void TDUDFormShape::GetChange(void* sender)
{
    TDUDWndProcComponent::GetChange(sender);
    ReRegion();
}

void TDUDFormShape::SetImageList(TDUDCustomImageList* v)
{
    if (!imageList_.Set(v))
        return;
    GetIMLChange();
}

void TDUDFormShape::SetInteger(int index, int v)
{
    int& field = index == 0 ? listIndex_ : imageIndex_;
    if (field == v)
        return;
    field = v;
    GetIMLChange();
}

void TDUDFormShape::GetIMLChange()
{
    fill_.TakeListBitmap(imageList_.Get(), listIndex_, imageIndex_);
    back_ = QImage();
    Change();
    Repaint();
}

const QImage& TDUDFormShape::BackBitmap() const
{
    static const QImage none;
    if (RgnBitmapUsed())
        return rgnBitmap_;
    if (fill_.Style() == TDUDFillStyle::sfNone)
        return none;
    const QWidget* form = GetOwnerForm();
    // The fill's picture of the form's size, as the form paints it.
    if (form && back_.size() != form->size() && !form->size().isEmpty())
        PaintFill(form->width(), form->height());
    return back_;
}

void TDUDFormShape::PaintFill(int width, int height) const
{
    back_ = MakeCanvasImage(width, height);
    TQtCanvas bc(back_);
    fill_.FillCanvas(bc, {0, 0, width, height}, clWhite);
}

bool TDUDFormShape::BackDrawArea(TCanvas& canvas, const TRect& r, TPoint pos) const
{
    auto* qc = dynamic_cast<TQtCanvas*>(&canvas);
    if (!qc || !BackBitmapCheck())
        return false;
    const QImage& back = BackBitmap();
    if (back.isNull())
        return false;
    qc->DrawImage(r, back, QRect(pos.X, pos.Y, r.Width(), r.Height()));
    return true;
}

void TDUDFormShape::DefineProperties(TDUDStreamProperties& out) const
{
    DUDWriteIdent(out, imageList_.Get());
}

void TDUDFormShape::ReadProperties(const TDUDStreamProperties& in)
{
    if (const auto list = DUDReadIdent(in))
        SetImageList(*list);
}

void TDUDFormShape::PaintBorder(TQtCanvas& canvas, int width, int height)
{
    const TRect client{0, 0, width, height};
    if (RgnBitmapUsed()) {
        back_ = QImage();
        if (!rgnBitmap_.isNull())
            canvas.DrawImage({0, 0, rgnBitmap_.width(), rgnBitmap_.height()}, rgnBitmap_, rgnBitmap_.rect());
    } else if (fill_.Style() != TDUDFillStyle::sfNone) {
        // Painted afresh: the fill or its picture may have changed.
        PaintFill(width, height);
        canvas.DrawImage(client, back_, back_.rect());
    } else {
        back_ = QImage();
    }
    // The shadow, and the border along the outline the region was built on
    // (points included).
    region_.PaintRegionShape(canvas, clientRect_);
}

void TDUDFormShape::SetShowFormCaption(bool v)
{
    if (v == showFormCaption_)
        return;
    showFormCaption_ = v;
    ReRegion();
}

void TDUDFormShape::Loaded()
{
    loadedRan_ = true;
    TDUDWndProcComponent::Loaded();
    if (QWidget* form = GetOwnerForm())
        WatchWindow(form);
    if (Enabled())
        ReRegion();
}

void TDUDFormShape::WatchWindow(QWidget* form)
{
    QWindow* w = form->windowHandle();
    if (w == window_)
        return;
    if (window_)
        window_->removeEventFilter(this);
    window_ = w;
    if (w)
        w->installEventFilter(this);
}

bool TDUDFormShape::eventFilter(QObject* watched, QEvent* event)
{
    QWidget* form = GetOwnerForm();
    if (!form || WindowDestroyed())
        return false;
    if (watched == form && !loadedRan_ &&
        (event->type() == QEvent::Polish || event->type() == QEvent::Show)) {
        Loaded();
        return false;
    }
    if (window_ && watched == window_.data())
        return Hooked() && DragEvent(form, event, true);
    return TDUDWndProcComponent::eventFilter(watched, event);
}

void TDUDFormShape::ReRegion()
{
    QWidget* form = GetOwnerForm();
    if (!form || inUpdate_)
        return;
    inUpdate_ = true;
    // Without its caption the form loses its frame; with it the frame is
    // the window manager's and only the client area is shaped. A form
    // frameless of its own stays so: only a frame taken off here comes back.
    const bool frameless = form->windowFlags().testFlag(Qt::FramelessWindowHint);
    const bool wantFrameless = showFormCaption_ ? frameless && !removedFrame_ : true;
    if (frameless != wantFrameless) {
        const bool visible = form->isVisible();
        // The client area stays where it is on the screen, with or without
        // the frame around it (a new window otherwise lands where the old
        // one's frame was, or where the manager puts it). Where it is comes
        // from the window system: the form's own idea of it can be stale
        // while the manager is still framing or unframing it.
        const QRect client =
            form->isWindow() ? QRect(form->mapToGlobal(QPoint(0, 0)), form->size()) : form->geometry();
        removedFrame_ = wantFrameless;
        if (QWindow* w = form->windowHandle(); w && form->isWindow()) {
            // The window on the screen is told its new frame in place. Made
            // anew it would be withdrawn from the window manager and handed
            // back, which the manager may miss, leaving the form off the
            // screen, and the form's idea of where it is a frame off.
            Qt::WindowFlags flags = form->windowFlags();
            flags.setFlag(Qt::FramelessWindowHint, wantFrameless);
            form->overrideWindowFlags(flags);
            w->setFlags(flags);
        } else {
            form->setWindowFlag(Qt::FramelessWindowHint, wantFrameless);
        }
        form->setGeometry(client);
        if (visible)
            form->show();
    }
    TDUDFormRegionInput in;
    in.Width = form->width();
    in.Height = form->height();
    in.Border = TFormBorderStyle::bsNone;
    in.Minimized = form->isMinimized();
    in.Region = region_.Params();
    in.ShadowDepthSetting = region_.Shadow().Depth();
    // A traced outline sizes the form to its border picture.
    if (region_.Shape() == TDUDRegionShape::rsBitmap) {
        const auto& bmp = region_.Mask().BorderBmp(TDUDRegionMask::biBorder);
        rgnBitmap_ = bmp.empty() ? QImage() : QImage::fromData(bmp.data(), static_cast<int>(bmp.size()), "BMP");
        in.BorderBitmap = rgnBitmap_.size();
    } else {
        rgnBitmap_ = QImage();
    }
    const TDUDFormRegion r = DUDFormReRegion(in);
    if (!in.Minimized)
        clientRect_ = r.ClientRect;
    if (r.NewSize && *r.NewSize != form->size()) {
        // The resize comes back here as an event, which is not re-entered;
        // the outline below is already built for the new size.
        form->resize(*r.NewSize);
    }
    if (r.Region && !in.Minimized)
        form->setMask(*r.Region);
    else
        form->clearMask();
    form->update();
    inUpdate_ = false;
}

bool TDUDFormShape::Free(QWidget* form, const QPoint& pos) const
{
    QWidget* child = form->childAt(pos);
    return !child || !child->isEnabled();
}

bool TDUDFormShape::DragEvent(QWidget* form, QEvent* event, bool fromWindow)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* e = static_cast<QMouseEvent*>(event);
        // Only the left button drags, and only from a free spot. The window
        // takes only presses on disabled controls, which never reach the
        // form; the form has the others.
        const QPoint pos = e->position().toPoint();
        if (!formDragable_ || e->button() != Qt::LeftButton || !Free(form, pos) ||
            (fromWindow && !form->childAt(pos)))
            return false;
        QWindow* w = form->windowHandle();
        if (w && w->startSystemMove())
            return true;
        dragging_ = true;
        dragOffset_ = e->globalPosition().toPoint() - form->pos();
        return true;
    }
    case QEvent::MouseMove:
        if (!dragging_)
            return false;
        form->move(static_cast<QMouseEvent*>(event)->globalPosition().toPoint() - dragOffset_);
        return true;
    case QEvent::MouseButtonRelease:
        if (!dragging_ || static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
            return false;
        dragging_ = false;
        return true;
    default: return false;
    }
}

bool TDUDFormShape::WndProc(QObject* target, QEvent* event)
{
    QWidget* form = GetOwnerForm();
    if (!form || target != form)
        return false;
    switch (event->type()) {
    case QEvent::Paint: {
        // Under the form's own painting and its controls.
        QImage layer = MakeCanvasImage(form->width(), form->height(), true);
        {
            TQtCanvas c(layer);
            PaintBorder(c, form->width(), form->height());
        }
        QPainter(form).drawImage(0, 0, layer);
        break;
    }
    case QEvent::Resize:
    case QEvent::WindowStateChange:
        ReRegion();
        break;
    case QEvent::Show:
    case QEvent::WinIdChange:
        WatchWindow(form);
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease: return DragEvent(form, event, false);
    default: break;
    }
    return false;
}

} // namespace kyd::widgets
