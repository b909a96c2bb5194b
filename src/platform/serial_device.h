// Serial devices as the serial library's dispatcher sees them.
//
// A SerialDevice is one open serial line: a tty (real UART, USB adapter or
// pseudo-terminal) in production, an in-memory fake in tests. The dispatcher
// never touches file descriptors itself: it opens, configures, reads, writes,
// drives the modem lines and waits through this interface.
//
// Every operation returns 0 (or a byte count) on success and a negative
// DeviceError on failure; lastErrno()/lastErrorText() tell what the OS said.
// Reads and writes never block; threads block in the wait operations, which
// a WakeEvent interrupts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace kyd::platform {

enum DeviceError : int {
    kDevOk = 0,
    kDevNotFound = -1,         // no such device (also a ttyS node without a UART)
    kDevBusy = -2,             // another process or port holds it
    kDevPermission = -3,       // permission denied
    kDevNotSerial = -4,        // not a terminal device
    kDevNoMemory = -5,
    kDevHangup = -6,           // the other side went away (pty master closed, USB unplugged)
    kDevIo = -7,               // any other I/O failure
    kDevRefused = -8,          // the device did not take a line setting
    kDevInvalid = -9,          // bad argument (unknown baud rate, data bits ...)
    kDevNotOpen = -10,
};

// Short text for a DeviceError ("permission denied" ...).
const char* deviceErrorText(int err);

enum class Parity : std::uint8_t { None, Odd, Even, Mark, Space };

// The line settings the dispatcher keeps as its shadow.
struct LineSettings {
    std::uint32_t baud = 9600;
    std::uint8_t dataBits = 8;       // 5..8
    Parity parity = Parity::None;
    std::uint8_t stopBits = 1;       // 1 or 2 (one and a half is sent as 2)
    bool rtsCtsFlow = false;         // hardware handshake on RTS/CTS
    bool xonXoffOut = false;         // output obeys XON/XOFF from the other side
    bool xonXoffIn = false;          // we send XON/XOFF when our buffer fills
    std::uint8_t xonChar = 17;
    std::uint8_t xoffChar = 19;

    bool operator==(const LineSettings&) const = default;
};

// Modem-line bits as the dispatcher's modem-status shadow holds them.
enum ModemLine : unsigned {
    kLineCts = 0x10,
    kLineDsr = 0x20,
    kLineRi = 0x40,
    kLineDcd = 0x80,
};

// Line-error bits: receive overflow, overrun, parity, framing, break.
enum LineErrorBit : std::uint32_t {
    kErrRxOverflow = 1,
    kErrOverrun = 2,
    kErrParity = 4,
    kErrFraming = 8,
    kErrBreak = 16,
};

// An auto-reset wake-up event on an eventfd: signal() from any thread wakes
// one wait; waiting consumes the signal.
class WakeEvent {
public:
    WakeEvent();
    ~WakeEvent();
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;

    void signal();
    // Takes a pending signal without waiting; true when there was one.
    bool consume();
    // Waits up to timeoutMs (< 0 = no limit) for a signal; true when signalled.
    bool wait(int timeoutMs);
    int fd() const { return fd_; }

private:
    int fd_ = -1;
};

enum class WaitResult { Ready, Woken, Timeout, Hangup, Error };

class SerialDevice {
public:
    virtual ~SerialDevice() = default;

    virtual int open(const std::string& path) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual std::string path() const = 0;

    // Applies the settings (raw mode always) and reads them back; a value
    // the device did not take gives kDevRefused (the rest stays applied).
    virtual int setSettings(const LineSettings& s) = 0;
    virtual int getSettings(LineSettings& s) = 0;

    // > 0 bytes read, 0 nothing available, < 0 error (kDevHangup, kDevIo).
    virtual long read(void* buf, std::size_t len) = 0;
    // >= 0 bytes the device accepted (0 = would block), < 0 error.
    virtual long write(const void* buf, std::size_t len) = 0;

    virtual int setDtr(bool on) = 0;
    virtual int setRts(bool on) = 0;
    virtual int setBreak(bool on) = 0;
    // CTS/DSR/RI/DCD as ModemLine bits.
    virtual int modemLines(unsigned& lines) = 0;
    // True when the lines are emulated (pseudo-terminal).
    virtual bool modemLinesEmulated() const = 0;

    virtual int flushInput() = 0;
    virtual int flushOutput() = 0;
    // Bytes the driver still holds for sending (0 when unknown).
    virtual long outputQueued() = 0;
    // Line errors (LineErrorBit) seen since the last call.
    virtual int takeLineErrors(std::uint32_t& bits) = 0;

    // Block until the device has input (or output room), the wake event is
    // signalled, the device hangs up or timeoutMs (< 0 = no limit) passes.
    virtual WaitResult waitReadable(WakeEvent& wake, int timeoutMs) = 0;
    virtual WaitResult waitWritable(WakeEvent& wake, int timeoutMs) = 0;
    // The descriptor to watch for input in another thread's poll while the
    // device is open; -1 when there is none (the reader thread then reads).
    virtual int pollFd() const { return -1; }

    virtual int lastErrno() const = 0;
    virtual std::string lastErrorText() const = 0;
};

// A device on a tty node (serial port, USB adapter, pseudo-terminal slave).
std::unique_ptr<SerialDevice> createPosixSerialDevice();

// Waits on several wake events at once; returns the index of the first
// signalled one (consuming it) or -1 on time-out.
int waitAny(WakeEvent* const* events, int count, int timeoutMs);

// Baud rates: true when the rate has a standard termios constant.
bool isStandardBaud(std::uint32_t baud);

} // namespace kyd::platform
