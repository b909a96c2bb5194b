// Ending the user's session or the machine, through the login manager.
#pragma once

namespace kyd::platform {

class SessionShutdown {
public:
    virtual ~SessionShutdown() = default;
    // Each returns false when the request was refused or failed.
    virtual bool powerOff() = 0;
    virtual bool reboot() = 0;
    virtual bool logOff() = 0;
};

// The login manager of the machine (logind through loginctl/systemctl).
SessionShutdown& systemSessionShutdown();

} // namespace kyd::platform
