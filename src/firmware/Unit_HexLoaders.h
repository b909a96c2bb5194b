// The firmware loader: talks to the bootstrap loader of the dispenser's
// controller board (the CMC) over the dispenser link's serial port
// component, which it borrows.
//
// It switches the port to the bootloader's line (8N1 at six times the
// configured rate), puts the CPU into its serial bootstrap mode with two
// boot blocks, and from then on makes the target run small routines that it
// uploads one at a time: a command character, the target's ready byte
// (0xA0), the routine's block, the routine's reply. On top of that it checks
// Intel HEX files and sends them record by record.
//
// Every received byte is one packet of the port's one-byte data packet;
// the answer bytes 0xFF and 0xF7 are noise and dropped, 0xAA asks for the
// last block or record again, every other byte joins the reply. Bytes the
// target sends as data (the CPU id, the id of the flash, the node mask after
// 0xCA) are taken as they are.
//
// Everything runs on the main thread; the waits pump the message loop, end
// as soon as their condition holds and give up after the longest time the
// protocol allows. SetTerminate ends every wait at once.
#pragma once

#include "firmware/LoaderProgress.h"
#include "serial/SioPacket.h"
#include "serial/SioPort.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kyd::firmware {

// Link states.
enum TLinkState : std::uint8_t { lsReopening = 0, lsInitialised = 1, lsConnected = 3, lsNoAnswer = 4 };
// Operation modes.
enum TOperationMode : std::uint8_t { omErase = 0, omDownload = 1, omVerify = 2, omConnect = 3, omIdle = 4 };

// Internal error codes; each one's low byte selects the same text as the
// target's error byte 0xF0..0xFF.
enum TLoaderError : int {
    leOk = 0,
    leHexLoaderFailed = -16,  // 0xF0
    leCommandFailed = -14,    // 0xF2
    leEraseFailed = -11,      // 0xF5
    leUnspecified = -9,       // 0xF7
    leNoCanNodes = -4,        // 0xFC
    leResendOrTimeOut = -3,   // 0xFD
    leDeviceError = -2,       // 0xFE
    leHexFileError = -1,      // 0xFF
};

// The text of an error code: a table of 17 texts indexed by the code's low
// byte minus 0xEF (modulo 256); an index past the table gives " Internal
// Error, Out of index", a low byte of 0 an empty text.
std::string LoaderErrorText(int code);

// Progress texts.
inline constexpr const char* kTextConnecting = "Connecting...";
inline constexpr const char* kTextErasing = "Erasing...";
inline constexpr const char* kTextProgramming = "Programming...";
inline constexpr const char* kTextVerifying = "Verifying...";
inline constexpr const char* kTextDone = "Done!";
inline constexpr const char* kTextError = "Error!";

// One supported flash chip: the id that the identification routine reads
// (matched under the mask), the routines that erase, program and verify it
// and how many bytes it holds.
struct TFlashRow {
    std::uint16_t Id;
    std::uint16_t Mask;
    const char* Name;
    int EraseRoutine;
    int ProgramRoutine;
    int VerifyRoutine;
    std::uint32_t Bytes;
};
// The most a firmware image can hold: the CMC's largest flash. The boards
// behind the CAN bus (an NFC, or a CMC answering as a CAN module) do not
// report the size of their flash; their images are held to the same bound
// rather than to a guess that could refuse a board's genuine firmware.
inline constexpr std::uint32_t kLargestCmcFlashBytes = 0x100000;
inline constexpr std::uint32_t kNfcFlashBytes = kLargestCmcFlashBytes;
// The longest an Intel HEX file of an image of the largest flash can be:
// one record of 13 characters and CR LF for every byte, with room for the
// address records and lines after the end record (16 MB).
inline constexpr std::size_t kMaxHexFileBytes = std::size_t{kLargestCmcFlashBytes} * 16;
// Rows 0..5 are the chips the loader knows; the last row ("Unknown", id 0)
// ends the table.
inline constexpr int kFlashRows = 7;
inline constexpr int kUnknownFlashRow = 6;
const TFlashRow& FlashRow(int row);
// The first row whose id equals id AND its mask; the "Unknown" row when none.
int FindFlashRow(std::uint16_t id);

// Node numbers: 1..8 for NFC 1..8, 255 for the board selected by jumper.
inline constexpr std::uint8_t kJumperNode = 255;

class TDMHexLoader {
public:
    // Which reply bytes the answer handler takes as data.
    enum class TDataBytes : std::uint8_t {
        None,
        CpuId,    // the first byte
        FlashId,  // the second and third byte
        NodeMask, // the byte after 0xCA
    };

