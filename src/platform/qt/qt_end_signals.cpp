#include "platform/qt/qt_end_signals.h"

#include "platform/end_signals.h"

#include <QSocketNotifier>

namespace kyd::platform {

QtEndSignalWatch::QtEndSignalWatch(std::function<void(int)> onSignal, QObject* parent)
    : QObject(parent), onSignal_(std::move(onSignal))
{
    const int fd = catchEndSignals();
    if (fd < 0)
        return;
    notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        while (const int sig = takeEndSignal())
            if (onSignal_)
                onSignal_(sig);
    });
}

QtEndSignalWatch::~QtEndSignalWatch()
{
    if (notifier_)
        releaseEndSignals();
}

} // namespace kyd::platform
