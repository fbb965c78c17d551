#include "editor/AdjustPage.h"

#include "dialogs/BlendModeMenu.h"
#include "editor/EditPage.h"
#include "editor/EditorHost.h"
#include "editor/EditorCommands.h"
#include "imaging/Document.h"
#include "imaging/Draw8.h"
#include "platform/Clipboard.h"
#include "platform/Format.h"
#include "ui/ClipboardUi.h"
#include "ui/Registry.h"
#include "ui/RenderWindow.h"
#include "ui/StringTable.h"
#include "ui/UiResources.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t kCfDibV5 = 17;
constexpr int kNoIcon = -1;

const ImageBuffer8* MenuIcon(int frame)
{
    if (frame < 0 || size_t(frame) >= theMenuIcons.size())
        return nullptr;
    return theMenuIcons[size_t(frame)];
}

// One item of a menu table.
struct Row {
    int32_t id;        // 0 with no key: a separator
    const char16_t* key;
    const char16_t* hot;
    int icon;
    const char16_t* tip;
    bool needsOneLayer;
};

void AddRow(CSMenu& menu, const Row& r, bool oneLayer)
{
    if (r.id == 0) {
        menu.AddItem(nullptr, 0, nullptr, nullptr);
        return;
    }
    menu.AddItem(r.hot, r.id, UiText(r.key), MenuIcon(r.icon));
    if (r.tip)
        menu.SetItemTip(r.id, UiText(r.tip));
    if (r.needsOneLayer && !oneLayer)
        menu.EnableItem(r.id, 0);
}

void AddRows(CSMenu& menu, std::initializer_list<Row> rows, bool oneLayer)
{
    for (const Row& r : rows)
        AddRow(menu, r, oneLayer);
}

constexpr Row kSep{0, nullptr, nullptr, kNoIcon, nullptr, false};

// A nested menu: emptied, filled, then hung under an item that carries no command.
void AddSubMenu(CSMenu& menu, const char16_t* hot, const char16_t* key, CSMenu* sub)
{
    menu.AddItemEx(hot, 0, UiText(key), nullptr, nullptr, 0, sub);
}

void BuildTransform(CSMenu& m, bool oneLayer)
{
    AddRows(m,
            {{10002, u"menuRotateRight", u"R", kNoIcon, nullptr, false},
             {10003, u"menuRotateLeft", u"L", kNoIcon, nullptr, false},
             {10005, u"menuFlipH", u"H", kNoIcon, nullptr, false},
             {10006, u"menuFlipV", u"V", kNoIcon, nullptr, false},
             {10004, u"menuRotateFree", nullptr, kNoIcon, nullptr, true},
             kSep,
             {10007, u"menuBarrel", nullptr, 1, nullptr, true},
             {10001, u"menuCrop", u"T", 5, nullptr, false},
             {10008, u"menuFreeCrop", nullptr, 2, u"mtipFreeCrop", true},
             {10012, u"menuShape", nullptr, 4, u"mtipShape", false},
             kSep,
             {10009, u"menuImageSize", u"S", 3, nullptr, false},
             {10010, u"menuExtendCavas", u"C", kNoIcon, nullptr, false},
             {10011, u"menuContentResize", nullptr, kNoIcon, u"mtipCAR", true}},
            oneLayer);
}

void BuildExposure(CSMenu& m)
{
    AddRows(m,
            {{11001, u"menuExAutoLevel", u"L", 6, u"mtipautolevelgamma", false},
             {11002, u"menuExAutoContrast", u"C", 7, u"mtipautocontrastgamma", false},
             {11011, u"menuExAutoLevel16", nullptr, 6, u"mtipautolevel", false},
             {11012, u"menuExAutoContrast16", nullptr, 7, u"mtipautocontrast", false},
             kSep,
             {11003, u"menuExSpot", u"M", 9, nullptr, false},
             {11000, u"menuExVisual", u"V", 8, nullptr, false},
             kSep,
             {11004, u"menuExBricon", nullptr, kNoIcon, nullptr, false},
             {11006, u"menuExBW", nullptr, kNoIcon, u"mtipBW", false},
             {11008, u"menuEnhanceDynamic", nullptr, kNoIcon, u"mtipEnhanceDynamic", false},
             kSep,
             {11007, u"menuFilm", u"F", 10, u"mtipPhotoAdjust", false},
             {11005, u"menuExCurve", u"P", 11, u"mtipCurve", false}},
            true);
}

