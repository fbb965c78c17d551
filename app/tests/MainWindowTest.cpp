// The main window on the headless backend: the tab strip's extents and removal order, drops,
// the settings dialog's OK and Cancel, the about box's guard time and version line, the
// disk-space refusal, opening photos (captions, the same path twice, the large-photo question),
// the close with its questions, the editor page's history and the idle release.
#include "algorithms/Algorithm.h"
#include "algorithms/AlgorithmThread.h"
#include "app/AboutSprite.h"
#include "app/AppData.h"
#include "app/CrashStatus.h"
#include "app/PluginExchange.h"
#include "app/Services.h"
#include "ui/Registry.h"
#include "app/SettingsDlg.h"
#include "app/ZendraApp.h"
#include "batch/SavePanel.h"
#include "app/ZendraDlg.h"
#include "editor/EditorCommands.h"
#include "ui/Tip.h"
#include "imaging/ColourTables.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "imaging/ProjectFile.h"
#include "platform/Clock.h"
#include "platform/Folders.h"
#include "platform/Path.h"
#include "platform/Settings.h"
#include "platform/Shell.h"
#include "platform/tests/TestFolder.h"
#include "raster/tests/RasterTestUtil.h"
#include "ui/DialogSprite.h"
#include "ui/DrawnUiImages.h"
#include "ui/StringTable.h"
#include "ui/UiSeams.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path kProgramFolder = fs::path(ZENDRA_BINARY_DIR) / "zendra";

// The program folder's skins, drawn images where it has none.
int ProgramThenDrawn(UiImageFolder folder, const char16_t* name, ImageBuffer8& out)
{
    const fs::path path = kProgramFolder / (folder == UiImageFolder::Skin ? "skin" : "basic") /
                          platform::Utf16ToUtf8(name);
    if (fs::exists(path) && CodecLoadImage8(out, path.u16string().c_str()))
        return 1;
    return DrawnUiImage(folder, name, out);
}

fs::path TestFolder()
{
    const char* tmp = std::getenv("TMPDIR");
    fs::path p = fs::path(tmp ? tmp : "/tmp") / ("mainwindow-" + std::to_string(getpid()));
    fs::create_directories(p);
    return p;
}

