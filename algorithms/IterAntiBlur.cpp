#include "algorithms/IterAntiBlur.h"

#include "algorithms/GaussBlur.h"
#include "algorithms/PixelAccess.h"
#include "imaging/ColourTables.h"
#include "imaging/ConvolutionKernel.h"
#include "algorithms/AlgorithmThread.h"

#include <cstring>

namespace {

struct Planes {
    std::vector<Plane16*> owned;
    ~Planes()
    {
        for (Plane16* p : owned) {
            FreePlane16(*p);
            delete p;
        }
    }
    Plane16* New(int w, int h)
    {
        auto* p = new (std::nothrow) Plane16{};
        if (!p)
            return nullptr;
        owned.push_back(p);
        return AllocPlane16(*p, w, h) ? p : nullptr;
    }
};

inline size_t Count(const Plane16& p)
{
    return static_cast<size_t>(p.width) * p.height;
}

// The record's kernel over weights, or (flipped) its 180-degree turn, which carries a residual
// back through the blur.
ConvolutionKernel Kernel(const std::vector<int32_t>& weights, const IterAntiBlurParams& p, bool flipped)
{
    return flipped ? ConvolutionKernel{weights.data(), p.divisor, p.width, p.height, p.width - 1 - p.centreX,
                                       p.height - 1 - p.centreY}
                   : ConvolutionKernel{weights.data(), p.divisor, p.width, p.height, p.centreX, p.centreY};
}

// Adds a correction stored around 32768 (the zero of a signed difference) to every sample.
void AddCentred(Plane16& to, const Plane16& correction)
{
    for (size_t i = 0, n = Count(to); i < n; ++i)
        to.data[i] = ClampU16(static_cast<int32_t>(to.data[i]) + correction.data[i] - 32768);
}

} // namespace

void DifferencePlane16(const Plane16& a, const Plane16& b, Plane16& out)
{
    for (size_t i = 0, n = Count(a); i < n; ++i)
        out.data[i] = ClampU16(static_cast<int32_t>(a.data[i]) - b.data[i] + 32768);
}

void ApplyCorrection16(const Plane16* bounds, Plane16& x, const Plane16& v, int p)
{
    for (size_t i = 0, n = Count(x); i < n; ++i) {
        int64_t nx = static_cast<int64_t>(x.data[i]) + v.data[i] - 32768;
        if (!bounds) {
            x.data[i] = ClampU16(nx);
            continue;
        }
        const int64_t hi = bounds->data[i] >> 8, lo = bounds->data[i] & 0xFF;
        // The upper byte stands for every value up to hi x 256 + 255: taking hi x 256 would pull
        // each local maximum down on every refinement step.
        const int64_t upper = 65535 - (65535 - (256 * hi + 255)) * p / 100;
        const int64_t lower = 256 * lo * p / 100;
        x.data[i] = ClampU16(std::max(lower, std::min(upper, nx)));
    }
}

void HaloEdgePlane16(const Plane16& q, Plane16& h)
{
    const int w = q.width, hh = q.height;
    for (int y = 0; y < hh; ++y)
        for (int x = 0; x < w; ++x) {
            uint16_t& out = h.data[static_cast<size_t>(y) * w + x];
            if (x == 0 || y == 0 || x == w - 1 || y == hh - 1) {
                out = 0x8080;
                continue;
            }
            auto at = [&](int dx, int dy) { return static_cast<int>(q.data[static_cast<size_t>(y + dy) * w + x + dx]); };
            const int a = std::abs(at(-1, -1) + at(-1, 0) + at(-1, 1) - at(1, -1) - at(1, 0) - at(1, 1)) / 3;
            const int b = std::abs(at(-1, -1) + at(0, -1) + at(1, -1) - at(-1, 1) - at(0, 1) - at(1, 1)) / 3;
            out = static_cast<uint16_t>(std::min(65535, std::max(a, b)));
        }
}

void AddPlane16(Plane16& g, const Plane16& h)
{
    for (size_t i = 0, n = Count(g); i < n; ++i)
        g.data[i] = static_cast<uint16_t>(std::min<int>(65535, g.data[i] + h.data[i]));
}

