#include "imaging/HistoryStore.h"

#include "imaging/DocStream.h"
#include "imaging/DocumentUi.h"

#include "DocumentTestUtil.h"
#include "platform/tests/ImageFileTestUtil.h"
#include "platform/Folders.h"
#include "platform/Text.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <functional>
#include <memory>
#include <random>

namespace {

struct Recorder : IBusyIndicator, IRenderWindowLock, IHistoryListView, ICrashStatusWriter {
    int busyDepth = 0, busyCalls = 0, locks = 0, unlocks = 0, refreshes = 0, crashWrites = 0;
    void BeginBusy() override { ++busyDepth; ++busyCalls; }
    void EndBusy() override { --busyDepth; }
    void Lock() override { ++locks; }
    void Unlock() override { ++unlocks; }
    void Refresh() override { ++refreshes; }
    void WriteCrashStatus() override { ++crashWrites; }
};

class HistoryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto& ui = TheDocumentUi();
        ui.busy = &rec;
        ui.renderLock = &rec;
        ui.crashStatus = &rec;
        dataPath = std::filesystem::temp_directory_path() /
                   ("zd-his-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::string s = dataPath.string();
        ASSERT_EQ(store.Init(&doc, std::u16string(s.begin(), s.end())), 1);
        store.listSprite = &rec;
    }
    void TearDown() override
    {
        TheDocumentUi() = DocumentUi{};
        std::filesystem::remove(dataPath);
    }

    void TwoCanvasLayers(int w = 8, int h = 6)
    {
        AddOwned(doc, PatternImage16(w, h, 1), u"bg");
        AddOwned(doc, PatternImage16(w, h, 2), u"top");
    }

    int Add(uint8_t kind, int layer = -1, const void* rect = nullptr)
    {
        return store.AddStep(kind, layer, u"step", false, 0, rect, 0);
    }

    // Everything a restore must bring back, compared exactly.
    static void ExpectSameDocument(const CZDDoc& a, const CZDDoc& b, const std::string& where)
    {
        ASSERT_EQ(a.LayerCount(), b.LayerCount()) << where;
        EXPECT_EQ(a.width, b.width) << where;
        EXPECT_EQ(a.height, b.height) << where;
        EXPECT_EQ(a.current, b.current) << where;
        for (int i = 0; i < a.LayerCount(); ++i) {
            const CZDLayer& x = *a.layers[i];
            const CZDLayer& y = *b.layers[i];
            EXPECT_TRUE(SameImage(x.pixels, y.pixels)) << where << " layer " << i;
            EXPECT_EQ(x.x, y.x) << where;
            EXPECT_EQ(x.y, y.y) << where;
            EXPECT_EQ(x.opacity, y.opacity) << where;
            EXPECT_EQ(x.blendMode, y.blendMode) << where;
            EXPECT_EQ(x.visible, y.visible) << where;
            EXPECT_EQ(std::u16string(x.name), std::u16string(y.name)) << where;
        }
    }

    Recorder rec;
    CZDDoc doc;
    HistoryStore store;
    std::filesystem::path dataPath;
};

} // namespace

TEST_F(HistoryTest, StepKindsArePromotedToWholeDocumentSteps)
{
    AddOwned(doc, PatternImage16(4, 4), u"only");
    ASSERT_EQ(Add(kHistoryAttributes), 1);
    EXPECT_EQ(store.steps[0].kind, kHistoryDocument) << "the first step is always a whole document";
    ASSERT_EQ(Add(kHistoryLayer), 1);
    EXPECT_EQ(store.steps[1].kind, kHistoryDocument) << "one layer: a layer step is the document";

    CZDDoc two;
    HistoryStore h;
    std::string s = (dataPath.string() + "-two");
    ASSERT_EQ(h.Init(&two, std::u16string(s.begin(), s.end())), 1);
    AddOwned(two, PatternImage16(8, 6, 1), u"bg");
    AddOwned(two, PatternImage16(8, 6, 2), u"top");
    ASSERT_EQ(h.AddStep(kHistoryDocument, -1, u"open", false, 0, nullptr, 0), 1);
    const uint8_t want[] = {12, 12, 12, 12, 255, 12};
    for (uint8_t k : want) {
        ASSERT_EQ(h.AddStep(kHistoryLayer, 1, u"paint", false, 0, nullptr, 0), 1);
        EXPECT_EQ(h.steps.back().kind, k) << "after an accumulated change above three canvas areas";
    }
    std::filesystem::remove(s);
}