// A small picture file: w x h, a gradient so that turns and undo are visible in the pixels.
std::u16string MakePhoto(const fs::path& path, int w, int h)
{
    ImageBuffer8 image;
    EXPECT_TRUE(AllocImage8(image, w, h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = image.data + (size_t(y) * w + x) * 4;
            p[0] = uint8_t(x * 255 / std::max(1, w - 1));
            p[1] = uint8_t(y * 255 / std::max(1, h - 1));
            p[2] = uint8_t((x + y) & 0xFF);
            p[3] = 255;
        }
    EXPECT_TRUE(CodecSaveImage8(image, path.u16string().c_str(), false));
    FreeImageBuffer(image);
    return path.u16string();
}

// The main window opened headless, with scripted answers to its questions.
struct Frame {
    platform::ManualTickSource clock{500000};
    platform::ScopedTickSource scopedClock{clock};
    fs::path folder = TestFolder();
    CZendraDlg dlg;
    std::deque<int> answers; // next answers; 6 (Yes) when empty
    std::vector<std::u16string> asked;
    uint64_t free = uint64_t(8) << 30;
    bool opened = false;
    int exited = -1;

    explicit Frame(int32_t mode = 0, bool open = true)
    {
        platform::SetSettingsFiles((folder / "user.txt").u16string(), (folder / "machine.txt").u16string());
        WriteRegistryDword(u"Program", u"Animation", 0);
        // The auto wizard after opening is tested on its own.
        WriteRegistryDword(u"Editor", u"AutoWizard", 0);
        SetUiImageSource(&ProgramThenDrawn);
        ResetSharedUiImages();
        BuildGammaTables();
        dlg.PluginMode = mode;
        dlg.runFullStartup = false;
        dlg.crashStatusPath = (folder / "ZDStatus.flg").u16string();
        dlg.freeSpace = [this](const platform::String16&) { return free; };
        dlg.messageBox = [this](const char16_t* text, int, int) {
            asked.emplace_back(text ? text : u"");
            if (answers.empty())
                return 6;
            const int a = answers.front();
            answers.pop_front();
            return a;
        };
        dlg.exitProcess = [this](int code) { exited = code; };
        // A save goes to the save panel's "other formats" tile, whose path question is cancelled.
        SetSavePanelAutoTile(CSaveDlg::kOtherFormat);
        dlg.askPath = [](platform::String16&) { return false; };
        if (open)
            Open();
    }
    ~Frame()
    {
        dlg.DestroyWindow();
        SetSavePanelAutoTile(0);
        SetUiImageSource(nullptr);
        ResetSharedUiImages();
        platform::SetSettingsFiles({}, {});
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
    bool Open()
    {
        setenv("ZENDRA_DPI", "96", 1);
        RenderWindowOptions o;
        o.backend = platform::BackendKind::Headless;
        o.window.width = 1000;
        o.window.height = 700;
        o.maximize = false;
        o.startRenderThread = false;
        opened = dlg.Open(o) != 0;
        unsetenv("ZENDRA_DPI");
        g_bAnimation.store(0);
        if (opened)
            Pump();
        return opened;
    }
    void Pump()
    {
        dlg.PlatformWindow()->PumpPending();
        clock.Advance(30);
        dlg.RenderFrame(platform::GetTickCount32());
    }
    int Pages() { return dlg.TabFrame().PageCount(); }
    std::u16string Photo(const char* name, int w = 40, int h = 30) { return MakePhoto(folder / name, w, h); }
};

std::vector<uint16_t> Pixels(const CZDDoc& doc)
{
    const ImageBuffer16* image = doc.GetLayer(0) ? &doc.GetLayer(0)->pixels : nullptr;
    if (!image || !image->data)
        return {};
    return std::vector<uint16_t>(image->data, image->data + size_t(image->width) * image->height * 4);
}

} // namespace

TEST(MainWindow, StripHasTheAlbumFirstAndTabsSixtyFivePixelsWiderThanTheirHeaders)
{
    Frame f;
    ASSERT_TRUE(f.opened);
    ASSERT_EQ(f.Pages(), 1);
    ASSERT_TRUE(IsAlbumPage(f.dlg.TabFrame().PageAt(0)));
    EXPECT_EQ(f.dlg.TabFrame().PageAt(0)->Flags() & 0xC000u, 0xC000u);
    ASSERT_TRUE(f.dlg.OpenImage(f.Photo("a.png"), 0, nullptr, 0));
    ASSERT_TRUE(f.dlg.OpenImage(f.Photo("bb.png"), 0, nullptr, 0));
    CSMainTabFrame& strip = f.dlg.TabFrame();
    ASSERT_EQ(strip.PageCount(), 3);
    int widths[3];
    for (int i = 0; i < 3; ++i)
        widths[i] = strip.PageAt(i)->HeaderImage().width;
    struct Case { int index, start, end; };
    const Case cases[] = {
        {0, 0, widths[0] + 65},
        {1, widths[0] + 65, widths[0] + widths[1] + 130},
        {2, widths[0] + widths[1] + 130, widths[0] + widths[1] + widths[2] + 195},
        {-1, -1, -1},
        {3, -1, -1}, // past the last tab: defined, not left unset
    };
    for (const Case& c : cases) {
        int s = 12345, e = 12345;
        strip.GetTabExtent(c.index, &s, &e);
        EXPECT_EQ(s, c.start) << c.index;
        EXPECT_EQ(e, c.end) << c.index;
    }
    // After the layout the tabs run from 150 to width - 50.
    EXPECT_EQ(strip.StripLeft(), 150);
    EXPECT_EQ(strip.StripRight(), strip.Width() - 50);
}

TEST(MainWindow, RemovingTheCurrentTabShowsTheAlbumWhenThereAreThreeTabs)
{
    struct Case { int tabs; int closeIndex; int expectSelected; const char* why; };
    const Case cases[] = {
        {3, 2, 0, "album, A, B with B current: closing B shows the album, not A"},
        {2, 1, 0, "album and A: closing A shows the album (the tab to its left)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Frame f;
        ASSERT_TRUE(f.opened);
        for (int i = 1; i < c.tabs; ++i)
            ASSERT_TRUE(f.dlg.OpenImage(f.Photo(("p" + std::to_string(i) + ".png").c_str()), 0, nullptr, 0));
        CSTabPage* last = f.dlg.TabFrame().PageAt(c.closeIndex);
        ASSERT_EQ(f.dlg.TabFrame().GetSelectedPage(), last);
        // A visit to A first makes A the previous page: the album still wins.
        if (c.tabs == 3) {
            f.dlg.TabFrame().SelectPage(f.dlg.TabFrame().PageAt(1), 1);
            f.dlg.TabFrame().SelectPage(last, 1);
        }
        ASSERT_TRUE(f.dlg.CloseTab(last));
        EXPECT_EQ(f.dlg.TabFrame().Selected(), c.expectSelected);
        EXPECT_EQ(f.Pages(), c.tabs - 1);
    }
}

TEST(MainWindow, TheAlbumIsNeverClosedAndTheCloseButtonOnlyServesEditorTabs)
{
    Frame f;
    ASSERT_TRUE(f.opened);
    ASSERT_TRUE(f.dlg.OpenImage(f.Photo("a.png"), 0, nullptr, 0));
    CSMainTabFrame& strip = f.dlg.TabFrame();
    EXPECT_EQ(f.dlg.CloseTab(strip.PageAt(0)), 1);
    EXPECT_EQ(f.Pages(), 2) << "the album stays";
    // Hover the album's tab: no close button; hover the editor's tab: the button shows.
    int s0 = 0, e0 = 0, s1 = 0, e1 = 0;
    strip.GetTabExtent(0, &s0, &e0);
    strip.GetTabExtent(1, &s1, &e1);
    const int y = (strip.StripTop() + strip.StripBottom()) / 2;
    strip.OnMouseMove(strip.StripLeft() + (s0 + e0) / 2, y, 0);
    EXPECT_EQ(strip.Hovered(), 0);
    EXPECT_FALSE(strip.CloseButtonShown());
    strip.OnMouseMove(strip.StripLeft() + (s1 + e1) / 2, y, 0);
    EXPECT_EQ(strip.Hovered(), 1);
    EXPECT_TRUE(strip.CloseButtonShown());
    EXPECT_EQ(strip.CloseButton().Rect().left, e1 + strip.StripLeft() - strip.Scroll() - 20);
    // The page goes before the click: the click closes nothing, and never the album.
    ASSERT_TRUE(f.dlg.CloseTab(strip.PageAt(1)));
    SpriteMessage m{};
    m.code = MSG_COMMAND;
    m.param1 = CSMainTabFrame::kCloseButton;
    m.sender = &strip.CloseButton();
    strip.OnSpriteMessage(&m);
    EXPECT_EQ(f.Pages(), 1);
    EXPECT_TRUE(IsAlbumPage(strip.PageAt(0)));
}

TEST(MainWindow, DropOnTheStripOpensOnlyKnownImageTypes)
{
    Frame f;
    ASSERT_TRUE(f.opened);
    const std::u16string text = (f.folder / "notes.txt").u16string();
    { std::FILE* t = std::fopen(platform::Utf16ToUtf8(text).c_str(), "w"); std::fputs("hello", t); std::fclose(t); }
    const std::u16string photo = f.Photo("b.PNG");
    const std::u16string raw = (f.folder / "c.unknown").u16string();
    std::u16string longName(600, u'x');
    longName += u".png";
    // Over the strip's tab band right of the tabs: no child there.
    const SRect r = f.dlg.TabFrame().Rect();
    const platform::Point at{r.right - 60, r.top + 12};
    f.dlg.PlatformWindow()->Headless()->InjectDropFiles({text, photo, raw, longName}, at);
    f.Pump();
    ASSERT_EQ(f.Pages(), 2);
    EXPECT_EQ(std::u16string(static_cast<CSEditPage*>(f.dlg.TabFrame().PageAt(1))->filePath), photo);
    // Dropped over the album page the files are the album's (copied into its shown folder when
    // there is one): the strip opens nothing it refused.
    const SRect page = f.dlg.TabFrame().PageAt(0)->LocalToWindowRect({0, 0, 10, 10});
    f.dlg.TabFrame().SelectPage(f.dlg.TabFrame().PageAt(0), 1);
    f.dlg.PlatformWindow()->Headless()->InjectDropFiles({photo, f.Photo("d.png")}, {page.left + 5, page.top + 5});
    f.Pump();
    EXPECT_EQ(f.Pages(), 2);
    const SRect grid = f.dlg.AlbumPage()->PhotoList().LocalToWindowRect({0, 0, 10, 10});
    f.dlg.PlatformWindow()->Headless()->InjectDropFiles({f.Photo("d.png")}, {grid.left + 5, grid.top + 5});
    f.Pump();
    EXPECT_EQ(f.Pages(), 2);
}

TEST(MainWindow, OpenImageCaptionsSamePathAndLargePhotoQuestion)
{
    struct Caption { std::u16string path; std::u16string caption; };
    const std::u16string hundred(100, u'n');
    const Caption captions[] = {
        {u"/p/x.jpg", u"x.jpg"},
        {u"", u"Unknown"},
        {u"/p/noextension", u"noextension"},
        {u"/p/" + hundred + u".jpeg", hundred.substr(0, 29) + u".."},
        {u"/p/" + std::u16string(20, u'a') + u".jpeg", std::u16string(20, u'a') + u".jpeg"},
    };
    for (const Caption& c : captions) {
        const std::u16string got = EditCaptionForPath(c.path, u"Unknown");
        EXPECT_EQ(got, c.caption) << platform::Utf16ToUtf8(c.path);
        EXPECT_LE(got.size(), 31u);
    }

    struct Size { int32_t w, h; bool asks; };
    const Size sizes[] = {{6000, 5000, false}, {30000001, 1, true}, {5477, 5477, false}, {5478, 5477, true},
                          {65536, 65536, true}, {0, 0, false}};
    for (const Size& s : sizes)
        EXPECT_EQ(IsLargePhoto(s.w, s.h), s.asks) << s.w << "x" << s.h;

    Frame f;
    ASSERT_TRUE(f.opened);
    const std::u16string a = f.Photo("A.png");
    const std::u16string lower = f.Photo("a.png");
    ASSERT_TRUE(f.dlg.OpenImage(a, 0, nullptr, 0));
    EXPECT_EQ(std::u16string(f.dlg.TabFrame().PageAt(1)->Title()), u"A.png");
    ASSERT_TRUE(f.dlg.OpenImage(f.Photo("other.png"), 0, nullptr, 0));
    ASSERT_EQ(f.Pages(), 3);
    // The same path only shows its tab; a name that differs in case is another file.
    EXPECT_TRUE(f.dlg.OpenImage(a, 0, nullptr, 0));
    EXPECT_EQ(f.Pages(), 3);
    EXPECT_EQ(f.dlg.TabFrame().Selected(), 1);
    EXPECT_TRUE(f.dlg.OpenImage(lower, 0, nullptr, 0));
    EXPECT_EQ(f.Pages(), 4);

    // A file that cannot be read: "Cannotopenfile", no tab.
    f.asked.clear();
    EXPECT_FALSE(f.dlg.OpenImage((f.folder / "missing.png").u16string(), 0, nullptr, 0));
    EXPECT_EQ(f.Pages(), 4);
    ASSERT_EQ(f.asked.size(), 1u);
    EXPECT_EQ(f.asked[0], UiText(u"Cannotopenfile"));

    // The large-photo question at the limit and one pixel above (limit lowered to the photo's).
    f.dlg.largePhotoPixels = 40 * 30;
    f.asked.clear();
    EXPECT_TRUE(f.dlg.OpenImage(f.Photo("exact.png", 40, 30), 0, nullptr, 0));
    EXPECT_TRUE(f.asked.empty());
    f.answers = {7};
    EXPECT_FALSE(f.dlg.OpenImage(f.Photo("above.png", 41, 30), 0, nullptr, 0));
    ASSERT_EQ(f.asked.size(), 1u);
    EXPECT_EQ(f.asked[0], UiText(u"memlimit32"));
    EXPECT_EQ(f.Pages(), 5);
    f.answers = {6};
    f.asked.clear();
    EXPECT_TRUE(f.dlg.OpenImage(f.Photo("above2.png", 41, 30), 0, nullptr, 0));
    EXPECT_EQ(f.Pages(), 6);
    EXPECT_EQ(f.asked.size(), 1u) << "asked once, before the decode";

    // A document handed over (mode 1) that has nothing in it opens nothing.
    CZDDoc empty;
    f.asked.clear();
    EXPECT_FALSE(f.dlg.OpenImage(u"/p/empty.zdoc", 1, &empty, 0));
    EXPECT_EQ(f.Pages(), 6);
    EXPECT_EQ(f.asked.size(), 1u);
}

// The peak resident memory of this process since the last reset, in MiB.
int64_t PeakMiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atoll(line.c_str() + 6) / 1024;
    return -1;
}

TEST(MainWindow, TheLargePhotoQuestionComesBeforeThePixelsAreDecoded)
{
    // Tiny files that claim huge pictures: a TIFF of 16000 x 16000 and a JPEG of 20000 x 20000.
    // Decoding either first costs gigabytes; the question is asked from the header, and No
    // opens nothing without that cost.
    Frame f;
    ASSERT_TRUE(f.opened);
    const fs::path tiff = f.folder / "huge.tif";
    rastertest::WriteFile(tiff.string(), rastertest::TinyTiffClaiming(16000, 16000));
    const fs::path small = f.folder / "small.jpg";
    ASSERT_TRUE(MakePhoto(small, 8, 8).size());
    const fs::path jpeg = f.folder / "huge.jpg";
    rastertest::WriteFile(jpeg.string(), rastertest::JpegClaiming(rastertest::ReadFile(small.string()), 20000, 20000));
    for (const fs::path& path : {tiff, jpeg}) {
        SCOPED_TRACE(path.string());
        std::ofstream("/proc/self/clear_refs") << "5"; // the peak starts again from here
        const int64_t before = PeakMiB();
        f.asked.clear();
        f.answers = {7};
        EXPECT_FALSE(f.dlg.OpenImage(path.u16string(), 0, nullptr, 0));
        ASSERT_EQ(f.asked.size(), 1u);
        EXPECT_EQ(f.asked[0], UiText(u"memlimit32"));
        EXPECT_EQ(f.Pages(), 1);
        EXPECT_LT(PeakMiB() - before, 200) << "nothing of the claimed size was allocated";
    }
}

TEST(MainWindow, EditorPageTurnsUndoesAndRedoesThroughItsHistory)
{
    Frame f;
    ASSERT_TRUE(f.opened);
    ASSERT_TRUE(f.dlg.OpenImage(f.Photo("turn.png", 40, 30), 0, nullptr, 0));
    CSEditPage* page = f.dlg.GetActiveEditPage();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->Flags() & SF_EDITPAGE, SF_EDITPAGE);
    ASSERT_EQ(page->History().steps.size(), 1u);
    EXPECT_EQ(page->History().steps[0].kind, kHistoryDocument);
    EXPECT_FALSE(page->Unsaved());
    EXPECT_NE(page->preview.data, nullptr) << "the hover picture";
    const std::vector<uint16_t> original = Pixels(page->Document());

    ASSERT_TRUE(page->RotateFlip(kCmdRotateRight));
    EXPECT_EQ(page->Document().width, 30);
    EXPECT_EQ(page->Document().height, 40);
    EXPECT_EQ(page->History().steps.size(), 2u);
    EXPECT_TRUE(page->Unsaved());
    const std::vector<uint16_t> turned = Pixels(page->Document());
    EXPECT_NE(turned, original);

    ASSERT_TRUE(page->Model().Undo());
    EXPECT_EQ(Pixels(page->Document()), original);
    EXPECT_EQ(page->Document().width, 40);
    EXPECT_FALSE(page->Unsaved());
    ASSERT_TRUE(page->Model().Redo());
    EXPECT_EQ(Pixels(page->Document()), turned);
    EXPECT_FALSE(page->Model().Redo()) << "nothing after the last step";
    // Ctrl+Z reaches the shown page through its accelerator.
    ASSERT_TRUE(page->Model().Undo());
    EXPECT_FALSE(page->Model().Undo()) << "nothing before the open";
}

