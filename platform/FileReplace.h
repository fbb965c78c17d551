// Saving over a user's file: everything goes to a temporary file in the same folder, which
// replaces the original only once it was written completely.
#pragma once

#include <functional>
#include <string>

namespace platform {

// Creates a temporary file beside path (a copy of the original when copyOriginal is set),
// lets write fill it, flushes it to disk and renames it over path. The original's permission
// bits are kept. On any failure the temporary file is removed, the original stays as it was
// and the result is false.
bool ReplaceFileVia(const std::string& path, bool copyOriginal,
                    const std::function<bool(const std::string& tempPath)>& write);

} // namespace platform
