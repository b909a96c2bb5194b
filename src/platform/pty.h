// Master side of a pseudo-terminal, as the dispenser simulator uses it.
//
// The object opens a new pty pair, puts the line into raw mode, optionally
// points a stable symlink at the slave device and keeps a slave descriptor
// open itself: the master therefore never reads EIO (and never wakes a poll
// loop over and over) while the program on the other side closes and
// reopens the port. The master descriptor is non-blocking; every wait
// blocks in poll() on the master and on a stop event, with a time-out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

namespace kyd::platform {

class PtyMaster {
public:
    enum class Wait { Ready, Timeout, Stopped, HungUp };

    // Opens a pty pair; with a non-empty linkPath, a symlink of that name is
    // made to point at the slave. Something else at linkPath than a symlink
    // to a pseudo-terminal (such as an earlier run left) is refused. Only
    // the link as this object made it is re-pointed or removed later.
    // Throws std::system_error on failure.
    explicit PtyMaster(std::string linkPath = {});
    ~PtyMaster();
    PtyMaster(const PtyMaster&) = delete;
    PtyMaster& operator=(const PtyMaster&) = delete;

    // "/dev/pts/N" of the current pair.
    std::string slavePath() const;
    const std::string& linkPath() const { return linkPath_; }
    // The link when there is one, else the slave path.
    std::string devicePath() const;

    // Waits until the master has bytes to read (or room to write), the time
    // runs out (timeoutMs < 0: no limit) or stop() was called.
    Wait waitReadable(int timeoutMs);
    Wait waitWritable(int timeoutMs);
    // Waits for stop() only: Timeout when the time passed, Stopped otherwise.
    Wait sleep(int timeoutMs);

    // Non-blocking; the number of bytes moved, 0 when none could be, -1 on
    // an error other than "would block".
    long readSome(void* buffer, std::size_t size);
    long writeSome(const void* data, std::size_t size);

    // The line settings that the program on the slave side set (master and
    // slave share them). False when they cannot be read.
    struct LineState {
        std::uint32_t baud = 0;
        int dataBits = 0;
        bool parity = false;
        int stopBits = 1;
        bool raw = false; // no line editing, echo, signals or byte translation
        bool operator==(const LineState&) const = default;
    };
    bool lineState(LineState& out) const;

    // Ends every present and future wait with Stopped. Any thread.
    void stop();
    bool stopped() const;

    // Hangs the line up: the master and our slave descriptor are closed, so
    // the program on the slave side sees the hang-up; then a fresh pair is
    // opened and the link (if any) re-pointed at its slave. Throws
    // std::system_error when the new pair cannot be opened.
    void hangUp();

private:
    void openPair();
    void closePair();
    Wait waitFor(short events, int timeoutMs);

    std::string linkPath_;
    mutable std::mutex pathMutex_;
    std::string slavePath_;
    int master_ = -1;
    int slave_ = -1;
    int stopFd_ = -1;
};

// Termination signals for a console program: block SIGINT and SIGTERM in the
// calling thread (call it before any thread starts, so all threads inherit
// the mask), then wait for one of them. Returns the signal number.
// True when the path (links followed) is the far end of a pseudo-terminal:
// a character device of the kernel's pseudo-terminal slaves. What is
// written to one arrives at once; it has no line time.
bool isPseudoTerminalDevice(const std::string& path);

void blockTerminationSignals();
int waitForTerminationSignal();

} // namespace kyd::platform
