#include "editor/StopGapSave.h"

#include "editor/EditorDocument.h"
#include "editor/EditorHost.h"
#include "imaging/ColourTables.h"
#include "imaging/DocumentUi.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "imaging/ImageCodec/JpegWriter.h"
#include "imaging/ProjectFile.h"
#include "imaging/PsdWriter.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "raster/Raster.h"
#include "ui/MessageBox.h"
#include "ui/UiSeams.h"

#include <cstdlib>
#include <vector>

namespace {

constexpr int kJpegQuality = 90;
constexpr uint64_t kOpaqueWhite = 0xFFFFFFFFFFFFFFFFull;

std::u16string LowerExtension(const std::u16string& path)
{
    const size_t slash = path.find_last_of(u'/');
    const size_t dot = path.find_last_of(u'.');
    if (dot == std::u16string::npos || (slash != std::u16string::npos && dot < slash))
        return {};
    std::u16string ext = path.substr(dot + 1);
    for (char16_t& c : ext)
        if (c >= u'A' && c <= u'Z')
            c = char16_t(c - u'A' + u'a');
    return ext;
}

// The encoded file in memory: JPEG by our encoder, PNG and TIFF by the codec library.
bool EncodePicture(const ImageBuffer8& picture, SaveFormat format, std::vector<uint8_t>& out)
{
    uint8_t* buffer = nullptr;
    int64_t size = 0;
    bool ok = false;
    if (format == SaveFormat::Jpeg) {
        JpegWriter writer;
        ok = writer.EncodeToMemory(buffer, size, picture, kJpegQuality) != 0;
    } else {
        CRaster raster;
        ok = ImageToRaster8(picture, raster, false) &&
             raster.Encode(buffer, size, format == SaveFormat::Png ? RasterFormatPNG : RasterFormatTIF);
    }
    ok = ok && buffer && size > 0;
    if (ok)
        out.assign(buffer, buffer + size);
    std::free(buffer);
    return ok;
}

int Fail(const char16_t** errorKey, const char16_t* key)
{
    if (errorKey)
        *errorKey = key;
    return 0;
}

} // namespace

SaveFormat SaveFormatFromPath(const std::u16string& path)
{
    const std::u16string ext = LowerExtension(path);
    if (ext == u"jpg" || ext == u"jpeg")
        return SaveFormat::Jpeg;
    if (ext == u"png")
        return SaveFormat::Png;
    if (ext == u"tif" || ext == u"tiff")
        return SaveFormat::Tiff;
    if (ext == u"zdoc")
        return SaveFormat::Project;
    return SaveFormat::Unknown;
}

int WriteDocumentFile(CEditorDocument& doc, const std::u16string& path, const char16_t** errorKey)
{
    const SaveFormat format = SaveFormatFromPath(path);
    if (format == SaveFormat::Unknown)
        return Fail(errorKey, u"saveTypeUnknown");
    if (doc.Document().LayerCount() == 0)
        return Fail(errorKey, u"ErrorSave");
    BusyScope busy;
    if (format == SaveFormat::Project) {
        ImageInfoProperties properties(doc.Info());
        return SaveProjectFile(path, doc.Document(), &properties) == ProjectSaveResult::Saved
                   ? 1
                   : Fail(errorKey, u"ErrorSave");
    }
    ImageBuffer16 flat;
    if (!doc.Document().Flatten(flat, kOpaqueWhite))
        return Fail(errorKey, u"errmem");
    ImageBuffer8 picture;
    const bool converted = ConvertImage16To8Dithered(flat, picture) != 0;
    FreeImageBuffer(flat);
    if (!converted)
        return Fail(errorKey, u"errmem");
    std::vector<uint8_t> bytes;
    const bool encoded = EncodePicture(picture, format, bytes);
    FreeImageBuffer(picture);
    // The photo's metadata goes into the bytes before anything reaches the disk, so the file
    // appears once, whole.
    if (!encoded || !doc.Info().WriteBack(bytes, path.c_str()))
        return Fail(errorKey, u"ErrorSave");
    platform::AtomicFileWriter writer;
    if (!writer.Open(path) || !writer.Write(bytes.data(), bytes.size()) || !writer.Commit())
        return Fail(errorKey, u"ErrorSave");
    return 1;
}

