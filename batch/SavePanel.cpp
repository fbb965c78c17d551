#include "batch/SavePanel.h"

#include "algorithms/JpegOptimize.h"
#include "dialogs/DialogSupport.h"
#include "imaging/ColourTables.h"
#include "imaging/Document.h"
#include "imaging/DocumentUi.h"
#include "imaging/Draw8.h"
#include "imaging/ImageCodec/ImageInfo.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "imaging/ImageCodec/ImageType.h"
#include "imaging/ImageCodec/JpegWriter.h"
#include "imaging/ProjectFile.h"
#include "imaging/PsdWriter.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "raster/Raster.h"
#include "ui/MessageBox.h"
#include "ui/StaticText.h"
#include "ui/Tree.h"
#include "ui/UiSeams.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <unistd.h>

namespace {

constexpr uint64_t kOpaqueWhite = 0xFFFFFFFFFFFFFFFFull;
constexpr uint32_t kCaptionColour = 0xE6E6E6;
constexpr uint32_t kTipColour = 0xC8C8C8;
constexpr int kIconSide = 48;

JpegOptionsRunner g_jpegOptions;
std::atomic<int32_t> g_autoTile{0};

std::u16string LowerCase(std::u16string s)
{
    for (char16_t& c : s)
        if (c >= u'A' && c <= u'Z')
            c = char16_t(c - u'A' + u'a');
    return s;
}

bool EndsWithNoCase(const std::u16string& path, const char16_t* suffix)
{
    const std::u16string s = suffix;
    return path.size() >= s.size() && LowerCase(path.substr(path.size() - s.size())) == s;
}

// The folder part with its trailing '/'.
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

void Tell(const char16_t* key)
{
    DialogMessage(key, kMbInformation, kMbOk);
}

// The encoded picture in memory: our JPEG encoder, the codec library for the others.
bool EncodePicture(const ImageBuffer8& picture, int type, bool withAlpha, std::vector<uint8_t>& out)
{
    uint8_t* buffer = nullptr;
    int64_t size = 0;
    bool ok = false;
    if (type == kImageTypeJpeg) {
        JpegWriter writer;
        ok = writer.EncodeToMemory(buffer, size, picture, 195) != 0; // 95 without chroma subsampling
    } else {
        CRaster raster;
        ok = ImageToRaster8(picture, raster, withAlpha) &&
             raster.Encode(buffer, size, type == kImageTypePng ? RasterFormatPNG : RasterFormatTIF);
    }
    ok = ok && buffer && size > 0;
    if (ok)
        out.assign(buffer, buffer + size);
    std::free(buffer);
    return ok;
}

} // namespace

// A hidden name beside the target for a writer that only writes to a path of its own; the
// JPEG options keep the target's extension, so the encoder and the metadata see its type.
std::u16string SaveTempNameBeside(const std::u16string& target)
{
    static std::atomic<uint32_t> counter{0};
    const std::u16string folder = FolderOf(target);
    const std::u16string name = target.substr(folder.size());
    const std::string tag = std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
    return folder + u"." + name + u"." + std::u16string(tag.begin(), tag.end()) + u".tmp.jpg";
}

int PresetTargetKB(int kilobytes, uint32_t metadataBytes)
{
    int64_t t = int64_t(kilobytes) * 1024 - int64_t(metadataBytes);
    if (t < 1024)
        t = 1024;
    return int(std::min<int64_t>((t + 512) / 1024, INT32_MAX));
}

int FlattenForSave(const CZDDoc& doc, ImageBuffer8& out)
{
    if (doc.LayerCount() == 0)
        return 0;
    ImageBuffer16 flat;
    if (!doc.Flatten(flat, kOpaqueWhite))
        return 0;
    const int ok = ConvertImage16To8Dithered(flat, out);
    FreeImageBuffer(flat);
    return ok;
}

