// The folder page and the preview drawn by the real frame loop: the photo count beside a row, the
// separators, the darkened preview with its framed picture. With ZENDRA_SCREEN_DIR set the same
// scene runs in an SDL window on the display (Xvfb) with the program's skins from
// ZENDRA_PROGRAM_DIR, and waits ZENDRA_SCREEN_HOLD_MS after each phase, touching
// "<dir>/<phase>.ready" so that a script can take screenshots.
#include "album/AlbumPreview.h"
#include "album/Favourites.h"
#include "album/FolderPage.h"
#include "album/ScanScopeDlg.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "platform/DialogTemplate.h"
#include "platform/Path.h"
#include "ui/StringTable.h"
#include "ui/Tree.h"
#include "platform/tests/ImageFileTestUtil.h"
#include "ui/DrawnUiImages.h"
#include "ui/ToolkitControls.h"
#include "ui/tests/UiTestWindow.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using platform::String16;
using testutil::TempFolder;

namespace {

String16 U16(const std::string& s) { return platform::Utf8ToUtf16(s); }

std::string g_programDir;
StringTable g_texts;

const char16_t* ProgramText(const char16_t* key)
{
    const char16_t* text = g_texts.LookupText(key);
    return text ? text : key;
}

int ProgramSkins(UiImageFolder folder, const char16_t* name, ImageBuffer8& out)
{
    const std::string path =
        g_programDir + (folder == UiImageFolder::Skin ? "/skin/" : "/basic/") + platform::Utf16ToUtf8(name);
    if (CodecLoadImage8(out, U16(path).c_str()))
        return 1;
    return DrawnUiImage(folder, name, out);
}

int TestSkins(UiImageFolder folder, const char16_t* name, ImageBuffer8& out)
{
    if (DrawnUiImage(folder, name, out))
        return 1;
    if (platform::StringView16(name) == u"smalldigi.png") {
        // Eleven 5-pixel glyphs as coverage: a solid 4 x 7 block each.
        if (!AllocImage8(out, 55, 9))
            return 0;
        std::fill(out.data, out.data + out.byteSize, uint8_t(0));
        for (int g = 0; g < 11; ++g)
            for (int y = 1; y < 8; ++y)
                std::fill_n(out.data + (size_t(y) * 55 + size_t(g) * 5) * 4, 16, uint8_t(255));
        return 1;
    }
    const bool tree = platform::StringView16(name) == u"foldertree.png";
    if (!AllocImage8(out, tree ? 128 : 16, 16))
        return 0;
    std::fill(out.data, out.data + out.byteSize, uint8_t(160));
    return 1;
}

struct NullHost : IFolderPageHost {
    int entries = 0;
    void RefreshList() override {}
    void BeginFolderListing(bool) override { entries = 0; }
    void AddFolderEntry(int32_t, const String16&, platform::FileTime, bool) override { ++entries; }
    void EndFolderListing(bool) override {}
};

// A page-sized backdrop, as the album page would be.
class Backdrop : public CMessageSprite {
public:
    Backdrop() { SetFlags(SF_INPUT); }
    int OnDraw(uint32_t) override
    {
        if (!AllDirty() || !m_image.data)
            return 0;
        for (uint32_t i = 0; i < m_image.pixelCount; ++i) {
            const uint32_t c = 0xFF262626;
            std::memcpy(m_image.data + size_t(i) * 4, &c, 4);
        }
        InvalidateRect(0, 0, 0, 0, 1);
        return 1;
    }
};

} // namespace