int RunSaveDialog(CEditorDocument& doc)
{
    IFileDialogs* dialogs = TheDocumentUi().fileDialogs;
    if (!dialogs || doc.Document().LayerCount() == 0)
        return 0;
    const std::u16string original(doc.Document().path, platform::TextLength(doc.Document().path, 1024));
    std::u16string path;
    // The chooser starts at the photo itself; a document without a file starts in the folder
    // of the last save.
    const std::u16string start = original.empty() ? dialogs->GetLastPath(u"SaveImage") : original;
    if (!dialogs->ChooseSaveFile(u"jpg", start, path) || path.empty())
        return 0;
    if (SaveFormatFromPath(path) == SaveFormat::Unknown) {
        EditorAsk(UiText(u"saveTypeUnknown"), kMbError, kMbOk);
        return 0;
    }
    if (platform::PathExists(path)) {
        const char16_t* question = path == original ? u"Askoverwriteorg" : u"Askoverwrite";
        if (EditorAsk(UiText(question), kMbQuestion, kMbYesNo) != 6)
            return 0;
    }
    const char16_t* error = nullptr;
    if (!WriteDocumentFile(doc, path, &error)) {
        EditorAsk(UiText(error ? error : u"ErrorSave"), kMbError, kMbOk);
        return 0;
    }
    const size_t slash = path.find_last_of(u'/');
    dialogs->SetLastPath(u"SaveImage", slash == std::u16string::npos ? std::u16string() : path.substr(0, slash));
    return 1;
}

int WriteLayerFile(const ImageBuffer16& image, const std::u16string& path, const char16_t** errorKey)
{
    if (!image.data || image.width <= 0 || image.height <= 0)
        return Fail(errorKey, u"ErrorSave");
    const std::u16string ext = LowerExtension(path);
    BusyScope busy;
    if (ext == u"psd") {
        CPSDLayerSave psd;
        return psd.SaveFile(path, image) ? 1 : Fail(errorKey, u"ErrorSave");
    }
    if (ext != u"png")
        return Fail(errorKey, u"saveTypeUnknown");
    ImageBuffer8 picture;
    if (!ConvertImage16To8Dithered(image, picture))
        return Fail(errorKey, u"errmem");
    uint8_t* buffer = nullptr;
    int64_t size = 0;
    CRaster raster;
    const bool encoded = ImageToRaster8(picture, raster, true) && raster.Encode(buffer, size, RasterFormatPNG) &&
                         buffer && size > 0;
    FreeImageBuffer(picture);
    platform::AtomicFileWriter writer;
    const bool written = encoded && writer.Open(path) && writer.Write(buffer, size_t(size)) && writer.Commit();
    std::free(buffer);
    return written ? 1 : Fail(errorKey, u"ErrorSave");
}

int RunLayerSaveDialog(const ImageBuffer16& image, const std::u16string& suggested)
{
    IFileDialogs* dialogs = TheDocumentUi().fileDialogs;
    if (!dialogs || !image.data)
        return 0;
    std::u16string path;
    if (!dialogs->ChooseSaveFile(u"png", suggested, path) || path.empty())
        return 0;
    const std::u16string ext = LowerExtension(path);
    if (ext != u"png" && ext != u"psd") {
        EditorAsk(UiText(u"saveTypeUnknown"), kMbError, kMbOk);
        return 0;
    }
    if (platform::PathExists(path) && EditorAsk(UiText(u"Askoverwrite"), kMbQuestion, kMbYesNo) != 6)
        return 0;
    const char16_t* error = nullptr;
    if (!WriteLayerFile(image, path, &error)) {
        EditorAsk(UiText(error ? error : u"ErrorSave"), kMbError, kMbOk);
        return 0;
    }
    return 1;
}
