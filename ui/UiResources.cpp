// Loading the skin pictures and strips, the paths of the two skin folders, the hand cursor,
// and the start-up of theAppResources.
#include "ui/UiResources.h"

#include "ui/UiSeams.h"

#include "imaging/ImageCodec/ImageLoad.h"
#include "imaging/ImageCodec/ImageStrip.h"
#include "imaging/TextRender.h"
#include "platform/File.h"
#include "platform/Path.h"

#include <algorithm>

AppResources theAppResources;

namespace {

// The hand cursor: '.' transparent, '#' black, 'o' white; rows 0-6 and 24-31 are empty.
constexpr const char* kHandShape[17] = {
    "..............##................", // row 7
    "..........##.#oo###.............",
    ".........#oo##oo#oo#............",
    ".........#oo##oo#oo#.#..........",
    "..........#oo#oo#oo##o#.........",
    "..........#oo#oo#oo#oo#.........",
    "........####ooooooo#oo#.........",
    ".......#oo##oooooooooo#.........",
    ".......#ooo#ooooooooo#..........",
    "........#oooooooooooo#..........",
    ".........#ooooooooooo#..........",
    ".........#oooooooooo#...........",
    "..........#ooooooooo#...........",
    "...........#ooooooo#............",
    "............#oooooo#............",
    "............#oooooo#............",
    ".............######.............", // row 23
};
constexpr int kHandFirstRow = 7;

} // namespace

UIResources::~UIResources()
{
    FreeAll();
}

void UIResources::FreeAll()
{
    for (ImageBuffer8* image : {&frame, &button, &roundFrame, &tabTitleBackground, &scrollBar, &textBuffer})
        FreeImageBuffer(*image);
    for (ImageList8* list : {&digits, &smallDigits, &icons})
        FreeImageList8(*list);
    m_firstFrame.fill(0);
    m_frameCount.fill(0);
}

platform::CriticalSection& UIResources::Lock()
{
    return SharedTextResources().lock;
}

String16 UIResources::BasicPath(StringView16 name) const
{
    return platform::JoinPath(platform::JoinPath(m_programFolder, u"basic"), name);
}

String16 UIResources::SkinPath(StringView16 name) const
{
    return platform::JoinPath(platform::JoinPath(m_programFolder, u"skin"), name);
}

int UIResources::Load(StringView16 programFolder, const std::vector<platform::Rect>& monitors)
{
    FreeAll();
    m_programFolder.assign(programFolder);

    const std::pair<ImageBuffer8*, const char16_t*> pictures[] = {
        {&frame, u"frame.png"},
        {&button, u"btn.png"},
        {&roundFrame, u"roundframe.png"},
        {&tabTitleBackground, u"tabtitlebk.png"},
    };
    for (const auto& [image, name] : pictures)
        if (!CodecLoadImage8(*image, BasicPath(name).c_str()))
            return 0;
    if (!LoadImageStrip8(digits, BasicPath(u"digi.png").c_str(), kDigitWidth) ||
        !LoadImageStrip8(smallDigits, BasicPath(u"smalldigi.png").c_str(), kSmallDigitWidth) ||
        !CodecLoadImage8(scrollBar, BasicPath(u"scrollbar.png").c_str()))
        return 0;

    for (size_t i = 0; i < kIconStrip.size(); ++i) {
        size_t before = icons.size();
        if (!AppendImageStrip8(icons, BasicPath(kIconStrip[i].name).c_str(), kIconStrip[i].frameWidth))
            return 0;
        // A picture narrower than one frame gives no frame: the widgets counting on it would
        // index the next picture's frames.
        if (icons.size() == before)
            return 0;
        m_firstFrame[i] = int(before);
        m_frameCount[i] = int(icons.size() - before);
    }

    if (!AllocImage8(textBuffer, kTextBufferWidth, kTextBufferHeight))
        return 0;

    screenRect = platform::Rect();
    for (const platform::Rect& r : monitors) {
        if (r.IsEmpty())
            continue;
        if (screenRect.IsEmpty()) {
            screenRect = r;
            continue;
        }
        screenRect.left = std::min(screenRect.left, r.left);
        screenRect.top = std::min(screenRect.top, r.top);
        screenRect.right = std::max(screenRect.right, r.right);
        screenRect.bottom = std::max(screenRect.bottom, r.bottom);
    }
    return 1;
}

platform::CustomCursor BuildHandCursor()
{
    platform::CustomCursor c;
    // Everything transparent (AND 1, XOR 0) but the drawn rows.
    std::fill(std::begin(c.andPlane), std::end(c.andPlane), uint8_t(0xFF));
    for (int r = 0; r < 17; ++r) {
        int row = kHandFirstRow + r;
        for (int x = 0; x < 32; ++x) {
            uint8_t bit = uint8_t(0x80 >> (x & 7));
            int at = row * 4 + x / 8;
            char p = kHandShape[r][x];
            if (p != '.')
                c.andPlane[at] &= uint8_t(~bit);
            if (p == 'o')
                c.xorPlane[at] |= bit;
        }
    }
    c.hotX = 15;
    c.hotY = 15;
    return c;
}

int LoadProgramCursor(int resourceNumber, int hotX, int hotY, platform::CustomCursor& out)
{
    const String16 name = u"cursor" + platform::IntToText(resourceNumber) + u".png";
    ImageBuffer8 picture;
    if (!LoadUiImage(UiImageFolder::Basic, name.c_str(), picture))
        return 0;
    const bool fits = picture.width == 32 && picture.height == 32 && picture.data;
    platform::CustomCursor c;
    std::fill(std::begin(c.andPlane), std::end(c.andPlane), uint8_t(0xFF));
    for (int y = 0; fits && y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const uint8_t* p = picture.data + (size_t(y) * 32 + x) * 4; // B, G, R, A
            if (p[3] < 128)
                continue;
            const uint8_t bit = uint8_t(0x80 >> (x & 7));
            const int at = y * 4 + x / 8;
            c.andPlane[at] &= uint8_t(~bit);
            if ((p[0] + 2 * p[1] + p[2]) / 4 >= 128)
                c.xorPlane[at] |= bit;
        }
    }
    FreeImageBuffer(picture);
    if (!fits)
        return 0;
    c.hotX = std::clamp(hotX, 0, 31);
    c.hotY = std::clamp(hotY, 0, 31);
    out = c;
    return 1;
}

int AppResources::CreateAppCursor()
{
    cursor = BuildHandCursor();
    hasCursor = true;
    return 1;
}

int AppResources::Init(StringView16 folder, const std::vector<platform::Rect>& monitors)
{
    programFolder = platform::WithTrailingSeparator(folder);
    std::vector<uint8_t> base;
    String16 resourcePath = platform::JoinPath(platform::JoinPath(programFolder, u"basic"), u"resource.txt");
    // A string table is text of some hundred kilobytes; a huge file is not ours.
    if (!platform::ReadWholeFile(resourcePath, base, 64u << 20))
        return 0;
    table.Clear();
    table.SetBaseText(std::move(base));
    if (!table.Parse(nullptr))
        return 0;
    table.Add(u"errmem", u"Not enough memory.");
    table.Add(u"errinit", u"Can not init application.");
    table.Sort();

    const char16_t* logPath = table.FindText(u"logpath");
    log.Start(logPath ? StringView16(logPath) : StringView16());

    if (!ui.Load(programFolder, monitors))
        return 0;
    WriteLog("Image resource loaded.");
    if (!CreateAppCursor())
        return 0;
    WriteLog("Resource loaded.");
    return 1;
}
