// Starting a program and waiting for its end.
#pragma once

#include <string>
#include <vector>

namespace kyd::platform {

// Starts path (searched on PATH when it has no '/') with the given arguments
// (argv[1..]; no shell is involved) and waits for it to end. Result: the exit
// code; 128 + the signal number when a signal ended it; -1 when it could not
// be started.
int runAndWait(const std::string& path, const std::vector<std::string>& args);

} // namespace kyd::platform
