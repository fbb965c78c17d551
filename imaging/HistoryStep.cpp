#include "imaging/HistoryStep.h"

#include "imaging/DocStream.h"

#include <cstring>

const uint8_t* HistoryStep::PayloadData() const
{
    if (!hasPayload)
        return nullptr;
    if (heapPayload)
        return heapPayload.get();
    return payloadLength >= 0 && size_t(payloadLength) <= kHistoryPayloadInline ? payload : nullptr;
}

bool WriteHistoryStepRecord(const HistoryStep& step, uint8_t (&out)[HistoryStepRecord::kSize])
{
    using namespace HistoryStepRecord;
    if (step.offset > UINT32_MAX)
        return false;
    std::memset(out, 0, sizeof out);
    PutText16(out + kName, step.name, 32);
    PutU32(out + kOffset, static_cast<uint32_t>(step.offset));
    PutU32(out + kLength, step.length);
    out[kKind] = step.kind;
    out[kLayerIndex] = step.layerIndex;
    PutU32(out + kLayerId, static_cast<uint32_t>(step.layerId));
    out[kHasPayload] = step.hasPayload;
    PutU16(out + kTag, step.tag);
    std::memcpy(out + kPayload, step.payload, kHistoryPayloadInline);
    PutU32(out + kPayloadLength, static_cast<uint32_t>(step.payloadLength));
    return true;
}

void ReadHistoryStepRecord(const uint8_t (&in)[HistoryStepRecord::kSize], HistoryStep& step)
{
    using namespace HistoryStepRecord;
    GetText16(in + kName, step.name, 32);
    step.offset = GetU32(in + kOffset);
    step.length = GetU32(in + kLength);
    step.kind = in[kKind];
    step.layerIndex = in[kLayerIndex];
    step.layerId = static_cast<int32_t>(GetU32(in + kLayerId));
    step.hasPayload = in[kHasPayload];
    step.tag = GetU16(in + kTag);
    std::memcpy(step.payload, in + kPayload, kHistoryPayloadInline);
    step.payloadLength = static_cast<int32_t>(GetU32(in + kPayloadLength));
    step.heapPayload.reset();
    if (step.hasPayload && (step.payloadLength < 0 || size_t(step.payloadLength) > kHistoryPayloadInline)) {
        step.hasPayload = 0;
        step.payloadLength = 0;
    }
}
