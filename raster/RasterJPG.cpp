// libjpeg reports fatal errors through a hook that must not return. It jumps back to the
// setjmp in DecodeJpeg/EncodeJpeg, so everything between the two is plain data: no C++
// object with a destructor lives in those frames.
#include "raster/RasterJPG.h"

#include "raster/RasterStream.h"
#include "platform/JpegImage.h"
#include "platform/Memory.h"

#include <algorithm>
#include <atomic>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

namespace {

constexpr size_t kStreamBufferSize = 4096;

// One object serves libjpeg as its source and as its destination over a CRasterStream.
struct JpegStreamManager {
    jpeg_source_mgr source;
    jpeg_destination_mgr destination;
    CRasterStream* stream;
    JOCTET* buffer;
    bool startOfFile;
};

struct JpegErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
    char* lastError;
};

JpegStreamManager* ManagerOf(j_decompress_ptr cinfo)
{
    return reinterpret_cast<JpegStreamManager*>(reinterpret_cast<char*>(cinfo->src) -
                                                offsetof(JpegStreamManager, source));
}

JpegStreamManager* ManagerOf(j_compress_ptr cinfo)
{
    return reinterpret_cast<JpegStreamManager*>(reinterpret_cast<char*>(cinfo->dest) -
                                                offsetof(JpegStreamManager, destination));
}

void ErrorExit(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    char message[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, message);
    std::snprintf(err->lastError, 256, "%s", message);
    std::longjmp(err->jump, 1);
}

// Warnings (a truncated file, a corrupt restart marker) never stop a decode and are dropped.
void OutputMessage(j_common_ptr) {}

void InitSource(j_decompress_ptr cinfo)
{
    ManagerOf(cinfo)->startOfFile = true;
}

boolean FillInputBuffer(j_decompress_ptr cinfo)
{
    JpegStreamManager* m = ManagerOf(cinfo);
    size_t n = m->stream->Read(m->buffer, 1, kStreamBufferSize);
    if (n == 0) {
        if (m->startOfFile)
            ERREXIT(cinfo, JERR_INPUT_EMPTY);
        WARNMS(cinfo, JWRN_JPEG_EOF);
        // An inserted end-of-image marker lets the library finish what it has.
        m->buffer[0] = 0xFF;
        m->buffer[1] = JPEG_EOI;
        n = 2;
    }
    m->source.next_input_byte = m->buffer;
    m->source.bytes_in_buffer = n;
    m->startOfFile = false;
    return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count)
{
    if (count <= 0)
        return;
    JpegStreamManager* m = ManagerOf(cinfo);
    while (count > static_cast<long>(m->source.bytes_in_buffer)) {
        count -= static_cast<long>(m->source.bytes_in_buffer);
        FillInputBuffer(cinfo);
    }
    m->source.next_input_byte += count;
    m->source.bytes_in_buffer -= static_cast<size_t>(count);
}

void TermSource(j_decompress_ptr) {}

void InitDestination(j_compress_ptr cinfo)
{
    JpegStreamManager* m = ManagerOf(cinfo);
    m->destination.next_output_byte = m->buffer;
    m->destination.free_in_buffer = kStreamBufferSize;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo)
{
    JpegStreamManager* m = ManagerOf(cinfo);
    if (m->stream->Write(m->buffer, 1, kStreamBufferSize) != kStreamBufferSize)
        ERREXIT(cinfo, JERR_FILE_WRITE);
    m->destination.next_output_byte = m->buffer;
    m->destination.free_in_buffer = kStreamBufferSize;
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo)
{
    JpegStreamManager* m = ManagerOf(cinfo);
    size_t count = kStreamBufferSize - m->destination.free_in_buffer;
    if (count > 0 && m->stream->Write(m->buffer, 1, count) != count)
        ERREXIT(cinfo, JERR_FILE_WRITE);
    m->stream->Flush();
    if (m->stream->Error())
        ERREXIT(cinfo, JERR_FILE_WRITE);
}

