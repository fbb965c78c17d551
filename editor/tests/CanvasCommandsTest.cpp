// The canvas commands: the selection commands and the previous selection kept as "Lastarea",
// the number questions of feather, expand, shrink and border, delete or fill, smart erase,
// selection to mask, adding an image as a layer, and a step that cannot be written.
#include "editor/CanvasCommands.h"

#include "EditorTestUtil.h"
#include "algorithms/Inpainting.h"
#include "ui/Registry.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

namespace {

// A 20 x 10 document with one opaque layer; optional rectangle selected (right, bottom exclusive).
void Document(CZDDoc& doc, int left = -1, int top = 0, int right = 0, int bottom = 0, uint8_t value = 255)
{
    AddOwned(doc, SolidImage16(20, 10, 0x1000, 0x2000, 0x3000), u"Background");
    if (left >= 0)
        doc.selection = MakePlane(20, 10, [=](int x, int y) {
            return uint8_t(x >= left && x < right && y >= top && y < bottom ? value : 0);
        });
}

const MaskItem* FindMask(const CZDDoc& doc, const char16_t* name)
{
    for (const auto& m : doc.masks)
        if (std::u16string(m->name) == name)
            return m.get();
    return nullptr;
}

int CountSelected(const Plane8& p)
{
    int n = 0;
    for (uint32_t i = 0; p.data && i < p.byteSize; ++i)
        n += p.data[i] ? 1 : 0;
    return n;
}

// Answers the number question with a fixed text, or cancels (nullptr).
CanvasDialogs Answer(const char16_t* text, int* asked = nullptr)
{
    CanvasDialogs d;
    d.inputString = [=](char16_t* buffer, int capacity, const char16_t*, const char16_t*) {
        if (asked)
            ++*asked;
        if (!text)
            return 0;
        CopyTextBounded(buffer, capacity, text);
        return 1;
    };
    return d;
}

// A 24-bit bottom-up BMP of one colour.
void WriteBmp(const std::string& path, int w, int h, uint8_t b, uint8_t g, uint8_t r)
{
    const int stride = (w * 3 + 3) & ~3;
    const uint32_t size = 54 + uint32_t(stride) * h;
    std::vector<uint8_t> f(size, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            f[at + i] = uint8_t(v >> (8 * i));
    };
    f[0] = 'B';
    f[1] = 'M';
    put32(2, size);
    put32(10, 54);
    put32(14, 40);
    put32(18, uint32_t(w));
    put32(22, uint32_t(h));
    f[26] = 1;
    f[28] = 24;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &f[54 + size_t(y) * stride + size_t(x) * 3];
            p[0] = b;
            p[1] = g;
            p[2] = r;
        }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(f.data()), std::streamsize(f.size()));
}

// A history bound to a data file in the folder, with the opening step recorded.
void OpenHistory(HistoryStore& history, CZDDoc& doc, const std::string& folder)
{
    ASSERT_EQ(history.Init(&doc, platform::Utf8ToUtf16(folder + "/history.dat")), 1);
    ASSERT_EQ(history.AddStep(kHistoryDocument, -1, u"open", false, 0, nullptr, 0), 1);
}

} // namespace

TEST(SelectionCommands, ThePreviousSelectionIsKeptAsLastarea)
{
    struct Case {
        const char* what;
        bool selected;
        int id;
        int result;
        int modified;
        int selectedAfter; // -1: no selection plane
        bool lastarea;
    };
    // The selection, when there is one, is the rectangle (2, 3)-(6, 5): 8 pixels.
    const Case cases[] = {
        {"all over a selection", true, kCmdSelectAll, 1, 1, 200, true},
        {"all without one", false, kCmdSelectAll, 1, 1, 200, false},
        {"invert", true, kCmdInvertSelection, 1, 1, 192, true},
        {"invert without one", false, kCmdInvertSelection, 0, 0, -1, false},
        {"none", true, kCmdSelectNone, 1, 1, -1, true},
        {"none without one", false, kCmdSelectNone, 1, 1, -1, false},
    };
    for (const Case& c : cases) {
        CZDDoc doc;
        c.selected ? Document(doc, 2, 3, 6, 5) : Document(doc);
        doc.modified = 0;
        EXPECT_EQ(SetSelection(doc, c.id), c.result) << c.what;
        EXPECT_EQ(doc.modified.load(), c.modified) << c.what;
        if (c.selectedAfter < 0)
            EXPECT_EQ(doc.selection.data, nullptr) << c.what;
        else
            EXPECT_EQ(CountSelected(doc.selection), c.selectedAfter) << c.what;
        const MaskItem* last = FindMask(doc, UiText(u"Lastarea"));
        ASSERT_EQ(last != nullptr, c.lastarea) << c.what;
        if (last) {
            // The old selection, cut to its bounding box.
            EXPECT_EQ(last->x, 2);
            EXPECT_EQ(last->y, 3);
            EXPECT_EQ(last->plane.width, 4);
            EXPECT_EQ(last->plane.height, 2);
            EXPECT_EQ(last->storedWidth, 20);
            EXPECT_EQ(last->storedHeight, 10);
            EXPECT_EQ(CountSelected(last->plane), 8);
        }
    }
}

