#include "imaging/ImageCodec/RawDecoder.h"

#include "imaging/ImageBuffer.h"
#include "imaging/ImageCodec/ImageInfo.h"
#include "platform/File.h"

#include <cmath>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>

#include <libraw/libraw.h>

platform::CriticalSection RawDecoderLock;

namespace {

char16_t* OwnedWide(const char* narrow)
{
    char16_t wide[1024];
    CopyTextToWide(wide, narrow);
    size_t n = std::char_traits<char16_t>::length(wide);
    char16_t* copy = new (std::nothrow) char16_t[n + 1];
    if (copy)
        std::memcpy(copy, wide, (n + 1) * sizeof(char16_t));
    return copy;
}

ExifRational Fraction(double value)
{
    return ExifRational { uint32_t(RawFraction10000(value)), 10000 };
}

// One LibRaw use: the file opened through the platform's checked open (a folder, pipe or device
// under a RAW name is refused and never waited on) and kept open while LibRaw reads it by the
// descriptor's name; LibRaw's object is large (hundreds of kilobytes), so it lives on the heap.
// Data errors (a cut or damaged file) are counted: LibRaw reports them to this handler and
// otherwise goes on as if the data were whole.
struct RawSession {
    platform::File file;
    std::unique_ptr<LibRaw> raw;
    int dataErrors = 0;

    static void OnDataError(void* self, const char*, const int)
    {
        ++static_cast<RawSession*>(self)->dataErrors;
    }

    // Creates the object (output parameters are set by the caller before Open).
    bool Create(const char* path)
    {
        if (!path || !IsLibRawExtension(path))
            return false;
        raw.reset(new (std::nothrow) LibRaw(0));
        if (!raw)
            return false;
        raw->set_dataerror_handler(&RawSession::OnDataError, this);
        return true;
    }

    bool Open(const char* path)
    {
        return file.OpenNative(path, platform::FileMode::Read)
            && raw->open_file(file.DescriptorPath().c_str(), kRawMaxBufferBytes) == LIBRAW_SUCCESS && Whole();
    }

    // No data error so far (LibRaw counts them itself too; the handler sees the first one).
    bool Whole()
    {
        return dataErrors == 0 && raw->get_internal_data_pointer()->unpacker_data.data_error == 0;
    }

    // The embedded preview's stored bytes lie inside the file: LibRaw copies the length the
    // directory states without noticing that a cut file ends before it.
    bool PreviewInsideFile()
    {
        const libraw_thumbnail_t& t = raw->imgdata.thumbnail;
        const int64_t size = file.Size();
        const int64_t offset = raw->get_internal_data_pointer()->internal_data.toffset;
        if (size <= 0 || offset < 0 || offset >= size)
            return false;
        const bool stored = t.tformat == LIBRAW_THUMBNAIL_JPEG
            || (t.tformat == LIBRAW_THUMBNAIL_BITMAP && uint64_t(t.twidth) * t.theight * 3 == t.tlength);
        return !stored || uint64_t(offset) + t.tlength <= uint64_t(size);
    }

    ~RawSession()
    {
        raw.reset(); // before the file it reads
    }
};

} // namespace

int IsLibRawExtension(const char* path)
{
    if (!path)
        return 0;
    const char* dot = std::strrchr(path, '.');
    const char* slash = std::strrchr(path, '/');
    if (!dot || (slash && slash > dot))
        return 0;
    static const char* const kExtensions[] = {
        ".nef", ".cr2", ".crw", ".orf", ".mrw", ".raf", ".pef", ".dcr",
        ".srf", ".erf", ".dng", ".raw", ".arw", ".rw2", ".srw",
    };
    // ASCII letters only, without regard to case.
    auto same = [](const char* a, const char* b) {
        for (; *a && *b; ++a, ++b) {
            const char x = (*a >= 'A' && *a <= 'Z') ? char(*a + 32) : *a;
            if (x != *b)
                return false;
        }
        return *a == *b;
    };
    for (const char* ext : kExtensions)
        if (same(dot, ext))
            return 1;
    return 0;
}

