#include "platform/JpegImage.h"

#include "platform/File.h"

#include <csetjmp>
#include <cstdio>
#include <iterator>

#include <jpeglib.h>

namespace platform {

namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    int warnings = 0;
};

void OnError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

void OnMessage(j_common_ptr info, int level)
{
    // Corrupt data shows up as a flood of warnings; give up rather than spin on it.
    auto* err = reinterpret_cast<ErrorManager*>(info->err);
    if (level < 0 && ++err->warnings > 1000)
        std::longjmp(err->jump, 1);
}

void OnOutput(j_common_ptr) { }

// Kept out of the function that calls setjmp, so no local there is changed after it.
bool DecodeInto(jpeg_decompress_struct& cinfo, ErrorManager& err, const uint8_t* data, size_t size,
                Bitmap32& out, int scaleDenom, bool headerOnly)
{
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, const_cast<unsigned char*>(data), static_cast<unsigned long>(size));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    if (headerOnly) {
        out.width = cinfo.image_width;
        out.height = cinfo.image_height;
        jpeg_destroy_decompress(&cinfo);
        return true;
    }
    bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    cinfo.scale_num = 1;
    cinfo.scale_denom = static_cast<unsigned int>(scaleDenom);
    jpeg_calc_output_dimensions(&cinfo);
    uint64_t pixels = uint64_t(cinfo.output_width) * cinfo.output_height;
    if (cinfo.output_width == 0 || cinfo.output_height == 0 || pixels > kMaxJpegPixels) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    out.pixels.assign(pixels * 4, 0);
    out.width = cinfo.output_width;
    out.height = cinfo.output_height;
    jpeg_start_decompress(&cinfo);
    size_t stride = size_t(out.width) * 4;
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out.pixels.data() + size_t(cinfo.output_scanline) * stride;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    if (cmyk)
        CmykToBgra(out.pixels.data(), out.pixels.data(), out.width * out.height, cinfo.saw_Adobe_marker);
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

bool Run(const uint8_t* data, size_t size, Bitmap32& out, int scaleDenom, bool headerOnly)
{
    out = Bitmap32();
    if (!data || size < 4 || size > 0xFFFFFFFFu)
        return false;
    if (scaleDenom != 1 && scaleDenom != 2 && scaleDenom != 4 && scaleDenom != 8)
        return false;
    jpeg_decompress_struct cinfo {};
    ErrorManager err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = OnError;
    err.pub.emit_message = OnMessage;
    err.pub.output_message = OnOutput;
    bool ok = DecodeInto(cinfo, err, data, size, out, scaleDenom, headerOnly);
    if (!ok)
        out = Bitmap32();
    return ok;
}

} // namespace

void CmykToBgra(const uint8_t* in, uint8_t* out, uint32_t pixels, bool adobeInverted)
{
    // Photoshop writes CMYK inverted (Adobe marker); libjpeg hands it back as stored.
    for (uint32_t i = 0; i < pixels; ++i, in += 4, out += 4) {
        unsigned c = in[0], m = in[1], y = in[2], k = in[3];
        if (!adobeInverted) {
            c = 255 - c; m = 255 - m; y = 255 - y; k = 255 - k;
        }
        out[0] = static_cast<uint8_t>((y * k + 127) / 255);
        out[1] = static_cast<uint8_t>((m * k + 127) / 255);
        out[2] = static_cast<uint8_t>((c * k + 127) / 255);
        out[3] = 255;
    }
}

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes, uint64_t maxBytes)
{
    bytes.clear();
    return ReadWholeFileNative(path, bytes, maxBytes);
}

bool ReadJpegSize(const uint8_t* data, size_t size, uint32_t& width, uint32_t& height)
{
    Bitmap32 header;
    width = height = 0;
    if (!Run(data, size, header, 1, true))
        return false;
    width = header.width;
    height = header.height;
    return true;
}

bool DecodeJpeg(const uint8_t* data, size_t size, Bitmap32& out, int scaleDenom)
{
    return Run(data, size, out, scaleDenom, false);
}

bool DecodeJpegFile(const std::string& path, Bitmap32& out, int scaleDenom)
{
    std::vector<uint8_t> bytes;
    out = Bitmap32();
    return ReadFileBytes(path, bytes) && DecodeJpeg(bytes.data(), bytes.size(), out, scaleDenom);
}

} // namespace platform
