// The JPEG save options dialog: every change re-encodes the flattened picture on the worker and
// shows the decoded JPEG beside the original, with bars comparing the photo's file and the new
// size; settings can be kept as named presets in "jpgsave.set". OK saves and closes,
// "dlgSaveCopy" saves and stays open. The document is never changed.
//
// Jobs: 1 preview (nothing written), 100 save and stay, 101 save and close. A save writes a
// hidden file beside the target, puts the metadata into it and renames it over the target, so
// a failed or cancelled save leaves what was there. While a save runs, changes wait for it
// instead of cancelling it.
#pragma once

#include "algorithms/JpegOptimize.h"
#include "batch/PresetList.h"
#include "dialogs/FilterDialog.h"
#include "ui/Menu.h"

#include <functional>
#include <string>

class CZDDoc;
class ImageInfo;
class CSButton;

class CJpgSaveDlg : public CFilterDialog {
public:
    static constexpr int32_t kTemplateId = 154;
    static constexpr int32_t kPresetButtonId = 1052;
    static constexpr int32_t kSavePresetId = 1082;
    static constexpr int32_t kDeletePresetId = 1083;
    static constexpr int32_t kQualityId = 1084;
    static constexpr int32_t kAdjustId = 1085;
    static constexpr int32_t kFullChromaId = 1086;
    static constexpr int32_t kChromaTipId = 1087;
    static constexpr int32_t kAutoChromaId = 1088;
    static constexpr int32_t kTableTipId = 1089;
    static constexpr int32_t kExifButtonId = 1090;
    static constexpr int32_t kAdaptiveId = 1091;
    static constexpr int32_t kExtraTipId = 1092;
    static constexpr int32_t kBlurId = 1093;
    static constexpr int32_t kExtraPassId = 1094;
    static constexpr int32_t kSizeModeButtonId = 1095;
    static constexpr int32_t kSizeValueId = 1001;
    static constexpr int32_t kTargetId = 1096;
    static constexpr int32_t kPolicyButtonId = 1097;
    static constexpr int32_t kPolicyTipId = 1098;
    static constexpr int32_t kCompressFrameId = 1099;
    static constexpr int32_t kSaveCopyId = 1049;
    static constexpr int kJobPreviewId = 1, kJobSaveStay = 100, kJobSaveClose = 101;
    static constexpr int32_t kMenuSizeMode = 200, kMenuPolicy = 300, kMenuPreset = 400, kMenuExif = 500;

    CJpgSaveDlg(CZDDoc* doc, std::u16string path, ImageInfo* info);
    ~CJpgSaveDlg() override;

    int OnDraw(uint32_t time) override;
    int OnSpriteMessage(SpriteMessage* message) override;
    int OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void StartJob() override;
    void OnJobDone(int jobId, int result) override;
    int Apply() override;
    void ReleaseResources(int flag) override;
    // The base binds no layer: this dialog works on its own flattened copy.
    CZDDoc* GetDocument() override { return nullptr; }

    int PrepareSource();
    void SaveJpeg(int closeAfter);
    void AdjustToFileSize();
    void SavePreset();
    void DeletePreset();
    void ChoosePreset(size_t index);
    // The options of a run from the controls (bound variables already read): target less the
    // metadata, picture references apart.
    void FillOptions(JpegSaveOptions& options) const;
    // The file name the save proposes (before the chooser): folder, name, size suffixes.
    std::u16string ProposedFileName() const;
    void DrawCompressPreview();

    // ---- state for tests ----
    PresetList& Presets() { return m_presets; }
    const JpegSaveOptions& Options() const { return m_options; }
    const std::u16string& PresetName() const { return m_presetName; }
    const ImageBuffer8& Source() const { return m_source; }
    const ImageBuffer8& Shown() const { return m_shown; }
    bool Encoded() const { return m_encoded; }
    int64_t LastEncodedSize() const { return m_lastSize; }
    int LastQuality() const { return m_lastQuality; }
    uint32_t SourceBytes() const { return m_sourceBytes; }
    int Quality();
    CSMenu& Menu() { return m_menu; }
    // Tests answer the two text questions (size search, preset name); empty: InputString.
    using TextQuestion = std::function<bool(const char16_t* caption, std::u16string& text)>;
    void SetTextQuestion(TextQuestion q) { m_question = std::move(q); }

    // Bound variables.
    uint32_t m_fullChroma = 0;
    uint32_t m_adaptive = 0;
    uint32_t m_extraPass = 0;
    uint32_t m_sizeValue = 1024;
    uint32_t m_targetKB = 200;
    uint8_t m_exifPolicy = 2;
    uint8_t m_sizeMode = 0;
    uint8_t m_policy = 0;

private:
    bool Ask(const char16_t* caption, const char16_t* prompt, int maxLength, int32_t nearId, std::u16string& text);
    uint32_t MetadataBytes(int policy) const;
    void ShowMenu(int32_t buttonId);
    void UpdateButtonTexts();
    void SetControlEnabled(int32_t id, bool enabled);
    void SetSaveControlsEnabled(bool enabled);
    void ResetPresetName();
    void CommitEditedFields();
    void ReadControls();
    void StartRun(int jobId);
    // Metadata into the hidden file, then renamed over the target; true when the target is
    // the new file.
    bool FinishSave(int result);
    void RemovePendingFile();
    void PublishPreview();

    // What the compress preview draws, published under the dialog's lock for the render thread.
    struct CompressInfo {
        bool valid = false;
        uint32_t original = 0;
        int64_t current = 0;
        int quality = 0;
        int sourceWidth = 0, sourceHeight = 0, width = 0, height = 0;
        std::u16string texts[4];
    };

    CZDDoc* m_doc;
    std::u16string m_path;
    ImageInfo* m_info;
    PresetList m_presets;
    CJpegOptimize m_jpeg;
    JpegSaveOptions m_options{};
    ImageBuffer8 m_source{};
    ImageBuffer8 m_shown{};   // the after view's picture, written on the UI thread only
    ImageBuffer8 m_jobWork{}; // the worker's work picture
    std::u16string m_presetName;
    CSMenu m_menu;
    bool m_menuMade = false;
    CompressInfo m_drawn;
    uint32_t m_sourceBytes = 0;
    bool m_sourceFromFile = false;
    bool m_editChanged = false;
    bool m_encoded = false;
    int m_lastPolicy = 0;
    int64_t m_lastSize = 0;
    int m_lastQuality = 0;
    int m_runningJob = 0;
    std::u16string m_pendingTemp;   // a save's hidden file until it is renamed
    std::u16string m_pendingTarget;
    TextQuestion m_question;
};

// Shows the dialog over the editor for the save panel: 1 when a JPEG was written.
int RunJpegSaveDialog(CZDDoc& doc, const std::u16string& path, ImageInfo* info);
// Fills the save panel's JPEG tile with this dialog.
void InstallJpegSaveDialog();
