// The tile loop shared by the frequency filters (descreening, camera-shake deblurring): square
// tiles of the 8-bit sRGB values of some channels of a band, overlapping horizontally, filtered
// and written back through the sRGB decode table.
#pragma once

#include "algorithms/Transforms.h"
#include "imaging/ImageBuffer.h"

// Column of a band `width` wide that fills position x, reflected about the edges as often as
// needed (narrow bands reflect more than once).
int ReflectColumn(int x, int width);

// For every tile t (columns core x t - margin onwards, 2^exponent square) and every listed
// channel slot of `band`: fills the block from the band as it was before any tile was written
// (rows below the band repeat its last row, columns outside reflect), calls filter(block),
// and writes the tile's rows inside the band back; later tiles overwrite the columns they
// share with earlier ones. False when memory runs out or the filter fails.
template <class Filter>
bool FilterBandTiles(ImageBuffer16& band, int exponent, int core, int margin, const int* slots, int channels,
                     Filter&& filter);

bool FilterBandTilesImpl(ImageBuffer16& band, int exponent, int core, int margin, const int* slots, int channels,
                         bool (*filter)(void* context, SquareTransform& block), void* context);

template <class Filter>
bool FilterBandTiles(ImageBuffer16& band, int exponent, int core, int margin, const int* slots, int channels,
                     Filter&& filter)
{
    return FilterBandTilesImpl(band, exponent, core, margin, slots, channels,
                               [](void* c, SquareTransform& b) { return (*static_cast<Filter*>(c))(b); },
                               static_cast<void*>(&filter));
}
