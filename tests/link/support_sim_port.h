// An in-process serial port for the link's tests: what the link writes goes
// to the simulated dispenser, and its answer comes back as received bytes,
// posted to the message loop so it arrives inside the link's wait, like the
// serial library's packet events do. Faults are injected per exchange.
#pragma once

#include "link/LinkPort.h"
#include "platform/message_loop.h"
#include "sim/framing.h"
#include "sim/simulator.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace kyd::link::test {

class SimLinkPort final : public LinkPort {
public:
    SimLinkPort();
    ~SimLinkPort() override;

    // --- LinkPort ---
    void SetEvents(LinkPortEvents* events) override { events_ = events; }
    void Open(const PortSettings& settings) override;
    void Close() override;
    bool IsOpen() const override { return open_; }
    PortSettings Settings() const override { return settings_; }
    void SetRTS(bool on) override;
    bool CTS() const override;
    int OutBuffFree() const override { return outBuffFree; }
    void FlushInBuffer() override;
    std::string TakePendingInput() override { return std::exchange(stray_, {}) + std::exchange(input_, {}); }
    std::string TakeStrayInput() override;
    void FlushOutBuffer() override;
    void PutString(const std::string& bytes) override;
    void EnablePacket(int timeoutTicks) override;
    void DisablePacket() override;
    std::string CollectedAtTimeout() const override { return collectedAtTimeout_; }
    std::int64_t LineMicrosPerChar() const override { return open_ ? lineMicrosPerChar : 0; }

    // --- the simulated dispenser and the faults ---
    // Answers every frame unless a queued answer stands in; its fault
    // settings (silence, bad checksum, bare carriage return, noise,
    // fragments, delays, hang-up) act on the bytes this port receives.
    // A hang-up cuts the reply; the next frame is answered again.
    sim::Simulator simulator;
    template <class F>
    auto WithCore(F&& f) { return simulator.withCore(std::forward<F>(f)); }
    // Answers for the next writes, used before the simulator is asked:
    // nullopt = silence; otherwise the chunks of bytes received, each
    // delivered by its own posted call.
    std::deque<std::optional<std::vector<std::string>>> answers;
    void QueueSilence() { answers.emplace_back(std::nullopt); }
    void QueueRaw(std::vector<std::string> chunks) { answers.emplace_back(std::move(chunks)); }
    // A frame with a correct checksum and carriage return.
    void QueueReply(const std::string& text) { QueueRaw({sim::frame(text)}); }

    // Ports that exist; the operator's pick when asked for a port (0: the
    // prompt is cancelled).
    std::set<int> existingPorts{1, 2, 3};
    int promptAnswer = 0;
    // Run at the start of every open; may throw to make the open fail.
    std::function<void(const PortSettings&)> openFault;
    // CTS: held low, or rising this many ms (process clock) after RTS (the
    // simulator's CTS faults act as well).
    bool ctsHeldLow = false;
    std::int64_t ctsRiseDelayMs = 0;
    int outBuffFree = 4096;
    // The line time of one character (0: none, as on a pseudo-terminal).
    std::int64_t lineMicrosPerChar = 0;
    // Bytes received at once, as if they had just arrived (main thread).
    void Inject(const std::string& bytes) { Receive(bytes); }

    // Called after each write (before the answer is posted), so a test can
    // post work that runs inside the link's wait (an abort, a clock step).
    std::function<void(const std::string&)> onWrite;
    // Called when RTS is raised.
    std::function<void()> onRtsRaised;

    // --- what happened ---
    std::vector<std::string> written;    // every PutString
    std::vector<int> packetTimeouts;     // ticks of every EnablePacket
    std::vector<PortSettings> opens;     // every successful open
    int flushInCount = 0;
    bool packetEnabled() const { return packetEnabled_; }
    bool rts() const { return rts_; }

private:
    void Receive(const std::string& bytes);
    void RequireOpen() const;
    std::int64_t CtsDelayMs() const;
    std::intptr_t OnMessage(const platform::Message& m);
    // Delivers bytes after delayMs on the process clock (0: as soon as the
    // loop runs), unless the input is flushed before.
    void Deliver(std::string bytes, std::int64_t delayMs);

    LinkPortEvents* events_ = nullptr;
    platform::TargetId target_ = 0;
    PortSettings settings_;
    bool open_ = false;
    bool rts_ = false;
    bool ctsRisen_ = false;
    bool packetEnabled_ = false;
    std::uint64_t packetGen_ = 0;  // identifies the armed packet
    std::uint64_t inputGen_ = 0;   // bumped by a flush: older input is dropped
    std::uint64_t rtsGen_ = 0;
    std::string input_;            // received, not yet matched
    std::string stray_;            // received while no packet was armed, kept when one was
    std::string collectedAtTimeout_;
    std::uint64_t nextDelivery_ = 1;
    std::map<std::uint64_t, std::pair<std::uint64_t, std::string>> deliveries_; // id -> (input gen, bytes)
    sim::FrameAssembler assembler_;
};

} // namespace kyd::link::test
