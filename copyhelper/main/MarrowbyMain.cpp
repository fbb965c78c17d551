// Marrowby: copies one file onto another, started by the main program (through pkexec when the
// scheme folder needs raised rights). Arguments: the source and the destination, either as two
// arguments or as one command line of two quoted paths.
#include "copyhelper/CopyHelper.h"

#include "platform/Window.h"

#include <string>

int main(int argc, char** argv)
{
    const bool screen = platform::ChooseBackend(argc, argv) == platform::BackendKind::Sdl;
    std::string commandLine;
    int first = 1;
    if (first < argc && std::string(argv[first]).rfind("--backend=", 0) == 0)
        ++first;
    if (argc - first == 2) {
        commandLine = HelperCommandLine(argv[first], argv[first + 1]);
    } else {
        for (int i = first; i < argc; ++i)
            commandLine += (i > first ? " " : "") + std::string(argv[i]);
    }
    return HelperMain(commandLine.c_str(), screen);
}
