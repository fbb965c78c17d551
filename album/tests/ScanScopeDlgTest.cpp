// The scan scope dialog and the favourites manager: check marks, topmost collection, the
// folders of config.dat checked on opening, renames and deletes of the first equal name.
#include "album/Favourites.h"
#include "album/ScanScopeDlg.h"
#include "platform/tests/ImageFileTestUtil.h"
#include "ui/DrawnUiImages.h"
#include "ui/ToolkitControls.h"
#include "ui/Tree.h"
#include "ui/tests/UiTestWindow.h"

#include <gtest/gtest.h>

#include <filesystem>

using platform::String16;
using testutil::TempFolder;

namespace {

String16 U16(const std::string& s) { return platform::Utf8ToUtf16(s); }

int TestImages(UiImageFolder folder, const char16_t* name, ImageBuffer8& out)
{
    if (platform::StringView16(name) == u"foldertree.png") {
        if (!AllocImage8(out, 128, 16))
            return 0;
        std::fill(out.data, out.data + out.byteSize, uint8_t(200));
        return 1;
    }
    return DrawnUiImage(folder, name, out);
}

ScanFolderEntry Entry(const String16& path)
{
    ScanFolderEntry e;
    platform::CopyText(e.path, path);
    return e;
}

struct ScopeFixture {
    UiTestWindow t{1000, 700};
    TempFolder dir;
    std::string home;
    std::vector<ScanFolderEntry> scan;
    std::vector<String16> messages;
    std::unique_ptr<CSearchScopeDlg> dialog;

    ScopeFixture()
    {
        SetUiImageSource(&TestImages);
        ResetSharedUiImages();
        RegisterToolkitControls();
        home = dir.path();
        for (const char* d : {"Photos/2019/summer", "Photos/2020", "Work", "Other"})
            std::filesystem::create_directories(home + "/" + d);
        SetHomeFolderForVolumes(U16(home));
        SetVolumeReader([] {
            platform::Volume root;
            root.mountPoint = u"/";
            root.fileSystem = u"ext4";
            return std::vector<platform::Volume>{root};
        });
    }
    ~ScopeFixture()
    {
        dialog.reset();
        SetVolumeReader(nullptr);
        SetHomeFolderForVolumes({});
    }
    String16 F(const std::string& rel) const { return U16(home + "/" + rel + "/"); }
    bool Open()
    {
        dialog = std::make_unique<CSearchScopeDlg>(scan);
        dialog->m_messageBox = [this](const char16_t* text, int, int) {
            messages.push_back(text);
            return 1;
        };
        const auto layout = platform::DialogTemplate::FromData(
            CSearchScopeDlg::kTemplateId,
            CodeDialogTemplate(230, 230, u"Select Searching Scope",
                               {{u"Static", u"Check the folder with photos", CSearchScopeDlg::kStaticId, 7, 7, 216, 12},
                                {u"Button", u"OK", 1, 118, 209, 50, 14},
                                {u"Button", u"Cancel", 2, 173, 209, 50, 14}}));
        return layout && dialog->CreateFromTemplate(*layout, 0, 0, 0, 0) && dialog->OnInitDialog();
    }
    CFolderNode* Node(const std::string& rel)
    {
        return FindFolderNode(dialog->RootNode(), F(rel), nullptr);
    }
};

} // namespace

TEST(ScanScope, FoldersOfTheListAreCheckedAndOnlyTheTopmostStored)
{
    ScopeFixture f;
    // Nested entries and one that is gone.
    f.scan = {Entry(f.F("Photos")), Entry(f.F("Photos/2019")), Entry(u"/no/such/folder/")};
    ASSERT_TRUE(f.Open());
    ASSERT_EQ(f.messages.size(), 1u) << "one message for the missing folder";
    EXPECT_NE(f.messages[0].find(u"/no/such/folder/"), String16::npos);
    EXPECT_GT(f.dialog->CheckTree().RowCount(), 0);
    EXPECT_EQ(f.Node("Photos")->checkMark, 1);
    EXPECT_EQ(IsCheckedOrAncestor(f.Node("Photos/2019/summer")), 1) << "drawn checked";
    EXPECT_EQ(f.Node("Work")->checkMark, 0);
    EXPECT_EQ(CollectCheckedFolders(f.dialog->RootNode()), (std::vector<String16>{f.F("Photos")}));
    f.dialog->OnOK();
    EXPECT_EQ(f.dialog->Result(), 1);
    ASSERT_EQ(f.scan.size(), 1u) << "the missing folder is dropped";
    EXPECT_EQ(String16(platform::BufferView(f.scan[0].path)), f.F("Photos"));
}

