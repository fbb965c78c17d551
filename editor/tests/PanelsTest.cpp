// The editor tab's side panels on a headless window: the history rows and buttons, menu undo
// through the panel, the tool kept for its own steps; the layer panel's bar, thumbnails, button
// states, every operation with its step and its exact undo, the blend menu's row, the layer
// save; the mask panel's crop, preview, names, the "Lastarea" swap and the size check.
#include "editor/EditPage.h"

#include "editor/CanvasCommands.h"
#include "editor/EditorCommands.h"
#include "editor/EditorHost.h"
#include "editor/tests/EditorTestUtil.h"
#include "imaging/ColourTables.h"
#include "imaging/DocumentUi.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "ui/MessageBox.h"
#include "ui/SpriteMessage.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct PanelHost final : IEditorHost {
    std::deque<int> answers;
    std::vector<std::u16string> asked;
    int tools = 0;
    CSEditPage* active = nullptr;

    int LaunchMode() override { return 0; }
    int CloseTab(CSTabPage*) override { return 1; }
    void ShowAbout() override {}
    int OnHelpInfo() override { return 1; }
    int ShowSettings() override { return 1; }
    CMessageSprite* AlbumRefreshTarget() override { return nullptr; }
    void EndActiveTool() override { ++tools; }
    CSEditPage* ActiveEditPage() override { return active; }
    int SelectPage(CSTabPage*) override { return 1; }
    int ReturnPluginImage(const ImageBuffer16&) override { return 1; }
    int Ask(const char16_t* text, int, int) override
    {
        asked.push_back(text);
        if (answers.empty())
            return 1;
        const int a = answers.front();
        answers.pop_front();
        return a;
    }
};

struct SaveAnswers final : IFileDialogs {
    std::u16string answer, suggested;
    bool ChooseSaveFile(const std::u16string&, const std::u16string& start, std::u16string& path) override
    {
        suggested = start;
        path = answer;
        return !answer.empty();
    }
    std::u16string GetLastPath(const std::u16string&) override { return {}; }
    void SetLastPath(const std::u16string&, const std::u16string&) override {}
};

// Every attribute and pixel of every layer, the current layer and the size: equal documents
// give equal texts.
std::string Signature(const CZDDoc& doc)
{
    std::string s = std::to_string(doc.width) + "x" + std::to_string(doc.height) + " current " +
                    std::to_string(doc.current) + "\n";
    for (const auto& l : doc.layers) {
        uint64_t h = 1469598103934665603ull;
        const uint8_t* p = reinterpret_cast<const uint8_t*>(l->pixels.data);
        for (size_t i = 0; p && i < size_t(l->pixels.width) * l->pixels.height * 8; ++i)
            h = (h ^ p[i]) * 1099511628211ull;
        s += platform::Utf16ToUtf8(l->name) + " op " + std::to_string(l->opacity) + " bm " +
             std::to_string(l->blendMode) + " vis " + std::to_string(l->visible) + " at " + std::to_string(l->x) + "," +
             std::to_string(l->y) + " " + std::to_string(l->pixels.width) + "x" + std::to_string(l->pixels.height) +
             " " + std::to_string(h) + "\n";
    }
    return s;
}

ImageBuffer16 Ramp(int w, int h, uint16_t alpha = 0xFFFF)
{
    return MakeImage16(w, h, [alpha](int x, int y, int c) -> uint16_t {
        return c == 3 ? alpha : uint16_t((x * 3000 + y * 1100 + c * 7000) & 0xFFFF);
    });
}

// The command panel's pictures as grey strips; the rest as the canvas's tests draw them.
int PanelImages(UiImageFolder folder, const char16_t* name, ImageBuffer8& out)
{
    const std::u16string n = name ? name : u"";
    const int w = n == u"film.png" ? 240 : n == u"adjust.png" ? 320 : n == u"menu.png" ? 24 : 0;
    const int h = n == u"film.png" ? 320 : n == u"adjust.png" ? 70 : 24;
    if (!w)
        return CanvasTestImages(folder, name, out);
    if (!AllocImage8(out, w, h))
        return 0;
    std::memset(out.data, 0x80, out.byteSize);
    return 1;
}

