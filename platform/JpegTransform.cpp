#include "platform/JpegTransform.h"

#include "platform/ExivIo.h"
#include "platform/File.h"
#include "platform/ImageMetadata.h"
#include "platform/JpegImage.h"

#include <vector>

#include <turbojpeg.h>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace platform {

namespace {

// The embedded thumbnail turned like the picture, so thumbnails made from it stay upright.
// Partial blocks at its edges are trimmed (a few pixels of a thumbnail are no loss).
bool TurnThumbnail(Exiv2::ExifData& exif, int op)
{
    Exiv2::ExifThumbC reader(exif);
    Exiv2::DataBuf thumb = reader.copy();
    if (thumb.size_ <= 0 || !thumb.pData_ || std::string(reader.mimeType()) != "image/jpeg")
        return true;
    tjhandle handle = tjInitTransform();
    if (!handle)
        return false;
    tjtransform xform {};
    xform.op = op;
    xform.options = TJXOPT_TRIM;
    unsigned char* turned = nullptr;
    unsigned long turnedSize = 0;
    bool ok = tjTransform(handle, thumb.pData_, static_cast<unsigned long>(thumb.size_), 1, &turned, &turnedSize,
                          &xform, 0) == 0 && turned && turnedSize > 0;
    tjDestroy(handle);
    if (ok) {
        Exiv2::ExifThumb writer(exif);
        writer.setJpegThumbnail(turned, static_cast<long>(turnedSize));
    } else {
        // A thumbnail that cannot be turned would show the picture the wrong way round.
        Exiv2::ExifThumb(exif).erase();
        ok = true;
    }
    if (turned)
        tjFree(turned);
    return ok;
}

// Drops the Orientation, swaps the EXIF pixel sizes after a quarter turn and turns the
// embedded thumbnail, in the turned file's bytes.
bool FixExif(std::vector<uint8_t>& jpeg, int op)
{
    const bool quarter = op != TJXOP_ROT180;
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(jpeg.data(), static_cast<long>(jpeg.size()));
        if (!image.get())
            return false;
        image->readMetadata();
        Exiv2::ExifData& exif = image->exifData();
        if (exif.empty())
            return true;
        auto orientation = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
        if (orientation != exif.end())
            exif.erase(orientation);
        if (quarter) {
            auto x = exif.findKey(Exiv2::ExifKey("Exif.Photo.PixelXDimension"));
            auto y = exif.findKey(Exiv2::ExifKey("Exif.Photo.PixelYDimension"));
            if (x != exif.end() && y != exif.end()) {
                Exiv2::Value::AutoPtr xv = x->getValue();
                Exiv2::Value::AutoPtr yv = y->getValue();
                x->setValue(yv.get());
                y->setValue(xv.get());
            }
        }
        if (!TurnThumbnail(exif, op))
            return false;
        image->writeMetadata();
        std::vector<uint8_t> rewritten;
        if (!ReadWholeExivIo(image->io(), rewritten))
            return false;
        jpeg.swap(rewritten);
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace

bool RotateJpegFileLossless(const std::string& path, JpegTurn turn)
{
    int op;
    switch (turn) {
    case JpegTurn::Clockwise90: op = TJXOP_ROT90; break;
    case JpegTurn::Half: op = TJXOP_ROT180; break;
    case JpegTurn::Clockwise270: op = TJXOP_ROT270; break;
    default: return false;
    }
    std::vector<uint8_t> source;
    if (!ReadFileBytes(path, source) || source.empty() || source.size() > 0xFFFFFFFFu)
        return false;

    tjhandle handle = tjInitTransform();
    if (!handle)
        return false;
    tjtransform xform {};
    xform.op = op;
    xform.options = TJXOPT_PERFECT;
    unsigned char* result = nullptr;
    unsigned long resultSize = 0;
    bool ok = tjTransform(handle, source.data(), static_cast<unsigned long>(source.size()), 1, &result,
                          &resultSize, &xform, 0) == 0 && result && resultSize > 0;
    tjDestroy(handle);
    std::vector<uint8_t> turned;
    if (ok)
        turned.assign(result, result + resultSize);
    if (result)
        tjFree(result);
    if (!ok || turned.size() > 0x7FFFFFFF || !FixExif(turned, op))
        return false;
    // The turned file replaces the original in one rename, once it is completely on disk.
    if (!MayReplaceFile(path, true))
        return false;
    AtomicFileWriter writer;
    return writer.OpenNative(path) && writer.Write(turned.data(), turned.size()) && writer.Commit();
}

} // namespace platform