int WritePictureAs(const ImageBuffer8& picture, const std::u16string& path, int type, ImageInfo* info)
{
    switch (type) {
    case kImageTypeJpeg:
    case kImageTypePng:
    case kImageTypeTiff: {
        std::vector<uint8_t> bytes;
        if (!EncodePicture(picture, type, type == kImageTypePng, bytes))
            return 0;
        // The metadata goes into the bytes first, so the file appears once, whole.
        if (info && !info->WriteBack(bytes, path.c_str()))
            return 0;
        if (!platform::MayReplaceFile(platform::ToNativePath(path), false))
            return 0;
        return platform::WriteWholeFileAtomic(path, bytes) ? 1 : 0;
    }
    case kImageTypeGif:
        return CodecSaveImage8(picture, path.c_str(), true);
    case kImageTypeBmp:
    case kImageTypeTga:
    case kImageTypePcx:
        return CodecSaveImage8(picture, path.c_str(), false);
    default:
        return 0; // RAW and unknown types cannot be written back
    }
}

// ---- the panel ----------------------------------------------------------------------------

CSaveDlg::CSaveDlg(CZDDoc* doc, std::u16string path, ImageInfo* info)
    : m_doc(doc), m_path(std::move(path)), m_info(info), m_presets(kJpegSavePresets)
{
    m_imageType = m_path.empty() ? kImageTypeOther : ImageTypeFromExtension(m_path.c_str());
}

CSaveDlg::~CSaveDlg()
{
    CSaveDlg::ReleaseResources(1);
    delete m_list;
    FreeImageList8(m_icons);
    FreeImageBuffer(m_mark);
}

void CSaveDlg::ReleaseResources(int flag)
{
    RemoveChild(&m_panel);
    m_panel.ReleaseResources(flag);
    CDialogSprite::ReleaseResources(flag);
}

int CSaveDlg::OnInitDialog()
{
    CSprite* listFrame = GetControl(kPresetListId);
    CSprite* line = GetControl(kSeparatorId);
    if (!listFrame || !line)
        return 0;
    const SRect lr = listFrame->Rect();
    m_panelRect = {10, 40, lr.left - 30, line->Rect().top - 10};
    if (m_panelRect.Width() < 64 || m_panelRect.Height() < 64)
        return 0;
    if (!m_panel.Create(this, nullptr, kPanelId, 2, m_panelRect.left, m_panelRect.top, m_panelRect.right,
                        m_panelRect.bottom))
        return 0;
    m_panel.m_background.store(0);
    m_panelMade = true;
    FreeImageList8(m_icons);
    FreeImageBuffer(m_mark);
    if (!LoadUiImageStrip(UiImageFolder::Skin, u"save.png", kIconSide, m_icons) || m_icons.size() < 5 ||
        !LoadUiImage(UiImageFolder::Skin, u"include.png", m_mark))
        return 0;
    if (!BuildTiles())
        return 0;
    AddChild(&m_panel);
    if (m_imageType == kImageTypeOther || m_imageType == kImageTypeRaw)
        m_panel.EnableItem(kSaveBack, 0);
    if (!g_jpegOptions)
        m_panel.EnableItem(kJpegOptions, 0);

    // The list takes the place of its frame in the template.
    m_list = new CFlatSimpleList;
    if (!m_list->Create(this, nullptr, kPresetListId, 3, lr.left, lr.top, lr.right, lr.bottom))
        return 0;
    AddChild(m_list);
    m_presets.Load(); // a missing or damaged file leaves the list empty
    for (size_t i = 0; i < m_presets.Count(); ++i) {
        char16_t name[kJpegPresetNameChars + 1] = {};
        std::memcpy(name, m_presets.Record(i).data(), kJpegPresetNameChars * 2);
        m_list->AddItem(name, nullptr);
    }
    m_list->SetSelection(-1, false, false);
    return 1;
}

