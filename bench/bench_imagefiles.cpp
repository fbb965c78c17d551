// How fast the album fills: thumbnails of a 24-megapixel JPEG (6000 x 4000), through the fast
// path with and without an embedded EXIF thumbnail, next to `vipsthumbnail photo.jpg -s 256`
// (a separate process, so its figure includes start-up and writing its output).
#include "bench/BenchJpeg.h"
#include "imaging/ImageBuffer.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "imaging/ImageCodec/JpegWriter.h"
#include "platform/JpegImage.h"
#include "platform/Text.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>
#include <unistd.h>

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr int kThumbSize = 256;

struct Photos {
    std::string folder;
    std::string plain;      // no embedded thumbnail
    std::string withThumb;  // a 160 x 120 EXIF thumbnail, as cameras write it
    bool haveThumb = false;
};

const Photos& TestPhotos()
{
    static Photos photos = [] {
        Photos p;
        p.folder = (std::filesystem::temp_directory_path() / ("zdbench-" + std::to_string(::getpid()))).string();
        std::filesystem::create_directories(p.folder);
        p.plain = p.folder + "/photo.jpg";
        p.withThumb = p.folder + "/camera.jpg";
        // Smooth shading with some fine detail, so the file size is that of a real photo.
        ImageBuffer8 image;
        AllocImage8(image, kWidth, kHeight);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                uint8_t* px = image.data + (size_t(y) * kWidth + x) * 4;
                double detail = 20 * std::sin(x * 0.05) * std::cos(y * 0.07);
                px[0] = uint8_t(std::clamp(60 + 120.0 * y / kHeight + detail, 0.0, 255.0));
                px[1] = uint8_t(std::clamp(90 + 100.0 * x / kWidth - detail, 0.0, 255.0));
                px[2] = uint8_t(std::clamp(200 - 150.0 * x / kWidth + detail, 0.0, 255.0));
                px[3] = 255;
            }
        JpegWriter writer;
        writer.SaveFile(platform::Utf8ToUtf16(p.plain).c_str(), image, 90);
        FreeImageBuffer(image);
        std::string thumb = p.folder + "/thumb.jpg";
        std::string cmd = "cp '" + p.plain + "' '" + p.withThumb + "' && /usr/bin/convert '" + p.plain
            + "' -resize 160x120 '" + thumb + "' >/dev/null 2>&1 && exiftool -q -overwrite_original "
            "'-ThumbnailImage<=" + thumb + "' '" + p.withThumb + "' >/dev/null 2>&1";
        p.haveThumb = std::system(cmd.c_str()) == 0;
        std::atexit([] { std::error_code ec; std::filesystem::remove_all(TestPhotos().folder, ec); });
        return p;
    }();
    return photos;
}

void Thumbnail(benchmark::State& state, const std::string& path, bool fast, int expectResult)
{
    std::u16string wide = platform::Utf8ToUtf16(path);
    for (auto _ : state) {
        ImageBuffer8 image;
        int result = LoadThumbnail(wide.c_str(), kThumbSize, image, fast);
        if (result != expectResult || std::max(image.width, image.height) != kThumbSize)
            state.SkipWithError("thumbnail failed");
        FreeImageBuffer(image);
    }
}

void BM_Thumbnail_FastDcDecode(benchmark::State& state)
{
    Thumbnail(state, TestPhotos().plain, true, 1);
}

void BM_Thumbnail_EmbeddedExif(benchmark::State& state)
{
    if (!TestPhotos().haveThumb) {
        state.SkipWithError("exiftool or ImageMagick missing: no photo with an embedded thumbnail");
        return;
    }
    Thumbnail(state, TestPhotos().withThumb, false, 2);
}

void BM_Thumbnail_NoEmbeddedFallsBackToDc(benchmark::State& state)
{
    Thumbnail(state, TestPhotos().plain, false, 1);
}

