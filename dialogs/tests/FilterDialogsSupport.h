// What the tests of the filter and geometry dialogs share: a test photo, waiting for a preview,
// a slider set as the user would, an algorithm run directly, and the check of OK with undo and
// redo against the algorithm's own result and of the step's record read and written back.
#pragma once

#include "algorithms/SchemeSteps.h"
#include "dialogs/FilterDialog.h"
#include "dialogs/SliderDialogSupport.h"
#include "ui/UiSeams.h"

#include "DialogTestSupport.h"

#include <functional>
#include <random>

namespace filtertest {

using namespace dialogtest;

// A smooth scene with an edge, some noise and a few transparent pixels.
inline void FillPhoto(ImageBuffer16& image, int width, int height, unsigned seed = 17)
{
    ASSERT_TRUE(AllocImage16(image, width, height));
    std::mt19937 rng(seed);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint16_t* p = image.data + (size_t(y) * width + x) * 4;
            const int edge = x > width / 2 ? 20000 : 0;
            p[0] = uint16_t(std::min<uint32_t>(65535, 300 * x + edge + rng() % 3000));
            p[1] = uint16_t(std::min<uint32_t>(65535, 500 * y + edge + rng() % 3000));
            p[2] = uint16_t(std::min<uint32_t>(65535, 200 * (x + y) + edge + rng() % 5000));
            p[3] = (x + y) % 17 == 0 ? 0x4000 : 0xFFFF;
        }
}

inline void WaitForPreview(DialogWorld& w, CAlgorithmDialog& d)
{
    w.t.Pump();
    ASSERT_TRUE(w.PumpUntil([&] { return !d.JobInFlight() && !theAlgorithmThread.IsBusy(); }));
    w.t.Pump();
    ASSERT_TRUE(w.PumpUntil([&] { return !d.JobInFlight(); }));
}

inline void SetSlider(CDialogSprite& d, int32_t id, double value)
{
    CSliderSprite* s = FindSlider(d, id);
    ASSERT_NE(s, nullptr) << id;
    s->SetValue(value, 1);
}

// Runs an algorithm on the calling thread from `source` into `out` (allocated at the source's
// size unless the caller did).
inline bool RunDirect(CAlgorithm& algorithm, const void* params, const ImageBuffer16& source, ImageBuffer16& out)
{
    if (!out.data && !AllocImage16(out, source.width, source.height))
        return false;
    algorithm.SetSource(const_cast<ImageBuffer16*>(&source));
    algorithm.SetDestination(&out);
    algorithm.SetParams(params);
    return algorithm.Run() != 0;
}

inline std::vector<uint8_t> PayloadOf(const HistoryStep& step)
{
    return std::vector<uint8_t>(step.PayloadData(), step.PayloadData() + step.payloadLength);
}

struct OkCheck {
    int width = 61, height = 43;
    bool twoLayers = true;
    uint16_t stepId = 0;     // 0: a step without id and record
    size_t recordBytes = 0;
    const char16_t* name = nullptr; // the step's name when it has no id
    std::vector<uint8_t>* payload = nullptr; // receives the step's record
    void (*fill)(ImageBuffer16&, int, int) = nullptr; // the photo; FillPhoto without it
};

