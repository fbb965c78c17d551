#include "app/CrashStatus.h"

#include "imaging/DocStream.h"
#include "imaging/Document.h"
#include "imaging/DocumentUi.h"
#include "imaging/HistoryStore.h"
#include "imaging/tests/DocumentTestUtil.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Folders.h"
#include "platform/Path.h"
#include "platform/tests/TestFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <vector>

using namespace platform;
using platform::test::ScopedEnv;
using platform::test::TestFolder;

namespace {

// The main window's side of recovery: answers the question and keeps what it is given.
struct TestHost : ICrashRecoveryHost {
    bool answer = true;
    int questions = 0;
    std::vector<std::u16string> paths;
    std::vector<std::unique_ptr<CZDDoc>> docs;
    std::vector<RecoveredHistory> histories;
    bool AskCrashFound() override
    {
        ++questions;
        return answer;
    }
    bool OpenRecovered(const std::u16string& path, CZDDoc& doc, RecoveredHistory& history) override
    {
        auto copy = std::make_unique<CZDDoc>();
        if (!copy->CopyFrom(doc))
            return false;
        paths.push_back(path);
        docs.push_back(std::move(copy));
        histories.push_back(std::move(history));
        return true;
    }
};

// Recovery as a starting program does it, with a writer of its own beside the files.
CrashRecoveryResult Recover(const String16& basePath, TestHost& host)
{
    CrashStatusFile status(basePath);
    return RecoverFromCrash(status, host);
}

// A page of the editor as far as recovery sees it: a document and its history.
struct Page {
    CZDDoc doc;
    HistoryStore store;
    std::unique_ptr<CZDDoc> expected; // the document as its last step left it

    void Snapshot()
    {
        expected = std::make_unique<CZDDoc>();
        ASSERT_TRUE(expected->CopyFrom(doc));
    }
};

void Paint(CZDLayer& layer, uint16_t value)
{
    for (uint32_t i = 0; i < layer.pixels.pixelCount * 4; i += 4)
        layer.pixels.data[i + 1] = uint16_t(value + i);
}

void ExpectSamePixels(const CZDDoc& a, const CZDDoc& b)
{
    ASSERT_EQ(a.LayerCount(), b.LayerCount());
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.height, b.height);
    for (int i = 0; i < a.LayerCount(); ++i)
        EXPECT_TRUE(SameImage(a.layers[i]->pixels, b.layers[i]->pixels)) << "layer " << i;
}

class CrashStatusTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        env.Set("TMPDIR", folder.Native());
        crashPath = DefaultCrashStatusPath();
        ASSERT_FALSE(crashPath.empty());
        EXPECT_EQ(String16(FileNamePart(crashPath)), u"ZDStatus.flg");
    }
    void TearDown() override { TheDocumentUi() = DocumentUi{}; }

    String16 DataPath(const char16_t* name) { return folder.Path(name); }

    // Tab 1: a photo of two layers opened, then two layer steps.
    void MakeLayerPage(Page& p)
    {
        AddOwned(p.doc, PatternImage16(8, 6, 1), u"bg");
        AddOwned(p.doc, PatternImage16(8, 6, 2), u"top");
        CopyText(p.doc.path, u"/photos/first.jpg");
        ASSERT_EQ(p.store.Init(&p.doc, DataPath(u"his1.zdtmp")), 1);
        ASSERT_EQ(p.store.AddStep(kHistoryDocument, -1, u"open", false, 0, nullptr, 0), 1);
        Paint(*p.doc.layers[1], 7000);
        ASSERT_EQ(p.store.AddStep(kHistoryLayer, 1, u"brush", false, 0, nullptr, 0), 1);
        Paint(*p.doc.layers[0], 9000);
        ASSERT_EQ(p.store.AddStep(kHistoryLayer, 0, u"brush", false, 0, nullptr, 0), 1);
        ASSERT_EQ(p.store.steps[2].kind, kHistoryLayer);
        p.Snapshot();
    }
    // Tab 2: a one-layer photo opened, then a whole-document step.
    void MakeDocumentPage(Page& p, const char16_t* data = u"his2.zdtmp", int edits = 1)
    {
        AddOwned(p.doc, PatternImage16(5, 4, 3), u"only");
        CopyText(p.doc.path, u"/photos/second.png");
        ASSERT_EQ(p.store.Init(&p.doc, DataPath(data)), 1);
        ASSERT_EQ(p.store.AddStep(kHistoryDocument, -1, u"open", false, 0, nullptr, 0), 1);
        for (int i = 0; i < edits; ++i) {
            Paint(*p.doc.layers[0], uint16_t(100 + 37 * i));
            ASSERT_EQ(p.store.AddStep(kHistoryLayer, 0, u"curves", false, 0, nullptr, 0), 1);
        }
        ASSERT_EQ(p.store.steps.back().kind, kHistoryDocument);
        p.Snapshot();
    }

    std::vector<uint8_t> FileBytes()
    {
        std::vector<uint8_t> b;
        ReadWholeFile(crashPath, b);
        return b;
    }
    void WriteFile(const std::vector<uint8_t>& b) { ASSERT_TRUE(WriteWholeFileAtomic(crashPath, b)); }

    TestFolder folder;
    ScopedEnv env;
    String16 crashPath;
    std::unique_ptr<CZDDoc> expectedA, expectedB;
};

} // namespace

