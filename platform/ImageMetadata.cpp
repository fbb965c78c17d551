#include "platform/ImageMetadata.h"

#include "platform/ExivIo.h"
#include "platform/File.h"
#include "platform/JpegImage.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

// exiv2 0.27 still spells its smart pointers with std::auto_ptr.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace platform {

namespace {

// exiv2 writes its warnings to stderr unless told otherwise; bad files are expected input.
void QuietExiv2()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize();
    });
}

enum class Group { Image, Photo, Gps, None };

Group GroupOf(const std::string& name)
{
    if (name == "Image")
        return Group::Image;
    if (name == "Photo")
        return Group::Photo;
    if (name == "GPSInfo")
        return Group::Gps;
    return Group::None;
}

bool IsPhotoTag(uint16_t tag)
{
    for (const Exiv2::TagInfo* t = Exiv2::ExifTags::tagList("Photo"); t && t->tag_ != 0xFFFF; ++t)
        if (t->tag_ == tag)
            return true;
    return false;
}

// The EXIF block (a TIFF structure) of a JPEG: the APP1 segment that starts with "Exif\0\0".
bool FindJpegExifBlock(const uint8_t* data, size_t size, const uint8_t*& block, size_t& length)
{
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8)
        return false;
    for (size_t at = 2; at + 4 <= size;) {
        if (data[at] != 0xFF)
            return false;
        uint8_t marker = data[at + 1];
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9)
            return false;
        size_t segment = size_t(data[at + 2]) << 8 | data[at + 3];
        if (segment < 2 || at + 2 + segment > size)
            return false;
        if (marker == 0xE1 && segment >= 8 && std::memcmp(data + at + 4, "Exif\0\0", 6) == 0) {
            block = data + at + 10;
            length = segment - 8;
            return true;
        }
        at += 2 + segment;
    }
    return false;
}

// A bounded walk of IFD0 and the Exif IFD for tag 37500: the note's bytes and its offset
// in the block. Every offset and count is checked against the block in 64 bits.
bool FindMakerNote(const uint8_t* tiff, size_t size, std::vector<uint8_t>& note, int64_t& offset)
{
    if (size < 8)
        return false;
    bool little = tiff[0] == 'I' && tiff[1] == 'I';
    if (!little && !(tiff[0] == 'M' && tiff[1] == 'M'))
        return false;
    auto u16 = [&](uint64_t at) { return little ? uint16_t(tiff[at] | tiff[at + 1] << 8) : uint16_t(tiff[at] << 8 | tiff[at + 1]); };
    auto u32 = [&](uint64_t at) {
        return little ? uint32_t(tiff[at]) | uint32_t(tiff[at + 1]) << 8 | uint32_t(tiff[at + 2]) << 16 | uint32_t(tiff[at + 3]) << 24
                      : uint32_t(tiff[at]) << 24 | uint32_t(tiff[at + 1]) << 16 | uint32_t(tiff[at + 2]) << 8 | uint32_t(tiff[at + 3]);
    };
    if (u16(2) != 42)
        return false;
    // Finds an entry of an IFD; returns the entry's position or 0.
    auto findEntry = [&](uint64_t ifd, uint16_t tag) -> uint64_t {
        if (ifd < 8 || ifd + 2 > size)
            return 0;
        uint16_t entries = u16(ifd);
        for (uint32_t i = 0; i < entries; ++i) {
            uint64_t entry = ifd + 2 + uint64_t(i) * 12;
            if (entry + 12 > size)
                return 0;
            if (u16(entry) == tag)
                return entry;
        }
        return 0;
    };
    uint64_t pointer = findEntry(u32(4), 34665);
    if (!pointer)
        return false;
    uint64_t entry = findEntry(u32(pointer + 8), 37500);
    if (!entry)
        return false;
    uint64_t count = u32(entry + 4);
    uint64_t start = count <= 4 ? entry + 8 : u32(entry + 8);
    if (count == 0 || start + count > size)
        return false;
    note.assign(tiff + start, tiff + start + count);
    offset = int64_t(start);
    return true;
}

} // namespace

int ReadJpegOrientation(const uint8_t* data, size_t size)
{
    const uint8_t* tiff = nullptr;
    size_t length = 0;
    if (!data || !FindJpegExifBlock(data, size, tiff, length) || length < 8)
        return 1;
    const bool little = tiff[0] == 'I' && tiff[1] == 'I';
    if (!little && !(tiff[0] == 'M' && tiff[1] == 'M'))
        return 1;
    auto u16 = [&](uint64_t at) { return little ? uint16_t(tiff[at] | tiff[at + 1] << 8) : uint16_t(tiff[at] << 8 | tiff[at + 1]); };
    auto u32 = [&](uint64_t at) { return little ? uint32_t(u16(at)) | uint32_t(u16(at + 2)) << 16 : uint32_t(u16(at)) << 16 | u16(at + 2); };
    if (u16(2) != 42)
        return 1;
    const uint64_t ifd = u32(4);
    if (ifd < 8 || ifd + 2 > length)
        return 1;
    for (uint32_t i = 0, n = u16(ifd); i < n; ++i) {
        const uint64_t entry = ifd + 2 + uint64_t(i) * 12;
        if (entry + 12 > length)
            return 1;
        if (u16(entry) == kPropertyOrientation) {
            const uint16_t value = u16(entry + 8);
            return u16(entry + 2) == kPropertyShort && u32(entry + 4) >= 1 && value >= 1 && value <= 8 ? value : 1;
        }
    }
    return 1;
}

