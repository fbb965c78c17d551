// What the program knows about a photo file besides its pixels: size, file facts, the EXIF
// fields it shows and edits, its keyword tags (private tag 53089), and the file's other
// metadata items, kept so that they survive editing and saving.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {
class ImageMetadata;
}
class CDocStream;

// Calendar time as the photo's metadata states it (the SYSTEMTIME layout).
struct SystemTime {
    uint16_t year = 0;
    uint16_t month = 0;
    uint16_t dayOfWeek = 0;
    uint16_t day = 0;
    uint16_t hour = 0;
    uint16_t minute = 0;
    uint16_t second = 0;
    uint16_t milliseconds = 0;
    bool operator==(const SystemTime&) const = default;
};

struct ExifRational {
    uint32_t numerator = 0;
    uint32_t denominator = 0;
    bool operator==(const ExifRational&) const = default;
};

struct ExifSRational {
    int32_t numerator = 0;
    int32_t denominator = 0;
    bool operator==(const ExifSRational&) const = default;
};

// Tags with a meaning of their own to the program.
enum ExifTag : uint32_t {
    kTagGpsLatitudeRef = 1,
    kTagGpsLatitude = 2,
    kTagGpsLongitudeRef = 3,
    kTagGpsLongitude = 4,
    kTagGpsAltitudeRef = 5,
    kTagGpsAltitude = 6,
    kTagImageDescription = 270,
    kTagMake = 271,
    kTagModel = 272,
    kTagOrientation = 274,
    kTagSoftware = 305,
    kTagDateTime = 306,
    kTagArtist = 315,
    kTagThumbnailOffset = 513,
    kTagThumbnailLength = 514,
    kTagThumbnailData = 20507,
    kTagCopyright = 33432,
    kTagExposureTime = 33434,
    kTagFNumber = 33437,
    kTagExposureProgram = 34850,
    kTagIsoSpeedRatings = 34855,
    kTagDateTimeOriginal = 36867,
    kTagDateTimeDigitized = 36868,
    kTagShutterSpeedValue = 37377,
    kTagApertureValue = 37378,
    kTagExposureBiasValue = 37380,
    kTagSubjectDistance = 37382,
    kTagMeteringMode = 37383,
    kTagLightSource = 37384,
    kTagFlash = 37385,
    kTagFocalLength = 37386,
    kTagMakerNote = 37500,
    kTagUserComment = 37510,
    kTagColorSpace = 40961,
    kTagExposureIndex = 41483,
    kTagPhotoTags = 53089,
};

constexpr uint16_t kExifUnsetShort = 0xFFFF;
constexpr uint16_t kColorSpaceUncalibrated = 0xFFFE;

// One kept metadata item. Short values live inline; from 255 bytes on they get a heap copy.
// A zero byte always follows the value, so ASCII items can be read as C strings.
struct ExifProperty {
    uint8_t inlineValue[256] = {};
    uint8_t* heapValue = nullptr;
    uint32_t id = 0;
    uint32_t kind = 0;   // 5 BYTE/ASCII, 1 SHORT, 4 (S)RATIONAL, 2 four-byte, 0 other
    uint16_t type = 0;   // TIFF type: 1 BYTE, 2 ASCII, 3 SHORT, 4 LONG, 5 RATIONAL, 7 UNDEFINED, ...
    uint32_t count = 0;
    uint32_t length = 0;

    ExifProperty() = default;
    ExifProperty(const ExifProperty&) = delete;
    ExifProperty& operator=(const ExifProperty&) = delete;
    ~ExifProperty() { delete[] heapValue; }

    const uint8_t* Value() const { return heapValue ? heapValue : inlineValue; }
    // 0 when a heap copy cannot be allocated (the item keeps no value then).
    int SetValue(const uint8_t* value, uint32_t length);
};

// The program's width class of a TIFF type.
uint32_t ExifKindForType(uint16_t type);

class ImageInfo {
public:
    ImageInfo();
    ~ImageInfo();
    ImageInfo(const ImageInfo&) = delete;
    ImageInfo& operator=(const ImageInfo&) = delete;

