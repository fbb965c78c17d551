// Text into coverage images. Text is drawn white on black into the shared 1024 x 256 bitmap
// and its red byte becomes all four bytes of the out image, so a text never yields an image
// larger than that bitmap.
#include "imaging/TextRender.h"

#include "imaging/DecodeTextEscapes.h"
#include "imaging/ReadTextLine.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace {

using platform::String16;
using platform::StringView16;

constexpr int kRetryHeight = 12;
constexpr int kShortLimit = 32;        // below this, a cut text is ".." alone
constexpr size_t kMaxWrappedText = 4095;
constexpr size_t kMaxPiece = 255;

char16_t AsciiLower(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
}

bool SameFace(StringView16 a, StringView16 b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    return true;
}

size_t Length(const char16_t* text)
{
    size_t n = 0;
    while (text[n])
        ++n;
    return n;
}

// The shortest-first search for a head that fits: the first k characters and "..", from
// k = length - 2 down to 1, the first narrower than the limit; a single space when none is.
template <class Measure>
String16 CutToFit(StringView16 text, int limit, Measure measure)
{
    if (limit < kShortLimit)
        return u"..";
    for (size_t k = text.size() >= 2 ? text.size() - 2 : 0; k >= 1; --k) {
        String16 candidate(text.substr(0, k));
        candidate += u"..";
        if (measure(candidate) < limit)
            return candidate;
    }
    return u" ";
}

// Steps 5 and 6 of every renderer: black area, white text, red byte into all four bytes of
// an out image of the measured size (clipped to the bitmap).
int DrawIntoCoverage(TextResources& res, const platform::Font& font, StringView16 text, int width,
                     int height, ImageBuffer8& out)
{
    if (res.bitmap.size() != size_t(kTextBitmapWidth) * kTextBitmapHeight * 4) {
        try {
            res.bitmap.assign(size_t(kTextBitmapWidth) * kTextBitmapHeight * 4, 0);
        } catch (...) {
            return 0;
        }
    }
    width = std::clamp(width, 0, kTextBitmapWidth);
    height = std::clamp(height, 0, kTextBitmapHeight);
    const size_t stride = size_t(kTextBitmapWidth) * 4;
    for (int y = 0; y < height; ++y)
        std::memset(res.bitmap.data() + size_t(y) * stride, 0, size_t(width) * 4);
    platform::BitmapView view{res.bitmap.data(), width, height, int(stride)};
    font.DrawText(view, 0, 0, text, 0x00FFFFFF);
    if (!AllocImage8(out, width, height))
        return 0;
    for (int y = 0; y < height; ++y) {
        const uint8_t* src = res.bitmap.data() + size_t(y) * stride;
        uint8_t* dst = out.data + size_t(y) * size_t(width) * 4;
        for (int x = 0; x < width; ++x)
            std::memset(dst + size_t(x) * 4, src[size_t(x) * 4 + 2], 4);
    }
    return 1;
}

// The cached font for this face and height, made afresh when either changed.
const platform::Font* FontFor(TextResources& res, StringView16 face, int height)
{
    if (!res.font || res.fontHeight != height || !SameFace(res.fontFace, face)) {
        platform::FontSpec wanted;
        wanted.face = String16(face);
        wanted.height = height;
        wanted.weight = 400;
        wanted.italic = false;
        res.font = platform::Font::Create(wanted);
        res.fontFace = String16(face);
        res.fontHeight = height;
    }
    return res.font.get();
}

} // namespace

TextResources& SharedTextResources()
{
    static TextResources resources;
    return resources;
}

bool IsWordCharacter(char16_t c)
{
    return (c >= 33 && c <= 57) || (c >= 65 && c <= 90) || (c >= 97 && c <= 122) ||
           (c >= 127 && c <= 512);
}

int RenderText(const char16_t* text, ImageBuffer8& out, const char16_t* face, int height,
               int maxWidth, bool* truncated)
{
    if (!text || !*text) {
        if (!AllocImage8(out, 1, std::max(height, 0)))
            return 0;
        if (out.byteSize)
            std::memset(out.data, 0, out.byteSize);
        return 1;
    }
    const StringView16 faceName = face ? StringView16(face) : StringView16(kDefaultTextFace);
    if (height == 0)
        height = kDefaultTextHeight;
    TextResources& res = SharedTextResources();
    const platform::Font* font = FontFor(res, faceName, height);
    if (!font)
        return 0;
    const int limit = std::min(maxWidth, kTextBitmapWidth);
    StringView16 shown(text, Length(text));
    platform::TextExtent extent = font->MeasureText(shown);
    if (truncated)
        *truncated = false;
    String16 cut;
    if (limit > 0 && extent.width >= limit) {
        if (height > kDefaultTextHeight)
            return RenderText(text, out, face, kRetryHeight, limit, truncated);
        if (truncated)
            *truncated = true;
        cut = CutToFit(shown, limit, [&](const String16& s) { return font->MeasureText(s).width; });
        shown = cut;
        extent = font->MeasureText(shown);
    }
    return DrawIntoCoverage(res, *font, shown, extent.width, extent.height, out);
}

