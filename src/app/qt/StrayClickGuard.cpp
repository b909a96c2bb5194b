#include "app/qt/StrayClickGuard.h"

#include <QApplication>
#include <QMouseEvent>

namespace kyd::app {

StrayClickGuard::StrayClickGuard(QObject* parent) : QObject(parent)
{
    qApp->installEventFilter(this);
}

StrayClickGuard::~StrayClickGuard()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

bool StrayClickGuard::eventFilter(QObject* watched, QEvent* event)
{
    if (!watched->isWidgetType())
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (boxClosed_ && widget->window() != closedBox_) {
            // Signed: events of another source may carry an earlier time.
            const auto since = static_cast<qint64>(mouse->timestamp() - closedAt_);
            if (since >= 0 && since < QApplication::doubleClickInterval()) {
                dropping_ |= mouse->button();
                ++dropped_;
                return true;
            }
        }
        dropping_.setFlag(mouse->button(), false); // a press of its own
        lastClickAt_ = mouse->timestamp();
        lastClickWindow_ = widget->window();
        return false;
    }
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (dropping_.testFlag(mouse->button())) {
            dropping_.setFlag(mouse->button(), false);
            return true;
        }
        lastClickAt_ = mouse->timestamp();
        lastClickWindow_ = widget->window();
        return false;
    }
    case QEvent::Hide:
        // A modal box or dialog going away on the click just made.
        if (widget->isWindow() && widget->isModal() && lastClickWindow_ == widget) {
            boxClosed_ = true;
            closedAt_ = lastClickAt_;
            closedBox_ = widget;
        }
        return false;
    default:
        return false;
    }
}

} // namespace kyd::app
