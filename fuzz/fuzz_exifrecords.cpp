// The property records of a project file: ids, kinds, counts and lengths chosen by whoever
// wrote the file, decoded into photo fields.
#include "imaging/DocStream.h"
#include "imaging/ImageCodec/ImageInfo.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CDocMemStream stream(data, size);
    ImageInfo info;
    info.SerializeProperties(stream, true);
    CDocMemStream out;
    info.SerializeProperties(out, false);
    info.GetMetadataSize(2);
    return 0;
}
