// The editor tab's dispatcher: each EditorCommandId to its action (a dialog of its row in
// dialogs/Launchers.cpp, a one-click correction, the canvas, a tool, the main window), and the
// one-click corrections themselves.
#include "editor/EditPage.h"
#include "editor/tools/ToolSet.h"

#include "algorithms/AutoLevel.h"
#include "algorithms/GaussBlur.h"
#include "algorithms/ResEnhance.h"
#include "algorithms/Threshold.h"
#include "algorithms/WhiteBalance.h"
#include "dialogs/CurveBox.h"
#include "dialogs/Launchers.h"
#include "dialogs/ProgressDialog.h"
#include "editor/CanvasCommands.h"
#include "editor/EditorCommands.h"
#include "editor/EditorHost.h"
#include "editor/Wizard.h"
#include "imaging/DocumentGeometry.h"
#include "platform/Settings.h"
#include "ui/MessageBox.h"
#include "ui/UiResources.h"
#include "ui/UiSeams.h"

#include <cstring>
#include <memory>
#include <mutex>

namespace {

enum class Action {
    None,     // no effect (21005, 23001, 23002)
    Dialog,   // RunEditorDialog with the row's mode
    OneLayerDialog,
    Tool,     // a tool of the tool panel
    RotateFlip,
    AutoLevels,
    AutoWhiteBalance,
    QuickFilter,
    SmartErase,
    Panel,    // a side panel's command (history, layers)
    Own,      // handled in RunCommand itself
};

struct CommandRow {
    int32_t id;
    Action action;
    int mode; // dialog mode, or the tool's ToolId
};

// The table of every id the dispatcher handles, in id order (16001-16998 and 21500-21599 are
// ranges, handled in RunCommand).
constexpr CommandRow kCommands[] = {
    {10001, Action::Tool, 5},       {10002, Action::RotateFlip, 0},  {10003, Action::RotateFlip, 0},
    {10004, Action::OneLayerDialog, 0}, {10005, Action::RotateFlip, 0}, {10006, Action::RotateFlip, 0},
    {10007, Action::OneLayerDialog, 0}, {10008, Action::Tool, 6},  {10009, Action::Dialog, 0},
    {10010, Action::Dialog, 0},     {10011, Action::Dialog, 0},      {10012, Action::Tool, 7},
    {11000, Action::Dialog, 0},     {11001, Action::AutoLevels, 0},  {11002, Action::AutoLevels, 0},
    {11003, Action::Dialog, 0},     {11004, Action::Dialog, 0},      {11005, Action::Dialog, 0},
    {11006, Action::Dialog, 0},     {11007, Action::Dialog, 0},      {11008, Action::Dialog, 0},
    {11011, Action::AutoLevels, 0}, {11012, Action::AutoLevels, 0},  {12001, Action::AutoWhiteBalance, 0},
    {12002, Action::Dialog, 1},     {12003, Action::Dialog, 0},      {12004, Action::Dialog, 0},
    {12005, Action::Dialog, 0},     {12006, Action::Dialog, 0},      {12007, Action::Dialog, 0},
    {12008, Action::Dialog, 0},     {13001, Action::Dialog, 0},      {13002, Action::Dialog, 0},
    {13003, Action::Tool, 8},       {13004, Action::QuickFilter, 0}, {13005, Action::Dialog, 0},
    {13006, Action::QuickFilter, 0}, {13007, Action::QuickFilter, 0}, {13008, Action::Dialog, 0},
    {13009, Action::Dialog, 0},     {13010, Action::Dialog, 0},      {13011, Action::Dialog, 0},
    {13012, Action::Dialog, 0},     {13013, Action::Dialog, 0},      {13014, Action::Tool, 9},
    {13015, Action::SmartErase, 0}, {13016, Action::Dialog, 0},      {13017, Action::Dialog, 0},
    {13018, Action::Dialog, 0},     {13019, Action::QuickFilter, 0}, {13020, Action::Dialog, 0},
    {13021, Action::Dialog, 0},     {13031, Action::Dialog, 0},      {13032, Action::Dialog, 0},
    {18001, Action::Own, 0},        {18002, Action::Own, 0},         {20001, Action::Own, 0},
    {20002, Action::Own, 0},        {20003, Action::Dialog, 0},      {21001, Action::Own, 0},
    {21003, Action::Own, 0},        {21004, Action::Own, 0},         {21005, Action::None, 0},
    {21006, Action::Own, 0},        {22001, Action::Panel, 1},       {22002, Action::Panel, 2},
    {22003, Action::Panel, 3},      {22004, Action::Own, 0},         {22005, Action::Own, 0},
    {23001, Action::None, 0},       {23002, Action::None, 0},        {23012, Action::Panel, 0},
};

const CommandRow* FindCommand(int id)
{
    for (const CommandRow& row : kCommands)
        if (row.id == id)
            return &row;
    return nullptr;
}

// What is not part of the program yet says so once, in one box.
void SayNotThereYet()
{
    EditorAsk(UiText(u"editorNotBuilt"), kMbInformation, kMbOk);
}

int RunDialogRow(int id, int mode)
{
    const int result = RunEditorDialog(id, mode);
    if (result == -1)
        SayNotThereYet();
    return 1;
}

} // namespace

