// The serial port component: waiting for text in the received bytes.
#include "serial/SioPort.h"

#include "platform/message_loop.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace sio {

namespace pf = kyd::platform;

namespace {

// A text a wait looks for, prepared once: the text as compared (folded
// with ignoreCase) and, for each number k of characters matched, how many
// are still matched when the next character does not fit (the longest
// proper prefix of the first k characters that is also their suffix).
// With it the wait goes back only as far as an overlapping start allows,
// so it finds every occurrence a plain search finds ("AAB" in "AAAB").
struct WaitText {
    std::string text;
    std::vector<std::size_t> fallback; // fallback[k], k = 1..size-1

    WaitText(const std::string& t, bool ignoreCase) : text(t), fallback(t.size() + 1, 0)
    {
        if (ignoreCase)
            for (char& ch : text)
                ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        std::size_t k = 0;
        for (std::size_t i = 1; i < text.size(); ++i) {
            while (k > 0 && text[i] != text[k])
                k = fallback[k];
            if (text[i] == text[k])
                ++k;
            fallback[i + 1] = k;
        }
    }

    // The number of characters matched after c, given matched before it
    // (less than the text's size); the text's size means it is complete.
    std::size_t Step(std::size_t matched, char c) const
    {
        while (matched > 0 && c != text[matched])
            matched = fallback[matched];
        return c == text[matched] ? matched + 1 : 0;
    }
};

char Fold(char c, bool ignoreCase)
{
    return ignoreCase ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
}

} // namespace

bool TSioCustomComPort::CheckForString(std::uint16_t& index, char c, const std::string& text, bool ignoreCase)
{
    if (text.empty())
        return false;
    if (index < 1 || index > text.size())
        index = 1;
    const WaitText t(text, ignoreCase);
    const std::size_t matched = t.Step(index - 1u, Fold(c, ignoreCase));
    if (matched == t.text.size()) {
        index = 1;
        return true;
    }
    index = static_cast<std::uint16_t>(matched + 1);
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
    // A handler run while the wait pumps (OnWaitChar among them) may close
    // or even free the port: from then on neither the port nor the
    // dispatcher is used for anything but letting go of the latter, which
    // a close or free leaves in the retired list until the wait has ended.
    const std::weak_ptr<int> portAlive = life_;
    const std::shared_ptr<DispatcherList> retired = retiredDispatchers_;
    const auto alive = [this, &d, &portAlive] {
        return !portAlive.expired() && dispatcher_.get() == &d && IsOpenState();
    };
    // The trigger handlers are held back while the wait reads the bytes
    // itself, and let go again at its end (also after PrepareWait).
    const bool busyBefore = waitPrepared_ ? waitBusyKept_ : d.SetEventBusy(true);
    waitPrepared_ = false;
    ++waitDepth_;
    struct Release {
        TSioCustomComPort& port;
        const std::weak_ptr<int>& portAlive;
        std::function<bool()> alive;
        TSioBaseDispatcher& d;
        bool before;
        ~Release()
        {
            if (alive())
                d.SetEventBusy(before);
            if (!portAlive.expired() && --port.waitDepth_ == 0)
                port.retiredDispatchers_->clear();
        }
    } release{*this, portAlive, alive, d, busyBefore};

    EventTimer timer;
    NewTimer(timer, ticks);
    std::vector<WaitText> prepared;
    prepared.reserve(texts.size());
    for (const std::string& t : texts)
        prepared.emplace_back(t, ignoreCase);
    std::vector<std::size_t> matched(texts.size(), 0);
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
            const char folded = Fold(c, ignoreCase);
            for (std::size_t i = 0; i < prepared.size(); ++i) {
                if (prepared[i].text.empty())
                    continue; // an empty text never comes
                matched[i] = prepared[i].Step(matched[i], folded);
                if (matched[i] == prepared[i].text.size())
                    return static_cast<int>(i) + 1;
            }
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
