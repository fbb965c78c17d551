// The editor tab's model: unsaved state against the saved step, a step that cannot be written
// taken back, notices in order, and paging the document out and in exactly.
#include "editor/EditorDocument.h"

#include "imaging/DocStream.h"
#include "imaging/DocumentGeometry.h"
#include "imaging/tests/DocumentTestUtil.h"
#include "platform/FileSystem.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::path TempFolder()
{
    const char* tmp = std::getenv("TMPDIR");
    static int counter = 0;
    fs::path p = fs::path(tmp ? tmp : "/tmp") / ("editor-model-" + std::to_string(getpid()) + "-" + std::to_string(++counter));
    fs::create_directories(p);
    return p;
}

struct Recorder final : IEditorDocumentObserver {
    std::vector<std::pair<char, uint32_t>>* log = nullptr;
    char name = '?';
    void OnDocumentChanged(CEditorDocument&, uint32_t changes) override { log->push_back({name, changes}); }
};

class EditorModel : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = TempFolder();
        model.ask = [this](const char16_t* text, int, int) {
            said.push_back(text);
            return 1;
        };
        AddOwned(model.Document(), PatternImage16(6, 4), u"bg");
        ASSERT_EQ(model.BindHistory((folder / "his.zdtmp").u16string()), 1);
        ASSERT_EQ(model.RecordStep(kHistoryDocument, -1, u"open", false, 0, nullptr, 0), 1);
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
    // A one-pixel change recorded as a step.
    int Edit(uint16_t value)
    {
        model.Document().layers[0]->pixels.data[0] = value;
        return model.RecordStep(kHistoryLayer, 0, u"edit", false, 0, nullptr, 0);
    }

    fs::path folder;
    CEditorDocument model;
    std::vector<std::u16string> said;
};

} // namespace

TEST_F(EditorModel, UnsavedIsTheCurrentStepAgainstTheSavedOneAndACutNeverComesBack)
{
    // Each row: an action, then whether the tab holds unsaved changes.
    struct Row {
        const char* action;
        bool unsaved;
    };
    const Row rows[] = {
        {"opened", false},         {"edit", true},  {"save", false},      {"undo", true},
        {"redo", false},           {"undo", true},  {"edit", true},       {"undo", true},
        {"redo", true}, // back at the index of the saved step, but that step was cut: not on disk
        {"save", false},           {"edit", true},
    };
    uint16_t value = 100;
    for (const Row& r : rows) {
        const std::string a = r.action;
        if (a == "edit") {
            ASSERT_EQ(Edit(value++), 1);
        } else if (a == "save") {
            model.MarkSaved();
        } else if (a == "undo") {
            ASSERT_EQ(model.Undo(), 1);
        } else if (a == "redo") {
            ASSERT_EQ(model.Redo(), 1);
        }
        EXPECT_EQ(model.Unsaved(), r.unsaved) << r.action << " at step " << model.History().current;
    }
}

TEST_F(EditorModel, AStepThatCannotBeWrittenIsTakenBackAndSaid)
{
    ImageBuffer16 before;
    CopyImage16(before, model.Document().layers[0]->pixels);
    // An offset the stream cannot hold: the step is refused, the history replays the last one.
    CZDLayer& layer = *model.Document().layers[0];
    layer.pixels.data[0] ^= 0x5555;
    layer.x = 40000;
    EXPECT_EQ(model.RecordStep(kHistoryDocument, -1, u"move", false, 0, nullptr, 0), 0);
    EXPECT_TRUE(SameImage(model.Document().layers[0]->pixels, before));
    EXPECT_EQ(model.Document().layers[0]->x, 0);
    EXPECT_EQ(model.History().steps.size(), 1u);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0], u"unexpect");

    // A change that brings its own way back uses it instead of the replay.
    bool tookBack = false;
    model.Document().layers[0]->x = 40000;
    EXPECT_EQ(model.RecordStep(kHistoryDocument, -1, u"turn", false, 0, nullptr, 0, [&] {
        tookBack = true;
        model.Document().layers[0]->x = 0;
    }), 0);
    EXPECT_TRUE(tookBack);
    EXPECT_EQ(said.size(), 2u);
    FreeImageBuffer(before);
}

