// The shape of the reply each dispenser command may get: a reply of another
// shape is not this command's reply (a late answer to an earlier command, or
// a garbled line) and must never count as its outcome.
#pragma once

#include <string>

namespace kyd::link {

// True when reply (status character first, checksum cut off) can be the
// answer to command (without its checksum). Commands answered by their
// status character alone take nothing else; the others refuse only a payload
// their parser could take nothing from, and accept a bare status character.
bool ReplyFitsCommand(const std::string& command, const std::string& reply);

// The longest reply, as received (status, payload and checksum), that
// command may get. A format of records repeated without a limit of its own
// admits kMaxRepeatedRecords of them; the other formats are bounded by what
// they hold.
inline constexpr int kMaxRepeatedRecords = 64;
int MaxReplyChars(const std::string& command);

} // namespace kyd::link
