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
    // (left, top, right, bottom as i32, layer coordinates, right and bottom exclusive).
    int AddStep(uint8_t kind, int layerIndex, const char16_t* name, bool hasPayload, uint16_t tag,
                const void* payload, int32_t payloadLength);
    int GoToStep(int index, bool skipIfCurrent);
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

private:
    bool Hold(const char16_t* dataPath);
    void Refresh();
    // A selection must match the canvas: a step that changed its size drops it.
    void DropStaleSelection(int32_t oldWidth, int32_t oldHeight);

    platform::File m_hold; // the data file, open and locked while bound
};
