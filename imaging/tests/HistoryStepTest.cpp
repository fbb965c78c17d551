#include "imaging/HistoryStep.h"

#include "imaging/DocStream.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(HistoryStepRecord, FieldsSitAtTheirOffsetsAndThePointerSlotIsZero)
{
    HistoryStep step;
    const char16_t caption[] = u"Levels";
    std::memcpy(step.name, caption, sizeof caption);
    step.offset = 0x11223344;
    step.length = 0x55667788;
    step.kind = kHistoryRectangle;
    step.layerIndex = 7;
    step.layerId = -2;
    step.hasPayload = 1;
    step.tag = 0xBEEF;
    for (size_t i = 0; i < kHistoryPayloadInline; ++i)
        step.payload[i] = uint8_t(i * 7);
    step.payloadLength = 1024;
    step.heapPayload.reset(new uint8_t[1]);

    uint8_t rec[HistoryStepRecord::kSize];
    std::memset(rec, 0xCC, sizeof rec);
    ASSERT_TRUE(WriteHistoryStepRecord(step, rec));
    static_assert(sizeof rec == 1116);

    EXPECT_EQ(rec[0], 'L');
    EXPECT_EQ(rec[1], 0);
    EXPECT_EQ(rec[10], 's');
    EXPECT_EQ(rec[12], 0) << "terminator";
    EXPECT_EQ(rec[62], 0) << "units after the terminator are zero";
    const struct { size_t at; uint32_t value; } u32s[] = {
        {64, 0x11223344}, {68, 0x55667788}, {76, 0xFFFFFFFE}, {1108, 1024}, {1112, 0}};
    for (auto& f : u32s)
        EXPECT_EQ(GetU32(rec + f.at), f.value) << "offset " << f.at;
    EXPECT_EQ(rec[72], 13);
    EXPECT_EQ(rec[73], 7);
    EXPECT_EQ(rec[74], 0);
    EXPECT_EQ(rec[75], 0);
    EXPECT_EQ(rec[80], 1);
    EXPECT_EQ(rec[81], 0);
    EXPECT_EQ(GetU16(rec + 82), 0xBEEF);
    EXPECT_EQ(rec[84], 0);
    EXPECT_EQ(rec[84 + 1023], uint8_t(1023 * 7));

    HistoryStep back;
    ReadHistoryStepRecord(rec, back);
    EXPECT_EQ(std::u16string(back.name), u"Levels");
    EXPECT_EQ(back.offset, step.offset);
    EXPECT_EQ(back.length, step.length);
    EXPECT_EQ(back.kind, step.kind);
    EXPECT_EQ(back.layerIndex, 7);
    EXPECT_EQ(back.layerId, -2);
    EXPECT_EQ(back.tag, 0xBEEF);
    EXPECT_EQ(back.payloadLength, 1024);
    EXPECT_EQ(std::memcmp(back.payload, step.payload, 1024), 0);
    EXPECT_FALSE(back.heapPayload);
}

TEST(HistoryStepRecord, OffsetBeyond32BitsIsRefused)
{
    HistoryStep step;
    step.offset = uint64_t(UINT32_MAX) + 1;
    uint8_t rec[HistoryStepRecord::kSize];
    EXPECT_FALSE(WriteHistoryStepRecord(step, rec));
    step.offset = UINT32_MAX;
    EXPECT_TRUE(WriteHistoryStepRecord(step, rec));
}

TEST(HistoryStepRecord, ReadBackHostilePayloadsAndNames)
{
    struct Case { int32_t length; uint8_t hasPayload; bool keeps; };
    const Case cases[] = {
        {1025, 1, false}, // its payload lived in a heap copy that was never stored
        {-1, 1, false},
        {0, 1, true},
        {1024, 1, true},
    };
    for (const Case& c : cases) {
        uint8_t rec[HistoryStepRecord::kSize];
        std::memset(rec, 'A', sizeof rec); // no terminator anywhere in the name
        rec[HistoryStepRecord::kHasPayload] = c.hasPayload;
        PutU32(rec + HistoryStepRecord::kPayloadLength, uint32_t(c.length));
        HistoryStep step;
        ReadHistoryStepRecord(rec, step);
        EXPECT_EQ(step.hasPayload != 0, c.keeps) << c.length;
        EXPECT_EQ(step.PayloadData() != nullptr, c.keeps) << c.length;
        EXPECT_EQ(step.name[31], 0);
        EXPECT_EQ(std::u16string(step.name).size(), 31u);
    }
}
