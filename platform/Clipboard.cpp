#include "platform/Clipboard.h"

#include "platform/Path.h"

#include <png.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

namespace platform {
namespace {

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
void Put16(std::vector<uint8_t>& v, uint16_t x)
{
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}
void Put32(std::vector<uint8_t>& v, uint32_t x)
{
    Put16(v, uint16_t(x));
    Put16(v, uint16_t(x >> 16));
}

bool PictureIsSound(const ClipboardPicture& p)
{
    if (p.width <= 0 || p.height <= 0)
        return false;
    const uint64_t pixels = uint64_t(p.width) * uint64_t(p.height);
    return pixels <= kMaxClipboardPixels && p.bgra.size() == pixels * 4;
}

struct FormatRegistry {
    std::mutex mutex;
    std::vector<String16> names; // index = format - kFirstRegisteredFormat
};

FormatRegistry& Registry()
{
    static FormatRegistry registry;
    return registry;
}

class InProcessClipboard final : public Clipboard {
public:
    bool SetContents(std::vector<ClipboardItem> items) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        blocks_.clear();
        for (ClipboardItem& item : items) {
            if (item.format == 0 || item.data.size() > kMaxClipboardBytes)
                return false;
            blocks_[item.format] = std::move(item.data);
        }
        return true;
    }
    bool Empty() override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        blocks_.clear();
        return true;
    }
    bool HasFormat(uint32_t format) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return blocks_.count(format) != 0;
    }
    std::optional<std::vector<uint8_t>> GetData(uint32_t format) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = blocks_.find(format);
        if (it == blocks_.end())
            return std::nullopt;
        return it->second;
    }

private:
    std::mutex mutex_;
    std::map<uint32_t, std::vector<uint8_t>> blocks_;
};

std::mutex g_systemMutex;
std::unique_ptr<Clipboard> g_system;

} // namespace

uint32_t RegisterClipboardFormat(StringView16 name)
{
    if (name.empty())
        return 0;
    FormatRegistry& r = Registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    for (size_t i = 0; i < r.names.size(); ++i)
        if (EqualsNoCase(r.names[i], name))
            return kFirstRegisteredFormat + static_cast<uint32_t>(i);
    if (r.names.size() >= 0x3FFF)
        return 0;
    r.names.emplace_back(name);
    return kFirstRegisteredFormat + static_cast<uint32_t>(r.names.size() - 1);
}

String16 ClipboardFormatName(uint32_t format)
{
    FormatRegistry& r = Registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (format < kFirstRegisteredFormat || format - kFirstRegisteredFormat >= r.names.size())
        return {};
    return r.names[format - kFirstRegisteredFormat];
}

std::vector<uint8_t> BuildUnicodeTextBlock(StringView16 text)
{
    std::vector<uint8_t> block;
    block.reserve((text.size() + 1) * 2);
    for (char16_t c : text)
        Put16(block, c);
    Put16(block, 0);
    return block;
}

String16 ReadUnicodeTextBlock(std::span<const uint8_t> block)
{
    String16 text;
    for (size_t i = 0; i + 1 < block.size(); i += 2) {
        const char16_t c = Get16(&block[i]);
        if (c == 0)
            break;
        text.push_back(c);
    }
    return text;
}

std::vector<uint8_t> BuildDibBlock(const ClipboardPicture& picture)
{
    std::vector<uint8_t> block;
    if (!PictureIsSound(picture))
        return block;
    const size_t rowBytes = size_t(picture.width) * 4;
    const size_t imageBytes = rowBytes * size_t(picture.height);
    if (imageBytes > kMaxClipboardBytes - 40)
        return block;
    block.reserve(40 + imageBytes);
    Put32(block, 40);
    Put32(block, uint32_t(picture.width));
    Put32(block, uint32_t(picture.height));
    Put16(block, 1);
    Put16(block, 32);
    Put32(block, 0); // BI_RGB
    Put32(block, uint32_t(imageBytes));
    for (int i = 0; i < 4; ++i)
        Put32(block, 0);
    for (int y = picture.height - 1; y >= 0; --y) {
        const uint8_t* row = picture.bgra.data() + size_t(y) * rowBytes;
        block.insert(block.end(), row, row + rowBytes);
    }
    return block;
}