class Panels : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = fs::temp_directory_path() / ("zd-panels-" + std::to_string(getpid()));
        fs::create_directories(folder);
        SetUiImageSource(&PanelImages);
        ResetSharedUiImages();
        SetEditorHost(&host);
        previousDialogs = TheDocumentUi().fileDialogs;
        TheDocumentUi().fileDialogs = &files;
    }
    void TearDown() override
    {
        TheDocumentUi().fileDialogs = previousDialogs;
        SetEditorHost(nullptr);
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
    // A tab with a background of w x h and `upper` more layers (the last current), after one
    // whole-document step.
    CSEditPage* Open(int w, int h, int upper = 0, int current = -1)
    {
        page = new CSEditPage(u"photo");
        page->SetAutoDelete(1);
        AddOwned(page->Document(), Ramp(w, h), u"bg");
        EXPECT_TRUE(page->Create(nullptr, t.window.get(), 5, 0, 0, 1000, 700, 10));
        t.window->AddTopLevel(page);
        page->SetPos(0, 0, 1000, 700);
        for (int i = 0; i < upper; ++i) {
            const std::u16string name = u"up" + std::u16string(1, char16_t(u'1' + i));
            AddOwned(page->Document(), Ramp(w / 2 + i, h / 2, uint16_t(0x4000 * (i + 1))), name.c_str());
        }
        if (current >= 0)
            page->Document().SetCurrentLayer(current);
        EXPECT_EQ(page->History().AddStep(kHistoryDocument, -1, u"open", false, 0, nullptr, 0), 1);
        host.active = page;
        page->LayerPanel().Refresh();
        page->MaskPanel().Refresh();
        return page;
    }

    ScopedSettings settings;
    UiTestWindow t{1040, 740};
    PanelHost host;
    SaveAnswers files;
    IFileDialogs* previousDialogs = nullptr;
    fs::path folder;
    CSEditPage* page = nullptr;
};

