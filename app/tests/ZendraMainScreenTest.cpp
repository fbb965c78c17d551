// The main window on the screen of a private X server, started with a photo on its command line:
// the tab strip shows the album's tab and the photo's tab, and the photo's page shows the
// picture in its viewer (seen by its colours in a screenshot).
#include "imaging/ImageBuffer.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "ZendraProcess.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

using namespace testx;

struct Seen {
    size_t photo = 0; // the photo's orange
    size_t light = 0; // tab titles (grey on the inactive tab)
};

Seen Count(const Screenshot& shot, int x0, int y0, int x1, int y1)
{
    Seen s;
    for (int y = std::max(0, y0); y < y1 && y < shot.height; ++y)
        for (int x = std::max(0, x0); x < x1 && x < shot.width; ++x) {
            const size_t i = (size_t(y) * shot.width + x) * 3;
            const int r = shot.rgb[i], g = shot.rgb[i + 1], b = shot.rgb[i + 2];
            s.photo += std::abs(r - 220) < 16 && std::abs(g - 120) < 16 && std::abs(b - 40) < 16;
            s.light += r > 110 && g > 110 && b > 110 && std::abs(r - b) < 30;
        }
    return s;
}

} // namespace

TEST(ZendraMainScreen, ShowsTheStripWithTheAlbumTabAndThePhotosTabAndThePhoto)
{
    XServer xvfb;
    ASSERT_TRUE(xvfb.Start()) << "Xvfb did not start";
    zendratest::Home home;
    // A plain orange photo: its colour survives the viewer's scaling unchanged.
    ImageBuffer8 image;
    ASSERT_TRUE(AllocImage8(image, 600, 400));
    for (uint32_t i = 0; i < image.pixelCount; ++i) {
        uint8_t* p = image.data + size_t(i) * 4;
        p[0] = 40;
        p[1] = 120;
        p[2] = 220;
        p[3] = 255;
    }
    const fs::path photo = home.root / "orange.png";
    ASSERT_TRUE(CodecSaveImage8(image, photo.u16string().c_str(), false));
    FreeImageBuffer(image);

    int out = -1;
    Child zendra;
    ASSERT_TRUE(zendratest::StartOn(xvfb, zendra, out, {"o", photo.string()}, &home));
    std::string output;
    ASSERT_TRUE(ReadUntil(out, " ms", std::chrono::seconds(60), output)) << output;
    const std::string id = zendratest::FindWindow(xvfb);
    ASSERT_FALSE(id.empty());
    const zendratest::Geometry g = zendratest::WindowGeometry(xvfb, id);
    ASSERT_GT(g.width, 0);

    // Page area of the strip: (3, 40) + (10, 34) to 10 inside its right and bottom edges.
    const int px = g.x + 13, py = g.y + 74, pw = g.width - 26, ph = g.height - 89;
    Screenshot shot;
    Seen page;
    for (int attempt = 0; attempt < 40; ++attempt) {
        if (TakeScreenshot(xvfb.Display(), shot)) {
            page = Count(shot, px, py, px + pw, py + ph);
            if (page.photo > 20000)
                break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    EXPECT_GT(page.photo, 20000u) << "the photo is not shown";
    // The strip: the album's tab from x 150, the photo's after it; both with light titles.
    const int stripY = g.y + 40, stripX = g.x + 3 + 150;
    const Seen albumTab = Count(shot, stripX, stripY, stripX + 100, stripY + 32);
    const Seen photoTab = Count(shot, stripX + 100, stripY, stripX + 260, stripY + 32);
    EXPECT_GT(albumTab.light, 15u) << "the album's tab";
    EXPECT_GT(photoTab.light, 15u) << "the photo's tab";
    // Nothing of the photo outside the page area.
    EXPECT_EQ(Count(shot, g.x, g.y, g.x + g.width, py - 2).photo, 0u);

    const int cx = g.x + g.width - 19, cy = g.y + 15;
    zendratest::Xdo(xvfb, "mousemove " + std::to_string(cx) + " " + std::to_string(cy) + " sleep 0.3 click 1 sleep 1.2 key y");
    int status = 0;
    ASSERT_TRUE(zendra.WaitExit(std::chrono::seconds(30), status)) << "zendra did not end";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    close(out);
}