void BuildColour(CSMenu& m)
{
    AddRows(m,
            {{12001, u"menuColorAuto", u"A", kNoIcon, nullptr, false},
             {12003, u"menuColorClick", u"C", 9, u"mtipWB", false},
             {12002, u"menuColorVisual", u"V", 8, nullptr, false},
             {12005, u"menuColorEnhance", nullptr, kNoIcon, u"mtipVivid", false},
             kSep,
             {12008, u"menuColorAdjust", nullptr, kNoIcon, u"mtipAdjustColor", false},
             {12006, u"menuColorMix", nullptr, kNoIcon, u"mtipColorMixer", false},
             kSep,
             {11007, u"menuFilm", u"F", 10, u"mtipPhotoAdjust", false},
             {12004, u"menuColorCurve", u"H", 12, u"mtipHSBCurve", false},
             {12007, u"menuColorTone", u"T", 13, u"mtipTone", false}},
            true);
}

void BuildEnhancement(CSMenu& m, CSMenu* sharpen, CSMenu* blur, CSMenu* style)
{
    AddRows(m,
            {{13001, u"menuNoiseReduction", u"N", 14, u"mtipNR", false},
             {13015, u"menuSmartErase", u"R", 20, u"mtipSmartErase", false},
             {13016, u"menuDefog", nullptr, 18, u"mtipDefog", false},
             {11008, u"menuEnhanceDynamic", nullptr, kNoIcon, u"mtipEnhanceDynamic", false},
             {13017, u"menuAntipurple", nullptr, kNoIcon, u"mtipPurple", false},
             {13018, u"menuDescreen", nullptr, kNoIcon, u"mtipdescreen", false},
             kSep,
             {13002, u"menuDBSkin", u"S", 15, u"mtipCleanskin", false},
             {10012, u"menuDBShape", nullptr, kNoIcon, nullptr, false},
             {13003, u"menuDBClear", nullptr, kNoIcon, nullptr, false},
             {13014, u"menuDBRedeye", nullptr, kNoIcon, nullptr, false},
             kSep},
            true);
    if (sharpen) {
        sharpen->ReleaseResources(0);
        // The two deblurring dialogs end the sharpen menu so that every dialog is reachable.
        AddRows(*sharpen,
                {{13004, u"menuShapen", nullptr, kNoIcon, u"mtipSharpen", false},
                 {13006, u"menuEdgeShrink", nullptr, kNoIcon, u"mtipSharpenEdge", false},
                 {13019, u"menuShapenTexture", nullptr, kNoIcon, u"mtipSharpenTexture", false},
                 {13005, u"menuAdvSharpen", u"P", kNoIcon, nullptr, false},
                 {13020, u"dlgAntiShakeblur", nullptr, kNoIcon, nullptr, false},
                 {13021, u"dlgDeblur", nullptr, kNoIcon, nullptr, false}},
                true);
        AddSubMenu(m, u"P", u"menuShapen", sharpen);
    }
    if (blur) {
        blur->ReleaseResources(0);
        AddRows(*blur,
                {{13007, u"menuBlur", nullptr, kNoIcon, u"mtipblur", false},
                 {13008, u"menuAdvBlur", u"B", kNoIcon, u"mtipGaussBlur", false},
                 {13009, u"menuLensBlur", u"L", kNoIcon, u"mtipLensBlur", false}},
                true);
        AddSubMenu(m, u"B", u"menuBlur", blur);
    }
    if (style) {
        style->ReleaseResources(0);
        AddRows(*style,
                {{13031, u"menuaddsomething", nullptr, kNoIcon, nullptr, false},
                 {13032, u"menupaintstyle", nullptr, kNoIcon, nullptr, false}},
                true);
        AddSubMenu(m, u"Y", u"menuStyle", style);
    }
    AddRows(m,
            {kSep,
             {13011, u"menuStarlight", nullptr, 16, nullptr, false},
             {13012, u"menuGradient", nullptr, 17, nullptr, false},
             {13010, u"menuDiffuse", nullptr, 21, nullptr, false},
             kSep,
             {13013, u"menuFilters", nullptr, 19, nullptr, false}},
            true);
}

platform::String16 CtrlShortcut(char16_t letter)
{
    const platform::String16 ctrl = UiText(u"Ctrl");
    // The text is the table's: used as an argument, never as the format.
    return ctrl + u"+" + platform::String16(1, letter);
}

