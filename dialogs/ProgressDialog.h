// The progress box: a 300 x 70 box with a bar that runs one algorithm on one picture modally,
// for the editor's one-click commands and tools and the album's multi-photo commands.
#pragma once

#include "dialogs/AlgorithmDialog.h"

class CProgDlg : public CAlgorithmDialog {
public:
    static constexpr int kTemplateId = 160;

    // The algorithm and parameters stay the caller's; a null picture means the current layer's
    // picture of the current editor page.
    CProgDlg(CAlgorithm* algorithm, const void* parameters, const char16_t* caption, ImageBuffer16* picture);
    ~CProgDlg() override;

    int OnInitDialog() override;
    void OnCancel() override;
    void StartJob() override;
    void OnJobDone(int jobId, int result) override;
    // Limits the change to a document-sized mask (the selection).
    void RestrictToSelection(const Plane8& mask);

    ImageBuffer16* Target() const { return m_target; }
    const ImageBuffer16& Backup() const { return m_backup; }

private:
    void RestoreTarget();

    CAlgorithm* m_algorithm;
    const void* m_parameters;
    const char16_t* m_captionText;
    ImageBuffer16* m_requested;
    ImageBuffer16 m_backup{};
    ImageBuffer16* m_target = nullptr;
};

// Runs the algorithm in a progress box from template 160 -> 1 when it succeeded (the picture
// holds the result, changed only inside a selection of the document, and the document is marked
// modified), else 0 (picture unchanged, also when the box could not be made). The caller records
// its own history step.
int RunAlgorithmWithProgress(CAlgorithm* algorithm, const void* parameters, const char16_t* caption,
                             ImageBuffer16* picture);
