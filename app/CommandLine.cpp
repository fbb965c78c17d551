#include "app/CommandLine.h"

#include "platform/Path.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

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

namespace {

// The arguments BuildCommandLine keeps, as they stand.
std::vector<std::string_view> KeptArguments(int argc, const char* const* argv)
{
    std::vector<std::string_view> kept;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i] ? argv[i] : "";
        if (options && arg == "--") {
            options = false;
            continue;
        }
        if (!options || !arg.starts_with("--"))
            kept.push_back(arg);
    }
    return kept;
}

} // namespace

int ParseArguments(int argc, const char* const* argv, CommandLineRequest& out)
{
    const int result = ParseCommandLine(BuildCommandLine(argc, argv), out);
    const std::vector<std::string_view> kept = KeptArguments(argc, argv);
    // Only a request whose path the grammar read: not mode 10, not an "i" out of range.
    if (kept.size() < 2 || kept[0].starts_with('"') || out.PluginMode < 0 || out.PluginMode > 5)
        return result;
    bool quoted = false;
    std::string joined;
    for (size_t i = 1; i < kept.size(); ++i) {
        quoted = quoted || kept[i].find('"') != std::string_view::npos;
        joined += (i > 1 ? " " : "") + std::string(kept[i]);
    }
    if (!quoted)
        return result;
    const std::u16string exact = platform::FromNativePath(joined);
    std::fill(std::begin(out.path), std::end(out.path), u'\0');
    if (exact.size() >= std::size(out.path)) {
        out.openPath = false;
        return 0;
    }
    std::copy(exact.begin(), exact.end(), out.path);
    out.openPath = kept[0].starts_with('o');
    return 1;
}

const char* CommandLineHelp()
{
    return "Usage: zendra [OPTION...] [o PATH | i0 PATH | i1..i4 | /u]\n"
           "\n"
           "Zendra, a photo organiser and editor.\n"
           "\n"
           "To open a photo or a project file, put the letter o and a blank before its path:\n"
           "  zendra o ~/Pictures/photo.jpg\n"
           "A bare path (zendra photo.jpg) opens nothing; the program starts with its album.\n"
           "\n"
           "The first word after the options:\n"
           "  (none)      start with the album\n"
           "  o PATH      open the photo or project file (.zdoc) PATH in an editor tab\n"
           "  i0 PATH     host mode: edit the picture of the exchange file PATH; Apply writes it back\n"
           "  i1 .. i4    start without the album page; nothing is opened\n"
           "  \"...        a first argument that starts with a double quote: no album page\n"
           "  /u          the uninstall run: report the uninstall and end (no window; settings stay)\n"
           "Any other first word starts the program as with none; the rest of the line is kept\n"
           "but not opened.\n"
           "\n"
           "Options:\n"
           "  --backend=sdl|headless  the window system: sdl (default) shows the window on the\n"
           "                          screen; headless draws one frame offscreen and ends\n"
           "  --platform-demo         show the platform window's test pattern instead\n"
           "  --sample=lists          add a tab with a long tree and item list\n"
           "  --help                  print this text and end\n"
           "  --version               print the version and end\n"
           "  --                      end of the options: every later argument is taken as it\n"
           "                          stands, also one that starts with --\n"
           "\n"
           "Environment: ZENDRA_BACKEND=sdl|headless (as --backend), ZENDRA_DPI=N (the display's\n"
           "dots per inch, 48 to 960), ZENDRA_CHOOSER=builtin (ask for paths in the window instead\n"
           "of the desktop's file chooser).\n";
}

std::string_view InfoOption(int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i] ? argv[i] : "";
        if (arg == "--")
            break;
        if (arg == "--help" || arg == "--version")
            return arg;
    }
    return {};
}

bool IsUninstallRun(std::u16string_view commandLine)
{
    return commandLine == u"/u" || commandLine.starts_with(u"/u ");
}
