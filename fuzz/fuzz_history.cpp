// The history data reader: a crash-status step record followed by the data file's bytes,
// replayed into a small document as crash recovery does.
#include "imaging/DocStream.h"
#include "imaging/Document.h"
#include "imaging/HistoryStore.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

std::u16string DataPath()
{
    std::string p = "/tmp/zd-fuzz-history-" + std::to_string(getpid()) + ".zdtmp";
    return std::u16string(p.begin(), p.end());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < HistoryStepRecord::kSize)
        return 0;
    uint8_t rec[HistoryStepRecord::kSize];
    std::memcpy(rec, data, sizeof rec);
    HistoryStep step;
    ReadHistoryStepRecord(rec, step);
    step.offset = 0; // the data follow the record in the input
    step.length = uint32_t(size - sizeof rec);

    static const std::u16string path = DataPath();
    {
        CDocFileStream f;
        if (!f.Open(path, CDocFileStream::Mode::Create))
            return 0;
        f.Write(data + sizeof rec, size - sizeof rec);
        f.Close();
    }
    CZDDoc doc;
    ImageBuffer16 img;
    AllocImage16(img, 6, 5);
    std::memset(img.data, 0x40, img.byteSize);
    doc.AddLayer(img, u"bg");
    doc.AddLayer(img, u"top");
    FreeImageBuffer(img);
    doc.layers.push_back(std::make_unique<CTextLayer>());
    // Ids as the recorded steps of the seed corpus name them.
    for (int i = 0; i < 3; ++i)
        doc.layers[size_t(i)]->id = uint32_t(i);

    HistoryStore store;
    store.document = &doc;
    std::memcpy(store.path, path.c_str(), (path.size() + 1) * sizeof(char16_t));
    store.steps.push_back(std::move(step));
    store.GoToStep(0, StepReplay::Force);
    return 0;
}
