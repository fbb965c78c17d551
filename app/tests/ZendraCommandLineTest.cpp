// The program's own information options through the real executable: they print and end before
// the settings, the data folder or the program folder are touched; a bare path says how a
// photo is opened. The version is the one the about box shows.
#include "app/AboutSprite.h"
#include "ZendraProcess.h"

#include <gtest/gtest.h>

#include <filesystem>

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
