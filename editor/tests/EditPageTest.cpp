// The editor tab on a headless window: its layout, the menus by type with their enable rules,
// the one-click corrections' steps and bytes, the close question against the saved step, paging
// out and in through the tab, and the save by format with its overwrite questions.
#include "editor/EditPage.h"

#include "algorithms/AlgorithmThread.h"
#include "algorithms/GaussBlur.h"
#include "algorithms/ResEnhance.h"
#include "algorithms/Threshold.h"
#include "dialogs/DialogSupport.h"
#include "dialogs/EditorLink.h"
#include "ui/ToolkitControls.h"
#include "ui/UiSeams.h"

#include "editor/EditorCommands.h"
#include "editor/EditorHost.h"
#include "batch/SavePanel.h"
#include "dialogs/DialogSupport.h"
#include "editor/Wizard.h"
#include "editor/tests/EditorTestUtil.h"
#include "imaging/ColourTables.h"
#include "imaging/DocumentUi.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "platform/FileSystem.h"
#include "ui/MessageBox.h"
#include "ui/StringTable.h"

#include <gtest/gtest.h>

#include <csignal>
#include <deque>
#include <memory>
#include <sys/resource.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The main window as the tab sees it: questions answered from a queue and written down.
struct TestHost final : IEditorHost {
    std::deque<int> answers;
    std::vector<std::u16string> asked;
    int closed = 0, tools = 0, mode = 0;
    CSEditPage* active = nullptr;

    int LaunchMode() override { return mode; }
    int CloseTab(CSTabPage*) override { return ++closed; }
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

// The save's path question: the path the test gives, or a cancel.
struct TestFileDialogs final : IFileDialogs {
    std::u16string answer;
    int asked = 0;
    bool ChooseSaveFile(const std::u16string&, const std::u16string&, std::u16string& path) override
    {
        ++asked;
        path = answer;
        return !answer.empty();
    }
    std::u16string GetLastPath(const std::u16string&) override { return {}; }
    void SetLastPath(const std::u16string&, const std::u16string&) override {}
};

fs::path TempFolder()
{
    const char* tmp = std::getenv("TMPDIR");
    static int counter = 0;
    fs::path p = fs::path(tmp ? tmp : "/tmp") / ("editor-page-" + std::to_string(getpid()) + "-" + std::to_string(++counter));
    fs::create_directories(p);
    return p;
}

std::string ReadAll(const fs::path& p)
{
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

// Four flat patches, so turns and flips show in the corners.
ImageBuffer16 Patches(int w, int h)
{
    return MakeImage16(w, h, [w, h](int x, int y, int c) -> uint16_t {
        if (c == 3)
            return 0xFFFF;
        const int patch = (x >= w / 2 ? 1 : 0) + (y >= h / 2 ? 2 : 0);
        static const uint16_t colours[4][3] = {
            {0x1000, 0x8000, 0xF000}, {0xF000, 0x2000, 0x1000}, {0x3000, 0xE000, 0x3000}, {0x9000, 0x9000, 0x9000}};
        return colours[patch][c];
    });
}

// The command panel's skin pictures as grey strips of their frame widths; the rest as the
// canvas's tests draw them.
int EditTabImages(UiImageFolder folder, const char16_t* name, ImageBuffer8& out)
{
    const std::u16string n = name ? name : u"";
    int w = 0, h = 0;
    if (n == u"film.png") {
        w = 240;
        h = 320;
    } else if (n == u"adjust.png") {
        w = 4 * 80;
        h = 70;
    } else if (n == u"menu.png") {
        w = h = 24;
    }
    if (!w)
        return CanvasTestImages(folder, name, out);
    if (!AllocImage8(out, w, h))
        return 0;
    std::memset(out.data, 0x80, out.byteSize);
    return 1;
}

class EditTab : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = TempFolder();
        SetUiImageSource(&EditTabImages);
        ResetSharedUiImages();
        SetEditorHost(&host);
        previousDialogs = TheDocumentUi().fileDialogs;
        TheDocumentUi().fileDialogs = &files;
        // The save panel is not shown: its "other formats" tile runs at once, and its questions
        // reach the host like the editor's own.
        SetSavePanelAutoTile(CSaveDlg::kOtherFormat);
        SetDialogMessageSource([](const char16_t* key, int kind, int buttons) {
            return EditorAsk(UiText(key), kind, buttons);
        });
    }
    void TearDown() override
    {
        SetDialogMessageSource({});
        SetSavePanelAutoTile(0);
        TheDocumentUi().fileDialogs = previousDialogs;
        SetEditorHost(nullptr);
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
    // A tab of w x h on the window, showing a document opened as the main window does it.
    CSEditPage* Open(ImageBuffer16 picture, const fs::path& file = {}, int hostMode = 0)
    {
        page = new CSEditPage(u"photo");
        page->SetAutoDelete(1);
        page->hostMode = hostMode;
        AddOwned(page->Document(), picture, u"bg");
        CopyTextBounded(page->Document().path, 1024, file.u16string().c_str());
        CopyTextBounded(page->filePath, 1024, file.u16string().c_str());
        EXPECT_TRUE(page->Create(nullptr, t.window.get(), 5, 0, 0, 1000, 700, 10));
        t.window->AddTopLevel(page);
        page->SetPos(0, 0, 1000, 700);
        EXPECT_EQ(page->History().AddStep(kHistoryDocument, -1, u"open", false, 0, nullptr, 0), 1);
        host.active = page;
        return page;
    }
    const HistoryStep& Last() { return page->History().steps.back(); }

    ScopedSettings settings;
    UiTestWindow t{1040, 740};
    TestHost host;
    TestFileDialogs files;
    IFileDialogs* previousDialogs = nullptr;
    fs::path folder;
    CSEditPage* page = nullptr;
};

std::vector<int32_t> Ids(const CSMenu& menu)
{
    std::vector<int32_t> ids;
    for (int i = 0; i < menu.Count(); ++i)
        ids.push_back(menu.Item(i).separator ? 0 : menu.Item(i).commandId);
    return ids;
}

std::vector<int32_t> Disabled(const CSMenu& menu)
{
    std::vector<int32_t> ids;
    for (int i = 0; i < menu.Count(); ++i)
        if (!menu.Item(i).separator && !menu.Item(i).enabled)
            ids.push_back(menu.Item(i).commandId);
    return ids;
}

} // namespace

