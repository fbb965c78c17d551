// The main window's side of crash recovery and host mode: the crash-status file written after
// opens, closes and history steps, the recovery at start, and the exchange file of a host
// program (read at start, written back by Apply).
#include "app/AppData.h"
#include "app/CrashStatus.h"
#include "app/PluginExchange.h"
#include "app/ZendraDlg.h"
#include "platform/Text.h"
#include "ui/MessageBox.h"
#include "ui/UiSeams.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

class RecoveryHost final : public ICrashRecoveryHost {
public:
    explicit RecoveryHost(CZendraDlg& dlg, std::function<int(const char16_t*, int, int)> ask)
        : m_dlg(dlg), m_ask(std::move(ask))
    {
    }
    bool AskCrashFound() override
    {
        // Tests answer once the program says it asks.
        std::printf("zendra: asking whether to recover\n");
        std::fflush(stdout);
        return m_ask(UiText(u"crashfound"), kMbQuestion, kMbYesNo) == 6;
    }
    bool OpenRecovered(const std::u16string& documentPath, CZDDoc& doc, RecoveredHistory& history) override
    {
        return m_dlg.OpenRecoveredTab(documentPath, doc, history) != 0;
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
    if (m_recovering)
        return;
    CrashStatusFile* file = CrashFile();
    std::vector<const HistoryStore*> histories;
    for (CSEditPage* page : EditPages())
        histories.push_back(&page->History());
    if (!file) {
        // Launch modes keep no file; a normal run without a temporary folder has no protection.
        if (PluginMode == 0 && !histories.empty())
            CrashStatusFailed(ENOENT);
        return;
    }
    if (!file->WriteCrashStatus(histories)) {
        CrashStatusFailed(file->LastError());
        return;
    }
    m_crashWriteWarned = false; // a later failure is said again
    m_crashStatusPath = histories.empty() ? std::u16string() : file->Path();
}

// Without the file a crash would lose every open photo's changes: the user hears it once (until
// a write succeeds again), the log every time.
void CZendraDlg::CrashStatusFailed(int error)
{
    std::fprintf(stderr, "zendra: the crash-status file could not be written: %s\n", std::strerror(error));
    if (m_crashWriteWarned)
        return;
    m_crashWriteWarned = true;
    Ask(UiText(u"crashStatusFailed"), kMbWarning, kMbOk);
}

void CZendraDlg::DeleteCrashStatus()
{
    if (m_crashFile)
        m_crashFile->DeleteCrashStatus();
    m_crashStatusPath.clear();
}

int CZendraDlg::RecoverFromCrash()
{
    if (CrashStatusFile* file = PluginMode == 0 ? CrashFile() : nullptr) {
        RecoveryHost host(*this, [this](const char16_t* text, int kind, int buttons) { return Ask(text, kind, buttons); });
        m_recovering = true;
        const CrashRecoveryResult result = ::RecoverFromCrash(*file, host);
        m_recovering = false;
        // The rebuilt tabs are this run's now: its file lists them, in place of the old ones.
        if (result.tabsOpened > 0)
            WriteCrashStatus();
        if (result.asked) {
            std::printf("zendra: recovered %d tabs\n", result.tabsOpened);
            std::fflush(stdout);
        }
    }
    // Only now: the clean-up leaves every file a status file names, but recovery comes first
    // in any case.
    DeleteStaleTempFiles();
    return 1;
}

int CZendraDlg::OpenRecoveredTab(const platform::String16& path, CZDDoc& doc, RecoveredHistory& history)
{
    if (!OpenImage(path, 2, &doc, 0))
        return 0;
    CSEditPage* page = GetActiveEditPage();
    if (!page)
        return 1;
    // The old history goes on in this tab, so the recovered steps can be undone; its data file
    // is this run's to delete at the end.
    if (page->AdoptHistory(history.dataPath, std::move(history.steps)))
        theAppData.AdoptTempFile(history.dataPath);
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

int CZendraDlg::ReturnPluginImage(const ImageBuffer16& picture)
{
    if (PluginMode != 1 || commandPath.empty() || !picture.data)
        return 0;
    if (!WritePluginImage(commandPath, picture)) {
        // The host would take a missing or partial file for the result: say so and stay.
        Ask(UiText(u"unexpect"), kMbInformation, kMbOk);
        return 0;
    }
    EndProcess();
    return 1;
}
