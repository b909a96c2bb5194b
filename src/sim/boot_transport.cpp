#include "sim/boot_transport.h"
#include "sim/pty_line.h"

#include "platform/exception_sink.h"
#include "platform/precise_sleep.h"

#include <algorithm>

namespace kyd::sim {

using Clock = std::chrono::steady_clock;

namespace {

std::int64_t nowMs(Clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
}

} // namespace

bool BootLine::accepted(bool logLine)
{
    // Called for every read: the settings are read (one query of the line)
    // and compared; the verdict is formed only when they or the rate the
    // loader expects have changed.
    platform::PtyMaster::LineState s;
    const bool readable = pty_.lineState(s);
    int expected = 0;
    sim_.withCore([&](BootCore& c) { expected = c.config().linkBaud * 6; });
    if (!judged_ || readable != readable_ || expected != expected_ || (readable && !(s == state_))) {
        judged_ = true;
        readable_ = readable;
        state_ = readable ? s : platform::PtyMaster::LineState{};
        expected_ = expected;
        why_.clear();
        if (!readable)
            why_ = "line settings unreadable";
        else if (static_cast<int>(s.baud) != expected)
            why_ = "line at " + std::to_string(s.baud) + " baud, expected " + std::to_string(expected);
        else if (s.dataBits != 8 || s.parity || s.stopBits != 1)
            why_ = "line not 8N1";
        else if (!s.raw)
            why_ = "line not raw";
    }
    if (logLine && why_ != lastRefusal_) {
        lastRefusal_ = why_;
        sim_.log(why_.empty() ? "line accepted" : "refused: " + why_);
    }
    return why_.empty();
}

bool BootLine::sleepUntil(TimePoint due)
{
    // Plain sleeps up to 5 ms, where the dispenser's line takes 1 ms: the
    // loader's line runs six times as fast, and its waits fall between
    // chunks, where a millisecond wait's overshoot would show in the
    // download time. Only the long waits need to end early on stop().
    return sleepUntilOnPty(pty_, due, 5000);
}

bool BootLine::send(const BootAnswer& a, TimePoint from, const LinePacing& pacing)
{
    for (const BootChunk& c : a.chunks) {
        if (c.waitMs > 0) {
            from = std::max(from, Clock::now()) + std::chrono::milliseconds(c.waitMs);
            if (!sleepUntil(from))
                return false;
        }
        if (!pacing.enabled()) {
            if (!writeAllToPty(pty_, c.bytes.data(), c.bytes.size()))
                return false;
            continue;
        }
        // The answer starts on the line at from; each slice of about 2 ms of
        // line time is handed over once the line would have carried it.
        const double perChar = pacing.microsFor(1);
        const std::size_t slice = std::max<std::size_t>(1, static_cast<std::size_t>(2000.0 / perChar));
        for (std::size_t i = 0; i < c.bytes.size(); i += slice) {
            const std::size_t n = std::min(slice, c.bytes.size() - i);
            const auto due = from + std::chrono::microseconds(pacing.arrivalUs(i + n - 1));
            if (!sleepUntil(due) || !writeAllToPty(pty_, c.bytes.data() + i, n))
                return false;
        }
        if (!c.bytes.empty())
            from += std::chrono::microseconds(pacing.arrivalUs(c.bytes.size() - 1));
    }
    if (a.hangUp) {
        if (pacing.enabled() && !sleepUntil(from))
            return false;
        sim_.log("hang-up");
        pty_.hangUp();
        hangUps_.add();
    }
    return true;
}

bool BootLine::feed(const char* buf, std::size_t n)
{
    if (n == 0)
        return true;
    const LinePacing pacing = linePacing(sim_.pacing(), pty_);
    const TimePoint first = std::max(lineFree_, Clock::now());
    for (std::size_t i = 0; i < n; ++i) {
        // When this byte has fully arrived.
        const TimePoint arrived = first + std::chrono::microseconds(pacing.arrivalUs(i));
        const BootAnswer a = sim_.feed(static_cast<std::uint8_t>(buf[i]), nowMs(arrived));
        if (a.empty())
            continue;
        // The answer follows the byte that completed its request.
        if (!send(a, pacing.enabled() ? arrived : Clock::now(), pacing))
            return false;
        if (a.hangUp)
            break; // what else was read belonged to the old line
    }
    if (pacing.enabled())
        lineFree_ = first + std::chrono::microseconds(pacing.arrivalUs(n - 1));
    return true;
}

BootPtyTransport::BootPtyTransport(BootSimulator& sim, std::string linkPath)
    : sim_(sim), pty_(std::make_unique<platform::PtyMaster>(std::move(linkPath)))
{
    thread_ = std::thread([this] { run(); });
}

BootPtyTransport::~BootPtyTransport()
{
    stop();
}

void BootPtyTransport::stop()
{
    pty_->stop();
    if (thread_.joinable())
        thread_.join();
}

int BootPtyTransport::hangUps() const
{
    return hangUpCount_.value();
}

bool BootPtyTransport::waitForHangUps(int n, int timeoutMs) const
{
    return hangUpCount_.waitFor(n, timeoutMs);
}

void BootPtyTransport::run()
{
    platform::usePreciseSleepsOnThisThread(); // line pacing
    platform::guarded("bootloader simulator", [this] {
        BootLine line(sim_, *pty_, hangUpCount_);
        char buf[1024];
        for (;;) {
            const long n = readFromPty(*pty_, buf, sizeof buf);
            if (n < 0)
                return;
            if (n == 0 || !line.accepted())
                continue;
            if (!line.feed(buf, static_cast<std::size_t>(n)))
                return;
        }
    });
}

} // namespace kyd::sim