TEST_F(EditTab, LayoutPlacesPanelCanvasAndSideStack)
{
    Open(Patches(64, 40));
    EXPECT_EQ(page->CommandPanel().Rect().Width(), 180);
    EXPECT_EQ(page->View().Rect().left, 180);
    EXPECT_EQ(page->View().Rect().Width(), 1000 - 400);
    EXPECT_EQ(page->SideStack().Rect().left, 1000 - 220);
    EXPECT_EQ(page->SideStack().Rect().Width(), 220);
    page->SetPos(0, 0, 800, 500);
    EXPECT_EQ(page->View().Rect().Width(), 400);
    EXPECT_EQ(page->SideStack().Rect().left, 580);
    EXPECT_EQ(page->View().Document(), &page->Document());
}

TEST_F(EditTab, MenusByTypeWithTheirEnableRules)
{
    Open(Patches(64, 40));
    CSMenu nested[3];
    CSMenu menu; // after its nested menus: it lets go of them when it goes
    CSMenu* subs[3] = {&nested[0], &nested[1], &nested[2]};
    struct Case {
        int type;
        int layers;
        bool selection;
        std::vector<int32_t> ids;
        std::vector<int32_t> disabled;
    };
    const std::vector<Case> cases = {
        {kMenuTransform, 1, false,
         {10002, 10003, 10005, 10006, 10004, 0, 10007, 10001, 10008, 10012, 0, 10009, 10010, 10011}, {}},
        {kMenuTransform, 2, false,
         {10002, 10003, 10005, 10006, 10004, 0, 10007, 10001, 10008, 10012, 0, 10009, 10010, 10011},
         {10004, 10007, 10008, 10011}},
        {kMenuExposure, 1, false, {11001, 11002, 11011, 11012, 0, 11003, 11000, 0, 11004, 11006, 11008, 0, 11007, 11005}, {}},
        {kMenuColor, 1, false, {12001, 12003, 12002, 12005, 0, 12008, 12006, 0, 11007, 12004, 12007}, {}},
        {kMenuSelection, 1, false, {16001}, {}},
        {kMenuSelection, 1, true, {16001, 16003, 16002, 0, 0, 16004, 16009, 16005, 0, 22004, 16010}, {}},
        {kMenuFile, 1, false, {20001, 20002, 20003}, {}},
        {kMenuBlendModes, 2, false, {23000, 23001, 23002, 23005, 23006, 23007, 23008, 23009, 23010}, {}},
        {99, 1, false, {}, {}},
    };
    for (const Case& c : cases) {
        CZDDoc& doc = page->Document();
        while (doc.LayerCount() > 1)
            doc.DeleteLayer(doc.LayerCount() - 1);
        if (c.layers == 2)
            AddOwned(doc, SolidImage16(8, 8, 1, 2, 3), u"top");
        FreePlane8(doc.selection);
        doc.selection = Plane8{};
        if (c.selection)
            doc.selection = MakePlane(doc.width, doc.height, [](int x, int) { return x < 10 ? 255 : 0; });
        BuildEditorMenu(menu, c.type, subs, 3, &doc);
        EXPECT_EQ(Ids(menu), c.ids) << "type " << c.type << " layers " << c.layers;
        EXPECT_EQ(Disabled(menu), c.disabled) << "type " << c.type << " layers " << c.layers;
    }
    // The colour menu's vivid entry carries its tip; the typo keys are looked up as they stand.
    BuildEditorMenu(menu, kMenuColor, subs, 3, &page->Document());
    for (int i = 0; i < menu.Count(); ++i) {
        if (menu.Item(i).commandId == 12005) {
            EXPECT_EQ(std::u16string(menu.Item(i).tip), std::u16string(UiText(u"mtipVivid")));
        }
    }
    BuildEditorMenu(menu, kMenuTransform, subs, 3, &page->Document());
    EXPECT_EQ(std::u16string(menu.Item(12).label), std::u16string(UiText(u"menuExtendCavas")));
    // The sharpen sub-menu ends with the two deblurring dialogs.
    BuildEditorMenu(menu, kMenuEnhancement, subs, 3, &page->Document());
    EXPECT_EQ(Ids(nested[0]), (std::vector<int32_t>{13004, 13006, 13019, 13005, 13020, 13021}));
    EXPECT_EQ(Ids(nested[1]), (std::vector<int32_t>{13007, 13008, 13009}));
    EXPECT_EQ(Ids(nested[2]), (std::vector<int32_t>{13031, 13032}));
}

