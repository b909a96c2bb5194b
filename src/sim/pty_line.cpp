#include "sim/pty_line.h"

#include <chrono>
#include <thread>

namespace kyd::sim {

bool writeAllToPty(platform::PtyMaster& pty, const char* data, std::size_t size)
{
    while (size > 0) {
        long n = pty.writeSome(data, size);
        if (n < 0)
            return true; // the line is gone; drop the rest
        if (n == 0) {
            // Nobody drains the slave side: give it a second, then drop.
            auto w = pty.waitWritable(1000);
            if (w == platform::PtyMaster::Wait::Stopped)
                return false;
            if (w != platform::PtyMaster::Wait::Ready)
                return true;
            continue;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

long readFromPty(platform::PtyMaster& pty, char* buf, std::size_t size)
{
    using Wait = platform::PtyMaster::Wait;
    const auto w = pty.waitReadable(-1);
    if (w == Wait::Stopped)
        return -1;
    if (w == Wait::HungUp) // not while the slave is held open, but never spin on it
        return pty.sleep(100) == Wait::Stopped ? -1 : 0;
    const long n = pty.readSome(buf, size);
    if (n < 0)
        return pty.sleep(100) == Wait::Stopped ? -1 : 0;
    return n;
}

bool sleepUntilOnPty(platform::PtyMaster& pty, std::chrono::steady_clock::time_point due, std::int64_t plainBelowUs)
{
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::microseconds>(due - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            return !pty.stopped();
        if (left < plainBelowUs) {
            std::this_thread::sleep_until(due);
            return !pty.stopped();
        }
        if (pty.sleep(static_cast<int>(left / 1000)) == platform::PtyMaster::Wait::Stopped)
            return false;
    }
}

LinePacing linePacing(const LinePacing& configured, const platform::PtyMaster& pty)
{
    if (!configured.followLine)
        return configured;
    LinePacing p;
    p.followLine = true;
    platform::PtyMaster::LineState s;
    if (!pty.lineState(s) || s.baud == 0)
        return p;
    p.baud = static_cast<int>(s.baud);
    p.bitsPerChar = 1 + s.dataBits + (s.parity ? 1 : 0) + s.stopBits;
    return p;
}

int HangUpCount::value() const
{
    std::lock_guard lock(mutex_);
    return count_;
}

bool HangUpCount::waitFor(int n, int timeoutMs) const
{
    std::unique_lock lock(mutex_);
    return done_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return count_ >= n; });
}

void HangUpCount::add()
{
    {
        std::lock_guard lock(mutex_);
        ++count_;
    }
    done_.notify_all();
}

} // namespace kyd::sim
