// The compare dialog (template 160, over the page): the current layer and three variants of it,
// computed one after the other on a reduced copy, side by side in four picture views that zoom
// and pan together; OK computes the chosen variant once more on the layer. Its one form is the
// vivid-colour command's CColorEnhanceDlg.
//
// Jobs, event by event:
//   opening (run request)          -> RunVariant(1) on copy 0 (job 1)
//   job 1 or 2 done                -> view redrawn, RunVariant(job + 1) unless OK was pressed
//   job 3 done                     -> view 3 redrawn
//   OK, view 1..3 chosen           -> OK disabled, the chain settled, RunVariant(5) on the layer
//   job 5 done, success            -> the result into the layer, CommitVariant, result 1
//   job 5 done, failure            -> layer untouched, "algorithmerror", OK enabled again
//   OK, view 0 chosen              -> as Cancel
// The worker writes a variant into a picture of its own; the UI thread copies it into the view's
// copy under the view's lock, so a view never draws a picture the worker is writing.
#pragma once

#include "algorithms/ColorMixer.h"
#include "algorithms/FilmAdjust.h"
#include "algorithms/ToneMaker.h"
#include "dialogs/AlgorithmDialog.h"
#include "ui/Overlay.h"
#include "ui/PictureView.h"

class CCompareDlg : public CAlgorithmDialog {
public:
    static constexpr int kTemplateId = 160;
    static constexpr int32_t kFirstViewId = 9990, kCheckMarkId = 9995;
    static constexpr int kReducedSide = 1280;
    static constexpr int kViews = 4;

    CCompareDlg();
    ~CCompareDlg() override;

    int OnSpriteMessage(SpriteMessage* message) override;
    int OnInitDialog() override;
    void OnOK() override;
    void StartJob() override;
    void OnJobDone(int jobId, int result) override;
    void ReleaseResources(int flag) override;

    // Starts step 1, 2, 3 (a variant on copy 0) or 5 (the chosen one on the layer).
    virtual void RunVariant(int /*step*/) {}
    // Records the applied variant and ends the dialog.
    virtual void CommitVariant() {}

    // The size the copies take for a w x h layer: the longer side at most kReducedSide, the other
    // in proportion and never below 1.
    static void ReducedSize(int width, int height, int& reducedWidth, int& reducedHeight);
    int MakeCopies();
    void PlaceCheckMark();
    void Choose(int view);

    int Chosen() const { return m_chosen; }
    CSPicView& View(int i) { return m_views[i]; }
    const ImageBuffer16& Copy(int i) const { return m_copies[i]; }
    CSOverlay& CheckMark() { return m_checkMark; }
    bool FinalRunning() const { return m_finalRun; }

protected:
    // The texts of the four views (string-table keys).
    virtual const char16_t* ViewKey(int view) const;
    // The variant job that writes into m_variantOut; its completion copies it into copy `job`.
    void StartVariantJob(CAlgorithm* algorithm, const void* record, size_t size, int job);
    void StartFinalJob(CAlgorithm* algorithm, const void* record, size_t size);
    // The bound document's current picture; null without one.
    ImageBuffer16* LayerPicture();

    CSPicView m_views[kViews];
    ImageBuffer16 m_copies[kViews] = {};
    ImageBuffer16 m_result{};
    ImageBuffer16 m_variantOut{}; // the worker's destination of variants 1..3
    CSOverlay m_checkMark;
    ImageBuffer8 m_checkPicture{};
    int32_t m_chosen = 0;
    bool m_finalRun = false; // OK pressed: the chain stops, job 5 runs or waits to run
    bool m_viewsBuilt = false;
    bool m_checkBuilt = false;
};

class CColorEnhanceDlg : public CCompareDlg {
public:
    void RunVariant(int step) override;
    void CommitVariant() override;

    FilmAdjustParams m_filmParams;
    ColorAdjustParams m_colourParams;
    ColorContrastParams m_contrastParams;

private:
    // The record of view 1..3 as it is shown; false for another view.
    bool Variant(int view, CAlgorithm*& algorithm, const void*& record, size_t& size);

    CAFilmAdjust m_film;
    CColorAdjust m_colour;
    CColorContrast m_contrast;
};