TEST_F(EditTab, EditMenuFollowsTheHistory)
{
    Open(Patches(64, 40));
    CSMenu menu;
    auto states = [&] {
        BuildEditorMenu(menu, kMenuEdit, nullptr, 0, &page->Document());
        std::string s;
        for (int i = 0; i < menu.Count(); ++i)
            if (menu.Item(i).commandId == 22001 || menu.Item(i).commandId == 22002 || menu.Item(i).commandId == 22003)
                s += menu.Item(i).enabled ? '1' : '0';
        return s;
    };
    EXPECT_EQ(states(), "000") << "undo and redo off on the only step";
    // A turn joins an automation by its tag: a step with parameters, though without bytes.
    page->RunCommand(kCmdRotateRight);
    EXPECT_EQ(states(), "101");
    page->RunCommand(kCmdAutoLevel);
    EXPECT_EQ(states(), "101");
    page->RunCommand(kCmdUndo);
    page->RunCommand(kCmdUndo);
    EXPECT_EQ(states(), "011");
}

TEST_F(EditTab, OneClickCorrectionsRecordTheirStepsAndBytes)
{
    Open(Patches(64, 40));
    struct Case {
        int id;
        uint8_t kind;
        uint16_t tag;
        std::vector<uint8_t> payload;
        int width, height;
    };
    const std::vector<Case> cases = {
        {kCmdRotateRight, kHistoryDocument, 2, {}, 40, 64},
        {kCmdRotateLeft, kHistoryDocument, 3, {}, 64, 40},
        {kCmdFlipH, kHistoryDocument, 4, {}, 64, 40},
        {kCmdFlipV, kHistoryDocument, 5, {}, 64, 40},
        {kCmdAutoLevel, kHistoryLayer, 13, {0}, 64, 40},
        {kCmdAutoLevelLinear, kHistoryLayer, 13, {1}, 64, 40},
        {kCmdAutoContrast, kHistoryLayer, 14, {0}, 64, 40},
        {kCmdAutoContrastLinear, kHistoryLayer, 14, {1}, 64, 40},
        {kCmdAutoWhiteBalance, kHistoryLayer, 15, {}, 64, 40},
    };
    for (const Case& c : cases) {
        const size_t before = page->History().steps.size();
        page->RunCommand(c.id);
        ASSERT_EQ(page->History().steps.size(), before + 1) << c.id;
        const HistoryStep& s = Last();
        // A one-layer document records a layer step as a whole-document one.
        EXPECT_TRUE(s.kind == c.kind || (c.kind == kHistoryLayer && s.kind == kHistoryDocument)) << c.id;
        EXPECT_EQ(s.tag, c.tag) << c.id;
        EXPECT_EQ(std::vector<uint8_t>(s.PayloadData(), s.PayloadData() + s.payloadLength), c.payload) << c.id;
        EXPECT_EQ(page->Document().width, c.width) << c.id;
        EXPECT_EQ(page->Document().height, c.height) << c.id;
    }
    // Turned right, the left-bottom patch is at the top left.
    page->RunCommand(kCmdUndo);
    for (int i = 0; i < 8; ++i)
        page->RunCommand(kCmdUndo);
    page->RunCommand(kCmdRotateRight);
    const uint16_t* p = PixelAt(page->Document().layers[0]->pixels, 2, 2);
    EXPECT_EQ(p[0], 0x3000);
    EXPECT_EQ(p[1], 0xE000);
}

