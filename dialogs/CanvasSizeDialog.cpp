// Canvas size dialog (see the header).
#include "dialogs/CanvasSizeDialog.h"

#include "dialogs/DialogSupport.h"
#include "dialogs/EditorLink.h"
#include "imaging/ColourTables.h"
#include "imaging/Document.h"
#include "imaging/DocumentGeometry.h"
#include "imaging/Draw8.h"
#include "imaging/HistoryStore.h"
#include "ui/ColorPicker.h"
#include "ui/EditField.h"
#include "ui/MessageBox.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cstring>

namespace {

// The grid's cells by row: anchor values.
constexpr int kGrid[3][3] = {{1, 2, 3}, {4, 0, 6}, {5, 8, 7}};

void CellOf(int anchor, int& row, int& column)
{
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            if (kGrid[r][c] == anchor) {
                row = r;
                column = c;
                return;
            }
    row = column = 1;
}

ImageBuffer8* NewImage(int width, int height)
{
    auto* image = new (std::nothrow) ImageBuffer8{};
    if (image && !AllocImage8(*image, width, height)) {
        delete image;
        return nullptr;
    }
    if (image)
        std::memset(image->data, 0, image->byteSize);
    return image;
}

} // namespace

CCavasSizeDlg::CCavasSizeDlg() : m_pickColour(&PickColor) {}

CCavasSizeDlg::~CCavasSizeDlg()
{
    CCavasSizeDlg::ReleaseResources(1);
}

void CCavasSizeDlg::ReleaseResources(int flag)
{
    if (m_anchorBuilt) {
        RemoveChild(&m_anchorPanel);
        m_anchorPanel.ReleaseResources(flag);
        m_anchorBuilt = false;
    }
    if (m_colourBuilt) {
        RemoveChild(&m_colourPanel);
        m_colourPanel.ReleaseResources(flag);
        m_colourBuilt = false;
    }
    CDialogSprite::ReleaseResources(flag);
}

void CCavasSizeDlg::AnchorOffset(int anchor, int64_t dW, int64_t dH, int& x, int& y)
{
    dW = std::max<int64_t>(0, dW);
    dH = std::max<int64_t>(0, dH);
    const int64_t halfW = dW >> 1, halfH = dH >> 1;
    int64_t ox = halfW, oy = halfH;
    switch (anchor) {
    case 1: ox = 0, oy = 0; break;
    case 2: ox = halfW, oy = 0; break;
    case 3: ox = dW, oy = 0; break;
    case 4: ox = 0, oy = halfH; break;
    case 5: ox = 0, oy = dH; break;
    case 6: ox = dW, oy = halfH; break;
    case 7: ox = dW, oy = dH; break;
    case 8: ox = halfW, oy = dH; break;
    default: break;
    }
    x = int(ox);
    y = int(oy);
}

int CCavasSizeDlg::OnInitDialog()
{
    if (!m_document)
        m_document = CurrentEditorDocument();
    if (!m_history)
        m_history = CurrentEditorHistory();
    if (!m_document || m_document->width <= 0 || m_document->height <= 0)
        return 0;
    if (!LoadUiImageStrip(UiImageFolder::Skin, u"Arrow.png", 16, m_icons) &&
        !LoadUiImageStrip(UiImageFolder::Basic, u"Arrow.png", 16, m_icons))
        return 0;
    if (m_icons.size() < 4)
        return 0;
    m_icons.items.resize(4); // frames past the four arrows are not ours
    ImageBuffer8* outline = NewImage(16, 16);
    if (!outline)
        return 0;
    DrawRectOutline8(*outline, 0xC8C8C8, 255, 0, 0, 15, 15);
    m_icons.items.push_back(outline);
    auto* width = dynamic_cast<CEditSprite*>(GetControl(kWidthId));
    auto* height = dynamic_cast<CEditSprite*>(GetControl(kHeightId));
    CSprite* separator = GetControl(kSeparatorId);
    CSprite* label = GetControl(kFillLabelId);
    if (!width || !height || !separator || !label)
        return 0;
    for (CEditSprite* e : {width, height}) {
        e->m_maxLength = 7;
        e->m_filter = CEditSprite::kFilterAllowed;
        std::copy_n(u"0123456789", 11, e->m_allowed);
    }
    if (m_newWidth <= 0 || m_newHeight <= 0) {
        m_newWidth = m_document->width;
        m_newHeight = m_document->height;
    }
    // The canvas only grows.
    BindControl(kWidthId, &m_newWidth, kBindRange, 32768, m_document->width);
    BindControl(kHeightId, &m_newHeight, kBindRange, 32768, m_document->height);

    const SRect s = separator->Rect();
    const int areaLeft = s.left + 10, areaRight = Width() - 10;
    const int left = areaLeft + (areaRight - areaLeft - 75) / 2;
    const int top = s.top + (s.Height() - 75) / 2;
    if (!m_anchorPanel.Create(this, nullptr, kAnchorPanelId, 2, left, top, left + 75, top + 75))
        return 0;
    AddChild(&m_anchorPanel);
    m_anchorBuilt = true;
    m_anchorPanel.m_background.store(0);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            if (!m_anchorPanel.AddItem(kGrid[r][c], 2, u"", u"", nullptr, c * 25, r * 25, (c + 1) * 25, (r + 1) * 25))
                return 0;
    ImageBuffer8* swatch = NewImage(32, 32);
    if (!swatch)
        return 0;
    m_icons.items.push_back(swatch);
    const int cx = s.left / 2 - 20, cy = label->Rect().bottom + 10;
    if (!m_colourPanel.Create(this, nullptr, kColourPanelId, 2, cx, cy, cx + 40, cy + 40))
        return 0;
    AddChild(&m_colourPanel);
    m_colourBuilt = true;
    m_colourPanel.m_background.store(0);
    if (!m_colourPanel.AddItem(kColourItemId, 1, u"", UiText(u"colorpicker"), nullptr, 0, 0, 40, 40))
        return 0;
    UpdateAnchorIcons();
    UpdateColorSwatch();
    UpdateData(0);
    return 1;
}

