// The album's photo grid: captions, sort orders and their keys, the refill that keeps loaded
// thumbnails, one loader request per item, answers for removed items, facts from the photo
// database, the tip lines, selections and the file commands on real folders.
#include "album/AlbumPhotoList.h"
#include "album/HelpLoaderThread.h"
#include "album/PhotoDatabase.h"
#include "album/PhotoRecordBuilder.h"
#include "AlbumTestUtil.h"
#include "imaging/ImageCodec/ImageInfo.h"
#include "platform/Clipboard.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "ui/ClipboardUi.h"
#include "ui/DialogSprite.h"
#include "ui/TicketRegistry.h"
#include "ui/tests/UiTestWindow.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>

using albumtest::U16;

namespace {

// Skins drawn here: a plain picture of the size the list expects for every album name.
int AlbumTestImage(UiImageFolder folder, const char16_t* name, ImageBuffer8& out)
{
    const std::u16string n = name;
    int w = 0, h = 0;
    if (n == u"imgtype.png")
        w = 160, h = 16;
    else if (n == u"exif.png")
        w = 24, h = 12;
    else if (n == u"folderthumb.png" || n == u"unknownthumb.png")
        w = 200, h = 200;
    else if (n == u"camera.png")
        w = 64, h = 48;
    if (!w)
        return DrawnUiImage(folder, name, out);
    if (!AllocImage8(out, w, h))
        return 0;
    for (uint32_t i = 0; i < out.pixelCount; ++i) {
        uint8_t* p = out.data + size_t(i) * 4;
        p[0] = 90, p[1] = 60, p[2] = 30, p[3] = 255;
    }
    return 1;
}

struct Owner : AlbumListOwner {
    void RefreshList() override { ++refreshes; }
    bool IsSearchMode() override { return search; }
    bool PreviewShown() const override { return false; }
    platform::String16 GetFolderPath() const override { return folder; }
    void NewFolder() override { ++newFolders; }
    int OpenImage(const platform::String16& path) override
    {
        opened.push_back(path);
        return 1;
    }
    int DropFilesInto(const std::vector<platform::String16>& files, const platform::String16& target) override
    {
        dropped = files;
        dropTarget = target;
        return int(files.size());
    }
    void PostActivate(int index, CPhotoItem*) override { activated.push_back(index); }

    int refreshes = 0, newFolders = 0;
    bool search = false;
    platform::String16 folder;
    std::vector<platform::String16> opened, dropped;
    platform::String16 dropTarget;
    std::vector<int> activated;
};

// A list in a headless window, with a loader of its own that never runs (its queue is read).
struct ListFixture {
    UiTestWindow t{800, 600};
    CMessageSprite* parent = nullptr;
    CSAlbumPhotoList* list = nullptr;
    CHelpLoaderThread loader;
    Owner owner;
    std::vector<std::pair<std::u16string, int>> boxes;

    ListFixture()
    {
        SetUiImageSource(&AlbumTestImage);
        ResetSharedUiImages();
        g_bAnimation.store(0);
        parent = new CMessageSprite;
        parent->SetAutoDelete(1);
        EXPECT_TRUE(parent->Create(nullptr, t.window.get(), 0, 10, 0, 0, 800, 600));
        t.window->AddTopLevel(parent);
        list = new CSAlbumPhotoList;
        list->SetAutoDelete(1);
        list->SetLoader(&loader);
        list->ownerPage = &owner;
        list->messageBox = [this](const char16_t* text, int kind, int) {
            boxes.emplace_back(text, kind);
            return answer;
        };
        EXPECT_TRUE(list->Create(parent, nullptr, 102, 2, 0, 0, 700, 500));
        parent->AddChild(list);
        list->SetPos(0, 0, 700, 500);
    }
    ~ListFixture() { SetThumbnailLoaderLocks(nullptr, nullptr); }
    void Frames(int n = 2)
    {
        for (int i = 0; i < n; ++i)
            t.Frame();
    }
    std::vector<std::u16string> Captions() const
    {
        std::vector<std::u16string> out;
        for (int i = 0; i < list->ItemCount(); ++i)
            out.emplace_back(list->PhotoItem(i)->caption);
        return out;
    }
    int answer = 6;
};

SystemTime Day(int y, int m, int d, int h = 0, int min = 0)
{
    SystemTime t;
    t.year = uint16_t(y), t.month = uint16_t(m), t.day = uint16_t(d), t.hour = uint16_t(h), t.minute = uint16_t(min);
    return t;
}

} // namespace

