// A scripted device on a pseudo-terminal, for the link's tests of a line
// that misbehaves: a thread reads what the link writes, cuts it into frames
// at carriage returns and answers each with the bytes the test's script
// gives for it; the test may write bytes of its own at any time. It is no
// dispenser: it says exactly what the test wants, right or wrong.
//
// ResponderLinkFixture runs the command layer through the serial library's
// port component on it, with the link on the fake clock (the packet
// time-outs and the quiet-line windows pass only when a test moves it).
#pragma once

#include "link/PLVRCmd.h"
#include "link/PLVRCom.h"
#include "link/SioLinkPort.h"
#include "platform/pty.h"
#include "support_link_stack.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kyd::link::test {

class PtyResponder {
public:
    // The bytes to answer frame n (from 0; its text without the carriage
    // return) with; empty: silence.
    using Script = std::function<std::string(const std::string& frame, std::size_t n)>;

    // Opens the pseudo-terminal with a stable link to its far end and
    // starts the thread.
    explicit PtyResponder(const std::string& linkPath);
    ~PtyResponder();
    PtyResponder(const PtyResponder&) = delete;
    PtyResponder& operator=(const PtyResponder&) = delete;

    // Set before the first frame comes.
    void SetScript(Script script);
    // Writes bytes to the link (any thread), all of them at once.
    void Write(const std::string& bytes);
    // Every frame received so far, in order.
    std::vector<std::string> Frames() const;
    // Blocks until n frames have come or the time ran out.
    bool WaitForFrames(std::size_t n, int timeoutMs) const;

private:
    void Run();

    platform::PtyMaster pty_;
    mutable std::mutex mutex_;
    mutable std::condition_variable framesChanged_;
    Script script_;                  // guarded by mutex_
    std::vector<std::string> frames_; // guarded by mutex_
    std::mutex writeMutex_;
    std::thread thread_;
};

class ResponderLinkFixture : public ::testing::Test, protected LinkStack {
protected:
    static constexpr int kCom = 46;

    ResponderLinkFixture();
    ~ResponderLinkFixture() override;

    // Opens COM46 (the responder) with 9600 7E1.
    void OpenPort();
    void ExpectStatus(int cls, int code);
    // Waits, pumping, until the port's stray watch holds at least n bytes.
    void WaitForStrayBytes(std::size_t n);
    // The answers to the frames in the order they come (silence past the
    // end); set before the first command.
    void AnswerInTurn(std::vector<std::string> answers);
    // A reset that gets "0": it waits for a quiet line first when the link
    // is out of step, and puts it back in step.
    void ExpectResetSucceeds(bool waitsForQuiet);

    std::string linkPath;
    std::unique_ptr<PtyResponder> responder;
    SioLinkPort* port = nullptr;
};

} // namespace kyd::link::test
