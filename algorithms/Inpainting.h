// Exemplar inpainting: a marked area is covered by a grid of square blocks, filled one at a time
// (those that see most of the area's known edge first), each from the best-matching fully known
// window near it, pasted with soft borders.
#pragma once

#include "algorithms/Algorithm.h"

#include <cstdint>
#include <vector>

// Holds a plane reference: memory only.
struct InpaintingParams {
    Plane8* mask = nullptr;   // picture-sized; >= 128 area to fill, 1..127 soft edge, 0 outside
    int32_t patchSize = 8;
    int32_t largeArea = 0;    // not read
    int32_t unused = 1;
    int32_t feather = 0;      // soften the mask first (it is overwritten with the result)
};

struct InpaintBlock {
    int32_t x0, y0, x1, y1;
    int32_t done;
    int32_t frontCount;
};

// Patch size from how thick the selection is: 8..63, 8 when it cannot tell.
int EstimatePatchSize(const Plane8& mask);

class CImageInpainting : public CAlgorithm {
public:
    int Run() override;

    InpaintingParams m_params;
    int m_left = 0, m_top = 0, m_right = 0, m_bottom = 0;
    int64_t m_count = 0;
    int m_step = 0, m_reduction = 1;
    std::vector<InpaintBlock> m_blocks;

private:
    InpaintBlock* NextBlock(bool recount);
    bool FillBlock(InpaintBlock& block);
    void PastePatch(int bx, int by, const InpaintBlock& block);
    int PaddedRun(const ImageBuffer16& source, ImageBuffer16& destination);
    void Reduce(int rx0, int ry0, int rx1, int ry1);
    uint64_t FullScore(int cx, int cy, uint64_t best) const;
    uint64_t ReducedScore(int cx, int cy, uint64_t best) const;
    bool Valid(int cx, int cy) const;

    const ImageBuffer16* m_src = nullptr;
    ImageBuffer16* m_dst = nullptr;
    int m_w = 0, m_h = 0, m_window = 0;
    std::vector<uint8_t> m_known, m_front;
    std::vector<uint8_t> m_weight;
    std::vector<uint16_t> m_target;           // W x W, BGRA
    std::vector<uint16_t> m_reducedTarget;    // (W / f)^2, BGRA
    int m_reducedWindow = 0;
    ImageBuffer16 m_reduced{};
    // Unknown-pixel counts summed over the current search region, for the validity test.
    std::vector<int32_t> m_unknownSum;
    int m_sumX = 0, m_sumY = 0, m_sumW = 0;

public:
    ~CImageInpainting() override { FreeImageBuffer(m_reduced); }
};