TEST(PhotoList, CaptionsKeepFolderNamesWholeAndCutLongNames)
{
    struct Case { const char16_t* path; bool folder; std::u16string caption; };
    const std::u16string long70(70, u'x');
    const Case cases[] = {
        {u"/p/IMG_0001.JPG", false, u"IMG_0001"},
        {u"/p/2014.06", true, u"2014.06"},
        {u"/p/archive.tar.gz", false, u"archive.tar"},
        {u"/p/.hidden", false, u".hidden"},
        {u"/p/..", true, u".."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PhotoCaptionOf(c.path, c.folder), c.caption) << platform::Utf16ToUtf8(c.path);

    ListFixture f;
    CPhotoItem* item = f.list->AddPhotoItem(1, u"/p/" + long70 + u".jpg");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(std::u16string(item->caption), std::u16string(61, u'x') + u"..");
    // A path the album's buffers cannot hold is refused, not cut to another file.
    EXPECT_EQ(f.list->AddPhotoItem(1, u"/" + std::u16string(1100, u'a') + u".jpg"), nullptr);
}

TEST(PhotoList, MinuteStampKeys)
{
    struct Case { SystemTime t; uint32_t stamp; };
    const Case cases[] = {
        {Day(0, 5, 1, 10, 30), 0},
        {Day(2019, 5, 1, 10, 30), ((2019u * 365 + 5 * 31 + 1) * 24 + 10) * 60 + 30},
        {Day(1601, 1, 1), ((1601u * 365 + 31 + 1) * 24) * 60},
        {Day(9999, 12, 31, 23, 59), ((9999u * 365 + 12 * 31 + 31) * 24 + 23) * 60 + 59},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MinuteStamp(c.t), c.stamp) << c.t.year;
}

TEST(PhotoList, SortOrdersKeepFoldersFirst)
{
    ListFixture f;
    struct Spec { int type; const char16_t* path; SystemTime taken; SystemTime file; };
    const Spec specs[] = {
        {1, u"/p/dated2019.jpg", Day(2019, 5, 1, 10), Day(2020, 1, 1)},
        {PHOTO_TYPE_FOLDER, u"/p/b", {}, {}},
        {1, u"/p/undated.jpg", {}, Day(2021, 3, 3)},
        {PHOTO_TYPE_FOLDER, u"/p/..", {}, {}},
        {1, u"/p/Dated2018.jpg", Day(2018, 1, 1), Day(2018, 6, 1)},
        {PHOTO_TYPE_FOLDER, u"/p/A", {}, {}},
        {4, u"/p/old.png", {}, Day(2010, 1, 1)},
    };
    for (const Spec& s : specs) {
        CPhotoItem* item = f.list->AddPhotoItem(s.type, s.path);
        ASSERT_NE(item, nullptr);
        item->info.dateTimeOriginal = s.taken;
        item->info.fileTime = s.file;
    }
    struct Order { int order; std::vector<std::u16string> captions; };
    const Order orders[] = {
        {kSortByName, {u"..", u"A", u"b", u"Dated2018", u"dated2019", u"old", u"undated"}},
        // Photos without a capture date first, by file time; then dated ones, oldest first.
        {kSortByDate, {u"..", u"A", u"b", u"old", u"undated", u"Dated2018", u"dated2019"}},
        {kSortByModified, {u"..", u"A", u"b", u"undated", u"dated2019", u"Dated2018", u"old"}},
    };
    for (const Order& o : orders) {
        f.list->SetSortOrder(o.order == 0 ? 2 : 0);
        f.list->SetSortOrder(o.order);
        EXPECT_EQ(f.Captions(), o.captions) << o.order;
    }
    // An order outside 0-2 leaves the items as they are.
    const auto before = f.Captions();
    f.list->SetSortOrder(7);
    EXPECT_EQ(f.Captions(), before);
}

TEST(PhotoList, OneRequestPerItemNoneForDotEntriesAndRefillKeepsThumbnails)
{
    ListFixture f;
    SetThumbnailLoaderLocks(&f.loader.queueLock, nullptr);
    f.list->AddPhotoItem(PHOTO_TYPE_FOLDER, u"/p/..");
    f.list->AddPhotoItem(PHOTO_TYPE_FOLDER, u"/p/sub");
    f.list->AddPhotoItem(1, u"/p/a.jpg");
    f.list->AddPhotoItem(1, u"/p/b.jpg");
    f.list->Sort();
    f.list->Layout(true);
    f.Frames(5);
    // The folder entry is asked for (the loader draws a folder picture); ".." never.
    EXPECT_EQ(f.loader.QueueLength(), 3u);
    EXPECT_EQ(f.list->RequestsSent(), 3);

    // The loader fills a.jpg and answers.
    CPhotoItem* a = f.list->PhotoItem(f.list->IndexOfTicket(f.list->PhotoItem(2)->ticket));
    ASSERT_EQ(std::u16string(a->caption), u"a");
    ASSERT_TRUE(AllocImage8(a->image, 40, 30));
    const uint32_t aTicket = a->ticket;
    const uint32_t bTicket = f.list->PhotoItem(3)->ticket;
    SpriteMessage answer{};
    answer.code = int32_t(MSG_THUMB_LOADED);
    answer.param1 = intptr_t(aTicket);
    f.list->OnSpriteMessage(&answer);
    f.Frames(3);
    EXPECT_EQ(f.list->RequestsSent(), 3);

    // Listed again with b gone and c added: a keeps its item and picture, one new request.
    f.list->BeginRefill();
    EXPECT_EQ(f.list->ReuseOrAddItem(PHOTO_TYPE_FOLDER, u"/p/..", {}), 1);
    EXPECT_EQ(f.list->ReuseOrAddItem(PHOTO_TYPE_FOLDER, u"/p/sub", {}), 1);
    EXPECT_EQ(f.list->ReuseOrAddItem(1, u"/p/a.jpg", Day(2022, 2, 2)), 1);
    EXPECT_EQ(f.list->ReuseOrAddItem(1, u"/p/c.jpg", {}), 1);
    // A case-only rename is another file on Linux: not taken over.
    EXPECT_EQ(f.list->ReuseOrAddItem(1, u"/p/A.jpg", {}), 1);
    f.list->EndRefill();
    f.list->Sort();
    EXPECT_EQ(f.list->PhotoItem(f.list->IndexOfTicket(aTicket)), a);
    EXPECT_EQ(a->image.width, 40);
    EXPECT_EQ(a->info.fileTime.year, 2022);
    EXPECT_FALSE(IsTicketAlive(int32_t(bTicket)));
    EXPECT_EQ(f.list->IndexOfTicket(bTicket), -1);
    f.Frames(3);
    EXPECT_EQ(f.list->RequestsSent(), 5) << "c.jpg and A.jpg only";

    // An answer for the removed b changes nothing and does not crash.
    answer.param1 = intptr_t(bTicket);
    f.list->OnSpriteMessage(&answer);
    EXPECT_EQ(f.list->ItemCount(), 5);
}

TEST(PhotoList, FactsComeFromThePhotoDatabaseRecord)
{
    ListFixture f;
    testutil::TempFolder dir;
    const platform::String16 path = U16(dir.path() + "/shot.jpg");
    albumtest::MakePhoto(platform::Utf16ToUtf8(path));
    PhotoDatabase db;
    auto bytes = albumtest::MakeRecord(path);
    using namespace photorecord;
    // Camera data, 2019-05-07, flash, sRGB, ISO 200, F5.6, 1/250 s.
    Put<uint32_t>(bytes.data() + kDateBits, 1u | (5u << 1) | (7u << 5) | (2019u << 10));
    bytes[kExifBits] = uint8_t(1 | (1 << 6));
    bytes[kIsoDiv50] = 4;
    bytes[kFNumberX10] = 56;
    Put<uint16_t>(bytes.data() + kExposureNum, 1);
    Put<uint16_t>(bytes.data() + kExposureDen, 250);
    Put<uint16_t>(bytes.data() + kWidth, 4000);
    Put<uint16_t>(bytes.data() + kHeight, 3000);
    Put<uint32_t>(bytes.data() + kFileLength, 2048);
    ASSERT_TRUE(db.AppendPhotoRecord(albumtest::AsRecord(bytes)));

    CPhotoItem* item = f.list->AddItemWithRecord(1, path, &db);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->info.width, 4000);
    EXPECT_EQ(item->info.isoSpeedRatings, 200);
    EXPECT_EQ(item->info.fNumber, (ExifRational{56, 10}));
    EXPECT_EQ(item->info.exposureTime, (ExifRational{1, 250}));
    EXPECT_EQ(item->info.flash, 1);
    EXPECT_EQ(item->info.dateTimeOriginal, Day(2019, 5, 7));
    EXPECT_EQ(item->info.dateTimeDigitized, Day(2019, 5, 7));
    EXPECT_NE(item->info.fileTime.year, 0) << "the file time comes from the file";
    // The path keeps its case (the lookup works on a copy).
    EXPECT_EQ(platform::String16(item->path), path);

    // The tip shows the record's camera line before any thumbnail is loaded.
    int n = 0;
    const std::u16string tip = BuildInfoTipText(item->caption, item->info, &n);
    EXPECT_NE(tip.find(u"F5.6 1/250 ISO 200 "), std::u16string::npos) << platform::Utf16ToUtf8(tip);
    EXPECT_EQ(n, 4);

    // Without a record the facts stay empty; a folder is not looked up.
    CPhotoItem* plain = f.list->AddItemWithRecord(1, U16(dir.path() + "/none.jpg"), &db);
    EXPECT_EQ(plain->info.width, 0);
    EXPECT_EQ(plain->info.fileTime.year, 0) << "a missing file keeps an empty time";
}

