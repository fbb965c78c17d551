// The base of every adjustment and filter dialog that previews its algorithm live on the current
// layer: before and after views in four modes (or the canvas alone), a blend mode and opacity,
// a mask (the selection or a saved mask), Apply, OK with a history step, Cancel back to the
// picture the dialog opened on, also after Apply.
//
// Pictures: the backup is the picture before the current preview; the target is the layer's own
// picture. A preview job reads the backup and writes the dialog's work picture; its completion
// (on the UI thread) blends and masks the work picture into the target in one pass, under the
// after view's lock, so the render thread never draws a picture the worker is writing and the
// layer only ever holds whole results.
//
// Apply writes the opening picture once, losslessly, to a temporary file; Cancel reads it back
// (the backup, the state after the last Apply, when the file cannot be read).
#pragma once

#include "algorithms/SchemeSteps.h"
#include "dialogs/AlgorithmDialog.h"
#include "ui/Menu.h"
#include "ui/Panel.h"
#include "ui/PictureView.h"

#include <string>
#include <vector>

class CZDLayer;

// View modes; panel button 10001 + mode.
enum FilterViewMode : int {
    kViewBefore = 0,
    kViewAfter = 1,
    kViewSideBySide = 2, // before left, after right
    kViewAboveBelow = 3, // before above, after below
    kViewCanvas = 4,     // no views: the dialog shrinks to its column, the canvas shows the result
};

class CFilterDialog : public CAlgorithmDialog {
public:
    static constexpr int32_t kPanelId = 10000;
    static constexpr int32_t kViewButtonFirst = 10001; // 10001..10005 the view modes
    static constexpr int32_t kBlendButtonId = 10006;
    static constexpr int32_t kMaskButtonId = 10007;
    static constexpr int32_t kBeforeViewId = 10011;
    static constexpr int32_t kAfterViewId = 10012;
    static constexpr int32_t kMaskMenuId = 10013;
    static constexpr int32_t kApplyId = 1049;
    static constexpr int32_t kMaskWholePicture = 100;
    static constexpr int32_t kMaskSelection = 101;
    static constexpr int32_t kMaskSavedFirst = 9001;
    static constexpr int kMaxMenuMasks = 98; // ids 9001..9098
    static constexpr int kBlendTemplateId = 192;

    CFilterDialog();
    ~CFilterDialog() override;

    int OnDraw(uint32_t time) override;
    int OnSpriteMessage(SpriteMessage* message) override;
    int OnInitDialog() override;
    void OnCancel() override;
    void OnOK() override;
    void ReleaseResources(int flag) override;
    // The colour picker's cursor over the views while picking.
    int OnSetCursor(int x, int y) override;

    // Empty hook of Apply, for subclasses.
    virtual void OnApplied() {}
    // The current result becomes the new "before"; the first Apply keeps the opening picture in
    // the temporary file. 1 when applied.
    virtual int Apply();

    int BindDocument(CZDDoc* document);
    // The run request of the base under the name the subclasses know.
    void RestartPreview() { RequestRun(); }
    void SetViewMode(int mode);
    // Picking a colour from the picture: the before view shows while it is armed, the earlier
    // view mode comes back after.
    void SetPickMode(bool armed);
    int PickMode() const { return m_pickMode; }
    void ShowBlendDialog();
    void ShowMaskMenu();
    // -2 nothing marked, -1 the selection, n saved mask n.
    void BuildMaskMenu(int marked, CZDDoc* document);
    // Records the OK step: with the id and record only for a pure result (no mask, no Apply,
    // blend mode normal, opacity 100), else without both. The record is the stored form.
    void RecordHistoryStep(const char16_t* historyKey, uint16_t stepId, const void* record, size_t size);
    // The same with the record in its stored form (WriteSchemeStep); a record that cannot be
    // written makes a step without it.
    void RecordHistoryStep(const char16_t* historyKey, uint16_t stepId, const SchemeStepRecord& record);
    bool PureResult() const;

    // ---- state for subclasses, owners and tests ----
    ImageBuffer16& BackupImage() { return m_backup; }
    ImageBuffer16* TargetImage() const { return m_target; }
    const Plane8* Mask() const { return m_mask; }
    int SavedMaskIndex() const { return m_savedMaskIndex; }
    int ViewMode() const { return m_viewMode; }
    int Applied() const { return m_applied; }
    const std::u16string& TempFileName() const { return m_tempFile; }
    int ColumnWidth() const { return m_columnWidth; }
    int ColumnHeight() const { return m_columnHeight; }
    SRect ViewRect() const { return m_viewRect; }
    CPanelSprite& ViewPanel() { return m_panel; }
    CSPicView& BeforeView() { return m_beforeView; }
    CSPicView& AfterView() { return m_afterView; }
    CSMenu& MaskMenu() { return m_maskMenu; }
    const ImageList8& ViewIcons() const { return m_viewIcons; }

    uint16_t m_blendMode = 0;
    uint16_t m_opacity = 100;

protected:
    // Job 0: the algorithm reads the backup and writes the work picture, with a copy of the
    // record (paramBytes bytes; 0 hands the pointer over as it is). Nothing without a target.
    void StartPreviewJob(CAlgorithm* algorithm, const void* params, size_t paramBytes);
    void OnJobFinished(int jobId, int result) override;
    // Cancels a job of ours and waits for the worker; its completion is then dropped.
    void StopJob();
    // Writes the target on the UI thread while neither the after view nor the canvas reads it.
    template <class Fn>
    void ChangeTarget(Fn&& change);
    void MarkEditorModified();

    static constexpr int kPickerCursor = 164;
    int32_t m_pickMode = 0;
    int32_t m_savedViewMode = kViewAfter;

private:
    void PlaceButtons();
    int BuildPanel(bool editorActive);
    void UpdateMaskIcon();
    void SetMaskCommand(int32_t id);
    void DrawSeparators();
    CZDLayer* TargetLayer() const;
    void RemoveTempFile();

    int32_t m_columnWidth = 0;
    int32_t m_columnHeight = 0;
    CPanelSprite m_panel;
    CSPicView m_beforeView;
    CSPicView m_afterView;
    SRect m_viewRect{};
    ImageList8 m_viewIcons;
    int32_t m_viewMode = -1;
    std::u16string m_tempFile;
    int32_t m_applied = 0;
    ImageBuffer16 m_backup{};
    ImageBuffer16 m_work{};
    ImageBuffer16* m_target = nullptr;
    const Plane8* m_mask = nullptr;
    CSMenu m_maskMenu;
    int32_t m_savedMaskIndex = -1;
    Plane8 m_savedMaskPlane{};
    bool m_targetChanged = false; // the target differs from the backup
    bool m_panelBuilt = false;
    bool m_viewsBuilt = false;
};
