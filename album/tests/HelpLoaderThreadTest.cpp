#include "album/HelpLoaderThread.h"
#include "album/tests/AlbumTestUtil.h"
#include "imaging/ImageCodec/ImageInfo.h"
#include "imaging/AlphaTables.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "imaging/tests/DngBuilder.h"

#include <atomic>
#include <cstring>
#include <filesystem>
#include <thread>

using namespace albumtest;
using platform::String16;
namespace fs = std::filesystem;

namespace {

// A program folder with the folder picture, and two loaders wired as the program wires them.
struct LoaderFixture {
    TempFolder program, photos;
    TicketSet tickets;
    QueueSink list;
    CHelpLoaderThread thumb, full;
    LoaderFixture()
    {
        BuildAlphaTables(); // as the program does at start-up
        fs::create_directories(program / "skin");
        EXPECT_TRUE(testutil::Convert("-size 200x200 xc:#3060c0", program / "skin/folderthumb.png"));
        for (CHelpLoaderThread* l : { &thumb, &full }) {
            l->tickets = &tickets;
            l->skinFolder = U16(program.path());
        }
        thumb.passOn = &full;
    }
    LoaderRequest Request(uint32_t ticket, ImageBuffer8& target, const std::string& path, ImageInfo* info = nullptr)
    {
        LoaderRequest r;
        r.ticket = ticket;
        r.kind = 1;
        r.targetImage = &target;
        r.requester = &list;
        r.itemInfo = info;
        r.answerParam = ticket;
        r.path = U16(path);
        return r;
    }
};

struct Image {
    ImageBuffer8 buf;
    ~Image() { FreeImageBuffer(buf); }
};

uint32_t PixelAt(const ImageBuffer8& im, int x, int y)
{
    uint32_t v;
    std::memcpy(&v, im.data + (size_t(y) * im.width + x) * 4, 4);
    return v;
}

} // namespace

TEST(HelpLoader, QuickPassDeliversAndAnswers)
{
    LoaderFixture f;
    MakePhoto(f.photos / "a.jpg", "-Make=Zcam -ISO=400", "300x150");
    Image target;
    ImageInfo info;
    const uint32_t t = f.tickets.Issue();
    EXPECT_EQ(f.thumb.ProcessRequest(f.Request(t, target.buf, f.photos / "a.jpg", &info)), 1);
    EXPECT_EQ(target.buf.width, 200);
    EXPECT_EQ(target.buf.height, 100);
    EXPECT_EQ(info.isoSpeedRatings, 400);
    auto answers = f.list.Take();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].msg, MSG_THUMB_LOADED);
    EXPECT_EQ(answers[0].param1, t);
    EXPECT_EQ(answers[0].param2, reinterpret_cast<intptr_t>(&f.thumb));
    EXPECT_EQ(f.full.QueueLength(), 0u); // a small photo needs no second pass
    // Any other kind is ignored.
    LoaderRequest odd = f.Request(t, target.buf, f.photos / "a.jpg");
    odd.kind = 3;
    EXPECT_EQ(f.thumb.ProcessRequest(odd), 0);
}

TEST(HelpLoader, FailuresGetTheFallbackAndNoAnswer)
{
    LoaderFixture f;
    testutil::WriteAll(f.photos / "bad.jpg", { 'x', 'y' });
    struct Case { const char* why; bool fallback; int width; uint32_t pixel; };
    const Case cases[] = {
        { "no fallback: a 200 x 200 square", false, 200, 0xFF808080u },
        { "the loader's own copy of the fallback", true, 20, 0xFF0000FFu },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        CHelpLoaderThread loader;
        loader.tickets = &f.tickets;
        if (c.fallback) {
            Image fallback;
            ASSERT_TRUE(AllocImage8(fallback.buf, 20, 10));
            for (uint32_t i = 0; i < fallback.buf.pixelCount; ++i)
                std::memcpy(fallback.buf.data + 4 * i, &c.pixel, 4);
            ASSERT_TRUE(loader.SetFallbackImage(fallback.buf));
        } // the list's picture is gone; the loader still has its copy
        Image target;
        EXPECT_EQ(loader.ProcessRequest(f.Request(f.tickets.Issue(), target.buf, f.photos / "bad.jpg")), 0);
        EXPECT_EQ(target.buf.width, c.width);
        EXPECT_EQ(PixelAt(target.buf, 1, 1), c.pixel);
        EXPECT_EQ(f.list.Count(), 0u);
    }
}

