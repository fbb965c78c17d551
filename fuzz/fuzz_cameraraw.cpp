// Camera RAW files through LibRaw as the program reads them: the size for the large-photo
// question, the shooting facts, the embedded preview and (for small pictures) the full decode.
// Damaged data must fail, never read past the file nor hang.
#include "imaging/ImageBuffer.h"
#include "imaging/ImageCodec/ImageInfo.h"
#include "imaging/ImageCodec/RawDecoder.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 22))
        return 0;
    // LibRaw tells the formats apart by their contents; the name only has to be one it is given.
    static const std::string path = (std::filesystem::temp_directory_path() /
                                     ("zendra-fuzz-camera-" + std::to_string(getpid()) + ".dng")).string();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    if (size)
        std::fwrite(data, 1, size, f);
    std::fclose(f);

    int width = 0, height = 0;
    const bool sized = ReadRawSize(path.c_str(), width, height);
    if (sized && (width <= 0 || height <= 0))
        __builtin_trap();
    ImageInfo info;
    ReadRawInfo(path.c_str(), info);
    uint32_t length = 0;
    int kind = 0, flip = 0;
    delete[] RawThumbnail(path.c_str(), length, kind, &flip);
    if (flip < 0 || flip > 7)
        __builtin_trap();
    // The full decode of what a fuzzer makes is kept small, so that each input stays quick.
    if (sized && int64_t(width) * height <= 512 * 512) {
        ImageBuffer16 image;
        if (DecodeRaw16(path.c_str(), image) && (image.width != width || image.height != height))
            __builtin_trap();
        FreeImageBuffer(image);
    }
    std::remove(path.c_str());
    return 0;
}
