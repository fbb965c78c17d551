// The crash-status file "ZDStatus.flg": while editor tabs are open it lists each tab's history
// (data file path and step records), so that a later start can rebuild the documents by
// replaying them. Little-endian:
//   u16 T, then T times: UTF-16 [512] history data file path (zero-padded), u16 S,
//   S history step records of 1116 bytes (the slot of the in-memory pointer written as 0).
//
// A running program keeps its file open under an advisory lock, so a second running program
// neither writes over it nor takes it for the leftover of a crash.
#pragma once

#include "platform/File.h"

#include <string>
#include <vector>

class CZDDoc;
class HistoryStore;

inline constexpr char16_t kCrashStatusFileName[] = u"ZDStatus.flg";
inline constexpr size_t kCrashStatusPathBytes = 1024;

// The private temporary folder + "ZDStatus.flg"; empty without that folder.
std::u16string DefaultCrashStatusPath();

// The writer side, one per main window. Not thread-safe: the UI thread only.
class CrashStatusFile {
public:
    explicit CrashStatusFile(std::u16string path);
    CrashStatusFile(const CrashStatusFile&) = delete;
    CrashStatusFile& operator=(const CrashStatusFile&) = delete;
    // Keeps the file: after a crash it must still be there. Dropping it without a crash
    // releases the lock only; call DeleteCrashStatus at a normal close.
    ~CrashStatusFile() = default;

    // Rewrites the file from the editor pages' histories in tab order, or deletes it when the
    // list is empty. 1 on success; 0 when the file could not be written or another running
    // program holds it (nothing is written then).
    int WriteCrashStatus(const std::vector<const HistoryStore*>& pagesInTabOrder);
    // Deletes the file when this program holds it. 1 when no file of ours is left.
    int DeleteCrashStatus();

    const std::u16string& Path() const { return m_path; }
    bool HoldsFile() const { return m_file.IsOpen(); }

private:
    bool Acquire();
    std::u16string m_path;
    platform::File m_file; // open and locked while this program keeps the file
};

// The file's bytes for the given histories; false when a history cannot be stored (more than
// 65535 tabs or steps, a path of 512 characters or more, a step whose data offset does not
// fit the record).
bool BuildCrashStatus(const std::vector<const HistoryStore*>& pagesInTabOrder, std::vector<uint8_t>& out);

// What recovery needs of the main window.
class ICrashRecoveryHost {
public:
    virtual ~ICrashRecoveryHost() = default;
    // The "crashfound" question (Yes / No); true for Yes.
    virtual bool AskCrashFound() = 0;
    // Opens a rebuilt document in a new editor tab (the frame: OpenImage(path, 2, doc, 0)).
    // The document is the caller's and is freed after the call: the tab takes its own copy.
    virtual bool OpenRecovered(const std::u16string& documentPath, CZDDoc& doc) = 0;
};

struct CrashRecoveryResult {
    bool found = false;     // a crash file of no running program was there
    bool asked = false;     // the question was asked
    int tabsOpened = 0;     // documents handed to OpenRecovered that it took
    int tabsSkipped = 0;    // tabs that could not be rebuilt
    bool fileDeleted = false;
};

// Rebuilds every tab the file lists: a store bound to the stored data file (not emptied), the
// stored steps, replay to the last one, then OpenRecovered. A tab that cannot be rebuilt is
// skipped; reading stops where the file ends. The file is deleted afterwards; it stays when the
// answer is No, and a file that a running program holds is left alone without a question.
CrashRecoveryResult RecoverFromCrash(const std::u16string& path, ICrashRecoveryHost& host);
