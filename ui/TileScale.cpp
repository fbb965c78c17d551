// The two enlargement rules of the present step: 2 x 2 -> 3 x 3 at scale 1.5, 1 -> 2 x 2 at 2.
#include "ui/TileScale.h"

#include <algorithm>
#include <cstring>

namespace {

struct Px {
    uint8_t b, g, r, a;
};

inline Px At(const ImageBuffer8& img, int x, int y)
{
    x = std::clamp(x, 0, img.width - 1);
    y = std::clamp(y, 0, img.height - 1);
    const uint8_t* p = img.data + (size_t(y) * img.width + x) * 4;
    return {p[0], p[1], p[2], p[3]};
}

inline Px Avg(Px a, Px b)
{
    return {uint8_t((a.b + b.b) >> 1), uint8_t((a.g + b.g) >> 1), uint8_t((a.r + b.r) >> 1), 0};
}

inline void PutWhole(ImageBuffer8& img, int x, int y, Px p)
{
    uint8_t* d = img.data + (size_t(y) * img.width + x) * 4;
    d[0] = p.b;
    d[1] = p.g;
    d[2] = p.r;
    d[3] = p.a;
}

// Colour only: the averaged pixels of a group leave alpha as the cleared block has it.
inline void PutColour(ImageBuffer8& img, int x, int y, Px p)
{
    uint8_t* d = img.data + (size_t(y) * img.width + x) * 4;
    d[0] = p.b;
    d[1] = p.g;
    d[2] = p.r;
}

} // namespace

platform::Rect ScaledBlockRect(const platform::Rect& r, int cw, int ch, int lw, int lh)
{
    if (lw <= 0 || lh <= 0)
        return {};
    return {int(int64_t(r.left) * cw / lw), int(int64_t(r.top) * ch / lh),
            int(int64_t(r.right) * cw / lw), int(int64_t(r.bottom) * ch / lh)};
}

int ScaleTileBlock(const ImageBuffer8& back, const platform::Rect& r, double scale, ImageBuffer8& block)
{
    if (!back.data || r.IsEmpty())
        return 0;
    const int w = r.Width(), h = r.Height();
    const bool threeHalves = scale == 1.5;
    // Whole groups even for an odd edge tile.
    const int bw = threeHalves ? (w + 1) / 2 * 3 : w * 2;
    const int bh = threeHalves ? (h + 1) / 2 * 3 : h * 2;
    if (block.width < bw || block.height < bh || !block.data) {
        if (!AllocImage8(block, std::max(bw, block.width), std::max(bh, block.height)))
            return 0;
    }
    std::memset(block.data, 0, block.byteSize);
    if (threeHalves) {
        for (int gy = 0; gy < (h + 1) / 2; ++gy)
            for (int gx = 0; gx < (w + 1) / 2; ++gx) {
                const int c = r.left + gx * 2, row = r.top + gy * 2;
                const Px s00 = At(back, c, row), s10 = At(back, c + 1, row);
                const Px s01 = At(back, c, row + 1), s11 = At(back, c + 1, row + 1);
                const int ox = gx * 3, oy = gy * 3;
                PutWhole(block, ox, oy, s00);
                PutColour(block, ox + 1, oy, Avg(s00, s10));
                PutWhole(block, ox + 2, oy, s10);
                PutWhole(block, ox, oy + 2, s01);
                PutColour(block, ox + 1, oy + 2, Avg(s01, s11));
                PutWhole(block, ox + 2, oy + 2, s11);
                const Px left = Avg(s00, s01), right = Avg(s10, s11);
                PutColour(block, ox, oy + 1, left);
                PutColour(block, ox + 2, oy + 1, right);
                PutColour(block, ox + 1, oy + 1, Avg(left, right));
            }
        return 1;
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int sx = r.left + x, sy = r.top + y;
            const Px c = At(back, sx, sy);
            // Neighbours up and left; at the buffer's top or left edge the nearest existing
            // pixel stands in (At clamps).
            const Px up = At(back, sx, sy - 1), left = At(back, sx - 1, sy), ul = At(back, sx - 1, sy - 1);
            const int ox = x * 2, oy = y * 2;
            PutWhole(block, ox + 1, oy + 1, c);
            PutColour(block, ox + 1, oy, Avg(up, c));
            PutColour(block, ox, oy + 1, Avg(left, c));
            PutColour(block, ox, oy, {uint8_t((ul.b + up.b + left.b + c.b) >> 2),
                                      uint8_t((ul.g + up.g + left.g + c.g) >> 2),
                                      uint8_t((ul.r + up.r + left.r + c.r) >> 2), 0});
        }
    return 1;
}
