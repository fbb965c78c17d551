// The folder page: path rules, volumes, listing, counts, going to a path, the history, the drive
// check, drops on rows, favourites.
#include "album/Favourites.h"
#include "album/FolderPage.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/tests/ImageFileTestUtil.h"
#include "ui/DrawnUiImages.h"
#include "ui/tests/UiTestWindow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

using platform::String16;
using testutil::TempFolder;

namespace {

String16 U16(const std::string& s) { return platform::Utf8ToUtf16(s); }
std::string U8(const String16& s) { return platform::Utf16ToUtf8(s); }

void Touch(const std::string& path, const std::string& text = "x")
{
    std::ofstream(path) << text;
}

void MakeDirs(const std::string& path) { std::filesystem::create_directories(path); }

// Drawn UI images, and the folder icons the drawn set lacks (8 frames of 16 pixels).
int TestImages(UiImageFolder folder, const char16_t* name, ImageBuffer8& out)
{
    if (platform::StringView16(name) == u"foldertree.png") {
        if (!AllocImage8(out, 128, 16))
            return 0;
        std::fill(out.data, out.data + out.byteSize, uint8_t(200));
        return 1;
    }
    if (DrawnUiImage(folder, name, out))
        return 1;
    // Button icons: any small picture.
    if (!AllocImage8(out, 16, 16))
        return 0;
    std::fill(out.data, out.data + out.byteSize, uint8_t(180));
    return 1;
}

// The album page as the folder page sees it: what was listed, refreshes.
struct FakeHost : IFolderPageHost {
    std::vector<std::pair<int32_t, String16>> entries;
    int listings = 0, refreshes = 0;
    bool lastClear = false;
    bool search = false;
    void RefreshList() override { ++refreshes; }
    bool IsSearchMode() override { return search; }
    void BeginFolderListing(bool clear) override
    {
        entries.clear();
        lastClear = clear;
    }
    void AddFolderEntry(int32_t type, const String16& path, platform::FileTime, bool) override
    {
        entries.emplace_back(type, path);
    }
    void EndFolderListing(bool) override { ++listings; }
    std::set<String16> Names() const
    {
        std::set<String16> out;
        for (const auto& e : entries)
            out.insert(String16(platform::FileNamePart(e.second)));
        return out;
    }
};

struct PageFixture {
    UiTestWindow t{1000, 700};
    TempFolder dir;
    std::string home; // the fake home folder, a volume root of the tree
    std::vector<FavouriteFolder> favourites;
    std::vector<ScanFolderEntry> scanFolders;
    char16_t start[kStartFolderChars] = {};
    std::vector<platform::Volume> volumes;
    FakeHost host;
    TestSprite* parent = nullptr;
    CSFolderPage* page = nullptr;
    std::vector<String16> messages;
    std::vector<std::u16string> answers; // the text question's answers, in order; empty = cancel

    PageFixture()
    {
        SetUiImageSource(&TestImages);
        ResetSharedUiImages();
        home = dir.path();
        SetHomeFolderForVolumes(U16(home));
        platform::Volume root;
        root.mountPoint = u"/";
        root.fileSystem = u"ext4";
        volumes = {root};
        SetVolumeReader([this] { return volumes; });
        parent = new TestSprite(0xFF202020, true);
        parent->SetAutoDelete(1);
        EXPECT_TRUE(parent->Create(nullptr, t.window.get(), 0, 10, 0, 0, 1000, 700));
        t.window->AddTopLevel(parent);
        page = new CSFolderPage;
        page->SetAutoDelete(1);
        page->SetHost(&host);
        page->SetConfig({&favourites, &scanFolders, start});
        page->m_messageBox = [this](const char16_t* text, int, int) {
            messages.push_back(text);
            return 1;
        };
        page->m_askText = [this](std::u16string& text, const char16_t*, const char16_t*, int maxLength) {
            if (answers.empty())
                return 0;
            text = answers.front().substr(0, size_t(maxLength));
            answers.erase(answers.begin());
            return 1;
        };
        EXPECT_TRUE(page->Create(parent, nullptr, 1000, 0, 0, 300, 600, 2));
        parent->AddChild(page);
        page->SetPos(0, 0, 300, 600);
    }
    ~PageFixture()
    {
        SetVolumeReader(nullptr);
        SetHomeFolderForVolumes({});
    }
    String16 P(const std::string& rel) const { return U16(home + "/" + rel); }
    // The folder path as the tree gives it (with its final "/").
    String16 F(const std::string& rel) const { return U16(home + "/" + rel + (rel.empty() ? "" : "/")); }
    void SetStart(const String16& s) { platform::CopyText(start, s); }
    String16 Current() const { return page->CurrentPath(); }
};

} // namespace

