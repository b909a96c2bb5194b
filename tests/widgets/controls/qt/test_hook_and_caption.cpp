// Event hooks on a form, and the caption layout's view of a window: one delivery per event however often a hook is
// switched, independent hooks removed in either order, an owner that goes
// first, MDI frames and the main window.
#include "widgets/services/qt/sysinfo_probes.h"
#include "widgets/controls/qt/wnd_proc_component.h"

#include <QApplication>
#include <QEvent>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

using namespace kyd::widgets;

namespace {

const QEvent::Type kProbe = static_cast<QEvent::Type>(QEvent::User + 17);

class Counter : public TDUDWndProcComponent {
public:
    using TDUDWndProcComponent::TDUDWndProcComponent;
    int seen = 0, appSeen = 0;
    bool swallow = false;

protected:
    bool WndProc(QObject* t, QEvent* e) override
    {
        if (e->type() == kProbe)
            ++seen;
        return e->type() == kProbe && swallow ? true : TDUDWndProcComponent::WndProc(t, e);
    }
    bool AppWndProc(QEvent* e) override
    {
        if (e->type() == kProbe)
            ++appSeen;
        return false;
    }
};

class Probe : public QWidget {
public:
    int got = 0;
    bool event(QEvent* e) override
    {
        if (e->type() == kProbe)
            ++got;
        return QWidget::event(e);
    }
};

void send(QObject* o)
{
    QEvent e(kProbe);
    QApplication::sendEvent(o, &e);
}

} // namespace

TEST(WndProcHook, SwitchingGivesOneDeliveryPerEventAndSwallowing)
{
    Probe form;
    Counter hook(&form);
    hook.Loaded();
    EXPECT_TRUE(hook.Hooked());
    hook.SetEnabled(false);
    hook.SetEnabled(true);
    hook.Init(); // already hooked: no second hook
    send(&form);
    EXPECT_EQ(hook.seen, 1);
    EXPECT_EQ(form.got, 1);
    hook.swallow = true;
    send(&form);
    EXPECT_EQ(hook.seen, 2);
    EXPECT_EQ(form.got, 1);
    hook.SilentRemove();
    EXPECT_FALSE(hook.Enabled());
    send(&form);
    EXPECT_EQ(hook.seen, 2);
    EXPECT_EQ(form.got, 2);
}

TEST(WndProcHook, HooksAreIndependentInEitherOrder)
{
    for (int order = 0; order < 2; ++order) {
        Probe form;
        auto a = std::make_unique<Counter>(&form);
        auto b = std::make_unique<Counter>(&form);
        a->Loaded();
        b->Loaded();
        send(&form);
        EXPECT_EQ(a->seen, 1);
        EXPECT_EQ(b->seen, 1);
        Counter* left = order == 0 ? b.get() : a.get();
        (order == 0 ? a : b).reset(); // the component goes, its hook with it
        send(&form);
        EXPECT_EQ(left->seen, 2);
        EXPECT_EQ(form.got, 2);
    }
}

TEST(WndProcHook, AnOwnerDeletedFirstIsNeverTouched)
{
    auto form = std::make_unique<Probe>();
    Counter hook(form.get());
    hook.Loaded();
    form.reset();
    EXPECT_TRUE(hook.WindowDestroyed());
    EXPECT_EQ(hook.GetOwnerHandle(), nullptr);
    EXPECT_FALSE(hook.NewWndProc());
    hook.SetEnabled(false);
    hook.SetEnabled(true);
}

TEST(WndProcHook, MdiFramesHookTheirAreaAndTheMainWindowOnRequest)
{
    QMainWindow frame;
    auto* area = new QMdiArea;
    frame.setCentralWidget(area);
    Counter hook(&frame);
    EXPECT_EQ(hook.OwnerKind(), 2);
    EXPECT_EQ(hook.GetOwnerHandle(), area->viewport());
    hook.SetHandleApp(true);
    hook.Loaded();
    hook.SetHandleApp(false); // too late: ignored
    EXPECT_TRUE(hook.AppHooked());
    send(area->viewport());
    send(&frame);
    EXPECT_EQ(hook.seen, 1);
    EXPECT_EQ(hook.appSeen, 1);
    hook.SetUseFormHandle(true);
    EXPECT_EQ(hook.GetOwnerHandle(), &frame);

    auto* child = new QWidget;
    area->addSubWindow(child);
    Counter childHook(child);
    EXPECT_EQ(childHook.OwnerKind(), 1);
}

TEST(WndProcHook, AMainWindowOwnerWithHandleAppReachesBothProcedures)
{
    QMainWindow frame; // no MDI area: the frame itself is hooked
    Counter hook(&frame);
    hook.SetHandleApp(true);
    hook.Loaded();
    ASSERT_TRUE(hook.AppHooked());
    send(&frame);
    EXPECT_EQ(hook.appSeen, 1);
    EXPECT_EQ(hook.seen, 1);
    hook.SetEnabled(false);
    send(&frame);
    EXPECT_EQ(hook.appSeen, 1);
    EXPECT_EQ(hook.seen, 1);
}

TEST(WndProcHook, NothingIsPassedOnAfterTheOwnersDestroyMessage)
{
    Probe form;
    Counter hook(&form);
    hook.Loaded();
    QEvent destroy(QEvent::Destroy);
    QApplication::sendEvent(&form, &destroy);
    EXPECT_TRUE(hook.WindowDestroyed());
    for (int i = 0; i < 5; ++i)
        send(&form);
    EXPECT_EQ(hook.seen, 0);
    EXPECT_EQ(form.got, 5); // the form itself still gets them

    // An MDI child's hook goes with the message.
    QMainWindow frame;
    auto* area = new QMdiArea;
    frame.setCentralWidget(area);
    auto* child = new Probe;
    area->addSubWindow(child);
    Counter childHook(child);
    childHook.Loaded();
    ASSERT_TRUE(childHook.Hooked());
    QApplication::sendEvent(child, &destroy);
    EXPECT_FALSE(childHook.Hooked());
    EXPECT_TRUE(childHook.WindowDestroyed());
    send(child);
    EXPECT_EQ(childHook.seen, 0);
}