TEST_F(EditTab, QuickFiltersRunInTheProgressBoxAndRecordTheirRecords)
{
    // Each quick filter leaves the picture its algorithm gives on its own and one step with its
    // record; with a selection, only the selection changes and the step cannot replay.
    RegisterToolkitControls();
    SetDialogTemplateFolder(platform::Utf8ToUtf16(std::string(ZENDRA_BINARY_DIR) + "/zendra/dialogs"));
    EditorLink link;
    link.currentDocument = [this]() -> CZDDoc* { return &page->Document(); };
    link.currentHistory = [this]() -> HistoryStore* { return &page->History(); };
    link.pageArea = [] { return platform::Rect{0, 0, 1000, 700}; };
    link.endActiveTool = [] {};
    SetEditorLink(link);
    theAlgorithmThread.StartWorker(2);
    // Fine detail, so that every filter changes something; each case is undone before the next.
    Open(MakeImage16(48, 32, [](int x, int y, int ch) {
        return uint16_t(ch == 3 ? 0xFFFF : ((x * 7 + y * 13 + ch * 5) % 11) * 5000 + (x > 24 ? 8000 : 0));
    }));
    struct Case {
        int id;
        uint16_t tag;
        const char16_t* key;
        bool selection;
    };
    const Case cases[] = {
        {kCmdQuickSharpen, 25, u"hisSharpen", false},  {kCmdSharpenTexture, 25, u"hisSharpenTexture", false},
        {kCmdEdgeSharpen, 26, u"hisEdgeShrink", false}, {kCmdQuickBlur, 27, u"menuBlur", false},
        {kCmdQuickSharpen, 25, u"hisSharpen", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        SCOPED_TRACE(c.selection ? "with a selection" : "whole layer");
        CZDDoc& doc = page->Document();
        if (c.selection)
            doc.selection = MakePlane(48, 32, [](int x, int) { return uint8_t(x < 20 ? 255 : 0); });
        ImageBuffer16 before{}, want{};
        ASSERT_TRUE(CopyImage16(before, doc.layers[0]->pixels));
        ASSERT_TRUE(AllocImage16(want, 48, 32));
        struct Free {
            ImageBuffer16 &a, &b;
            ~Free() { FreeImageBuffer(a); FreeImageBuffer(b); }
        } freeAtEnd{before, want};
        std::vector<uint8_t> record;
        std::vector<uint16_t> curve;
        if (c.tag == 25) {
            curve = QuickSharpenCurve(c.id);
            SharpenParams params{};
            CSharpen sharpen;
            sharpen.SetCurve(curve.data());
            sharpen.SetSource(&before);
            sharpen.SetDestination(&want);
            sharpen.SetParams(&params);
            ASSERT_TRUE(sharpen.Run());
            record = PackSharpenStep(params, curve.data());
        } else {
            const double value = c.tag == 26 ? 1.6 : 0.8;
            std::unique_ptr<CAlgorithm> algorithm;
            if (c.tag == 26)
                algorithm = std::make_unique<CResEnhance>();
            else
                algorithm = std::make_unique<CGaussBlur>();
            algorithm->SetSource(&before);
            algorithm->SetDestination(&want);
            algorithm->SetParams(&value);
            ASSERT_TRUE(algorithm->Run());
            record.resize(8);
            std::memcpy(record.data(), &value, 8);
        }
        const int32_t current = page->History().current;
        EXPECT_EQ(page->RunCommand(c.id), 1);
        ASSERT_EQ(page->History().current, current + 1);
        ASSERT_EQ(page->History().steps.size(), size_t(current) + 2) << "one step, the undone one cut off";
        const HistoryStep& s = Last();
        EXPECT_EQ(s.tag, c.tag) << "the tag names the command, with a record or without";
        EXPECT_EQ(platform::String16(s.name), platform::String16(UiText(c.key)));
        EXPECT_EQ(s.hasPayload != 0, !c.selection) << "a selection makes the step not replayable";
        if (!c.selection) {
            EXPECT_EQ(std::vector<uint8_t>(s.PayloadData(), s.PayloadData() + s.payloadLength), record);
        }
        const ImageBuffer16& got = doc.layers[0]->pixels;
        bool changed = false;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 48; ++x) {
                const bool inside = !c.selection || x < 20;
                const uint16_t* g = PixelAt(got, x, y);
                const uint16_t* e = PixelAt(inside ? want : before, x, y);
                ASSERT_EQ(std::vector<uint16_t>(g, g + 4), std::vector<uint16_t>(e, e + 4)) << x << "," << y;
                changed = changed || std::memcmp(g, PixelAt(before, x, y), 8) != 0;
            }
        EXPECT_TRUE(changed) << "the filter did something";
        // One undo gives the picture back.
        page->RunCommand(kCmdUndo);
        EXPECT_EQ(std::memcmp(doc.layers[0]->pixels.data, before.data, before.byteSize), 0);
    }
    theAlgorithmThread.WaitIdle();
    theAlgorithmThread.StopWorker();
    g_pAlgorithmListener.store(nullptr);
    SetEditorLink({});
    SetDialogTemplateFolder({});
}

