// Where the running program lives: the folder its help files and the About
// box's picture are shipped in.
#pragma once

#include <string>

namespace kyd::platform {

// Full path of the running executable ("" when it cannot be found).
std::string executablePath();
// Its folder, without a trailing separator ("." when unknown).
std::string executableDir();

} // namespace kyd::platform
