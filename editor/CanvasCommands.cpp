// The canvas commands: the selection commands and the saved masks they keep the previous
// selection in, smart erase, delete or fill, adding an image as a layer, save, print and the
// photo information.
#include "editor/CanvasCommands.h"

#include "algorithms/GaussBlur.h"
#include "algorithms/Inpainting.h"
#include "editor/EditView.h"
#include "editor/Tool.h"
#include "imaging/ColourTables.h"
#include "imaging/DocumentUi.h"
#include "platform/Folders.h"
#include "platform/Shell.h"
#include "platform/Text.h"
#include "ui/ColorPicker.h"
#include "ui/InputString.h"
#include "ui/MessageBox.h"
#include "ui/Registry.h"
#include "ui/RenderWindow.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

namespace {

int AskNumber(const CanvasDialogs& dialogs, char16_t* buffer, int capacity, const char16_t* caption,
              const char16_t* prompt)
{
    if (dialogs.inputString)
        return dialogs.inputString(buffer, capacity, caption, prompt);
    return InputString(buffer, capacity, caption, prompt, -1, -1);
}

int AskBox(const CanvasDialogs& dialogs, const char16_t* text, int kind, int buttons)
{
    if (dialogs.messageBox)
        return dialogs.messageBox(text, kind, buttons);
    return SpriteMessageBox(text, kind, buttons);
}

// Letter case aside for A-Z only, as the mask names compare.
bool SameMaskName(const char16_t* a, const char16_t* b)
{
    auto fold = [](char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; };
    for (; *a && *b; ++a, ++b)
        if (fold(*a) != fold(*b))
            return false;
    return *a == *b;
}

// The selection replaced under the document lock; the old plane is freed after.
void ReplaceSelection(CZDDoc& doc, Plane8& fresh)
{
    Plane8 old;
    {
        std::lock_guard guard(doc.lock);
        old = doc.selection;
        doc.selection = fresh;
    }
    fresh = Plane8{};
    FreePlane8(old);
}

void DropSelectionPlane(CZDDoc& doc)
{
    Plane8 none;
    ReplaceSelection(doc, none);
}

} // namespace

bool AskImagePath(std::u16string& path)
{
    static const std::vector<std::string> patterns = {"*.jpg", "*.jpeg", "*.JPG", "*.JPEG", "*.png", "*.PNG",
                                                      "*.tif", "*.tiff", "*.bmp", "*.gif",  "*.tga", "*.pcx",
                                                      "*.cr2", "*.nef",  "*.arw", "*.dng",  "*.orf", "*.rw2"};
    CRenderWindow* window = g_pRenderWindow.load();
    platform::Window* platformWindow = window ? window->PlatformWindow() : nullptr;
    platform::FileChooserResult chosen;
    std::atomic<bool> done{false};
    std::shared_ptr<platform::WindowPoster> poster = platformWindow ? platformWindow->Poster() : nullptr;
    // The desktop's chooser runs beside the window's loop, so the window keeps drawing.
    std::thread chooser([&] {
        chosen = platform::ChooseFileToOpen(UiText(u"AllSupportFile"), platform::PicturesFolder(), patterns);
        done.store(true);
        if (poster)
            poster->PostMessage(WM_SPRITE_BUTTON, 0, 0);
    });
    if (platformWindow)
        platformWindow->RunModalLoop([&] { return done.load(); });
    chooser.join();
    if (chosen.status == platform::FileChooserStatus::Cancelled)
        return false;
    if (chosen.status == platform::FileChooserStatus::Chosen) {
        path = chosen.path;
        return !path.empty();
    }
    char16_t buffer[1024] = {};
    if (!InputString(buffer, 1024, UiText(u"addimg"), UiText(u"AllSupportFile"), -1, -1))
        return false;
    path = buffer;
    while (!path.empty() && (path.back() == u' ' || path.back() == u'\n'))
        path.pop_back();
    return !path.empty();
}