TEST(FolderPaths, WholeComponentsParentsAndNames)
{
    struct Contains {
        const char16_t* folder;
        const char16_t* path;
        bool expected;
    } contains[] = {
        {u"/a/b", u"/a/bc/", false}, {u"/a/b/", u"/a/bc", false}, {u"/a/b", u"/a/b", true},
        {u"/a/b/", u"/a/b/c/d", true}, {u"/", u"/anything/", true}, {u"/a/B/", u"/a/b/", false},
        {u"", u"/a", false},
    };
    for (const Contains& c : contains)
        EXPECT_EQ(FolderContainsPath(c.folder, c.path), c.expected) << U8(c.folder) << " " << U8(c.path);

    struct Parent {
        const char16_t* path;
        const char16_t* parent;
    } parents[] = {
        {u"/a/b/", u"/a/"}, {u"/a/b", u"/a/"}, {u"/a/b/..", u"/a/"}, {u"/a/b/../", u"/a/"},
        {u"/a", u"/"}, {u"/", u"/"}, {u"/..", u"/"},
    };
    for (const Parent& c : parents)
        EXPECT_EQ(ParentFolderPath(c.path), c.parent) << U8(c.path);

    struct Name {
        const char16_t* name;
        bool valid;
    } names[] = {
        {u"Holiday 2024", true}, {u"", false}, {u".", false}, {u"..", false}, {u"...", true},
        {u"a/b", false}, {u"tab\there", false}, {u"line\nbreak", false}, {u".hidden", true},
        {u"\u00e9t\u00e9", true}, {u"back\\slash", true},
    };
    for (const Name& c : names)
        EXPECT_EQ(IsValidFolderName(c.name), c.valid) << U8(c.name);
}

TEST(FolderPaths, PhotoCountText)
{
    struct Case {
        int count;
        const char16_t* text;
    } cases[] = {{0, u""}, {-1, u""}, {1, u"1"}, {7, u"7"}, {99, u"99"}, {100, u"+"}, {150, u"+"}};
    for (const Case& c : cases)
        EXPECT_EQ(CSFolderTree::CountText(c.count), c.text) << c.count;
}

TEST(FolderVolumes, KindsFromMountInfoTexts)
{
    const char* text =
        "22 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
        "30 22 8:3 / /home rw,relatime shared:30 - ext4 /dev/sda3 rw\n"
        "31 22 8:17 / /media/anna/CAM\\040CARD rw,nosuid shared:40 - vfat /dev/sdb1 rw\n"
        "32 22 0:50 / /mnt/nas rw - nfs4 server:/export rw\n"
        "33 22 0:51 / /mnt/share rw - cifs //srv/share rw\n"
        "34 22 11:0 / /mnt/dvd ro - iso9660 /dev/sr0 ro\n"
        "36 22 8:33 / /run/media/anna/STICK rw - exfat /dev/sdc1 rw\n";
    const std::vector<platform::Volume> v = platform::ParseMountInfo(text);
    struct Case {
        const char16_t* mount;
        int32_t kind;
    } cases[] = {
        {u"/", kVolumeFixed},       {u"/home", kVolumeFixed},        {u"/media/anna/CAM CARD", kVolumeRemovable},
        {u"/mnt/nas", kVolumeRemote}, {u"/mnt/share", kVolumeRemote}, {u"/mnt/dvd", kVolumeCdRom},
        {u"/run/media/anna/STICK", kVolumeRemovable},
    };
    for (const Case& c : cases) {
        auto it = std::find_if(v.begin(), v.end(), [&](const platform::Volume& x) { return x.mountPoint == c.mount; });
        ASSERT_NE(it, v.end()) << U8(c.mount);
        EXPECT_EQ(VolumeKindOf(*it), c.kind) << U8(c.mount);
    }
    platform::Volume ram;
    ram.fileSystem = u"tmpfs";
    EXPECT_EQ(VolumeKindOf(ram), kVolumeRamDisk);
    ram.removable = true;
    EXPECT_EQ(VolumeKindOf(ram), kVolumeRemovable) << "the removable flag wins";
}

