// The flash and CAN node operations of the firmware loader: identify, erase,
// program and verify the CMC's flash; find, select, erase, download and
// verify the NFC boards behind it on the CAN bus.
#include "firmware/BootBlocks.h"
#include "firmware/HexFile.h"
#include "firmware/Unit_HexLoaders.h"

#include <bit>

namespace kyd::firmware {

namespace {

constexpr TFlashRow kFlashTable[kFlashRows] = {
    // The 4-Mbit chips hold 512 KiB, the 8-Mbit ones 1 MiB.
    {0x22AB, 0xFFFF, "Am29F400B", rtFlashErase, rtFlashProgram, rtFlashVerify, 0x80000},
    {0x00D6, 0xFFFF, "M29F400BB", rtFlashErase, rtFlashProgram, rtFlashVerify, 0x80000},
    {0xABAB, 0xFFFF, "MBM29F400BC", rtFlashErase, rtFlashProgram, rtFlashVerify, 0x80000},
    {0x2258, 0xFFFF, "Am29F800B", rtFlashErase, rtFlashProgram, rtFlashVerify, kLargestCmcFlashBytes},
    {0x0058, 0xFFFF, "M29F800AB", rtFlashErase, rtFlashProgram, rtFlashVerify, kLargestCmcFlashBytes},
    {0xCA00, 0xFF00, "CAN Module", rtCanErase, rtCanDownload, rtCanVerify, kNfcFlashBytes},
    {0x0000, 0x0000, "Unknown", -1, -1, -1, 0},
};

constexpr std::uint8_t kEraseDone = 'q';
constexpr std::uint8_t kEraseNoReply = 0xF5;
constexpr std::uint8_t kSelected = 0xB1;
constexpr std::uint8_t kPresent = 0xBB;
constexpr std::uint8_t kCheckFailed = 0xFB;
constexpr std::uint8_t kNoNodes = 0xFC;
constexpr std::uint8_t kNodeMarker = 0xCA;

std::uint8_t ByteAt(const std::string& s, std::size_t i)
{
    return static_cast<std::uint8_t>(s[i]);
}

// Sets the operation mode for the life of an operation, idle afterwards.
class ModeScope {
public:
    ModeScope(TDMHexLoader& l, TOperationMode m) : l_(l) { l_.SetOperationMode(m); }
    ~ModeScope() { l_.SetOperationMode(omIdle); }
    ModeScope(const ModeScope&) = delete;
    ModeScope& operator=(const ModeScope&) = delete;

private:
    TDMHexLoader& l_;
};

// The reply bytes taken as data for one exchange.
class DataScope {
public:
    DataScope(TDMHexLoader& l, TDMHexLoader::TDataBytes k) : l_(l) { l_.SetDataBytes(k); }
    ~DataScope() { l_.SetDataBytes(TDMHexLoader::TDataBytes::None); }
    DataScope(const DataScope&) = delete;
    DataScope& operator=(const DataScope&) = delete;

private:
    TDMHexLoader& l_;
};

} // namespace

const TFlashRow& FlashRow(int row)
{
    if (row < 0 || row >= kFlashRows)
        row = kUnknownFlashRow;
    return kFlashTable[row];
}

int FindFlashRow(std::uint16_t id)
{
    int row = 0;
    while (kFlashTable[row].Id != 0 && kFlashTable[row].Id != (id & kFlashTable[row].Mask))
        ++row;
    return row;
}

// ---- the CMC's flash -------------------------------------------------------

int TDMHexLoader::IdentifyFlash()
{
    std::string reply;
    {
        DataScope data(*this, TDataBytes::FlashId);
        reply = RunRoutine(rtIdentifyFlash, 5);
    }
    if (lastError_ != 0 || reply.size() != 5) {
        SetLastError(leDeviceError);
        return -1;
    }
    const auto id = static_cast<std::uint16_t>(ByteAt(reply, 1) * 256 + ByteAt(reply, 2));
    if (id == 0)
        return 0;
    flashId_ = id;
    flashRow_ = FindFlashRow(id);
    flashIdentified_ = true;
    if (flashRow_ == kUnknownFlashRow) {
        flashIdentified_ = false;
        SetLastError(leDeviceError);
        return -1;
    }
    return 0;
}

bool TDMHexLoader::EnsureFlash()
{
    if (flashId_ == 0)
        IdentifyFlash();
    return flashIdentified_ && flashRow_ >= 0 && flashRow_ < kUnknownFlashRow;
}

int TDMHexLoader::JudgeErase(const std::string& reply)
{
    const std::uint8_t outcome = reply.size() >= 2 ? ByteAt(reply, 1) : kEraseNoReply;
    if (outcome == kEraseDone) {
        ClearLastError();
        return 0;
    }
    SetLastError(static_cast<std::int8_t>(outcome));
    return -1;
}

int TDMHexLoader::EraseFlash()
{
    ClearLastError();
    // Identified at the routines' usual wait, not at the erase wait.
    const bool known = EnsureFlash();
    ModeScope mode(*this, omErase);
    if (!known) {
        SetLastError(leDeviceError);
        return -1;
    }
    AdvanceProgress(500);
    const std::string reply = RunRoutine(FlashRow(flashRow_).EraseRoutine, 3);
    AdvanceProgress(500);
    // Judged by the reply alone: no reply at all is a failed erase.
    return JudgeErase(reply);
}

int TDMHexLoader::CheckFileFitsFlash(const std::vector<std::string>& lines)
{
    ClearLastError();
    if (!EnsureFlash()) {
        SetLastError(leDeviceError);
        return -1;
    }
    return FileFitsKnownFlash(lines) ? 0 : -1;
}

bool TDMHexLoader::FileFitsKnownFlash(const std::vector<std::string>& lines)
{
    // A file past the chip's end says so, naming the chip and its size.
    const std::string fault = HexFileFault(lines, FlashRow(flashRow_).Bytes, FlashRow(flashRow_).Name);
    if (!fault.empty())
        SetLastError(leHexFileError, fault);
    return fault.empty();
}

std::uint32_t TDMHexLoader::FlashBytes() const
{
    return flashIdentified_ ? FlashRow(flashRow_).Bytes : 0;
}

int TDMHexLoader::CheckedFlashTransfer(const std::vector<std::string>& lines, int TFlashRow::*routine)
{
    ClearLastError();
    const bool fileOk = CheckHexFile(lines);
    const bool known = EnsureFlash();
    if (!fileOk) {
        SetLastError(leHexFileError);
        return -1;
    }
    if (!known) {
        SetLastError(leDeviceError);
        return -1;
    }
    if (!FileFitsKnownFlash(lines))
        return -1;
    return TransferFlashFile(lines, FlashRow(flashRow_).*routine);
}

int TDMHexLoader::ProgramFlash(const std::vector<std::string>& lines)
{
    ModeScope mode(*this, omDownload);
    return CheckedFlashTransfer(lines, &TFlashRow::ProgramRoutine);
}

int TDMHexLoader::VerifyFlash(const std::vector<std::string>& lines)
{
    ModeScope mode(*this, omVerify);
    return CheckedFlashTransfer(lines, &TFlashRow::VerifyRoutine);
}

std::string TDMHexLoader::CMC_CPU_ID_String() const
{
    return flashIdentified_ ? FlashRow(flashRow_).Name : std::string();
}

// ---- NFC nodes on the CAN bus ----------------------------------------------

int TDMHexLoader::SelectNode(std::uint8_t node)
{
    const std::string reply = RunRoutine(rtSelectNode, 3);
    if (lastError_ != 0 || reply.size() < 2 || ByteAt(reply, 1) != kSelected)
        return -1;
    TakeReply();
    expectedLength_ = 2;
    if (!SendBytes(std::string(1, static_cast<char>(node))))
        return -1;
    WaitPolls(50, 10, [this] { return ReplyComplete(); });
    const std::string answer = TakeReply();
    if (answer.empty() || ByteAt(answer, 0) == kNoNodes)
        return -1;
    return 0;
}

void TDMHexLoader::SetcurrentNode(std::uint8_t node)
{
    if (node == currentNode_)
        return;
    currentNode_ = node;
    if (SelectNode(node) != 0) {
        currentNode_ = 0;
        SetLastError(leNoCanNodes);
    }
}

int TDMHexLoader::EraseNode(std::uint8_t node)
{
    ModeScope mode(*this, omErase);
    SetcurrentNode(node);
    ClearLastError();
    if (currentNode_ == 0) {
        SetLastError(leNoCanNodes);
        return -1;
    }
    AdvanceProgress(50);
    const std::string reply = RunRoutine(rtCanErase, 2);
    if (lastError_ != 0)
        return -1;
    return JudgeErase(reply);
}

int TDMHexLoader::NodeTransfer(std::uint8_t node, const std::vector<std::string>& lines, TOperationMode mode,
                               int routine)
{
    ClearLastError();
    const bool fileOk = CheckHexFile(lines);
    ModeScope scope(*this, mode);
    SetcurrentNode(node);
    if (!fileOk) {
        SetLastError(leHexFileError);
        return -1;
    }
    if (currentNode_ == 0) {
        SetLastError(leNoCanNodes);
        return -1;
    }
    if (lastError_ != 0)
        return -1;
    if (TransferNodeFile(lines, routine) < 0) {
        SetLastError(leCommandFailed);
        return -1;
    }
    return 0;
}

int TDMHexLoader::DownloadNode(std::uint8_t node, const std::vector<std::string>& lines)
{
    return NodeTransfer(node, lines, omDownload, rtCanDownload);
}

int TDMHexLoader::VerifyNode(std::uint8_t node, const std::vector<std::string>& lines)
{
    return NodeTransfer(node, lines, omVerify, rtCanVerify);
}

std::uint8_t TDMHexLoader::GetAvailableNodes()
{
    if (jumperSelected_)
        return 0;
    std::string reply;
    {
        DataScope data(*this, TDataBytes::NodeMask);
        reply = RunRoutine(rtNodeList, 5);
    }
    if (lastError_ != 0)
        return 0;
    const std::size_t at = reply.find(static_cast<char>(kNodeMarker));
    if (at == std::string::npos || at + 1 >= reply.size())
        return 0;
    return ByteAt(reply, at + 1);
}

int TDMHexLoader::nrOfNodes()
{
    return std::popcount(static_cast<unsigned>(GetAvailableNodes()));
}

int TDMHexLoader::CheckNodePresence()
{
    const std::string reply = RunRoutine(jumperSelected_ ? rtJumperPresence : rtNodePresence, 3);
    if (lastError_ != 0)
        return -1;
    if (reply.find(static_cast<char>(kCheckFailed)) != std::string::npos)
        return -1;
    return reply.find(static_cast<char>(kPresent)) != std::string::npos ? 0 : -1;
}

} // namespace kyd::firmware
