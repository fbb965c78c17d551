#include "editor/Wizard.h"

#include "dialogs/Launchers.h"
#include "editor/EditPage.h"
#include "editor/EditorCommands.h"
#include "editor/EditorHost.h"
#include "imaging/Draw8.h"
#include "platform/DialogTemplate.h"
#include "platform/Folders.h"
#include "platform/Path.h"
#include "ui/MessageBox.h"
#include "ui/Registry.h"
#include "ui/RenderWindow.h"
#include "ui/StaticText.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <memory>

namespace {

constexpr int kColumns = 12, kRows = 8;
constexpr uint32_t kTitleColour = 0xE6E6E6;
constexpr uint32_t kLineColour = 0x808080;

struct Tile {
    int32_t id;
    int cells[4];
    const char16_t* picture;
    const char16_t* title;
    const char16_t* lines[4];
};

constexpr Tile kTiles[] = {
    {10, {0, 0, 4, 3}, u"EXPOSURE.jpg", u"wzExposure", {u"wzUnderExposure", u"wzNarrowDynamic"}},
    {20, {0, 3, 4, 6}, u"COLOR.jpg", u"wzColor", {u"wzTemp", u"wzColorBias"}},
    {30, {0, 6, 6, 8}, u"CONTRASTY.jpg", u"wzSharpen", {u"wzSpBlur", u"wzSpFoggy"}},
    {40, {4, 0, 8, 2}, u"noise.jpg", u"wzNoise", {u"wzDescreen", u"wzHighISO"}},
    {50, {4, 2, 8, 6}, u"LENSERROR.jpg", u"wzDistort", {u"wzBarrel", u"wzPerspective", u"wzPurple", u"wzChromatic"}},
    {60, {8, 0, 12, 4}, u"PORTRAIT.jpg", u"wzPortrait", {u"wzSkinClean", u"wzRemoveSpot", u"wzRedeye", u"wzShape"}},
    {70, {6, 6, 8, 8}, u"VIVIDCOLOR.jpg", u"wzVividColor", {}},
    {80, {8, 4, 10, 6}, u"inpaint.jpg", u"wzObject", {}},
    {90, {10, 6, 12, 8}, u"instantfilter.png", u"wzInstantFilter", {}},
};

struct WizardChoice {
    int32_t id;
    const char16_t* tip;
    int frame;
};

constexpr WizardChoice kChoices[] = {
    {11, u"wzExClick", 0},           {12, u"wzExVisual", 1},           {13, u"wxExDynamic", 2},
    {21, u"WhiteBalance", 0},        {22, u"VisualChanges", 1},        {23, u"menuColorAuto", 3},
    {31, u"dlgspSharpenPixel", 10},  {32, u"dlgspSharenContrast", 11}, {33, u"hisDefog", 12},
    {41, u"hisNR", 8},               {42, u"hisDescreen", 9},          {51, u"Free Rotate", 4},
    {52, u"Correct Barrel Distort", 5}, {53, u"menuFreeCrop", 6},      {54, u"hisPurpleFringe", 7},
    {61, u"dlgSkin", 16},            {62, u"wzEraseSpot", 15},         {63, u"wzChangeShape", 14},
    {64, u"wzRemoveRedeye", 13},
};

const Tile* FindTile(int32_t id)
{
    for (const Tile& t : kTiles)
        if (t.id == id)
            return &t;
    return nullptr;
}

platform::String16 g_dialogFolder;

// The tile's picture and texts on a transparent image of the tile's size minus 2.
int DrawTile(const Tile& tile, int width, int height, ImageBuffer8& out)
{
    ImageBuffer8 picture;
    if (!LoadUiImage(UiImageFolder::Skin, tile.picture, picture))
        return 0;
    if (!AllocImage8(out, std::max(1, width), std::max(1, height))) {
        FreeImageBuffer(picture);
        return 0;
    }
    std::fill_n(out.data, size_t(out.width) * out.height * 4, uint8_t(0));
    const int pw = picture.width, ph = picture.height, w = out.width, h = out.height;
    auto title = [&](int left, int top, int right, int bottom, int alignX, int alignY) {
        DrawTextInRect(out, UiText(tile.title), 20, kTitleColour, alignX, alignY, left, top, right, bottom);
    };
    auto line = [&](int i, int left, int top, int alignY) {
        DrawTextInRect(out, UiText(tile.lines[i]), 14, kLineColour, 0, alignY, left, top, w, top + 20);
    };
    int px = 0, py = 0;
    switch (tile.id) {
    case 10:
    case 20:
        px = (w - pw) / 2;
        py = 4;
        break;
    case 30:
        px = 4;
        py = (h - ph) / 2;
        break;
    case 40:
        px = 115;
        py = 4;
        break;
    case 50:
    case 60:
        px = (w - pw) / 2;
        py = 4;
        break;
    default:
        px = (w - pw) / 2;
        py = 8;
        break;
    }
    BlendImage8(out, picture, px, py, true, 256);
    switch (tile.id) {
    case 10:
    case 20:
        title(11, ph + 9, w, ph + 9 + 32, 0, 1);
        for (int i = 0; i < 2; ++i)
            line(i, 16, ph + 9 + 32 + i * 16, 0);
        break;
    case 30:
        title(pw + 11, 4, w, 36, 0, 1);
        for (int i = 0; i < 2; ++i)
            line(i, pw + 15, 36 + i * 20, 1);
        break;
    case 40:
        title(15, 32, w, 64, 0, 1);
        for (int i = 0; i < 2; ++i)
            line(i, 21, 64 + i * 20, 1);
        break;
    case 50:
    case 60:
        title(15, ph + 10, w, ph + 10 + 32, 0, 1);
        for (int i = 0; i < 4; ++i)
            line(i, 21, ph + 10 + 32 + i * 20, 1);
        break;
    default:
        title(0, ph + 10, w, h, 1, 1);
        break;
    }
    FreeImageBuffer(picture);
    return 1;
}

} // namespace

