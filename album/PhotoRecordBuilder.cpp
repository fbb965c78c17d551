// Fills a photo record from ImageInfo, field by field.
#include "album/PhotoRecordBuilder.h"

#include "album/PhotoDatabase.h"
#include "imaging/ImageCodec/ImageInfo.h"
#include "imaging/ImageCodec/ImageType.h"

#include <algorithm>
#include <cstring>

namespace {

double RationalValue(const ExifRational& r)
{
    return r.denominator ? double(r.numerator) / double(r.denominator) : 0.0;
}

double Degrees(const ExifRational (&parts)[3])
{
    return RationalValue(parts[0]) + RationalValue(parts[1]) / 60.0 + RationalValue(parts[2]) / 3600.0;
}

void PutAscii(uint8_t* field, size_t maxChars, const char16_t* text)
{
    if (!text)
        return;
    for (size_t i = 0; i < maxChars && text[i]; ++i)
        field[i] = uint8_t(text[i] & 0x7F);
}

size_t TextLen(const char16_t* text)
{
    size_t n = 0;
    while (text && text[n])
        ++n;
    return n;
}

void PutText(uint8_t* at, platform::StringView16 text)
{
    for (size_t i = 0; i < text.size(); ++i)
        photorecord::Put<uint16_t>(at + 2 * i, uint16_t(text[i]));
}

} // namespace

int BuildPhotoRecord(platform::StringView16 path, PhotoRecordBuffer& out)
{
    using namespace photorecord;
    if (path.empty() || path.size() > kPhotoTextMaxChars)
        return 0;
    uint8_t* h = out.bytes;
    std::memset(h, 0, kPhotoRecordHeadSize);
    Put<uint32_t>(h + kMarker, kPhotoRecordMarker);
    const platform::String16 pathText(path);
    h[kTypeCode] = uint8_t(ImageTypeFromExtension(pathText.c_str()));

    ImageInfo info;
    if (info.ReadFile(pathText.c_str()) != 1)
        return 0;
    if (info.width == 0 || info.height == 0)
        return 0;
    Put<uint16_t>(h + kWidth, info.width);
    Put<uint16_t>(h + kHeight, info.height);
    Put<uint32_t>(h + kFileLength, info.fileSize);

    uint32_t dateBits = 0;
    const bool camera = TextLen(info.model) || TextLen(info.make) || info.exposureTime.denominator ||
                        info.fNumber.denominator;
    if (camera)
        dateBits |= 1;
    Put<uint32_t>(h + kPathHash, HashPhotoPath(path));
    Put<uint16_t>(h + kExposureNum, uint16_t(info.exposureTime.numerator));
    Put<uint16_t>(h + kExposureDen, uint16_t(info.exposureTime.denominator));
    // One byte each: values past its range are kept as its largest value, never wrapped (f/32
    // would read as f/6.4, ISO 12800 as 0).
    h[kFNumberX10] = uint8_t(std::min(RationalValue(info.fNumber) * 10.0, 255.0));

    uint8_t exifBits = 0;
    if (info.colorSpace != kExifUnsetShort)
        exifBits |= uint8_t(info.colorSpace & 3);
    const SystemTime& date = info.dateTimeDigitized.year ? info.dateTimeDigitized : info.dateTimeOriginal;
    if (date.year) {
        dateBits |= uint32_t(date.month & 15) << 1;
        dateBits |= uint32_t(date.day & 31) << 5;
        dateBits |= uint32_t(date.year & 0x3FFF) << 10;
    }
    Put<uint32_t>(h + kDateBits, dateBits);
    if (info.flash != kExifUnsetShort)
        exifBits |= uint8_t((info.flash & 3) << 6);
    if (info.isoSpeedRatings != kExifUnsetShort)
        h[kIsoDiv50] = uint8_t(std::min(info.isoSpeedRatings / 50, 255));
    if (info.meteringMode != kExifUnsetShort)
        exifBits |= uint8_t((info.meteringMode & 15) << 2);
    h[kExifBits] = exifBits;

    // A tag text longer than a record holds is cut at a word boundary, so no keyword is
    // stored half.
    platform::StringView16 tags(info.photoTags ? info.photoTags : u"");
    if (tags.size() > kPhotoTextMaxChars) {
        size_t cut = kPhotoTextMaxChars;
        while (cut > 0 && tags[cut] != u' ')
            --cut;
        tags = tags.substr(0, cut);
    }
    Put<uint16_t>(h + kPathBytes, uint16_t(2 * path.size()));
    Put<uint16_t>(h + kTagBytes, uint16_t(2 * tags.size()));
    PutText(h + kPhotoRecordHeadSize, path);
    PutText(h + kPhotoRecordHeadSize + 2 * path.size(), tags);
    const uint16_t size = uint16_t(kPhotoRecordHeadSize + 2 * path.size() + 2 * tags.size());
    Put<uint16_t>(h + kSizeAndSeen, uint16_t(size | kPhotoRecordSeenBit));

    PutAscii(h + kMaker, kMakerBytes - 1, info.make);
    PutAscii(h + kModel, kModelBytes - 1, info.model);

    double latitude = 0, longitude = 0;
    if (info.gpsLatitudeRef != 0 && info.gpsLatitude[0].denominator > 0) {
        latitude = Degrees(info.gpsLatitude);
        if (info.gpsLatitudeRef == 'S')
            latitude = -latitude;
        longitude = Degrees(info.gpsLongitude);
        // The stored sign is the reverse of the usual one: east is negative.
        if (info.gpsLongitudeRef == 'E')
            longitude = -longitude;
    }
    Put<uint64_t>(h + kLatitude, std::bit_cast<uint64_t>(latitude));
    Put<uint64_t>(h + kLongitude, std::bit_cast<uint64_t>(longitude));
    return 1;
}
