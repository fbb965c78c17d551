// `zendra o PATH` under a private X server with the inputs that once crashed, hung, turned or
// misread photos: folders, pipes and devices under a photo's or a project's name, tiny files
// claiming huge pictures, odd GIF, TIFF and JPEG files, names with a backslash or bytes that are
// no UTF-8. The program's test hook prints what it asks ("zendra: asked <text>") and what each
// tab shows ("zendra: tab <path> <w>x<h> <checksum>"); expected checksums come from opening a
// reference file in this process the same way.
#include "editor/EditPage.h"
#include "imaging/ColourTables.h"
#include "imaging/Document.h"
#include "imaging/tests/DngBuilder.h"
#include "platform/Path.h"
#include "raster/tests/RasterTestUtil.h"
#include "ZendraProcess.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

using namespace testx;

// A started program whose memory the test reads before it ends it.
class Program : public zendratest::Killable {
public:
    // The peak resident memory so far, in MiB; -1 when unknown.
    int64_t PeakMiB() const
    {
        std::ifstream status("/proc/" + std::to_string(Pid()) + "/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("VmHWM:", 0) == 0)
                return std::atoll(line.c_str() + 6) / 1024;
        return -1;
    }
    bool Alive() const { return Pid() > 0 && waitpid(Pid(), nullptr, WNOHANG) == 0; }
    void End() { KillHard(); }
};

// The checksum line the program prints for a document, made here from the reference file.
std::string ExpectedTab(const std::string& shownPath, const std::string& reference)
{
    BuildGammaTables();
    CZDDoc doc;
    if (!doc.OpenImage(platform::FromNativePath(reference)))
        return "cannot open the reference " + reference;
    std::ostringstream line;
    line << "zendra: tab " << shownPath << " " << doc.width << "x" << doc.height << " " << std::hex << std::setw(16)
         << std::setfill('0') << DocumentChecksum(doc);
    return line.str();
}

// The English text of a string-table key, as the program shows it.
std::string EnglishText(const std::string& key)
{
    std::ifstream table(std::string(ZENDRA_SOURCE_DIR) + "/resources/strings/English.txt");
    const std::string head = "\"" + key + "\"=\"";
    for (std::string line; std::getline(table, line);)
        if (line.rfind(head, 0) == 0)
            return line.substr(head.size(), line.size() - head.size() - 1);
    return key;
}

// What the program said about one file, up to its first box or tab.
struct Outcome {
    std::string output;
    bool asked = false;
    bool tab = false;
    int64_t peakMiB = -1;
    bool alive = false;
};

} // namespace

