#include "batch/JpegSaveDialog.h"

#include "algorithms/AlgorithmThread.h"
#include "batch/JpegPresets.h"
#include "batch/SavePanel.h"
#include "dialogs/DialogSupport.h"
#include "dialogs/SliderDialogSupport.h"
#include "imaging/ColourTables.h"
#include "imaging/Document.h"
#include "imaging/DocumentUi.h"
#include "imaging/Draw8.h"
#include "imaging/ImageCodec/ImageInfo.h"
#include "imaging/TextRender.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/Format.h"
#include "ui/Button.h"
#include "ui/EditField.h"
#include "ui/InputString.h"
#include "ui/MessageBox.h"
#include "ui/RenderWindow.h"
#include "ui/StaticText.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr uint64_t kOpaqueWhite = 0xFFFFFFFFFFFFFFFFull;
constexpr int kDefaultQuality = 90;
constexpr uint32_t kMaxTargetKB = 2000000; // 2 GB: far above any JPEG, and T stays in range

const char16_t* const kSizeModeKeys[] = {u"imagesizenone", u"imagesizewidth", u"imagesizeheight", u"imagesizelong",
                                         u"imagesizetotal"};
const char16_t* const kPolicyKeys[] = {u"polycynochange", u"polycyshrink", u"polycyquality"};
const char16_t* const kExifKeys[] = {u"exifnone", u"exiflimit", u"exifAll"};

std::u16string FolderOf(const std::u16string& path)
{
    const size_t slash = path.find_last_of(u'/');
    return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash + 1);
}

std::u16string WithoutExtension(const std::u16string& path)
{
    const size_t slash = path.find_last_of(u'/');
    const size_t dot = path.find_last_of(u'.');
    if (dot == std::u16string::npos || (slash != std::u16string::npos && dot < slash))
        return path;
    return path.substr(0, dot);
}

// A string-table text filled in; the text as it stands when the arguments do not fit it.
std::u16string Formatted(const char16_t* key, auto... args)
{
    std::optional<platform::String16> text = platform::Format(UiText(key), args...);
    return text ? std::u16string(*text) : std::u16string(UiText(key));
}

std::u16string FormattedRaw(const char16_t* format, auto... args)
{
    std::optional<platform::String16> text = platform::Format(format, args...);
    return text ? std::u16string(*text) : std::u16string();
}

} // namespace

CJpgSaveDlg::CJpgSaveDlg(CZDDoc* doc, std::u16string path, ImageInfo* info)
    : m_doc(doc), m_path(std::move(path)), m_info(info), m_presets(kJpegSavePresets)
{
    // No history step: saving a JPEG does not change the document.
    m_bindToEditor = 0;
    InitJpegSaveOptions(m_options);
    ResetPresetName();
}

CJpgSaveDlg::~CJpgSaveDlg()
{
    // The job reads the source and writes the work picture: it ends before they go.
    StopJob();
    RemovePendingFile();
    CJpgSaveDlg::ReleaseResources(1);
    m_menu.Close(0);
    m_menu.ReleaseResources(1);
    FreeImageBuffer(m_source);
    FreeImageBuffer(m_shown);
    FreeImageBuffer(m_jobWork);
}

void CJpgSaveDlg::ReleaseResources(int flag)
{
    CFilterDialog::ReleaseResources(flag);
}

uint32_t CJpgSaveDlg::MetadataBytes(int policy) const
{
    return m_info ? m_info->GetMetadataSize(policy) : 0;
}

int CJpgSaveDlg::Quality()
{
    const int q = SliderValue(*this, kQualityId);
    return std::clamp(q, 1, 100);
}

void CJpgSaveDlg::ResetPresetName()
{
    std::u16string name = UiText(u"jpgpresetdefault");
    if (name.size() >= 31)
        name = name.substr(0, 29) + u"..";
    m_presetName = name;
}

void CJpgSaveDlg::SetControlEnabled(int32_t id, bool enabled)
{
    if (auto* control = dynamic_cast<CMessageSprite*>(GetControl(id))) {
        control->SetEnabled(enabled ? 1 : 0);
        control->SetAllDirty(1);
    }
}

