// The project file ".zdoc": the photo's metadata count, the document stream with masks, then
// the metadata records. Written through a temporary file, so a failed save leaves nothing.
#pragma once

#include <cstdint>
#include <string>

class CDocStream;
class CZDDoc;
class ImageInfo;

// The photo's metadata records as the project file carries them.
class IProjectProperties {
public:
    virtual ~IProjectProperties() = default;
    virtual uint32_t Count() = 0;
    virtual int Write(CDocStream& stream) = 0;
    // Reads records until one fails, replacing what the photo had.
    virtual int Read(CDocStream& stream) = 0;
};

// The photo information's metadata records.
class ImageInfoProperties final : public IProjectProperties {
public:
    explicit ImageInfoProperties(ImageInfo& info) : m_info(info) {}
    uint32_t Count() override;
    int Write(CDocStream& stream) override;
    int Read(CDocStream& stream) override;

private:
    ImageInfo& m_info;
};

enum class ProjectSaveResult { Saved, CannotOpen, WriteFailed };

ProjectSaveResult SaveProjectFile(const std::u16string& path, CZDDoc& doc, IProjectProperties* properties);
// Reads the document into doc (a temporary document the caller then opens a tab from) and,
// when there are records, the properties. 1 when the document was read.
int OpenProjectFile(const std::u16string& path, CZDDoc& doc, IProjectProperties* properties);

// The save command: the file dialog (default extension "zdoc", starting in the "SaveProject"
// folder), the save, the messages "Cannotopenfile" and "ErrorSave", and the folder stored back.
// 1 saved, 0 cancelled or failed.
int SaveProjectWithDialog(CZDDoc& doc, IProjectProperties* properties);
