// The dispenser status model: what the tool knows after the last exchanges.
//
// The command layer writes it; windows and the script engine read it. One
// instance exists, owned by the main window; everyone else holds a pointer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kyd::link {

// One record per cassette position of a cassette-id ("5") or last-status
// ("6") reply.
class FeederData {
public:
    FeederData() = default;
    void Clear();

    int Number = 0;          // cassette (hopper) number
    std::string Status;      // status text
    std::string Id = "0";    // cassette id
    int Count = 0;           // note count
    int Width = 0;           // note width, 0 when not measured
};

using FeederList = std::vector<std::unique_ptr<FeederData>>;

class Protokoll {
public:
    Protokoll();

    // Resets the per-exchange fields; keeps the fatal mark, the feeder
    // cursor and the read, self-test and check-status payloads.
    void Clear();
    void ClearFeeders();
    void SetFeeders(FeederList feeders);
    // Hands the feeder list over (the model's list is empty afterwards).
    FeederList TakeFeeders();
    const FeederList& Feeders() const { return feeders_; }

    FeederData* FindFeeder(int number) const;
    bool HasFeeder(int number) const { return FindFeeder(number) != nullptr; }
    FeederData* FirstFeeder();
    FeederData* NextFeeder();

    // Stores the code and its text; a code without a text reads
    // "Unknown Status", two blanks and the code in hexadecimal.
    void SetCode(int code);
    // The same for the code of a status character from a reply: only the
    // dispenser's status texts (48 to 127) apply to it.
    void SetCharCode(int code);

    // True when the last command succeeded: class WARNING and not cancelled
    // by the operator. Every caller that chains a follow-up command on the
    // outcome of a previous one tests this.
    bool Succeeded() const;

    std::string ProgramId;
    int StringBase = 0;
    std::uint8_t FatalMark = 0;
    int StatusClass = 0;
    int StatusCode = 0;
    std::string CodeText;
    int NotesThisDispense = 0;
    int NotesDelivered = 0;
    int TotalNotes = 0;
    int DispenseCount = 0;
    int LastCassette = 0;
    std::string Trace;
    std::string ReadData;
    std::string SelfTestData;
    std::string CheckStatusData;

private:
    void SetUnknownText(int code);

    FeederList feeders_;
    std::size_t cursor_ = 0;
};

} // namespace kyd::link
