// A picture pasted from the clipboard is another program's bytes: the DIB reader must stay
// inside the block whatever its header claims, and what it reads must be a whole picture.
#include "ui/ClipboardUi.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const uint32_t format = (data[0] & 1) ? kCfDibV5 : 8;
    ImageBuffer8 picture;
    const ClipboardImageResult r = DecodeClipboardDib(data + 1, size - 1, format, picture);
    if (r == ClipboardImageResult::Read) {
        if (!picture.data || picture.width <= 0 || picture.height <= 0)
            std::abort();
        // Every pixel is there to read.
        volatile uint8_t sum = 0;
        for (size_t i = 0; i < size_t(picture.width) * size_t(picture.height) * 4; ++i)
            sum = uint8_t(sum + picture.data[i]);
    } else if (picture.data) {
        std::abort();
    }
    FreeImageBuffer(picture);
    return 0;
}
