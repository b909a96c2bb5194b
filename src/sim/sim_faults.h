// Misbehaviour on demand: what the simulated dispenser does wrong, and how
// often. Counts: 0 never, -1 always, n > 0 the next n replies.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kyd::sim {

// A status character forced on the n-th command that matches a pattern.
struct ScriptedStatus {
    std::string pattern;  // '*' any run of characters, '?' any one character
    int nth = 1;          // the n-th matching command (from 1)
    char status = '0';
    bool always = false;  // also every later match
    // false: the command is not run and the reply is the bare status;
    // true: the command runs and only its status character is replaced.
    bool execute = false;
    int seen = 0;         // matches counted so far
};

struct SimFaults {
    int silent = 0;         // frames received but not answered (nor run)
    int delayMs = 0;        // wait before every reply
    int lateMs = 0;         // extra wait before the replies counted by late;
    int late = 0;           // commands arriving meanwhile wait their turn
    int badChecksum = 0;    // replies with a corrupted checksum
    int bareCr = 0;         // a bare carriage return instead of the reply
    int fragmentBytes = 0;  // send replies in pieces of this many bytes ...
    int fragmentGapMs = 0;  // ... this far apart
    std::string noise;      // bytes sent before every reply
    int hangUp = 0;         // hang the line up half-way through the reply
    bool ctsLow = false;    // hold CTS low (pseudo-terminal transport, in-process only)
    int ctsDelayMs = 0;     // CTS follows RTS only after this delay (likewise)
    std::vector<ScriptedStatus> scripted;
};

// Pattern match with '*' and '?'.
bool matchPattern(std::string_view pattern, std::string_view text);
// Consumes one use of a count; true when the fault applies now.
bool takeFault(int& count);
// Parses "PATTERN:N:C" or "PATTERN:N:C:always" (the pattern may itself
// hold ':'; the fields are taken from the right). False on bad text.
bool parseScriptedStatus(std::string_view text, ScriptedStatus& out);

} // namespace kyd::sim
