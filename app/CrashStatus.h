// The crash-status files: while editor tabs are open, each running program keeps one that lists
// each tab's history (data file path and step records), so that a later start can rebuild the
// documents by replaying them. Little-endian:
//   u16 T, then T times: UTF-16 [512] history data file path (zero-padded), u16 S,
//   S history step records of 1116 bytes (the slot of the in-memory pointer written as 0).
//
// The first running program writes "ZDStatus.flg"; a second one running beside it writes
// "ZDStatus-2.flg", and so on. Each program keeps its file open under an advisory lock, so that
// no other one writes over it, recovers it, or cleans up the history files it names. A file is
// replaced whole: the new version is written beside it, locked, and renamed over it, so a kill in
// the middle of a write leaves the previous version.
#pragma once

#include "imaging/HistoryStep.h"
#include "platform/File.h"

#include <string>
#include <vector>

class CZDDoc;
class HistoryStore;

inline constexpr char16_t kCrashStatusFileName[] = u"ZDStatus.flg";
inline constexpr size_t kCrashStatusPathBytes = 1024;
// Programs running at once that each get a file of their own.
inline constexpr int kMaxCrashStatusFiles = 100;

// The private temporary folder + "ZDStatus.flg"; empty without that folder.
std::u16string DefaultCrashStatusPath();
// The file of the n-th program beside basePath (n from 1): basePath itself for 1, else the
// name with "-<n>" before its extension ("ZDStatus-2.flg").
std::u16string CrashStatusPathFor(const std::u16string& basePath, int n);
// The status files beside basePath that exist now, first to last.
std::vector<std::u16string> ListCrashStatusFiles(const std::u16string& basePath);
// The history data files that the status files beside basePath name, running programs' and
// crashed ones' alike: a clean-up must leave them. false when a status file cannot be read
// (nothing may be cleaned up then).
bool CrashStatusDataFiles(const std::u16string& basePath, std::vector<std::u16string>& paths);

// A status file of a program that is gone, held open and locked by the one that found it.
struct CrashLeftover {
    std::u16string path;
    platform::File file;
};

// The writer side, one per main window. Not thread-safe: the UI thread only.
class CrashStatusFile {
public:
    explicit CrashStatusFile(std::u16string basePath);
    CrashStatusFile(const CrashStatusFile&) = delete;
    CrashStatusFile& operator=(const CrashStatusFile&) = delete;
    // Keeps the file: after a crash it must still be there. Dropping it without a crash
    // releases the lock only; call DeleteCrashStatus at a normal close.
    ~CrashStatusFile() = default;

    // Writes the file from the editor pages' histories in tab order, or deletes it when the
    // list is empty. The first write takes the first name beside the base path that no file
    // has (never another program's file, running or crashed). 1 on success; 0 when it could
    // not be written (the previous version stays; LastError says why).
    int WriteCrashStatus(const std::vector<const HistoryStore*>& pagesInTabOrder);
    // Deletes this program's file (and the leftovers it took over). 1 when none of ours is left.
    int DeleteCrashStatus();
    // Recovery rebuilt tabs from these: the first becomes this program's file (the next write
    // replaces it), the others are deleted after that write. Until then they stay locked, so no
    // other program recovers the same tabs, and a kill before the write loses nothing.
    void TakeOver(std::vector<CrashLeftover> leftovers);

    const std::u16string& BasePath() const { return m_base; }
    // This program's file; empty while it has none.
    const std::u16string& Path() const { return m_path; }
    bool HoldsFile() const { return m_file.IsOpen(); }
    // The errno value of the last failed write.
    int LastError() const { return m_error; }

private:
    bool Put(const std::vector<uint8_t>& bytes);
    void DropTakenOver();
    std::u16string m_base;
    std::u16string m_path;
    platform::File m_file; // this program's file, open and locked while it has one
    std::vector<CrashLeftover> m_takenOver;
    int m_error = 0;
};

// The file's bytes for the given histories; false when a history cannot be stored (more than
// 65535 tabs or steps, a path of 512 characters or more, a step whose data offset does not
// fit the record).
bool BuildCrashStatus(const std::vector<const HistoryStore*>& pagesInTabOrder, std::vector<uint8_t>& out);

// A tab's history as recovery read it: its data file and its steps up to the last one written.
struct RecoveredHistory {
    std::u16string dataPath;
    std::vector<HistoryStep> steps;
};

// What recovery needs of the main window.
class ICrashRecoveryHost {
public:
    virtual ~ICrashRecoveryHost() = default;
    // The "crashfound" question (Yes / No); true for Yes.
    virtual bool AskCrashFound() = 0;
    // Opens a rebuilt document in a new editor tab. The document is the caller's and is freed
    // after the call: the tab takes its own copy. The tab may take the history (its data file
    // is no longer held by recovery then), so that its undo steps stay.
    virtual bool OpenRecovered(const std::u16string& documentPath, CZDDoc& doc, RecoveredHistory& history) = 0;
};

struct CrashRecoveryResult {
    bool found = false;     // a status file of no running program was there
    bool asked = false;     // the question was asked
    int files = 0;          // such status files
    int tabsOpened = 0;     // documents handed to OpenRecovered that it took
    int tabsSkipped = 0;    // tabs that could not be rebuilt
    bool fileDeleted = false; // the files were deleted (nothing was rebuilt from them)
};

// Rebuilds every tab that the status files of programs no longer running list beside
// status.BasePath(): a store bound to the stored data file (not emptied), the stored steps,
// replay to the last one, then OpenRecovered. One question for all files. A tab that cannot be
// rebuilt is skipped; a tab cut short takes the step records that are whole, and the file ends
// there. When tabs were rebuilt the files are handed to status (TakeOver): the caller writes
// the status of its tabs next, which replaces them. Without tabs they are deleted. The answer
// No leaves them, to be asked about again at the next start; running programs' files are left
// alone without a question.
CrashRecoveryResult RecoverFromCrash(CrashStatusFile& status, ICrashRecoveryHost& host);