void BuildSelection(CSMenu& m, CSMenu* modify, CZDDoc* doc)
{
    const platform::String16 all = CtrlShortcut(u'A'), none = CtrlShortcut(u'D'), inverse = CtrlShortcut(u'I');
    m.AddItemEx(u"A", 16001, UiText(u"menuSelAll"), nullptr, all.c_str(), 0, nullptr);
    if (!doc || !doc->selection.data)
        return;
    m.AddItemEx(u"N", 16003, UiText(u"menuSelNone"), nullptr, none.c_str(), 0, nullptr);
    m.AddItemEx(u"I", 16002, UiText(u"menuSelInverse"), nullptr, inverse.c_str(), 0, nullptr);
    m.AddItem(nullptr, 0, nullptr, nullptr);
    if (modify) {
        modify->ReleaseResources(0);
        modify->AddItem(u"E", 16006, UiText(u"menuSelExpand"), nullptr);
        modify->AddItem(u"S", 16007, UiText(u"menuSelShrink"), nullptr);
        modify->AddItem(u"D", 16008, UiText(u"menuSelEdge"), nullptr);
        AddSubMenu(m, u"M", u"munuSelModify", modify);
    }
    m.AddItem(u"F", 16004, UiText(u"selfeather"), nullptr);
    m.AddItemEx(u"R", 16009, UiText(u"menudelSel"), nullptr, UiText(u"Del"), 0, nullptr);
    m.AddItem(nullptr, 16005, UiText(u"selinpaint"), nullptr);
    m.AddItem(nullptr, 0, nullptr, nullptr);
    m.AddItem(nullptr, 22004, UiText(u"menuCopy"), nullptr);
    m.AddItem(nullptr, 16010, UiText(u"sel2mask"), nullptr);
}

void BuildProgram(CSMenu& m)
{
    m.AddItem(u"H", 21004, UiText(u"menuHelp"), nullptr);
    m.AddItem(nullptr, 0, nullptr, nullptr);
    char16_t current[LanguageList::kMaxName + 1] = {};
    ReadRegistryString(u"Program", u"Language", u"", current, int(LanguageList::kMaxName + 1), 1);
    m.AddItem(nullptr, kLanguageDefaultCommand, UiText(u"defaultLang"), nullptr);
    m.CheckItem(kLanguageDefaultCommand, current[0] == 0);
    const std::vector<LanguageEntry> languages = InstalledLanguages();
    for (size_t i = 0; i < languages.size() && i < 99; ++i) {
        const int32_t id = kLanguageFirstCommand + int32_t(i);
        m.AddItem(nullptr, id, languages[i].name.c_str(), nullptr);
        m.CheckItem(id, current[0] && languages[i].name == current);
    }
    m.AddItem(nullptr, 0, nullptr, nullptr);
    m.AddItem(u"S", 21006, UiText(u"menuSettings"), nullptr);
    m.AddItem(u"A", 21003, UiText(u"menuAbout"), nullptr);
}

void BuildFile(CSMenu& m)
{
    m.AddItem(u"S", 20001, UiText(u"menuSave"), MenuIcon(24));
    m.AddItem(u"P", 20002, UiText(u"menuPrint"), MenuIcon(25));
    // The exposure merge, reachable from the editor.
    m.AddItem(nullptr, 20003, UiText(u"menuMultiHDR"), nullptr);
}

} // namespace

namespace {

void BuildEdit(CSMenu& m)
{
    const HistoryStore* history = ActiveEditorHistory();
    const int32_t current = history ? history->current : -1;
    const int32_t count = history ? int32_t(history->steps.size()) : 0;
    m.AddItem(u"U", 22001, UiText(u"menuUndo"), MenuIcon(26));
    m.EnableItem(22001, current > 0);
    m.AddItem(u"R", 22002, UiText(u"menuRedo"), MenuIcon(27));
    m.EnableItem(22002, current >= 0 && current < count - 1);
    m.AddItem(nullptr, 22003, UiText(u"menuApplyonothers"), MenuIcon(28));
    const bool payload = history && std::any_of(history->steps.begin(), history->steps.end(),
                                                 [](const HistoryStep& s) { return s.hasPayload != 0; });
    m.EnableItem(22003, payload);
    m.AddItem(nullptr, 0, nullptr, nullptr);
    m.AddItem(nullptr, 22004, UiText(u"menuCopy"), nullptr);
    m.AddItem(nullptr, 22005, UiText(u"menuPaste"), nullptr);
    // A picture to paste; a file list alone pastes nothing, so it does not enable the item.
    m.EnableItem(22005, GetClipboardDataSize(platform::kCfDib) > 0 || GetClipboardDataSize(kCfDibV5) > 0);
}

} // namespace