TEST(SelectionCommands, LastareaIsReplacedNotAddedTo)
{
    CZDDoc doc;
    Document(doc, 2, 3, 6, 5);
    ASSERT_EQ(StoreSelectionMask(doc, u"01"), 1);
    SetSelection(doc, kCmdSelectAll);    // Lastarea: the rectangle
    SetSelection(doc, kCmdInvertSelection); // Lastarea: everything; nothing selected now
    ASSERT_EQ(doc.masks.size(), 2u);
    const MaskItem* last = FindMask(doc, UiText(u"Lastarea"));
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->plane.width, 20);
    EXPECT_EQ(CountSelected(last->plane), 200);
    EXPECT_EQ(doc.masks[0]->plane.width, 4) << "the mask of another name is untouched";
    // Letter case aside the name is the same mask; an empty selection removes it.
    ASSERT_EQ(StoreSelectionMask(doc, u"LASTAREA") + 0, 0) << "nothing selected: nothing stored";
    EXPECT_EQ(doc.masks.size(), 1u);
    EXPECT_EQ(FindMask(doc, UiText(u"Lastarea")), nullptr);
}

TEST(SelectionCommands, NumberQuestionsRefuseWhatIsNotAPositiveSize)
{
    const int ids[] = {kCmdFeather, kCmdExpand, kCmdShrink, kCmdBorder};
    const char16_t* refused[] = {u"0", u"", u"abc", u"-3", u" -1", nullptr};
    for (int id : ids)
        for (const char16_t* answer : refused) {
            CZDDoc doc;
            Document(doc, 5, 2, 15, 8);
            doc.modified = 0;
            int asked = 0;
            EXPECT_EQ(ReshapeSelection(doc, id, Answer(answer, &asked)), 0)
                << id << " " << (answer ? platform::Utf16ToUtf8(answer) : "cancel");
            EXPECT_EQ(asked, 1);
            EXPECT_EQ(CountSelected(doc.selection), 60);
            EXPECT_EQ(doc.modified.load(), 0);
            EXPECT_TRUE(doc.masks.empty());
        }
}

TEST(SelectionCommands, ReshapingTheSelection)
{
    struct Case {
        const char* what;
        int id;
        const char16_t* answer;
        int left, top, right, bottom; // the selection before
        int selectedAfter;            // -1: the selection is gone
    };
    const Case cases[] = {
        {"expand a dot by 2", kCmdExpand, u"2", 10, 5, 11, 6, 13},
        {"expand by 99 is 32", kCmdExpand, u"99", 10, 5, 11, 6, 200},
        {"shrink a thin line to nothing", kCmdShrink, u"2", 2, 5, 18, 6, -1},
        {"shrink a block", kCmdShrink, u"1", 5, 2, 15, 8, 32},
        {"border of a block", kCmdBorder, u"1", 5, 2, 15, 8, -2},
        {"feather", kCmdFeather, u"4", 5, 2, 15, 8, -2},
    };
    for (const Case& c : cases) {
        CZDDoc doc;
        Document(doc, c.left, c.top, c.right, c.bottom);
        const int before = CountSelected(doc.selection);
        doc.modified = 0;
        EXPECT_EQ(ReshapeSelection(doc, c.id, Answer(c.answer)), 1) << c.what;
        EXPECT_EQ(doc.modified.load(), 1) << c.what;
        if (c.selectedAfter == -1)
            EXPECT_EQ(doc.selection.data, nullptr) << c.what;
        else if (c.selectedAfter >= 0)
            EXPECT_EQ(CountSelected(doc.selection), c.selectedAfter) << c.what;
        else
            EXPECT_NE(CountSelected(doc.selection), 0) << c.what;
        const MaskItem* last = FindMask(doc, UiText(u"Lastarea"));
        ASSERT_NE(last, nullptr) << c.what;
        EXPECT_EQ(CountSelected(last->plane), before) << c.what;
    }
}