void CJpgSaveDlg::SetSaveControlsEnabled(bool enabled)
{
    for (int32_t id : {1, 2, kAdjustId, kSaveCopyId})
        SetControlEnabled(id, enabled);
}

int CJpgSaveDlg::PrepareSource()
{
    ImageBuffer16 flat{};
    if (!m_doc || m_doc->LayerCount() == 0 || !m_doc->Flatten(flat, kOpaqueWhite))
        return 0;
    const int converted = ConvertImage16To8Dithered(flat, m_source);
    FreeImageBuffer(flat);
    if (!converted)
        return 0;
    m_fullChroma = HasChromaDetail(m_source) ? 1 : 0;
    m_sourceFromFile = false;
    m_sourceBytes = uint32_t(std::min<uint64_t>(uint64_t(m_source.width) * m_source.height * 3, UINT32_MAX));
    platform::FileInfo file;
    if (!m_path.empty() && platform::GetFileInfo(m_path, file) && !file.isDirectory && file.size > 0) {
        m_sourceBytes = uint32_t(std::min<uint64_t>(file.size, UINT32_MAX));
        m_sourceFromFile = true;
    }
    m_presets.Load(); // no presets is no reason not to save
    return 1;
}

int CJpgSaveDlg::OnInitDialog()
{
    if (!m_doc || !CFilterDialog::OnInitDialog())
        return 0;
    const SliderSetup sliders[] = {
        {kQualityId, 1, 100, kDefaultQuality, 1, nullptr},
        {kBlurId, 0, 100, 0, 1, nullptr},
    };
    if (!SetUpSliders(*this, sliders, std::size(sliders)))
        return 0;
    BindControl(kFullChromaId, &m_fullChroma, kBindUnsigned, 0, 0);
    BindControl(kAdaptiveId, &m_adaptive, kBindUnsigned, 0, 0);
    BindControl(kExtraPassId, &m_extraPass, kBindUnsigned, 0, 0);
    BindControl(kSizeValueId, &m_sizeValue, kBindUnsigned, 0, 0);
    BindControl(kTargetId, &m_targetKB, kBindUnsigned, 0, 0);
    for (int32_t id : {kSizeValueId, kTargetId})
        if (auto* edit = dynamic_cast<CEditSprite*>(GetControl(id))) {
            edit->m_filter = CEditSprite::kFilterAllowed;
            CopyTextBounded(edit->m_allowed, 257, u"0123456789");
            edit->m_maxLength = 9;
        }
    for (int32_t id : {kPresetButtonId, kExifButtonId, kSizeModeButtonId, kPolicyButtonId})
        if (auto* b = dynamic_cast<CSButton*>(GetControl(id)))
            b->m_dropDownMark = 1;
    if (!m_menu.Create(nullptr, m_window, 2, 201, 0, 0, 100, 100))
        return 0;
    m_menuMade = true;
    m_menu.SetVisible(0);
    {
        BusyScope busy;
        if (!PrepareSource())
            return 0;
    }
    for (int32_t id : {kViewButtonFirst + kViewCanvas, kBlendButtonId, kMaskButtonId})
        ViewPanel().EnableItem(id, 0);
    if (!CopyImage8(m_shown, m_source))
        return 0;
    BeforeView().SetImage8(&m_source, UiText(u"viewBefore"));
    AfterView().SetImage8(&m_shown, UiText(u"viewAfter"));
    FreeImageBuffer(BackupImage());
    SetControlEnabled(kDeletePresetId, false);
    UpdateData(0);
    UpdateButtonTexts();
    RestartPreview();
    return 1;
}

void CJpgSaveDlg::UpdateButtonTexts()
{
    auto set = [&](int32_t id, const char16_t* text) {
        if (auto* b = dynamic_cast<CSButton*>(GetControl(id)))
            b->SetText(text);
    };
    set(kExifButtonId, UiText(kExifKeys[std::min<int>(m_exifPolicy, 2)]));
    set(kSizeModeButtonId, UiText(kSizeModeKeys[std::min<int>(m_sizeMode, 4)]));
    set(kPolicyButtonId, UiText(kPolicyKeys[std::min<int>(m_policy, 2)]));
    set(kPresetButtonId, m_presetName.c_str());
    SetControlEnabled(kTargetId, m_policy != 0);
    SetAllDirty(1);
}

