// Canvas size (template 143): the canvas grows to a typed width and height, the old picture kept
// at one of nine anchor cells, the added border in a chosen colour. No worker: OK resizes the
// document on the UI thread and records a whole-document step without record. Sizes above
// 30,000,000 pixels are refused as image size refuses them.
#pragma once

#include "imaging/ImageBuffer.h"
#include "ui/DialogSprite.h"
#include "ui/Panel.h"

#include <functional>

class CZDDoc;
class HistoryStore;

class CCavasSizeDlg : public CDialogSprite {
public:
    static constexpr int kTemplateId = 143;
    static constexpr int32_t kWidthId = 1001, kHeightId = 1002, kFillLabelId = 1063, kSeparatorId = 1057;
    static constexpr int32_t kAnchorPanelId = 9999, kColourPanelId = 9998, kColourItemId = 100;
    static constexpr int64_t kMaxPixels = 30000000;

    CCavasSizeDlg();
    ~CCavasSizeDlg() override;

    int OnSpriteMessage(SpriteMessage* message) override;
    int OnInitDialog() override;
    void OnOK() override;
    void ReleaseResources(int flag) override;

    void UpdateAnchorIcons();
    void UpdateColorSwatch();
    // Where the old picture stands in the new canvas for the anchor.
    static void AnchorOffset(int anchor, int64_t dW, int64_t dH, int& x, int& y);

    bool JobInFlight() const { return false; } // no worker: for callers that wait on dialogs
    CPanelSprite& AnchorPanel() { return m_anchorPanel; }
    CPanelSprite& ColourPanel() { return m_colourPanel; }
    const ImageList8& Icons() const { return m_icons; }

    int32_t m_newWidth = 0;
    int32_t m_newHeight = 0;
    int32_t m_anchor = 0;
    uint16_t m_fill[4] = {0, 0, 0, 0xFFFF};
    CZDDoc* m_document = nullptr;     // set by the opener (the current editor document without one)
    HistoryStore* m_history = nullptr; // likewise
    std::function<int(uint16_t colour[4])> m_pickColour;

private:
    CPanelSprite m_anchorPanel;
    CPanelSprite m_colourPanel;
    ImageList8 m_icons;
    bool m_anchorBuilt = false;
    bool m_colourBuilt = false;
};
