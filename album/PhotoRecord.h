// One photo's record in the photo database: a 152-byte head of little-endian fields, then the
// path and the keyword tag text as UTF-16. Records sit packed in one buffer, so a record is only
// ever seen through this view over its bytes; nothing here is a C++ object of its own.
#pragma once

#include "platform/Text.h"

#include <bit>
#include <cstdint>
#include <cstring>

constexpr uint32_t kPhotoRecordMarker = 0xFFFFFFFFu;
constexpr uint32_t kPhotoRecordHeadSize = 152;
constexpr uint16_t kPhotoRecordSeenBit = 0x8000;
constexpr uint16_t kPhotoRecordSizeMask = 0x7FFF;
// Paths and tag texts of the album hold at most this many characters.
constexpr size_t kPhotoTextMaxChars = 1023;
// The largest record a builder produces: head, path and tags of at most 2046 bytes each.
constexpr size_t kPhotoRecordMaxBytes = kPhotoRecordHeadSize + 2 * 2046;

namespace photorecord {
// Offsets of the head's fields.
enum Offset : uint32_t {
    kMarker = 0,
    kSizeAndSeen = 4,
    kPathHash = 8,
    kTypeCode = 12,
    kWidth = 14,
    kHeight = 16,
    kFileLength = 20,
    kLastWriteLow = 24,
    kDateBits = 28,
    kMaker = 32,
    kModel = 48,
    kExifBits = 80,
    kIsoDiv50 = 81,
    kFNumberX10 = 82,
    kExposureNum = 84,
    kExposureDen = 86,
    kExtraBits = 88,
    kPathBytes = 122,
    kTagBytes = 124,
    kLatitude = 128,
    kLongitude = 136,
    kOpenCount = 144,
};
constexpr uint32_t kMakerBytes = 16;
constexpr uint32_t kModelBytes = 32;

template <typename T>
inline T Get(const uint8_t* p)
{
    T v = 0;
    for (size_t i = 0; i < sizeof(T); ++i)
        v = static_cast<T>(v | static_cast<T>(static_cast<T>(p[i]) << (8 * i)));
    return v;
}
template <typename T>
inline void Put(uint8_t* p, T v)
{
    for (size_t i = 0; i < sizeof(T); ++i)
        p[i] = static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i));
}
} // namespace photorecord

// A view of a record's bytes; PhotoRecord pointers point into the database buffer (valid only
// while the database lock is held) or into a builder's own buffer.
struct PhotoRecord {
    uint8_t head[kPhotoRecordHeadSize];

    uint32_t Marker() const { return photorecord::Get<uint32_t>(head + photorecord::kMarker); }
    uint16_t SizeAndSeen() const { return photorecord::Get<uint16_t>(head + photorecord::kSizeAndSeen); }
    uint32_t Size() const { return SizeAndSeen() & kPhotoRecordSizeMask; }
    bool Seen() const { return (SizeAndSeen() & kPhotoRecordSeenBit) != 0; }
    void SetSeen(bool seen)
    {
        uint16_t v = SizeAndSeen();
        v = seen ? uint16_t(v | kPhotoRecordSeenBit) : uint16_t(v & kPhotoRecordSizeMask);
        photorecord::Put<uint16_t>(head + photorecord::kSizeAndSeen, v);
    }
    uint32_t PathHash() const { return photorecord::Get<uint32_t>(head + photorecord::kPathHash); }
    uint8_t TypeCode() const { return head[photorecord::kTypeCode]; }
    uint16_t Width() const { return photorecord::Get<uint16_t>(head + photorecord::kWidth); }
    uint16_t Height() const { return photorecord::Get<uint16_t>(head + photorecord::kHeight); }
    uint32_t FileLength() const { return photorecord::Get<uint32_t>(head + photorecord::kFileLength); }
    uint32_t LastWriteLow() const { return photorecord::Get<uint32_t>(head + photorecord::kLastWriteLow); }
    void SetLastWriteLow(uint32_t v) { photorecord::Put(head + photorecord::kLastWriteLow, v); }
    uint32_t DateBits() const { return photorecord::Get<uint32_t>(head + photorecord::kDateBits); }
    bool HasCameraData() const { return (DateBits() & 1) != 0; }
    int Year() const { return int((DateBits() >> 10) & 0x3FFF); }
    int Month() const { return int((DateBits() >> 1) & 15); }
    int Day() const { return int((DateBits() >> 5) & 31); }
    // Terminated within their fields when built by us; a foreign record may lack the 0, so
    // readers take at most the field's width.
    const char* Maker() const { return reinterpret_cast<const char*>(head + photorecord::kMaker); }
    const char* Model() const { return reinterpret_cast<const char*>(head + photorecord::kModel); }
    uint8_t ExifBits() const { return head[photorecord::kExifBits]; }
    uint8_t IsoDiv50() const { return head[photorecord::kIsoDiv50]; }
    uint8_t FNumberX10() const { return head[photorecord::kFNumberX10]; }
    uint16_t ExposureNum() const { return photorecord::Get<uint16_t>(head + photorecord::kExposureNum); }
    uint16_t ExposureDen() const { return photorecord::Get<uint16_t>(head + photorecord::kExposureDen); }
    uint8_t ExtraBits() const { return head[photorecord::kExtraBits]; }
    uint16_t PathBytes() const { return photorecord::Get<uint16_t>(head + photorecord::kPathBytes); }
    uint16_t TagBytes() const { return photorecord::Get<uint16_t>(head + photorecord::kTagBytes); }
    double Latitude() const { return std::bit_cast<double>(photorecord::Get<uint64_t>(head + photorecord::kLatitude)); }
    double Longitude() const { return std::bit_cast<double>(photorecord::Get<uint64_t>(head + photorecord::kLongitude)); }
    uint32_t OpenCount() const { return photorecord::Get<uint32_t>(head + photorecord::kOpenCount); }
    void SetOpenCount(uint32_t v) { photorecord::Put(head + photorecord::kOpenCount, v); }

    // The texts, read from the bytes after the head (the caller made sure they are there).
    platform::String16 Path() const { return Text(kPhotoRecordHeadSize, PathBytes()); }
    platform::String16 Tags() const { return Text(kPhotoRecordHeadSize + PathBytes(), TagBytes()); }

private:
    platform::String16 Text(uint32_t offset, uint32_t bytes) const
    {
        const uint8_t* p = head + offset;
        platform::String16 out(bytes / 2, u'\0');
        for (size_t i = 0; i < out.size(); ++i)
            out[i] = char16_t(photorecord::Get<uint16_t>(p + 2 * i));
        return out;
    }
};
static_assert(sizeof(PhotoRecord) == kPhotoRecordHeadSize);
static_assert(alignof(PhotoRecord) == 1);

// Whether a whole, consistent record starts at offset pos of a run of used bytes: the marker,
// a size equal to the head plus both texts, even text lengths, and all of it inside the run.
bool IsValidPhotoRecord(const uint8_t* run, size_t used, size_t pos);

// The number of leading bytes of a run made of valid records (a damaged run ends there).
size_t ValidPhotoRunLength(const uint8_t* run, size_t used);
