// Serial devices on tty nodes.
#include "platform/serial_device.h"

#include "platform/baud_termios2.h"
#include "platform/clock.h"
#include "platform/pty_modem.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <mutex>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace kyd::platform {
namespace {

struct BaudEntry {
    std::uint32_t rate;
    speed_t code;
};

constexpr BaudEntry kBauds[] = {
    {50, B50}, {75, B75}, {110, B110}, {134, B134}, {150, B150}, {200, B200},
    {300, B300}, {600, B600}, {1200, B1200}, {1800, B1800}, {2400, B2400},
    {4800, B4800}, {9600, B9600}, {19200, B19200}, {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800},
    {500000, B500000}, {576000, B576000}, {921600, B921600}, {1000000, B1000000},
    {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000},
    {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000},
    {4000000, B4000000},
};

bool standardCode(std::uint32_t baud, speed_t& code)
{
    for (const auto& e : kBauds) {
        if (e.rate == baud) {
            code = e.code;
            return true;
        }
    }
    return false;
}

int mapOpenErrno(int e)
{
    switch (e) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
    case EIO:
        return kDevNotFound;
    case EBUSY:
    case EWOULDBLOCK:
        return kDevBusy;
    case EACCES:
    case EPERM:
    case EROFS:
        return kDevPermission;
    case ENOMEM:
        return kDevNoMemory;
    case ENOTTY:
        return kDevNotSerial;
    default:
        return kDevIo;
    }
}

class PosixSerialDevice final : public SerialDevice {
public:
    ~PosixSerialDevice() override { close(); }

