// The whole program on a private X server, for the tests that drive it with xdotool: started
// with the leak suppressions of the system libraries, its own settings and data folders, its
// output read through a pipe, its window found by name.
#pragma once

#include "platform/Settings.h"
#include "platform/tests/TestXServer.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

namespace zendratest {

inline const std::string kProgram = std::string(ZENDRA_BINARY_DIR) + "/zendra/zendra";
inline const std::string kLeakSuppressions = std::string(ZENDRA_SOURCE_DIR) + "/app/tests/system-leaks.supp";

// Writes a value of the user's settings ("Software\Velmora\Zendra\<section>") into the
// settings file under that config folder (XDG_CONFIG_HOME), as the program stores it.
inline void WriteSettingsDword(const std::filesystem::path& configHome, const std::u16string& section,
                               const std::u16string& name, uint32_t value)
{
    const std::filesystem::path file = configHome / "zendra" / "settings.txt";
    platform::SettingsData data;
    std::string text;
    if (FILE* f = std::fopen(file.c_str(), "rb")) {
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
            text.append(buffer, n);
        std::fclose(f);
        platform::ParseSettingsText(text, data);
    }
    platform::SettingsValue v;
    v.type = platform::SettingsValue::Type::Dword;
    v.dword = value;
    data[u"Software\\Velmora\\Zendra\\" + section][name] = v;
    std::filesystem::create_directories(file.parent_path());
    text = platform::FormatSettingsText(data);
    if (FILE* f = std::fopen(file.c_str(), "wb")) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
}

// A folder of its own for the program's settings, data, cache and temporary files (removed at
// the end), so a test neither reads nor writes the user's, and the crash-status file of one test
// is never found by the program of another test running beside it.
struct Home {
    std::filesystem::path root;
    // Photos opened by a test start without the auto wizard; wizardOff false leaves the
    // settings as the program finds them (none).
    explicit Home(bool wizardOff = true)
    {
        const char* tmp = std::getenv("TMPDIR");
        static int counter = 0;
        root = std::filesystem::path(tmp ? tmp : "/tmp") /
               ("zendra-home-" + std::to_string(getpid()) + "-" + std::to_string(++counter));
        std::filesystem::create_directories(root / "tmp");
        if (wizardOff)
            SetDword(u"Editor", u"AutoWizard", 0);
    }
    // A value of the user's settings, as the program stores it.
    void SetDword(const std::u16string& section, const std::u16string& name, uint32_t value) const
    {
        WriteSettingsDword(root / "config", section, name, value);
    }
    ~Home()
    {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
    // The Pictures folder of this home (the user-dirs.dirs entry), made on the first call; the
    // album starts there.
    std::filesystem::path Pictures() const
    {
        const std::filesystem::path pictures = root / "Pictures";
        std::filesystem::create_directories(pictures);
        std::filesystem::create_directories(root / "config");
        std::FILE* f = std::fopen((root / "config" / "user-dirs.dirs").c_str(), "w");
        if (f) {
            std::fprintf(f, "XDG_PICTURES_DIR=\"%s\"\n", pictures.c_str());
            std::fclose(f);
        }
        return pictures;
    }
    std::vector<std::pair<std::string, std::string>> Variables() const
    {
        return {{"XDG_CONFIG_HOME", (root / "config").string()},
                {"XDG_DATA_HOME", (root / "data").string()},
                {"XDG_CACHE_HOME", (root / "cache").string()},
                {"HOME", root.string()},
                {"TMPDIR", (root / "tmp").string()}};
    }
};

// The environment of one start: the display, the window system, the suppressions, the home.
inline std::vector<std::string> ProgramEnvironment(const testx::XServer& server, const Home& home,
                                                   std::vector<std::pair<std::string, std::string>> extra = {})
{
    std::string lsan = "suppressions=" + kLeakSuppressions;
    if (const char* old = std::getenv("LSAN_OPTIONS"))
        lsan = std::string(old) + ":" + lsan;
    std::vector<std::pair<std::string, std::string>> vars = {
        {"DISPLAY", server.Name()}, {"ZENDRA_BACKEND", "sdl"}, {"LSAN_OPTIONS", lsan}};
    // A variable given in extra takes the place of the home's.
    for (auto& v : home.Variables())
        if (std::none_of(extra.begin(), extra.end(), [&](const auto& e) { return e.first == v.first; }))
            vars.push_back(v);
    for (auto& v : extra)
        vars.push_back(v);
    return testx::Environment(vars);
}

// Starts `zendra --backend=sdl [args]` on the server; `outFd` reads its stdout. False when it
// cannot.
inline bool StartOn(const testx::XServer& server, testx::Child& zendra, int& outFd,
                    const std::vector<std::string>& args = {}, const Home* home = nullptr)
{
    static Home shared;
    int out[2];
    if (pipe(out) != 0)
        return false;
    std::vector<std::string> argv = {kProgram, "--backend=sdl"};
    argv.insert(argv.end(), args.begin(), args.end());
    const bool started = zendra.Start(argv, ProgramEnvironment(server, home ? *home : shared), out[1]);
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

// The window's place and size from xdotool; all -1 when unknown.
struct Geometry {
    int x = -1, y = -1, width = -1, height = -1;
};
inline Geometry WindowGeometry(const testx::XServer& server, const std::string& id)
{
    const std::string g = testx::RunCapture("env DISPLAY=" + server.Name() + " xdotool getwindowgeometry --shell " + id);
    auto field = [&](const char* name) {
        const size_t p = g.find(std::string(name) + "=");
        return p == std::string::npos ? -1 : std::atoi(g.c_str() + p + std::strlen(name) + 1);
    };
    return {field("X"), field("Y"), field("WIDTH"), field("HEIGHT")};
}

// A started program whose id the test keeps, so that it can be killed without warning.
class Killable {
public:
    Killable() = default;
    Killable(const Killable&) = delete;
    Killable& operator=(const Killable&) = delete;
    ~Killable()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    // outFd reads its stdout.
    bool Start(const std::vector<std::string>& args, const std::vector<std::string>& env, int& outFd)
    {
        int out[2];
        if (pipe(out) != 0)
            return false;
        std::vector<char*> argv, envp;
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        for (const auto& e : env)
            envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        const int rc = posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        if (rc != 0) {
            close(out[0]);
            m_pid = -1;
            return false;
        }
        outFd = out[0];
        return true;
    }
    pid_t Pid() const { return m_pid; }
    // SIGKILL and the wait; the status of the end (it may have ended on its own first).
    int KillHard()
    {
        int status = 0;
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
            m_pid = -1;
        }
        return status;
    }
    bool WaitExit(int seconds, int& status)
    {
        for (int i = 0; i < seconds * 50 && m_pid > 0; ++i) {
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

private:
    pid_t m_pid = -1;
};

// Runs xdotool commands on the server.
inline void Xdo(const testx::XServer& server, const std::string& commands)
{
    std::system(("env DISPLAY=" + server.Name() + " xdotool " + commands + " >/dev/null 2>&1").c_str());
}

} // namespace zendratest