TEST(FolderVolumes, RootHomeThenEachMountOnce)
{
    TempFolder dir;
    const std::string home = dir / "home", card = dir / "card", nas = dir / "nas";
    MakeDirs(home);
    MakeDirs(card);
    MakeDirs(nas);
    Touch(dir / "file-mount");
    auto volume = [](const std::string& path, const char16_t* fs, bool removable) {
        platform::Volume v;
        v.mountPoint = U16(path);
        v.fileSystem = fs;
        v.removable = removable;
        return v;
    };
    SetHomeFolderForVolumes(U16(home));
    SetVolumeReader([&] {
        return std::vector<platform::Volume>{volume("/", u"ext4", false), volume(card, u"vfat", true),
                                             volume(home, u"ext4", false), volume(nas, u"nfs", false),
                                             volume(dir / "file-mount", u"ext4", false),
                                             volume(dir / "missing", u"ext4", false)};
    });
    std::vector<FolderVolume> all = ReadFolderVolumes(false);
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[0].path, u"/");
    EXPECT_EQ(all[0].text, u"/");
    EXPECT_EQ(all[1].path, U16(home + "/"));
    EXPECT_EQ(all[1].text, u"home");
    EXPECT_EQ(all[2].path, U16(card + "/"));
    EXPECT_EQ(all[2].kind, kVolumeRemovable);
    EXPECT_EQ(all[3].kind, kVolumeRemote);
    std::vector<FolderVolume> fixed = ReadFolderVolumes(true);
    ASSERT_EQ(fixed.size(), 2u);
    EXPECT_EQ(fixed[1].path, U16(home + "/"));
    SetVolumeReader(nullptr);
    SetHomeFolderForVolumes({});
}

TEST(FolderNodes, ListingSkipsDotFoldersAndCountsPhotos)
{
    TempFolder dir;
    MakeDirs(dir / "many");
    MakeDirs(dir / "seven");
    MakeDirs(dir / "only-folders/inner");
    MakeDirs(dir / ".hidden");
    for (int i = 0; i < 150; ++i)
        Touch(dir / ("many/p" + std::to_string(i) + (i % 2 ? ".JPG" : ".png")));
    for (int i = 0; i < 7; ++i)
        Touch(dir / ("seven/p" + std::to_string(i) + ".nef"));
    Touch(dir / "seven/notes.txt");
    Touch(dir / "seven/project.zdoc");
    Touch(dir / "top.jpg");

    ImageList8 icons;
    for (int i = 0; i < 8; ++i) {
        auto* frame = new ImageBuffer8;
        AllocImage8(*frame, 16, 16);
        icons.items.push_back(frame); // the list frees it
    }
    CFolderNode root;
    auto* node = new CFolderNode;
    node->nodeKind = kVolumeFixed;
    node->pathPiece = U16(dir.path() + "/");
    root.AddChild(node);
    ExpandFolderNode(node, 2, &icons);
    EXPECT_EQ(node->imageCount, 1);
    EXPECT_EQ(node->childrenLoaded, 1);
    std::map<String16, const CFolderNode*> byName;
    for (size_t i = 0; i < node->children.size(); ++i)
        byName[node->Child(i)->pathPiece] = node->Child(i);
    ASSERT_EQ(byName.size(), 3u) << "dot folders are left out";
    EXPECT_EQ(byName[u"many/"]->imageCount, 150);
    EXPECT_EQ(byName[u"many/"]->icon, icons[kFolderIconPhotos]);
    EXPECT_EQ(byName[u"seven/"]->imageCount, 7);
    EXPECT_EQ(byName[u"only-folders/"]->imageCount, 0);
    EXPECT_EQ(byName[u"only-folders/"]->icon, icons[kFolderIconFolder]);
    EXPECT_EQ(byName[u"only-folders/"]->children.size(), 1u) << "depth 2 lists the children's children";
    EXPECT_EQ(GetFolderPath(byName[u"seven/"]), U16(dir.path() + "/seven/"));
    // An unreadable folder shows no children.
    auto* gone = static_cast<CFolderNode*>(node->children[0]);
    std::filesystem::remove_all(U8(GetFolderPath(gone)));
    ExpandFolderNode(gone, 1, &icons);
    EXPECT_TRUE(gone->children.empty());
    EXPECT_EQ(gone->imageCount, 0);
    root.RemoveChildren();
}

