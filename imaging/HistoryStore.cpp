#include "imaging/HistoryStore.h"

#include "imaging/DocStream.h"
#include "imaging/DocumentStream.h"
#include "imaging/DocumentUi.h"
#include "platform/Folders.h"
#include "platform/Text.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

// Reads of one step's data stop at its end, so a damaged step cannot run into the next one.
class StepSlice final : public CDocStream {
public:
    StepSlice(CDocStream& inner, uint64_t length) : m_inner(inner), m_start(inner.GetPosition()), m_length(length)
    {
        pixelMode = inner.pixelMode;
    }
    size_t Read(void* buffer, size_t count) override
    {
        const uint64_t left = RemainingBytes();
        return m_inner.Read(buffer, size_t(std::min<uint64_t>(count, left)));
    }
    bool Write(const void*, size_t) override { return false; }
    uint64_t GetPosition() const override { return m_inner.GetPosition() - m_start; }
    bool Seek(uint64_t position) override { return position <= m_length && m_inner.Seek(m_start + position); }
    uint64_t RemainingBytes() const override
    {
        const uint64_t used = GetPosition();
        return std::min(used < m_length ? m_length - used : 0, m_inner.RemainingBytes());
    }

private:
    CDocStream& m_inner;
    uint64_t m_start;
    uint64_t m_length;
};

// The data of the history is the user's pictures: it goes only into the private temp folder.
std::u16string FallbackTempName()
{
    return platform::CreateUniqueTempFile(u"his", u".zdtmp");
}

ZDRect Ordered(const ZDRect& r)
{
    return {std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
            std::max(r.top, r.bottom)};
}

bool IsEmptyRect(const ZDRect& r)
{
    return r.left == r.right || r.top == r.bottom;
}

constexpr int32_t kRectanglePayload = 4 * sizeof(int32_t);

// Copies data down to an earlier place that does not overlap it; the source stays intact.
bool MoveData(CDocFileStream& file, uint64_t from, uint64_t to, uint64_t length)
{
    if (to + length > from)
        return false;
    std::vector<uint8_t> chunk(size_t(std::min<uint64_t>(length, 1 << 20)));
    for (uint64_t done = 0; done < length;) {
        const size_t n = size_t(std::min<uint64_t>(chunk.size(), length - done));
        if (!file.Seek(from + done) || file.Read(chunk.data(), n) != n || !file.Seek(to + done) ||
            !file.Write(chunk.data(), n))
            return false;
        done += n;
    }
    return true;
}

bool OpenData(CDocFileStream& file, const char16_t* path)
{
    if (!file.Open(path, CDocFileStream::Mode::ReadWrite))
        return false;
    // Private temporary data: pixels come back exactly.
    file.pixelMode = PixelStreamMode::Exact;
    return true;
}

} // namespace

int HistoryStore::Init(CZDDoc* doc)
{
    ITempFileNames* names = TheDocumentUi().tempNames;
    return Init(doc, names ? names->MakeTempFileName(u"his") : FallbackTempName());
}

bool HistoryStore::Hold(const char16_t* dataPath)
{
    m_hold.Close();
    platform::File file;
    if (!file.Open(dataPath, platform::FileMode::Read) || !file.TryLock(true))
        return false;
    m_hold = std::move(file);
    return true;
}

int HistoryStore::Init(CZDDoc* doc, const std::u16string& dataPath)
{
    document = doc;
    m_hold.Close();
    if (dataPath.empty() || dataPath.size() >= 512)
        return 0;
    CopyTextBounded(path, 512, dataPath.c_str());
    // A file that another store holds is not emptied under it.
    platform::File existing;
    if (existing.Open(path, platform::FileMode::Read) && !existing.TryLock(true))
        return 0;
    existing.Close();
    CDocFileStream file;
    return file.Open(path, CDocFileStream::Mode::Create) && file.Close() && Hold(path) ? 1 : 0;
}

