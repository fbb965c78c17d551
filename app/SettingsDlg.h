// The two small modal surfaces of the main window: the settings dialog (four general options,
// stored in the user's settings on OK only) and the about box (the skin's about picture with the
// version line; it closes on the first click or key after a short guard time).
#pragma once

#include "platform/Text.h"
#include "ui/DialogSprite.h"

#include <cstdint>
#include <functional>

class CSettingsDlg : public CDialogSprite {
public:
    static constexpr int32_t kTemplateId = 208;
    static constexpr int32_t kAnimationId = 1219, kWizardId = 1220, kFilmId = 1221, kDoubleClickId = 1229;

    // Reads the current values and binds them to the check boxes.
    int OnInitDialog() override;

    int32_t animation = 0;
    int32_t autoWizard = 1;
    int32_t filmForRaw = 1;
    int32_t doubleClickForEdit = 0;
};

// Runs the dialog from template 208 of the program's dialog folder (or `dialogFolder`), centred
// in the window. On OK: g_bAnimation, then Editor\AutoWizard, Program\Animation,
// Editor\FilmForRAW and Editor\DbClickForEdit are written. The dialog's result (1 OK, 2 Cancel),
// or 0 when it cannot be shown. `beforeRun` sees the built dialog before its loop starts (tests
// queue their clicks there).
int ShowSettingsDialog(const platform::String16& dialogFolder = {},
                       const std::function<void(CSettingsDlg&)>& beforeRun = {});
