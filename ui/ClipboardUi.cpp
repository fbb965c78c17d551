// Clipboard functions over platform::Clipboard. Foreign data is only read through the
// platform's bounded block readers; a paste never replaces a file without asking.
#include "ui/ClipboardUi.h"

#include "imaging/ColourTables.h"

#include "platform/Clipboard.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "ui/MessageBox.h"
#include "ui/UiSeams.h"

#include <cstring>

namespace {

int AskThroughMessageBox(const platform::String16& path)
{
    platform::String16 text = UiText(u"fileExistsReplace");
    text += u"\n";
    text += path;
    // Only an explicit Yes replaces: a box that could not be shown (-1) or was closed keeps it.
    return SpriteMessageBox(text.c_str(), kMbQuestion, kMbYesNo) == 6 ? 1 : 0;
}

OverwriteQuestion g_question = &AskThroughMessageBox;

bool CopyTree(const platform::String16& from, const platform::String16& to)
{
    if (!platform::IsDirectory(from))
        return platform::CopyFile(from, to, false);
    if (!platform::CreateFolders(to))
        return false;
    std::vector<platform::FileInfo> entries;
    if (!platform::ListFolder(from, u"*", entries))
        return false;
    bool ok = true;
    for (const platform::FileInfo& e : entries)
        ok = CopyTree(platform::JoinPath(from, e.name), platform::JoinPath(to, e.name)) && ok;
    return ok;
}

} // namespace

void SetOverwriteQuestion(OverwriteQuestion question)
{
    g_question = question ? question : &AskThroughMessageBox;
}

size_t GetClipboardDataSize(uint32_t format)
{
    platform::Clipboard& c = platform::SystemClipboard();
    if (!c.HasFormat(format))
        return 0;
    std::optional<std::vector<uint8_t>> data = c.GetData(format);
    return data ? data->size() : 0;
}

int SetClipboardBytes(uint32_t format, const void* data, size_t size)
{
    if ((!data && size) || size > platform::kMaxClipboardBytes)
        return 0;
    platform::ClipboardItem item;
    item.format = format;
    if (size)
        item.data.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
    std::vector<platform::ClipboardItem> items;
    items.push_back(std::move(item));
    return platform::SystemClipboard().SetContents(std::move(items)) ? 1 : 0;
}

std::unique_ptr<uint8_t[]> GetClipboardBytes(uint32_t format, size_t* size)
{
    if (size)
        *size = 0;
    platform::Clipboard& c = platform::SystemClipboard();
    if (!c.HasFormat(format))
        return nullptr;
    std::optional<std::vector<uint8_t>> data = c.GetData(format);
    if (!data)
        return nullptr;
    std::unique_ptr<uint8_t[]> out(new (std::nothrow) uint8_t[data->size() ? data->size() : 1]);
    if (!out)
        return nullptr;
    if (!data->empty())
        std::memcpy(out.get(), data->data(), data->size());
    if (size)
        *size = data->size();
    return out;
}

int CopyImageToClipboard(const ImageBuffer8& image)
{
    if (!image.data || image.width <= 0 || image.height <= 0)
        return 0;
    // Sizes in 64 bits: a picture too large for the clipboard is refused, never wrapped.
    const uint64_t pixels = uint64_t(image.width) * uint64_t(image.height);
    if (pixels > platform::kMaxClipboardPixels)
        return 0;
    platform::ClipboardPicture picture;
    picture.width = image.width;
    picture.height = image.height;
    picture.bgra.assign(image.data, image.data + pixels * 4);
    return platform::SystemClipboard().SetPicture(picture) ? 1 : 0;
}

int CopyFilesToClipboard(const std::vector<platform::String16>& paths, int copy)
{
    if (paths.empty())
        return 0;
    return platform::SystemClipboard().SetFiles(paths, copy ? platform::kDropEffectCopy : platform::kDropEffectMove)
               ? 1
               : 0;
}

