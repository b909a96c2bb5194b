#include "platform/qt/qt_message_loop.h"

#include "platform/clock.h"
#include "platform/exception_sink.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QObject>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <stdexcept>

namespace kyd::platform {

namespace {

QEvent::Type kickType()
{
    static const QEvent::Type t = static_cast<QEvent::Type>(QEvent::registerEventType());
    return t;
}

QEvent::Type wakeType()
{
    static const QEvent::Type t = static_cast<QEvent::Type>(QEvent::registerEventType());
    return t;
}

QEvent::Type quitType()
{
    static const QEvent::Type t = static_cast<QEvent::Type>(QEvent::registerEventType());
    return t;
}

// Lives on the main thread; each posted kick event runs one queued item.
class KickReceiver final : public QObject {
public:
    explicit KickReceiver(QtMessageLoop* loop) : loop_(loop) {}

protected:
    void customEvent(QEvent* e) override
    {
        if (e->type() == kickType())
            loop_->onKick();
        else if (e->type() == wakeType())
            loop_->onWake();
        else if (e->type() == quitType())
            QCoreApplication::exit(0); // ends exec() as well
    }

private:
    QtMessageLoop* loop_;
};

} // namespace

QtMessageLoop::QtMessageLoop()
{
    if (!QCoreApplication::instance())
        throw std::logic_error("QtMessageLoop needs a QCoreApplication");
    if (QThread::currentThread() != QCoreApplication::instance()->thread())
        throw std::logic_error("QtMessageLoop must be created on the application's thread");
    kickType();
    wakeType();
    quitType();
    receiver_ = std::make_unique<KickReceiver>(this);
    delayTimer_ = std::make_unique<QTimer>();
    delayTimer_->setSingleShot(true);
    delayTimer_->setTimerType(Qt::PreciseTimer);
    QObject::connect(delayTimer_.get(), &QTimer::timeout, receiver_.get(), [this] {
        // Kick events for the posts that fell due, and the timer for the next.
        armDelayTimer(promoteDue());
    });
}

struct QtMessageLoop::Watch {
    std::unique_ptr<QSocketNotifier> notifier;
    std::function<void()> fn;
    int running = 0; // nesting depth of its callback
    bool removed = false;
};

QtMessageLoop::~QtMessageLoop()
{
    // A worker may still be posting its kick or wake event to the receiver.
    waitForSenders();
    watches_.clear();
    // Kick events still queued for the receiver are discarded with it.
    delayTimer_.reset();
    receiver_.reset();
}

void QtMessageLoop::postKicks(std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        QCoreApplication::postEvent(receiver_.get(), new QEvent(kickType()));
}

void QtMessageLoop::queueChanged(std::size_t n)
{
    if (n > 0) {
        postKicks(n);
        return;
    }
    // A delayed post was added: the timer is re-armed on the main thread.
    if (isMainThread())
        armDelayTimer(promoteDue());
    else
        postWake();
}

void QtMessageLoop::postWake()
{
    // One wake event at a time: a wake runs no item of its own, so wake-ups
    // never pile up extra events behind the work that is queued.
    if (!wakePending_.exchange(true))
        QCoreApplication::postEvent(receiver_.get(), new QEvent(wakeType()));
}

void QtMessageLoop::onWake()
{
    wakePending_ = false;
    armDelayTimer(promoteDue());
}

void QtMessageLoop::quitRequestedHook()
{
    // Wakes a pumpUntil, and ends QCoreApplication::exec() when it runs. Sent
    // to our receiver, so a loop that goes first takes the request with it.
    QCoreApplication::postEvent(receiver_.get(), new QEvent(quitType()));
}

void QtMessageLoop::armDelayTimer(std::int64_t nextDue)
{
    if (nextDue < 0 || clock().isFake()) {
        // Fake time does not pass by itself; pumping moves due posts.
        delayTimer_->stop();
        return;
    }
    std::int64_t wait = std::max<std::int64_t>(0, nextDue - clock().monotonicMs());
    delayTimer_->start(static_cast<int>(std::min<std::int64_t>(wait, 24LL * 3600 * 1000)));
}

void QtMessageLoop::onKick()
{
    runNext();
    // The item may have added or removed delayed posts (a periodic timer
    // schedules its next tick from its handler): the due time is read only
    // now, or the timer would be re-armed for a time that no longer holds.
    armDelayTimer(promoteDue());
}

MessageLoop::WatchId QtMessageLoop::watchReadable(int fd, std::function<void()> onReadable)
{
    const WatchId id = nextWatch_++;
    auto w = std::make_unique<Watch>();
    w->notifier = std::make_unique<QSocketNotifier>(static_cast<qintptr>(fd), QSocketNotifier::Read);
    w->fn = std::move(onReadable);
    QObject::connect(w->notifier.get(), &QSocketNotifier::activated, receiver_.get(), [this, id] { runWatch(id); });
    watches_.emplace(id, std::move(w));
    return id;
}

void QtMessageLoop::runWatch(WatchId id)
{
    auto it = watches_.find(id);
    if (it == watches_.end() || it->second->removed)
        return;
    Watch& w = *it->second;
    ++w.running;
    guarded("descriptor watch", w.fn);
    // Unwatched from inside: the notifier that called us goes only now.
    if (--w.running == 0 && w.removed)
        watches_.erase(id);
}

void QtMessageLoop::unwatchReadable(WatchId id)
{
    auto it = watches_.find(id);
    if (it == watches_.end())
        return;
    it->second->notifier->setEnabled(false);
    if (it->second->running)
        it->second->removed = true;
    else
        watches_.erase(it);
}

void QtMessageLoop::wakeUp()
{
    postWake();
}

std::uint32_t QtMessageLoop::processOne()
{
    if (quitRequested())
        return kQuitMessage;
    if (std::uint32_t r = runNext())
        return r;
    // Nothing of ours: give the rest of the event loop (input, timers,
    // sockets) one non-blocking round.
    QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance();
    bool any = false;
    guarded("event loop", [&] { any = d && d->processEvents(QEventLoop::AllEvents); });
    return any ? 1 : 0;
}

bool QtMessageLoop::processPending()
{
    bool any = runReady();
    QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance();
    guarded("event loop", [&] {
        if (d && d->processEvents(QEventLoop::AllEvents))
            any = true;
    });
    return any;
}

bool QtMessageLoop::pumpUntil(const std::function<bool()>& done, std::int64_t timeoutMs)
{
    const std::int64_t deadline = timeoutMs < 0 ? -1 : clock().monotonicMs() + timeoutMs;
    // Advancing a fake clock posts a wake event, which makes the wait below
    // return and moves the posts that fell due. A kick here would run one
    // more item than was queued, and a ticker that advances the clock from a
    // posted call would double the events of every round of the wait.
    FakeClockWaker waker([this] { postWake(); });
    // With the system clock, a timer wakes the wait at the deadline.
    QTimer deadlineTimer;
    deadlineTimer.setSingleShot(true);
    deadlineTimer.setTimerType(Qt::PreciseTimer);
    QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance();

    for (;;) {
        if (done())
            return true;
        if (quitRequested())
            return false;
        if (deadline >= 0) {
            std::int64_t now = clock().monotonicMs();
            if (now >= deadline)
                return done();
            if (!clock().isFake() && !deadlineTimer.isActive())
                deadlineTimer.start(static_cast<int>(std::min<std::int64_t>(deadline - now, 24LL * 3600 * 1000)));
        }
        // Blocks until at least one event came and was processed.
        guarded("event loop", [&] {
            if (d)
                d->processEvents(QEventLoop::WaitForMoreEvents);
        });
    }
}

} // namespace kyd::platform
