#include "link/ReplyShape.h"

#include <algorithm>

namespace kyd::link {

namespace {

constexpr std::size_t kCassettes = 8;
// Check-status data: the reject vault, eight feeders and the task codes.
constexpr std::size_t kStatusCheckChars = 104;
// A dispense reply: status, the two command characters, notes delivered
// (three digits), then one record of five characters per cassette asked.
constexpr std::size_t kDispenseHead = 6;
constexpr std::size_t kDispenseRecord = 5;
// Cassette ids: seven characters a record; the last-status reply: five.
constexpr std::size_t kIdRecord = 7;
constexpr std::size_t kLastStatusRecord = 5;
// The long program id: status, two more characters and the id.
constexpr std::size_t kLongProgramIdReply = 12;

bool Digits(const std::string& s, std::size_t from, std::size_t count)
{
    if (from + count > s.size())
        return false;
    return std::all_of(s.begin() + static_cast<std::ptrdiff_t>(from),
                       s.begin() + static_cast<std::ptrdiff_t>(from + count),
                       [](char c) { return c >= '0' && c <= '9'; });
}

bool StartsWith(const std::string& s, const char* prefix)
{
    return s.rfind(prefix, 0) == 0;
}

// Commands answered by the status character alone.
bool StatusOnly(const std::string& c)
{
    if (c == "0" || c == "3" || c == "4" || c == ":")
        return true;
    if (c.size() == 3 && (c[0] == '7' || c[0] == '8') && c[1] >= '0' && c[1] <= '9')
        return true; // open, latch or close a cassette
    return StartsWith(c, "WD/");
}

} // namespace

bool ReplyFitsCommand(const std::string& command, const std::string& reply)
{
    if (reply.empty())
        return false;
    const std::size_t n = reply.size();
    if (StatusOnly(command))
        return n == 1;
    const bool dispense = command.size() >= 2 && (command[0] == '1' || command[0] == '2') &&
                          Digits(command, 2, command.size() - 2);
    const bool payload = dispense || command == "5" || command == "6" || command == "Q" || command == "A";
    if (!payload)
        return true;
    // The bare status character answers any command (a refusal); the
    // parsers take short payloads as they come.
    if (n == 1)
        return true;
    if (dispense)
        return n <= kDispenseHead + kCassettes * kDispenseRecord;
    if (command == "5") // a stray last character is ignored by the parser
        return n <= 1 + kCassettes * kIdRecord + 1;
    if (command == "6")
        return n <= 1 + kCassettes * kLastStatusRecord;
    if (command == "Q")
        return n - 1 == kStatusCheckChars;
    return n <= kLongProgramIdReply; // "A"
}

} // namespace kyd::link