int HistoryStore::Reopen(CZDDoc* doc, const std::u16string& dataPath)
{
    document = doc;
    m_hold.Close();
    if (dataPath.empty() || dataPath.size() >= 512)
        return 0;
    CDocFileStream file;
    if (!OpenData(file, dataPath.c_str()))
        return 0;
    file.Close();
    if (!Hold(dataPath.c_str()))
        return 0;
    CopyTextBounded(path, 512, dataPath.c_str());
    return 1;
}

void HistoryStore::Release()
{
    Destroy();
    m_hold.Close();
}

void HistoryStore::Refresh()
{
    if (listSprite)
        listSprite->Refresh();
}

void HistoryStore::Clear()
{
    steps.clear(); // each step frees its own heap payload
}

void HistoryStore::Destroy()
{
    Clear();
    steps.shrink_to_fit();
}

uint64_t HistoryStore::WriteLayerData(CDocStream& stream, CZDLayer& layer, const ZDRect& rect)
{
    const uint64_t before = stream.GetPosition();
    if (IsEmptyRect(rect)) {
        if (!layer.Serialize(stream, false))
            return 0;
        return stream.GetPosition() - before;
    }
    std::lock_guard guard(layer.lock);
    ZDRect r = Ordered(rect);
    // The caller keeps the rectangle inside the layer; clip anyway rather than read outside.
    r.left = std::max(r.left, 0);
    r.top = std::max(r.top, 0);
    r.right = std::min(r.right, layer.pixels.width);
    r.bottom = std::min(r.bottom, layer.pixels.height);
    if (!layer.pixels.data || r.left >= r.right || r.top >= r.bottom)
        return 0;
    ImageBuffer16 part;
    if (!AllocImage16(part, r.right - r.left, r.bottom - r.top))
        return 0;
    for (int y = r.top; y < r.bottom; ++y)
        std::memcpy(part.data + size_t(y - r.top) * part.width * 4,
                    layer.pixels.data + (size_t(y) * layer.pixels.width + r.left) * 4, size_t(part.width) * 8);
    const int ok = WriteLayerPixels(part, stream);
    FreeImageBuffer(part);
    return ok ? stream.GetPosition() - before : 0;
}

uint64_t HistoryStore::WriteDocumentStep(CDocStream& stream)
{
    const uint64_t before = stream.GetPosition();
    if (!document->Serialize(stream, false, false))
        return 0;
    return stream.GetPosition() - before;
}

uint64_t HistoryStore::WriteAttributes(CDocStream& stream)
{
    const uint64_t before = stream.GetPosition();
    const int n = document->LayerCount();
    if (n == 0 || n > 0xFFFF || document->current < 0 || document->current >= n)
        return 0;
    if (!stream.WriteU16(uint16_t(n)) || !stream.WriteU16(uint16_t(document->current)))
        return 0;
    for (const auto& layer : document->layers) {
        uint8_t h[kLayerHeaderSize];
        if (!BuildLayerHeader(*layer, h) || !stream.Write(h, sizeof h))
            return 0;
    }
    return stream.GetPosition() - before;
}

int HistoryStore::RestoreLayer(CDocStream& stream, int32_t layerId, const ZDRect& rect)
{
    if (!document || document->LayerCount() == 0)
        return 0;
    CZDLayer* layer = nullptr;
    for (auto& l : document->layers)
        if (int32_t(l->id) == layerId)
            layer = l.get();
    if (!layer)
        return 0;
    if (IsEmptyRect(rect))
        return layer->Serialize(stream, true);
    ImageBuffer16 part;
    if (!ReadLayerPixels(stream, part))
        return 0;
    std::lock_guard guard(layer->lock);
    ZDRect r = Ordered(rect);
    // The writer kept only the part inside the layer, so the stored pixels start at the
    // rectangle's corner clipped as it clipped it.
    r.left = std::max(r.left, 0);
    r.top = std::max(r.top, 0);
    // Clip to the stored rectangle, the stored pixels and the layer as it is now.
    const int x0 = r.left, y0 = r.top;
    const int x1 = std::min<int64_t>({r.right, int64_t(r.left) + part.width, layer->pixels.width});
    const int y1 = std::min<int64_t>({r.bottom, int64_t(r.top) + part.height, layer->pixels.height});
    if (layer->pixels.data && part.data)
        for (int y = y0; y < y1 && x0 < x1; ++y)
            std::memcpy(layer->pixels.data + (size_t(y) * layer->pixels.width + x0) * 4,
                        part.data + (size_t(y - r.top) * part.width + (x0 - r.left)) * 4, size_t(x1 - x0) * 8);
    FreeImageBuffer(part);
    return 1;
}

