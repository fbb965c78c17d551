// The program's six clipboard functions, on the platform clipboard (the X11 CLIPBOARD selection
// in the running program, shared with other programs; in-process in tests). Text is Unicode
// only; pictures go out as a DIB (and PNG to other programs); file lists carry the drop effect
// so that copy and cut work with file managers.
#pragma once

#include "imaging/ImageBuffer.h"
#include "platform/Text.h"

#include <cstdint>
#include <memory>
#include <vector>

// Byte size of the clipboard's block in `format`; 0 when there is none.
size_t GetClipboardDataSize(uint32_t format);
// Empties the clipboard and puts the block on it; 1 on success.
int SetClipboardBytes(uint32_t format, const void* data, size_t size);
// A copy of the block, or null when the format is not there; `size` gets its length.
std::unique_ptr<uint8_t[]> GetClipboardBytes(uint32_t format, size_t* size);
// The picture as a bottom-up 32-bit DIB; 0 when it is empty or too large.
int CopyImageToClipboard(const ImageBuffer8& image);
// Puts a list of paths (copy nonzero: copy, 0: cut); 1 on success.
int CopyFilesToClipboard(const std::vector<platform::String16>& paths, int copy);

// Asked before a file of the same name in the target folder is replaced: 1 replace, else keep
// it (the file is then skipped). The default asks through the message box.
using OverwriteQuestion = int (*)(const platform::String16& path);
void SetOverwriteQuestion(OverwriteQuestion question);

// Copies (or moves) files and folders into a folder, each under its own name: an existing
// entry is replaced only when the overwrite question says so (No skips it); an entry already in
// that folder is left alone; a moved folder leaves its source only when everything arrived.
// The number of entries placed.
int PlaceFiles(const std::vector<platform::String16>& files, const platform::String16& folder, bool move);

// Copies (or, after a cut, moves) the clipboard's files into the folder; 0 when the clipboard
// holds no file list, else the number of entries placed. The clipboard is emptied afterwards.
int PasteFilesFromClipboard(const platform::String16& folder);
