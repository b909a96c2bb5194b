// The serial port component: waiting for text in the received bytes.
#include "serial/SioPort.h"

#include "platform/message_loop.h"

#include <algorithm>
#include <cctype>

namespace sio {

namespace pf = kyd::platform;

bool TSioCustomComPort::CheckForString(std::uint16_t& index, char c, const std::string& text, bool ignoreCase)
{
    if (text.empty())
        return false;
    if (index < 1 || index > text.size())
        index = 1;
    const auto fold = [&](char ch) {
        return ignoreCase ? static_cast<char>(std::toupper(static_cast<unsigned char>(ch))) : ch;
    };
    if (fold(c) == fold(text[index - 1])) {
        if (index == text.size()) {
            index = 1;
            return true;
        }
        ++index;
    } else {
        // Start again; the byte may itself begin the text.
        index = fold(c) == fold(text[0]) ? (text.size() == 1 ? 1 : 2) : 1;
        if (text.size() == 1 && fold(c) == fold(text[0]))
            return true;
    }
    return false;
}

void TSioCustomComPort::PrepareWait()
{
    if (ShuttingDown())
        return;
    TSioBaseDispatcher& d = ValidDispatcher();
    if (!waitPrepared_) {
        waitBusyKept_ = d.SetEventBusy(true);
        waitPrepared_ = true;
    }
}

bool TSioCustomComPort::WaitForString(const std::string& text, Ticks ticks, bool yield, bool ignoreCase)
{
    return WaitForStrings({text}, ticks, yield, ignoreCase) == 1;
}

int TSioCustomComPort::WaitForMultiString(const std::string& list, Ticks ticks, bool yield, bool ignoreCase,
                                          char separator)
{
    std::vector<std::string> texts;
    std::size_t from = 0;
    while (texts.size() < kMaxWaitStrings) {
        const std::size_t at = list.find(separator, from);
        texts.push_back(list.substr(from, at == std::string::npos ? std::string::npos : at - from));
        if (at == std::string::npos)
            break;
        from = at + 1;
    }
    return WaitForStrings(texts, ticks, yield, ignoreCase);
}

int TSioCustomComPort::WaitForStrings(const std::vector<std::string>& texts, Ticks ticks, bool yield,
                                      bool ignoreCase)
{
    if (ShuttingDown())
        return 0;
    TSioBaseDispatcher& d = ValidDispatcher();
    // A handler run while the wait pumps may close the port: from then on
    // the dispatcher is not touched any more.
    const auto alive = [this, &d] { return dispatcher_.get() == &d && IsOpenState(); };
    // The trigger handlers are held back while the wait reads the bytes
    // itself, and let go again at its end (also after PrepareWait).
    const bool busyBefore = waitPrepared_ ? waitBusyKept_ : d.SetEventBusy(true);
    waitPrepared_ = false;
    ++waitDepth_;
    struct Release {
        TSioCustomComPort& port;
        std::function<bool()> alive;
        TSioBaseDispatcher& d;
        bool before;
        ~Release()
        {
            if (alive())
                d.SetEventBusy(before);
            if (--port.waitDepth_ == 0)
                port.retiredDispatchers_.clear();
        }
    } release{*this, alive, d, busyBefore};

    EventTimer timer;
    NewTimer(timer, ticks);
    std::vector<std::uint16_t> index(texts.size(), 1);
    const bool onMain = pf::hasMessageLoop() && pf::messageLoop().isMainThread();
    const auto ended = [&] {
        return !alive() || TimerExpired(timer) || d.LineLost() || (onMain && pf::messageLoop().quitRequested());
    };
    for (;;) {
        while (alive() && d.CharReady()) {
            std::uint8_t b = 0;
            Check(d.GetChar(b));
            const char c = static_cast<char>(b);
            WaitChar(c);
            for (std::size_t i = 0; i < texts.size(); ++i)
                if (CheckForString(index[i], c, texts[i], ignoreCase))
                    return static_cast<int>(i) + 1;
        }
        if (ended())
            return 0;
        const std::int64_t left = std::max<std::int64_t>(TimerDeadlineMs(timer) - SioTimeGetTime(), 1);
        std::unique_ptr<TSioBaseDispatcher::OwnerInput> ownerInput;
        if (yield && onMain)
            ownerInput = d.BeginOwnerInput(); // the main thread reads the device itself meanwhile
        d.WaitForInput([&] { return ended() || d.CharReady(); }, left, yield);
    }
}

} // namespace sio
