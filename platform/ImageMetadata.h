// Metadata items of an image file (EXIF over exiv2), in the form the program works with:
// a flat list of (id, type, value bytes), as the photo's own metadata model expects.
//
// Id space: IFD0 and Exif IFD tags keep their tag number; GPS tags keep theirs (0..31);
// the embedded thumbnail's bytes appear as kPropertyThumbnailData; the other entries of
// the thumbnail IFD and the whole Interoperability IFD are not listed, so no id collides.
// Values are kept little-endian, whatever the file's byte order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

enum PropertyType : uint16_t {
    kPropertyByte = 1,
    kPropertyAscii = 2,
    kPropertyShort = 3,
    kPropertyLong = 4,
    kPropertyRational = 5,
    kPropertyUndefined = 7,
    kPropertySLong = 9,
    kPropertySRational = 10,
};

constexpr uint32_t kPropertyThumbnailData = 20507;
constexpr uint32_t kPropertyOrientation = 274;
constexpr uint32_t kMakerNoteTag = 37500;

struct PropertyItem {
    uint32_t id = 0;
    uint16_t type = 0;
    std::vector<uint8_t> value;
};

// The EXIF Orientation of a JPEG (1 to 8: how the stored picture must be turned to stand as it
// was taken), read from its bytes without exiv2; 1 when there is none or it is out of range.
int ReadJpegOrientation(const uint8_t* data, size_t size);

class ImageMetadata {
public:
    ImageMetadata();
    ~ImageMetadata();
    ImageMetadata(ImageMetadata&&) noexcept;
    ImageMetadata& operator=(ImageMetadata&&) noexcept;

    // Reads the metadata of a JPEG, PNG or TIFF file (path in UTF-8). False when the file
    // cannot be read or is no image exiv2 knows; a file without metadata reads as empty.
    bool ReadFile(const std::string& path);
    bool ReadMemory(const uint8_t* data, size_t size);

    // Pixel size as the container states it (0 when unknown).
    uint32_t Width() const { return m_width; }
    uint32_t Height() const { return m_height; }

    // Byte order of the EXIF block, and where the maker note starts inside it (-1 unknown):
    // maker notes without a header of their own follow both.
    bool LittleEndian() const { return m_littleEndian; }
    int64_t MakerNoteOffset() const { return m_makerNoteOffset; }

    const std::vector<PropertyItem>& Items() const { return m_items; }
    const PropertyItem* Find(uint32_t id) const;

    // Adds or replaces an item. False for an item that cannot be stored (the thumbnail data,
    // a type EXIF does not know, a value whose length does not fit its type).
    bool Set(const PropertyItem& item);
    // Removes an item; removing kPropertyThumbnailData drops the whole embedded thumbnail.
    bool Remove(uint32_t id);

    // Writes the items into the file at path, replacing only its metadata: the pixel data
    // stays byte for byte. Works on a temporary copy in the same folder that is renamed over
    // the original only when everything was written. A read-only file is refused. True only
    // when the file was replaced.
    bool WriteFile(const std::string& path) const;
    // The same for a whole JPEG, PNG or TIFF file in memory: `out` is the file with the items
    // in place of its metadata. False (out empty) when the bytes are no such file.
    bool WriteMemory(const std::vector<uint8_t>& file, std::vector<uint8_t>& out) const;

private:
    // Clears everything, then reads the file at path, or data when path is null.
    bool ReadImage(const std::string* path, const uint8_t* data, size_t size, bool& isJpeg);
    void Rebuild();
    void AddRawMakerNote(const uint8_t* data, size_t size);

    struct State;
    std::unique_ptr<State> m_state;
    std::vector<PropertyItem> m_items;
    uint32_t m_width = 0;
    uint32_t m_height = 0;
    bool m_littleEndian = true;
    int64_t m_makerNoteOffset = -1;
};

// Length in bytes of one value of a TIFF type (0 for unknown types).
size_t PropertyTypeSize(uint16_t type);

} // namespace platform