std::vector<LanguageEntry> InstalledLanguages()
{
    LanguageList list;
    list.Scan(theAppResources.programFolder);
    return list.Entries();
}

int CSEditPage::RunCommand(int id)
{
    // 16001-16998: the canvas's selection commands and the current tool's own.
    if (id > 16000 && id < 16999) {
        // The canvas carries out 16001-16010 and hands the others to its current tool.
        ::PostSpriteMessage(&m_view, MSG_MENU_COMMAND, id, 0, this);
        return 1;
    }
    if (id >= kLanguageDefaultCommand && id <= kLanguageLastCommand) {
        const platform::String16 name = [&]() -> platform::String16 {
            if (id == kLanguageDefaultCommand)
                return {};
            const std::vector<LanguageEntry> languages = InstalledLanguages();
            const size_t k = size_t(id - kLanguageFirstCommand);
            return k < languages.size() ? languages[k].name : platform::String16(1, u'\0');
        }();
        if (name.size() == 1 && name[0] == 0)
            return 1; // beyond the installed languages: nothing
        LanguageList list;
        list.Scan(theAppResources.programFolder);
        list.Select(name, theAppResources.table, platform::Settings(platform::SettingsScope::User));
        return 1;
    }
    const CommandRow* row = FindCommand(id);
    if (!row)
        return 0;
    IEditorHost* host = TheEditorHost();
    switch (row->action) {
    case Action::None:
        return 1;
    case Action::Dialog:
        return RunDialogRow(id, row->mode);
    case Action::OneLayerDialog: {
        CZDDoc& doc = Document();
        if (doc.LayerCount() > 1) {
            Ask(u"freecropnolayer", kMbError, kMbOk);
            return 1;
        }
        if ((doc.selection.data || !doc.masks.empty()) && Ask(u"freecropwarning", kMbQuestion, kMbYesNo) != 6)
            return 1;
        return RunDialogRow(id, row->mode);
    }
    case Action::Tool:
        if (CTool* tool = FindTool(row->mode); tool && IsTool(tool))
            m_toolPage.SetCurrentTool(tool);
        else
            SayNotThereYet();
        return 1;
    case Action::RotateFlip:
        RotateFlip(id);
        return 1;
    case Action::AutoLevels:
        AutoLevels(id);
        return 1;
    case Action::AutoWhiteBalance:
        AutoWhiteBalance();
        return 1;
    case Action::QuickFilter:
        RunQuickFilter(id);
        return 1;
    case Action::SmartErase:
        SmartEraseSelection();
        return 1;
    case Action::Panel:
        // The panels' own buttons take the same road: the active tool ends before the move.
        if (id == kCmdLoadLayer) {
            if (!hostMode)
                m_layerPage.LoadLayerFromFile();
        } else {
            m_historyPage.ClickButton(row->mode);
        }
        return 1;
    case Action::Own:
        break;
    }
    switch (id) {
    case kCmdWizard:
    case kCmdPhotoProperty:
    case kCmdSave:
    case kCmdPrint:
        // The canvas shows none of these buttons in host mode.
        if (hostMode)
            return 1;
        if (id == kCmdWizard) {
            RunAutoWizard(*this, this);
            EndEditorTool();
        } else if (id == kCmdSave) {
            EndEditorTool();
            SaveDocument();
        } else if (id == kCmdPhotoProperty) {
            EndEditorTool();
            m_view.ShowPhotoInfo();
        } else {
            EndEditorTool();
            m_view.PrintPicture();
        }
        return 1;
    case kCmdClose:
        // Destroys the tab when it closes: the caller must not touch it afterwards.
        if (host)
            host->CloseTab(this);
        return 1;
    case kCmdAbout:
        if (host)
            host->ShowAbout();
        return 1;
    case kCmdHelp:
        if (host)
            host->OnHelpInfo();
        return 1;
    case kCmdSettings:
        if (host)
            host->ShowSettings();
        return 1;
    case kCmdCopy:
        CopyToClipboard();
        return 1;
    case kCmdPaste:
        PasteFromClipboard();
        return 1;
    default:
        return 0;
    }
}

