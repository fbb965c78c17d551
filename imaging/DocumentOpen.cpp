#include "imaging/Document.h"

#include "imaging/ColourTables.h"
#include "imaging/ImageCodec/ImageInfo.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "imaging/ImageCodec/ImageType.h"
#include "imaging/ImageCodec/RawDecoder.h"
#include "platform/Path.h"
#include "platform/Text.h"

#include <memory>
#include <mutex>

namespace {

// Converts the decoded 8-bit picture into the layer; the 8-bit copy is freed before returning,
// so at most one full-size picture beside the layer is ever held.
bool DecodeIntoLayer(const char16_t* path, int type, CZDLayer& layer)
{
    if (type == kImageTypeRaw) {
        std::lock_guard guard(RawDecoderLock);
        return DecodeRaw16(platform::ToNativePath(path).c_str(), layer.pixels) != 0;
    }
    ImageInfo info;
    info.ReadFile(path);
    ImageBuffer8 picture;
    if (!LoadImage8(path, picture))
        return false;
    const int mode = info.colorSpace == 2 ? kConvertAdobe : kConvertSrgb;
    // The JPEG decoder writes every alpha as 255 already.
    if (type != kImageTypePng && type != kImageTypeGif && type != kImageTypeJpeg)
        for (uint32_t i = 0; i < picture.pixelCount; ++i)
            picture.data[size_t(i) * 4 + 3] = 255;
    const int ok = type == kImageTypeJpeg ? ConvertJpegPicture16(picture, layer.pixels, mode)
                                          : ConvertImage8To16(layer.pixels, picture, mode);
    FreeImageBuffer(picture);
    return ok != 0;
}

} // namespace

int CZDDoc::OpenImage(const std::u16string& file)
{
    auto layer = std::make_unique<CZDLayer>();
    const size_t slash = file.find_last_of(u'/');
    const std::u16string name = slash == std::u16string::npos ? file : file.substr(slash + 1);
    CopyTextBounded(layer->name, 32, platform::DisplayPath(name).c_str());
    layer->placement = 0;
    if (!DecodeIntoLayer(file.c_str(), ImageTypeFromExtension(file.c_str()), *layer) || !layer->pixels.data)
        return 0;
    Clear();
    std::lock_guard guard(lock);
    width = layer->pixels.width;
    height = layer->pixels.height;
    CopyTextBounded(path, 1024, file.c_str());
    layers.push_back(std::move(layer));
    current = 0;
    return 1;
}
