// A pseudo-terminal pair for integration tests: the test holds the master,
// the code under test opens the slave path.
#pragma once

#include "platform/message_loop.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sio::test {

class TestPty {
public:
    TestPty();  // opens a raw master; check ok()
    ~TestPty();
    TestPty(const TestPty&) = delete;
    TestPty& operator=(const TestPty&) = delete;

    bool ok() const { return master_ >= 0; }
    const std::string& slavePath() const { return slave_; }
    // Writes everything (blocking with a time-out); false on failure.
    bool write(const std::vector<std::uint8_t>& bytes);
    bool write(const std::string& s) { return write(std::vector<std::uint8_t>(s.begin(), s.end())); }
    // Reads until n bytes arrived or timeoutMs passed.
    std::vector<std::uint8_t> read(std::size_t n, int timeoutMs);
    std::string readText(std::size_t n, int timeoutMs)
    {
        const std::vector<std::uint8_t> v = read(n, timeoutMs);
        return std::string(v.begin(), v.end());
    }
    void closeMaster();

private:
    int master_ = -1;
    int keepSlave_ = -1; // keeps the slave side alive between opens
    std::string slave_;
};

// For a test of the port on the pty: loop becomes the main thread's message
// loop and COMn the pty's slave (the shared ini left out); the second call
// undoes both.
void RouteComToPty(kyd::platform::MessageLoop& loop, int com, const TestPty& pty);
void UnrouteComs();

// Pumps loop (the calling thread's) until done() holds. The process clock
// may be a fake one that stands still, so a watchdog on the steady clock
// gives up after maxSeconds (only a failing test ever meets it). Returns
// done().
bool pumpWithWatchdog(kyd::platform::MessageLoop& loop, const std::function<bool()>& done, int maxSeconds);

// Number of open descriptors and of threads of this process.
int openFdCount();
int threadCount();

// Holds an exclusive flock on a path while it lives (another "process").
class FlockHolder {
public:
    explicit FlockHolder(const std::string& path);
    ~FlockHolder();
    bool ok() const { return locked_; }

private:
    int fd_ = -1;
    bool locked_ = false;
};

} // namespace sio::test
