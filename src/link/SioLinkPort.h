// The dispenser link's port in the program: the serial library's port
// component SioComPort1 with the reply packet SioDataPacket1 bound to it.
//
// The reply packet starts on any data and ends at a carriage return, which
// it does not deliver; it does not re-arm itself after an event. CTS changes
// reach the link through a modem-status trigger. When the line goes away
// under the port (a USB adapter unplugged, the far end of a pseudo-terminal
// hung up), the library's threads end and no packet event would come any
// more: a line-status trigger reports it, the armed packet ends as timed
// out, and the next exchange opens the port again with the same settings;
// while the device is still gone that fails, and every later exchange tries
// again until one succeeds.
//
// Bytes that come while the reply packet is not armed (after its event, or
// between exchanges) are no reply to anything the link waits for: a second
// packet, the stray watch, collects them line by line on the dispatch
// thread, and the link takes them before its next command. The watch runs
// only while the link has opened the port itself.
//
// The firmware downloader borrows the port component (Port()); it reopens
// it with its own settings and closes it when done.
#pragma once

#include "link/LinkPort.h"
#include "platform/serial_presence.h"
#include "serial/SioPacket.h"
#include "serial/SioPort.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>

namespace kyd::link {

class SioLinkPort final : public LinkPort {
public:
    SioLinkPort();
    ~SioLinkPort() override;
    SioLinkPort(const SioLinkPort&) = delete;
    SioLinkPort& operator=(const SioLinkPort&) = delete;

    // --- LinkPort ---
    void SetEvents(LinkPortEvents* events) override { events_ = events; }
    void Open(const PortSettings& settings) override;
    void Close() override;
    bool IsOpen() const override;
    PortSettings Settings() const override;
    void SetRTS(bool on) override;
    bool CTS() const override;
    int OutBuffFree() const override;
    void FlushInBuffer() override;
    std::string TakePendingInput() override;
    std::string TakeStrayInput() override;
    std::uint64_t TakeDroppedInput() override;
    void FlushOutBuffer() override;
    void PutString(const std::string& bytes) override;
    void EnablePacket(int timeoutTicks) override;
    void DisablePacket() override;
    // The main thread takes the port's input itself while it waits.
    bool PumpUntil(const std::function<bool()>& done, std::int64_t timeoutMs) override;
    std::string CollectedAtTimeout() const override;
    bool CanWaitForQuiet() const override { return IsOpen() && !lineLost_; }
    // From the line settings, on a device that clocks its bytes at the line
    // rate; 0 on a pseudo-terminal or a USB communication-class device.
    std::int64_t LineMicrosPerChar() const override { return IsOpen() ? lineMicrosPerChar_ : 0; }

    // The port component, lent to the firmware downloader.
    sio::TSioComPort& Port() { return SioComPort1; }
    // The reply packet (tests look at it).
    sio::TSioDataPacket& Packet() { return SioDataPacket1; }
    // For tests: where the kernel's tty tables are read from when the port
    // opens.
    void SetDeviceTables(platform::SerialPresenceRoots roots) { deviceTables_ = std::move(roots); }
    // True after the line went away under the open port, until it is
    // opened again successfully or closed.
    bool LineLost() const { return lineLost_; }
    // For tests: how many stray bytes the watch has collected and the link
    // has not taken yet (each arrival wakes the message loop).
    std::size_t StrayBytes() const;

private:
    // Raises ECommNotOpen unless the port is fully open.
    void RequireOpen() const;
    void WaitClosed();
    void OpenComponent();
    void AddTriggers();
    void ModemStatusChanged();
    void LineErrorRaised(std::uint16_t error);
    // The serial library has found the line gone; its report (a line-status
    // trigger, run on the main thread) may not have come yet. Takes the
    // lost-line path at once when it has not: true when the line is lost.
    bool NoticeLostLine();
    // Opens the port again when its line had gone away.
    void ReopenLostLine();
    // Runs one of the port's purges; a purge the device refuses (its line
    // went away unnoticed) marks the line lost, opens it again and purges
    // once more.
    void Purge(void (sio::TSioComPort::*purge)());
    // The stray watch: started when the link has opened the port, stopped
    // when the port closes (whoever closes it).
    void StartStrayWatch();
    void StopStrayWatch();
    // Stops a running watch, keeping its piece under way: true when it ran.
    bool StopStrayWatchKeeping();
    // Dispatch thread: keeps what the watch collected.
    void KeepStray(const std::string& bytes);
    // Reads, without waiting, what the device holds that the library has
    // not read yet, keeping up to room bytes of it and counting the rest as
    // dropped.
    std::string ReadUnreadDeviceInput(std::size_t room);

    // Declared first: the packet goes before its port.
    mutable sio::TSioComPort SioComPort1;
    sio::TSioDataPacket SioDataPacket1;
    sio::TSioDataPacket StrayWatch;
    LinkPortEvents* events_ = nullptr;
    mutable std::mutex strayMutex_;
    std::string stray_; // guarded by strayMutex_
    std::uint64_t dropped_ = 0; // guarded by strayMutex_: bytes not kept for showing
    // What the reply packet held when the link or a lost line ended it.
    std::string endedCollecting_;
    bool endedUnseen_ = false;
    int modemTrigger_ = 0;
    int lineTrigger_ = 0;
    bool lineLost_ = false;
    std::int64_t lineMicrosPerChar_ = 0;
    platform::SerialPresenceRoots deviceTables_;
};

} // namespace kyd::link