int CSaveDlg::BuildTiles()
{
    const int W = m_panelRect.Width(), H = m_panelRect.Height();
    const int A = H * 36 / 100, B = H * 72 / 100, C = H * 26 / 100;
    auto picture = [&](int id, int frame, int width, int height, const char16_t* caption, const char16_t* tip,
                       const SRect& r) {
        ImageBuffer8 image;
        if (!AllocImage8(image, std::max(1, width), std::max(1, height)))
            return 0;
        std::fill_n(image.data, size_t(image.width) * image.height * 4, uint8_t(0));
        BlendImage8(image, *m_icons[size_t(frame)], 5, 5, true, 256);
        DrawTextInRect(image, UiText(caption), 24, kCaptionColour, 0, 0, 60, 5, image.width, 5 + 28);
        // The tip wraps once, at the word nearest its middle, when it would not fit on one line
        // (about 7 pixels a character at this height).
        const std::u16string text = UiText(tip);
        const int room = std::max(1, image.width - 65);
        std::u16string first = text, second;
        if (int(text.size()) * 7 > room) {
            const size_t mid = text.size() / 2;
            const size_t before = text.rfind(u' ', mid), after = text.find(u' ', mid);
            size_t cut = before;
            if (cut == std::u16string::npos || (after != std::u16string::npos && after - mid < mid - before))
                cut = after;
            if (cut != std::u16string::npos) {
                first = text.substr(0, cut);
                second = text.substr(cut + 1);
            }
        }
        DrawTextInRect(image, first.c_str(), 14, kTipColour, 0, 0, 60, 32, 60 + room, 32 + 18);
        if (!second.empty())
            DrawTextInRect(image, second.c_str(), 14, kTipColour, 0, 0, 60, 50, 60 + room, 50 + 18);
        const int ok = m_panel.AddItem(id, 1, nullptr, nullptr, nullptr, r.left, r.top, r.right, r.bottom);
        if (ok)
            m_panel.SetLastItemImage(image);
        FreeImageBuffer(image);
        return ok;
    };
    auto iconOnly = [&](int id, int frame, const char16_t* tip, const SRect& r) {
        return m_panel.AddItem(id, 1, nullptr, UiText(tip), m_icons[size_t(frame)], r.left, r.top, r.right, r.bottom);
    };
    return picture(kProject, 0, W - A - 4, std::min(A - 4, 72), u"SaveProject", u"ProjTip",
                   {0, 0, W - A - 2, A - 2}) &&
           iconOnly(kSaveBack, 3, u"SaveBackTip", {W - A, 0, W - 2, A - 2}) &&
           picture(kJpegOptions, 1, W - 4, std::min(A - 4, 72), u"SaveJpeg", u"JpegTip", {0, A, W - 2, 2 * A - 2}) &&
           iconOnly(kOtherFormat, 4, u"SaveOther", {0, B, C, B + C}) &&
           picture(kPng, 2, W - C - 8, std::min(C, 62), u"Save PNG", u"PNGTip", {C + 2, B, W - 2, B + C});
}

int CSaveDlg::OnDraw(uint32_t time)
{
    const bool redraw = AllDirty() && m_image.data;
    const int result = CDialogSprite::OnDraw(time);
    if (redraw && m_mark.data && m_image.data)
        BlendImage8(m_image, m_mark, m_panelRect.right + 5,
                    m_panelRect.top + (m_panelRect.Height() - m_mark.height) / 2 + 5, true, 128);
    return result;
}