TEST(FolderPage, StartFolderListsItsPhotosAndFolders)
{
    PageFixture f;
    MakeDirs(f.home + "/Pictures/2024");
    MakeDirs(f.home + "/Pictures/.thumbs");
    Touch(f.home + "/Pictures/a.jpg");
    Touch(f.home + "/Pictures/b.tif");
    Touch(f.home + "/Pictures/.c.jpg");
    Touch(f.home + "/Pictures/d.txt");
    f.SetStart(f.F("Pictures"));
    ASSERT_EQ(f.page->InitTree(), 1);
    EXPECT_EQ(f.Current(), f.F("Pictures"));
    EXPECT_TRUE(f.host.lastClear);
    EXPECT_EQ(f.host.Names(), (std::set<String16>{u"..", u"2024", u"a.jpg", u"b.tif"}));
    for (const auto& e : f.host.entries) {
        if (e.second.ends_with(u"a.jpg")) {
            EXPECT_EQ(e.first, 1);
        }
        if (e.second.ends_with(u"2024") || e.second.ends_with(u"..")) {
            EXPECT_EQ(e.first, -2);
        }
    }
    EXPECT_EQ(f.host.entries.front().second, f.F("Pictures") + u"..");
    // The start folder follows every selection; the node's ancestors are open.
    EXPECT_TRUE(f.page->GoToPath(f.F("Pictures/2024")));
    EXPECT_EQ(String16(f.start), f.F("Pictures/2024"));
    EXPECT_TRUE(f.page->Current()->ParentFolder()->expanded);
    EXPECT_TRUE(f.page->Tag().IsVisible());
    EXPECT_EQ(f.page->Tag().GetNodeText(f.page->Current()), u"2024");
    const CFolderNode* volume = f.page->Current()->ParentFolder()->ParentFolder();
    EXPECT_EQ(volume->nodeKind, kVolumeFixed);
    EXPECT_EQ(f.page->Tag().GetNodeText(volume), String16(platform::FileNamePart(U16(f.home))));
    EXPECT_EQ(f.page->Tag().GetNodeText(f.page->RootNode().Child(0)), u"/");
}

TEST(FolderPage, GoToPathMatchesWholeComponentsAndExactCase)
{
    PageFixture f;
    // "bc" is made first, so a plain prefix test that takes the first match would land there.
    MakeDirs(f.home + "/a/bc");
    MakeDirs(f.home + "/a/b");
    MakeDirs(f.home + "/Case");
    ASSERT_EQ(f.page->InitTree(), 1);
    struct Case {
        std::string rel;
        bool found;
        std::string current;
    } cases[] = {
        {"a/b", true, "a/b"},   {"a/bc", true, "a/bc"}, {"a/b/", true, "a/b"}, {"a", true, "a"},
        {"case", false, "a"},   {"a/x", false, "a"},    {"a/b/../bc", true, "a/bc"},
    };
    for (const Case& c : cases) {
        String16 path = f.P(c.rel);
        if (c.rel == "a/b/../bc") {
            // ".." items reach the page as their parent's path (the album page cuts them).
            path = ParentFolderPath(f.P("a/b/..")) + u"bc";
        }
        EXPECT_EQ(f.page->GoToPath(path) == 1, c.found) << c.rel;
        EXPECT_EQ(f.Current(), f.F(c.current)) << c.rel;
    }
    // A folder made after its parent was listed is found, and the nodes already shown stay.
    CFolderNode* a = f.page->Current()->ParentFolder(); // the node of "a" (now at "a/bc")
    MakeDirs(f.home + "/a/late/inner");
    EXPECT_EQ(f.page->GoToPath(f.P("a/late/inner")), 1);
    EXPECT_EQ(f.Current(), f.F("a/late/inner"));
    EXPECT_EQ(f.page->Current()->ParentFolder()->ParentFolder(), a);
    EXPECT_EQ(f.page->GoToPath(u""), 0);
    EXPECT_EQ(f.page->GoToPath(u"relative/path"), 0);
    Touch(f.home + "/plainfile");
    EXPECT_EQ(f.page->GoToPath(f.P("plainfile")), 0);
}

