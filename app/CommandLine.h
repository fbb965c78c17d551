// The command line of a run: one string rebuilt from argv, the launch mode it selects and the
// path it names.
//
// Rebuilding (BuildCommandLine): argv[0] is left out, and so are the program's own options,
// every argument that starts with "--" (--backend=headless, --sample=lists, ...), up to a lone
// "--", which is dropped itself and after which every argument is kept as it stands. The
// remaining arguments are joined with one blank each; an argument that is empty or contains a
// blank is wrapped in double quotes. Arguments are taken as file-system bytes (UTF-8; bytes
// that do not decode survive as in platform/Path.h). So `zendra o "/p/a b.jpg"` gives
// `o "/p/a b.jpg"`, and `zendra /u` gives `/u`.
//
// Grammar (ParseCommandLine):
//   ""                 mode 0, nothing opened; returns 0
//   first char '"'     mode 10 (no album page, nothing opened); nothing else is read
//   "i" + c            mode c - 47: "i0" host mode (1) with the exchange file path, "i1".."i4"
//                      modes 2..5 (path stored only); any other c gives that mode and the parse
//                      stops there, returning 0
//   "o" + path         the photo to open at start
//   anything else      mode 0; the first word is skipped and the rest only stored
// After the first word: skip blanks, skip one '"', copy up to the end or the next '"'.
// A path of more than 511 characters is refused whole (nothing opened, nothing stored,
// returns 0): a cut path could name another file.
#pragma once

#include <string>
#include <string_view>

struct CommandLineRequest {
    int PluginMode = 0;
    char16_t path[512] = {}; // the photo to open, or the exchange file in modes 1 to 5
    bool openPath = false;   // "o": path is the photo to open at start

    // The file to open at start, or null.
    const char16_t* FileToOpen() const { return openPath && path[0] ? path : nullptr; }
};

std::u16string BuildCommandLine(int argc, const char* const* argv);

// 1 when the command line was taken; 0 when it is empty, an "i" mode is out of range or the
// path is too long. out is reset first.
int ParseCommandLine(std::u16string_view commandLine, CommandLineRequest& out);

// The request from argv: BuildCommandLine, then ParseCommandLine, with one repair. A file name
// may hold a double quote on Linux, which the rebuilt line cannot carry (the grammar stops at
// the quote and would name another file); when an argument after the first holds one, the path
// is those arguments as they stand, joined with a blank (still refused beyond 511 characters).
int ParseArguments(int argc, const char* const* argv, CommandLineRequest& out);

// What `zendra --help` prints: the grammar, the program's own options, how to open a photo.
const char* CommandLineHelp();

// The program's "--help" or "--version" among its options (before a lone "--"); empty when
// neither is there.
std::string_view InfoOption(int argc, const char* const* argv);

// The uninstall run: "/u" as the whole first argument. Almost every Linux path contains "/u"
// ("/usr", "/home/user"), so it is not looked for anywhere else.
bool IsUninstallRun(std::u16string_view commandLine);
