#include "algorithms/JpegOptimize.h"

#include "algorithms/AlgorithmThread.h"
#include "algorithms/ImageSize.h"
#include "algorithms/PixelAccess.h"
#include "imaging/ColourTables.h"
#include "imaging/ConvolutionKernel.h"
#include "imaging/ImageCodec/JpegWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

const uint8_t kStandardLumaTable[64] = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99,
};

const uint8_t kZigzagToNatural[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

namespace {

constexpr int kConstBits = 13;
constexpr int64_t FIX_0_298631336 = 2446, FIX_0_390180644 = 3196, FIX_0_541196100 = 4433,
                  FIX_0_765366865 = 6270, FIX_0_899976223 = 7373, FIX_1_175875602 = 9633,
                  FIX_1_501321110 = 12299, FIX_1_847759065 = 15137, FIX_1_961570560 = 16069,
                  FIX_2_053119869 = 16819, FIX_2_562915447 = 20995, FIX_3_072711026 = 25172;

inline int64_t Descale(int64_t x, int n)
{
    return n > 0 ? (x + (int64_t{1} << (n - 1))) >> n : x;
}

// One 8-point forward pass over in[k * stride]; `shiftEven` descales the DC and 4 terms,
// `shiftOdd` the others.
void ForwardPass(const int64_t* in, int64_t* out, int stride, int shiftEven, int shiftRest)
{
    const int64_t d[8] = {in[0], in[stride], in[2 * stride], in[3 * stride], in[4 * stride], in[5 * stride], in[6 * stride], in[7 * stride]};
    int64_t tmp0 = d[0] + d[7], tmp7 = d[0] - d[7], tmp1 = d[1] + d[6], tmp6 = d[1] - d[6];
    int64_t tmp2 = d[2] + d[5], tmp5 = d[2] - d[5], tmp3 = d[3] + d[4], tmp4 = d[3] - d[4];
    const int64_t tmp10 = tmp0 + tmp3, tmp13 = tmp0 - tmp3, tmp11 = tmp1 + tmp2, tmp12 = tmp1 - tmp2;
    out[0] = Descale(tmp10 + tmp11, shiftEven);
    out[4 * stride] = Descale(tmp10 - tmp11, shiftEven);
    int64_t z1 = (tmp12 + tmp13) * FIX_0_541196100;
    out[2 * stride] = Descale(z1 + tmp13 * FIX_0_765366865, shiftRest);
    out[6 * stride] = Descale(z1 - tmp12 * FIX_1_847759065, shiftRest);
    z1 = tmp4 + tmp7;
    int64_t z2 = tmp5 + tmp6, z3 = tmp4 + tmp6, z4 = tmp5 + tmp7;
    const int64_t z5 = (z3 + z4) * FIX_1_175875602;
    tmp4 *= FIX_0_298631336, tmp5 *= FIX_2_053119869, tmp6 *= FIX_3_072711026, tmp7 *= FIX_1_501321110;
    z1 *= -FIX_0_899976223, z2 *= -FIX_2_562915447, z3 *= -FIX_1_961570560, z4 *= -FIX_0_390180644;
    z3 += z5, z4 += z5;
    out[7 * stride] = Descale(tmp4 + z1 + z3, shiftRest);
    out[5 * stride] = Descale(tmp5 + z2 + z4, shiftRest);
    out[3 * stride] = Descale(tmp6 + z2 + z3, shiftRest);
    out[1 * stride] = Descale(tmp7 + z1 + z4, shiftRest);
}

void InversePass(const int64_t* in, int64_t* out, int stride, int shift)
{
    int64_t z2 = in[2 * stride], z3 = in[6 * stride];
    int64_t z1 = (z2 + z3) * FIX_0_541196100;
    int64_t tmp2 = z1 - z3 * FIX_1_847759065, tmp3 = z1 + z2 * FIX_0_765366865;
    z2 = in[0], z3 = in[4 * stride];
    int64_t tmp0 = (z2 + z3) * (int64_t{1} << kConstBits), tmp1 = (z2 - z3) * (int64_t{1} << kConstBits);
    const int64_t tmp10 = tmp0 + tmp3, tmp13 = tmp0 - tmp3, tmp11 = tmp1 + tmp2, tmp12 = tmp1 - tmp2;
    tmp0 = in[7 * stride], tmp1 = in[5 * stride], tmp2 = in[3 * stride], tmp3 = in[1 * stride];
    z1 = tmp0 + tmp3, z2 = tmp1 + tmp2, z3 = tmp0 + tmp2;
    int64_t z4 = tmp1 + tmp3;
    const int64_t z5 = (z3 + z4) * FIX_1_175875602;
    tmp0 *= FIX_0_298631336, tmp1 *= FIX_2_053119869, tmp2 *= FIX_3_072711026, tmp3 *= FIX_1_501321110;
    z1 *= -FIX_0_899976223, z2 *= -FIX_2_562915447, z3 *= -FIX_1_961570560, z4 *= -FIX_0_390180644;
    z3 += z5, z4 += z5;
    tmp0 += z1 + z3, tmp1 += z2 + z4, tmp2 += z2 + z3, tmp3 += z1 + z4;
    out[0] = Descale(tmp10 + tmp3, shift);
    out[7 * stride] = Descale(tmp10 - tmp3, shift);
    out[1 * stride] = Descale(tmp11 + tmp2, shift);
    out[6 * stride] = Descale(tmp11 - tmp2, shift);
    out[2 * stride] = Descale(tmp12 + tmp1, shift);
    out[5 * stride] = Descale(tmp12 - tmp1, shift);
    out[3 * stride] = Descale(tmp13 + tmp0, shift);
    out[4 * stride] = Descale(tmp13 - tmp0, shift);
}

struct Owned8 {
    ImageBuffer8 img{};
    ~Owned8() { FreeImageBuffer(img); }
};

struct Owned16 {
    ImageBuffer16 img{};
    ~Owned16() { FreeImageBuffer(img); }
};

int SharpenFor(int newWidth, int oldWidth)
{
    const double ratio = static_cast<double>(newWidth) / oldWidth;
    return ratio < 0.5 ? 30 : static_cast<int>((1 - ratio) * 50 + 5);
}

// 8-bit source resized through the 16-bit resampler into out.
int ResizeThrough16(const ImageBuffer16& source16, ImageBuffer8& out, int width, int height, int sharpen)
{
    CImageSize sizer;
    sizer.m_params.enhance = 1;
    sizer.m_params.areaValue = 75;
    sizer.m_params.sharpenAmount = sharpen;
    Owned16 resized;
    return sizer.SmartResize(source16, resized.img, width, height) && ConvertImage16To8Dithered(resized.img, out);
}

} // namespace

void ForwardDct8x8(const int block[64], int16_t coefficients[64])
{
    int64_t work[64], out[64];
    for (int i = 0; i < 64; ++i)
        work[i] = block[i];
    // Rows with no extra precision bits, then columns descaled back to orthonormal scale.
    for (int r = 0; r < 8; ++r)
        ForwardPass(work + r * 8, out + r * 8, 1, 0, kConstBits);
    for (int c = 0; c < 8; ++c)
        ForwardPass(out + c, work + c, 8, 3, kConstBits + 3);
    for (int k = 0; k < 64; ++k)
        coefficients[k] = static_cast<int16_t>(std::clamp<int64_t>(work[kZigzagToNatural[k]], -32768, 32767));
}

void InverseDct8x8(const int16_t coefficients[64], int block[64])
{
    int64_t work[64], out[64];
    for (int k = 0; k < 64; ++k)
        work[kZigzagToNatural[k]] = coefficients[k];
    for (int c = 0; c < 8; ++c)
        InversePass(work + c, out + c, 8, kConstBits);
    for (int r = 0; r < 8; ++r)
        InversePass(out + r * 8, work + r * 8, 1, kConstBits + 3);
    for (int i = 0; i < 64; ++i)
        block[i] = static_cast<int>(work[i]);
}

void SoftenBlockCoefficients(int16_t c[64])
{
    const int a = c[0] / 8;
    const double k = a > 128 ? (a - 128) / 128.0 : (128 - a) / 256.0;
    for (int i = 1; i < 64; ++i) {
        const int s = static_cast<int>(4 * std::sqrt(static_cast<double>(i)) * k * k * k);
        const int m = std::max(0, std::abs(c[i]) - s);
        c[i] = static_cast<int16_t>(c[i] < 0 ? -m : m);
    }
}

void InitJpegSaveOptions(JpegSaveOptions& o)
{
    auto* bytes = reinterpret_cast<uint8_t*>(&o);
    bytes[0] = 2;
    std::memset(bytes + 2088, 0, sizeof(JpegSaveOptions) - 2088);
}

bool HasChromaDetail(const ImageBuffer8& picture)
{
    const int W = picture.width, H = picture.height;
    if (!picture.data || W < 4 || H < 4)
        return true;
    Owned8 copy;
    if (!CopyImage8(copy.img, picture))
        return true; // keeping full chroma is the safe answer
    RgbToYCbCr8(copy.img);
    auto c = [&](int x, int y, int b) { return static_cast<int>(copy.img.data[(static_cast<size_t>(y) * W + x) * 4 + b]); };
    int64_t count = 0;
    for (int y = 0; y <= H - 3; y += 2)
        for (int x = 0; x <= W - 3; x += 2) {
            int dH = 0, dV = 0;
            for (int b = 0; b < 2; ++b) {
                dH = std::max(dH, std::abs(((c(x, y, b) + c(x + 2, y, b)) >> 1) - c(x + 1, y, b)));
                dV = std::max(dV, std::abs(((c(x, y, b) + c(x, y + 2, b)) >> 1) - c(x, y + 1, b)));
            }
            count += std::max(dH, dV) > 20;
        }
    return count > static_cast<int64_t>(W) * H / 2000 + 10;
}

CJpegOptimize::CJpegOptimize()
{
    InitJpegSaveOptions(m_options);
}

CJpegOptimize::~CJpegOptimize() = default;

bool CJpegOptimize::Cancelled() const
{
    // Only the worker's own job can be cancelled; a save on another thread never is.
    return OnAlgorithmJobThread() && IsAlgorithmCancelled();
}

int CJpegOptimize::Run()
{
    if (!m_pParams)
        return 0;
    JpegSaveOptions options;
    std::memcpy(static_cast<void*>(&options), m_pParams, sizeof options);
    return Run(options);
}

int CJpegOptimize::Run(const JpegSaveOptions& given)
{
    m_outcome = JpegOptimizeOutcome::Failed;
    m_cancelled = false;
    std::memcpy(static_cast<void*>(&m_options), &given, sizeof m_options);
    // A preset from a file may hold anything: no references, a terminated path, sane ranges.
    m_options.sourceSlot = m_options.workSlot = 0;
    m_options.path[1023] = 0;
    m_options.quality = std::clamp(m_options.quality, 1, 100);
    m_options.smoothing = std::clamp(m_options.smoothing, 0, 100);
    m_chosenQuality = 0;
    m_encodedSize = 0;
    m_tableChoice = 1;
    if (!m_source8 || !m_source8->data || !m_work8)
        return 0;
    auto cancelled = [&] {
        m_outcome = JpegOptimizeOutcome::Cancelled;
        return 0;
    };
    if (!PrepareImage())
        return 0;
    if (m_options.chroma == 2)
        m_options.chroma = HasChromaDetail(*m_source8) ? 1 : 0;
    SetProgress(10);
    if (!SmoothImage())
        return 0;
    SetProgress(20);
    if (Cancelled())
        return cancelled();
    DeriveLumaTable(nullptr);
    if (m_options.deblock || m_options.deriveTable) {
        RgbToYCbCr8(*m_work8);
        const int ok = AnalyseBlocks();
        YCbCrToRgb8(*m_work8);
        if (!ok)
            return 0;
    }
    SetProgress(60);
    if (Cancelled())
        return cancelled();
    if (m_options.outputFlags & (JpegOutputWrite | JpegOutputEstimate)) {
        Owned8 p;
        if (!CopyImage8(p.img, *m_work8) || !TrialEncode())
            return 0;
        if (m_cancelled)
            return cancelled();
        const int64_t target = static_cast<int64_t>(std::max(0, m_options.targetKB)) * 1024;
        int ok = 1;
        if (m_options.targetPolicy == 1 && m_encodedSize > target)
            ok = FitSizeByScaling(p.img);
        else if (m_options.targetPolicy == 2 && m_encodedSize > target)
            ok = FitSizeByQuality(p.img);
        if (!ok || !WriteJpeg(p.img))
            return 0;
    }
    SetProgress(100);
    m_outcome = JpegOptimizeOutcome::Done;
    return 1;
}

int CJpegOptimize::PrepareImage()
{
    const ImageBuffer8& S = *m_source8;
    const int64_t a = S.width, b = S.height, v = m_options.limitValue;
    int64_t c = a, d = b;
    bool apply = false;
    if (v > 0) { // a limit of 0 or less would leave no picture: it does not apply
        switch (m_options.limitMode) {
        case 1:
            apply = v < a, c = v, d = b * v / a;
            break;
        case 2:
            apply = v < b, d = v, c = a * v / b;
            break;
        case 3:
            apply = v < std::max(a, b);
            if (b < a)
                c = v, d = b * v / a;
            else
                d = v, c = a * v / b;
            break;
        case 4:
            if (v < a * b) {
                apply = true;
                const double f = std::sqrt(static_cast<double>(v) / (static_cast<double>(a) * b));
                c = std::max<int64_t>(10, static_cast<int64_t>(a * f));
                d = static_cast<int64_t>(b * f);
                if (d <= 9)
                    d = 10;
            }
            break;
        default:
            break;
        }
    }
    if (!apply)
        return CopyImage8(*m_work8, S);
    c = std::max<int64_t>(1, c), d = std::max<int64_t>(1, d);
    Owned16 s16;
    return AllocImage16(s16.img, S.width, S.height) && ConvertPixels8To16(S, s16.img) &&
           ResizeThrough16(s16.img, *m_work8, static_cast<int>(c), static_cast<int>(d),
                           SharpenFor(static_cast<int>(c), S.width));
}

int CJpegOptimize::SmoothImage()
{
    const int p = m_options.smoothing;
    if (p == 0)
        return 1;
    ImageBuffer8& T = *m_work8;
    static const int32_t kWeights[25] = {1, 2, 2, 2, 1, 2, 4, 4, 4, 2, 2, 4, 8, 4, 2, 2, 4, 4, 4, 2, 1, 2, 2, 2, 1};
    const ConvolutionKernel kernel{kWeights, 68, 5, 5, 2, 2};
    Owned8 blurred;
    if (!CopyImage8(blurred.img, T) || !kernel.ApplyImage8(T, blurred.img))
        return 0;
    const int W = T.width, H = T.height;
    for (int y = 1; y < H - 1; ++y)
        for (int x = 1; x < W - 1; ++x) {
            uint8_t* v = T.data + (static_cast<size_t>(y) * W + x) * 4;
            const uint8_t* q = blurred.img.data + (static_cast<size_t>(y) * W + x) * 4;
            for (int ch = 0; ch < 3; ++ch)
                v[ch] = static_cast<uint8_t>(((100 - p) * v[ch] + p * q[ch]) / 100);
        }
    return 1;
}

int CJpegOptimize::AnalyseBlocks()
{
    ImageBuffer8& T = *m_work8;
    const int W = T.width, bx = W >> 3, by = T.height >> 3;
    if (bx == 0 || by == 0) {
        SetProgress(40);
        return 1; // no whole block: the standard table stays
    }
    uint64_t acc[64] = {};
    for (int r = 0; r < by; ++r) {
        for (int q = 0; q < bx; ++q) {
            int Y[64];
            for (int i = 0; i < 64; ++i)
                Y[i] = T.data[((static_cast<size_t>(r) * 8 + i / 8) * W + q * 8 + i % 8) * 4 + 2];
            int16_t coef[64];
            ForwardDct8x8(Y, coef);
            if (m_options.deblock) {
                SoftenBlockCoefficients(coef);
                InverseDct8x8(coef, Y);
                for (int i = 0; i < 64; ++i)
                    T.data[((static_cast<size_t>(r) * 8 + i / 8) * W + q * 8 + i % 8) * 4 + 2] =
                        static_cast<uint8_t>(std::clamp(Y[i], 0, 255));
            }
            for (int i = 1; i < 64; ++i)
                acc[i] += static_cast<uint64_t>(std::abs(coef[i]));
        }
        SetProgress(20 + 20 * r / by);
    }
    SetProgress(40);
    double means[64];
    const double blocks = static_cast<double>(bx) * by;
    means[0] = 0;
    for (int i = 1; i < 64; ++i)
        means[i] = static_cast<double>(acc[i] / static_cast<uint64_t>(blocks));
    DeriveLumaTable(means);
    return 1;
}

void CJpegOptimize::DeriveLumaTable(const double* m)
{
    // Natural order throughout: each position's quantiser comes from the statistics of its
    // own frequency, and the encoder takes the table in that order.
    uint8_t zigzagOf[64];
    for (int k = 0; k < 64; ++k)
        zigzagOf[kZigzagToNatural[k]] = static_cast<uint8_t>(k);
    for (int j = 0; j < 64; ++j)
        m_lumaTable[j] = kStandardLumaTable[j];
    if (!m || !m_options.deriveTable)
        return;
    double M = 0;
    for (int i = 1; i < 64; ++i)
        M = std::max(M, m[i]);
    for (int j = 1; j < 64; ++j) {
        const double mean = m[zigzagOf[j]];
        const double dist = std::sqrt(static_cast<double>((j / 8) * (j / 8) + (j % 8) * (j % 8)));
        const double v = mean > 0 ? std::min(255.0, kStandardLumaTable[j] * M / (dist * mean)) : 255.0;
        // A quantiser of 0 would make the encoder divide by zero.
        m_lumaTable[j] = static_cast<uint32_t>(std::clamp(static_cast<int>(v + 0.5), 1, 255));
    }
}

int64_t CJpegOptimize::EncodeAndMeasure(const ImageBuffer8& picture, ImageBuffer8& output, int q, bool useTable, bool decode)
{
    if (!CopyImage8(output, picture))
        return 0;
    if (m_options.chroma == 1 && q != 0)
        q += 100;
    JpegWriter writer;
    if (useTable)
        std::memcpy(writer.lumaQuantTable, m_lumaTable, sizeof m_lumaTable);
    uint8_t* bytes = nullptr;
    int64_t size = 0;
    int ok = writer.EncodeToMemory(bytes, size, picture, q);
    if (ok && decode)
        ok = DecodeJpegMemory(bytes, static_cast<size_t>(size), output);
    std::free(bytes);
    return ok ? size : 0;
}

int CJpegOptimize::TrialEncode()
{
    const int Q = m_options.quality;
    ImageBuffer8& T = *m_work8;
    Owned8 t0, t1;
    const int64_t size0 = EncodeAndMeasure(T, t0.img, Q, false, true);
    if (!size0)
        return 0;
    m_encodedSize = size0;
    if (!m_options.deriveTable) {
        m_tableChoice = 1;
        return CopyImage8(T, t0.img);
    }
    if (Cancelled()) {
        m_cancelled = true; // nothing more is measured and nothing is written
        return 1;
    }
    const int64_t size1 = EncodeAndMeasure(T, t1.img, Q, true, true);
    if (!size1)
        return 0;
    if (size1 < size0) {
        m_encodedSize = size1;
        m_tableChoice = 0;
        return CopyImage8(T, t1.img);
    }
    m_tableChoice = 1;
    return CopyImage8(T, t0.img);
}

int CJpegOptimize::FitSizeByQuality(ImageBuffer8& p)
{
    const int64_t target = static_cast<int64_t>(std::max(0, m_options.targetKB)) * 1024;
    int lo = 0, hi = m_options.quality, best = 1, b = m_options.quality / 2;
    const bool useTable = m_options.deriveTable && m_tableChoice == 0;
    Owned8 t;
    int64_t s = EncodeAndMeasure(p, t.img, b, useTable, false);
    while (s != 0) {
        if (s > target) {
            hi = b;
            if (b <= 0)
                break;
        } else {
            best = std::max(best, b);
            if (b >= hi - 1)
                break;
            lo = b;
        }
        SetProgress(80 + (100 - (hi - lo)) / 5);
        b = (hi + lo) / 2;
        s = EncodeAndMeasure(p, t.img, b, useTable, false);
    }
    if (s == 0)
        return 0;
    s = EncodeAndMeasure(p, t.img, best, useTable, true);
    m_encodedSize = s;
    if (s == 0)
        return 0; // the final encoding failed: nothing to show or write
    if (!CopyImage8(*m_work8, t.img))
        return 0;
    m_chosenQuality = best;
    SetProgress(100);
    return 1;
}

int CJpegOptimize::FitSizeByScaling(ImageBuffer8& p)
{
    const int64_t target = static_cast<int64_t>(std::max(0, m_options.targetKB) * 1024.0 * 0.9);
    const ImageBuffer8& S = *m_source8;
    Owned16 s16;
    if (!AllocImage16(s16.img, S.width, S.height) || !ConvertPixels8To16(S, s16.img))
        return 0;
    ImageBuffer8& T = *m_work8;
    for (;;) {
        const double c = std::min(0.9, std::sqrt(static_cast<double>(target) / static_cast<double>(std::max<int64_t>(1, m_encodedSize))));
        const int nw = std::max(1, static_cast<int>(T.width * c + 0.5)), nh = std::max(1, static_cast<int>(T.height * c + 0.5));
        // At a pixel or two a side the picture no longer shrinks: no size can be reached.
        if (nw >= T.width && nh >= T.height)
            return 0;
        if (!ResizeThrough16(s16.img, p, nw, nh, SharpenFor(nw, S.width)))
            return 0;
        const int64_t previous = m_encodedSize;
        const int64_t s = EncodeAndMeasure(p, T, m_options.quality, false, true);
        m_encodedSize = s;
        if (s == 0)
            return 0; // a failed encoding is not a fit
        if (s < target)
            break;
        if (s >= previous)
            return 0; // shrinking no longer makes the file smaller
    }
    m_tableChoice = 1;
    SetProgress(100);
    return 1;
}

int CJpegOptimize::WriteJpeg(const ImageBuffer8& p)
{
    const uint8_t flags = m_options.outputFlags;
    if ((flags & JpegOutputEstimate) || !m_options.path[0] || !(flags & JpegOutputWrite))
        return 1;
    int q = m_chosenQuality > 0 ? m_chosenQuality : m_options.quality;
    if (m_options.chroma == 1 && q != 0)
        q += 100;
    JpegWriter writer;
    if (m_options.deriveTable && m_tableChoice == 0)
        std::memcpy(writer.lumaQuantTable, m_lumaTable, sizeof m_lumaTable);
    return writer.SaveFile(m_options.path, p, q) ? 1 : 0;
}
