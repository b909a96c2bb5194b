// The state machine and its states as widgets.
#include "serial/qt/SioStMachView.h"

#include "platform/exception_sink.h"
#include "platform/qt/ui_scale.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cmath>

namespace sio {

namespace pf = kyd::platform;

QColor ToQColor(TColor c)
{
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>((c >> 16) & 0xFF));
}

namespace {

QFont ToQFont(const TSioFont& f, const QFont& base)
{
    if (f.Name.empty())
        return base;
    QFont q(QString::fromStdString(f.Name));
    q.setPointSize(f.Size > 0 ? f.Size : base.pointSize());
    return q;
}

// An 8-pixel arrowhead at (x2, y2) pointing along (x1, y1) -> (x2, y2).
QPolygonF Arrowhead(double x1, double y1, double x2, double y2, double size)
{
    const double a = std::atan2(y2 - y1, x2 - x1);
    const double spread = 0.45;
    return QPolygonF({QPointF(x2, y2), QPointF(x2 - size * std::cos(a - spread), y2 - size * std::sin(a - spread)),
                      QPointF(x2 - size * std::cos(a + spread), y2 - size * std::sin(a + spread))});
}

} // namespace

// ---------------------------------------------------------------------------
// TSioStateMachine

TSioStateMachine::TSioStateMachine(QWidget* parent, TSioBaseComponent* owner)
    : QFrame(parent), TSioCustomStateMachine(owner)
{
    SetName("SioStateMachine1");
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setAttribute(Qt::WA_OpaquePaintEvent);
    const pf::UiScale sc = pf::UiScale::For(this);
    resize(sc.X(200), sc.Y(200));
}

TSioStateMachine::~TSioStateMachine() = default;

void TSioStateMachine::SetName(const std::string& name)
{
    Name = name;
    setObjectName(QString::fromStdString(name));
}

void TSioStateMachine::paintEvent(QPaintEvent* e)
{
    {
        QPainter p(this);
        p.fillRect(rect(), ToQColor(Color));
        p.setRenderHint(QPainter::Antialiasing, false);
        if (!Caption.empty()) {
            p.setPen(Qt::black);
            p.setFont(font());
            p.drawText(QPoint(2, 2 + p.fontMetrics().ascent()), QString::fromStdString(Caption));
        }
        PaintConnectoids(p);
    }
    if (SingleBorder)
        QFrame::paintEvent(e);
}

void TSioStateMachine::PaintConnectoids(QPainter& p)
{
    const bool highlightStyle = DesignMode || (ConnectoidClickStyle & ccsHighlight);
    const bool dashedStyle = DesignMode || (ConnectoidClickStyle & ccsDashedLine);
    const bool hintStyle = DesignMode || (ConnectoidClickStyle & ccsHint);
    QStringList hints;
    p.setRenderHint(QPainter::Antialiasing, true);
    for (TSioCustomState* s : States()) {
        for (int i = 0; i < s->Conditions().Count(); ++i) {
            TSioStateCondition& c = s->Conditions()[i];
            TConnectoidPath path;
            if (!ConnectoidPath(c, path))
                continue;
            const TSioStateConnectoid* k = c.Connectoid();
            const bool lit = k && k->Highlighted;
            TColor color = k ? k->GetColor() : clBlue;
            if (lit && highlightStyle)
                color = color == clRed ? clFuchsia : clRed;
            const int width = k ? std::max(1, k->GetWidth()) : 1;
            QPen pen(ToQColor(color), width);
            pen.setCapStyle(Qt::FlatCap);
            p.setPen(pen);
            p.setBrush(Qt::NoBrush);
            auto drawPath = [&] {
                if (path.Loop) {
                    const QRectF r(path.LoopRect[0], path.LoopRect[1], path.LoopRect[2], path.LoopRect[3]);
                    // The part right of the state's edge (the rest lies under it).
                    const double right = path.X2;
                    const double cx = r.center().x(), rad = r.width() / 2;
                    const double start = std::acos(std::clamp((right - cx) / rad, -1.0, 1.0)) * 180 / M_PI;
                    p.drawArc(r, static_cast<int>(start * 16), static_cast<int>(-2 * start * 16));
                } else {
                    p.drawLine(QPointF(path.X1, path.Y1), QPointF(path.X2, path.Y2));
                }
            };
            drawPath();
            p.setBrush(ToQColor(color));
            p.setPen(QPen(ToQColor(color), 1));
            p.drawPolygon(Arrowhead(path.X1, path.Y1, path.X2, path.Y2, 8));
            if (lit && dashedStyle) {
                QPen dots(ToQColor(clMaroon), 1, Qt::DotLine);
                p.setPen(dots);
                p.setBrush(Qt::NoBrush);
                drawPath();
            }
            const std::string caption = c.GetCaption();
            if (!caption.empty()) {
                p.setFont(ToQFont(c.GetFont(), font()));
                // In the connectoid's own colour (red while highlighted).
                p.setPen(ToQColor(lit && highlightStyle ? clRed : k ? k->GetColor() : clBlue));
                const QString text = QString::fromStdString(caption);
                const QFontMetricsF fm(p.font());
                const double w = fm.horizontalAdvance(text);
                // Beside the line, on the normal's side, growing away from it.
                double x = path.CaptionX - w / 2, y = path.CaptionY + (fm.ascent() - fm.descent()) / 2;
                if (path.NormalX < -0.3)
                    x = path.CaptionX - w;
                else if (path.NormalX > 0.3)
                    x = path.CaptionX;
                if (path.NormalY < -0.3)
                    y = path.CaptionY - fm.descent();
                else if (path.NormalY > 0.3)
                    y = path.CaptionY + fm.ascent();
                p.drawText(QPointF(x, y), text);
            }
            if (lit && c.GetNextState())
                hints << QString::fromStdString(s->Name + " -> " + c.GetNextState()->Name + "   ");
        }
    }
    p.setRenderHint(QPainter::Antialiasing, false);
    if (hintStyle && !hints.isEmpty()) {
        p.setFont(font());
        const QFontMetrics fm = p.fontMetrics();
        int w = 0;
        for (const QString& h : hints)
            w = std::max(w, fm.horizontalAdvance(h));
        const QRect box(3, 3, w + 6, fm.height() * static_cast<int>(hints.size()) + 4);
        p.setPen(Qt::black);
        p.setBrush(ToQColor(clInfoYellow));
        p.drawRect(box);
        for (int i = 0; i < hints.size(); ++i)
            p.drawText(QPoint(box.left() + 3, box.top() + 2 + fm.ascent() + i * fm.height()), hints[i]);
    }
}

