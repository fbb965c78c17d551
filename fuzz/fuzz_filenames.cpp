// File names are outside data: any bytes a folder listing or the command line gives. A name
// must come back from the program's UTF-16 path as the same bytes (so that a file is never read
// or written under a changed name), and its shown form must be valid text without the lone
// surrogates that keep undecodable bytes.
#include "platform/Path.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096)
        return 0;
    const std::string_view native(reinterpret_cast<const char*>(data), size);
    const platform::String16 path = platform::FromNativePath(native);
    if (platform::ToNativePath(path) != native)
        __builtin_trap();
    const platform::String16 shown = platform::DisplayPath(path);
    for (size_t i = 0; i < shown.size(); ++i) {
        const char16_t c = shown[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= shown.size() || shown[i + 1] < 0xDC00 || shown[i + 1] > 0xDFFF)
                __builtin_trap();
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            __builtin_trap();
        }
    }
    // The helpers that cut a path never reach outside it.
    const platform::StringView16 name = platform::FileNamePart(path);
    const platform::StringView16 extension = platform::ExtensionPart(path);
    if (name.size() > path.size() || extension.size() > name.size())
        __builtin_trap();
    const platform::String16 parent = platform::ParentFolder(path);
    if (parent.size() > path.size())
        __builtin_trap();
    return 0;
}
