#include "platform/Metafile.h"

#include <libwmf/api.h>
#include <libwmf/gd.h>
#include <libwmf/gd/gd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace platform {

namespace {

// libwmf keeps font and error state in process-wide tables set up on first use.
std::mutex g_wmfLock;

constexpr int kMaxSide = 16384;

// libwmf looks fonts up by their PostScript names; the standard faces map to DejaVu.
#define ZD_DEJAVU "/usr/share/fonts/truetype/dejavu/"
wmfMapping g_fontFiles[] = {
    {const_cast<char*>("Times-Roman"), const_cast<char*>(ZD_DEJAVU "DejaVuSerif.ttf"), FT_ENCODING_NONE},
    {const_cast<char*>("Times-Italic"), const_cast<char*>(ZD_DEJAVU "DejaVuSerif-Italic.ttf"),
     FT_ENCODING_NONE},
    {const_cast<char*>("Times-Bold"), const_cast<char*>(ZD_DEJAVU "DejaVuSerif-Bold.ttf"), FT_ENCODING_NONE},
    {const_cast<char*>("Times-BoldItalic"), const_cast<char*>(ZD_DEJAVU "DejaVuSerif-BoldItalic.ttf"),
     FT_ENCODING_NONE},
    {const_cast<char*>("Helvetica"), const_cast<char*>(ZD_DEJAVU "DejaVuSans.ttf"), FT_ENCODING_NONE},
    {const_cast<char*>("Helvetica-Oblique"), const_cast<char*>(ZD_DEJAVU "DejaVuSans-Oblique.ttf"),
     FT_ENCODING_NONE},
    {const_cast<char*>("Helvetica-Bold"), const_cast<char*>(ZD_DEJAVU "DejaVuSans-Bold.ttf"),
     FT_ENCODING_NONE},
    {const_cast<char*>("Helvetica-BoldOblique"), const_cast<char*>(ZD_DEJAVU "DejaVuSans-BoldOblique.ttf"),
     FT_ENCODING_NONE},
    {const_cast<char*>("Courier"), const_cast<char*>(ZD_DEJAVU "DejaVuSansMono.ttf"), FT_ENCODING_NONE},
    {const_cast<char*>("Courier-Oblique"), const_cast<char*>(ZD_DEJAVU "DejaVuSansMono-Oblique.ttf"),
     FT_ENCODING_NONE},
    {const_cast<char*>("Courier-Bold"), const_cast<char*>(ZD_DEJAVU "DejaVuSansMono-Bold.ttf"),
     FT_ENCODING_NONE},
    {const_cast<char*>("Courier-BoldOblique"), const_cast<char*>(ZD_DEJAVU "DejaVuSansMono-BoldOblique.ttf"),
     FT_ENCODING_NONE},
    {const_cast<char*>("Symbol"), const_cast<char*>(ZD_DEJAVU "DejaVuSans.ttf"), FT_ENCODING_NONE},
    {const_cast<char*>("ZapfDingbats"), const_cast<char*>(ZD_DEJAVU "DejaVuSans.ttf"), FT_ENCODING_NONE},
    {nullptr, nullptr, FT_ENCODING_NONE}};
char* g_fontDirs[] = {const_cast<char*>(ZD_DEJAVU), nullptr};
#undef ZD_DEJAVU

// The gd picture of a memory render belongs to the caller, and libwmf exports no call to free
// it: it is one pixel block, one block of row pointers and the image record, all malloc'ed.
void FreeGdImage(void* image)
{
    auto* im = static_cast<gdImagePtr>(image);
    if (!im)
        return;
    int* block = wmf_gd_image_pixels(image);
    free(block);
    free(im->tpixels);
    free(im);
}

int16_t ReadI16(const uint8_t* p)
{
    return static_cast<int16_t>(p[0] | (p[1] << 8));
}
uint32_t ReadU32(const uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24);
}
void PutI16(uint8_t* p, int v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

// libwmf draws a wide pen through a brush picture of the pen's size and renders glyphs at the
// font's height, so a hostile file can ask for gigabytes. Nothing drawn can be wider than the
// whole window, so pen widths and font heights are limited by the smallest window extent the
// file sets (or the frame). Records must also lie inside the file, the file ends at its end
// record, and the header's size and largest record are set from the records themselves.
bool LimitRecords(std::vector<unsigned char>& wmf, int frameW, int frameH)
{
    constexpr size_t kFirstRecord = 22 + 18;
    int limit = std::max(frameW, frameH);
    uint64_t maxWords = 3;
    // First pass: check the record chain and find the smallest window extent.
    for (size_t at = kFirstRecord;;) {
        if (at + 6 > wmf.size())
            return false;
        const uint64_t words = ReadU32(&wmf[at]);
        const uint16_t function = static_cast<uint16_t>(wmf[at + 4] | (wmf[at + 5] << 8));
        if (words < 3 || at + words * 2 > wmf.size())
            return false;
        if (function == 0) {
            // The end record ends the file, whatever size it claims: nothing after it is played.
            wmf[at] = 3;
            wmf[at + 1] = wmf[at + 2] = wmf[at + 3] = 0;
            wmf.resize(at + 6);
            const uint32_t total = static_cast<uint32_t>((wmf.size() - 22) / 2);
            for (int i = 0; i < 4; ++i)
                wmf[22 + 6 + i] = static_cast<unsigned char>(total >> (8 * i));
            break;
        }
        maxWords = std::max(maxWords, words);
        if (function == 0x020C && words >= 5)
            limit = std::min(
                limit, std::max(std::abs(int(ReadI16(&wmf[at + 6]))), std::abs(int(ReadI16(&wmf[at + 8])))));
        at += static_cast<size_t>(words) * 2;
    }
    // gd stamps a square brush of the pen's width at every point of a line, and lines may run far
    // outside the picture: pens wider than 1/32 of the window cost too much for what they show.
    const int fontLimit = std::max(limit, 1);
    const int penLimit = std::max(limit / 32, 1);
    // libwmf sizes its record buffer by the header's largest-record field: make it the truth.
    wmf[22 + 12] = static_cast<unsigned char>(maxWords);
    wmf[22 + 13] = static_cast<unsigned char>(maxWords >> 8);
    wmf[22 + 14] = static_cast<unsigned char>(maxWords >> 16);
    wmf[22 + 15] = static_cast<unsigned char>(maxWords >> 24);
    for (size_t at = kFirstRecord;;) {
        const uint64_t words = ReadU32(&wmf[at]);
        const uint16_t function = static_cast<uint16_t>(wmf[at + 4] | (wmf[at + 5] << 8));
        if (function == 0)
            break;
        // CreatePenIndirect: style, width (x, y); CreateFontIndirect: height, width first.
        if ((function == 0x02FA && words >= 6) || (function == 0x02FB && words >= 5)) {
            for (size_t field : {size_t(0), size_t(1)}) {
                const size_t pos = at + 6 + (function == 0x02FA ? 2 : 0) + field * 2;
                const int v = ReadI16(&wmf[pos]);
                const int limit = function == 0x02FA ? penLimit : fontLimit;
                if (std::abs(v) > limit)
                    PutI16(&wmf[pos], v < 0 ? -limit : limit);
            }
        }
        at += static_cast<size_t>(words) * 2;
    }
    return true;
}

} // namespace

