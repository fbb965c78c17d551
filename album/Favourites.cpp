// Favourite folders: the folder page's menu and add command, and the manager dialog.
#include "album/Favourites.h"

#include "album/FolderPage.h"
#include "platform/DialogTemplate.h"
#include "platform/Folders.h"
#include "platform/Path.h"
#include "ui/InputString.h"
#include "ui/MessageBox.h"
#include "ui/RenderWindow.h"
#include "ui/Tree.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <memory>

using platform::String16;
using platform::StringView16;

namespace {

constexpr size_t kFavouriteNameMax = 31;
constexpr size_t kFavouritePathMax = 999;

StringView16 WithoutFinalSlash(StringView16 s)
{
    while (s.size() > 1 && s.back() == u'/')
        s.remove_suffix(1);
    return s;
}

} // namespace

int FindFavouriteByPath(const std::vector<FavouriteFolder>& favourites, const char16_t* path)
{
    if (!path)
        return -1;
    const StringView16 wanted = WithoutFinalSlash(path);
    for (size_t i = 0; i < favourites.size(); ++i)
        if (WithoutFinalSlash(platform::BufferView(favourites[i].path)) == wanted)
            return int(i);
    return -1;
}

int FindFavouriteByName(const std::vector<FavouriteFolder>& favourites, const char16_t* name)
{
    if (!name)
        return -1;
    for (size_t i = 0; i < favourites.size(); ++i)
        if (platform::EqualsNoCase(platform::BufferView(favourites[i].name), StringView16(name)))
            return int(i);
    return -1;
}

// ---------------------------------------------------------------------------------------------
// The folder page's side

void CSFolderPage::ShowFavouritesMenu()
{
    if (!m_config.favourites || m_config.favourites->empty()) {
        AddFavourite();
        return;
    }
    m_favMenu.ReleaseResources(0);
    m_favMenu.AddItemEx(nullptr, kFavAddCommand, UiText(u"AddFav"), nullptr, nullptr, 0, nullptr);
    m_favMenu.AddItemEx(nullptr, kFavManageCommand, UiText(u"ManagementFav"), nullptr, nullptr, 0, nullptr);
    m_favMenu.AddItem(nullptr, 0, nullptr, nullptr); // the separator
    const std::vector<FavouriteFolder>& list = *m_config.favourites;
    for (size_t i = 0; i < list.size(); ++i)
        m_favMenu.AddItemEx(nullptr, kFavFirstCommand + int32_t(i), list[i].name, nullptr, nullptr, 0, nullptr);
    if (!m_window)
        return;
    const SRect button = m_favourites.LocalToWindowRect({0, 0, m_favourites.Width(), m_favourites.Height()});
    m_favMenu.Track(this, button.left, button.bottom, true, true);
}

void CSFolderPage::OnFavouriteCommand(int32_t id)
{
    if (id == kFavAddCommand) {
        AddFavourite();
    } else if (id == kFavManageCommand) {
        ManageFavourites();
    } else if (id >= kFavFirstCommand && m_config.favourites) {
        const size_t i = size_t(id - kFavFirstCommand);
        if (i < m_config.favourites->size()) {
            // A copy: going there may change the list's storage (it never does today).
            const String16 path(platform::BufferView((*m_config.favourites)[i].path));
            GoToPath(path);
        }
    }
}

int CSFolderPage::AddFavourite()
{
    if (!m_current || !m_config.favourites)
        return 0;
    std::vector<FavouriteFolder>& list = *m_config.favourites;
    if (list.size() >= kMaxFavourites) {
        // config.dat holds 256; a longer list would stop the next start.
        Message(UiText(u"favfull"), kMbError, kMbOk);
        return -1;
    }
    const String16 path = GetFolderPath(m_current);
    if (path.empty() || path.size() > kFavouritePathMax)
        return 0; // a cut path would name another folder
    std::u16string name = m_current->Text() ? m_current->Text() : u"";
    if (name.size() > kFavouriteNameMax)
        name.resize(kFavouriteNameMax);
    if (!AskText(name, u"AddFav2", u"AddFavTip", int(kFavouriteNameMax)))
        return 0;
    if (name.empty())
        name = m_current->Text() ? m_current->Text() : path;
    if (FindFavouriteByPath(list, path.c_str()) >= 0)
        return 1; // already a favourite: nothing changes, nothing is said
    FavouriteFolder f;
    platform::CopyText(f.name, StringView16(name).substr(0, kFavouriteNameMax));
    platform::CopyText(f.path, path);
    list.push_back(f);
    return 1;
}

void CSFolderPage::ManageFavourites()
{
    if (m_runFavouritesManager) {
        m_runFavouritesManager();
        return;
    }
    if (m_config.favourites)
        RunFavouritesManager(*m_config.favourites);
}

// ---------------------------------------------------------------------------------------------
// The manager

int CFavManageDlg::OnInitDialog()
{
    m_list = dynamic_cast<CFlatSimpleList*>(GetControl(kListId));
    if (!m_list)
        return 0;
    FillList();
    return 1;
}

void CFavManageDlg::FillList()
{
    if (!m_list)
        return;
    m_list->Clear();
    for (const FavouriteFolder& f : m_favourites)
        m_list->AddItem(f.name[0] ? f.name : u" ", nullptr);
    m_list->Rebuild();
    if (!m_favourites.empty())
        m_list->SetSelection(0, true, false);
}

int CFavManageDlg::SelectedFavourite() const
{
    if (!m_list)
        return -1;
    const int row = m_list->Selected();
    if (row < 0 || row >= int(m_favourites.size()))
        return -1;
    // The row shows the favourite of the same position; of two equal names the first wins.
    return FindFavouriteByName(m_favourites, m_favourites[size_t(row)].name);
}

void CFavManageDlg::OnCommand(int id)
{
    if (id == kRenameId || id == kDeleteId) {
        const int i = SelectedFavourite();
        if (i < 0)
            return;
        if (id == kRenameId) {
            std::u16string name = m_favourites[size_t(i)].name;
            int ok = 0;
            if (m_askName) {
                ok = m_askName(name);
            } else {
                char16_t buffer[32] = {};
                platform::CopyText(buffer, name);
                ok = InputString(buffer, 32, UiText(u"AddFav2"), UiText(u"AddFavTip"), -1, 0);
                name = buffer;
            }
            if (ok && !name.empty()) {
                std::fill(std::begin(m_favourites[size_t(i)].name), std::end(m_favourites[size_t(i)].name), u'\0');
                platform::CopyText(m_favourites[size_t(i)].name, StringView16(name).substr(0, kFavouriteNameMax));
                FillList();
            }
        } else {
            m_favourites.erase(m_favourites.begin() + i);
            FillList();
        }
        return;
    }
    CDialogSprite::OnCommand(id);
}

void RunFavouritesManager(std::vector<FavouriteFolder>& favourites, const String16& dialogFolder)
{
    const String16 folder =
        dialogFolder.empty() ? platform::JoinPath(platform::ProgramFolder(), u"dialogs") : dialogFolder;
    std::unique_ptr<platform::DialogTemplate> t = platform::DialogTemplate::Load(folder, CFavManageDlg::kTemplateId);
    CFavManageDlg dialog(favourites);
    dialog.m_dimRequest = 1;
    if (!t || !dialog.CreateFromTemplate(*t, 0, 0, 0, 0)) {
        WriteUiLog(u"The favourites dialog cannot be made");
        return;
    }
    dialog.DoModal();
}
