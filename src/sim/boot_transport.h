// The simulated bootstrap loader on a pseudo-terminal: what the program
// sends on the slave side is fed byte by byte to the boot state machine and
// its answers are written back, with the waits, line pacing and hang-ups
// asked for.
//
// The line must be set as the bootloader expects it (8 data bits, no
// parity, one stop bit, raw, six times the configured rate); while it is
// not, every byte is ignored, as a CPU on a wrong baud rate would see only
// garbage.
//
// With pacing on, a byte counts as received when the line would have
// carried it (the bytes read so far queue up behind each other), and each
// answer byte is handed over when its stop bit would have passed.
#pragma once

#include "platform/pty.h"
#include "sim/boot_simulator.h"
#include "sim/pacing.h"
#include "sim/pty_line.h"

#include <chrono>
#include <memory>
#include <string>
#include <thread>

namespace kyd::sim {

// The loader's side of one pseudo-terminal: judges the line settings, feeds
// what was read and sends the answers. Used by the loader's own transport
// and by the dispenser's while its controller runs the bootstrap loader.
class BootLine {
public:
    BootLine(BootSimulator& sim, platform::PtyMaster& pty, HangUpCount& hangUps)
        : sim_(sim), pty_(pty), hangUps_(hangUps)
    {
    }
    // True when the line is set as the loader expects it; logLine: report
    // each change of the verdict through the simulator's log.
    bool accepted(bool logLine = true);
    // The baud rate accepted() last read, 0 when the settings were unreadable.
    int lineBaud() const { return readable_ ? static_cast<int>(state_.baud) : 0; }
    // Feeds the bytes just read; false once the pty was stopped.
    bool feed(const char* buf, std::size_t n);
    // The bytes read from now on start on an idle line.
    void restart() { lineFree_ = std::chrono::steady_clock::now(); }

private:
    using TimePoint = std::chrono::steady_clock::time_point;
    // Sends the answer as if it started on the line at from.
    bool send(const BootAnswer& a, TimePoint from, const LinePacing& pacing);
    bool sleepUntil(TimePoint due);

    BootSimulator& sim_;
    platform::PtyMaster& pty_;
    HangUpCount& hangUps_;
    std::string lastRefusal_;
    // The settings and expected rate the verdict why_ was formed on: it is
    // formed again only when one of them changes.
    bool judged_ = false;
    bool readable_ = false;
    platform::PtyMaster::LineState state_;
    int expected_ = 0;
    std::string why_;
    TimePoint lineFree_ = std::chrono::steady_clock::now(); // when the bytes read so far have arrived on a paced line
};

class BootPtyTransport {
public:
    // Opens the pseudo-terminal (linkPath: optional stable symlink to the
    // slave) and starts the thread. Throws std::system_error on failure.
    explicit BootPtyTransport(BootSimulator& sim, std::string linkPath = {});
    ~BootPtyTransport();
    BootPtyTransport(const BootPtyTransport&) = delete;
    BootPtyTransport& operator=(const BootPtyTransport&) = delete;

    std::string slavePath() const { return pty_->slavePath(); }
    std::string devicePath() const { return pty_->devicePath(); }
    int hangUps() const;
    // Blocks until n hang-ups have been made (and the new line is ready) or
    // the time ran out.
    bool waitForHangUps(int n, int timeoutMs) const;
    void stop();

private:
    void run();

    BootSimulator& sim_;
    std::unique_ptr<platform::PtyMaster> pty_;
    HangUpCount hangUpCount_;
    std::thread thread_;
};

} // namespace kyd::sim
