#include "algorithms/FreeRotate.h"

#include "algorithms/PixelAccess.h"
#include "algorithms/RecordCopy.h"

#include <algorithm>
#include <cmath>

namespace {

// The result is built apart from the destination, which may be the source itself.
void ReplaceImage(ImageBuffer16& destination, ImageBuffer16& fresh)
{
    FreeImageBuffer(destination);
    destination = fresh;
    fresh = ImageBuffer16{};
}

inline int Lerp8(int a, int b, int f)
{
    return (a * (256 - f) + b * f) >> 8;
}

} // namespace

void SampleBilinearTrunc(const ImageBuffer16& source, double sx, double sy, bool coverageAlpha,
                         uint16_t* out)
{
    const int w = source.width, h = source.height;
    // Past -1 or w both neighbours are outside (this also catches NaN).
    if (!(sx > -1 && sx < w && sy > -1 && sy < h)) {
        out[0] = out[1] = out[2] = out[3] = 0;
        return;
    }
    const int x0 = static_cast<int>(sx), y0 = static_cast<int>(sy);
    const int x1 = sx > 0 ? x0 + 1 : x0 - 1, y1 = sy > 0 ? y0 + 1 : y0 - 1;
    const int f = static_cast<int>(std::fabs(sx - x0) * 256), g = static_cast<int>(std::fabs(sy - y0) * 256);
    static const uint16_t kOutside[4] = {0, 0, 0, 0};
    const bool in00 = x0 >= 0 && x0 < w && y0 >= 0 && y0 < h, in10 = x1 >= 0 && x1 < w && y0 >= 0 && y0 < h;
    const bool in01 = x0 >= 0 && x0 < w && y1 >= 0 && y1 < h, in11 = x1 >= 0 && x1 < w && y1 >= 0 && y1 < h;
    const uint16_t* p00 = in00 ? Row16(source, y0) + x0 * 4 : kOutside;
    const uint16_t* p10 = in10 ? Row16(source, y0) + x1 * 4 : kOutside;
    const uint16_t* p01 = in01 ? Row16(source, y1) + x0 * 4 : kOutside;
    const uint16_t* p11 = in11 ? Row16(source, y1) + x1 * 4 : kOutside;
    const int colours = coverageAlpha ? 3 : 4;
    for (int c = 0; c < colours; ++c)
        out[c] = static_cast<uint16_t>(Lerp8(Lerp8(p00[c], p10[c], f), Lerp8(p01[c], p11[c], f), g));
    if (coverageAlpha)
        out[3] = static_cast<uint16_t>(Lerp8(Lerp8(in00 ? 0xFFFF : 0, in10 ? 0xFFFF : 0, f),
                                             Lerp8(in01 ? 0xFFFF : 0, in11 ? 0xFFFF : 0, f), g));
}

int CropToOpaqueRect(ImageBuffer16& image, bool edgeMiddles)
{
    const int W = image.width, H = image.height;
    if (!image.data || W <= 0 || H <= 0)
        return 0;
    auto transparent = [&](int x, int y) {
        return x < 0 || y < 0 || x >= W || y >= H || Row16(image, y)[x * 4 + 3] == 0;
    };
    const double D = std::sqrt(double(W) * W + double(H) * H);
    int left = 0, right = W, top = 0, bottom = H;
    auto place = [&](double t) {
        left = std::max(0, static_cast<int>(W / 2 - W * t / D + 0.5));
        right = std::min(W, static_cast<int>(W / 2 + 0.5 + W * t / D));
        top = std::max(0, static_cast<int>(H / 2 - H * t / D + 0.5));
        bottom = std::min(H, static_cast<int>(H / 2 + 0.5 + H * t / D));
    };
    double lo = 0, hi = D, t = D / 2;
    for (;;) {
        place(t);
        const int midY = (top + bottom) / 2, midX = (left + right) / 2;
        const int points[8][2] = {{left, top},  {right, top},  {left, bottom}, {right, bottom},
                                  {left, midY}, {right, midY}, {midX, top},    {midX, bottom}};
        bool clear = false;
        for (int p = 0; p < (edgeMiddles ? 8 : 4) && !clear; ++p)
            clear = transparent(points[p][0], points[p][1]);
        (clear ? hi : lo) = t;
        if (hi - lo <= 1)
            break;
        t = (lo + hi) / 2;
    }
    // The largest size that passed, not the last one tried: that may have failed and would
    // keep transparent corners.
    place(lo);
    // A search that shrank to nothing still keeps the middle pixel.
    if (right <= left) {
        left = std::min(left, W - 1);
        right = left + 1;
    }
    if (bottom <= top) {
        top = std::min(top, H - 1);
        bottom = top + 1;
    }
    if (left == 0 && top == 0 && right == W && bottom == H)
        return 1;
    ImageBuffer16 cropped{};
    if (!AllocImage16(cropped, right - left, bottom - top))
        return 0;
    for (int y = top; y < bottom; ++y)
        std::copy_n(Row16(image, y) + size_t(left) * 4, size_t(right - left) * 4, Row16(cropped, y - top));
    ReplaceImage(image, cropped);
    return 1;
}

