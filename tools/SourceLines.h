// Line by line through the text sources of the tools, numbering lines for error messages.
// Lines end at LF; a CR before it is dropped. The piece after the last LF counts as a line.
#pragma once

#include <cstddef>
#include <string_view>

namespace tools {

class SourceLines {
public:
    explicit SourceLines(std::string_view text) : m_text(text) {}
    bool Next(std::string_view& line)
    {
        if (m_pos > m_text.size())
            return false;
        size_t end = m_text.find('\n', m_pos);
        if (end == std::string_view::npos)
            end = m_text.size();
        line = m_text.substr(m_pos, end - m_pos);
        m_pos = end + 1;
        ++m_number;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        return true;
    }
    size_t Number() const { return m_number; }

private:
    std::string_view m_text;
    size_t m_pos = 0;
    size_t m_number = 0;
};

} // namespace tools