std::optional<ClipboardPicture> ReadDibBlock(std::span<const uint8_t> block)
{
    if (block.size() < 40)
        return std::nullopt;
    const uint8_t* h = block.data();
    const uint32_t headerSize = Get32(h);
    const int32_t width = static_cast<int32_t>(Get32(h + 4));
    const int32_t rawHeight = static_cast<int32_t>(Get32(h + 8));
    const uint16_t bits = Get16(h + 14);
    const uint32_t compression = Get32(h + 16);
    const uint32_t colours = Get32(h + 32);
    if (headerSize < 40 || headerSize > block.size() || width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN)
        return std::nullopt;
    const bool topDown = rawHeight < 0;
    const int64_t height = topDown ? -int64_t(rawHeight) : rawHeight;
    if (uint64_t(width) * uint64_t(height) > kMaxClipboardPixels)
        return std::nullopt;
    uint64_t offset = headerSize;
    int shifts[4] = { 0, 8, 16, 24 }; // B, G, R, A bit positions
    bool hasAlphaMask = true;
    if (bits == 32 && compression == 3) { // BI_BITFIELDS: masks after a 40-byte header
        // The masks follow a 40-byte header, or sit inside a longer one (52 bytes and up).
        if (block.size() < 52 || (headerSize > 40 && headerSize < 52))
            return std::nullopt;
        if (headerSize == 40)
            offset += 12;
        const uint32_t masks[3] = { Get32(h + 40), Get32(h + 44), Get32(h + 48) }; // R, G, B
        const uint32_t wanted[3] = { 0x00FF0000, 0x0000FF00, 0x000000FF };
        const uint32_t swapped[3] = { 0x000000FF, 0x0000FF00, 0x00FF0000 };
        if (std::equal(masks, masks + 3, wanted)) {
        } else if (std::equal(masks, masks + 3, swapped)) {
            shifts[0] = 16;
            shifts[2] = 0;
        } else {
            return std::nullopt;
        }
        hasAlphaMask = headerSize >= 56 && Get32(h + 52) == 0xFF000000;
    } else if (!((bits == 32 || bits == 24) && compression == 0)) {
        return std::nullopt;
    }
    if (bits != 32 && colours > 256)
        return std::nullopt;
    if (bits == 24)
        offset += uint64_t(colours) * 4; // a palette is allowed even where unused
    const uint64_t rowBytes = ((uint64_t(width) * bits + 31) / 32) * 4;
    if (offset > block.size() || (block.size() - offset) / rowBytes < uint64_t(height))
        return std::nullopt;
    ClipboardPicture picture;
    picture.width = width;
    picture.height = static_cast<int>(height);
    picture.bgra.resize(uint64_t(width) * uint64_t(height) * 4);
    bool anyAlpha = false;
    for (int64_t y = 0; y < height; ++y) {
        const uint8_t* src = block.data() + offset + uint64_t(topDown ? y : height - 1 - y) * rowBytes;
        uint8_t* dst = picture.bgra.data() + uint64_t(y) * uint64_t(width) * 4;
        for (int32_t x = 0; x < width; ++x, dst += 4) {
            if (bits == 24) {
                dst[0] = src[x * 3];
                dst[1] = src[x * 3 + 1];
                dst[2] = src[x * 3 + 2];
                dst[3] = 255;
                continue;
            }
            const uint32_t v = Get32(src + size_t(x) * 4);
            dst[0] = uint8_t(v >> shifts[0]);
            dst[1] = uint8_t(v >> shifts[1]);
            dst[2] = uint8_t(v >> shifts[2]);
            dst[3] = hasAlphaMask ? uint8_t(v >> 24) : 255;
            anyAlpha |= dst[3] != 0;
        }
    }
    // Many programs leave the fourth byte 0: such a picture is opaque, not invisible.
    if (bits == 32 && !anyAlpha)
        for (size_t i = 3; i < picture.bgra.size(); i += 4)
            picture.bgra[i] = 255;
    return picture;
}

