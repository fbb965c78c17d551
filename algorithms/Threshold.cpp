#include "algorithms/Threshold.h"

#include "algorithms/AlgorithmRandom.h"
#include "algorithms/AlgorithmThread.h"
#include "algorithms/ColourOps.h"
#include "algorithms/GaussBlur.h"
#include "algorithms/ImageSize.h"
#include "imaging/ColourTables.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

namespace {

inline void SetGrey(uint16_t* p, uint16_t v)
{
    p[0] = p[1] = p[2] = v;
}

// Y below a is black, from b white, a grey ramp between.
inline uint16_t Ramp(int64_t Y, int64_t a, int64_t b)
{
    if (Y < a)
        return 0;
    if (Y >= b)
        return 65535;
    return static_cast<uint16_t>((Y - a) * 65535 / (b - a));
}

} // namespace

int CThreshold::Run()
{
    if (!CopyParamRecord(m_params, m_pParams) || !m_pSource || !m_pDestination || !m_pSource->data)
        return 0;
    if (!CopyUnlessSame(*m_pDestination, *m_pSource))
        return 0;
    const int level = ClampField(m_params.level, 0, 100);
    const int transition = ClampField(m_params.transition, 0, 100);
    const int area = ClampField(m_params.adaptiveArea, 0, 100);
    ImageBuffer16& img = *m_pDestination;
    switch (m_params.method) {
    case 0:
        return Fixed(img, level, transition);
    case 1:
        return Adaptive(img, level, transition, area);
    case 2:
        return Diffuse(img);
    case 3:
        return Halftone(img);
    default:
        return 1;
    }
}

int CThreshold::Fixed(ImageBuffer16& img, int level, int transition)
{
    const int t = level * 65535 / 100;
    const int lo = std::max(t - transition * 20, 0), hi = std::min(t + transition * 20, 65535);
    // Every 100 rows a slice, so progress still moves in steps of 100 rows.
    for (int y0 = 0; y0 < img.height; y0 += 100) {
        const int y1 = std::min(img.height, y0 + 100);
        ParallelRows(y1 - y0, img.width, [&](int first, int end) {
            for (int y = y0 + first; y < y0 + end; ++y) {
                uint16_t* p = Row16(img, y);
                for (int x = 0; x < img.width; ++x, p += 4)
                    SetGrey(p, Ramp(Luma10(p), lo, hi));
            }
            return true;
        });
        if (y1 < img.height)
            SetProgress(static_cast<int>(100LL * y1 / img.height));
    }
    return 1;
}

int CThreshold::Adaptive(ImageBuffer16& img, int level, int transition, int area)
{
    const ImageBuffer16& src = *m_pSource;
    const int W = src.width, H = src.height;
    int w, h;
    if (W >= H)
        w = 100, h = std::max(1, static_cast<int>(int64_t(H) * 100 / W));
    else
        h = 100, w = std::max(1, static_cast<int>(int64_t(W) * 100 / H));
    ImageBuffer16 small{}, blurred{}, big{};
    auto release = [&] {
        FreeImageBuffer(small);
        FreeImageBuffer(blurred);
        FreeImageBuffer(big);
    };
    CImageSize sizer;
    sizer.SetParent(this, 0, 0);
    if (!sizer.ResizeCubic(src, small, w, h, 0.33f, 0.73f))
        return release(), 0;
    SetProgress(10);
    if (IsAlgorithmCancelled())
        return release(), CopyImage16(img, src) ? 1 : 0;
    CGaussBlur blur;
    blur.SetParent(this, 0, 0);
    if (!blur.BlurImage16(1.0, small, blurred))
        return release(), 0;
    SetProgress(20);
    if (IsAlgorithmCancelled())
        return release(), CopyImage16(img, src) ? 1 : 0;
    for (size_t i = 0; i < PixelCount(blurred); ++i) {
        uint16_t* p = Pixels16(blurred) + i * 4;
        p[3] = static_cast<uint16_t>(Luma10(p));
    }
    // Each working pixel gets the local range it thresholds against: lo in B, hi in G.
    const int r = area / 5 + 1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int mn = 65535, mx = 0;
            for (int yy = std::max(y - r, 0); yy < std::min(y + r, h); ++yy)
                for (int xx = std::max(x - r, 0); xx < std::min(x + r, w); ++xx) {
                    const int v = Row16(blurred, yy)[xx * 4 + 3];
                    mn = std::min(mn, v);
                    mx = std::max(mx, v);
                }
            int lo = mn, hi = mx;
            if (mx - mn < 30000) {
                const int d = mn - mx + 30000;
                if ((mn + mx) / 2 > 32768)
                    hi = mx, lo = mx - 30000 - d / 2;
                else
                    hi = std::min(mn + 30000, 65535), lo = mn - d / 2;
                lo = std::max(lo, 0);
            }
            uint16_t* p = Row16(small, y) + x * 4;
            p[0] = static_cast<uint16_t>(lo);
            p[1] = static_cast<uint16_t>(hi);
        }
    SetProgress(50);
    if (IsAlgorithmCancelled())
        return release(), CopyImage16(img, src) ? 1 : 0;
    CImageSize enlarge;
    enlarge.SetParent(this, 50, 80);
    if (!enlarge.ResizeBilinear(small, big, W, H))
        return release(), 0;
    SetProgress(80);
    if (IsAlgorithmCancelled())
        return release(), CopyImage16(img, src) ? 1 : 0;
    for (int y = 0; y < H; ++y) {
        uint16_t* p = Row16(img, y);
        const uint16_t* q = Row16(big, y);
        for (int x = 0; x < W; ++x, p += 4, q += 4) {
            const int64_t lo = q[0], hi = q[1];
            const int64_t u = lo + (hi - lo) * level / 100, v = int64_t(transition) * 15;
            SetGrey(p, Ramp(Luma10(p), std::max<int64_t>(u - v, 0), std::min<int64_t>(u + v, 65535)));
        }
    }
    release();
    SetProgress(100);
    return 1;
}

