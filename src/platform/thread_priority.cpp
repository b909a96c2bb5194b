#include "platform/thread_priority.h"

#include <cerrno>
#include <cstring>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace kyd::platform {

namespace {

id_t threadId()
{
    return static_cast<id_t>(::syscall(SYS_gettid));
}

} // namespace

bool setCurrentThreadNice(int nice, std::string* error)
{
    if (::setpriority(PRIO_PROCESS, threadId(), nice) == 0)
        return true;
    if (error)
        *error = std::strerror(errno);
    return false;
}

int currentThreadNice()
{
    errno = 0;
    return ::getpriority(PRIO_PROCESS, threadId());
}

} // namespace kyd::platform