size_t PropertyTypeSize(uint16_t type)
{
    switch (type) {
    case 1: case 2: case 6: case 7: return 1;
    case 3: case 8: return 2;
    case 4: case 9: case 11: return 4;
    case 5: case 10: case 12: return 8;
    default: return 0;
    }
}

struct ImageMetadata::State {
    Exiv2::ExifData exif;
};

ImageMetadata::ImageMetadata() : m_state(std::make_unique<State>()) { }
ImageMetadata::~ImageMetadata() = default;
ImageMetadata::ImageMetadata(ImageMetadata&&) noexcept = default;
ImageMetadata& ImageMetadata::operator=(ImageMetadata&&) noexcept = default;

bool ImageMetadata::ReadImage(const std::string* path, const uint8_t* data, size_t size, bool& isJpeg)
{
    QuietExiv2();
    isJpeg = false;
    m_state = std::make_unique<State>();
    m_items.clear();
    m_width = m_height = 0;
    m_littleEndian = true;
    if (!path && (!data || size == 0 || size > 0x7FFFFFFF))
        return false;
    try {
        Exiv2::Image::AutoPtr image = path ? Exiv2::ImageFactory::open(*path, false)
                                           : Exiv2::ImageFactory::open(data, static_cast<long>(size));
        if (!image.get())
            return false;
        image->readMetadata();
        m_state->exif = image->exifData();
        m_width = image->pixelWidth();
        m_height = image->pixelHeight();
        m_littleEndian = image->byteOrder() != Exiv2::bigEndian;
        isJpeg = image->imageType() == Exiv2::ImageType::jpeg;
    } catch (...) {
        return false;
    }
    Rebuild();
    return true;
}

bool ImageMetadata::ReadFile(const std::string& path)
{
    // Through the platform's checked open (a folder, pipe or device under the name is refused,
    // never waited on); exiv2 then reads exactly that file by its descriptor's name.
    File file;
    if (!file.OpenNative(path, FileMode::Read)) {
        bool isJpeg;
        ReadImage(nullptr, nullptr, 0, isJpeg); // clears what an earlier read left
        return false;
    }
    const std::string name = file.DescriptorPath();
    bool isJpeg;
    if (!ReadImage(&name, nullptr, 0, isJpeg))
        return false;
    if (isJpeg) {
        // The EXIF segment sits at the start of the file; 256 KB holds it with room to spare.
        std::vector<uint8_t> head(256 * 1024);
        size_t got = 0;
        while (got < head.size()) {
            const int64_t n = file.Read(head.data() + got, head.size() - got);
            if (n <= 0)
                break;
            got += size_t(n);
        }
        head.resize(got);
        AddRawMakerNote(head.data(), head.size());
    }
    return true;
}

bool ImageMetadata::ReadMemory(const uint8_t* data, size_t size)
{
    bool isJpeg;
    if (!ReadImage(nullptr, data, size, isJpeg))
        return false;
    if (isJpeg)
        AddRawMakerNote(data, size);
    return true;
}

void ImageMetadata::AddRawMakerNote(const uint8_t* data, size_t size)
{
    // exiv2 takes apart the maker notes it knows and then lists no raw note; readers of the
    // ISO fallback and the kept items want the note's bytes as the file has them.
    const uint8_t* block = nullptr;
    size_t length = 0;
    std::vector<uint8_t> note;
    int64_t offset = -1;
    if (!data || !FindJpegExifBlock(data, size, block, length) || !FindMakerNote(block, length, note, offset))
        return;
    if (!Find(kMakerNoteTag))
        m_items.push_back(PropertyItem { kMakerNoteTag, kPropertyUndefined, std::move(note) });
    if (m_makerNoteOffset < 0)
        m_makerNoteOffset = offset;
}

