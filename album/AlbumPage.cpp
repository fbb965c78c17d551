#include "album/AlbumPage.h"

#include "album/ScanScopeDlg.h"
#include "imaging/ImageCodec/ImageType.h"
#include "platform/Path.h"
#include "ui/MessageBox.h"
#include "ui/Registry.h"
#include "ui/RenderWindow.h"
#include "ui/TicketRegistry.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kPanelHeight = 70;

struct ToolSpec {
    int32_t id;
    const char16_t* label;
    const char16_t* tip;
    int icon; // -1: none
    int left, right;
};

// In the order they are added.
const ToolSpec kTools[] = {
    {kToolMenu, u"menu", nullptr, 0, 0, 70},
    {kToolView, u"AlbumView", nullptr, 1, 70, 140},
    {kToolEdit, u"devit", nullptr, 2, 140, 210},
    {kToolBatch, u"Batchshort", u"BatchTool", 3, 210, 280},
    {kToolMulti, u"Multishort", u"Multishot", 11, 280, 350},
    {kToolBatchPrint, u"BatchPrintshort", u"Batchprint", 4, 350, 420},
    {kToolNotice, nullptr, nullptr, 14, 430, 500},
    {kToolSort, nullptr, u"Sort", -1, 0, 0},
    {kToolSize, nullptr, u"ListSizeChange", -1, 0, 0},
};

} // namespace

int AlbumViewModeFromSetting(uint32_t stored)
{
    return stored >= 1 && stored <= 4 ? int(stored) : 3;
}

CSAlbumPage::CSAlbumPage(AlbumHost* host, const AlbumConfig& config)
    : CSTabPage(UiText(u"Album")), m_host(host), m_config(config), m_watchSink(this)
{
    SetFlags(Flags() | SF_ALBUMPAGE);
}

CSAlbumPage::~CSAlbumPage()
{
    StopThreads();
    ForgetMenus();
    FreeImageList8(m_toolIcons);
}

void CSAlbumPage::StopThreads()
{
    m_watchThread.Stop();
}

void CSAlbumPage::ForgetMenus()
{
    if (!m_window)
        return;
    for (CSMenu* menu : {&m_albumMenu, &m_photoSubMenu, &m_programSubMenu, &m_multiMenu}) {
        m_window->ForgetTopLevel(menu);
        m_window->ForgetInputSprite(menu);
    }
}

int CSAlbumPage::OnCreate()
{
    if (!m_tabFrame.Create(this, m_window, kTabFrameId, 10, 5, m_leftPaneWidth - 10, 300, 1))
        return 0;
    AddChild(&m_tabFrame);
    m_folderPage.SetTitle(UiText(u"FolderTab"));
    m_folderPage.SetHost(this);
    m_folderPage.SetConfig(m_config);
    if (m_tabFrame.AddPage(&m_folderPage) < 0)
        return 0;

    if (!m_list.Create(this, m_window, kListId, 2, m_leftPaneWidth, kPanelHeight, m_leftPaneWidth + 200, 300))
        return 0;
    m_list.ownerPage = this;
    AddChild(&m_list);

    m_watchSink.SetSprite(this);
    m_watchThread.target = &m_watchSink;
    if (m_watchThread.Start())
        m_watchThread.SetPriority(platform::ThreadPriority::Idle);

    ImageBuffer8 message;
    if (!LoadUiImageStrip(UiImageFolder::Skin, u"albumtools.png", 32, m_toolIcons) || m_toolIcons.size() < 14 ||
        !LoadUiImage(UiImageFolder::Skin, u"message.png", message))
        return 0;
    // "message.png" is frame 14 whatever the strip holds beyond its fourteen frames.
    while (m_toolIcons.size() > 14) {
        DeleteImage8(m_toolIcons.items.back());
        m_toolIcons.items.pop_back();
    }
    const int appended = AppendImageCopy8(m_toolIcons, message);
    FreeImageBuffer(message);
    if (!appended)
        return 0;

    if (!m_toolPanel.Create(this, m_window, kToolPanelId, 3, m_leftPaneWidth, 0, m_leftPaneWidth + 500, kPanelHeight))
        return 0;
    BuildToolPanel();
    AddChild(&m_toolPanel);

    if (!m_preview.Create(this, m_window, kPreviewId, 4, 0, 0, 100, 100))
        return 0;
    m_preview.SetVisible(0);
    AddChild(&m_preview);

    if (!m_albumMenu.Create(nullptr, m_window, kAlbumMenuId, 201, 0, 0, 100, 100) ||
        !m_photoSubMenu.Create(nullptr, m_window, kPhotoSubMenuId, 202, 0, 0, 100, 100) ||
        !m_programSubMenu.Create(nullptr, m_window, kProgramSubMenuId, 202, 0, 0, 100, 100) ||
        !m_multiMenu.Create(nullptr, m_window, kMultiMenuId, 202, 0, 0, 100, 100))
        return 0;
    m_childrenAdded = true;

    m_list.SetSortOrder(int(ReadRegistryDword(u"Album", u"Sort", 0, 1)));
    m_list.SetViewMode(AlbumViewModeFromSetting(ReadRegistryDword(u"Album", u"ViewMode", 3, 1)));
    UpdateToolIcons();
    UpdateToolStates();
    return 1;
}