TEST(ZendraBadInput, EveryCaseThroughZendraO)
{
    XServer xvfb;
    ASSERT_TRUE(xvfb.Start()) << "Xvfb did not start";
    // The server ends with its last client: a watcher keeps it up from one run to the next.
    Child keeper;
    ASSERT_TRUE(keeper.Start({"xev", "-display", xvfb.Name(), "-root"}, Environment({}), -1));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    zendratest::Home home;
    const fs::path dir = home.root / "files";
    fs::create_directories(dir / "a");
    const auto env = zendratest::ProgramEnvironment(xvfb, home, {{"ZENDRA_REPORT_PIXELS", "1"}});
    const std::string cannot = "zendra: asked " + EnglishText("Cannotopenfile");
    const std::string large = "zendra: asked " + EnglishText("memlimit32");
    auto convert = [](const std::string& args, const fs::path& out) {
        return std::system(("/usr/bin/convert " + args + " '" + out.string() + "' >/dev/null 2>&1").c_str()) == 0;
    };

    // Inputs.
    ASSERT_EQ(::mkdir((dir / "folder.jpg").c_str(), 0700), 0);
    ASSERT_EQ(::mkfifo((dir / "pipe.jpg").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((dir / "pipe.zdoc").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", (dir / "device.png").c_str()), 0);
    rastertest::WriteFile((dir / "huge.tif").string(), rastertest::TinyTiffClaiming(16000, 16000));
    ASSERT_TRUE(convert("-size 8x8 xc:gray", dir / "small.jpg"));
    rastertest::WriteFile((dir / "huge.jpg").string(),
                          rastertest::JpegClaiming(rastertest::ReadFile((dir / "small.jpg").string()), 20000, 20000));
    testutil::DngSpec dng;
    ASSERT_TRUE(testutil::WriteDng((dir / "whole.dng").string(), dng));
    std::vector<uint8_t> raw = rastertest::ReadFile((dir / "whole.dng").string());
    raw.resize(raw.size() / 2);
    rastertest::WriteFile((dir / "cut.dng").string(), raw);
    // A GIF whose only image is smaller than its screen and has its own colour table.
    {
        std::vector<uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a', 20, 0, 12, 0, 0x80, 0, 0, 255, 255, 255, 0, 0, 0,
                                    0x21, 0xF9, 4, 8, 0, 0, 0, 0, 0x2C, 5, 0, 3, 0, 8, 0, 6, 0, 0x81,
                                    255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 0, 2};
        // 48 pixels of index 0 (red), a clear code before every two, 3-bit codes.
        std::vector<int> codes;
        for (int i = 0; i < 48; ++i) {
            if (i % 2 == 0)
                codes.push_back(4);
            codes.push_back(0);
        }
        codes.push_back(5);
        std::vector<uint8_t> packed;
        uint32_t bits = 0;
        int count = 0;
        for (int c : codes) {
            bits |= uint32_t(c) << count;
            for (count += 3; count >= 8; count -= 8, bits >>= 8)
                packed.push_back(uint8_t(bits));
        }
        if (count)
            packed.push_back(uint8_t(bits));
        gif.push_back(uint8_t(packed.size()));
        gif.insert(gif.end(), packed.begin(), packed.end());
        gif.insert(gif.end(), {0, 0x3B});
        rastertest::WriteFile((dir / "subframe.gif").string(), gif);
        ASSERT_TRUE(convert("'" + (dir / "subframe.gif").string() + "' -coalesce -type TrueColor -define png:color-type=2", dir / "subframe-ref.png"));
    }
    ASSERT_TRUE(convert("-size 8x6 xc:'rgb(255,0,51)' -define quantum:format=floating-point -depth 32 -compress Zip", dir / "float.tif"));
    ASSERT_TRUE(convert("-size 8x6 xc:'rgb(255,0,51)' -depth 8 -compress Zip", dir / "float-ref.tif"));
    ASSERT_TRUE(convert("-size 48x32 xc:gray -fill red -draw 'rectangle 0,0 15,9' -type TrueColor", dir / "turned.jpg"));
    ASSERT_EQ(std::system(("exiftool -q -overwrite_original -n -Orientation=6 '" + (dir / "turned.jpg").string() + "'").c_str()), 0);
    ASSERT_TRUE(convert("-size 16x12 xc:blue", dir / "a\\b.png"));
    ASSERT_TRUE(convert("-size 16x12 xc:red", dir / "a" / "b.png"));
    ASSERT_TRUE(convert("-size 16x12 xc:lime", dir / "caf\xE9.png"));

    struct Case {
        const char* what;
        fs::path input;
        const char* before;
        std::string want; // a line of the output
        int answer;       // the key for the box: 0 none, 'n' No, Return OK
    };
    const std::string turnedLine = ExpectedTab((dir / "turned.jpg").string(), (dir / "turned.jpg").string());
    const Case cases[] = {
        {"a folder named like a photo", dir / "folder.jpg", "abort (std::bad_alloc)", cannot, 0},
        {"a pipe named like a photo", dir / "pipe.jpg", "hangs in open()", cannot, 0},
        {"a pipe named like a project", dir / "pipe.zdoc", "hangs in open()", cannot, 0},
        {"a device behind a photo's name", dir / "device.png", "reads /dev/zero without end", cannot, 0},
        {"746-byte TIFF of 16000 x 16000", dir / "huge.tif", "1.1 GB decoded, then 'Cannotopenfile'", large, 'n'},
        {"JPEG of a few hundred bytes, 20000 x 20000", dir / "huge.jpg", "5 GB decoded before the question", large, 'n'},
        {"RAW file cut in half", dir / "cut.dng", "'Cannotopenfile'", cannot, 0},
        {"GIF frame with its own table, smaller than the screen", dir / "subframe.gif", "screen filled with the frame's red", "", 0},
        {"32-bit float TIFF", dir / "float.tif", "'Cannotopenfile' (\"Corrupted TIFF file!\")", "", 0},
        {"JPEG with Orientation 6", dir / "turned.jpg", "opens 48x32, sideways", turnedLine, 0},
        {"a name with a backslash beside a folder", dir / "a\\b.png", "the right pixels (facts of a/b.png)", "", 0},
        {"a Latin-1 name", dir / "caf\xE9.png", "'Cannotopenfile'", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string want = c.want;
        if (want.empty()) {
            // The picture itself: the same checksum as the reference picture.
            const fs::path ref = c.input.extension() == ".gif" ? dir / "subframe-ref.png"
                               : c.input.extension() == ".tif" ? dir / "float-ref.tif"
                                                               : c.input;
            want = ExpectedTab(c.input.string(), ref.string());
        }
        if (c.input == dir / "a\\b.png") {
            EXPECT_NE(want, ExpectedTab(c.input.string(), (dir / "a" / "b.png").string())) << "the two files differ";
        }
        Program zendra;
        int out = -1;
        const auto started = std::chrono::steady_clock::now();
        ASSERT_TRUE(zendra.Start({zendratest::kProgram, "--backend=sdl", "o", c.input.string()}, env, out));
        Outcome o;
        // The program tells of its first box or its first tab; a hang never does.
        ReadUntil(out, want, std::chrono::seconds(90), o.output);
        const auto said = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
        o.peakMiB = zendra.PeakMiB();
        o.alive = zendra.Alive();
        EXPECT_NE(o.output.find(want), std::string::npos) << "wanted: " << want << "\noutput:\n" << o.output;
        EXPECT_TRUE(o.alive);
        if (want == large) {
            // No: nothing is decoded, no tab comes.
            EXPECT_LT(o.peakMiB, 900) << "the claimed picture was allocated";
            std::string id;
            for (int i = 0; i < 50 && id.empty(); ++i) {
                id = zendratest::FindWindow(xvfb);
                if (id.empty())
                    std::this_thread::sleep_for(std::chrono::milliseconds(200));
            }
            ASSERT_FALSE(id.empty()) << o.output;
            std::this_thread::sleep_for(std::chrono::milliseconds(1200)); // the box fades in
            zendratest::Xdo(xvfb, "windowfocus --sync " + id + " sleep 0.2 key n");
            std::string more;
            ReadUntil(out, "zendra: tab", std::chrono::seconds(5), more);
            EXPECT_EQ(more.find("zendra: tab"), std::string::npos) << more;
            EXPECT_LT(zendra.PeakMiB(), 900);
        }
        // A row of the table of cases: what, before, what the program says now, how soon, peak memory.
        std::printf("| %s | %s | %s | %lld ms | %lld MiB |\n", c.what, c.before, want.substr(want.find(':') + 2).c_str(),
                    (long long)said.count(), (long long)o.peakMiB);
        zendra.End();
        close(out);
    }
}