TEST(PhotoList, SimplifyRationalTable)
{
    struct Case { int32_t p, q, wantP, wantQ; };
    const Case cases[] = {
        {10, 2500, 1, 250}, {3, 10, 3, 10}, {1, 3, 1, 3}, {0, 5, 0, 5}, {5, 0, 5, 0},
        {-10, 2500, -1, 250}, {10, -2500, 1, -250}, {333, 1000, 1, 3}, {25, 10, 25, 10},
        {INT_MIN, INT_MAX, INT_MIN, INT_MAX}, {1, INT_MIN, 1, INT_MIN}, {-1, INT_MIN, -1, INT_MIN},
        {2, INT_MIN, 1, -1073741824},
    };
    for (const Case& c : cases) {
        int32_t p = c.p, q = c.q;
        SimplifyRational(p, q);
        EXPECT_EQ(p, c.wantP) << c.p << "/" << c.q;
        EXPECT_EQ(q, c.wantQ) << c.p << "/" << c.q;
    }
}

TEST(PhotoList, TipLines)
{
    struct Case {
        ExifRational exposure, fnumber;
        uint16_t iso, width;
        uint32_t size;
        SystemTime taken;
        std::u16string camera;
        int lines;
    };
    const Case cases[] = {
        {{1, 250}, {56, 10}, 200, 4000, 1536, Day(2019, 5, 7), u"F5.6 1/250 ISO 200 ", 3},
        {{25, 10}, {0, 0}, 0xFFFF, 0, 0, {}, u"2.5 ", 1},
        {{3, 10}, {0, 0}, 0xFFFF, 640, 0, {}, u"3/10 ", 2},
        {{0, 0}, {0, 0}, 0xFFFF, 640, 0, {}, u"", 1},
    };
    for (const Case& c : cases) {
        ImageInfo info;
        info.Reset();
        info.isoSpeedRatings = c.iso;
        info.exposureTime = c.exposure;
        info.fNumber = c.fnumber;
        info.width = c.width;
        info.height = 3000;
        info.fileSize = c.size;
        info.dateTimeOriginal = c.taken;
        int n = -1;
        const std::u16string tip = BuildInfoTipText(u"IMG_0001", info, &n);
        EXPECT_EQ(n, c.lines) << platform::Utf16ToUtf8(tip);
        EXPECT_EQ(tip.rfind(u"IMG_0001", 0), 0u);
        if (!c.camera.empty()) {
            EXPECT_NE(tip.find(u"\r\n" + c.camera), std::u16string::npos) << platform::Utf16ToUtf8(tip);
        }
        if (c.size) {
            EXPECT_NE(tip.find(u"4000x3000 1.5K"), std::u16string::npos) << platform::Utf16ToUtf8(tip);
        }
    }
    // A caption of more than 49 characters is cut with two dots.
    ImageInfo info;
    info.Reset();
    const std::u16string tip = BuildInfoTipText(std::u16string(80, u'n').c_str(), info, nullptr);
    EXPECT_EQ(tip, std::u16string(47, u'n') + u"..");
}