TEST(MainWindow, PlainLettersEditNothingAndTheCtrlKeysStillDo)
{
    Frame f;
    ASSERT_TRUE(f.opened);
    ASSERT_TRUE(f.dlg.OpenImage(f.Photo("keys.png", 40, 30), 0, nullptr, 0));
    CSEditPage* page = f.dlg.GetActiveEditPage();
    ASSERT_NE(page, nullptr);
    f.dlg.SetFocus(page, false);
    ASSERT_EQ(f.dlg.Focus(), page) << "the editor page has the focus";
    platform::HeadlessControl* keys = f.dlg.PlatformWindow()->Headless();
    // Presses a key with the given modifiers held, as a user types it.
    auto press = [&](uint32_t key, bool ctrl, bool shift) {
        if (ctrl)
            keys->InjectKey(platform::vk::Control, true, false);
        if (shift)
            keys->InjectKey(platform::vk::Shift, true, false);
        keys->InjectKey(key, true, false);
        keys->InjectKey(key, false, false);
        if (shift)
            keys->InjectKey(platform::vk::Shift, false, false);
        if (ctrl)
            keys->InjectKey(platform::vk::Control, false, false);
        f.clock.Advance(200); // apart from the key-repeat filter
        f.Pump();
    };
    const std::vector<uint16_t> original = Pixels(page->Document());
    struct Case { const char* what; uint32_t key; bool ctrl, shift; size_t steps; int current; int width; };
    const Case cases[] = {
        {"plain R", 'R', false, false, 1, 0, 40},
        {"plain Z", 'Z', false, false, 1, 0, 40},
        {"shift R", 'R', false, true, 1, 0, 40},
        {"Ctrl+R turns", 'R', true, false, 2, 1, 30},
        {"plain Y", 'Y', false, false, 2, 1, 30},
        {"Ctrl+Shift+R turns the other way", 'R', true, true, 3, 2, 40},
        {"Ctrl+Z undoes", 'Z', true, false, 3, 1, 30},
        {"plain Z still nothing", 'Z', false, false, 3, 1, 30},
        {"Ctrl+Y redoes", 'Y', true, false, 3, 2, 40},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        press(c.key, c.ctrl, c.shift);
        EXPECT_EQ(page->History().steps.size(), c.steps);
        EXPECT_EQ(page->History().current, c.current);
        EXPECT_EQ(page->Document().width, c.width);
    }
    EXPECT_EQ(Pixels(page->Document()), original) << "a turn and its counter-turn";
}