TEST(FolderPage, MissingStartFolderSelectsNothing)
{
    PageFixture f;
    MakeDirs(f.home + "/Photos");
    struct Case {
        std::string start;
    } cases[] = {{"gone"}, {"PHOTOS"}};
    for (const Case& c : cases) {
        PageFixture g;
        MakeDirs(g.home + "/Photos");
        g.SetStart(g.F(c.start));
        ASSERT_EQ(g.page->InitTree(), 1) << c.start;
        EXPECT_EQ(g.page->Current(), nullptr) << c.start;
        EXPECT_EQ(g.host.listings, 0) << c.start;
        EXPECT_FALSE(g.page->Tag().IsVisible());
        EXPECT_FALSE(g.page->Button(CSFolderPage::kNewFolderId).Enabled());
    }
}

TEST(FolderPage, HistoryBackForwardUp)
{
    PageFixture f;
    for (const char* d : {"A", "B", "C", "D", "A/sub"})
        MakeDirs(f.home + "/" + d);
    ASSERT_EQ(f.page->InitTree(), 1);
    struct Step {
        std::string action; // "go X", "back", "forward", "up"
        std::vector<std::string> history;
        int pos;
        bool back, forward;
    } steps[] = {
        {"go A", {"A"}, 0, false, false},
        {"go B", {"A", "B"}, 1, true, false},
        {"go C", {"A", "B", "C"}, 2, true, false},
        {"back", {"A", "B", "C"}, 1, true, true},
        {"back", {"A", "B", "C"}, 0, false, true},
        {"forward", {"A", "B", "C"}, 1, true, true},
        {"back", {"A", "B", "C"}, 0, false, true},
        // A new folder after going back drops the forward entries.
        {"go D", {"A", "D"}, 1, true, false},
        {"go A/sub", {"A", "D", "A/sub"}, 2, true, false},
        // Its parent, then the folder again: the position moves to the neighbour entry.
        {"up", {"A", "D", "A/sub", "A"}, 3, true, false},
        {"go A/sub", {"A", "D", "A/sub", "A"}, 2, true, true},
        {"go A", {"A", "D", "A/sub", "A"}, 3, true, false},
    };
    for (const Step& s : steps) {
        if (s.action.rfind("go ", 0) == 0)
            ASSERT_TRUE(f.page->GoToPath(f.P(s.action.substr(3)))) << s.action;
        else if (s.action == "back")
            f.page->GoBack();
        else if (s.action == "forward")
            f.page->GoForward();
        else if (s.action == "up")
            f.page->GoUp();
        std::vector<String16> expected;
        for (const std::string& h : s.history)
            expected.push_back(f.F(h));
        EXPECT_EQ(f.page->History(), expected) << s.action;
        EXPECT_EQ(f.page->HistoryPos(), s.pos) << s.action;
        EXPECT_EQ(f.page->Button(CSFolderPage::kBackId).Enabled() != 0, s.back) << s.action;
        EXPECT_EQ(f.page->Button(CSFolderPage::kForwardId).Enabled() != 0, s.forward) << s.action;
        EXPECT_EQ(f.page->Button(CSFolderPage::kForwardId).Opacity(), s.forward ? 255 : 100) << s.action;
    }
    // Up on a volume root does nothing.
    ASSERT_TRUE(f.page->GoToPath(U16(f.home)));
    const auto before = f.page->History();
    EXPECT_FALSE(f.page->Button(CSFolderPage::kUpId).Enabled());
    f.page->GoUp();
    EXPECT_EQ(f.Current(), U16(f.home + "/"));
    EXPECT_EQ(f.page->History(), before);
}