TEST(PhotoList, CountsAndCollectsTheSelection)
{
    ListFixture f;
    f.list->AddPhotoItem(PHOTO_TYPE_FOLDER, u"/p/..");
    f.list->AddPhotoItem(PHOTO_TYPE_FOLDER, u"/p/F");
    f.list->AddPhotoItem(1, u"/p/a.jpg");
    f.list->AddPhotoItem(4, u"/p/b.png");
    f.list->AddPhotoItem(1, u"/p/c.jpg");
    f.list->Layout(true);
    for (int i : {0, 1, 2, 3})
        f.list->SelectItem(i, 2);
    struct Case { int mask; int count; };
    for (const Case& c : {Case{1, 2}, Case{2, 2}, Case{3, 4}})
        EXPECT_EQ(f.list->CountSelected(c.mask), c.count) << c.mask;
    EXPECT_EQ(f.list->CollectSelectedPaths(true), (std::vector<platform::String16>{u"/p/F", u"/p/a.jpg", u"/p/b.png"}));
    EXPECT_EQ(f.list->CollectSelectedPaths(false), (std::vector<platform::String16>{u"/p/a.jpg", u"/p/b.png"}));

    // Ctrl+A: photos only, and the page hears of it.
    f.list->SelectAllPhotos();
    EXPECT_EQ(f.list->CountSelected(1), 3);
    EXPECT_EQ(f.list->CountSelected(2), 0);

    // Cut with only folders selected puts nothing on the clipboard; copy takes the folder.
    platform::SystemClipboard().Empty();
    f.list->SelectItem(1, 0);
    f.list->CutSelected();
    EXPECT_EQ(GetClipboardDataSize(platform::kCfHdrop), 0u);
    f.list->CopySelected();
    uint32_t effect = 0;
    auto files = platform::SystemClipboard().GetFiles(&effect);
    ASSERT_TRUE(files.has_value());
    EXPECT_EQ(*files, (std::vector<platform::String16>{u"/p/F"}));
    EXPECT_EQ(effect, platform::kDropEffectCopy);

    // The preview list: the photos in order and where the activated one stands.
    int current = -1;
    EXPECT_EQ(f.list->PreviewPaths(3, &current), (std::vector<platform::String16>{u"/p/a.jpg", u"/p/b.png", u"/p/c.jpg"}));
    EXPECT_EQ(current, 1);
}