namespace {

// Bands that run until the job is cancelled (at most 20 s), on every helper.
class BandsUntilCancelled : public CAlgorithm {
public:
    int Run() override { return SplitIntoBands(0, 2) ? RunBands() : 0; }
    int ProcessBand(BandTask&) override
    {
        m_started.Set();
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!IsAlgorithmCancelled() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return 1;
    }
    platform::Event m_started{platform::Event::Reset::Manual, false};
};

} // namespace

TEST(MainWindow, TheWindowGoesOnlyAfterTheHelpersAndNeverWaitsForThem)
{
    // The window is destroyed and freed while helpers compute a job's bands: the threads are
    // stopped first (the job cancelled), so none touches the freed window.
    CServices services;
    auto f = std::make_unique<Frame>(0, false);
    f->dlg.services = &services;
    ASSERT_TRUE(f->Open());
    // The worker starts once the window exists; its helpers register with it.
    ASSERT_TRUE(services.StartAlgorithmWorker(theAlgorithmThread, 2));
    BandsUntilCancelled job;
    ImageBuffer16 source{}, destination{};
    ASSERT_TRUE(AllocImage16(source, 2, 40));
    ASSERT_EQ(StartAlgorithm(&job, &source, &destination, nullptr, 1), 1);
    ASSERT_TRUE(job.m_started.Wait(5000));
    const auto start = std::chrono::steady_clock::now();
    f.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000))
        << "the window does not wait out its five seconds for busy helpers";
    EXPECT_FALSE(theAlgorithmThread.IsRunning());
    EXPECT_EQ(theAlgorithmThread.HelperCount(), 0);
    EXPECT_TRUE(services.Running().empty());
    FreeImageBuffer(source);
    FreeImageBuffer(destination);
}

TEST(MainWindow, OnlyCtrlKeysTurnOrWalkThePhoto)
{
    Frame f;
    ASSERT_TRUE(f.opened);
    ASSERT_TRUE(f.dlg.OpenImage(f.Photo("keys.png", 40, 30), 0, nullptr, 0));
    CSEditPage* page = f.dlg.GetActiveEditPage();
    ASSERT_NE(page, nullptr);
    f.dlg.SetFocus(page, false);
    platform::HeadlessControl& input = *f.dlg.PlatformWindow()->Headless();
    auto press = [&](uint32_t key, bool ctrl, bool shift = false) {
        if (ctrl)
            input.InjectKey(platform::vk::Control, true);
        if (shift)
            input.InjectKey(platform::vk::Shift, true);
        input.InjectKey(key, true);
        input.InjectKey(key, false);
        if (shift)
            input.InjectKey(platform::vk::Shift, false);
        if (ctrl)
            input.InjectKey(platform::vk::Control, false);
        f.Pump();
        f.clock.Advance(200); // past the key-repeat filter
    };
    // With the page focused, a plain letter (a "y" meant for a question) changes nothing.
    for (uint32_t key : {uint32_t('R'), uint32_t('Z'), uint32_t('Y')}) {
        press(key, false);
        EXPECT_EQ(page->History().steps.size(), 1u) << char(key);
        EXPECT_EQ(page->Document().width, 40) << char(key);
    }
    press('R', true);
    EXPECT_EQ(page->Document().width, 30) << "Ctrl+R";
    press('R', true, true);
    EXPECT_EQ(page->History().steps.size(), 3u) << "Ctrl+Shift+R";
    press('Z', true);
    EXPECT_EQ(page->History().current, 1) << "Ctrl+Z";
    press('Y', false);
    EXPECT_EQ(page->History().current, 1) << "a plain y";
    press('Y', true);
    EXPECT_EQ(page->History().current, 2) << "Ctrl+Y";
}

TEST(MainWindow, TheHoverPictureOfATabGoesWhenTheTabIsShown)
{
    Frame f;
    ASSERT_TRUE(f.opened);
    ASSERT_TRUE(f.dlg.OpenImage(f.Photo("first.png"), 0, nullptr, 0));
    ASSERT_TRUE(f.dlg.OpenImage(f.Photo("second.png"), 0, nullptr, 0));
    CSMainTabFrame& strip = f.dlg.TabFrame();
    ASSERT_EQ(strip.Selected(), 2);
    int start = 0, end = 0;
    strip.GetTabExtent(1, &start, &end);
    strip.OnMouseMove(150 + start + 5, 12, 0);
    ASSERT_NE(f.dlg.Tooltip(), nullptr);
    EXPECT_TRUE(f.dlg.Tooltip()->IsVisible()) << "an inactive editor tab shows its picture";
    // Showing that tab takes the picture away: it would cover the page with a stale copy.
    ASSERT_TRUE(strip.SelectPage(strip.PageAt(1), 0));
    EXPECT_FALSE(f.dlg.Tooltip()->IsVisible());
}

