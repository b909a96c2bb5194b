#include "sim/pty_transport.h"
#include "sim/pty_line.h"

#include "platform/exception_sink.h"
#include "platform/precise_sleep.h"
#include "platform/pty_modem.h"
#include "sim/boot_transport.h"
#include "sim/framing.h"

#include <algorithm>
#include <cmath>

namespace kyd::sim {

using Clock = std::chrono::steady_clock;

PtyTransport::PtyTransport(Simulator& sim, std::string linkPath, FakeLineClock* lineClock)
    : sim_(sim), lineClock_(lineClock), pty_(std::make_unique<platform::PtyMaster>(std::move(linkPath)))
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
    return hangUpCount_.value();
}

bool PtyTransport::waitForHangUps(int n, int timeoutMs) const
{
    return hangUpCount_.waitFor(n, timeoutMs);
}

std::int64_t PtyTransport::nowUs() const
{
    if (lineClock_)
        return lineClock_->nowUs();
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch()).count();
}

bool PtyTransport::sleepUntil(std::int64_t dueUs)
{
    if (lineClock_) {
        lineClock_->reach(dueUs);
        return !pty_->stopped();
    }
    // Below the stoppable wait's millisecond steps a plain sleep keeps the
    // line pacing exact.
    return sleepUntilOnPty(*pty_, Clock::time_point(std::chrono::microseconds(dueUs)), 1000);
}

bool PtyTransport::sendBytes(const std::string& bytes)
{
    const LinePacing pacing = linePacing(sim_.pacing(), *pty_);
    if (!pacing.enabled()) {
        if (lineClock_)
            lineClock_->wrote(bytes.data(), bytes.size());
        return writeAllToPty(*pty_, bytes.data(), bytes.size());
    }
    if (bytes.empty())
        return true;
    // Each character is released when the line has carried it, counted
    // from the start of the reply, so late wake-ups never add up.
    const std::int64_t start = std::max(nowUs(), txFreeUs_);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (!sleepUntil(start + pacing.arrivalUs(i)))
            return false;
        if (lineClock_)
            lineClock_->wrote(&bytes[i], 1);
        if (!writeAllToPty(*pty_, &bytes[i], 1))
            return false;
    }
    txFreeUs_ = start + pacing.arrivalUs(bytes.size() - 1);
    return true;
}

bool PtyTransport::sendPlan(const ReplyPlan& plan)
{
    std::string sent;
    for (const ReplyChunk& c : plan.chunks) {
        if (c.waitMs > 0 && !sleepUntil(nowUs() + std::int64_t{c.waitMs} * 1000))
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
        hangUpCount_.add();
    }
    return true;
}

void PtyTransport::run()
{
    platform::usePreciseSleepsOnThisThread(); // line pacing
    platform::guarded("dispenser simulator", [this] {
        FrameAssembler assembler;
        BootLine loader(sim_.boot(), *pty_, hangUpCount_);
        char buf[512];
        for (;;) {
            long n = readFromPty(*pty_, buf, sizeof buf);
            if (n < 0)
                return;
            if (n == 0)
                continue;
            if (sim_.inLoader()) {
                if (loader.accepted()) {
                    if (!loader.feed(buf, static_cast<std::size_t>(n)))
                        return;
                    continue;
                }
                // The line was set back for the dispenser: the firmware runs
                // again.
                sim_.leaveLoader();
                assembler.clear();
            } else if (loader.accepted(false)) {
                // The controller's ROM takes a zero byte on the loader's line
                // as the call into its bootstrap loader; anything before it
                // is noise to the dispenser at that rate.
                if (char* zero = std::find(buf, buf + n, '\0'); zero != buf + n) {
                    sim_.enterLoader();
                    assembler.clear();
                    loader.restart();
                    loader.accepted(); // logs the line it runs on
                    if (!loader.feed(zero, static_cast<std::size_t>(buf + n - zero)))
                        return;
                    continue;
                }
            } else if (const int baud = loader.lineBaud(); baud > 0) {
                sim_.dispenserLineAt(baud); // the loader expects six times it
            }
            // A zero byte is no character of the dispenser protocol: line
            // noise, or the loader's wake-up byte on a line not set for it.
            // The controller's serial line drops it, so a command that
            // follows is not taken as garbled.
            n = static_cast<long>(std::remove(buf, buf + n, '\0') - buf);
            if (n == 0)
                continue;
            const LinePacing pacing = linePacing(sim_.pacing(), *pty_);
            if (pacing.enabled()) // the bytes started on the line when written, or when it was free
                rxFreeUs_ = std::max(rxFreeUs_, nowUs()) + pacing.arrivalUs(static_cast<std::size_t>(n) - 1);
            for (const std::string& f : assembler.feed(buf, static_cast<std::size_t>(n))) {
                if (pacing.enabled() && !sleepUntil(rxFreeUs_))
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
