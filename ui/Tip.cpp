// Tooltip layout: escapes decoded, lines split at CR/LF (runs of breaks count as one), each line
// rendered and stacked left-aligned; drawn on the tip frame in light grey.
#include "ui/Tip.h"

#include "imaging/DecodeTextEscapes.h"
#include "imaging/Draw8.h"
#include "imaging/TextRender.h"
#include "ui/RenderWindow.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

CSTip::~CSTip()
{
    FreeImageBuffer(m_frame);
    FreeImageBuffer(m_point);
    FreeImageBuffer(m_textImage);
    FreeImageBuffer(m_picture);
}

int CSTip::OnCreate()
{
    if (!LoadUiImage(UiImageFolder::Basic, u"tip.png", m_frame) ||
        !LoadUiImage(UiImageFolder::Basic, u"tippoint.png", m_point))
        return 0;
    SetFlags(0);
    return 1;
}

void CSTip::ReleaseResources(int flag)
{
    platform::ScopedLock lock(m_lock);
    FreeImageBuffer(m_textImage);
    FreeImageBuffer(m_picture);
    CSprite::ReleaseResources(flag);
}

void CSTip::FreeOwnImageUnderWindowLock()
{
    if (m_window) {
        platform::ScopedLock windowLock(m_window->RenderLock());
        platform::ScopedLock lock(m_lock);
        FreeImageBuffer(m_image);
    } else {
        platform::ScopedLock lock(m_lock);
        FreeImageBuffer(m_image);
    }
}

int CSTip::SetText(const char16_t* text)
{
    if (!text)
        text = u"";
    if (m_textImage.data && std::u16string_view(text) == std::u16string_view(m_text))
        return 1;
    FreeOwnImageUnderWindowLock();
    char16_t bounded[kMaxText + 1];
    CopyTextBounded(bounded, kMaxText + 1, text);
    DecodeTextEscapes(bounded, m_text);
    ++m_layouts;

    // Lines end at LF, before CR, or after 1023 characters; runs of CR and LF are one break.
    struct Line { const char16_t* start; int length; };
    std::vector<Line> lines;
    const char16_t* p = m_text;
    while (*p) {
        const char16_t* start = p;
        int n = 0;
        while (p[n] && p[n] != u'\n' && p[n] != u'\r' && n < kMaxText - 1)
            ++n;
        lines.push_back({start, n});
        p += n;
        while (*p == u'\r' || *p == u'\n')
            ++p;
    }
    std::vector<ImageBuffer8> rendered;
    if (lines.size() == 1) {
        ImageBuffer8 img;
        std::u16string one(lines[0].start, size_t(lines[0].length));
        if (RenderWrappedText(img, one.c_str(), 1024, 0))
            rendered.push_back(img);
    } else {
        for (const Line& l : lines) {
            ImageBuffer8 img;
            std::u16string one(l.start, size_t(l.length));
            if (!RenderTextLocked(one.c_str(), img, nullptr, 0, 1024, nullptr))
                break;
            rendered.push_back(img);
        }
    }
    int w = 0, h = 0;
    for (const ImageBuffer8& img : rendered) {
        w = std::max(w, img.width);
        h += img.height;
    }
    platform::ScopedLock lock(m_lock);
    FreeImageBuffer(m_picture);
    FreeImageBuffer(m_textImage);
    int ok = 1;
    if (w > 0 && h > 0) {
        if (AllocImage8(m_textImage, w, h)) {
            std::memset(m_textImage.data, 0, m_textImage.byteSize);
            int y = 0;
            for (const ImageBuffer8& img : rendered) {
                for (int row = 0; row < img.height; ++row)
                    std::memcpy(m_textImage.data + (size_t(y + row) * w) * 4,
                                img.data + size_t(row) * img.width * 4, size_t(img.width) * 4);
                y += img.height;
            }
        } else {
            ok = 0;
        }
    }
    for (ImageBuffer8& img : rendered)
        FreeImageBuffer(img);
    SetAllDirty(1);
    return ok;
}

int CSTip::SetImage(const ImageBuffer8& image)
{
    {
        platform::ScopedLock lock(m_lock);
        FreeImageBuffer(m_textImage);
    }
    FreeOwnImageUnderWindowLock();
    platform::ScopedLock lock(m_lock);
    m_text[0] = 0;
    const int ok = CopyImage8(m_picture, image);
    SetAllDirty(1);
    return ok;
}

int CSTip::OnDraw(uint32_t)
{
    if (!AllDirty() || !m_image.data)
        return 0;
    if (m_picture.data) {
        std::memset(m_image.data, 0, m_image.byteSize);
        BlendImage8(m_image, m_picture, 0, 0, true, 256);
    } else if (m_textImage.data) {
        if (m_frame.data)
            TileFrame8(m_image, m_frame, 0, 0);
        if (m_opaque.load())
            for (int y = 2; y <= m_image.height - 3; ++y)
                for (int x = 2; x <= m_image.width - 3; ++x)
                    m_image.data[(size_t(y) * m_image.width + x) * 4 + 3] = 255;
        FillThroughMask8(m_image, m_textImage, (m_image.width - m_textImage.width) / 2,
                         (m_image.height - m_textImage.height) / 2, 0xEBEBEB);
    } else {
        return 0;
    }
    InvalidateRect(0, 0, 0, 0, 1);
    return 1;
}