TEST_F(CrashStatusTest, BytesOfTwoPages)
{
    Page a, b;
    MakeLayerPage(a);
    MakeDocumentPage(b);
    CrashStatusFile file(crashPath);
    ASSERT_EQ(file.WriteCrashStatus({&a.store, &b.store}), 1);
    const std::vector<uint8_t> bytes = FileBytes();
    ASSERT_EQ(bytes.size(), 2 + 1026 + 3 * 1116 + 1026 + 2 * 1116);
    EXPECT_EQ(GetU16(&bytes[0]), 2);
    // Tab 1: its data file path at 2, zero-padded to 1024 bytes; S at 1026; steps from 1028.
    const String16 path1 = DataPath(u"his1.zdtmp");
    for (size_t i = 0; i < 512; ++i)
        ASSERT_EQ(GetU16(&bytes[2 + 2 * i]), i < path1.size() ? path1[i] : 0) << i;
    EXPECT_EQ(GetU16(&bytes[1026]), 3);
    for (int s = 0; s < 3; ++s) {
        const uint8_t* r = &bytes[1028 + s * 1116];
        const HistoryStep& step = a.store.steps[size_t(s)];
        EXPECT_EQ(GetU32(r + 64), step.offset);
        EXPECT_EQ(GetU32(r + 68), step.length);
        EXPECT_EQ(r[72], step.kind);
        EXPECT_EQ(r[73], step.layerIndex);
        EXPECT_EQ(int32_t(GetU32(r + 76)), step.layerId);
        EXPECT_EQ(GetU32(r + 1112), 0u) << "no pointer in the file";
    }
    EXPECT_EQ(GetU16(&bytes[1028]), u'o') << "caption at the record's start";
    // Tab 2 right after.
    const size_t tab2 = 2 + 1026 + 3 * 1116;
    const String16 path2 = DataPath(u"his2.zdtmp");
    EXPECT_EQ(GetU16(&bytes[tab2]), path2[0]);
    EXPECT_EQ(GetU16(&bytes[tab2 + 1024]), 2);
    EXPECT_EQ(bytes[tab2 + 1026 + 1116 + 72], kHistoryDocument);

    // A rewrite with one page is cut to its size; no pages: the file goes.
    ASSERT_EQ(file.WriteCrashStatus({&b.store}), 1);
    EXPECT_EQ(FileBytes().size(), 2 + 1026 + 2 * 1116u);
    ASSERT_EQ(file.WriteCrashStatus({}), 1);
    EXPECT_FALSE(PathExists(crashPath));
}

