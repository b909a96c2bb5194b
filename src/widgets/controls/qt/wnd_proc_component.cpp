#include "widgets/controls/qt/wnd_proc_component.h"

#include <QApplication>
#include <QEvent>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>

#include <typeinfo>

namespace kyd::widgets {

namespace {

QMdiArea* mdiAreaOf(QWidget* form)
{
    if (auto* mw = qobject_cast<QMainWindow*>(form))
        return qobject_cast<QMdiArea*>(mw->centralWidget());
    return nullptr;
}

QWidget* mainWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QMainWindow*>(w))
            return w;
    return nullptr;
}

} // namespace

TDUDWndProcComponent::TDUDWndProcComponent(QWidget* owner) : owner_(owner)
{
    if (owner)
        connect(owner, &QObject::destroyed, this, [this](QObject* gone) {
            // The owner's end: its destroy message when none came yet (the
            // owner sent nothing while it was taken down), and nothing of it
            // is touched from now on.
            if (hooked_ && !windowDestroyed_) {
                QEvent destroy(QEvent::Destroy);
                destroyMessage(hookedTarget_ ? hookedTarget_.data() : gone, &destroy);
            }
            windowDestroyed_ = true;
            hooked_ = false;
            hookedTarget_ = nullptr;
        });
}

TDUDWndProcComponent::~TDUDWndProcComponent()
{
    destroying_ = true;
    RestoreWndProc();
}

bool TDUDWndProcComponent::ValidOwner() const
{
    return owner_ && (owner_->isWindow() || OwnerKind() == 1) && loaded_ && !destroying_;
}

int TDUDWndProcComponent::OwnerKind() const
{
    if (!owner_)
        return 0;
    if (qobject_cast<QMdiSubWindow*>(owner_->parentWidget()))
        return 1;
    if (mdiAreaOf(owner_))
        return 2;
    return 0;
}

QObject* TDUDWndProcComponent::GetOwnerHandle() const
{
    if (!owner_)
        return nullptr;
    if (OwnerKind() < 2 || useFormHandle_)
        return owner_.data();
    return mdiAreaOf(owner_)->viewport();
}

void TDUDWndProcComponent::SetEnabled(bool v)
{
    if (v == enabled_)
        return;
    enabled_ = v;
    if (v)
        Init();
    else
        RestoreState();
}

void TDUDWndProcComponent::RestoreState() { RestoreWndProc(); }

void TDUDWndProcComponent::SetHandleApp(bool v)
{
    if (!loaded_)
        handleApp_ = v;
}

void TDUDWndProcComponent::SetUseFormHandle(bool v)
{
    if (v == useFormHandle_)
        return;
    const bool rehook = hooked_;
    RestoreWndProc();
    useFormHandle_ = v;
    if (rehook)
        NewWndProc();
}

void TDUDWndProcComponent::Loaded()
{
    loaded_ = true;
    Init();
}

void TDUDWndProcComponent::Init()
{
    if (enabled_ && !hooked_)
        NewWndProc();
}

bool TDUDWndProcComponent::NewWndProc()
{
    QObject* target = GetOwnerHandle();
    if (!target || hooked_ || windowDestroyed_)
        return false;
    if (handleApp_ && !appHooked_) {
        appWindow_ = mainWindow();
        if (appWindow_) {
            appWindow_->installEventFilter(this);
            appHooked_ = true;
        }
    }
    hookedTarget_ = target;
    ownerType_ = &typeid(*owner_.data());
    target->installEventFilter(this);
    hooked_ = true;
    return true;
}

bool TDUDWndProcComponent::RestoreWndProc()
{
    if (hookedTarget_)
        hookedTarget_->removeEventFilter(this);
    hookedTarget_ = nullptr;
    hooked_ = false;
    if (appHooked_ && appWindow_)
        appWindow_->removeEventFilter(this);
    appWindow_ = nullptr;
    appHooked_ = false;
    silentRemoved_ = false;
    windowDestroyed_ = windowDestroyed_ && !owner_; // a gone owner stays gone
    return true;
}

void TDUDWndProcComponent::SilentRemove()
{
    silentRemoved_ = true;
    RestoreWndProc();
    SetEnabled(false);
}

bool TDUDWndProcComponent::WndProc(QObject*, QEvent*) { return false; }

bool TDUDWndProcComponent::AppWndProc(QEvent*) { return false; }

bool TDUDWndProcComponent::ownerDying() const
{
    if (!owner_)
        return true;
    // A widget's own class is taken down first; Qt's widget destructor then
    // hides it and drops its native window, sending events as it goes.
    // While it runs the owner is a mere QWidget (or QObject): the window is
    // being destroyed. An owner that is a plain QWidget is only seen going
    // at its end.
    const std::type_info& now = typeid(*owner_.data());
    return ownerType_ && now != *ownerType_ && (now == typeid(QWidget) || now == typeid(QObject));
}

bool TDUDWndProcComponent::destroyMessage(QObject* target, QEvent* event)
{
    const bool swallowed = WndProc(target, event);
    windowDestroyed_ = true;
    if (OwnerKind() == 1) {
        RestoreWndProc();
        windowDestroyed_ = true;
        return true;
    }
    return swallowed;
}

bool TDUDWndProcComponent::eventFilter(QObject* watched, QEvent* event)
{
    if (windowDestroyed_)
        return false;
    const bool owners = hooked_ && watched == hookedTarget_.data();
    if (owners && ownerDying()) {
        // The first event from an owner being destroyed stands for its
        // destroy message; the event itself goes on to the owner unseen.
        QEvent destroy(QEvent::Destroy);
        destroyMessage(watched, &destroy);
        return false;
    }
    // The owner may be the main window too: one filter, both procedures.
    if (appHooked_ && watched == appWindow_.data() && AppWndProc(event))
        return true;
    if (!owners || !hooked_) // AppWndProc may have unhooked
        return false;
    if (event->type() != QEvent::Destroy)
        return WndProc(watched, event);
    // The destroy message: the last one the component passes on.
    return destroyMessage(watched, event);
}

} // namespace kyd::widgets
