// Default sources of images, texts and log lines for the sprite engine.
#include "ui/UiSeams.h"

#include "imaging/ImageCodec/ImageLoad.h"
#include "platform/Folders.h"
#include "platform/Path.h"
#include "platform/Sync.h"
#include "ui/UiResources.h"

#include <algorithm>
#include <atomic>
#include <iterator>
#include <map>
#include <memory>

namespace {

std::atomic<UiImageSource> g_imageSource{nullptr};
std::atomic<UiTextSource> g_textSource{nullptr};
std::atomic<UiLogSink> g_logSink{nullptr};

int LoadFromProgramFolder(UiImageFolder folder, const char16_t* name, ImageBuffer8& out)
{
    platform::String16 path = platform::JoinPath(platform::ProgramFolder(),
                                                 folder == UiImageFolder::Skin ? u"skin" : u"basic");
    path = platform::JoinPath(path, name);
    return CodecLoadImage8(out, path.c_str());
}

struct SharedImages {
    platform::CriticalSection lock;
    std::map<platform::String16, std::unique_ptr<ImageBuffer8>> images;
    std::unique_ptr<ImageList8> iconFrames;
    std::unique_ptr<ImageList8> digits;
    bool iconTried = false, digitsTried = false;
};

SharedImages& Shared()
{
    static SharedImages* s = new SharedImages;
    return *s;
}

} // namespace

void SetUiImageSource(UiImageSource source)
{
    g_imageSource.store(source);
}

int LoadUiImage(UiImageFolder folder, const char16_t* name, ImageBuffer8& out)
{
    if (!name)
        return 0;
    UiImageSource source = g_imageSource.load();
    return source ? source(folder, name, out) : LoadFromProgramFolder(folder, name, out);
}

int LoadSkinOrBasicImage(const char16_t* name, ImageBuffer8& out)
{
    return LoadUiImage(UiImageFolder::Skin, name, out) || LoadUiImage(UiImageFolder::Basic, name, out);
}

int LoadUiImageStrip(UiImageFolder folder, const char16_t* name, int frameWidth, ImageList8& out)
{
    ImageBuffer8 strip;
    if (frameWidth <= 0 || !LoadUiImage(folder, name, strip))
        return 0;
    const int frames = strip.width / frameWidth;
    for (int f = 0; f < frames; ++f) {
        auto* frame = new (std::nothrow) ImageBuffer8;
        if (!frame || !AllocImage8(*frame, frameWidth, strip.height)) {
            delete frame;
            FreeImageBuffer(strip);
            return 0;
        }
        for (int y = 0; y < strip.height; ++y)
            std::copy_n(strip.data + (size_t(y) * strip.width + f * frameWidth) * 4, frameWidth * 4,
                        frame->data + size_t(y) * frameWidth * 4);
        out.items.push_back(frame);
    }
    FreeImageBuffer(strip);
    return frames > 0 ? 1 : 0;
}

const ImageBuffer8* SharedUiImage(const char16_t* name)
{
    SharedImages& s = Shared();
    platform::ScopedLock lock(s.lock);
    auto it = s.images.find(name);
    if (it != s.images.end())
        return it->second.get();
    auto image = std::make_unique<ImageBuffer8>();
    if (!LoadUiImage(UiImageFolder::Basic, name, *image) && !LoadUiImage(UiImageFolder::Skin, name, *image))
        return nullptr;
    return (s.images[name] = std::move(image)).get();
}

const ImageList8* SharedIconFrames()
{
    SharedImages& s = Shared();
    platform::ScopedLock lock(s.lock);
    if (!s.iconTried) {
        s.iconTried = true;
        // Widgets count frames across the pictures, so the order and widths are fixed.
        static const struct { const char16_t* name; int width; } parts[] = {
            {u"checkbox.png", 20}, {u"expand.png", 16}, {u"ratio.png", 20},
            {u"indicator.png", 12}, {u"menuicon.png", 16}, {u"mpanel.png", 40}};
        auto list = std::make_unique<ImageList8>();
        if (LoadUiImageStrip(UiImageFolder::Basic, parts[0].name, parts[0].width, *list)) {
            for (size_t i = 1; i < std::size(parts); ++i)
                LoadUiImageStrip(UiImageFolder::Basic, parts[i].name, parts[i].width, *list);
            s.iconFrames = std::move(list);
        }
    }
    return s.iconFrames.get();
}

const ImageList8* SharedDigitStrip()
{
    SharedImages& s = Shared();
    platform::ScopedLock lock(s.lock);
    if (!s.digitsTried) {
        s.digitsTried = true;
        auto list = std::make_unique<ImageList8>();
        if (LoadUiImageStrip(UiImageFolder::Basic, u"digi.png", 20, *list))
            s.digits = std::move(list);
    }
    return s.digits.get();
}

void ResetSharedUiImages()
{
    SharedImages& s = Shared();
    platform::ScopedLock lock(s.lock);
    for (auto& [name, image] : s.images)
        FreeImageBuffer(*image);
    s.images.clear();
    s.iconFrames.reset();
    s.digits.reset();
    s.iconTried = s.digitsTried = false;
}

void SetUiTextSource(UiTextSource source)
{
    g_textSource.store(source);
}

const char16_t* UiText(const char16_t* key)
{
    if (!key)
        return u"";
    UiTextSource source = g_textSource.load();
    const char16_t* text = source ? source(key) : nullptr;
    return text ? text : key;
}

void SetUiLogSink(UiLogSink sink)
{
    g_logSink.store(sink);
}

void WriteUiLog(const char16_t* line)
{
    if (UiLogSink sink = g_logSink.load(); sink && line)
        sink(line);
}

void UseAppResourcesForUi()
{
    SetUiTextSource([](const char16_t* key) -> const char16_t* { return theAppResources.table.FindText(key); });
    SetUiLogSink([](const char16_t* line) { theAppResources.WriteLog(platform::Utf16ToUtf8(line).c_str()); });
}
