// Where the dispenser link's port comes from.
//
// The main window asks the factory in force for the port when it creates the
// link. The program installs the factory of the serial library's port
// component; tests install one that makes an in-process port. Until a
// factory is installed, the link gets a port that cannot be opened and says
// so.
#pragma once

#include "link/LinkPort.h"

#include <functional>
#include <memory>

namespace kyd::app {

using LinkPortFactory = std::function<std::unique_ptr<link::LinkPort>()>;

// Replaces the factory in force; an empty function restores the default.
void SetLinkPortFactory(LinkPortFactory factory);
// Makes a port with the factory in force.
std::unique_ptr<link::LinkPort> MakeLinkPort();

// The default port: every open fails with a clear message.
class UnavailableLinkPort final : public link::LinkPort {
public:
    void SetEvents(link::LinkPortEvents*) override {}
    void Open(const link::PortSettings& settings) override;
    void Close() override {}
    bool IsOpen() const override { return false; }
    link::PortSettings Settings() const override { return settings_; }
    void SetRTS(bool) override {}
    bool CTS() const override { return false; }
    int OutBuffFree() const override { return 0; }
    void FlushInBuffer() override;
    void FlushOutBuffer() override;
    void PutString(const std::string&) override;
    void EnablePacket(int) override {}
    void DisablePacket() override {}

private:
    link::PortSettings settings_;
};

} // namespace kyd::app
