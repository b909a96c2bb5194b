#include "support_sim_port.h"

#include "serial/SioExcept.h"

#include <algorithm>

namespace kyd::link::test {

namespace {
constexpr std::uint32_t kPacketTimeoutMsg = 1;
constexpr std::uint32_t kCtsRiseMsg = 2;
constexpr std::uint32_t kDeliveryMsg = 3;
} // namespace

SimLinkPort::SimLinkPort()
{
    target_ = platform::messageLoop().createTarget([this](const platform::Message& m) { return OnMessage(m); });
}

SimLinkPort::~SimLinkPort()
{
    platform::messageLoop().destroyTarget(target_);
}

void SimLinkPort::Open(const PortSettings& settings)
{
    Close();
    settings_ = settings;
    if (openFault)
        openFault(settings);
    PortSettings s = settings;
    if (s.ComNumber == 0) {
        if (promptAnswer == 0)
            throw sio::ENoPortSelected(sio::ecodes::ecNoPortSelected);
        s.ComNumber = promptAnswer;
    }
    settings_ = s;
    if (!existingPorts.count(s.ComNumber))
        throw sio::EBadId(sio::ecodes::ecBadId);
    open_ = true;
    rts_ = false;
    opens.push_back(s);
}

void SimLinkPort::Close()
{
    open_ = false;
    packetEnabled_ = false;
    ++packetGen_;
    ++inputGen_;
    input_.clear();
    stray_.clear();
    rts_ = false;
}

void SimLinkPort::SetRTS(bool on)
{
    const bool raised = on && !rts_;
    rts_ = on;
    ++rtsGen_;
    ctsRisen_ = false;
    if (raised && CtsDelayMs() > 0)
        platform::messageLoop().postDelayed(target_, {kCtsRiseMsg, static_cast<std::uintptr_t>(rtsGen_), 0},
                                            CtsDelayMs());
    if (raised && onRtsRaised)
        onRtsRaised();
}

bool SimLinkPort::CTS() const
{
    if (!open_ || !rts_ || ctsHeldLow || simulator.faults().ctsLow)
        return false;
    return CtsDelayMs() <= 0 || ctsRisen_;
}

std::int64_t SimLinkPort::CtsDelayMs() const
{
    return std::max<std::int64_t>(ctsRiseDelayMs, simulator.faults().ctsDelayMs);
}

void SimLinkPort::RequireOpen() const
{
    if (!open_)
        throw sio::ECommNotOpen(sio::ecodes::ecCommNotOpen);
}

void SimLinkPort::FlushInBuffer()
{
    RequireOpen();
    ++flushInCount;
    ++inputGen_;
    input_.clear();
    stray_.clear();
    deliveries_.clear();
}

void SimLinkPort::FlushOutBuffer()
{
    RequireOpen();
}

void SimLinkPort::PutString(const std::string& bytes)
{
    RequireOpen();
    written.push_back(bytes);
    if (onWrite)
        onWrite(bytes);

    if (!answers.empty()) {
        auto a = std::move(answers.front());
        answers.pop_front();
        if (a)
            for (std::string& c : *a)
                Deliver(std::move(c), 0);
        return;
    }
    for (const std::string& f : assembler_.feed(bytes.data(), bytes.size())) {
        sim::ReplyPlan plan = simulator.onFrame(f);
        std::int64_t at = 0;
        std::string sent;
        for (sim::ReplyChunk& c : plan.chunks) {
            at += c.waitMs;
            sent += c.bytes;
            Deliver(std::move(c.bytes), at);
        }
        if (!plan.chunks.empty())
            simulator.logSent(sent);
    }
}

void SimLinkPort::Deliver(std::string bytes, std::int64_t delayMs)
{
    const std::uint64_t id = nextDelivery_++;
    deliveries_[id] = {inputGen_, std::move(bytes)};
    platform::messageLoop().postDelayed(target_, {kDeliveryMsg, static_cast<std::uintptr_t>(id), 0}, delayMs);
}

std::string SimLinkPort::TakeStrayInput()
{
    std::string s = std::exchange(stray_, {});
    if (!packetEnabled_)
        s += std::exchange(input_, {});
    return s;
}

void SimLinkPort::EnablePacket(int timeoutTicks)
{
    // What came while no packet was armed is no part of this one.
    stray_ += std::exchange(input_, {});
    packetTimeouts.push_back(timeoutTicks);
    packetEnabled_ = true;
    ++packetGen_;
    platform::messageLoop().postDelayed(target_, {kPacketTimeoutMsg, static_cast<std::uintptr_t>(packetGen_), 0},
                                        static_cast<std::int64_t>(timeoutTicks) * 55);
}

void SimLinkPort::DisablePacket()
{
    packetEnabled_ = false;
    ++packetGen_;
}

void SimLinkPort::Receive(const std::string& bytes)
{
    input_ += bytes;
    for (;;) {
        if (!packetEnabled_)
            return;
        const auto cr = input_.find('\r');
        if (cr == std::string::npos)
            return;
        std::string text = input_.substr(0, cr);
        input_.erase(0, cr + 1);
        packetEnabled_ = false; // one packet per arming
        ++packetGen_;
        if (events_)
            events_->OnStringPacket(text);
    }
}

std::intptr_t SimLinkPort::OnMessage(const platform::Message& m)
{
    if (m.msg == kPacketTimeoutMsg) {
        if (packetEnabled_ && m.wParam == packetGen_) {
            packetEnabled_ = false;
            ++packetGen_;
            // What the packet had collected goes with it.
            collectedAtTimeout_ = input_;
            input_.clear();
            if (events_)
                events_->OnPacketTimeout();
        }
    } else if (m.msg == kDeliveryMsg) {
        auto it = deliveries_.find(m.wParam);
        if (it == deliveries_.end())
            return 0;
        auto [gen, bytes] = std::move(it->second);
        deliveries_.erase(it);
        if (gen == inputGen_ && open_)
            Receive(bytes);
    } else if (m.msg == kCtsRiseMsg) {
        if (m.wParam == rtsGen_ && rts_) {
            ctsRisen_ = true;
            if (events_)
                events_->OnLineChange();
        }
    }
    return 0;
}

} // namespace kyd::link::test