TEST_F(EditorModel, ObserversHearInOrderWhatChanged)
{
    std::vector<std::pair<char, uint32_t>> log;
    Recorder crash, view, panel;
    crash.log = view.log = panel.log = &log;
    crash.name = 'c';
    view.name = 'v';
    panel.name = 'p';
    model.Subscribe(&view);
    model.Subscribe(&panel);
    model.Subscribe(&crash, CEditorDocument::kOrderCrashStatus);

    ASSERT_EQ(Edit(7), 1);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].first, 'c');
    EXPECT_EQ(log[1].first, 'v');
    EXPECT_EQ(log[2].first, 'p');
    EXPECT_TRUE(log[0].second & EditorChange::StepAdded);
    EXPECT_FALSE(log[0].second & EditorChange::StepMoved);

    log.clear();
    ASSERT_EQ(model.Undo(), 1);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_TRUE(log[0].second & EditorChange::StepMoved);
    EXPECT_TRUE(log[0].second & EditorChange::Pixels);
    EXPECT_EQ(model.Document().modified, 1);

    // A dialog that records through the store directly is heard all the same.
    log.clear();
    model.Unsubscribe(&panel);
    ASSERT_EQ(model.History().AddStep(kHistoryLayer, 0, u"dialog", true, 25, "ab", 2), 1);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_TRUE(log[1].second & EditorChange::StepAdded);
    EXPECT_TRUE(model.AnyStepWithPayload());
}

TEST_F(EditorModel, PagingOutAndInGivesTheSameDocumentByteForByte)
{
    CZDDoc& doc = model.Document();
    AddOwned(doc, PatternImage16(3, 2, 1), u"upper");
    doc.layers[1]->x = -2;
    doc.layers[1]->y = 3;
    doc.layers[1]->opacity = 77;
    doc.layers[1]->blendMode = kBlendScreen;
    doc.layers[1]->visible = 0;
    auto text = std::make_unique<CTextLayer>();
    text->pixels = PatternImage16(2, 2, 2);
    CopyTextBounded(text->name, 32, u"words");
    CopyTextBounded(text->text, CTextLayer::kTextUnits, u"hello");
    text->style[5] = 9;
    doc.layers.push_back(std::move(text));
    doc.current = 1;
    doc.selection = PatternPlane(6, 4, 3);
    for (int i = 0; i < 2; ++i) {
        auto mask = std::make_unique<MaskItem>();
        mask->plane = PatternPlane(2, 3, i);
        mask->x = i;
        mask->storedWidth = 6;
        mask->storedHeight = 4;
        CopyTextBounded(mask->name, 32, i ? u"m2" : u"m1");
        doc.masks.push_back(std::move(mask));
    }
    auto bytes = [](CZDDoc& d) {
        CDocMemStream s;
        s.pixelMode = PixelStreamMode::Exact;
        EXPECT_EQ(d.Serialize(s, false, true), 1);
        return s.Bytes();
    };
    const std::vector<uint8_t> before = bytes(doc);

    const std::u16string page = (folder / "pagemem-1.zdtmp").u16string();
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(model.PageOut(page), 1);
        EXPECT_TRUE(model.PagedOut());
        EXPECT_EQ(doc.LayerCount(), 0);
        EXPECT_EQ(doc.selection.data, nullptr);
        EXPECT_TRUE(fs::exists(fs::path(page)));
        ASSERT_EQ(model.PageIn(), 1);
        EXPECT_FALSE(model.PagedOut());
        EXPECT_EQ(bytes(doc), before) << "round " << round;
        EXPECT_EQ(doc.current, 1);
    }
}

TEST_F(EditorModel, AnOffsetBeyondTheStreamKeepsTheDocumentInMemory)
{
    AddOwned(model.Document(), PatternImage16(2, 2), u"far");
    model.Document().layers[1]->x = 40000;
    const std::u16string page = (folder / "pagemem-2.zdtmp").u16string();
    EXPECT_EQ(model.PageOut(page), 0);
    EXPECT_FALSE(model.PagedOut());
    EXPECT_EQ(model.Document().LayerCount(), 2);
    EXPECT_FALSE(fs::exists(fs::path(page))) << "a failed page-out leaves no file";
}

