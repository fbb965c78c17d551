// The program's background threads started and stopped in one place: every kind of thread busy
// with its slowest wait (a silent service, a running job, a scan of thousands of files, a
// folder watch, the loaders) ends within its limit, the last started first; a thread that does
// not is reported and kept, never destroyed under its work.
#include "LoopbackServers.h"

#include "album/FolderWatchThread.h"
#include "album/HelpLoaderThread.h"
#include "album/PhotoScanThread.h"
#include "algorithms/Algorithm.h"
#include "algorithms/AlgorithmThread.h"
#include "app/ServerThread.h"
#include "app/Services.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "platform/Settings.h"
#include "platform/tests/TestFolder.h"
#include "ui/ItemList.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <thread>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class CountingSink : public AlbumMessageSink {
public:
    bool Post(uint32_t, uintptr_t, intptr_t) override
    {
        ++posts;
        return true;
    }
    std::atomic<int> posts{0};
};

class AllAlive : public AlbumTicketRegistry {
public:
    bool IsTicketAlive(uint32_t) const override { return true; }
};

// Bands that run until the job is cancelled (at most 20 s), on every helper.
class UntilCancelled : public CAlgorithm {
public:
    int Run() override { return SplitIntoBands(0, 2) ? RunBands() : 0; }
    int ProcessBand(BandTask&) override
    {
        m_started.Set();
        const auto end = Clock::now() + std::chrono::seconds(20);
        while (!IsAlgorithmCancelled() && Clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return 1;
    }
    platform::Event m_started{platform::Event::Reset::Manual, false};
};

// A job that never asks whether it is cancelled.
class Deaf : public CAlgorithm {
public:
    int Run() override
    {
        m_entered.Set();
        m_release.Wait(20000);
        return 1;
    }
    platform::Event m_entered{platform::Event::Reset::Manual, false};
    platform::Event m_release{platform::Event::Reset::Manual, false};
};

struct Scoped {
    platform::test::TestFolder folder;
    Scoped() { platform::SetSettingsFiles(folder.Path(u"user.txt"), folder.Path(u"machine.txt")); }
    ~Scoped()
    {
        SetThumbnailLoaderLocks(nullptr, nullptr);
        platform::SetSettingsFiles(platform::DefaultUserSettingsFile(), platform::DefaultMachineSettingsFile());
    }
};

} // namespace