void CopyTextToWide(char16_t* wide, const char* narrow)
{
    size_t i = 0;
    if (narrow)
        for (; i < 1023 && narrow[i]; ++i)
            wide[i] = char16_t(uint8_t(narrow[i]));
    wide[i] = 0;
}

int32_t RawFraction10000(double value)
{
    double v = std::trunc(value * 10000 + 0.5);
    if (!(v > -2147483648.0 && v < 2147483647.0))
        return 0;
    return int32_t(v);
}

int DecodeRaw16(const char* path, ImageBuffer16& image16)
{
    RawSession session;
    if (!session.Create(path))
        return 0;
    LibRaw* raw = session.raw.get();
    libraw_output_params_t& params = raw->imgdata.params;
    params.highlight = 0;     // clip
    params.use_auto_wb = 0;
    params.use_camera_wb = 1;
    params.output_color = 2;  // Adobe RGB (1998), the working primaries
    params.user_qual = 3;     // AHD
    // A cut or damaged file is a failure, not a picture with made-up rows.
    if (!session.Open(path) || raw->unpack() != LIBRAW_SUCCESS || !session.Whole()
        || raw->dcraw_process() != LIBRAW_SUCCESS || !session.Whole() || !raw->imgdata.image)
        return 0;
    const libraw_image_sizes_t& sizes = raw->imgdata.sizes;
    const int iw = sizes.iwidth, ih = sizes.iheight;
    if (iw <= 0 || ih <= 0)
        return 0;
    // The photo opens upright: LibRaw leaves its flip to the output stage, so it is done here
    // (bit 2 swaps rows and columns, bit 1 turns rows over, bit 0 columns).
    const int flip = sizes.flip & 7;
    const int ow = (flip & 4) ? ih : iw;
    const int oh = (flip & 4) ? iw : ih;
    if (!AllocImage16(image16, ow, oh))
        return 0;
    const ushort (*pixels)[4] = raw->imgdata.image;
    uint16_t* out = image16.data;
    for (int orow = 0; orow < oh; ++orow) {
        for (int ocol = 0; ocol < ow; ++ocol, out += 4) {
            int row = orow, col = ocol;
            if (flip & 4)
                std::swap(row, col);
            if (flip & 2)
                row = ih - 1 - row;
            if (flip & 1)
                col = iw - 1 - col;
            const ushort* p = pixels[size_t(row) * iw + col];
            out[0] = p[2];
            out[1] = p[1];
            out[2] = p[0];
            out[3] = 0xFFFF;
        }
    }
    raw->recycle();
    return 1;
}

uint8_t* RawThumbnail(const char* path, uint32_t& length, int& kind, int* flip)
{
    length = 0;
    kind = kRawPreviewOther;
    if (flip)
        *flip = 0;
    RawSession session;
    if (!session.Create(path) || !session.Open(path))
        return nullptr;
    LibRaw* raw = session.raw.get();
    if (raw->unpack_thumb() != LIBRAW_SUCCESS || !session.Whole() || !session.PreviewInsideFile())
        return nullptr;
    const libraw_thumbnail_t& t = raw->imgdata.thumbnail;
    if (!t.thumb || t.tlength == 0)
        return nullptr;
    if (flip)
        *flip = raw->imgdata.sizes.flip & 7;
    uint8_t* block = nullptr;
    if (t.tformat == LIBRAW_THUMBNAIL_JPEG) {
        block = new (std::nothrow) uint8_t[t.tlength];
        if (block) {
            std::memcpy(block, t.thumb, t.tlength);
            length = t.tlength;
            kind = kRawPreviewJpeg;
        }
    } else if (t.tformat == LIBRAW_THUMBNAIL_BITMAP) {
        // LibRaw keeps the size apart from the bytes; the preview block carries it in front.
        uint64_t pixelBytes = uint64_t(t.twidth) * t.theight * 3;
        if (t.tcolors != 3 || t.twidth == 0 || t.theight == 0 || pixelBytes > t.tlength)
            return nullptr;
        block = new (std::nothrow) uint8_t[4 + pixelBytes];
        if (block) {
            block[0] = uint8_t(t.twidth);
            block[1] = uint8_t(t.twidth >> 8);
            block[2] = uint8_t(t.theight);
            block[3] = uint8_t(t.theight >> 8);
            std::memcpy(block + 4, t.thumb, pixelBytes);
            length = uint32_t(4 + pixelBytes);
            kind = kRawPreviewBitmap;
        }
    }
    // 16-bit bitmaps and the rarer formats are no preview the program can show.
    raw->recycle();
    return block;
}