int RenderTextLocked(const char16_t* text, ImageBuffer8& out, const char16_t* face, int height,
                     int maxWidth, bool* truncated)
{
    std::lock_guard<platform::CriticalSection> guard(SharedTextResources().lock);
    return RenderText(text, out, face, height, maxWidth, truncated);
}

int RenderTextWithFont(const platform::Font& font, const char16_t* text, ImageBuffer8& out,
                       int maxWidth)
{
    TextResources& res = SharedTextResources();
    std::lock_guard<platform::CriticalSection> guard(res.lock);
    const StringView16 full = text ? StringView16(text, Length(text)) : StringView16();
    const bool italic = font.Spec().italic;
    const bool bold = font.Spec().weight > 699;
    // Overhangs of slanted and heavy glyphs reach past the advances.
    auto measure = [&](StringView16 s) {
        platform::TextExtent e = font.MeasureText(s);
        if (e.width > 0xFFFF || e.height < 0 || e.height > 0xFFFF)
            return platform::TextExtent{32, 32};
        if (italic)
            e.width += e.width / 3;
        if (bold)
            e.width += int(s.size());
        return e;
    };
    StringView16 shown = full;
    platform::TextExtent extent = measure(shown);
    String16 cut;
    if (maxWidth >= 1 && extent.width >= maxWidth) {
        cut = CutToFit(full, maxWidth, [&](const String16& s) { return measure(s).width; });
        shown = cut;
        extent = measure(shown);
    }
    return DrawIntoCoverage(res, font, shown, extent.width, extent.height, out);
}

namespace {

// Splits one line into pieces for the wrap width: prefixes of 2, 3, ... characters are
// measured until one reaches the width; the piece then ends before the last break point
// (a non-word character after the piece's start), or one character short without one. A blank
// at the break belongs to neither piece.
template <class Measure>
std::vector<String16> BreakLine(StringView16 line, int wrapWidth, Measure measure)
{
    std::vector<String16> pieces;
    size_t start = 0;
    while (start < line.size()) {
        const size_t rest = line.size() - start;
        size_t end = line.size();
        size_t breakAt = 0;  // 0: none (a break at the start would give an empty piece)
        for (size_t len = 2; len <= rest; ++len) {
            const size_t last = start + len - 1;
            if (!IsWordCharacter(line[last]))
                breakAt = last;
            if (measure(line.substr(start, len)) >= wrapWidth) {
                end = breakAt ? breakAt : last;
                break;
            }
            if (len == kMaxPiece) {
                end = start + len;
                break;
            }
        }
        pieces.emplace_back(line.substr(start, end - start));
        // A line broken at a blank does not start the next one with it.
        start = end < line.size() && end == breakAt && line[end] == u' ' ? end + 1 : end;
    }
    return pieces;
}

} // namespace

int RenderWrappedText(ImageBuffer8& out, const char16_t* text, int wrapWidth, int height)
{
    if (!text || !*text) {
        if (!AllocImage8(out, 1, 1))
            return 0;
        std::memset(out.data, 0, out.byteSize);
        return 1;
    }
    TextResources& res = SharedTextResources();
    std::lock_guard<platform::CriticalSection> guard(res.lock);

    String16 source(text, std::min(Length(text), kMaxWrappedText));
    String16 decoded(source.size() + 1, u'\0');
    DecodeTextEscapes(source.c_str(), decoded.data());
    decoded.resize(Length(decoded.c_str()));

    std::vector<String16> pieces;
    const platform::Font* font = nullptr;
    if (wrapWidth > 0) {
        ImageBuffer8 probe;
        RenderText(u"t", probe, nullptr, height, 0, nullptr);  // sets up the font for measuring
        FreeImageBuffer(probe);
        font = FontFor(res, kDefaultTextFace, height == 0 ? kDefaultTextHeight : height);
        if (!font)
            return 0;
    }
    size_t position = 0;
    String16 line;
    try {
        while (ReadTextLine(decoded, position, line)) {
            if (!font) {
                pieces.push_back(line);
                continue;
            }
            for (String16& piece : BreakLine(line, wrapWidth, [&](StringView16 s) {
                     return font->MeasureText(s).width;
                 }))
                pieces.push_back(std::move(piece));
        }
    } catch (...) {
        return 0;
    }

    std::vector<ImageBuffer8> images(pieces.size());
    int width = 0;
    int64_t total = 0;
    int ok = 1;
    for (size_t i = 0; i < pieces.size() && ok; ++i) {
        ok = RenderText(pieces[i].c_str(), images[i], nullptr, height, 0, nullptr);
        width = std::max(width, images[i].width);
        total += images[i].height;
    }
    if (ok && total > INT32_MAX)
        ok = 0;
    if (ok)
        ok = AllocImage8(out, std::max(width, 1), int(total));
    if (ok) {
        std::memset(out.data, 0, out.byteSize);
        int y = 0;
        for (const ImageBuffer8& piece : images) {
            for (int row = 0; row < piece.height; ++row)
                std::memcpy(out.data + (size_t(y + row) * size_t(out.width)) * 4,
                            piece.data + size_t(row) * size_t(piece.width) * 4, size_t(piece.width) * 4);
            y += piece.height;
        }
    }
    for (ImageBuffer8& piece : images)
        FreeImageBuffer(piece);
    return ok;
}