int CSaveDlg::OnSpriteMessage(SpriteMessage* m)
{
    if (m && m->code == MSG_TREE_SELECT && m_list && m->sender == m_list) {
        if (m->param1 >= 0 && size_t(m->param1) < m_presets.Count()) {
            SaveAsJpeg(size_t(m->param1));
            if (Result() != 1)
                m_list->SetSelection(-1, false, false);
        }
    } else if (m && m->code == MSG_PANEL_CLICK && m->sender == &m_panel) {
        switch (int(m->param1)) {
        case kProject: SaveAsProject(); break;
        case kSaveBack: SaveBack(); break;
        case kJpegOptions: ShowJpegOptions(); break;
        case kPng: SaveAsPng(); break;
        case kOtherFormat: SaveAsOtherFormat(); break;
        default: break;
        }
    } else if (m && m->code == MSG_COMMAND) {
        OnCommand(int(m->param1));
    }
    return CMessageSprite::OnSpriteMessage(m);
}

std::u16string CSaveDlg::GetInitialFileName(const char16_t* kind) const
{
    if (m_path.empty())
        return {};
    IFileDialogs* dialogs = TheDocumentUi().fileDialogs;
    std::u16string last = dialogs ? dialogs->GetLastPath(kind) : std::u16string();
    const std::u16string base = WithoutExtension(m_path);
    if (last.empty())
        return base;
    if (last.back() != u'/')
        last += u'/';
    return last + base.substr(FolderOf(base).size());
}

void CSaveDlg::RememberFolder(const char16_t* kind, const std::u16string& file) const
{
    if (IFileDialogs* dialogs = TheDocumentUi().fileDialogs)
        dialogs->SetLastPath(kind, FolderOf(file));
}

bool CSaveDlg::ChooseFile(const char16_t* kind, const char16_t* defaultExtension, std::u16string& path)
{
    IFileDialogs* dialogs = TheDocumentUi().fileDialogs;
    if (!dialogs || !dialogs->ChooseSaveFile(defaultExtension, GetInitialFileName(kind), path) || path.empty() ||
        path.size() > 1023)
        return false;
    // The chooser never asks about an existing file: a typed name would replace it silently.
    if (platform::PathExists(path)) {
        const char16_t* question = path == m_path ? u"Askoverwriteorg" : u"Askoverwrite";
        if (DialogMessage(question, kMbQuestion, kMbYesNo) != 6)
            return false;
    }
    return true;
}

void CSaveDlg::Succeeded()
{
    UpdateData(1);
    SetResult(1);
}

void CSaveDlg::SaveAsProject()
{
    if (!m_doc)
        return;
    std::u16string path;
    if (!ChooseFile(u"SaveProject", u"zdoc", path))
        return;
    std::unique_ptr<ImageInfoProperties> properties = m_info ? std::make_unique<ImageInfoProperties>(*m_info) : nullptr;
    ProjectSaveResult result;
    {
        BusyScope busy;
        result = SaveProjectFile(path, *m_doc, properties.get());
    }
    RememberFolder(u"SaveProject", path);
    if (result == ProjectSaveResult::CannotOpen)
        Tell(u"Cannotopenfile");
    else if (result != ProjectSaveResult::Saved)
        Tell(u"ErrorSave");
    else
        Succeeded();
}

void CSaveDlg::SaveBack()
{
    if (!m_doc || m_path.empty() || m_imageType == kImageTypeOther || m_imageType == kImageTypeRaw)
        return;
    if (DialogMessage(u"Askoverwriteorg", kMbQuestion, kMbYesNo) != 6)
        return;
    ImageBuffer8 picture;
    if (!FlattenForSave(*m_doc, picture)) {
        Tell(u"unexpect");
        return;
    }
    int ok;
    {
        BusyScope busy;
        ok = WritePictureAs(picture, m_path, m_imageType, m_info);
    }
    FreeImageBuffer(picture);
    if (!ok)
        Tell(u"ErrorSave");
    else
        Succeeded();
}

bool CSaveDlg::PresetOptions(size_t i, JpegSaveOptions& options) const
{
    if (i >= m_presets.Count())
        return false;
    static_assert(kJpegPresetOptionsOffset + sizeof(JpegSaveOptions) <= kJpegSavePresets.recordSize);
    std::memcpy(&options, m_presets.Record(i).data() + kJpegPresetOptionsOffset, sizeof options);
    // The stored picture references mean nothing here.
    std::memset(reinterpret_cast<uint8_t*>(&options) + offsetof(JpegSaveOptions, sourceSlot), 0,
                sizeof options - offsetof(JpegSaveOptions, sourceSlot));
    options.path[1023] = 0;
    return true;
}

