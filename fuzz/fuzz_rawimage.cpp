// The raw temporary image file read back from arbitrary bytes.
#include "imaging/ImageBuffer.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                              ("zendra-fuzz-raw-" + std::to_string(getpid()) + ".bin");
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    if (size)
        std::fwrite(data, 1, size, f);
    std::fclose(f);
    ImageBuffer8 image;
    ReadRawImage8(image, path.u16string().c_str());
    FreeImageBuffer(image);
    std::filesystem::remove(path);
    return 0;
}