TEST_F(CrashStatusTest, RecoveryRebuildsEveryTabWithThePixelsOfItsLastStep)
{
    {
        Page a, b;
        MakeLayerPage(a);
        MakeDocumentPage(b);
        // The history store rewrites the file after every step through the frame's hook.
        CrashStatusFile file(crashPath);
        struct Hook : ICrashStatusWriter {
            CrashStatusFile* file;
            std::vector<const HistoryStore*> pages;
            void WriteCrashStatus() override { file->WriteCrashStatus(pages); }
        } hook;
        hook.file = &file;
        hook.pages = {&a.store, &b.store};
        TheDocumentUi().crashStatus = &hook;
        Paint(*a.doc.layers[1], 12000);
        ASSERT_EQ(a.store.AddStep(kHistoryLayer, 1, u"last", false, 0, nullptr, 0), 1);
        a.Snapshot();
        TheDocumentUi().crashStatus = nullptr;
        ASSERT_EQ(GetU16(&FileBytes()[1026]), 4) << "written by the new step";

        // The crash: nothing is cleaned up; the process's lock goes with it.
        expectedA = std::move(a.expected);
        expectedB = std::move(b.expected);
    }
    ASSERT_TRUE(PathExists(DataPath(u"his1.zdtmp")));
    const auto dataBefore = [&] {
        std::vector<uint8_t> d;
        ReadWholeFile(DataPath(u"his1.zdtmp"), d);
        return d;
    }();

    const std::vector<uint8_t> statusBefore = FileBytes();
    TestHost host;
    CrashStatusFile status(crashPath);
    const CrashRecoveryResult r = RecoverFromCrash(status, host);
    EXPECT_TRUE(r.found);
    EXPECT_EQ(r.files, 1);
    EXPECT_EQ(host.questions, 1);
    EXPECT_EQ(r.tabsOpened, 2);
    EXPECT_EQ(r.tabsSkipped, 0);
    ASSERT_EQ(host.docs.size(), 2u);
    EXPECT_EQ(host.paths[0], u"/photos/first.jpg");
    EXPECT_EQ(host.paths[1], u"/photos/second.png");
    ExpectSamePixels(*host.docs[0], *expectedA);
    ExpectSamePixels(*host.docs[1], *expectedB);
    // Each tab gets its history to go on with: the data file and every step written.
    ASSERT_EQ(host.histories.size(), 2u);
    EXPECT_EQ(host.histories[0].dataPath, DataPath(u"his1.zdtmp"));
    EXPECT_EQ(host.histories[0].steps.size(), 4u);
    EXPECT_EQ(host.histories[1].steps.size(), 2u);
    std::vector<uint8_t> dataAfter;
    ReadWholeFile(DataPath(u"his1.zdtmp"), dataAfter);
    EXPECT_EQ(dataAfter, dataBefore) << "replaying leaves the data file as it was";

    // The file is this program's now, held, and unchanged until it writes its own tabs.
    EXPECT_FALSE(r.fileDeleted);
    EXPECT_EQ(status.Path(), crashPath);
    EXPECT_TRUE(status.HoldsFile());
    EXPECT_EQ(FileBytes(), statusBefore);
    TestHost other;
    EXPECT_FALSE(Recover(crashPath, other).found) << "a second program starting now";
    EXPECT_EQ(status.DeleteCrashStatus(), 1);
    EXPECT_FALSE(PathExists(crashPath));
}

TEST_F(CrashStatusTest, UndoneStepsAreNotRecovered)
{
    {
        Page a;
        MakeLayerPage(a);
        ASSERT_EQ(a.store.steps.size(), 3u);
        ASSERT_EQ(a.store.GoToStep(1, StepReplay::Force), 1); // undo the last step
        a.Snapshot();
        CrashStatusFile file(crashPath);
        ASSERT_EQ(file.WriteCrashStatus({&a.store}), 1);
        EXPECT_EQ(GetU16(&FileBytes()[1026]), 2) << "only the steps up to the current one";
        expectedA = std::move(a.expected);
    }
    TestHost host;
    const CrashRecoveryResult r = Recover(crashPath, host);
    EXPECT_EQ(r.tabsOpened, 1);
    ASSERT_EQ(host.docs.size(), 1u);
    ExpectSamePixels(*host.docs[0], *expectedA);
}

