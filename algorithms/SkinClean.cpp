#include "algorithms/SkinClean.h"

#include "algorithms/AlgorithmRandom.h"
#include "algorithms/AlgorithmThread.h"
#include "algorithms/FilmAdjust.h"
#include "algorithms/GaussBlur.h"
#include "algorithms/NoiseReduction.h"
#include "algorithms/PixelAccess.h"
#include "algorithms/ToneLut.h"
#include "imaging/ColourTables.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>

namespace {

// The film adjustment with exposure `lighten` and every other value 0, as a nested step.
int RunFilmAdjust(CAlgorithm* parent, int progressLow, int progressHigh, ImageBuffer16& source,
                  ImageBuffer16& destination, int lighten)
{
    FilmAdjustParams params;
    params.exposure = lighten;
    CAFilmAdjust film;
    film.SetSource(&source);
    film.SetDestination(&destination);
    film.SetParams(&params);
    film.SetParent(parent, progressLow, progressHigh);
    return film.Run();
}

std::atomic<SkinFilmAdjustFn> g_filmAdjust{&RunFilmAdjust};

} // namespace

void SetSkinFilmAdjust(SkinFilmAdjustFn fn)
{
    g_filmAdjust.store(fn ? fn : &RunFilmAdjust);
}

void BuildSkinHueTable(uint16_t H, uint8_t* t)
{
    for (int64_t v = 0; v < 65536; ++v) {
        const int64_t e = std::min({std::abs(v - H), 65536 + v - H, 65535 + H - v});
        t[v] = static_cast<uint8_t>(e < 2000 ? 255 : e < 5000 ? 255 - (e - 2000) * 255 / 3000 : 0);
    }
}

void BuildSkinLevelTable(uint16_t S, double rise, double offset, uint8_t* t)
{
    const int64_t m = (static_cast<int64_t>(S) + 65535) / 2;
    for (int64_t v = 0; v < 65536; ++v) {
        if (v < S) {
            const double h = rise * v / S - offset;
            t[v] = static_cast<uint8_t>(h > 1 ? 255 : h < 0 ? 0 : static_cast<int>(255 * h));
        } else if (v <= m) {
            t[v] = 255; // also at the top value when m is 65535: no division by zero
        } else {
            t[v] = static_cast<uint8_t>(255 - (v - m) * 255 / (65535 - m));
        }
    }
}

CSkinClean::~CSkinClean()
{
    FreePlane8(m_mask);
    FreeImageBuffer(m_work);
}

int CSkinClean::Run()
{
    if (!m_pSource || !m_pSource->data || !m_pDestination)
        return 0;
    if (!CopyParamRecord(m_params, m_pParams))
        return 0;
    // Stored records may hold anything: radius 0 would divide by zero, an amount beyond 100
    // would give negative blend weights.
    m_params.radius = ClampField<int32_t>(m_params.radius, 1, 64);
    m_params.amount = ClampField<int32_t>(m_params.amount, 0, 100);
    m_params.pink = ClampField<int32_t>(m_params.pink, 0, 100);
    m_params.lighten = ClampField<int32_t>(m_params.lighten, -3, 7);
    m_cancelled = false;
    if (!BuildSkinMask())
        return 0;
    if (m_cancelled)
        return 1;
    if (!CopyImage16(*m_pDestination, *m_pSource) || !CorrectSkinTone())
        return 0;
    SetProgress(30);
    if (m_params.amount == 0) {
        if (!CopyImage16(*m_pDestination, m_work))
            return 0;
    } else if (m_params.noiseReduction) {
        CNoiseReduction nr;
        NoiseReductionParams p;
        p.strength = 90;
        p.chromaPass = 0;
        p.skipLuminance = 0;
        p.style = 1;
        nr.SetParent(this, 30, 90);
        nr.SetSource(&m_work);
        nr.SetDestination(m_pDestination);
        nr.SetParams(&p);
        if (!nr.Run())
            return 0;
    } else {
        std::fill(m_weights, m_weights + 256, 0);
        const double r = m_params.radius;
        m_reach = 128;
        for (int i = 0; i < 128; ++i) {
            const int w = static_cast<int>(255 * std::pow(2.7188282, -(i * i) / (2 * r * r)));
            m_weights[128 + i] = m_weights[128 - i] = w;
            if (w == 0) {
                m_reach = i;
                break;
            }
        }
        if (!SmoothGaussian())
            return 0;
        if (m_cancelled)
            return 1;
    }
    if (!BlendSmoothed())
        return 0;
    if (m_params.grain && !AddGrain())
        return 0;
    return 1;
}