TEST(FolderPageScreen, CountsSeparatorsAndThePreviewOnScreen)
{
    const char* screenDir = std::getenv("ZENDRA_SCREEN_DIR");
    const bool onDisplay = screenDir && *screenDir;
    const int hold = std::getenv("ZENDRA_SCREEN_HOLD_MS") ? std::atoi(std::getenv("ZENDRA_SCREEN_HOLD_MS")) : 1500;
    auto phase = [&](const char* name) {
        if (!onDisplay)
            return;
        platform::SleepMs(300);
        std::ofstream(std::string(screenDir) + "/" + name + ".ready") << name;
        platform::SleepMs(uint32_t(hold));
    };

    TempFolder dir;
    const std::string home = dir / "ann";
    std::filesystem::create_directories(home + "/Pictures/2024 Trip");
    std::filesystem::create_directories(home + "/Pictures/Family/Birthdays");
    std::filesystem::create_directories(home + "/Pictures/Scans");
    std::filesystem::create_directories(home + "/Documents");
    for (int i = 0; i < 7; ++i)
        std::ofstream(home + "/Pictures/Family/p" + std::to_string(i) + ".jpg") << "x";
    for (int i = 0; i < 150; ++i)
        std::ofstream(home + "/Pictures/Scans/s" + std::to_string(i) + ".png") << "x";
    ASSERT_TRUE(testutil::Convert("-size 1600x900 plasma:fractal -blur 0x2", home + "/Pictures/2024 Trip/a.jpg"));
    ASSERT_TRUE(testutil::Convert("-size 1000x1400 gradient:#3060a0-#e0c080", home + "/Pictures/2024 Trip/b.jpg"));

    platform::ManualTickSource clock{100000};
    std::unique_ptr<platform::ScopedTickSource> scopedClock;
    if (!onDisplay)
        scopedClock = std::make_unique<platform::ScopedTickSource>(clock);
    if (onDisplay) {
        g_programDir = std::getenv("ZENDRA_PROGRAM_DIR") ? std::getenv("ZENDRA_PROGRAM_DIR") : "";
        SetUiImageSource(&ProgramSkins);
        if (g_texts.Parse(U16(g_programDir + "/basic/resource.txt").c_str()))
            SetUiTextSource(&ProgramText);
    } else {
        SetUiImageSource(&TestSkins);
    }
    ResetSharedUiImages();
    RegisterToolkitControls();
    auto window = std::make_unique<CRenderWindow>();
    RenderWindowOptions o;
    o.backend = onDisplay ? platform::BackendKind::Sdl : platform::BackendKind::Headless;
    o.window.width = 1280;
    o.window.height = 800;
    o.maximize = false;
    o.startRenderThread = onDisplay;
    ASSERT_TRUE(window->Open(o));
    window->PlatformWindow()->PumpPending();
    window->SetWindowReady(1);
    auto frame = [&] {
        if (onDisplay) {
            for (int i = 0; i < 10; ++i) {
                window->PlatformWindow()->PumpPending();
                platform::SleepMs(30);
            }
        } else {
            clock.Advance(30);
            window->RenderFrame(platform::GetTickCount32());
            window->PlatformWindow()->PumpPending();
        }
    };

    auto* backdrop = new Backdrop;
    backdrop->SetAutoDelete(1);
    ASSERT_TRUE(backdrop->Create(nullptr, window.get(), 0, 10, 0, 0, 1280, 800));
    window->AddTopLevel(backdrop);

    SetHomeFolderForVolumes(U16(home));
    SetVolumeReader([] {
        platform::Volume root;
        root.mountPoint = u"/";
        return std::vector<platform::Volume>{root};
    });
    NullHost host;
    auto* page = new CSFolderPage;
    page->SetAutoDelete(1);
    page->SetHost(&host);
    char16_t start[kStartFolderChars] = {};
    platform::CopyText(start, U16(home + "/Pictures/"));
    page->SetConfig({nullptr, nullptr, start});
    ASSERT_TRUE(page->Create(backdrop, nullptr, 1000, 0, 0, 300, 800, 2));
    backdrop->AddChild(page);
    page->SetPos(0, 0, 300, 800);
    ASSERT_EQ(page->InitTree(), 1);
    ASSERT_NE(page->Current(), nullptr);
    // Open the folder as a click on its expander does, so that its sub-folders show their counts.
    for (int row = 0; row < page->Tree().RowCount(); ++row)
        if (page->Tree().Row(row).node == page->Current())
            page->Tree().ToggleExpand(row);
    for (int i = 0; i < 4; ++i)
        frame();
    phase("folders");

    // The count of Scans ("+") and of Family ("7") are drawn right of their names.
    if (!onDisplay) {
        CSFolderTree& tree = page->Tree();
        int w = 0, h = 0;
        const std::vector<uint8_t> surface = window->PlatformWindow()->Headless()->ReadSurface(w, h);
        int found = 0;
        for (int row = 0; row < tree.RowCount(); ++row) {
            const TreeRow r = tree.Row(row);
            const auto* node = static_cast<const CFolderNode*>(r.node);
            if (node->imageCount == 0 || node->nodeKind != kFolderNodeFolder)
                continue;
            const SRect t = tree.LocalToWindowRect({0, 0, 1, 1});
            const int y0 = t.top + row * 20 - tree.ScrollOffset() + 7;
            const int x0 = t.left + r.textX + node->textImage.width;
            bool inked = false;
            for (int y = y0; y < y0 + 9 && y < h && !inked; ++y)
                for (int x = x0 + 2; x < x0 + 20 && x < w && !inked; ++x) {
                    const uint8_t* px = &surface[(size_t(y) * size_t(w) + size_t(x)) * 4];
                    inked = px[2] > 0x80 && px[0] > px[2]; // the count's light blue
                }
            EXPECT_TRUE(inked) << "count beside row " << row;
            ++found;
        }
        EXPECT_EQ(found, 3); // 2024 Trip, Family, Scans
    }

    // The preview over the page area right of the folder page.
    auto* preview = new CSAlbumPreview;
    preview->SetAutoDelete(1);
    if (!onDisplay)
        preview->m_framePauseMs = 0;
    ASSERT_TRUE(preview->Create(backdrop, nullptr, CSAlbumPreview::kId, 20, 0, 0, 1280, 800));
    preview->SetVisible(0);
    backdrop->AddChild(preview);
    const String16 a = U16(home + "/Pictures/2024 Trip/a.jpg"), b = U16(home + "/Pictures/2024 Trip/b.jpg");
    preview->AddPath(a.c_str());
    preview->AddPath(b.c_str());
    ASSERT_EQ(preview->OpenAt(a.c_str()), 1);
    preview->Open({320, 40, 430, 150}, preview->FitRect(0, 0, 1280, 800), {0, 0, 1280, 800});
    for (int i = 0; i < 4; ++i)
        frame();
    EXPECT_DOUBLE_EQ(preview->Zoom(), 0.8);
    phase("preview");
    if (!onDisplay) {
        int w = 0, h = 0;
        const std::vector<uint8_t> s = window->PlatformWindow()->Headless()->ReadSurface(w, h);
        const SRect r = preview->PictureRect();
        // Above the picture: the page darkened to a quarter (alpha 192 black over 0x26).
        EXPECT_EQ(r, (SRect{0, 40, 1280, 760}));
        const uint8_t* beside = &s[(size_t(10) * w + 640) * 4];
        EXPECT_NEAR(beside[0], 0x26 * 63 / 255, 2);
        // The frame around the picture is lighter than the dark band.
        const uint8_t* rim = &s[(size_t(r.top - 1) * w + (r.left + r.right) / 2) * 4];
        EXPECT_GT(rim[0], 0x60);
    }
    preview->ZoomAt(640, 400, true);
    for (int i = 0; i < 3; ++i)
        frame();
    phase("zoomed");
    preview->Step(true);
    preview->WaitForDecode();
    frame();
    phase("stepped");
    preview->Close();
    frame();

    // The favourites menu at its button, then the manager and the scan scope dialog as they open.
    std::vector<FavouriteFolder> favourites(2);
    platform::CopyText(favourites[0].name, u"Family");
    platform::CopyText(favourites[0].path, U16(home + "/Pictures/Family/"));
    platform::CopyText(favourites[1].name, u"Trip 2024");
    platform::CopyText(favourites[1].path, U16(home + "/Pictures/2024 Trip/"));
    std::vector<ScanFolderEntry> scan(1);
    platform::CopyText(scan[0].path, U16(home + "/Pictures/"));
    page->SetConfig({&favourites, &scan, start});
    page->ShowFavouritesMenu();
    for (int i = 0; i < 12; ++i)
        frame();
    EXPECT_EQ(page->FavouritesMenu().Count(), 5);
    phase("favmenu");
    page->FavouritesMenu().Close(0);
    frame();

    auto templateOf = [&](int id, platform::DialogTemplateData code) -> std::unique_ptr<platform::DialogTemplate> {
        if (onDisplay)
            return platform::DialogTemplate::Load(U16(g_programDir + "/dialogs"), uint16_t(id));
        return platform::DialogTemplate::FromData(uint16_t(id), code);
    };
    {
        CFavManageDlg manager(favourites);
        auto t = templateOf(CFavManageDlg::kTemplateId,
                            CodeDialogTemplate(200, 160, u"Management Favourites",
                                               {{u"ListBox", u"", CFavManageDlg::kListId, 7, 7, 186, 124},
                                                {u"Button", u"Rename", CFavManageDlg::kRenameId, 7, 139, 64, 14},
                                                {u"Button", u"Delete", CFavManageDlg::kDeleteId, 75, 139, 64, 14},
                                                {u"Button", u"OK", 1, 143, 139, 50, 14}}));
        ASSERT_TRUE(t && manager.CreateFromTemplate(*t, 0, 0, 0, 0));
        ASSERT_EQ(manager.OnInitDialog(), 1);
        window->PushModal(&manager);
        manager.SetOpacity(255);
        manager.SetAllDirty(1);
        for (int i = 0; i < 6; ++i)
            frame();
        EXPECT_EQ(manager.List()->RowCount(), 2);
        phase("favmanager");
        window->PopModal(&manager);
        frame();
    }
    {
        CSearchScopeDlg scope(scan);
        auto t = templateOf(CSearchScopeDlg::kTemplateId,
                            CodeDialogTemplate(230, 230, u"Select Searching Scope",
                                               {{u"Static", u"Check the folder with photos", 1002, 7, 7, 216, 12},
                                                {u"Button", u"OK", 1, 118, 209, 50, 14},
                                                {u"Button", u"Cancel", 2, 173, 209, 50, 14}}));
        ASSERT_TRUE(t && scope.CreateFromTemplate(*t, 0, 0, 0, 0));
        ASSERT_EQ(scope.OnInitDialog(), 1);
        window->PushModal(&scope);
        scope.SetOpacity(255);
        scope.SetAllDirty(1);
        for (int i = 0; i < 6; ++i)
            frame();
        EXPECT_GT(scope.CheckTree().RowCount(), 3);
        phase("scope");
        window->PopModal(&scope);
        frame();
    }

    SetVolumeReader(nullptr);
    SetHomeFolderForVolumes({});
    window.reset();
    SetUiTextSource(nullptr);
    SetUiImageSource(nullptr);
    ResetSharedUiImages();
}