TEST(MainWindow, CloseAsksForTheLastTabFirstAndACancelKeepsTheRest)
{
    Frame f;
    ASSERT_TRUE(f.opened);
    for (const char* name : {"one.png", "two.png", "three.png"}) {
        ASSERT_TRUE(f.dlg.OpenImage(f.Photo(name), 0, nullptr, 0));
        ASSERT_TRUE(f.dlg.GetActiveEditPage()->RotateFlip(kCmdRotateRight));
    }
    ASSERT_EQ(f.Pages(), 4);
    // "closeProgram" No: nothing asked further, nothing closed.
    f.answers = {7};
    f.dlg.OnCloseRequest();
    EXPECT_EQ(f.asked.size(), 1u);
    EXPECT_EQ(f.Pages(), 4);
    // Yes, then three's save question No (closes unsaved), two's Yes with the save cancelled
    // (keeps): one and two stay, the run goes on.
    f.asked.clear();
    f.answers = {6, 7, 6};
    f.dlg.OnCloseRequest();
    ASSERT_EQ(f.asked.size(), 3u);
    EXPECT_EQ(f.asked[0], UiText(u"closeProgram"));
    EXPECT_EQ(f.asked[1], UiText(u"onclosesave"));
    EXPECT_EQ(f.Pages(), 3);
    EXPECT_EQ(std::u16string(f.dlg.TabFrame().PageAt(1)->Title()), u"one.png");
    EXPECT_EQ(std::u16string(f.dlg.TabFrame().PageAt(2)->Title()), u"two.png");
    EXPECT_FALSE(f.dlg.Ended());
    // Yes, then No to each save question: every tab closes and the run ends; a clean tab asks
    // nothing.
    f.asked.clear();
    f.answers = {6, 7, 7};
    f.dlg.OnCloseRequest();
    EXPECT_EQ(f.asked.size(), 3u) << "closeProgram and two modified tabs";
    EXPECT_EQ(f.Pages(), 1);
    EXPECT_TRUE(f.dlg.Ended());
}