TEST(Services, EveryThreadEndsWithinItsLimitTheLastStartedFirst)
{
    Scoped scoped;
    const fs::path root = scoped.folder.Native();
    // A scan with thousands of photos to read, a folder to watch, a service that never answers.
    fs::create_directories(root / "photos");
    fs::create_directories(root / "data");
    ImageBuffer8 picture;
    ASSERT_TRUE(AllocImage8(picture, 64, 48));
    std::fill(picture.data, picture.data + picture.byteSize, uint8_t(0x80));
    ASSERT_TRUE(CodecSaveImage8(picture, (root / "photos/0.jpg").u16string().c_str(), false));
    FreeImageBuffer(picture);
    for (int i = 1; i < 3000; ++i)
        fs::copy_file(root / "photos/0.jpg", root / "photos" / (std::to_string(i) + ".jpg"));
    loopback::ServiceServer service;
    ASSERT_TRUE(service.Listening());
    service.Add({{}, true});

    std::atomic<int32_t> edition{0};
    CServerThread server;
    ServerSettings settings;
    settings.collectorHost = "127.0.0.1:9";
    settings.serviceHost = "127.0.0.1";
    settings.servicePort = service.Port();
    settings.connectTimeoutMs = settings.ioTimeoutMs = settings.httpTimeoutMs = 10000;
    server.Settle(edition, settings);
    ASSERT_EQ(server.Enabled(), 1);
    server.Post(WM_SERVER_NOTIFY, SERVER_CHECK_VERSION);

    PhotoDatabase database;
    CPhotoScanThread scan(database);
    CFolderWatchThread watch;
    CHelpLoaderThread thumb, full;
    CountingSink sink;
    AllAlive tickets;
    {
        CServices services;
        ASSERT_TRUE(services.StartServer(server));
        ASSERT_TRUE(services.StartAlgorithmWorker(theAlgorithmThread, 2));
        AlbumThreadSetup album;
        album.scan = &scan;
        album.scanTarget = &sink;
        album.dataFolder = platform::Utf8ToUtf16((root / "data").string());
        album.scanFolders = {platform::Utf8ToUtf16((root / "photos").string())};
        album.watch = &watch;
        album.watchTarget = &sink;
        album.thumbLoader = &thumb;
        album.fullLoader = &full;
        album.tickets = &tickets;
        ASSERT_TRUE(services.StartAlbum(album));
        EXPECT_EQ(thumb.passOn, &full);
        EXPECT_TRUE(watch.SetWatchPath(platform::Utf8ToUtf16(root.string())));
        EXPECT_EQ(services.Running(),
                  (std::vector<std::string>{"server thread", "algorithm worker", "first thumbnail loader",
                                            "second thumbnail loader", "photo scan", "folder watch"}));

        // Every thread busy: a job on the helpers, the scan reading photos, the server waiting.
        UntilCancelled job;
        ImageBuffer16 source{}, destination{};
        ASSERT_TRUE(AllocImage16(source, 2, 40));
        ASSERT_EQ(StartAlgorithm(&job, &source, &destination, nullptr, 1), 1);
        ASSERT_TRUE(job.m_started.Wait(5000));
        for (int i = 0; i < 2000 && scan.builtCount.load() < 20; ++i)
            platform::SleepMs(5);
        ASSERT_GE(scan.builtCount.load(), 20);
        platform::SleepMs(200);

        const Clock::time_point start = Clock::now();
        EXPECT_TRUE(services.Stop());
        const long long took = MsSince(start);
        const ServiceLimits limits;
        EXPECT_LT(took, limits.watch + limits.scan + 2 * limits.loader + limits.algorithm + limits.server);
        std::vector<std::string> order;
        for (const CServices::StopRecord& r : services.LastStop()) {
            SCOPED_TRACE(r.name);
            order.push_back(r.name);
            EXPECT_TRUE(r.ended);
            EXPECT_LT(r.ms, 1000) << "a busy thread is asked to end, not waited for";
        }
        EXPECT_EQ(order, (std::vector<std::string>{"folder watch", "photo scan", "second thumbnail loader",
                                                   "first thumbnail loader", "algorithm worker", "server thread"}));
        EXPECT_TRUE(services.Running().empty());
        for (const platform::Thread* t : std::initializer_list<const platform::Thread*>{
                 &server, &theAlgorithmThread, &scan, &watch, &thumb, &full})
            EXPECT_FALSE(t->IsRunning());
        EXPECT_EQ(theAlgorithmThread.HelperCount(), 0);
        EXPECT_LT(scan.builtCount.load(), 3000) << "the scan was cut short";
        EXPECT_EQ(scan.state.load(), CPhotoScanThread::kScanning);
        FreeImageBuffer(source);
        FreeImageBuffer(destination);
        std::cout << "stopped in " << took << " ms\n";
    }
}

TEST(Services, AThreadThatDoesNotEndInTimeIsReportedAndKept)
{
    std::vector<std::string> stuck;
    CServices services;
    services.limits.algorithm = 200;
    services.onStuck = [&](const char* name) { stuck.push_back(name); };
    ASSERT_TRUE(services.StartAlgorithmWorker(theAlgorithmThread, 1));
    Deaf job;
    ASSERT_EQ(StartAlgorithm(&job, nullptr, nullptr, nullptr, 2), 1);
    ASSERT_TRUE(job.m_entered.Wait(5000));
    const Clock::time_point start = Clock::now();
    EXPECT_FALSE(services.Stop());
    EXPECT_LT(MsSince(start), 2000);
    EXPECT_EQ(stuck, std::vector<std::string>{"algorithm worker"});
    EXPECT_EQ(services.Running(), std::vector<std::string>{"algorithm worker"}) << "kept for a later stop";
    EXPECT_TRUE(theAlgorithmThread.IsRunning());
    job.m_release.Set();
    for (int i = 0; i < 50 && !services.Running().empty(); ++i)
        services.Stop();
    EXPECT_TRUE(services.Running().empty());
    EXPECT_FALSE(theAlgorithmThread.IsRunning());
}
