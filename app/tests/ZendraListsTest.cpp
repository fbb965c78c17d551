// The lists sample in the running program, driven by xdotool on a private X server: wheel
// notches and a scroll-thumb drag move the item list of 100,000 cells and the tree of 20,000
// nodes, and the screenshots show exactly the rows and cells that should stand there now. Each
// thumbnail and tree row carries its index as a strip of light and dark blocks; a strip found
// at a screen line tells the scroll offset the program drew with.
#include "app/samples/ListSamplePage.h"
#include "app/tests/ZendraProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <thread>

namespace {

using namespace testx;

struct View {
    int x = 0, y = 0, w = 0, h = 0, content = 0;
};

struct Layout {
    View tree, list;
    bool ok = false;
};

// The last "lists sample" line of the program's output.
Layout ParseLayout(const std::string& output)
{
    Layout l;
    const std::string tag = "zendra: lists sample ";
    const size_t at = output.rfind(tag);
    if (at == std::string::npos)
        return l;
    const int n = std::sscanf(output.c_str() + at + tag.size(), "tree %d %d %d %d content %d; list %d %d %d %d content %d",
                              &l.tree.x, &l.tree.y, &l.tree.w, &l.tree.h, &l.tree.content, &l.list.x, &l.list.y,
                              &l.list.w, &l.list.h, &l.list.content);
    l.ok = n == 10;
    return l;
}

bool Light(const Screenshot& s, int x, int y)
{
    if (x < 0 || y < 0 || x >= s.width || y >= s.height)
        return false;
    const uint8_t* p = &s.rgb[(size_t(y) * s.width + x) * 3];
    return (p[0] + p[1] + p[2]) / 3 > 64; // light blocks stay light at half brightness too
}

int ReadStrip(const Screenshot& s, int left, int block, int y)
{
    int bits[liststrip::kBits];
    for (int i = 0; i < liststrip::kBits; ++i)
        bits[i] = Light(s, left + i * block + block / 2, y) ? 1 : 0;
    return liststrip::Decode(bits);
}

// Every strip whose top line lies in the view, as index -> scroll offset. `stripLeft(index)`
// gives the strip's window x for a candidate column, `contentTop(index)` the strip's top line in
// content coordinates.
struct Found {
    std::map<int, int> offsets; // index -> offset
    bool consistent = true;
    int offset = -1;
    std::string Text() const
    {
        std::string t;
        for (const auto& [index, offset] : offsets)
            t += std::to_string(index) + "@" + std::to_string(offset) + " ";
        return t;
    }
};

Found Scan(const Screenshot& s, const View& v, int wx, int wy, const std::vector<int>& lefts, int block, int height,
           const std::function<int(int)>& contentTop, const std::function<bool(int, int)>& inColumn)
{
    Found f;
    for (size_t c = 0; c < lefts.size(); ++c) {
        const int left = wx + lefts[c];
        for (int y = wy + v.y; y + height <= wy + v.y + v.h; ++y) {
            const int index = ReadStrip(s, left, block, y);
            if (index < 0 || !inColumn(index, int(c)) || ReadStrip(s, left, block, y + height - 1) != index ||
                ReadStrip(s, left, block, y - 1) == index)
                continue;
            const int offset = wy + v.y + contentTop(index) - y;
            f.offsets[index] = offset;
            if (f.offset < 0)
                f.offset = offset;
            else if (offset != f.offset)
                f.consistent = false;
        }
    }
    return f;
}

struct Program {
    XServer xvfb;
    Child zendra;
    int out = -1;
    std::string output;
    std::string xdo;
    int wx = 0, wy = 0;
    Layout layout;

    bool Start()
    {
        if (!xvfb.Start() || !zendratest::StartOn(xvfb, zendra, out, {"--sample=lists"}))
            return false;
        if (!ReadUntil(out, " ms", std::chrono::seconds(90), output))
            return false;
        xdo = "env DISPLAY=" + xvfb.Name() + " xdotool";
        const std::string id = zendratest::FindWindow(xvfb);
        if (id.empty())
            return false;
        const std::string geometry = RunCapture(xdo + " getwindowgeometry --shell " + id);
        auto field = [&](const char* name) {
            const size_t p = geometry.find(std::string(name) + "=");
            return p == std::string::npos ? -1 : std::atoi(geometry.c_str() + p + std::strlen(name) + 1);
        };
        wx = field("X");
        wy = field("Y");
        // Later layouts (a resize) come before the first frame is presented; read what is left.
        std::string more;
        while (ReadUntil(out, "\n", std::chrono::milliseconds(300), more))
            ;
        output += more;
        layout = ParseLayout(output);
        Settle();
        return layout.ok && wx >= 0;
    }
    void Run(const std::string& actions)
    {
        std::system((xdo + " " + actions + " >/dev/null 2>&1").c_str());
        Settle();
    }
    // Cells glide into place after a layout; a second is plenty at 30 ms a frame.
    void Settle() { std::this_thread::sleep_for(std::chrono::milliseconds(1200)); }
    Screenshot Shot()
    {
        Screenshot s;
        EXPECT_TRUE(TakeScreenshot(xvfb.Display(), s));
        return s;
    }