namespace {

std::string Shell(const std::string& command)
{
    return testutil::Output(command);
}

// A fixture folder of real files listed into the grid.
struct FolderFixture : ListFixture {
    testutil::TempFolder dir;
    std::string trashHome;
    FolderFixture()
    {
        trashHome = dir.path() + "/data";
        setenv("XDG_DATA_HOME", trashHome.c_str(), 1);
        owner.folder = U16(dir.path() + "/shown");
        std::filesystem::create_directories(dir.path() + "/shown");
    }
    ~FolderFixture() { unsetenv("XDG_DATA_HOME"); }
    std::string Shown(const std::string& name) const { return dir.path() + "/shown/" + name; }
    void List(const std::vector<std::pair<int, std::string>>& entries)
    {
        f_list().RemoveAll();
        for (const auto& [type, name] : entries)
            f_list().AddItemWithRecord(type, U16(Shown(name)));
        f_list().Layout(true);
    }
    CSAlbumPhotoList& f_list() { return *list; }
    int IndexOf(const std::u16string& caption) const
    {
        for (int i = 0; i < list->ItemCount(); ++i)
            if (std::u16string(list->PhotoItem(i)->caption) == caption)
                return i;
        return -1;
    }
};

} // namespace

TEST(AlbumFileCommands, DeleteGoesToTheTrashUnaskedAndShiftDeleteAsksOnce)
{
    FolderFixture f;
    albumtest::MakePhoto(f.Shown("a.jpg"));
    albumtest::MakePhoto(f.Shown("b.jpg"));
    std::filesystem::create_directories(f.Shown("sub"));
    albumtest::MakePhoto(f.Shown("c.png"));
    f.List({{1, "a.jpg"}, {PHOTO_TYPE_FOLDER, "sub"}, {1, "b.jpg"}, {4, "c.png"}});

    // Delete: a.jpg and the folder go to the trash, no question.
    f.list->SelectItem(f.IndexOf(u"a"), 0);
    f.list->SelectItem(f.IndexOf(u"sub"), 2);
    f.list->shiftDown = [] { return false; };
    f.list->OnKeyDown(platform::vk::Delete, 1, 0);
    EXPECT_TRUE(f.boxes.empty());
    EXPECT_FALSE(std::filesystem::exists(f.Shown("a.jpg")));
    EXPECT_FALSE(std::filesystem::exists(f.Shown("sub")));
    // What file managers read: the file under Trash/files and its original path in the info.
    for (const char* name : {"a.jpg", "sub"}) {
        EXPECT_TRUE(std::filesystem::exists(f.trashHome + "/Trash/files/" + name)) << name;
        const std::vector<uint8_t> info = testutil::ReadAll(f.trashHome + "/Trash/info/" + name + ".trashinfo");
        const std::string text(info.begin(), info.end());
        EXPECT_NE(text.find("Path=" + f.Shown(name) + "\n"), std::string::npos) << text;
    }
    EXPECT_GE(f.owner.refreshes, 1);

    // Shift+Delete asks once; No keeps the files, Yes deletes them for good.
    f.List({{1, "b.jpg"}, {4, "c.png"}});
    f.list->SelectItem(0, 0);
    f.list->SelectItem(1, 2);
    f.list->shiftDown = [] { return true; };
    f.answer = 7;
    f.list->OnKeyDown(platform::vk::Delete, 1, 0);
    ASSERT_EQ(f.boxes.size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(f.Shown("b.jpg")));
    f.answer = 6;
    f.list->OnKeyDown(platform::vk::Delete, 1, 0);
    EXPECT_EQ(f.boxes.size(), 2u) << "one question for both files";
    EXPECT_FALSE(std::filesystem::exists(f.Shown("b.jpg")));
    EXPECT_FALSE(std::filesystem::exists(f.Shown("c.png")));
    EXPECT_FALSE(std::filesystem::exists(f.trashHome + "/Trash/files/b.jpg"));
}

