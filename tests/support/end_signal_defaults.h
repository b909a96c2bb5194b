// SIGTERM and SIGHUP at their default actions for the tests that send them,
// whatever the test runner was started with (under nohup SIGHUP is ignored,
// and the program keeps a signal it was started with ignored).
#pragma once

#include <csignal>

namespace kyd::test {

// Both at their default actions while this object lives; what they were is
// restored after.
class DefaultEndSignals {
public:
    DefaultEndSignals()
    {
        struct sigaction dfl {};
        dfl.sa_handler = SIG_DFL;
        sigemptyset(&dfl.sa_mask);
        ::sigaction(SIGTERM, &dfl, &term_);
        ::sigaction(SIGHUP, &dfl, &hup_);
    }
    ~DefaultEndSignals()
    {
        ::sigaction(SIGTERM, &term_, nullptr);
        ::sigaction(SIGHUP, &hup_, nullptr);
    }
    DefaultEndSignals(const DefaultEndSignals&) = delete;
    DefaultEndSignals& operator=(const DefaultEndSignals&) = delete;

    // In a child process between fork and exec (only async-signal-safe
    // calls): both at their default actions in the program it runs.
    static void InChild()
    {
        struct sigaction dfl {};
        dfl.sa_handler = SIG_DFL;
        sigemptyset(&dfl.sa_mask);
        ::sigaction(SIGTERM, &dfl, nullptr);
        ::sigaction(SIGHUP, &dfl, nullptr);
    }

private:
    struct sigaction term_ {};
    struct sigaction hup_ {};
};

} // namespace kyd::test
