// Templates, message boxes and temporary names of the dialogs (see the header).
#include "dialogs/DialogSupport.h"

#include "imaging/DocumentUi.h"
#include "platform/Folders.h"
#include "platform/Path.h"
#include "ui/DialogSprite.h"
#include "ui/MessageBox.h"
#include "ui/UiSeams.h"

#include <mutex>

namespace {

std::mutex g_lock;
platform::String16 g_templateFolder;
DialogMessageSource g_messages;

} // namespace

void SetDialogTemplateFolder(const platform::String16& folder)
{
    std::lock_guard guard(g_lock);
    g_templateFolder = folder;
}

std::unique_ptr<platform::DialogTemplate> LoadDialogTemplate(int templateId)
{
    platform::String16 folder;
    {
        std::lock_guard guard(g_lock);
        folder = g_templateFolder;
    }
    if (folder.empty())
        folder = platform::JoinPath(platform::ProgramFolder(), u"dialogs");
    if (templateId <= 0 || templateId > 0xFFFF)
        return nullptr;
    return platform::DialogTemplate::Load(folder, uint16_t(templateId));
}

int CreateDialogFromTemplate(CDialogSprite& dialog, int templateId)
{
    std::unique_ptr<platform::DialogTemplate> t = LoadDialogTemplate(templateId);
    return t && dialog.CreateFromTemplate(*t, 0, 0, 0, 0) ? 1 : 0;
}

void SetDialogMessageSource(DialogMessageSource source)
{
    std::lock_guard guard(g_lock);
    g_messages = std::move(source);
}

int DialogMessage(const char16_t* key, int kind, int buttons)
{
    DialogMessageSource source;
    {
        std::lock_guard guard(g_lock);
        source = g_messages;
    }
    if (source)
        return source(key, kind, buttons);
    return SpriteMessageBox(UiText(key), kind, buttons);
}

std::u16string MakeDialogTempFileName(const std::u16string& prefix)
{
    if (ITempFileNames* names = TheDocumentUi().tempNames)
        return names->MakeTempFileName(prefix);
    // Without the application's list (tests, tools): a unique empty file of our own, which the
    // dialog removes when it ends.
    return platform::CreateUniqueTempFile(prefix, u".zdtmp");
}
