#include "platform/Shell.h"

#include "platform/Path.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace platform {
namespace {

std::mutex g_openerMutex;
std::string g_opener = "xdg-open";

std::string Opener()
{
    std::lock_guard<std::mutex> lock(g_openerMutex);
    return g_opener;
}

int StatusCode(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return 1;
}

} // namespace

int ShellOpenResult::LegacyCode() const
{
    switch (status) {
    case ShellOpenStatus::Opened:
    case ShellOpenStatus::StillRunning:
        return 42;
    case ShellOpenStatus::NotStarted:
        return 2; // "file not found", as when the program is missing
    case ShellOpenStatus::Failed:
        return exitCode > 0 && exitCode < 32 ? exitCode : 31;
    case ShellOpenStatus::BadTarget:
        return 2;
    }
    return 2;
}

void SetShellOpener(const std::string& program)
{
    std::lock_guard<std::mutex> lock(g_openerMutex);
    g_opener = program.empty() ? "xdg-open" : program;
}

ShellOpenResult ShellOpenUtf8(const std::string& target, int waitMs)
{
    ShellOpenResult result;
    if (target.empty() || target.find('\0') != std::string::npos) {
        result.status = ShellOpenStatus::BadTarget;
        return result;
    }
    // xdg-open reads a leading '-' as an option; a relative name like that becomes "./-name".
    const std::string argument = target[0] == '-' ? "./" + target : target;
    const std::string program = Opener();

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    // Its own process group, so an opener left running is not hit by signals meant for us.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attr, 0);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);

    std::vector<char*> argv { const_cast<char*>(program.c_str()), const_cast<char*>(argument.c_str()), nullptr };
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        result.status = ShellOpenStatus::NotStarted;
        result.error = rc;
        return result;
    }

    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs < 0 ? 0 : waitMs);
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            result.exitCode = StatusCode(status);
            if (result.exitCode == 0)
                result.status = ShellOpenStatus::Opened;
            else
                result.status = ShellOpenStatus::Failed;
            return result;
        }
        if (r < 0 && errno != EINTR) {
            result.status = ShellOpenStatus::Failed;
            result.exitCode = 1;
            return result;
        }
        if (std::chrono::steady_clock::now() >= end)
            break;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
    // Still busy (some openers wait for the program they start): let it run and reap it later
    // so it does not stay behind as a zombie.
    std::thread([pid] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    result.status = ShellOpenStatus::StillRunning;
    return result;
}

ShellOpenResult ShellOpen(StringView16 target, int waitMs)
{
    if (target.empty()) {
        ShellOpenResult result;
        result.status = ShellOpenStatus::BadTarget;
        return result;
    }
    // A web address goes as UTF-8 text; a path as its file name's own bytes.
    size_t colon = 0;
    while (colon < target.size() && ((target[colon] >= u'a' && target[colon] <= u'z')
                                        || (target[colon] >= u'A' && target[colon] <= u'Z')
                                        || target[colon] == u'+' || target[colon] == u'-' || target[colon] == u'.'))
        ++colon;
    const bool isUrl = colon > 1 && colon < target.size() && target[colon] == u':';
    return ShellOpenUtf8(isUrl ? Utf16ToUtf8(target) : ToNativePath(target), waitMs);
}

namespace {

// Runs zenity with these arguments (no shell between) and reads the path it prints.
FileChooserResult RunZenity(std::vector<std::string> args)
{
    FileChooserResult result;
    if (const char* forced = std::getenv("ZENDRA_CHOOSER"); forced && std::string(forced) == "builtin")
        return result;
    int out[2];
    if (pipe(out) != 0)
        return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, "zenity", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) {
        close(out[0]);
        return result;
    }
    std::string chosen;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n > 0) {
            // A path is never this long; a chooser that writes more is not believed.
            if (chosen.size() < 65536)
                chosen.append(buffer, size_t(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;
    }
    close(out[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    const int code = StatusCode(status);
    while (!chosen.empty() && (chosen.back() == '\n' || chosen.back() == '\r'))
        chosen.pop_back();
    if (code == 0 && !chosen.empty() && chosen.size() < 65536) {
        result.status = FileChooserStatus::Chosen;
        result.path = FromNativePath(chosen); // the name's own bytes, decodable or not
    } else if (code == 1) {
        result.status = FileChooserStatus::Cancelled;
    }
    return result;
}

std::string PatternFilter(const std::vector<std::string>& patterns)
{
    std::string filter = "--file-filter=";
    for (const std::string& p : patterns)
        filter += p + " ";
    filter.pop_back();
    return filter;
}

} // namespace

FileChooserResult ChooseFileToOpen(StringView16 title, StringView16 startFolder,
                                   const std::vector<std::string>& patterns)
{
    std::vector<std::string> args{"zenity", "--file-selection", "--title=" + Utf16ToUtf8(title)};
    if (!startFolder.empty())
        args.push_back("--filename=" + ToNativePath(startFolder) + "/");
    if (!patterns.empty())
        args.push_back(PatternFilter(patterns));
    return RunZenity(std::move(args));
}

FileChooserResult ChooseFileToSave(StringView16 title, StringView16 suggestedPath,
                                   const std::vector<std::string>& patterns)
{
    // The program asks before it replaces a file; the chooser does not ask a second time.
    std::vector<std::string> args{"zenity", "--file-selection", "--save", "--title=" + Utf16ToUtf8(title)};
    if (!suggestedPath.empty())
        args.push_back("--filename=" + ToNativePath(suggestedPath));
    if (!patterns.empty())
        args.push_back(PatternFilter(patterns));
    return RunZenity(std::move(args));
}

} // namespace platform
