#include "app/CommandLine.h"

#include "platform/Path.h"

#include <algorithm>
#include <string_view>

std::u16string BuildCommandLine(int argc, const char* const* argv)
{
    std::u16string line;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i] ? argv[i] : "";
        if (options && arg == "--") {
            options = false;
            continue;
        }
        if (options && arg.starts_with("--"))
            continue;
        const std::u16string text = platform::FromNativePath(arg);
        if (!line.empty())
            line += u' ';
        if (text.empty() || text.find(u' ') != std::u16string::npos)
            line += u'"' + text + u'"';
        else
            line += text;
    }
    return line;
}

int ParseCommandLine(std::u16string_view s, CommandLineRequest& out)
{
    out = CommandLineRequest{};
    if (s.empty())
        return 0;
    if (s[0] == u'"') {
        out.PluginMode = 10;
        return 1;
    }
    if (s[0] == u'i') {
        // A missing second character counts as the terminator, as in a C string.
        const int c = s.size() > 1 ? int(s[1]) : 0;
        out.PluginMode = c - 47;
        if (out.PluginMode < 1 || out.PluginMode > 5)
            return 0;
    }
    size_t i = 0;
    while (i < s.size() && s[i] != u' ')
        ++i;
    while (i < s.size() && s[i] == u' ')
        ++i;
    if (i < s.size() && s[i] == u'"')
        ++i;
    const size_t end = std::min(s.find(u'"', i), s.size());
    const size_t length = end - i;
    // The buffer holds 511 characters; a cut path could name another file.
    if (length >= std::size(out.path))
        return 0;
    std::copy(s.begin() + i, s.begin() + end, out.path);
    out.path[length] = 0;
    out.openPath = s[0] == u'o';
    return 1;
}

bool IsUninstallRun(std::u16string_view commandLine)
{
    return commandLine == u"/u" || commandLine.starts_with(u"/u ");
}