TEST_F(HistoryTest, UndoAndRedoThroughEveryStepKindRestoreExactly)
{
    TwoCanvasLayers();
    std::vector<std::unique_ptr<CZDDoc>> states;
    auto snapshot = [&] {
        states.push_back(std::make_unique<CZDDoc>());
        states.back()->CopyFrom(doc);
    };
    ASSERT_EQ(Add(kHistoryDocument), 1);
    snapshot();

    // 1: paint the whole top layer (values the packed colour could not keep).
    for (uint32_t i = 0; i < doc.layers[1]->pixels.pixelCount * 4; ++i)
        doc.layers[1]->pixels.data[i] = uint16_t(i * 40503u + 7);
    ASSERT_EQ(Add(kHistoryLayer, 1), 1);
    snapshot();

    // 2: a rectangle of the background.
    const int32_t rect[4] = {5, 4, 2, 1}; // corners in any order
    for (int y = 1; y < 4; ++y)
        for (int x = 2; x < 5; ++x)
            doc.layers[0]->pixels.data[(y * 8 + x) * 4 + 1] = uint16_t(x * 1001 + y);
    ASSERT_EQ(Add(kHistoryRectangle, 0, rect), 1);
    EXPECT_EQ(std::memcmp(store.steps.back().payload, rect, 16), 0);
    snapshot();

    // 3: attributes.
    doc.layers[1]->opacity = 17;
    doc.layers[1]->x = -3;
    doc.layers[1]->blendMode = kBlendOverlay;
    doc.layers[1]->visible = 0;
    CopyTextBounded(doc.layers[0]->name, 32, u"renamed");
    doc.current = 0;
    ASSERT_EQ(Add(kHistoryAttributes), 1);
    snapshot();

    // 4: a new layer, recorded as a whole document.
    AddOwned(doc, PatternImage16(3, 3, 9), u"third");
    ASSERT_EQ(Add(kHistoryDocument), 1);
    snapshot();

    ASSERT_EQ(store.steps.size(), 5u);
    const uint8_t kinds[] = {255, 12, 13, 32, 255};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(store.steps[i].kind, kinds[i]);

    for (int target : {3, 2, 1, 0, 4, 1, 3, 0, 2, 4}) {
        ASSERT_EQ(store.GoToStep(target, StepReplay::SkipIfCurrent), 1) << target;
        EXPECT_EQ(store.current, target);
        ExpectSameDocument(doc, *states[size_t(target)], "step " + std::to_string(target));
    }
    EXPECT_EQ(rec.locks, rec.unlocks);
    EXPECT_EQ(rec.busyDepth, 0);
}

TEST_F(HistoryTest, GoingBackReplaysFromTheNearestWholeDocumentStep)
{
    TwoCanvasLayers();
    ASSERT_EQ(Add(kHistoryDocument), 1);
    ASSERT_EQ(Add(kHistoryLayer, 1), 1);
    ASSERT_EQ(Add(kHistoryLayer, 1), 1);
    ASSERT_EQ(Add(kHistoryLayer, 1), 1);
    struct Case { int target; StepReplay replay; int applied; };
    const Case cases[] = {
        {2, StepReplay::SkipIfCurrent, 3}, // 0, 1, 2
        {2, StepReplay::SkipIfCurrent, 0}, // already current
        {2, StepReplay::Force, 3},         // the same step again, replayed
        {3, StepReplay::SkipIfCurrent, 1}, // forward: just 3
    };
    for (const Case& c : cases) {
        const int before = rec.locks;
        ASSERT_EQ(store.GoToStep(c.target, c.replay), 1);
        EXPECT_EQ(rec.locks - before, c.applied) << c.target;
    }
    EXPECT_EQ(store.GoToStep(4, StepReplay::SkipIfCurrent), 0);
    EXPECT_EQ(store.GoToStep(-1, StepReplay::SkipIfCurrent), 0);
}

TEST_F(HistoryTest, AddingAfterUndoDropsLaterStepsAndReusesTheirSpace)
{
    TwoCanvasLayers();
    ASSERT_EQ(Add(kHistoryDocument), 1);
    ASSERT_EQ(Add(kHistoryLayer, 0), 1);
    ASSERT_EQ(Add(kHistoryLayer, 1), 1);
    ASSERT_EQ(Add(kHistoryLayer, 0), 1);
    ASSERT_EQ(store.GoToStep(1, StepReplay::SkipIfCurrent), 1);
    ASSERT_EQ(Add(kHistoryAttributes), 1);
    ASSERT_EQ(store.steps.size(), 3u);
    EXPECT_EQ(store.current, 2);
    EXPECT_EQ(store.steps[2].kind, kHistoryAttributes);
    EXPECT_EQ(store.steps[2].offset, store.steps[1].offset + store.steps[1].length);
    EXPECT_EQ(store.steps[1].offset, store.steps[0].offset + store.steps[0].length);
    ASSERT_EQ(store.GoToStep(0, StepReplay::SkipIfCurrent), 1);
    ASSERT_EQ(store.GoToStep(2, StepReplay::SkipIfCurrent), 1);
}