void InitManager(JpegStreamManager& m, CRasterStream* stream)
{
    std::memset(&m, 0, sizeof m);
    m.stream = stream;
    m.buffer = static_cast<JOCTET*>(std::malloc(kStreamBufferSize));
    m.source.init_source = InitSource;
    m.source.fill_input_buffer = FillInputBuffer;
    m.source.skip_input_data = SkipInputData;
    m.source.resync_to_restart = jpeg_resync_to_restart;
    m.source.term_source = TermSource;
    m.destination.init_destination = InitDestination;
    m.destination.empty_output_buffer = EmptyOutputBuffer;
    m.destination.term_destination = TermDestination;
}

// Readies the stream buffer and routes the library's errors into the image's error text; false,
// with the error set, when the buffer cannot be had.
bool PrepareManagers(CRasterJPG& image, CRasterStream* stream, JpegStreamManager& manager, JpegErrorManager& jerr)
{
    InitManager(manager, stream);
    if (!manager.buffer) {
        image.SetLastError("Insufficient memory");
        return false;
    }
    jpeg_std_error(&jerr.pub);
    jerr.pub.error_exit = ErrorExit;
    jerr.pub.output_message = OutputMessage;
    jerr.lastError = image.lastError;
    return true;
}

// Components c0..c3 as the library delivers Adobe CMYK (inverted): the fourth scales the rest.
void CmykToBgr(const JSAMPLE* in, uint8_t* out, uint32_t pixels)
{
    for (uint32_t x = 0; x < pixels; ++x, in += 4, out += 3) {
        unsigned c0 = in[0], c1 = in[1], c2 = in[2], k = in[3];
        out[0] = static_cast<uint8_t>(c2 * k / 255);
        out[1] = static_cast<uint8_t>(c1 * k / 255);
        out[2] = static_cast<uint8_t>(c0 * k / 255);
    }
}

// The first write to each 4 KiB page of a new picture costs a page fault with the kernel
// zeroing the page: about a third of a 24-megapixel decode. A helper thread asks the kernel to
// map the pages ahead of the decoder (from the top picture row, the highest address, down),
// so that work runs beside the decode instead of inside it. Pages stay zero; a page the
// decoder reaches first simply faults as before.
constexpr size_t kPrefaultMinBytes = size_t(8) << 20;
constexpr size_t kPrefaultChunk = size_t(1) << 20;

struct Prefault {
    std::atomic<bool> stop{false};
    uintptr_t begin = 0, end = 0; // page-aligned
    std::thread thread;
};

void RunPrefault(Prefault* job)
{
    for (uintptr_t end = job->end; end > job->begin && !job->stop.load(std::memory_order_relaxed);) {
        uintptr_t start = end - std::min<uintptr_t>(kPrefaultChunk, end - job->begin);
        // Kernels without the advice (before 5.14) refuse it: the decoder's faults do the work.
        if (!platform::PopulatePagesForWrite(reinterpret_cast<void*>(start), end - start))
            break;
        end = start;
    }
}

Prefault* StartPrefault(uint8_t* data, size_t size)
{
    if (size < kPrefaultMinBytes)
        return nullptr;
    const uintptr_t page = platform::MemoryPageSize();
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + page - 1) & ~(page - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) & ~(page - 1);
    // A block that is mapped already (one an earlier picture left behind) has its top page,
    // the decoder's first, in memory: walking its pages again would only cost time.
    if (end <= begin || platform::IsPageResident(reinterpret_cast<void*>(end - page)))
        return nullptr;
    auto* job = new (std::nothrow) Prefault;
    if (!job)
        return nullptr;
    job->begin = begin;
    job->end = end;
    try {
        job->thread = std::thread(RunPrefault, job);
    } catch (const std::system_error&) {
        delete job;
        return nullptr;
    }
    return job;
}

