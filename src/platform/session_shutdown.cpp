#include "platform/session_shutdown.h"

#include "platform/process.h"

#include <cstdlib>

namespace kyd::platform {

namespace {

class LogindShutdown final : public SessionShutdown {
public:
    bool powerOff() override { return runAndWait("systemctl", {"poweroff"}) == 0; }
    bool reboot() override { return runAndWait("systemctl", {"reboot"}) == 0; }
    bool logOff() override
    {
        const char* session = std::getenv("XDG_SESSION_ID");
        if (!session || !*session)
            return false;
        return runAndWait("loginctl", {"terminate-session", session}) == 0;
    }
};

} // namespace

SessionShutdown& systemSessionShutdown()
{
    static LogindShutdown s;
    return s;
}

} // namespace kyd::platform
