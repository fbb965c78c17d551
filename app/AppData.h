// The program's per-user state: the data folder, the program folder, the lists kept in
// config.dat, the edition flag and the names of this run's temporary files.
#pragma once

#include "album/AlbumConfig.h"
#include "imaging/DocumentUi.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>


class AppData {
public:
    // 1, or 0 when the file announces more favourites than the program keeps.
    int Load();
    // Writes config.dat (through a temporary file); a failure shows a message and the run goes on.
    void Save();
    // Full path of a new temporary file name in the private temporary folder: prefix, a number,
    // ".zdtmp". Remembered for deletion at the end of the run; nothing is created on disk.
    // The number is the time in seconds, raised while the name was already handed out in this
    // run or exists on disk, so two calls never share a name. Empty when there is no private
    // temporary folder.
    std::u16string MakeTempFileName(const std::u16string& prefix);
    // The same at a given time (seconds since 1970), for tests.
    std::u16string MakeTempFileName(const std::u16string& prefix, int64_t nowSeconds);
    // Takes a file of the private temporary folder that an earlier run named (a recovered
    // history) into this run's names, to be deleted at its end. false for a path elsewhere.
    bool AdoptTempFile(const std::u16string& path);
    // Adds a favourite unless the list is full; false then.
    bool AddFavourite(const FavouriteFolder& folder);

    std::vector<std::u16string> tempNames; // this run's names, without the folder
    // Read by the server thread, set by the main window.
    std::atomic<int32_t> EditionFlag {0};
    std::vector<FavouriteFolder> favourites;
    std::vector<ScanFolderEntry> scanFolders;
    char16_t albumStartFolder[1024] = {};
    char16_t configPath[1024] = {};
    char16_t dataFolder[1024] = {}; // ends in a separator
    char16_t programFolder[1024] = {}; // ends in a separator
};

extern AppData theAppData;

// Where AppData's messages go (the frame shows them in its message box; tests capture them).
// Without a sink they are written to the standard error stream and kept until the main window
// takes them to show them (a config.dat that cannot be written at the first start).
using AppDataMessageSink = std::function<void(const std::u16string& text)>;
void SetAppDataMessageSink(AppDataMessageSink sink);
std::vector<std::u16string> TakeUnshownAppDataMessages();
inline constexpr char16_t kAppDataWriteFailedText[] =
    u"Can not write application data. The changes to this program settings may loss.";

// The history store and the other temporary files take their names from theAppData through
// this: the frame sets TheDocumentUi().tempNames = &AppDataTempFileNames() at start-up.
ITempFileNames& AppDataTempFileNames();
// 3.4 when the edition flag was set at start, else 0.5: shown versions are the wire number / 100
// minus this. Kept in tenths so that the shown version needs no floating point.
extern int VersionDisplayOffsetTenths;

// 1 on success, 0 when the data folder cannot be made or config.dat is unusable. Also sets up
// the journal of saves in flight (platform::SetSaveJournalFolder, "saves" in the private
// temporary folder) and removes the temporary files that saves of killed runs left.
int InitAppData();
void DeleteRunTempFiles();
// Deletes every *.zdtmp file of the private temporary folder whose last-write date (UTC) lies
// two or more calendar days back, counted from local midnight of that date; except the files
// that a crash-status file names (a running program's or a crash's, see CrashStatus.h), the
// files a running program holds locked (a history's data), and this run's own. Run it after
// crash recovery.
void DeleteStaleTempFiles();
void DeleteStaleTempFiles(int64_t nowSeconds);