void StopPrefault(Prefault* job)
{
    if (!job)
        return;
    job->stop.store(true, std::memory_order_relaxed);
    job->thread.join();
    delete job;
}

// One sample per 8 pixels, spread over them.
template <int N>
void SpreadSamples(const uint8_t* samples, uint8_t* out, int32_t width)
{
    for (int32_t x0 = 0; x0 < width; x0 += 8, samples += N) {
        const int32_t end = std::min(width, x0 + 8);
        for (int32_t x = x0; x < end; ++x)
            for (int c = 0; c < N; ++c)
                out[size_t(x) * N + c] = samples[c];
    }
}

// With dcOnly the library reconstructs one sample per 8 x 8 block (its 1/8 scale) and each
// sample is spread over its block, which gives the full-size picture of flat blocks.
bool DecodeJpeg(CRasterJPG& image, CRasterStream* stream, bool dcOnly)
{
    if (!stream)
        return false;
    jpeg_decompress_struct cinfo;
    JpegErrorManager jerr;
    JpegStreamManager manager;
    if (!PrepareManagers(image, stream, manager, jerr))
        return false;
    cinfo.err = &jerr.pub;
    // Set before the jump point: the jump back may not see later changes to locals.
    JSAMPLE* volatile rowBuffer = nullptr;
    Prefault* volatile prefault = nullptr;
    if (setjmp(jerr.jump)) {
        StopPrefault(prefault);
        jpeg_destroy_decompress(&cinfo);
        std::free(manager.buffer);
        std::free(rowBuffer);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.src = &manager.source;
    jpeg_read_header(&cinfo, TRUE);

    int components = cinfo.num_components;
    if (components == 3)
        cinfo.out_color_space = JCS_EXT_BGR; // stored order; saves a swap per pixel
    else if (components != 1 && components != 4) {
        // Two-channel and other exotic layouts have no picture we could store.
        image.SetLastError("Unsupported JPEG color space");
        jpeg_destroy_decompress(&cinfo);
        std::free(manager.buffer);
        return false;
    }
    // Before the library allocates its own buffers for a picture of that size.
    const int32_t width = static_cast<int32_t>(cinfo.image_width);
    const int32_t height = static_cast<int32_t>(cinfo.image_height);
    if (!image.Create(width, height, 8 * components, RasterFormatJPG)) {
        image.SetLastError("Image too large");
        jpeg_destroy_decompress(&cinfo);
        std::free(manager.buffer);
        return false;
    }
    prefault = StartPrefault(image.Row(0), size_t(image.rowStride) * size_t(height));
    if (dcOnly) {
        cinfo.scale_num = 1;
        cinfo.scale_denom = 8;
    }
    jpeg_start_decompress(&cinfo);
    if (static_cast<int>(cinfo.output_components) != components)
        ERREXIT(&cinfo, JERR_CONVERSION_NOTIMPL);

    if (cinfo.density_unit == 2) {
        image.SetHorizontalDpi(cinfo.X_density * 254 / 100);
        image.SetVerticalDpi(cinfo.Y_density * 254 / 100);
    } else {
        image.SetHorizontalDpi(cinfo.X_density);
        image.SetVerticalDpi(cinfo.Y_density);
    }
    if (components == 1)
        image.MakeGreyPalette();

    const uint32_t outWidth = cinfo.output_width;
    const bool direct = !dcOnly && components != 4;
    if (!direct) {
        rowBuffer = static_cast<JSAMPLE*>(std::malloc(size_t(outWidth) * components + 16));
        if (!rowBuffer)
            ERREXIT1(&cinfo, JERR_OUT_OF_MEMORY, 0);
    }
    const uint32_t blockRows = dcOnly ? 8 : 1;
    const uint32_t pixelBytes = components == 1 ? 1 : 3;
    while (cinfo.output_scanline < cinfo.output_height) {
        if (image.EscapeRequested()) {
            StopPrefault(prefault);
            jpeg_destroy_decompress(&cinfo);
            std::free(manager.buffer);
            std::free(rowBuffer);
            return false;
        }
        const int64_t top = int64_t(cinfo.output_scanline) * blockRows; // picture row
        uint8_t* stored = image.Row(static_cast<int32_t>(height - 1 - top));
        if (direct) {
            JSAMPROW row = stored;
            jpeg_read_scanlines(&cinfo, &row, 1);
            continue;
        }
        JSAMPROW row = rowBuffer;
        jpeg_read_scanlines(&cinfo, &row, 1);
        if (components == 4) {
            uint32_t pixels = dcOnly ? outWidth : static_cast<uint32_t>(width);
            CmykToBgr(rowBuffer, rowBuffer, pixels); // in place: output trails input
        }
        if (!dcOnly) {
            std::memcpy(stored, rowBuffer, size_t(width) * 3);
            continue;
        }
        if (pixelBytes == 1)
            SpreadSamples<1>(rowBuffer, stored, width);
        else
            SpreadSamples<3>(rowBuffer, stored, width);
        for (int64_t r = top + 1; r < top + 8 && r < height; ++r)
            std::memcpy(image.Row(static_cast<int32_t>(height - 1 - r)), stored, image.rowStride);
    }
    // Cleared before finishing: a damaged tail still jumps to the error path, which must not
    // stop the helper a second time.
    StopPrefault(prefault);
    prefault = nullptr;
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::free(manager.buffer);
    std::free(rowBuffer);
    return true;
}

struct BgraErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
    int warnings;
};

