// The album page: the stored view mode and sort order, the size and sort buttons, the tool
// buttons' states by selection, the grid listing the shown folder with its ".." entry, entering
// folders, drops, and the commands the frame runs.
#include "album/AlbumPage.h"
#include "AlbumTestUtil.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "platform/FileSystem.h"
#include "platform/Settings.h"
#include "ui/DialogSprite.h"
#include "ui/Registry.h"
#include "ui/tests/UiTestWindow.h"

#include <gtest/gtest.h>

#include <filesystem>

using albumtest::U16;

namespace {

// The program folder's skins (the build's generated ones), drawn images where it has none.
int ProgramThenDrawn(UiImageFolder folder, const char16_t* name, ImageBuffer8& out)
{
    const std::filesystem::path path = std::filesystem::path(ZENDRA_BINARY_DIR) / "zendra" /
                                       (folder == UiImageFolder::Skin ? "skin" : "basic") / platform::Utf16ToUtf8(name);
    if (std::filesystem::exists(path) && CodecLoadImage8(out, path.u16string().c_str()))
        return 1;
    return DrawnUiImage(folder, name, out);
}

struct Host : AlbumHost {
    int OpenImage(const platform::String16& path, int, CZDDoc*, int) override
    {
        opened.push_back(path);
        return 1;
    }
    void OpenProject() override { ++projects; }
    void BuildProgramMenu(CSMenu&) override {}
    void RunProgramCommand(int32_t id) override { commands.push_back(id); }
    void SaveSettings() override {}
    void Exit() override { ++exits; }
    void ShowNoticeMessage() override { ++notices; }
    std::vector<platform::String16> opened;
    std::vector<int32_t> commands;
    int projects = 0, exits = 0, notices = 0;
};

struct PageFixture {
    testutil::TempFolder dir;
    UiTestWindow t{1200, 800};
    Host host;
    char16_t startFolder[kStartFolderChars] = {};
    std::vector<FavouriteFolder> favourites;
    std::vector<ScanFolderEntry> scanFolders;
    CMessageSprite* parent = nullptr;
    CSAlbumPage* page = nullptr;

    explicit PageFixture(const std::vector<std::pair<std::string, uint32_t>>& settings = {})
    {
        SetUiImageSource(&ProgramThenDrawn);
        ResetSharedUiImages();
        platform::SetSettingsFiles(U16(dir.path() + "/user.txt"), U16(dir.path() + "/machine.txt"));
        for (const auto& [name, value] : settings)
            WriteRegistryDword(u"Album", platform::Utf8ToUtf16(name).c_str(), value);
        std::filesystem::create_directories(dir.path() + "/shown/sub");
        const platform::String16 shown = U16(dir.path() + "/shown/");
        std::copy(shown.begin(), shown.end(), startFolder);
        g_bAnimation.store(0);
        AlbumConfig config;
        config.favourites = &favourites;
        config.scanFolders = &scanFolders;
        config.startFolder = startFolder;
        parent = new CMessageSprite;
        parent->SetAutoDelete(1);
        EXPECT_TRUE(parent->Create(nullptr, t.window.get(), 0, 10, 0, 0, 1200, 800));
        t.window->AddTopLevel(parent);
        page = new CSAlbumPage(&host, config);
        page->SetAutoDelete(1);
        page->messageBox = [](const char16_t*, int, int) { return 1; };
        created = page->Create(parent, nullptr, 1000, 2, 0, 0, 1200, 800) != 0;
        EXPECT_TRUE(created);
        parent->AddChild(page);
        page->SetPos(0, 0, 1200, 800);
    }
    ~PageFixture()
    {
        page->StopThreads();
        platform::SetSettingsFiles({}, {});
    }
    std::string Shown(const std::string& name) const { return dir.path() + "/shown/" + name; }
    void Pump(int frames = 2)
    {
        for (int i = 0; i < frames; ++i) {
            t.Pump();
            t.Frame();
        }
    }
    bool Enabled(int32_t id)
    {
        PanelItem* item = page->ToolPanel().FindItem(id);
        return item && item->enabled;
    }
    uint32_t Stored(const char16_t* name) { return ReadRegistryDword(u"Album", name, 99, 1); }
    void Click(int32_t id)
    {
        SpriteMessage m{};
        m.code = MSG_PANEL_CLICK;
        m.param1 = id;
        page->OnSpriteMessage(&m);
    }
    void Command(int32_t id)
    {
        SpriteMessage m{};
        m.code = MSG_MENU_COMMAND;
        m.param1 = id;
        page->OnSpriteMessage(&m);
    }
    bool created = false;
};

} // namespace

