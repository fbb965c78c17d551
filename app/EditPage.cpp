#include "app/EditPage.h"

#include "imaging/ColourTables.h"
#include "imaging/Draw8.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "imaging/DocumentGeometry.h"
#include "ui/MessageBox.h"
#include "ui/RenderWindow.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

namespace {

constexpr int kButtonBand = 34;
constexpr int kPreviewSide = 160;

} // namespace

int BuildPreviewImage(const ImageBuffer16& composite, int maxSide, ImageBuffer8& out)
{
    FreeImageBuffer(out);
    if (!composite.data || composite.width <= 0 || composite.height <= 0 || maxSide <= 0)
        return 0;
    const int longer = std::max(composite.width, composite.height);
    const int w = std::max(1, int(int64_t(composite.width) * std::min(maxSide, longer) / longer));
    const int h = std::max(1, int(int64_t(composite.height) * std::min(maxSide, longer) / longer));
    if (!AllocImage8(out, w, h))
        return 0;
    // Nearest sample: a hover picture, not a print.
    for (int y = 0; y < h; ++y) {
        const uint16_t* row = composite.data + size_t(int64_t(y) * composite.height / h) * composite.width * 4;
        uint8_t* o = out.data + size_t(y) * w * 4;
        for (int x = 0; x < w; ++x) {
            const uint16_t* p = row + size_t(int64_t(x) * composite.width / w) * 4;
            o[x * 4] = SrgbEncodeTable[p[0]];
            o[x * 4 + 1] = SrgbEncodeTable[p[1]];
            o[x * 4 + 2] = SrgbEncodeTable[p[2]];
            o[x * 4 + 3] = 255;
        }
    }
    return 1;
}

CSEditPage::CSEditPage(const char16_t* caption)
    : CSTabPage(caption)
{
    SetFlags(Flags() | SF_INPUT | SF_EDITPAGE);
    history.current = -1;
    history.document = nullptr;
    history.listSprite = nullptr;
    history.accumulatedChange = 0;
}

CSEditPage::~CSEditPage()
{
    if (m_window)
        m_window->RemoveAccelerators(this);
    // The view and the buttons are members: out of the child list before the base's release.
    for (CSprite* child : {static_cast<CSprite*>(&m_view), static_cast<CSprite*>(&m_rotateLeft),
                           static_cast<CSprite*>(&m_rotateRight), static_cast<CSprite*>(&m_undo),
                           static_cast<CSprite*>(&m_redo), static_cast<CSprite*>(&m_apply)})
        RemoveChild(child);
    history.Clear();
    // The view points at the composites: forget them before they go.
    m_view.SetImage16(nullptr, nullptr);
    FreeImageBuffer(m_composite[0]);
    FreeImageBuffer(m_composite[1]);
    FreeImageBuffer(preview);
}

int CSEditPage::SetUp()
{
    if (!history.Init(&document))
        return 0;
    history.listSprite = this;
    return 1;
}

int CSEditPage::OnCreate()
{
    const int w = std::max(Width(), 100), h = std::max(Height(), 100);
    if (!m_view.Create(this, nullptr, 20, 1, 0, kButtonBand, w, h))
        return 0;
    AddChild(&m_view);
    struct Spec { CSButton& button; int32_t id; const char16_t* key; };
    const Spec specs[] = {{m_rotateLeft, kRotateLeftButton, u"menuRotateLeft"},
                          {m_rotateRight, kRotateRightButton, u"menuRotateRight"},
                          {m_undo, kUndoButton, u"Undo"},
                          {m_redo, kRedoButton, u"Redo"}};
    int x = 4;
    for (const Spec& s : specs) {
        if (!s.button.Create(this, nullptr, s.id, 1, x, 4, x + 110, 30))
            return 0;
        const char16_t* caption = s.id == kRotateLeftButton ? UiText(u"menuRotateLeft")
                                  : s.id == kRotateRightButton ? UiText(u"menuRotateRight")
                                  : s.id == kUndoButton ? UiText(u"Undo")
                                                        : UiText(u"Redo");
        if (!s.button.Setup(caption, nullptr, 0, x, 4, x + 110, 30))
            return 0;
        AddChild(&s.button);
        x += 116;
    }
    // Host mode: Apply hands the picture back to the host program.
    if (hostMode) {
        if (!m_apply.Create(this, nullptr, kApplyButton, 1, x, 4, x + 110, 30) ||
            !m_apply.Setup(UiText(u"pluginapply"), nullptr, 0, x, 4, x + 110, 30))
            return 0;
        AddChild(&m_apply);
    }
    // Ctrl+Z, Ctrl+Y and the turns: only the shown page's keys fire.
    if (m_window) {
        m_window->AddAccelerator(this, 'Z', 0, 1);
        m_window->AddAccelerator(this, 'Y', 0, 1);
        m_window->AddAccelerator(this, 'R', 0, 1);
        m_window->AddAccelerator(this, 'R', 1, 1);
    }
    return 1;
}

