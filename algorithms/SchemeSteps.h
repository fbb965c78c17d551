// The replayable editing steps: for every SchemeStepId the history caption, the command that
// records it, whether its record is kept, the stored record with its reader and writer, and the
// replay that automation schemes run. History steps and scheme files hold the bytes that
// WriteSchemeStep gives; the scheme runner reads them back with ReadSchemeStep and replays them
// with ReplaySchemeStep.
//
// Stored records are little-endian; each field is read and written on its own. Padding,
// reserved bytes and pointer slots are never read and are written 0. A block is read only when
// it has the record's exact length and, for records with a size word, that word is the length;
// an empty block of a fixed-size record reads as the algorithm's defaults (scheme files may hold
// one). Fields outside the range the replaying algorithm works with are clamped to it, flags
// become 0 or 1; an unknown enumeration value, a size outside 1..65535 or a real that is not a
// number makes the block refused. The writer applies the same rules, so a written record reads
// back as written.
//
// Curve steps (22, 23, and the curve of 25) keep the stored form of 132 control values per
// curve: the replay passes through the dialog's values at the control inputs (0, 128, 300, 512,
// 700, 1024, then every 512, and 65535) and runs straight between them. In between it differs
// from the dialog's table by less than D x h / 4 + 1, h the distance of the two control inputs
// (at most 512) and D how much the table's slope (output units per input unit) changes between
// them. The largest differences, in 16-bit units:
//   the default curve, in either editing mode: 0;
//   the automatic curves (levels from a black point up to 4000 to a white point from 40000):
//     233 linear (16-bit editing), 321 in gamma space (8-bit editing);
//   an S-curve through (16384, 10000) and (49152, 56000): 123 with straight and 9 with smooth
//     segments in 8-bit editing, 1 and 5 in 16-bit editing;
//   straight segments between points at least s apart: 65535 x 256 / s (4096 for s = 4096);
//   points 100 units apart between two control inputs are not seen: up to the full 65535.
#pragma once

#include "algorithms/AddSomething.h"
#include "algorithms/AlgorithmParams.h"
#include "algorithms/Chromakey.h"
#include "algorithms/ColorMixer.h"
#include "algorithms/Defog.h"
#include "algorithms/Descreen.h"
#include "algorithms/DiffuseFilter.h"
#include "algorithms/EnhanceDynamic.h"
#include "algorithms/FilmAdjust.h"
#include "algorithms/FreeRotate.h"
#include "algorithms/GradientFilter.h"
#include "algorithms/ImageSize.h"
#include "algorithms/NoiseReduction.h"
#include "algorithms/PurpleFringe.h"
#include "algorithms/SkinClean.h"
#include "algorithms/Threshold.h"
#include "algorithms/ToneAdjust.h"
#include "algorithms/ToneLut.h"
#include "algorithms/ToneMaker.h"
#include "platform/Text.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <variant>
#include <vector>

// When a finished step keeps its id and record (a step without them undoes and redoes, but a
// scheme cannot replay it).
enum class StepKeep : uint8_t {
    PureResult,  // a filter dialog that used no mask, no Apply, blend mode 0 and opacity 100
    NoSelection, // a one-click command on a document without a selection
    Always,
    NotRecorded, // nothing records the id; it comes only from scheme files
};

// The history kind the recorder asks for (the history store may still turn 12 into 255).
enum class StepHistoryKind : uint8_t {
    Layer,       // 12
    Document,    // 255
    TurnedLayer, // 12 when a layer above the bottom one is current and only it turns, else 255
    None,        // not recorded
};

// What follows the id in a history step or a scheme file.
enum class StepRecordForm : uint8_t {
    None,       // no record; bytes that a file holds are ignored
    Fixed,      // exactly `bytes` bytes
    CurveModes, // a mode byte, then one curve (modes 0, 4), three (1-3) or none (5 and above)
    Path,       // a scheme file's path as UTF-16 with its terminating zero
};

struct SchemeStepRow {
    uint16_t id;
    const char* historyKey; // string-table key of the step's name; null: the scheme's own name
                            // (36) or never recorded (38)
    int command;            // editor command that records it; 0 for 36 (instant filter) and 38
    StepHistoryKind kind;
    StepKeep keep;
    StepRecordForm form;
    uint16_t bytes;         // Fixed: the length; CurveModes: the longest form (793); else 0
    uint8_t weight;         // the step's share of a scheme run's progress
};

// Every recorder of every id, by id (25 has three recorders, 13, 14 and 27 two each).
std::span<const SchemeStepRow> SchemeStepTable();
// The first row of the id; null for an id that is not assigned.
const SchemeStepRow* FindSchemeStep(uint16_t id);

// How a dialog or command ended, for the keep rule.
struct StepUse {
    bool maskUsed = false;
    bool applied = false;
    int blendMode = 0;
    int opacity = 100;
    bool selection = false; // the document had a selection
};
bool KeepsStepRecord(StepKeep keep, const StepUse& use);

