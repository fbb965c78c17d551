// Exposure merge: two or three registered exposures blended into one 16-bit picture with
// weights indexed by the blurred brightness of the scene (bright areas take more from the
// darker exposure), then stretched by the automatic contrast.
#pragma once

#include "algorithms/Algorithm.h"
#include "algorithms/AlignTransform.h"

#include <array>
#include <cstdint>
#include <vector>

// Holds picture pointers: memory only, copied whole.
struct HdrMergeParams {
    int32_t count = 2;                           // 3 = slots 0, 1, 2; otherwise slots 0 and 2
    const ImageBuffer8* slots[3] = {};           // darkest, middle, brightest
    const ImageBuffer8* weightPicture = nullptr; // its blurred grey indexes the weights
    int32_t strength = 25;                       // weights move by (m - 32768) k / 20000
    int32_t weightDark = 179;                    // darkest exposure's weight at index 32768, of 256
    int32_t weightMid = 0;                       // not read: the middle takes what is left
    int32_t weightBright = 77;
    AlignTransform transforms[3];                // output pixel -> slot picture
    int32_t radius = 10;                         // blur sigma of the weight grey; <= 0 none
};

// The slots' weights (darkest, middle, brightest) at weight index m; they add up to 256.
std::array<int, 3> HdrWeights(const HdrMergeParams& params, int m);

class CHDRMerge : public CAlgorithm {
public:
    int Run() override;
    // Steps up to the blend, without the final contrast stretch: destination = blend over a
    // copy of the source. 0 on the failures Run reports.
    int Merge(const ImageBuffer16& source, ImageBuffer16& destination);

    HdrMergeParams m_params;

private:
    bool BuildWeightIndex(int width, int height);
    void BuildTables();

    std::vector<uint16_t> m_weightIndex;
    int m_indexWidth = 0, m_indexHeight = 0;
    std::vector<uint8_t> m_t1, m_t2;
};