TEST(MainWindow, LaunchModesCloseWithoutTheAlbum)
{
    struct Case { int32_t mode; size_t questions; const char* why; };
    const Case cases[] = {
        {1, 1, "host mode: Yes ends at once, the host gets nothing back"},
        {3, 2, "modes 2 to 5 and 10 keep the save question of modified tabs"},
        {10, 2, "a command line starting with a quote"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Frame f(c.mode);
        ASSERT_TRUE(f.opened);
        EXPECT_EQ(f.dlg.AlbumPage(), nullptr);
        EXPECT_EQ(f.Pages(), 0);
        EXPECT_FALSE(f.dlg.TabFrame().AlbumButtonAllowed());
        ASSERT_TRUE(f.dlg.OpenImage(f.Photo("h.png"), 0, nullptr, 0));
        EXPECT_EQ(f.dlg.GetActiveEditPage()->hostMode, 1);
        ASSERT_TRUE(f.dlg.GetActiveEditPage()->RotateFlip(kCmdRotateRight));
        f.dlg.OnCloseRequest();
        EXPECT_EQ(f.asked.size(), c.questions);
        EXPECT_EQ(f.exited, 0);
    }
}

TEST(MainWindow, TooLittleTempSpaceRefusesTheStart)
{
    struct Case { uint64_t free; bool opens; };
    const Case cases[] = {{0x40000000ull - 1, false}, {0x40000000ull, true}, {uint64_t(900) << 20, false}};
    for (const Case& c : cases) {
        Frame f(0, false);
        f.free = c.free;
        EXPECT_EQ(f.Open(), c.opens) << c.free;
        if (!c.opens) {
            ASSERT_EQ(f.asked.size(), 1u);
            EXPECT_EQ(f.asked[0], u"Not enough disk space to store temp files");
            EXPECT_EQ(f.dlg.TabFrame().PageCount(), 0) << "nothing was created";
        } else {
            EXPECT_TRUE(f.asked.empty());
        }
    }
}

TEST(MainWindow, SettingsDialogWritesTheFourValuesOnOkOnly)
{
    Frame f;
    ASSERT_TRUE(f.opened);
    const platform::String16 dialogs = (kProgramFolder / "dialogs").u16string();
    struct Case { bool ok; uint32_t animation, wizard, film, dblclick; };
    // Start: Animation 0 and AutoWizard 0 (the frame's), the rest unset (defaults 1, 0). Each
    // run ticks the first box (animation) and then leaves with OK or Cancel.
    const Case cases[] = {
        {false, 0, 0, 1, 0},
        {true, 1, 0, 1, 0},
        {false, 1, 0, 1, 0},
        {true, 0, 0, 1, 0},
    };
    WriteRegistryDword(u"Program", u"Animation", 0);
    g_bAnimation.store(0);
    for (const Case& c : cases) {
        const int result = ShowSettingsDialog(dialogs, [&](CSettingsDlg& d) {
            CSprite* box = d.GetControl(CSettingsDlg::kAnimationId);
            CSprite* button = d.GetControl(c.ok ? 1 : 2);
            ASSERT_NE(box, nullptr);
            ASSERT_NE(button, nullptr);
            for (CSprite* s : {box, button}) {
                const SRect r = s->LocalToWindowRect({0, 0, s->Width(), s->Height()});
                const platform::Point p{r.left + std::min(8, r.Width() / 2), (r.top + r.bottom) / 2};
                f.dlg.PlatformWindow()->Headless()->InjectMouseMove(p);
                f.dlg.PlatformWindow()->Headless()->InjectButton(platform::MouseButton::Left, true, p);
                f.dlg.PlatformWindow()->Headless()->InjectButton(platform::MouseButton::Left, false, p);
            }
        });
        EXPECT_EQ(result, c.ok ? 1 : 2);
        EXPECT_EQ(ReadRegistryDword(u"Program", u"Animation", 99, 1), c.animation) << c.ok;
        EXPECT_EQ(ReadRegistryDword(u"Editor", u"AutoWizard", 99, 1), c.wizard);
        EXPECT_EQ(ReadRegistryDword(u"Editor", u"FilmForRAW", c.ok ? 99 : 1, 1), c.film);
        EXPECT_EQ(ReadRegistryDword(u"Editor", u"DbClickForEdit", c.ok ? 99 : 0, 1), c.dblclick);
        EXPECT_EQ(uint32_t(g_bAnimation.load()), c.animation);
    }
}

TEST(MainWindow, AboutBoxGuardTimeVersionLineAndTenthTick)
{
    struct Version { int offsetTenths; const char16_t* text; };
    const Version versions[] = {{34, u"version 5.0 for Linux"}, {5, u"version 7.0 for Linux"}, {0, u"version 8.0 for Linux"}};
    for (const Version& v : versions)
        EXPECT_EQ(AboutVersionText(v.offsetTenths), v.text);

    Frame f;
    ASSERT_TRUE(f.opened);
    CAboutSprite about(5);
    ASSERT_TRUE(about.Create(nullptr, &f.dlg, 9999, 170, 0, 0, 560, 320));
    EXPECT_EQ(about.Width(), 560);
    EXPECT_EQ(about.Rect().left, (f.dlg.LogicalWidth() - 560) / 2);
    // Drawn: the version line's right end at 529, top 279, in light grey.
    f.dlg.AddTopLevel(&about);
    about.SetVisible(1);
    about.Update(0);
    about.OnDraw(0);
    ASSERT_NE(about.VersionImage().data, nullptr);
    bool grey = false;
    for (int y = 279; y < 279 + about.VersionImage().height && !grey; ++y)
        for (int x = 529 - about.VersionImage().width; x < 529; ++x) {
            const uint8_t* p = about.Image().data + (size_t(y) * about.Image().width + x) * 4;
            grey |= p[0] == 0xC8 && p[1] == 0xC8 && p[2] == 0xC8;
        }
    EXPECT_TRUE(grey);

    struct Step { uint32_t after; bool closed; };
    const Step steps[] = {{0, false}, {150, false}, {200, false}, {201, true}};
    for (const Step& s : steps) {
        // The guard counts from the moment the box was shown (Run takes the time; a box not run
        // counts from 0).
        CAboutSprite box(5);
        ASSERT_TRUE(box.Create(nullptr, &f.dlg, 9999, 170, 0, 0, 560, 320));
        f.clock.Set(uint64_t(box.ShownAt()) + s.after);
        box.OnInput();
        EXPECT_EQ(box.Closed() != 0, s.closed) << s.after;
        box.ReleaseResources(1);
    }
    f.clock.Set(2000000);

    // The tenth start-up tick closes the about box when it is the topmost popup.
    f.dlg.PushModal(&about);
    const int before = f.dlg.StartupTicks();
    for (int i = before; i < kStartupTicks; ++i)
        f.dlg.OnWindowTimer(IDT_STARTUP);
    EXPECT_TRUE(about.Closed());
    f.dlg.PopModal(&about);
    f.dlg.ForgetTopLevel(&about);
    about.ReleaseResources(1);
}

TEST(MainWindow, IdleReleasesSpareMemoryOnceAfterFiveQuietSeconds)
{
    Frame f;
    ASSERT_TRUE(f.opened);
    const int start = f.dlg.IdleReleases();
    f.clock.Advance(2000);
    f.dlg.OnWindowTimer(IDT_IDLE);
    EXPECT_EQ(f.dlg.IdleReleases(), start) << "not yet idle";
    f.clock.Advance(4000);
    f.dlg.OnWindowTimer(IDT_IDLE);
    EXPECT_EQ(f.dlg.IdleReleases(), start + 1);
    EXPECT_FALSE(f.dlg.PlatformWindow()->TimerSet(IDT_IDLE)) << "an idle program keeps no timer running";
    f.clock.Advance(6000);
    f.dlg.OnWindowTimer(IDT_IDLE);
    EXPECT_EQ(f.dlg.IdleReleases(), start + 1) << "once per quiet spell";
    f.dlg.PlatformWindow()->Headless()->InjectMouseMove({200, 200});
    f.Pump();
    EXPECT_TRUE(f.dlg.PlatformWindow()->TimerSet(IDT_IDLE)) << "input starts the check again";
    f.clock.Advance(6000);
    f.dlg.OnWindowTimer(IDT_IDLE);
    EXPECT_EQ(f.dlg.IdleReleases(), start + 2);
}

TEST(MainWindow, HelpOpensTheHelpDocumentAndSaysWhenTheOpenerFails)
{
    Frame f;
    ASSERT_TRUE(f.opened);
    // An opener that ends with 3 is what xdg-open does when no program opens PDF files.
    const fs::path noViewer = f.folder / "no-viewer.sh";
    {
        std::ofstream script(noViewer);
        script << "#!/bin/sh\nexit 3\n";
    }
    fs::permissions(noViewer, fs::perms::owner_all);
    // The program's English texts.
    static StringTable english;
    ASSERT_EQ(english.Parse((kProgramFolder / "basic/resource.txt").u16string().c_str()), 1);
    SetUiTextSource([](const char16_t* key) -> const char16_t* { return english.FindText(key); });
    struct Texts { ~Texts() { SetUiTextSource(nullptr); } } texts;
    const std::u16string helpFile = platform::JoinPath(platform::ProgramFolder(), u"Tarnwick.pdf");
    struct Case { std::string opener; const char16_t* says; };
    const Case cases[] = {
        {"true", nullptr},
        {"false", u"ShellExecute returns error: 1"},
        {"/nonexistent/opener", u"no program"},
        {noViewer.string(), u"no program"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.opener);
        platform::SetShellOpener(c.opener);
        f.asked.clear();
        // The help button's click arrives as WM_SPRITE_BUTTON with its id.
        f.dlg.PlatformWindow()->PostMessage(WM_SPRITE_BUTTON, 101, 0);
        f.Pump();
        ASSERT_EQ(f.asked.size(), c.says ? 1u : 0u);
        if (!c.says)
            continue;
        if (std::u16string(c.says) == u"no program") {
            // Says that nothing opens PDF files, and where the help file is.
            EXPECT_NE(f.asked[0].find(u"PDF"), std::u16string::npos);
            EXPECT_NE(f.asked[0].find(helpFile), std::u16string::npos);
            EXPECT_EQ(f.asked[0].find(u"ShellExecute"), std::u16string::npos);
        } else {
            EXPECT_EQ(f.asked[0], c.says);
        }
    }
    platform::SetShellOpener("");
}

TEST(MainWindow, CrashStatusFileFollowsTheEditorTabs)
{
    Frame f(0, false);
    ASSERT_TRUE(f.Open());
    // The history's steps reach the window through the document hooks, as in the program.
    InstallDocumentUi();
    struct Remove { ~Remove() { RemoveDocumentUi(); } } remove;
    const fs::path file = f.folder / "ZDStatus.flg";
    EXPECT_FALSE(fs::exists(file));
    ASSERT_TRUE(f.dlg.OpenImage(f.Photo("one.png"), 0, nullptr, 0));
    ASSERT_TRUE(fs::exists(file));
    // T = 1, one path of 1024 bytes, S = 1, one record.
    EXPECT_EQ(fs::file_size(file), 2u + 1024 + 2 + 1116);
    ASSERT_TRUE(f.dlg.GetActiveEditPage()->RotateFlip(kCmdRotateRight));
    EXPECT_EQ(fs::file_size(file), 2u + 1024 + 2 + 2 * 1116) << "a history step rewrites it";
    ASSERT_TRUE(f.dlg.OpenImage(f.Photo("two.png"), 0, nullptr, 0));
    EXPECT_EQ(fs::file_size(file), 2u + 2 * (1024 + 2) + 3 * 1116);
    // The turned photo's save question: No.
    f.answers = {7};
    ASSERT_TRUE(f.dlg.CloseTab(f.dlg.TabFrame().PageAt(2)));
    f.dlg.WriteCrashStatus(); // as the strip's close button does after a close
    EXPECT_EQ(fs::file_size(file), 2u + 1024 + 2 + 2 * 1116);
    ASSERT_TRUE(f.dlg.CloseTab(f.dlg.TabFrame().PageAt(1)));
    EXPECT_FALSE(fs::exists(file)) << "no editor tab, no file";
}

TEST(MainWindow, HostModeReadsTheExchangeFileAndReportsAFailedWriteBack)
{
    Frame f(1, false);
    const fs::path exchange = f.folder / "exchange.bin";
    ImageBuffer16 picture;
    ASSERT_TRUE(AllocImage16(picture, 3, 2));
    for (uint32_t i = 0; i < picture.pixelCount * 4; ++i)
        picture.data[i] = uint16_t(i * 4000);
    for (uint32_t i = 0; i < picture.pixelCount; ++i)
        picture.data[i * 4 + 3] = 0xFFFF;
    ASSERT_TRUE(WritePluginImage(exchange.u16string(), picture));
    FreeImageBuffer(picture);
    f.dlg.commandPath = exchange.u16string();
    ASSERT_TRUE(f.Open());
    ASSERT_TRUE(f.dlg.RunStartup());
    CSEditPage* page = f.dlg.GetActiveEditPage();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->hostMode, 1);
    EXPECT_EQ(page->Document().width, 3);
    EXPECT_EQ(std::u16string(page->Document().GetLayer(0)->name), std::u16string(UiText(u"pluginLayer")).substr(0, 31));
    EXPECT_FALSE(fs::exists(exchange)) << "read and removed";
    EXPECT_FALSE(fs::exists(f.folder / "ZDStatus.flg"));

    // The write fails (the exchange file's folder is gone): "unexpect", and the program stays.
    f.dlg.commandPath = (f.folder / "gone" / "exchange.bin").u16string();
    f.asked.clear();
    EXPECT_EQ(page->ApplyToHost(), 0);
    ASSERT_EQ(f.asked.size(), 1u);
    EXPECT_EQ(f.asked[0], UiText(u"unexpect"));
    EXPECT_EQ(f.exited, -1) << "never exit code 0 after a failed write";
    // Written: the process ends with 0.
    f.dlg.commandPath = exchange.u16string();
    EXPECT_EQ(page->ApplyToHost(), 1);
    EXPECT_EQ(f.exited, 0);
    EXPECT_TRUE(fs::exists(exchange));
}