TEST_F(EditTab, AnUpperLayerTurnsAloneAsALayerStep)
{
    Open(Patches(64, 40));
    CZDDoc& doc = page->Document();
    AddOwned(doc, SolidImage16(10, 6, 1, 2, 3), u"top");
    doc.current = 1;
    const int32_t x = doc.layers[1]->x, y = doc.layers[1]->y;
    page->RunCommand(kCmdRotateRight);
    EXPECT_EQ(Last().kind, kHistoryLayer);
    EXPECT_EQ(Last().tag, 2);
    EXPECT_EQ(doc.width, 64);
    EXPECT_EQ(doc.layers[1]->pixels.width, 6);
    EXPECT_EQ(doc.layers[1]->pixels.height, 10);
    EXPECT_EQ(doc.layers[1]->x, x);
    EXPECT_EQ(doc.layers[1]->y, y);
}

TEST_F(EditTab, OneLayerDialogsRefuseSeveralLayers)
{
    Open(Patches(64, 40));
    AddOwned(page->Document(), SolidImage16(10, 6, 1, 2, 3), u"top");
    for (int id : {kCmdRotateFree, kCmdBarrel}) {
        host.asked.clear();
        page->RunCommand(id);
        ASSERT_EQ(host.asked.size(), 1u) << id;
        EXPECT_EQ(host.asked[0], std::u16string(UiText(u"freecropnolayer")));
    }
    // Commands that change nothing are handled and leave the history alone.
    const size_t steps = page->History().steps.size();
    for (int id : {int(kCmdNothing), 23001, 23002, int(kLanguageFirstCommand) + 98})
        EXPECT_EQ(page->RunCommand(id), 1) << id;
    EXPECT_EQ(page->History().steps.size(), steps);
    EXPECT_EQ(page->RunCommand(19999), 0) << "an id outside the table is passed on";
}

