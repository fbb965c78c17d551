// The album's share of config.dat: favourite folders, the album start folder and the folders the
// photo scan covers. The application data reads and writes the file; the album edits the lists in
// memory on the UI thread through an AlbumConfig that the frame fills with its own fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct FavouriteFolder {
    char16_t name[32] = {};
    char16_t path[1024] = {};
    uint8_t extra[512] = {}; // kept as read, not interpreted
};

struct ScanFolderEntry {
    char16_t path[1024] = {};
};

inline constexpr size_t kFavouriteFolderBytes = 2624;
inline constexpr size_t kScanFolderEntryBytes = 2048;
inline constexpr size_t kMaxFavourites = 256;
inline constexpr size_t kStartFolderChars = 1024; // with the terminator

// Where the album finds the lists; every pointer may be null (a page without settings).
struct AlbumConfig {
    std::vector<FavouriteFolder>* favourites = nullptr;
    std::vector<ScanFolderEntry>* scanFolders = nullptr;
    char16_t* startFolder = nullptr; // kStartFolderChars characters
};
