// Test support: a minimal serial client on a pty slave, the reply decoding
// the tester does, and a way to run kydsim as a child process.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace simtest {

// Checksum as the tester computes it (xor of all bytes, nibbles + '0').
std::string cs(const std::string& text);
// command + checksum + CR.
std::string framed(const std::string& command);

// Splits a raw reply ("...CC\r"): verifies the carriage return and the
// checksum, returns the text before the checksum (status + payload).
// Sets ok to false when either is wrong.
std::string unframe(const std::string& raw, bool& ok);

class PtyClient {
public:
    explicit PtyClient(const std::string& path);
    ~PtyClient();
    bool isOpen() const { return fd_ >= 0; }
    void close();
    void write(const std::string& bytes);
    // Reads up to and including the next CR, at most timeoutMs. Returns what
    // was read (without CR when it timed out).
    std::string readReply(int timeoutMs, bool* complete = nullptr);
    // Everything that arrives within timeoutMs.
    std::string readFor(int timeoutMs);
    // True when the line was hung up (read gives EOF/EIO) within timeoutMs.
    bool waitHangUp(int timeoutMs);
    // Sends a framed command and returns the unframed reply; "" on no reply.
    std::string exchange(const std::string& command, int timeoutMs = 1000);

private:
    int fd_ = -1;
    std::string pending_;
};

struct Child {
    pid_t pid = -1;
    int out = -1; // read end of its standard output
};

// Starts program with args, its standard output on a pipe.
Child spawn(const std::string& program, const std::vector<std::string>& args);
// Reads one line of the child's output (without the newline), timeoutMs.
std::string readLine(Child& c, int timeoutMs);
// Sends a signal and waits for the end; returns the exit status as
// waitpid() reports it, or -1 after timeoutMs.
int stopChild(Child& c, int signal, int timeoutMs);

// Directory of the running test program.
std::string selfDir();

long long nowMs();

} // namespace simtest
