#include "algorithms/Starlight.h"

#include "algorithms/AlgorithmRandom.h"
#include "algorithms/ColourOps.h"
#include "algorithms/GaussBlur.h"
#include "algorithms/ImageSize.h"
#include "algorithms/LensBlur.h"

#include <algorithm>
#include <cmath>
#include <cstring>

void RgbColourToHsl8(int r, int g, int b, int& h, int& s, int& l)
{
    const int mx = std::max({r, g, b}), mn = std::min({r, g, b});
    l = (mx + mn) / 2;
    if (mx == mn) {
        h = s = 0;
        return;
    }
    const int d = mx - mn;
    s = l < 128 ? 255 * d / (mx + mn) : 255 * d / std::max(1, 510 - mx - mn);
    double hh;
    if (mx == r)
        hh = double(g - b) / d;
    else if (mx == g)
        hh = 2 + double(b - r) / d;
    else
        hh = 4 + double(r - g) / d;
    h = static_cast<int>(std::lround(hh * 256 / 6 + 256)) % 256;
}

void HslToRgbColour8(int h, int s, int l, int& r, int& g, int& b)
{
    if (s == 0) {
        r = g = b = l;
        return;
    }
    const double L = l / 255.0, S = s / 255.0;
    const double q = L < 0.5 ? L * (1 + S) : L + S - L * S, p = 2 * L - q;
    auto channel = [&](double t) {
        t -= std::floor(t);
        double v;
        if (t < 1.0 / 6)
            v = p + (q - p) * 6 * t;
        else if (t < 0.5)
            v = q;
        else if (t < 2.0 / 3)
            v = p + (q - p) * (2.0 / 3 - t) * 6;
        else
            v = p;
        return static_cast<int>(std::clamp(v * 255 + 0.5, 0.0, 255.0));
    };
    const double H = h / 256.0;
    r = channel(H + 1.0 / 3);
    g = channel(H);
    b = channel(H - 1.0 / 3);
}

CStarlight::~CStarlight()
{
    FreeImageBuffer(m_pattern);
}

int CStarlight::RingHue(int dx, int dy, int radius)
{
    const double d = std::sqrt(double(dx) * dx + double(dy) * dy) / std::max(1, radius);
    return static_cast<int>(d * 400) % 256;
}

int CStarlight::Run()
{
    if (m_pParams)
        std::memcpy(&m_params, m_pParams, sizeof m_params);
    if (!m_pSource || !m_pDestination || !m_pSource->data || !m_shape || !m_shape->data || m_shape->width != 128 ||
        m_shape->height != 128)
        return 0;
    m_params.radius = ClampField(m_params.radius, 1, 64);
    m_params.amount = ClampField(m_params.amount, 0, 1000);
    m_params.density = ClampField(m_params.density, 0, 100);
    if (!std::isfinite(m_params.rotation))
        m_params.rotation = 0;
    m_params.rotation = std::fmod(m_params.rotation, 2 * 3.14159265358979323846);
    const ImageBuffer16& src = *m_pSource;
    const int W = src.width, H = src.height;
    const int w = H < W ? 1024 : std::max(1, static_cast<int>(int64_t(W) * 1024 / H));
    const int h = H < W ? std::max(1, static_cast<int>(int64_t(H) * 1024 / W)) : 1024;
    ImageBuffer16 work{}, rays{};
    CImageSize sizer;
    sizer.SetParent(this, 0, 0);
    int ok = sizer.ResizeBilinear(src, work, w, h);
    SetProgress(5);
    ok = ok && FindHighlights(work);
    FreeImageBuffer(work);
    SetProgress(25);
    ok = ok && DrawStars(rays);
    if (ok && CopyUnlessSame(*m_pDestination, src))
        AddRays(rays);
    else
        ok = 0;
    FreeImageBuffer(rays);
    if (ok)
        SetProgress(100);
    return ok ? 1 : 0;
}

int CStarlight::FindHighlights(const ImageBuffer16& P)
{
    const int w = P.width, h = P.height;
    ImageBuffer16 blurred{};
    CGaussBlur blur;
    blur.SetParent(this, 0, 0);
    if (!blur.BlurImage16(4.0, P, blurred)) {
        FreeImageBuffer(blurred);
        return 0;
    }
    std::vector<uint8_t> s(size_t(w) * h);
    for (size_t i = 0; i < s.size(); ++i) {
        const int m = Luma10(Pixels16(P) + i * 4), mb = Luma10(Pixels16(blurred) + i * 4);
        const int t = std::clamp((m - mb - 10000) / 100, 0, 255);
        const int b = m <= 40000 ? 0 : std::min(255, (m - 40000) / 80);
        int v = t * b / 255;
        if (v)
            v = std::min(255, v + AlgorithmRand() % 16);
        s[i] = static_cast<uint8_t>(v);
    }
    FreeImageBuffer(blurred);
    const int r = SuppressionRadius(m_params.density);
    m_highlights.clear();
    const ImageBuffer16& src = *m_pSource;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int v = s[size_t(y) * w + x];
            if (!v)
                continue;
            bool keep = true;
            for (int yy = std::max(0, y - r); keep && yy <= std::min(h - 1, y + r); ++yy)
                for (int xx = std::max(0, x - r); xx <= std::min(w - 1, x + r); ++xx) {
                    const int q = s[size_t(yy) * w + xx];
                    // The last maximal position in row-major order wins a tie.
                    if (q > v || (q == v && (yy > y || (yy == y && xx > x)))) {
                        keep = false;
                        break;
                    }
                }
            if (keep)
                m_highlights.push_back({static_cast<uint16_t>(int64_t(x) * src.width / w),
                                        static_cast<uint16_t>(int64_t(y) * src.height / h), static_cast<uint8_t>(v), 0});
        }
    return 1;
}