TEST_F(EditTab, CloseAsksOnlyWhenThePictureOnScreenIsNotOnDisk)
{
    struct Case {
        const char* name;
        std::vector<int> commands; // negative: mark saved after the commands so far
        std::deque<int> answers;
        int closes;
        size_t questions;
    };
    const std::vector<Case> cases = {
        {"unchanged", {}, {}, 1, 0},
        {"turned, answered No", {kCmdRotateRight}, {7}, 1, 1},
        {"turned and undone", {kCmdRotateRight, kCmdUndo}, {}, 1, 0},
        {"saved after the turn", {kCmdRotateRight, -1}, {}, 1, 0},
        {"undone below the save", {kCmdRotateRight, -1, kCmdUndo}, {7}, 1, 1},
        {"undone below the save, then another edit", {kCmdRotateRight, -1, kCmdUndo, kCmdFlipH}, {7}, 1, 1},
        {"undone then redone to the save", {kCmdRotateRight, -1, kCmdUndo, kCmdRedo}, {}, 1, 0},
        {"no box could be shown", {kCmdRotateRight}, {-1}, 0, 1},
    };
    for (const Case& c : cases) {
        Open(Patches(16, 10));
        for (int id : c.commands) {
            if (id < 0) {
                page->Model().MarkSaved();
            } else {
                page->RunCommand(id);
            }
        }
        host.asked.clear();
        host.answers = c.answers;
        EXPECT_EQ(page->QueryClose(), c.closes) << c.name;
        EXPECT_EQ(host.asked.size(), c.questions) << c.name;
        if (!host.asked.empty()) {
            EXPECT_EQ(host.asked[0], std::u16string(UiText(u"onclosesave"))) << c.name;
        }
    }
}

TEST_F(EditTab, CloseWithYesSavesAndAWrittenFileClosesTheTab)
{
    const fs::path original = folder / "photo.png";
    Open(Patches(16, 10), original);
    page->RunCommand(kCmdRotateRight);
    files.answer = (folder / "saved.png").u16string();
    host.answers = {6};
    EXPECT_EQ(page->QueryClose(), 1);
    EXPECT_FALSE(page->Unsaved());
    EXPECT_TRUE(fs::exists(folder / "saved.png"));
    // Yes, then the path question cancelled: the tab stays.
    page->RunCommand(kCmdFlipH);
    files.answer.clear();
    host.answers = {6};
    EXPECT_EQ(page->QueryClose(), 0);
    EXPECT_TRUE(page->Unsaved());
}

TEST_F(EditTab, HostModeAsksToApplyAndTheMenuCommandsOfTheStripDoNothing)
{
    Open(Patches(16, 10), {}, 1);
    page->RunCommand(kCmdRotateRight);
    const size_t steps = page->History().steps.size();
    files.answer = (folder / "x.png").u16string();
    page->RunCommand(kCmdSave);
    EXPECT_EQ(files.asked, 0);
    EXPECT_EQ(page->History().steps.size(), steps);
    host.answers = {7};
    EXPECT_EQ(page->QueryClose(), 1);
    ASSERT_EQ(host.asked.size(), 1u);
    EXPECT_EQ(host.asked[0], std::u16string(UiText(u"pluginapplyask")));
}

TEST_F(EditTab, PagingOutAfterTheFrameLetsGoAndBackGivesTheSameDocument)
{
    Open(Patches(64, 40));
    page->RunCommand(kCmdRotateRight);
    const uint64_t sum = DocumentChecksum(page->Document());
    page->OnPageLeave();
    EXPECT_TRUE(page->PageOutPending());
    EXPECT_EQ(page->Document().LayerCount(), 1) << "nothing written under the frame's lock";
    t.Pump();
    EXPECT_EQ(page->Document().LayerCount(), 0);
    const std::u16string file = page->PagedOutFile();
    ASSERT_FALSE(file.empty());
    EXPECT_TRUE(page->preview.data) << "the hover picture stays while the pixels are out";
    EXPECT_EQ(page->OnPageEnter(), 1);
    EXPECT_EQ(DocumentChecksum(page->Document()), sum);
    // Out and in again: the same file; and back before the write ran: nothing is written.
    page->OnPageLeave();
    t.Pump();
    EXPECT_EQ(page->PagedOutFile(), file);
    EXPECT_EQ(page->OnPageEnter(), 1);
    page->OnPageLeave();
    EXPECT_EQ(page->OnPageEnter(), 1);
    t.Pump();
    EXPECT_EQ(page->Document().LayerCount(), 1);
    EXPECT_EQ(DocumentChecksum(page->Document()), sum);
}