int HistoryStore::ReadAttributes(CDocStream& stream)
{
    uint16_t n = 0, cur = 0;
    if (!stream.ReadU16(n) || !stream.ReadU16(cur))
        return 0;
    if (n != document->LayerCount() || cur >= n)
        return 0;
    document->current = cur;
    for (auto& layer : document->layers) {
        uint8_t h[kLayerHeaderSize];
        if (stream.Read(h, sizeof h) != sizeof h)
            return 0;
        layer->placement = h[75];
        layer->visible = h[74];
        layer->opacity = h[72];
        layer->blendMode = h[73];
        layer->x = int16_t(GetU16(h + 2));
        layer->y = int16_t(GetU16(h + 4));
        GetText16(h + 8, layer->name, 32);
    }
    return 1;
}

bool HistoryStore::WriteBeforeBlock(HistoryStep& step, const ImageBuffer16& before, const ZDRect& rect)
{
    CZDLayer* layer = nullptr;
    for (auto& l : document->layers)
        if (int32_t(l->id) == step.layerId)
            layer = l.get();
    const ZDRect r = Ordered(rect);
    if (!layer || !before.data || before.width != layer->pixels.width || before.height != layer->pixels.height ||
        r.left < 0 || r.top < 0 || r.right > before.width || r.bottom > before.height || IsEmptyRect(r))
        return false;
    ImageBuffer16 part;
    if (!AllocImage16(part, r.right - r.left, r.bottom - r.top))
        return false;
    for (int y = r.top; y < r.bottom; ++y)
        std::memcpy(part.data + size_t(y - r.top) * part.width * 4,
                    before.data + (size_t(y) * before.width + r.left) * 4, size_t(part.width) * 8);
    CDocFileStream file;
    const uint64_t at = step.offset + step.length;
    bool ok = OpenData(file, path) && file.Seek(at) && WriteLayerPixels(part, file);
    const uint64_t length = ok ? file.GetPosition() - at : 0;
    ok = file.Close() && ok && length > 0 && length <= UINT32_MAX;
    FreeImageBuffer(part);
    if (!ok)
        return false;
    step.beforeOffset = at;
    step.beforeLength = uint32_t(length);
    step.beforeWidth = layer->pixels.width;
    step.beforeHeight = layer->pixels.height;
    step.beforeX = layer->x;
    step.beforeY = layer->y;
    return true;
}