void CSaveDlg::SaveAsJpeg(size_t preset)
{
    JpegSaveOptions options;
    if (!m_doc || !PresetOptions(preset, options))
        return;
    ImageBuffer8 picture;
    if (!FlattenForSave(*m_doc, picture)) {
        Tell(u"unexpect");
        return;
    }
    std::u16string path;
    if (!ChooseFile(u"SaveJPG", u"jpg", path)) {
        FreeImageBuffer(picture);
        return;
    }
    const uint8_t policy = reinterpret_cast<const uint8_t*>(&options)[kJpegOptionsExifPolicy];
    options.version = 2;
    options.chroma = 2;
    if (options.targetPolicy != 0)
        options.targetKB = PresetTargetKB(options.targetKB, m_info ? m_info->GetMetadataSize(policy) : 256);
    // The encoder and the metadata work on a hidden file beside the target, renamed over it only
    // when both succeeded.
    const std::u16string temp = SaveTempNameBeside(path);
    std::memset(options.path, 0, sizeof options.path);
    std::copy(temp.begin(), temp.end(), options.path);
    options.outputFlags = JpegOutputWrite;
    bool ok;
    {
        BusyScope busy;
        ImageBuffer8 work;
        CJpegOptimize jpeg;
        jpeg.SetPictures(&picture, &work);
        ok = jpeg.Run(options) == 1 && jpeg.Outcome() == JpegOptimizeOutcome::Done;
        FreeImageBuffer(work);
        if (ok && m_info) {
            if (policy == 1)
                ok = SaveImageProperties(temp.c_str(), *m_info) != 0;
            else if (policy == 2)
                ok = m_info->WriteBack(temp.c_str()) != 0;
        }
        ok = ok && platform::MayReplaceFile(platform::ToNativePath(path), false) &&
             platform::MoveFile(temp, path, false);
        if (!ok)
            platform::DeleteFile(temp);
    }
    FreeImageBuffer(picture);
    if (!ok) {
        Tell(u"unexpect");
        if (m_list)
            m_list->SetSelection(-1, false, false);
        return;
    }
    RememberFolder(u"SaveJPG", path);
    Succeeded();
}

void CSaveDlg::ShowJpegOptions()
{
    if (!m_doc || !g_jpegOptions)
        return;
    m_fadeOutOnClose = 0;
    SetVisible(0);
    SetAllDirty(1);
    Invalidate();
    const int result = g_jpegOptions(*m_doc, m_path, m_info);
    if (result == 1) {
        SetResult(1);
        return;
    }
    SetVisible(1);
    SetAllDirty(1);
    Invalidate();
}

void CSaveDlg::SaveAsPng()
{
    const CZDLayer* layer = m_doc ? m_doc->GetCurrentLayer() : nullptr;
    if (!layer) {
        Tell(u"unexpect");
        return;
    }
    ImageBuffer8 picture;
    if (!ConvertImage16To8Dithered(layer->pixels, picture)) {
        Tell(u"unexpect");
        return;
    }
    std::u16string path;
    if (!ChooseFile(u"SavePNG", u"png", path)) {
        FreeImageBuffer(picture);
        return;
    }
    int ok;
    {
        BusyScope busy;
        // Always PNG, whatever the typed name ends in.
        ok = WritePictureAs(picture, path, kImageTypePng, nullptr);
    }
    FreeImageBuffer(picture);
    if (!ok) {
        Tell(u"ErrorSave");
        return;
    }
    RememberFolder(u"SavePNG", path);
    Succeeded();
}