TEST(ScanScope, TogglingRules)
{
    ScopeFixture f;
    ASSERT_TRUE(f.Open());
    struct Step {
        std::string node;
        std::vector<std::string> collected;
    } steps[] = {
        {"Photos", {"Photos"}},
        // A folder inside a checked folder cannot be left out.
        {"Photos/2020", {"Photos"}},
        {"Work", {"Photos", "Work"}},
        // Unchecking the parent unchecks what lies inside.
        {"Photos", {"Work"}},
        {"Photos/2020", {"Photos/2020", "Work"}},
        {"Photos", {"Photos", "Work"}},
    };
    for (const Step& s : steps) {
        CFolderNode* node = f.Node(s.node);
        ASSERT_NE(node, nullptr) << s.node;
        f.dialog->ToggleNode(node);
        std::vector<String16> expected;
        for (const std::string& c : s.collected)
            expected.push_back(f.F(c));
        // Depth first in tree order: compare as sets of paths (the listing order is the disk's).
        std::vector<String16> got = CollectCheckedFolders(f.dialog->RootNode());
        std::sort(got.begin(), got.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(got, expected) << "after " << s.node;
    }
    EXPECT_EQ(f.Node("Photos/2020")->checkMark, 1);
}

TEST(ScanScope, NothingCheckedKeepsTheDialogOpen)
{
    ScopeFixture f;
    f.scan = {Entry(f.F("Other"))};
    ASSERT_TRUE(f.Open());
    f.dialog->ToggleNode(f.Node("Other"));
    f.messages.clear();
    f.dialog->OnOK();
    ASSERT_EQ(f.messages.size(), 1u);
    EXPECT_EQ(f.messages[0], String16(UiText(u"nopathset")));
    EXPECT_EQ(f.dialog->Result(), 0);
    ASSERT_EQ(f.scan.size(), 1u) << "the list is kept";
    // The root of a volume: checked whole.
    EXPECT_EQ(f.dialog->CheckScanPath(U16(f.home)), 1);
    EXPECT_EQ(CollectCheckedFolders(f.dialog->RootNode()), (std::vector<String16>{U16(f.home + "/")}));
}

TEST(FavouritesManager, RenameAndDeleteTheFirstOfEqualNames)
{
    UiTestWindow t{1000, 700};
    SetUiImageSource(&DrawnUiImage);
    RegisterToolkitControls();
    auto fav = [](const char16_t* name, const char16_t* path) {
        FavouriteFolder f;
        platform::CopyText(f.name, name);
        platform::CopyText(f.path, path);
        f.extra[0] = 0x5A;
        return f;
    };
    std::vector<FavouriteFolder> list{fav(u"x", u"/a/"), fav(u"X", u"/b/"), fav(u"y", u"/c/")};
    EXPECT_EQ(FindFavouriteByName(list, u"x"), 0);
    EXPECT_EQ(FindFavouriteByPath(list, u"/b"), 1);
    EXPECT_EQ(FindFavouriteByPath(list, u"/B/"), -1) << "paths compare exactly";

    CFavManageDlg dialog(list);
    const auto layout = platform::DialogTemplate::FromData(
        CFavManageDlg::kTemplateId,
        CodeDialogTemplate(200, 160, u"Management Favourites",
                           {{u"ListBox", u"", CFavManageDlg::kListId, 7, 7, 186, 124},
                            {u"Button", u"Rename", CFavManageDlg::kRenameId, 7, 139, 64, 14},
                            {u"Button", u"Delete", CFavManageDlg::kDeleteId, 75, 139, 64, 14},
                            {u"Button", u"OK", 1, 143, 139, 50, 14}}));
    ASSERT_TRUE(layout && dialog.CreateFromTemplate(*layout, 0, 0, 0, 0));
    ASSERT_EQ(dialog.OnInitDialog(), 1);
    ASSERT_NE(dialog.List(), nullptr);
    EXPECT_EQ(dialog.List()->RowCount(), 3);
    EXPECT_EQ(dialog.List()->Selected(), 0);

    // The second row has the same name (other case): rename acts on the first.
    dialog.List()->SetSelection(1, false, false);
    dialog.m_askName = [](std::u16string& text) {
        text = u"renamed";
        return 1;
    };
    dialog.OnCommand(CFavManageDlg::kRenameId);
    EXPECT_EQ(String16(list[0].name), u"renamed");
    EXPECT_EQ(String16(list[1].name), u"X");
    EXPECT_EQ(list[0].extra[0], 0x5A) << "the reserved bytes stay";
    // Delete: at once, no question; the list is filled again.
    dialog.List()->SetSelection(2, false, false);
    dialog.OnCommand(CFavManageDlg::kDeleteId);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(String16(list[1].path), u"/b/");
    dialog.OnCommand(CFavManageDlg::kDeleteId);
    dialog.OnCommand(CFavManageDlg::kDeleteId);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(dialog.List()->RowCount(), 0);
    dialog.OnCommand(CFavManageDlg::kDeleteId); // nothing selected: nothing happens
    SetUiImageSource(nullptr);
}