void CJpgSaveDlg::ReadControls()
{
    UpdateData(1);
}

void CJpgSaveDlg::FillOptions(JpegSaveOptions& o) const
{
    InitJpegSaveOptions(o);
    auto& self = const_cast<CJpgSaveDlg&>(*this);
    o.quality = self.Quality();
    o.chroma = m_fullChroma ? 1 : 0;
    o.reserved9 = m_exifPolicy;
    o.deriveTable = m_adaptive ? 1 : 0;
    o.deblock = m_extraPass ? 1 : 0;
    o.smoothing = std::clamp(SliderValue(self, kBlurId), 0, 100);
    o.limitMode = m_sizeMode;
    o.limitValue = int32_t(std::min<uint32_t>(m_sizeValue, INT32_MAX));
    o.targetPolicy = m_policy;
    o.targetKB = PresetTargetKB(int(std::min(m_targetKB, kMaxTargetKB)), MetadataBytes(m_exifPolicy));
}

void CJpgSaveDlg::StartRun(int jobId)
{
    FillOptions(m_options);
    if (jobId == kJobPreviewId) {
        m_options.outputFlags = JpegOutputWrite | JpegOutputEstimate; // 4 wins: nothing is written
    } else {
        std::copy(m_pendingTemp.begin(), m_pendingTemp.end(), m_options.path);
        m_options.outputFlags = JpegOutputWrite;
    }
    m_jpeg.SetPictures(&m_source, &m_jobWork);
    m_runningJob = jobId;
    StartDialogJob(&m_jpeg, nullptr, nullptr, &m_options, sizeof m_options, jobId);
}

void CJpgSaveDlg::StartJob()
{
    if (!UpdateData(1))
        return;
    StartRun(kJobPreviewId);
}

void CJpgSaveDlg::RemovePendingFile()
{
    if (!m_pendingTemp.empty())
        platform::DeleteFile(m_pendingTemp);
    m_pendingTemp.clear();
    m_pendingTarget.clear();
}

bool CJpgSaveDlg::FinishSave(int result)
{
    if (m_pendingTemp.empty())
        return false;
    bool ok = result > 0 && m_jpeg.Outcome() == JpegOptimizeOutcome::Done;
    if (ok && m_info) {
        const char16_t* temp = m_pendingTemp.c_str();
        int written = 1;
        if (m_exifPolicy == 1)
            written = SaveImageProperties(temp, *m_info);
        else if (m_exifPolicy == 2)
            written = m_info->WriteBack(temp);
        if (!written)
            DialogMessage(u"errormeta", kMbInformation, kMbOk); // the picture itself is still saved
    }
    if (ok) {
        ok = platform::MayReplaceFile(platform::ToNativePath(m_pendingTarget), false) &&
             platform::MoveFile(m_pendingTemp, m_pendingTarget, false);
        if (!ok)
            DialogMessage(u"ErrorSave", kMbError, kMbOk);
        else
            m_pendingTemp.clear();
    }
    RemovePendingFile();
    return ok;
}

void CJpgSaveDlg::OnJobDone(int jobId, int result)
{
    m_runningJob = 0;
    const bool ok = result > 0;
    if (ok) {
        m_encoded = true;
        m_lastSize = m_jpeg.m_encodedSize;
        m_lastQuality = m_jpeg.m_chosenQuality ? m_jpeg.m_chosenQuality : m_options.quality;
        m_lastPolicy = m_options.targetPolicy;
    }
    SetSaveControlsEnabled(true);
    if (jobId == kJobPreviewId && ok) {
        int copied = 0;
        {
            platform::ScopedLock view(AfterView().Lock());
            copied = CopyImage8(m_shown, m_jobWork);
        }
        if (copied)
            AfterView().SetImage8(&m_shown, UiText(u"viewAfter"));
        PublishPreview();
    }
    if (result == 0)
        DialogMessage(u"algorithmerror", kMbInformation, kMbOk);
    const bool saved = jobId >= kJobSaveStay && FinishSave(result);
    if (jobId == kJobSaveClose && saved) {
        m_restartPending = 0;
        CFilterDialog::OnOK();
        return;
    }
    if (m_restartPending && !JobInFlight()) {
        m_restartPending = 0;
        StartJob();
    }
    SetAllDirty(1);
}