TEST(MainWindow, ProjectFileNamedAtStartOpensOrSaysItCannot)
{
    Frame f;
    ASSERT_TRUE(f.opened);
    // A project saved from a photo's document.
    CZDDoc doc;
    ASSERT_TRUE(doc.OpenImage(f.Photo("p.png", 12, 8)));
    const fs::path project = f.folder / "work.zdoc";
    ASSERT_EQ(SaveProjectFile(project.u16string(), doc, nullptr), ProjectSaveResult::Saved);
    const fs::path broken = f.folder / "broken.zdoc";
    { std::FILE* b = std::fopen(broken.string().c_str(), "wb"); std::fputs("not a project", b); std::fclose(b); }

    struct Case { fs::path path; int pages; size_t asked; };
    const Case cases[] = {{project, 2, 0}, {broken, 2, 1}, {f.folder / "missing.zdoc", 2, 1}};
    for (const Case& c : cases) {
        f.asked.clear();
        f.dlg.openAtStart = true;
        f.dlg.commandPath = c.path.u16string();
        EXPECT_EQ(f.dlg.RunStartup(), 1) << "a failed project never stops the start";
        EXPECT_EQ(f.Pages(), c.pages) << c.path;
        ASSERT_EQ(f.asked.size(), c.asked) << c.path;
        if (c.asked) {
            EXPECT_EQ(f.asked[0], UiText(u"Cannotopenfile"));
        }
    }
    EXPECT_EQ(f.dlg.GetActiveEditPage()->Document().width, 12);
}

TEST(MainWindow, GoAlbumShowsOnceTheAlbumsTabHasScrolledAwayAndBringsItBack)
{
    struct Case { int32_t mode; bool allowed; };
    const Case cases[] = {{0, true}, {2, false}};
    for (const Case& c : cases) {
        Frame f(c.mode);
        ASSERT_TRUE(f.opened);
        CSMainTabFrame& strip = f.dlg.TabFrame();
        for (int i = 0; i < 9; ++i)
            ASSERT_TRUE(f.dlg.OpenImage(f.Photo(("a-rather-long-photo-name-" + std::to_string(i) + ".png").c_str()), 0,
                                        nullptr, 0));
        for (int i = 0; i < 30; ++i)
            f.Pump();
        EXPECT_FALSE(strip.GoAlbumButton().IsVisible()) << "at the start of the strip";
        int s0 = 0, e0 = 0;
        strip.GetTabExtent(0, &s0, &e0);
        for (int step = 0; step < 12 && strip.Scroll() < e0; ++step) {
            strip.ScrollTabs(false);
            for (int i = 0; i < 40; ++i)
                f.Pump();
        }
        if (!c.allowed) {
            EXPECT_FALSE(strip.GoAlbumButton().IsVisible()) << "a launch mode never shows it";
            continue;
        }
        ASSERT_GE(strip.Scroll(), e0) << "the strip did not scroll past the album's tab";
        EXPECT_TRUE(strip.GoAlbumButton().IsVisible());
        SpriteMessage m{};
        m.code = MSG_COMMAND;
        m.param1 = CSMainTabFrame::kGoAlbumButton;
        m.sender = &strip.GoAlbumButton();
        strip.OnSpriteMessage(&m);
        for (int i = 0; i < 40; ++i)
            f.Pump();
        EXPECT_EQ(strip.Selected(), 0);
        EXPECT_EQ(strip.Scroll(), 0);
        EXPECT_FALSE(strip.GoAlbumButton().IsVisible());
    }
}