TEST(HelpLoader, LargeJpegGetsTwoPassesAndRawOne)
{
    LoaderFixture f;
    const std::string big = f.photos / "big.jpg";
    MakePhoto(big, "", "2000x1200");
    ASSERT_TRUE(testutil::Convert("-size 160x96 gradient:red-blue", f.photos / "thumb.jpg"));
    ASSERT_EQ(testutil::Shell("exiftool -overwrite_original '-ThumbnailImage<=" + f.photos / "thumb.jpg" + "' " +
                              testutil::Quote(big)), 0);
    testutil::DngSpec dng;
    dng.preview = testutil::DngPreview::Jpeg;
    dng.previewWidth = 160;
    dng.previewHeight = 120;
    ASSERT_TRUE(testutil::WriteDng(f.photos / "raw.dng", dng));

    f.thumb.Start();
    f.full.Start();
    Image bigTarget, rawTarget;
    const uint32_t tb = f.tickets.Issue(), tr = f.tickets.Issue();
    ASSERT_TRUE(f.thumb.QueueRequest(f.Request(tb, bigTarget.buf, big)));
    ASSERT_TRUE(f.thumb.QueueRequest(f.Request(tr, rawTarget.buf, f.photos / "raw.dng")));
    ASSERT_TRUE(f.list.WaitFor(3, 20000));
    platform::SleepMs(300); // nothing more arrives
    f.thumb.Stop();
    f.full.Stop();
    auto answers = f.list.Take();
    int bigAnswers = 0, rawAnswers = 0;
    std::vector<intptr_t> bigFrom;
    for (const Message& m : answers) {
        EXPECT_EQ(m.msg, MSG_THUMB_LOADED);
        bigAnswers += m.param1 == tb;
        rawAnswers += m.param1 == tr;
        if (m.param1 == tb)
            bigFrom.push_back(m.param2);
    }
    EXPECT_EQ(bigAnswers, 2);
    EXPECT_EQ(rawAnswers, 1);
    // The quick loader answered first, then the full loader with the decoded picture.
    EXPECT_EQ(bigFrom, (std::vector<intptr_t>{ reinterpret_cast<intptr_t>(&f.thumb), reinterpret_cast<intptr_t>(&f.full) }));
    EXPECT_EQ(bigTarget.buf.width, 200);
    EXPECT_EQ(bigTarget.buf.height, 120);
    // The decoded gradient is white at the top; the embedded preview was red.
    const uint32_t top = PixelAt(bigTarget.buf, 100, 1);
    EXPECT_GT(top & 0xFF, 0xE0u);
    EXPECT_GT((top >> 8) & 0xFF, 0xE0u);
    EXPECT_GT(rawTarget.buf.pixelCount, 0u);
}