int HistoryStore::AddStep(uint8_t kind, int layerIndex, const char16_t* name, bool hasPayload, uint16_t tag,
                          const void* payload, int32_t payloadLength, const ImageBuffer16* before)
{
    if (!document)
        return 0;
    // Clearing the list keeps the current index: with no step to follow, start a new base.
    const bool follows = current >= 0 && size_t(current) < steps.size();
    if (!follows ||
        (kind == kHistoryLayer && (document->LayerCount() == 1 || accumulatedChange > 3.0)))
        kind = kHistoryDocument;

    CDocFileStream file;
    if (!OpenData(file, path))
        return 0;

    HistoryStep step;
    if (hasPayload) {
        if (payloadLength < 0 || (payloadLength > 0 && !payload))
            return 0;
        step.hasPayload = 1;
        step.payloadLength = payloadLength;
        if (size_t(payloadLength) <= kHistoryPayloadInline) {
            if (payloadLength)
                std::memcpy(step.payload, payload, size_t(payloadLength));
        } else {
            step.heapPayload.reset(new (std::nothrow) uint8_t[size_t(payloadLength)]);
            if (!step.heapPayload)
                return 0;
            std::memcpy(step.heapPayload.get(), payload, size_t(payloadLength));
        }
    }
    // The tag names the tool whose step this is, payload or not.
    step.tag = tag;
    CopyTextBounded(step.name, 32, name);
    if (layerIndex == -1)
        layerIndex = document->current;
    if ((kind == kHistoryLayer || kind == kHistoryRectangle) && (layerIndex < 0 || layerIndex > 255))
        return 0;
    step.layerIndex = uint8_t(layerIndex);
    step.kind = kind;

    const size_t keep = follows ? size_t(current + 1) : 0;
    const uint64_t offset = follows ? steps[size_t(current)].End() : 0;
    // The redo steps stay usable until the new step is safely written, so their data is not
    // overwritten: the new data goes after them and moves down once it is complete.
    uint64_t writeAt = offset;
    for (size_t i = keep; i < steps.size(); ++i)
        writeAt = std::max(writeAt, steps[i].End());
    // The record holds the offset in 32 bits: data beyond that could not be found again.
    if (writeAt > UINT32_MAX || !file.Seek(writeAt))
        return 0;
    step.offset = writeAt;

    uint64_t length = 0;
    {
        BusyScope busy;
        std::lock_guard guard(document->lock);
        const double canvas = double(document->width) * document->height;
        switch (kind) {
        case kHistoryLayer:
        case kHistoryRectangle: {
            CZDLayer* layer = document->GetLayer(layerIndex);
            if (!layer)
                break;
            step.layerId = int32_t(layer->id);
            ZDRect rect{};
            if (kind == kHistoryRectangle) {
                if (!payload || (hasPayload && payloadLength < kRectanglePayload))
                    break;
                int32_t r[4];
                std::memcpy(r, payload, sizeof r);
                std::memcpy(step.payload, r, sizeof r);
                rect = {r[0], r[1], r[2], r[3]};
            }
            length = WriteLayerData(file, *layer, rect);
            if (canvas > 0) {
                const double area = IsEmptyRect(rect)
                                        ? double(layer->pixels.pixelCount)
                                        : std::abs(double(rect.right - rect.left) * (rect.bottom - rect.top));
                accumulatedChange += area / canvas;
            }
            break;
        }
        case kHistoryAttributes:
            step.layerId = -1;
            length = WriteAttributes(file);
            break;
        case kHistoryDocument:
            step.layerId = -1;
            length = WriteDocumentStep(file);
            accumulatedChange = 0;
            break;
        default:
            break;
        }
    }
    const bool written = file.Close();
    if (length == 0 || !written || length > UINT32_MAX)
        return 0;
    step.length = uint32_t(length);
    if (kind == kHistoryRectangle && before) {
        int32_t r[4];
        std::memcpy(r, step.payload, sizeof r);
        WriteBeforeBlock(step, *before, ZDRect{r[0], r[1], r[2], r[3]});
    }
    if (listSprite)
        listSprite->StepAdding(int32_t(keep));
    steps.resize(keep);
    // Now the redo data may go: move the new data into its place, or leave it where it is.
    if (writeAt != offset) {
        CDocFileStream move;
        const uint64_t span = step.End() - writeAt;
        if (OpenData(move, path) && MoveData(move, writeAt, offset, span) && move.Close()) {
            step.offset = offset;
            if (step.beforeLength)
                step.beforeOffset -= writeAt - offset;
        }
    }
    steps.push_back(std::move(step));
    current = int32_t(steps.size()) - 1;
    if (current > 0 && TheDocumentUi().crashStatus)
        TheDocumentUi().crashStatus->WriteCrashStatus();
    Refresh();
    return 1;
}

