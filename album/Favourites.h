// The favourites manager: the names of the favourite folders in a list, renamed and removed in
// place. Changes go straight to the list (config.dat is written at the end of the run).
#pragma once

#include "album/AlbumConfig.h"
#include "ui/DialogSprite.h"

#include <functional>
#include <string>

class CFlatSimpleList;

class CFavManageDlg : public CDialogSprite {
public:
    static constexpr int32_t kTemplateId = 130;
    static constexpr int32_t kListId = 1004, kRenameId = 1006, kDeleteId = 1007;

    explicit CFavManageDlg(std::vector<FavouriteFolder>& favourites) : m_favourites(favourites) {}

    int OnInitDialog() override;
    void OnCommand(int id) override;
    void FillList();
    CFlatSimpleList* List() const { return m_list; }

    // The rename question (text in and out, 1 on OK); the default is InputString.
    std::function<int(std::u16string& text)> m_askName;

private:
    int SelectedFavourite() const;
    std::vector<FavouriteFolder>& m_favourites;
    CFlatSimpleList* m_list = nullptr;
};

// Index of the first favourite of that path (exact comparison, a final "/" ignored), or -1.
int FindFavouriteByPath(const std::vector<FavouriteFolder>& favourites, const char16_t* path);
// Index of the first favourite of that name (letters A to Z without regard to case), or -1.
int FindFavouriteByName(const std::vector<FavouriteFolder>& favourites, const char16_t* name);
// Runs the manager from template 130 of the program's dialog folder (or `dialogFolder`).
void RunFavouritesManager(std::vector<FavouriteFolder>& favourites, const platform::String16& dialogFolder = {});
