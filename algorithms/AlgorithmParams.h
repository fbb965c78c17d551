// Parameter records handed to algorithms. Stored records are file formats (history steps,
// scheme files): little-endian, a leading u16 holding the record's own size, 32-bit fields
// and reals at natural alignment. Records that hold references live in memory only.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

static_assert(std::endian::native == std::endian::little,
              "records are copied byte for byte and are little-endian");

// Step id carried by a history step with its record, and the id of the scheme step that
// replays it. SchemeSteps.h holds what each id records and how it replays; 6, 7, 9, 11, 16, 17
// and 33 are not assigned.
enum SchemeStepId : uint16_t {
    SchemeStepFilmAdjust = 1,
    SchemeStepRotateRight = 2,
    SchemeStepRotateLeft = 3,
    SchemeStepFlipHorizontal = 4,
    SchemeStepFlipVertical = 5,
    SchemeStepFreeRotate = 8,
    SchemeStepBarrelDistort = 10,
    SchemeStepImageSize = 12,
    SchemeStepAutoLevel = 13,
    SchemeStepAutoContrast = 14,
    SchemeStepAutoWhiteBalance = 15,
    SchemeStepBrightnessContrast = 18,
    SchemeStepColorMixer = 19,
    SchemeStepColorAdjust = 20,
    SchemeStepToneMaker = 21,
    SchemeStepCurves = 22,
    SchemeStepHsbCurves = 23,
    SchemeStepThreshold = 24,
    SchemeStepSharpen = 25,
    SchemeStepResolutionEnhance = 26,
    SchemeStepBlur = 27,
    SchemeStepDiffuse = 28,
    SchemeStepNoiseReduction = 29,
    SchemeStepDefog = 30,
    SchemeStepGradient = 31,
    SchemeStepDescreen = 32,
    SchemeStepPurpleFringe = 34,
    SchemeStepEnhanceDynamic = 35,
    SchemeStepNestedScheme = 36,
    SchemeStepSkinClean = 37,
    SchemeStepChromakey = 38,
    SchemeStepAddNoise = 39,
};

// Copies a caller's record over the algorithm's own copy: as many bytes as the caller's size
// word says, so an older, shorter record leaves later fields at their previous values; then
// the size word becomes the record's own size. A size word larger than the record is refused
// (false) and the own copy is left unchanged. A null record keeps the own copy too.
template <class Record>
bool CopyParamRecord(Record& own, const void* caller)
{
    static_assert(std::is_trivially_copyable_v<Record>);
    static_assert(offsetof(Record, size) == 0);
    if (!caller)
        return true;
    uint16_t size = 0;
    std::memcpy(&size, caller, sizeof size);
    if (size > sizeof(Record))
        return false;
    std::memcpy(static_cast<void*>(&own), caller, size);
    own.size = static_cast<uint16_t>(sizeof(Record));
    return true;
}

template <class T>
constexpr T ClampField(T v, T lo, T hi)
{
    return v < lo ? lo : (v > hi ? hi : v);
}
