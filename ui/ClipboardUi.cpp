// Clipboard functions over platform::Clipboard. Foreign data is only read through the
// platform's bounded block readers; a paste never replaces a file without asking.
#include "ui/ClipboardUi.h"

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
