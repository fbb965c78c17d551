// Maker notes are the least regular part of EXIF: every offset and count comes from the
// camera. The first five bytes choose the note's place in its block and the byte order.
#include "imaging/ImageCodec/ImageInfo.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 5)
        return 0;
    int32_t offset;
    std::memcpy(&offset, data, 4);
    bool little = data[4] & 1;
    ParseMakerNote(data + 5, size - 5, offset, little);
    return 0;
}
