#include "link/ReplyShape.h"

#include "link/PLVRCom.h"

#include <algorithm>

namespace kyd::link {

namespace {

// Check-status data: the reject vault and eight feeders in records of ten
// characters, then two digits for each of seven tasks. A shorter payload of
// whole records without the task part is shown as the hoppers alone; one
// that ends after the last record or inside a record is not shown at all.
constexpr std::size_t kStatusRecord = 10;
constexpr std::size_t kStatusHopperPartMax = 80;
constexpr std::size_t kStatusHopperPart = 90;
constexpr std::size_t kStatusCheckChars = 104;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool StartsWith(const std::string& s, const char* prefix)
{
    return s.rfind(prefix, 0) == 0;
}

bool Digits(const std::string& s, std::size_t from, std::size_t count)
{
    for (std::size_t i = from; i < from + count; ++i)
        if (i >= s.size() || !IsDigit(s[i]))
            return false;
    return true;
}

// True when the status-check window can show the payload: its length as
// above; in every hopper record the open/close state a digit and, for the
// reject vault ('0') and every fitted feeder (state not '0'), the internal
// status two digits; with the task part, two digits for each task.
bool StatusCheckShown(const std::string& p)
{
    const std::size_t n = p.size();
    if (n < kStatusCheckChars && (n > kStatusHopperPartMax || n % kStatusRecord != 0))
        return false;
    for (std::size_t s = 0; s < std::min(n, kStatusHopperPart); s += kStatusRecord) {
        if (!Digits(p, s + 2, 1))
            return false;
        if ((p[s] == '0' || p[s + 2] != '0') && !Digits(p, s + 3, 2))
            return false;
    }
    return n < kStatusCheckChars || Digits(p, kStatusHopperPart, kStatusCheckChars - kStatusHopperPart);
}

// Commands answered by the status character alone.
bool StatusOnly(const std::string& c)
{
    if (c == "0" || c == "3" || c == "4" || c == ":")
        return true;
    if (c.size() == 3 && (c[0] == '7' || c[0] == '8') && IsDigit(c[1]))
        return true; // open, latch or close a cassette
    return StartsWith(c, "WD/");
}

// The status character and the checksum around every payload.
constexpr int kFrameChars = 3;
// Self-test data of the note qualifier: its clock sensor's state and
// calibration, then one record for each denomination it knows.
constexpr int kSelfTestHead = 4;
constexpr int kDenominationRecord = 21;
// Cassette ids and the last dispense status: one record for each cassette
// position (the reject vault's too).
constexpr int kCassetteIdRecord = 7;
constexpr int kLastStatusRecord = 5;

} // namespace

int MaxReplyChars(const std::string& command)
{
    int records = 0;
    if (command == "GA")
        records = kSelfTestHead + kMaxRepeatedRecords * kDenominationRecord;
    else if (command == "5")
        records = kMaxRepeatedRecords * kCassetteIdRecord;
    else if (command == "6")
        records = kMaxRepeatedRecords * kLastStatusRecord;
    return std::max(TCom::kMaxReplyChars, kFrameChars + records);
}

bool ReplyFitsCommand(const std::string& command, const std::string& reply)
{
    if (reply.empty())
        return false;
    const std::size_t n = reply.size();
    if (StatusOnly(command))
        return n == 1;
    // The bare status character answers any command (a refusal).
    if (n == 1)
        return true;
    // A payload is refused only where the command's parser could take
    // nothing from it.
    if (command == "Q")
        return StatusCheckShown(reply.substr(1));
    // The parsers of dispenses (a count that is no number is shown as
    // such), cassette ids and last status (any number of records, the
    // reject vault's too; a broken record ends the list), program ids, item
    // and self-test reads, and typed commands take any payload.
    return true;
}

} // namespace kyd::link