TEST_F(CrashStatusTest, RecoveryTable)
{
    Page a, b, many;
    MakeLayerPage(a);
    MakeDocumentPage(b);
    // More steps than the old limit of 256.
    MakeDocumentPage(many, u"his3.zdtmp", 299);
    ASSERT_EQ(many.store.steps.size(), 300u);
    std::vector<uint8_t> good, withMany;
    ASSERT_TRUE(BuildCrashStatus({&a.store, &b.store}, good));
    ASSERT_TRUE(BuildCrashStatus({&a.store, &many.store, &b.store}, withMany));
    const size_t tab1 = 1026 + 3 * 1116;

    auto patched = [&](auto change) {
        std::vector<uint8_t> v = good;
        change(v);
        return v;
    };
    // A middle tab whose data file is gone.
    std::vector<uint8_t> missingData;
    {
        Page gone;
        MakeDocumentPage(gone, u"his-gone.zdtmp");
        ASSERT_TRUE(BuildCrashStatus({&a.store, &gone.store, &b.store}, missingData));
        DeleteFile(DataPath(u"his-gone.zdtmp"));
    }
    // A middle tab without steps.
    std::vector<uint8_t> noSteps = good;
    {
        std::vector<uint8_t> empty(1026, 0);
        PutText16(empty.data(), u"/nowhere", 512);
        noSteps.insert(noSteps.begin() + 2 + long(tab1), empty.begin(), empty.end());
        PutU16(noSteps.data(), 3);
    }
    // A middle tab whose records are garbage (its data file is there).
    std::vector<uint8_t> garbage;
    ASSERT_TRUE(BuildCrashStatus({&a.store, &b.store, &b.store}, garbage));
    std::fill(garbage.begin() + 2 + long(tab1) + 1026, garbage.begin() + 2 + long(tab1) + 1026 + 2 * 1116, 0xEE);
    // A middle tab whose data file a running program holds (its store is alive).
    Page live;
    MakeDocumentPage(live, u"his-live.zdtmp");
    std::vector<uint8_t> held;
    ASSERT_TRUE(BuildCrashStatus({&a.store, &live.store, &b.store}, held));
    // The pages above are gone (crashed) from here on: their data files are free.
    a.store.Release();
    b.store.Release();
    many.store.Release();

    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        bool answer;
        int opened;
        int skipped;
        bool deleted;
    };
    const std::vector<Case> cases = {
        {"two good tabs", good, true, 2, 0, true},
        {"T = 0", {0, 0}, true, 0, 0, true},
        {"empty file", {}, true, 0, 0, true},
        {"T = 300, two tabs there", patched([](auto& v) { PutU16(v.data(), 300); }), true, 2, 0, true},
        {"second tab cut inside its steps: its whole records", patched([&](auto& v) { v.resize(v.size() - 10); }), true, 2, 0, true},
        {"second tab cut inside its path", patched([&](auto& v) { v.resize(2 + tab1 + 500); }), true, 1, 0, true},
        {"S = 0 in the middle", noSteps, true, 2, 1, true},
        {"data file of the middle tab gone", missingData, true, 2, 1, true},
        {"garbage steps in the middle", garbage, true, 2, 1, true},
        {"data file of the middle tab held", held, true, 2, 1, true},
        {"300 steps", withMany, true, 3, 0, true},
        {"answer No", good, false, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(c.bytes);
        TestHost host;
        host.answer = c.answer;
        {
            CrashStatusFile status(crashPath);
            const CrashRecoveryResult r = RecoverFromCrash(status, host);
            EXPECT_EQ(host.questions, 1);
            EXPECT_EQ(r.tabsOpened, c.opened);
            EXPECT_EQ(r.tabsSkipped, c.skipped);
            // Rebuilt tabs: the new program's first write replaces the file; here none comes.
            if (c.opened > 0) {
                EXPECT_EQ(status.DeleteCrashStatus(), 1);
            }
        }
        EXPECT_EQ(PathExists(crashPath), !c.deleted);
        if (c.opened >= 2 && c.bytes == good) {
            ExpectSamePixels(*host.docs[0], *a.expected);
            ExpectSamePixels(*host.docs[1], *b.expected);
        }
        if (c.bytes == withMany)
            ExpectSamePixels(*host.docs[1], *many.expected);
    }

    // No file: nothing asked.
    DeleteFile(crashPath);
    TestHost host;
    EXPECT_FALSE(Recover(crashPath, host).found);
    EXPECT_EQ(host.questions, 0);
}

