// The document stream reader on untrusted bytes: project files, in both pixel variants.
#include "imaging/DocStream.h"
#include "imaging/Document.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte picks the variant and whether masks are read.
    const uint8_t mode = data[0];
    CDocMemStream stream(data + 1, size - 1);
    stream.pixelMode = (mode & 1) ? PixelStreamMode::Exact : PixelStreamMode::Packed;
    CZDDoc doc;
    if (doc.Serialize(stream, true, (mode & 2) != 0)) {
        // Whatever was read must write back and compose without trouble.
        CDocMemStream out;
        out.pixelMode = stream.pixelMode;
        doc.Serialize(out, false, true);
        if (doc.width > 0 && doc.height > 0 && uint64_t(doc.width) * doc.height <= (1u << 20)) {
            ImageBuffer16 flat;
            doc.Flatten(flat, 0);
            FreeImageBuffer(flat);
        }
    }
    return 0;
}