void BM_Vipsthumbnail(benchmark::State& state)
{
    if (std::system("command -v vipsthumbnail >/dev/null 2>&1") != 0) {
        state.SkipWithError("vipsthumbnail not installed (libvips-tools): no comparison");
        return;
    }
    std::string out = TestPhotos().folder + "/vips.jpg";
    std::string cmd = "vipsthumbnail '" + TestPhotos().plain + "' -s " + std::to_string(kThumbSize) + " -o '" + out + "'";
    for (auto _ : state)
        if (std::system(cmd.c_str()) != 0)
            state.SkipWithError("vipsthumbnail failed");
}

// The whole 24-megapixel picture as documents and previews get it, next to libjpeg-turbo's own
// one-call decoder writing BGRA into fresh memory. Both start from the file's bytes in memory;
// the third case adds reading the file.
const std::vector<uint8_t>& PhotoBytes()
{
    static std::vector<uint8_t> bytes = [] {
        std::vector<uint8_t> b;
        platform::ReadFileBytes(TestPhotos().plain, b);
        return b;
    }();
    return bytes;
}

void BM_Jpeg24MP_LoadImage8FromMemory(benchmark::State& state)
{
    const std::vector<uint8_t>& bytes = PhotoBytes();
    for (auto _ : state) {
        ImageBuffer8 image;
        if (!LoadJpegImage8(bytes.data(), bytes.size(), image) || image.width != kWidth)
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(image.data);
        FreeImageBuffer(image);
    }
}

void BM_Jpeg24MP_LoadImage8FromFile(benchmark::State& state)
{
    std::u16string wide = platform::Utf8ToUtf16(TestPhotos().plain);
    for (auto _ : state) {
        ImageBuffer8 image;
        if (!LoadImage8(wide.c_str(), image) || image.width != kWidth)
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(image.data);
        FreeImageBuffer(image);
    }
}

// The road as it was: the platform decode into a zero-filled vector, copied into the image.
void BM_Jpeg24MP_OldDecodeAndCopy(benchmark::State& state)
{
    const std::vector<uint8_t>& bytes = PhotoBytes();
    for (auto _ : state) {
        platform::Bitmap32 bitmap;
        ImageBuffer8 image;
        if (!platform::DecodeJpeg(bytes.data(), bytes.size(), bitmap) || !CopyBitmap32ToImage8(bitmap, image))
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(image.data);
        FreeImageBuffer(image);
    }
}

// A phone photo's quarter turn on load (EXIF Orientation 6): what standing it upright adds to
// BM_Jpeg24MP_LoadImage8FromMemory.
void BM_Jpeg24MP_OrientQuarterTurn(benchmark::State& state)
{
    ImageBuffer8 image;
    if (!LoadJpegImage8(PhotoBytes().data(), PhotoBytes().size(), image)) {
        state.SkipWithError("decode failed");
        return;
    }
    for (auto _ : state)
        if (!OrientImage8(image, 6))
            state.SkipWithError("turn failed");
    FreeImageBuffer(image);
}

void BM_Jpeg24MP_TjDecompress2(benchmark::State& state)
{
    const std::vector<uint8_t>& bytes = PhotoBytes();
    tjhandle handle = tjInitDecompress();
    for (auto _ : state)
        if (!TjDecompressFresh(handle, bytes, kWidth, kHeight))
            state.SkipWithError("tjDecompress2 failed");
    tjDestroy(handle);
}

} // namespace

BENCHMARK(BM_Jpeg24MP_TjDecompress2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Jpeg24MP_OldDecodeAndCopy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Jpeg24MP_LoadImage8FromMemory)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Jpeg24MP_LoadImage8FromFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Jpeg24MP_OrientQuarterTurn)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Thumbnail_FastDcDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Thumbnail_EmbeddedExif)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Thumbnail_NoEmbeddedFallsBackToDc)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Vipsthumbnail)->Unit(benchmark::kMillisecond)->UseRealTime();
