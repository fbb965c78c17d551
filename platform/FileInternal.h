// Helpers shared by the file pieces of the platform layer; not for the rest of the program.
#pragma once

#include <string>

namespace platform {

// rename(2); without replaceExisting it fails with EEXIST rather than replace the target.
bool RenameInto(const std::string& from, const std::string& to, bool replaceExisting);

} // namespace platform
