// The frame's side of the document's user-interface hooks.
#include "app/AppData.h"
#include "app/ZendraApp.h"
#include "app/ZendraDlg.h"
#include "batch/JpegSaveDialog.h"
#include "imaging/DocumentUi.h"
#include "ui/MessageBox.h"
#include "ui/Registry.h"
#include "ui/RenderWindow.h"
#include "ui/UiSeams.h"

namespace {

class FrameHooks final : public IBusyIndicator,
                         public IRenderWindowLock,
                         public ICrashStatusWriter,
                         public IMessageBoxes,
                         public IFileDialogs,
                         public IStringLookup {
public:
    void BeginBusy() override
    {
        if (CRenderWindow* w = g_pRenderWindow.load())
            w->BeginBusy(SRect{});
    }
    void EndBusy() override
    {
        if (CRenderWindow* w = g_pRenderWindow.load())
            w->EndBusy();
    }
    void Lock() override
    {
        if (CRenderWindow* w = g_pRenderWindow.load())
            w->RenderLock().Lock();
    }
    void Unlock() override
    {
        if (CRenderWindow* w = g_pRenderWindow.load())
            w->RenderLock().Unlock();
    }
    void WriteCrashStatus() override
    {
        if (CZendraDlg* dlg = TheMainWindow())
            dlg->WriteCrashStatus();
    }
    void ShowError(const std::u16string& key) override { SpriteMessageBox(UiText(key.c_str()), kMbError, kMbOk); }
    std::u16string LookupText(const std::u16string& key) override { return UiText(key.c_str()); }
    bool ChooseSaveFile(const std::u16string& defaultExtension, const std::u16string& start,
                        std::u16string& path) override
    {
        CZendraDlg* dlg = TheMainWindow();
        return dlg && dlg->ChooseSavePath(defaultExtension, start, path);
    }
    // The folders of the last saves, under "Last Path" by kind ("SaveImage", "SaveProject").
    std::u16string GetLastPath(const std::u16string& key) override
    {
        char16_t folder[1024] = {};
        ReadRegistryString(u"Last Path", key.c_str(), u"", folder, 1024, 1);
        return folder;
    }
    void SetLastPath(const std::u16string& key, const std::u16string& folder) override
    {
        WriteRegistryString(u"Last Path", key.c_str(), folder.c_str());
    }
};

FrameHooks g_hooks;

} // namespace

void InstallDocumentUi()
{
    DocumentUi& ui = TheDocumentUi();
    ui.busy = &g_hooks;
    ui.renderLock = &g_hooks;
    ui.crashStatus = &g_hooks;
    ui.messages = &g_hooks;
    ui.fileDialogs = &g_hooks;
    ui.tempNames = &AppDataTempFileNames();
    ui.strings = &g_hooks;
    // The save panel's JPEG tile.
    InstallJpegSaveDialog();
}

void RemoveDocumentUi()
{
    TheDocumentUi() = DocumentUi{};
}