TEST_F(HistoryTest, RectangleStepsAndTheirEdges)
{
    TwoCanvasLayers();
    ASSERT_EQ(Add(kHistoryDocument), 1);
    const int32_t empty[4] = {3, 1, 3, 5};
    ASSERT_EQ(Add(kHistoryLayer, 1), 1);
    ASSERT_EQ(Add(kHistoryRectangle, 1, empty), 1);
    EXPECT_EQ(store.steps[2].length, store.steps[1].length) << "an empty rectangle stores the whole layer";

    // A stored rectangle larger than the layer has become is clipped when restored.
    const int32_t rect[4] = {4, 2, 8, 6};
    ImageBuffer16 wanted = PatternImage16(8, 6, 2);
    for (int y = 2; y < 6; ++y)
        for (int x = 4; x < 8; ++x)
            doc.layers[1]->pixels.data[(y * 8 + x) * 4] = 4242;
    ASSERT_EQ(Add(kHistoryRectangle, 1, rect), 1);
    FreeImageBuffer(doc.layers[1]->pixels);
    doc.layers[1]->pixels = SolidImage16(6, 3, 0, 0, 0, 0);
    CDocFileStream f;
    std::string s = dataPath.string();
    ASSERT_TRUE(f.Open(std::u16string(s.begin(), s.end()), CDocFileStream::Mode::Read));
    f.pixelMode = PixelStreamMode::Exact;
    ASSERT_TRUE(f.Seek(store.steps[3].offset));
    ASSERT_EQ(store.RestoreLayer(f, store.steps[3].layerId, ZDRect{4, 2, 8, 6}), 1);
    EXPECT_EQ(PixelAt(doc.layers[1]->pixels, 4, 2)[0], 4242);
    EXPECT_EQ(PixelAt(doc.layers[1]->pixels, 5, 2)[0], 4242);
    EXPECT_EQ(PixelAt(doc.layers[1]->pixels, 3, 2)[0], 0);
    EXPECT_EQ(store.RestoreLayer(f, 9999, ZDRect{}), 0) << "no layer with that id";
    FreeImageBuffer(wanted);
}

TEST_F(HistoryTest, AttributeStepIntoAChangedDocumentFailsAndChangesNothing)
{
    TwoCanvasLayers();
    ASSERT_EQ(Add(kHistoryDocument), 1);
    doc.layers[1]->opacity = 9;
    ASSERT_EQ(Add(kHistoryAttributes), 1);
    AddOwned(doc, PatternImage16(2, 2), u"extra");
    doc.layers[1]->opacity = 200;
    EXPECT_EQ(store.ApplyStep(1), 0);
    EXPECT_EQ(doc.layers[1]->opacity, 200);
    EXPECT_EQ(store.current, 1);
}

TEST_F(HistoryTest, CaptionsPayloadsAndHooks)
{
    TwoCanvasLayers();
    std::vector<uint8_t> big(1025, 0x5A);
    ASSERT_EQ(store.AddStep(kHistoryDocument, -1, u"a caption that is longer than thirty-one", true, 7,
                            big.data(), 1024),
              1);
    EXPECT_EQ(std::u16string(store.steps[0].name), u"a caption that is longer than..");
    EXPECT_FALSE(store.steps[0].heapPayload);
    EXPECT_EQ(store.steps[0].payload[1023], 0x5A);
    EXPECT_EQ(store.steps[0].tag, 7);
    EXPECT_EQ(rec.crashWrites, 0) << "not for the opening step";
    ASSERT_EQ(store.AddStep(kHistoryLayer, 1, u"b", true, 8, big.data(), 1025), 1);
    ASSERT_TRUE(store.steps[1].heapPayload);
    EXPECT_EQ(store.steps[1].PayloadData()[1024], 0x5A);
    EXPECT_EQ(store.steps[1].payload[0], 0);
    ASSERT_EQ(store.AddStep(kHistoryLayer, 1, u"c", false, 9, nullptr, 0), 1);
    EXPECT_EQ(store.steps[2].tag, 9) << "the tag names the tool without a payload too";
    EXPECT_EQ(rec.crashWrites, 2);
    EXPECT_EQ(rec.refreshes, 3);
    EXPECT_EQ(rec.busyCalls, 3);
    EXPECT_EQ(rec.busyDepth, 0);

    EXPECT_EQ(Add(kHistoryLayer, 5), 0) << "no such layer";
    EXPECT_EQ(Add(77), 0) << "unknown kind";
    EXPECT_EQ(store.steps.size(), 3u);
}

