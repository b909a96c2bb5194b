// The Intel HEX side of the firmware loader: the whole-file check and the
// record transfer to the CMC's flash or to an NFC node.
#include "firmware/HexFile.h"
#include "firmware/Unit_HexLoaders.h"

namespace kyd::firmware {

namespace {

constexpr std::uint8_t kFirstErrorByte = 0xF0;

} // namespace

bool TDMHexLoader::CheckHexFile(const std::vector<std::string>& lines)
{
    if (CheckHexLines(lines))
        return true;
    SetLastError(leHexFileError);
    return false;
}

int TDMHexLoader::SendHexRecord(const std::string& line)
{
    endRecord_ = false;
    ClearLastError();
    if (line.size() <= 1)
        return -1; // nothing to send; the whole-file check refuses such files first

    const std::string bytes = RecordBytes(line);
    const bool end = IsEndRecord(line);
    bool answered = false;
    for (int sends = 400; sends > 0; --sends) {
        // The target is ready for the record (it says so after a resend
        // request; a record goes out anyway when it does not).
        WaitPolls(250, 1, [this] { return ready_; });
        if (terminate_)
            break;
        resend_ = false;
        endRecord_ = end;
        expectedLength_ = end ? 3 : 2;
        if (!SendBytes(bytes)) {
            countdown_ = 0;
            break;
        }
        WaitPolls(250, 50, [this] { return ReplyComplete() || resend_; }, 10, 1);
        if (countdown_ > 0 && countdown_ < minTimeOutTime_)
            minTimeOutTime_ = countdown_;
        if (countdown_ == 0)
            break;
        if (!resend_) {
            answered = true; // also when it was the last send allowed
            break;
        }
        // The record goes out again; its own reply is what counts.
        TakeReply();
    }
    const std::string reply = TakeReply();
    if (!answered) {
        SetLastError(leResendOrTimeOut);
        return -1;
    }
    const auto second = static_cast<std::uint8_t>(reply[1]);
    if (second >= kFirstErrorByte) {
        SetLastError(static_cast<std::int8_t>(second));
        return -1;
    }
    return 0;
}

int TDMHexLoader::RecordLoop(const std::vector<std::string>& lines)
{
    for (const std::string& line : lines) {
        AdvanceProgress(1);
        if (SendHexRecord(line) != 0)
            return -1;
        if (IsEndRecord(line))
            break; // lines after the end record are neither sent nor counted
    }
    return 0;
}

int TDMHexLoader::TransferNodeFile(const std::vector<std::string>& lines, int routine)
{
    const std::string reply = RunRoutine(routine, 2);
    if (reply.size() != 2 || !ready_) {
        SetLastError(leHexLoaderFailed);
        return -1;
    }
    return RecordLoop(lines);
}

int TDMHexLoader::TransferFlashFile(const std::vector<std::string>& lines, int routine)
{
    RunRoutine(routine, 2);
    if (!ready_) {
        SetLastError(leHexLoaderFailed);
        return -1;
    }
    const int r = RecordLoop(lines);
    return r != 0 || lastError_ != 0 ? -1 : 0;
}

} // namespace kyd::firmware