int CSAlbumPage::InitTree()
{
    return m_folderPage.InitTree();
}

void CSAlbumPage::BuildToolPanel()
{
    for (const ToolSpec& t : kTools) {
        const bool corner = t.icon < 0;
        const ImageBuffer8* icon = t.icon >= 0 && size_t(t.icon) < m_toolIcons.size() ? m_toolIcons[size_t(t.icon)] : nullptr;
        m_toolPanel.AddItem(t.id, 1, t.label ? UiText(t.label) : nullptr, t.tip ? UiText(t.tip) : nullptr, icon,
                            t.left, 0, corner ? t.left + 35 : t.right, corner ? 35 : kPanelHeight);
    }
    m_toolPanel.ShowItem(kToolNotice, 0);
    m_toolPanel.m_layoutMode.store(2);
}

void CSAlbumPage::LayoutToolPanel()
{
    const int pw = m_toolPanel.Width();
    platform::ScopedLock lock(m_toolPanel.Lock());
    if (PanelItem* sort = m_toolPanel.FindItem(kToolSort))
        sort->rect = {pw - 35, 0, pw, 35};
    if (PanelItem* size = m_toolPanel.FindItem(kToolSize))
        size->rect = {pw - 35, 35, pw, 70};
}

void CSAlbumPage::SetPos(int x, int y, int width, int height)
{
    CSTabPage::SetPos(x, y, width, height);
    SetAllDirty(1);
    if (!m_childrenAdded)
        return;
    m_tabFrame.SetPos(10, 5, m_leftPaneWidth - 20, height - 15);
    m_list.SetPos(m_leftPaneWidth, kPanelHeight, std::max(1, width - m_leftPaneWidth), std::max(1, height - kPanelHeight));
    m_toolPanel.SetPos(m_leftPaneWidth, 0, std::max(1, width - m_leftPaneWidth), kPanelHeight);
    LayoutToolPanel();
    if (m_preview.IsVisible())
        m_preview.SetPos(0, 0, width, height);
}

int CSAlbumPage::OnDraw(uint32_t time)
{
    if (AllDirty() && m_image.data)
        std::fill(m_image.data, m_image.data + m_image.byteSize, uint8_t(0));
    return CSTabPage::OnDraw(time);
}

void CSAlbumPage::ReleaseResources(int flag)
{
    StopThreads();
    ForgetMenus();
    for (CSMenu* menu : {&m_albumMenu, &m_photoSubMenu, &m_programSubMenu, &m_multiMenu})
        menu->ReleaseResources(0);
    // Members: out of the child lists before the base's release.
    RemoveChild(&m_preview);
    RemoveChild(&m_toolPanel);
    RemoveChild(&m_list);
    RemoveChild(&m_tabFrame);
    m_preview.ReleaseResources(flag);
    m_toolPanel.ReleaseResources(flag);
    m_list.ReleaseResources(flag);
    m_tabFrame.RemovePage(&m_folderPage);
    m_folderPage.ReleaseResources(flag);
    m_tabFrame.ReleaseResources(flag);
    m_childrenAdded = false;
    CSTabPage::ReleaseResources(flag);
}

// ---------------------------------------------------------------------------------------------
// Listing

bool CSAlbumPage::IsSearchMode()
{
    return m_tabFrame.GetSelectedPage() != &m_folderPage;
}

void CSAlbumPage::RefreshList()
{
    if (IsSearchMode())
        return; // the search page's listing comes with it
    m_folderPage.ListFolderImages(0);
    m_folderPage.RefreshCurrentFolder();
}