int CSkinClean::BuildSkinMask()
{
    const ImageBuffer16& src = *m_pSource;
    uint16_t skin[4];
    std::memcpy(skin, m_params.skin, sizeof skin);
    RgbToHsl16(skin, 1);
    std::vector<uint8_t> hue(65536), sat(65536), light(65536);
    BuildSkinHueTable(skin[2], hue.data());
    BuildSkinLevelTable(skin[1], 2.0, 0.3, sat.data());
    BuildSkinLevelTable(skin[0], 2.5, 0.2, light.data());
    ImageBuffer16 hsl{};
    if (!CopyImage16(hsl, src) || !AllocPlane8(m_mask, src.width, src.height)) {
        FreeImageBuffer(hsl);
        return 0;
    }
    const int w = hsl.width;
    const bool masked = ParallelRows(hsl.height, static_cast<int64_t>(w) * 64, [&](int y0, int y1) {
        uint16_t* p = Row16(hsl, y0);
        const size_t n = static_cast<size_t>(y1 - y0) * w;
        RgbToHsl16(p, n);
        uint8_t* m = m_mask.data + static_cast<size_t>(y0) * w;
        for (size_t i = 0; i < n; ++i) {
            const int v = hue[p[i * 4 + 2]] * sat[p[i * 4 + 1]] * light[p[i * 4 + 0]] / 65025;
            m[i] = static_cast<uint8_t>(v < 8 ? 0 : v);
        }
        return true;
    });
    FreeImageBuffer(hsl);
    if (!masked) {
        m_cancelled = IsAlgorithmCancelled() != 0;
        return m_cancelled ? 1 : 0;
    }
    SetProgress(1);
    if (IsAlgorithmCancelled()) {
        m_cancelled = true;
        return 1;
    }
    const int r = std::max(2, std::min(src.width, src.height) / 500);
    Plane8 eroded{};
    if (!ShrinkMask(m_mask, eroded, r, 0)) {
        FreePlane8(eroded);
        return 0;
    }
    if (IsAlgorithmCancelled()) {
        m_cancelled = true;
        FreePlane8(eroded);
        return 1;
    }
    SetProgress(5);
    const int ok = FeatherMask(0.5 * r, eroded, m_mask);
    FreePlane8(eroded);
    return ok;
}

int CSkinClean::CorrectSkinTone()
{
    const ImageBuffer16& src = *m_pSource;
    if (m_params.lighten == 0) {
        if (!CopyImage16(m_work, src)) // the film adjustment with every value 0 copies
            return 0;
    } else {
        const SkinFilmAdjustFn film = g_filmAdjust.load();
        if (!film || !AllocImage16(m_work, src.width, src.height) ||
            !film(this, 5, 30, *m_pSource, m_work, m_params.lighten))
            return 0;
    }
    const int pink = m_params.pink;
    if (pink) {
        std::vector<uint16_t> blue(65536), other(65536);
        BuildToneLut(blue.data(), ToneLutIdentity | ToneLutBrightness, 1 + pink / 400.0, 100.0 * pink);
        BuildToneLut(other.data(), ToneLutIdentity | ToneLutBrightness, 1 - pink / 800.0, 0);
        uint16_t* w = Pixels16(m_work);
        for (size_t i = 0, n = PixelCount(m_work); i < n; ++i) {
            w[i * 4 + 0] = blue[w[i * 4 + 0]];
            w[i * 4 + 1] = other[w[i * 4 + 1]];
            w[i * 4 + 2] = other[w[i * 4 + 2]];
        }
    }
    Plane8 soft{};
    const int sigma = std::min(m_mask.width, m_mask.height) / 200 + 1;
    if (!FeatherMask(sigma, m_mask, soft)) {
        FreePlane8(soft);
        return 0;
    }
    uint16_t* w = Pixels16(m_work);
    const uint16_t* s = Pixels16(src);
    for (size_t i = 0, n = PixelCount(m_work); i < n; ++i) {
        const int64_t c = soft.data[i];
        if (c > 0) {
            for (int ch = 0; ch < 3; ++ch)
                w[i * 4 + ch] = static_cast<uint16_t>((w[i * 4 + ch] * c + s[i * 4 + ch] * (255 - c)) / 255);
            w[i * 4 + 3] = s[i * 4 + 3];
        } else {
            std::memcpy(w + i * 4, s + i * 4, 8);
        }
    }
    FreePlane8(soft);
    return 1;
}