void SetWizardDialogFolder(const platform::String16& folder)
{
    g_dialogFolder = folder;
}

bool WizardTileCells(int32_t id, int cells[4])
{
    const Tile* t = FindTile(id);
    if (!t)
        return false;
    std::copy(t->cells, t->cells + 4, cells);
    return true;
}

SRect WizardChoiceRect(int32_t id, const SRect& tile, int cw, int ch)
{
    const int group = id / 10, k = id % 10 - 1;
    const int tw = tile.Width(), th = tile.Height();
    switch (group) {
    case 1:
    case 2: {
        const int left = tile.left + k * (tw / 3), top = tile.top + k * 10;
        return {left, top, left + tw / 3, top + th - 20};
    }
    case 3:
    case 4: {
        const int left = tile.left + k * 2 * cw;
        return {left, tile.top, left + 2 * cw, tile.bottom};
    }
    default: {
        const int left = tile.left + (k % 2) * 2 * cw, top = tile.top + (k / 2) * 2 * ch;
        return {left, top, left + 2 * cw, top + 2 * ch};
    }
    }
}

CWizardDlg::CWizardDlg() = default;

CWizardDlg::~CWizardDlg()
{
    CWizardDlg::ReleaseResources(1);
    FreeImageList8(m_icons);
}

void CWizardDlg::ReleaseResources(int flag)
{
    RemoveChild(&m_panel);
    m_panel.ReleaseResources(flag);
    CDialogSprite::ReleaseResources(flag);
}

int CWizardDlg::OnInitDialog()
{
    FreeImageList8(m_icons);
    if (!LoadUiImageStrip(UiImageFolder::Skin, u"wizard.png", 50, m_icons))
        return 0;
    CSprite* frame = GetControl(kFrameId);
    if (!frame)
        return 0;
    const SRect r = frame->Rect();
    if (!m_panel.Create(this, nullptr, kPanelId, 2, r.left, r.top, r.right, r.bottom))
        return 0;
    m_panel.m_background.store(0);
    m_panelMade = true;
    if (!BuildTiles())
        return 0;
    AddChild(&m_panel);
    m_showAfterOpening = ReadRegistryDword(u"Editor", u"AutoWizard", 1, 1);
    BindControl(kAfterOpenId, &m_showAfterOpening, kBindUnsigned, 0, 0);
    UpdateData(0);
    return 1;
}

int CWizardDlg::AddTile(int32_t id, int l, int t, int r, int b)
{
    const Tile* tile = FindTile(id);
    if (!tile)
        return 0;
    const SRect rect{l * m_cellWidth, t * m_cellHeight, r * m_cellWidth, b * m_cellHeight};
    ImageBuffer8 image;
    if (!DrawTile(*tile, rect.Width() - 2, rect.Height() - 2, image))
        return 0;
    const char16_t* tip = id == 80 ? UiText(u"smarerasewizardtip") : nullptr;
    const int ok = m_panel.AddItem(id, 1, nullptr, tip, nullptr, rect.left, rect.top, rect.right, rect.bottom);
    if (ok)
        m_panel.SetLastItemImage(image);
    FreeImageBuffer(image);
    return ok;
}