void CJpgSaveDlg::PublishPreview()
{
    CompressInfo info;
    info.valid = true;
    info.original = m_sourceBytes;
    info.current = m_lastSize + (m_info ? m_info->GetMetadataSize(m_exifPolicy) : 0);
    info.quality = m_lastQuality;
    info.sourceWidth = m_source.width;
    info.sourceHeight = m_source.height;
    info.width = m_shown.width;
    info.height = m_shown.height;
    const double raw = double(m_source.width) * m_source.height * 3;
    const double o = std::max<double>(1, info.original), c = std::max<double>(1, double(info.current));
    info.texts[0] = m_sourceFromFile ? Formatted(u"orgfileinfo", o / 1024.0, std::max(1, int(raw / o)))
                                     : Formatted(u"orgimageinfo", o / 1024.0);
    info.texts[1] = Formatted(u"curfileinfo", c / 1024.0, std::max(1, int(raw / c)));
    info.texts[2] = Formatted(u"actquality", info.quality);
    info.texts[3] = Formatted(u"imagesizechanged", info.width, info.height);
    platform::ScopedLock lock(Lock());
    m_drawn = std::move(info);
}

int CJpgSaveDlg::OnDraw(uint32_t time)
{
    const bool full = AllDirty() != 0;
    const int drawn = CFilterDialog::OnDraw(time);
    if (full && drawn && m_drawn.valid)
        DrawCompressPreview();
    return drawn;
}

// Runs on the render thread under the dialog's lock: it reads only what PublishPreview left.
void CJpgSaveDlg::DrawCompressPreview()
{
    CSprite* frame = GetControl(kCompressFrameId);
    if (!frame || !m_image.data)
        return;
    const CompressInfo& d = m_drawn;
    const SRect r = frame->Rect();
    const int x0 = r.left + 6, y0 = r.top + 6, w = r.Width() - 12;
    const double o = std::max<double>(1, d.original), c = std::max<double>(1, double(d.current));
    const double f = std::max(o, c);
    int textWidth = 0;
    for (int i = 0; i < 2; ++i) {
        ImageBuffer8 measured{};
        if (RenderTextLocked(d.texts[i].c_str(), measured, nullptr, 14, 1024, nullptr))
            textWidth = std::max(textWidth, int(measured.width));
        FreeImageBuffer(measured);
    }
    const int room = std::max(1, w - textWidth - 10);
    const int bar1 = std::max(1, int(room * o / f)), bar2 = std::max(1, int(room * c / f));
    FillRect8(m_image, {x0, y0, x0 + bar1, y0 + 20}, 0x505050, 255);
    DrawTextInRect(m_image, d.texts[0].c_str(), 14, 0x808080, 0, 1, x0 + bar1 + 5, y0, r.right, y0 + 20);
    FillRect8(m_image, {x0, y0 + 24, x0 + bar2, y0 + 44}, 0x80C080, 255);
    DrawTextInRect(m_image, d.texts[1].c_str(), 14, 0xDCDCDC, 0, 1, x0 + bar2 + 5, y0 + 24, r.right, y0 + 44);
    DrawTextInRect(m_image, d.texts[2].c_str(), 14, 0x808080, 0, 1, x0, y0 + 48, r.right, y0 + 66);
    if (d.width != d.sourceWidth || d.height != d.sourceHeight) {
        DrawTextInRect(m_image, d.texts[3].c_str(), 14, 0x808080, 0, 1, x0, y0 + 68, r.right - 80, y0 + 100);
        // The new size in proportion to the old, in a box 32 pixels high.
        const int boxH = 32;
        int boxW = d.sourceHeight > 0 ? int(double(boxH) * d.sourceWidth / d.sourceHeight) : boxH;
        boxW = std::clamp(boxW, 1, std::max(1, w / 3));
        const int bx = r.right - 6 - boxW, by = y0 + 68;
        FillRect8(m_image, {bx, by, bx + boxW, by + boxH}, 0x3C3C3C, 255);
        const int iw = std::max(1, d.sourceWidth ? boxW * d.width / d.sourceWidth : 1);
        const int ih = std::max(1, d.sourceHeight ? boxH * d.height / d.sourceHeight : 1);
        const int ix = bx + (boxW - iw) / 2, iy = by + (boxH - ih) / 2;
        FillRect8(m_image, {ix, iy, ix + iw, iy + ih}, 0x808080, 255);
    }
}

