// Draws previews of the compiled dialogs.
#include "tools/DialogPreview.h"

#include "imaging/AlphaTables.h"
#include "imaging/Draw8.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "imaging/ImageCodec/ImageStrip.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace tools {

namespace {

constexpr int kTitleHeight = 25;
constexpr int kControlsDown = 30;
constexpr int kTextHeight = 14;

platform::BitmapView View(ImageBuffer8& im)
{
    return {im.data, im.width, im.height, im.width * 4};
}

struct Skin {
    ImageBuffer8 frame, button, icon, close;
    ImageList8 checks, radios;
    ~Skin()
    {
        for (ImageBuffer8* i : {&frame, &button, &icon, &close})
            FreeImageBuffer(*i);
    }
    bool Load(const std::u16string& basic)
    {
        auto path = [&](const char16_t* n) { return platform::JoinPath(basic, n); };
        return CodecLoadImage8(frame, path(u"frame.png").c_str()) && CodecLoadImage8(button, path(u"btn.png").c_str()) &&
               CodecLoadImage8(icon, path(u"defwndicon.png").c_str()) &&
               CodecLoadImage8(close, path(u"close.png").c_str()) &&
               LoadImageStrip8(checks, path(u"checkbox.png").c_str(), 20) &&
               LoadImageStrip8(radios, path(u"ratio.png").c_str(), 20) && checks.size() >= 2 && radios.size() >= 2;
    }
};

// A button face at rest: the face colour (235) with the alpha the face picture's red byte gives.
void DrawButtonFace(ImageBuffer8& target, const ImageBuffer8& faceTemplate, const DrawRect& r)
{
    ImageBuffer8 face;
    if (!AllocImage8(face, r.right - r.left, r.bottom - r.top))
        return;
    TileFrame8(face, faceTemplate, 0, 0);
    constexpr int kRestFactor = 68;
    for (uint32_t i = 0; i < face.pixelCount; ++i) {
        int alpha = std::min(255, (face.data[i * 4 + 2] * kRestFactor) >> 8);
        face.data[i * 4 + 0] = face.data[i * 4 + 1] = face.data[i * 4 + 2] = 235;
        face.data[i * 4 + 3] = uint8_t(alpha);
    }
    BlendImage8(target, face, r.left, r.top, false, 256);
    FreeImageBuffer(face);
}

void DrawLines(ImageBuffer8& im, const platform::Font& font, const std::vector<std::u16string>& lines, int x, int y,
               uint32_t colour)
{
    for (const std::u16string& l : lines) {
        font.DrawText(View(im), x, y, l, colour);
        y += font.Metrics().height;
    }
}

bool DrawDialog(const DialogSource& d, const StringTable& table, const Skin& skin, const platform::Font& font,
                ImageBuffer8& out)
{
    DialogBaseUnits base = MeasureDialogBaseUnits(d);
    int w = DialogUnitsToPixels(d.cx, base.width, 0.25);
    int h = DialogUnitsToPixels(d.cy, base.height, 0.125) + kTitleHeight;
    if (w <= 0 || h <= 0 || !AllocImage8(out, w, h))
        return false;
    TileFrame8(out, skin.frame, 0, 0);
    BlendImage8(out, skin.icon, 7, 5 + (kTitleHeight - skin.icon.height) / 2, false, 256);
    std::u16string caption = table.LookupText(d.caption.c_str());
    font.DrawText(View(out), skin.icon.width + 10, 9 - (font.Metrics().height - 11) / 2, caption, 0xEBEBEB);
    DrawButtonFace(out, skin.button, {w - 27, 7, w - 7, 27});
    BlendImage8(out, skin.close, w - 27 + (20 - skin.close.width) / 2, 7 + (20 - skin.close.height) / 2, false, 256);

    for (const DialogItemSource& it : d.items) {
        DrawRect r;
        r.left = DialogUnitsToPixels(it.x, base.width, 0.25);
        r.top = DialogUnitsToPixels(it.y, base.height, 0.125) + kControlsDown;
        r.right = r.left + DialogUnitsToPixels(it.cx, base.width, 0.25);
        r.bottom = r.top + DialogUnitsToPixels(it.cy, base.height, 0.125);
        bool typed = it.text.size() > 2 && it.text[0] == u'#';
        std::u16string text = it.text.empty() ? u"" : table.LookupText((typed ? it.text.substr(2) : it.text).c_str());
        int cw = r.right - r.left, ch = r.bottom - r.top;
        if (typed) {
            const ImageList8& strip = it.text[1] == u'R' ? skin.radios : skin.checks;
            BlendImage8(out, *strip[1], r.left + 2, r.top + 2, false, 256);
            DrawLines(out, font, WrapText(font, text, cw - 35), r.left + 28, r.top + 4, 0xEBEBEB);
        } else if (it.classOrdinal == 0x80) {
            DrawButtonFace(out, skin.button, r);
            int tw = font.MeasureText(text).width;
            font.DrawText(View(out), r.left + (cw - tw) / 2, r.top + (ch - font.Metrics().height) / 2, text, 0xC8C8C8);
        } else if (it.classOrdinal == 0x81) {
            FillRect8(out, r, 0x161616, 255);
            DrawRectOutline8(out, 0x505050, 255, r.left, r.top, r.right, r.bottom);
            font.DrawText(View(out), r.left + 4, r.top + (ch - font.Metrics().height) / 2, text, 0xEBEBEB);
        } else if (ch <= 2) {
            // A rule: grey in the middle fading to black at both ends.
            DrawGradientLine8(out, 0xFF808080, 0xFF000000, 1, r.left, r.top, r.right, r.top, 4.0);
        } else {
            FillRect8(out, r, 0x303030, 90); // the label's box, faintly, to see its size
            DrawLines(out, font, WrapText(font, text, cw), r.left, r.top, 0xA0A0A0);
        }
    }
    return true;
}

} // namespace