TEST_F(HistoryTest, CanvasSizeChangeDropsTheSelection)
{
    TwoCanvasLayers();
    ASSERT_EQ(Add(kHistoryDocument), 1);
    FreeImageBuffer(doc.layers[0]->pixels);
    doc.layers[0]->pixels = PatternImage16(4, 4);
    doc.width = doc.height = 4;
    ASSERT_EQ(Add(kHistoryDocument), 1);
    doc.selection = PatternPlane(4, 4);
    ASSERT_EQ(store.GoToStep(0, StepReplay::SkipIfCurrent), 1);
    EXPECT_EQ(doc.width, 8);
    EXPECT_EQ(doc.selection.data, nullptr);
    doc.selection = PatternPlane(8, 6);
    ASSERT_EQ(store.GoToStep(0, StepReplay::Force), 1);
    EXPECT_NE(doc.selection.data, nullptr) << "same size: the selection stays";
}

TEST_F(HistoryTest, MissingDataFileFailsCleanly)
{
    TwoCanvasLayers();
    ASSERT_EQ(Add(kHistoryDocument), 1);
    std::filesystem::remove(dataPath);
    EXPECT_EQ(Add(kHistoryLayer, 1), 0);
    EXPECT_EQ(store.ApplyStep(0), 0);
    EXPECT_EQ(store.steps.size(), 1u);
}

TEST_F(HistoryTest, DataBeyondTheRecordsThirtyTwoBitOffsetIsRefused)
{
    TwoCanvasLayers();
    ASSERT_EQ(Add(kHistoryDocument), 1);
    // As if the data file had grown to the edge of what a record can address.
    store.steps[0].offset = UINT32_MAX - 10;
    EXPECT_EQ(Add(kHistoryLayer, 1), 0);
    EXPECT_EQ(store.steps.size(), 1u);
    store.steps[0].offset = 0;
    EXPECT_EQ(Add(kHistoryLayer, 1), 1);
}

TEST_F(HistoryTest, TextLayerStepsCarryTheirText)
{
    TwoCanvasLayers();
    auto text = std::make_unique<CTextLayer>();
    text->pixels = PatternImage16(3, 2, 7);
    const char16_t before[] = u"before";
    std::memcpy(text->text, before, sizeof before);
    text->style[0] = 1;
    doc.layers.push_back(std::move(text));
    ASSERT_EQ(Add(kHistoryDocument), 1);
    auto& t = static_cast<CTextLayer&>(*doc.layers[2]);
    const char16_t after[] = u"after";
    std::memcpy(t.text, after, sizeof after);
    t.style[0] = 2;
    ASSERT_EQ(Add(kHistoryLayer, 2), 1);
    ASSERT_EQ(store.GoToStep(0, StepReplay::SkipIfCurrent), 1);
    auto& undone = static_cast<CTextLayer&>(*doc.layers[2]);
    EXPECT_EQ(std::u16string(undone.text), u"before");
    EXPECT_EQ(undone.style[0], 1);
    ASSERT_EQ(store.GoToStep(1, StepReplay::SkipIfCurrent), 1);
    auto& redone = static_cast<CTextLayer&>(*doc.layers[2]);
    EXPECT_EQ(std::u16string(redone.text), u"after");
    EXPECT_EQ(redone.style[0], 2);
}

TEST_F(HistoryTest, RectangleReachingPastTheLayerEdgeComesBackInPlace)
{
    TwoCanvasLayers();
    ASSERT_EQ(Add(kHistoryDocument), 1);
    // Paint the top-left corner; the step's rectangle starts left of and above the layer.
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            for (int c = 0; c < 3; ++c)
                doc.layers[1]->pixels.data[(y * 8 + x) * 4 + c] = uint16_t(10000 + 1000 * y + 100 * x + c);
    const int32_t rect[4] = {-2, -1, 3, 3};
    ASSERT_EQ(Add(kHistoryRectangle, 1, rect), 1);
    CZDDoc painted;
    ASSERT_EQ(painted.CopyFrom(doc), 1);

    for (uint32_t i = 0; i < doc.layers[1]->pixels.pixelCount * 4; ++i)
        doc.layers[1]->pixels.data[i] = 7;
    ASSERT_EQ(Add(kHistoryLayer, 1), 1);

    ASSERT_EQ(store.GoToStep(1, StepReplay::SkipIfCurrent), 1);
    ExpectSameDocument(doc, painted, "undone to the rectangle step");
}

