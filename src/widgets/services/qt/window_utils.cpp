#include "widgets/services/qt/window_utils.h"

#include "widgets/framework/qt/qt_canvas.h"

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

namespace kyd::widgets {

namespace {

TRect ScreenRect(const QWidget* w = nullptr)
{
    const QScreen* screen = w && w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    return screen ? FromQRect(screen->geometry()) : TRect{};
}

QWidget* MainWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && !w->parentWidget() && w->objectName() != QLatin1String("qt_scrollarea_viewport"))
            return w;
    return nullptr;
}

void MoveFrameTo(QWidget* w, TPoint p)
{
    w->move(p.X, p.Y);
}

} // namespace

TRect DUDDlgGetTargetRect(TDUDDlgPosRel rel)
{
    switch (rel) {
    case TDUDDlgPosRel::brScreenWorkArea:
        if (const QScreen* s = QGuiApplication::primaryScreen())
            return FromQRect(s->availableGeometry());
        break;
    case TDUDDlgPosRel::brMainForm:
        if (QWidget* w = MainWindow())
            return FromQRect(w->frameGeometry());
        break;
    case TDUDDlgPosRel::brActiveWindow:
        if (QWidget* w = QApplication::activeWindow())
            return FromQRect(w->frameGeometry());
        break;
    case TDUDDlgPosRel::brScreen:
        break;
    }
    return ScreenRect();
}

void DUDCenterWindow(QWidget* w, bool upperThird)
{
    if (!w)
        return;
    const QRect f = w->frameGeometry();
    MoveFrameTo(w, DUDCenterWindowPos(ScreenRect(w), f.width(), f.height(), upperThird));
}

void DUDCenterForm(QWidget* w)
{
    DUDCenterWindow(w, false);
}

void DUDPositionWindow(QWidget* w, const TRect& target, TDUDDlgPosition position)
{
    if (!w)
        return;
    const QRect f = w->frameGeometry();
    MoveFrameTo(w, DUDPositionWindowPos(target, ScreenRect(w), f.width(), f.height(), position));
}

int DUDCenterChild(QWidget* parent, QWidget* child, bool showModal)
{
    if (!child)
        return 0;
    if (parent) {
        const QRect f = child->frameGeometry();
        MoveFrameTo(child, DUDCenterChildPos(FromQRect(parent->frameGeometry()), ScreenRect(parent), f.width(),
                                             f.height()));
    }
    if (!showModal)
        return 0;
    if (auto* d = qobject_cast<QDialog*>(child))
        return d->exec();
    return 0;
}

void DUDCenterChildWindow(QWindow* window, QWindow* parent, bool show)
{
    if (!window)
        return;
    if (parent) {
        const QScreen* screen = parent->screen() ? parent->screen() : QGuiApplication::primaryScreen();
        const TRect screenRect = screen ? FromQRect(screen->geometry()) : TRect{};
        const QRect f = window->frameGeometry();
        const TPoint p = DUDCenterChildPos(FromQRect(parent->frameGeometry()), screenRect, f.width(), f.height());
        window->setFramePosition(QPoint(p.X, p.Y));
    }
    if (show) {
        window->setModality(Qt::ApplicationModal);
        window->show();
    }
}

bool DUDIsChild(const QWidget* control, const QWidget* parent)
{
    if (!parent)
        return false;
    for (const QWidget* w = control; w; w = w->parentWidget())
        if (w == parent)
            return true;
    return false;
}

void DUDWait(int ms)
{
    if (ms <= 0 || !QCoreApplication::instance())
        return;
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, &loop, &QEventLoop::quit);
    loop.exec();
}

QImage DUDBmpFromDesktop(const TRect& r)
{
    QScreen* s = QGuiApplication::primaryScreen();
    if (!s || r.IsEmpty())
        return {};
    return s->grabWindow(0, r.Left, r.Top, r.Width(), r.Height()).toImage();
}

} // namespace kyd::widgets