TEST(HelpLoader, DeadTicketsAndFilledTargetsAreLeftAlone)
{
    LoaderFixture f;
    MakePhoto(f.photos / "a.jpg");
    Image dead, filled, fresh;
    ASSERT_TRUE(AllocImage8(filled.buf, 7, 7));
    std::memset(filled.buf.data, 0x11, filled.buf.byteSize);
    const uint32_t td = f.tickets.Issue(), tf = f.tickets.Issue(), tn = f.tickets.Issue();
    ASSERT_TRUE(f.thumb.QueueRequest(f.Request(td, dead.buf, f.photos / "a.jpg")));
    ASSERT_TRUE(f.thumb.QueueRequest(f.Request(tf, filled.buf, f.photos / "a.jpg")));
    ASSERT_TRUE(f.thumb.QueueRequest(f.Request(tn, fresh.buf, f.photos / "a.jpg")));
    {
        // The list removes the first item as owners do: under both loaders' locks.
        platform::ScopedLock a(f.thumb.queueLock), b(f.full.queueLock);
        f.tickets.Release(td);
    }
    f.thumb.Start();
    ASSERT_TRUE(f.list.WaitFor(1, 10000));
    platform::SleepMs(300);
    f.thumb.Stop();
    EXPECT_EQ(f.thumb.QueueLength(), 0u);
    auto answers = f.list.Take();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].param1, tn);
    EXPECT_EQ(dead.buf.pixelCount, 0u);
    EXPECT_EQ(filled.buf.width, 7);
    EXPECT_EQ(filled.buf.data[0], 0x11);
    EXPECT_GT(fresh.buf.pixelCount, 0u);
    // Requests that cannot be served are refused at the door.
    LoaderRequest tooLong = f.Request(tn, fresh.buf, std::string(1100, 'p') + ".jpg");
    EXPECT_FALSE(f.thumb.QueueRequest(tooLong));
    LoaderRequest noTarget = f.Request(tn, fresh.buf, f.photos / "a.jpg");
    noTarget.targetImage = nullptr;
    EXPECT_FALSE(f.thumb.QueueRequest(noTarget));
}