void BgraErrorExit(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<BgraErrorManager*>(cinfo->err)->jump, 1);
}

void BgraMessage(j_common_ptr cinfo, int level)
{
    // Corrupt data shows up as a flood of warnings; give up rather than spin on it.
    auto* err = reinterpret_cast<BgraErrorManager*>(cinfo->err);
    if (level < 0 && ++err->warnings > 1000)
        std::longjmp(err->jump, 1);
}

bool DecodeBgra(jpeg_decompress_struct& cinfo, BgraErrorManager& err, const uint8_t* data, size_t size,
                int scaleDenom, JpegBgraAllocate allocate, void* context)
{
    // Set before the jump point: the jump back may not see later changes to locals.
    JSAMPLE* volatile rowBuffer = nullptr;
    Prefault* volatile prefault = nullptr;
    if (setjmp(err.jump)) {
        StopPrefault(prefault);
        jpeg_destroy_decompress(&cinfo);
        std::free(rowBuffer);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, const_cast<unsigned char*>(data), static_cast<unsigned long>(size));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    cinfo.scale_num = 1;
    cinfo.scale_denom = static_cast<unsigned int>(scaleDenom);
    jpeg_calc_output_dimensions(&cinfo);
    const uint32_t width = cinfo.output_width, height = cinfo.output_height;
    size_t stride = 0;
    uint8_t* top = nullptr;
    if (width > 0 && height > 0 && uint64_t(width) * height <= kMaxJpegBgraPixels)
        top = allocate(context, width, height, stride);
    if (!top || stride < size_t(width) * 4) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    prefault = StartPrefault(top, stride * height);
    if (cmyk) {
        rowBuffer = static_cast<JSAMPLE*>(std::malloc(size_t(width) * 4));
        if (!rowBuffer)
            ERREXIT1(&cinfo, JERR_OUT_OF_MEMORY, 0);
    }
    jpeg_start_decompress(&cinfo);
    const bool inverted = cinfo.saw_Adobe_marker;
    while (cinfo.output_scanline < height) {
        uint8_t* out = top + size_t(cinfo.output_scanline) * stride;
        JSAMPROW row = cmyk ? rowBuffer : out;
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1)
            ERREXIT(&cinfo, JERR_INPUT_EOF);
        if (cmyk)
            platform::CmykToBgra(rowBuffer, out, width, inverted);
    }
    // Cleared before finishing: a damaged tail still jumps to the error path, which must not
    // stop the helper a second time.
    StopPrefault(prefault);
    prefault = nullptr;
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::free(rowBuffer);
    return true;
}