DialogBaseUnits MeasureDialogBaseUnits(const DialogSource& d)
{
    int points = d.points > 0x7FFF ? 65536 - d.points : d.points;
    auto font = platform::Font::Create({d.face, -int(std::trunc(points * 96.0 / 72 + 0.5)), d.weight, d.italic != 0});
    if (!font)
        return {};
    int extent = font->MeasureText(u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ").width;
    return {(extent / 26 + 1) / 2, font->Metrics().height};
}

int DialogUnitsToPixels(int units, int base, double factor)
{
    return int(std::trunc(units * base * factor + 0.5));
}

std::vector<std::u16string> WrapText(const platform::Font& font, const std::u16string& text, int width)
{
    std::vector<std::u16string> lines;
    std::u16string line;
    size_t at = 0;
    while (at < text.size()) {
        size_t space = text.find(u' ', at);
        std::u16string word = text.substr(at, space == std::u16string::npos ? std::u16string::npos : space - at);
        std::u16string longer = line.empty() ? word : line + u" " + word;
        if (!line.empty() && font.MeasureText(longer).width > width) {
            lines.push_back(line);
            line = word;
        } else {
            line = longer;
        }
        at = space == std::u16string::npos ? text.size() : space + 1;
    }
    if (!line.empty() || lines.empty())
        lines.push_back(line);
    return lines;
}

bool BuildDialogPreviews(const std::u16string& programFolder, ImageBuffer8& out, std::string& error)
{
    if (!GetAlphaTables() && !BuildAlphaTables()) {
        error = "no blend tables";
        return false;
    }
    std::u16string basic = platform::JoinPath(programFolder, u"basic");
    Skin skin;
    if (!skin.Load(basic)) {
        error = "cannot load the skin pictures of " + platform::Utf16ToUtf8(basic);
        return false;
    }
    auto font = platform::Font::Create({u"Tahoma", kTextHeight, 400, false});
    if (!font) {
        error = "no font";
        return false;
    }
    std::vector<std::u16string> tables = {platform::JoinPath(basic, u"resource.txt")};
    std::vector<platform::FileInfo> files;
    if (platform::ListFolder(platform::JoinPath(basic, u"Localize"), u"*.txt", files))
        for (const platform::FileInfo& f : files)
            tables.push_back(platform::JoinPath(platform::JoinPath(basic, u"Localize"), f.name));
    std::vector<platform::FileInfo> dialogs;
    if (!platform::ListFolder(platform::JoinPath(programFolder, u"dialogs"), u"*.res", dialogs) || dialogs.empty()) {
        error = "no compiled dialogs";
        return false;
    }

    // One row per language, the dialogs side by side.
    constexpr int kGap = 16;
    std::vector<std::vector<ImageBuffer8>> rows(tables.size());
    int width = kGap, height = kGap;
    for (size_t t = 0; t < tables.size(); ++t) {
        StringTable table;
        if (!table.Parse(tables[t].c_str())) {
            error = "cannot read " + platform::Utf16ToUtf8(tables[t]);
            return false;
        }
        int rowWidth = kGap, rowHeight = 0;
        for (const platform::FileInfo& f : dialogs) {
            std::vector<uint8_t> bytes;
            DialogSource d;
            if (!platform::ReadWholeFile(platform::JoinPath(platform::JoinPath(programFolder, u"dialogs"), f.name), bytes) ||
                !ReadDialogTemplate(bytes, d)) {
                error = "cannot read " + platform::Utf16ToUtf8(f.name);
                return false;
            }
            rows[t].emplace_back();
            if (!DrawDialog(d, table, skin, *font, rows[t].back())) {
                error = "cannot draw " + platform::Utf16ToUtf8(f.name);
                return false;
            }
            rowWidth += rows[t].back().width + kGap;
            rowHeight = std::max(rowHeight, int(rows[t].back().height));
        }
        width = std::max(width, rowWidth);
        height += rowHeight + kGap;
    }
    bool ok = AllocImage8(out, width, height);
    if (ok) {
        for (uint32_t i = 0; i < out.pixelCount; ++i) { // a window behind the dialogs
            out.data[i * 4 + 0] = out.data[i * 4 + 1] = out.data[i * 4 + 2] = 0x3A;
            out.data[i * 4 + 3] = 255;
        }
        int y = kGap;
        for (auto& row : rows) {
            int x = kGap, rowHeight = 0;
            for (ImageBuffer8& im : row) {
                BlendImage8(out, im, x, y, false, 256);
                x += im.width + kGap;
                rowHeight = std::max(rowHeight, int(im.height));
            }
            y += rowHeight + kGap;
        }
    }
    for (auto& row : rows)
        for (ImageBuffer8& im : row)
            FreeImageBuffer(im);
    if (!ok)
        error = "out of memory";
    return ok;
}

} // namespace tools
