// Localised texts are used as formats: any text must either be refused or formatted, never
// read past its arguments. The input is UTF-16LE; the arguments are one of each kind.
#include "platform/Format.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    platform::String16 format;
    for (size_t i = 0; i + 1 < size; i += 2)
        format.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    const platform::FormatArg args[] = {
        platform::FormatArg(-42), platform::FormatArg(7u), platform::FormatArg(3.5),
        platform::FormatArg(u"text"), platform::FormatArg(u'c'),
    };
    // Every prefix of the argument list: the count must match exactly.
    size_t accepted = 0;
    for (size_t n = 0; n <= std::size(args); ++n) {
        platform::String16 out;
        if (platform::FormatText(out, format, std::span<const platform::FormatArg>(args, n)))
            ++accepted;
        else if (!out.empty())
            std::abort(); // a refusal must produce nothing
    }
    if (accepted > 1)
        std::abort(); // one format cannot fit two different argument counts
    return 0;
}