int PlaceFiles(const std::vector<platform::String16>& files, const platform::String16& folder, bool move)
{
    int placed = 0;
    for (const platform::String16& source : files) {
        const platform::StringView16 name = platform::FileNamePart(source);
        if (name.empty() || !platform::PathExists(source))
            continue;
        const platform::String16 target = platform::JoinPath(folder, name);
        if (target == source)
            continue; // placing into its own folder changes nothing
        const bool exists = platform::PathExists(target);
        if (exists && !g_question(target))
            continue;
        bool ok;
        if (platform::IsDirectory(source)) {
            // A folder merges into one of the same name; a moved one leaves its source only
            // when everything arrived.
            if (move && !exists)
                ok = platform::MoveFile(source, target, true);
            else
                ok = CopyTree(source, target) && (!move || platform::DeleteTree(source));
        } else {
            // Replacing writes beside the old file and renames over it, so a failure keeps it.
            ok = move ? platform::MoveFile(source, target, false) : platform::CopyFile(source, target, false);
        }
        if (ok)
            ++placed;
    }
    return placed;
}

int PasteFilesFromClipboard(const platform::String16& folder)
{
    uint32_t effect = 0;
    std::optional<std::vector<platform::String16>> files = platform::SystemClipboard().GetFiles(&effect);
    if (!files || files->empty())
        return 0;
    const int placed = PlaceFiles(*files, folder, effect == platform::kDropEffectMove);
    platform::SystemClipboard().Empty();
    return placed;
}

namespace {

uint32_t U32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The byte (0..3) of a 32-bit pixel that an 8-bit channel mask selects; -1 for other masks.
int MaskByte(uint32_t mask)
{
    for (int i = 0; i < 4; ++i)
        if (mask == 0xFFu << (8 * i))
            return i;
    return -1;
}

} // namespace

