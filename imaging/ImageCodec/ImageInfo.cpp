#include "imaging/ImageCodec/ImageInfo.h"

#include "imaging/DocStream.h"
#include "imaging/ImageCodec/ImageType.h"
#include "imaging/ImageCodec/RawDecoder.h"
#include "platform/Calendar.h"
#include "platform/FileSystem.h"
#include "platform/ImageMetadata.h"
#include "platform/Path.h"
#include "platform/Text.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <ctime>

namespace {

// Texts are converted through a buffer of this size before they become items.
constexpr size_t kMaxTextBytes = 2047;
constexpr uint32_t kMaxKeptItemBytes = 65536;
constexpr size_t kMaxPhotoTags = 255;

const uint32_t kSkippedTags[] = {
    256, 257, 282, 283, 296, 273, 278, 279, 513, 514, 301,
    318, 319, 529, 532, 36864, 40960, 37121, 37122, 40962, 40963, 40965,
};

bool IsSkipped(uint32_t id)
{
    for (uint32_t t : kSkippedTags)
        if (t == id)
            return true;
    return false;
}

uint16_t ReadU16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t ReadU32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

void PutU16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void PutU32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

char16_t* DuplicateText(const char16_t* text)
{
    if (!text)
        return nullptr;
    size_t n = std::char_traits<char16_t>::length(text);
    char16_t* copy = new (std::nothrow) char16_t[n + 1];
    if (copy)
        std::memcpy(copy, text, (n + 1) * sizeof(char16_t));
    return copy;
}

void ReplaceText(char16_t*& field, char16_t* text)
{
    delete[] field;
    field = text;
}

bool IsValidUtf8(const uint8_t* s, size_t n)
{
    for (size_t i = 0; i < n;) {
        uint8_t c = s[i];
        size_t extra;
        if (c < 0x80)
            extra = 0;
        else if (c >= 0xC2 && c <= 0xDF)
            extra = 1;
        else if ((c & 0xF0) == 0xE0)
            extra = 2;
        else if (c >= 0xF0 && c <= 0xF4)
            extra = 3;
        else
            return false;
        if (extra > n - i - 1)
            return false;
        for (size_t k = 1; k <= extra; ++k)
            if ((s[i + k] & 0xC0) != 0x80)
                return false;
        i += extra + 1;
    }
    return true;
}

// Windows-1252 code points of the bytes 0x80..0x9F.
const char16_t kCp1252High[32] = {
    0x20AC, 0x81, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D, 0x017D, 0x8F,
    0x90, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D, 0x017E, 0x0178,
};

// A text as item bytes: UTF-8, cut at a character boundary to fit the conversion buffer,
// with its terminating zero.
std::vector<uint8_t> EncodeText(const char16_t* text, size_t maxBytes = kMaxTextBytes)
{
    std::string utf8 = platform::Utf16ToUtf8(platform::StringView16(text));
    if (utf8.size() > maxBytes) {
        size_t cut = maxBytes;
        while (cut > 0 && (uint8_t(utf8[cut]) & 0xC0) == 0x80)
            --cut;
        utf8.resize(cut);
    }
    std::vector<uint8_t> bytes(utf8.begin(), utf8.end());
    bytes.push_back(0);
    return bytes;
}

bool ReadRational(const ExifProperty& p, ExifRational& out)
{
    if (p.length < 8)
        return false;
    out.numerator = ReadU32(p.Value());
    out.denominator = ReadU32(p.Value() + 4);
    return true;
}

bool ReadShort(const ExifProperty& p, uint16_t& out)
{
    if (p.length < 2)
        return false;
    out = ReadU16(p.Value());
    return true;
}

void ReadFileFacts(ImageInfo& info, const std::string& path)
{
    platform::FileInfo facts;
    const platform::String16 wide = platform::FromNativePath(path);
    if (!platform::GetFileInfo(wide, facts))
        return;
    info.fileSize = uint32_t(facts.size);
    info.fileTime = SystemTimeFromUnix(platform::FileTimeToUnixSeconds(facts.lastWrite), false);
    // The name as text to show; the path itself is never rebuilt from it.
    platform::CopyText(info.fileName, platform::DisplayPath(platform::FileNamePart(wide)));
}

// The file system's own bytes of a path.
std::string NativePath(const char16_t* path)
{
    return path ? platform::ToNativePath(platform::StringView16(path)) : std::string();
}

void SetOrRemove(platform::ImageMetadata& meta, uint32_t id, uint16_t type, bool present, std::vector<uint8_t> value)
{
    if (present)
        meta.Set(platform::PropertyItem { id, type, std::move(value) });
    else
        meta.Remove(id);
}

std::vector<uint8_t> RationalBytes(uint32_t n, uint32_t d)
{
    std::vector<uint8_t> v;
    PutU32(v, n);
    PutU32(v, d);
    return v;
}

std::vector<uint8_t> ShortBytes(uint16_t s)
{
    std::vector<uint8_t> v;
    PutU16(v, s);
    return v;
}

void ApplyText(platform::ImageMetadata& meta, uint32_t id, const char16_t* text)
{
    // A text that did not change keeps its bytes: rewriting it could cut a long one.
    if (const platform::PropertyItem* old = meta.Find(id); old && text && *text) {
        std::unique_ptr<char16_t[]> was(DecodeExifText(old->value.data(), old->value.size()));
        if (was && platform::StringView16(was.get()) == platform::StringView16(text))
            return;
    }
    SetOrRemove(meta, id, platform::kPropertyAscii, text && *text, text ? EncodeText(text) : std::vector<uint8_t>());
}

void ApplyDate(platform::ImageMetadata& meta, uint32_t id, const SystemTime& t)
{
    if (t.year == 0) {
        // A date the program cannot show (a scan dated 1975) reads as unset; rewriting the
        // file's other metadata must not delete it. A date that was readable was cleared.
        const platform::PropertyItem* old = meta.Find(id);
        if (old) {
            std::string text(old->value.begin(), old->value.end());
            if (ParseExifDateTime(text.c_str()).year != 0)
                meta.Remove(id);
        }
        return;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d:%02d:%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
    std::vector<uint8_t> v(buf, buf + std::strlen(buf) + 1);
    meta.Set(platform::PropertyItem { id, platform::kPropertyAscii, std::move(v) });
}

// Upper case as the Western code page knows it (ASCII, the accented Latin-1 letters, and
// š, œ, ž, ÿ), so "été" and "Été" count as the same keyword.
platform::String16 UpperWestern(platform::String16 text)
{
    for (char16_t& c : text) {
        if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
            c = char16_t(c - 0x20);
        else if (c == 0xFF)
            c = 0x178;
        else if (c == 0x161 || c == 0x153 || c == 0x17E)
            c = char16_t(c - 1);
    }
    return text;
}

bool SaveKind(int type)
{
    return type == kImageTypeJpeg || type == kImageTypePng || type == kImageTypeTiff;
}

} // namespace

SystemTime SystemTimeFromUnix(int64_t t, bool local)
{
    platform::CalendarTime parts;
    SystemTime st;
    if (!platform::CalendarFromUnix(t, local, parts))
        return st;
    st.year = uint16_t(parts.year);
    st.month = uint16_t(parts.month);
    st.day = uint16_t(parts.day);
    st.hour = uint16_t(parts.hour);
    st.minute = uint16_t(parts.minute);
    st.second = uint16_t(parts.second);
    return st;
}

// ---- ExifProperty ---------------------------------------------------------------------------

uint32_t ExifKindForType(uint16_t type)
{
    switch (type) {
    case 1: case 2: return 5;
    case 3: return 1;
    case 5: case 10: return 4;
    case 4: case 9: return 2;
    default: return 0;
    }
}

int ExifProperty::SetValue(const uint8_t* value, uint32_t newLength)
{
    delete[] heapValue;
    heapValue = nullptr;
    length = 0;
    count = 0;
    uint8_t* target = inlineValue;
    if (newLength >= 255) {
        heapValue = new (std::nothrow) uint8_t[size_t(newLength) + 1];
        if (!heapValue) {
            inlineValue[0] = 0;
            return 0;
        }
        target = heapValue;
    }
    if (newLength && value)
        std::memcpy(target, value, newLength);
    else if (newLength)
        std::memset(target, 0, newLength);
    target[newLength] = 0;
    length = newLength;
    switch (kind) {
    case 1: count = length / 2; break;
    case 2: count = length / 4; break;
    case 4: count = length / 8; break;
    default: count = length; break;
    }
    return 1;
}

// ---- texts and dates ------------------------------------------------------------------------

char16_t* DecodeExifText(const uint8_t* bytes, size_t length)
{
    size_t n = 0;
    while (n < length && bytes[n])
        ++n;
    platform::String16 text;
    if (IsValidUtf8(bytes, n)) {
        text = platform::Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(bytes), n));
    } else {
        text.reserve(n);
        for (size_t i = 0; i < n; ++i)
            text.push_back(bytes[i] >= 0x80 && bytes[i] < 0xA0 ? kCp1252High[bytes[i] - 0x80] : char16_t(bytes[i]));
    }
    char16_t* out = new (std::nothrow) char16_t[text.size() + 1];
    if (out) {
        std::memcpy(out, text.data(), text.size() * sizeof(char16_t));
        out[text.size()] = 0;
    }
    return out;
}