int CThreshold::Diffuse(ImageBuffer16& img)
{
    const int W = img.width, H = img.height;
    for (size_t i = 0; i < PixelCount(img); ++i) {
        uint16_t* p = Pixels16(img) + i * 4;
        p[3] = static_cast<uint16_t>(Luma10(p));
    }
    auto spread = [&](int x, int y, int64_t e, int weight) {
        uint16_t& v = Row16(img, y)[x * 4 + 3];
        v = ClampU16(v + e * weight / 100);
    };
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            uint16_t* p = Row16(img, y) + x * 4;
            const int64_t v = p[3];
            int64_t e;
            if (v > 32768)
                SetGrey(p, 65535), e = v - 65535;
            else
                SetGrey(p, 0), e = v;
            const bool right = x < W - 2, down = y < H - 2;
            if (right) {
                spread(x + 1, y, e, 20 + AlgorithmRand() % 16);
                spread(x + 2, y, e, 6 + AlgorithmRand() % 16);
            }
            if (down) {
                spread(x, y + 1, e, 20 + AlgorithmRand() % 16);
                spread(x, y + 2, e, 6 + AlgorithmRand() % 16);
            }
            if (right && down)
                spread(x + 2, y + 2, e, 6 + AlgorithmRand() % 16);
        }
        if (y % 100 == 0 && y > 0)
            SetProgress(static_cast<int>(95LL * y / H));
    }
    const uint16_t* s = Pixels16(*m_pSource);
    uint16_t* d = Pixels16(img);
    for (size_t i = 0; i < PixelCount(img); ++i)
        d[i * 4 + 3] = s[i * 4 + 3];
    SetProgress(100);
    return 1;
}

int CThreshold::Halftone(ImageBuffer16& img)
{
    const int W = img.width, H = img.height;
    const int cw = (W + 3) / 4, ch = (H + 3) / 4;
    std::unique_ptr<uint8_t[]> plane(new (std::nothrow) uint8_t[size_t(cw) * size_t(ch)]);
    if (!plane)
        return 0;
    for (int cy = 0; cy < ch; ++cy)
        for (int cx = 0; cx < cw; ++cx) {
            int64_t sum = 0, n = 0;
            for (int y = cy * 4; y < std::min(cy * 4 + 4, H); ++y)
                for (int x = cx * 4; x < std::min(cx * 4 + 4, W); ++x, ++n)
                    sum += Luma10(Row16(img, y) + x * 4);
            plane[size_t(cy) * cw + cx] = SrgbEncodeTable[sum / n];
        }
    SetProgress(10);
    auto add = [&](int x, int y, int v) {
        uint8_t& b = plane[size_t(y) * cw + x];
        b = static_cast<uint8_t>(std::clamp(b + v, 0, 255));
    };
    for (int cy = 0; cy < ch; ++cy)
        for (int cx = 0; cx < cw; ++cx) {
            const int m = plane[size_t(cy) * cw + cx];
            const int o = m / 15, t = m - 15 * o;
            const bool right = cx + 1 < cw, down = cy + 1 < ch;
            if (right)
                add(cx + 1, cy, t * 40 / 100);
            if (down)
                add(cx, cy + 1, t * 40 / 100);
            if (right && down)
                add(cx + 1, cy + 1, t / 5);
            plane[size_t(cy) * cw + cx] = static_cast<uint8_t>(o);
        }
    SetProgress(50);
    for (int y = 0; y < H; ++y) {
        uint16_t* p = Row16(img, y);
        const uint8_t* cells = plane.get() + size_t(y / 4) * cw;
        for (int x = 0; x < W; ++x, p += 4)
            SetGrey(p, kHalftone[x & 3][y & 3] <= cells[x / 4] ? 65535 : 0);
        if (y % 100 == 0 && y > 0)
            SetProgress(static_cast<int>(50 + 50LL * y / H));
    }
    return 1;
}