TEST(AlbumFileCommands, FolderRenameIsExactNeverReplacesAndRefusesPathNames)
{
    FolderFixture f;
    std::filesystem::create_directories(f.Shown("Trip"));
    std::filesystem::create_directories(f.Shown("other"));
    struct Case { std::u16string typed; bool renamed; std::string existsAfter; bool said; };
    const Case cases[] = {
        {u"Trip", false, "Trip", false},          // unchanged
        {u"../escape", false, "Trip", true},     // a separator
        {u"..", false, "Trip", true},
        {u"a\nb", false, "Trip", true},          // a control character
        {u"other", false, "Trip", true},         // never replaces a folder that is there
        {u"trip", true, "trip", false},          // a change of letter case is a real rename
    };
    for (const Case& c : cases) {
        f.boxes.clear();
        f.List({{PHOTO_TYPE_FOLDER, std::filesystem::exists(f.Shown("Trip")) ? "Trip" : "trip"}, {PHOTO_TYPE_FOLDER, "other"}});
        f.list->SelectItem(0, 0);
        f.list->askName = [&](std::u16string& text, const char16_t*, int max) {
            EXPECT_EQ(max, 31);
            text = c.typed;
            return 1;
        };
        const int before = f.owner.refreshes;
        f.list->RenameSelected();
        EXPECT_TRUE(std::filesystem::exists(f.Shown(c.existsAfter))) << platform::Utf16ToUtf8(c.typed);
        EXPECT_TRUE(std::filesystem::exists(f.Shown("other")));
        EXPECT_EQ(f.owner.refreshes > before, c.renamed) << platform::Utf16ToUtf8(c.typed);
        EXPECT_EQ(!f.boxes.empty(), c.said) << platform::Utf16ToUtf8(c.typed);
    }
    EXPECT_FALSE(std::filesystem::exists(f.Shown("Trip")));
}