    int open(const std::string& path) override
    {
        if (fd_ >= 0)
            return fail(kDevBusy, EBUSY);
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return fail(mapOpenErrno(errno), errno);
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) {
            ::close(fd);
            return fail(kDevNotSerial, ENOTTY);
        }
        termios t {};
        if (::tcgetattr(fd, &t) != 0) {
            // A ttyS node without a UART answers EIO here: no such port.
            const int e = errno;
            ::close(fd);
            return fail(e == EIO ? kDevNotFound : mapOpenErrno(e), e);
        }
        // The flock is what makes "in use" reliable (root ignores TIOCEXCL).
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int e = errno;
            ::close(fd);
            return fail(e == EWOULDBLOCK ? kDevBusy : mapOpenErrno(e), e);
        }
        ::ioctl(fd, TIOCEXCL);

        const unsigned maj = major(st.st_rdev);
        pty_ = (maj >= 136 && maj <= 143) || path.rfind("/dev/pts/", 0) == 0;
        char real[PATH_MAX];
        path_ = ::realpath(path.c_str(), real) ? std::string(real) : path;
        emuRts_ = false;
        emuDtr_ = false;
        ptyDataBits_ = 0;
        rtsRaisedMs_ = 0;
        haveCounters_ = false;
        fd_ = fd;
        if (!pty_)
            readCounters(lastCounters_);
        return kDevOk;
    }

    void close() override
    {
        if (fd_ < 0)
            return;
        ::ioctl(fd_, TIOCNXCL);
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
        fd_ = -1;
    }

    bool isOpen() const override { return fd_ >= 0; }
    std::string path() const override { return path_; }

    int setSettings(const LineSettings& s) override
    {
        if (fd_ < 0)
            return fail(kDevNotOpen, EBADF);
        if (s.dataBits < 5 || s.dataBits > 8 || s.stopBits < 1 || s.stopBits > 2 || s.baud == 0)
            return fail(kDevInvalid, EINVAL);
        termios t {};
        if (::tcgetattr(fd_, &t) != 0)
            return fail(ioError(errno), errno);
        t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL
                                            | IXON | IXOFF | IXANY | INPCK | IGNPAR | IUCLC | IMAXBEL);
        t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
        t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
        t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
        t.c_cflag |= CLOCAL | CREAD;
        switch (s.dataBits) {
        case 5: t.c_cflag |= CS5; break;
        case 6: t.c_cflag |= CS6; break;
        case 7: t.c_cflag |= CS7; break;
        default: t.c_cflag |= CS8; break;
        }
        switch (s.parity) {
        case Parity::None: break;
        case Parity::Odd: t.c_cflag |= PARENB | PARODD; break;
        case Parity::Even: t.c_cflag |= PARENB; break;
        case Parity::Mark: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
        case Parity::Space: t.c_cflag |= PARENB | CMSPAR; break;
        }
        if (s.stopBits == 2)
            t.c_cflag |= CSTOPB;
        if (pty_) {
            // A pty runs 8 bits without parity whatever it is told (the C
            // library may then report the request as refused): ask for that,
            // and emulate the rest below.
            t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR);
            t.c_cflag |= CS8;
        }
        if (s.rtsCtsFlow)
            t.c_cflag |= CRTSCTS;
        if (s.xonXoffOut)
            t.c_iflag |= IXON;
        if (s.xonXoffIn)
            t.c_iflag |= IXOFF;
        t.c_cc[VSTART] = s.xonChar;
        t.c_cc[VSTOP] = s.xoffChar;
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
        speed_t code = B38400;
        const bool standard = standardCode(s.baud, code);
        ::cfsetispeed(&t, code);
        ::cfsetospeed(&t, code);
        if (::tcsetattr(fd_, TCSANOW, &t) != 0)
            return fail(ioError(errno), errno);
        if (!standard && detail::termios2SetBaud(fd_, s.baud) != 0)
            return fail(errno == EINVAL ? kDevRefused : ioError(errno), errno);

        if (pty_) {
            // A pty always runs 8 bits without parity; keep what was asked
            // for so the settings read back as set.
            ptyDataBits_ = s.dataBits;
            ptyParity_ = s.parity;
        }
        LineSettings back;
        if (const int r = getSettings(back); r != 0)
            return r;
        // A UART may round a custom divisor; accept what is within 3 percent.
        const double ratio = static_cast<double>(back.baud) / static_cast<double>(s.baud);
        const bool baudOk = ratio > 0.97 && ratio < 1.03;
        if (!baudOk || back.dataBits != s.dataBits || back.parity != s.parity
            || back.stopBits != s.stopBits || back.rtsCtsFlow != s.rtsCtsFlow
            || back.xonXoffOut != s.xonXoffOut || back.xonXoffIn != s.xonXoffIn)
            return fail(kDevRefused, EINVAL);
        return kDevOk;
    }

    int getSettings(LineSettings& s) override
    {
        if (fd_ < 0)
            return fail(kDevNotOpen, EBADF);
        termios t {};
        if (::tcgetattr(fd_, &t) != 0)
            return fail(ioError(errno), errno);
        std::uint32_t baud = 0;
        if (detail::termios2GetBaud(fd_, baud) != 0) {
            const speed_t code = ::cfgetospeed(&t);
            for (const auto& e : kBauds)
                if (e.code == code)
                    baud = e.rate;
        }
        s.baud = baud;
        switch (t.c_cflag & CSIZE) {
        case CS5: s.dataBits = 5; break;
        case CS6: s.dataBits = 6; break;
        case CS7: s.dataBits = 7; break;
        default: s.dataBits = 8; break;
        }
        if (!(t.c_cflag & PARENB))
            s.parity = Parity::None;
        else if (t.c_cflag & CMSPAR)
            s.parity = (t.c_cflag & PARODD) ? Parity::Mark : Parity::Space;
        else
            s.parity = (t.c_cflag & PARODD) ? Parity::Odd : Parity::Even;
        if (pty_ && ptyDataBits_ != 0) {
            s.dataBits = ptyDataBits_;
            s.parity = ptyParity_;
        }
        s.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
        s.rtsCtsFlow = (t.c_cflag & CRTSCTS) != 0;
        s.xonXoffOut = (t.c_iflag & IXON) != 0;
        s.xonXoffIn = (t.c_iflag & IXOFF) != 0;
        s.xonChar = t.c_cc[VSTART];
        s.xoffChar = t.c_cc[VSTOP];
        return kDevOk;
    }

    long read(void* buf, std::size_t len) override
    {
        if (fd_ < 0)
            return fail(kDevNotOpen, EBADF);
        for (;;) {
            const ssize_t n = ::read(fd_, buf, len);
            if (n > 0)
                return n;
            if (n == 0)
                return fail(kDevHangup, EIO);
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return 0;
            return fail(ioError(errno), errno);
        }
    }

    long write(const void* buf, std::size_t len) override
    {
        if (fd_ < 0)
            return fail(kDevNotOpen, EBADF);
        for (;;) {
            const ssize_t n = ::write(fd_, buf, len);
            if (n >= 0)
                return n;
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return 0;
            return fail(ioError(errno), errno);
        }
    }

    int setDtr(bool on) override
    {
        if (pty_) {
            emuDtr_ = on;
            return kDevOk;
        }
        return modemBit(TIOCM_DTR, on);
    }

    int setRts(bool on) override
    {
        if (pty_) {
            const bool was = emuRts_.exchange(on);
            if (on && !was)
                rtsRaisedMs_ = clock().monotonicMs();
            return kDevOk;
        }
        return modemBit(TIOCM_RTS, on);
    }

    int setBreak(bool on) override
    {
        if (fd_ < 0)
            return fail(kDevNotOpen, EBADF);
        if (::ioctl(fd_, on ? TIOCSBRK : TIOCCBRK) != 0 && !pty_)
            return fail(ioError(errno), errno);
        return kDevOk;
    }

    int modemLines(unsigned& lines) override
    {
        if (fd_ < 0)
            return fail(kDevNotOpen, EBADF);
        lines = 0;
        if (pty_) {
            // No modem lines on a pty: CTS follows RTS, DSR and DCD follow DTR.
            bool cts = emuRts_.load();
            if (auto o = ptyCtsOverride(path_)) {
                if (o->forcedCts)
                    cts = *o->forcedCts;
                else if (cts && o->riseDelayMs > 0)
                    cts = clock().monotonicMs() - rtsRaisedMs_.load() >= o->riseDelayMs;
            }
            if (cts)
                lines |= kLineCts;
            if (emuDtr_.load())
                lines |= kLineDsr | kLineDcd;
            return kDevOk;
        }
        int bits = 0;
        if (::ioctl(fd_, TIOCMGET, &bits) != 0)
            return fail(ioError(errno), errno);
        if (bits & TIOCM_CTS)
            lines |= kLineCts;
        if (bits & TIOCM_DSR)
            lines |= kLineDsr;
        if (bits & TIOCM_RNG)
            lines |= kLineRi;
        if (bits & TIOCM_CD)
            lines |= kLineDcd;
        return kDevOk;
    }

    bool modemLinesEmulated() const override { return pty_; }

    // An output flush with nothing to discard costs the driver a good deal
    // more than asking whether there is anything, and the tester flushes
    // before every command. (Input is always flushed: bytes on their way
    // into the driver are not counted yet and must go too.) A pseudo-
    // terminal keeps no output queue of its own: what is written goes
    // straight to the other side, its output count is always 0, so there is
    // nothing to ask and nothing to discard.
    int flushInput() override { return flush(TCIFLUSH); }
    int flushOutput() override
    {
        if (pty_ && fd_ >= 0)
            return kDevOk;
        return queued(TIOCOUTQ) == 0 ? kDevOk : flush(TCOFLUSH);
    }

    long outputQueued() override
    {
        if (fd_ < 0)
            return 0;
        int n = 0;
        if (::ioctl(fd_, TIOCOUTQ, &n) != 0 || n < 0)
            return 0;
        return n;
    }

    int takeLineErrors(std::uint32_t& bits) override
    {
        bits = 0;
        if (fd_ < 0)
            return fail(kDevNotOpen, EBADF);
        if (pty_)
            return kDevOk;
        serial_icounter_struct now {};
        if (!readCounters(now))
            return kDevOk; // the driver keeps no counters
        std::lock_guard lock(countersMutex_);
        if (haveCounters_) {
            if (now.buf_overrun != lastCounters_.buf_overrun)
                bits |= kErrRxOverflow;
            if (now.overrun != lastCounters_.overrun)
                bits |= kErrOverrun;
            if (now.parity != lastCounters_.parity)
                bits |= kErrParity;
            if (now.frame != lastCounters_.frame)
                bits |= kErrFraming;
            if (now.brk != lastCounters_.brk)
                bits |= kErrBreak;
        }
        lastCounters_ = now;
        haveCounters_ = true;
        return kDevOk;
    }

    WaitResult waitReadable(WakeEvent& wake, int timeoutMs) override { return waitFor(POLLIN, wake, timeoutMs); }
    WaitResult waitWritable(WakeEvent& wake, int timeoutMs) override { return waitFor(POLLOUT, wake, timeoutMs); }
    int pollFd() const override { return fd_; }

    int lastErrno() const override { return lastErrno_.load(); }

    std::string lastErrorText() const override
    {
        const int e = lastErrno_.load();
        return e ? std::string(std::strerror(e)) : std::string();
    }