int CWizardDlg::AddChoice(int32_t id, int frame, const char16_t* tipKey, const SRect& rect)
{
    if (frame < 0 || size_t(frame) >= m_icons.size())
        return 0;
    return m_panel.AddItem(id, 1, nullptr, UiText(tipKey), m_icons[size_t(frame)], rect.left, rect.top, rect.right,
                           rect.bottom);
}

int CWizardDlg::BuildTiles()
{
    const SRect area = m_panel.Rect();
    m_cellWidth = area.Width() / kColumns;
    m_cellHeight = area.Height() / kRows;
    m_groupItems.clear();
    for (int group = 1; group <= 6; ++group) {
        const Tile& tile = *FindTile(group * 10);
        if (!AddTile(tile.id, tile.cells[0], tile.cells[1], tile.cells[2], tile.cells[3]))
            return 0;
        m_groupItems.push_back(tile.id);
        const SRect rect{tile.cells[0] * m_cellWidth, tile.cells[1] * m_cellHeight, tile.cells[2] * m_cellWidth,
                         tile.cells[3] * m_cellHeight};
        for (const WizardChoice& c : kChoices) {
            if (c.id / 10 != group)
                continue;
            if (!AddChoice(c.id, c.frame, c.tip, WizardChoiceRect(c.id, rect, m_cellWidth, m_cellHeight)))
                return 0;
            m_groupItems.push_back(c.id);
        }
    }
    for (int32_t single : {70, 80, 90}) {
        const Tile& tile = *FindTile(single);
        if (!AddTile(single, tile.cells[0], tile.cells[1], tile.cells[2], tile.cells[3]))
            return 0;
    }
    ShowGroup(0);
    return 1;
}

void CWizardDlg::ShowGroup(int group)
{
    if (group != 0 && m_window) {
        SRect tile{};
        bool found = false;
        {
            platform::ScopedLock lock(m_panel.Lock());
            if (const PanelItem* item = m_panel.FindItem(group * 10)) {
                tile = item->rect;
                found = true;
            }
        }
        if (found) {
            const SRect w = m_panel.LocalToWindowRect(tile);
            m_window->PlayFadeEffect(nullptr, w.left, w.top, w.right, w.bottom);
        }
    }
    for (int32_t d : m_groupItems) {
        if (d % 10 == 0)
            m_panel.ShowItem(d, d / 10 != group);
        else
            m_panel.ShowItem(d, d / 10 == group);
    }
    m_panel.SetAllDirty(1);
    m_panel.Invalidate();
}

int CWizardDlg::OnSpriteMessage(SpriteMessage* m)
{
    if (m && m->code == MSG_PANEL_CLICK && m->sender == &m_panel) {
        const int id = int(m->param1);
        if (id % 10 == 0 && id >= 10 && id <= 60) {
            ShowGroup(id / 10);
        } else {
            m_choice = id;
            m_fadeOutOnClose = 0;
            if (UpdateData(1))
                SetResult(1);
        }
    } else if (m && m->code == MSG_CHECK && m->param1 == kAfterOpenId) {
        // Stored at once, whatever the dialog's outcome.
        UpdateData(1);
        WriteRegistryDword(u"Editor", u"AutoWizard", m_showAfterOpening);
    } else if (m && m->code == MSG_COMMAND) {
        OnCommand(int(m->param1));
    }
    return CMessageSprite::OnSpriteMessage(m);
}

int RunWizardDialog(int& choice)
{
    choice = -1;
    const platform::String16 folder =
        g_dialogFolder.empty() ? platform::JoinPath(platform::ProgramFolder(), u"dialogs") : g_dialogFolder;
    std::unique_ptr<platform::DialogTemplate> t = platform::DialogTemplate::Load(folder, CWizardDlg::kTemplateId);
    CWizardDlg dialog;
    if (!t || !dialog.CreateFromTemplate(*t, 0, 0, 0, 0)) {
        WriteUiLog(u"The wizard cannot be made");
        return 0;
    }
    const int result = dialog.DoModal();
    choice = dialog.Choice();
    return result;
}

void RunAutoWizard(CSEditPage& page, CSprite* sender)
{
    int choice = -1;
    if (RunWizardDialog(choice) != 1)
        return;
    const int32_t command = WizardChoiceCommand(choice, page.Document().selection.data != nullptr);
    if (command == kWizardSharpenDialog) {
        if (RunEditorDialog(kCmdSharpenDialog, 1) == -1)
            EditorAsk(UiText(u"editorNotBuilt"), kMbInformation, kMbOk);
    } else if (command > 0) {
        PostSpriteMessage(&page, MSG_MENU_COMMAND, command, 0, sender);
    }
}
