#include "algorithms/JpegOptimize.h"
#include "algorithms/tests/RestoreTestSupport.h"
#include "imaging/ImageCodec/JpegWriter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

namespace fs = std::filesystem;

struct Image8 {
    ImageBuffer8 img{};
    ~Image8() { FreeImageBuffer(img); }
};

// A photo-like picture: smooth colour gradients, a few hard edges and some grain.
void Photo(ImageBuffer8& img, int w, int h, unsigned seed, int grain = 12)
{
    ASSERT_TRUE(AllocImage8(img, w, h));
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> n(-grain, grain);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = img.data + (static_cast<size_t>(y) * w + x) * 4;
            const bool inside = (x - w / 3) * (x - w / 3) + (y - h / 2) * (y - h / 2) < (h / 4) * (h / 4);
            const int base[3] = {inside ? 40 : 60 + 120 * x / w, inside ? 160 : 90 + 100 * y / h, inside ? 200 : 140};
            for (int c = 0; c < 3; ++c)
                p[c] = static_cast<uint8_t>(std::clamp(base[c] + n(rng), 0, 255));
            p[3] = 255;
        }
}

std::string TempPath(const std::string& name)
{
    const fs::path dir = fs::temp_directory_path() / ("jpegopt_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    return (dir / name).string();
}

void SetPath(JpegSaveOptions& o, const std::string& path)
{
    std::memset(o.path, 0, sizeof o.path);
    for (size_t i = 0; i < path.size() && i < 1023; ++i)
        o.path[i] = static_cast<char16_t>(path[i]);
}

struct FileFacts {
    bool ok = false;
    int width = 0, height = 0;
    int h0 = 0, v0 = 0;          // sampling of component 0
    std::vector<int> luma;       // quantisation table 0, natural order
    long bytes = 0;
};

// Read back through libjpeg itself.
FileFacts ReadFacts(const std::string& path)
{
    FileFacts f;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return f;
    std::fseek(file, 0, SEEK_END);
    f.bytes = std::ftell(file);
    std::fseek(file, 0, SEEK_SET);
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    if (jpeg_read_header(&cinfo, TRUE) == JPEG_HEADER_OK) {
        f.ok = true;
        f.width = static_cast<int>(cinfo.image_width);
        f.height = static_cast<int>(cinfo.image_height);
        f.h0 = cinfo.comp_info[0].h_samp_factor;
        f.v0 = cinfo.comp_info[0].v_samp_factor;
        if (cinfo.quant_tbl_ptrs[0])
            for (int i = 0; i < 64; ++i)
                f.luma.push_back(cinfo.quant_tbl_ptrs[0]->quantval[i]);
    }
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
    return f;
}

// libjpeg's scaling of a base table entry at a quality, limited to baseline.
int Scaled(int base, int quality)
{
    const int scale = quality < 50 ? 5000 / quality : 200 - quality * 2;
    return std::clamp((base * scale + 50) / 100, 1, 255);
}

JpegSaveOptions Options(int quality, uint8_t chroma, uint8_t flags, const std::string& path = "")
{
    JpegSaveOptions o;
    InitJpegSaveOptions(o);
    o.quality = quality;
    o.chroma = chroma;
    o.outputFlags = flags;
    SetPath(o, path);
    return o;
}

int RunOpt(CJpegOptimize& opt, const JpegSaveOptions& o, const ImageBuffer8& src, ImageBuffer8& work)
{
    opt.SetPictures(&src, &work);
    return opt.Run(o);
}

TEST(JpegOptimize, RecordLayoutAndInit)
{
    JpegSaveOptions o;
    std::memset(static_cast<void*>(&o), 0xAB, sizeof o);
    InitJpegSaveOptions(o);
    const auto* b = reinterpret_cast<const uint8_t*>(&o);
    EXPECT_EQ(b[0], 2);
    EXPECT_EQ(b[1], 0xAB) << "caller bytes before the slots stay";
    EXPECT_EQ(b[2087], 0xAB);
    for (size_t i = 2088; i < sizeof o; ++i)
        ASSERT_EQ(b[i], 0) << i;
}

TEST(JpegOptimize, IntegerDctPairs)
{
    int flat[64];
    std::fill(flat, flat + 64, 100);
    int16_t c[64];
    ForwardDct8x8(flat, c);
    EXPECT_EQ(c[0], 800) << "DC = sum / 8";
    for (int i = 1; i < 64; ++i)
        ASSERT_EQ(c[i], 0) << i;

    std::mt19937 rng(5);
    for (int trial = 0; trial < 200; ++trial) {
        int block[64], back[64];
        for (int& v : block)
            v = static_cast<int>(rng() % 256);
        ForwardDct8x8(block, c);
        // Against the orthonormal DCT-II in double precision, coefficient by coefficient.
        for (int k = 0; k < 64; ++k) {
            const int j = kZigzagToNatural[k], u = j / 8, v = j % 8;
            double s = 0;
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                    s += block[y * 8 + x] * std::cos((2 * y + 1) * u * M_PI / 16) * std::cos((2 * x + 1) * v * M_PI / 16);
            s *= (u ? 0.5 : std::sqrt(0.125)) * (v ? 0.5 : std::sqrt(0.125));
            ASSERT_NEAR(c[k], s, 1.0) << "trial " << trial << " k " << k;
        }
        InverseDct8x8(c, back);
        for (int i = 0; i < 64; ++i)
            ASSERT_NEAR(back[i], block[i], 1) << "trial " << trial;
    }
}

TEST(JpegOptimize, SoftenedCoefficients)
{
    struct Case { int dc; int ac; int want; };
    // k = (a - 128) / 128 for bright blocks, (128 - a) / 256 for dark ones; s = 4 sqrt(i) k^3.
    const Case cases[] = {
        {128 * 8, 50, 50},                                                 // mid grey: unchanged
        {255 * 8, 50, 50 - static_cast<int>(4 * std::sqrt(9.0) * std::pow(127 / 128.0, 3))},
        {0, 50, 50 - static_cast<int>(4 * std::sqrt(9.0) * 0.125)},
        {255 * 8, 3, 0},                                                   // never past zero
        {255 * 8, -50, -(50 - static_cast<int>(4 * std::sqrt(9.0) * std::pow(127 / 128.0, 3)))},
    };
    for (const Case& k : cases) {
        int16_t c[64] = {};
        c[0] = static_cast<int16_t>(k.dc);
        c[9] = static_cast<int16_t>(k.ac);
        SoftenBlockCoefficients(c);
        EXPECT_EQ(c[9], k.want) << k.dc << " " << k.ac;
        EXPECT_EQ(c[0], k.dc);
    }
}

TEST(JpegOptimize, ChromaDetail)
{
    Image8 tiny, grey, stripes, photo;
    ASSERT_TRUE(AllocImage8(tiny.img, 3, 3));
    std::memset(tiny.img.data, 128, 36);
    EXPECT_TRUE(HasChromaDetail(tiny.img));
    ASSERT_TRUE(AllocImage8(grey.img, 500, 500));
    std::memset(grey.img.data, 120, grey.img.byteSize);
    EXPECT_FALSE(HasChromaDetail(grey.img));
    ASSERT_TRUE(AllocImage8(stripes.img, 200, 200));
    for (int i = 0; i < 200 * 200; ++i) {
        uint8_t* p = stripes.img.data + i * 4;
        const bool red = (i % 200) % 2;
        p[0] = red ? 0 : 255, p[1] = 0, p[2] = red ? 255 : 0, p[3] = 255; // alternating red and blue columns
    }
    EXPECT_TRUE(HasChromaDetail(stripes.img));
    ASSERT_TRUE(AllocImage8(photo.img, 300, 200)); // smooth colour gradients
    for (int i = 0; i < 300 * 200; ++i) {
        uint8_t* p = photo.img.data + i * 4;
        p[0] = static_cast<uint8_t>(i % 300 * 255 / 300), p[1] = 100, p[2] = static_cast<uint8_t>(i / 300), p[3] = 255;
    }
    EXPECT_FALSE(HasChromaDetail(photo.img));
}

TEST(JpegOptimize, SizeLimits)
{
    Image8 src;
    Photo(src.img, 640, 480, 2);
    struct Case { uint8_t mode; int value; int w, h; };
    const Case cases[] = {
        {1, 300, 300, 225}, {2, 240, 320, 240}, {3, 320, 320, 240}, {4, 50, 10, 10},
        {4, 30000, 200, 150}, {1, 640, 640, 480}, {1, 0, 640, 480}, {2, -5, 640, 480},
        {9, 100, 640, 480}, {4, 1 << 30, 640, 480},
    };
    for (const Case& c : cases) {
        CJpegOptimize opt;
        Image8 work;
        JpegSaveOptions o = Options(80, 0, 0);
        o.limitMode = c.mode;
        o.limitValue = c.value;
        ASSERT_EQ(RunOpt(opt, o, src.img, work.img), 1) << int(c.mode) << " " << c.value;
        EXPECT_EQ(work.img.width, c.w) << int(c.mode) << " " << c.value;
        EXPECT_EQ(work.img.height, c.h) << int(c.mode) << " " << c.value;
    }
    Image8 portrait;
    Photo(portrait.img, 300, 500, 3);
    CJpegOptimize opt;
    Image8 work;
    JpegSaveOptions o = Options(80, 0, 0);
    o.limitMode = 3;
    o.limitValue = 100;
    ASSERT_EQ(RunOpt(opt, o, portrait.img, work.img), 1);
    EXPECT_EQ(work.img.width, 60);
    EXPECT_EQ(work.img.height, 100);
}

TEST(JpegOptimize, EstimateWritesNoFile)
{
    Image8 src, work, decoded;
    Photo(src.img, 640, 480, 4);
    const std::string path = TempPath("estimate.jpg");
    std::remove(path.c_str());
    CJpegOptimize opt;
    ASSERT_EQ(RunOpt(opt, Options(75, 0, JpegOutputWrite | JpegOutputEstimate, path), src.img, work.img), 1);
    EXPECT_FALSE(fs::exists(path));
    JpegWriter writer;
    uint8_t* bytes = nullptr;
    int64_t size = 0;
    ASSERT_EQ(writer.EncodeToMemory(bytes, size, src.img, 75), 1);
    EXPECT_EQ(opt.m_encodedSize, size);
    ASSERT_EQ(DecodeJpegMemory(bytes, static_cast<size_t>(size), decoded.img), 1);
    std::free(bytes);
    ASSERT_EQ(work.img.width, 640);
    EXPECT_EQ(std::memcmp(work.img.data, decoded.img.data, decoded.img.byteSize), 0) << "the preview is the decoded result";
    EXPECT_EQ(opt.Outcome(), JpegOptimizeOutcome::Done);

    // Flags 0 only prepare the picture: no encoding at all.
    CJpegOptimize prep;
    ASSERT_EQ(RunOpt(prep, Options(75, 0, 0, path), src.img, work.img), 1);
    EXPECT_EQ(prep.m_encodedSize, 0);
    EXPECT_EQ(std::memcmp(work.img.data, src.img.data, src.img.byteSize), 0);
}

TEST(JpegOptimize, WrittenSamplingAndTables)
{
    Image8 src, work;
    Photo(src.img, 320, 240, 6);
    struct Case { uint8_t chroma; int h0; };
    for (const Case& c : {Case{1, 1}, Case{0, 2}}) {
        const std::string path = TempPath("sampling.jpg");
        CJpegOptimize opt;
        ASSERT_EQ(RunOpt(opt, Options(50, c.chroma, JpegOutputWrite, path), src.img, work.img), 1);
        const FileFacts f = ReadFacts(path);
        ASSERT_TRUE(f.ok);
        EXPECT_EQ(f.h0, c.h0) << "chroma " << int(c.chroma);
        EXPECT_EQ(f.v0, c.h0);
        ASSERT_EQ(f.luma.size(), 64u);
        for (int i = 0; i < 64; ++i)
            ASSERT_EQ(f.luma[i], kStandardLumaTable[i]) << "quality 50 writes the standard table as it is";
    }
    // A smooth picture has little high-frequency energy: its own table (coarse there) gives
    // the smaller file and is the one written.
    Image8 grainy;
    Photo(grainy.img, 400, 300, 7, 1);
    const std::string path = TempPath("derived.jpg");
    CJpegOptimize opt;
    JpegSaveOptions o = Options(50, 0, JpegOutputWrite, path);
    o.deriveTable = 1;
    ASSERT_EQ(RunOpt(opt, o, grainy.img, work.img), 1);
    const FileFacts f = ReadFacts(path);
    ASSERT_TRUE(f.ok);
    ASSERT_EQ(f.luma.size(), 64u);
    EXPECT_EQ(opt.m_tableChoice, 0);
    for (int i = 0; i < 64; ++i) {
        ASSERT_GE(opt.m_lumaTable[i], 1u);
        ASSERT_LE(opt.m_lumaTable[i], 255u);
        if (opt.m_tableChoice == 0) {
            ASSERT_EQ(f.luma[i], static_cast<int>(opt.m_lumaTable[i])) << i;
        }
        else
            ASSERT_EQ(f.luma[i], kStandardLumaTable[i]) << i;
    }
    EXPECT_EQ(opt.m_lumaTable[0], 16u);
}

TEST(JpegOptimize, TargetSizes)
{
    Image8 noise, photo, work;
    ASSERT_TRUE(AllocImage8(noise.img, 400, 400));
    std::mt19937 rng(8);
    for (uint32_t i = 0; i < noise.img.byteSize; ++i)
        noise.img.data[i] = static_cast<uint8_t>(rng());
    // No quality reaches 1 KB: quality 1 is written.
    {
        const std::string path = TempPath("q1.jpg");
        CJpegOptimize opt;
        JpegSaveOptions o = Options(90, 0, JpegOutputWrite, path);
        o.targetPolicy = 2;
        o.targetKB = 1;
        ASSERT_EQ(RunOpt(opt, o, noise.img, work.img), 1);
        EXPECT_EQ(opt.m_chosenQuality, 1);
        const FileFacts f = ReadFacts(path);
        ASSERT_TRUE(f.ok);
        ASSERT_EQ(f.luma.size(), 64u);
        for (int i = 0; i < 64; ++i)
            ASSERT_EQ(f.luma[i], Scaled(kStandardLumaTable[i], 2)) << "files take quality 1 as 2";
    }
    Photo(photo.img, 900, 700, 9, 25);
    // A target the first encoding meets: the record's quality, no search.
    {
        const std::string path = TempPath("met.jpg");
        CJpegOptimize opt;
        JpegSaveOptions o = Options(60, 0, JpegOutputWrite, path);
        o.targetPolicy = 2;
        o.targetKB = 100000;
        ASSERT_EQ(RunOpt(opt, o, photo.img, work.img), 1);
        EXPECT_EQ(opt.m_chosenQuality, 0);
        const FileFacts f = ReadFacts(path);
        ASSERT_EQ(f.luma.size(), 64u);
        EXPECT_EQ(f.luma[0], Scaled(16, 60));
    }
    // Quality search: the best quality that fits.
    {
        const std::string path = TempPath("fit.jpg");
        CJpegOptimize opt;
        JpegSaveOptions o = Options(95, 0, JpegOutputWrite, path);
        o.targetPolicy = 2;
        o.targetKB = 60;
        ASSERT_EQ(RunOpt(opt, o, photo.img, work.img), 1);
        ASSERT_GT(opt.m_chosenQuality, 1);
        EXPECT_LE(opt.m_encodedSize, 60 * 1024);
        EXPECT_LE(ReadFacts(path).bytes, 60 * 1024 + 64);
        // One step up no longer fits.
        JpegWriter writer;
        uint8_t* bytes = nullptr;
        int64_t size = 0;
        ASSERT_EQ(writer.EncodeToMemory(bytes, size, photo.img, opt.m_chosenQuality + 1), 1);
        std::free(bytes);
        EXPECT_GT(size, 60 * 1024);
    }
    // Shrinking: every pass at least 10 % per side, the file under 90 % of the target.
    {
        const std::string path = TempPath("shrunk.jpg");
        CJpegOptimize opt;
        JpegSaveOptions o = Options(85, 0, JpegOutputWrite, path);
        o.targetPolicy = 1;
        o.targetKB = 30;
        ASSERT_EQ(RunOpt(opt, o, photo.img, work.img), 1);
        const FileFacts f = ReadFacts(path);
        ASSERT_TRUE(f.ok);
        EXPECT_LE(f.width, 900 * 9 / 10);
        EXPECT_LE(f.height, 700 * 9 / 10);
        EXPECT_LT(opt.m_encodedSize, static_cast<int64_t>(30 * 1024 * 0.9));
        EXPECT_LE(f.bytes, static_cast<long>(30 * 1024 * 0.9) + 64);
        EXPECT_EQ(work.img.width, f.width) << "the preview has the written size";
    }
}

TEST(JpegOptimize, HostileRecordsAndTinyPictures)
{
    Image8 src, work;
    Photo(src.img, 120, 90, 10);
    struct Case { const char* what; void (*edit)(JpegSaveOptions&); int result; };
    const Case cases[] = {
        {"quality 0 acts as 1", [](JpegSaveOptions& o) { o.quality = 0; }, 1},
        {"quality 500 acts as 100", [](JpegSaveOptions& o) { o.quality = 500; }, 1},
        {"smoothing 1000 acts as 100", [](JpegSaveOptions& o) { o.smoothing = 1000; }, 1},
        {"smoothing -50 acts as 0", [](JpegSaveOptions& o) { o.smoothing = -50; }, 1},
        {"stale reference slots are ignored", [](JpegSaveOptions& o) { o.sourceSlot = 0xDEADBEEF; o.workSlot = 1; }, 1},
        {"unknown policy writes as none", [](JpegSaveOptions& o) { o.targetPolicy = 7; o.targetKB = 1; }, 1},
        {"negative target", [](JpegSaveOptions& o) { o.targetPolicy = 2; o.targetKB = -4; }, 1},
        {"a zero target cannot be reached by shrinking", [](JpegSaveOptions& o) { o.targetPolicy = 1; o.targetKB = 0; }, 0},
        {"unterminated path", [](JpegSaveOptions& o) { std::fill(o.path, o.path + 1024, u'a'); }, 0},
        {"deblock and derive", [](JpegSaveOptions& o) { o.deblock = 1; o.deriveTable = 1; }, 1},
    };
    for (const Case& c : cases) {
        JpegSaveOptions o = Options(80, 2, JpegOutputWrite, TempPath("hostile.jpg"));
        c.edit(o);
        CJpegOptimize opt;
        EXPECT_EQ(RunOpt(opt, o, src.img, work.img), c.result) << c.what;
        EXPECT_EQ(opt.m_options.sourceSlot, 0u);
        EXPECT_EQ(opt.m_options.path[1023], 0);
        EXPECT_GE(opt.m_options.quality, 1);
        EXPECT_LE(opt.m_options.quality, 100);
        if (c.result == 0) {
            EXPECT_EQ(opt.Outcome(), JpegOptimizeOutcome::Failed) << c.what;
        }
    }
    // Pictures with no whole 8 x 8 block and a single pixel.
    for (int w : {1, 3, 7}) {
        Image8 tiny;
        Photo(tiny.img, w, 5, 11);
        JpegSaveOptions o = Options(80, 2, JpegOutputWrite | JpegOutputEstimate);
        o.deblock = o.deriveTable = 1;
        o.smoothing = 50;
        o.limitMode = 4;
        o.limitValue = 1;
        CJpegOptimize opt;
        EXPECT_EQ(RunOpt(opt, o, tiny.img, work.img), 1) << w;
        EXPECT_GT(opt.m_encodedSize, 0);
    }
    CJpegOptimize none;
    EXPECT_EQ(none.Run(Options(80, 0, 0)), 0) << "no pictures";
}

TEST(JpegOptimize, SmoothingAndDeblocking)
{
    Image8 src, work;
    Photo(src.img, 64, 48, 12, 30);
    CJpegOptimize opt;
    JpegSaveOptions o = Options(80, 0, 0);
    o.smoothing = 100;
    ASSERT_EQ(RunOpt(opt, o, src.img, work.img), 1);
    static const int32_t kW[25] = {1, 2, 2, 2, 1, 2, 4, 4, 4, 2, 2, 4, 8, 4, 2, 2, 4, 4, 4, 2, 1, 2, 2, 2, 1};
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            for (int c = 0; c < 3; ++c) {
                const int got = work.img.data[(y * 64 + x) * 4 + c];
                if (x == 0 || y == 0 || x == 63 || y == 47) {
                    ASSERT_EQ(got, src.img.data[(y * 64 + x) * 4 + c]) << "border pixels stay";
                    continue;
                }
                int s = 0;
                for (int k = 0; k < 25; ++k) {
                    const int xx = std::clamp(x + k % 5 - 2, 0, 63), yy = std::clamp(y + k / 5 - 2, 0, 47);
                    s += kW[k] * src.img.data[(yy * 64 + xx) * 4 + c];
                }
                ASSERT_EQ(got, s / 68) << x << "," << y;
            }
    // Deblocking a mid-grey picture changes nothing beyond the colour conversion round trip.
    Image8 grey, roundTrip;
    ASSERT_TRUE(AllocImage8(grey.img, 32, 16));
    std::memset(grey.img.data, 128, grey.img.byteSize);
    ASSERT_TRUE(CopyImage8(roundTrip.img, grey.img));
    RgbToYCbCr8(roundTrip.img);
    YCbCrToRgb8(roundTrip.img);
    JpegSaveOptions d = Options(80, 0, 0);
    d.deblock = 1;
    ASSERT_EQ(RunOpt(opt, d, grey.img, work.img), 1);
    EXPECT_EQ(std::memcmp(work.img.data, roundTrip.img.data, grey.img.byteSize), 0);
}

// Asks the worker to cancel when a given progress value is posted, as a user pressing cancel
// at that moment would.
class CancelAt : public RecordingHost {
public:
    explicit CancelAt(int percent) : m_percent(percent) {}
    void PostAlgorithmMessage(CMessageSprite* listener, int p1, int p2) override
    {
        if (p1 == m_percent)
            theAlgorithmThread.Cancel();
        RecordingHost::PostAlgorithmMessage(listener, p1, p2);
    }

private:
    int m_percent;
};

TEST(JpegOptimize, CancelledJobWritesNothingAndSaysSo)
{
    Image8 src, work;
    Photo(src.img, 200, 160, 13);
    for (int at : {10, 40}) { // before the block pass, and during it
        const std::string path = TempPath("cancelled.jpg");
        std::remove(path.c_str());
        CancelAt host(at);
        SetAlgorithmHost(&host);
        g_pAlgorithmListener.store(FakeListener());
        theAlgorithmThread.StopWorker();
        ASSERT_TRUE(theAlgorithmThread.StartWorker(2));
        CJpegOptimize opt;
        opt.SetPictures(&src.img, &work.img);
        JpegSaveOptions o = Options(80, 0, JpegOutputWrite, path);
        o.deriveTable = 1;
        ASSERT_EQ(StartAlgorithm(&opt, nullptr, nullptr, &o, 3), 1);
        auto msgs = host.PumpUntil(1003);
        ASSERT_FALSE(msgs.empty());
        EXPECT_EQ(msgs.back().p1, 1003);
        EXPECT_EQ(msgs.back().p2, kAlgorithmCancelled);
        ASSERT_TRUE(theAlgorithmThread.WaitIdle(5000));
        EXPECT_EQ(opt.Outcome(), JpegOptimizeOutcome::Cancelled) << at;
        EXPECT_FALSE(fs::exists(path)) << "a cancelled save writes no file";
        theAlgorithmThread.StopWorker();
        g_pAlgorithmListener.store(nullptr);
        SetAlgorithmHost(nullptr);
    }
    // The same run on a thread that is not the worker's job ignores a pending cancel.
    const std::string path = TempPath("direct.jpg");
    std::remove(path.c_str());
    theAlgorithmThread.Cancel();
    CJpegOptimize direct;
    ASSERT_EQ(RunOpt(direct, Options(80, 0, JpegOutputWrite, path), src.img, work.img), 1);
    EXPECT_EQ(direct.Outcome(), JpegOptimizeOutcome::Done);
    EXPECT_TRUE(fs::exists(path));
    theAlgorithmThread.m_bCancel.store(0);
}

} // namespace