int ReadRawSize(const char* path, int& width, int& height)
{
    width = height = 0;
    RawSession session;
    if (!session.Create(path) || !session.Open(path))
        return 0;
    const libraw_image_sizes_t& sizes = session.raw->imgdata.sizes;
    // DecodeRaw16 delivers LibRaw's output size (iwidth x iheight, full-size here), turned.
    int w = sizes.width, h = sizes.height;
    if (sizes.flip & 4)
        std::swap(w, h);
    if (w <= 0 || h <= 0)
        return 0;
    width = w;
    height = h;
    return 1;
}

int ReadRawInfo(const char* path, ImageInfo& info)
{
    RawSession session;
    if (!session.Create(path) || !session.Open(path))
        return 0;
    LibRaw* raw = session.raw.get();
    const libraw_data_t& d = raw->imgdata;
    if (d.idata.make[0]) {
        delete[] info.make;
        info.make = OwnedWide(d.idata.make);
    }
    if (d.idata.model[0]) {
        delete[] info.model;
        info.model = OwnedWide(d.idata.model);
    }
    // LibRaw hands over the EXIF Flash code (16: off, did not fire); "fired" is its bit 0.
    info.flash = (static_cast<int>(d.color.flash_used) & 1) ? 1 : 0;
    info.exposureBiasValue = ExifSRational { RawFraction10000(d.color.canon_ev), 10000 };
    if (d.other.iso_speed > 0 && d.other.iso_speed < 65535)
        info.isoSpeedRatings = uint16_t(d.other.iso_speed);
    if (d.other.shutter > 0)
        info.exposureTime = Fraction(d.other.shutter);
    if (d.other.aperture > 0)
        info.fNumber = Fraction(d.other.aperture);
    if (d.other.focal_len > 0)
        info.focalLength = Fraction(d.other.focal_len);
    // The size as the photo opens: upright, after LibRaw's flip.
    uint32_t w = d.sizes.width, h = d.sizes.height;
    if (d.sizes.flip & 4)
        std::swap(w, h);
    if (w)
        info.width = uint16_t(std::min<uint32_t>(w, 0xFFFF));
    if (h)
        info.height = uint16_t(std::min<uint32_t>(h, 0xFFFF));
    const unsigned* gps = d.other.gpsdata;
    if (gps[1] != 0) {
        for (int i = 0; i < 3; ++i) {
            info.gpsLatitude[i] = ExifRational { gps[2 * i], gps[2 * i + 1] };
            info.gpsLongitude[i] = ExifRational { gps[6 + 2 * i], gps[7 + 2 * i] };
        }
        info.gpsAltitude = ExifRational { gps[18], gps[19] };
        info.gpsLatitudeRef = uint8_t(gps[29]);
        info.gpsLongitudeRef = uint8_t(gps[30]);
        info.gpsAltitudeRef = uint8_t(gps[31]);
    }
    if (d.other.timestamp > 0) {
        // LibRaw made the stamp from the camera's clock with mktime: local time undoes it.
        const SystemTime t = SystemTimeFromUnix(int64_t(d.other.timestamp), true);
        if (t.year != 0)
            info.dateTimeOriginal = info.dateTimeDigitized = t;
    }
    raw->recycle();
    return 1;
}