void ImageMetadata::Rebuild()
{
    m_items.clear();
    m_makerNoteOffset = -1;
    try {
        auto offset = m_state->exif.findKey(Exiv2::ExifKey("Exif.MakerNote.Offset"));
        if (offset != m_state->exif.end() && offset->count() > 0)
            m_makerNoteOffset = offset->toLong();
        for (const Exiv2::Exifdatum& d : m_state->exif) {
            Group group = GroupOf(d.groupName());
            if (group == Group::None)
                continue;
            uint16_t type = static_cast<uint16_t>(d.typeId());
            if (PropertyTypeSize(type) == 0)
                type = kPropertyUndefined;
            long size = d.size();
            if (size < 0)
                continue;
            PropertyItem item;
            item.id = d.tag();
            item.type = type;
            item.value.resize(static_cast<size_t>(size));
            if (size > 0)
                d.copy(item.value.data(), Exiv2::littleEndian);
            // A file may hold the same tag twice; the first one counts, as readers expect.
            if (!Find(item.id))
                m_items.push_back(std::move(item));
        }
        Exiv2::ExifThumbC thumb(m_state->exif);
        Exiv2::DataBuf buf = thumb.copy();
        if (buf.size_ > 0 && buf.pData_) {
            PropertyItem item;
            item.id = kPropertyThumbnailData;
            item.type = kPropertyByte;
            item.value.assign(buf.pData_, buf.pData_ + buf.size_);
            m_items.push_back(std::move(item));
        }
    } catch (...) {
        // What was listed before the fault stays usable.
    }
}

const PropertyItem* ImageMetadata::Find(uint32_t id) const
{
    for (const PropertyItem& item : m_items)
        if (item.id == id)
            return &item;
    return nullptr;
}

bool ImageMetadata::Set(const PropertyItem& item)
{
    size_t unit = PropertyTypeSize(item.type);
    if (item.id == kPropertyThumbnailData || item.id > 0xFFFF || unit == 0
        || item.value.size() % unit != 0 || item.value.size() > 0xFFFFFF)
        return false;
    QuietExiv2();
    try {
        uint16_t tag = static_cast<uint16_t>(item.id);
        std::string group = tag <= 31 ? "GPSInfo" : IsPhotoTag(tag) ? "Photo" : "Image";
        Exiv2::ExifKey key(tag, group);
        Exiv2::Value::AutoPtr value = Exiv2::Value::create(static_cast<Exiv2::TypeId>(item.type));
        if (!item.value.empty()
            && value->read(item.value.data(), static_cast<long>(item.value.size()), Exiv2::littleEndian) != 0)
            return false;
        auto it = m_state->exif.findKey(key);
        if (it != m_state->exif.end())
            it->setValue(value.get());
        else
            m_state->exif.add(key, value.get());
    } catch (...) {
        return false;
    }
    auto found = std::find_if(m_items.begin(), m_items.end(), [&](const PropertyItem& i) { return i.id == item.id; });
    if (found != m_items.end())
        *found = item;
    else
        m_items.push_back(item);
    return true;
}

bool ImageMetadata::Remove(uint32_t id)
{
    auto found = std::find_if(m_items.begin(), m_items.end(), [&](const PropertyItem& i) { return i.id == id; });
    if (found == m_items.end())
        return false;
    m_items.erase(found);
    try {
        if (id == kPropertyThumbnailData) {
            Exiv2::ExifThumb thumb(m_state->exif);
            thumb.erase();
            return true;
        }
        for (auto it = m_state->exif.begin(); it != m_state->exif.end();) {
            Group group = GroupOf(it->groupName());
            bool match = it->tag() == id && (group == Group::Gps ? id <= 31 : group != Group::None);
            it = match ? m_state->exif.erase(it) : std::next(it);
        }
    } catch (...) {
        return false;
    }
    return true;
}

bool ImageMetadata::WriteMemory(const std::vector<uint8_t>& file, std::vector<uint8_t>& out) const
{
    QuietExiv2();
    out.clear();
    if (file.empty() || file.size() > 0x7FFFFFFF)
        return false;
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(file.data(), static_cast<long>(file.size()));
        if (!image.get())
            return false;
        image->readMetadata();
        int type = image->imageType();
        if (type != Exiv2::ImageType::jpeg && type != Exiv2::ImageType::png && type != Exiv2::ImageType::tiff)
            return false;
        image->setExifData(m_state->exif);
        image->writeMetadata();
        if (!ReadWholeExivIo(image->io(), out))
            return false;
    } catch (...) {
        out.clear();
        return false;
    }
    return true;
}

bool ImageMetadata::WriteFile(const std::string& path) const
{
    // Only an existing photo that may be written is rewritten; exiv2 edits a copy in memory, and the new file
    // replaces the original in one rename once it is completely on disk.
    std::vector<uint8_t> bytes;
    if (!MayReplaceFile(path, true) || !ReadFileBytes(path, bytes)
        || bytes.empty() || bytes.size() > 0x7FFFFFFF)
        return false;
    std::vector<uint8_t> rewritten;
    if (!WriteMemory(bytes, rewritten))
        return false;
    AtomicFileWriter writer;
    return writer.OpenNative(path) && writer.Write(rewritten.data(), rewritten.size()) && writer.Commit();
}

bool ReadWholeExivIo(Exiv2::BasicIo& io, std::vector<uint8_t>& out)
{
    long size = io.size();
    if (size <= 0 || io.open() != 0 || io.seek(0, Exiv2::BasicIo::beg) != 0)
        return false;
    out.resize(static_cast<size_t>(size));
    bool ok = io.read(out.data(), size) == size;
    io.close();
    return ok;
}

} // namespace platform
