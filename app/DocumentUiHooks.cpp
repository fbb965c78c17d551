// The frame's side of the document's user-interface hooks.
#include "app/AppData.h"
#include "app/ZendraApp.h"
#include "app/ZendraDlg.h"
#include "imaging/DocumentUi.h"
#include "ui/MessageBox.h"
#include "ui/RenderWindow.h"
#include "ui/UiSeams.h"

namespace {

class FrameHooks final : public IBusyIndicator,
                         public IRenderWindowLock,
                         public ICrashStatusWriter,
                         public IMessageBoxes,
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
    ui.tempNames = &AppDataTempFileNames();
    ui.strings = &g_hooks;
}

void RemoveDocumentUi()
{
    TheDocumentUi() = DocumentUi{};
}
