// Tells the Qt main thread when the program is asked to end by SIGTERM or
// SIGHUP (see platform/end_signals.h).
#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace kyd::platform {

class QtEndSignalWatch : public QObject {
public:
    // From now on each SIGTERM or SIGHUP calls onSignal with its number, on
    // this thread's event loop. Without the signals' pipe nothing is caught.
    explicit QtEndSignalWatch(std::function<void(int)> onSignal, QObject* parent = nullptr);
    // What the signals did before it caught them, again.
    ~QtEndSignalWatch() override;

private:
    std::function<void(int)> onSignal_;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace kyd::platform