bool CJpgSaveDlg::Ask(const char16_t* caption, const char16_t* prompt, int maxLength, int32_t nearId,
                      std::u16string& text)
{
    if (m_question)
        return m_question(caption, text);
    std::vector<char16_t> buffer(size_t(maxLength) + 1, 0);
    std::copy_n(text.begin(), std::min<size_t>(text.size(), size_t(maxLength)), buffer.begin());
    int x = -1, y = 0;
    if (CSprite* near = nearId ? GetControl(nearId) : nullptr) {
        const SRect b = near->LocalToWindowRect({0, 0, near->Width(), near->Height()});
        x = b.right;
        y = b.top;
    }
    if (!InputString(buffer.data(), maxLength + 1, UiText(caption), UiText(prompt), x, y))
        return false;
    text = buffer.data();
    return true;
}

std::u16string CJpgSaveDlg::ProposedFileName() const
{
    std::u16string name;
    if (m_path.empty()) {
        name = UiText(u"untitle");
    } else {
        const std::u16string base = WithoutExtension(m_path);
        IFileDialogs* dialogs = TheDocumentUi().fileDialogs;
        std::u16string last = dialogs ? dialogs->GetLastPath(u"SaveJPG") : std::u16string();
        if (last.empty()) {
            name = base;
        } else {
            if (last.back() != u'/')
                last += u'/';
            name = last + base.substr(FolderOf(base).size());
        }
    }
    if (m_encoded && uint64_t(m_shown.width) * m_shown.height != uint64_t(m_source.width) * m_source.height)
        name += FormattedRaw(u"-%dx%d", m_shown.width, m_shown.height);
    if (m_encoded && m_lastPolicy != 0) {
        const int64_t metadata = m_info ? m_info->GetMetadataSize(m_exifPolicy) : 512;
        name += FormattedRaw(u"-%dK", int((metadata + m_lastSize) / 1024));
    }
    return name;
}

void CJpgSaveDlg::SaveJpeg(int closeAfter)
{
    if (!UpdateData(1) || !m_pendingTemp.empty())
        return;
    IFileDialogs* dialogs = TheDocumentUi().fileDialogs;
    std::u16string path;
    if (!dialogs || !dialogs->ChooseSaveFile(u"jpg", ProposedFileName(), path) || path.empty() || path.size() > 1000)
        return;
    // The chooser does not ask about an existing file.
    if (platform::PathExists(path) && DialogMessage(u"Askoverwrite", kMbQuestion, kMbYesNo) != 6)
        return;
    // A preview still running gives way; it runs again after the save.
    if (JobInFlight()) {
        StopJob();
        m_restartPending = 1;
    }
    SetSaveControlsEnabled(false);
    m_pendingTarget = path;
    m_pendingTemp = SaveTempNameBeside(path);
    StartRun(closeAfter ? kJobSaveClose : kJobSaveStay);
    dialogs->SetLastPath(u"SaveJPG", FolderOf(path));
}

void CJpgSaveDlg::OnOK()
{
    SaveJpeg(1);
}

int CJpgSaveDlg::Apply()
{
    SaveJpeg(0);
    return 0;
}

void CJpgSaveDlg::OnCancel()
{
    CFilterDialog::OnCancel();
    RemovePendingFile();
}