// Records of the ids whose stored form is not an algorithm's record.
struct NoStepRecord {
    bool operator==(const NoStepRecord&) const = default;
};
struct AutoLevelStep {
    uint8_t variant = 0; // 0 levels in gamma space, 1 linear (the second command of the pair)
};
constexpr int kCurveModeCount = 5;   // modes 0..4 carry curves; 5 and above none (no change)
constexpr int kCurveBlockBytes = kCurveControlCount * 2;
struct CurveStep {
    uint8_t mode = 0;                         // 0 RGB, 1-3 red, green, blue together, 4 luminance
    std::array<CurveControlValues, 3> curves{}; // 0 (mode 0, 4), or R, G, B (1-3); others unused
};
// Curves a mode carries: 1, 3 or 0.
int CurveStepCurves(int mode);
struct HsbCurveStep {
    std::array<CurveControlValues, 3> curves{}; // hue shift, saturation, lightness by hue
};
struct SharpenStep {
    SharpenParams params;
    CurveControlValues curve{}; // strength by difference
};
struct EdgeShrinkStep {
    double strength = 1.6; // CResEnhance
};
struct BlurStep {
    double sigma = 0; // CGaussBlur, pixels
};
constexpr size_t kSchemePathMaxUnits = 1023;
struct NestedSchemeStep {
    platform::String16 path; // no terminating zero here; at most kSchemePathMaxUnits units
};

using SchemeStepRecord =
    std::variant<NoStepRecord, FilmAdjustParams, RotateParams, BarrelDistortParams, ImageSizeParams, AutoLevelStep,
                 BrightnessContrastParams, ColorMixerParams, ColorAdjustParams, ToneMakerParams, CurveStep,
                 HsbCurveStep, ThresholdParams, SharpenStep, EdgeShrinkStep, BlurStep, DiffuseParams,
                 NoiseReductionParams, DefogParams, GradientParams, DescreenParams, PurpleFringeParams,
                 EnhanceDynamicParams, NestedSchemeStep, SkinCleanParams, ChromakeyParams, AddSomethingParams>;

// The stored forms of the dialogs' tables (65536 entries a curve).
// Mode 0 and 4: one table; 1-3: the red, green and blue tables one after the other; 5 and
// above: no table. Null tables give the one-byte no-change form whatever the mode.
CurveStep MakeCurveStep(int mode, const uint16_t* tables);
HsbCurveStep MakeHsbCurveStep(const uint16_t* threeTables);
SharpenStep MakeSharpenStep(const SharpenParams& params, const uint16_t* curve);

enum class StepReadResult : uint8_t {
    Ok,
    UnknownId,
    Length,   // not the record's length (for 22: not 1, 265 or 793)
    SizeWord, // the size word is not the record's length
    Mode,     // a curve mode that does not fit the length
    Field,    // a field that cannot be clamped: unknown enumeration, size, a real that is not a number
    Text,     // a path that is empty, unterminated, too long, holds a zero or a lone surrogate
};

// Reads a stored record of the id. On anything but Ok `out` is unchanged.
StepReadResult ReadSchemeStep(uint16_t id, const uint8_t* bytes, size_t length, SchemeStepRecord& out);
// The bytes that a history step and a scheme file store for the record. False when the record is
// not the id's kind or breaks a rule the reader refuses (`out` is then empty).
bool WriteSchemeStep(uint16_t id, const SchemeStepRecord& record, std::vector<uint8_t>& out);

// Runs a nested scheme (id 36) from its file; the scheme runner provides it. Nonzero on success.
using NestedSchemeRunner = int (*)(void* context, const platform::String16& path, ImageBuffer16& input,
                                   ImageBuffer16& output, CAlgorithm* parent, int progressLow, int progressHigh);

struct SchemeReplay {
    // The algorithm a replayed step reports its progress through, and the window of the step
    // within it (without a parent the step reports to the listener itself).
    CAlgorithm* parent = nullptr;
    int progressLow = 0;
    int progressHigh = 100;
    bool skipImageSize = false; // id 12 copies the picture
    NestedSchemeRunner nestedScheme = nullptr; // without it id 36 fails
    void* nestedContext = nullptr;
};

// Replays a step: `input` is left as it is, `output` (another picture) receives the result, also
// at another size (quarter turns, image size). Each replay works on its own copy of the record
// and its own curve tables, so the caller may change or free them once this returns. Nonzero on
// success; 0 when the record is not the id's kind, the id has no replay or the algorithm fails.
int ReplaySchemeStep(uint16_t id, const SchemeStepRecord& record, ImageBuffer16& input, ImageBuffer16& output,
                     const SchemeReplay& how = {});
// Reads, then replays; 0 when the block is refused.
int ReplaySchemeStep(uint16_t id, const uint8_t* bytes, size_t length, ImageBuffer16& input, ImageBuffer16& output,
                     const SchemeReplay& how = {});

// Size an image-size step gives an input of w x h, by the resize type at offset 36: 1 the
// recorded width, 2 the recorded height (aspect kept), 3 the recorded longer side on the
// input's longer side, 4 the recorded pixel count (sides scaled by sqrt(recorded area / input
// area), rounded), anything else the recorded width and height. False for type 0, and for a
// result over kReplayMaxPixels or a side over 65535; sides below 1 become 1.
constexpr int64_t kReplayMaxPixels = 30000000;
bool ImageSizeReplayTarget(const ImageSizeParams& record, int w, int h, int& width, int& height);

