// The rows of the editor's dialog commands (see the header). A dialog adds one row: its command
// id and a function that builds, runs and destroys it on the stack.
#include "dialogs/Launchers.h"

#include "dialogs/BrightnessContrastDialog.h"
#include "dialogs/ColorMixerDialog.h"
#include "dialogs/CurveDialog.h"
#include "dialogs/DialogSupport.h"
#include "dialogs/EditorLink.h"
#include "dialogs/FilmFilterDialog.h"
#include "dialogs/ThresholdDialog.h"
// tone and colour dialogs
#include "dialogs/ColorAdjustDialog.h"
#include "dialogs/GradientDialog.h"
#include "dialogs/HsbCurveDialog.h"
#include "dialogs/ToneMakerDialog.h"
// variant dialogs
#include "dialogs/CompareDialog.h"
#include "dialogs/VisualDialog.h"
// filter and geometry dialogs
#include "dialogs/BlurDialogs.h"
#include "dialogs/CanvasSizeDialog.h"
#include "dialogs/ImageSizeDialog.h"
#include "dialogs/SharpenDialog.h"

#include <vector>

namespace {

// Builds the dialog on the stack from its template, runs it and destroys it: its result, 0 when it
// could not be opened.
template <class Dialog>
int RunDialog(int /*mode*/)
{
    Dialog dialog;
    if (!CreateDialogFromTemplate(dialog, Dialog::kTemplateId))
        return 0;
    return dialog.DoModal();
}

// The visual variants open on the page the command names: 0 tone, 1 colour.
int RunVisualDialog(int mode)
{
    CVisualDlg dialog;
    dialog.m_page.store(mode == 1 ? 1 : 0);
    if (!CreateDialogFromTemplate(dialog, CVisualDlg::kTemplateId))
        return 0;
    return dialog.DoModal();
}

struct LauncherRow {
    int id;
    int (*run)(int mode);
};

// One row per dialog command; the table is short and looked up once per command.
const std::vector<LauncherRow>& Rows()
{
    static const std::vector<LauncherRow> rows = {
        {11004, &RunDialog<CBrightnessContrastDlg>},
        {11005, &RunDialog<CCurveDlg>},
        {11006, &RunDialog<CThresholdDlg>},
        {11007, &RunDialog<CFilmFilter>},
        {12006, &RunDialog<CColorMixerDlg>},
        // tone and colour dialogs
        {12004, &RunDialog<CHSBCurveDlg>},
        {12007, &RunDialog<CToneMakerDlg>},
        {12008, &RunDialog<CColorAdjDlg>},
        {13012, &RunDialog<CGradientDlg>},
        // variant dialogs
        {11000, &RunVisualDialog},
        {12002, &RunVisualDialog},
        {12005, &RunDialog<CColorEnhanceDlg>},
        // filter and geometry dialogs
        {13005, &RunSharpenDialog},
        {13008, &RunDialog<CAdvBlurDlg>},
        {13010, &RunDialog<CDiffuseDlg>},
        {13011, &RunDialog<CStarlightDlg>},
        {10009, &RunDialog<CImageSizeDlg>},
        {10010, &RunDialog<CCavasSizeDlg>},
    };
    return rows;
}

const LauncherRow* FindRow(int id)
{
    for (const LauncherRow& row : Rows())
        if (row.id == id)
            return &row;
    return nullptr;
}

} // namespace

bool HasEditorDialog(int id) { return FindRow(id) != nullptr; }

int RunEditorDialog(int id, int mode)
{
    const LauncherRow* row = FindRow(id);
    if (!row)
        return -1;
    EndActiveEditorTool();
    return row->run(mode);
}
