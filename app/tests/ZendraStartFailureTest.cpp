// A program folder without its data, or with damaged data, refuses the start with the "errinit"
// text through the system message box (on the headless backend it goes to stderr) and exit 1,
// never a crash; the whole folder starts.
#include "ZendraProcess.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

const fs::path kProgramFolder = fs::path(ZENDRA_BINARY_DIR) / "zendra";

// Runs the program copied into `folder`; its stderr and exit code.
std::string RunIn(const fs::path& folder, int& code)
{
    // Its own settings and data folders beside the copy.
    const std::string home = "XDG_CONFIG_HOME='" + (folder / "config").string() + "' XDG_DATA_HOME='" +
                             (folder / "data").string() + "' XDG_CACHE_HOME='" + (folder / "cache").string() + "' ";
    const std::string out = testx::RunCapture("cd '" + folder.string() + "' && " + home + "LSAN_OPTIONS=suppressions=" +
                                              zendratest::kLeakSuppressions + " ./zendra --backend=headless 2>&1 >/dev/null; echo \"rc=$?\"");
    const size_t at = out.rfind("rc=");
    code = at == std::string::npos ? -1 : std::atoi(out.c_str() + at + 3);
    return out.substr(0, at);
}

} // namespace

TEST(ZendraStart, MissingOrDamagedDataRefusesTheStartWithTheInitText)
{
    const char* tmp = std::getenv("TMPDIR");
    const fs::path root = fs::path(tmp ? tmp : "/tmp") / ("zendra-start-" + std::to_string(getpid()));
    fs::remove_all(root);
    enum Setup { Nothing, TableOnly, DamagedTable, DamagedSkin, Whole };
    struct Case { Setup setup; int code; const char* says; const char* why; };
    const Case cases[] = {
        {Nothing, 1, "Error init string", "no string table: the built-in stand-in"},
        {DamagedTable, 1, "Error init string", "a string table that is not one"},
        {TableOnly, 1, "Can not init application.", "no skins: the table's errinit text"},
        {DamagedSkin, 1, "Can not init application.", "a damaged btn.png"},
        {Whole, 0, "", "the whole folder starts"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const fs::path folder = root / std::to_string(int(c.setup));
        fs::create_directories(folder);
        fs::copy_file(kProgramFolder / "zendra", folder / "zendra");
        switch (c.setup) {
        case Nothing:
            break;
        case DamagedTable:
            fs::create_directories(folder / "basic");
            std::ofstream(folder / "basic" / "resource.txt") << "not a string table";
            break;
        case TableOnly:
            fs::create_directories(folder / "basic");
            fs::copy_file(kProgramFolder / "basic" / "resource.txt", folder / "basic" / "resource.txt");
            break;
        case DamagedSkin:
        case Whole:
            fs::copy(kProgramFolder / "basic", folder / "basic", fs::copy_options::recursive);
            fs::copy(kProgramFolder / "skin", folder / "skin", fs::copy_options::recursive);
            fs::copy(kProgramFolder / "dialogs", folder / "dialogs", fs::copy_options::recursive);
            if (c.setup == DamagedSkin) {
                fs::remove(folder / "basic" / "btn.png");
                std::ofstream(folder / "basic" / "btn.png") << "\x89PNG damaged";
            }
            break;
        }
        int code = -1;
        const std::string said = RunIn(folder, code);
        EXPECT_EQ(code, c.code) << said;
        if (c.says[0]) {
            EXPECT_NE(said.find(c.says), std::string::npos) << said;
        }
        EXPECT_EQ(said.find("AddressSanitizer"), std::string::npos) << said;
        EXPECT_EQ(said.find("runtime error"), std::string::npos) << said;
    }
    fs::remove_all(root);
}