TEST(FolderPage, NewFolderRefusesBadNamesAndRefreshes)
{
    PageFixture f;
    MakeDirs(f.home + "/Pictures");
    f.SetStart(f.F("Pictures"));
    ASSERT_EQ(f.page->InitTree(), 1);
    struct Case {
        std::u16string name;
        bool made;
        bool said;
    } cases[] = {
        {u"Trip", true, false}, {u"a/b", false, true}, {u"..", false, true}, {u".", false, true},
        {u"bad\nname", false, true}, {u"Trip", false, false}, // exists: not replaced, not said
    };
    for (const Case& c : cases) {
        f.messages.clear();
        const int refreshes = f.host.refreshes;
        f.answers = {c.name};
        f.page->NewFolder();
        EXPECT_EQ(f.host.refreshes > refreshes, c.made) << U8(c.name);
        EXPECT_EQ(!f.messages.empty(), c.said) << U8(c.name);
    }
    EXPECT_TRUE(std::filesystem::is_directory(f.home + "/Pictures/Trip"));
    EXPECT_FALSE(std::filesystem::exists(f.home + "/Pictures/a"));
    // The new folder is in the tree.
    bool listed = false;
    for (size_t i = 0; i < f.page->Current()->children.size(); ++i)
        listed = listed || f.page->Current()->Child(i)->pathPiece == u"Trip/";
    EXPECT_TRUE(listed);
    // Cancel does nothing.
    f.answers.clear();
    f.page->NewFolder();
}

TEST(FolderPage, ShownFolderDeletedFallsBackToItsParent)
{
    PageFixture f;
    MakeDirs(f.home + "/P/gone/deeper");
    ASSERT_EQ(f.page->InitTree(), 1);
    ASSERT_TRUE(f.page->GoToPath(f.P("P/gone/deeper")));
    std::filesystem::remove_all(f.home + "/P/gone");
    f.page->RefreshCurrentFolder();
    EXPECT_EQ(f.Current(), f.F("P"));
    EXPECT_TRUE(f.page->Current()->children.empty());
}

TEST(FolderPage, DriveCheckAddsRemovableAndDropsGoneVolumes)
{
    PageFixture f;
    TempFolder media;
    MakeDirs(media / "CARD/DCIM");
    MakeDirs(f.home + "/Pictures");
    f.SetStart(f.F("Pictures"));
    ASSERT_EQ(f.page->InitTree(), 1);
    const size_t roots = f.page->RootNode().children.size();
    EXPECT_EQ(f.page->RefreshDrives(), 0) << "nothing changed";

    platform::Volume card;
    card.mountPoint = U16(media / "CARD");
    card.fileSystem = u"vfat";
    card.removable = true;
    platform::Volume nas = card;
    nas.mountPoint = U16(media.path());
    nas.fileSystem = u"nfs";
    nas.removable = false;
    f.volumes.push_back(card);
    f.volumes.push_back(nas); // other kinds are not added after the start
    EXPECT_EQ(f.page->RefreshDrives(), 1);
    ASSERT_EQ(f.page->RootNode().children.size(), roots + 1);
    auto* added = f.page->RootNode().Child(roots);
    EXPECT_EQ(added->nodeKind, kVolumeRemovable);
    EXPECT_EQ(added->icon, nullptr);
    EXPECT_EQ(added->children.size(), 1u);
    EXPECT_EQ(f.Current(), f.F("Pictures")) << "the folder is selected again";
    EXPECT_TRUE(f.page->GoToPath(U16(media / "CARD/DCIM")));

    // Removing the card drops its root; the last folder that still exists is selected.
    f.volumes.erase(f.volumes.begin() + 1);
    std::filesystem::remove_all(media / "CARD");
    EXPECT_EQ(f.page->RefreshDrives(), 1);
    EXPECT_EQ(f.page->RootNode().children.size(), roots);
    EXPECT_EQ(f.page->Current(), nullptr);
}

