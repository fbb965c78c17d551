// The album in the running program under a private X server, driven by xdotool: photos of the
// Pictures folder (user-dirs.dirs) show as thumbnails, not placeholders; the size button's choice
// is stored; Ctrl+C on a photo, a sub-folder entered by a double click, Ctrl+V pastes
// it there, a second Ctrl+V asks before replacing it (No keeps it); Delete moves it to the trash.
#include "ZendraProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

using namespace testx;

// The grid at (300, 70) of the page at (13, 74); cells of 110 x 130 in the thumbnail view.
struct Grid {
    zendratest::Geometry g;
    int CellX(int index) const { return g.x + 13 + 300 + index * 110 + 55; }
    int CellY() const { return g.y + 74 + 70 + 55; }
};

std::string ReadText(const fs::path& p)
{
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool WaitFor(const std::function<bool()>& done, int tenths = 60)
{
    for (int i = 0; i < tenths; ++i) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return done();
}

} // namespace

TEST(ZendraAlbum, ThumbnailsViewSizeKeptCopyPasteWithTheQuestionAndTrash)
{
    XServer xvfb;
    ASSERT_TRUE(xvfb.Start()) << "Xvfb did not start";
    zendratest::Home home;
    const fs::path pictures = home.Pictures();
    fs::create_directories(pictures / "sub");
    // A red photo: its cell must show red once the loader has made its thumbnail.
    ASSERT_EQ(std::system(("convert -size 320x240 xc:'#D02020' " + (pictures / "red.jpg").string()).c_str()), 0);

    Child zendra;
    int out = -1;
    ASSERT_TRUE(zendratest::StartOn(xvfb, zendra, out, {}, &home));
    std::string output;
    ASSERT_TRUE(ReadUntil(out, " ms", std::chrono::seconds(60), output)) << output;
    const std::string id = zendratest::FindWindow(xvfb);
    ASSERT_FALSE(id.empty());
    Grid grid{zendratest::WindowGeometry(xvfb, id)};
    auto xdo = [&](const std::string& args) { zendratest::Xdo(xvfb, args); };
    auto at = [](int x, int y) { return std::to_string(x) + " " + std::to_string(y); };

    // Cells: "..", "sub", "red". The red cell shows the photo, not the grey placeholder.
    size_t red = 0;
    WaitFor([&] {
        Screenshot shot;
        if (!TakeScreenshot(xvfb.Display(), shot))
            return false;
        red = 0;
        for (int y = grid.CellY() - 40; y < grid.CellY() + 30; ++y)
            for (int x = grid.CellX(2) - 40; x < grid.CellX(2) + 40; ++x) {
                const size_t i = (size_t(y) * shot.width + x) * 3;
                red += shot.rgb[i] > 150 && shot.rgb[i + 1] < 80 && shot.rgb[i + 2] < 80;
            }
        return red > 1000;
    }, 100);
    EXPECT_GT(red, 1000u) << "the thumbnail of red.jpg";

    // The size button (the panel's lower right corner) cycles 3 -> 4 -> 2 -> 3, stored each time.
    const int panelRight = grid.g.x + grid.g.width - 13;
    const std::string sizeButton = at(panelRight - 17, grid.g.y + 74 + 52);
    const fs::path settings = home.root / "config" / "zendra" / "settings.txt";
    for (const char* want : {"\"ViewMode\"=dword:00000004", "\"ViewMode\"=dword:00000002", "\"ViewMode\"=dword:00000003"}) {
        xdo("mousemove " + sizeButton + " sleep 0.3 click 1 sleep 0.3");
        EXPECT_TRUE(WaitFor([&] { return ReadText(settings).find(want) != std::string::npos; })) << ReadText(settings);
    }

    // Ctrl+C on red.jpg, into "sub" (double click), Ctrl+V: the copy is there.
    xdo("mousemove " + at(grid.CellX(2), grid.CellY()) + " sleep 0.3 click 1 sleep 0.3 key ctrl+c");
    EXPECT_TRUE(ReadUntil(out, "copied 1 files", std::chrono::seconds(10), output)) << output;
    xdo("mousemove " + at(grid.CellX(1), grid.CellY()) + " sleep 0.3 click --repeat 2 --delay 80 1 sleep 1");
    xdo("mousemove " + at(grid.CellX(3), grid.CellY() + 200) + " sleep 0.2 click 1 sleep 0.2 key ctrl+v");
    EXPECT_TRUE(WaitFor([&] { return fs::exists(pictures / "sub" / "red.jpg"); })) << "pasted";
    const auto pastedTime = fs::last_write_time(pictures / "sub" / "red.jpg");

    // Again: the file is there, the program asks; No keeps it as it was.
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    xdo("key ctrl+v sleep 1.5 key n");
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_EQ(fs::last_write_time(pictures / "sub" / "red.jpg"), pastedTime);

    // Delete on the pasted copy (after ".." in "sub"): it goes to the trash, unasked.
    xdo("mousemove " + at(grid.CellX(1), grid.CellY()) + " sleep 0.3 click 1 sleep 0.3 key Delete");
    EXPECT_TRUE(WaitFor([&] { return !fs::exists(pictures / "sub" / "red.jpg"); }));
    EXPECT_TRUE(fs::exists(home.root / "data" / "Trash" / "files" / "red.jpg"));
    EXPECT_NE(ReadText(home.root / "data" / "Trash" / "info" / "red.jpg.trashinfo").find("Path="), std::string::npos);

    // That the stored size comes back at the next start is the album page test's (the page reads
    // "ViewMode" when it is made).
    zendra.Stop();
    close(out);
}
