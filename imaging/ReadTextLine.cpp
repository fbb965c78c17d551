#include "imaging/ReadTextLine.h"

bool ReadTextLine(std::u16string_view text, size_t& position, std::u16string& line)
{
    line.clear();
    if (position >= text.size())
        return false;
    auto isBreak = [](char16_t c) { return c == u'\r' || c == u'\n'; };
    size_t end = position;
    while (end < text.size() && !isBreak(text[end]) && end - position < kMaxTextLine)
        ++end;
    line.assign(text.substr(position, end - position));
    // A line cut for length goes on at the next character; otherwise skip the whole run of
    // line-end characters.
    while (end < text.size() && isBreak(text[end]))
        ++end;
    position = end;
    return true;
}
