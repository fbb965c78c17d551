// File system: facts about files, folder listing with a wildcard pattern, and the copy, move,
// delete and trash operations. Paths are UTF-16 program paths (see Path.h).
#pragma once

#include "platform/File.h"
#include "platform/Text.h"

#include <vector>

namespace platform {

struct FileInfo {
    String16 name;           // the last part of the path
    bool isDirectory = false;
    bool isHidden = false;   // the name starts with '.'
    bool isReadOnly = false; // the owner may not write it (mode bits, whoever runs the program)
    uint64_t size = 0;       // 0 for folders
    FileTime lastWrite = 0;
};

// Facts of one path (links are followed; a dangling link describes the link itself).
bool GetFileInfo(StringView16 path, FileInfo& out);
bool PathExists(StringView16 path);
bool IsDirectory(StringView16 path);
bool IsRegularFile(StringView16 path);
bool SetLastWriteTime(StringView16 path, FileTime time);
// Sets or clears the owner's write permission.
bool SetReadOnly(StringView16 path, bool readOnly);

// Windows-style wildcard match: '*' any run, '?' one character, ASCII letters without regard
// to case; "*.*" matches every name, also one without a dot.
bool MatchesPattern(StringView16 name, StringView16 pattern);

// Lists a folder, entry by entry, like a find-first / find-next pair. "." and ".." are left out.
// The order is the file system's.
class FolderLister {
public:
    FolderLister() = default;
    ~FolderLister();
    FolderLister(const FolderLister&) = delete;
    FolderLister& operator=(const FolderLister&) = delete;

    // false when the folder cannot be opened.
    bool Open(StringView16 folder, StringView16 pattern = u"*");
    // false when no further entry matches.
    bool Next(FileInfo& out);
    void Close();

private:
    void* m_dir = nullptr;
    int m_dirFd = -1;
    String16 m_pattern;
};

// All matching entries, sorted by name (code unit order). false when the folder cannot be opened.
bool ListFolder(StringView16 folder, StringView16 pattern, std::vector<FileInfo>& out);

// One folder; true also when it already exists as a folder. false when the parent is missing.
bool CreateFolder(StringView16 path);
// With every missing parent.
bool CreateFolders(StringView16 path);
// A file (or link), not a folder.
bool DeleteFile(StringView16 path);
// An empty folder.
bool RemoveFolder(StringView16 path);
// A folder with everything in it (links are removed, never followed).
bool DeleteTree(StringView16 path);

// Copies a file (contents, permission bits, last-write time). The copy appears whole or not at
// all: it is written beside the destination and renamed into place.
bool CopyFile(StringView16 from, StringView16 to, bool failIfExists);
// Renames a file or folder; across file systems it copies and then deletes the source.
// With failIfExists, an existing destination is never replaced.
bool MoveFile(StringView16 from, StringView16 to, bool failIfExists);

// Moves a file or folder to the user's trash (freedesktop.org trash: Trash/files and
// Trash/info/<name>.trashinfo), where file managers can restore it. A file on another file
// system goes to that file system's ".Trash-<uid>" when one can be made there, else it is
// copied into the home trash.
bool MoveToTrash(StringView16 path);
// The home trash folder: <user data folder>/Trash.
String16 HomeTrashFolder();

} // namespace platform