void BuildEditorMenu(CSMenu& menu, int type, CSMenu* const* subMenus, int subMenuCount, CZDDoc* doc)
{
    menu.ReleaseResources(0);
    const bool oneLayer = !doc || doc->LayerCount() == 1;
    auto sub = [&](int i) { return i < subMenuCount && subMenus ? subMenus[i] : nullptr; };
    switch (type) {
    case kMenuTransform:
        BuildTransform(menu, oneLayer);
        break;
    case kMenuExposure:
        BuildExposure(menu);
        break;
    case kMenuColor:
        BuildColour(menu);
        break;
    case kMenuEnhancement:
        BuildEnhancement(menu, sub(0), sub(1), sub(2));
        break;
    case kMenuSelection:
        BuildSelection(menu, sub(0), doc);
        break;
    case kMenuProgram:
        BuildProgram(menu);
        break;
    case kMenuFile:
        BuildFile(menu);
        break;
    case kMenuEdit:
        BuildEdit(menu);
        break;
    case kMenuBlendModes:
        BuildBlendModeMenu(menu);
        break;
    default:
        break;
    }
}

CSAdjustPage::CSAdjustPage() = default;

CSAdjustPage::~CSAdjustPage()
{
    FreeImageBuffer(m_background);
    FreeImageBuffer(m_menuIcon);
    FreeImageList8(m_icons);
}

int CSAdjustPage::OnCreate()
{
    if (!LoadUiImage(UiImageFolder::Skin, u"film.png", m_background))
        return 0;
    const SRect r = Rect();
    if (!m_buttons.Create(this, m_window, kButtonPanelId, 2, 0, 0, std::max(1, r.Width()), std::max(1, r.Height())))
        return 0;
    m_buttons.m_background.store(0);
    AddChild(&m_buttons);
    if (!CreateButtons())
        return 0;
    if (!m_mainMenu.Create(nullptr, m_window, kFirstMenuId, 201, 0, 0, 100, 100))
        return 0;
    for (int i = 0; i < kSubMenus; ++i)
        if (!m_subMenus[i].Create(nullptr, m_window, kFirstMenuId + 1 + i, 202, 0, 0, 100, 100))
            return 0;
    m_menusMade = true;
    return 1;
}

int CSAdjustPage::CreateButtons()
{
    FreeImageList8(m_icons);
    if (!LoadUiImageStrip(UiImageFolder::Skin, u"adjust.png", 80, m_icons) || m_icons.size() < 4)
        return 0;
    const bool host = m_page && m_page->hostMode;
    if (!host) {
        if (!LoadUiImage(UiImageFolder::Skin, u"menu.png", m_menuIcon))
            return 0;
        if (!m_buttons.AddItem(kMenuButton, 2, UiText(u"menu"), nullptr, &m_menuIcon, 25, 0, 150, 40))
            return 0;
        m_buttons.SetItemChecked(kMenuButton, 1);
    }
    struct Button {
        int32_t id;
        const char16_t* label;
        const char16_t* tip;
        int top, hostTop;
    };
    static const Button buttons[] = {{1, u"transform", u"transform_tip", 40, -1},
                                     {2, u"exposure", u"exposure_tip", 140, 0},
                                     {3, u"color", u"color_tip", 240, 100},
                                     {4, u"enhancement", u"enhancement_tip", 340, 200}};
    for (const Button& b : buttons) {
        const int top = host ? b.hostTop : b.top;
        if (top < 0)
            continue;
        if (!m_buttons.AddItem(b.id, 1, UiText(b.label), UiText(b.tip), m_icons[size_t(b.id - 1)], 25, top, 150,
                               top + 100))
            return 0;
    }
    return 1;
}

void CSAdjustPage::SetPos(int x, int y, int width, int height)
{
    CSTabPage::SetPos(x, y, width, height);
    m_buttons.SetPos(0, 0, width, std::max(1, height - 30));
    SetAllDirty(1);
}

