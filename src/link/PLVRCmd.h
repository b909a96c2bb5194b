// The command layer: every dispenser command, typed, clicked or scripted,
// goes through SendCommand. It sends one command at a time through the
// link, shows the "Out: " and "In : " lines, writes the communication log,
// cuts the checksum off the reply, classifies the status character into the
// status model and reports the status text to the main window.
//
// Dispenser commands never throw: their outcome is in Reply and the model.
// Only a library exception (port not open) reaches the caller, after the
// busy state has been cleared.
#pragma once

#include "link/AppContext.h"
#include "link/CommLog.h"
#include "link/PLVRCom.h"
#include "link/Protokoll.h"

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kyd::link {

class TPLVRCmdF {
public:
    // The status model and the context's members are not owned; the context
    // must outlive the command layer (its members may be filled in later).
    TPLVRCmdF(Protokoll* model, const AppContext* context);
    TPLVRCmdF(const TPLVRCmdF&) = delete;
    TPLVRCmdF& operator=(const TPLVRCmdF&) = delete;

    // One exchange; the outcome is in Reply and the model. Dropped without a
    // trace while another exchange is under way.
    void SendCommand(std::string command, int seconds);
    void SetStatus(int statusClass, int code);
    void ClassifyReply(char c);
    // Ends the exchange under way as "Communication Canceled".
    void Abort();
    bool Busy() const { return busy_; }

    // Communication log.
    // discarded: bytes thrown away before the command went out (the link
    // waited for a quiet line after a failed exchange); logged first as a
    // "Discarded: " line. stale: replies set aside as stale while waiting
    // for the command's own, logged between "Out: " and "In : ". Control
    // characters of the reply and of both are written as <CR> and <xx>.
    void LogExchange(const std::string& command, const std::string& reply, bool timeStamp,
                     bool dateStamp, const std::string& discarded = {}, const std::string& stale = {});
    void LogAnnotation(const std::string& text);
    // The log file in force: the script's override, else the options' file.
    std::string LogFileName() const;

    // ---- command set ----
    // a, b, then "%d%03d" for every cassette with a count; nothing is sent
    // when the total is 0.
    void Dispense(char a, char b, const std::array<int, 8>& counts);
    bool ReadCassetteIds();
    bool ReadLastStatus();
    void OpenCassette(int n, int m);
    void CloseCassette(int n, bool flag);
    bool ReadRejectTrace();
    bool ReadData(int item, const std::string& parameter = {});
    void WriteData(int item, const std::string& text, int seconds);
    bool ReadCassetteData(int cassette, int item);
    void WriteCassetteData(int cassette, int item, const std::string& text);
    bool ReadProgramId();
    bool SendSelfTestData(int n);
    bool CheckStatus();

    std::string Command;         // set by the builders, without checksum
    std::string Reply;           // last reply without checksum; empty after a failure
    bool RejectIsError = false;  // status '4' is SOFTWARE RECOVERABLE
    bool IgnoreIllegal = false;  // status '8' is a WARNING
    std::string LogFileOverride; // the script's log file; empty: the options'
    DateTime SendTime{};
    DateTime ReplyTime{};

    Protokoll* Model() const { return model_; }

private:
    // The lines of one exchange, as the window shows them; an empty one is
    // left out.
    struct ExchangeLines {
        std::string Discarded; // "Discarded: " what came before the command
        std::string Out;       // "Out: " the command, or "Not sent: " it
        std::string Stale;     // "Discarded: " replies set aside as stale
        std::string In;        // "In : " the reply; none for a command not sent
    };
    // Appends the lines to the log with the exchange's stamps.
    void WriteExchange(const ExchangeLines& lines, bool timeStamp, bool dateStamp);
    // Reports a command refused before sending (an argument out of range)
    // like a failed command.
    void Refuse();
    TCom& Com() const;
    // Appends to the log file in force; a file that cannot be opened or
    // written is reported to the operator once: not again at every
    // exchange while nothing changed, but again once the log could be
    // written, logging was switched off or another file is in force.
    void WriteLog(const std::vector<std::string>& lines);

    Protokoll* model_;
    const AppContext* ctx_;
    bool busy_ = false;
    // The log trouble last reported (file and kind); empty: none since.
    std::optional<std::pair<std::string, LogWrite>> logTroubleSaid_;
};

} // namespace kyd::link
