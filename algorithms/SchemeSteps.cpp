#include "algorithms/SchemeSteps.h"

#include "algorithms/AutoLevel.h"
#include "algorithms/GaussBlur.h"
#include "algorithms/ResEnhance.h"
#include "algorithms/WhiteBalance.h"
#include "imaging/DocumentGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

static_assert(kRotateStepId == SchemeStepFreeRotate && kBarrelDistortStepId == SchemeStepBarrelDistort &&
              kChromakeyStepId == SchemeStepChromakey);

namespace {

using K = StepHistoryKind;
using R = StepRecordForm;
constexpr StepKeep kPure = StepKeep::PureResult;
constexpr StepKeep kNoSel = StepKeep::NoSelection;
constexpr StepKeep kAlways = StepKeep::Always;

constexpr SchemeStepRow kRows[] = {
    {SchemeStepFilmAdjust, "hisFilmAdjust", 11007, K::Layer, kPure, R::Fixed, 28, 8},
    {SchemeStepRotateRight, "hisRR", 10002, K::TurnedLayer, kAlways, R::None, 0, 2},
    {SchemeStepRotateLeft, "hisRL", 10003, K::TurnedLayer, kAlways, R::None, 0, 2},
    {SchemeStepFlipHorizontal, "hisFH", 10005, K::TurnedLayer, kAlways, R::None, 0, 2},
    {SchemeStepFlipVertical, "hisFV", 10006, K::TurnedLayer, kAlways, R::None, 0, 2},
    {SchemeStepFreeRotate, "hisRotate", 10004, K::Layer, kAlways, R::Fixed, 24, 15},
    {SchemeStepBarrelDistort, "hisBarrel", 10007, K::Document, kAlways, R::Fixed, 24, 15},
    {SchemeStepImageSize, "hisIS", 10009, K::Document, kAlways, R::Fixed, 40, 15},
    {SchemeStepAutoLevel, "hisAutoLevel", 11001, K::Layer, kAlways, R::Fixed, 1, 5},
    {SchemeStepAutoLevel, "hisAutoLevel", 11011, K::Layer, kAlways, R::Fixed, 1, 5},
    {SchemeStepAutoContrast, "hisAutoContrast", 11002, K::Layer, kAlways, R::Fixed, 1, 5},
    {SchemeStepAutoContrast, "hisAutoContrast", 11012, K::Layer, kAlways, R::Fixed, 1, 5},
    {SchemeStepAutoWhiteBalance, "menuColorAuto", 12001, K::Layer, kAlways, R::None, 0, 15},
    {SchemeStepBrightnessContrast, "hisBricon", 11004, K::Layer, kPure, R::Fixed, 12, 5},
    {SchemeStepColorMixer, "hisColorMix", 12006, K::Layer, kPure, R::Fixed, 72, 8},
    {SchemeStepColorAdjust, "hisAdjColor", 12008, K::Layer, kPure, R::Fixed, 56, 15},
    {SchemeStepToneMaker, "hisToneMaker", 12007, K::Layer, kPure, R::Fixed, 48, 15},
    {SchemeStepCurves, "hisCurve", 11005, K::Layer, kPure, R::CurveModes, 793, 5},
    {SchemeStepHsbCurves, "hisHSBCurve", 12004, K::Layer, kPure, R::Fixed, 792, 5},
    {SchemeStepThreshold, "hisThreshold", 11006, K::Layer, kPure, R::Fixed, 20, 25},
    {SchemeStepSharpen, "hisAdvSharpen", 13005, K::Layer, kPure, R::Fixed, 296, 35},
    {SchemeStepSharpen, "hisSharpen", 13004, K::Layer, kNoSel, R::Fixed, 296, 35},
    {SchemeStepSharpen, "hisSharpenTexture", 13019, K::Layer, kNoSel, R::Fixed, 296, 35},
    {SchemeStepResolutionEnhance, "hisEdgeShrink", 13006, K::Layer, kNoSel, R::Fixed, 8, 35},
    {SchemeStepBlur, "hisAdvBlur", 13008, K::Layer, kPure, R::Fixed, 8, 35},
    {SchemeStepBlur, "menuBlur", 13007, K::Layer, kNoSel, R::Fixed, 8, 35},
    {SchemeStepDiffuse, "hisDiffuse", 13010, K::Layer, kPure, R::Fixed, 32, 40},
    {SchemeStepNoiseReduction, "hisNR", 13001, K::Layer, kPure, R::Fixed, 20, 80},
    {SchemeStepDefog, "hisDefog", 13016, K::Layer, kPure, R::Fixed, 12, 40},
    {SchemeStepGradient, "hisGradient", 13012, K::Layer, kPure, R::Fixed, 48, 15},
    {SchemeStepDescreen, "hisDescreen", 13018, K::Layer, kPure, R::Fixed, 16, 120},
    {SchemeStepPurpleFringe, "hisPurpleFringe", 13017, K::Layer, kPure, R::Fixed, 24, 25},
    {SchemeStepEnhanceDynamic, "hisEnhanceDynamic", 11008, K::Layer, kPure, R::Fixed, 40, 40},
    {SchemeStepNestedScheme, nullptr, 0, K::Layer, kPure, R::Path, 0, 0},
    {SchemeStepSkinClean, "hisSkin", 13002, K::Layer, kPure, R::Fixed, 40, 0},
    {SchemeStepChromakey, nullptr, 0, K::None, StepKeep::NotRecorded, R::Fixed, 360, 0},
    {SchemeStepAddNoise, "hisAddNoise", 13031, K::Layer, kPure, R::Fixed, 32, 0},
};

// --- one field at a time ---

enum class FieldType : uint8_t { U8, U16, I32, U32, F64 };
enum class Rule : uint8_t {
    Clamp,  // into [lo, hi]
    Refuse, // outside [lo, hi] the block is refused
    Flag,   // nonzero becomes 1
    Any,    // every value is valid
};

struct Field {
    uint16_t offset;
    FieldType type;
    uint16_t count; // elements of an array field
    double lo, hi;
    Rule rule;
};

constexpr Field Int(uint16_t offset, double lo, double hi, uint16_t count = 1)
{
    return {offset, FieldType::I32, count, lo, hi, Rule::Clamp};
}
constexpr Field Enum(uint16_t offset, FieldType type, double lo, double hi)
{
    return {offset, type, 1, lo, hi, Rule::Refuse};
}
constexpr Field Flag(uint16_t offset, FieldType type = FieldType::I32)
{
    return {offset, type, 1, 0, 1, Rule::Flag};
}
constexpr Field Real(uint16_t offset, double lo, double hi)
{
    return {offset, FieldType::F64, 1, lo, hi, Rule::Clamp};
}
constexpr Field Raw(uint16_t offset, FieldType type, uint16_t count)
{
    return {offset, type, count, 0, 0, Rule::Any};
}

size_t FieldWidth(FieldType t)
{
    switch (t) {
    case FieldType::U8: return 1;
    case FieldType::U16: return 2;
    case FieldType::I32:
    case FieldType::U32: return 4;
    case FieldType::F64: return 8;
    }
    return 0;
}

// Reads one element, applies its rule and writes it to `out` at the same place. False when the
// value is refused.
bool TransferElement(const Field& f, const uint8_t* in, uint8_t* out)
{
    switch (f.type) {
    case FieldType::F64: {
        double v;
        std::memcpy(&v, in, 8);
        if (std::isnan(v))
            return false;
        if (f.rule == Rule::Clamp)
            v = std::clamp(v, f.lo, f.hi);
        std::memcpy(out, &v, 8);
        return true;
    }
    case FieldType::U8:
    case FieldType::U16:
    case FieldType::I32:
    case FieldType::U32: {
        int64_t v = 0;
        if (f.type == FieldType::U8) {
            v = in[0];
        } else if (f.type == FieldType::U16) {
            uint16_t x;
            std::memcpy(&x, in, 2);
            v = x;
        } else if (f.type == FieldType::I32) {
            int32_t x;
            std::memcpy(&x, in, 4);
            v = x;
        } else {
            uint32_t x;
            std::memcpy(&x, in, 4);
            v = x;
        }
        const int64_t lo = static_cast<int64_t>(f.lo), hi = static_cast<int64_t>(f.hi);
        switch (f.rule) {
        case Rule::Clamp: v = std::clamp(v, lo, hi); break;
        case Rule::Refuse:
            if (v < lo || v > hi)
                return false;
            break;
        case Rule::Flag: v = v != 0; break;
        case Rule::Any: break;
        }
        if (f.type == FieldType::U8) {
            out[0] = static_cast<uint8_t>(v);
        } else if (f.type == FieldType::U16) {
            const uint16_t x = static_cast<uint16_t>(v);
            std::memcpy(out, &x, 2);
        } else if (f.type == FieldType::I32) {
            const int32_t x = static_cast<int32_t>(v);
            std::memcpy(out, &x, 4);
        } else {
            const uint32_t x = static_cast<uint32_t>(v);
            std::memcpy(out, &x, 4);
        }
        return true;
    }
    }
    return false;
}

// Copies the listed fields of a `size`-byte record from `in` into a zeroed `out`, whose size word
// is the record's size. Padding, reserved bytes and pointer slots stay 0.
bool TransferFields(std::span<const Field> fields, const uint8_t* in, uint8_t* out, size_t size)
{
    std::memset(out, 0, size);
    const uint16_t word = static_cast<uint16_t>(size);
    std::memcpy(out, &word, 2);
    for (const Field& f : fields) {
        const size_t w = FieldWidth(f.type);
        for (size_t i = 0; i < f.count; ++i) {
            const size_t at = f.offset + i * w;
            if (!TransferElement(f, in + at, out + at))
                return false;
        }
    }
    return true;
}

uint16_t SizeWord(const uint8_t* bytes)
{
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

// The fields of every size-prefixed record: the ranges the replaying algorithm works with (it
// clamps to the same ones, so clamping here changes nothing it does), or the dialog's where the
// algorithm takes any value.
using F = FieldType;
using Fields = std::span<const Field>;
Fields FieldsOf(const FilmAdjustParams&)
{
    static constexpr Field f[] = {Int(4, -10, 10),   Int(8, -70, 30), Int(12, -1500, 1500),
                                  Int(16, -50, 50), Int(20, 0, 100), Int(24, -50, 50)};
    return f;
}
Fields FieldsOf(const RotateParams&)
{
    static constexpr Field f[] = {Real(8, -1e6, 1e6), Flag(16)};
    return f;
}
Fields FieldsOf(const BarrelDistortParams&)
{
    static constexpr Field f[] = {Real(8, -1, 1), Flag(16)};
    return f;
}
// The document slot (16) and the reserved word (32) stay 0; the resize type (36) is the scheme's.
Fields FieldsOf(const ImageSizeParams&)
{
    static constexpr Field f[] = {Enum(4, F::I32, 1, 65535), Enum(8, F::I32, 1, 65535), Enum(12, F::I32, 1, 5),
                                  Flag(20), Int(24, 0, 100), Int(28, 0, 100), Raw(36, F::I32, 1)};
    return f;
}
Fields FieldsOf(const BrightnessContrastParams&)
{
    static constexpr Field f[] = {Int(4, -100, 100), Int(8, -100, 100)};
    return f;
}
Fields FieldsOf(const ColorMixerParams&)
{
    static constexpr Field f[] = {Flag(4), Int(8, -200, 200, 16)};
    return f;
}
Fields FieldsOf(const ColorAdjustParams&)
{
    static constexpr Field f[] = {Flag(4), Int(8, -100, 100, 3), Int(20, -100, 100, 3), Flag(32),
                                  Int(36, 0, 65535, 4), Int(52, -65535, 65535)};
    return f;
}
Fields FieldsOf(const ToneMakerParams&)
{
    static constexpr Field f[] = {Int(4, 0, 100, 5), Raw(24, F::U16, 12)};
    return f;
}
Fields FieldsOf(const ThresholdParams&)
{
    static constexpr Field f[] = {Enum(4, F::I32, 0, 3), Int(8, 0, 100, 3)};
    return f;
}
// The curve slot (20) stays 0: the curve travels beside the record.
Fields FieldsOf(const SharpenParams&)
{
    static constexpr Field f[] = {Real(8, 0.1, 500), Int(16, 0, 1000)};
    return f;
}
Fields FieldsOf(const DiffuseParams&)
{
    static constexpr Field f[] = {Enum(2, F::U8, 0, 1), Real(8, 0, 1000), Int(16, 0, 100), Int(20, 0, 100, 2)};
    return f;
}
Fields FieldsOf(const NoiseReductionParams&)
{
    static constexpr Field f[] = {Int(4, 0, 100), Flag(8), Flag(12), Enum(16, F::U8, 0, 2)};
    return f;
}
// A veil window beyond 400 covers the whole reduced copy (200 pixels) like 400 does.
Fields FieldsOf(const DefogParams&)
{
    static constexpr Field f[] = {Int(4, 0, 400), Int(8, 0, 100)};
    return f;
}
Fields FieldsOf(const GradientParams&)
{
    static constexpr Field f[] = {Flag(4),         Real(8, -3, 3),         Raw(16, F::U16, 8),
                                  Int(32, 0, 100), Int(36, -36000, 36000), Int(40, 0, 100, 2)};
    return f;
}
Fields FieldsOf(const DescreenParams&)
{
    static constexpr Field f[] = {Enum(4, F::I32, 0, 2), Int(8, 0, 100), Flag(12)};
    return f;
}
Fields FieldsOf(const PurpleFringeParams&)
{
    static constexpr Field f[] = {Flag(4), Int(8, -100, 100, 2), Raw(16, F::U16, 4)};
    return f;
}
Fields FieldsOf(const EnhanceDynamicParams&)
{
    static constexpr Field f[] = {Real(8, 0, 100), Enum(16, F::I32, 0, 2), Int(20, 0, 100, 4)};
    return f;
}
Fields FieldsOf(const SkinCleanParams&)
{
    static constexpr Field f[] = {Int(4, 1, 64), Int(8, 0, 100), Int(12, -3, 7), Int(16, 0, 100),
                                  Flag(20),      Flag(24),       Raw(32, F::U16, 4)};
    return f;
}
Fields FieldsOf(const ChromakeyParams&)
{
    static constexpr Field f[] = {Raw(8, F::U16, 40),
                                  {88, F::U8, 1, 0, 10, Rule::Clamp}, // samples used
                                  Raw(90, F::U16, 2),
                                  {94, F::U8, 1, 0, 100, Rule::Clamp}, // chroma normalising, percent
                                  {95, F::U8, 1, 0, 32, Rule::Clamp},  // edge radius
                                  Raw(96, F::U8, 2),
                                  Flag(100, F::U32),
                                  Raw(104, F::U8, 256)};
    return f;
}
Fields FieldsOf(const AddSomethingParams&)
{
    static constexpr Field f[] = {Int(4, 0, 200), Int(8, 0, 100), Flag(12), Int(16, 0, 100, 4)};
    return f;
}

template <class Record>
StepReadResult ReadRecord(const uint8_t* bytes, size_t length, Record& out)
{
    static_assert(std::is_trivially_copyable_v<Record> && offsetof(Record, size) == 0);
    alignas(Record) uint8_t in[sizeof(Record)];
    if (length == 0) {
        const Record defaults{};
        std::memcpy(in, &defaults, sizeof in);
    } else if (length != sizeof(Record)) {
        return StepReadResult::Length;
    } else if (SizeWord(bytes) != sizeof(Record)) {
        return StepReadResult::SizeWord;
    } else {
        std::memcpy(in, bytes, sizeof in);
    }
    alignas(Record) uint8_t canonical[sizeof(Record)];
    if (!TransferFields(FieldsOf(out), in, canonical, sizeof canonical))
        return StepReadResult::Field;
    std::memcpy(static_cast<void*>(&out), canonical, sizeof out);
    return StepReadResult::Ok;
}

template <class Record>
bool WriteRecord(const Record& record, std::vector<uint8_t>& out)
{
    alignas(Record) uint8_t in[sizeof(Record)];
    std::memcpy(in, &record, sizeof in);
    out.resize(sizeof(Record));
    return TransferFields(FieldsOf(record), in, out.data(), out.size());
}

// --- the records that are not an algorithm's ---

void AppendCurve(const CurveControlValues& values, std::vector<uint8_t>& out)
{
    const size_t at = out.size();
    out.resize(at + kCurveBlockBytes);
    WriteControlValues(values, out.data() + at);
}

StepReadResult ReadCurveStep(const uint8_t* bytes, size_t length, CurveStep& out)
{
    if (length != 1 && length != 1 + kCurveBlockBytes && length != 1 + 3 * kCurveBlockBytes)
        return StepReadResult::Length;
    CurveStep step;
    step.mode = bytes[0];
    const int curves = CurveStepCurves(step.mode);
    if (length != 1 + static_cast<size_t>(curves) * kCurveBlockBytes)
        return StepReadResult::Mode;
    for (int i = 0; i < curves; ++i)
        ReadControlValues(bytes + 1 + i * kCurveBlockBytes, step.curves[i]);
    out = step;
    return StepReadResult::Ok;
}

void WriteCurveStep(const CurveStep& step, std::vector<uint8_t>& out)
{
    out.assign(1, step.mode);
    for (int i = 0; i < CurveStepCurves(step.mode); ++i)
        AppendCurve(step.curves[i], out);
}

StepReadResult ReadHsbCurveStep(const uint8_t* bytes, size_t length, HsbCurveStep& out)
{
    if (length != 3 * kCurveBlockBytes)
        return StepReadResult::Length;
    for (int i = 0; i < 3; ++i)
        ReadControlValues(bytes + i * kCurveBlockBytes, out.curves[i]);
    return StepReadResult::Ok;
}

StepReadResult ReadSharpenStep(const uint8_t* bytes, size_t length, SharpenStep& out)
{
    if (length != kSharpenStepBytes)
        return StepReadResult::Length;
    SharpenParams params;
    const StepReadResult r = ReadRecord(bytes, sizeof(SharpenParams), params);
    if (r != StepReadResult::Ok)
        return r;
    out.params = params;
    ReadControlValues(bytes + sizeof(SharpenParams), out.curve);
    return StepReadResult::Ok;
}

bool WriteSharpenStep(const SharpenStep& step, std::vector<uint8_t>& out)
{
    if (!WriteRecord(step.params, out))
        return false;
    AppendCurve(step.curve, out);
    return true;
}

// A real without a size word: 8 bytes, or none for the algorithm's default.
StepReadResult ReadReal(const uint8_t* bytes, size_t length, double lo, double hi, double& value)
{
    double v = value;
    if (length == 8)
        std::memcpy(&v, bytes, 8);
    else if (length != 0)
        return StepReadResult::Length;
    if (std::isnan(v))
        return StepReadResult::Field;
    value = std::clamp(v, lo, hi);
    return StepReadResult::Ok;
}

bool WriteReal(double value, double lo, double hi, std::vector<uint8_t>& out)
{
    if (std::isnan(value))
        return false;
    value = std::clamp(value, lo, hi);
    out.resize(8);
    std::memcpy(out.data(), &value, 8);
    return true;
}

// The edge-shrink strength acts through 2 s^2 limited to 3..8: beyond |s| = 2 nothing changes.
constexpr double kStrengthLimit = 100;
// A blur beyond a few times the shorter side of any picture looks the same.
constexpr double kSigmaLimit = 1e6;

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

bool ValidPath(const platform::String16& path)
{
    if (path.empty() || path.size() > kSchemePathMaxUnits)
        return false;
    for (size_t i = 0; i < path.size(); ++i) {
        const char16_t c = path[i];
        if (c == 0)
            return false;
        if (IsHighSurrogate(c)) {
            if (i + 1 >= path.size() || !IsLowSurrogate(path[i + 1]))
                return false;
            ++i;
        } else if (IsLowSurrogate(c)) {
            return false;
        }
    }
    return true;
}

StepReadResult ReadPath(const uint8_t* bytes, size_t length, NestedSchemeStep& out)
{
    if (length < 4 || length % 2 != 0 || length / 2 - 1 > kSchemePathMaxUnits)
        return StepReadResult::Text;
    const size_t units = length / 2 - 1;
    if (bytes[length - 2] != 0 || bytes[length - 1] != 0)
        return StepReadResult::Text;
    platform::String16 path(units, u'\0');
    for (size_t i = 0; i < units; ++i)
        path[i] = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    if (!ValidPath(path))
        return StepReadResult::Text;
    out.path = std::move(path);
    return StepReadResult::Ok;
}

bool WritePath(const NestedSchemeStep& step, std::vector<uint8_t>& out)
{
    if (!ValidPath(step.path))
        return false;
    out.assign(step.path.size() * 2 + 2, 0);
    for (size_t i = 0; i < step.path.size(); ++i) {
        out[2 * i] = static_cast<uint8_t>(step.path[i] & 0xFF);
        out[2 * i + 1] = static_cast<uint8_t>(step.path[i] >> 8);
    }
    return true;
}

// --- replay ---

template <class Alg>
int RunNested(Alg& alg, const void* params, ImageBuffer16& input, ImageBuffer16& output, const SchemeReplay& how)
{
    alg.SetParent(how.parent, how.progressLow, how.progressHigh);
    alg.SetSource(&input);
    alg.SetDestination(&output);
    alg.SetParams(params);
    return alg.Run() ? 1 : 0;
}

// A fresh algorithm with its own copy of the record.
template <class Alg, class Record>
int RunGeneric(const Record& record, ImageBuffer16& input, ImageBuffer16& output, const SchemeReplay& how)
{
    std::unique_ptr<Alg> alg(new (std::nothrow) Alg);
    if (!alg)
        return 0;
    const Record own = record;
    return RunNested(*alg, &own, input, output, how);
}

// Tables for CCurve and CHSBCurve, one per curve, rebuilt from the control values.
bool ExpandCurves(const CurveControlValues* curves, int count, ToneTable& tables)
{
    try {
        tables.assign(static_cast<size_t>(count) * kToneLutSize, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (int i = 0; i < count; ++i)
        ControlValuesToCurve(tables.data() + static_cast<size_t>(i) * kToneLutSize, curves[i]);
    return true;
}

// --- one handler per id ---

using ReadFn = StepReadResult (*)(const uint8_t* bytes, size_t length, SchemeStepRecord& out);
using ReplayFn = int (*)(uint16_t id, const SchemeStepRecord& record, ImageBuffer16& input, ImageBuffer16& output,
                         const SchemeReplay& how);

struct StepHandler {
    uint16_t id;
    bool (*fits)(const SchemeStepRecord&); // the record kind the id stores
    ReadFn read;
    ReplayFn replay;
};

template <class T>
bool Holds(const SchemeStepRecord& r)
{
    return std::holds_alternative<T>(r);
}

template <class Record>
StepReadResult ReadAs(const uint8_t* bytes, size_t length, SchemeStepRecord& out)
{
    Record record{};
    const StepReadResult r = ReadRecord(bytes, length, record);
    if (r == StepReadResult::Ok)
        out = record;
    return r;
}

// A step whose own reader fills it; the record takes it only when it was read whole.
template <class Step, StepReadResult (*Read)(const uint8_t*, size_t, Step&)>
StepReadResult ReadWith(const uint8_t* bytes, size_t length, SchemeStepRecord& out)
{
    Step step;
    const StepReadResult r = Read(bytes, length, step);
    if (r == StepReadResult::Ok)
        out = std::move(step);
    return r;
}

template <class Alg, class Record>
int ReplayAs(uint16_t, const SchemeStepRecord& record, ImageBuffer16& input, ImageBuffer16& output,
             const SchemeReplay& how)
{
    return RunGeneric<Alg>(std::get<Record>(record), input, output, how);
}

// The steps whose record is an algorithm's record, run as it stands.
template <class Alg, class Record>
constexpr StepHandler Generic(uint16_t id)
{
    return {id, Holds<Record>, ReadAs<Record>, ReplayAs<Alg, Record>};
}

StepReadResult ReadNothing(const uint8_t*, size_t, SchemeStepRecord& out)
{
    out = NoStepRecord{};
    return StepReadResult::Ok;
}

int ReplayTurn(uint16_t id, const SchemeStepRecord&, ImageBuffer16& input, ImageBuffer16& output, const SchemeReplay&)
{
    if (!CopyImage16(output, input))
        return 0;
    switch (id) {
    case SchemeStepRotateRight: return RotateImage16Right(output) ? 1 : 0;
    case SchemeStepRotateLeft: return RotateImage16Left(output) ? 1 : 0;
    case SchemeStepFlipHorizontal: return FlipImage16Horizontal(output) ? 1 : 0;
    default: return FlipImage16Vertical(output) ? 1 : 0;
    }
}

int ReplayWhiteBalance(uint16_t, const SchemeStepRecord&, ImageBuffer16& input, ImageBuffer16& output,
                       const SchemeReplay& how)
{
    return RunGeneric<CWhiteBalance>(WhiteBalanceParams{}, input, output, how); // automatic
}

StepReadResult ReadAutoLevel(const uint8_t* bytes, size_t length, SchemeStepRecord& out)
{
    if (length > 1)
        return StepReadResult::Length;
    out = AutoLevelStep{static_cast<uint8_t>(length == 1 && bytes[0] != 0)};
    return StepReadResult::Ok;
}

// Steps 13 and 14 call the level functions directly and report no progress of their own.
int ReplayAutoLevel(uint16_t id, const SchemeStepRecord& record, ImageBuffer16& input, ImageBuffer16& output,
                    const SchemeReplay&)
{
    const bool linear = std::get<AutoLevelStep>(record).variant != 0;
    if (id == SchemeStepAutoLevel)
        return (linear ? AutoLevelLinear(2.0, input, output) : AutoLevel(2.0, input, output)) ? 1 : 0;
    return (linear ? AutoContrastLinear(input, output, 2) : AutoContrast(input, output, 2)) ? 1 : 0;
}

int ReplayImageSize(uint16_t, const SchemeStepRecord& record, ImageBuffer16& input, ImageBuffer16& output,
                    const SchemeReplay& how)
{
    if (how.skipImageSize)
        return CopyImage16(output, input) ? 1 : 0;
    ImageSizeParams own = std::get<ImageSizeParams>(record);
    if (!ImageSizeReplayTarget(own, input.width, input.height, own.width, own.height))
        return 0;
    own.document = 0; // the input picture is resampled, no document is touched
    CImageSize resize;
    return RunNested(resize, &own, input, output, how);
}

int ReplayCurves(uint16_t, const SchemeStepRecord& record, ImageBuffer16& input, ImageBuffer16& output,
                 const SchemeReplay& how)
{
    const CurveStep& step = std::get<CurveStep>(record);
    const int curves = CurveStepCurves(step.mode);
    if (curves == 0)
        return CopyImage16(output, input) ? 1 : 0; // the one-byte form: no change
    ToneTable tables;
    if (!ExpandCurves(step.curves.data(), curves, tables))
        return 0;
    CurveParams params;
    params.mode = step.mode;
    params.entries = curves * kToneLutSize;
    params.tables = tables.data();
    CCurve curve;
    return RunNested(curve, &params, input, output, how);
}

int ReplayHsbCurves(uint16_t, const SchemeStepRecord& record, ImageBuffer16& input, ImageBuffer16& output,
                    const SchemeReplay& how)
{
    ToneTable tables;
    if (!ExpandCurves(std::get<HsbCurveStep>(record).curves.data(), 3, tables))
        return 0;
    CHSBCurve curve;
    return RunNested(curve, tables.data(), input, output, how);
}

int ReplaySharpen(uint16_t, const SchemeStepRecord& record, ImageBuffer16& input, ImageBuffer16& output,
                  const SchemeReplay& how)
{
    const SharpenStep& step = std::get<SharpenStep>(record);
    ToneTable table;
    if (!ExpandCurves(&step.curve, 1, table))
        return 0;
    const SharpenParams params = step.params;
    CSharpen sharpen;
    sharpen.SetCurve(table.data());
    return RunNested(sharpen, &params, input, output, how);
}

StepReadResult ReadEdgeShrink(const uint8_t* bytes, size_t length, SchemeStepRecord& out)
{
    EdgeShrinkStep step;
    const StepReadResult r = ReadReal(bytes, length, -kStrengthLimit, kStrengthLimit, step.strength);
    if (r == StepReadResult::Ok)
        out = step;
    return r;
}

int ReplayEdgeShrink(uint16_t, const SchemeStepRecord& record, ImageBuffer16& input, ImageBuffer16& output,
                     const SchemeReplay& how)
{
    return RunGeneric<CResEnhance>(std::get<EdgeShrinkStep>(record).strength, input, output, how);
}

StepReadResult ReadBlur(const uint8_t* bytes, size_t length, SchemeStepRecord& out)
{
    BlurStep step;
    const StepReadResult r = ReadReal(bytes, length, 0, kSigmaLimit, step.sigma);
    if (r == StepReadResult::Ok)
        out = step;
    return r;
}

int ReplayBlur(uint16_t, const SchemeStepRecord& record, ImageBuffer16& input, ImageBuffer16& output,
               const SchemeReplay& how)
{
    return RunGeneric<CGaussBlur>(std::get<BlurStep>(record).sigma, input, output, how);
}

int ReplayNested(uint16_t, const SchemeStepRecord& record, ImageBuffer16& input, ImageBuffer16& output,
                 const SchemeReplay& how)
{
    if (!how.nestedScheme)
        return 0;
    return how.nestedScheme(how.nestedContext, std::get<NestedSchemeStep>(record).path, input, output, how.parent,
                            how.progressLow, how.progressHigh)
               ? 1
               : 0;
}

constexpr StepHandler kHandlers[] = {
    Generic<CAFilmAdjust, FilmAdjustParams>(SchemeStepFilmAdjust),
    {SchemeStepRotateRight, Holds<NoStepRecord>, ReadNothing, ReplayTurn},
    {SchemeStepRotateLeft, Holds<NoStepRecord>, ReadNothing, ReplayTurn},
    {SchemeStepFlipHorizontal, Holds<NoStepRecord>, ReadNothing, ReplayTurn},
    {SchemeStepFlipVertical, Holds<NoStepRecord>, ReadNothing, ReplayTurn},
    Generic<CRotate, RotateParams>(SchemeStepFreeRotate),
    Generic<CBarrelDistort, BarrelDistortParams>(SchemeStepBarrelDistort),
    {SchemeStepImageSize, Holds<ImageSizeParams>, ReadAs<ImageSizeParams>, ReplayImageSize},
    {SchemeStepAutoLevel, Holds<AutoLevelStep>, ReadAutoLevel, ReplayAutoLevel},
    {SchemeStepAutoContrast, Holds<AutoLevelStep>, ReadAutoLevel, ReplayAutoLevel},
    {SchemeStepAutoWhiteBalance, Holds<NoStepRecord>, ReadNothing, ReplayWhiteBalance},
    Generic<CBrightnessContrast, BrightnessContrastParams>(SchemeStepBrightnessContrast),
    Generic<CColorMixer, ColorMixerParams>(SchemeStepColorMixer),
    Generic<CColorAdjust, ColorAdjustParams>(SchemeStepColorAdjust),
    Generic<CToneMaker, ToneMakerParams>(SchemeStepToneMaker),
    {SchemeStepCurves, Holds<CurveStep>, ReadWith<CurveStep, ReadCurveStep>, ReplayCurves},
    {SchemeStepHsbCurves, Holds<HsbCurveStep>, ReadWith<HsbCurveStep, ReadHsbCurveStep>, ReplayHsbCurves},
    Generic<CThreshold, ThresholdParams>(SchemeStepThreshold),
    {SchemeStepSharpen, Holds<SharpenStep>, ReadWith<SharpenStep, ReadSharpenStep>, ReplaySharpen},
    {SchemeStepResolutionEnhance, Holds<EdgeShrinkStep>, ReadEdgeShrink, ReplayEdgeShrink},
    {SchemeStepBlur, Holds<BlurStep>, ReadBlur, ReplayBlur},
    Generic<CDiffuseFilter, DiffuseParams>(SchemeStepDiffuse),
    Generic<CNoiseReduction, NoiseReductionParams>(SchemeStepNoiseReduction),
    Generic<CDefog, DefogParams>(SchemeStepDefog),
    Generic<CGradientFilter, GradientParams>(SchemeStepGradient),
    Generic<CDescreen, DescreenParams>(SchemeStepDescreen),
    Generic<CPurpleFringe, PurpleFringeParams>(SchemeStepPurpleFringe),
    Generic<CEnhanceDynamic, EnhanceDynamicParams>(SchemeStepEnhanceDynamic),
    {SchemeStepNestedScheme, Holds<NestedSchemeStep>, ReadWith<NestedSchemeStep, ReadPath>, ReplayNested},
    Generic<CSkinClean, SkinCleanParams>(SchemeStepSkinClean),
    Generic<CChromakey, ChromakeyParams>(SchemeStepChromakey),
    Generic<CAddSomething, AddSomethingParams>(SchemeStepAddNoise),
};

const StepHandler* FindHandler(uint16_t id)
{
    for (const StepHandler& h : kHandlers)
        if (h.id == id)
            return &h;
    return nullptr;
}

} // namespace

std::span<const SchemeStepRow> SchemeStepTable()
{
    return kRows;
}

const SchemeStepRow* FindSchemeStep(uint16_t id)
{
    for (const SchemeStepRow& row : kRows)
        if (row.id == id)
            return &row;
    return nullptr;
}

bool KeepsStepRecord(StepKeep keep, const StepUse& use)
{
    switch (keep) {
    case StepKeep::PureResult: return !use.maskUsed && !use.applied && use.blendMode == 0 && use.opacity == 100;
    case StepKeep::NoSelection: return !use.selection;
    case StepKeep::Always: return true;
    case StepKeep::NotRecorded: return false;
    }
    return false;
}

int CurveStepCurves(int mode)
{
    if (mode == 0 || mode == 4)
        return 1;
    if (mode >= 1 && mode <= 3)
        return 3;
    return 0;
}

CurveStep MakeCurveStep(int mode, const uint16_t* tables)
{
    CurveStep step;
    step.mode = static_cast<uint8_t>(std::clamp(mode, 0, 255));
    if (!tables && CurveStepCurves(step.mode) > 0)
        step.mode = kCurveModeCount; // nothing to sample: the no-change form
    for (int i = 0; i < CurveStepCurves(step.mode); ++i)
        CurveToControlValues(tables + static_cast<size_t>(i) * kToneLutSize, step.curves[i]);
    return step;
}

HsbCurveStep MakeHsbCurveStep(const uint16_t* threeTables)
{
    HsbCurveStep step;
    for (int i = 0; i < 3; ++i)
        CurveToControlValues(threeTables + static_cast<size_t>(i) * kToneLutSize, step.curves[i]);
    return step;
}

SharpenStep MakeSharpenStep(const SharpenParams& params, const uint16_t* curve)
{
    SharpenStep step;
    step.params = params;
    step.params.curveSlot = 0;
    CurveToControlValues(curve, step.curve);
    return step;
}

StepReadResult ReadSchemeStep(uint16_t id, const uint8_t* bytes, size_t length, SchemeStepRecord& out)
{
    const StepHandler* h = FindHandler(id);
    if (!h)
        return StepReadResult::UnknownId;
    if (length > 0 && !bytes)
        return StepReadResult::Length;
    return h->read(bytes, length, out);
}

bool WriteSchemeStep(uint16_t id, const SchemeStepRecord& record, std::vector<uint8_t>& out)
{
    out.clear();
    const StepHandler* h = FindHandler(id);
    if (!h || !h->fits(record))
        return false;
    const bool ok = std::visit(
        [&](const auto& r) -> bool {
            using T = std::decay_t<decltype(r)>;
            if constexpr (std::is_same_v<T, NoStepRecord>) {
                return true;
            } else if constexpr (std::is_same_v<T, AutoLevelStep>) {
                out.assign(1, r.variant ? 1 : 0);
                return true;
            } else if constexpr (std::is_same_v<T, CurveStep>) {
                WriteCurveStep(r, out);
                return true;
            } else if constexpr (std::is_same_v<T, HsbCurveStep>) {
                for (const CurveControlValues& c : r.curves)
                    AppendCurve(c, out);
                return true;
            } else if constexpr (std::is_same_v<T, SharpenStep>) {
                return WriteSharpenStep(r, out);
            } else if constexpr (std::is_same_v<T, EdgeShrinkStep>) {
                return WriteReal(r.strength, -kStrengthLimit, kStrengthLimit, out);
            } else if constexpr (std::is_same_v<T, BlurStep>) {
                return WriteReal(r.sigma, 0, kSigmaLimit, out);
            } else if constexpr (std::is_same_v<T, NestedSchemeStep>) {
                return WritePath(r, out);
            } else {
                return WriteRecord(r, out);
            }
        },
        record);
    if (!ok)
        out.clear();
    return ok;
}

bool ImageSizeReplayTarget(const ImageSizeParams& record, int w, int h, int& width, int& height)
{
    if (w <= 0 || h <= 0)
        return false;
    const int64_t rw = record.width, rh = record.height;
    int64_t nw = rw, nh = rh;
    switch (record.applyMode) {
    case 0: return false;
    case 1: nh = h * rw / w; break;
    case 2: nw = w * rh / h; break;
    case 3: {
        const int64_t s = std::max(rw, rh);
        if (w > h)
            nw = s, nh = h * s / w;
        else
            nh = s, nw = w * s / h;
        break;
    }
    case 4: {
        const double scale = std::sqrt(static_cast<double>(rw) * static_cast<double>(rh) /
                                       (static_cast<double>(w) * static_cast<double>(h)));
        nw = static_cast<int64_t>(std::min(w * scale + 0.5, 1e12));
        nh = static_cast<int64_t>(std::min(h * scale + 0.5, 1e12));
        break;
    }
    default: break;
    }
    nw = std::max<int64_t>(nw, 1);
    nh = std::max<int64_t>(nh, 1);
    if (nw > 65535 || nh > 65535 || nw * nh > kReplayMaxPixels)
        return false;
    width = static_cast<int>(nw);
    height = static_cast<int>(nh);
    return true;
}

int ReplaySchemeStep(uint16_t id, const SchemeStepRecord& record, ImageBuffer16& input, ImageBuffer16& output,
                     const SchemeReplay& how)
{
    const StepHandler* h = FindHandler(id);
    if (!h || !h->fits(record) || &input == &output || !input.data || input.width <= 0 || input.height <= 0)
        return 0;
    return h->replay(id, record, input, output, how);
}

int ReplaySchemeStep(uint16_t id, const uint8_t* bytes, size_t length, ImageBuffer16& input, ImageBuffer16& output,
                     const SchemeReplay& how)
{
    SchemeStepRecord record;
    if (ReadSchemeStep(id, bytes, length, record) != StepReadResult::Ok)
        return 0;
    return ReplaySchemeStep(id, record, input, output, how);
}
