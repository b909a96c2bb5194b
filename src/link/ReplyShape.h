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

} // namespace kyd::link