TEST(SelectionCommands, TypedNumbers)
{
    struct Case {
        const char16_t* text;
        int value;
    };
    const Case cases[] = {{u"12", 12},  {u"7px", 7},     {u"", 0},      {u"x3", 0},       {u"-5", -5},
                          {u" 4", 4},   {u"+9", 9},      {u"0032", 32}, {u"99999999999", 2147483647}};
    for (const Case& c : cases)
        EXPECT_EQ(ReadTypedInteger(c.text), c.value) << platform::Utf16ToUtf8(c.text);
    EXPECT_EQ(ReadTypedInteger(nullptr), 0);
}

TEST(SelectionCommands, SelectionToMaskNamesAndAsks)
{
    CZDDoc doc;
    Document(doc, 1, 1, 3, 3);
    std::u16string offered;
    int boxes = 0, boxAnswer = 7;
    CanvasDialogs d;
    d.inputString = [&](char16_t* buffer, int, const char16_t*, const char16_t*) {
        offered = buffer;
        return 1;
    };
    d.messageBox = [&](const char16_t*, int, int) {
        ++boxes;
        return boxAnswer;
    };
    ASSERT_EQ(SelectionToMask(doc, d), 1);
    EXPECT_EQ(offered, u"01");
    ASSERT_EQ(SelectionToMask(doc, d), 1);
    EXPECT_EQ(offered, u"02");
    EXPECT_EQ(boxes, 0);
    // A name that exists is asked about; No keeps the mask.
    d.inputString = [&](char16_t* buffer, int capacity, const char16_t*, const char16_t*) {
        CopyTextBounded(buffer, capacity, u"01");
        return 1;
    };
    EXPECT_EQ(SelectionToMask(doc, d), 0);
    EXPECT_EQ(boxes, 1);
    boxAnswer = 6;
    EXPECT_EQ(SelectionToMask(doc, d), 1);
    EXPECT_EQ(doc.masks.size(), 2u);
}

TEST(DeleteOrFill, AddedLayersLoseTheSelectedArea)
{
    ScopedSettings settings;
    struct Case {
        uint8_t m;
        uint16_t alpha;
    };
    // m 128 over an opaque pixel: 65535 x 127 / 255.
    const Case cases[] = {{128, 32639}, {255, 0}, {1, 65535 * 254 / 255}};
    for (const Case& c : cases) {
        CZDDoc doc;
        Document(doc, 4, 2, 8, 4, c.m);
        CZDLayer* top = AddOwned(doc, SolidImage16(6, 6, 0, 0, 0xFFFF), u"top");
        top->x = 3;
        top->y = 1;
        CanvasFixture f;
        HistoryStore history;
        OpenHistory(history, doc, settings.folder);
        f.Show(doc, &history);
        f.view->DeleteOrFill();
        // Layer (1, 1) lies on document (4, 2): selected. Layer (0, 0) on (3, 1): not.
        EXPECT_EQ(PixelAt(top->pixels, 1, 1)[3], c.alpha) << int(c.m);
        EXPECT_EQ(PixelAt(top->pixels, 1, 1)[2], 0xFFFF) << "colour stays";
        EXPECT_EQ(PixelAt(top->pixels, 0, 0)[3], 0xFFFF);
        EXPECT_EQ(PixelAt(top->pixels, 5, 3)[3], 0xFFFF);
        ASSERT_EQ(history.steps.size(), 2u);
        EXPECT_EQ(std::u16string(history.steps[1].name), UiText(u"hisdelsel"));
        EXPECT_NE(doc.selection.data, nullptr) << "the selection stays";
        history.Destroy();
    }
}