void CJpgSaveDlg::AdjustToFileSize()
{
    std::u16string text = m_encoded ? platform::Utf8ToUtf16(std::to_string((m_lastSize + 512) / 1024)) : u"200";
    if (!Ask(u"inputsize", u"inKB", 6, kAdjustId, text) || !UpdateData(1))
        return;
    const int32_t typed = platform::ParseIntPrefix(text);
    if (typed <= 0)
        return;
    JpegSaveOptions o;
    FillOptions(o);
    o.quality = 100;
    o.targetPolicy = 2;
    o.targetKB = PresetTargetKB(std::min<int32_t>(typed, int32_t(kMaxTargetKB)), MetadataBytes(m_exifPolicy));
    o.outputFlags = JpegOutputEstimate;
    ImageBuffer8 local{};
    CJpegOptimize search;
    search.SetPictures(&m_source, &local);
    int ok;
    {
        BusyScope busy;
        ok = search.Run(o) == 1 && search.Outcome() == JpegOptimizeOutcome::Done;
    }
    FreeImageBuffer(local);
    if (!ok) {
        DialogMessage(u"algorithmerror", kMbInformation, kMbOk);
        return;
    }
    // A picture that fits at 100 needed no search: 99 keeps it clearly below the top.
    const int quality = search.m_chosenQuality ? search.m_chosenQuality : 99;
    if (CSliderSprite* slider = FindSlider(*this, kQualityId))
        slider->SetValue(quality, 1);
    RestartPreview();
}

void CJpgSaveDlg::SavePreset()
{
    if (!m_encoded)
        return;
    const int same = FindSameJpegPreset(m_presets, m_options);
    if (same >= 0) {
        const std::u16string name = JpegPresetName(m_presets.Record(size_t(same)));
        DialogMessage(Formatted(u"samesavepreset", platform::StringView16(name)).c_str(), kMbInformation, kMbOk);
        return;
    }
    std::u16string name;
    if (!Ask(u"dlgPreset", u"Give a name", 30, 0, name) || name.empty())
        return;
    if (StoreJpegPreset(m_presets, name, m_options) == JpegPresetStore::Full) {
        DialogMessage(u"jpgpresetfull", kMbInformation, kMbOk);
        return;
    }
    if (m_presets.BuildPath())
        m_presets.Save(); // a list that cannot be written stays whole in memory
}

void CJpgSaveDlg::DeletePreset()
{
    const int index = FindJpegPresetByName(m_presets, m_presetName, false);
    if (index < 0)
        return;
    m_presets.Remove(size_t(index));
    if (m_presets.BuildPath())
        m_presets.Save();
    ResetPresetName();
    SetControlEnabled(kDeletePresetId, false);
    UpdateButtonTexts();
}

void CJpgSaveDlg::ChoosePreset(size_t index)
{
    JpegSaveOptions o;
    if (index >= m_presets.Count() || !ReadJpegPresetOptions(m_presets.Record(index), o))
        return;
    ReadControls();
    if (CSliderSprite* slider = FindSlider(*this, kQualityId))
        slider->SetValue(o.quality, 1);
    m_exifPolicy = o.reserved9;
    m_sizeMode = o.limitMode;
    m_sizeValue = uint32_t(o.limitValue);
    m_policy = o.targetPolicy;
    m_targetKB = uint32_t(o.targetKB);
    m_presetName = JpegPresetName(m_presets.Record(index));
    UpdateData(0);
    UpdateButtonTexts();
    SetControlEnabled(kDeletePresetId, true);
    RestartPreview();
}

void CJpgSaveDlg::ShowMenu(int32_t buttonId)
{
    CSprite* button = GetControl(buttonId);
    if (!button || !m_window || !m_menuMade)
        return;
    m_menu.Close(0);
    m_menu.ReleaseResources(0);
    auto add = [&](int32_t id, const char16_t* text, bool checked) {
        m_menu.AddItem(nullptr, id, text, nullptr);
        m_menu.CheckItem(id, checked);
    };
    switch (buttonId) {
    case kExifButtonId:
        for (int v = 2; v >= 0; --v)
            add(kMenuExif + v, UiText(kExifKeys[v]), v == m_exifPolicy);
        break;
    case kSizeModeButtonId:
        for (int v = 0; v <= 4; ++v)
            add(kMenuSizeMode + v, UiText(kSizeModeKeys[v]), v == m_sizeMode);
        break;
    case kPolicyButtonId:
        for (int v = 0; v <= 2; ++v)
            add(kMenuPolicy + v, UiText(kPolicyKeys[v]), v == m_policy);
        break;
    default: {
        const size_t count = std::min(m_presets.Count(), kMaxJpegPresets);
        if (count == 0)
            return;
        for (size_t i = 0; i < count; ++i) {
            const std::u16string name = JpegPresetName(m_presets.Record(i));
            add(kMenuPreset + int32_t(i), name.c_str(), name == m_presetName);
        }
        break;
    }
    }
    const SRect b = button->LocalToWindowRect({0, 0, button->Width(), button->Height()});
    m_menu.Track(this, b.right, b.top, true, true);
}