TEST_F(HistoryTest, ClearedListStartsAgainWithAWholeDocumentStep)
{
    for (bool destroy : {false, true}) {
        CZDDoc d;
        AddOwned(d, PatternImage16(6, 4, 1), u"bg");
        AddOwned(d, PatternImage16(6, 4, 2), u"top");
        HistoryStore h;
        const std::string s = dataPath.string() + (destroy ? "-destroy" : "-clear");
        ASSERT_EQ(h.Init(&d, std::u16string(s.begin(), s.end())), 1);
        for (uint8_t kind : {kHistoryDocument, kHistoryLayer, kHistoryLayer})
            ASSERT_EQ(h.AddStep(kind, 1, u"s", false, 0, nullptr, 0), 1);
        if (destroy)
            h.Destroy();
        else
            h.Clear();
        EXPECT_EQ(h.current, 2) << "clearing keeps the current index";

        ASSERT_EQ(h.AddStep(kHistoryLayer, 1, u"again", false, 0, nullptr, 0), 1) << destroy;
        ASSERT_EQ(h.steps.size(), 1u);
        EXPECT_EQ(h.current, 0);
        EXPECT_EQ(h.steps[0].kind, kHistoryDocument);
        EXPECT_EQ(h.steps[0].offset, 0u);
        CZDDoc saved;
        ASSERT_EQ(saved.CopyFrom(d), 1);
        d.layers[1]->opacity = 3;
        d.layers[0]->pixels.data[0] = 1;
        ASSERT_EQ(h.GoToStep(0, StepReplay::Force), 1);
        ExpectSameDocument(d, saved, destroy ? "after Destroy" : "after Clear");

        // A current index left before a kept list (as crash recovery might set it) also
        // starts a new base rather than a step with nothing to replay from.
        h.current = -1;
        ASSERT_EQ(h.AddStep(kHistoryLayer, 1, u"base", false, 0, nullptr, 0), 1);
        ASSERT_EQ(h.steps.size(), 1u);
        EXPECT_EQ(h.steps[0].kind, kHistoryDocument);
        std::filesystem::remove(s);
    }
}

TEST_F(HistoryTest, AFailedStepKeepsTheRedoStepsUsable)
{
    struct Case {
        const char* what;
        std::function<int(CZDDoc&, HistoryStore&, const std::filesystem::path&)> add;
    };
    const Case cases[] = {
        {"rectangle outside the layer",
         [](CZDDoc&, HistoryStore& h, const std::filesystem::path&) {
             const int32_t r[4] = {20, 20, 30, 30};
             return h.AddStep(kHistoryRectangle, 1, u"r", false, 0, r, 0);
         }},
        {"layer without pixels",
         [](CZDDoc& d, HistoryStore& h, const std::filesystem::path&) {
             ImageBuffer16 kept = d.layers[1]->pixels;
             d.layers[1]->pixels = ImageBuffer16{};
             const int32_t r[4] = {0, 0, 2, 2};
             const int ok = h.AddStep(kHistoryRectangle, 1, u"r", false, 0, r, 0);
             d.layers[1]->pixels = kept;
             return ok;
         }},
        {"full disk",
         [](CZDDoc&, HistoryStore& h, const std::filesystem::path& p) {
             testutil::FileSizeLimit full(std::filesystem::file_size(p));
             return h.AddStep(kHistoryDocument, -1, u"d", false, 0, nullptr, 0);
         }},
    };
    for (const Case& c : cases) {
        CZDDoc d;
        AddOwned(d, PatternImage16(8, 6, 1), u"bg");
        AddOwned(d, PatternImage16(8, 6, 2), u"top");
        HistoryStore h;
        const std::filesystem::path p = dataPath.string() + "-" + std::to_string(&c - cases);
        const std::string s = p.string();
        ASSERT_EQ(h.Init(&d, std::u16string(s.begin(), s.end())), 1);
        ASSERT_EQ(h.AddStep(kHistoryDocument, -1, u"open", false, 0, nullptr, 0), 1);
        for (uint16_t v : {1000, 2000, 3000}) {
            for (uint32_t i = 0; i < d.layers[1]->pixels.pixelCount * 4; ++i)
                d.layers[1]->pixels.data[i] = uint16_t(v + i);
            ASSERT_EQ(h.AddStep(kHistoryLayer, 1, u"paint", false, 0, nullptr, 0), 1);
        }
        CZDDoc last;
        ASSERT_EQ(last.CopyFrom(d), 1);
        ASSERT_EQ(h.GoToStep(1, StepReplay::SkipIfCurrent), 1);

        EXPECT_EQ(c.add(d, h, p), 0) << c.what;
        EXPECT_EQ(h.steps.size(), 4u) << c.what;
        EXPECT_EQ(h.current, 1) << c.what;
        ASSERT_EQ(h.GoToStep(3, StepReplay::SkipIfCurrent), 1) << c.what;
        ExpectSameDocument(d, last, c.what);

        // A step that works afterwards still replaces the redo steps and restores exactly.
        ASSERT_EQ(h.GoToStep(1, StepReplay::SkipIfCurrent), 1);
        d.layers[0]->opacity = 17;
        ASSERT_EQ(h.AddStep(kHistoryAttributes, -1, u"a", false, 0, nullptr, 0), 1) << c.what;
        EXPECT_EQ(h.steps.size(), 3u);
        CZDDoc attr;
        ASSERT_EQ(attr.CopyFrom(d), 1);
        ASSERT_EQ(h.GoToStep(0, StepReplay::SkipIfCurrent), 1);
        ASSERT_EQ(h.GoToStep(2, StepReplay::SkipIfCurrent), 1);
        ExpectSameDocument(d, attr, c.what);
        std::filesystem::remove(p);
    }
}