void CSkinClean::SmoothLine(const uint16_t* src, uint16_t* dst, const uint8_t* mask, int n, size_t step,
                            size_t maskStep) const
{
    const int r = m_reach;
    for (int i = 0; i < n; ++i) {
        const uint16_t* sp = src + static_cast<size_t>(i) * step;
        uint16_t* dp = dst + static_cast<size_t>(i) * step;
        if (mask[static_cast<size_t>(i) * maskStep] == 0) {
            std::memcpy(dp, sp, 8);
            continue;
        }
        uint64_t sb = 0, sg = 0, sr = 0, sw = 0;
        for (int j = std::max(0, i - r + 1); j < std::min(n, i + r); ++j) {
            const uint64_t w = static_cast<uint64_t>(mask[static_cast<size_t>(j) * maskStep]) * m_weights[128 + j - i] / 255;
            const uint16_t* q = src + static_cast<size_t>(j) * step;
            sb += w * q[0], sg += w * q[1], sr += w * q[2], sw += w;
        }
        if (sw == 0) { // a mask value below 255 / weight rounds to nothing
            std::memcpy(dp, sp, 8);
            continue;
        }
        dp[0] = static_cast<uint16_t>(sb / sw);
        dp[1] = static_cast<uint16_t>(sg / sw);
        dp[2] = static_cast<uint16_t>(sr / sw);
        dp[3] = sp[3];
    }
}

int CSkinClean::SmoothGaussian()
{
    const int W = m_work.width, H = m_work.height;
    ImageBuffer16 T{};
    if (!AllocImage16(T, W, H))
        return 0;
    // Lines are independent, so they are shared among the helpers.
    const int64_t perLine = static_cast<int64_t>(2 * m_reach) * 4;
    bool ok = ParallelRows(H, perLine * W, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y)
            SmoothLine(Row16(m_work, y), Row16(T, y), m_mask.data + static_cast<size_t>(y) * W, W, 4, 1);
        return true;
    });
    if (ok) {
        SetProgress(60);
        ok = ParallelRows(W, perLine * H, [&](int x0, int x1) {
            for (int x = x0; x < x1; ++x)
                SmoothLine(Pixels16(T) + static_cast<size_t>(x) * 4, Pixels16(*m_pDestination) + static_cast<size_t>(x) * 4,
                           m_mask.data + x, H, static_cast<size_t>(W) * 4, static_cast<size_t>(W));
            return true;
        });
    }
    FreeImageBuffer(T);
    if (!ok && IsAlgorithmCancelled()) {
        m_cancelled = true;
        return 1;
    }
    return ok ? 1 : 0;
}

int CSkinClean::BlendSmoothed()
{
    uint16_t* d = Pixels16(*m_pDestination);
    const uint16_t* w = Pixels16(m_work);
    for (size_t i = 0, n = PixelCount(m_work); i < n; ++i) {
        const int64_t a = m_mask.data[i] * m_params.amount / 100;
        if (a > 0) {
            for (int c = 0; c < 3; ++c)
                d[i * 4 + c] = static_cast<uint16_t>((w[i * 4 + c] * (255 - a) + d[i * 4 + c] * a) / 255);
            d[i * 4 + 3] = w[i * 4 + 3];
        } else {
            std::memcpy(d + i * 4, w + i * 4, 8);
        }
    }
    return 1;
}

int CSkinClean::AddGrain()
{
    const int W = m_mask.width, H = m_mask.height;
    Plane8 noise{}, blurred{};
    if (!AllocPlane8(noise, W, H))
        return 0;
    // A fresh seed every run, also for two runs within one millisecond.
    static std::atomic<uint32_t> runs{0};
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch()).count();
    SeedAlgorithmRand(static_cast<uint32_t>(ms) * 2654435761u + runs.fetch_add(1) * 40503u);
    for (size_t i = 0, n = static_cast<size_t>(W) * H; i < n; ++i) {
        const int r = AlgorithmRand();
        for (int k = 0; k < r % 4; ++k)
            AlgorithmRand();
        int v = AlgorithmRand() % 256 - 128;
        if (v < 0)
            v = v * 2 / 3;
        const double x = std::abs(v) / 128.0;
        const int mag = static_cast<int>(x * x * 127);
        noise.data[i] = static_cast<uint8_t>(128 + (v < 0 ? -mag : mag));
    }
    SetProgress(92);
    CGaussBlur blur;
    if (!blur.BlurPlane8(0.6, noise, blurred)) {
        FreePlane8(noise);
        FreePlane8(blurred);
        return 0;
    }
    SetProgress(99);
    uint16_t* d = Pixels16(*m_pDestination);
    for (size_t i = 0, n = static_cast<size_t>(W) * H; i < n; ++i) {
        const int64_t g = static_cast<int64_t>(m_mask.data[i]) * (blurred.data[i] - 128) * 30;
        d[i * 4 + 2] = ClampU16(d[i * 4 + 2] + g / 255);
        d[i * 4 + 1] = ClampU16(d[i * 4 + 1] + g / 255);
        d[i * 4 + 0] = ClampU16(d[i * 4 + 0] + g / 510);
    }
    FreePlane8(noise);
    FreePlane8(blurred);
    return 1;
}
