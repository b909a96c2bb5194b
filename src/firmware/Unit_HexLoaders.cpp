#include "firmware/Unit_HexLoaders.h"

#include "firmware/BootBlocks.h"
#include "link/PLVRCom.h"
#include "platform/clock.h"
#include "platform/beep.h"
#include "platform/dialogs.h"
#include "platform/message_loop.h"
#include "serial/SioDispatch.h"
#include "serial/SioExcept.h"

#include <algorithm>
#include <cstdlib>

namespace kyd::firmware {

namespace {

constexpr const char* kErrorTexts[17] = {
    "Ok",
    "Hex-Loader failed!",
    "Vpp was not on!",
    "Command failed!",
    "Vpp was not constant!",
    "Vpp was not on during erasing!",
    "Erasing not successfully!",
    "Vpp was not constant during erasing!",
    "Unspecified Error",
    "Vpp was not on during setzero!",
    "Setzero not successfully.",
    "Vpp was not constant during setzero!",
    "CAN response timeout",
    "No CAN nodes found",
    "Resend failure or TimeOut Error",
    "Device Error",
    "Hex File Error",
};

constexpr std::uint8_t kReady = 0xA0;
constexpr std::uint8_t kAlive = 0xB0;
constexpr std::uint8_t kResend = 0xAA;
constexpr std::uint8_t kNoise1 = 0xFF;
constexpr std::uint8_t kNoise2 = 0xF7;
constexpr std::uint8_t kNodeMarker = 0xCA;
constexpr std::uint8_t kKeepAlive = 0xE3;
constexpr std::size_t kBufferSize = 16000;

} // namespace

std::string LoaderErrorText(int code)
{
    const unsigned low = static_cast<unsigned>(code) & 0xFFu;
    if (low == 0)
        return {};
    const unsigned index = (low - 0xEFu) & 0xFFu;
    if (index >= 17)
        return " Internal Error, Out of index";
    return kErrorTexts[index];
}

TDMHexLoader::TDMHexLoader(TLoaderProgress* progress, sio::TSioComPort* port)
{
    comPort_ = port;
    // Every received byte is one packet; the packet re-arms itself after
    // each byte once the link is open. It has no time-out of its own: the
    // loader's waits time the target.
    DataPacket.SetEnabled(false);
    DataPacket.SetAutoEnable(false);
    DataPacket.SetStartCond(sio::scAnyData);
    DataPacket.SetEndCond(sio::ecPacketSize);
    DataPacket.SetPacketSize(1);
    DataPacket.SetTimeOut(0);
    DataPacket.SetOnPacket([this](sio::TSioDataPacket&, const std::uint8_t* data, std::int32_t size) {
        for (std::int32_t i = 0; i < size; ++i)
            DataPacketPacket(data[i]);
    });
    DataPacket.SetComPort(comPort_);
    // The packet serves the bootloader link only: once the port closes it
    // stays off, so the dispenser link's reply packet has the port to
    // itself when the port opens for it again.
    if (comPort_)
        comPort_->RegisterUserCallbackEx(this, [this](sio::TSioCustomComPort&, sio::TSioCallbackType type) {
            if (type != sio::ctOpen) {
                DataPacket.SetAutoEnable(false);
                DataPacket.SetEnabled(false);
            }
        });
    DataModuleCreate();
    progress_ = progress;
}

TDMHexLoader::~TDMHexLoader()
{
    try {
        DataModuleDestroy();
    } catch (...) {
    }
    if (comPort_)
        comPort_->DeregisterUserCallbackEx(this);
    DataPacket.SetComPort(nullptr);
}

void TDMHexLoader::DataModuleCreate()
{
    bootBlock1_ = BootBlock1Unpatched();
    bootBlock1_[16] = static_cast<char>(0x13);
    bootBlock1_[17] = static_cast<char>(0xF8);
    bootBlock2_ = BootBlock2();
    operationMode_ = omIdle;
    ResetState();
}

void TDMHexLoader::DataModuleDestroy()
{
    DataPacket.SetAutoEnable(false);
    DataPacket.SetEnabled(false);
    if (comPort_ && comPort_->GetOpen())
        comPort_->SetOpen(false);
}

void TDMHexLoader::ResetState()
{
    if (comPort_ && comPort_->GetComNumber() == 0)
        comPort_->SetComNumber(1);
    tryToConnect_ = 0;
    jumperSelected_ = false;
    flashId_ = 0;
    flashRow_ = kUnknownFlashRow;
    flashIdentified_ = false;
    nrOfResendings_ = 0;
    minTimeOutTime_ = 1000000;
    resend_ = false;
    currentNode_ = 0;
    countdown_ = 0;
    terminate_ = false;
    lastError_ = 0;
    lastErrorMessage_.clear();
    linkState_ = lsInitialised;
    dataBytes_ = TDataBytes::None;
}

void TDMHexLoader::SetLastError(int code)
{
    lastError_ = code;
    lastErrorMessage_ = LoaderErrorText(code);
}

void TDMHexLoader::SetLastError(int code, const std::string& detail)
{
    SetLastError(code);
    if (!detail.empty())
        lastErrorMessage_ += ": " + detail;
}

void TDMHexLoader::ClearLastError()
{
    lastError_ = 0;
    lastErrorMessage_.clear();
}

void TDMHexLoader::SetTerminate(bool value)
{
    terminate_ = value;
    if (value && platform::hasMessageLoop())
        platform::messageLoop().wakeUp();
}

void TDMHexLoader::AdvanceProgress(int n)
{
    if (progress_)
        progress_->SetPosition(progress_->Position() + n);
}

std::string TDMHexLoader::TakeReply()
{
    std::string r;
    r.swap(reply_);
    afterMarker_ = false;
    return r;
}

// ---- answer bytes --------------------------------------------------------

bool TDMHexLoader::TakeAsData() const
{
    switch (dataBytes_) {
    case TDataBytes::CpuId:
        return reply_.empty();
    case TDataBytes::FlashId:
        return reply_.size() == 1 || reply_.size() == 2;
    case TDataBytes::NodeMask:
        return afterMarker_;
    case TDataBytes::None:
        break;
    }
    return false;
}

void TDMHexLoader::DataPacketPacket(std::uint8_t byte)
{
    if (TakeAsData()) {
        reply_ += static_cast<char>(byte);
        afterMarker_ = false;
        return;
    }
    if (byte == kNoise1 || byte == kNoise2) {
        ++spuriousCharacters_;
        return;
    }
    if (byte == kResend) {
        resend_ = true;
        ready_ = false;
        ++nrOfResendings_;
        try {
            if (comPort_ && comPort_->GetPortState() == sio::psOpen)
                comPort_->FlushOutBuffer();
        } catch (const std::exception&) {
            // A purge the device refuses (a device error, not a library
            // exception) leaves the resend to the record's own check.
        }
        return;
    }
    ready_ = byte == kReady;
    alive_ = byte == kAlive;
    reply_ += static_cast<char>(byte);
    afterMarker_ = dataBytes_ == TDataBytes::NodeMask && byte == kNodeMarker;
}

// ---- waits and sends -----------------------------------------------------

bool TDMHexLoader::LineGone() const
{
    if (!comPort_)
        return true;
    const sio::TSioBaseDispatcher* d = comPort_->CurrentDispatcher();
    return d == nullptr || comPort_->GetPortState() != sio::psOpen || d->LineErrors() == sio::kLeDeviceError;
}

int TDMHexLoader::WaitPolls(int polls, int slotMs, const std::function<bool()>& done, int firstPolls, int firstMs)
{
    firstPolls = std::clamp(firstPolls, 0, polls);
    const std::int64_t firstSpan = static_cast<std::int64_t>(firstPolls) * firstMs;
    const std::int64_t total = firstSpan + static_cast<std::int64_t>(polls - firstPolls) * slotMs;
    const std::int64_t start = platform::clock().monotonicMs();
    // Judged by the condition, not by the polls left: an answer that came
    // in the last slot counts. A line that went away answers nothing more,
    // so the wait ends at once, as it does for a send the port refused.
    bool ok = done();
    if (!ok && !terminate_ && !LineGone()) {
        auto cond = [&] { return terminate_ || done() || LineGone(); };
        if (comPort_)
            comPort_->PumpUntil(cond, total);
        else
            platform::messageLoop().pumpUntil(cond, total);
        ok = done();
    }
    if (!ok || terminate_) {
        countdown_ = 0;
        return Countdown();
    }
    // The polls the fixed-slot schedule would have used by now.
    const std::int64_t elapsed = platform::clock().monotonicMs() - start;
    std::int64_t used;
    if (elapsed <= firstSpan)
        used = firstMs > 0 ? (elapsed + firstMs - 1) / firstMs : 0;
    else
        used = firstPolls + (elapsed - firstSpan + slotMs - 1) / slotMs;
    countdown_ = static_cast<int>(std::max<std::int64_t>(1, polls - used));
    return countdown_;
}

bool TDMHexLoader::SendBytes(const std::string& bytes)
{
    if (!comPort_)
        return false;
    try {
        DataPacket.SetEnabled(true);
        DataPacket.SetAutoEnable(true);
        if (bytes.size() == 1)
            comPort_->PutChar(static_cast<std::uint8_t>(bytes[0]));
        else
            comPort_->PutBlock(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        return true;
    } catch (const sio::ESIOException&) {
        return false;
    }
}

bool TDMHexLoader::WaitOutRoom(std::size_t length)
{
    auto room = [&] {
        try {
            return comPort_->OutBuffFree() >= length;
        } catch (const sio::ESIOException&) {
            return false;
        }
    };
    if (room()) {
        countdown_ = 40;
        return true;
    }
    // Woken when the output buffer has drained to the room needed.
    int trigger = 0;
    try {
        trigger = comPort_->AddStatusTrigger(sio::stOutFree);
        comPort_->SetStatusTrigger(trigger, static_cast<std::uint32_t>(length), true);
    } catch (const sio::ESIOException&) {
        trigger = 0;
    }
    const bool ok = WaitPolls(40, 50, room) > 0;
    if (trigger) {
        try {
            comPort_->RemoveTrigger(trigger);
        } catch (const sio::ESIOException&) {
        }
    }
    return ok;
}

// ---- link ----------------------------------------------------------------

namespace {

// What the operator reads when the port cannot be opened for the
// bootloader: which port, in the link's words when its device is missing
// (unplugged, or the simulator ended), then the library's message.
std::string PortFailureText(int port, const std::exception& e)
{
    if (dynamic_cast<const sio::EBadId*>(&e))
        return link::PortNotAvailableText(port) + "\n" + e.what();
    return link::PortName(port) + ": " + e.what();
}

} // namespace

bool TDMHexLoader::OpenBootPort()
{
    linkState_ = lsReopening;
    try {
        comPort_->SetOpen(false);
        currentNode_ = 0;
        reply_.clear();
        afterMarker_ = false;
        resend_ = false;
        ready_ = false;
        alive_ = false;
        linkState_ = lsConnected;

        DataPacket.SetEndCond(sio::ecPacketSize);
        DataPacket.SetPacketSize(1);
        expectedLength_ = 1;

        int rate = 9600;
        if (baudText_) {
            const std::string text = baudText_();
            char* end = nullptr;
            const long v = std::strtol(text.c_str(), &end, 10);
            if (!text.empty() && *end == '\0' && v > 0 && v <= 1000000)
                rate = static_cast<int>(v);
        }
        comPort_->SetDataBits(8);
        comPort_->SetParity(sio::pNone);
        comPort_->SetStopBits(1);
        comPort_->SetRTS(false);
        comPort_->SetBaud(rate * 6);
        comPort_->SetAutoOpen(false);
        comPort_->ClearHWFlowOptionsField();
        comPort_->SetInSize(kBufferSize);
        comPort_->SetOutSize(kBufferSize);
        comPort_->SetSWFlowOptions(sio::swfNone);

        // Opened before it is flushed: a closed port has nothing to flush.
        comPort_->SetOpen(true);
        comPort_->FlushInBuffer();
        comPort_->FlushOutBuffer();
        // Armed before the zero byte goes out: the CPU's answer may come
        // back before the next statement runs.
        dataBytes_ = TDataBytes::CpuId;
        DataPacket.SetEnabled(true);
        DataPacket.SetAutoEnable(true);
        comPort_->PutChar(0x00);
        return true;
    } catch (const std::exception& e) {
        // A library exception, or a device error from a purge the device
        // refused.
        dataBytes_ = TDataBytes::None;
        // The port named, then the library's message text for the error
        // code, after the beep of an error.
        platform::messageBeep(platform::BeepKind::Hand);
        platform::dialogs().messageDlg(PortFailureText(comPort_->GetComNumber(), e), platform::DlgType::Error,
                                       platform::DlgButtons::Ok, platform::TextCoding::FileSystem);
        return false;
    }
}

int TDMHexLoader::Bootstrap()
{
    // The CPU answers the zero byte with its identification byte, taken as
    // it is whatever its value.
    const bool gotId = WaitPolls(5, 5, [this] { return !reply_.empty(); }) > 0;
    dataBytes_ = TDataBytes::None;
    cpuIdCode_ = reply_.empty() ? 0 : static_cast<std::uint8_t>(reply_[0]);
    if (!gotId) {
        linkState_ = lsNoAnswer;
        SetLastError(leHexLoaderFailed);
        return -1;
    }
    bool failed = false;
    for (const std::string* b : {&bootBlock1_, &bootBlock2_}) {
        if (!WaitOutRoom(b->size()))
            failed = true;
        if (!SendBytes(*b))
            failed = true;
    }
    currentRoutine_ = 0;
    linkState_ = lsConnected;
    if (failed) {
        SetLastError(leHexLoaderFailed);
        return -1;
    }
    return 0;
}

int TDMHexLoader::CheckAlive()
{
    const std::string reply = RunRoutine(rtStartUp, 2);
    return reply.size() >= 2 && static_cast<std::uint8_t>(reply[1]) == kAlive ? 0 : -1;
}

int TDMHexLoader::Connect()
{
    ++tryToConnect_;
    operationMode_ = omConnect;
    if (!OpenBootPort())
        return -2;
    int r = Bootstrap();
    if (r == 0)
        r = CheckAlive();
    operationMode_ = omIdle;
    return r == 0 ? 0 : -1;
}

std::string TDMHexLoader::RunRoutine(int index, int expectedLength)
{
    const std::vector<TRoutine>& table = RoutineTable();
    if (index < 0 || index >= static_cast<int>(table.size())) {
        SetLastError(leUnspecified);
        return {};
    }
    const TRoutine& routine = table[static_cast<std::size_t>(index)];
    const int polls = operationMode_ == omErase ? 400 : 40;
    lastError_ = 0;
    TakeReply();
    expectedLength_ = 1;

    if (operationMode_ != omConnect) {
        currentRoutine_ = index;
        // A ready byte left over from the last exchange (a record reply ends
        // in one) must not pass for the target's answer to this command.
        ready_ = false;
        if (routine.Command != 0) {
            if (!SendBytes(std::string(1, routine.Command))) {
                countdown_ = 0;
                linkState_ = lsNoAnswer;
                return {};
            }
            linkState_ = lsConnected;
        }
    }

    // The target signals that it is ready for the block.
    if (WaitPolls(40, 25, [this] { return ready_; }) == 0) {
        linkState_ = lsNoAnswer;
        return {};
    }
    TakeReply();
    if (!ready_) {
        SetLastError(leHexLoaderFailed);
        return {};
    }

    expectedLength_ = expectedLength;
    for (int sends = 10; sends > 0; --sends) {
        if (sends < 10 && resend_)
            TakeReply();
        resend_ = false;
        if (!SendBytes(routine.Block)) {
            countdown_ = 0;
            break;
        }
        WaitPolls(polls, 50, [this] { return ReplyComplete() || resend_; }, 5, 10);
        if (!resend_ || countdown_ == 0)
            break;
    }
    if (countdown_ == 0) {
        SetLastError(leUnspecified);
        return {};
    }
    // After the tenth send with a resend request: what came so far.
    return TakeReply();
}

bool TDMHexLoader::PollBootloader()
{
    if (!alive_)
        return false;
    try {
        if (!comPort_->GetOpen())
            comPort_->SetOpen(true);
    } catch (const sio::ESIOException&) {
        return false;
    }
    expectedLength_ = 1;
    TakeReply();
    if (!SendBytes(std::string(1, static_cast<char>(kKeepAlive)))) {
        countdown_ = 0;
        return false;
    }
    const bool answered = WaitPolls(100, 5, [this] { return !reply_.empty(); }) > 0;
    TakeReply();
    return answered;
}

} // namespace kyd::firmware
