// Photo-pair check and alignment of photos of one scene taken one after the other: a quick test
// that two previews show the same framing, the mean grey of a picture, and the affine transform
// that registers a photo onto a reference (global shift, block matching on a 15 x 15 grid, a
// robust two-pass fit).
#pragma once

#include "algorithms/Algorithm.h"
#include "algorithms/AlignTransform.h"

#include <cstdint>
#include <vector>

// 1 when A and B have one size and, unless sizeOnly, the same left/right and top/bottom
// brightness balance within 16 grey levels.
int CheckPhotoPair(const ImageBuffer8& a, const ImageBuffer8& b, int sizeOnly);
// Mean of (6 G + 3 R + B) / 10 over all pixels; 0 for a picture without pixels.
int MeanGrey8(const ImageBuffer8& picture);
// Mean over columns [x0, x1) and rows [y0, y1), clipped to the plane; 0 for an empty region.
int RegionMean8(const Plane8& grey, int x0, int y0, int x1, int y1);

// Holds pointers: memory only.
struct ShakeMapParams {
    int32_t reserved[4] = {};
    int32_t tripod = 0; // the photos are assumed unshifted
    const ImageBuffer8* reference = nullptr;
    const ImageBuffer8* other = nullptr;
};

struct BlockMatch {
    int32_t col, row;
    int32_t left, top, right, bottom;
    int32_t dx, dy;
    uint32_t measure;
};

class CShakeMap : public CAlgorithm {
public:
    int Run() override;

    ShakeMapParams m_params;
    AlignTransform m_transform;
    int m_shiftX = 0, m_shiftY = 0;
    std::vector<BlockMatch> m_blocks;
    size_t m_used = 0;

private:
    struct Planes {
        std::vector<uint8_t> full, quarter;
        int w = 0, h = 0, w4 = 0, h4 = 0;
    };
    bool BuildDetailPlane(const ImageBuffer8& picture, Planes& out);
    void FindGlobalShift();
    void BuildBlockGrid();
    void MatchBlocks();
    void SelectByError();
    bool FitTransform();
    void SelectByResidual();
    void SelectBelow(double limit);

    Planes m_a, m_b;
};