// A run that ends without closing (its objects gone, its files left as a kill leaves them),
// then a start that recovers: the tab comes back unsaved, at its last step, with its undo steps.
TEST(MainWindow, RecoveredTabIsUnsavedAndUndoesTheStepsOfTheCrashedRun)
{
    InstallDocumentUi();
    struct Remove { ~Remove() { RemoveDocumentUi(); } } remove;
    // Beside the frames' folder, which each frame removes as it goes.
    const fs::path keep = TestFolder().string() + "-crash";
    fs::create_directories(keep / "tmp");
    // A temporary folder of its own: the crashed run's history files wait there unlocked, and
    // the other tests of the set run programs (and clean-ups) of their own in the shared one.
    platform::test::ScopedEnv env;
    env.Set("TMPDIR", (keep / "tmp").string());
    const std::u16string status = (keep / "ZDStatus.flg").u16string();
    std::vector<std::vector<uint16_t>> shown; // the picture after each step
    std::u16string dataPath;
    {
        Frame f(0, false);
        f.dlg.crashStatusPath = status;
        ASSERT_TRUE(f.Open());
        ASSERT_TRUE(f.dlg.OpenImage(MakePhoto(keep / "p.png", 30, 20), 0, nullptr, 0));
        CSEditPage* page = f.dlg.GetActiveEditPage();
        shown.push_back(Pixels(page->Document()));
        ASSERT_TRUE(page->RotateFlip(kCmdRotateRight));
        shown.push_back(Pixels(page->Document()));
        ASSERT_TRUE(page->RotateFlip(kCmdRotateRight));
        shown.push_back(Pixels(page->Document()));
        dataPath = page->History().path;
        ASSERT_TRUE(fs::exists(keep / "ZDStatus.flg"));
    }
    ASSERT_TRUE(fs::exists(fs::path(dataPath)));
    ASSERT_TRUE(fs::exists(keep / "ZDStatus.flg")) << "left as a kill leaves it";

    Frame f(0, false);
    f.dlg.crashStatusPath = status;
    ASSERT_TRUE(f.Open());
    ASSERT_TRUE(f.dlg.RunStartup());
    ASSERT_EQ(f.asked.size(), 1u);
    EXPECT_EQ(f.asked[0], UiText(u"crashfound"));
    CSEditPage* page = f.dlg.GetActiveEditPage();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(Pixels(page->Document()), shown[2]);
    EXPECT_TRUE(page->Unsaved()) << "nothing of it is saved";
    EXPECT_EQ(std::u16string(page->History().path), dataPath) << "the crashed run's history goes on";
    ASSERT_EQ(page->History().steps.size(), 3u);
    // Undo walks back through the crashed run's steps; redo comes back; a new step follows.
    ASSERT_TRUE(page->Model().Undo());
    EXPECT_EQ(Pixels(page->Document()), shown[1]);
    ASSERT_TRUE(page->Model().Undo());
    EXPECT_EQ(Pixels(page->Document()), shown[0]);
    EXPECT_FALSE(page->Model().Undo());
    EXPECT_TRUE(page->Unsaved()) << "even at the open step: the photo on disk may differ";
    ASSERT_TRUE(page->Model().Redo());
    EXPECT_EQ(Pixels(page->Document()), shown[1]);
    ASSERT_TRUE(page->RotateFlip(kCmdRotateLeft));
    EXPECT_EQ(Pixels(page->Document()), shown[0]);
    EXPECT_EQ(page->History().steps.size(), 3u) << "the redo step gave way";
    // The file is this run's now, at the same place, and lists the tab as it is.
    EXPECT_EQ(f.dlg.CrashStatusPath(), status);
    EXPECT_EQ(fs::file_size(keep / "ZDStatus.flg"), 2u + 1026 + 3 * 1116);
    // The close asks before the recovered changes are lost; Yes with the save cancelled keeps
    // the tab, No lets it go.
    f.asked.clear();
    f.answers = {6};
    EXPECT_FALSE(f.dlg.CloseTab(page));
    ASSERT_EQ(f.asked.size(), 1u);
    EXPECT_EQ(f.asked[0], UiText(u"onclosesave"));
    f.answers = {7};
    ASSERT_TRUE(f.dlg.CloseTab(page));
    EXPECT_FALSE(fs::exists(keep / "ZDStatus.flg"));
    // The history is this run's to delete at its end.
    DeleteRunTempFiles();
    EXPECT_FALSE(fs::exists(fs::path(dataPath)));
    fs::remove_all(keep);
}

// Recovery writes no status file of its own until every tab is back: the crashed run's file
// lists them meanwhile, and a second file made half-way would bring tabs back twice after a
// kill. A tab with only its open step goes through the same first-step write as an opened photo.
TEST(MainWindow, RecoveryKeepsTheCrashedRunsFileUntilEveryTabIsBack)
{
    InstallDocumentUi();
    struct Remove { ~Remove() { RemoveDocumentUi(); } } remove;
    const fs::path keep = TestFolder().string() + "-crash2";
    fs::create_directories(keep / "tmp");
    platform::test::ScopedEnv env; // as above: the crashed run's files in a folder of its own
    env.Set("TMPDIR", (keep / "tmp").string());
    const std::u16string status = (keep / "ZDStatus.flg").u16string();
    {
        Frame f(0, false);
        f.dlg.crashStatusPath = status;
        ASSERT_TRUE(f.Open());
        ASSERT_TRUE(f.dlg.OpenImage(MakePhoto(keep / "opened.png", 20, 10), 0, nullptr, 0));
        ASSERT_TRUE(f.dlg.OpenImage(MakePhoto(keep / "turned.png", 30, 20), 0, nullptr, 0));
        ASSERT_TRUE(f.dlg.GetActiveEditPage()->RotateFlip(kCmdRotateRight));
    }
    ASSERT_EQ(fs::file_size(keep / "ZDStatus.flg"), 2u + 2 * 1026 + 3 * 1116) << "left as a kill leaves it";

    Frame f(0, false);
    f.dlg.crashStatusPath = status;
    ASSERT_TRUE(f.Open());
    ASSERT_TRUE(f.dlg.RunStartup());
    ASSERT_EQ(f.Pages(), 3);
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(keep))
        if (entry.path().extension() == ".flg")
            files.push_back(entry.path().filename().string());
    EXPECT_EQ(files, std::vector<std::string>{"ZDStatus.flg"}) << "one file, the crashed run's name taken over";
    EXPECT_EQ(f.dlg.CrashStatusPath(), status);
    EXPECT_EQ(fs::file_size(keep / "ZDStatus.flg"), 2u + 2 * 1026 + 3 * 1116) << "both tabs with their steps";
    // Recovered tabs are unsaved: No to each close question.
    f.answers = {7, 7};
    ASSERT_TRUE(f.dlg.CloseTab(f.dlg.TabFrame().PageAt(2)));
    ASSERT_TRUE(f.dlg.CloseTab(f.dlg.TabFrame().PageAt(1)));
    EXPECT_FALSE(fs::exists(keep / "ZDStatus.flg"));
    DeleteRunTempFiles();
    fs::remove_all(keep);
}

TEST(MainWindow, ACrashStatusFileThatCannotBeWrittenIsSaidOnceUntilItWorksAgain)
{
    InstallDocumentUi();
    struct Remove { ~Remove() { RemoveDocumentUi(); } } remove;
    Frame f(0, false);
    const fs::path missing = f.folder / "not-yet";
    f.dlg.crashStatusPath = (missing / "ZDStatus.flg").u16string();
    ASSERT_TRUE(f.Open());
    ASSERT_TRUE(f.dlg.OpenImage(f.Photo("p.png"), 0, nullptr, 0));
    ASSERT_EQ(f.asked.size(), 1u);
    EXPECT_EQ(f.asked[0], UiText(u"crashStatusFailed"));
    CSEditPage* page = f.dlg.GetActiveEditPage();
    ASSERT_TRUE(page->RotateFlip(kCmdRotateRight));
    EXPECT_EQ(f.asked.size(), 1u) << "said once, not at every step";
    EXPECT_TRUE(f.dlg.CrashStatusPath().empty());
    // The folder is there again: the next step writes the file.
    fs::create_directories(missing);
    ASSERT_TRUE(page->RotateFlip(kCmdRotateRight));
    EXPECT_TRUE(fs::exists(missing / "ZDStatus.flg"));
    EXPECT_EQ(f.asked.size(), 1u);
    // Gone again: said again.
    fs::remove_all(missing);
    ASSERT_TRUE(page->RotateFlip(kCmdRotateRight));
    ASSERT_EQ(f.asked.size(), 2u);
    EXPECT_EQ(f.asked[1], UiText(u"crashStatusFailed"));
    f.answers = {6};
}