std::vector<uint8_t> BuildDropFilesBlock(const std::vector<String16>& paths)
{
    std::vector<uint8_t> block;
    Put32(block, 20); // offset of the list
    Put32(block, 0); // drop point
    Put32(block, 0);
    Put32(block, 0); // non-client flag
    Put32(block, 2); // wide flag, as the program has always written it
    for (const String16& p : paths) {
        for (char16_t c : p)
            Put16(block, c);
        Put16(block, 0);
    }
    Put16(block, 0);
    block.resize(block.size() + 8, 0);
    return block;
}

std::optional<std::vector<String16>> ReadDropFilesBlock(std::span<const uint8_t> block)
{
    if (block.size() < 20)
        return std::nullopt;
    const uint32_t offset = Get32(block.data());
    const bool wide = Get32(block.data() + 16) != 0;
    if (offset < 20 || offset >= block.size())
        return std::nullopt;
    std::vector<String16> paths;
    size_t pos = offset;
    if (wide) {
        String16 current;
        for (;;) {
            if (block.size() - pos < 2)
                return std::nullopt; // no terminating double zero inside the block
            const char16_t c = Get16(&block[pos]);
            pos += 2;
            if (c != 0) {
                current.push_back(c);
                continue;
            }
            if (current.empty())
                break;
            paths.push_back(std::move(current));
            current.clear();
        }
    } else {
        std::string current;
        for (;;) {
            if (pos >= block.size())
                return std::nullopt;
            const char c = static_cast<char>(block[pos++]);
            if (c != 0) {
                current.push_back(c);
                continue;
            }
            if (current.empty())
                break;
            paths.push_back(Utf8ToUtf16(current));
            current.clear();
        }
    }
    return paths;
}

namespace {

void AppendPngBytes(png_structp png, png_bytep data, size_t length)
{
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    if (out->size() + length > kMaxClipboardBytes)
        png_error(png, "too large");
    try {
        out->insert(out->end(), data, data + length);
    } catch (...) {
        png_error(png, "out of memory");
    }
}

// The part that may jump back to its own setjmp; nothing with a destructor lives in it.
bool WritePng(const ClipboardPicture& picture, std::vector<uint8_t>* out)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, AppendPngBytes, nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width), static_cast<png_uint_32>(picture.height), 8,
        PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Another program waits for it while we encode: the fastest zlib level with one cheap
    // filter makes a 12-megapixel photo several times faster for a file a little larger.
    png_set_compression_level(png, 1);
    png_set_filter(png, 0, PNG_FILTER_SUB);
    png_write_info(png, info);
    png_set_bgr(png);
    const size_t rowBytes = size_t(picture.width) * 4;
    for (int y = 0; y < picture.height; ++y)
        png_write_row(png, const_cast<png_bytep>(picture.bgra.data() + size_t(y) * rowBytes));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

std::vector<uint8_t> EncodePicturePng(const ClipboardPicture& picture)
{
    std::vector<uint8_t> out;
    if (!PictureIsSound(picture) || !WritePng(picture, &out))
        out.clear();
    return out;
}

std::optional<ClipboardPicture> DecodePicturePng(std::span<const uint8_t> png)
{
    png_image image {};
    image.version = PNG_IMAGE_VERSION;
    if (png.empty() || !png_image_begin_read_from_memory(&image, png.data(), png.size()))
        return std::nullopt;
    if (image.width == 0 || image.height == 0 || image.width > 0x7FFFFFFF || image.height > 0x7FFFFFFF
        || uint64_t(image.width) * image.height > kMaxClipboardPixels) {
        png_image_free(&image);
        return std::nullopt;
    }
    image.format = PNG_FORMAT_BGRA;
    ClipboardPicture picture;
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    picture.bgra.resize(uint64_t(image.width) * image.height * 4);
    if (!png_image_finish_read(&image, nullptr, picture.bgra.data(), 0, nullptr)) {
        png_image_free(&image);
        return std::nullopt;
    }
    return picture;
}

std::string BuildUriList(const std::vector<String16>& paths)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string list;
    for (const String16& p : paths) {
        const std::string native = ToNativePath(p);
        list += "file://";
        for (unsigned char c : native) {
            const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
                || std::strchr("/-._~!$&'()*+,;=:@", c) != nullptr;
            if (plain && c != 0) {
                list.push_back(static_cast<char>(c));
            } else {
                list.push_back('%');
                list.push_back(kHex[c >> 4]);
                list.push_back(kHex[c & 15]);
            }
        }
        list += "\r\n";
    }
    return list;
}