void TSioStateMachine::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton) {
        const QPoint at = e->position().toPoint();
        if (!StateAt(at.x(), at.y()))
            pf::guarded("state machine", [&] {
                ClickConnectoids(at.x(), at.y(), e->modifiers() & Qt::ShiftModifier,
                                 e->modifiers() & Qt::ControlModifier);
            });
    }
    QFrame::mousePressEvent(e);
}

// ---------------------------------------------------------------------------
// TSioState

TSioState::TSioState(TSioStateMachine* machine, TSioBaseComponent* owner) : QWidget(machine), TSioCustomState(owner)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    const pf::UiScale sc = pf::UiScale::For(this);
    SetBounds(0, 0, sc.X(75), sc.Y(50));
    if (machine)
        SetMachine(machine);
}

TSioState::~TSioState()
{
    // Leave the machine while this is still a widget it can repaint around.
    pf::guarded("state", [&] { TSioCustomState::SetMachine(nullptr); });
}

void TSioState::SetName(const std::string& name)
{
    Name = name;
    setObjectName(QString::fromStdString(name));
}

void TSioState::SetGlyph(const QPixmap& glyph)
{
    glyph_ = glyph;
    SetHasGlyph(glyph_.width() > 0);
    update();
}

void TSioState::SetMachine(TSioCustomStateMachine* machine)
{
    TSioCustomState::SetMachine(machine);
    if (auto* w = dynamic_cast<QWidget*>(machine); w && parentWidget() != w) {
        setParent(w);
        show();
    }
}

void TSioState::SetBounds(int left, int top, int width, int height)
{
    TSioCustomState::SetBounds(left, top, width, height);
    setGeometry(left, top, width, height);
}

void TSioState::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), ToQColor(BackgroundColor()));
    p.setPen(Qt::black);
    p.setBrush(Qt::NoBrush);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    p.setFont(ToQFont(Font, font()));
    const QFontMetrics fm = p.fontMetrics();
    const int captionBottom = 2 + fm.height();
    if (HasGlyph()) {
        const int cells = GetGlyphCells() < 2 ? 1 : GetGlyphCells();
        const int cellW = glyph_.width() / cells;
        const int cell = GlyphCell();
        const QRect source = cell < 0 ? glyph_.rect() : QRect(cell * cellW, 0, cellW, glyph_.height());
        const QRect area(2, captionBottom, width() - 4, height() - captionBottom - 2);
        QSize size = source.size();
        if (size.width() > area.width() || size.height() > area.height())
            size.scale(area.size(), Qt::KeepAspectRatio);
        const QRect target(area.left() + (area.width() - size.width()) / 2,
                           area.top() + (area.height() - size.height()) / 2, size.width(), size.height());
        p.drawPixmap(target, glyph_, source);
    }
    p.setPen(ToQColor(Font.Color));
    p.drawText(QRect(2, 2, width() - 4, fm.height()), Qt::AlignLeft | Qt::AlignTop,
               fm.elidedText(QString::fromStdString(GetCaption()), Qt::ElideRight, width() - 4));
}

bool TSioState::CanDrag() const
{
    return Movable || (Machine() && Machine()->MovableStates);
}

void TSioState::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && CanDrag()) {
        dragging_ = true;
        dragFrom_ = e->globalPosition().toPoint();
        raise();
        e->accept();
        return;
    }
    QWidget::mousePressEvent(e);
}

void TSioState::mouseMoveEvent(QMouseEvent* e)
{
    if (!dragging_) {
        QWidget::mouseMoveEvent(e);
        return;
    }
    const QPoint now = e->globalPosition().toPoint();
    const QPoint travel = now - dragFrom_;
    dragFrom_ = now;
    SetBounds(Left() + travel.x(), Top() + travel.y(), Width(), Height());
}

void TSioState::mouseReleaseEvent(QMouseEvent* e)
{
    if (dragging_ && e->button() == Qt::LeftButton) {
        dragging_ = false;
        return;
    }
    QWidget::mouseReleaseEvent(e);
}

} // namespace sio