TEST(AlbumFileCommands, LosslessTurnsRefusePartialBlocksAndReportOtherTypesOnce)
{
    FolderFixture f;
    SetUiTextSource([](const char16_t* key) -> const char16_t* {
        return std::u16string_view(key) == u"errorllr" ? u"Not turned: %s" : key;
    });
    // 64 x 32: whole 16 x 16 blocks; 100 x 75: partial edge blocks in both directions.
    albumtest::MakePhoto(f.Shown("whole.jpg"), "-Orientation#=6", "64x32");
    albumtest::MakePhoto(f.Shown("partial.jpg"), "", "100x75");
    albumtest::MakePhoto(f.Shown("flat.png"), "", "40x20");
    const std::vector<uint8_t> partialBefore = testutil::ReadAll(f.Shown("partial.jpg"));
    f.List({{1, "whole.jpg"}, {1, "partial.jpg"}, {4, "flat.png"}});
    // Reference: ImageMagick's own quarter turn of the decoded original.
    ASSERT_TRUE(testutil::Convert(testutil::Quote(f.Shown("whole.jpg")) + " -rotate 90", f.dir.path() + "/ref.png"));
    for (int i = 0; i < 3; ++i)
        f.list->SelectItem(i, i ? 2 : 0);
    f.list->RotateLossless(1);

    // "errorllr" names the refused photo, then "nonjpgcannotllr" once at the end.
    ASSERT_EQ(f.boxes.size(), 2u);
    EXPECT_NE(f.boxes[0].first.find(u"partial"), std::u16string::npos) << platform::Utf16ToUtf8(f.boxes[0].first);
    EXPECT_EQ(f.boxes[1].first, std::u16string(UiText(u"nonjpgcannotllr")));
    EXPECT_EQ(testutil::ReadAll(f.Shown("partial.jpg")), partialBefore) << "a refused turn leaves the file";

    // The turned photo: sizes swapped, no Orientation, pixels as ImageMagick turns them.
    EXPECT_EQ(Shell("exiftool -s3 -ImageWidth -ImageHeight " + testutil::Quote(f.Shown("whole.jpg"))), "32\n64");
    EXPECT_EQ(Shell("exiftool -s3 -Orientation " + testutil::Quote(f.Shown("whole.jpg"))), "");
    const std::string diff = Shell("compare -metric AE -fuzz 1% " + testutil::Quote(f.Shown("whole.jpg")) + " " +
                                 testutil::Quote(f.dir.path() + "/ref.png") + " null: 2>&1");
    EXPECT_EQ(std::atoi(diff.c_str()), 0) << diff;
    EXPECT_EQ(f.list->PhotoItem(0)->image.pixelCount, 0u) << "a new thumbnail is asked for";
    SetUiTextSource(nullptr);
}