SystemTime ParseExifDateTime(const char* text)
{
    SystemTime st;
    if (!text)
        return st;
    long values[6] = {};
    int count = 0;
    const char* p = text;
    while (*p && count < 6) {
        while (*p == ':' || *p == ' ')
            ++p;
        if (!*p)
            break;
        const char* start = p;
        while (*p && *p != ':' && *p != ' ')
            ++p;
        size_t len = size_t(p - start);
        if (len > 50)
            break;
        char token[51];
        std::memcpy(token, start, len);
        token[len] = 0;
        values[count++] = std::strtol(token, nullptr, 10);
    }
    if (values[0] < 1980 || values[0] > 2100 || values[1] < 1 || values[1] > 12 || values[2] < 0 || values[2] > 31
        || values[3] < 0 || values[3] > 24 || values[4] < 0 || values[4] > 60 || values[5] < 0 || values[5] > 60)
        return st;
    st.year = uint16_t(values[0]);
    st.month = uint16_t(values[1]);
    st.day = uint16_t(values[2]);
    st.hour = uint16_t(values[3]);
    st.minute = uint16_t(values[4]);
    st.second = uint16_t(values[5]);
    return st;
}

// ---- maker notes ----------------------------------------------------------------------------

uint16_t ParseMakerNote(const uint8_t* note, size_t length, int64_t noteOffset, bool littleEndian)
{
    constexpr uint16_t kNone = 0xFFFF;
    if (!note || length < 10)
        return kNone;
    auto prefix = [&](const char* p) { return std::strncmp(reinterpret_cast<const char*>(note), p, std::strlen(p)) == 0; };
    auto name = [&](const char* p) {
        size_t n = std::strlen(p);
        return std::memcmp(note, p, n) == 0 && note[n] == 0;
    };
    for (const char* p : { "KDK", "VER", "IIII", "MMMM", "KC", "MLY" })
        if (prefix(p))
            return kNone;

    bool little = littleEndian;
    bool nikon = false;
    // Offsets to values outside the entry count from the EXIF block for most notes; a Nikon
    // note carries its own TIFF header and counts from there.
    int64_t base = noteOffset >= 0 ? -noteOffset : INT64_MIN;
    uint64_t start = 0;
    if (name("Nikon")) {
        if (length < 18 || note[12] != 0 || note[13] != 42) {
            if (!(length >= 18 && note[10] == 'I' && note[11] == 'I' && note[12] == 42 && note[13] == 0))
                return kNone;
        }
        little = note[10] == 'I';
        uint32_t first = little ? ReadU32(note + 14)
                                : uint32_t(note[14]) << 24 | uint32_t(note[15]) << 16 | uint32_t(note[16]) << 8 | note[17];
        start = 10 + uint64_t(first);
        base = 10;
        nikon = true;
    } else if (name("OLYMPUS") || prefix("FUJIFILM") || prefix("SONY") || name("Panasonic")) {
        start = 12;
    } else if (name("OLYMP") || name("LEICA") || name("Ricoh") || name("EPSON")) {
        start = 8;
    } else if (name("AOC") || name("QVC")) {
        start = 6;
    }
    if (prefix("FUJIFILM")) {
        little = true;     // Fuji notes are always little-endian, offsets from the note
        base = 0;
    }

    auto u16 = [&](uint64_t at) -> uint16_t {
        return little ? ReadU16(note + at) : uint16_t(note[at] << 8 | note[at + 1]);
    };
    auto u32 = [&](uint64_t at) -> uint32_t {
        return little ? ReadU32(note + at)
                      : uint32_t(note[at]) << 24 | uint32_t(note[at + 1]) << 16 | uint32_t(note[at + 2]) << 8 | note[at + 3];
    };
    if (start + 2 > length)
        return kNone;
    uint16_t entries = u16(start);
    if (entries == 0 || entries > 100)
        return kNone;
    uint64_t at = start + 2;
    for (uint16_t i = 0; i < entries; ++i, at += 12) {
        if (at + 12 > length)
            break;
        uint16_t tag = u16(at);
        uint16_t type = u16(at + 2);
        uint32_t count = u32(at + 4);
        if (tag == 2 && nikon && (type == 3 || type == 8)) {
            // ISO setting: two SHORTs (0, ISO) inline.
            uint16_t iso = count >= 2 ? u16(at + 10) : u16(at + 8);
            return iso ? iso : kNone;
        }
        if (tag == 4 && count >= 27 && count <= 34 && type == 3 && base != INT64_MIN) {
            // Shot information: an array of SHORTs whose third entry is the base ISO code.
            int64_t where = int64_t(u32(at + 8)) + base;
            if (where < 0 || uint64_t(where) + 6 > length)
                return kNone;
            uint16_t code = u16(uint64_t(where) + 4);
            if (code == 0x7FFF || code == 0)
                return kNone;
            double iso = std::pow(2.0, code * 0.03125 - 4) * 50;
            return iso >= 1 && iso < 65535 ? uint16_t(iso) : kNone;
        }
    }
    return kNone;
}

