// What the dispenser link needs of a serial port and its reply packet.
//
// The program's implementation wraps the serial library's port component and
// a data packet ending at a carriage return; the tests use an in-process
// implementation that answers from a simulator. All calls are made on the
// main thread, and all events are delivered on the main thread, from inside
// the message pump of the link's waits (PumpUntil).
#pragma once

#include "link/AppContext.h"
#include "platform/message_loop.h"

#include <cstdint>
#include <functional>
#include <string>

namespace kyd::link {

struct PortSettings {
    int ComNumber = 0;   // 0: the library asks the operator for a port
    int Baud = 9600;
    TParity Parity = TParity::pEven;
    int DataBits = 7;
    int StopBits = 1;

    bool operator==(const PortSettings&) const = default;
};

// Receives the port's events on the main thread.
class LinkPortEvents {
public:
    virtual ~LinkPortEvents() = default;
    // The reply packet ended: the bytes since the packet was enabled (or
    // since the previous packet) up to, not including, the carriage return.
    // The text may be empty (a bare carriage return).
    virtual void OnStringPacket(const std::string& text) = 0;
    // The reply packet's time-out ran out before a carriage return came.
    virtual void OnPacketTimeout() = 0;
    // The modem lines changed (CTS may have risen); the link re-checks.
    virtual void OnLineChange() = 0;
    // The line went away under the open port (a USB adapter unplugged, the
    // far end hung up), also while no exchange runs. An armed packet has
    // already ended as timed out.
    virtual void OnPortLost() {}
};

// Failures are reported by the serial library's exceptions (ESIOException
// and its subclasses): EBadId when the port does not exist, ECommNotOpen for
// an operation that needs an open port while it is closed.
class LinkPort {
public:
    virtual ~LinkPort() = default;

    // Where the events go (nullptr: nowhere). Set by the link at creation.
    virtual void SetEvents(LinkPortEvents* events) = 0;

    // Opens the port with the settings, no hardware flow control by the
    // library and RTS off. Throws EBadId for a port that does not exist;
    // with ComNumber 0 the library asks the operator for a port (an
    // exception when none is chosen). A failed open leaves the port closed.
    virtual void Open(const PortSettings& settings) = 0;
    // Closes the port (nothing when it is closed); any reply packet ends
    // without an event.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // The settings last given (also while closed, also after a failed
    // open); after a successful open ComNumber is the port in use.
    virtual PortSettings Settings() const = 0;

    // RTS written at once while open (stored only while closed, no throw).
    virtual void SetRTS(bool on) = 0;
    // CTS as last seen; a change while open is reported by OnLineChange.
    virtual bool CTS() const = 0;
    // Free room in the output buffer, in bytes.
    virtual int OutBuffFree() const = 0;
    // Discards every byte received so far and not yet delivered, including
    // bytes of a partly matched packet and packet events not yet delivered,
    // so a late reply to an earlier command never reaches the next one.
    // Throws ECommNotOpen when the port is closed.
    virtual void FlushInBuffer() = 0;
    // Takes the bytes received and not yet delivered, and those the device
    // holds that the port has not read yet, as far as they can be read
    // without waiting (for the log): those that came while no reply packet
    // was armed first. The caller flushes the rest.
    virtual std::string TakePendingInput() { return {}; }
    // How many received bytes the port threw away unseen, beyond those it
    // keeps for the link to show, since the last call.
    virtual std::uint64_t TakeDroppedInput() { return 0; }
    // Takes only the bytes that came while no reply packet was armed (after
    // the last packet event, or before EnablePacket): while the reply packet
    // is armed, the device's input is its own.
    virtual std::string TakeStrayInput() { return {}; }
    // Throws ECommNotOpen when the port is closed.
    virtual void FlushOutBuffer() = 0;
    // Queues the bytes for sending. Throws ECommNotOpen when closed. A write
    // the device refuses because its line went away raises the packet's
    // time-out event (nothing was sent) instead of an exception.
    virtual void PutString(const std::string& bytes) = 0;

    // Arms the reply packet: start on any data, end at a carriage return
    // (not included), time-out after timeoutTicks ticks of 55 ms. After one
    // event the packet disarms itself.
    virtual void EnablePacket(int timeoutTicks) = 0;
    // Disarms the reply packet; no event of it is delivered afterwards.
    virtual void DisablePacket() = 0;
    // Pumps the message loop until done() holds, a quit is asked for or
    // timeoutMs passes (MessageLoop::pumpUntil); the port may serve its
    // input on this thread meanwhile. Returns done().
    virtual bool PumpUntil(const std::function<bool()>& done, std::int64_t timeoutMs)
    {
        return platform::messageLoop().pumpUntil(done, timeoutMs);
    }
    // After the packet ended without its carriage return (its time-out or
    // size limit, DisablePacket while it collected, its line gone): the
    // bytes it had collected (empty when nothing had arrived).
    virtual std::string CollectedAtTimeout() const { return {}; }
    // True while the packet can arm and its time-out can run (the port open
    // and its line present): only then can the link wait for a quiet line.
    virtual bool CanWaitForQuiet() const { return IsOpen(); }
    // How long one character takes on the line, in microseconds, while the
    // port is open; 0 where written bytes arrive at once (a pseudo-terminal
    // has no line time).
    virtual std::int64_t LineMicrosPerChar() const { return 0; }
};

} // namespace kyd::link
