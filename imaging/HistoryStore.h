// The undo history of one editor page: step records in memory, their data one after another
// in a temporary file. Undo and redo replay steps from the nearest whole-document step.
// While a store is bound to its data file it holds an advisory lock on it (File::TryLock), so
// that no other program (a clean-up of stale files, a recovery) takes the file of a live one.
#pragma once

#include "imaging/Document.h"
#include "imaging/HistoryStep.h"
#include "platform/File.h"

#include <cstdint>
#include <vector>

class CDocStream;
class IHistoryListView;

// How GoToStep treats the step that is already current: left as it is, or read back again (a
// layer whose pixels a tool changed without a step returns to the step's picture).
enum class StepReplay { SkipIfCurrent, Force };

class HistoryStore {
public:
    HistoryStore() = default;
    ~HistoryStore() { Destroy(); }
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    // Binds the document and creates (or empties) a new data file in the temporary folder.
    int Init(CZDDoc* doc);
    // The same with a chosen data file; 0 when another open of it holds its lock.
    int Init(CZDDoc* doc, const std::u16string& dataPath);
    // Binds the document to an existing data file and leaves the file as it is: crash recovery
    // replays the steps a previous run recorded there. 0 when the file is not there, or when a
    // running program holds it.
    int Reopen(CZDDoc* doc, const std::u16string& dataPath);
    // Lets go of the data file (its lock) and forgets the steps; the file stays on disk.
    void Release();

    // layerIndex -1 is the current layer. For kind 13 the payload points at the rectangle
    // (left, top, right, bottom as i32, layer coordinates, right and bottom exclusive), and
    // before, when given, is the whole layer as it was before the change (a tool's backup, the
    // layer's size): its rectangle is kept as the step's before-block, so that undo need not
    // replay. A before-block that cannot be written leaves the step without one.
    int AddStep(uint8_t kind, int layerIndex, const char16_t* name, bool hasPayload, uint16_t tag,
                const void* payload, int32_t payloadLength, const ImageBuffer16* before = nullptr);
    int GoToStep(int index, StepReplay replay);
    int ApplyStep(int index);
    void Clear();
    void Destroy();

    // Parts of the above, open for tests and for crash recovery.
    uint64_t WriteLayerData(CDocStream& stream, CZDLayer& layer, const ZDRect& rect);
    uint64_t WriteDocumentStep(CDocStream& stream);
    uint64_t WriteAttributes(CDocStream& stream);
    int RestoreLayer(CDocStream& stream, int32_t layerId, const ZDRect& rect);
    int ReadAttributes(CDocStream& stream);

    std::vector<HistoryStep> steps;
    int32_t current = -1;
    char16_t path[512] = {};
    CZDDoc* document = nullptr;
    double accumulatedChange = 0;
    IHistoryListView* listSprite = nullptr;
    // Off: going back always replays from the nearest whole-document step (tests, benchmarks).
    bool useBeforeBlocks = true;
    // How many steps went back through their before-block (tests, benchmarks).
    uint64_t beforeBlockUndos = 0;

private:
    bool Hold(const char16_t* dataPath);
    // Writes the before-block of the step just written; false leaves the step without one.
    bool WriteBeforeBlock(HistoryStep& step, const ImageBuffer16& before, const ZDRect& rect);
    // Goes back from the current step to index through before-blocks only; false when a step
    // on the way has none or its layer is not as the step left it (nothing changed then), or
    // when a read failed (the caller replays).
    bool UndoByBeforeBlocks(int index);
    void Refresh();
    // A selection must match the canvas: a step that changed its size drops it.
    void DropStaleSelection(int32_t oldWidth, int32_t oldHeight);

    platform::File m_hold; // the data file, open and locked while bound
};