namespace {

// Every event type that reaches WndProc.
class Recorder : public TDUDWndProcComponent {
public:
    using TDUDWndProcComponent::TDUDWndProcComponent;
    std::vector<QEvent::Type> seen;

protected:
    bool WndProc(QObject* t, QEvent* e) override
    {
        seen.push_back(e->type());
        return TDUDWndProcComponent::WndProc(t, e);
    }
};

} // namespace

TEST(WndProcHook, AFormBeingDeletedGivesOneDestroyMessageAndNothingAfter)
{
    // A shown form: while Qt takes it down it hides and drops its native
    // window, and those events came to WndProc from a half-destroyed form.
    auto* form = new Probe;
    form->show();
    QApplication::processEvents();
    Recorder hook(form);
    hook.Loaded();
    send(form);
    ASSERT_EQ(hook.seen, std::vector<QEvent::Type>{kProbe});
    hook.seen.clear();
    delete form;
    EXPECT_EQ(hook.seen, std::vector<QEvent::Type>{QEvent::Destroy});
    EXPECT_TRUE(hook.WindowDestroyed());
    EXPECT_FALSE(hook.Hooked());

    // A main window, with the main-window hook on as well.
    auto* frame = new QMainWindow;
    frame->show();
    QApplication::processEvents();
    Recorder both(frame);
    both.SetHandleApp(true);
    both.Loaded();
    both.seen.clear();
    delete frame;
    EXPECT_EQ(both.seen, std::vector<QEvent::Type>{QEvent::Destroy});

    // A plain widget (no class of its own to go first) and one never shown
    // still get the message once, at their end.
    auto* plain = new QWidget;
    Recorder atEnd(plain);
    atEnd.Loaded();
    delete plain;
    EXPECT_EQ(atEnd.seen, std::vector<QEvent::Type>{QEvent::Destroy});

    // An MDI child deleted with its subwindow (the subwindow's teardown
    // still changes the living child's state first).
    QMainWindow mdi;
    auto* area = new QMdiArea;
    mdi.setCentralWidget(area);
    auto* child = new Probe;
    QMdiSubWindow* sub = area->addSubWindow(child);
    mdi.show();
    QApplication::processEvents();
    Recorder childHook(child);
    childHook.Loaded();
    ASSERT_EQ(childHook.OwnerKind(), 1);
    childHook.seen.clear();
    delete sub;
    ASSERT_FALSE(childHook.seen.empty());
    EXPECT_EQ(childHook.seen.back(), QEvent::Destroy);
    EXPECT_EQ(std::count(childHook.seen.begin(), childHook.seen.end(), QEvent::Destroy), 1);
    EXPECT_FALSE(childHook.Hooked());
}

namespace {

class Restoring : public Counter {
public:
    using Counter::Counter;
    int restored = 0;

protected:
    void RestoreState() override
    {
        ++restored;
        Counter::RestoreState();
    }
};

} // namespace

TEST(WndProcHook, DisablingRestoresStateAndOwnersAreValidOnlyWhenLoadedForms)
{
    Probe form;
    Restoring hook(&form);
    EXPECT_FALSE(hook.ValidOwner()); // still loading
    hook.Loaded();
    EXPECT_TRUE(hook.ValidOwner());
    hook.SetEnabled(false);
    EXPECT_EQ(hook.restored, 1);
    EXPECT_FALSE(hook.Hooked());
    hook.SetEnabled(true);
    EXPECT_TRUE(hook.Hooked());

    auto* inner = new QWidget(&form); // a control, not a form
    Counter onControl(inner);
    onControl.Loaded();
    EXPECT_FALSE(onControl.ValidOwner());
    Counter none(nullptr);
    none.Loaded();
    EXPECT_FALSE(none.ValidOwner());
    EXPECT_FALSE(hook.DesignEnabled());
    hook.SetDesignEnabled(true); // stored only: there is no design time
    EXPECT_TRUE(hook.DesignEnabled());
    EXPECT_TRUE(hook.Hooked());
}

TEST(CaptionLayout, WindowFlagsBecomeStyles)
{
    QWidget tool(nullptr, Qt::Tool | Qt::WindowSystemMenuHint);
    tool.resize(200, 100);
    const TDUDNCWindow t = DUDNCWindowFromWidget(tool);
    EXPECT_TRUE(t.ExStyle & WS_EX_TOOLWINDOW);
    EXPECT_TRUE(t.Style & WS_SYSMENU);
    EXPECT_TRUE(t.Style & WS_THICKFRAME);
    EXPECT_EQ(t.Width, tool.frameGeometry().width());

    QWidget dialog(nullptr, Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint);
    dialog.setFixedSize(300, 200);
    const TDUDNCWindow d = DUDNCWindowFromWidget(dialog);
    EXPECT_TRUE(d.Style & WS_DLGFRAME);
    EXPECT_TRUE(d.Style & WS_MINIMIZEBOX);
    EXPECT_FALSE(d.Style & WS_MAXIMIZEBOX);
    TRect caption, text;
    std::uint32_t flags = 0;
    DUDNCCalcDrawingArea(d, caption, text, flags);
    EXPECT_EQ(caption.Left, DUDNCDLGBORDERWIDTH());
    EXPECT_TRUE(flags & DUDNC_HASICON);
}
