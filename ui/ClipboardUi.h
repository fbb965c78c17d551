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

// ---- pictures pasted from the clipboard ----

// CF_DIBV5, the other picture block a paste reads.
constexpr uint32_t kCfDibV5 = 17;

enum class ClipboardImageResult {
    Read,          // the picture is in `out`
    NoPicture,     // no picture block, or an empty one
    Unsupported,   // a bit count other than 24 or 32 (the user is told)
    Damaged,       // sizes or offsets that do not fit the block, a compression we do not read
};

// Reads a CF_DIB (format 8) or CF_DIBV5 (format 17) block into an 8-bit picture, rows top-down.
// Every field is checked against the block in 64 bits before it is used: the header size, the
// pixel offset (the block's end minus the image size when that is given, else after the header,
// its masks and colour table), the row stride times the height, the masks. 24-bit pixels are
// opaque; 32-bit pixels keep their fourth byte as alpha when uncompressed, and a picture whose
// alpha bytes are all alike (all 0 from most programs) becomes opaque.
ClipboardImageResult DecodeClipboardDib(const uint8_t* block, size_t size, uint32_t format, ImageBuffer8& out);
// The clipboard's picture (CF_DIB, else CF_DIBV5) as a 16-bit working picture.
ClipboardImageResult ReadClipboardImageBlock(ImageBuffer16& out);
// The same, saying "unsupportunPatternpaste" for an unsupported depth; nonzero on success.
int ReadClipboardImage(ImageBuffer16& out);
