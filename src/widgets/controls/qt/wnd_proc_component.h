// The base of non-visual components that watch their owner form's events,
// and optionally the main window's, and may change or swallow them. A hook
// is an event filter: hooks of several components are independent, so any
// of them can be removed in any order without disturbing the others, and a
// component that outlives its owner never touches it again.
//
// The owner's destroy message reaches WndProc once, as a QEvent::Destroy,
// when the owner's destruction begins (the first event it sends once its own
// class is gone, or at the latest its end); after it nothing more does, and
// for an MDI child the hook goes with it and the message stays with the
// component. With HandleApp on
// a component whose owner is the main window itself, each of the owner's
// events goes to AppWndProc first and then, unless swallowed, to WndProc.
#pragma once

#include "widgets/framework/object.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <typeinfo>

class QEvent;

namespace kyd::widgets {

class TDUDWndProcComponent : public QObject, public TDUDCustomComponent {
    Q_OBJECT
public:
    // owner: the form; for an MDI frame (a window whose central widget is an
    // MDI area) the area's viewport is hooked unless UseFormHandle is set.
    explicit TDUDWndProcComponent(QWidget* owner);
    ~TDUDWndProcComponent() override;

    bool Enabled() const { return enabled_; }
    // Enabling hooks (Init), disabling calls RestoreState.
    void SetEnabled(bool v);
    // Hooking at design time: stored for the component's properties only, as
    // this library has no design time.
    bool DesignEnabled() const { return designEnabled_; }
    void SetDesignEnabled(bool v) { designEnabled_ = v; }
    bool HandleApp() const { return handleApp_; }
    // Only before Loaded.
    void SetHandleApp(bool v);
    bool UseFormHandle() const { return useFormHandle_; }
    void SetUseFormHandle(bool v);
    bool AppHooked() const { return appHooked_; }
    bool Hooked() const { return hooked_; }
    bool WindowDestroyed() const { return windowDestroyed_; }
    bool SilentRemoved() const { return silentRemoved_; }
    // 1: an MDI child, 2: an MDI frame, else 0.
    int OwnerKind() const;

    QWidget* GetOwnerForm() const { return owner_; }
    // True when the owner (still there) is a form, a window or an MDI child,
    // and the component is loaded and not being destroyed.
    bool ValidOwner() const;
    // The object whose events are watched; nullptr without (or after) owner.
    QObject* GetOwnerHandle() const;

    // Called when the component is ready (its properties set): hooks unless
    // disabled.
    virtual void Loaded();
    void Init();
    bool NewWndProc();
    bool RestoreWndProc();
    void SilentRemove();

protected:
    // An event of the owner; true swallows it. The base passes everything.
    virtual bool WndProc(QObject* target, QEvent* event);
    // An event of the main window; true swallows it. The base passes everything.
    virtual bool AppWndProc(QEvent* event);
    // The step of disabling: the base removes the hook. Descendants that
    // changed their owner put it back and call the base.
    virtual void RestoreState();
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // True once the owner is being destroyed.
    bool ownerDying() const;
    // Hands the destroy message to WndProc; nothing is passed on after it.
    bool destroyMessage(QObject* target, QEvent* event);

    QPointer<QWidget> owner_;
    // The owner's class when it was hooked.
    const std::type_info* ownerType_ = nullptr;
    QPointer<QObject> hookedTarget_;
    QPointer<QWidget> appWindow_;
    bool enabled_ = true;
    bool handleApp_ = false;
    bool useFormHandle_ = false;
    bool hooked_ = false;
    bool appHooked_ = false;
    bool windowDestroyed_ = false;
    bool silentRemoved_ = false;
    bool loaded_ = false;
    bool designEnabled_ = false;
    bool destroying_ = false;
};

} // namespace kyd::widgets