int CSAdjustPage::OnDraw(uint32_t)
{
    platform::ScopedLock lock(m_lock);
    if (!AllDirty() || !m_image.data || !m_background.data)
        return 0;
    TileFrame8(m_image, m_background, 80, 68);
    InvalidateRect(0, 0, 0, 0, 1);
    return 1;
}

SRect CSAdjustPage::ButtonWindowRect(int32_t id)
{
    SRect item{};
    {
        platform::ScopedLock lock(m_buttons.Lock());
        if (const PanelItem* it = m_buttons.FindItem(id))
            item = it->rect;
    }
    return m_buttons.LocalToWindowRect(item);
}

void CSAdjustPage::ShowCategoryMenu(int type)
{
    if (!m_menusMade || !m_window)
        return;
    CSMenu* subs[4] = {&m_subMenus[0], &m_subMenus[1], &m_subMenus[2], &m_subMenus[3]};
    BuildEditorMenu(m_mainMenu, type, subs, 4, m_page ? &m_page->Document() : nullptr);
    const SRect r = ButtonWindowRect(type);
    m_mainMenu.Track(m_page, r.right, r.top, true, true);
}

void CSAdjustPage::ShowMainMenu()
{
    if (!m_menusMade || !m_window)
        return;
    CZDDoc* doc = m_page ? &m_page->Document() : nullptr;
    m_mainMenu.ReleaseResources(0);
    struct Entry {
        const char16_t* key;
        int type;
        int sub;
        int nestedFirst;
        int nestedCount;
    };
    static const Entry entries[] = {{u"menuFile", kMenuFile, 0, 0, 0},
                                    {u"menuEdit", kMenuEdit, 1, 0, 0},
                                    {u"albumsysmenu", kMenuProgram, 2, 0, 0}};
    static const Entry categories[] = {{u"menuTransform", kMenuTransform, 3, 0, 0},
                                       {u"menuExposure", kMenuExposure, 4, 0, 0},
                                       {u"menuColor", kMenuColor, 5, 0, 0},
                                       {u"menuEnhancement", kMenuEnhancement, 6, 7, 3},
                                       {u"menuSelection", kMenuSelection, 10, 11, 1}};
    auto add = [&](const Entry& e) {
        CSMenu& sub = m_subMenus[e.sub];
        CSMenu* nested[3] = {};
        for (int i = 0; i < e.nestedCount; ++i)
            nested[i] = &m_subMenus[e.nestedFirst + i];
        BuildEditorMenu(sub, e.type, nested, e.nestedCount, doc);
        m_mainMenu.AddItemEx(nullptr, e.type, UiText(e.key), nullptr, nullptr, 0, &sub);
    };
    for (const Entry& e : entries)
        add(e);
    m_mainMenu.AddItem(nullptr, 0, nullptr, nullptr);
    m_mainMenu.AddItem(nullptr, 18001, UiText(u"menuWizard"), nullptr);
    for (const Entry& e : categories)
        add(e);
    m_mainMenu.AddItem(nullptr, 18002, UiText(u"Photo Property"), nullptr);
    m_mainMenu.AddItem(nullptr, 0, nullptr, nullptr);
    m_mainMenu.AddItem(u"C", 21001, UiText(u"menuClose"), nullptr);
    const SRect r = ButtonWindowRect(kMenuButton);
    m_mainMenu.Track(m_page, r.right, r.top, true, true);
}

int CSAdjustPage::OnSpriteMessage(SpriteMessage* m)
{
    if (m && m->code == MSG_PANEL_CLICK && m->sender == &m_buttons) {
        EndEditorTool();
        if (m->param1 == kMenuButton)
            ShowMainMenu();
        else
            ShowCategoryMenu(int(m->param1));
        m_buttons.OnCaptureReleased();
    }
    return CSTabPage::OnSpriteMessage(m);
}

void CSAdjustPage::ReleaseResources(int flag)
{
    if (m_window) {
        m_window->ForgetTopLevel(&m_mainMenu);
        for (CSMenu& s : m_subMenus)
            m_window->ForgetTopLevel(&s);
    }
    m_mainMenu.ReleaseResources(flag);
    for (CSMenu& s : m_subMenus)
        s.ReleaseResources(flag);
    RemoveChild(&m_buttons);
    m_buttons.ReleaseResources(flag);
    CSTabPage::ReleaseResources(flag);
}