TEST(HelpLoader, FolderThumbnails)
{
    LoaderFixture f;
    Image plain;
    ASSERT_TRUE(CodecLoadImage8(plain.buf, U16(f.program / "skin/folderthumb.png").c_str()));
    fs::create_directories(f.photos / "three/sub");
    fs::create_directories(f.photos / "empty");
    for (const char* name : { "1.jpg", "2.png", "3.jpg" })
        MakePhoto(f.photos / (std::string("three/") + name), "", "80x60");
    MakePhoto(f.photos / "three/wide.jpg", "", "600x100"); // refused: more than three times wider
    testutil::WriteAll(f.photos / "three/notes.txt", { 'x' });

    fs::create_directories(f.photos / "four");
    for (const char* name : { "1.jpg", "2.png", "3.jpg", "4.jpg", "5.jpg" })
        MakePhoto(f.photos / (std::string("four/") + name), "", "80x60");

    // Pixels that only one slot covers: slot 0 alone at (190, 70), slot 3 alone at (60, 155) (64 x 48 stamps, 8 rows down).
    struct Case { const char* folder; bool slot0, slot3; };
    const Case cases[] = {
        { "three", true, false }, // three photos fill slots 0 to 2; the panorama fills none
        { "four", true, true },   // a fifth photo has no slot
        { "empty", false, false },
        { "missing", false, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        Image out;
        ASSERT_EQ(f.thumb.MakeFolderThumbnail(U16(f.photos / c.folder), out.buf), 1);
        ASSERT_EQ(out.buf.width, 200);
        EXPECT_EQ(PixelAt(out.buf, 190, 70) != PixelAt(plain.buf, 190, 70), c.slot0);
        EXPECT_EQ(PixelAt(out.buf, 60, 155) != PixelAt(plain.buf, 60, 155), c.slot3);
        if (!c.slot0) {
            EXPECT_EQ(std::memcmp(out.buf.data, plain.buf.data, plain.buf.byteSize), 0);
        }
    }
    // Without the folder picture a folder request fails like an unreadable photo.
    CHelpLoaderThread bare;
    bare.skinFolder = U16(f.photos / "nowhere");
    Image none;
    EXPECT_EQ(bare.MakeFolderThumbnail(U16(f.photos / "three"), none.buf), 0);

    // DrawMiniThumbnail's rules as a table.
    struct Mini { int index, w, h, pictureSide, result; };
    const Mini minis[] = {
        { 0, 64, 48, 200, 1 }, { 3, 48, 64, 200, 1 },
        { 0, 65, 20, 200, 0 },      // too wide
        { 0, 63, 20, 200, 0 },      // more than three times wider than high
        { 0, 20, 61, 200, 0 },      // more than three times higher than wide
        { 0, 60, 20, 200, 1 },      // exactly three times: drawn
        { 5, 64, 64, 200, 1 },      // beyond the slots: counts, nothing drawn
        { 0, 90, 10, 197, 1 },      // a picture too small to draw on counts every slot
    };
    for (const Mini& m : minis) {
        SCOPED_TRACE(testing::Message() << m.index << " " << m.w << "x" << m.h << " on " << m.pictureSide);
        Image small, pic;
        ASSERT_TRUE(AllocImage8(small.buf, m.w, m.h));
        std::memset(small.buf.data, 0xFF, small.buf.byteSize);
        ASSERT_TRUE(AllocImage8(pic.buf, m.pictureSide, m.pictureSide));
        std::memset(pic.buf.data, 0, pic.buf.byteSize);
        EXPECT_EQ(CHelpLoaderThread::DrawMiniThumbnail(m.index, small.buf, pic.buf), m.result);
        if (m.result && m.index <= 4 && m.pictureSide >= 198) {
            // Landscape stamps are centred vertically, portrait ones horizontally.
            int left = 130 - 24 * m.index, top = 57 + 16 * m.index;
            if (m.w > m.h)
                top += (64 - m.h) / 2;
            else
                left += (64 - m.w) / 2;
            EXPECT_EQ(PixelAt(pic.buf, left, top) & 0xFFFFFF, 0xFFFFFFu); // the picture keeps its alpha
            EXPECT_EQ(PixelAt(pic.buf, left - 1, top), 0u);
            EXPECT_EQ(PixelAt(pic.buf, left, top - 1), 0u);
        }
    }
}

TEST(HelpLoader, APhotosFactsAreReadWithoutTheQueueLock)
{
    // The render thread takes a loader's lock to draw the list: a file read under it would
    // stall frames on a slow disk.
    LoaderFixture f;
    MakePhoto(f.photos / "a.jpg", "-Make=Zcam -ISO=800", "300x150");
    std::atomic<int> reads{0}, lockedDuringRead{0};
    f.thumb.readPhotoFacts = [&](const String16& path, ImageInfo& info) {
        ++reads;
        // Another thread, as the render thread would, tries the lock meanwhile.
        std::thread other([&] {
            if (f.thumb.queueLock.TryLock())
                f.thumb.queueLock.Unlock();
            else
                ++lockedDuringRead;
        });
        other.join();
        return info.ReadFile(path.c_str());
    };
    Image target;
    ImageInfo info;
    ASSERT_TRUE(f.thumb.Start());
    ASSERT_TRUE(f.thumb.QueueRequest(f.Request(f.tickets.Issue(), target.buf, f.photos / "a.jpg", &info)));
    ASSERT_TRUE(f.list.WaitFor(1, 10000));
    EXPECT_TRUE(f.thumb.Stop(5000));
    EXPECT_EQ(reads.load(), 1);
    EXPECT_EQ(lockedDuringRead.load(), 0);
    EXPECT_EQ(info.isoSpeedRatings, 800) << "the facts still reach the item";
    EXPECT_EQ(target.buf.width, 200);

    // An item that has its facts already is not read again.
    Image again;
    ASSERT_TRUE(f.thumb.Start());
    ASSERT_TRUE(f.thumb.QueueRequest(f.Request(f.tickets.Issue(), again.buf, f.photos / "a.jpg", &info)));
    ASSERT_TRUE(f.list.WaitFor(2, 10000));
    EXPECT_TRUE(f.thumb.Stop(5000));
    EXPECT_EQ(reads.load(), 1);
}

TEST(HelpLoader, AnIdleLoaderSleepsAndStopsAtOnce)
{
    LoaderFixture f;
    MakePhoto(f.photos / "a.jpg");
    ASSERT_TRUE(f.thumb.Start());
    platform::SleepMs(200);
    Image target;
    ASSERT_TRUE(f.thumb.QueueRequest(f.Request(f.tickets.Issue(), target.buf, f.photos / "a.jpg")));
    ASSERT_TRUE(f.list.WaitFor(1, 10000));
    platform::SleepMs(100);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(f.thumb.Stop(500));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_FALSE(f.thumb.IsRunning());
}