// ---- ImageInfo ------------------------------------------------------------------------------

ImageInfo::ImageInfo()
{
    imageDescription = make = model = software = artist = copyright = photoTags = nullptr;
    Reset();
    metadataBytes = 0;
    orientation = 0;
}

ImageInfo::~ImageInfo()
{
    ClearProperties();
    FreeStrings();
}

void ImageInfo::Reset()
{
    width = height = 0;
    fileSize = 0;
    fileTime = SystemTime();
    fileName[0] = 0;
    dateTime = SystemTime();
    imageDescription = make = model = software = artist = copyright = photoTags = nullptr;
    colorSpace = kExifUnsetShort;
    userComment = nullptr;
    dateTimeOriginal = dateTimeDigitized = SystemTime();
    fNumber = exposureTime = ExifRational();
    exposureProgram = isoSpeedRatings = kExifUnsetShort;
    exposureBiasValue = ExifSRational();
    subjectDistance = ExifRational();
    meteringMode = lightSource = flash = kExifUnsetShort;
    focalLength = exposureIndex = ExifRational();
    gpsLatitudeRef = gpsLongitudeRef = gpsAltitudeRef = 0;
    for (int i = 0; i < 3; ++i)
        gpsLatitude[i] = gpsLongitude[i] = ExifRational();
    gpsAltitude = ExifRational();
}