TEST_F(HistoryTest, RectanglePayloadShorterThanARectangleIsRefused)
{
    TwoCanvasLayers();
    ASSERT_EQ(Add(kHistoryDocument), 1);
    for (int32_t length : {0, 4, 15}) {
        // On the heap with its true length, so a read past it shows under the sanitizer.
        std::unique_ptr<uint8_t[]> shortRect(new uint8_t[size_t(std::max(length, 1))]());
        EXPECT_EQ(store.AddStep(kHistoryRectangle, 1, u"r", true, 0, shortRect.get(), length), 0) << length;
        EXPECT_EQ(store.steps.size(), 1u) << length;
    }
    const int32_t rect[4] = {1, 1, 3, 4};
    ASSERT_EQ(store.AddStep(kHistoryRectangle, 1, u"r", true, 0, rect, sizeof rect), 1);
    EXPECT_EQ(store.steps[1].kind, kHistoryRectangle);
    EXPECT_EQ(std::memcmp(store.steps[1].payload, rect, sizeof rect), 0);
}

TEST_F(HistoryTest, EveryWayOfApplyingAResizingStepDropsTheOldSelection)
{
    for (int entry = 0; entry < 3; ++entry) {
        CZDDoc d;
        AddOwned(d, PatternImage16(8, 6, 1), u"bg");
        HistoryStore h;
        const std::string s = dataPath.string() + "-" + std::to_string(entry);
        ASSERT_EQ(h.Init(&d, std::u16string(s.begin(), s.end())), 1);
        ASSERT_EQ(h.AddStep(kHistoryDocument, -1, u"open", false, 0, nullptr, 0), 1);
        FreeImageBuffer(d.layers[0]->pixels);
        d.layers[0]->pixels = PatternImage16(4, 4);
        d.width = d.height = 4;
        ASSERT_EQ(h.AddStep(kHistoryDocument, -1, u"crop", false, 0, nullptr, 0), 1);
        d.selection = PatternPlane(4, 4);
        const int ok = entry == 0 ? h.ApplyStep(0) : h.GoToStep(0, entry == 1 ? StepReplay::SkipIfCurrent : StepReplay::Force);
        ASSERT_EQ(ok, 1) << entry;
        EXPECT_EQ(d.width, 8);
        EXPECT_EQ(d.selection.data, nullptr) << "entry point " << entry;
        std::filesystem::remove(s);
    }
}

TEST(HistoryStoreFiles, WithoutANamerTheDataFileGoesIntoThePrivateTempFolder)
{
    TheDocumentUi() = DocumentUi{};
    const std::u16string folder = platform::PrivateTempFolder();
    ASSERT_FALSE(folder.empty());
    CZDDoc d;
    AddOwned(d, PatternImage16(4, 4, 1), u"bg");
    HistoryStore h;
    ASSERT_EQ(h.Init(&d), 1);
    const std::u16string path(h.path);
    EXPECT_EQ(path.rfind(folder + u"/", 0), 0u) << platform::Utf16ToUtf8(path);
    EXPECT_EQ(h.AddStep(kHistoryDocument, -1, u"open", false, 0, nullptr, 0), 1);
    HistoryStore other;
    ASSERT_EQ(other.Init(&d), 1);
    EXPECT_NE(std::u16string(other.path), path) << "each store its own file";
    std::filesystem::remove(platform::Utf16ToUtf8(path));
    std::filesystem::remove(platform::Utf16ToUtf8(other.path));
}

TEST_F(HistoryTest, ReopenBindsAnExistingDataFileWithoutEmptyingIt)
{
    TwoCanvasLayers();
    ASSERT_EQ(Add(kHistoryDocument), 1);
    ASSERT_EQ(Add(kHistoryLayer, 1), 1);
    const auto size = std::filesystem::file_size(dataPath);
    ASSERT_GT(size, 0u);

    // A later run rebuilds the document from the records alone.
    CZDDoc rebuilt;
    HistoryStore again;
    for (const HistoryStep& step : store.steps) {
        uint8_t record[HistoryStepRecord::kSize];
        ASSERT_TRUE(WriteHistoryStepRecord(step, record));
        HistoryStep back;
        ReadHistoryStepRecord(record, back);
        again.steps.push_back(std::move(back));
    }
    const std::string s = dataPath.string();
    const std::u16string path(s.begin(), s.end());
    // Not while the first store holds its file: a running program's data is its own, neither
    // rebound nor emptied.
    EXPECT_EQ(again.Reopen(&rebuilt, path), 0);
    HistoryStore emptier;
    EXPECT_EQ(emptier.Init(&rebuilt, path), 0);
    EXPECT_EQ(std::filesystem::file_size(dataPath), size);
    store.Release();
    ASSERT_EQ(again.Reopen(&rebuilt, path), 1);
    EXPECT_EQ(std::filesystem::file_size(dataPath), size);
    ASSERT_EQ(again.GoToStep(1, StepReplay::Force), 1);
    ExpectSameDocument(rebuilt, doc, "reopened");

    HistoryStore none;
    EXPECT_EQ(none.Reopen(&rebuilt, u"/nonexistent/his.zdtmp"), 0);
    EXPECT_EQ(none.path[0], 0);
}