void CJpgSaveDlg::CommitEditedFields()
{
    m_editChanged = false;
    ResetPresetName();
    SetControlEnabled(kDeletePresetId, false);
    UpdateButtonTexts();
    RestartPreview();
}

int CJpgSaveDlg::OnSpriteMessage(SpriteMessage* message)
{
    if (message) {
        const intptr_t p1 = message->param1;
        switch (message->code) {
        case MSG_COMMAND:
            switch (p1) {
            case kPresetButtonId:
            case kExifButtonId:
            case kSizeModeButtonId:
            case kPolicyButtonId: ShowMenu(int32_t(p1)); break;
            case kSavePresetId: SavePreset(); break;
            case kDeletePresetId: DeletePreset(); break;
            case kAdjustId: AdjustToFileSize(); break;
            case kAutoChromaId: {
                ReadControls();
                const uint32_t full = HasChromaDetail(m_source) ? 1 : 0;
                const bool changed = full != m_fullChroma;
                m_fullChroma = full;
                UpdateData(0);
                if (changed)
                    RestartPreview();
                break;
            }
            case kChromaTipId: DialogMessage(u"highHQCTip", kMbInformation, kMbOk); break;
            case kTableTipId: DialogMessage(u"adpQTableTip", kMbInformation, kMbOk); break;
            case kExtraTipId: DialogMessage(u"optMoreTip", kMbInformation, kMbOk); break;
            case kPolicyTipId: DialogMessage(u"policyTip", kMbInformation, kMbOk); break;
            default: break;
            }
            break;
        case MSG_MENU_COMMAND: {
            const int group = int(p1 / 100), value = int(p1 % 100);
            uint8_t* setting = group == 2 ? &m_sizeMode : group == 3 ? &m_policy : group == 5 ? &m_exifPolicy : nullptr;
            const int most = group == 2 ? 4 : 2;
            if (setting && p1 >= 200 && value <= most) {
                if (*setting != value) {
                    ReadControls();
                    *setting = uint8_t(value);
                    ResetPresetName();
                    SetControlEnabled(kDeletePresetId, false);
                    UpdateButtonTexts();
                    RestartPreview();
                }
            } else if (group == 4 && size_t(value) < m_presets.Count()) {
                ChoosePreset(size_t(value));
            }
            break;
        }
        case MSG_EDIT_CHANGED:
            if (p1 >= 0 && (message->sender == GetControl(kSizeValueId) || message->sender == GetControl(kTargetId)))
                m_editChanged = true;
            break;
        case MSG_SLIDER_CHANGED:
        case MSG_CHECK:
            ReadControls();
            if (m_runningJob >= kJobSaveStay)
                m_restartPending = 1; // a save is never cancelled for a preview
            else
                RestartPreview();
            break;
        default: break;
        }
        // An edited number counts once the focus has left it.
        if (m_editChanged && message->code != MSG_EDIT_CHANGED) {
            CMessageSprite* focus = m_window ? m_window->Focus() : nullptr;
            if (focus != GetControl(kSizeValueId) && focus != GetControl(kTargetId))
                CommitEditedFields();
        }
    }
    return CFilterDialog::OnSpriteMessage(message);
}

int RunJpegSaveDialog(CZDDoc& doc, const std::u16string& path, ImageInfo* info)
{
    CJpgSaveDlg dialog(&doc, path, info);
    if (!CreateDialogFromTemplate(dialog, CJpgSaveDlg::kTemplateId)) {
        DialogMessage(u"unexpect", kMbInformation, kMbOk);
        return 0;
    }
    return dialog.DoModal() == 1 ? 1 : 0;
}

void InstallJpegSaveDialog()
{
    SetJpegOptionsRunner(&RunJpegSaveDialog);
}