int HistoryStore::ApplyStep(int index)
{
    if (!document || index < 0 || size_t(index) >= steps.size())
        return 0;
    const HistoryStep& step = steps[size_t(index)];
    CDocFileStream file;
    if (!OpenData(file, path) || !file.Seek(step.offset))
        return 0;
    StepSlice data(file, step.length);
    const int32_t w = document->width, h = document->height;
    int ok = 0;
    {
        RenderWindowLockScope renderLock;
        switch (step.kind) {
        case kHistoryLayer:
            ok = RestoreLayer(data, step.layerId, ZDRect{});
            break;
        case kHistoryRectangle: {
            int32_t r[4];
            std::memcpy(r, step.payload, sizeof r);
            ok = RestoreLayer(data, step.layerId, ZDRect{r[0], r[1], r[2], r[3]});
            break;
        }
        case kHistoryAttributes:
            ok = ReadAttributes(data);
            break;
        case kHistoryDocument:
            ok = document->Serialize(data, true, false);
            break;
        default:
            ok = 0;
        }
    }
    file.Close();
    DropStaleSelection(w, h);
    if (ok)
        current = index;
    return ok;
}

void HistoryStore::DropStaleSelection(int32_t oldWidth, int32_t oldHeight)
{
    std::lock_guard guard(document->lock);
    const Plane8& sel = document->selection;
    if (document->width == oldWidth && document->height == oldHeight &&
        (!sel.data || (sel.width == document->width && sel.height == document->height)))
        return;
    FreePlane8(document->selection);
    document->selection = Plane8{};
}

bool HistoryStore::UndoByBeforeBlocks(int index)
{
    if (!useBeforeBlocks || index < 0 || index >= current || size_t(current) >= steps.size())
        return false;
    std::vector<CZDLayer*> layers;
    for (int i = current; i > index; --i) {
        const HistoryStep& step = steps[size_t(i)];
        if (step.kind != kHistoryRectangle || !step.beforeLength)
            return false;
        CZDLayer* layer = nullptr;
        for (auto& l : document->layers)
            if (int32_t(l->id) == step.layerId)
                layer = l.get();
        if (!layer || layer->pixels.width != step.beforeWidth || layer->pixels.height != step.beforeHeight ||
            layer->x != step.beforeX || layer->y != step.beforeY)
            return false;
        layers.push_back(layer);
    }
    CDocFileStream file;
    if (!OpenData(file, path))
        return false;
    bool ok = true;
    {
        RenderWindowLockScope renderLock;
        for (int i = current; i > index && ok; --i) {
            const HistoryStep& step = steps[size_t(i)];
            CZDLayer& layer = *layers[size_t(current - i)];
            int32_t r[4];
            std::memcpy(r, step.payload, sizeof r);
            const ZDRect rect = Ordered(ZDRect{r[0], r[1], r[2], r[3]});
            ImageBuffer16 part;
            ok = file.Seek(step.beforeOffset);
            if (ok) {
                StepSlice data(file, step.beforeLength);
                ok = ReadLayerPixels(data, part) && part.width == rect.right - rect.left &&
                     part.height == rect.bottom - rect.top;
            }
            if (ok) {
                std::lock_guard guard(layer.lock);
                for (int y = 0; y < part.height; ++y)
                    std::memcpy(layer.pixels.data + (size_t(rect.top + y) * layer.pixels.width + rect.left) * 4,
                                part.data + size_t(y) * part.width * 4, size_t(part.width) * 8);
                current = i - 1;
                ++beforeBlockUndos;
            }
            FreeImageBuffer(part);
        }
    }
    file.Close();
    return ok;
}

int HistoryStore::GoToStep(int index, StepReplay replay)
{
    if (!document || index < 0 || size_t(index) >= steps.size())
        return 0;
    if (index == current && replay == StepReplay::SkipIfCurrent)
        return 1;
    const int32_t w = document->width, h = document->height;
    // One stroke or a few back: their before-blocks, without the replay.
    if (UndoByBeforeBlocks(index)) {
        document->modified = 1;
        Refresh();
        return 1;
    }
    int from;
    if (current < index) {
        from = current + 1;
    } else {
        from = index;
        while (from > 0 && steps[size_t(from)].kind != kHistoryDocument)
            --from;
    }
    for (int i = from; i <= index; ++i)
        if (!ApplyStep(i))
            return 0;
    DropStaleSelection(w, h);
    document->modified = 1;
    Refresh();
    return 1;
}