// Opens the dialog on a photo, changes it, waits for the preview and presses OK. The layer must
// equal what `expected` computes from the opening picture and the dialog; one step is added,
// whose record reads and writes back unchanged; undo gives the opening picture, redo the result.
template <class Dialog>
void CheckOkUndoRedo(const OkCheck& c, const std::function<void(DialogWorld&, Dialog&)>& change,
                     const std::function<void(const ImageBuffer16&, Dialog&, ImageBuffer16&)>& expected)
{
    DialogWorld w;
    ImageBuffer16 opening{};
    if (c.fill)
        c.fill(opening, c.width, c.height);
    else
        FillPhoto(opening, c.width, c.height);
    w.OpenDocument(opening, c.twoLayers);
    auto d = OpenDialog<Dialog>(Dialog::kTemplateId);
    ASSERT_NE(d, nullptr);
    change(w, *d);
    WaitForPreview(w, *d);
    d->OnOK();
    ASSERT_EQ(d->Result(), 1);
    EXPECT_EQ(w.doc.modified, 1);
    ImageBuffer16 result{}, direct{};
    ASSERT_TRUE(CopyImage16(result, w.Layer()));
    expected(opening, *d, direct);
    EXPECT_TRUE(SameBytes(result, direct)) << "the layer holds the algorithm's own result";
    EXPECT_FALSE(SameBytes(result, opening)) << "the change did something";

    ASSERT_EQ(w.history.steps.size(), 2u);
    const HistoryStep& step = w.history.steps[1];
    EXPECT_EQ(step.kind, c.twoLayers ? kHistoryLayer : kHistoryDocument);
    EXPECT_EQ(step.tag, c.stepId);
    ASSERT_EQ(size_t(step.payloadLength), c.recordBytes);
    if (c.stepId) {
        const std::vector<uint8_t> bytes = PayloadOf(step);
        SchemeStepRecord record;
        ASSERT_EQ(ReadSchemeStep(c.stepId, bytes.data(), bytes.size(), record), StepReadResult::Ok);
        std::vector<uint8_t> again;
        ASSERT_TRUE(WriteSchemeStep(c.stepId, record, again));
        EXPECT_EQ(again, bytes) << "read and written again: the same bytes";
    }
    if (c.payload)
        *c.payload = PayloadOf(step);
    if (c.name)
        EXPECT_EQ(std::u16string(step.name), std::u16string(UiText(c.name)));

    ASSERT_TRUE(w.history.GoToStep(w.history.current - 1, StepReplay::Force));
    EXPECT_TRUE(SameBytes(w.Layer(), opening)) << "undo";
    ASSERT_TRUE(w.history.GoToStep(w.history.current + 1, StepReplay::Force));
    EXPECT_TRUE(SameBytes(w.Layer(), result)) << "redo";
    for (ImageBuffer16* b : {&opening, &result, &direct})
        FreeImageBuffer(*b);
}

// Changes the dialog, waits for the preview, cancels: the layer is the opening picture again and
// no step is recorded.
template <class Dialog>
void CheckCancel(const std::function<void(DialogWorld&, Dialog&)>& change, int width = 40, int height = 30,
                 void (*fill)(ImageBuffer16&, int, int) = nullptr)
{
    DialogWorld w;
    ImageBuffer16 opening{};
    if (fill)
        fill(opening, width, height);
    else
        FillPhoto(opening, width, height);
    w.OpenDocument(opening, true);
    auto d = OpenDialog<Dialog>(Dialog::kTemplateId);
    ASSERT_NE(d, nullptr);
    change(w, *d);
    WaitForPreview(w, *d);
    EXPECT_FALSE(SameBytes(w.Layer(), opening)) << "the preview is on the layer";
    d->OnCancel();
    EXPECT_TRUE(SameBytes(w.Layer(), opening)) << "Cancel";
    EXPECT_EQ(w.history.steps.size(), 1u);
    FreeImageBuffer(opening);
}

// A night scene: dark with a few small bright lights (for the highlight filters).
inline void FillLights(ImageBuffer16& image, int width, int height)
{
    FillPhoto(image, width, height);
    for (uint32_t i = 0; i < image.pixelCount; ++i)
        for (int ch = 0; ch < 3; ++ch)
            image.data[size_t(i) * 4 + ch] /= 16;
    for (int k = 0; k < 5; ++k) {
        const int cx = width * (k + 1) / 6, cy = height * ((k * 3) % 5 + 1) / 6;
        for (int y = cy - 1; y <= cy + 1; ++y)
            for (int x = cx - 1; x <= cx + 1; ++x) {
                if (x < 0 || y < 0 || x >= width || y >= height)
                    continue;
                uint16_t* p = image.data + (size_t(y) * width + x) * 4;
                p[0] = 65535, p[1] = uint16_t(60000 - 5000 * k), p[2] = 65535, p[3] = 0xFFFF;
            }
    }
}

template <class T>
T At(const std::vector<uint8_t>& v, size_t offset)
{
    T value{};
    std::memcpy(&value, v.data() + offset, sizeof value);
    return value;
}

} // namespace filtertest