TEST_F(EditTab, SaveWritesEachFormatAndAsksBeforeReplacing)
{
    const fs::path original = folder / "photo.png";
    Open(Patches(64, 40), original);
    // The photo as it came: a file the tab was opened from.
    files.answer = original.u16string();
    host.answers = {6};
    ASSERT_EQ(page->SaveDocument(), 1);
    ASSERT_EQ(host.asked.size(), 0u) << "no file there yet";
    page->RunCommand(kCmdRotateRight);
    const std::string before = ReadAll(original);

    struct Case {
        const char* name;
        fs::path path;
        std::deque<int> answers;
        std::u16string question;
        int saved;
    };
    std::ofstream(folder / "other.png") << "not a picture";
    const std::vector<Case> cases = {
        {"the original, answered No", original, {7}, UiText(u"Askoverwriteorg"), 0},
        {"another file, answered No", folder / "other.png", {7}, UiText(u"Askoverwrite"), 0},
        {"a new JPEG", folder / "new.jpg", {}, u"", 1},
        {"a new TIFF", folder / "new.TIF", {}, u"", 1},
        {"another file, answered Yes", folder / "other.png", {6}, UiText(u"Askoverwrite"), 1},
        {"an unknown type", folder / "new.xyz", {}, UiText(u"ErrorSave"), 0},
    };
    for (const Case& c : cases) {
        page->Model().MarkUnsaved();
        files.answer = c.path.u16string();
        host.asked.clear();
        host.answers = c.answers;
        EXPECT_EQ(page->SaveDocument(), c.saved) << c.name;
        EXPECT_EQ(!page->Unsaved(), c.saved == 1) << c.name;
        if (c.question.empty()) {
            EXPECT_TRUE(host.asked.empty()) << c.name;
        } else {
            EXPECT_EQ(host.asked.size() ? host.asked[0] : u"", c.question) << c.name;
        }
    }
    EXPECT_EQ(ReadAll(original), before) << "No leaves the original as it was";
    // What was written reads back as the turned picture (PNG exactly, JPEG and TIFF by size).
    for (const char* name : {"other.png", "new.jpg", "new.TIF"}) {
        CZDDoc back;
        ASSERT_EQ(back.OpenImage((folder / name).u16string()), 1) << name;
        EXPECT_EQ(back.width, 40) << name;
        EXPECT_EQ(back.height, 64) << name;
    }
    CZDDoc png;
    ASSERT_EQ(png.OpenImage((folder / "other.png").u16string()), 1);
    ImageBuffer8 expect;
    ASSERT_EQ(ConvertImage16To8Dithered(page->Document().layers[0]->pixels, expect), 1);
    ImageBuffer8 got;
    ASSERT_EQ(ConvertImage16To8Dithered(png.layers[0]->pixels, got), 1);
    for (int i = 0; i < 40 * 64 * 4; i += 4)
        ASSERT_EQ(std::memcmp(expect.data + i, got.data + i, 3), 0) << i / 4;
    FreeImageBuffer(expect);
    FreeImageBuffer(got);
}

TEST_F(EditTab, AFailedWriteLeavesTheOriginalAndSaysSo)
{
    // A full disk, as the write sees it: files may not grow beyond 64 bytes for a while.
    struct FullDisk {
        rlimit old{};
        void (*oldHandler)(int) = nullptr;
        FullDisk()
        {
            getrlimit(RLIMIT_FSIZE, &old);
            oldHandler = signal(SIGXFSZ, SIG_IGN);
            rlimit small = old;
            small.rlim_cur = 64;
            setrlimit(RLIMIT_FSIZE, &small);
        }
        ~FullDisk()
        {
            setrlimit(RLIMIT_FSIZE, &old);
            signal(SIGXFSZ, oldHandler);
        }
    };
    const fs::path locked = folder / "locked";
    fs::create_directories(locked);
    const fs::path original = locked / "photo.png";
    std::ofstream(original) << "the original bytes";
    Open(Patches(64, 40), original);
    page->RunCommand(kCmdRotateRight);
    files.answer = original.u16string();
    for (int readOnly : {0, 1}) {
        if (readOnly && geteuid() == 0)
            continue; // the administrator writes into read-only folders
        host.asked.clear();
        host.answers = {6};
        {
            std::unique_ptr<FullDisk> full;
            if (readOnly)
                fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
            else
                full = std::make_unique<FullDisk>();
            EXPECT_EQ(page->SaveDocument(), 0) << readOnly;
        }
        fs::permissions(locked, fs::perms::owner_all);
        EXPECT_TRUE(page->Unsaved()) << readOnly;
        ASSERT_EQ(host.asked.size(), 2u) << readOnly;
        EXPECT_EQ(host.asked[0], std::u16string(UiText(u"Askoverwriteorg")));
        EXPECT_EQ(host.asked[1], std::u16string(UiText(u"ErrorSave")));
        EXPECT_EQ(ReadAll(original), "the original bytes") << readOnly;
        std::vector<fs::path> left;
        for (const auto& e : fs::directory_iterator(locked))
            left.push_back(e.path());
        EXPECT_EQ(left.size(), 1u) << "no temporary file stays behind";
    }
}

