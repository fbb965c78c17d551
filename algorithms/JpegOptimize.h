// Turns an 8-bit picture into a JPEG file by a saved set of options: optional shrinking to a
// size limit, softening, block-wise luminance deblocking, automatic chroma subsampling, a
// picture-specific luminance table, and a search (lower quality or smaller picture) for a
// target file size. Also the save dialog's live estimate: size and decoded preview, no file.
#pragma once

#include "algorithms/Algorithm.h"

#include <cstddef>
#include <cstdint>

// Stored in the JPEG save presets: a file format. The two reference slots are never trusted
// or filled here; the pictures are handed over with CJpegOptimize::SetPictures.
struct JpegSaveOptions {
    uint8_t version = 0;        // InitJpegSaveOptions sets 2
    uint8_t reserved1[3] = {};
    int32_t quality = 85;       // 1..100
    uint8_t chroma = 2;         // 0 subsampled, 1 full (4:4:4), 2 automatic
    uint8_t reserved9 = 0;
    uint8_t deriveTable = 0;    // 1: try the picture's own luminance table
    uint8_t deblock = 0;        // 1: soften the luminance block by block
    int32_t smoothing = 0;      // percent, 0..100
    uint8_t limitMode = 0;      // 0 none, 1 width, 2 height, 3 longer side, 4 pixel count
    uint8_t reserved17[3] = {};
    int32_t limitValue = 0;
    uint8_t targetPolicy = 0;   // 0 none, 1 shrink the picture, 2 lower the quality
    uint8_t reserved25[3] = {};
    int32_t targetKB = 0;       // units of 1024 bytes
    uint8_t outputFlags = 0;    // 2 write the file, 4 estimate only; neither: prepare only
    uint8_t reserved33 = 0;
    char16_t path[1024] = {};   // UTF-16, NUL-terminated
    uint8_t reserved2082[6] = {};
    uint64_t sourceSlot = 0;    // reference slots of the stored layout: always 0 here
    uint64_t workSlot = 0;
    uint8_t callers[264] = {};  // belongs to the dialogs
};
static_assert(sizeof(JpegSaveOptions) == 2368);
static_assert(offsetof(JpegSaveOptions, quality) == 4);
static_assert(offsetof(JpegSaveOptions, chroma) == 8);
static_assert(offsetof(JpegSaveOptions, deriveTable) == 10);
static_assert(offsetof(JpegSaveOptions, deblock) == 11);
static_assert(offsetof(JpegSaveOptions, smoothing) == 12);
static_assert(offsetof(JpegSaveOptions, limitMode) == 16);
static_assert(offsetof(JpegSaveOptions, limitValue) == 20);
static_assert(offsetof(JpegSaveOptions, targetPolicy) == 24);
static_assert(offsetof(JpegSaveOptions, targetKB) == 28);
static_assert(offsetof(JpegSaveOptions, outputFlags) == 32);
static_assert(offsetof(JpegSaveOptions, path) == 34);
static_assert(offsetof(JpegSaveOptions, sourceSlot) == 2088);
static_assert(offsetof(JpegSaveOptions, workSlot) == 2096);
static_assert(offsetof(JpegSaveOptions, callers) == 2104);

enum JpegOutputFlags : uint8_t {
    JpegOutputWrite = 2,
    JpegOutputEstimate = 4,
};

// Byte 0 = 2, bytes 2088..2367 zero.
void InitJpegSaveOptions(JpegSaveOptions& options);
// True when the chroma of the picture has enough fine detail to keep it at full resolution.
bool HasChromaDetail(const ImageBuffer8& picture);

// The JPEG standard's luminance table, natural (row-major) order.
extern const uint8_t kStandardLumaTable[64];
// Natural position of each zigzag index.
extern const uint8_t kZigzagToNatural[64];

// Orthonormal 8 x 8 DCT-II in the 13-bit fixed point of the usual slow integer transform
// (DC = sum / 8); coefficients in zigzag order. Samples are not level-shifted.
void ForwardDct8x8(const int block[64], int16_t coefficients[64]);
// Its inverse, not clamped.
void InverseDct8x8(const int16_t coefficients[64], int block[64]);
// Shrinks the AC coefficients of bright and dark blocks; mid-grey blocks stay.
void SoftenBlockCoefficients(int16_t coefficients[64]);

enum class JpegOptimizeOutcome {
    Failed,    // Run returned 0
    Done,      // Run returned 1: prepared, estimated or written as asked
    Cancelled, // Run returned 0 and wrote nothing; not an error to report
};

class CJpegOptimize : public CAlgorithm {
public:
    CJpegOptimize();
    ~CJpegOptimize() override;

    // The source and the work picture (which receives the prepared picture and, after an
    // encoding, its decoded preview); both must outlive the run.
    void SetPictures(const ImageBuffer8* source, ImageBuffer8* work)
    {
        m_source8 = source;
        m_work8 = work;
    }
    // Params: a JpegSaveOptions. 1 when done; 0 on failure or cancel (see Outcome).
    int Run() override;
    int Run(const JpegSaveOptions& options);
    JpegOptimizeOutcome Outcome() const { return m_outcome; }

    int PrepareImage();
    int SmoothImage();
    int AnalyseBlocks();
    void DeriveLumaTable(const double means[64]);
    int64_t EncodeAndMeasure(const ImageBuffer8& picture, ImageBuffer8& output, int quality, bool useTable, bool decode);
    int TrialEncode();
    int FitSizeByQuality(ImageBuffer8& picture);
    int FitSizeByScaling(ImageBuffer8& picture);
    int WriteJpeg(const ImageBuffer8& picture);

    JpegSaveOptions m_options;
    int64_t m_encodedSize = 0; // bytes of the last measured encoding
    int m_chosenQuality = 0;   // 0: the record's quality applies
    int m_tableChoice = 1;     // 0: the derived luminance table made the smaller file
    uint32_t m_lumaTable[64] = {}; // natural order; handed to the encoder

private:
    bool Cancelled() const;

    const ImageBuffer8* m_source8 = nullptr;
    ImageBuffer8* m_work8 = nullptr;
    bool m_cancelled = false;
    JpegOptimizeOutcome m_outcome = JpegOptimizeOutcome::Failed;
};