TEST(AlbumPage, StoredViewModeAndSortComeBackAndOnlyTheButtonsStoreThem)
{
    struct Case { std::vector<std::pair<std::string, uint32_t>> stored; int mode; int order; };
    const Case cases[] = {
        {{}, 3, 0},
        {{{"ViewMode", 4}, {"Sort", 2}}, 4, 2},
        {{{"ViewMode", 1}}, 1, 0},
        {{{"ViewMode", 7}}, 3, 0},
        {{{"ViewMode", 0}}, 3, 0},
    };
    for (const Case& c : cases) {
        PageFixture f(c.stored);
        ASSERT_TRUE(f.created);
        EXPECT_EQ(f.page->PhotoList().ViewMode(), c.mode);
        EXPECT_EQ(f.page->PhotoList().SortOrder(), c.order);
    }

    PageFixture f;
    // The size button: 3 -> 4 -> 2 -> 3, stored each time.
    for (int want : {4, 2, 3}) {
        f.Click(kToolSize);
        EXPECT_EQ(f.page->PhotoList().ViewMode(), want);
        EXPECT_EQ(f.Stored(u"ViewMode"), uint32_t(want));
    }
    // The sort button: 0 -> 1 -> 2 -> 0.
    for (int want : {1, 2, 0}) {
        f.Click(kToolSort);
        EXPECT_EQ(f.page->PhotoList().SortOrder(), want);
        EXPECT_EQ(f.Stored(u"Sort"), uint32_t(want));
    }
    // The menu changes the grid without storing.
    f.Command(kCmdViewThumbBig);
    f.Command(kCmdSortModify);
    EXPECT_EQ(f.page->PhotoList().ViewMode(), 4);
    EXPECT_EQ(f.page->PhotoList().SortOrder(), 2);
    EXPECT_EQ(f.Stored(u"ViewMode"), 3u);
    EXPECT_EQ(f.Stored(u"Sort"), 0u);
}

TEST(AlbumPage, ListsTheStartFolderEntersFoldersAndSetsToolStatesBySelection)
{
    PageFixture f;
    ASSERT_TRUE(f.created);
    albumtest::MakePhoto(f.Shown("a.jpg"));
    albumtest::MakePhoto(f.Shown("b.png"));
    ASSERT_EQ(f.page->InitTree(), 1);
    f.Pump();
    CSAlbumPhotoList& list = f.page->PhotoList();
    std::vector<std::u16string> captions;
    for (int i = 0; i < list.ItemCount(); ++i)
        captions.emplace_back(list.PhotoItem(i)->caption);
    EXPECT_EQ(captions, (std::vector<std::u16string>{u"..", u"sub", u"a", u"b"}));
    EXPECT_EQ(f.page->GetFolderPath(), U16(f.Shown("")));

    // Tool buttons: view and edit for exactly one photo; batch, print and multi stay off.
    struct Case { std::vector<int> selected; bool one; };
    const Case cases[] = {{{}, false}, {{1}, false}, {{2}, true}, {{1, 2}, true}, {{2, 3}, false}};
    for (const Case& c : cases) {
        list.SelectItem(-1, 0);
        for (int i : c.selected)
            list.SelectItem(i, 2);
        f.page->UpdateToolStates();
        EXPECT_EQ(f.Enabled(kToolView), c.one);
        EXPECT_EQ(f.Enabled(kToolEdit), c.one);
        for (int32_t off : {kToolBatch, kToolBatchPrint, kToolMulti})
            EXPECT_FALSE(f.Enabled(off)) << off;
        EXPECT_TRUE(f.Enabled(kToolMenu));
    }

    // A folder entry enters the folder; ".." goes back up.
    f.page->OnListActivate(1, list.PhotoItem(1));
    f.Pump();
    EXPECT_EQ(f.page->GetFolderPath(), U16(f.Shown("sub/")));
    ASSERT_GT(list.ItemCount(), 0);
    EXPECT_EQ(std::u16string(list.PhotoItem(0)->caption), u"..");
    f.page->OnListActivate(0, list.PhotoItem(0));
    f.Pump();
    EXPECT_EQ(f.page->GetFolderPath(), U16(f.Shown("")));

    // Every drop on the album is taken, also one it does nothing with.
    std::vector<platform::String16> notes{u"/nowhere/notes.txt"};
    EXPECT_EQ(f.page->OnDropFiles(600, 400, &notes), 1);
    EXPECT_EQ(f.page->OnDropFiles(100, 400, &notes), 1);

    // The frame's commands.
    f.Command(kCmdLoadProject);
    f.Command(kCmdExit);
    f.Command(21006);
    EXPECT_EQ(f.host.projects, 1);
    EXPECT_EQ(f.host.exits, 1);
    EXPECT_EQ(f.host.commands, (std::vector<int32_t>{21006}));

    // Edit opens the selected photo through the frame.
    list.SelectItem(2, 0);
    list.RunCommand(kPhotoEdit);
    EXPECT_EQ(f.host.opened, (std::vector<platform::String16>{U16(f.Shown("a.jpg"))}));
}

TEST(AlbumPage, TheNoticeButtonShowsOnceANoticeArrives)
{
    PageFixture f;
    ASSERT_TRUE(f.created);
    PanelItem* notice = f.page->ToolPanel().FindItem(kToolNotice);
    ASSERT_NE(notice, nullptr);
    EXPECT_FALSE(notice->visible);
    const std::u16string longTitle(300, u't');
    f.page->ShowNotice(longTitle);
    EXPECT_TRUE(notice->visible);
    EXPECT_EQ(f.page->NoticeTitle().size(), 255u);
    f.Click(kToolNotice);
    EXPECT_EQ(f.host.notices, 1);
}
