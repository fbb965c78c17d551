// Start-up failures under a private X server are said in a box the user can see and answer:
// the temporary folder on a full disk (a small tmpfs the test mounts, where it may), a data
// folder that cannot be made, a config.dat that cannot be written. The box is looked for on the
// screen (a window that stays black shows nothing there) and answered with the keyboard; the
// program then ends (code 1), or goes on where the failure lets it.
#include "ZendraProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sys/mount.h>

namespace fs = std::filesystem;

namespace {

using namespace testx;

// Strongly coloured pixels in the middle of the window, where every box shows its icon (blue,
// yellow or red); the window's own pages there are grey and white, a black window has none.
size_t BoxIconPixels(const XServer& xvfb, const zendratest::Geometry& g)
{
    Screenshot shot;
    if (!TakeScreenshot(xvfb.Display(), shot))
        return 0;
    const int cx = g.x + g.width / 2, cy = g.y + g.height / 2;
    size_t coloured = 0;
    for (int y = std::max(0, cy - 100); y < std::min(shot.height, cy + 100); ++y)
        for (int x = std::max(0, cx - 250); x < std::min(shot.width, cx + 250); ++x) {
            const size_t i = (size_t(y) * shot.width + x) * 3;
            const int r = shot.rgb[i], gr = shot.rgb[i + 1], b = shot.rgb[i + 2];
            coloured += std::max({r, gr, b}) - std::min({r, gr, b}) > 80;
        }
    return coloured;
}

// A 1 MiB tmpfs, mounted while it lives; empty path when this machine does not allow it.
struct SmallDisk {
    fs::path at;
    explicit SmallDisk(const fs::path& where)
    {
        fs::create_directories(where);
        if (mount("tmpfs", where.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=1m,mode=0700") == 0)
            at = where;
    }
    ~SmallDisk()
    {
        if (!at.empty())
            umount2(at.c_str(), MNT_DETACH);
    }
};

struct Started {
    zendratest::Killable zendra;
    int fd = -1;
    std::string output;
    std::string id;
    zendratest::Geometry g;

    // Starts the program and waits for its window and the box in it.
    bool Start(const XServer& xvfb, const std::vector<std::string>& env)
    {
        if (!zendra.Start({zendratest::kProgram, "--backend=sdl"}, env, fd))
            return false;
        for (int i = 0; i < 300 && id.empty(); ++i) {
            id = zendratest::FindWindow(xvfb);
            if (id.empty())
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (id.empty())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1500)); // the box fades in
        g = zendratest::WindowGeometry(xvfb, id);
        return g.width > 0;
    }
    ~Started()
    {
        if (fd >= 0)
            close(fd);
    }
};

} // namespace

class ZendraStartBox : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(xvfb.Start()) << "Xvfb did not start";
        // The server ends with its last client: a watcher keeps it up while the test looks for
        // a window that is not there yet.
        ASSERT_TRUE(keeper.Start({"xev", "-display", xvfb.Name(), "-root"}, Environment({}), -1));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    std::vector<std::string> Env(std::vector<std::pair<std::string, std::string>> extra)
    {
        return zendratest::ProgramEnvironment(xvfb, home, std::move(extra));
    }
    // The box is up and stays up until answered; Return (OK) ends the program with code 1.
    void ExpectBoxThenEnd(Started& run, int code)
    {
        const size_t icon = BoxIconPixels(xvfb, run.g);
        std::printf("box icon: %zu pixels\n", icon);
        EXPECT_GT(icon, 400u) << "a box in the window";
        int status = 0;
        EXPECT_FALSE(run.zendra.WaitExit(1, status)) << "it waits for the answer";
        zendratest::Xdo(xvfb, "windowfocus --sync " + run.id + " key Return");
        ASSERT_TRUE(run.zendra.WaitExit(30, status)) << "ended after OK";
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), code);
    }
    XServer xvfb;
    Child keeper;
    zendratest::Home home;
};

TEST_F(ZendraStartBox, TemporaryFolderOnAFullDisk)
{
    SmallDisk disk(home.root / "small");
    if (disk.at.empty())
        GTEST_SKIP() << "this machine does not let the test mount a tmpfs";
    // Full: one file takes what the 1 MiB allow.
    {
        std::ofstream fill(disk.at / "fill", std::ios::binary);
        const std::string block(4096, 'x');
        for (int i = 0; i < 512 && fill.write(block.data(), block.size()); ++i) {
        }
    }
    Started run;
    ASSERT_TRUE(run.Start(xvfb, Env({{"TMPDIR", disk.at.string()}})));
    ExpectBoxThenEnd(run, 1);
}

TEST_F(ZendraStartBox, DataFolderThatCannotBeMade)
{
    // The user's data folder lies under a plain file.
    std::ofstream(home.root / "plainfile") << "x";
    Started run;
    ASSERT_TRUE(run.Start(xvfb, Env({{"XDG_DATA_HOME", (home.root / "plainfile" / "data").string()}})));
    ExpectBoxThenEnd(run, 1);
    EXPECT_FALSE(fs::exists(home.root / "config")) << "a failed start writes no settings";
}

TEST_F(ZendraStartBox, ConfigThatCannotBeWrittenIsSaidAndTheStartGoesOn)
{
    // config.dat is missing (so the first start writes it) and a folder stands in its place.
    fs::create_directories(home.root / "data" / "Zendra" / "config.dat");
    Started run;
    ASSERT_TRUE(run.Start(xvfb, Env({})));
    const size_t icon = BoxIconPixels(xvfb, run.g);
        std::printf("box icon: %zu pixels\n", icon);
        EXPECT_GT(icon, 400u) << "a box in the window";
    zendratest::Xdo(xvfb, "windowfocus --sync " + run.id + " key Return");
    // The program runs on: the close question, then its end.
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    zendratest::Xdo(xvfb, "mousemove " + std::to_string(run.g.x + run.g.width - 19) + " " +
                              std::to_string(run.g.y + 15) + " sleep 0.3 click 1 sleep 1.2 key y");
    ASSERT_TRUE(ReadUntil(run.fd, "message box result 6", std::chrono::seconds(30), run.output)) << run.output;
    int status = 0;
    ASSERT_TRUE(run.zendra.WaitExit(30, status));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
