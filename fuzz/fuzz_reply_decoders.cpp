// The command layer's reply decoders: every command of the command set
// gets a random reply (with a good checksum, a bad one, none at all, or a
// time-out) and the status model must stay consistent: a known status
// class, a status text, feeders with a cassette number, a reply that is the
// received text without its checksum, and the busy state cleared.
#include "link/StatusTexts.h"
#include "link/support_link_stack.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace kyd::link;

// A port whose replies come from the fuzz input. The reply is delivered
// inside the link's wait, as the serial library delivers its packet event.
class ReplyPort final : public LinkPort {
public:
    explicit ReplyPort(FuzzedDataProvider& in) : in_(in) {}

    void SetEvents(LinkPortEvents* events) override { events_ = events; }
    void Open(const PortSettings& settings) override
    {
        settings_ = settings;
        open_ = true;
    }
    void Close() override { open_ = armed_ = false; }
    bool IsOpen() const override { return open_; }
    PortSettings Settings() const override { return settings_; }
    void SetRTS(bool on) override { rts_ = on; }
    bool CTS() const override { return rts_; }
    int OutBuffFree() const override { return 4096; }
    void FlushInBuffer() override {}
    void FlushOutBuffer() override {}
    void PutString(const std::string& bytes) override
    {
        written_ = bytes;
        ++writes_;
    }
    void EnablePacket(int) override { armed_ = true; }
    void DisablePacket() override { armed_ = false; }
    bool PumpUntil(const std::function<bool()>& done, std::int64_t) override
    {
        if (armed_ && events_) {
            armed_ = false;
            switch (in_.ConsumeIntegralInRange<int>(0, 7)) {
            case 0: events_->OnPacketTimeout(); break;
            case 1: break; // nothing at all: the wait gives up
            case 2: received_ = Text(); events_->OnStringPacket(received_); break;
            default:
                received_ = Text();
                received_ += TCom::Checksum(received_);
                events_->OnStringPacket(received_);
                break;
            }
        }
        return done();
    }

    const std::string& Received() const { return received_; }
    int Writes() const { return writes_; }
    void ClearReceived() { received_.clear(); }

private:
    // Up to a carriage return, which would have ended the packet.
    std::string Text()
    {
        std::string s = in_.ConsumeRandomLengthString(200);
        return s.substr(0, s.find('\r'));
    }

    FuzzedDataProvider& in_;
    LinkPortEvents* events_ = nullptr;
    PortSettings settings_;
    bool open_ = false, armed_ = false, rts_ = false;
    int writes_ = 0;
    std::string written_, received_;
};

bool KnownClass(int c)
{
    return (c >= kClassWarning && c <= kClassFatal) || c == kClassHardwareError;
}

void Check(const test::LinkStack& s, const ReplyPort& port, bool exchanged)
{
    const Protokoll& m = s.model;
    if (!KnownClass(m.StatusClass) || m.CodeText.empty() || s.cmd->Busy() || s.mainWindow.Busy())
        std::abort();
    for (const auto& f : m.Feeders())
        if (!f || f->Number < 0 || f->Number > 9)
            std::abort();
    const std::string& reply = s.cmd->Reply;
    if (exchanged && !reply.empty() && port.Received().compare(0, reply.size(), reply) != 0) {
        std::fprintf(stderr, "reply [%s] received [%s]\n", reply.c_str(), port.Received().c_str());
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    test::LinkStack s;
    auto owned = std::make_unique<ReplyPort>(in);
    ReplyPort& port = *owned;
    s.BuildLink(std::move(owned));
    s.options.settings.LoggingEnabled = in.ConsumeBool();
    s.options.settings.LogFile = "/dev/null";
    if (s.com->Open(1, 9600, TParity::pEven, 7, 1, in.ConsumeBool()) != 1)
        std::abort();

    auto small = [&](int lo, int hi) { return in.ConsumeIntegralInRange<int>(lo, hi); };
    for (int n = 0; n < 64 && in.remaining_bytes() > 0; ++n) {
        port.ClearReceived();
        const int writes = port.Writes();
        s.cmd->RejectIsError = in.ConsumeBool();
        s.cmd->IgnoreIllegal = in.ConsumeBool();
        switch (small(0, 13)) {
        case 0: {
            std::array<int, 8> counts{};
            for (int& c : counts)
                c = in.ConsumeBool() ? 0 : small(-1, 1000);
            s.cmd->Dispense(in.ConsumeBool() ? '1' : '2', static_cast<char>(small('0', '9')), counts);
            break;
        }
        case 1: s.cmd->ReadCassetteIds(); break;
        case 2: s.cmd->ReadLastStatus(); break;
        case 3: s.cmd->OpenCassette(small(-1, 9), small(-1, 10)); break;
        case 4: s.cmd->CloseCassette(small(-1, 9), in.ConsumeBool()); break;
        case 5: s.cmd->ReadRejectTrace(); break;
        case 6: s.cmd->ReadData(small(-1, 1000), in.ConsumeRandomLengthString(8)); break;
        case 7: s.cmd->WriteData(small(-1, 1000), in.ConsumeRandomLengthString(16), small(0, 20)); break;
        case 8: s.cmd->ReadCassetteData(small(-1, 9), small(-1, 100)); break;
        case 9: s.cmd->WriteCassetteData(small(-1, 9), small(-1, 100), in.ConsumeRandomLengthString(16)); break;
        case 10: s.cmd->ReadProgramId(); break;
        case 11: s.cmd->SendSelfTestData(small(-2, 10)); break;
        case 12: s.cmd->CheckStatus(); break;
        case 13: s.cmd->SendCommand(in.ConsumeRandomLengthString(16), small(0, 20)); break;
        }
        if (s.model.StatusClass != 0)
            Check(s, port, port.Writes() != writes);
        // Walk the feeder list as the windows do.
        for (FeederData* f = s.model.FirstFeeder(); f; f = s.model.NextFeeder())
            (void)s.model.FindFeeder(f->Number);
    }
    return 0;
}