ClipboardImageResult DecodeClipboardDib(const uint8_t* block, size_t size, uint32_t format, ImageBuffer8& out)
{
    FreeImageBuffer(out);
    constexpr uint64_t kInfoHeader = 40;
    if (!block || size < kInfoHeader)
        return size == 0 ? ClipboardImageResult::NoPicture : ClipboardImageResult::Damaged;
    const uint64_t total = size;
    const uint64_t headerSize = U32(block);
    const int64_t width = int32_t(U32(block + 4));
    const int64_t height = int32_t(U32(block + 8));
    const uint16_t bitCount = uint16_t(block[14] | block[15] << 8);
    const uint32_t compression = U32(block + 16);
    const uint64_t imageSize = U32(block + 20);
    const uint64_t coloursUsed = U32(block + 32);
    if (bitCount != 24 && bitCount != 32)
        return ClipboardImageResult::Unsupported;
    if (headerSize < kInfoHeader || headerSize > total)
        return ClipboardImageResult::Damaged;
    // Uncompressed rows, or 32-bit rows with channel masks; JPEG, PNG and run-length blocks are
    // not pictures we can read in place.
    constexpr uint32_t kRgb = 0, kBitFields = 3;
    if (compression != kRgb && !(compression == kBitFields && bitCount == 32))
        return ClipboardImageResult::Damaged;
    const uint64_t w = uint64_t(width < 0 ? -width : width);
    const uint64_t h = uint64_t(height < 0 ? -height : height);
    if (w == 0 || h == 0)
        return ClipboardImageResult::NoPicture;
    if (w > uint64_t(INT32_MAX) || h > uint64_t(INT32_MAX) || w * h > platform::kMaxClipboardPixels)
        return ClipboardImageResult::Damaged;

    // The masks follow a 40-byte header (a larger header holds them itself).
    int byteB = 0, byteG = 1, byteR = 2;
    uint64_t masksEnd = headerSize;
    if (compression == kBitFields) {
        const uint64_t maskAt = headerSize == kInfoHeader ? headerSize : 40;
        masksEnd = headerSize == kInfoHeader ? headerSize + 12 : headerSize;
        if (maskAt + 12 > total || masksEnd > total)
            return ClipboardImageResult::Damaged;
        const int r = MaskByte(U32(block + maskAt)), g = MaskByte(U32(block + maskAt + 4)),
                  b = MaskByte(U32(block + maskAt + 8));
        if (r >= 0 && g >= 0 && b >= 0 && r != g && g != b && r != b) {
            byteR = r;
            byteG = g;
            byteB = b;
        }
    }
    const uint64_t stride = bitCount == 24 ? (w * 3 + 3) & ~uint64_t(3) : w * 4;
    const uint64_t pixelBytes = stride * h;
    uint64_t offset;
    if (format != kCfDibV5 && imageSize != 0) {
        if (imageSize > total - headerSize)
            return ClipboardImageResult::Damaged;
        offset = total - imageSize;
    } else {
        // After the header, its masks and any colour table (entries of 4 bytes).
        if (coloursUsed > (total - masksEnd) / 4)
            return ClipboardImageResult::Damaged;
        offset = format == kCfDibV5 ? headerSize : masksEnd + coloursUsed * 4;
    }
    if (offset > total || pixelBytes > total - offset)
        return ClipboardImageResult::Damaged;

    if (!AllocImage8(out, int(w), int(h)))
        return ClipboardImageResult::Damaged;
    const bool bottomUp = height > 0;
    const bool ownAlpha = bitCount == 32 && compression == kRgb;
    const uint8_t* pixels = block + offset;
    for (uint64_t y = 0; y < h; ++y) {
        const uint8_t* src = pixels + (bottomUp ? h - 1 - y : y) * stride;
        uint8_t* dst = out.data + y * w * 4;
        if (bitCount == 24) {
            for (uint64_t x = 0; x < w; ++x, src += 3, dst += 4) {
                dst[0] = src[0];
                dst[1] = src[1];
                dst[2] = src[2];
                dst[3] = 255;
            }
        } else {
            for (uint64_t x = 0; x < w; ++x, src += 4, dst += 4) {
                dst[0] = src[byteB];
                dst[1] = src[byteG];
                dst[2] = src[byteR];
                dst[3] = ownAlpha ? src[3] : 255;
            }
        }
    }
    if (ownAlpha) {
        const uint64_t count = w * h;
        const uint8_t first = out.data[3];
        bool alike = true;
        for (uint64_t i = 1; i < count && alike; ++i)
            alike = out.data[i * 4 + 3] == first;
        if (alike)
            for (uint64_t i = 0; i < count; ++i)
                out.data[i * 4 + 3] = 255;
    }
    return ClipboardImageResult::Read;
}

ClipboardImageResult ReadClipboardImageBlock(ImageBuffer16& out)
{
    uint32_t format = platform::kCfDib;
    if (!GetClipboardDataSize(format))
        format = kCfDibV5;
    size_t size = 0;
    std::unique_ptr<uint8_t[]> block = GetClipboardBytes(format, &size);
    if (!block || size == 0)
        return ClipboardImageResult::NoPicture;
    ImageBuffer8 picture;
    const ClipboardImageResult r = DecodeClipboardDib(block.get(), size, format, picture);
    if (r != ClipboardImageResult::Read)
        return r;
    const bool ok = AllocImage16(out, picture.width, picture.height) && ConvertPixels8To16(picture, out);
    FreeImageBuffer(picture);
    if (!ok) {
        FreeImageBuffer(out);
        return ClipboardImageResult::Damaged;
    }
    return ClipboardImageResult::Read;
}

int ReadClipboardImage(ImageBuffer16& out)
{
    const ClipboardImageResult r = ReadClipboardImageBlock(out);
    if (r == ClipboardImageResult::Unsupported)
        SpriteMessageBox(UiText(u"unsupportunPatternpaste"), kMbError, kMbOk);
    return r == ClipboardImageResult::Read ? 1 : 0;
}
