// Opening a document or a web address with the desktop's chosen program: the stand-in for
// ShellExecute "open". The work is done by `xdg-open`, started directly (no shell between, so
// no quoting and no command injection through a file name).
#pragma once

#include "platform/Text.h"

#include <string>
#include <vector>

namespace platform {

enum class ShellOpenStatus {
    Opened, // the opener ended with status 0
    StillRunning, // the opener had not ended when the wait was over; counted as started
    NotStarted, // the opener could not be started (see `error`)
    Failed, // the opener ended with a nonzero status or a signal (see `exitCode`)
    BadTarget, // empty target or one holding a NUL
};

struct ShellOpenResult {
    ShellOpenStatus status = ShellOpenStatus::NotStarted;
    int exitCode = 0; // the opener's exit status; 128 + signal number when killed
    int error = 0; // errno when it could not be started

    bool Succeeded() const { return status == ShellOpenStatus::Opened || status == ShellOpenStatus::StillRunning; }
    // A small number in ShellExecute's manner: above 32 on success, the failing code otherwise
    // (2 for an opener that cannot be started, its exit status, 1 at least).
    int LegacyCode() const;
};

// Opens a file path or a URL. Waits at most `waitMs` for the opener to end (a missing file or
// a type without a program fails within that); an opener still running then, as xdg-open is
// while it runs a browser in the foreground, is left to finish on its own and reaped later.
ShellOpenResult ShellOpen(StringView16 target, int waitMs = 1500);
ShellOpenResult ShellOpenUtf8(const std::string& target, int waitMs = 1500);

// The program used to open things ("xdg-open" unless set; tests put a script in its place).
// An empty name restores the default.
void SetShellOpener(const std::string& program);

// The desktop's file chooser for opening one file: `zenity --file-selection` (started directly,
// no shell), with the file patterns as one filter. Unavailable when ZENDRA_CHOOSER is "builtin",
// when zenity is missing or when it fails; the caller then asks in its own way.
enum class FileChooserStatus { Chosen, Cancelled, Unavailable };
struct FileChooserResult {
    FileChooserStatus status = FileChooserStatus::Unavailable;
    String16 path;
};
FileChooserResult ChooseFileToOpen(StringView16 title, StringView16 startFolder,
                                   const std::vector<std::string>& patterns);
// The same chooser for a file to write (`zenity --file-selection --save`), starting at the
// suggested path (a folder ending in '/' or a file name). It never asks about an existing
// file: the caller does.
FileChooserResult ChooseFileToSave(StringView16 title, StringView16 suggestedPath,
                                   const std::vector<std::string>& patterns);

} // namespace platform