    // port: the link's port component (not owned); progress may be null.
    TDMHexLoader(TLoaderProgress* progress, sio::TSioComPort* port);
    ~TDMHexLoader();
    TDMHexLoader(const TDMHexLoader&) = delete;
    TDMHexLoader& operator=(const TDMHexLoader&) = delete;

    // The options dialog's baud rate text; read as an integer (9600 when
    // unreadable) and multiplied by 6 for the bootloader line.
    void SetBaudRateText(std::function<std::string()> source) { baudText_ = std::move(source); }

    // ---- link ----
    void ResetState();
    // 0 connected, -1 the target did not answer as expected, -2 the port
    // failed to open (the library's message was shown).
    int Connect();
    // Uploads routine index (with its command character unless connecting)
    // and returns its reply of at least expectedLength bytes; an empty reply
    // when the target did not get ready (last error stays 0) or did not
    // answer in full (last error -9).
    std::string RunRoutine(int index, int expectedLength);
    std::string TakeReply();
    bool ReplyComplete() const { return reply_.size() >= static_cast<std::size_t>(expectedLength_); }
    // The keep-alive poll: true while the target answers 0xE3.
    bool PollBootloader();
    std::string GetLastErrorMessage() const { return lastErrorMessage_; }

    // ---- Intel HEX ----
    // The whole-file check; false sets the last error to -1.
    bool CheckHexFile(const std::vector<std::string>& lines);
    // Sends one record and judges its reply: 0 or -1.
    int SendHexRecord(const std::string& line);
    // The record loop behind the download or verify routine of an NFC node
    // (8 or 9) or of the CMC's flash: 0 when every record up to the end
    // record was accepted, else -1.
    int TransferNodeFile(const std::vector<std::string>& lines, int routine);
    int TransferFlashFile(const std::vector<std::string>& lines, int routine);

    // ---- flash of the CMC and the NFC nodes on the CAN bus ----
    // Reads the flash id (property CMC_ID): 0, or -1 with "Device Error".
    int IdentifyFlash();
    int CMC_ID() { return IdentifyFlash(); }
    int EraseFlash();
    // Identifies the flash when it is not yet, and checks that the file's
    // data fit it (nothing is erased or written): 0, or -1 with the last
    // error set (the file's fault, or the flash not identified).
    int CheckFileFitsFlash(const std::vector<std::string>& lines);
    // The size of the flash identified, 0 while none is.
    std::uint32_t FlashBytes() const;
    int ProgramFlash(const std::vector<std::string>& lines);
    int VerifyFlash(const std::vector<std::string>& lines);
    int EraseNode(std::uint8_t node);
    int DownloadNode(std::uint8_t node, const std::vector<std::string>& lines);
    int VerifyNode(std::uint8_t node, const std::vector<std::string>& lines);
    std::uint8_t currentNode() const { return currentNode_; }
    // Selects the node on the bus unless it is the current one already; a
    // refusal leaves no node selected and "No CAN nodes found".
    void SetcurrentNode(std::uint8_t node);
    // The nodes that answer, bit 0 = NFC 1 (0 in jumper mode, unasked).
    std::uint8_t GetAvailableNodes();
    std::uint8_t available_nodes() { return GetAvailableNodes(); }
    int nrOfNodes();
    // 0 when an NFC board answers (the one selected by jumper in jumper
    // mode), else -1.
    int CheckNodePresence();
    // The identified flash's name, else empty.
    std::string CMC_CPU_ID_String() const;
    std::uint16_t FlashId() const { return flashId_; }
    int FlashRowIndex() const { return flashRow_; }
    bool FlashIdentified() const { return flashIdentified_; }

    // ---- properties ----
    sio::TSioComPort* ComPort() const { return comPort_; }
    int BaudRate() const { return 0; }
    void SetBaudRate(int) {}
    TLoaderProgress* progressIndicator() const { return progress_; }
    void SetProgressIndicator(TLoaderProgress* p) { progress_ = p; }
    std::string lastErrorMessage() const { return lastErrorMessage_; }
    int LastError() const { return lastError_; }
    std::uint8_t CMC_CPU_ID_Code() const { return cpuIdCode_; }
    void SetTerminate(bool value);
    bool GetTerminate() const { return terminate_; }
    bool JumperSelected() const { return jumperSelected_; }
    void SetJumperSelected(bool value) { jumperSelected_ = value; }
    int NrOfResendings() const { return nrOfResendings_; }
    int spuriouscharacters() const { return spuriousCharacters_; }
    int TryToConnect() const { return tryToConnect_; }
    // True when the last wait ran out (also after terminate).
    bool timeoutError() const { return Countdown() < 1; }
    int MinTimeOutTime() const { return minTimeOutTime_; }

