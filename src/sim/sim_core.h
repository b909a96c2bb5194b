// The simulated dispenser: the main controller board (CMC) with up to eight
// note feeders, the stack presenter with its throat and the reject vault.
//
// Pure state machine: a frame or a command text goes in, the reply text
// comes out (status character first, then the payload; the caller adds the
// checksum and the carriage return). No I/O, no threads, no clock; the
// owner serialises calls.
#pragma once

#include <array>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kyd::sim {

enum class CassetteState { Closed, Open, Latched, Released };

// Position 0 is the reject vault, 1..8 the note feeders.
struct Cassette {
    bool fitted = false;   // feeder board behind the CMC (the reject vault: always)
    bool present = false;  // cassette inserted
    CassetteState state = CassetteState::Closed;
    std::string id = "        ";       // 8 characters
    std::string denomination = "EUR101 "; // 7-character code: EUR 10, no variant
    int height = 70;       // note size in mm
    int width = 140;
    int notes = 0;         // notes in the cassette (the reject vault: notes rejected)
    bool exitJammed = false; // feeder exit sensor stuck (a note under it, or broken)
};

enum class RejectVaultLevel { Normal, AlmostFull, Full };

struct SimConfig {
    // Check-throat commands answered with 'M' before the operator has taken
    // the notes (when takeNotesAfterMs is below 0).
    int throatChecksToRemove = 2;
    // When 0 or more: the operator takes the notes this many milliseconds
    // (of the time given through setTimeMs) after they were presented,
    // whether or not the throat is checked.
    int takeNotesAfterMs = -1;
    // The operator leaves the next n bundles presented in the throat (-1:
    // every bundle, 0: none): check throat answers 'M' until they are
    // retracted.
    int notesLeftInThroat = 0;
    // Every n-th note fed is rejected (0: none).
    int rejectEvery = 0;
    // Program id reply: long form (year in four digits) or short form.
    bool longProgramId = true;
    std::string programId = "20240517"; // long: yyyymmrr; short form uses the last six
    // Feeders 1..feeders are fitted, each with a cassette of 500 notes.
    int feeders = 4;
    int notesPerCassette = 500;
    // When not empty, exactly these feeders (1..8) are fitted instead of
    // 1..feeders.
    std::vector<int> fittedFeeders;
    // A cassette with this many notes or fewer reports low level.
    int lowLevel = 50;
    // Faults at power-on: cassettes that start empty, feeders whose exit
    // sensor is stuck, notes already in the reject vault.
    std::vector<int> emptyCassettes;
    std::vector<int> jammedExitSensors;
    int rejectVaultNotes = 0;
    // The reject vault reports almost full from this many notes on, and is
    // full (refuses dispenses) at its capacity.
    int rejectVaultAlmostFull = 250;
    int rejectVaultCapacity = 300;
};

struct ErrorLogEntry {
    int task = 0;        // 1..20 (0 ends the log on the wire)
    int code = 0;        // 0..99
    std::string line;    // 4 characters
};

struct DispenseRecord {
    int cassette = 0;
    char status = '0';
    int notes = 0;
};

// Result of one frame.
struct FrameResult {
    bool answered = false;  // false: no reply at all (empty or non-printable frame)
    std::string command;    // command text (checksum removed) when the checksum was good
    std::string reply;      // status + payload
};

class SimCore {
public:
    explicit SimCore(SimConfig config = {});

    // Handles one received frame (bytes before the carriage return).
    FrameResult handleFrame(std::string_view frame);
    // Runs a command text (without checksum); updates the resend buffer
    // (except for "K" itself).
    std::string execute(std::string_view command);
    // Replaces the resend buffer (a reply decided outside, e.g. a fault).
    void rememberReply(const std::string& reply) { lastReply_ = reply; }
    const std::string& lastReply() const { return lastReply_; }

    // Restores the power-on state for the current configuration.
    void powerOn();
    // The time now, in milliseconds of any steady clock; the owner sets it
    // before each command (only the throat's removal time reads it).
    void setTimeMs(long long ms) { nowMs_ = ms; }