TEST(EditorWizard, ChoicePlacesInTheirTiles)
{
    // A panel of 600 x 400: cells of 50 x 50.
    struct Case {
        int32_t id;
        SRect expected;
    };
    const SRect exposure{0, 0, 200, 150}, sharpen{0, 300, 300, 400}, noise{200, 0, 400, 100}, lens{200, 100, 400, 300};
    const std::vector<std::pair<SRect, Case>> cases = {
        {exposure, {11, {0, 0, 66, 130}}},       {exposure, {12, {66, 10, 132, 140}}},
        {exposure, {13, {132, 20, 198, 150}}},   {sharpen, {31, {0, 300, 100, 400}}},
        {sharpen, {33, {200, 300, 300, 400}}},   {noise, {42, {300, 0, 400, 100}}},
        {lens, {51, {200, 100, 300, 200}}},      {lens, {52, {300, 100, 400, 200}}},
        {lens, {54, {300, 200, 400, 300}}},
    };
    for (const auto& [tile, c] : cases) {
        const SRect r = WizardChoiceRect(c.id, tile, 50, 50);
        EXPECT_EQ(r.left, c.expected.left) << c.id;
        EXPECT_EQ(r.top, c.expected.top) << c.id;
        EXPECT_EQ(r.right, c.expected.right) << c.id;
        EXPECT_EQ(r.bottom, c.expected.bottom) << c.id;
    }
    // The single entry for objects depends on the selection; unknown choices lead nowhere.
    EXPECT_EQ(WizardChoiceCommand(80, true), 13015);
    EXPECT_EQ(WizardChoiceCommand(80, false), 13003);
    EXPECT_EQ(WizardChoiceCommand(32, false), kWizardSharpenDialog);
    EXPECT_EQ(WizardChoiceCommand(-1, false), 0);
    EXPECT_EQ(WizardChoiceCommand(10, false), 0);
}

TEST_F(EditTab, PhotoInfoAndPrintFromTheMenuReachTheCanvasButtonsDialogs)
{
    const fs::path original = folder / "photo.png";
    {
        ImageBuffer8 p8;
        ASSERT_TRUE(AllocImage8(p8, 16, 10));
        std::memset(p8.data, 0x80, p8.byteSize);
        ASSERT_TRUE(CodecSaveImage8(p8, original.u16string().c_str(), false));
        FreeImageBuffer(p8);
    }
    Open(Patches(16, 10), original);
    int infoShown = 0, printed = 0;
    std::u16string infoPath;
    int printedWidth = 0;
    CanvasDialogs& d = page->View().dialogs;
    d.photoInfo = [&](ImageInfo&, const std::u16string& path) {
        ++infoShown;
        infoPath = path;
        return 1;
    };
    d.printPicture = [&](const ImageBuffer8& picture, const ImageBuffer16&) {
        ++printed;
        printedWidth = int(picture.width);
        return 1;
    };
    struct Case {
        int id;
        int info, print;
    };
    const Case cases[] = {{kCmdPhotoProperty, 1, 0}, {kCmdPrint, 0, 1}};
    for (const Case& c : cases) {
        infoShown = printed = 0;
        host.asked.clear();
        EXPECT_EQ(page->RunCommand(c.id), 1) << c.id;
        EXPECT_EQ(infoShown, c.info) << c.id;
        EXPECT_EQ(printed, c.print) << c.id;
        EXPECT_TRUE(host.asked.empty()) << c.id << ": no box, asked "
                                        << (host.asked.empty() ? std::string() : platform::Utf16ToUtf8(host.asked[0]));
    }
    EXPECT_EQ(infoPath, original.u16string());
    EXPECT_EQ(printedWidth, 16);
}
