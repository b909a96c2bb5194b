#include "sim/simulator.h"

#include "platform/clock.h"
#include "sim/framing.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <string_view>

namespace kyd::sim {

Simulator::Simulator(SimConfig config, BootConfig boot) : core_(std::move(config)), boot_(boot) {}

bool Simulator::inLoader() const
{
    std::lock_guard lock(mutex_);
    return inLoader_;
}

void Simulator::enterLoader()
{
    {
        std::lock_guard lock(mutex_);
        inLoader_ = true;
    }
    boot_.withCore([](BootCore& c) { c.powerCycle(); });
    boot_.log("bootstrap loader entered");
}

std::optional<std::string> Simulator::leaveLoader()
{
    // The firmware's program id: the characters after the marker.
    std::optional<std::string> id = boot_.withCore([](BootCore& c) -> std::optional<std::string> {
        const std::vector<std::uint8_t>& flash = c.image(0);
        const std::string_view marker = kProgramIdMarker;
        const auto at = std::search(flash.begin(), flash.end(), marker.begin(), marker.end());
        if (at == flash.end() || flash.end() - at < static_cast<std::ptrdiff_t>(marker.size() + 8))
            return std::nullopt;
        std::string text(at + static_cast<std::ptrdiff_t>(marker.size()),
                         at + static_cast<std::ptrdiff_t>(marker.size() + 8));
        for (char ch : text)
            if (!std::isalnum(static_cast<unsigned char>(ch)))
                return std::nullopt;
        return text;
    });
    {
        std::lock_guard lock(mutex_);
        inLoader_ = false;
        if (id)
            core_.config().programId = *id;
    }
    boot_.log(id ? "dispenser firmware " + *id + " started" : "dispenser firmware started");
    return id;
}

void Simulator::dispenserLineAt(int baud)
{
    if (baud > 0)
        boot_.withCore([baud](BootCore& c) { c.config().linkBaud = baud; });
}

ReplyPlan Simulator::onFrame(const std::string& frame)
{
    std::function<void(const std::string&)> hook;
    std::function<void(bool, const std::string&)> logger;
    {
        std::lock_guard lock(mutex_);
        frames_.push_back(frame);
        hook = hook_;
        logger = logger_;
    }
    framesChanged_.notify_all();
    if (logger)
        logger(true, frame);
    if (hook)
        hook(frame);

    std::lock_guard lock(mutex_);
    core_.setTimeMs(platform::clock().monotonicMs());
    ReplyPlan plan;
    if (frame.empty())
        return plan;
    for (char c : frame)
        if (!isPrintable(c))
            return plan;
    if (takeFault(faults_.silent))
        return plan;

    std::string reply;
    bool decided = false;
    if (checksumOk(frame)) {
        const std::string command = frame.substr(0, frame.size() - 2);
        for (ScriptedStatus& s : faults_.scripted) {
            if (!matchPattern(s.pattern, command))
                continue;
            ++s.seen;
            if (s.seen == s.nth || (s.always && s.seen > s.nth)) {
                if (s.execute) {
                    reply = core_.execute(command);
                    reply[0] = s.status;
                } else {
                    reply = std::string(1, s.status);
                }
                core_.rememberReply(reply);
                decided = true;
                break;
            }
        }
    }
    if (!decided) {
        FrameResult r = core_.handleFrame(frame);
        if (!r.answered)
            return plan;
        reply = r.reply;
    }
    plan.text = reply;

    std::string bytes = sim::frame(reply);
    if (takeFault(faults_.badChecksum))
        bytes[bytes.size() - 2] ^= 1; // still a checksum digit, but the wrong one
    if (takeFault(faults_.bareCr))
        bytes.assign(1, '\r');
    if (takeFault(faults_.hangUp)) {
        bytes.resize(bytes.size() / 2);
        plan.hangUp = true;
    }

    int wait = faults_.delayMs;
    if (faults_.lateMs > 0 && takeFault(faults_.late))
        wait += faults_.lateMs;
    if (!faults_.noise.empty()) {
        plan.chunks.push_back({wait, faults_.noise});
        wait = 0;
    }
    const std::size_t piece = faults_.fragmentBytes > 0 ? static_cast<std::size_t>(faults_.fragmentBytes) : bytes.size();
    for (std::size_t i = 0; i < bytes.size(); i += piece) {
        plan.chunks.push_back({wait, bytes.substr(i, piece)});
        wait = faults_.fragmentGapMs;
    }
    if (bytes.empty() && plan.hangUp)
        plan.chunks.push_back({wait, {}});
    return plan;
}

SimFaults Simulator::faults() const
{
    std::lock_guard lock(mutex_);
    return faults_;
}

void Simulator::setFaults(const SimFaults& f)
{
    {
        std::lock_guard lock(mutex_);
        faults_ = f;
    }
    notifyFaults(f);
}

int Simulator::addFaultsListener(std::function<void(const SimFaults&)> listener)
{
    std::lock_guard lock(mutex_);
    int id = nextListener_++;
    listeners_.emplace_back(id, std::move(listener));
    return id;
}

void Simulator::removeFaultsListener(int id)
{
    std::lock_guard lock(mutex_);
    std::erase_if(listeners_, [id](const auto& l) { return l.first == id; });
}

void Simulator::notifyFaults(const SimFaults& f)
{
    std::vector<std::function<void(const SimFaults&)>> copy;
    {
        std::lock_guard lock(mutex_);
        for (const auto& l : listeners_)
            copy.push_back(l.second);
    }
    for (const auto& l : copy)
        l(f);
}

LinePacing Simulator::pacing() const
{
    std::lock_guard lock(mutex_);
    return pacing_;
}

void Simulator::setPacing(const LinePacing& p)
{
    std::lock_guard lock(mutex_);
    pacing_ = p;
}

void Simulator::setCommandHook(std::function<void(const std::string&)> hook)
{
    std::lock_guard lock(mutex_);
    hook_ = std::move(hook);
}

void Simulator::setFrameLogger(std::function<void(bool, const std::string&)> logger)
{
    std::lock_guard lock(mutex_);
    logger_ = std::move(logger);
}

void Simulator::logSent(const std::string& bytes)
{
    std::function<void(bool, const std::string&)> logger;
    {
        std::lock_guard lock(mutex_);
        logger = logger_;
    }
    if (logger)
        logger(false, bytes);
}

std::vector<std::string> Simulator::frameLog() const
{
    std::lock_guard lock(mutex_);
    return frames_;
}

void Simulator::clearFrameLog()
{
    std::lock_guard lock(mutex_);
    frames_.clear();
}

bool Simulator::waitForFrames(std::size_t n, int timeoutMs) const
{
    std::unique_lock lock(mutex_);
    return framesChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                   [&] { return frames_.size() >= n; });
}

} // namespace kyd::sim