namespace {

std::vector<uint8_t> DocumentBytes(CZDDoc& doc)
{
    CDocMemStream stream;
    EXPECT_TRUE(doc.Serialize(stream, false, false));
    std::vector<uint8_t> bytes = stream.Bytes();
    bytes.push_back(uint8_t(doc.current));
    return bytes;
}

} // namespace

TEST_F(HistoryTest, BeforeBlockUndoGivesTheBytesOfTheFullReplay)
{
    TwoCanvasLayers(48, 32);
    AddOwned(doc, PatternImage16(20, 12, 3), u"small"); // an added layer with an offset
    ASSERT_EQ(Add(kHistoryDocument), 1);
    std::mt19937 rng(29);
    auto pick = [&](int n) { return int(rng() % uint32_t(n)); };
    int strokes = 0;
    for (int op = 0; op < 200; ++op) {
        const int what = pick(20);
        const int li = pick(doc.LayerCount());
        CZDLayer& layer = *doc.layers[size_t(li)];
        if (what < 14) {
            // A stroke: a rectangle of the layer painted, its backup as the before-block.
            ImageBuffer16 before;
            ASSERT_TRUE(CopyImage16(before, layer.pixels));
            const int w = layer.pixels.width, h = layer.pixels.height;
            const int l = pick(w), t = pick(h);
            const int32_t rect[4] = {l, t, l + 1 + pick(w - l), t + 1 + pick(h - t)};
            const uint16_t v = uint16_t(rng());
            for (int y = rect[1]; y < rect[3]; ++y)
                for (int x = rect[0]; x < rect[2]; ++x)
                    for (int c = 0; c < 4; ++c)
                        layer.pixels.data[(size_t(y) * w + x) * 4 + c] = uint16_t(v + 977 * c + x * y);
            ASSERT_EQ(store.AddStep(kHistoryRectangle, li, u"stroke", false, 16, rect, sizeof rect,
                                    pick(10) ? &before : nullptr),
                      1);
            EXPECT_EQ(store.steps.back().tag, 16) << "the tag without a payload";
            FreeImageBuffer(before);
            ++strokes;
        } else if (what < 16) {
            layer.opacity = uint8_t(rng());
            if (layer.placement)
                layer.x += pick(5) - 2;
            ASSERT_EQ(Add(kHistoryAttributes), 1);
        } else if (what < 17) {
            // A layer added or deleted: a whole-document step, where replays start.
            if (doc.LayerCount() < 5)
                AddOwned(doc, PatternImage16(10 + pick(20), 8 + pick(20), op), u"added");
            else
                doc.DeleteLayer(doc.LayerCount() - 1);
            ASSERT_EQ(Add(kHistoryDocument), 1);
        } else if (what < 18) {
            FreeImageBuffer(layer.pixels);
            layer.pixels = PatternImage16(doc.width, doc.height, op);
            ASSERT_EQ(Add(kHistoryLayer, li), 1);
        } else if (store.current > 0) {
            // Undo a few; the next step drops them and their before-blocks.
            ASSERT_EQ(store.GoToStep(std::max(0, store.current - 1 - pick(3)), StepReplay::Force), 1);
        }
    }
    ASSERT_GT(strokes, 100);

    // A jump back over several steps, then every step back one at a time, each against the
    // replay from the nearest whole-document step.
    auto compareBack = [&](int to) {
        const int from = store.current;
        store.useBeforeBlocks = true;
        ASSERT_EQ(store.GoToStep(to, StepReplay::Force), 1);
        ASSERT_EQ(store.current, to);
        const std::vector<uint8_t> quick = DocumentBytes(doc);
        store.useBeforeBlocks = false;
        ASSERT_EQ(store.GoToStep(from, StepReplay::SkipIfCurrent), 1);
        ASSERT_EQ(store.GoToStep(to, StepReplay::Force), 1);
        EXPECT_TRUE(DocumentBytes(doc) == quick) << "back from " << from << " to " << to;
    };
    ASSERT_GT(store.current, 20);
    const uint64_t used = store.beforeBlockUndos;
    compareBack(store.current - 4);
    ASSERT_EQ(store.GoToStep(int(store.steps.size()) - 1, StepReplay::SkipIfCurrent), 1);
    while (store.current > 0)
        compareBack(store.current - 1);
    EXPECT_GT(store.beforeBlockUndos - used, 40u) << "most strokes went back through their before-block";
}