TEST_F(EditorModel, APageFileThatCannotBeReadIsRebuiltFromTheHistoryOrLost)
{
    ImageBuffer16 before;
    CopyImage16(before, model.Document().layers[0]->pixels);
    const std::u16string page = (folder / "pagemem-3.zdtmp").u16string();

    ASSERT_EQ(model.PageOut(page), 1);
    fs::resize_file(fs::path(page), 10);
    ASSERT_EQ(model.PageIn(), 1);
    EXPECT_TRUE(SameImage(model.Document().layers[0]->pixels, before));
    EXPECT_FALSE(model.Lost());

    // Neither the file nor the history: the document is lost and says so.
    ASSERT_EQ(model.PageOut(page), 1);
    fs::remove(fs::path(page));
    fs::remove(fs::path(std::u16string(model.History().path)));
    EXPECT_EQ(model.PageIn(), 0);
    EXPECT_TRUE(model.Lost());
    EXPECT_EQ(model.Document().LayerCount(), 0);
    FreeImageBuffer(before);
}

// A kill may come at any moment: whenever a view is told to show a step, the crash-status file
// must already list the tab at that step (a kill in between would lose a tab on screen, or bring
// back a picture older than the one shown).
TEST(EditorModelCrashStatus, EveryStepIsInTheCrashStatusFileBeforeAnyViewShowsIt)
{
    struct Writer final : ICrashStatusWriter {
        const HistoryStore* history = nullptr;
        int writtenSteps = -1, writtenCurrent = -1, writes = 0;
        void WriteCrashStatus() override
        {
            ++writes;
            writtenSteps = int(history->steps.size());
            writtenCurrent = history->current;
        }
    } writer;
    struct View final : IEditorDocumentObserver {
        Writer* writer = nullptr;
        std::string action;
        std::vector<std::string> faults;
        void OnDocumentChanged(CEditorDocument& model, uint32_t changes) override
        {
            if (!(changes & (EditorChange::StepAdded | EditorChange::StepMoved)))
                return;
            const HistoryStore& h = model.History();
            // The file lists the steps up to the current one: those are what a recovery replays.
            if (writer->writtenCurrent != h.current || writer->writtenSteps != int(h.steps.size()))
                faults.push_back(action + ": shown at step " + std::to_string(h.current) + " of " +
                                 std::to_string(h.steps.size()) + ", the file has " + std::to_string(writer->writtenCurrent) +
                                 " of " + std::to_string(writer->writtenSteps));
        }
    } view;
    view.writer = &writer;
    ICrashStatusWriter* const old = TheDocumentUi().crashStatus;
    TheDocumentUi().crashStatus = &writer;
    struct Restore {
        ICrashStatusWriter* old;
        ~Restore() { TheDocumentUi().crashStatus = old; }
    } restore{old};

    const fs::path folder = TempFolder();
    {
        CEditorDocument model;
        CCrashStatusSubscriber crash;
        model.Subscribe(&view);
        model.Subscribe(&crash, CEditorDocument::kOrderCrashStatus);
        writer.history = &model.History();
        AddOwned(model.Document(), PatternImage16(6, 4), u"bg");
        ASSERT_EQ(model.BindHistory((folder / "his.zdtmp").u16string()), 1);
        auto edit = [&](uint16_t value) {
            model.Document().layers[0]->pixels.data[0] = value;
            return model.RecordStep(kHistoryLayer, 0, u"edit", false, 0, nullptr, 0);
        };
        // Each action, as the tab does it; the view checks the file as it is told.
        const std::vector<std::pair<std::string, std::function<int()>>> actions = {
            {"open", [&] { return model.RecordStep(kHistoryDocument, -1, u"open", false, 0, nullptr, 0); }},
            {"edit", [&] { return edit(1); }},
            {"edit", [&] { return edit(2); }},
            {"undo", [&] { return model.Undo(); }},
            {"undo", [&] { return model.Undo(); }},
            {"redo", [&] { return model.Redo(); }},
            {"edit cutting the redo step", [&] { return edit(3); }},
            {"dialog through the store", [&] { return model.History().AddStep(kHistoryLayer, 0, u"dialog", true, 25, "ab", 2); }},
            {"jump back to the open step", [&] { return model.GoToStep(0, StepReplay::Force); }},
        };
        for (const auto& [name, act] : actions) {
            view.action = name;
            const int writes = writer.writes;
            ASSERT_EQ(act(), 1) << name;
            EXPECT_GT(writer.writes, writes) << name << ": no write";
        }
        EXPECT_TRUE(view.faults.empty()) << ::testing::PrintToString(view.faults);
    }
    std::error_code ec;
    fs::remove_all(folder, ec);
}
