#include "algorithms/Defog.h"

#include "algorithms/GaussBlur.h"
#include "algorithms/ImageSize.h"
#include "algorithms/PixelAccess.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

double EncodeSrgb(double x)
{
    return x < 0.0031308 ? 12.92 * x : 1.055 * std::pow(x, 1 / 2.4) - 0.055;
}

double DecodeSrgb(double g)
{
    return g < 0.0404499 ? g / 12.92 : std::pow((g + 0.055) / 1.055, 2.4);
}

// Encoded value of every 16-bit level, built once: the per-pixel work is then lookups.
const double* EncodeTable()
{
    static const std::vector<double> table = [] {
        std::vector<double> t(65536);
        for (int i = 0; i < 65536; ++i)
            t[i] = EncodeSrgb(i / 65535.0);
        return t;
    }();
    return table.data();
}

uint16_t Stretch(const double* enc, uint16_t v, int black, int white)
{
    const double eb = enc[std::clamp(black, 0, 65535)], ew = enc[std::clamp(white, 0, 65535)];
    double g = (enc[v] - eb) / (ew - eb);
    g = std::clamp(g, 0.0, 1.0);
    return ClampU16(static_cast<int64_t>(65535 * DecodeSrgb(g)));
}

} // namespace

uint16_t StretchChannel(uint16_t v, int black, int white)
{
    if (!(black < white))
        return v;
    return Stretch(EncodeTable(), v, black, white);
}

CDefog::~CDefog()
{
    FreeImageBuffer(m_veil);
}

void CDefog::ReducedSize(int w, int h, int& rw, int& rh)
{
    // A side of 0 for pictures over 200:1 would leave nothing to resample.
    if (h < w) {
        rw = 200;
        rh = std::max<int>(1, static_cast<int>(static_cast<int64_t>(h) * 200 / w));
    } else {
        rw = std::max<int>(1, static_cast<int>(static_cast<int64_t>(w) * 200 / h));
        rh = 200;
    }
}

int CDefog::Run()
{
    if (!m_pSource || !m_pSource->data || !m_pDestination)
        return 0;
    if (!CopyParamRecord(m_params, m_pParams))
        return 0;
    m_params.amount = ClampField<int32_t>(m_params.amount, 0, 100);
    const ImageBuffer16& src = *m_pSource;
    const int w = src.width, h = src.height;
    int rw, rh;
    ReducedSize(w, h, rw, rh);
    ImageBuffer16 small{}, smallVeil{};
    auto done = [&](int r) {
        FreeImageBuffer(small);
        FreeImageBuffer(smallVeil);
        return r;
    };
    CImageSize sizer;
    if (!sizer.ResizeCubic(src, small, rw, rh, 0.33f, 0.73f))
        return done(0);
    SetProgress(10);
    if (!BuildVeil(small, smallVeil))
        return done(0);
    SetProgress(30);
    if (!sizer.ResizeBilinear(smallVeil, m_veil, w, h))
        return done(0);
    SetProgress(50);
    m_table.resize(65536);
    for (int v = 0; v < 65536; ++v)
        m_table[v] = static_cast<uint16_t>(v < 10000 ? 100 : v < 30000 ? 100 + (v - 10000) / 200 : 200);
    if (!AllocImage16(*m_pDestination, w, h))
        return done(0);
    SetSubRange(50, 100);
    const int ok = SplitIntoBands(0, 0) ? RunBands() : 0;
    SetProgressWindow(SavedLow(), SavedHigh());
    return done(ok);
}

int CDefog::BuildVeil(ImageBuffer16& small, ImageBuffer16& veil)
{
    const int ws = small.width, hs = small.height;
    for (size_t i = 0, n = PixelCount(small); i < n; ++i) {
        uint16_t* p = Pixels16(small) + i * 4;
        const uint16_t l = static_cast<uint16_t>((3 * p[2] + 6 * p[1] + p[0]) / 10);
        p[0] = p[1] = p[2] = l;
    }
    ImageBuffer16 blurred{};
    CGaussBlur blur;
    blur.SetParent(this, 10, 20);
    const double sigma = 12.0;
    blur.SetSource(&small);
    blur.SetDestination(&blurred);
    blur.SetParams(&sigma);
    if (!blur.Run() || !AllocImage16(veil, ws, hs)) {
        FreeImageBuffer(blurred);
        return 0;
    }
    // A window below 2 would be empty: the centre always counts.
    const int r = std::max(1, m_params.window / 2);
    // Separable extremes: first along the rows, then down the columns.
    std::vector<uint16_t> rowMax(static_cast<size_t>(ws) * hs), rowMin(rowMax.size());
    for (int y = 0; y < hs; ++y) {
        const uint16_t* row = Row16(blurred, y);
        for (int x = 0; x < ws; ++x) {
            uint16_t hi = 0, lo = 65535;
            for (int k = std::max(0, x - r); k < std::min(ws, x + r); ++k) {
                hi = std::max(hi, row[k * 4 + 2]);
                lo = std::min(lo, row[k * 4 + 2]);
            }
            rowMax[static_cast<size_t>(y) * ws + x] = hi;
            rowMin[static_cast<size_t>(y) * ws + x] = lo;
        }
    }
    for (int y = 0; y < hs; ++y)
        for (int x = 0; x < ws; ++x) {
            uint16_t hi = 0, lo = 65535;
            for (int k = std::max(0, y - r); k < std::min(hs, y + r); ++k) {
                hi = std::max(hi, rowMax[static_cast<size_t>(k) * ws + x]);
                lo = std::min(lo, rowMin[static_cast<size_t>(k) * ws + x]);
            }
            uint16_t* p = Row16(veil, y) + x * 4;
            p[0] = 0;
            p[1] = lo;
            p[2] = hi;
            p[3] = 0;
        }
    FreeImageBuffer(blurred);
    return 1;
}

int CDefog::ProcessBand(BandTask& task)
{
    const ImageBuffer16& src = *m_pSource;
    const double* enc = EncodeTable();
    const int64_t a = m_params.amount;
    const int w = src.width;
    for (int y = task.first; y < task.end; ++y) {
        const uint16_t* s = Row16(src, y);
        const uint16_t* v = Row16(m_veil, y);
        uint16_t* d = Row16(*task.bandDest, y - task.firstWithMargin);
        for (int x = 0; x < w; ++x) {
            const int64_t M = v[x * 4 + 2], m = v[x * 4 + 1];
            const int64_t hv = m_table[(M + m) / 2];
            const int64_t white = (a * (M - 65535) + 65535 * hv) / hv;
            const int64_t black = a * m / (300 - hv);
            const uint16_t* sp = s + x * 4;
            uint16_t* dp = d + x * 4;
            if (black < white) {
                for (int c = 0; c < 3; ++c)
                    dp[c] = Stretch(enc, sp[c], static_cast<int>(black), static_cast<int>(white));
            } else {
                dp[0] = sp[0], dp[1] = sp[1], dp[2] = sp[2];
            }
            dp[3] = sp[3];
        }
    }
    return 1;
}
