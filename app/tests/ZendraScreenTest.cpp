// Starts the program on a private X server, looks at the screen and closes it with a key.
#include <gtest/gtest.h>

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
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

const std::string kProgram = std::string(ZENDRA_BINARY_DIR) + "/zendra/zendra";
// System libraries that SDL initialises leak a little at exit (libdbus); not ours to fix.
const std::string kLeakSuppressions = std::string(ZENDRA_SOURCE_DIR) + "/app/tests/system-leaks.supp";

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

std::vector<std::string> Environment(const std::vector<std::pair<std::string, std::string>>& overrides)
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
bool ReadUntil(int fd, const std::string& want, std::chrono::milliseconds timeout, std::string& got)
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

std::string RunCapture(const std::string& command)
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

bool TakeScreenshot(int display, Screenshot& shot)
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

struct Findings {
    size_t red = 0, green = 0, blue = 0, yellow = 0, white = 0, grey = 0;
    bool PatternSeen() const { return red > 5000 && green > 5000 && blue > 5000 && yellow > 5000; }
    bool TextSeen() const { return white > 50 && grey > 20; }
};

Findings Look(const Screenshot& shot)
{
    Findings f;
    for (size_t i = 0; i + 2 < shot.rgb.size(); i += 3) {
        const int r = shot.rgb[i], g = shot.rgb[i + 1], b = shot.rgb[i + 2];
        f.red += r == 255 && g == 0 && b == 0;
        f.green += r == 0 && g == 255 && b == 0;
        f.blue += r == 0 && g == 0 && b == 255;
        f.yellow += r == 255 && g == 255 && b == 0;
        f.white += r >= 250 && g >= 250 && b >= 250;
        // Anti-aliased text edges: white over black gives greys.
        f.grey += r == g && g == b && r >= 40 && r <= 200;
    }
    return f;
}

} // namespace

TEST(ZendraScreen, ShowsPatternAndTextUnderXvfbAndEndsOnEscape)
{
    // Xvfb picks a free display itself and tells us its number.
    int displayPipe[2];
    ASSERT_EQ(pipe(displayPipe), 0);
    Child xvfb;
    ASSERT_TRUE(xvfb.Start({ "Xvfb", "-displayfd", std::to_string(displayPipe[1]), "-screen", "0",
                               "1280x1024x24", "-br", "-nolisten", "tcp" },
        Environment({}), -1));
    close(displayPipe[1]);
    std::string number;
    const bool gotDisplay = ReadUntil(displayPipe[0], "\n", std::chrono::seconds(20), number);
    close(displayPipe[0]);
    ASSERT_TRUE(gotDisplay) << "Xvfb did not start";
    const int display = std::atoi(number.c_str());
    const std::string displayName = ":" + std::to_string(display);

    int outPipe[2];
    ASSERT_EQ(pipe(outPipe), 0);
    std::string lsan = "suppressions=" + kLeakSuppressions;
    if (const char* old = std::getenv("LSAN_OPTIONS"))
        lsan = std::string(old) + ":" + lsan;
    Child zendra;
    ASSERT_TRUE(zendra.Start({ kProgram, "--backend=sdl" },
        Environment({ { "DISPLAY", displayName }, { "ZENDRA_BACKEND", "sdl" }, { "LSAN_OPTIONS", lsan } }),
        outPipe[1]));
    close(outPipe[1]);
    std::string output;
    const bool presented = ReadUntil(outPipe[0], "zendra: presented", std::chrono::seconds(60), output);
    close(outPipe[0]);
    ASSERT_TRUE(presented) << "no first present; output: " << output;

    // The screen may lag the present by a moment: look a few times.
    Screenshot shot;
    Findings seen;
    for (int attempt = 0; attempt < 40; ++attempt) {
        if (TakeScreenshot(display, shot)) {
            seen = Look(shot);
            if (seen.PatternSeen() && seen.TextSeen())
                break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    EXPECT_EQ(shot.width, 1280);
    EXPECT_EQ(shot.height, 1024);
    EXPECT_TRUE(seen.PatternSeen()) << "red " << seen.red << " green " << seen.green << " blue " << seen.blue
                                    << " yellow " << seen.yellow;
    EXPECT_TRUE(seen.TextSeen()) << "white " << seen.white << " grey " << seen.grey;

    // Escape, typed through the X server's test extension into the focused window.
    const std::string xdo = "env DISPLAY=" + displayName + " xdotool";
    const std::string id
        = RunCapture(xdo + " search --onlyvisible --name '^Zendra$' 2>/dev/null | head -n 1");
    ASSERT_FALSE(id.empty()) << "window not found";
    std::system((xdo + " windowfocus --sync " + id.substr(0, id.find('\n')) + " >/dev/null 2>&1").c_str());
    std::system((xdo + " key Escape >/dev/null 2>&1").c_str());

    int status = 0;
    ASSERT_TRUE(zendra.WaitExit(std::chrono::seconds(30), status)) << "zendra did not end after Escape";
    ASSERT_TRUE(WIFEXITED(status)) << "signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(ZendraScreen, HeadlessRunDrawsOnceAndEnds)
{
    int outPipe[2];
    ASSERT_EQ(pipe(outPipe), 0);
    Child zendra;
    ASSERT_TRUE(zendra.Start(
        { kProgram }, Environment({ { "ZENDRA_BACKEND", "headless" }, { "DISPLAY", "" } }), outPipe[1]));
    close(outPipe[1]);
    std::string output;
    EXPECT_TRUE(ReadUntil(outPipe[0], "zendra: presented 640x480", std::chrono::seconds(30), output))
        << output;
    close(outPipe[0]);
    int status = 0;
    ASSERT_TRUE(zendra.WaitExit(std::chrono::seconds(30), status));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
