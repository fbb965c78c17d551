// Image size (template 152): the whole document resampled to a typed width and height, linked by
// the aspect ratio when asked, with one of five methods; the smart method shows a details column.
// No preview: OK runs one job on the worker and records a whole-document step 12 whose 40-byte
// record holds no document reference (offsets 16 and 36 are 0).
#pragma once

#include "algorithms/ImageSize.h"
#include "dialogs/AlgorithmDialog.h"
#include "ui/Button.h"
#include "ui/EditField.h"
#include "ui/Menu.h"

class CImageSizeDlg : public CAlgorithmDialog {
public:
    static constexpr int kTemplateId = 152;
    static constexpr uint16_t kStepId = SchemeStepImageSize;
    static constexpr int32_t kWidthId = 1001, kHeightId = 1002, kKeepId = 1011, kMethodId = 1069,
                             kSeparatorId = 1057, kClearEdgeId = 1076, kDetailsId = 1071, kSharpenId = 1072;
    static constexpr int32_t kMenuId = 200;
    static constexpr int64_t kMaxPixels = 30000000;

    CImageSizeDlg();
    ~CImageSizeDlg() override;

    int OnSpriteMessage(SpriteMessage* message) override;
    int OnInitDialog() override;
    void OnOK() override;
    void SetInitialFocus() override;
    void StartJob() override;
    void OnJobDone(int jobId, int result) override;
    // The bar under the method button only while the resize runs.
    void DrawProgress() override;
    void ReleaseResources(int flag) override;

    void SetMethod(int method);
    void ShowMethodMenu();
    // The stored record of the last run (or of the controls before it).
    const ImageSizeParams& Params() const { return m_params; }
    CSMenu& MethodMenu() { return m_menu; }
    SRect FullRect() const { return m_fullRect; }
    bool FinalStarted() const { return m_finalStarted; }

    int32_t m_method = ResizeSmartMethod;
    uint32_t m_details = 75;
    uint32_t m_sharpen = 35;
    uint32_t m_clearEdge = 1;
    int32_t m_newWidth = 0;
    int32_t m_newHeight = 0;
    double m_aspect = 1;
    uint32_t m_keepProportion = 1;
    CImageSize m_resize;

private:
    void LinkSize(CEditSprite* from);
    void PlaceClose();

    CEditSprite* m_widthEdit = nullptr;
    CEditSprite* m_heightEdit = nullptr;
    CSButton* m_methodButton = nullptr;
    CSMenu m_menu;
    SRect m_fullRect{};
    ImageSizeParams m_params;
    bool m_menuBuilt = false;
    bool m_finalStarted = false;
};