std::vector<String16> ReadUriList(std::string_view list)
{
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    std::vector<String16> paths;
    size_t pos = 0;
    while (pos < list.size()) {
        size_t end = list.find_first_of("\r\n", pos);
        if (end == std::string_view::npos)
            end = list.size();
        std::string_view line = list.substr(pos, end - pos);
        pos = end + 1;
        if (line.empty() || line[0] == '#')
            continue;
        if (line.substr(0, 7) != "file://")
            continue;
        line.remove_prefix(7);
        // file:///path or file://localhost/path; other hosts are not this machine.
        if (line.substr(0, 9) == "localhost")
            line.remove_prefix(9);
        if (line.empty() || line[0] != '/')
            continue;
        std::string native;
        bool bad = false;
        for (size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '%') {
                const int a = i + 2 < line.size() ? hex(line[i + 1]) : -1;
                const int b = i + 2 < line.size() ? hex(line[i + 2]) : -1;
                // A NUL cannot be part of a path.
                if (a < 0 || b < 0 || (a == 0 && b == 0)) {
                    bad = true;
                    break;
                }
                native.push_back(static_cast<char>(a * 16 + b));
                i += 2;
            } else if (line[i] == '\0') {
                bad = true;
                break;
            } else {
                native.push_back(line[i]);
            }
        }
        // A backslash in a name would read as a folder separator in the program's paths and
        // name another file; such a file cannot be pasted.
        if (!bad && native.find('\\') == std::string::npos)
            paths.push_back(FromNativePath(native));
    }
    return paths;
}

bool Clipboard::SetText(StringView16 text)
{
    std::vector<ClipboardItem> items;
    items.push_back({ kCfUnicodeText, BuildUnicodeTextBlock(text) });
    return SetContents(std::move(items));
}

std::optional<String16> Clipboard::GetText()
{
    auto block = GetData(kCfUnicodeText);
    if (!block)
        return std::nullopt;
    return ReadUnicodeTextBlock(*block);
}

bool Clipboard::SetPicture(const ClipboardPicture& picture)
{
    std::vector<uint8_t> dib = BuildDibBlock(picture);
    if (dib.empty())
        return false;
    std::vector<ClipboardItem> items;
    items.push_back({ kCfDib, std::move(dib) });
    return SetContents(std::move(items));
}

std::optional<ClipboardPicture> Clipboard::GetPicture()
{
    auto block = GetData(kCfDib);
    if (!block)
        return std::nullopt;
    return ReadDibBlock(*block);
}

bool Clipboard::SetFiles(const std::vector<String16>& paths, uint32_t dropEffect)
{
    std::vector<ClipboardItem> items;
    items.push_back({ kCfHdrop, BuildDropFilesBlock(paths) });
    std::vector<uint8_t> effect;
    Put32(effect, dropEffect);
    items.push_back({ RegisterClipboardFormat(kPreferredDropEffect), std::move(effect) });
    return SetContents(std::move(items));
}

std::optional<std::vector<String16>> Clipboard::GetFiles(uint32_t* dropEffect)
{
    if (dropEffect)
        *dropEffect = 0;
    auto block = GetData(kCfHdrop);
    if (!block)
        return std::nullopt;
    auto paths = ReadDropFilesBlock(*block);
    if (paths && dropEffect) {
        auto effect = GetData(RegisterClipboardFormat(kPreferredDropEffect));
        if (effect && effect->size() >= 4)
            *dropEffect = Get32(effect->data());
    }
    return paths;
}

std::unique_ptr<Clipboard> Clipboard::CreateInProcess() { return std::make_unique<InProcessClipboard>(); }

Clipboard& SystemClipboard()
{
    std::lock_guard<std::mutex> lock(g_systemMutex);
    if (!g_system)
        g_system = Clipboard::CreateInProcess();
    return *g_system;
}

void SetSystemClipboard(std::unique_ptr<Clipboard> clipboard)
{
    std::lock_guard<std::mutex> lock(g_systemMutex);
    g_system = clipboard ? std::move(clipboard) : Clipboard::CreateInProcess();
}

} // namespace platform
