// Test helpers for programs and windows on a private X server (Xvfb): child processes that
// end with the test, screenshots read back as RGB.
#pragma once

#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace testx {

using Clock = std::chrono::steady_clock;

// A child process that is ended when the object goes, whatever the test's outcome.
class Child {
public:
    Child() = default;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() { Stop(); }

    // stdoutFd: the child's stdout, -1 for /dev/null. Returns false when it cannot start.
    bool Start(const std::vector<std::string>& args, const std::vector<std::string>& env, int stdoutFd)
    {
        std::vector<char*> argv;
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (const auto& e : env)
            envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (stdoutFd >= 0)
            posix_spawn_file_actions_adddup2(&actions, stdoutFd, 1);
        else
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        const int rc = posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0)
            m_pid = -1;
        return rc == 0;
    }

    // Waits up to `timeout` for the end; true with the wait status when it ended.
    bool WaitExit(std::chrono::milliseconds timeout, int& status)
    {
        const auto end = Clock::now() + timeout;
        while (m_pid > 0) {
            const pid_t r = waitpid(m_pid, &status, WNOHANG);
            if (r == m_pid) {
                m_pid = -1;
                return true;
            }
            if (r < 0 || Clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    void Stop()
    {
        if (m_pid <= 0)
            return;
        int status = 0;
        kill(m_pid, SIGTERM);
        if (!WaitExit(std::chrono::milliseconds(3000), status)) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
        }
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
};

inline std::vector<std::string> Environment(const std::vector<std::pair<std::string, std::string>>& overrides)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string entry(*e);
        bool replaced = false;
        for (const auto& [name, value] : overrides)
            replaced |= entry.compare(0, name.size() + 1, name + "=") == 0;
        if (!replaced)
            env.push_back(entry);
    }
    for (const auto& [name, value] : overrides)
        env.push_back(name + "=" + value);
    return env;
}

// Reads from fd until `want` appears in what was read or the time is up.
inline bool ReadUntil(int fd, const std::string& want, std::chrono::milliseconds timeout, std::string& got)
{
    const auto end = Clock::now() + timeout;
    while (got.find(want) == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0)
            return false;
        pollfd p { fd, POLLIN, 0 };
        if (poll(&p, 1, static_cast<int>(left)) <= 0)
            return false;
        char buf[256];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0)
            return false;
        got.append(buf, static_cast<size_t>(n));
    }
    return true;
}

struct Screenshot {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
};

inline std::string RunCapture(const std::string& command)
{
    std::string out;
    FILE* f = popen(command.c_str(), "r");
    if (!f)
        return out;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    pclose(f);
    return out;
}

inline bool TakeScreenshot(int display, Screenshot& shot)
{
    const std::string data = RunCapture("xwd -root -silent -display :" + std::to_string(display)
        + " 2>/dev/null | /usr/bin/convert xwd:- ppm:- 2>/dev/null");
    // P6 header: magic, width, height, maximum, each separated by blanks or comment lines.
    size_t pos = 0;
    auto token = [&]() -> std::string {
        for (;;) {
            while (pos < data.size() && std::isspace(static_cast<unsigned char>(data[pos])))
                ++pos;
            if (pos < data.size() && data[pos] == '#') {
                while (pos < data.size() && data[pos] != '\n')
                    ++pos;
                continue;
            }
            break;
        }
        const size_t start = pos;
        while (pos < data.size() && !std::isspace(static_cast<unsigned char>(data[pos])))
            ++pos;
        return data.substr(start, pos - start);
    };
    if (token() != "P6")
        return false;
    const int w = std::atoi(token().c_str());
    const int h = std::atoi(token().c_str());
    const int maxval = std::atoi(token().c_str());
    if (w <= 0 || h <= 0 || maxval != 255)
        return false;
    const size_t start = pos + 1; // one blank after the header
    if (data.size() < start + static_cast<size_t>(w) * h * 3)
        return false;
    shot.width = w;
    shot.height = h;
    shot.rgb.assign(data.begin() + static_cast<ptrdiff_t>(start),
        data.begin() + static_cast<ptrdiff_t>(start + static_cast<size_t>(w) * h * 3));
    return true;
}

// Xvfb on a display number it picks itself (-displayfd), 1280 x 1024 x 24, black root. It also
// ends by itself when its last client goes (-terminate), so a test process that dies without
// running destructors (Xlib exits on a lost connection) leaves no server behind.
class XServer {
public:
    bool Start(const std::string& screen = "1280x1024x24")
    {
        int fds[2];
        if (pipe(fds) != 0)
            return false;
        const bool started = m_process.Start({ "Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                                                 screen, "-br", "-nolisten", "tcp", "-terminate" },
            Environment({}), -1);
        close(fds[1]);
        std::string number;
        const bool got = started && ReadUntil(fds[0], "\n", std::chrono::seconds(20), number);
        close(fds[0]);
        if (!got)
            return false;
        m_display = std::atoi(number.c_str());
        return true;
    }
    int Display() const { return m_display; }
    std::string Name() const { return ":" + std::to_string(m_display); }

private:
    Child m_process;
    int m_display = -1;
};

} // namespace testx
