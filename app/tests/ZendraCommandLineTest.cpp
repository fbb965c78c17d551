// The program's own information options through the real executable: they print and end before
// the settings, the data folder or the program folder are touched; a bare path says how a
// photo is opened. The version is the one the about box shows.
#include "app/AboutSprite.h"
#include "ZendraProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>

namespace fs = std::filesystem;

TEST(ZendraCommandLine, HelpAndVersionPrintAndEndWithoutTouchingAnything)
{
    zendratest::Home home;
    std::string env;
    for (const auto& [name, value] : home.Variables())
        env += name + "='" + value + "' ";
    struct Case {
        const char* args;
        int code;
        std::vector<std::string> says;
    };
    const std::vector<Case> cases = {
        {"--help", 0, {"zendra o ~/Pictures/photo.jpg", "o PATH", "i0 PATH", "/u", "--backend=sdl|headless",
                       "--platform-demo", "--sample=lists", "--version", "A bare path"}},
        {"--version", 0, {std::string("zendra ") + ZENDRA_VERSION + "\n"}},
        {"--backend=headless --help o /x.jpg", 0, {"Usage: zendra"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const std::string out = testx::RunCapture("env " + env + zendratest::kProgram + " " + c.args +
                                                  " 2>&1; echo \"rc=$?\"");
        const size_t at = out.rfind("rc=");
        ASSERT_NE(at, std::string::npos);
        EXPECT_EQ(std::atoi(out.c_str() + at + 3), c.code) << out;
        for (const std::string& text : c.says)
            EXPECT_NE(out.find(text), std::string::npos) << text << "\n" << out;
        std::error_code ec;
        EXPECT_TRUE(fs::is_empty(home.root / "tmp") && !fs::exists(home.root / "config") &&
                    !fs::exists(home.root / "data") && !fs::exists(home.root / "cache"))
            << "something was written";
    }
    // The version users see in the about box is the version printed and packaged.
    const platform::String16 about = AboutVersionText(5);
    EXPECT_EQ(std::string(about.begin(), about.end()), std::string("version ") + ZENDRA_VERSION + " for Linux");
}

TEST(ZendraCommandLine, ABarePathOpensNothingAndSaysHow)
{
    zendratest::Home home;
    std::string env;
    for (const auto& [name, value] : home.Variables())
        env += name + "='" + value + "' ";
    const std::string lsan = "LSAN_OPTIONS=suppressions=" + zendratest::kLeakSuppressions + " ";
    const std::string out = testx::RunCapture("env " + env + lsan + zendratest::kProgram +
                                              " --backend=headless photo.jpg 2>&1; echo \"rc=$?\"");
    EXPECT_NE(out.find("to open a photo: zendra o PATH"), std::string::npos) << out;
    EXPECT_NE(out.find("rc=0"), std::string::npos) << out;
    EXPECT_EQ(out.find("zendra: tab"), std::string::npos) << out;
}

namespace {

// Every file below `folder` with its bytes.
std::map<std::string, std::string> Snapshot(const fs::path& folder)
{
    std::map<std::string, std::string> files;
    if (!fs::exists(folder))
        return files;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.is_regular_file()) {
            std::ifstream in(e.path(), std::ios::binary);
            files[fs::relative(e.path(), folder).string()] =
                std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        }
    return files;
}

} // namespace

// The uninstall run reports the uninstall and ends without a window; it removes nothing of the
// user's: settings and config.dat stay as they were.
TEST(ZendraCommandLine, TheUninstallRunKeepsTheUsersSettings)
{
    zendratest::Home home;
    std::string env;
    for (const auto& [name, value] : home.Variables())
        env += name + "='" + value + "' ";
    env += "LSAN_OPTIONS=suppressions=" + zendratest::kLeakSuppressions + " ";
    // A first run leaves the settings, the data folder and config.dat.
    const std::string first = testx::RunCapture("env " + env + zendratest::kProgram + " --backend=headless 2>&1");
    const auto config = Snapshot(home.root / "config"), data = Snapshot(home.root / "data");
    ASSERT_FALSE(config.empty()) << first;
    ASSERT_FALSE(data.empty()) << first;
    ASSERT_TRUE(data.count("Zendra/config.dat")) << first;

    // No display and no headless backend: a window would fail the run.
    const auto start = std::chrono::steady_clock::now();
    const std::string out = testx::RunCapture("env -u DISPLAY -u WAYLAND_DISPLAY -u ZENDRA_BACKEND " + env +
                                              zendratest::kProgram + " /u 2>&1; echo \"rc=$?\"");
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_NE(out.find("rc=0"), std::string::npos) << out;
    EXPECT_GE(ms.count(), 3000) << "the event gets its 3 seconds";
    EXPECT_EQ(out.find("presented"), std::string::npos) << out;
    EXPECT_EQ(Snapshot(home.root / "config"), config);
    EXPECT_EQ(Snapshot(home.root / "data"), data);
}