int CSEditPage::RotateFlip(int id)
{
    CZDDoc& doc = Document();
    CZDLayer* layer = doc.GetCurrentLayer();
    if (!layer)
        return 0;
    const char16_t* key = id == kCmdRotateRight  ? u"hisRR"
                          : id == kCmdRotateLeft ? u"hisRL"
                          : id == kCmdFlipH      ? u"hisFH"
                                                 : u"hisFV";
    const uint16_t tag = id == kCmdRotateRight ? 2 : id == kCmdRotateLeft ? 3 : id == kCmdFlipH ? 4 : 5;
    BusyScope busy;
    if (doc.current != 0) {
        // An upper layer turns alone, in place; its offset stays.
        auto turn = [layer](int which) {
            std::lock_guard guard(layer->lock);
            switch (which) {
            case kCmdRotateRight: return RotateImage16Right(layer->pixels);
            case kCmdRotateLeft: return RotateImage16Left(layer->pixels);
            case kCmdFlipH: return FlipImage16Horizontal(layer->pixels);
            default: return FlipImage16Vertical(layer->pixels);
            }
        };
        if (!turn(id))
            return 0;
        const int back = id == kCmdRotateRight ? kCmdRotateLeft : id == kCmdRotateLeft ? kCmdRotateRight : id;
        return m_model.RecordStep(kHistoryLayer, -1, UiText(key), true, tag, nullptr, 0, [turn, back] { turn(back); });
    }
    // The bottom layer: the whole document turns, kept first so that a failure can be undone.
    auto copy = std::make_shared<CZDDoc>();
    if (!copy->CopyFrom(doc)) {
        Ask(u"errmem", kMbError, kMbOk);
        return 0;
    }
    const int turned = id == kCmdRotateRight  ? RotateDocumentRight(doc)
                       : id == kCmdRotateLeft ? RotateDocumentLeft(doc)
                       : id == kCmdFlipH      ? FlipDocumentHorizontal(doc)
                                              : FlipDocumentVertical(doc);
    if (!turned) {
        doc.CopyFrom(*copy);
        m_model.Changed(EditorChange::Picture);
        return 0;
    }
    return m_model.RecordStep(kHistoryDocument, -1, UiText(key), true, tag, nullptr, 0,
                              [&doc, copy] { doc.CopyFrom(*copy); });
}

int CSEditPage::AutoLevels(int id)
{
    CZDDoc& doc = Document();
    CZDLayer* layer = doc.GetCurrentLayer();
    if (!layer || !layer->pixels.data)
        return 0;
    BusyScope busy;
    CAutoLevel context;
    ImageBuffer16 result;
    int ok = 0;
    switch (id) {
    case kCmdAutoLevel: ok = AutoLevel(2.0, layer->pixels, result); break;
    case kCmdAutoLevelLinear: ok = AutoLevelLinear(2.0, layer->pixels, result); break;
    case kCmdAutoContrast: ok = AutoContrast(layer->pixels, result, 2); break;
    default: ok = AutoContrastLinear(layer->pixels, result, 2); break;
    }
    if (ok) {
        std::lock_guard guard(layer->lock);
        ok = CopyImage16(layer->pixels, result);
    }
    FreeImageBuffer(result);
    if (!ok)
        return 0;
    const bool levels = id == kCmdAutoLevel || id == kCmdAutoLevelLinear;
    const uint8_t linear = id == kCmdAutoLevelLinear || id == kCmdAutoContrastLinear ? 1 : 0;
    return m_model.RecordStep(kHistoryLayer, -1, UiText(levels ? u"hisAutoLevel" : u"hisAutoContrast"), true,
                              levels ? 13 : 14, &linear, 1);
}

int CSEditPage::AutoWhiteBalance()
{
    CZDDoc& doc = Document();
    CZDLayer* layer = doc.GetCurrentLayer();
    if (!layer || !layer->pixels.data)
        return 0;
    BusyScope busy;
    CWhiteBalance balance;
    WhiteBalanceParams params{};
    ImageBuffer16 result;
    balance.SetSource(&layer->pixels);
    balance.SetDestination(&result);
    balance.SetParams(&params);
    int ok = balance.Run();
    if (ok) {
        std::lock_guard guard(layer->lock);
        ok = CopyImage16(layer->pixels, result);
    }
    FreeImageBuffer(result);
    if (!ok)
        return 0;
    return m_model.RecordStep(kHistoryLayer, -1, UiText(u"menuColorAuto"), true, 15, nullptr, 0);
}