TEST(FolderPage, DriveCheckIsPostedToTheUiThreadEveryFiveSeconds)
{
    PageFixture f;
    ASSERT_EQ(f.page->InitTree(), 1);
    TempFolder media;
    MakeDirs(media / "CARD");
    f.t.Frame(); // the first check only records the time
    platform::Volume card;
    card.mountPoint = U16(media / "CARD");
    card.removable = true;
    f.volumes.push_back(card);
    const size_t roots = f.page->RootNode().children.size();
    f.t.clock.Advance(4000);
    f.t.Frame();
    f.t.Pump();
    EXPECT_EQ(f.page->RootNode().children.size(), roots);
    f.t.clock.Advance(1000);
    f.t.Frame(); // the render thread only posts
    EXPECT_EQ(f.page->RootNode().children.size(), roots);
    f.t.Pump(); // the UI thread runs the check
    EXPECT_EQ(f.page->RootNode().children.size(), roots + 1);
}

TEST(FolderPage, DropsMoveBetweenFixedVolumesAndCopyToRemovable)
{
    PageFixture f;
    TempFolder other;
    MakeDirs(f.home + "/from");
    MakeDirs(f.home + "/to");
    MakeDirs(other / "card");
    platform::Volume homeVolume;
    homeVolume.mountPoint = U16(f.home);
    homeVolume.fileSystem = u"ext4";
    platform::Volume card;
    card.mountPoint = U16(other / "card");
    card.fileSystem = u"vfat";
    card.removable = true;
    f.volumes.push_back(homeVolume);
    f.volumes.push_back(card);
    ASSERT_EQ(f.page->InitTree(), 1);

    struct Pair {
        String16 a, b;
        int fixed;
    } pairs[] = {
        {f.P("from/x.jpg"), f.F("to"), 1},
        {f.P("from/x.jpg"), U16(other / "card/"), 0},
        {U16(other / "card/x.jpg"), f.F("to"), 0},
        {f.P("x.jpg"), u"relative", 0},
    };
    for (const Pair& p : pairs)
        EXPECT_EQ(f.page->IsFixedDrivePair(p.a, p.b), p.fixed) << U8(p.a) << " " << U8(p.b);

    for (const char* n : {"1.jpg", "2.png", "3.dng", "notes.txt"})
        Touch(f.home + "/from/" + n, n);
    std::vector<String16> files;
    for (const char* n : {"1.jpg", "2.png", "3.dng", "notes.txt"})
        files.push_back(f.P(std::string("from/") + n));
    files.push_back(f.P("from")); // a folder: ignored
    files.push_back(U16("/" + std::string(1100, 'x') + ".jpg")); // too long: refused, never cut
    EXPECT_EQ(f.page->DropFilesInto(files, f.F("to")), 3);
    for (const char* n : {"1.jpg", "2.png", "3.dng"}) {
        EXPECT_TRUE(std::filesystem::exists(f.home + "/to/" + n)) << n;
        EXPECT_FALSE(std::filesystem::exists(f.home + "/from/" + n)) << "moved " << n;
    }
    EXPECT_FALSE(std::filesystem::exists(f.home + "/to/notes.txt"));

    // Onto the removable volume: copied.
    std::vector<String16> moved;
    for (const char* n : {"1.jpg", "2.png", "3.dng"})
        moved.push_back(f.P(std::string("to/") + n));
    EXPECT_EQ(f.page->DropFilesInto(moved, U16(other / "card")), 3);
    for (const char* n : {"1.jpg", "2.png", "3.dng"}) {
        EXPECT_TRUE(std::filesystem::exists(other / ("card/" + std::string(n)))) << n;
        EXPECT_TRUE(std::filesystem::exists(f.home + "/to/" + n)) << "copied " << n;
    }
    // Only text: nothing happens.
    EXPECT_EQ(f.page->DropFilesInto({f.P("from/notes.txt")}, f.F("to")), 0);
}

