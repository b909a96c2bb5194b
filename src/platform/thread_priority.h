// The scheduling priority of the calling thread, as a nice value (-20, the
// most urgent, to 19, the least); Linux keeps it per thread.
#pragma once

#include <string>

namespace kyd::platform {

// Sets the calling thread's nice value; false with the system's reason
// when it is refused (a more urgent value needs the right to raise
// priorities).
bool setCurrentThreadNice(int nice, std::string* error = nullptr);
int currentThreadNice();

} // namespace kyd::platform