void CIterAntiBlur::FlipKernel()
{
    const int w = m_params.width, h = m_params.height;
    m_flipped.assign(static_cast<size_t>(w) * h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            m_flipped[static_cast<size_t>(h - 1 - y) * w + (w - 1 - x)] = m_kernel[static_cast<size_t>(y) * w + x];
}

int CIterAntiBlur::Run()
{
    if (m_pParams) {
        const auto* p = static_cast<const IterAntiBlurParams*>(m_pParams);
        if (p->size > IterAntiBlurParams::kSize)
            return 0;
        m_params = *p;
        m_params.size = IterAntiBlurParams::kSize;
    }
    const IterAntiBlurParams& r = m_params;
    if (r.width > 32 || r.height > 32)
        return 0;
    // Kernels that cannot be applied are refused rather than read out of bounds.
    if (!r.weights || r.width < 1 || r.height < 1 || r.centreX < 0 || r.centreX >= r.width || r.centreY < 0 ||
        r.centreY >= r.height || r.divisor == 0 || !m_pSource || !m_pSource->data || !m_pDestination)
        return 0;
    m_kernel.assign(r.weights, r.weights + static_cast<size_t>(r.width) * r.height);
    FlipKernel();
    m_borderMode = BorderMirror;
    const int tasks = r.banded ? SplitIntoBands(std::max(r.centreX, r.centreY) + 1, 128)
                               : SplitIntoBands(0, std::max(1, m_pSource->height));
    if (tasks == 0)
        return 0;
    return RunBands();
}

int CIterAntiBlur::ProcessBand(BandTask& task)
{
    ImageBuffer16& D = *task.bandDest;
    if (&D != task.bandSource && !CopyImage16(D, *task.bandSource))
        return 0;
    RgbToYCbCr16(D);
    Plane16 P{}, Q{};
    bool ok = true;
    for (int slot : {2, 1, 0}) { // Y, Cb, Cr
        const int n = slot == 2 ? m_params.iterations : m_params.iterations / 3;
        ok = ExtractChannel16(P, D, slot) && DeconvolvePlane(P, Q, n) && (slot != 0 || SmoothHalos(Q));
        if (!ok)
            break;
        uint16_t* px = Pixels16(D);
        for (size_t i = 0, cnt = PixelCount(D); i < cnt; ++i)
            px[i * 4 + slot] = Q.data[i];
    }
    FreePlane16(P);
    FreePlane16(Q);
    if (!ok)
        return 0;
    YCbCrToRgb16(D);
    return 1;
}

int CIterAntiBlur::BuildBounds(const Plane16& bp, Plane16& m)
{
    const int w = bp.width, h = bp.height;
    const size_t n = Count(bp);
    if (m_params.clampMode == 0) {
        std::fill(m.data, m.data + n, uint16_t{0xFF00});
        return 1;
    }
    std::vector<uint8_t> edge(n, 0);
    std::vector<int64_t> hist(256, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t e = 0;
            if (x > 0 && y > 0 && x < w - 1 && y < h - 1) {
                const int c = bp.data[static_cast<size_t>(y) * w + x];
                int d = std::abs(c - bp.data[static_cast<size_t>(y - 1) * w + x]);
                d = std::max(d, std::abs(c - bp.data[static_cast<size_t>(y + 1) * w + x]));
                d = std::max(d, std::abs(c - bp.data[static_cast<size_t>(y) * w + x - 1]));
                d = std::max(d, std::abs(c - bp.data[static_cast<size_t>(y) * w + x + 1]));
                e = static_cast<uint8_t>(d / 256);
            }
            edge[static_cast<size_t>(y) * w + x] = e;
            ++hist[e];
        }
    const int64_t need = static_cast<int64_t>(w) * h * 8 / 100;
    int t = 0;
    int64_t cum = 0;
    for (int v = 255; v >= 0; --v) {
        cum += hist[v];
        if (cum >= need) {
            t = v;
            break;
        }
    }
    const int kw = m_params.width, kh = m_params.height, cx = m_params.centreX, cy = m_params.centreY;
    for (int y = 0; y < h; ++y) {
        const int r0 = std::max(0, y - cy), r1 = std::min(h, y - cy + kh);
        for (int x = 0; x < w; ++x) {
            const int c0 = std::max(0, x - cx), c1 = std::min(w, x - cx + kw);
            const size_t i = static_cast<size_t>(y) * w + x;
            const bool isEdge = edge[i] > t;
            int lo = isEdge ? 65535 : bp.data[i], hi = isEdge ? 0 : bp.data[i];
            for (int r = r0; r < r1; ++r)
                for (int c = c0; c < c1; ++c) {
                    const size_t j = static_cast<size_t>(r) * w + c;
                    if (!isEdge && edge[j] > t)
                        continue;
                    lo = std::min<int>(lo, bp.data[j]);
                    hi = std::max<int>(hi, bp.data[j]);
                }
            m.data[i] = static_cast<uint16_t>(((hi >> 8) << 8) | (lo >> 8));
        }
    }
    return 1;
}

int CIterAntiBlur::CorrectResidual(const Plane16& e, Plane16& u, int iterations)
{
    const int w = e.width, h = e.height;
    Planes tmp;
    Plane16* v = tmp.New(w, h);
    Plane16* r = tmp.New(w, h);
    if (!v || !r)
        return 0;
    const ConvolutionKernel K = Kernel(m_kernel, m_params, false);
    const ConvolutionKernel Kf = Kernel(m_flipped, m_params, true);
    for (int i = 0; i < iterations; ++i) {
        if (!K.ApplyPlane16(u, *v))
            return 0;
        DifferencePlane16(e, *v, *r);
        if (!Kf.ApplyPlane16(*r, *v))
            return 0;
        AddCentred(u, *v);
    }
    return 1;
}

int CIterAntiBlur::DeconvolvePlane(const Plane16& bp, Plane16& x, int n)
{
    const int w = bp.width, h = bp.height;
    Planes tmp;
    Plane16* m = tmp.New(w, h);
    Plane16* t = tmp.New(w, h);
    Plane16* e = tmp.New(w, h);
    Plane16* u = tmp.New(w, h);
    if (!m || !t || !e || !u || !AllocPlane16(x, w, h))
        return 0;
    std::memcpy(x.data, bp.data, Count(bp) * 2);
    const ConvolutionKernel K = Kernel(m_kernel, m_params, false);
    const ConvolutionKernel Kf = Kernel(m_flipped, m_params, true);
    if (!BuildBounds(bp, *m) || !K.ApplyPlane16(x, *t))
        return 0;
    DifferencePlane16(bp, *t, *e);
    if (n > 0) {
        std::memcpy(u->data, t->data, Count(bp) * 2);
        if (!CorrectResidual(*e, *u, n))
            return 0;
        AddCentred(x, *u);
    }
    // Without iterations there is no correction: starting it from the blurred picture would add
    // the picture to itself.
    const int p = m_params.clampMode == 0 ? 60 : m_params.clampMode == 1 ? 90 : m_params.clampMode == 2 ? 100 : -1;
    if (p < 0)
        return 1;
    const int steps = n < m_params.iterations ? 4 : 8;
    for (int s = 0; s < steps; ++s) {
        if (!K.ApplyPlane16(x, *t))
            return 0;
        DifferencePlane16(bp, *t, *e);
        if (!Kf.ApplyPlane16(*e, *u))
            return 0;
        ApplyCorrection16(m, x, *u, p);
    }
    return 1;
}

int CIterAntiBlur::BuildRingKernel(std::vector<int32_t>& ring, int& divisor)
{
    const int rw = m_params.width + 4, rh = m_params.height + 4;
    Plane8 base{}, once{}, twice{};
    bool ok = AllocPlane8(base, rw, rh);
    if (ok) {
        std::memset(base.data, 0, static_cast<size_t>(rw) * rh);
        for (int y = 0; y < m_params.height; ++y)
            for (int x = 0; x < m_params.width; ++x)
                base.data[static_cast<size_t>(y + 2) * rw + x + 2] =
                    static_cast<uint8_t>(m_kernel[static_cast<size_t>(y) * m_params.width + x] & 0xFF);
        ok = ExpandMask(base, once, 1) && ExpandMask(once, twice, 1);
    }
    divisor = 0;
    if (ok) {
        ring.assign(static_cast<size_t>(rw) * rh, 0);
        for (size_t i = 0; i < ring.size(); ++i) {
            ring[i] = std::max(0, static_cast<int>(twice.data[i]) - once.data[i]);
            divisor += ring[i];
        }
    }
    FreePlane8(base);
    FreePlane8(once);
    FreePlane8(twice);
    return ok && divisor > 0 ? 1 : 0;
}

int CIterAntiBlur::SmoothHalos(Plane16& q)
{
    const int w = q.width, h = q.height;
    const size_t n = Count(q);
    Planes tmp;
    Plane16* H = tmp.New(w, h);
    Plane16* G = tmp.New(w, h);
    Plane16* copy = tmp.New(w, h);
    std::vector<int32_t> ring;
    int divisor = 0;
    if (!H || !G || !copy || !BuildRingKernel(ring, divisor))
        return 0;
    HaloEdgePlane16(q, *H);
    ConvolutionKernel R{ring.data(), divisor, m_params.width + 4, m_params.height + 4, m_params.centreX + 2,
                        m_params.centreY + 2};
    if (!R.ApplyPlane16(*H, *G))
        return 0;
    AddPlane16(*G, *H);
    int lo = 65535, hi = 0;
    for (size_t i = 0; i < n; ++i) {
        G->data[i] = static_cast<uint16_t>(std::max(0, G->data[i] - ((3 * H->data[i]) >> 1)));
        lo = std::min<int>(lo, G->data[i]);
        hi = std::max<int>(hi, G->data[i]);
    }
    for (size_t i = 0; i < n; ++i) {
        int64_t g = G->data[i];
        if (hi > lo)
            g = (g - lo) * 65535 / (hi - lo);
        G->data[i] = ClampU16(g * 4);
    }
    std::memcpy(copy->data, q.data, n * 2);
    for (int y = 1; y < h - 1; ++y)
        for (int x = 1; x < w - 1; ++x) {
            const size_t i = static_cast<size_t>(y) * w + x;
            const int e = G->data[i] >> 8;
            if (e <= 0)
                continue;
            auto at = [&](int dx, int dy) { return static_cast<int64_t>(copy->data[i + dy * w + dx]); };
            const int64_t s = (at(-1, 1) + at(1, 1) + at(-1, -1) + at(1, -1) +
                               2 * (at(-1, 0) + at(1, 0) + at(0, -1) + at(0, 1) + at(0, 0))) / 14;
            q.data[i] = static_cast<uint16_t>((s * e + (255 - e) * static_cast<int64_t>(q.data[i])) / 255);
        }
    return 1;
}

// --- the deblur dialog's tiles ---

int CDeblurForDlg::Run()
{
    if (m_pParams) {
        const auto* p = static_cast<const IterAntiBlurParams*>(m_pParams);
        if (p->size > IterAntiBlurParams::kSize)
            return 0;
        m_params = *p;
        m_params.size = IterAntiBlurParams::kSize;
    }
    if (!m_pSource || !m_pSource->data || !m_pDestination || !CopyImage16(*m_pDestination, *m_pSource))
        return 0;
    const int w = m_pSource->width, h = m_pSource->height;
    if (w < 100 || h < 100)
        return 1;
    if (!m_params.weights || m_params.width < 1 || m_params.height < 1 || m_params.width > 32 || m_params.height > 32)
        return 0;
    m_weights.assign(m_params.weights, m_params.weights + static_cast<size_t>(m_params.width) * m_params.height);
    const Tile& r = m_rect;
    if (r.right <= r.left || r.bottom <= r.top || r.left < 0 || r.top < 0 || r.right > w || r.bottom > h)
        m_rect = {0, 0, w, h};
    if (SplitIntoTiles() == 0)
        return 0;
    return RunBands();
}

int CDeblurForDlg::SplitIntoTiles()
{
    const int rw = m_rect.right - m_rect.left, rh = m_rect.bottom - m_rect.top;
    m_tiles.clear();
    platform::ScopedLock lock(m_bandLock);
    m_bands.clear();
    if (rw <= 0 || rh <= 0)
        return 0;
    const int tw = rw / ((rw + 399) / 400), th = rh / ((rh + 399) / 400);
    for (int y = m_rect.top; y < m_rect.bottom; y += th)
        for (int x = m_rect.left; x < m_rect.right; x += tw) {
            m_tiles.push_back({x, y, std::min(x + tw, m_rect.right), std::min(y + th, m_rect.bottom)});
            BandTask t;
            t.firstWithMargin = t.first = y;
            t.endWithMargin = t.end = std::min(y + th, m_rect.bottom);
            t.owner = this;
            m_bands.push_back(t);
        }
    return static_cast<int>(m_bands.size());
}

const CDeblurForDlg::Tile& CDeblurForDlg::TileOf(const BandTask& task) const
{
    return m_tiles[static_cast<size_t>(&task - m_bands.data())];
}

int CDeblurForDlg::PrepareBand(BandTask& task, ImageBuffer16& S, ImageBuffer16& D)
{
    const Tile& t = TileOf(task);
    const int mx = 2 * m_params.width, my = 2 * m_params.height;
    const ImageBuffer16& src = *m_pSource;
    if (!AllocImage16(S, t.right - t.left + 2 * mx, t.bottom - t.top + 2 * my)) {
        FreeImageBuffer(S); // the framework fails a band without pixels
        return 1;
    }
    for (int y = 0; y < S.height; ++y) {
        const int sy = std::clamp(t.top - my + y, 0, src.height - 1);
        uint16_t* out = Row16(S, y);
        const uint16_t* in = Row16(src, sy);
        for (int x = 0; x < S.width; ++x) {
            const int sx = std::clamp(t.left - mx + x, 0, src.width - 1);
            std::memcpy(out + static_cast<size_t>(x) * 4, in + static_cast<size_t>(sx) * 4, 8);
        }
    }
    platform::ScopedLock lock(m_bandLock);
    task.bandSource = &S;
    task.bandDest = &D;
    return 1;
}

int CDeblurForDlg::ProcessBand(BandTask& task)
{
    if (IsAlgorithmCancelled())
        return 1;
    // A run of one tile reaches here without prepared buffers: prepare them now.
    ImageBuffer16 localS{}, localD{};
    if (!task.bandSource) {
        PrepareBand(task, localS, localD);
        if (!localS.data)
            return 0;
    }
    IterAntiBlurParams p = m_params;
    p.weights = m_weights.data();
    p.banded = 0;
    p.clampMode = 2;
    CIterAntiBlur nested;
    nested.SetParent(this, 0, 0);
    nested.SetSource(task.bandSource);
    nested.SetDestination(task.bandDest);
    nested.SetParams(&p);
    int ok = nested.Run();
    const ImageBuffer16& S = *task.bandSource;
    const ImageBuffer16& D = *task.bandDest;
    if (ok && (D.width != S.width || D.height != S.height))
        ok = 0;
    if (ok) {
        const Tile& t = TileOf(task);
        const int mx = 2 * m_params.width, my = 2 * m_params.height;
        for (int y = t.top; y < t.bottom; ++y)
            std::memcpy(Row16(*m_pDestination, y) + static_cast<size_t>(t.left) * 4,
                        Row16(D, y - t.top + my) + static_cast<size_t>(mx) * 4,
                        static_cast<size_t>(t.right - t.left) * 8);
    }
    if (task.bandSource == &localS) {
        platform::ScopedLock lock(m_bandLock);
        task.bandSource = task.bandDest = nullptr;
    }
    FreeImageBuffer(localS);
    FreeImageBuffer(localD);
    return ok ? 1 : 0;
}