int Enabled(CPanelSprite& panel, int32_t id)
{
    const PanelItem* item = panel.FindItem(id);
    return item ? item->enabled : -1;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// History

TEST_F(Panels, HistoryRowsIconsLevelsAndTheAutomationButton)
{
    Open(16, 10);
    CSHistoryPage& history = page->HistoryPanel();
    EXPECT_EQ(history.List().RowCount(), 1) << "the opening step alone";
    EXPECT_EQ(history.List().Selected(), 0);
    EXPECT_EQ(Enabled(history.Buttons(), CSHistoryPage::kAutomationButton), 0);
    const uint8_t payload[4] = {1, 2, 3, 4};
    CEditorDocument& model = page->Model();
    ASSERT_TRUE(model.RecordStep(kHistoryLayer, -1, u"curves", true, 22, payload, 4));
    ASSERT_TRUE(model.RecordStep(kHistoryLayer, -1, u"crop", false, 0, nullptr, 0));
    ASSERT_TRUE(model.RecordStep(kHistoryLayer, -1, u"sharpen", true, 25, payload, 4));
    page->RunCommand(kCmdUndo);
    page->RunCommand(kCmdUndo);
    ASSERT_EQ(page->History().current, 1);
    CSHistoryList& list = history.List();
    ASSERT_EQ(list.RowCount(), 4);
    const struct {
        int row;
        bool icon;
        int level;
    } rows[] = {{0, false, 255}, {1, true, 255}, {2, false, 160}, {3, true, 160}};
    for (const auto& r : rows) {
        EXPECT_EQ(list.Row(r.row).node->icon != nullptr, r.icon) << r.row;
        EXPECT_EQ(CSHistoryList::RowLevel(r.row, list.Selected()), r.level) << r.row;
    }
    EXPECT_EQ(list.Selected(), 1);
    EXPECT_EQ(Enabled(history.Buttons(), CSHistoryPage::kAutomationButton), 1);
    // The dimmed row three is a click away: redo up to it.
    list.SetSelection(3, true, false);
    t.Pump();
    EXPECT_EQ(page->History().current, 3);
    EXPECT_EQ(list.Selected(), 3);
}

TEST_F(Panels, MenuUndoAndRedoGoThroughThePanelAndEndTheTool)
{
    Open(16, 10);
    page->RunCommand(kCmdRotateRight);
    const std::string turned = Signature(page->Document());
    struct Case {
        const char* what;
        int id;
        int current;
    } cases[] = {{"undo", kCmdUndo, 0}, {"undo on the first step", kCmdUndo, 0}, {"redo", kCmdRedo, 1},
                 {"redo on the last step", kCmdRedo, 1}};
    for (const Case& c : cases) {
        const int tools = host.tools;
        page->RunCommand(c.id);
        EXPECT_EQ(page->History().current, c.current) << c.what;
        EXPECT_EQ(host.tools, tools + 1) << c.what << ": the tool ends even when nothing moves";
        EXPECT_EQ(page->HistoryPanel().List().Selected(), c.current) << c.what;
    }
    EXPECT_EQ(Signature(page->Document()), turned);
    host.asked.clear();
    page->RunCommand(kCmdApplyOnOthers);
    ASSERT_EQ(host.asked.size(), 1u) << "make automation: one box until the batch dialogs come";
}

TEST_F(Panels, AStepOfTheCurrentToolKeepsTheTool)
{
    Open(16, 10);
    CEditorDocument& model = page->Model();
    ASSERT_TRUE(model.RecordStep(kHistoryLayer, -1, u"repair", true, kToolRepair, nullptr, 0));
    ASSERT_TRUE(model.RecordStep(kHistoryLayer, -1, u"sharpen", true, 25, nullptr, 0));
    RecordingTool tool;
    tool.toolId = kToolRepair;
    page->View().SetTool(&tool);
    CSHistoryPage& history = page->HistoryPanel();
    const struct {
        int step;
        int group;
        int expected;
    } cases[] = {{-1, kToolGroupPlain, 0}, {0, kToolGroupPlain, 0}, {1, kToolGroupPlain, 1},
                 {2, kToolGroupPlain, 0}, {1, kToolGroupSelection, 1}, {1, kToolGroupPlain - 1, 0}, {7, kToolGroupPlain, 0}};
    for (const auto& c : cases) {
        tool.group = c.group;
        EXPECT_EQ(history.IsCurrentToolStep(c.step), c.expected) << c.step << " " << c.group;
    }
    tool.group = kToolGroupPlain;
    int tools = host.tools;
    history.GoToRow(1);
    EXPECT_EQ(page->History().current, 1);
    EXPECT_EQ(host.tools, tools) << "the repair step keeps the repair brush";
    history.GoToRow(0);
    EXPECT_EQ(page->History().current, 0);
    EXPECT_EQ(host.tools, tools + 1);
    page->View().SetTool(nullptr);
}

// ---------------------------------------------------------------------------------------------
// Layer panel pieces

TEST(LayerRows, OpacityBarThumbnailSizeAndTheLayerCountFormat)
{
    const std::pair<int, int> bar[] = {{47, 0}, {50, 0}, {97, 126}, {145, 255}, {148, 255}};
    for (const auto& [x, op] : bar)
        EXPECT_EQ(OpacityFromBarX(x), op) << x;
    EXPECT_EQ(OpacityBarFill(128), 46);
    EXPECT_EQ(OpacityBarFill(255), 93);
    const struct {
        int w, h, tw, th;
    } sizes[] = {{100, 50, 40, 20}, {50, 100, 20, 40}, {10000, 200, 40, 1}, {200, 10000, 1, 40}, {1, 1, 40, 40},
                 {7, 7, 40, 40}};
    for (const auto& s : sizes) {
        const SPoint p = LayerThumbnailSize(s.w, s.h);
        EXPECT_EQ(p.x, s.tw) << s.w << "x" << s.h;
        EXPECT_EQ(p.y, s.th) << s.w << "x" << s.h;
    }
    const struct {
        const char16_t* format;
        const char16_t* name;
    } names[] = {{u"Layer %d", u"Layer 2"}, {u"Ebene %d", u"Ebene 2"}, {u"%s", u"2"}, {u"%d %d", u"2"},
                 {u"%n", u"2"}, {u"no number", u"2"}, {u"%5d!", u"    2!"}};
    for (const auto& n : names)
        EXPECT_EQ(NewLayerName(n.format, 2), std::u16string(n.name)) << platform::Utf16ToUtf8(n.format);
}

TEST(LayerRows, ThumbnailsShowTheLayerOverACheckerboard)
{
    // Channel `c` of one 16-bit pixel as the thumbnail converts it.
    auto to8 = [](uint16_t b, uint16_t g, uint16_t r, int c) {
        ImageBuffer16 one;
        ImageBuffer8 out;
        AllocImage16(one, 1, 1);
        one.data[0] = b;
        one.data[1] = g;
        one.data[2] = r;
        one.data[3] = 0xFFFF;
        AllocImage8(out, 1, 1);
        ConvertPixels16To8(one, out);
        const uint8_t v = out.data[c];
        FreeImageBuffer(one);
        FreeImageBuffer(out);
        return v;
    };
    auto grey8 = [&](uint16_t v) { return to8(v, v, v, 0); };
    const uint8_t dark = grey8(30000), light = grey8(60000);
    CZDLayer layer;
    layer.pixels = SolidImage16(20, 10, 0x1000, 0x2000, 0xF000);
    struct Case {
        const char* what;
        int x, y;
        uint16_t alpha;
        SPoint at;
        int expectedB; // -1: the dark cell, -2: the light cell
    } cases[] = {
        {"covering, opaque", 0, 0, 0xFFFF, {0, 0}, -3},
        {"outside the document", 500, 500, 0xFFFF, {0, 0}, -1},
        {"outside, a light cell", 500, 500, 0xFFFF, {5, 0}, -2},
        {"transparent", 0, 0, 0, {7, 2}, -2},
    };
    for (const Case& c : cases) {
        layer.x = c.x;
        layer.y = c.y;
        for (uint32_t i = 0; i < layer.pixels.pixelCount; ++i)
            layer.pixels.data[size_t(i) * 4 + 3] = c.alpha;
        ImageBuffer8 thumb;
        ASSERT_TRUE(MakeLayerThumbnail(20, 10, layer, thumb)) << c.what;
        EXPECT_EQ(thumb.width, 40);
        EXPECT_EQ(thumb.height, 20);
        const uint8_t* p = thumb.data + (size_t(c.at.y) * thumb.width + c.at.x) * 4;
        if (c.expectedB == -1) {
            EXPECT_EQ(p[0], dark) << c.what;
            EXPECT_EQ(p[2], dark) << c.what;
        } else if (c.expectedB == -2) {
            EXPECT_EQ(p[0], light) << c.what;
        } else {
            EXPECT_EQ(p[0], to8(0x1000, 0x2000, 0xF000, 0)) << c.what;
            EXPECT_EQ(p[2], to8(0x1000, 0x2000, 0xF000, 2)) << c.what;
        }
        EXPECT_EQ(p[3], 255) << c.what;
        FreeImageBuffer(thumb);
    }
}

// ---------------------------------------------------------------------------------------------
// Layer panel

TEST_F(Panels, LayerButtonsFollowTheCurrentLayer)
{
    struct Case {
        int upper, current;
        int del, merge, up, down;
    } cases[] = {{0, 0, 0, 0, 0, 0}, {2, 1, 1, 1, 1, 0}, {2, 2, 1, 1, 0, 1}, {2, 0, 0, 0, 0, 0}, {3, 2, 1, 1, 1, 1}};
    for (const Case& c : cases) {
        Open(20, 12, c.upper, c.current);
        CPanelSprite& b = page->LayerPanel().Buttons();
        const std::string what = std::to_string(c.upper) + " upper, current " + std::to_string(c.current);
        EXPECT_EQ(Enabled(b, CSLayerPage::kDeleteButton), c.del) << what;
        EXPECT_EQ(Enabled(b, CSLayerPage::kMergeButton), c.merge) << what;
        EXPECT_EQ(Enabled(b, CSLayerPage::kUpButton), c.up) << what;
        EXPECT_EQ(Enabled(b, CSLayerPage::kDownButton), c.down) << what;
        EXPECT_EQ(page->LayerPanel().List().RowCount(), c.upper + 1) << what;
        EXPECT_EQ(page->LayerPanel().List().Selected(), c.upper - c.current) << what << ": the top layer is row 0";
        // Conditions hold even when the operation is called directly.
        if (!c.del) {
            EXPECT_EQ(page->LayerPanel().DeleteLayer(), 0) << what;
        }
        if (!c.down) {
            EXPECT_EQ(page->LayerPanel().MoveLayer(false), 0) << what;
        }
    }
}

TEST_F(Panels, EveryLayerOperationRecordsItsStepAndUndoGivesTheExactEarlierDocument)
{
    const fs::path picture = folder / "leaf picture.png";
    {
        ImageBuffer8 p8;
        AllocImage8(p8, 6, 4);
        for (uint32_t i = 0; i < p8.pixelCount * 4; ++i)
            p8.data[i] = uint8_t(i * 37);
        for (uint32_t i = 0; i < p8.pixelCount; ++i)
            p8.data[i * 4 + 3] = 255;
        ASSERT_TRUE(CodecSaveImage8(p8, picture.u16string().c_str(), false));
        FreeImageBuffer(p8);
    }
    struct Case {
        const char* what;
        std::function<int(CSEditPage&)> run;
        uint8_t kind;
        const char16_t* key;
    };
    const std::vector<Case> cases = {
        {"eye", [](CSEditPage& p) { p.LayerPanel().List().ToggleVisible(0); return 1; }, kHistoryAttributes, u"hisHideShowLayer"},
        {"opacity bar", [](CSEditPage& p) { p.LayerPanel().List().SetOpacityAt(1, 97); return p.Document().layers[2]->opacity == 126; },
         kHistoryAttributes, u"hisLayerOpacity"},
        {"blend mode", [](CSEditPage& p) { p.LayerPanel().List().SetBlendMode(0, kBlendMultiply); return 1; }, kHistoryAttributes,
         u"hisChangeBlendMode"},
        {"row selected", [this](CSEditPage& p) { p.LayerPanel().List().SetSelection(3, false, false); t.Pump(); return p.Document().current == 0; },
         kHistoryAttributes, u"hisLayerChange"},
        {"rename", [](CSEditPage& p) {
             p.LayerPanel().inputString = [](char16_t* b, int, const char16_t*, const char16_t*) { CopyTextBounded(b, 29, u"Sky"); return 1; };
             return p.LayerPanel().RenameLayer(); },
         kHistoryAttributes, u"hischangeLayerName"},
        {"move up", [](CSEditPage& p) { return p.LayerPanel().MoveLayer(true) && p.Document().current == 3; }, kHistoryDocument, u"hisLayerChange"},
        {"move down", [](CSEditPage& p) { return p.LayerPanel().MoveLayer(false) && p.Document().current == 1; }, kHistoryDocument, u"hisLayerChange"},
        {"delete", [](CSEditPage& p) { return p.LayerPanel().DeleteLayer() && p.Document().LayerCount() == 3; }, kHistoryDocument, u"delLayer"},
        {"merge down", [](CSEditPage& p) { return p.LayerPanel().MergeDown() && p.Document().LayerCount() == 3; }, kHistoryDocument, u"hismergedown"},
        {"new blank layer", [](CSEditPage& p) {
             std::u16string proposed;
             p.LayerPanel().inputString = [&](char16_t* b, int, const char16_t*, const char16_t*) { proposed = b; return 1; };
             const int ok = p.LayerPanel().NewBlankLayer();
             const CZDLayer& top = *p.Document().layers.back();
             bool clear = top.pixels.width == p.Document().width && top.pixels.height == p.Document().height;
             for (uint32_t i = 0; clear && i < top.pixels.pixelCount * 4; ++i)
                 clear = top.pixels.data[i] == 0;
             return ok && clear && proposed == NewLayerName(UiText(u"LayerCount"), 4) && p.Document().current == 4; },
         kHistoryDocument, u"newlayer"},
        {"layer from a file", [picture](CSEditPage& p) {
             return p.LayerPanel().LoadLayerFromPath(picture.u16string()) &&
                    std::u16string(p.Document().layers.back()->name) == u"leaf picture" && p.Document().layers.back()->pixels.width == 6; },
         kHistoryDocument, u"newlayer"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Open(24, 16, 3, 2);
        const std::string before = Signature(page->Document());
        const size_t steps = page->History().steps.size();
        ASSERT_TRUE(c.run(*page));
        ASSERT_EQ(page->History().steps.size(), steps + 1);
        EXPECT_EQ(page->History().steps.back().kind, c.kind);
        EXPECT_EQ(std::u16string(page->History().steps.back().name), std::u16string(UiText(c.key)));
        const std::string after = Signature(page->Document());
        EXPECT_NE(after, before);
        page->RunCommand(kCmdUndo);
        EXPECT_EQ(Signature(page->Document()), before) << "undo";
        page->RunCommand(kCmdRedo);
        EXPECT_EQ(Signature(page->Document()), after) << "redo";
    }
}

TEST_F(Panels, TheBlendMenuActsOnTheRowThatOpenedItAndTheSameModeRecordsNothing)
{
    Open(24, 16, 2);
    CSLayerList& list = page->LayerPanel().List();
    list.ShowBlendMenu(1); // layer 1
    EXPECT_EQ(list.BlendMenuRow(), 1);
    EXPECT_TRUE(list.BlendMenu().FindItem(nullptr, 23000 + kBlendMultiply) >= 0);
    list.BlendMenu().Close(0);
    list.OnMouseMove(60, 10, 0); // the pointer went to row 0 meanwhile
    SpriteMessage m;
    m.code = MSG_MENU_COMMAND;
    m.param1 = 23000 + kBlendMultiply;
    const size_t steps = page->History().steps.size();
    list.OnSpriteMessage(&m);
    EXPECT_EQ(page->Document().layers[1]->blendMode, kBlendMultiply);
    EXPECT_EQ(page->Document().layers[2]->blendMode, kBlendNormal);
    EXPECT_EQ(page->History().steps.size(), steps + 1);
    list.SetBlendMode(1, kBlendMultiply);
    EXPECT_EQ(page->History().steps.size(), steps + 1) << "the same mode again";
    list.ShowBlendMenu(2);
    EXPECT_EQ(list.BlendMenuRow(), -1) << "the background row has no blend mode";
}

TEST_F(Panels, TheLayerSaveSuggestsTheLayerNameAndKeepsTransparency)
{
    Open(8, 4);
    AddOwned(page->Document(), MakeImage16(8, 4, [](int x, int, int c) -> uint16_t {
                 return c == 3 ? (x < 4 ? 0 : 0xFFFF) : 0x8000;
             }), u"Sky/1");
    CopyTextBounded(page->Document().path, 1024, (folder / "photo.jpg").u16string().c_str());
    // A name that is not ".png" is written as a Photoshop file.
    const struct {
        const char* typed;
        const char* written;
    } cases[] = {{"layer.png", "layer.png"}, {"layer.psd", "layer.psd"}, {"layer.gif", "layer.gif.psd"}};
    for (const auto& c : cases) {
        files.answer = (folder / c.typed).u16string();
        EXPECT_EQ(page->LayerPanel().SaveLayer(), 1) << c.typed;
        EXPECT_EQ(files.suggested, (folder / "Sky_1").u16string()) << "the layer's name in the photo's folder";
        EXPECT_TRUE(fs::exists(folder / c.written)) << c.written;
    }
    ImageBuffer8 back;
    ASSERT_TRUE(LoadImage8((folder / "layer.png").u16string().c_str(), back));
    ASSERT_EQ(back.width, 8);
    EXPECT_EQ(back.data[3], 0) << "transparent on the left";
    EXPECT_EQ(back.data[7 * 4 + 3], 255);
    FreeImageBuffer(back);
    std::ifstream psd(folder / "layer.psd", std::ios::binary);
    char sig[4] = {};
    psd.read(sig, 4);
    EXPECT_EQ(std::string(sig, 4), "8BPS");
    EXPECT_EQ(page->History().steps.size(), 1u) << "a save records nothing";
}

// ---------------------------------------------------------------------------------------------
// Mask panel

TEST(MaskRows, NamesAreCutAndThePreviewFollowsTheDocumentAspect)
{
    const std::u16string thirty(30, u'a');
    const struct {
        std::u16string in, out;
    } names[] = {{u"", u""}, {u"01", u"01"}, {thirty, thirty}, {thirty + u"b", std::u16string(29, u'a') + u".."},
                 {std::u16string(40, u'c'), std::u16string(29, u'c') + u".."}};
    for (const auto& n : names)
        EXPECT_EQ(StoredMaskName(n.in.c_str()), n.out) << n.in.size();
    MaskItem item;
    AllocPlane8(item.plane, 1, 1);
    item.plane.data[0] = 200;
    item.x = 9;
    item.y = 9;
    ImageBuffer8 preview;
    ASSERT_TRUE(MakeMaskPreview(10, 10, item, preview));
    ASSERT_EQ(preview.width, 40);
    ASSERT_EQ(preview.height, 40);
    int grey = 0, clear = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
            const uint8_t* p = preview.data + (size_t(y) * 40 + x) * 4;
            if (p[3] == 255 && p[0] == 200 && x >= 36 && y >= 36)
                ++grey;
            else if (p[3] == 0 && p[0] == 0)
                ++clear;
        }
    EXPECT_EQ(grey, 16) << "the bottom-right corner";
    EXPECT_EQ(clear, 40 * 40 - 16);
    ASSERT_TRUE(MakeMaskPreview(1000, 10, item, preview));
    EXPECT_EQ(preview.height, 1) << "never 0 high";
    FreeImageBuffer(preview);
}

TEST_F(Panels, MaskCropOffsetButtonsAndTheProposedName)
{
    Open(10, 10);
    CSMaskPage& masks = page->MaskPanel();
    CPanelSprite& b = masks.Buttons();
    EXPECT_EQ(Enabled(b, CSMaskPage::kToMaskButton), 0);
    EXPECT_EQ(Enabled(b, CSMaskPage::kToSelectionButton), 0);
    EXPECT_EQ(Enabled(b, CSMaskPage::kMoreButton), 1);
    page->Document().selection = MakePlane(10, 10, [](int x, int y) { return uint8_t(x == 9 && y == 9 ? 255 : 0); });
    masks.UpdateButtons();
    EXPECT_EQ(Enabled(b, CSMaskPage::kToMaskButton), 1);
    ASSERT_EQ(masks.StoreSelection(u"corner"), 1);
    const MaskItem& m = *page->Document().masks.back();
    EXPECT_EQ(m.plane.width, 1);
    EXPECT_EQ(m.plane.height, 1);
    EXPECT_EQ(m.x, 9);
    EXPECT_EQ(m.y, 9);
    EXPECT_EQ(masks.List().RowCount(), 1);
    masks.List().SetSelection(0, false, false);
    t.Pump();
    EXPECT_EQ(Enabled(b, CSMaskPage::kToSelectionButton), 1);
    EXPECT_EQ(Enabled(b, CSMaskPage::kDeleteButton), 1);

    const struct {
        std::vector<const char16_t*> names;
        const char16_t* proposed;
    } cases[] = {{{}, u"01"}, {{u"01", u"07", u"abc"}, u"08"}, {{u"-5"}, u"01"}, {{u"99999999999"}, u"2147483647"}};
    for (const auto& c : cases) {
        page->Document().masks.clear();
        for (const char16_t* n : c.names)
            ASSERT_EQ(StoreSelectionMask(page->Document(), n), 1);
        std::u16string proposed;
        page->View().dialogs.inputString = [&](char16_t* buffer, int, const char16_t*, const char16_t*) {
            proposed = buffer;
            return 0;
        };
        EXPECT_EQ(masks.SelectionToMask(), 0) << "cancelled";
        EXPECT_EQ(proposed, std::u16string(c.proposed));
    }
    page->View().dialogs.inputString = nullptr;
}

TEST_F(Panels, RestoringLastareaSwapsTheSelectionsAndAnotherSizeKeepsBoth)
{
    Open(8, 6);
    CZDDoc& doc = page->Document();
    CSMaskPage& masks = page->MaskPanel();
    const Plane8 left = MakePlane(8, 6, [](int x, int) { return uint8_t(x < 3 ? 255 : 0); });
    const Plane8 right = MakePlane(8, 6, [](int x, int y) { return uint8_t(x >= 5 && y > 0 ? 128 : 0); });
    auto same = [](const Plane8& a, const Plane8& b) {
        return a.data && b.data && a.width == b.width && a.height == b.height &&
               std::memcmp(a.data, b.data, size_t(a.width) * a.height) == 0;
    };
    auto placed = [&](const char16_t* name) {
        Plane8 out;
        AllocPlane8(out, 8, 6);
        for (const auto& m : doc.masks)
            if (std::u16string(m->name) == name)
                PlaceMaskItem(out, *m);
        return out;
    };
    CopyPlane8(doc.selection, right);
    ASSERT_EQ(masks.StoreSelection(u"B"), 1);
    FreePlane8(doc.selection);
    CopyPlane8(doc.selection, left);
    const std::u16string last = UiText(u"Lastarea");
    ASSERT_EQ(masks.MaskToSelection(0), 1);
    EXPECT_TRUE(same(doc.selection, right)) << "the mask is the selection";
    Plane8 kept = placed(last.c_str());
    EXPECT_TRUE(same(kept, left)) << "the previous one is Lastarea";
    FreePlane8(kept);
    ASSERT_EQ(masks.List().RowCount(), 2);
    // A double click on Lastarea swaps back.
    SpriteMessage m;
    m.sender = &masks.List();
    m.code = MSG_TREE_DBLCLK;
    m.param1 = 1;
    masks.OnSpriteMessage(&m);
    EXPECT_TRUE(same(doc.selection, left));
    kept = placed(last.c_str());
    EXPECT_TRUE(same(kept, right));
    FreePlane8(kept);
    // A mask stored at another canvas size: told, and neither the mask nor the selection goes.
    doc.masks[0]->storedWidth = 7;
    host.asked.clear();
    EXPECT_EQ(masks.MaskToSelection(0), 0);
    ASSERT_EQ(host.asked.size(), 1u);
    EXPECT_EQ(host.asked[0], std::u16string(UiText(u"failedmaskbycavaschanged")));
    EXPECT_EQ(doc.masks.size(), 2u);
    EXPECT_TRUE(same(doc.selection, left));
    masks.DeleteMask(0);
    EXPECT_EQ(doc.masks.size(), 1u);
    EXPECT_EQ(masks.List().RowCount(), 1);
    EXPECT_EQ(page->History().steps.size(), 1u) << "the mask panel records no step";
    Plane8 l = left, r = right;
    FreePlane8(l);
    FreePlane8(r);
}
