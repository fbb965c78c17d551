// One undo step: its caption, where its data lie in the history data file, and the caller's
// parameter payload. The 1116-byte record is also what the crash-status file stores.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

enum HistoryStepKind : uint8_t {
    kHistoryLayer = 12,      // one whole layer record
    kHistoryRectangle = 13,  // a rectangle of one layer, as a pixel stream
    kHistoryAttributes = 32, // the attributes of every layer
    kHistoryDocument = 255,  // the whole document without masks and selection
};

constexpr size_t kHistoryPayloadInline = 1024;

struct HistoryStep {
    char16_t name[32] = {};
    uint64_t offset = 0; // 64 bits in memory; the record holds 32 and refuses more
    uint32_t length = 0;
    uint8_t kind = 0;
    uint8_t layerIndex = 0;
    int32_t layerId = -1;
    uint8_t hasPayload = 0;
    uint16_t tag = 0;
    uint8_t payload[kHistoryPayloadInline] = {};
    int32_t payloadLength = 0;
    std::unique_ptr<uint8_t[]> heapPayload; // payloads longer than 1024 bytes

    // A rectangle step's pixels before it, right after its data in the file: going back over the
    // step restores them while the layer is as the step found it. Memory only (not in the
    // record), none when beforeLength is 0.
    uint64_t beforeOffset = 0;
    uint32_t beforeLength = 0;
    int32_t beforeWidth = 0, beforeHeight = 0, beforeX = 0, beforeY = 0;

    // Where the step's data, before-block included, ends in the file.
    uint64_t End() const { return beforeLength ? beforeOffset + beforeLength : offset + length; }

    // The payload bytes wherever they are; null without a payload.
    const uint8_t* PayloadData() const;
};

// The record as stored, field by field, little-endian.
namespace HistoryStepRecord {
constexpr size_t kName = 0;
constexpr size_t kOffset = 64;
constexpr size_t kLength = 68;
constexpr size_t kKind = 72;
constexpr size_t kLayerIndex = 73;
constexpr size_t kLayerId = 76;
constexpr size_t kHasPayload = 80;
constexpr size_t kTag = 82;
constexpr size_t kPayload = 84;
constexpr size_t kPayloadLength = 1108;
constexpr size_t kHeapSlot = 1112; // a 32-bit pointer once; always written as 0
constexpr size_t kSize = 1116;

static_assert(kOffset == kName + 32 * sizeof(char16_t));
static_assert(kPayloadLength == kPayload + kHistoryPayloadInline);
static_assert(kHeapSlot == kPayloadLength + 4);
static_assert(kSize == kHeapSlot + 4);
} // namespace HistoryStepRecord

// Fails when the step's data offset does not fit the record's 32 bits.
bool WriteHistoryStepRecord(const HistoryStep& step, uint8_t (&out)[HistoryStepRecord::kSize]);
// A step read back owns no heap copy; a payload that lived in one (longer than 1024 bytes)
// was never stored, so such a step comes back without a payload.
void ReadHistoryStepRecord(const uint8_t (&in)[HistoryStepRecord::kSize], HistoryStep& step);