    // --- state, for tests and scenario set-up ---
    SimConfig& config() { return config_; }
    Cassette& cassette(int position) { return cassettes_.at(static_cast<std::size_t>(position)); }
    const Cassette& cassette(int position) const { return cassettes_.at(static_cast<std::size_t>(position)); }
    int stackNotes() const { return stack_; }
    int throatNotes() const { return throat_; }
    char teller() const { return teller_; }
    const std::vector<DispenseRecord>& lastDispense() const { return lastDispense_; }
    std::string rejectTrace() const { return trace_; }
    void setErrorLog(std::vector<ErrorLogEntry> log) { errorLog_ = std::move(log); }
    const std::vector<ErrorLogEntry>& errorLog() const { return errorLog_; }
    const std::string& testMode() const { return testMode_; }
    const std::string& softwareSwitch() const { return swSwitch_; }
    // Current text of an item as the read reply carries it after its first
    // character (empty for an unknown item).
    std::string itemValue(int item) const;
    long counter(int item) const;
    // The reject vault's fill level from its notes.
    RejectVaultLevel rejectVaultLevel() const;
    // Whether feeder pos (1..8) is fitted under the configuration.
    bool feederFitted(int pos) const;

private:
    struct Item {
        enum Kind { Integer, Choice, Action } kind = Integer;
        int min = 0, max = 0, width = 1;
        int def = 0, value = 0;
    };

    std::string dispense(std::string_view cmd);
    std::string deliver();
    // Moves the stack into the throat and counts it delivered.
    void present();
    // The operator takes the notes once the removal time has passed.
    void takeNotesWhenDue();
    std::string reject();
    std::string checkThroat();
    std::string retract(std::string_view cmd);
    std::string reset();
    std::string cassetteIds() const;
    std::string lastStatus() const;
    std::string openClose(std::string_view cmd);
    std::string programId() const;
    std::string statusCheck() const;
    std::string selfTest(std::string_view cmd) const;
    std::string zCommand(std::string_view cmd);
    // Records a fault in the error log (the oldest go once its four pages
    // are full).
    void logError(int task, int code, int line);
    std::string readData(std::string_view cmd) const;
    std::string writeData(std::string_view cmd);
    std::string readItem(int item, const std::string& param) const;
    std::string writeItem(int item, const std::string& value);
    std::string readCassetteItem(int pos, int item) const;
    std::string writeCassetteItem(int pos, int item, const std::string& value);
    std::string moduleIds(int page) const;
    std::string writeModuleId(const std::string& record);
    std::string errorLogPage(int page) const;

    void initItems();
    void pushTrace(char code);
    void countStatus(char status);
    void rejectNotes(int n, bool bundle);
    bool anyOpen() const;
    bool usable(int pos) const; // fitted, present, open

    SimConfig config_;
    std::array<Cassette, 9> cassettes_{};
    int stack_ = 0;
    int throat_ = 0;
    int throatChecksLeft_ = 0;
    bool throatLeft_ = false;    // the operator will not take these notes
    long long presentedAtMs_ = 0;
    long long nowMs_ = 0;
    char teller_ = '0';
    std::vector<DispenseRecord> lastDispense_;
    std::string trace_;
    std::size_t traceWrite_ = 0;
    long fedNotes_ = 0;
    std::map<int, Item> items_;
    std::map<int, long> counters_;
    std::map<int, long> rejectTable_;   // code 1..24 -> count
    std::map<char, long> statusTable_;  // status character -> count
    std::vector<ErrorLogEntry> errorLog_;
    std::string testMode_ = "00";  // Z1: the test mode's two flags
    std::string swSwitch_ = "00";  // Z2: the software switch and its value
    struct ModuleId {
        std::string name, type, rev, fieldRev, serial;
    };
    std::vector<ModuleId> modules_;
    std::vector<std::pair<std::string, std::string>> extendedIds_; // position, value
    std::string lastReply_;
};

} // namespace kyd::sim
