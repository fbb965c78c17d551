#include "imaging/ImageCodec/ImageType.h"

#include "raster/Raster.h"
#include "platform/Text.h"

#include <string_view>

namespace {

// The extension, lower-cased; empty when the last component has no dot. The whole path is
// scanned (no bounded copy), so a long path keeps its extension.
std::u16string Extension(const char16_t* path)
{
    if (!path)
        return {};
    std::u16string_view text(path);
    for (size_t i = text.size(); i-- > 0;) {
        char16_t c = text[i];
        if (c == u'/' || c == u'\\')
            return {};
        if (c == u'.')
            return platform::AsciiLower(text.substr(i + 1));
    }
    return {};
}

} // namespace

int ImageTypeFromExtension(const char16_t* path)
{
    std::u16string ext = Extension(path);
    if (ext.empty())
        return kImageTypeOther;
    struct Entry { const char16_t* ext; int type; };
    static const Entry table[] = {
        { u"jpg", 1 }, { u"jpeg", 1 }, { u"bmp", 2 }, { u"gif", 3 }, { u"png", 4 }, { u"tif", 5 },
        { u"tiff", 5 }, { u"tga", 6 }, { u"pcx", 7 },
        { u"raw", 8 }, { u"rw1", 8 }, { u"nef", 8 }, { u"nrw", 8 }, { u"cr2", 8 }, { u"crw", 8 },
        { u"orf", 8 }, { u"mrw", 8 }, { u"pef", 8 }, { u"ptx", 8 }, { u"dcr", 8 }, { u"erf", 8 },
        { u"dng", 8 }, { u"srf", 8 }, { u"sr2", 8 }, { u"arw", 8 }, { u"raf", 8 }, { u"rw2", 8 },
        { u"bay", 8 }, { u"srw", 8 },
    };
    for (const Entry& e : table)
        if (ext == e.ext)
            return e.type;
    return kImageTypeOther;
}

int CodecFormatFromExtension(const char16_t* path)
{
    std::u16string ext = Extension(path);
    struct Entry { const char16_t* ext; int format; };
    static const Entry table[] = {
        { u"jpg", 2 }, { u"jpeg", 2 }, { u"bmp", 0 }, { u"gif", 1 }, { u"png", 3 },
        { u"tif", 5 }, { u"tiff", 5 }, { u"tga", 6 }, { u"pcx", 7 },
        // The library reads these too; whole-picture loads and thumbnails reach them here.
        { u"ico", 4 }, { u"wbmp", 8 },
    };
    for (const Entry& e : table)
        if (ext == e.ext)
            return e.format;
    return -1;
}

bool ReadCodecImageSize(const char* path, int format, int& width, int& height)
{
    // From the header: nothing of the picture's size is decoded or allocated.
    int32_t w = 0, h = 0;
    const bool ok = path && CRaster::ReadSize(path, format, w, h);
    width = ok ? w : 0;
    height = ok ? h : 0;
    return ok;
}
