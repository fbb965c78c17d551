// UTF-8 and UTF-16 steps shared by the text, path and settings code of the platform layer; not
// for the rest of the program.
#pragma once

#include "platform/Text.h"

#include <string_view>

namespace platform {

// Reads one strict UTF-8 character starting at s[i] (i < s.size()) into cp: no overlong forms,
// surrogates or values past U+10FFFF. end is set past the character when it is valid, else to the
// first byte that does not belong to the broken sequence (always after i).
bool DecodeUtf8At(std::string_view s, size_t i, char32_t& cp, size_t& end);

// Reads the character at s[i] (i < s.size()) and moves i past it: a surrogate pair as one code
// point, any other unit, a lone surrogate included, as it stands.
char32_t ReadUtf16At(StringView16 s, size_t& i);

// Appends cp as one code unit or a surrogate pair.
void AppendUtf16(String16& out, char32_t cp);

} // namespace platform
