// The EXIF reader on untrusted files: exiv2's parse into items, then the program's own
// decoding of those items into photo fields, the maker note included, and the program's own
// orientation reader.
#include "imaging/ImageCodec/ImageInfo.h"
#include "platform/ImageMetadata.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    const int orientation = platform::ReadJpegOrientation(data, size);
    if (orientation < 1 || orientation > 8)
        __builtin_trap();
    platform::ImageMetadata meta;
    if (!meta.ReadMemory(data, size))
        return 0;
    ImageInfo info;
    for (const platform::PropertyItem& item : meta.Items())
        if (item.value.size() < 65536)
            info.AddProperty(item.id, item.type, item.value.data(), uint32_t(item.value.size()));
    DecodeExifFields(info);
    if (const platform::PropertyItem* note = meta.Find(kTagMakerNote))
        ParseMakerNote(note->value.data(), note->value.size(), meta.MakerNoteOffset(), meta.LittleEndian());
    info.GetMetadataSize(1);
    info.GetMetadataSize(2);
    return 0;
}
