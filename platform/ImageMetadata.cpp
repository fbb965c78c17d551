#include "platform/ImageMetadata.h"

#include "platform/FileReplace.h"

#include <algorithm>
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

} // namespace

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

bool ImageMetadata::ReadFile(const std::string& path)
{
    QuietExiv2();
    m_state = std::make_unique<State>();
    m_items.clear();
    m_width = m_height = 0;
    m_littleEndian = true;
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(path, false);
        if (!image.get())
            return false;
        image->readMetadata();
        m_state->exif = image->exifData();
        m_width = image->pixelWidth();
        m_height = image->pixelHeight();
        m_littleEndian = image->byteOrder() != Exiv2::bigEndian;
    } catch (...) {
        return false;
    }
    Rebuild();
    return true;
}

bool ImageMetadata::ReadMemory(const uint8_t* data, size_t size)
{
    QuietExiv2();
    m_state = std::make_unique<State>();
    m_items.clear();
    m_width = m_height = 0;
    m_littleEndian = true;
    if (!data || size == 0 || size > 0x7FFFFFFF)
        return false;
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(data, static_cast<long>(size));
        if (!image.get())
            return false;
        image->readMetadata();
        m_state->exif = image->exifData();
        m_width = image->pixelWidth();
        m_height = image->pixelHeight();
        m_littleEndian = image->byteOrder() != Exiv2::bigEndian;
    } catch (...) {
        return false;
    }
    Rebuild();
    return true;
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

bool ImageMetadata::WriteFile(const std::string& path) const
{
    QuietExiv2();
    return ReplaceFileVia(path, true, [&](const std::string& temp) {
        try {
            Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(temp, false);
            if (!image.get())
                return false;
            image->readMetadata();
            int type = image->imageType();
            if (type != Exiv2::ImageType::jpeg && type != Exiv2::ImageType::png && type != Exiv2::ImageType::tiff)
                return false;
            image->setExifData(m_state->exif);
            image->writeMetadata();
            return true;
        } catch (...) {
            return false;
        }
    });
}

} // namespace platform