void ImageInfo::FreeStrings()
{
    for (char16_t** text : { &imageDescription, &make, &model, &software, &artist, &copyright, &photoTags }) {
        delete[] *text;
        *text = nullptr;
    }
}

void ImageInfo::ClearProperties()
{
    for (ExifProperty* p : properties)
        delete p;
    properties.clear();
    userComment = nullptr;
}

bool ImageInfo::AddProperty(uint32_t id, uint16_t type, const uint8_t* value, uint32_t length)
{
    ExifProperty* p = new (std::nothrow) ExifProperty;
    if (!p)
        return false;
    p->id = id;
    p->type = type;
    p->kind = ExifKindForType(type);
    if (!p->SetValue(value, length)) {
        delete p;
        return false;
    }
    properties.push_back(p);
    return true;
}

const ExifProperty* ImageInfo::FindProperty(uint32_t id) const
{
    for (const ExifProperty* p : properties)
        if (p->id == id)
            return p;
    return nullptr;
}

void ImageInfo::CopyFrom(const ImageInfo& other)
{
    if (&other == this)
        return;
    FreeStrings();
    width = other.width;
    height = other.height;
    fileSize = other.fileSize;
    fileTime = other.fileTime;
    platform::CopyText(fileName, platform::BufferView(other.fileName));
    dateTime = other.dateTime;
    imageDescription = DuplicateText(other.imageDescription);
    make = DuplicateText(other.make);
    model = DuplicateText(other.model);
    software = DuplicateText(other.software);
    artist = DuplicateText(other.artist);
    copyright = DuplicateText(other.copyright);
    photoTags = DuplicateText(other.photoTags);
    colorSpace = other.colorSpace;
    userComment = nullptr;
    dateTimeOriginal = other.dateTimeOriginal;
    dateTimeDigitized = other.dateTimeDigitized;
    fNumber = other.fNumber;
    exposureTime = other.exposureTime;
    exposureProgram = other.exposureProgram;
    isoSpeedRatings = other.isoSpeedRatings;
    exposureBiasValue = other.exposureBiasValue;
    subjectDistance = other.subjectDistance;
    meteringMode = other.meteringMode;
    lightSource = other.lightSource;
    flash = other.flash;
    focalLength = other.focalLength;
    exposureIndex = other.exposureIndex;
    gpsLatitudeRef = other.gpsLatitudeRef;
    gpsLongitudeRef = other.gpsLongitudeRef;
    gpsAltitudeRef = other.gpsAltitudeRef;
    for (int i = 0; i < 3; ++i) {
        gpsLatitude[i] = other.gpsLatitude[i];
        gpsLongitude[i] = other.gpsLongitude[i];
    }
    gpsAltitude = other.gpsAltitude;
}

