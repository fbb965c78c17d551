// The program's resampler: the image-size command (one picture or a whole document) and the
// toolbox of resizers other algorithms call directly.
#pragma once

#include "algorithms/Algorithm.h"
#include "algorithms/AlgorithmParams.h"

class CZDDoc;

enum ResizeMethod : int32_t {
    ResizeNearestMethod = 1,
    ResizeBilinearMethod = 2,
    ResizeBicubicMethod = 3,
    ResizeSmartMethod = 4,
    ResizeDoubleMethod = 5,
};

// Stored in image-size history steps and scheme files: a file format.
struct ImageSizeParams {
    uint16_t size = 40;
    uint16_t padding = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t method = 0;
    uint32_t document = 0; // a run-time reference on the original; kept as 0 here, never read
    int32_t enhance = 1;
    int32_t areaValue = 100;
    int32_t sharpenAmount = 0;
    int32_t reserved = 0;
    int32_t applyMode = 0; // how a scheme applies the step; not read here
};
static_assert(sizeof(ImageSizeParams) == 40);
static_assert(offsetof(ImageSizeParams, method) == 12);
static_assert(offsetof(ImageSizeParams, document) == 16);
static_assert(offsetof(ImageSizeParams, applyMode) == 36);

using Matrix5x5 = double[5][5];

void BuildSharpenMatrix5x5(Matrix5x5& m, int amount);
// Mitchell-Netravali without its 1/6 factor, in single precision.
float MitchellNetravaliWeight(float t, float scale, float B, float C);
// out = (t x a + (256 - t) x b) >> 8 over `count` values (t is the weight of a).
void BlendRows16(uint16_t* out, const uint16_t* a, const uint16_t* b, size_t count, int weightA, int weightB);
int TransposeImage16(const ImageBuffer16& source, ImageBuffer16& destination);
// The vertical cubic pass: targetRows rows of valuesPerRow values from sourceRows rows.
bool ResampleRowsCubic(uint16_t* destination, const uint16_t* source, size_t valuesPerRow, int sourceRows,
                       int targetRows, float B, float C);
// The same pass along the rows of a picture (what transposing, the vertical pass and transposing
// back give), into a destination of targetWidth x the source's height.
bool ResampleColumnsCubic(ImageBuffer16& destination, const ImageBuffer16& source, int targetWidth, float B, float C);

class CImageSize : public CAlgorithm {
public:
    CImageSize() = default;

    int Run() override;
    // Whole-document mode: the image-size dialog sets the document before the run.
    void SetDocument(CZDDoc* document) { m_pDocument = document; }

    int ResizeImage(const ImageBuffer16& source, ImageBuffer16& destination, int width, int height);
    int ResizeNearest(const ImageBuffer16& source, ImageBuffer16& destination, int width, int height);
    int ResizeBilinear(const ImageBuffer16& source, ImageBuffer16& destination, int width, int height);
    int Shrink5x5(const ImageBuffer16& source, ImageBuffer16& destination, int width, int height);
    int ResizeCubic(const ImageBuffer16& source, ImageBuffer16& destination, int width, int height, float B, float C);
    int SmartResize(const ImageBuffer16& source, ImageBuffer16& destination, int width, int height);
    int ResizeDouble(const ImageBuffer16& source, ImageBuffer16& destination);
    int AreaAverage(const ImageBuffer16& source, ImageBuffer16& destination, int width, int height);

    // One pixel of 5x5 supersampling (four channels into out).
    static void SampleSupersampled5x5(const ImageBuffer16& source, int targetWidth, int targetHeight,
                                      const Matrix5x5& m, int x, int y, double spacing, uint16_t* out);

    ImageSizeParams m_params;
    int m_windowLow = 0; // the operations' own progress window
    int m_windowHigh = 0;
    // Exact shortcuts (plain halving by area) on; off, the general path gives the same bytes.
    bool m_fastPaths = true;

private:
    int Supersample(const ImageBuffer16& source, ImageBuffer16& destination, int width, int height,
                    const Matrix5x5& m, double spacing);
    int ResizeDocument();
    int SharpenAfterArea(ImageBuffer16& destination);
    void ReportFraction(int64_t num, int64_t den);

    CZDDoc* m_pDocument = nullptr;
};
