#include "album/AlbumPhotoList.h"

#include "album/PhotoDatabase.h"
#include "imaging/Draw8.h"
#include "imaging/ImageCodec/ImageType.h"
#include "imaging/ImageCodec/JpegWriter.h"
#include "platform/Clipboard.h"
#include "platform/FileSystem.h"
#include "platform/Folders.h"
#include "platform/Format.h"
#include "platform/Path.h"
#include "ui/ClipboardUi.h"
#include "ui/InputString.h"
#include "ui/MessageBox.h"
#include "ui/Registry.h"
#include "ui/RenderWindow.h"
#include "ui/TicketRegistry.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kAnswerYes = 6;

std::u16string U16(const char* s)
{
    return platform::Utf8ToUtf16(s);
}

// A localised format with the argument types checked: a language file with a wrong conversion
// gives the key's text unformatted instead of reading what is not there.
template <typename... Args>
std::u16string FormatKey(const char16_t* key, Args... args)
{
    const char16_t* pattern = UiText(key);
    if (auto text = platform::Format(pattern, args...))
        return *text;
    return pattern;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Pure helpers

void SimplifyRational(int32_t& numerator, int32_t& denominator)
{
    if (numerator == 0 || denominator == 0)
        return;
    // 64 bits: |INT32_MIN| does not fit in 32.
    const int64_t p = std::llabs(int64_t(numerator)), q = std::llabs(int64_t(denominator));
    if (p >= q)
        return;
    const double r = double(q) / double(p);
    const int64_t c = int64_t(r + 0.5);
    if (std::fabs(r - double(c)) > 0.01 || c > INT32_MAX)
        return;
    numerator = numerator < 0 ? -1 : 1;
    denominator = int32_t(denominator < 0 ? -c : c);
}

std::u16string BuildInfoTipText(const char16_t* caption, const ImageInfo& info, int* linesAfterFirst)
{
    int n = 0;
    char16_t cut[50];
    CopyTextBounded(cut, 50, caption ? caption : u"");
    std::u16string text = cut;
    char buffer[128];
    if (info.width != 0) {
        std::snprintf(buffer, sizeof buffer, "%dx%d ", info.width, info.height);
        text += u"\r\n" + U16(buffer);
        if (info.fileSize != 0) {
            std::snprintf(buffer, sizeof buffer, "%.1fK", double(info.fileSize) / 1024.0);
            text += U16(buffer);
        }
        n = 1;
    }
    std::u16string camera;
    if (info.fNumber.denominator != 0) {
        std::snprintf(buffer, sizeof buffer, "F%.1f ", double(info.fNumber.numerator) / info.fNumber.denominator);
        camera += U16(buffer);
    }
    if (info.exposureTime.denominator != 0) {
        const double value = double(info.exposureTime.numerator) / info.exposureTime.denominator;
        if (value > 1.0) {
            std::snprintf(buffer, sizeof buffer, "%.1f ", value);
        } else {
            // Unsigned EXIF values above INT32_MAX keep their plain form.
            int32_t p = int32_t(std::min<uint32_t>(info.exposureTime.numerator, INT32_MAX));
            int32_t q = int32_t(std::min<uint32_t>(info.exposureTime.denominator, INT32_MAX));
            SimplifyRational(p, q);
            std::snprintf(buffer, sizeof buffer, "%d/%d ", p, q);
        }
        camera += U16(buffer);
    }
    if (info.isoSpeedRatings != 0xFFFF && info.isoSpeedRatings != 0) {
        std::snprintf(buffer, sizeof buffer, "ISO %d ", info.isoSpeedRatings);
        camera += U16(buffer);
    }
    if (info.flash == 1)
        camera += UiText(u"exifFlash");
    if (!camera.empty()) {
        text += u"\r\n" + camera;
        ++n;
    }
    // Capture dates as recorded: EXIF dates carry no zone.
    if (info.dateTimeOriginal.year || info.dateTimeDigitized.year) {
        const SystemTime& d = info.dateTimeOriginal.year ? info.dateTimeOriginal : info.dateTimeDigitized;
        text += u"\r\n" + FormatKey(u"ShotTime", int(d.year), int(d.month), int(d.day));
        ++n;
    }
    if (info.fileTime.year) {
        const SystemTime t = UtcToLocalSystemTime(info.fileTime);
        text += u"\r\n" + FormatKey(u"LastModify", int(t.year), int(t.month), int(t.day), int(t.hour), int(t.minute));
        ++n;
    }
    if (text.size() > 1023)
        text.resize(1023);
    if (linesAfterFirst)
        *linesAfterFirst = n;
    return text;
}

bool IsAcceptableFileName(std::u16string_view name)
{
    if (name.empty() || name == u"." || name == u"..")
        return false;
    for (char16_t c : name)
        if (c == u'/' || c < 0x20 || c == 0x7F)
            return false;
    return true;
}

// ---------------------------------------------------------------------------------------------
// The list

CSAlbumPhotoList::CSAlbumPhotoList() = default;

CSAlbumPhotoList::~CSAlbumPhotoList()
{
    if (m_window) {
        m_window->ForgetTopLevel(&m_contextMenu);
        m_window->ForgetInputSprite(&m_contextMenu);
    }
    FreeImageBuffer(m_cornerPicture);
}

int CSAlbumPhotoList::OnCreate()
{
    if (!CSPhotoList::OnCreate())
        return 0;
    if (!m_contextMenu.Create(nullptr, m_window, kContextMenuId, 201, 0, 0, 100, 100))
        return 0;
    if (!LoadUiImage(UiImageFolder::Skin, u"camera.png", m_cornerPicture))
        return 0;
    m_ownTicket = TicketOfPointer(this);
    if (m_window) {
        m_window->AddAccelerator(this, platform::vk::F1 + 1, 0, 0); // F2
        m_window->AddAccelerator(this, platform::vk::F1 + 4, 0, 0); // F5
    }
    return 1;
}

void CSAlbumPhotoList::ReleaseResources(int flag)
{
    if (m_window) {
        m_window->ForgetTopLevel(&m_contextMenu);
        m_window->ForgetInputSprite(&m_contextMenu);
        m_window->RemoveAccelerators(this);
    }
    m_contextMenu.ReleaseResources(0);
    CSPhotoList::ReleaseResources(flag);
}

void CSAlbumPhotoList::SetPos(int x, int y, int width, int height)
{
    CListSprite::SetPos(x, y, width, height);
    m_scrollBar.SetPos(width - kScrollBarWidth, 0, kScrollBarWidth, height);
    m_scroll.store(0);
    Layout(false);
    UpdateScrollBar();
}

void CSAlbumPhotoList::ClearBackground()
{
    if (!m_image.data)
        return;
    for (uint32_t i = 0; i < m_image.pixelCount; ++i) {
        uint8_t* p = m_image.data + size_t(i) * 4;
        p[0] = p[1] = p[2] = 0;
        p[3] = 255;
    }
    if (m_cornerPicture.data)
        BlendImage8(m_image, m_cornerPicture, m_image.width - m_cornerPicture.width,
                    m_image.height - m_cornerPicture.height, true, 256);
    m_plainBlack = true;
}

CPhotoItem* CSAlbumPhotoList::AddItemWithRecord(int32_t typeCode, platform::StringView16 path, PhotoDatabase* database)
{
    CPhotoItem* item = AddPhotoItem(typeCode, path);
    if (!item || typeCode <= 0)
        return item;
    PhotoDatabase& db = database ? *database : thePhotoDatabase;
    platform::FileInfo facts;
    const bool known = platform::GetFileInfo(path, facts);
    platform::ScopedLock hold(db.lock);
    // The loaders may already write into the item (its ticket is live).
    ThumbnailLoaderLock loaders;
    if (const PhotoRecord* r = db.FindPhotoRecord(path)) {
        item->info.Reset();
        item->info.isoSpeedRatings = 0xFFFF;
        item->info.width = r->Width();
        item->info.height = r->Height();
        if (r->HasCameraData()) {
            item->info.colorSpace = uint16_t(r->ExifBits() & 3);
            if (r->ExposureDen())
                item->info.exposureTime = {r->ExposureNum(), r->ExposureDen()};
            item->info.flash = uint16_t(r->ExifBits() >> 6);
            item->info.isoSpeedRatings = r->IsoDiv50() ? uint16_t(r->IsoDiv50() * 50) : uint16_t(0xFFFF);
            if (r->FNumberX10())
                item->info.fNumber = {r->FNumberX10(), 10};
            item->info.fileSize = r->FileLength();
            if (r->Year()) {
                SystemTime d;
                d.year = uint16_t(r->Year());
                d.month = uint16_t(r->Month());
                d.day = uint16_t(r->Day());
                item->info.dateTimeOriginal = d;
                item->info.dateTimeDigitized = d;
            }
        }
    }
    if (known)
        item->info.fileTime = UtcSystemTime(facts.lastWrite);
    return item;
}

int CSAlbumPhotoList::CountSelected(int mask) const
{
    platform::ScopedLock lock(m_lock);
    int n = 0;
    for (const CListItem* base : m_items) {
        const auto* item = static_cast<const CPhotoItem*>(base);
        if (!item->selected)
            continue;
        if (item->IsFolder() ? (mask & 2) : (mask & 1))
            ++n;
    }
    return n;
}

std::vector<platform::String16> CSAlbumPhotoList::CollectSelectedPaths(bool folders) const
{
    std::vector<platform::String16> out;
    platform::ScopedLock lock(m_lock);
    for (const CListItem* base : m_items) {
        const auto* item = static_cast<const CPhotoItem*>(base);
        if (!item->selected)
            continue;
        if (item->IsFolder() && (!folders || item->caption[0] == u'.'))
            continue;
        out.emplace_back(item->path);
    }
    return out;
}

std::vector<platform::String16> CSAlbumPhotoList::PreviewPaths(int index, int* current) const
{
    std::vector<platform::String16> out;
    int at = -1;
    platform::ScopedLock lock(m_lock);
    for (size_t i = 0; i < m_items.size(); ++i) {
        const auto* item = static_cast<const CPhotoItem*>(m_items[i]);
        if (item->typeCode < 0)
            continue;
        if (int(i) == index)
            at = int(out.size());
        out.emplace_back(item->path);
    }
    if (current)
        *current = at;
    return out;
}

CPhotoItem* CSAlbumPhotoList::FirstSelected(int* index) const
{
    const int i = GetFirstSelected();
    if (index)
        *index = i;
    return i >= 0 ? PhotoItem(i) : nullptr;
}

void CSAlbumPhotoList::SelectAllPhotos()
{
    {
        platform::ScopedLock lock(m_lock);
        for (CListItem* base : m_items) {
            auto* item = static_cast<CPhotoItem*>(base);
            item->selected = item->IsPhoto() ? 1 : 0;
            item->needsRedraw = 1;
        }
    }
    Redraw();
    // The page's tool buttons follow the selection.
    PostToOwner(MSG_LIST_SELECT, GetFirstSelected());
}

void CSAlbumPhotoList::ShowInfoTip(int show, CPhotoItem* item)
{
    if (!m_window)
        return;
    if (!item || !::IsTicketAlive(int32_t(item->ticket)) || (m_parent && !m_parent->IsVisible())) {
        m_window->HideTooltip();
        return;
    }
    if (!IsVisible() || item->IsFolder())
        return;
    if (!show) {
        m_window->HideTooltip();
        return;
    }
    int n = 0;
    std::u16string text;
    SRect badge;
    {
        platform::ScopedLock lock(m_lock);
        ThumbnailLoaderLock loaders;
        text = BuildInfoTipText(item->caption, item->info, &n);
        badge = item->exifBadgeRect;
    }
    const SPoint p = LocalToWindowPoint({badge.left, badge.top - 14 * n - 10});
    m_window->ShowTooltip(p.x, p.y, text.c_str(), false);
}

int CSAlbumPhotoList::Message(const char16_t* text, int kind, int buttons)
{
    if (messageBox)
        return messageBox(text, kind, buttons);
    return SpriteMessageBox(text, kind, buttons);
}

// ---------------------------------------------------------------------------------------------
// Mouse and keys

void CSAlbumPhotoList::OnLButtonDown(int x, int y, uint32_t keyFlags)
{
    int index = -1;
    if (!ChildFromPoint(x, y) && ExifBadgeAt(x, y, &index)) {
        // The property dialog comes with the finding issue's launchers: the badge does nothing
        // until then rather than opening something else.
        return;
    }
    CSPhotoList::OnLButtonDown(x, y, keyFlags);
}

void CSAlbumPhotoList::OnMouseMove(int x, int y, uint32_t keyFlags)
{
    CSPhotoList::OnMouseMove(x, y, keyFlags);
}

void CSAlbumPhotoList::OnRButtonDown(int x, int y, uint32_t keyFlags)
{
    if (ChildFromPoint(x, y)) {
        CSPhotoList::OnRButtonDown(x, y, keyFlags);
        return;
    }
    const int mode = (keyFlags & kKeyControl) ? 2 : (keyFlags & kKeyShift) ? 1 : 0;
    const int index = ItemAt(x, y);
    if (index < 0) {
        SelectItem(-1, mode);
    } else {
        const CPhotoItem* item = PhotoItem(index);
        if (item && !item->selected)
            SelectItem(index, mode);
    }
    if (!m_window)
        return;
    ShowInfoTip(0, nullptr);
    m_contextMenu.ReleaseResources(0);
    BuildPhotoMenu(m_contextMenu);
    const SPoint p = LocalToWindowPoint({x, y});
    m_contextMenu.Track(this, p.x, p.y, true, true);
}

void CSAlbumPhotoList::OnLButtonDblClk(int x, int y, uint32_t keyFlags)
{
    if (ReadRegistryDword(u"Editor", u"DbClickForEdit", 0, 1) != 0 && !OnBar(x, y)) {
        const CPhotoItem* first = FirstSelected();
        if (first && first->typeCode >= 0) {
            PostSpriteMessage(MSG_MENU_COMMAND, kPhotoEdit, 0, this);
            return;
        }
    }
    CSPhotoList::OnLButtonDblClk(x, y, keyFlags);
}

void CSAlbumPhotoList::OnKeyDown(uint32_t key, uint32_t repeat, uint32_t flags)
{
    platform::Window* w = m_window ? m_window->PlatformWindow() : nullptr;
    const bool ctrl = w && w->IsKeyDown(platform::vk::Control);
    const bool shift = shiftDown ? shiftDown() : (w && w->IsKeyDown(platform::vk::Shift));
    switch (key) {
    case platform::vk::Delete:
        DeleteSelected(!shift);
        return;
    case 'A':
    case 'C':
    case 'V':
    case 'X':
        if (!ctrl)
            return;
        if (key == 'A')
            SelectAllPhotos();
        else if (key == 'C')
            CopySelected();
        else if (key == 'V')
            PasteFiles();
        else
            CutSelected();
        return;
    case platform::vk::F1 + 1:
        RenameSelected();
        return;
    case platform::vk::F1 + 4:
        if (ownerPage)
            ownerPage->RefreshList();
        return;
    default:
        CSPhotoList::OnKeyDown(key, repeat, flags);
    }
}

int CSAlbumPhotoList::OnSpriteMessage(SpriteMessage* message)
{
    if (message->code == MSG_LIST_HOVER) {
        if (m_viewMode == 3 || m_viewMode == 4) {
            auto* item = reinterpret_cast<CPhotoItem*>(message->param2);
            // The item may be gone since the render thread posted: found only when still held.
            CPhotoItem* live = nullptr;
            {
                platform::ScopedLock lock(m_lock);
                for (CListItem* i : m_items)
                    if (i == item)
                        live = item;
            }
            if (ownerPage && ownerPage->PreviewShown())
                ShowInfoTip(0, nullptr);
            else if (live)
                ShowInfoTip(int(message->param1), live);
        }
    } else if (message->code == MSG_MENU_COMMAND) {
        std::printf("zendra: menu command %d\n", int(message->param1));
        std::fflush(stdout);
        RunCommand(int32_t(message->param1));
    }
    return CSPhotoList::OnSpriteMessage(message);
}

// ---------------------------------------------------------------------------------------------
// Commands

void CSAlbumPhotoList::BuildPhotoMenu(CSMenu& menu)
{
    const int p = CountSelected(1), f = CountSelected(2);
    const bool folderPage = !ownerPage || !ownerPage->IsSearchMode();
    struct Row { const char16_t* key; int32_t id; bool enabled; };
    auto add = [&](const char16_t* key, int32_t id, bool enabled, const char16_t* icon = nullptr,
                   const char16_t* shortcut = nullptr) {
        menu.AddItemEx(nullptr, id, UiText(key), icon, shortcut, 0, nullptr);
        menu.EnableItem(id, enabled ? 1 : 0);
    };
    auto separator = [&] { menu.AddItem(nullptr, 0, nullptr, nullptr); };
    // The multi-photo commands, batch, printing, tags and properties come with their dialogs:
    // listed, and disabled until then.
    add(u"AlbumView", kPhotoView, p == 1);
    add(u"AlbumEdit", kPhotoEdit, p == 1);
    add(u"menuBatchPrint", kPhotoBatchPrint, false);
    separator();
    add(u"Batch", kPhotoBatch, false);
    add(u"LLRL", kPhotoTurnLeft, p >= 1);
    add(u"LLRR", kPhotoTurnRight, p >= 1);
    add(u"Rotate as Exif", kPhotoTurnByExif, true);
    separator();
    add(u"AlbumRename", kPhotoRename, f >= 1 && p == 0);
    add(u"AlbumDelete", kPhotoDelete, p + f >= 1);
    add(u"FileCopy", kPhotoCopy, p + f >= 1, u"menucopy.png");
    add(u"FileCut", kPhotoCut, p + f >= 1, u"menucut.png");
    if (folderPage)
        add(u"FilePaste", kPhotoPaste, GetClipboardDataSize(platform::kCfHdrop) > 0, u"menupaste.png");
    else
        add(u"FilePasteTag", kPhotoPasteTag, false, u"menupaste.png");
    separator();
    add(u"menuMultiNr", kPhotoMultiNr, false);
    add(u"menuMultiHDR", kPhotoMultiHdr, false);
    add(u"menuMulti3D", kPhotoMulti3D, false);
    separator();
    add(u"AddTag", kPhotoAddTag, false);
    add(u"Property", kPhotoProperty, false);
    if (folderPage)
        add(u"menuNewFolder", kPhotoNewFolder, true);
    add(u"Refresh", kPhotoRefresh, true, nullptr, u"F5");
}

int CSAlbumPhotoList::RunCommand(int32_t id)
{
    switch (id) {
    case kPhotoView: {
        int index;
        CPhotoItem* item = FirstSelected(&index);
        if (item && !item->IsFolder() && ownerPage)
            ownerPage->PostActivate(index, item);
        return 1;
    }
    case kPhotoEdit:
        if (CountSelected(1) <= 1)
            EditSelected();
        return 1;
    case kPhotoTurnLeft: RotateLossless(0); return 1;
    case kPhotoTurnRight: RotateLossless(1); return 1;
    case kPhotoTurnByExif: RotateByExif(); return 1;
    case kPhotoRename: RenameSelected(); return 1;
    case kPhotoDelete: DeleteSelected(true); return 1;
    case kPhotoCopy: CopySelected(); return 1;
    case kPhotoCut: CutSelected(); return 1;
    case kPhotoPaste: PasteFiles(); return 1;
    case kPhotoNewFolder:
        if (ownerPage)
            ownerPage->NewFolder();
        return 1;
    case kPhotoRefresh:
        if (ownerPage)
            ownerPage->RefreshList();
        return 1;
    default:
        return 0;
    }
}

void CSAlbumPhotoList::EditSelected()
{
    CPhotoItem* item = FirstSelected();
    if (!item || item->typeCode < 0 || !ownerPage)
        return;
    ShowInfoTip(0, nullptr);
    const platform::String16 path = item->path;
    ownerPage->OpenImage(path);
}

void CSAlbumPhotoList::CopySelected()
{
    const std::vector<platform::String16> paths = CollectSelectedPaths(true);
    if (!paths.empty() && CopyFilesToClipboard(paths, 1)) {
        std::printf("zendra: copied %d files\n", int(paths.size()));
        std::fflush(stdout);
    }
}

void CSAlbumPhotoList::CutSelected()
{
    const std::vector<platform::String16> paths = CollectSelectedPaths(false);
    if (!paths.empty() && CopyFilesToClipboard(paths, 0)) {
        std::printf("zendra: cut %d files\n", int(paths.size()));
        std::fflush(stdout);
    }
}

void CSAlbumPhotoList::PasteFiles()
{
    if (!ownerPage)
        return;
    const platform::String16 target = ownerPage->GetFolderPath();
    if (target.empty())
        return;
    PasteFilesFromClipboard(target);
    ownerPage->RefreshList();
}

void CSAlbumPhotoList::DeleteSelected(bool toTrash)
{
    const std::vector<platform::String16> paths = CollectSelectedPaths(true);
    if (paths.empty())
        return;
    // The trash is the undo, as in file managers: no question. For good: asked once.
    if (!toTrash && Message(UiText(u"AskDeleteForever"), kMbQuestion, kMbYesNo) != kAnswerYes)
        return;
    int done = 0;
    for (const platform::String16& path : paths) {
        bool ok;
        if (toTrash)
            ok = platform::MoveToTrash(path);
        else
            ok = platform::IsDirectory(path) ? platform::DeleteTree(path) : platform::DeleteFile(path);
        if (ok)
            ++done;
    }
    if (done < int(paths.size()))
        Message(UiText(u"ErrorDelete"), kMbError, kMbOk);
    std::vector<SRect> fades;
    {
        platform::ScopedLock lock(m_lock);
        const int scroll = m_scroll.load();
        for (CListItem* base : m_items) {
            auto* item = static_cast<CPhotoItem*>(base);
            if (!item->selected || !item->inView || platform::PathExists(item->path))
                continue;
            fades.push_back({item->currentX, item->currentY - scroll, item->currentX + item->cellWidth,
                             item->currentY - scroll + item->cellHeight});
        }
    }
    if (m_window)
        for (const SRect& r : fades) {
            const SRect w = LocalToWindowRect(r);
            m_window->PlayFadeEffect(nullptr, w.left, w.top, w.right, w.bottom);
        }
    // The watch thread lists the folder again as well; without it (a watch that could not
    // start) the grid must not keep showing what is gone.
    if (ownerPage && done)
        ownerPage->RefreshList();
}

void CSAlbumPhotoList::RenameSelected()
{
    if (CountSelected(1) > 0)
        return; // photos: the rename dialog comes with the batch work
    CPhotoItem* item = FirstSelected();
    if (!item || !item->IsFolder() || item->caption[0] == u'.')
        return;
    const std::u16string oldName = item->caption;
    const platform::String16 oldPath = item->path;
    std::u16string name = oldName;
    int ok;
    if (askName) {
        ok = askName(name, UiText(u"renamefolder"), 31);
    } else {
        CSStringDialog dialog;
        dialog.m_filter = 0;
        ok = dialog.Create(UiText(u"renamefolder"), nullptr, oldName.c_str(), 31) && dialog.DoModal() == 1;
        if (ok)
            name = dialog.ResultText();
    }
    if (!ok || name.size() > 31)
        return;
    // Exact comparison: on Linux a change of letter case is another name.
    if (name == oldName)
        return;
    if (!IsAcceptableFileName(name)) {
        Message(UiText(u"errorfoldername"), kMbInformation, kMbOk);
        return;
    }
    platform::String16 trimmed = oldPath;
    while (trimmed.size() > 1 && trimmed.back() == u'/')
        trimmed.pop_back();
    const size_t slash = trimmed.rfind(u'/');
    if (slash == platform::String16::npos)
        return;
    const platform::String16 newPath = trimmed.substr(0, slash + 1) + name;
    if (newPath.size() > kPhotoPathCapacity - 1)
        return;
    // Never replaces what is there.
    if (!platform::MoveFile(trimmed, newPath, true)) {
        Message(UiText(u"errorrename"), kMbError, kMbOk);
        return;
    }
    if (ownerPage)
        ownerPage->RefreshList();
}

void CSAlbumPhotoList::FreeThumbnail(CPhotoItem* item)
{
    platform::ScopedLock lock(m_lock);
    ThumbnailLoaderLock loaders;
    FreeImageBuffer(item->image);
    FreeImageBuffer(item->cachedPicture);
    item->thumbRequested = 0;
    item->needsRedraw = 1;
}

void CSAlbumPhotoList::RotateLossless(int direction)
{
    if (m_window)
        m_window->BeginBusy({});
    bool other = false;
    struct Entry { CPhotoItem* item; platform::String16 path; std::u16string caption; int type; };
    std::vector<Entry> entries;
    {
        platform::ScopedLock lock(m_lock);
        for (CListItem* base : m_items) {
            auto* item = static_cast<CPhotoItem*>(base);
            if (item->selected)
                entries.push_back({item, item->path, item->caption, item->typeCode});
        }
    }
    for (const Entry& e : entries) {
        if (e.type != kImageTypeJpeg || ImageTypeFromExtension(e.path.c_str()) != kImageTypeJpeg) {
            other = true;
            continue;
        }
        if (RotateJpegLossless(e.path.c_str(), direction == 1 ? 1 : 3)) {
            FreeThumbnail(e.item);
        } else {
            Message(FormatKey(u"errorllr", e.caption.c_str()).c_str(), kMbInformation, kMbOk);
        }
    }
    if (m_window)
        m_window->EndBusy();
    Redraw();
    if (other)
        Message(UiText(u"nonjpgcannotllr"), kMbInformation, kMbOk);
}

void CSAlbumPhotoList::RotateByExif()
{
    if (m_window)
        m_window->BeginBusy({});
    std::vector<std::pair<CPhotoItem*, platform::String16>> jpegs;
    {
        platform::ScopedLock lock(m_lock);
        for (CListItem* base : m_items) {
            auto* item = static_cast<CPhotoItem*>(base);
            if (item->typeCode == kImageTypeJpeg)
                jpegs.emplace_back(item, item->path);
        }
    }
    for (auto& [item, path] : jpegs) {
        ImageInfo info;
        if (info.ReadFile(path.c_str()) != 1 || info.width <= info.height)
            continue;
        const int turn = info.orientation == 6 ? 1 : info.orientation == 8 ? 3 : 0;
        if (turn && RotateJpegLossless(path.c_str(), turn))
            FreeThumbnail(item);
    }
    if (m_window)
        m_window->EndBusy();
    Redraw();
}

int CSAlbumPhotoList::QueryDropFiles(int x, int y)
{
    if (ChildFromPoint(x, y))
        return CSPhotoList::QueryDropFiles(x, y);
    return ownerPage && !ownerPage->IsSearchMode() ? 1 : 0;
}

int CSAlbumPhotoList::OnDropFiles(int x, int y, const std::vector<platform::String16>* files)
{
    if (ChildFromPoint(x, y))
        return CSPhotoList::OnDropFiles(x, y, files);
    if (files)
        TakeDroppedFiles(*files);
    return 1;
}

int CSAlbumPhotoList::TakeDroppedFiles(const std::vector<platform::String16>& files)
{
    if (!ownerPage || ownerPage->IsSearchMode())
        return 1;
    const platform::String16 target = ownerPage->GetFolderPath();
    if (target.empty())
        return 1;
    std::vector<platform::String16> images;
    for (const platform::String16& f : files) {
        // Over-long paths are refused, never cut to another name.
        if (f.empty() || f.size() > kPhotoPathCapacity - 1 || ImageTypeFromExtension(f.c_str()) == kImageTypeOther)
            continue;
        if (platform::IsDirectory(f))
            continue;
        images.push_back(f);
    }
    if (images.empty())
        return 1;
    ownerPage->DropFilesInto(images, target);
    return 1;
}
