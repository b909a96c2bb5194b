#include "sim/pty_transport.h"

#include "platform/exception_sink.h"
#include "platform/pty_modem.h"
#include "sim/framing.h"

#include <algorithm>
#include <cmath>

namespace kyd::sim {

using Clock = std::chrono::steady_clock;

PtyTransport::PtyTransport(Simulator& sim, std::string linkPath)
    : sim_(sim), pty_(std::make_unique<platform::PtyMaster>(std::move(linkPath)))
{
    applyCts(sim_.faults());
    listener_ = sim_.addFaultsListener([this](const SimFaults& f) { applyCts(f); });
    thread_ = std::thread([this] { run(); });
}

PtyTransport::~PtyTransport()
{
    stop();
    sim_.removeFaultsListener(listener_);
    std::lock_guard lock(ctsMutex_);
    if (!ctsPath_.empty())
        platform::clearPtyCtsOverride(ctsPath_);
}

void PtyTransport::stop()
{
    pty_->stop();
    if (thread_.joinable())
        thread_.join();
}

void PtyTransport::applyCts(const SimFaults& f)
{
    std::lock_guard lock(ctsMutex_);
    lastFaults_ = f;
    const std::string path = pty_->slavePath();
    if (!ctsPath_.empty() && ctsPath_ != path)
        platform::clearPtyCtsOverride(ctsPath_);
    ctsPath_ = path;
    if (f.ctsLow || f.ctsDelayMs > 0) {
        platform::PtyCtsOverride o;
        if (f.ctsLow)
            o.forcedCts = false;
        o.riseDelayMs = f.ctsDelayMs;
        platform::setPtyCtsOverride(path, o);
    } else {
        platform::clearPtyCtsOverride(path);
    }
}

int PtyTransport::hangUps() const
{
    std::lock_guard lock(hangUpMutex_);
    return hangUps_;
}

bool PtyTransport::waitForHangUps(int n, int timeoutMs) const
{
    std::unique_lock lock(hangUpMutex_);
    return hangUpDone_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return hangUps_ >= n; });
}

bool PtyTransport::sleepUntil(TimePoint due)
{
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::microseconds>(due - Clock::now()).count();
        if (left <= 0)
            return !pty_->stopped();
        if (left < 1000) {
            // Below the stoppable wait's millisecond steps: a plain sleep of
            // less than a millisecond keeps the line pacing exact.
            std::this_thread::sleep_until(due);
            return !pty_->stopped();
        }
        if (pty_->sleep(static_cast<int>(left / 1000)) == platform::PtyMaster::Wait::Stopped)
            return false;
    }
}

bool PtyTransport::writeAll(const char* data, std::size_t size)
{
    while (size > 0) {
        long n = pty_->writeSome(data, size);
        if (n < 0)
            return true; // the line is gone; drop the rest
        if (n == 0) {
            // Nobody drains the slave side: give it a second, then drop.
            auto w = pty_->waitWritable(1000);
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

bool PtyTransport::sendBytes(const std::string& bytes)
{
    const LinePacing pacing = sim_.pacing();
    if (!pacing.enabled())
        return writeAll(bytes.data(), bytes.size());
    // Write in slices of about 5 ms of line time, each released when the
    // line would have carried it.
    const double perChar = pacing.microsFor(1);
    const std::size_t slice = std::max<std::size_t>(1, static_cast<std::size_t>(5000.0 / perChar));
    const TimePoint start = Clock::now();
    for (std::size_t i = 0; i < bytes.size(); i += slice) {
        std::size_t n = std::min(slice, bytes.size() - i);
        if (!writeAll(bytes.data() + i, n))
            return false;
        auto due = start + std::chrono::microseconds(static_cast<long long>(std::ceil(perChar * static_cast<double>(i + n))));
        if (!sleepUntil(due))
            return false;
    }
    return true;
}

bool PtyTransport::sendPlan(const ReplyPlan& plan)
{
    std::string sent;
    for (const ReplyChunk& c : plan.chunks) {
        if (c.waitMs > 0 && !sleepUntil(Clock::now() + std::chrono::milliseconds(c.waitMs)))
            return false;
        if (!sendBytes(c.bytes))
            return false;
        sent += c.bytes;
    }
    if (!plan.chunks.empty())
        sim_.logSent(sent);
    if (plan.hangUp) {
        pty_->hangUp();
        SimFaults f;
        {
            std::lock_guard lock(ctsMutex_);
            f = lastFaults_;
        }
        applyCts(f); // the new slave has a new path
        {
            std::lock_guard lock(hangUpMutex_);
            ++hangUps_;
        }
        hangUpDone_.notify_all();
    }
    return true;
}

void PtyTransport::run()
{
    platform::guarded("dispenser simulator", [this] {
        FrameAssembler assembler;
        char buf[512];
        TimePoint lineFree = Clock::now(); // when the bytes read so far have arrived on a paced line
        for (;;) {
            auto w = pty_->waitReadable(-1);
            if (w == platform::PtyMaster::Wait::Stopped)
                return;
            if (w == platform::PtyMaster::Wait::HungUp) {
                // Cannot happen while we hold the slave open; do not spin if it does.
                if (pty_->sleep(100) == platform::PtyMaster::Wait::Stopped)
                    return;
                continue;
            }
            long n = pty_->readSome(buf, sizeof buf);
            if (n <= 0) {
                if (n < 0 && pty_->sleep(100) == platform::PtyMaster::Wait::Stopped)
                    return;
                continue;
            }
            // A zero byte is no character of the dispenser protocol: the
            // firmware downloader's wake-up byte for the CMC's bootloader, or
            // line noise. The controller's serial line drops it, so a command
            // that follows is not taken as garbled.
            n = static_cast<long>(std::remove(buf, buf + n, '\0') - buf);
            if (n == 0)
                continue;
            const LinePacing pacing = sim_.pacing();
            if (pacing.enabled()) {
                lineFree = std::max(lineFree, Clock::now()) +
                           std::chrono::microseconds(static_cast<long long>(pacing.microsFor(static_cast<std::size_t>(n))));
            }
            for (const std::string& f : assembler.feed(buf, static_cast<std::size_t>(n))) {
                if (pacing.enabled() && !sleepUntil(lineFree))
                    return;
                ReplyPlan plan = sim_.onFrame(f);
                if (!sendPlan(plan))
                    return;
                if (plan.hangUp) {
                    assembler.clear();
                    break; // what else was read belonged to the old line
                }
            }
        }
    });
}

} // namespace kyd::sim
