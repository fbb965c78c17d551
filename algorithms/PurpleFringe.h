// Coloured fringes along contrasty edges: either desaturated where their hue is close to a
// picked fringe colour, or (chromatic aberration) the red and blue channels are scaled about
// the centre to line up with green and edge colours are pulled toward grey.
#pragma once

#include "algorithms/Algorithm.h"
#include "algorithms/AlgorithmParams.h"

// Stored in history steps and scheme files: a file format.
struct PurpleFringeParams {
    uint16_t size = 24;
    uint16_t padding = 0;
    int32_t mode = 0;       // 0 purple fringing, nonzero chromatic aberration
    int32_t redAmount = 0;  // -100..100: radial scale in units of 1/10000
    int32_t blueAmount = 0;
    uint16_t fringe[4] = {40000, 0, 20000, 65535}; // B, G, R, A
};
static_assert(sizeof(PurpleFringeParams) == 24);
static_assert(offsetof(PurpleFringeParams, redAmount) == 8);
static_assert(offsetof(PurpleFringeParams, blueAmount) == 12);
static_assert(offsetof(PurpleFringeParams, fringe) == 16);

// max(|top row - bottom row|, |left column - right column|) of three-pixel sums of the 8-bit
// grey plane at every interior pixel; 0 on the outermost rows and columns. divisor > 1
// scales it down (e / divisor) before the limit of 255.
int FringeEdgePlane(const Plane8& grey, Plane8& edges, double divisor);
// Membership 0..255 of every hue in the band around h0 and its opposite hue.
void BuildHueMembership(uint16_t h0, uint8_t* table);

class CPurpleFringe : public CAlgorithm {
public:
    ~CPurpleFringe() override;
    int Run() override;
    int ProcessBand(BandTask& task) override;

    int BuildFringeMask();
    int ShiftChannels();
    int DesaturateEdges();

    PurpleFringeParams m_params;
    Plane8 m_mask{};
    ImageBuffer16 m_hsl{}; // the source as hue, saturation, lightness; never shown
    bool m_cancelled = false;
};