uint32_t ImageInfo::GetMetadataSize(int kind) const
{
    if (kind == 1)
        return metadataBytes + 256;
    if (kind == 2) {
        uint64_t sum = 256;
        for (const ExifProperty* p : properties)
            if (p->id != kTagThumbnailData)
                sum += uint64_t(p->length) + 12;
        return sum > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(sum);
    }
    return 256;
}

void DecodeExifFields(ImageInfo& info)
{
    info.metadataBytes = 0;
    info.userComment = nullptr;
    auto counted = [&](const ExifProperty& p) { info.metadataBytes += p.length + 12; };
    for (const ExifProperty* pp : info.properties) {
        const ExifProperty& p = *pp;
        const uint8_t* v = p.Value();
        ExifRational r;
        uint16_t s;
        switch (p.id) {
        case kTagGpsLatitudeRef:
        case kTagGpsLongitudeRef:
        case kTagGpsAltitudeRef:
            if (p.length >= 1) {
                (p.id == kTagGpsLatitudeRef ? info.gpsLatitudeRef : p.id == kTagGpsLongitudeRef ? info.gpsLongitudeRef : info.gpsAltitudeRef) = v[0];
                counted(p);
            }
            break;
        case kTagGpsLatitude:
        case kTagGpsLongitude:
            if (p.kind == 4 && p.count == 3 && p.length >= 24) {
                ExifRational* out = p.id == kTagGpsLatitude ? info.gpsLatitude : info.gpsLongitude;
                for (int i = 0; i < 3; ++i)
                    out[i] = ExifRational { ReadU32(v + 8 * i), ReadU32(v + 8 * i + 4) };
                counted(p);
            }
            break;
        case kTagGpsAltitude:
            if (ReadRational(p, info.gpsAltitude))
                counted(p);
            break;
        case kTagImageDescription: case kTagMake: case kTagModel: case kTagSoftware:
        case kTagArtist: case kTagCopyright: case kTagPhotoTags: {
            char16_t*& field = p.id == kTagImageDescription ? info.imageDescription
                : p.id == kTagMake ? info.make : p.id == kTagModel ? info.model
                : p.id == kTagSoftware ? info.software : p.id == kTagArtist ? info.artist
                : p.id == kTagCopyright ? info.copyright : info.photoTags;
            ReplaceText(field, DecodeExifText(v, p.length));
            counted(p);
            break;
        }
        case kTagOrientation:
            ReadShort(p, info.orientation);
            break;
        case kTagDateTime:
            info.dateTime = ParseExifDateTime(reinterpret_cast<const char*>(v));
            break;
        case kTagExposureTime: case kTagFNumber: case kTagSubjectDistance: case kTagFocalLength:
            if (ReadRational(p, r)) {
                (p.id == kTagExposureTime ? info.exposureTime : p.id == kTagFNumber ? info.fNumber
                    : p.id == kTagSubjectDistance ? info.subjectDistance : info.focalLength) = r;
                counted(p);
            }
            break;
        case kTagExposureBiasValue:
            if (ReadRational(p, r)) {
                info.exposureBiasValue = ExifSRational { int32_t(r.numerator), int32_t(r.denominator) };
                counted(p);
            }
            break;
        case kTagExposureProgram: case kTagIsoSpeedRatings: case kTagMeteringMode:
        case kTagLightSource: case kTagFlash:
            if (ReadShort(p, s)) {
                (p.id == kTagExposureProgram ? info.exposureProgram : p.id == kTagIsoSpeedRatings ? info.isoSpeedRatings
                    : p.id == kTagMeteringMode ? info.meteringMode : p.id == kTagLightSource ? info.lightSource : info.flash) = s;
                counted(p);
            }
            break;
        case kTagDateTimeOriginal:
        case kTagDateTimeDigitized:
            (p.id == kTagDateTimeOriginal ? info.dateTimeOriginal : info.dateTimeDigitized)
                = ParseExifDateTime(reinterpret_cast<const char*>(v));
            counted(p);
            break;
        case kTagShutterSpeedValue:
            if (info.exposureTime.denominator == 0 && ReadRational(p, r)) {
                int32_t d = int32_t(r.denominator);
                if (d == 0) {
                    info.exposureTime = ExifRational();
                } else {
                    double apex = double(int32_t(r.numerator)) / d;
                    double t = std::trunc(10000.0 / std::pow(2.0, apex) + 0.5);
                    info.exposureTime = t >= 0 && t < 4294967296.0 ? ExifRational { uint32_t(t), 10000 } : ExifRational();
                }
                counted(p);
            }
            break;
        case kTagApertureValue:
            if (info.fNumber.denominator == 0 && ReadRational(p, r)) {
                int32_t d = int32_t(r.denominator);
                if (d == 0) {
                    info.fNumber = ExifRational();
                } else {
                    double apex = double(int32_t(r.numerator)) / d;
                    double f = std::trunc(std::pow(2.0, apex / 2) * 10000 + 0.5);
                    info.fNumber = f >= 0 && f < 4294967296.0 ? ExifRational { uint32_t(f), 10000 } : ExifRational();
                }
                counted(p);
            }
            break;
        case kTagUserComment:
            info.userComment = &p;
            counted(p);
            break;
        case kTagColorSpace:
            if (ReadShort(p, s)) {
                info.colorSpace = s == 0xFFFF ? kColorSpaceUncalibrated : s;
                counted(p);
            }
            break;
        case kTagExposureIndex:
            ReadRational(p, info.exposureIndex);
            break;
        default:
            break;
        }
    }
}