TEST_F(CrashStatusTest, EachRunningProgramHasItsOwnFileThatNoOtherTouches)
{
    Page a, b;
    MakeLayerPage(a);
    MakeDocumentPage(b);
    auto first = std::make_unique<CrashStatusFile>(crashPath);
    ASSERT_EQ(first->WriteCrashStatus({&a.store}), 1);
    EXPECT_EQ(first->Path(), crashPath);
    const std::vector<uint8_t> before = FileBytes();

    // A second program starting now: no question, nothing opened, the file stays.
    TestHost host;
    EXPECT_FALSE(Recover(crashPath, host).found);
    EXPECT_EQ(host.questions, 0);
    // Its own tabs go to a file of its own, protected the same way.
    auto second = std::make_unique<CrashStatusFile>(crashPath);
    ASSERT_EQ(second->WriteCrashStatus({&b.store}), 1);
    EXPECT_EQ(second->Path(), CrashStatusPathFor(crashPath, 2));
    EXPECT_EQ(FileBytes(), before);
    EXPECT_EQ(ListCrashStatusFiles(crashPath).size(), 2u);
    EXPECT_FALSE(Recover(crashPath, host).found);
    // Both lists count for a clean-up, running or not.
    std::vector<std::u16string> named;
    ASSERT_TRUE(CrashStatusDataFiles(crashPath, named));
    EXPECT_EQ(named, (std::vector<std::u16string>{DataPath(u"his1.zdtmp"), DataPath(u"his2.zdtmp")}));

    // The first one crashes (its lock goes with it; so does its history's): a third program
    // finds that file alone; the second one's stays its own.
    first.reset();
    a.store.Release();
    CrashStatusFile third(crashPath);
    const CrashRecoveryResult after = RecoverFromCrash(third, host);
    EXPECT_TRUE(after.found);
    EXPECT_EQ(after.files, 1);
    EXPECT_EQ(after.tabsOpened, 1);
    ExpectSamePixels(*host.docs[0], *a.expected);
    EXPECT_EQ(third.Path(), crashPath) << "taken over";
    ASSERT_TRUE(PathExists(CrashStatusPathFor(crashPath, 2)));
    EXPECT_EQ(second->DeleteCrashStatus(), 1);
    EXPECT_EQ(third.DeleteCrashStatus(), 1);
    EXPECT_TRUE(ListCrashStatusFiles(crashPath).empty());
}

TEST_F(CrashStatusTest, NamesOfTheProgramsFiles)
{
    EXPECT_EQ(CrashStatusPathFor(u"/t/ZDStatus.flg", 1), u"/t/ZDStatus.flg");
    EXPECT_EQ(CrashStatusPathFor(u"/t/ZDStatus.flg", 2), u"/t/ZDStatus-2.flg");
    EXPECT_EQ(CrashStatusPathFor(u"/t/ZDStatus.flg", 100), u"/t/ZDStatus-100.flg");
    EXPECT_EQ(CrashStatusPathFor(u"/t.d/status", 3), u"/t.d/status-3");
}

TEST_F(CrashStatusTest, AFailedWriteKeepsThePreviousVersionAndSaysWhy)
{
    Page a;
    MakeLayerPage(a);
    CrashStatusFile file(crashPath);
    ASSERT_EQ(file.WriteCrashStatus({&a.store}), 1);
    const std::vector<uint8_t> good = FileBytes();

    // The disk fills up while the next version is written: the file size limit makes write()
    // fail as ENOSPC would.
    Paint(*a.doc.layers[0], 4242);
    ASSERT_EQ(a.store.AddStep(kHistoryLayer, 0, u"more", false, 0, nullptr, 0), 1);
    std::vector<const HistoryStore*> many(40, &a.store); // a file past the limit
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    struct rlimit small = old;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int written = file.WriteCrashStatus(many);
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(written, 0);
    EXPECT_EQ(file.LastError(), EFBIG);
    EXPECT_EQ(FileBytes(), good) << "the last whole version stays";
    EXPECT_TRUE(file.HoldsFile());
    std::vector<FileInfo> entries;
    ListFolder(ParentFolder(crashPath), u"*", entries);
    EXPECT_EQ(entries.size(), 1u) << "no temporary file left";

    // A path the record cannot hold is refused before anything is written.
    HistoryStore longPath;
    std::fill(std::begin(longPath.path), std::end(longPath.path), u'x');
    EXPECT_EQ(file.WriteCrashStatus({&longPath}), 0);
    EXPECT_EQ(file.LastError(), EINVAL);
    EXPECT_EQ(FileBytes(), good);
}

