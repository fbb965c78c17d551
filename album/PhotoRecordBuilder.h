// Building a photo's record from its file: size, type, date, camera, exposure, GPS and tags,
// read through the photo's ImageInfo.
#pragma once

#include "album/PhotoRecord.h"
#include "platform/Text.h"

// Room for the largest record a builder makes.
struct PhotoRecordBuffer {
    uint8_t bytes[kPhotoRecordMaxBytes];
    PhotoRecord& Record() { return *reinterpret_cast<PhotoRecord*>(bytes); }
};

// 1 when the record was built (seen bit set, lastWriteLow and openCount 0); 0 when the file
// cannot be read, has no size, or its path is too long for the record (paths are never cut).
int BuildPhotoRecord(platform::StringView16 path, PhotoRecordBuffer& out);