TEST_F(HistoryTest, BeforeBlockIsUsedOnlyWhileTheLayerIsAsTheStepLeftIt)
{
    TwoCanvasLayers(16, 12);
    ASSERT_EQ(Add(kHistoryDocument), 1);
    CZDLayer& top = *doc.layers[1];
    ImageBuffer16 before;
    ASSERT_TRUE(CopyImage16(before, top.pixels));
    const int32_t rect[4] = {2, 3, 9, 8};
    for (int y = 3; y < 8; ++y)
        for (int x = 2; x < 9; ++x)
            top.pixels.data[(size_t(y) * 16 + x) * 4] = 7;
    ASSERT_EQ(store.AddStep(kHistoryRectangle, 1, u"stroke", false, 0, rect, sizeof rect, &before), 1);
    ASSERT_GT(store.steps[1].beforeLength, 0u);
    // A before picture of another size gives no block.
    ImageBuffer16 wrong = PatternImage16(5, 5, 1);
    ASSERT_EQ(store.AddStep(kHistoryRectangle, 1, u"stroke", false, 0, rect, sizeof rect, &wrong), 1);
    EXPECT_EQ(store.steps[2].beforeLength, 0u);
    FreeImageBuffer(wrong);
    ASSERT_EQ(store.GoToStep(1, StepReplay::Force), 1);

    struct Case {
        const char* what;
        std::function<void()> change;
        bool quick;
    };
    const Case cases[] = {
        {"as the step left it", [] {}, true},
        // A replay gives new layer objects: each change finds the layer anew.
        {"moved", [&] { doc.layers[1]->x += 1; }, false},
        {"another size", [&] {
             FreeImageBuffer(doc.layers[1]->pixels);
             doc.layers[1]->pixels = PatternImage16(17, 12, 4);
         }, false},
        {"another id", [&] { doc.layers[1]->id += 1000; }, false},
    };
    for (const Case& c : cases) {
        store.useBeforeBlocks = false;
        ASSERT_EQ(store.GoToStep(1, StepReplay::Force), 1) << c.what;
        c.change();
        const uint64_t used = store.beforeBlockUndos;
        store.useBeforeBlocks = true;
        ASSERT_EQ(store.GoToStep(0, StepReplay::Force), 1) << c.what;
        EXPECT_EQ(store.beforeBlockUndos - used, c.quick ? 1u : 0u) << c.what;
        ASSERT_EQ(doc.LayerCount(), 2);
        EXPECT_TRUE(SameImage(doc.layers[1]->pixels, before)) << c.what;
        EXPECT_EQ(doc.layers[1]->x, 0) << c.what;
    }
    FreeImageBuffer(before);
}

TEST_F(HistoryTest, ABeforeBlockThatCannotBeWrittenLeavesTheStepWithoutOne)
{
    TwoCanvasLayers(40, 30);
    ASSERT_EQ(Add(kHistoryDocument), 1);
    const int32_t rect[4] = {5, 5, 35, 25};
    auto stroke = [&](uint16_t value) {
        CZDLayer& top = *doc.layers[1];
        ImageBuffer16 before;
        EXPECT_TRUE(CopyImage16(before, top.pixels));
        for (int y = rect[1]; y < rect[3]; ++y)
            for (int x = rect[0]; x < rect[2]; ++x)
                top.pixels.data[(size_t(y) * 40 + x) * 4 + 1] = value;
        const int ok = store.AddStep(kHistoryRectangle, 1, u"stroke", false, 16, rect, sizeof rect, &before);
        FreeImageBuffer(before);
        return ok;
    };
    ASSERT_EQ(stroke(111), 1);
    ASSERT_GT(store.steps[1].beforeLength, 0u);
    ImageBuffer16 afterFirst;
    ASSERT_TRUE(CopyImage16(afterFirst, doc.layers[1]->pixels));
    // The file may grow by the next step's data, not by its before-block.
    const uint64_t limit = store.steps[1].End() + store.steps[1].length + store.steps[1].beforeLength / 2;
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = rlim_t(limit);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int second = stroke(222);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_EQ(second, 1) << "the step itself is recorded";
    ASSERT_EQ(store.steps.size(), 3u);
    EXPECT_EQ(store.steps[2].beforeLength, 0u);
    // Back over it by the replay, then over the first through its block.
    const uint64_t quick = store.beforeBlockUndos;
    ASSERT_EQ(store.GoToStep(1, StepReplay::Force), 1);
    EXPECT_EQ(store.beforeBlockUndos, quick);
    EXPECT_TRUE(SameImage(doc.layers[1]->pixels, afterFirst));
    ASSERT_EQ(store.GoToStep(2, StepReplay::Force), 1);
    EXPECT_EQ(doc.layers[1]->pixels.data[(size_t(10) * 40 + 10) * 4 + 1], 222);
    FreeImageBuffer(afterFirst);
}
