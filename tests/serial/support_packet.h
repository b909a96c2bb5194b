// Test doubles for the data packet manager: a PacketHost that records what
// the manager asks of it and lets the test fire the timer by hand, and a
// recorder of packet events.
#pragma once

#include "serial/SioPacket.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace packet_test {

class FakeHost : public sio::PacketHost {
public:
    struct Timer {
        sio::Ticks ticks = 0;
        bool active = false;
        int arms = 0; // times it was activated
        sio::Ticks since = -1; // start tick given with the last activation
    };

    bool open = true;
    bool registered = false;
    int registrations = 0;
    int events = 0;
    std::vector<bool> syncFlags;
    std::map<int, Timer> timers;

    bool PortIsOpen() const override { return open; }
    void RegisterHandler(sio::TSioDataPacketManager&) override;
    void DeregisterHandler(sio::TSioDataPacketManager&) override;
    int AddTimerTrigger() override;
    void RemoveTrigger(int handle) override;
    void SetTimerTrigger(int handle, sio::Ticks ticks, bool activate, sio::Ticks startTicks) override;
    void RunEvent(const std::function<void()>& fn, bool sync) override;

    // The active timer of the manager, if any.
    const Timer* ManagerTimer(const sio::TSioDataPacketManager& m) const;
    bool TimerActive(const sio::TSioDataPacketManager& m) const;
    // Expires the manager's timer when it is active (as the dispatcher
    // would): deactivates it and calls OnTimer. Returns whether it fired.
    bool FireTimer(sio::TSioDataPacketManager& m);

private:
    int nextHandle_ = 8;
};

// Records the events of one or more packets as text:
//   "S:<bytes>"  string packet   "P:<size>"  packet   "T:<size>" time-out
// (P entries only when recordPackets is set).
class Recorder {
public:
    void Attach(sio::TSioDataPacket& p, bool recordPackets = false);
    std::vector<std::string> log;
    // Called after each string packet is recorded (may be empty).
    std::function<void(sio::TSioDataPacket&, const std::string&)> then;
};

// Feeds text in the given pieces.
void Feed(sio::TSioDataPacketManager& m, const std::string& bytes);
void FeedSplit(sio::TSioDataPacketManager& m, const std::string& bytes, const std::vector<std::size_t>& cuts);

} // namespace packet_test
