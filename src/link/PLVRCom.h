// The dispenser link: owns the port, frames each command with its checksum
// and a carriage return, optionally performs the RTS/CTS handshake, waits
// for the reply and checks its checksum. It knows nothing of what commands
// mean; the command layer drives it one exchange at a time.
#pragma once

#include "link/AppContext.h"
#include "link/CommLog.h"
#include "link/LinkPort.h"
#include "serial/SioExcept.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kyd::link {

// Marks a library exception whose message already says, in the operator's
// words, what went wrong (the library's own message follows).
class InOperatorWords {
public:
    virtual ~InOperatorWords() = default;
};

// "COM5 (/dev/ttyS4)": the port and the device it stands for (when known).
std::string PortName(int port);
// "COM5 (/dev/ttyS4) is not available: check the cable and the dispenser's
// power."
std::string PortNotAvailableText(int port);
// "COM5 (/dev/ttyS4) is in use by another program." and what to do.
std::string PortInUseText(int port);
// The operator cancelled the choice of a port.
inline constexpr const char* kNoPortSelectedText = "No port selected.";

class TCom final : private LinkPortEvents {
public:
    explicit TCom(std::unique_ptr<LinkPort> port);
    ~TCom() override;
    TCom(const TCom&) = delete;
    TCom& operator=(const TCom&) = delete;

    // (Re)opens the port; returns the port number in use. Nothing is touched
    // when the port is open with the same settings. A port that does not
    // exist makes the library ask for one (an exception of that second
    // attempt reaches the caller, its message led by "No port selected."
    // when the operator cancelled the choice, else by PortNotAvailableText);
    // any other open failure is shown (a port another program holds as
    // PortInUseText, anything else as "Error: " + message) and leaves the
    // port closed. A port that failed to open is opened again by the next
    // command (see Send).
    int Open(int port, int baud, TParity parity, int dataBits, int stopBits, bool handshake);

    // Two characters: the high and low nibble of the exclusive-or of all
    // bytes, each plus '0'.
    static std::string Checksum(const std::string& text);
    // True when the last two characters are the checksum of the rest.
    static bool CheckReply(const std::string& reply);
    // True when every byte is 7-bit printable text, all the line carries
    // between carriage returns: any other byte (a NUL, a control character
    // or one with the eighth bit set) is none of the device's, and would
    // end or garble a command's frame.
    static bool IsLineText(const std::string& text);
    // Packet time-out in ticks for a time-out in seconds.
    static int TimeoutTicks(int seconds) { return seconds * 18 + 9; }

    // Raises RTS's partner: waits up to 3 s for CTS, pumping messages, so
    // an abort ends the wait. Returns the CTS state (false when aborted).
    bool WaitForCTS();
    // Starts one exchange; appends the checksum to command. When the last
    // Open of a port left it closed (the port was missing or another
    // program held it), the port is opened first with the settings Open
    // was given. An exception of the library (port not open, nor to be
    // opened again) passes to the caller, its message led by
    // PortNotAvailableText, or by PortInUseText when another program holds
    // the port.
    void Send(std::string& command, int seconds);
    // Waits, pumping messages, for the reply packet, its time-out or an
    // abort; ends the exchange and returns the reply as received (with its
    // checksum, without the carriage return). Besides a wrong checksum, a
    // reply longer than MaxReplyChars() or holding any byte but 7-bit
    // printable text fails the exchange as corrupt. Line feeds at its start
    // end the reply before (a device that ends its lines with CR LF may
    // send the LF late) and are dropped.
    std::string WaitReply();

    // Sets the abort flag (main thread); the exchange under way ends.
    void SetAbort();

    // The longest reply, as received (status, payload and checksum, without
    // the carriage return), of a command whose reply format is bounded: the
    // longest is an item read of a reject table counting every two-digit
    // reason, 504 (100 records of 5 characters behind "0/"); a page of the
    // module error log has 228, a status table counting every status code
    // 329. The bound of the exchanges to come unless set otherwise.
    static constexpr int kMaxReplyChars = 512;
    // The longest reply the next exchanges accept (the command layer sets
    // it from each command's reply format).
    void SetMaxReplyChars(int chars) { maxReplyChars_ = std::max(chars, 2); }
    int MaxReplyChars() const { return maxReplyChars_; }