void CCavasSizeDlg::UpdateAnchorIcons()
{
    if (!m_anchorBuilt || m_icons.size() < 5)
        return;
    for (int id = 0; id < 9; ++id) {
        m_anchorPanel.SetItemIcon(id, m_icons[4]);
        m_anchorPanel.SetItemChecked(id, id == m_anchor);
    }
    int row = 1, column = 1;
    CellOf(m_anchor, row, column);
    // Arrows point away from the anchor: left, up, right, down.
    const int steps[4][3] = {{0, -1, 0}, {-1, 0, 1}, {0, 1, 2}, {1, 0, 3}};
    for (const auto& s : steps) {
        const int r = row + s[0], c = column + s[1];
        if (r >= 0 && r < 3 && c >= 0 && c < 3)
            m_anchorPanel.SetItemIcon(kGrid[r][c], m_icons[size_t(s[2])]);
    }
    m_anchorPanel.SetAllDirty(1);
}

void CCavasSizeDlg::UpdateColorSwatch()
{
    if (!m_colourBuilt || m_icons.size() < 6)
        return;
    ImageBuffer8& s = *m_icons[5];
    std::memset(s.data, 0, s.byteSize);
    DrawRectOutline8(s, 0xE6E6E6, 255, 0, 0, 32, 32);
    uint8_t px[4];
    ConvertPixel16To8(m_fill, px);
    px[3] = 255;
    for (int y = 1; y <= 30; ++y)
        for (int x = 1; x <= 30; ++x)
            std::memcpy(s.data + (size_t(y) * s.width + x) * 4, px, 4);
    m_colourPanel.SetItemIcon(kColourItemId, &s);
    m_colourPanel.SetAllDirty(1);
}

int CCavasSizeDlg::OnSpriteMessage(SpriteMessage* message)
{
    if (message && message->code == MSG_PANEL_CLICK) {
        if (message->sender == &m_anchorPanel && message->param1 >= 0 && message->param1 < 9) {
            m_anchor = int32_t(message->param1);
            UpdateAnchorIcons();
            return 1;
        }
        if (message->sender == &m_colourPanel && message->param1 == kColourItemId) {
            uint16_t colour[4];
            std::memcpy(colour, m_fill, sizeof colour);
            if (m_pickColour && m_pickColour(colour))
                std::memcpy(m_fill, colour, sizeof colour); // a cancelled picker keeps the colour
            UpdateColorSwatch();
            return 1;
        }
    }
    return CDialogSprite::OnSpriteMessage(message);
}

void CCavasSizeDlg::OnOK()
{
    if (!UpdateData(1) || !m_document)
        return;
    if (int64_t(m_newWidth) * int64_t(m_newHeight) > kMaxPixels) {
        DialogMessage(u"errmem", kMbInformation, kMbOk);
        return;
    }
    int x = 0, y = 0;
    AnchorOffset(m_anchor, int64_t(m_newWidth) - m_document->width, int64_t(m_newHeight) - m_document->height, x, y);
    const uint64_t fill = MakePixel64(m_fill[0], m_fill[1], m_fill[2], m_fill[3]);
    // The old document is kept until the step is written, so a failed step can be taken back.
    CZDDoc before;
    const bool changes = m_newWidth != m_document->width || m_newHeight != m_document->height;
    if (changes && !before.CopyFrom(*m_document)) {
        DialogMessage(u"unexpect", kMbInformation, kMbOk);
        return;
    }
    if (!ResizeCanvas(*m_document, m_newWidth, m_newHeight, x, y, fill)) {
        DialogMessage(u"unexpect", kMbInformation, kMbOk);
        return;
    }
    m_document->modified = 1;
    if (!m_history || !m_history->AddStep(kHistoryDocument, 0, UiText(u"hisCavasSize"), false, 0, nullptr, 0)) {
        if (changes) {
            platform::ScopedLock guard(m_document->lock);
            m_document->CopyFrom(before);
        }
        DialogMessage(u"unexpect", kMbInformation, kMbOk);
        return;
    }
    UpdateData(1);
    SetResult(1);
}