void CSEditPage::LayoutButtons()
{
    const int canUndo = history.current > 0 ? 1 : 0;
    const int canRedo = history.current >= 0 && size_t(history.current) + 1 < history.steps.size() ? 1 : 0;
    for (auto [button, enabled] : {std::pair{&m_undo, canUndo}, std::pair{&m_redo, canRedo}})
        if (button->Enabled() != enabled) {
            button->SetEnabled(enabled);
            button->SetAllDirty(1);
        }
}

void CSEditPage::SetPos(int x, int y, int width, int height)
{
    CSTabPage::SetPos(x, y, width, height);
    m_view.SetPos(0, kButtonBand, width, std::max(1, height - kButtonBand));
    m_view.FitToView();
}

int CSEditPage::OnDraw(uint32_t)
{
    if (!AllDirty() || !m_image.data)
        return 0;
    const int w = m_image.width;
    FillRect8(m_image, {0, 0, w, m_image.height}, 0x1E1E1E, 255);
    FillRect8(m_image, {0, kButtonBand - 1, w, kButtonBand}, 0x333333, 255);
    InvalidateRect(0, 0, 0, 0, 1);
    return 1;
}

uint64_t DocumentChecksum(const CZDDoc& doc)
{
    uint64_t h = 1469598103934665603ull;
    auto mix = [&h](const void* data, size_t n) {
        const uint8_t* p = static_cast<const uint8_t*>(data);
        for (size_t i = 0; i < n; ++i)
            h = (h ^ p[i]) * 1099511628211ull;
    };
    std::lock_guard guard(doc.lock);
    mix(&doc.width, sizeof doc.width);
    mix(&doc.height, sizeof doc.height);
    for (const auto& layer : doc.layers)
        if (layer->pixels.data)
            mix(layer->pixels.data, size_t(layer->pixels.width) * layer->pixels.height * 8);
    return h;
}

void CSEditPage::ShowDocument()
{
    // Test hook: ZENDRA_REPORT_PIXELS=1 prints what each tab shows, so a test can compare the
    // exact pixels across runs (a screenshot is scaled and cannot prove that).
    if (std::getenv("ZENDRA_REPORT_PIXELS")) {
        std::printf("zendra: tab %s %dx%d %016llx\n", platform::Utf16ToUtf8(filePath).c_str(), document.width,
                    document.height, (unsigned long long)DocumentChecksum(document));
        std::fflush(stdout);
    }
    // One plain opaque layer over the whole canvas is its own composite: shown as it is, with
    // no canvas-size copy. The layer changes only under the render lock, as the view reads it.
    if (const ImageBuffer16* plain = PlainLayer()) {
        m_view.SetImage16(plain, nullptr);
        m_shown = plain;
        FreeImageBuffer(m_composite[0]);
        FreeImageBuffer(m_composite[1]);
        BuildPreview(*plain);
        LayoutButtons();
        Invalidate();
        return;
    }
    ImageBuffer16& next = m_composite[m_next];
    FreeImageBuffer(next);
    if (!document.Flatten(next, 0xFFFF000000000000ull)) {
        m_view.SetImage16(nullptr, nullptr);
        m_shown = nullptr;
        return;
    }
    m_view.SetImage16(&next, nullptr);
    m_shown = &next;
    m_next ^= 1;
    // The other buffer is no longer shown: free it now rather than hold two pictures.
    FreeImageBuffer(m_composite[m_next]);
    BuildPreview(next);
    LayoutButtons();
    Invalidate();
}

const ImageBuffer16* CSEditPage::PlainLayer() const
{
    if (document.LayerCount() != 1)
        return nullptr;
    const CZDLayer* layer = document.GetLayer(0);
    const ImageBuffer16& p = layer->pixels;
    if (!p.data || !layer->visible || layer->opacity != 255 || layer->blendMode != kBlendNormal || layer->x != 0 ||
        layer->y != 0 || p.width != document.width || p.height != document.height)
        return nullptr;
    const size_t count = size_t(p.width) * p.height;
    for (size_t i = 0; i < count; ++i)
        if (p.data[i * 4 + 3] != 0xFFFF)
            return nullptr;
    return &p;
}

void CSEditPage::BuildPreview(const ImageBuffer16& composite)
{
    ImageBuffer8 fresh;
    if (!BuildPreviewImage(composite, kPreviewSide, fresh))
        return;
    FreeImageBuffer(preview);
    preview = fresh;
}

void CSEditPage::Refresh()
{
    ShowDocument();
}

void CSEditPage::DetachView()
{
    // The view may show a layer itself: a step that replaces the layers must not leave it
    // pointing at a freed one between the change and the next ShowDocument.
    if (m_shown && m_shown != &m_composite[0] && m_shown != &m_composite[1]) {
        m_view.SetImage16(nullptr, nullptr);
        m_shown = nullptr;
    }
}

