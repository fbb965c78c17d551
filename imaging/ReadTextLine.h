// Splits a text into lines the way the string table and the wrapped-text renderer read them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

inline constexpr size_t kMaxTextLine = 1023;

// Reads the line that starts at `position` into `line` and moves `position` past it. Lines end
// at CR, LF or the end of the text, and a run of CR and LF characters is one line end; a line
// longer than kMaxTextLine characters is split after kMaxTextLine. Returns false (line empty)
// when `position` is at the end of the text.
bool ReadTextLine(std::u16string_view text, size_t& position, std::u16string& line);
