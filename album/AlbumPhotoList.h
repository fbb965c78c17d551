// The album's photo grid: the photo list placed in the album page, with the facts of the photo
// database, the album's mouse and key rules, the information tip and the file commands (trash,
// delete, copy, cut and paste with other programs, drops, folder rename, lossless turns).
#pragma once

#include "album/PhotoList.h"
#include "ui/Menu.h"

#include <functional>
#include <string>
#include <vector>

class PhotoDatabase;

// What the grid needs of the album page (the page fills it in; tests give their own).
struct AlbumListOwner {
    virtual ~AlbumListOwner() = default;
    // Lists the grid again from the album's current page.
    virtual void RefreshList() = 0;
    virtual bool IsSearchMode() = 0;
    virtual bool PreviewShown() const = 0;
    // The folder page's current folder; empty when none.
    virtual platform::String16 GetFolderPath() const = 0;
    virtual void NewFolder() = 0;
    virtual int OpenImage(const platform::String16& path) = 0;
    // Copies or moves the files into the folder (the folder page's drop rule); the number placed.
    virtual int DropFilesInto(const std::vector<platform::String16>& files, const platform::String16& folder) = 0;
    // Posts MSG_LIST_ACTIVATE {index, item} to the page.
    virtual void PostActivate(int index, CPhotoItem* item) = 0;
};

// Photo commands (param1 of MSG_MENU_COMMAND).
enum PhotoCommandId : int32_t {
    kPhotoView = 101, kPhotoEdit = 102, kPhotoBatch = 103, kPhotoTurnLeft = 104, kPhotoTurnRight = 105,
    kPhotoTurnByExif = 106, kPhotoRename = 107, kPhotoDelete = 108, kPhotoCopy = 109, kPhotoCut = 110,
    kPhotoPaste = 111, kPhotoProperty = 112, kPhotoAddTag = 113, kPhotoPasteTag = 121, kPhotoNewFolder = 122,
    kPhotoBatchPrint = 131, kPhotoMultiNr = 2001, kPhotoMultiHdr = 2002, kPhotoMulti3D = 2003, kPhotoRefresh = 1011,
};

// Reduces an exposure such as 10/2500 to 1/250 when the result is within 0.01 of a whole
// denominator; otherwise leaves it. Safe for every 32-bit value.
void SimplifyRational(int32_t& numerator, int32_t& denominator);

// The tip lines of a photo and the number of lines after the first.
std::u16string BuildInfoTipText(const char16_t* caption, const ImageInfo& info, int* linesAfterFirst);

// Whether a typed name can be a file or folder name here: not empty, no "/", no control
// character, not "." or "..".
bool IsAcceptableFileName(std::u16string_view name);

class CSAlbumPhotoList : public CSPhotoList {
public:
    static constexpr int32_t kContextMenuId = 100;

    CSAlbumPhotoList();
    ~CSAlbumPhotoList() override;

    AlbumListOwner* ownerPage = nullptr;

    // ---- listing ----
    CPhotoItem* AddItemWithRecord(int32_t typeCode, platform::StringView16 path, PhotoDatabase* database = nullptr);
    int CountSelected(int mask) const;
    // Selected entries in list order; photos only without `folders`; ".." never.
    std::vector<platform::String16> CollectSelectedPaths(bool folders) const;
    // The photos of the list in order and the position of the photo at `index` among them (-1
    // when that entry is no photo).
    std::vector<platform::String16> PreviewPaths(int index, int* current) const;
    void SelectAllPhotos();
    void ShowInfoTip(int show, CPhotoItem* item);

    // ---- commands ----
    // New entries of a refill get the photo database's facts too.
    CPhotoItem* AddNewItem(int32_t typeCode, platform::StringView16 path) override
    {
        return AddItemWithRecord(typeCode, path);
    }
    int RunCommand(int32_t id);
    void EditSelected();
    void CopySelected();
    void CutSelected();
    void PasteFiles();
    void DeleteSelected(bool toTrash);
    void RenameSelected();
    void RotateLossless(int direction);
    void RotateByExif();
    void BuildPhotoMenu(CSMenu& menu);
    // Files dropped on the list: images are copied or moved into the shown folder. 1 when the
    // drop was taken (always on the album: the strip must not open what the album refused).
    int TakeDroppedFiles(const std::vector<platform::String16>& files);

    // ---- sprite ----
    int OnCreate() override;
    void SetPos(int x, int y, int width, int height) override;
    void ClearBackground() override;
    void ReleaseResources(int flag) override;
    void OnMouseMove(int x, int y, uint32_t keyFlags) override;
    void OnLButtonDown(int x, int y, uint32_t keyFlags) override;
    void OnRButtonDown(int x, int y, uint32_t keyFlags) override;
    void OnLButtonDblClk(int x, int y, uint32_t keyFlags) override;
    void OnKeyDown(uint32_t key, uint32_t repeat, uint32_t flags) override;
    int ShowFocusMark() override { return 0; }
    SRect GetFocusRect() override { return {}; }
    int OnSpriteMessage(SpriteMessage* message) override;
    int OnDropFiles(int x, int y, const std::vector<platform::String16>* files) override;
    int QueryDropFiles(int x, int y) override;

    CSMenu& ContextMenu() { return m_contextMenu; }

    // Seams the tests fill in: message boxes (SpriteMessageBox's arguments and results) and the
    // one-line question for a new name (1 on OK).
    std::function<int(const char16_t* text, int kind, int buttons)> messageBox;
    std::function<int(std::u16string& text, const char16_t* caption, int maxLength)> askName;
    // Whether the item list's modifier keys are down (Shift for Shift+Delete).
    std::function<bool()> shiftDown;

private:
    int Message(const char16_t* text, int kind, int buttons);
    CPhotoItem* FirstSelected(int* index = nullptr) const;
    void FreeThumbnail(CPhotoItem* item);

    ImageBuffer8 m_cornerPicture;
    CSMenu m_contextMenu;
    int32_t m_ownTicket = 0;
};