bool EncodeJpeg(CRasterJPG& image, CRasterStream* stream)
{
    if (!stream || !image.dib)
        return false;
    const bool grey = image.PaletteCount() != 0;
    // Only an 8-bit identity ramp is a grey picture; packed 1- and 4-bit rows are no samples.
    if (grey && (image.BitsPerPixel() != 8 || !image.HasGreyPalette())) {
        image.SetLastError("JPEG can save only RGB or GreyScale images");
        return false;
    }
    jpeg_compress_struct cinfo;
    JpegErrorManager jerr;
    JpegStreamManager manager;
    if (!PrepareManagers(image, stream, manager, jerr))
        return false;
    cinfo.err = &jerr.pub;
    if (setjmp(jerr.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(manager.buffer);
        return false;
    }
    jpeg_create_compress(&cinfo);
    cinfo.dest = &manager.destination;
    cinfo.image_width = static_cast<JDIMENSION>(image.Width());
    cinfo.image_height = static_cast<JDIMENSION>(image.Height());
    cinfo.input_components = grey ? 1 : 3;
    cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_BGR; // rows as stored
    jpeg_set_defaults(&cinfo);
    if (!grey) {
        // The library's default YCbCr samples luma 2 x 2; without subsampling all three
        // components are sampled 1 x 1 (4:4:4).
        jpeg_set_colorspace(&cinfo, JCS_YCbCr);
        if (!image.chromaSubsampling) {
            for (int c = 0; c < 3; ++c) {
                cinfo.comp_info[c].h_samp_factor = 1;
                cinfo.comp_info[c].v_samp_factor = 1;
            }
        }
    }
    jpeg_set_quality(&cinfo, image.jpegQuality, TRUE);
    if (image.lumaQuantTable) {
        unsigned int table[DCTSIZE2];
        for (int i = 0; i < DCTSIZE2; ++i)
            table[i] = image.lumaQuantTable[i];
        jpeg_add_quant_table(&cinfo, 0, table, jpeg_quality_scaling(image.jpegQuality), TRUE);
    }
    cinfo.write_JFIF_header = TRUE;
    cinfo.density_unit = 1;
    cinfo.X_density = static_cast<UINT16>(image.xDpi);
    cinfo.Y_density = static_cast<UINT16>(image.yDpi);
    jpeg_start_compress(&cinfo, TRUE);
    const int32_t height = image.Height();
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = image.Row(static_cast<int32_t>(height - 1 - cinfo.next_scanline));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::free(manager.buffer);
    return true;
}

} // namespace

bool CRasterJPG::Decode(CRasterStream* stream)
{
    return DecodeJpeg(*this, stream, false);
}

bool CRasterJPG::DecodeJpegPreview(CRasterStream* stream)
{
    return DecodeJpeg(*this, stream, true);
}

bool CRasterJPG::Encode(CRasterStream* stream)
{
    return EncodeJpeg(*this, stream);
}

bool DecodeJpegBgra(const uint8_t* data, size_t size, int scaleDenom, JpegBgraAllocate allocate, void* context)
{
    if (!data || size < 4 || size > 0xFFFFFFFFu || !allocate)
        return false;
    if (scaleDenom != 1 && scaleDenom != 2 && scaleDenom != 4 && scaleDenom != 8)
        return false;
    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    BgraErrorManager err;
    std::memset(&err, 0, sizeof err);
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = BgraErrorExit;
    err.pub.emit_message = BgraMessage;
    err.pub.output_message = OutputMessage;
    return DecodeBgra(cinfo, err, data, size, scaleDenom, allocate, context);
}
