// The main window's side of crash recovery and host mode: the crash-status file written after
// opens, closes and history steps, the recovery at start, and the exchange file of a host
// program (read at start, written back by Apply).
#include "app/CrashStatus.h"
#include "app/PluginExchange.h"
#include "app/ZendraDlg.h"
#include "ui/MessageBox.h"
#include "ui/UiSeams.h"

#include <cstdlib>

namespace {

class RecoveryHost final : public ICrashRecoveryHost {
public:
    explicit RecoveryHost(CZendraDlg& dlg, std::function<int(const char16_t*, int, int)> ask)
        : m_dlg(dlg), m_ask(std::move(ask))
    {
    }
    bool AskCrashFound() override { return m_ask(UiText(u"crashfound"), kMbQuestion, kMbYesNo) == 6; }
    bool OpenRecovered(const std::u16string& documentPath, CZDDoc& doc) override
    {
        return m_dlg.OpenImage(documentPath, 2, &doc, 0) != 0;
    }

private:
    CZendraDlg& m_dlg;
    std::function<int(const char16_t*, int, int)> m_ask;
};

} // namespace

CrashStatusFile* CZendraDlg::CrashFile()
{
    // Launch modes keep no crash file: the host program owns the picture.
    if (PluginMode != 0)
        return nullptr;
    if (!m_crashFile) {
        const std::u16string path = crashStatusPath.empty() ? DefaultCrashStatusPath() : crashStatusPath;
        if (path.empty())
            return nullptr;
        m_crashFile = std::make_unique<CrashStatusFile>(path);
    }
    return m_crashFile.get();
}

void CZendraDlg::WriteCrashStatus()
{
    CrashStatusFile* file = CrashFile();
    if (!file)
        return;
    std::vector<const HistoryStore*> histories;
    for (CSEditPage* page : EditPages())
        histories.push_back(&page->history);
    if (file->WriteCrashStatus(histories) && !histories.empty())
        m_crashStatusPath = file->Path();
    else if (histories.empty())
        m_crashStatusPath.clear();
}

void CZendraDlg::DeleteCrashStatus()
{
    if (m_crashFile)
        m_crashFile->DeleteCrashStatus();
    m_crashStatusPath.clear();
}

int CZendraDlg::RecoverFromCrash()
{
    if (PluginMode != 0)
        return 1;
    const std::u16string path = crashStatusPath.empty() ? DefaultCrashStatusPath() : crashStatusPath;
    if (path.empty())
        return 1;
    RecoveryHost host(*this, [this](const char16_t* text, int kind, int buttons) { return Ask(text, kind, buttons); });
    const CrashRecoveryResult result = ::RecoverFromCrash(path, host);
    // The rebuilt tabs are this run's now: the file lists them again (with their new histories).
    if (result.tabsOpened > 0)
        WriteCrashStatus();
    return 1;
}

int CZendraDlg::OpenPluginImage()
{
    if (PluginMode != 1)
        return 1;
    ImageBuffer16 image;
    if (commandPath.empty() || !ReadPluginImage(commandPath, image)) {
        // The host's file stays as it was; the window opens without the picture.
        Ask(UiText(u"unexpect"), kMbInformation, kMbOk);
        return 1;
    }
    CZDDoc doc;
    char16_t name[32];
    CopyTextBounded(name, 32, UiText(u"pluginLayer"));
    const int added = doc.AddLayer(image, name);
    FreeImageBuffer(image);
    if (added < 0 || !OpenImage(commandPath, 1, &doc, 0))
        Ask(UiText(u"unexpect"), kMbInformation, kMbOk);
    return 1;
}

int CZendraDlg::ReturnPluginImage(CSEditPage& page)
{
    CZDLayer* bottom = page.document.GetLayer(0);
    if (PluginMode != 1 || commandPath.empty() || !bottom || !bottom->pixels.data)
        return 0;
    if (!WritePluginImage(commandPath, bottom->pixels)) {
        // The host would take a missing or partial file for the result: say so and stay.
        Ask(UiText(u"unexpect"), kMbInformation, kMbOk);
        return 0;
    }
    EndProcess();
    return 1;
}