void CSaveDlg::SaveAsOtherFormat()
{
    if (!m_doc)
        return;
    std::u16string path;
    if (!ChooseFile(u"SaveOthers", u"", path))
        return;
    ImageBuffer8 picture;
    if (!FlattenForSave(*m_doc, picture)) {
        Tell(u"unexpect");
        return;
    }
    int ok;
    {
        BusyScope busy;
        if (EndsWithNoCase(path, u".psd")) {
            // The layer writer takes 16-bit pixels: the flattened picture goes as one layer.
            ImageBuffer16 flat;
            ok = m_doc->Flatten(flat, kOpaqueWhite) && CPSDLayerSave().SaveFile(path, flat);
            FreeImageBuffer(flat);
        } else {
            ok = CodecFormatFromExtension(path.c_str()) >= 0 && CodecSaveImage8(picture, path.c_str(), false);
        }
    }
    FreeImageBuffer(picture);
    if (!ok) {
        Tell(u"ErrorSave");
        return;
    }
    RememberFolder(u"SaveOthers", path);
    Succeeded();
}

int CSaveDlg::SaveLayerAs(const ImageBuffer16& layer)
{
    std::u16string path;
    if (!ChooseFile(u"SaveLayer", u"", path))
        return 0;
    const bool png = EndsWithNoCase(path, u".png");
    if (!png && !EndsWithNoCase(path, u".psd")) {
        path += u".psd";
        if (platform::PathExists(path) && DialogMessage(u"Askoverwrite", kMbQuestion, kMbYesNo) != 6)
            return 0;
    }
    BusyScope busy;
    if (png) {
        ImageBuffer8 picture;
        if (!ConvertImage16To8Dithered(layer, picture)) {
            Tell(u"unexpect");
            return 0;
        }
        const int ok = WritePictureAs(picture, path, kImageTypePng, nullptr);
        FreeImageBuffer(picture);
        if (!ok) {
            Tell(u"ErrorSave");
            return 0;
        }
        RememberFolder(u"SaveLayer", path);
    } else if (!CPSDLayerSave().SaveFile(path, layer)) {
        Tell(u"ErrorSave");
        return 0;
    }
    SetResult(1);
    return 1;
}

void SetJpegOptionsRunner(JpegOptionsRunner runner)
{
    g_jpegOptions = std::move(runner);
}

void SetSavePanelAutoTile(int32_t tileId)
{
    g_autoTile.store(tileId);
}

int RunSavePanel(CZDDoc& doc, const std::u16string& path, ImageInfo* info)
{
    CSaveDlg dialog(&doc, path, info);
    int tile = g_autoTile.load();
    // Program tests may skip the panel and go straight to a tile's path question.
    if (const char* forced = std::getenv("ZENDRA_SAVE_TILE"); !tile && forced && std::getenv("ZENDRA_TEST"))
        tile = std::atoi(forced);
    if (tile) {
        switch (tile) {
        case CSaveDlg::kProject: dialog.SaveAsProject(); break;
        case CSaveDlg::kSaveBack: dialog.SaveBack(); break;
        case CSaveDlg::kPng: dialog.SaveAsPng(); break;
        case CSaveDlg::kOtherFormat: dialog.SaveAsOtherFormat(); break;
        default: break;
        }
        return dialog.Result() == 1 ? 1 : 0;
    }
    if (!CreateDialogFromTemplate(dialog, CSaveDlg::kTemplateId)) {
        DialogMessage(u"unexpect", kMbInformation, kMbOk);
        return 0;
    }
    std::printf("zendra: save panel shown\n");
    std::fflush(stdout);
    return dialog.DoModal() == 1 ? 1 : 0;
}

int SaveLayerAs(const ImageBuffer16& layer, const std::u16string& documentPath)
{
    CSaveDlg dialog(nullptr, documentPath, nullptr);
    return dialog.SaveLayerAs(layer);
}
