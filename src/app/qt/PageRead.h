// The further pages of an item that the dispenser gives out page by page
// (the module error log, the module ids).
#pragma once

#include <string>

namespace kyd::link {
class TPLVRCmdF;
}

namespace kyd::app {

// Reads one more page of item (RD/item/parameter). False when it could not
// be read: the reason (the reply's status text, or why the port could not
// be used) is then shown in an error box, and the caller keeps what it has
// read so far.
bool ReadFurtherPage(link::TPLVRCmdF* cmd, int item, const std::string& parameter);

} // namespace kyd::app
