// The settings file is read back from disk, where anything may have happened to it: a parse
// must never crash, and whatever parses must write out and read back the same.
#include "platform/Settings.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    platform::SettingsData parsed;
    if (!platform::ParseSettingsText(text, parsed))
        return 0;
    std::string written = platform::FormatSettingsText(parsed);
    platform::SettingsData again;
    if (!platform::ParseSettingsText(written, again) || !(again == parsed) ||
        platform::FormatSettingsText(again) != written)
        std::abort();
    return 0;
}
