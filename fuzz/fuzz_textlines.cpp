// Localised texts: escape decoding and line splitting of arbitrary UTF-16.
#include "imaging/DecodeTextEscapes.h"
#include "imaging/ReadTextLine.h"

#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::u16string text(size / 2, u'\0');
    if (!text.empty())
        std::memcpy(text.data(), data, text.size() * 2);
    // Stop at the first terminator, as the program's texts do.
    text.resize(std::char_traits<char16_t>::length(text.c_str()));
    std::u16string decoded(text.size() + 1, u'#');
    DecodeTextEscapes(text.c_str(), decoded.data());
    size_t position = 0;
    std::u16string line;
    size_t total = 0;
    while (ReadTextLine(decoded.c_str(), position, line)) {
        if (line.size() > kMaxTextLine)
            __builtin_trap();
        total += line.size();
    }
    if (total > text.size())
        __builtin_trap();
    return 0;
}
