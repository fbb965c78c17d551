// The editor's save until the save dialogs exist: a path from the file chooser, then the file
// written by its extension (JPEG at quality 90, PNG, TIFF: the visible layers over opaque
// white, dithered to 8 bits, the photo's metadata put back; ".zdoc": the project file), through
// a temporary file renamed over the target only when all of it was written.
#pragma once

#include <string>

class CEditorDocument;
struct ImageBuffer16;

enum class SaveFormat { Jpeg, Png, Tiff, Project, Unknown };

// The format a file name asks for (its extension, any letter case).
SaveFormat SaveFormatFromPath(const std::u16string& path);

// Writes the document to `path` in its format; 1 on success. On failure nothing at `path`
// changed; `errorKey` names the message ("ErrorSave").
int WriteDocumentFile(CEditorDocument& doc, const std::u16string& path, const char16_t** errorKey = nullptr);

// Asks for the path (IFileDialogs of the document hooks), asks before replacing a file
// ("Askoverwriteorg" for the photo the tab came from, "Askoverwrite" for another), writes, and
// says what went wrong. 1 only when the file was written; the caller then records the saved
// step.
int RunSaveDialog(CEditorDocument& doc);

// ---- one layer ----

// Writes a layer's picture by the extension: ".png" with its transparency (8 bits, dithered),
// ".psd" as a one-layer Photoshop file. On failure nothing at `path` changed and `errorKey`
// names the message.
int WriteLayerFile(const ImageBuffer16& image, const std::u16string& path, const char16_t** errorKey = nullptr);
// Asks for the path, starting at `suggested` (the layer's name in the document's folder), asks
// before replacing a file, writes and says what went wrong. 1 only when the file was written.
int RunLayerSaveDialog(const ImageBuffer16& image, const std::u16string& suggested);