int CStarlight::DrawStars(ImageBuffer16& Q)
{
    const int R = m_params.radius, S = 2 * R + 1;
    Plane8 rotated{};
    // The lens blur's rotation of an aperture shape.
    int ok = RotateApertureShape(*m_shape, rotated, m_params.rotation);
    ImageBuffer8 grey{};
    ok = ok && rotated.data && AllocImage8(grey, 128, 128);
    if (ok)
        for (size_t i = 0; i < size_t(128) * 128; ++i) {
            uint8_t* p = grey.data + i * 4;
            p[0] = p[1] = p[2] = rotated.data[i];
            p[3] = 255;
        }
    FreePlane8(rotated);
    ok = ok && ResizeImage8(grey, m_pattern, S, S, 3);
    FreeImageBuffer(grey);
    if (!ok)
        return 0;
    if (m_params.colourMode == 1)
        for (int j = 0; j < S; ++j)
            for (int i = 0; i < S; ++i) {
                uint8_t* p = m_pattern.data + (size_t(j) * S + i) * 4;
                int hh, ss, ll, r, g, b;
                RgbColourToHsl8(p[2], p[1], p[0], hh, ss, ll);
                HslToRgbColour8(RingHue(i - R, j - R, R), 255, ll * 2 / 3, r, g, b);
                p[0] = static_cast<uint8_t>(b), p[1] = static_cast<uint8_t>(g), p[2] = static_cast<uint8_t>(r);
            }
    if (!AllocImage16(Q, m_pSource->width, m_pSource->height))
        return 0;
    std::memset(Pixels16(Q), 0, PixelCount(Q) * 8);
    const size_t n = m_highlights.size();
    for (size_t i = 0; i < n; ++i) {
        const StarHighlight& hl = m_highlights[i];
        const int x = hl.x, y = hl.y, s = hl.strength;
        StampStar(Q, x, y, s, m_pattern);
        for (const auto& d : {std::pair{-1, 0}, std::pair{0, -1}, std::pair{1, 0}, std::pair{0, 1}})
            StampStar(Q, x + d.first, y + d.second, s / 2, m_pattern);
        for (const auto& d : {std::pair{-1, -1}, std::pair{1, -1}, std::pair{-1, 1}, std::pair{1, 1}})
            StampStar(Q, x + d.first, y + d.second, s / 4, m_pattern);
        if (i % 10 == 0)
            SetProgress(static_cast<int>(30 + 60 * i / n));
    }
    return 1;
}

void CStarlight::StampStar(ImageBuffer16& Q, int x, int y, int a, const ImageBuffer8& pattern)
{
    const ImageBuffer16& src = *m_pSource;
    if (a == 0 || x < 0 || y < 0 || x >= src.width || y >= src.height)
        return;
    const int S = pattern.width, R = S / 2;
    const uint16_t* sp = Row16(src, y) + x * 4;
    const int64_t Bs = sp[0], Gs = sp[1], Rs = sp[2];
    for (int j = std::max(0, R - y); j < std::min(S, src.height - y + R); ++j) {
        uint16_t* q = Row16(Q, y - R + j);
        const uint8_t* p = pattern.data + size_t(j) * S * 4;
        for (int i = std::max(0, R - x); i < std::min(S, src.width - x + R); ++i) {
            const int64_t wb = int64_t(a) * p[i * 4] / 100, wg = int64_t(a) * p[i * 4 + 1] / 100,
                          wr = int64_t(a) * p[i * 4 + 2] / 100;
            if (wb + wg + wr == 0)
                continue;
            uint16_t* o = q + (x - R + i) * 4;
            o[0] = ClampU16(o[0] + Bs * wb / 30000);
            o[1] = ClampU16(o[1] + Gs * wg / 30000);
            o[2] = ClampU16(o[2] + Rs * wr / 30000);
        }
    }
}

void CStarlight::AddRays(const ImageBuffer16& Q)
{
    ImageBuffer16& dst = *m_pDestination;
    const int64_t amount = m_params.amount;
    ParallelRows(dst.height, dst.width, [&](int first, int end) {
        uint16_t* d = Row16(dst, first);
        const uint16_t* q = Row16(Q, first);
        for (size_t i = 0, n = size_t(dst.width) * (end - first) * 4; i < n; i += 4)
            for (int c = 0; c < 3; ++c)
                d[i + c] = ClampU16(d[i + c] + amount * q[i + c] / 10);
        return true;
    });
}