int CSEditPage::Rotate(bool right)
{
    if (document.LayerCount() == 0)
        return 0;
    DetachView();
    int turned;
    {
        RenderWindowLockScope renderLock;
        turned = right ? RotateDocumentRight(document) : RotateDocumentLeft(document);
    }
    if (!turned) {
        ShowDocument();
        return 0;
    }
    document.modified = 1;
    const char16_t* name = UiText(right ? u"hisRR" : u"hisRL");
    // The step holds the whole turned document (and shows it); a failed write leaves the turn
    // without undo, so it is taken back.
    if (history.AddStep(kHistoryDocument, -1, name, false, 0, nullptr, 0))
        return 1;
    {
        RenderWindowLockScope renderLock;
        right ? RotateDocumentLeft(document) : RotateDocumentRight(document);
    }
    ShowDocument();
    return 0;
}

int CSEditPage::Undo()
{
    if (history.current <= 0)
        return 0;
    return WalkHistory(history.current - 1);
}

int CSEditPage::Redo()
{
    if (history.current < 0 || size_t(history.current) + 1 >= history.steps.size())
        return 0;
    return WalkHistory(history.current + 1);
}

int CSEditPage::WalkHistory(int step)
{
    DetachView();
    // The crash-status file before the screen, as a new step does it: what the user sees is
    // never newer than what a crash keeps.
    history.listSprite = nullptr;
    const int ok = history.GoToStep(step, true);
    history.listSprite = this;
    if (ok && TheDocumentUi().crashStatus)
        TheDocumentUi().crashStatus->WriteCrashStatus();
    ShowDocument();
    return ok;
}

int CSEditPage::AdoptHistory(const std::u16string& dataPath, std::vector<HistoryStep> steps)
{
    if (steps.empty())
        return 0;
    const std::u16string own(history.path, platform::TextLength(history.path, 512));
    std::vector<HistoryStep> ownSteps = std::move(history.steps);
    const int32_t ownCurrent = history.current;
    history.Release();
    if (!history.Reopen(&document, dataPath)) {
        history.Reopen(&document, own);
        history.steps = std::move(ownSteps);
        history.current = ownCurrent;
        return 0;
    }
    history.steps = std::move(steps);
    history.current = int32_t(history.steps.size()) - 1;
    history.accumulatedChange = 0;
    history.listSprite = this;
    platform::DeleteFile(own);
    // Nothing of it is on disk where the photo is: the close asks before it is lost.
    m_savedStep = -1;
    document.modified = 1;
    Refresh();
    return 1;
}

void CSEditPage::OnKeyDown(uint32_t key, uint32_t, uint32_t)
{
    platform::Window* window = m_window ? m_window->PlatformWindow() : nullptr;
    const bool shift = window && window->IsKeyDown(platform::vk::Shift);
    // The page's keys are Ctrl+R, Ctrl+Shift+R, Ctrl+Z and Ctrl+Y: a plain letter typed while the
    // page has the focus (a "y" meant for a question) must not turn or walk the photo.
    if (!window || !window->IsKeyDown(platform::vk::Control))
        return;
    switch (key) {
    case 'Z':
        Undo();
        break;
    case 'Y':
        Redo();
        break;
    case 'R':
        Rotate(!shift);
        break;
    default:
        break;
    }
}

int CSEditPage::OnSpriteMessage(SpriteMessage* m)
{
    if (m && m->code == MSG_COMMAND) {
        switch (m->param1) {
        case kRotateLeftButton:
            Rotate(false);
            break;
        case kRotateRightButton:
            Rotate(true);
            break;
        case kUndoButton:
            Undo();
            break;
        case kRedoButton:
            Redo();
            break;
        case kApplyButton:
            ApplyToHost();
            break;
        default:
            break;
        }
    }
    return CSTabPage::OnSpriteMessage(m);
}

int CSEditPage::QueryClose()
{
    if (!Modified())
        return 1;
    std::printf("zendra: asking to close unsaved %s\n", platform::Utf16ToUtf8(filePath).c_str());
    std::fflush(stdout);
    const char16_t* text = UiText(u"closeUnsaved");
    const int answer = messageBox ? messageBox(text, kMbQuestion, kMbYesNo) : SpriteMessageBox(text, kMbQuestion, kMbYesNo);
    // Only a seen Yes closes: a box that could not be shown answered nothing.
    return answer == 6 ? 1 : 0;
}

int CSEditPage::ApplyToHost()
{
    if (!hostMode || !returnToHost)
        return 0;
    return returnToHost(*this);
}

void CSEditPage::ReleaseResources(int flag)
{
    // The members are not owned through the child list.
    RemoveChild(&m_view);
    RemoveChild(&m_rotateLeft);
    RemoveChild(&m_rotateRight);
    RemoveChild(&m_undo);
    RemoveChild(&m_redo);
    RemoveChild(&m_apply);
    m_apply.ReleaseResources(flag);
    m_view.ReleaseResources(flag);
    m_rotateLeft.ReleaseResources(flag);
    m_rotateRight.ReleaseResources(flag);
    m_undo.ReleaseResources(flag);
    m_redo.ReleaseResources(flag);
    CSTabPage::ReleaseResources(flag);
}