namespace {

// The maker note's ISO, from the items of one read (the note is not a kept field of its own).
void ReadMakerNoteIso(ImageInfo& info, const platform::ImageMetadata& meta)
{
    if (info.isoSpeedRatings != kExifUnsetShort)
        return;
    const platform::PropertyItem* note = meta.Find(kTagMakerNote);
    if (!note || note->value.empty())
        return;
    uint16_t iso = ParseMakerNote(note->value.data(), note->value.size(), meta.MakerNoteOffset(), meta.LittleEndian());
    if (iso != 0xFFFF)
        info.isoSpeedRatings = iso;
}

} // namespace

int ImageInfo::ReadFile(const char16_t* path)
{
    ClearProperties();
    int type = ImageTypeFromExtension(path);
    std::string utf8 = NativePath(path);
    // Nothing of a photo read earlier into this object may stay (LibRaw fills only what the
    // file has).
    FreeStrings();
    Reset();
    if (type == kImageTypeRaw) {
        platform::ScopedLock lock(RawDecoderLock);
        return ReadRawInfo(utf8.c_str(), *this);
    }
    if (type == kImageTypeTga) {
        int w = 0, h = 0;
        if (!ReadCodecImageSize(utf8.c_str(), kRasterFormatTga, w, h))
            return 0;
        width = uint16_t(w);
        height = uint16_t(h);
        ReadFileFacts(*this, utf8);
        return 1;
    }
    if (utf8.empty() || !platform::IsRegularFile(platform::FromNativePath(utf8)))
        return 0;
    ReadFileFacts(*this, utf8);
    platform::ImageMetadata meta;
    if (!meta.ReadFile(utf8)) {
        // A picture without a metadata container exiv2 knows (PCX): its size and file facts.
        int w = 0, h = 0;
        if (ReadCodecImageSize(utf8.c_str(), CodecFormatFromExtension(path), w, h)) {
            width = uint16_t(std::min(w, 0xFFFF));
            height = uint16_t(std::min(h, 0xFFFF));
        }
        return 1;
    }
    width = uint16_t(std::min<uint32_t>(meta.Width(), 0xFFFF));
    height = uint16_t(std::min<uint32_t>(meta.Height(), 0xFFFF));
    for (const platform::PropertyItem& item : meta.Items()) {
        if (IsSkipped(item.id) || item.value.size() >= kMaxKeptItemBytes)
            continue;
        if (item.type == platform::kPropertyLong || item.type == platform::kPropertySLong)
            continue;
        AddProperty(item.id, item.type, item.value.data(), uint32_t(item.value.size()));
    }
    DecodeExifFields(*this);
    ReadMakerNoteIso(*this, meta);
    if (colorSpace == kColorSpaceUncalibrated && make && *make)
        colorSpace = 2;
    return 1;
}