bool RenderWindowsMetafile(const uint8_t* data, size_t size, int width, int height, uint32_t background,
                           std::vector<uint8_t>& bgr)
{
    bgr.clear();
    if (!data || size < 22 || size > 0x7FFFFFFF || width <= 0 || height <= 0 || width > kMaxSide ||
        height > kMaxSide)
        return false;
    if (data[0] != 0xD7 || data[1] != 0xCD || data[2] != 0xC6 || data[3] != 0x9A)
        return false;
    // libwmf measures in points from the frame's top-left corner.
    const int frameW = ReadI16(data + 10) - ReadI16(data + 6);
    const int frameH = ReadI16(data + 12) - ReadI16(data + 8);
    const int unitsPerInch = data[14] | (data[15] << 8);
    if (frameW <= 0 || frameH <= 0 || unitsPerInch <= 0)
        return false;
    wmfD_Rect frame;
    frame.TL.x = 0;
    frame.TL.y = 0;
    frame.BR.x = static_cast<float>(frameW * 72.0 / unitsPerInch);
    frame.BR.y = static_cast<float>(frameH * 72.0 / unitsPerInch);

    // libwmf reads from this copy only while the API object lives.
    std::vector<unsigned char> copy(data, data + size);
    if (!LimitRecords(copy, frameW, frameH))
        return false;
    std::lock_guard<std::mutex> lock(g_wmfLock);
    wmfAPI_Options options;
    std::memset(&options, 0, sizeof options);
    options.function = wmf_gd_function;
    options.fontdirs = g_fontDirs;
    options.font.ps = g_fontFiles;
    unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_FONTDIRS | WMF_OPT_FONTMAP | WMF_OPT_IGNORE_NONFATAL |
                          WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
    wmfAPI* api = nullptr;
    if (wmf_api_create(&api, flags, &options) != wmf_E_None) {
        if (api)
            wmf_api_destroy(api);
        return false;
    }
    bool ok = false;
    wmfD_Rect box;
    if (wmf_mem_open(api, copy.data(), static_cast<long>(copy.size())) == wmf_E_None &&
        wmf_scan(api, 0, &box) == wmf_E_None) {
        wmf_gd_t* device = WMF_GD_GetData(api);
        device->type = wmf_gd_image;
        box = frame;
        device->bbox = frame;
        device->width = static_cast<unsigned>(width);
        device->height = static_cast<unsigned>(height);
        if (wmf_play(api, 0, &box) == wmf_E_None && device->gd_image) {
            const int* pixels = wmf_gd_image_pixels(device->gd_image);
            if (pixels) {
                bgr.resize(static_cast<size_t>(width) * height * 3);
                for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i) {
                    // gd true colour: 7-bit alpha (0 opaque) above red, green, blue.
                    const uint32_t p = static_cast<uint32_t>(pixels[i]);
                    const uint32_t a = (p >> 24) & 0x7F;
                    for (int c = 0; c < 3; ++c) {
                        const uint32_t fg = (p >> (8 * c)) & 0xFF;
                        const uint32_t bg = (background >> (8 * c)) & 0xFF;
                        bgr[i * 3 + c] = static_cast<uint8_t>((fg * (127 - a) + bg * a + 63) / 127);
                    }
                }
                ok = true;
            }
        }
        FreeGdImage(device->gd_image);
        device->gd_image = nullptr;
        wmf_mem_close(api);
    }
    wmf_api_destroy(api);
    return ok;
}

} // namespace platform