namespace {

// Until the dialogs' progress runner is linked in: the same contract on the calling thread,
// behind the busy indicator.
int RunAlgorithmHere(CAlgorithm& algorithm, const void* params, ImageBuffer16& picture)
{
    ImageBuffer16 copy;
    if (!CopyImage16(copy, picture))
        return 0;
    algorithm.SetSource(&copy);
    algorithm.SetDestination(&picture);
    algorithm.SetParams(params);
    int ok;
    {
        BusyScope busy;
        ok = algorithm.Run();
    }
    if (!ok)
        CopyImage16(picture, copy);
    FreeImageBuffer(copy);
    return ok ? 1 : 0;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Saved masks

int StoreSelectionMask(CZDDoc& doc, const char16_t* name)
{
    std::lock_guard guard(doc.lock);
    int existing = -1;
    for (size_t i = 0; i < doc.masks.size(); ++i)
        if (SameMaskName(doc.masks[i]->name, name ? name : u"")) {
            existing = int(i);
            break;
        }
    auto item = std::make_unique<MaskItem>();
    CopyTextBounded(item->name, 32, name ? name : u"");
    item->storedWidth = doc.width;
    item->storedHeight = doc.height;
    const Plane8& sel = doc.selection;
    const platform::Point corner = SelectionTopLeft(sel);
    bool stored = false;
    if (corner.x >= 0) {
        int right = corner.x, bottom = corner.y;
        for (int y = corner.y; y < sel.height; ++y) {
            const uint8_t* row = sel.data + size_t(y) * size_t(sel.width);
            for (int x = 0; x < sel.width; ++x)
                if (row[x]) {
                    right = std::max(right, x + 1);
                    bottom = y + 1;
                }
        }
        if (AllocPlane8(item->plane, right - corner.x, bottom - corner.y)) {
            for (int y = corner.y; y < bottom; ++y)
                std::memcpy(item->plane.data + size_t(y - corner.y) * size_t(item->plane.width),
                            sel.data + size_t(y) * size_t(sel.width) + size_t(corner.x), size_t(item->plane.width));
            item->x = corner.x;
            item->y = corner.y;
            stored = true;
        }
    }
    if (!stored) {
        if (existing >= 0)
            doc.masks.erase(doc.masks.begin() + existing);
        return 0;
    }
    if (existing >= 0)
        doc.masks[size_t(existing)] = std::move(item);
    else
        doc.masks.push_back(std::move(item));
    return 1;
}

int StoreLastArea(CZDDoc& doc)
{
    return StoreSelectionMask(doc, UiText(u"Lastarea"));
}

int SelectionToMask(CZDDoc& doc, const CanvasDialogs& dialogs)
{
    if (!doc.selection.data)
        return 0;
    int largest = 0;
    for (const auto& mask : doc.masks)
        largest = std::max(largest, ReadTypedInteger(mask->name));
    char name[16];
    std::snprintf(name, sizeof name, "%02d", largest == INT_MAX ? largest : largest + 1);
    char16_t buffer[31] = {};
    for (int i = 0; name[i] && i < 30; ++i)
        buffer[i] = char16_t(name[i]);
    if (!AskNumber(dialogs, buffer, 31, u"", UiText(u"InputChannelName")))
        return 0;
    for (const auto& mask : doc.masks)
        if (SameMaskName(mask->name, buffer)) {
            if (AskBox(dialogs, UiText(u"Areaexist"), kMbQuestion, kMbYesNo) != 6)
                return 0;
            break;
        }
    return StoreSelectionMask(doc, buffer);
}

// ---------------------------------------------------------------------------------------------
// Selection commands

int ReadTypedInteger(const char16_t* text)
{
    if (!text)
        return 0;
    while (*text == u' ' || *text == u'\t')
        ++text;
    bool negative = false;
    if (*text == u'-' || *text == u'+')
        negative = *text++ == u'-';
    int64_t value = 0;
    for (; *text >= u'0' && *text <= u'9'; ++text)
        value = std::min<int64_t>(value * 10 + (*text - u'0'), int64_t(INT_MAX) + 1);
    value = negative ? -value : value;
    return int(std::clamp<int64_t>(value, INT_MIN, INT_MAX));
}

platform::Point SelectionTopLeft(const Plane8& selection)
{
    if (!selection.data)
        return {-1, -1};
    int top = -1, left = selection.width;
    for (int y = 0; y < selection.height; ++y) {
        const uint8_t* row = selection.data + size_t(y) * size_t(selection.width);
        for (int x = 0; x < std::min(left, selection.width); ++x)
            if (row[x]) {
                if (top < 0)
                    top = y;
                left = x;
                break;
            }
    }
    return top < 0 ? platform::Point{-1, -1} : platform::Point{left, top};
}

int SetSelection(CZDDoc& doc, int id)
{
    switch (id) {
    case kCmdSelectAll: {
        Plane8 all;
        if (!AllocPlane8(all, doc.width, doc.height))
            return 0;
        std::memset(all.data, 255, all.byteSize);
        if (doc.selection.data)
            StoreLastArea(doc);
        ReplaceSelection(doc, all);
        break;
    }
    case kCmdInvertSelection:
        if (!doc.selection.data)
            return 0;
        StoreLastArea(doc);
        {
            std::lock_guard guard(doc.lock);
            for (uint32_t i = 0; i < doc.selection.byteSize; ++i)
                doc.selection.data[i] = uint8_t(255 - doc.selection.data[i]);
        }
        break;
    case kCmdSelectNone:
        if (doc.selection.data) {
            StoreLastArea(doc);
            DropSelectionPlane(doc);
        }
        break;
    default:
        return 0;
    }
    doc.modified = 1;
    return 1;
}

int ReshapeSelection(CZDDoc& doc, int id, const CanvasDialogs& dialogs)
{
    const char16_t* caption;
    const char16_t* prompt = u"radiusinpixel32";
    switch (id) {
    case kCmdFeather:
        caption = u"selfeather";
        prompt = u"radiusinpixel";
        break;
    case kCmdExpand: caption = u"menuSelExpand"; break;
    case kCmdShrink: caption = u"menuSelShrink"; break;
    case kCmdBorder: caption = u"menuSelEdge"; break;
    default: return 0;
    }
    char16_t buffer[5] = {};
    if (!AskNumber(dialogs, buffer, 5, UiText(caption), UiText(prompt)))
        return 0;
    const int v = ReadTypedInteger(buffer);
    // A radius or width below one pixel is refused for all four (the mask operations are not
    // made for negative sizes).
    if (v < 1)
        return 0;
    Plane8 result;
    int ok;
    {
        BusyScope busy;
        const Plane8& source = doc.selection;
        switch (id) {
        case kCmdFeather: ok = FeatherMask(std::min(v, 256) * 0.5, source, result); break;
        case kCmdExpand: ok = ExpandMask(source, result, std::min(v, 32)); break;
        case kCmdShrink: ok = ShrinkMask(source, result, std::min(v, 32), 1); break;
        default: ok = MaskBorder(source, result, std::min(v, 32)); break;
        }
    }
    if (!ok) {
        FreePlane8(result);
        return 0;
    }
    if (doc.selection.data)
        StoreLastArea(doc);
    // Shrink and border can leave nothing selected: then there is no selection at all.
    if (result.data && (id == kCmdFeather || id == kCmdExpand || SelectionTopLeft(result).x >= 0))
        ReplaceSelection(doc, result);
    else
        DropSelectionPlane(doc);
    FreePlane8(result);
    doc.modified = 1;
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Pixel work

void CutSelectionFromLayer(CZDLayer& layer, const Plane8& selection)
{
    ImageBuffer16& p = layer.pixels;
    if (!p.data || !selection.data)
        return;
    for (int y = 0; y < p.height; ++y) {
        const int64_t sy = int64_t(y) + layer.y;
        if (sy < 0 || sy >= selection.height)
            continue;
        const uint8_t* m = selection.data + size_t(sy) * size_t(selection.width);
        uint16_t* row = p.data + size_t(y) * size_t(p.width) * 4;
        for (int x = 0; x < p.width; ++x) {
            const int64_t sx = int64_t(x) + layer.x;
            if (sx < 0 || sx >= selection.width || !m[sx])
                continue;
            uint16_t& a = row[size_t(x) * 4 + 3];
            a = uint16_t(uint32_t(a) * (255u - m[sx]) / 255u);
        }
    }
}

void FillSelectionInLayer(CZDLayer& layer, const Plane8& selection, const uint16_t fill[3])
{
    ImageBuffer16& p = layer.pixels;
    if (!p.data || !selection.data)
        return;
    for (int y = 0; y < p.height; ++y) {
        const int64_t sy = int64_t(y) + layer.y;
        if (sy < 0 || sy >= selection.height)
            continue;
        const uint8_t* m = selection.data + size_t(sy) * size_t(selection.width);
        uint16_t* row = p.data + size_t(y) * size_t(p.width) * 4;
        for (int x = 0; x < p.width; ++x) {
            const int64_t sx = int64_t(x) + layer.x;
            if (sx < 0 || sx >= selection.width || !m[sx])
                continue;
            const uint32_t k = m[sx];
            uint16_t* px = row + size_t(x) * 4;
            for (int c = 0; c < 3; ++c)
                px[c] = uint16_t((k * fill[c] + uint32_t(px[c]) * (255u - k)) / 255u);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The canvas's commands

void RunCanvasCommand(CSEditView& view, int id)
{
    CZDDoc* doc = view.Document();
    if (!doc)
        return;
    switch (id) {
    case kCmdSelectAll:
    case kCmdInvertSelection:
    case kCmdSelectNone:
        SetSelection(*doc, id);
        break;
    case kCmdFeather:
    case kCmdExpand:
    case kCmdShrink:
    case kCmdBorder:
        ReshapeSelection(*doc, id, view.dialogs);
        break;
    case kCmdSmartErase:
        view.SmartErase(doc->selection.data ? &doc->selection : nullptr);
        break;
    case kCmdDeleteOrFill:
        view.DeleteOrFill();
        break;
    case kCmdSelectionToMask:
        if (SelectionToMask(*doc, view.dialogs) && view.hooks.viewRendered)
            view.hooks.viewRendered();
        break;
    default:
        break;
    }
}

int CSEditView::RecordStep(uint8_t kind, int layerIndex, const char16_t* nameKey)
{
    HistoryStore* history = m_history;
    if (!history || !history->document)
        return 1;
    if (history->AddStep(kind, layerIndex, UiText(nameKey), false, 0, nullptr, 0))
        return 1;
    // Without its step the change could never be undone: it is taken back by replaying the
    // history's current step, and the user is told.
    if (history->current >= 0)
        history->GoToStep(history->current, StepReplay::Force);
    Ask(UiText(u"unexpect"), kMbError, kMbOk);
    return 0;
}

void CSEditView::DropSelection()
{
    CZDDoc* doc = m_document;
    if (!doc || !doc->selection.data)
        return;
    StoreLastArea(*doc);
    DropSelectionPlane(*doc);
    doc->modified = 1;
}

int CSEditView::SmartErase(const Plane8* selection)
{
    CZDDoc* doc = m_document;
    if (!selection || !selection->data)
        return 1;
    if (!doc)
        return 0;
    int patch;
    {
        BusyScope busy;
        patch = EstimatePatchSize(*selection);
    }
    CZDLayer* layer = doc->GetCurrentLayer();
    if (!layer || !layer->pixels.data)
        return 0;
    // The inpainting softens its mask in place: it works on a copy (cut to an added layer), so
    // the selection survives a refusal unchanged.
    Plane8 mask;
    const int cut = layer->placement ? CropPlaneToLayer(*layer, mask, *selection) : CopyPlane8(mask, *selection);
    if (!cut) {
        FreePlane8(mask);
        return 0;
    }
    CImageInpainting inpainting;
    InpaintingParams params;
    params.mask = &mask;
    params.patchSize = patch;
    params.largeArea = 0;
    params.unused = 1;
    params.feather = 1;
    const char16_t* caption = UiText(u"selinpaint");
    const int ok = dialogs.runAlgorithm ? dialogs.runAlgorithm(inpainting, &params, caption, layer->pixels)
                                        : RunAlgorithmHere(inpainting, &params, layer->pixels);
    FreePlane8(mask);
    if (!ok) {
        Ask(UiText(u"smarterasefaild"), kMbInformation, kMbOk);
        return 0;
    }
    doc->modified = 1;
    if (!RecordStep(kHistoryLayer, -1, u"hismarterase"))
        return 0;
    if (doc->selection.data) {
        StoreLastArea(*doc);
        DropSelectionPlane(*doc);
    }
    doc->modified = 1;
    return 1;
}

void CSEditView::DeleteOrFill()
{
    CZDDoc* doc = m_document;
    if (!doc || !doc->selection.data)
        return;
    CZDLayer* layer = doc->GetCurrentLayer();
    if (!layer || !layer->pixels.data)
        return;
    if (layer->placement) {
        std::lock_guard guard(layer->lock);
        CutSelectionFromLayer(*layer, doc->selection);
    } else {
        // The fill colour starts from the last one used; stored values beyond 16 bits are cut.
        uint16_t colour[4] = {
            uint16_t(std::min<uint32_t>(ReadRegistryDword(u"Editor", u"FillB", 0, 1), 65535)),
            uint16_t(std::min<uint32_t>(ReadRegistryDword(u"Editor", u"FillG", 0, 1), 65535)),
            uint16_t(std::min<uint32_t>(ReadRegistryDword(u"Editor", u"FillR", 0, 1), 65535)), 0xFFFF};
        const int picked = dialogs.pickColor ? dialogs.pickColor(colour) : PickColor(colour);
        if (!picked)
            return;
        WriteRegistryDword(u"Editor", u"FillR", colour[2]);
        WriteRegistryDword(u"Editor", u"FillG", colour[1]);
        WriteRegistryDword(u"Editor", u"FillB", colour[0]);
        std::lock_guard guard(layer->lock);
        FillSelectionInLayer(*layer, doc->selection, colour);
    }
    doc->modified = 1;
    RecordStep(kHistoryLayer, -1, u"hisdelsel");
    doc->modified = 1;
}

void CSEditView::AddImageAsLayer()
{
    CZDDoc* doc = m_document;
    if (!doc)
        return;
    std::u16string path;
    const bool chosen = dialogs.chooseImageFile ? dialogs.chooseImageFile(path) : AskImagePath(path);
    if (!chosen || path.empty())
        return;
    CZDDoc loaded;
    if (!loaded.OpenImage(path) || loaded.LayerCount() == 0 || !loaded.GetLayer(0)->pixels.data) {
        Ask(UiText(u"Cannotopenfile"), kMbError, kMbOk);
        return;
    }
    const CZDLayer& picture = *loaded.GetLayer(0);
    if (!doc->AddLayer(picture.pixels, picture.name, -1)) {
        Ask(UiText(u"unexpect"), kMbError, kMbOk);
        return;
    }
    doc->modified = 1;
    RecordStep(kHistoryDocument, -1, u"hisaddimage");
    doc->modified = 1;
}

void CSEditView::SaveDocument()
{
    CZDDoc* doc = m_document;
    if (!doc || !dialogs.saveDocument)
        return;
    if (dialogs.saveDocument(*doc) == 1 && hooks.saved)
        hooks.saved();
}

void CSEditView::PrintPicture()
{
    CZDDoc* doc = m_document;
    if (!doc)
        return;
    ImageBuffer16 flat;
    ImageBuffer8 picture;
    if (doc->Flatten(flat, MakePixel64(0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF)) &&
        ConvertImage16To8Dithered(flat, picture)) {
        if (dialogs.printPicture)
            dialogs.printPicture(picture, flat);
        else
            Ask(UiText(u"notavailable"), kMbInformation, kMbOk);
    }
    FreeImageBuffer(picture);
    FreeImageBuffer(flat);
}

void CSEditView::ShowPhotoInfo()
{
    CZDDoc* doc = m_document;
    if (!doc)
        return;
    const std::u16string path = doc->path;
    ImageInfo info;
    if (path.empty() || !info.ReadFile(path.c_str())) {
        Ask(UiText(u"cannotloadexif"), kMbError, kMbOk);
        return;
    }
    if (dialogs.photoInfo)
        dialogs.photoInfo(info, path);
    else
        Ask(UiText(u"notavailable"), kMbInformation, kMbOk);
}