void ApplyExifFields(const ImageInfo& info, platform::ImageMetadata& meta, bool colorSpaceSrgb)
{
    using namespace platform;
    ApplyText(meta, kTagMake, info.make);
    ApplyText(meta, kTagSoftware, info.software);
    ApplyText(meta, kTagModel, info.model);
    ApplyText(meta, kTagImageDescription, info.imageDescription);
    ApplyText(meta, kTagArtist, info.artist);
    ApplyText(meta, kTagCopyright, info.copyright);

    SetOrRemove(meta, kTagFNumber, kPropertyRational, info.fNumber.denominator != 0,
                RationalBytes(info.fNumber.numerator, info.fNumber.denominator));
    meta.Remove(kTagApertureValue);
    SetOrRemove(meta, kTagExposureTime, kPropertyRational, info.exposureTime.denominator != 0,
                RationalBytes(info.exposureTime.numerator, info.exposureTime.denominator));
    meta.Remove(kTagShutterSpeedValue);

    SetOrRemove(meta, kTagIsoSpeedRatings, kPropertyShort, info.isoSpeedRatings != kExifUnsetShort, ShortBytes(info.isoSpeedRatings));
    SetOrRemove(meta, kTagExposureProgram, kPropertyShort, info.exposureProgram != kExifUnsetShort, ShortBytes(info.exposureProgram));
    // Signed, as EXIF defines it: a negative bias stays negative in other programs.
    SetOrRemove(meta, kTagExposureBiasValue, kPropertySRational, info.exposureBiasValue.denominator != 0,
                RationalBytes(uint32_t(info.exposureBiasValue.numerator), uint32_t(info.exposureBiasValue.denominator)));
    SetOrRemove(meta, kTagMeteringMode, kPropertyShort, info.meteringMode != kExifUnsetShort, ShortBytes(info.meteringMode));
    SetOrRemove(meta, kTagFlash, kPropertyShort, info.flash != kExifUnsetShort, ShortBytes(info.flash));
    SetOrRemove(meta, kTagFocalLength, kPropertyRational, info.focalLength.denominator != 0,
                RationalBytes(info.focalLength.numerator, info.focalLength.denominator));
    SetOrRemove(meta, kTagSubjectDistance, kPropertyRational, info.subjectDistance.denominator != 0,
                RationalBytes(info.subjectDistance.numerator, info.subjectDistance.denominator));

    SetOrRemove(meta, kTagPhotoTags, kPropertyAscii, info.photoTags && *info.photoTags,
                info.photoTags ? EncodeText(info.photoTags, kMaxPhotoTags) : std::vector<uint8_t>());

    ApplyDate(meta, kTagDateTimeDigitized, info.dateTimeDigitized);
    ApplyDate(meta, kTagDateTimeOriginal, info.dateTimeOriginal);
    ApplyDate(meta, kTagDateTime, info.dateTime);

    if (colorSpaceSrgb)
        meta.Set(PropertyItem { kTagColorSpace, kPropertyShort, ShortBytes(1) });
}

namespace {

// Other programs reject a JPEG whose EXIF lacks the tags the standard makes mandatory; a rewrite
// adds those that are missing and states the pixel size the file really has.
void CompleteMandatoryExif(platform::ImageMetadata& meta, bool jpeg)
{
    using namespace platform;
    auto addIfMissing = [&](uint32_t id, uint16_t type, std::vector<uint8_t> value) {
        if (!meta.Find(id))
            meta.Set(PropertyItem { id, type, std::move(value) });
    };
    addIfMissing(0x011A, kPropertyRational, RationalBytes(72, 1)); // XResolution
    addIfMissing(0x011B, kPropertyRational, RationalBytes(72, 1)); // YResolution
    addIfMissing(0x0128, kPropertyShort, ShortBytes(2));           // ResolutionUnit: inches
    if (!jpeg)
        return;
    addIfMissing(0x0213, kPropertyShort, ShortBytes(1));                    // YCbCrPositioning: centred
    addIfMissing(0x9000, kPropertyUndefined, { '0', '2', '3', '0' });       // ExifVersion
    addIfMissing(0x9101, kPropertyUndefined, { 1, 2, 3, 0 });               // ComponentsConfiguration: YCbCr
    addIfMissing(0xA000, kPropertyUndefined, { '0', '1', '0', '0' });       // FlashpixVersion
    addIfMissing(kTagColorSpace, kPropertyShort, ShortBytes(0xFFFF));       // not known: uncalibrated
    if (meta.Width() && meta.Height()) {
        std::vector<uint8_t> w, h;
        PutU32(w, meta.Width());
        PutU32(h, meta.Height());
        meta.Set(PropertyItem { 0xA002, kPropertyLong, std::move(w) }); // PixelXDimension
        meta.Set(PropertyItem { 0xA003, kPropertyLong, std::move(h) }); // PixelYDimension
    }
}

} // namespace

int SaveImageProperties(const char16_t* path, const ImageInfo& info)
{
    if (!SaveKind(ImageTypeFromExtension(path)))
        return 0;
    std::string utf8 = NativePath(path);
    platform::ImageMetadata meta;
    if (!meta.ReadFile(utf8))
        return 0;
    ApplyExifFields(info, meta, false);
    CompleteMandatoryExif(meta, ImageTypeFromExtension(path) == kImageTypeJpeg);
    return meta.WriteFile(utf8) ? 1 : 0;
}