void CSAlbumPage::BeginFolderListing(bool clear)
{
    if (clear)
        m_list.RemoveAll();
    else
        m_list.BeginRefill();
}

void CSAlbumPage::AddFolderEntry(int32_t typeCode, const platform::String16& path, platform::FileTime lastWrite,
                                 bool clear)
{
    if (clear)
        m_list.AddItemWithRecord(typeCode, path);
    else
        m_list.ReuseOrAddItem(typeCode, path, UtcSystemTime(lastWrite));
}

void CSAlbumPage::EndFolderListing(bool clear)
{
    if (!clear)
        m_list.EndRefill();
    m_list.Sort();
    m_list.Layout(true);
    m_list.UpdateScrollBar();
    UpdateToolStates();
}

platform::String16 CSAlbumPage::GetFolderPath() const
{
    return const_cast<CSFolderPage&>(m_folderPage).CurrentPath();
}

void CSAlbumPage::NewFolder()
{
    m_folderPage.NewFolder();
}

int CSAlbumPage::OpenImage(const platform::String16& path)
{
    return m_host ? m_host->OpenImage(path, 0, nullptr, 0) : 0;
}

int CSAlbumPage::DropFilesInto(const std::vector<platform::String16>& files, const platform::String16& folder)
{
    const int placed = m_folderPage.DropFilesInto(files, folder);
    RefreshList();
    return placed;
}

void CSAlbumPage::PostActivate(int index, CPhotoItem* item)
{
    PostSpriteMessage(MSG_LIST_ACTIVATE, index, reinterpret_cast<intptr_t>(item), &m_list);
}

bool CSAlbumPage::PreviewShown() const
{
    return m_preview.IsVisible() != 0;
}

int CSAlbumPage::QueryDropFiles(int x, int y)
{
    const int effect = CSTabPage::QueryDropFiles(x, y);
    return effect ? effect : 1;
}