bool CRotate::Sample(const ImageBuffer16& source, ImageBuffer16& canvas)
{
    const int W = canvas.width;
    return ParallelRows(canvas.height, int64_t(W) * 4, [&](int i0, int i1) {
        for (int i = i0; i < i1; ++i) {
            uint16_t* d = Row16(canvas, i);
            const double dy = i - m_canvasCy;
            for (int j = 0; j < W; ++j, d += 4) {
                const double dx = j - m_canvasCx;
                SampleBilinearTrunc(source, dx * m_cos + dy * m_sin + m_sourceCx,
                                    -dx * m_sin + dy * m_cos + m_sourceCy, true, d);
            }
        }
        return true;
    });
}

int CRotate::Run()
{
    CopyRecordAtMost(m_params, Params());
    ImageBuffer16* src = Source();
    ImageBuffer16* dst = Destination();
    if (!src || !dst || !src->data || src->width <= 0 || src->height <= 0 || !std::isfinite(m_params.angle))
        return 0;
    if (m_params.angle == 0) {
        SetProgress(100);
        return src == dst || CopyImage16(*dst, *src) ? 1 : 0;
    }
    const int w = src->width, h = src->height;
    m_sin = std::sin(m_params.angle);
    m_cos = std::cos(m_params.angle);
    // sin and cos of a quarter turn miss 0 by about 1e-16, enough to pull exact pixel
    // positions just below the integer and blend in the neighbour.
    if (std::fabs(m_sin) < 1e-12)
        m_sin = 0;
    if (std::fabs(m_cos) < 1e-12)
        m_cos = 0;
    const double cw = std::fabs(w * m_cos) + std::fabs(h * m_sin);
    const double ch = std::fabs(h * m_cos) + std::fabs(w * m_sin);
    // Both are at least about 0.7 of the shorter side; a one-pixel picture still gets a pixel.
    const int W = std::max(1, static_cast<int>(cw)), H = std::max(1, static_cast<int>(ch));
    // Integer halves of the sizes would put an even-sized picture half a pixel off the
    // canvas: a quarter turn would lose a row and leave a transparent column.
    m_sourceCx = (w - 1) / 2.0;
    m_sourceCy = (h - 1) / 2.0;
    m_canvasCx = (W - 1) / 2.0;
    m_canvasCy = (H - 1) / 2.0;
    ImageBuffer16 canvas{};
    if (!AllocImage16(canvas, W, H))
        return 0;
    SetProgress(5);
    if (!Sample(*src, canvas)) {
        FreeImageBuffer(canvas);
        return 0;
    }
    SetProgress(90);
    if (m_params.cropToOpaque && !CropToOpaque(canvas)) {
        FreeImageBuffer(canvas);
        return 0;
    }
    ReplaceImage(*dst, canvas);
    SetProgress(100);
    return 1;
}

int CBarrelDistort::Run()
{
    CopyRecordAtMost(m_params, Params());
    ImageBuffer16* src = Source();
    ImageBuffer16* dst = Destination();
    if (!src || !dst || !src->data || src->width <= 0 || src->height <= 0 || std::isnan(m_params.coefficient))
        return 0;
    // Stored records may hold any value; the dialog's range is -1..1.
    const double k = std::clamp(m_params.coefficient, -1.0, 1.0);
    if (k == 0)
        return src == dst || CopyImage16(*dst, *src) ? 1 : 0;
    const int w = src->width, h = src->height;
    ImageBuffer16 out{};
    if (!AllocImage16(out, w, h))
        return 0;
    const double d = std::sqrt(double(w) * w + double(h) * h);
    const double hw = w / 2.0, hh = h / 2.0, scale = (1 - k / 5) * d;
    auto rows = [&](int i0, int i1) {
        for (int i = i0; i < i1; ++i) {
            uint16_t* o = Row16(out, i);
            const double v = (i - hh) / d;
            for (int j = 0; j < w; ++j, o += 4) {
                const double u = (j - hw) / d;
                const double m = (1 + k * (u * u + v * v)) * scale;
                SampleBilinearTrunc(*src, u * m + hw, v * m + hh, false, o);
            }
        }
        return true;
    };
    // Blocks of whole tens of rows, so every tenth row's progress goes out in order.
    const int block = std::max(10, (h / 16 + 9) / 10 * 10);
    for (int i0 = 0; i0 < h; i0 += block) {
        const int i1 = std::min(h, i0 + block);
        if (!ParallelRows(i1 - i0, int64_t(w) * 4, [&](int a, int b) { return rows(i0 + a, i0 + b); })) {
            FreeImageBuffer(out);
            return 0;
        }
        for (int i = (i0 + 9) / 10 * 10; i < i1; i += 10)
            SetProgress(static_cast<int>(int64_t(i) * 90 / h));
    }
    if (m_params.cropToOpaque && !CropToOpaque(out)) {
        FreeImageBuffer(out);
        return 0;
    }
    ReplaceImage(*dst, out);
    SetProgress(100);
    return 1;
}
