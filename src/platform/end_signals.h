// The requests to end the program that arrive as signals (SIGTERM from a
// kill or a shutting-down system, SIGHUP from a closed terminal or a logout)
// turned into a readable descriptor, so that the program can end in its own
// time on its main thread, saving what it has to, instead of being killed
// on the spot.
#pragma once

#include <chrono>

namespace kyd::platform {

// Catches SIGTERM and SIGHUP from now on: each signal's number is written
// to a non-blocking self-pipe, whose read end is returned (the same one on
// every call; -1 when the pipe cannot be made). The handler does nothing
// else, as only async-signal-safe calls may be made there. A signal the
// program was started with ignored (nohup for SIGHUP) stays ignored.
int catchEndSignals();

// The number of the next signal caught and not yet taken, 0 when none (never
// blocks).
int takeEndSignal();

// What the signals did before they were caught, again (the pipe stays,
// unused).
void releaseEndSignals();

// For a program that was asked to end and has saved what it keeps: the
// process is gone at the latest that long from now (a limit of zero or less
// counts as a millisecond), wherever its main thread is by then (exit
// status 0, nothing more of the program runs). A later call sets a new
// limit.
void endProcessWithin(std::chrono::milliseconds limit);

} // namespace kyd::platform