TEST(AlbumFileCommands, RotateAsExifTurnsLandscapeStoredPhotosOnceWhateverIsSelected)
{
    FolderFixture f;
    albumtest::MakePhoto(f.Shown("six.jpg"), "-Orientation#=6", "64x32");
    albumtest::MakePhoto(f.Shown("eight.jpg"), "-Orientation#=8", "64x32");
    albumtest::MakePhoto(f.Shown("upright.jpg"), "-Orientation#=1", "64x32");
    albumtest::MakePhoto(f.Shown("tall.jpg"), "-Orientation#=6", "32x64");
    f.List({{1, "six.jpg"}, {1, "eight.jpg"}, {1, "upright.jpg"}, {1, "tall.jpg"}});
    f.list->RotateByExif();
    struct Case { const char* name; const char* size; };
    const Case cases[] = {{"six.jpg", "32\n64"}, {"eight.jpg", "32\n64"}, {"upright.jpg", "64\n32"}, {"tall.jpg", "32\n64"}};
    for (const Case& c : cases)
        EXPECT_EQ(Shell("exiftool -s3 -ImageWidth -ImageHeight " + testutil::Quote(f.Shown(c.name))), c.size) << c.name;
    const std::vector<uint8_t> six = testutil::ReadAll(f.Shown("six.jpg"));
    f.list->RotateByExif();
    EXPECT_EQ(testutil::ReadAll(f.Shown("six.jpg")), six) << "a second run turns nothing";
    EXPECT_TRUE(f.boxes.empty());
}

TEST(AlbumFileCommands, DropsTakeImagesOnlyAndRefuseOverLongPaths)
{
    FolderFixture f;
    struct Case { std::vector<platform::String16> dropped; std::vector<platform::String16> taken; };
    const platform::String16 longPath = u"/" + platform::String16(1100, u'x') + u".jpg";
    const Case cases[] = {
        {{u"/else/y.jpg", u"/else/z.txt"}, {u"/else/y.jpg"}},
        {{longPath, u"/else/w.PNG"}, {u"/else/w.PNG"}},
        {{u"/else/notes.txt"}, {}},
    };
    for (const Case& c : cases) {
        f.owner.dropped.clear();
        EXPECT_EQ(f.list->TakeDroppedFiles(c.dropped), 1) << "the album keeps every drop";
        EXPECT_EQ(f.owner.dropped, c.taken);
    }
    // On the search page nothing is placed, and the drop is still the album's.
    f.owner.search = true;
    f.owner.dropped.clear();
    EXPECT_EQ(f.list->TakeDroppedFiles({u"/else/y.jpg"}), 1);
    EXPECT_TRUE(f.owner.dropped.empty());
}