TEST(FolderPage, DropHoverAndDropOnARow)
{
    PageFixture f;
    MakeDirs(f.home + "/target");
    Touch(f.home + "/p.jpg");
    ASSERT_EQ(f.page->InitTree(), 1);
    ASSERT_TRUE(f.page->GoToPath(f.F("target")));
    CSFolderTree& tree = f.page->Tree();
    int row = -1;
    for (int i = 0; i < tree.RowCount(); ++i)
        if (tree.Row(i).node == f.page->Current())
            row = i;
    ASSERT_GE(row, 0);
    const int y = row * 20 + 5 - tree.ScrollOffset();
    EXPECT_EQ(tree.QueryDropFiles(40, y), 1);
    EXPECT_EQ(tree.DropHoverRow(), row);
    EXPECT_EQ(tree.QueryDropFiles(41, y), 0) << "the same row again";
    EXPECT_EQ(tree.QueryDropFiles(40, tree.Height() + 50), 0);
    std::vector<String16> files{f.P("p.jpg")};
    EXPECT_EQ(tree.OnDropFiles(40, y, &files), 1);
    EXPECT_TRUE(std::filesystem::exists(f.home + "/target/p.jpg"));
    EXPECT_EQ(tree.DropHoverRow(), -1);
    EXPECT_EQ(tree.OnDropFiles(40, y, nullptr), 1) << "the album takes every drop";
}

TEST(Favourites, AddMenuDuplicatesAndTheFullList)
{
    PageFixture f;
    MakeDirs(f.home + "/Photos");
    MakeDirs(f.home + "/photos");
    f.SetStart(f.F("Photos"));
    ASSERT_EQ(f.page->InitTree(), 1);

    // No favourites: the button asks for the name at once.
    f.answers = {u"My photos"};
    f.page->ShowFavouritesMenu();
    ASSERT_EQ(f.favourites.size(), 1u);
    EXPECT_EQ(String16(f.favourites[0].name), u"My photos");
    EXPECT_EQ(String16(f.favourites[0].path), f.F("Photos"));

    // One favourite: the menu.
    f.page->ShowFavouritesMenu();
    CSMenu& menu = f.page->FavouritesMenu();
    ASSERT_EQ(menu.Count(), 4);
    EXPECT_EQ(menu.Item(0).commandId, CSFolderPage::kFavAddCommand);
    EXPECT_EQ(menu.Item(1).commandId, CSFolderPage::kFavManageCommand);
    EXPECT_EQ(menu.Item(2).commandId, 0);
    EXPECT_EQ(menu.Item(3).commandId, CSFolderPage::kFavFirstCommand);
    menu.Close(0);

    // The same folder again changes nothing; a folder differing in case is another folder.
    f.answers = {u"again"};
    EXPECT_EQ(f.page->AddFavourite(), 1);
    EXPECT_EQ(f.favourites.size(), 1u);
    ASSERT_TRUE(f.page->GoToPath(f.F("photos")));
    f.answers = {u"lower case, a name much longer than thirty-one characters"};
    EXPECT_EQ(f.page->AddFavourite(), 1);
    ASSERT_EQ(f.favourites.size(), 2u);
    EXPECT_EQ(String16(f.favourites[1].name).size(), 31u);

    // Choosing a favourite goes there; one whose folder is gone does nothing.
    f.page->OnFavouriteCommand(CSFolderPage::kFavFirstCommand);
    EXPECT_EQ(f.Current(), f.F("Photos"));
    std::filesystem::remove_all(f.home + "/photos");
    f.page->OnFavouriteCommand(CSFolderPage::kFavFirstCommand + 1);
    EXPECT_EQ(f.Current(), f.F("Photos"));
    f.page->OnFavouriteCommand(CSFolderPage::kFavFirstCommand + 7); // past the list: ignored

    // The 257th is refused with a message, before the name is asked.
    while (f.favourites.size() < kMaxFavourites) {
        FavouriteFolder x;
        platform::CopyText(x.path, f.P("n" + std::to_string(f.favourites.size()) + "/"));
        f.favourites.push_back(x);
    }
    MakeDirs(f.home + "/new");
    ASSERT_TRUE(f.page->GoToPath(f.F("new")));
    f.answers = {u"one too many"};
    f.messages.clear();
    EXPECT_EQ(f.page->AddFavourite(), -1);
    EXPECT_EQ(f.favourites.size(), kMaxFavourites);
    EXPECT_EQ(f.messages.size(), 1u);
    EXPECT_EQ(f.answers.size(), 1u) << "no name was asked";
}
