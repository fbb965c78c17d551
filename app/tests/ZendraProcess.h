// The whole program on a private X server, for the tests that drive it with xdotool: started
// with the leak suppressions of the system libraries, its output read through a pipe, its
// window found by name.
#pragma once

#include "platform/tests/TestXServer.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace zendratest {

inline const std::string kProgram = std::string(ZENDRA_BINARY_DIR) + "/zendra/zendra";
inline const std::string kLeakSuppressions = std::string(ZENDRA_SOURCE_DIR) + "/app/tests/system-leaks.supp";

// Starts `zendra --backend=sdl` (and `extra`) on the server; `outFd` reads its stdout. False
// when it cannot.
inline bool StartOn(const testx::XServer& server, testx::Child& zendra, int& outFd,
                    const std::vector<std::string>& extra = {})
{
    int out[2];
    if (pipe(out) != 0)
        return false;
    std::string lsan = "suppressions=" + kLeakSuppressions;
    if (const char* old = std::getenv("LSAN_OPTIONS"))
        lsan = std::string(old) + ":" + lsan;
    std::vector<std::string> args = {kProgram, "--backend=sdl"};
    args.insert(args.end(), extra.begin(), extra.end());
    const bool started = zendra.Start(
        args,
        testx::Environment({{"DISPLAY", server.Name()}, {"ZENDRA_BACKEND", "sdl"}, {"LSAN_OPTIONS", lsan}}), out[1]);
    close(out[1]);
    if (!started) {
        close(out[0]);
        return false;
    }
    outFd = out[0];
    return true;
}

// The id of the visible window named "Zendra", "" when there is none.
inline std::string FindWindow(const testx::XServer& server)
{
    const std::string found = testx::RunCapture("env DISPLAY=" + server.Name() +
                                                " xdotool search --onlyvisible --name '^Zendra$' 2>/dev/null | head -n 1");
    return found.substr(0, found.find('\n'));
}

} // namespace zendratest
