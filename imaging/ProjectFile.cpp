#include "imaging/ProjectFile.h"

#include "imaging/DocStream.h"
#include "imaging/Document.h"
#include "imaging/DocumentUi.h"
#include "platform/Text.h"

ProjectSaveResult SaveProjectFile(const std::u16string& path, CZDDoc& doc, IProjectProperties* properties)
{
    CDocAtomicFileStream out;
    if (!out.Open(path))
        return ProjectSaveResult::CannotOpen;
    const bool ok = out.WriteU32(properties ? properties->Count() : 0) && doc.Serialize(out, false, true) &&
                    (!properties || properties->Write(out));
    return ok && out.Commit() ? ProjectSaveResult::Saved : ProjectSaveResult::WriteFailed;
}

int OpenProjectFile(const std::u16string& path, CZDDoc& doc, IProjectProperties* properties)
{
    CDocFileStream in;
    uint32_t count = 0;
    if (!in.Open(path, CDocFileStream::Mode::Read) || !in.ReadU32(count))
        return 0;
    if (!doc.Serialize(in, true, true))
        return 0;
    if (count != 0 && properties)
        properties->Read(in);
    return 1;
}

int SaveProjectWithDialog(CZDDoc& doc, IProjectProperties* properties)
{
    DocumentUi& ui = TheDocumentUi();
    if (!ui.fileDialogs)
        return 0;
    std::u16string path;
    if (!ui.fileDialogs->ChooseSaveFile(u"zdoc", ui.fileDialogs->GetLastPath(u"SaveProject"), path))
        return 0;
    const ProjectSaveResult result = SaveProjectFile(path, doc, properties);
    if (result != ProjectSaveResult::Saved && ui.messages)
        ui.messages->ShowError(result == ProjectSaveResult::CannotOpen ? u"Cannotopenfile" : u"ErrorSave");
    const size_t slash = path.find_last_of(u'/');
    ui.fileDialogs->SetLastPath(u"SaveProject", slash == std::u16string::npos ? std::u16string() : path.substr(0, slash));
    return result == ProjectSaveResult::Saved ? 1 : 0;
}