TEST(DeleteOrFill, TheBackgroundIsFilledWithAPickedColour)
{
    ScopedSettings settings;
    WriteRegistryDword(u"Editor", u"FillR", 70000); // out of range: cut to 65535
    WriteRegistryDword(u"Editor", u"FillG", 20);
    CZDDoc doc;
    Document(doc, 0, 0, 2, 1, 255);
    doc.selection.data[2] = 128;
    CanvasFixture f;
    HistoryStore history;
    OpenHistory(history, doc, settings.folder);
    f.Show(doc, &history);
    uint16_t offered[4] = {};
    int answer = 0;
    f.view->dialogs.pickColor = [&](uint16_t colour[4]) {
        std::memcpy(offered, colour, sizeof offered);
        if (answer) {
            colour[0] = 3000;
            colour[1] = 2000;
            colour[2] = 1000;
        }
        return answer;
    };
    f.view->DeleteOrFill();
    EXPECT_EQ(offered[2], 65535);
    EXPECT_EQ(offered[1], 20);
    EXPECT_EQ(offered[0], 0);
    EXPECT_EQ(offered[3], 0xFFFF);
    EXPECT_EQ(PixelAt(doc.layers[0]->pixels, 0, 0)[2], 0x3000) << "cancelled: nothing filled";
    EXPECT_EQ(history.steps.size(), 1u) << "cancelled: no step";
    EXPECT_EQ(ReadRegistryDword(u"Editor", u"FillR", 0, 1), 70000u) << "cancelled: nothing written";
    answer = 1;
    f.view->DeleteOrFill();
    const uint16_t* full = PixelAt(doc.layers[0]->pixels, 0, 0);
    EXPECT_EQ(full[2], 1000);
    EXPECT_EQ(full[1], 2000);
    EXPECT_EQ(full[0], 3000);
    EXPECT_EQ(full[3], 0xFFFF);
    const uint16_t* half = PixelAt(doc.layers[0]->pixels, 2, 0);
    EXPECT_EQ(half[2], (128 * 1000 + 0x3000 * 127) / 255);
    EXPECT_EQ(PixelAt(doc.layers[0]->pixels, 3, 0)[2], 0x3000);
    EXPECT_EQ(ReadRegistryDword(u"Editor", u"FillR", 0, 1), 1000u);
    EXPECT_EQ(ReadRegistryDword(u"Editor", u"FillB", 0, 1), 3000u);
    EXPECT_EQ(history.steps.size(), 2u);
    history.Destroy();
}

TEST(DeleteOrFill, AChangeWhoseStepCannotBeWrittenIsTakenBack)
{
    ScopedSettings settings;
    CZDDoc doc;
    Document(doc, 0, 0, 20, 10);
    AddOwned(doc, SolidImage16(4, 4, 0, 0, 0), u"top");
    HistoryStore history;
    OpenHistory(history, doc, settings.folder);
    doc.SetCurrentLayer(0);
    // A layer offset beyond the record's 16 bits makes the whole-document step unwritable.
    doc.layers[1]->x = 40000;
    history.accumulatedChange = 10;
    CanvasFixture f;
    f.Show(doc, &history);
    std::u16string said;
    f.view->dialogs.pickColor = [](uint16_t colour[4]) {
        colour[2] = 0xFFFF;
        return 1;
    };
    f.view->dialogs.messageBox = [&](const char16_t* text, int, int) {
        said = text;
        return 1;
    };
    f.view->DeleteOrFill();
    EXPECT_EQ(said, UiText(u"unexpect"));
    EXPECT_EQ(history.steps.size(), 1u);
    EXPECT_EQ(PixelAt(doc.layers[0]->pixels, 5, 5)[2], 0x3000) << "the fill is taken back";
    history.Destroy();
}