int CSEditPage::SmartEraseSelection()
{
    CZDDoc& doc = Document();
    if (!doc.selection.data) {
        Ask(u"smartEraseNeedSelection", kMbInformation, kMbOk);
        return 0;
    }
    return m_view.SmartErase(&doc.selection);
}

int CSEditPage::QuickSharpen() { return RunQuickFilter(kCmdQuickSharpen); }
int CSEditPage::QuickSharpenTexture() { return RunQuickFilter(kCmdSharpenTexture); }
int CSEditPage::QuickEdgeSharpen() { return RunQuickFilter(kCmdEdgeSharpen); }
int CSEditPage::QuickBlur() { return RunQuickFilter(kCmdQuickBlur); }

std::vector<uint16_t> QuickSharpenCurve(int id)
{
    // The sharpen strength by the absolute difference, as a smooth curve through four points.
    CCurveBox box;
    if (id == kCmdSharpenTexture)
        box.SetPoints({MakeCurvePoint(0, 0, kPointEnd), MakeCurvePoint(500, 2000, kPointFree),
                       MakeCurvePoint(2000, 0, kPointFree), MakeCurvePoint(65535, 0, kPointEnd)});
    else
        box.SetPoints({MakeCurvePoint(0, 0, kPointEnd), MakeCurvePoint(8000, 16000, kPointFree),
                       MakeCurvePoint(32767, 16000, kPointFree), MakeCurvePoint(65535, 0, kPointEnd)});
    box.RebuildLookupTable(false);
    return std::vector<uint16_t>(box.LookupTable(), box.LookupTable() + CCurveBox::kTableSize);
}

int CSEditPage::RunQuickFilter(int id)
{
    CZDDoc& doc = Document();
    CZDLayer* layer = doc.GetCurrentLayer();
    if (!layer || !layer->pixels.data)
        return 0;
    const char16_t* key = id == kCmdQuickSharpen     ? u"hisSharpen"
                          : id == kCmdSharpenTexture ? u"hisSharpenTexture"
                          : id == kCmdEdgeSharpen    ? u"hisEdgeShrink"
                                                     : u"menuBlur";
    const char16_t* name = UiText(key);
    std::vector<uint8_t> record;
    uint16_t tag = 0;
    int ok = 0;
    if (id == kCmdQuickSharpen || id == kCmdSharpenTexture) {
        const std::vector<uint16_t> curve = QuickSharpenCurve(id);
        SharpenParams params{};
        CSharpen sharpen;
        sharpen.SetCurve(curve.data());
        ok = RunAlgorithmWithProgress(&sharpen, &params, name, &layer->pixels);
        record = PackSharpenStep(params, curve.data());
        tag = 25;
    } else {
        const double value = id == kCmdEdgeSharpen ? 1.6 : 0.8;
        if (id == kCmdEdgeSharpen) {
            CResEnhance enhance;
            ok = RunAlgorithmWithProgress(&enhance, &value, name, &layer->pixels);
        } else {
            CGaussBlur blur;
            ok = RunAlgorithmWithProgress(&blur, &value, name, &layer->pixels);
        }
        record.resize(sizeof value);
        std::memcpy(record.data(), &value, sizeof value);
        tag = id == kCmdEdgeSharpen ? 26 : 27;
    }
    if (!ok)
        return 0;
    // Limited to a selection, the parameters alone do not give the picture back.
    const bool replayable = doc.selection.data == nullptr;
    return m_model.RecordStep(kHistoryLayer, -1, name, replayable, tag, record.data(),
                              int32_t(record.size()));
}

int32_t WizardChoiceCommand(int choice, bool hasSelection)
{
    switch (choice) {
    case 11: return 11003;
    case 12: return 11000;
    case 13: return 11008;
    case 21: return 12003;
    case 22: return 12002;
    case 23: return 12001;
    case 31: return 13004;
    case 32: return kWizardSharpenDialog;
    case 33: return 13016;
    case 41: return 13001;
    case 42: return 13018;
    case 51: return 10004;
    case 52: return 10007;
    case 53: return 10008;
    case 54: return 13017;
    case 61: return 13002;
    case 62: return 13003;
    case 63: return 10012;
    case 64: return 13014;
    case 70: return 12005;
    case 80: return hasSelection ? 13015 : 13003;
    case 90: return 13013;
    default: return 0;
    }
}

