// The shape of the reply each dispenser command may get: a reply of another
// shape is not this command's reply (a late answer to an earlier command, or
// a garbled line) and must never count as its outcome.
#pragma once

#include <string>

namespace kyd::link {

// True when reply (status character first, checksum cut off) can be the
// answer to command (without its checksum). Commands whose replies have no
// fixed shape (item and self-test reads, typed commands of any kind the tool
// does not build) accept any reply with a status character.
bool ReplyFitsCommand(const std::string& command, const std::string& reply);

} // namespace kyd::link