    // After an exchange that failed once the command had gone out (time-out,
    // abort, corrupt reply), and when bytes came while no command waited,
    // the link is out of step: a late reply may still be on its way. The
    // next Send first waits until the line has been quiet for the
    // resynchronisation interval, discarding whatever arrives; a line that
    // does not fall quiet within a few intervals fails the command unsent.
    // Only an exchange that ends well puts the link back in step.
    bool OutOfStep() const { return outOfStep_; }
    // The command layer marks a reply that does not fit its command.
    void SetOutOfStep() { outOfStep_ = true; }
    // Quiet time wanted before the next command after a failed exchange, in
    // ms; 0 (the default) takes several of the longest replies at the line's
    // rate, and at least 2 s. Never less than kMinResyncMs.
    void SetResyncMs(int ms) { resyncSetting_ = ms; }
    int ResyncMs() const;
    static constexpr int kMinResyncMs = 100;
    // Bytes the last exchange discarded (each ended packet with its carriage
    // return), empty when there were none: what came since the exchange
    // before, what came while Send waited for a quiet line and what was
    // still unread when the command went out, then what WaitReply found
    // stale. The first kMaxShownBytes are kept; DiscardedDropped() counts
    // the rest. Lone line feeds (the end of a CR LF line) are no noise and
    // are dropped silently.
    const std::string& Discarded() const { return discarded_.Text(); }
    std::uint64_t DiscardedDropped() const { return discarded_.Dropped(); }
    // What the reply packet had collected when it ended without its
    // carriage return (time-out, its size limit, abort, line gone), bounded
    // as Discarded(); empty otherwise.
    const ShownBytes& Collected() const { return collected_; }
    // True once the command of the exchange under way was written to the
    // port; false when Send failed it before (a line that never fell quiet,
    // an abort during that wait, no CTS, no room).
    bool CommandSent() const { return sent_; }
    // A reply whose first character arrived before the command's last one
    // could have left the line answers something earlier: on a line with a
    // line time (not a pseudo-terminal) WaitReply discards it and waits on.
    // A margin of this many ms keeps a genuine reply from ever counting as
    // stale through the clock's rounding.
    static constexpr int kStaleMarginMs = 2;
    // Called each time the link starts a quiet-line window, with its length
    // in ms (a fake clock in tests moves on from here).
    std::function<void(int ms)> QuietWaitHandler;

    bool AbortFlag() const { return abort_; }
    bool ErrorFlag() const { return error_; }
    bool Handshake() const { return handshake_; }
    const std::string& Reply() const { return reply_; }
    // Packet time-out of the exchange under way, in ticks.
    int PacketTimeoutTicks() const { return timeoutTicks_; }

    // The port, lent to the firmware downloader.
    LinkPort& Port() { return *port_; }

    // Called when the line goes away under the open port, at once, also
    // while no exchange runs (the next exchange opens the port again).
    std::function<void()> PortLostHandler;
    // Called when Open has opened the port (not when it was left open).
    std::function<void()> PortOpenedHandler;

    // Packet events.
    void SioDataPacket1StringPacket(const std::string& text);
    void SioDataPacket1Timeout();

private:
    void OnStringPacket(const std::string& text) override { SioDataPacket1StringPacket(text); }
    void OnPacketTimeout() override { SioDataPacket1Timeout(); }
    void OnLineChange() override {}
    void OnPortLost() override
    {
        if (PortLostHandler)
            PortLostHandler();
    }

    // Opens the port with the settings of the last Open when that left it
    // closed; a failure reaches the caller in the operator's words.
    void OpenAgainIfWanted();

    // Waits until the line is quiet for ResyncMs(), keeping what arrives in
    // discarded_. True when it was; false on an abort or when no window
    // stayed quiet within the time of a few.
    bool Resync();
    // Keeps bytes the link throws away to be shown, with the count of
    // those the port dropped itself; lone line feeds are dropped silently.
    // True when there was anything besides line feeds.
    bool Discard(const std::string& bytes);

    std::unique_ptr<LinkPort> port_;
    // The settings of the last Open, and whether that Open left the port
    // closed (the next command then tries again).
    PortSettings configured_;
    bool openWanted_ = false;
    bool outOfStep_ = false;
    int resyncSetting_ = 0;
    int maxReplyChars_ = kMaxReplyChars;
    ShownBytes discarded_;
    ShownBytes collected_;
    bool sent_ = false;
    bool abort_ = false;
    bool error_ = false;
    bool handshake_ = false;
    std::string reply_;
    bool packetArrived_ = false;
    int timeoutTicks_ = 360;
    // The stale-reply rule of the exchange under way: the line time of one
    // character (0: no rule) and when the command's last character is out,
    // on the process clock in microseconds.
    std::int64_t lineMicrosPerChar_ = 0;
    std::int64_t commandOutUs_ = 0;
    bool staleReply_ = false;
};

} // namespace kyd::link