namespace {

// The kept items and the edited fields, as a file the program has just encoded gets them.
void PutBackInto(const ImageInfo& info, platform::ImageMetadata& meta, bool jpeg)
{
    for (const ExifProperty* p : info.properties) {
        platform::PropertyItem item { p->id, p->type, std::vector<uint8_t>(p->Value(), p->Value() + p->length) };
        meta.Set(item);
    }
    for (uint32_t id : { uint32_t(kTagThumbnailOffset), uint32_t(kTagThumbnailLength), uint32_t(kTagThumbnailData) })
        meta.Remove(id);
    // The program opened the photo turned upright and saves it so: a kept orientation would
    // turn it a second time in every viewer.
    if (meta.Find(kTagOrientation))
        meta.Set(platform::PropertyItem { kTagOrientation, platform::kPropertyShort, ShortBytes(1) });
    ApplyExifFields(info, meta, true);
    CompleteMandatoryExif(meta, jpeg);
}

} // namespace

int ImageInfo::WriteBack(const char16_t* path)
{
    if (!SaveKind(ImageTypeFromExtension(path)))
        return 1;
    std::string utf8 = NativePath(path);
    platform::ImageMetadata meta;
    if (!meta.ReadFile(utf8))
        return 0;
    PutBackInto(*this, meta, ImageTypeFromExtension(path) == kImageTypeJpeg);
    return meta.WriteFile(utf8) ? 1 : 0;
}

int ImageInfo::WriteBack(std::vector<uint8_t>& encoded, const char16_t* path)
{
    if (!SaveKind(ImageTypeFromExtension(path)))
        return 1;
    platform::ImageMetadata meta;
    if (!meta.ReadMemory(encoded.data(), encoded.size()))
        return 0;
    PutBackInto(*this, meta, ImageTypeFromExtension(path) == kImageTypeJpeg);
    std::vector<uint8_t> rewritten;
    if (!meta.WriteMemory(encoded, rewritten))
        return 0;
    encoded.swap(rewritten);
    return 1;
}

int ImageInfo::AddTag(const char16_t* path, const char16_t* keyword)
{
    if (ImageTypeFromExtension(path) != kImageTypeJpeg || !keyword || !*keyword)
        return 0;
    if (!ReadFile(path))
        return 0;
    platform::String16 word(keyword);
    platform::String16 text;
    if (photoTags && *photoTags) {
        platform::String16 existing(photoTags);
        // A keyword is one word of at most 32 characters; anything else is not added.
        if (word.size() > 32 || word.find(u' ') != platform::String16::npos)
            return 0;
        if (existing.size() + 1 + word.size() >= 256)
            return 0;
        platform::String16 haystack = UpperWestern(existing.substr(0, 260));
        platform::String16 needle = UpperWestern(word.substr(0, 35));
        if (haystack.find(needle) != platform::String16::npos)
            return 0;
        text = existing + u" " + word;
    } else {
        text = word;
    }
    // The tag holds at most 255 bytes; a longer text would be cut inside a keyword when it is
    // written (UTF-8 takes more than one byte for a character outside ASCII).
    if (platform::Utf16ToUtf8(text).size() > kMaxPhotoTags)
        return 0;
    char16_t* previous = photoTags;
    photoTags = DuplicateText(text.c_str());
    if (!photoTags) {
        photoTags = previous;
        return 0;
    }
    int result = SaveImageProperties(path, *this);
    if (result) {
        delete[] previous;
    } else {
        delete[] photoTags;
        photoTags = previous;
    }
    return result;
}

// ---- project-file records -------------------------------------------------------------------

int ImageInfo::SerializeProperties(CDocStream& stream, bool loading)
{
    if (!loading) {
        for (const ExifProperty* p : properties) {
            if (!stream.WriteU32(p->id) || !stream.WriteU32(p->kind) || !stream.WriteU16(p->type)
                || !stream.WriteU32(p->count) || !stream.WriteU32(p->length)
                || (p->length && !stream.Write(p->Value(), p->length)))
                return 0;
        }
        return 1;
    }
    ClearProperties();
    constexpr uint32_t kMaxRecordBytes = 256000;
    std::vector<uint8_t> buffer(kMaxRecordBytes);
    for (;;) {
        uint32_t id, kind, count, length;
        uint16_t type;
        if (!stream.ReadU32(id) || !stream.ReadU32(kind) || !stream.ReadU16(type) || !stream.ReadU32(count)
            || !stream.ReadU32(length) || length > kMaxRecordBytes)
            break;
        if (length && stream.Read(buffer.data(), length) != length)
            break;
        ExifProperty* p = new (std::nothrow) ExifProperty;
        if (!p)
            break;
        p->id = id;
        p->kind = kind;
        p->type = type;
        if (!p->SetValue(buffer.data(), length)) {
            delete p;
            break;
        }
        // The stored count is the writer's; the value's own length decides what can be read.
        properties.push_back(p);
    }
    DecodeExifFields(*this);
    return 1;
}
