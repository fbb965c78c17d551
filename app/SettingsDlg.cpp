#include "app/SettingsDlg.h"

#include "ui/Registry.h"
#include "platform/DialogTemplate.h"
#include "platform/Folders.h"
#include "platform/Path.h"
#include "ui/UiSeams.h"

#include <memory>

int CSettingsDlg::OnInitDialog()
{
    animation = g_bAnimation.load() ? 1 : 0;
    autoWizard = ReadRegistryDword(u"Editor", u"AutoWizard", 1, 1) ? 1 : 0;
    filmForRaw = ReadRegistryDword(u"Editor", u"FilmForRAW", 1, 1) ? 1 : 0;
    doubleClickForEdit = ReadRegistryDword(u"Editor", u"DbClickForEdit", 0, 1) ? 1 : 0;
    BindControl(kAnimationId, &animation, kBindInt, 0, 0);
    BindControl(kWizardId, &autoWizard, kBindInt, 0, 0);
    BindControl(kFilmId, &filmForRaw, kBindInt, 0, 0);
    BindControl(kDoubleClickId, &doubleClickForEdit, kBindInt, 0, 0);
    UpdateData(0);
    return 1;
}

int ShowSettingsDialog(const platform::String16& dialogFolder, const std::function<void(CSettingsDlg&)>& beforeRun)
{
    const platform::String16 folder =
        dialogFolder.empty() ? platform::JoinPath(platform::ProgramFolder(), u"dialogs") : dialogFolder;
    std::unique_ptr<platform::DialogTemplate> t = platform::DialogTemplate::Load(folder, CSettingsDlg::kTemplateId);
    CSettingsDlg dialog;
    dialog.m_dimRequest = 1;
    if (!t || !dialog.CreateFromTemplate(*t, 0, 0, 0, 0)) {
        WriteUiLog(u"The settings dialog cannot be made");
        return 0;
    }
    if (beforeRun)
        beforeRun(dialog);
    const int result = dialog.DoModal();
    if (result == 1) {
        g_bAnimation.store(dialog.animation);
        WriteRegistryDword(u"Editor", u"AutoWizard", uint32_t(dialog.autoWizard));
        WriteRegistryDword(u"Program", u"Animation", uint32_t(dialog.animation));
        WriteRegistryDword(u"Editor", u"FilmForRAW", uint32_t(dialog.filmForRaw));
        WriteRegistryDword(u"Editor", u"DbClickForEdit", uint32_t(dialog.doubleClickForEdit));
    }
    return result;
}