    // ---- state, for the flash and node operations and for tests ----
    TLinkState LinkState() const { return linkState_; }
    TOperationMode OperationMode() const { return operationMode_; }
    void SetOperationMode(TOperationMode m) { operationMode_ = m; }
    int CurrentRoutine() const { return currentRoutine_; }
    bool Ready() const { return ready_; }
    bool Alive() const { return alive_; }
    bool ResendRequested() const { return resend_; }
    bool EndRecord() const { return endRecord_; }
    int ExpectedLength() const { return expectedLength_; }
    void SetExpectedLength(int n) { expectedLength_ = n; }
    // Poll count left by the last wait (0 while terminating).
    int Countdown() const { return terminate_ ? 0 : countdown_; }
    void SetLastError(int code);
    // The code's text followed by ": " and the detail (what is wrong).
    void SetLastError(int code, const std::string& detail);
    void ClearLastError();
    // The reply bytes taken as data for the exchanges that follow.
    void SetDataBytes(TDataBytes kind) { dataBytes_ = kind; }
    std::uint8_t currentNodeField() const { return currentNode_; }
    void SetCurrentNodeField(std::uint8_t node) { currentNode_ = node; }
    // Progress + n, when a meter is set.
    void AdvanceProgress(int n);
    // Sends bytes, enabling the packet first: false when the port refused.
    bool SendBytes(const std::string& bytes);
    // Waits, pumping messages, until done() holds, terminate is set or the
    // polls have run out: polls slots of slotMs each, the first firstPolls
    // of them firstMs long. Sets and returns the countdown left: 0 when the
    // time ran out, else at least 1.
    int WaitPolls(int polls, int slotMs, const std::function<bool()>& done, int firstPolls = 0, int firstMs = 0);

    // True while the one-byte packet is armed.
    bool PacketEnabled() const { return DataPacket.GetEnabled(); }

    // The packet handler: one received byte.
    void DataPacketPacket(std::uint8_t byte);

private:
    void DataModuleCreate();
    void DataModuleDestroy();
    bool OpenBootPort();
    int Bootstrap();
    int CheckAlive();
    bool WaitOutRoom(std::size_t length);
    bool TakeAsData() const;
    int RecordLoop(const std::vector<std::string>& lines);
    bool LineGone() const;
    // Identifies the flash when no id is held yet; true when it is known.
    bool EnsureFlash();
    // With the flash known: whether the file's data fit it; when not, the
    // file's fault (naming the chip and its size) is the last error.
    bool FileFitsKnownFlash(const std::vector<std::string>& lines);
    // Program and verify alike: checks the file and the flash id (either
    // failing is -1 with its last error), then runs the row's routine.
    int CheckedFlashTransfer(const std::vector<std::string>& lines, int TFlashRow::*routine);
    int SelectNode(std::uint8_t node);
    // The outcome of an erase reply: 'q' in its second byte, else the byte
    // (0xF5 for no reply) as the last error.
    int JudgeErase(const std::string& reply);
    int NodeTransfer(std::uint8_t node, const std::vector<std::string>& lines, TOperationMode mode, int routine);

    sio::TSioComPort* comPort_ = nullptr;
    sio::TSioDataPacket DataPacket;
    TLoaderProgress* progress_ = nullptr;
    std::function<std::string()> baudText_;
    std::string bootBlock1_;
    std::string bootBlock2_;

    TLinkState linkState_ = lsInitialised;
    TOperationMode operationMode_ = omIdle;
    int currentRoutine_ = 0;
    std::string reply_;
    bool resend_ = false;
    std::string lastErrorMessage_;
    int expectedLength_ = 1;
    std::uint8_t currentNode_ = 0;
    int lastError_ = 0;
    bool endRecord_ = false;
    bool jumperSelected_ = false;
    std::uint16_t flashId_ = 0;
    int flashRow_ = kUnknownFlashRow;
    bool flashIdentified_ = false;
    std::uint8_t cpuIdCode_ = 0;
    int nrOfResendings_ = 0;
    int minTimeOutTime_ = 1000000;
    int spuriousCharacters_ = 0;
    int countdown_ = 0;
    bool terminate_ = false;
    bool ready_ = false;
    bool alive_ = false;
    int tryToConnect_ = 0;
    TDataBytes dataBytes_ = TDataBytes::None;
    bool afterMarker_ = false; // the last byte joined as 0xCA marker
};

} // namespace kyd::firmware