std::vector<uint8_t> PackSharpenStep(const SharpenParams& params, const uint16_t* curve)
{
    std::vector<uint8_t> out(kSharpenStepBytes, 0);
    SharpenParams p = params;
    p.size = 32;
    p.curveSlot = 0;
    std::memcpy(out.data(), &p, sizeof p);
    CurveControlValues values{};
    if (curve)
        CurveToControlValues(curve, values);
    WriteControlValues(values, out.data() + sizeof p);
    return out;
}

bool UnpackSharpenStep(const uint8_t* bytes, size_t length, SharpenParams& params, ToneTable& curve)
{
    if (!bytes || length < kSharpenStepBytes)
        return false;
    SharpenParams p;
    std::memcpy(&p, bytes, sizeof p);
    if (p.size != 32)
        return false;
    CurveControlValues values{};
    ReadControlValues(bytes + sizeof p, values);
    curve.assign(kToneLutSize, 0);
    ControlValuesToCurve(curve.data(), values);
    p.curveSlot = 0;
    params = p;
    return true;
}

int CSharpen::Run()
{
    if (!CopyParamRecord(m_params, m_pParams) || !m_pSource || !m_pDestination || !m_pSource->data || !m_curve)
        return 0;
    double radius = m_params.radius;
    if (!(radius >= 0.1))
        radius = 0.1; // also NaN
    radius = std::min(radius, 500.0);
    // The curve times amount / 50, once per run; within 0..1000 the product stays in 32 bits.
    const int32_t amount = ClampField(m_params.amount, 0, 1000);
    try {
        m_scaled.resize(kToneLutSize);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    for (int i = 0; i < kToneLutSize; ++i)
        m_scaled[i] = m_curve[i] * amount / 50;
    m_radius = radius;
    int w[kGaussMaxTaps];
    m_reach = BuildGaussKernel(radius, w) - 1;
    m_bandBlur = GaussReduction(radius) == 1;
    if (!m_bandBlur) {
        // Large radii blur a reduced copy whose grid would differ band by band: blur the whole
        // picture once instead, so bands leave no seams.
        CGaussBlur blur;
        blur.SetParent(this, 0, 0);
        if (!blur.BlurImage16(radius, *m_pSource, m_blurred))
            return 0;
    }
    return RunRows();
}

namespace {

// One band's blurred rows per thread, reused from band to band (fresh pages cost more than the blur).
struct BandScratch {
    ImageBuffer16 image{};
    ~BandScratch() { FreeImageBuffer(image); }
};
thread_local BandScratch t_scratch;

} // namespace

bool CSharpen::ProcessRows(int first, int end)
{
    const uint16_t* s = Row16(*m_pSource, first);
    const uint16_t* b;
    ImageBuffer16& local = t_scratch.image;
    if (m_bandBlur) {
        // The band's rows with the kernel's reach around them, clipped to the picture, blur to
        // exactly the rows a whole-picture blur gives, and stay in the cache.
        const int top = std::max(0, first - m_reach), bottom = std::min(m_pSource->height, end + m_reach);
        const ImageBuffer16 view = RowsView(*m_pSource, top, bottom);
        CGaussBlur blur;
        blur.SetParent(this, 0, 0);
        if (!blur.BlurImage16(m_radius, view, local))
            return false;
        b = Row16(local, first - top);
    } else {
        b = Row16(m_blurred, first);
    }
    uint16_t* o = Row16(*m_pDestination, first);
    const int32_t* scaled = m_scaled.data();
    for (size_t i = 0, n = size_t(m_pSource->width) * (end - first) * 4; i < n; i += 4) {
        const uint16_t a = s[i + 3];
        for (int c = 0; c < 3; ++c) {
            const int32_t v = s[i + c], d = v - b[i + c];
            const int32_t w = scaled[d < 0 ? -d : d];
            const int32_t r = v + (d >= 0 ? w : -(w >> 1)); // darkening at half strength, without a branch
            o[i + c] = static_cast<uint16_t>(std::clamp(r, 0, 65535));
        }
        o[i + 3] = a;
    }
    if (local.byteSize > (32u << 20))
        FreeImageBuffer(local); // a one-band run over a big picture: do not keep its blur
    return true;
}