private:
    int fail(int code, int e)
    {
        lastErrno_ = e;
        return code;
    }

    static int ioError(int e)
    {
        return (e == EIO || e == ENXIO || e == ENODEV) ? kDevHangup : kDevIo;
    }

    int modemBit(int bit, bool on)
    {
        if (fd_ < 0)
            return fail(kDevNotOpen, EBADF);
        if (::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit) != 0)
            return fail(ioError(errno), errno);
        return kDevOk;
    }

    // Bytes in the driver's input (TIOCINQ) or output (TIOCOUTQ) queue; -1
    // when unknown (or not open), so that the flush is made.
    int queued(unsigned long request)
    {
        int n = 0;
        if (fd_ < 0 || ::ioctl(fd_, request, &n) != 0)
            return -1;
        return n;
    }

    int flush(int which)
    {
        if (fd_ < 0)
            return fail(kDevNotOpen, EBADF);
        if (::tcflush(fd_, which) != 0)
            return fail(ioError(errno), errno);
        return kDevOk;
    }

    bool readCounters(serial_icounter_struct& c)
    {
        if (::ioctl(fd_, TIOCGICOUNT, &c) != 0)
            return false;
        std::lock_guard lock(countersMutex_);
        if (!haveCounters_) {
            lastCounters_ = c;
            haveCounters_ = true;
        }
        return true;
    }

    WaitResult waitFor(short events, WakeEvent& wake, int timeoutMs)
    {
        if (fd_ < 0)
            return WaitResult::Error;
        pollfd fds[2] = {{wake.fd(), POLLIN, 0}, {fd_, events, 0}};
        for (;;) {
            const int r = ::poll(fds, 2, timeoutMs);
            if (r < 0) {
                if (errno == EINTR)
                    continue;
                fail(kDevIo, errno);
                return WaitResult::Error;
            }
            if (r == 0)
                return WaitResult::Timeout;
            if ((fds[0].revents & POLLIN) && wake.consume())
                return WaitResult::Woken;
            if (fds[1].revents & events)
                return WaitResult::Ready;
            if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) {
                fail(kDevHangup, EIO);
                return WaitResult::Hangup;
            }
            if (fds[0].revents & POLLIN)
                continue; // the signal was taken by another waiter
            return WaitResult::Timeout;
        }
    }

    int fd_ = -1;
    bool pty_ = false;
    std::string path_;
    std::atomic<int> lastErrno_{0};
    std::atomic<bool> emuRts_{false};
    std::atomic<bool> emuDtr_{false};
    std::atomic<std::int64_t> rtsRaisedMs_{0};
    std::uint8_t ptyDataBits_ = 0; // 0 = nothing asked yet
    Parity ptyParity_ = Parity::None;
    std::mutex countersMutex_;
    bool haveCounters_ = false;
    serial_icounter_struct lastCounters_ {};
};

} // namespace

std::unique_ptr<SerialDevice> createPosixSerialDevice()
{
    return std::make_unique<PosixSerialDevice>();
}

bool isStandardBaud(std::uint32_t baud)
{
    speed_t code;
    return standardCode(baud, code);
}

} // namespace kyd::platform