// Files cut anywhere (as a damaged disk or an older version's in-place rewrite left them): each
// tab whose path and count are whole comes back with the pixels of its last whole record.
TEST_F(CrashStatusTest, ACutFileGivesEachTabItsWholeRecords)
{
    std::vector<std::unique_ptr<CZDDoc>> stepsA, stepsB; // the document after each step
    std::vector<uint8_t> whole;
    {
        Page a, b;
        MakeLayerPage(a);
        MakeDocumentPage(b, u"his2.zdtmp", 2);
        for (Page* p : {&a, &b}) {
            auto& out = p == &a ? stepsA : stepsB;
            for (size_t i = 0; i < p->store.steps.size(); ++i) {
                ASSERT_EQ(p->store.GoToStep(int(i), StepReplay::Force), 1);
                out.push_back(std::make_unique<CZDDoc>());
                ASSERT_TRUE(out.back()->CopyFrom(p->doc));
            }
        }
        ASSERT_TRUE(BuildCrashStatus({&a.store, &b.store}, whole));
    }
    const size_t tab = 1026, rec = 1116;
    const size_t tab2 = 2 + tab + 3 * rec;
    ASSERT_EQ(whole.size(), tab2 + tab + 3 * rec);
    for (size_t cut = 0; cut <= whole.size(); cut += (cut < 2 + tab ? 257 : 373)) {
        SCOPED_TRACE(cut);
        WriteFile(std::vector<uint8_t>(whole.begin(), whole.begin() + long(cut)));
        const size_t recordsA = cut < 2 + tab ? 0 : std::min<size_t>(3, (cut - 2 - tab) / rec);
        const size_t recordsB = cut < tab2 + tab ? 0 : (cut - tab2 - tab) / rec;
        TestHost host;
        const CrashRecoveryResult r = Recover(crashPath, host);
        EXPECT_EQ(r.tabsOpened, int(recordsA > 0) + int(recordsB > 0));
        size_t at = 0;
        if (recordsA > 0) {
            ASSERT_GT(host.docs.size(), at);
            ExpectSamePixels(*host.docs[at], *stepsA[recordsA - 1]);
            EXPECT_EQ(host.histories[at++].steps.size(), recordsA);
        }
        if (recordsB > 0) {
            ASSERT_GT(host.docs.size(), at);
            ExpectSamePixels(*host.docs[at], *stepsB[recordsB - 1]);
        }
    }
}

// A recovered tab is a copy of the rebuilt document that goes on with the crashed run's history.
// A step it records on an upper layer names that layer: undo in this run and the recovery after a
// second crash replay it over the history's own documents, so the copy must name its layers as
// they do.
TEST_F(CrashStatusTest, ARecoveredTabsNewLayerStepsReplayAfterUndoAndASecondCrash)
{
    {
        Page a;
        MakeLayerPage(a);
        CrashStatusFile file(crashPath);
        ASSERT_EQ(file.WriteCrashStatus({&a.store}), 1);
    }
    std::unique_ptr<CZDDoc> expected;
    {
        TestHost host;
        CrashStatusFile status(crashPath);
        ASSERT_EQ(RecoverFromCrash(status, host).tabsOpened, 1);
        // The tab: its own copy of the document, the crashed run's history bound to it.
        CZDDoc& doc = *host.docs[0];
        HistoryStore store;
        ASSERT_EQ(store.Reopen(&doc, host.histories[0].dataPath), 1);
        store.steps = std::move(host.histories[0].steps);
        store.current = int32_t(store.steps.size()) - 1;
        ASSERT_EQ(store.steps.size(), 3u);
        Paint(*doc.layers[1], 21000);
        ASSERT_EQ(store.AddStep(kHistoryLayer, 1, u"after recovery", false, 0, nullptr, 0), 1);
        ASSERT_EQ(store.steps[3].kind, kHistoryLayer);
        expected = std::make_unique<CZDDoc>();
        ASSERT_TRUE(expected->CopyFrom(doc));
        // Undo to the open step and redo all: the new step replays over the history's documents.
        ASSERT_EQ(store.GoToStep(0, StepReplay::Force), 1);
        ASSERT_EQ(store.GoToStep(3, StepReplay::Force), 1) << "the step recorded after the recovery";
        ExpectSamePixels(doc, *expected);
        ASSERT_EQ(status.WriteCrashStatus({&store}), 1);
        // The second crash: the history's lock and the status file's go with the process.
        store.Release();
    }
    TestHost host;
    const CrashRecoveryResult r = Recover(crashPath, host);
    EXPECT_EQ(r.tabsSkipped, 0);
    ASSERT_EQ(r.tabsOpened, 1) << "the tab of the first recovery, with its new step";
    EXPECT_EQ(host.histories[0].steps.size(), 4u);
    ExpectSamePixels(*host.docs[0], *expected);
}