    uint16_t width;
    uint16_t height;
    uint32_t fileSize;
    SystemTime fileTime;
    char16_t fileName[256];
    SystemTime dateTime;
    // Owned texts (null when unset), freed by FreeStrings.
    char16_t* imageDescription;
    char16_t* make;
    char16_t* model;
    char16_t* software;
    char16_t* artist;
    char16_t* copyright;
    char16_t* photoTags;
    uint16_t colorSpace;
    const ExifProperty* userComment;
    SystemTime dateTimeOriginal;
    SystemTime dateTimeDigitized;
    ExifRational fNumber;
    ExifRational exposureTime;
    uint16_t exposureProgram;
    uint16_t isoSpeedRatings;
    ExifSRational exposureBiasValue;
    ExifRational subjectDistance;
    uint16_t meteringMode;
    uint16_t lightSource;
    uint16_t flash;
    ExifRational focalLength;
    ExifRational exposureIndex; // tag 41483
    uint8_t gpsLatitudeRef;
    ExifRational gpsLatitude[3];
    uint8_t gpsLongitudeRef;
    ExifRational gpsLongitude[3];
    uint8_t gpsAltitudeRef;
    ExifRational gpsAltitude;
    std::vector<ExifProperty*> properties;
    uint32_t metadataBytes;
    uint16_t orientation;

    // Every decoded field to its unset value; texts become null without being freed.
    void Reset();
    void FreeStrings();
    void ClearProperties();

    // Path as the program keeps it (UTF-16). 1 on success.
    int ReadFile(const char16_t* path);
    // File facts, decoded fields and owned copies of the texts; not the property list, the
    // metadata bytes or the orientation.
    void CopyFrom(const ImageInfo& other);
    // After the program saved pixels to a JPEG, PNG or TIFF file: puts the kept items and
    // the edited fields into it; a kept Orientation says 1 (the program's pixels stand upright).
    // 1 for other types (nothing to do); else the save's result.
    int WriteBack(const char16_t* path);
    // The same on a file still in memory (written to `path` afterwards, whose name gives the
    // type): `encoded` becomes the file with the metadata in place. 1 for other types.
    int WriteBack(std::vector<uint8_t>& encoded, const char16_t* path);
    // Adds a keyword to the photo tags of a JPEG file and rewrites its metadata.
    int AddTag(const char16_t* path, const char16_t* keyword);
    // The property list of a project file, one record per item, no count.
    int SerializeProperties(CDocStream& stream, bool loading);
    uint32_t GetMetadataSize(int kind) const;

    // Appends an item (id, type, value); false when its value cannot be stored.
    bool AddProperty(uint32_t id, uint16_t type, const uint8_t* value, uint32_t length);
    const ExifProperty* FindProperty(uint32_t id) const;
};

// Rewrites the metadata of a JPEG, PNG or TIFF file with the edited fields of info applied.
// Pixels are not touched and the file's colour space stays. 0 for other types or on failure.
int SaveImageProperties(const char16_t* path, const ImageInfo& info);

void DecodeExifFields(ImageInfo& info);
// Writes the editable fields into a file's items. colorSpaceSrgb: the program itself encoded
// the pixels as sRGB, so ColorSpace 1 is written; otherwise the file's colour space stays.
void ApplyExifFields(const ImageInfo& info, platform::ImageMetadata& meta, bool colorSpaceSrgb);
SystemTime ParseExifDateTime(const char* text);
// Seconds since 1970 (UTC) as calendar parts in UTC or local time; all zero when out of range.
SystemTime SystemTimeFromUnix(int64_t seconds, bool local);

// Looks for an ISO value in a maker note. noteOffset is where the note starts in the EXIF
// block (offsets inside many notes count from there), -1 when unknown; littleEndian is the
// EXIF block's byte order, used by notes without a header of their own. 0xFFFF when none.
uint16_t ParseMakerNote(const uint8_t* note, size_t length, int64_t noteOffset, bool littleEndian);

// Metadata texts: UTF-8 in files we write; on reading, text that is no valid UTF-8 is taken
// as Windows-1252, as older cameras and programs wrote it.
char16_t* DecodeExifText(const uint8_t* bytes, size_t length);