int CSAlbumPage::OnDropFiles(int x, int y, const std::vector<platform::String16>* files)
{
    CSTabPage::OnDropFiles(x, y, files);
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Tools, menus, commands

void CSAlbumPage::UpdateToolIcons()
{
    const int mode = m_list.ViewMode();
    const int sizeIcon = mode == 2 ? 7 : mode == 3 ? 6 : mode == 4 ? 5 : -1;
    if (sizeIcon >= 0 && size_t(sizeIcon) < m_toolIcons.size())
        m_toolPanel.SetItemIcon(kToolSize, m_toolIcons[size_t(sizeIcon)]);
    const int order = m_list.SortOrder();
    if (order >= 0 && order <= 2 && size_t(8 + order) < m_toolIcons.size())
        m_toolPanel.SetItemIcon(kToolSort, m_toolIcons[size_t(8 + order)]);
}

void CSAlbumPage::UpdateToolStates()
{
    const int p = m_list.CountSelected(1);
    m_toolPanel.EnableItem(kToolView, p == 1);
    m_toolPanel.EnableItem(kToolEdit, p == 1);
    // Batch, batch print and the multi-photo menu come with their dialogs.
    m_toolPanel.EnableItem(kToolBatch, 0);
    m_toolPanel.EnableItem(kToolBatchPrint, 0);
    m_toolPanel.EnableItem(kToolMulti, 0);
}

void CSAlbumPage::SaveViewSettings()
{
    WriteRegistryDword(u"Album", u"Sort", uint32_t(m_list.SortOrder()));
    WriteRegistryDword(u"Album", u"ViewMode", uint32_t(m_list.ViewMode()));
}

void CSAlbumPage::SetViewMode(int mode)
{
    m_list.SetViewMode(mode);
    UpdateToolIcons();
}

void CSAlbumPage::SetSortOrder(int order)
{
    m_list.SetSortOrder(order);
    UpdateToolIcons();
}

void CSAlbumPage::ShowAlbumMenu()
{
    if (!m_window)
        return;
    m_albumMenu.ReleaseResources(0);
    m_photoSubMenu.ReleaseResources(0);
    m_programSubMenu.ReleaseResources(0);
    m_list.BuildPhotoMenu(m_photoSubMenu);
    if (m_host)
        m_host->BuildProgramMenu(m_programSubMenu);

    auto add = [&](const char16_t* key, int32_t id) { m_albumMenu.AddItemEx(nullptr, id, UiText(key), nullptr, nullptr, 0, nullptr); };
    auto separator = [&] { m_albumMenu.AddItem(nullptr, 0, nullptr, nullptr); };
    m_albumMenu.AddItemEx(nullptr, kCmdPhotoSubMenu, UiText(u"albumphotomenu"), nullptr, nullptr, 0, &m_photoSubMenu);
    m_albumMenu.AddItemEx(nullptr, kCmdProgramSubMenu, UiText(u"albumsysmenu"), nullptr, nullptr, 0, &m_programSubMenu);
    separator();
    add(u"menuPasteEdit", kCmdPasteEdit);
    // A new photo from the clipboard's picture comes with the editor's clipboard reader.
    m_albumMenu.EnableItem(kCmdPasteEdit, 0);
    add(u"menuLoadProj", kCmdLoadProject);
    separator();
    add(u"menuFolderMode", kCmdFolderMode);
    add(u"menuSearchMode", kCmdSearchMode);
    m_albumMenu.EnableItem(kCmdSearchMode, 0);
    add(u"menuSetSearchScope", kCmdSearchScope);
    m_albumMenu.CheckItem(kCmdFolderMode, IsSearchMode() ? 0 : 1);
    separator();
    add(u"menuViewList", kCmdViewList);
    add(u"menuViewThumb", kCmdViewThumb);
    add(u"menuViewThumbBig", kCmdViewThumbBig);
    const int mode = m_list.ViewMode();
    m_albumMenu.CheckItem(kCmdViewList, mode == 2);
    m_albumMenu.CheckItem(kCmdViewThumb, mode == 3);
    m_albumMenu.CheckItem(kCmdViewThumbBig, mode == 4);
    separator();
    add(u"menuSortName", kCmdSortName);
    add(u"menuSortDate", kCmdSortDate);
    add(u"menuSortModify", kCmdSortModify);
    const int order = m_list.SortOrder();
    m_albumMenu.CheckItem(kCmdSortName, order == 0);
    m_albumMenu.CheckItem(kCmdSortDate, order == 1);
    m_albumMenu.CheckItem(kCmdSortModify, order == 2);
    separator();
    m_albumMenu.AddItemEx(u"X", kCmdExit, UiText(u"menuExit"), nullptr, nullptr, 0, nullptr);

    const SRect panel = m_toolPanel.LocalToWindowRect({0, 0, 0, 0});
    m_albumMenu.Track(this, panel.left + 75, panel.top + 35, true, true);
}

void CSAlbumPage::ShowMultiMenu()
{
    if (!m_window)
        return;
    m_multiMenu.ReleaseResources(0);
    for (auto [key, id] : {std::pair{u"menuMultiNr", kPhotoMultiNr}, std::pair{u"menuMultiHDR", kPhotoMultiHdr},
                           std::pair{u"menuMulti3D", kPhotoMulti3D}}) {
        m_multiMenu.AddItemEx(nullptr, id, UiText(key), nullptr, nullptr, 0, nullptr);
        m_multiMenu.EnableItem(id, 0);
    }
    const SRect panel = m_toolPanel.LocalToWindowRect({0, 0, 0, 0});
    m_multiMenu.Track(this, panel.left + 280, panel.top + 35, true, true);
}

void CSAlbumPage::RunCommand(int32_t id)
{
    switch (id) {
    case kCmdFolderMode: m_tabFrame.SelectPage(&m_folderPage, 0); break;
    case kCmdViewList: SetViewMode(2); break;
    case kCmdViewThumb: SetViewMode(3); break;
    case kCmdViewThumbBig: SetViewMode(4); break;
    case kCmdSortName: SetSortOrder(0); break;
    case kCmdSortDate: SetSortOrder(1); break;
    case kCmdSortModify: SetSortOrder(2); break;
    case kPhotoRefresh: RefreshList(); break;
    case kCmdLoadProject:
        if (m_host)
            m_host->OpenProject();
        break;
    case kCmdSearchScope:
        if (m_config.scanFolders && RunSearchScopeDialog(*m_config.scanFolders) == 1 && m_host)
            m_host->SaveSettings();
        break;
    case kCmdExit:
        if (m_host)
            m_host->Exit();
        break;
    default:
        if (id >= 21003 && id <= 21599 && m_host)
            m_host->RunProgramCommand(id);
        break;
    }
}

void CSAlbumPage::OnListActivate(int index, CPhotoItem* item)
{
    if (!item)
        return;
    if (item->IsFolder()) {
        if (IsSearchMode())
            return;
        platform::String16 path = item->path;
        if (std::u16string_view(item->caption) == u"..")
            path = ParentFolderPath(path);
        m_folderPage.GoToPath(path);
        return;
    }
    if (index < 0)
        return;
    int current = -1;
    const std::vector<platform::String16> paths = m_list.PreviewPaths(index, &current);
    if (current < 0)
        return;
    m_preview.ClearPaths();
    for (const platform::String16& p : paths)
        m_preview.AddPath(p.c_str());
    if (!m_preview.OpenAt(paths[size_t(current)].c_str()))
        return;
    OpenPreviewFromCell(item);
}

void CSAlbumPage::OpenPreviewFromCell(CPhotoItem* item)
{
    SRect cell;
    {
        platform::ScopedLock lock(m_list.Lock());
        const int scroll = m_list.ScrollOffset();
        cell = {item->currentX, item->currentY - scroll, item->currentX + item->cellWidth,
                item->currentY - scroll + item->cellHeight};
    }
    const SRect at = m_list.Rect();
    cell = {cell.left + at.left - 1, cell.top + at.top - 1, cell.right + at.left + 1, cell.bottom + at.top + 1};
    const SRect view{0, 0, Width(), Height()};
    m_preview.SetPos(0, 0, Width(), Height());
    m_list.ShowInfoTip(0, nullptr);
    m_preview.Open(cell, m_preview.FitRect(view.left, view.top, view.right, view.bottom), view);
}

void CSAlbumPage::ShowNotice(const std::u16string& title)
{
    m_noticeTitle = title.substr(0, 255);
    {
        platform::ScopedLock lock(m_toolPanel.Lock());
        if (PanelItem* item = m_toolPanel.FindItem(kToolNotice))
            CopyTextBounded(item->tooltip, PanelItem::kTooltipCapacity, m_noticeTitle.c_str());
    }
    m_toolPanel.ShowItem(kToolNotice, 1);
    m_toolPanel.SetAllDirty(1);
}

int CSAlbumPage::OnSpriteMessage(SpriteMessage* message)
{
    switch (message->code) {
    case MSG_MENU_COMMAND: {
        const int32_t id = int32_t(message->param1);
        // Tests follow the commands by this line.
        std::printf("zendra: menu command %d\n", int(id));
        std::fflush(stdout);
        if (id >= 101 && id <= 198) {
            const int result = m_list.RunCommand(id);
            CSTabPage::OnSpriteMessage(message);
            return result;
        }
        RunCommand(id);
        break;
    }
    case MSG_PANEL_CLICK:
        switch (int32_t(message->param1)) {
        case kToolMenu: ShowAlbumMenu(); break;
        case kToolView: {
            const int index = m_list.GetFirstSelected();
            OnListActivate(index, index >= 0 ? m_list.PhotoItem(index) : nullptr);
            break;
        }
        case kToolEdit: m_list.PostSpriteMessage(MSG_MENU_COMMAND, kPhotoEdit, 0, this); break;
        case kToolNotice:
            if (m_host)
                m_host->ShowNoticeMessage();
            break;
        case kToolSize: {
            const int mode = m_list.ViewMode();
            SetViewMode(mode == 2 ? 3 : mode == 3 ? 4 : mode == 4 ? 2 : mode);
            SaveViewSettings();
            UpdateToolIcons();
            break;
        }
        case kToolSort:
            SetSortOrder((m_list.SortOrder() + 1) % 3);
            SaveViewSettings();
            UpdateToolIcons();
            break;
        default: break;
        }
        break;
    case MSG_TAB_CHANGED:
        if (reinterpret_cast<CSTabPage*>(message->param2) == &m_folderPage)
            RefreshList();
        break;
    case MSG_LIST_ACTIVATE: {
        CListItem* item = m_list.ItemFromMessage(message->param1, message->param2);
        OnListActivate(int(message->param1), static_cast<CPhotoItem*>(item));
        break;
    }
    case MSG_LIST_SELECT:
        UpdateToolStates();
        break;
    default:
        if (message->code == int32_t(MSG_ALBUM_REFRESH)) {
            m_folderPage.RefreshAfterChange();
            UpdateToolStates();
        }
        break;
    }
    return CSTabPage::OnSpriteMessage(message);
}