TEST(SmartErase, RunsOnACopyOfTheSelectionAndRecordsTheStep)
{
    ScopedSettings settings;
    struct Case {
        const char* what;
        bool addedLayer;
        int result;
    };
    const Case cases[] = {{"background", false, 1}, {"added layer", true, 1}, {"refused", false, 0}};
    for (const Case& c : cases) {
        CZDDoc doc;
        Document(doc, 4, 2, 8, 6);
        if (c.addedLayer) {
            CZDLayer* top = AddOwned(doc, SolidImage16(10, 8, 0, 0, 0xFFFF), u"top");
            top->x = 2;
            top->y = 1;
        }
        CanvasFixture f;
        HistoryStore history;
        OpenHistory(history, doc, settings.folder);
        f.Show(doc, &history);
        Plane8* seenMask = nullptr;
        int maskWidth = 0, maskSelected = 0, patch = 0;
        std::u16string caption, said;
        f.view->dialogs.runAlgorithm = [&](CAlgorithm&, const void* params, const char16_t* text, ImageBuffer16& picture) {
            const auto* p = static_cast<const InpaintingParams*>(params);
            seenMask = p->mask;
            maskWidth = p->mask->width;
            maskSelected = CountSelected(*p->mask);
            patch = p->patchSize;
            caption = text;
            EXPECT_EQ(p->feather, 1);
            EXPECT_EQ(p->largeArea, 0);
            EXPECT_EQ(&picture, &doc.GetCurrentLayer()->pixels);
            return c.result;
        };
        f.view->dialogs.messageBox = [&](const char16_t* text, int, int) {
            said = text;
            return 1;
        };
        EXPECT_EQ(f.view->SmartErase(&doc.selection), c.result) << c.what;
        EXPECT_NE(seenMask, &doc.selection) << c.what;
        EXPECT_EQ(maskWidth, c.addedLayer ? 10 : 20) << c.what;
        EXPECT_EQ(maskSelected, 16) << c.what;
        EXPECT_GE(patch, 8) << c.what;
        EXPECT_EQ(caption, UiText(u"selinpaint")) << c.what;
        if (c.result) {
            EXPECT_EQ(doc.selection.data, nullptr) << c.what;
            EXPECT_NE(FindMask(doc, UiText(u"Lastarea")), nullptr) << c.what;
            ASSERT_EQ(history.steps.size(), 2u) << c.what;
            EXPECT_EQ(std::u16string(history.steps[1].name), UiText(u"hismarterase"));
        } else {
            EXPECT_EQ(said, UiText(u"smarterasefaild"));
            EXPECT_EQ(CountSelected(doc.selection), 16) << "a refusal keeps the selection";
            EXPECT_EQ(history.steps.size(), 1u);
        }
        history.Destroy();
    }
    // Nothing selected: nothing to do.
    CZDDoc doc;
    Document(doc);
    CanvasFixture f;
    f.Show(doc);
    int runs = 0;
    f.view->dialogs.runAlgorithm = [&](CAlgorithm&, const void*, const char16_t*, ImageBuffer16&) { return ++runs; };
    EXPECT_EQ(f.view->SmartErase(nullptr), 1);
    EXPECT_EQ(runs, 0);
}

TEST(AddImageAsLayer, TheChosenPictureBecomesTheCentredTopLayer)
{
    ScopedSettings settings;
    const std::string picture = settings.folder + "/add.bmp";
    WriteBmp(picture, 6, 4, 10, 20, 30);
    struct Case {
        std::string path;
        bool added;
    };
    const Case cases[] = {{picture, true}, {settings.folder + "/missing.png", false}, {"", false}};
    for (const Case& c : cases) {
        CZDDoc doc;
        Document(doc);
        CanvasFixture f;
        HistoryStore history;
        OpenHistory(history, doc, settings.folder);
        f.Show(doc, &history);
        std::u16string said;
        f.view->dialogs.chooseImageFile = [&](std::u16string& path) {
            path = platform::Utf8ToUtf16(c.path);
            return !c.path.empty();
        };
        f.view->dialogs.messageBox = [&](const char16_t* text, int, int) {
            said = text;
            return 1;
        };
        f.view->AddImageAsLayer();
        if (c.added) {
            ASSERT_EQ(doc.LayerCount(), 2);
            EXPECT_EQ(doc.current, 1);
            EXPECT_EQ(doc.layers[1]->x, 7);
            EXPECT_EQ(doc.layers[1]->y, 3);
            ASSERT_EQ(history.steps.size(), 2u);
            EXPECT_EQ(history.steps[1].kind, kHistoryDocument);
            EXPECT_EQ(std::u16string(history.steps[1].name), UiText(u"hisaddimage"));
            EXPECT_TRUE(said.empty());
        } else {
            EXPECT_EQ(doc.LayerCount(), 1) << c.path;
            EXPECT_EQ(history.steps.size(), 1u);
            EXPECT_EQ(said, c.path.empty() ? u"" : UiText(u"Cannotopenfile")) << c.path;
        }
        history.Destroy();
    }
}

TEST(CanvasSave, ASaveThatWroteMovesTheSavedStep)
{
    CZDDoc doc;
    Document(doc);
    CanvasFixture f;
    f.Show(doc);
    int saved = 0, result = 0;
    f.view->hooks.saved = [&] { ++saved; };
    f.view->dialogs.saveDocument = [&](CZDDoc& d) {
        EXPECT_EQ(&d, &doc);
        return result;
    };
    f.view->OnPanelClick(CSEditView::kSaveButton);
    EXPECT_EQ(saved, 0) << "not written";
    result = 1;
    f.view->OnPanelClick(CSEditView::kSaveButton);
    EXPECT_EQ(saved, 1);
}
