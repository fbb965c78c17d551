// One-call tonal stretches between black and white points found from the histogram.
#pragma once

#include "algorithms/Algorithm.h"

// Context object that callers construct around the calls (progress, cancel); no work of its own.
class CAutoLevel : public CAlgorithm {};

int AutoLevel(double clipPerMille, const ImageBuffer16& source, ImageBuffer16& destination);
int AutoLevelLinear(double clipPerMille, const ImageBuffer16& source, ImageBuffer16& destination);
int AutoContrast(const ImageBuffer16& source, ImageBuffer16& destination, unsigned clipPerMille);
// Always clips 2 per mille; the argument is not used.
int AutoContrastLinear(const ImageBuffer16& source, ImageBuffer16& destination, unsigned clipPerMille);

// The searches themselves: black point from 0 up to at most 30000, white point from 65535 down
// to at least 40000, each stopping where the running count exceeds the threshold.
void FindLevels(const uint32_t* histogram, int64_t threshold, int& lo, int& hi);
