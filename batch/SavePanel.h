// The save panel of an editor tab: five tiles (project, save back over the opened photo, JPEG
// options, PNG of the current layer, other formats) and the user's JPEG presets, a click on one
// saving at once; and the layer page's save of one layer as PNG or PSD. The caller hands in the
// document, its path and its photo information: this library never reaches the main window.
//
// Every file is written beside its target and renamed over it only when it is complete, so a
// failed save leaves what was there. Files are chosen through IFileDialogs (imaging/DocumentUi.h),
// which also keeps the "Last Path" folders; messages go through DialogMessage.
#pragma once

#include "batch/PresetList.h"
#include "imaging/ImageBuffer.h"
#include "ui/DialogSprite.h"
#include "ui/Panel.h"

#include <functional>
#include <string>

class CZDDoc;
class CFlatSimpleList;
class ImageInfo;
struct JpegSaveOptions;

// A stored JPEG preset: its name, then the options the JPEG encoder takes.
constexpr size_t kJpegPresetNameChars = 32;
constexpr size_t kJpegPresetOptionsOffset = 64;
constexpr size_t kJpegOptionsExifPolicy = 9; // 0 none, 1 the program's edited fields, 2 every kept item

// The size the encoder aims at for a preset of `kilobytes` when `metadataBytes` will be added:
// (KB x 1024 - metadata) rounded to kilobytes, never below 1 KB.
int PresetTargetKB(int kilobytes, uint32_t metadataBytes);

// A hidden name beside the target for a writer that only writes to a path of its own; it keeps
// the target's extension, so the encoder and the metadata see its type.
std::u16string SaveTempNameBeside(const std::u16string& target);

// Writes the flattened 8-bit picture over `path` in the photo's own type (ImageTypeCode): JPEG at
// quality 95 with full chroma, PNG with alpha, TIFF, GIF, BMP, TGA, PCX; JPEG, PNG and TIFF get
// the photo's metadata back. 1 only when the picture and the metadata were both written.
int WritePictureAs(const ImageBuffer8& picture, const std::u16string& path, int type, ImageInfo* info);

// The document over opaque white, dithered to 8 bits; 0 when it cannot be made.
int FlattenForSave(const CZDDoc& doc, ImageBuffer8& out);

class CSaveDlg : public CDialogSprite {
public:
    static constexpr int32_t kTemplateId = 153;
    static constexpr int32_t kPresetListId = 1004;
    static constexpr int32_t kSeparatorId = 1057;
    static constexpr int32_t kPanelId = 9991;
    enum TileId : int32_t { kProject = 101, kSaveBack = 102, kJpegOptions = 103, kPng = 104, kOtherFormat = 105 };

    // path: the document's file (empty for a layer save without one); info may be null (no
    // metadata then).
    CSaveDlg(CZDDoc* doc, std::u16string path, ImageInfo* info);
    ~CSaveDlg() override;

    int OnInitDialog() override;
    int OnSpriteMessage(SpriteMessage* message) override;
    int OnDraw(uint32_t time) override;
    void ReleaseResources(int flag) override;

    int BuildTiles();
    // The operations; each ends the dialog with result 1 when it saved.
    void SaveAsProject();
    void SaveBack();
    void SaveAsJpeg(size_t preset);
    void ShowJpegOptions();
    void SaveAsPng();
    void SaveAsOtherFormat();
    int SaveLayerAs(const ImageBuffer16& layer);

    // The chooser's first text for a "Last Path" kind.
    std::u16string GetInitialFileName(const char16_t* kind) const;
    void RememberFolder(const char16_t* kind, const std::u16string& file) const;

    CMetroPanel& Panel() { return m_panel; }
    PresetList& Presets() { return m_presets; }
    int ImageType() const { return m_imageType; }
    // The options of preset i as the save uses them (name and options copied out).
    bool PresetOptions(size_t i, JpegSaveOptions& options) const;

private:
    // Asks for a file; false when nothing was chosen or the user kept an existing file.
    bool ChooseFile(const char16_t* kind, const char16_t* defaultExtension, std::u16string& path);
    void Succeeded();

    CZDDoc* m_doc;
    std::u16string m_path;
    ImageInfo* m_info;
    int m_imageType = -1;
    CMetroPanel m_panel;
    SRect m_panelRect{};
    ImageList8 m_icons;
    ImageBuffer8 m_mark;
    PresetList m_presets;
    CFlatSimpleList* m_list = nullptr;
    bool m_panelMade = false;
};

// The JPEG options dialog the panel's third tile opens (result 1 saved); none installed leaves
// the tile disabled.
using JpegOptionsRunner = std::function<int(CZDDoc& doc, const std::u16string& path, ImageInfo* info)>;
void SetJpegOptionsRunner(JpegOptionsRunner runner);

// The editor's save: shows the panel from its template; 1 when a file was written.
int RunSavePanel(CZDDoc& doc, const std::u16string& path, ImageInfo* info);
// Program tests choose a tile without the panel being shown (0 shows it again).
void SetSavePanelAutoTile(int32_t tileId);
// The layer page's save of one layer (PNG when the name ends in ".png", else PSD).
int SaveLayerAs(const ImageBuffer16& layer, const std::u16string& documentPath);
