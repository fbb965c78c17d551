#include "platform/FolderWatch.h"

#include "TestFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace platform;
using namespace platform::test;

TEST(FolderWatch, ReportsChangesInTheFolderOnly)
{
    TestFolder dir;
    ASSERT_TRUE(CreateFolder(dir.Path(u"sub")));
    FolderWatch watch;
    ASSERT_TRUE(watch.Open(dir.Path()));

    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(watch.Wait(80), FolderWatch::Result::Timeout);
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count(), 75);

    // Each kind of change; a burst is reported once.
    struct Step { const char* what; std::function<bool()> act; };
    const Step steps[] = {
        {"create", [&] { return WriteText(dir.Path(u"a.jpg"), "1"); }},
        {"write", [&] {
             File f;
             return f.Open(dir.Path(u"a.jpg"), FileMode::ReadWrite) && f.Write("2", 1);
         }},
        {"rename", [&] { return MoveFile(dir.Path(u"a.jpg"), dir.Path(u"b.jpg"), true); }},
        {"delete", [&] { return DeleteFile(dir.Path(u"b.jpg")); }},
        {"folder", [&] { return CreateFolder(dir.Path(u"new")); }},
        {"burst", [&] {
             bool ok = true;
             for (int i = 0; i < 50; ++i)
                 ok = ok && WriteText(dir.Path(u"n" + IntToText(i)), "x");
             return ok;
         }},
    };
    for (const Step& s : steps) {
        ASSERT_TRUE(s.act()) << s.what;
        EXPECT_EQ(watch.Wait(5000), FolderWatch::Result::Changed) << s.what;
        EXPECT_EQ(watch.Wait(0), FolderWatch::Result::Timeout) << s.what << ": reported once";
    }

    // Inside a sub-folder: not watched.
    ASSERT_TRUE(WriteText(dir.Path(u"sub/deep.jpg"), "x"));
    EXPECT_EQ(watch.Wait(50), FolderWatch::Result::Timeout);
}

TEST(FolderWatch, EndsWhenTheFolderGoes)
{
    TestFolder dir;
    ASSERT_TRUE(CreateFolder(dir.Path(u"w")));
    FolderWatch watch;
    ASSERT_TRUE(watch.Open(dir.Path(u"w")));
    ASSERT_TRUE(RemoveFolder(dir.Path(u"w")));
    EXPECT_EQ(watch.Wait(5000), FolderWatch::Result::Changed);
    EXPECT_EQ(watch.Wait(0), FolderWatch::Result::Failed);

    EXPECT_FALSE(watch.Open(dir.Path(u"w"))) << "missing";
    ASSERT_TRUE(WriteText(dir.Path(u"file"), "x"));
    EXPECT_FALSE(watch.Open(dir.Path(u"file"))) << "not a folder";
    EXPECT_EQ(watch.Wait(0), FolderWatch::Result::Failed);
}

TEST(FolderWatch, InterruptEndsAWaitAtOnceAndCountsOnce)
{
    TestFolder dir;
    FolderWatch watch;
    ASSERT_TRUE(watch.Open(dir.Path()));
    auto start = std::chrono::steady_clock::now();
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        watch.Interrupt();
    });
    EXPECT_EQ(watch.Wait(10000), FolderWatch::Result::Interrupted);
    other.join();
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count(), 2000);
    EXPECT_EQ(watch.Wait(0), FolderWatch::Result::Timeout) << "one interrupt ends one wait";
    // An interrupt before the wait ends the next one.
    watch.Interrupt();
    EXPECT_EQ(watch.Wait(10000), FolderWatch::Result::Interrupted);
    ASSERT_TRUE(WriteText(dir.Path(u"a.jpg"), "1"));
    EXPECT_EQ(watch.Wait(5000), FolderWatch::Result::Changed);
}