    Found ListOffsets(const Screenshot& s) const
    {
        const View& v = layout.list;
        const int columns = std::max(1, (v.w + 10) / 110);
        std::vector<int> lefts;
        for (int c = 0; c < columns; ++c)
            lefts.push_back(v.x + 110 * c + 5 + liststrip::kListLeft); // 100-pixel pictures, centred
        return Scan(
            s, v, wx, wy, lefts, liststrip::kListBlock, liststrip::kListHeight,
            [&](int index) { return index / columns * 130 + 10 + liststrip::kListTop; },
            [&](int index, int c) { return index % columns == c; });
    }
    Found TreeOffsets(const Screenshot& s) const
    {
        const View& v = layout.tree;
        const int left = v.x + v.w - 17 - liststrip::kTreeRightGap - liststrip::kBits * liststrip::kTreeBlock;
        return Scan(
            s, v, wx, wy, {left}, liststrip::kTreeBlock, liststrip::kTreeHeight,
            [](int row) { return row * 20 + liststrip::kTreeTop; }, [](int, int) { return true; });
    }
    std::string MoveTo(int x, int y) const
    {
        return "mousemove " + std::to_string(wx + x) + " " + std::to_string(wy + y) + " sleep 0.3";
    }
    ~Program()
    {
        if (out >= 0)
            close(out);
    }
};

// The offset a thumb drag gives: the bar maps track pixels to content linearly, from where the
// press went down; the track is the bar's length less the two 15-pixel arrows.
int DragOffset(const View& v, int start, int fromAlong, int toAlong)
{
    const int64_t track = v.h - 30;
    auto value = [&](int along) { return int64_t(v.content) * std::clamp<int64_t>(along - 15, 0, track) / track; };
    const int64_t offset = start + value(toAlong) - value(fromAlong);
    return int(std::clamp<int64_t>(offset, 0, v.content - v.h));
}

} // namespace

TEST(ZendraLists, WheelAndThumbDragScrollTheListAndTheTreeByExactAmounts)
{
    Program p;
    ASSERT_TRUE(p.Start()) << p.output;
    const View& list = p.layout.list;
    const View& tree = p.layout.tree;
    EXPECT_EQ(tree.content, 20000 * 20);
    ASSERT_GT(list.h, 200);

    Screenshot s = p.Shot();
    Found l = p.ListOffsets(s), t = p.TreeOffsets(s);
    EXPECT_EQ(l.offset, 0);
    EXPECT_EQ(t.offset, 0);
    EXPECT_GE(l.offsets.size(), 5u);
    EXPECT_GE(t.offsets.size(), 10u);
    EXPECT_TRUE(l.offsets.count(0));
    EXPECT_TRUE(t.offsets.count(0));

    // Three wheel notches over the list: 120 pixels each.
    p.Run(p.MoveTo(list.x + list.w / 2, list.y + list.h / 2) + " click --repeat 3 --delay 150 5");
    s = p.Shot();
    l = p.ListOffsets(s);
    EXPECT_TRUE(l.consistent) << l.Text();
    EXPECT_EQ(l.offset, 360);
    EXPECT_EQ(p.TreeOffsets(s).offset, 0); // the tree stays
    // Five over the tree.
    p.Run(p.MoveTo(tree.x + tree.w / 3, tree.y + tree.h / 2) + " click --repeat 5 --delay 150 5");
    s = p.Shot();
    t = p.TreeOffsets(s);
    EXPECT_TRUE(t.consistent) << t.Text();
    EXPECT_EQ(t.offset, 600);
    EXPECT_EQ(p.ListOffsets(s).offset, 360);
    // One notch back up over the list.
    p.Run(p.MoveTo(list.x + list.w / 2, list.y + list.h / 2) + " click 4");
    EXPECT_EQ(p.ListOffsets(p.Shot()).offset, 240);

    // Drag each thumb 100 pixels down the bar. At these content sizes the thumb is at the top
    // of the track, under along 15.
    struct Case { const char* what; const View* view; int start; };
    const Case cases[] = {{"list", &list, 240}, {"tree", &tree, 600}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const View& v = *c.view;
        const int barX = v.x + v.w - 9, from = 15, to = 115;
        p.Run(p.MoveTo(barX, v.y + from) + " mousedown 1 sleep 0.2 " + p.MoveTo(barX, v.y + from + 40) + " " +
              p.MoveTo(barX, v.y + to) + " mouseup 1");
        s = p.Shot();
        const Found f = c.view == &list ? p.ListOffsets(s) : p.TreeOffsets(s);
        const int expected = DragOffset(v, c.start, from, to);
        EXPECT_GT(expected, 10000);
        EXPECT_TRUE(f.consistent) << f.Text();
        EXPECT_EQ(f.offset, expected);
        EXPECT_GE(f.offsets.size(), 4u);
        // The indices shown are the ones at that offset, not merely different ones.
        if (!f.offsets.empty()) {
            const int first = f.offsets.begin()->first;
            const int rowHeight = c.view == &list ? 130 : 20;
            const int perRow = c.view == &list ? std::max(1, (v.w + 10) / 110) : 1;
            EXPECT_LE(first / perRow * rowHeight, expected + rowHeight) << first;
            EXPECT_GE((first / perRow + 1) * rowHeight, expected - rowHeight) << first;
        }
    }
}
