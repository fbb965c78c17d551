// The two 256 x 256 blend tables of every 8-bit blend: t1[a][x] = (a x + 127) / 255 and
// t2[a][x] = ((255 - a) x + 127) / 255, so blending s into d with weight a is
// t1[a][s] + t2[a][d] without a division per pixel.
#pragma once

#include <cstdint>

struct AlphaTables {
    uint8_t t1[256][256];
    uint8_t t2[256][256];
};

// Makes the tables available (the render window does this when it is created); 1 on success.
int BuildAlphaTables();
// Makes them unavailable again (the render window's end).
void FreeAlphaTables();
// Null before BuildAlphaTables and after FreeAlphaTables; primitives then draw nothing.
const AlphaTables* GetAlphaTables();
