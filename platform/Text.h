// UTF-16 text, as the program keeps it, and its conversions at the platform boundary.
#pragma once

#include <string>
#include <string_view>

namespace platform {

using String16 = std::u16string;
using StringView16 = std::u16string_view;

// Invalid input (lone surrogates, bad UTF-8 sequences) becomes U+FFFD rather than failing:
// file names and outside text must still be shown.
String16 Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(StringView16 utf16);

} // namespace platform
