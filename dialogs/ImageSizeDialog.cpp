// Image size dialog (see the header).
#include "dialogs/ImageSizeDialog.h"

#include "algorithms/SchemeSteps.h"
#include "dialogs/DialogSupport.h"
#include "dialogs/SliderDialogSupport.h"
#include "imaging/Document.h"
#include "imaging/HistoryStore.h"
#include "platform/Format.h"
#include "ui/MessageBox.h"
#include "ui/RenderWindow.h"
#include "ui/UiSeams.h"

#include <algorithm>

namespace {

constexpr const char16_t* kMethodKeys[6] = {nullptr, u"Nearest Neighbor", u"Biliner", u"BiCubic", u"Advanced", u"ISX2"};

} // namespace

CImageSizeDlg::CImageSizeDlg() = default;

CImageSizeDlg::~CImageSizeDlg()
{
    CImageSizeDlg::ReleaseResources(1);
}

void CImageSizeDlg::ReleaseResources(int flag)
{
    if (m_menuBuilt) {
        m_menu.Close(0);
        m_menu.ReleaseResources(1);
        m_menuBuilt = false;
    }
    CAlgorithmDialog::ReleaseResources(flag);
}

int CImageSizeDlg::OnInitDialog()
{
    if (!CAlgorithmDialog::OnInitDialog())
        return 0;
    m_widthEdit = dynamic_cast<CEditSprite*>(GetControl(kWidthId));
    m_heightEdit = dynamic_cast<CEditSprite*>(GetControl(kHeightId));
    m_methodButton = dynamic_cast<CSButton*>(GetControl(kMethodId));
    if (!m_widthEdit || !m_heightEdit || !m_methodButton || !m_document || m_document->width <= 0 ||
        m_document->height <= 0)
        return 0;
    for (CEditSprite* e : {m_widthEdit, m_heightEdit}) {
        e->m_maxLength = 7;
        e->m_filter = CEditSprite::kFilterAllowed;
        std::copy_n(u"0123456789", 11, e->m_allowed);
    }
    m_newWidth = m_document->width;
    m_newHeight = m_document->height;
    BindControl(kWidthId, &m_newWidth, kBindRange, 32768, 1);
    BindControl(kHeightId, &m_newHeight, kBindRange, 32768, 1);
    m_aspect = double(m_document->width) / m_document->height;
    m_fullRect = Rect();
    BindControl(kKeepId, &m_keepProportion, kBindUnsigned, 0, 0);
    m_methodButton->m_dropDownMark = 1;
    m_method = ResizeSmartMethod;
    m_methodButton->SetText(UiText(kMethodKeys[m_method]));
    m_widthEdit->SetEnabled(1);
    m_heightEdit->SetEnabled(1);
    if (!m_menu.Create(nullptr, m_window, kMenuId, 201, 0, 0, 100, 100))
        return 0;
    m_menu.SetVisible(0);
    m_menuBuilt = true;
    const SRect b = m_methodButton->Rect();
    SetProgressRect({b.left, b.top + 30, b.right, b.top + 45});
    const SliderSetup sliders[] = {
        {kDetailsId, 0, 100, int32_t(m_details), 1, nullptr},
        {kSharpenId, 0, 100, int32_t(m_sharpen), 1, nullptr},
    };
    if (!SetUpSliders(*this, sliders, std::size(sliders)))
        return 0;
    BindControl(kClearEdgeId, &m_clearEdge, kBindUnsigned, 0, 0);
    UpdateData(0);
    return 1;
}

void CImageSizeDlg::DrawProgress()
{
    if (m_finalStarted)
        CAlgorithmDialog::DrawProgress();
}

void CImageSizeDlg::SetInitialFocus()
{
    if (m_window && m_widthEdit)
        m_window->SetFocus(m_widthEdit, false);
}

void CImageSizeDlg::PlaceClose()
{
    m_close.SetPos(Width() - 27, 7, 20, 20);
}

void CImageSizeDlg::SetMethod(int method)
{
    if (method < ResizeNearestMethod || method > ResizeDoubleMethod)
        return;
    m_method = method;
    if (m_methodButton)
        m_methodButton->SetText(UiText(kMethodKeys[method]));
    const SRect r = Rect();
    if (method == ResizeSmartMethod) {
        if (!(r == m_fullRect)) {
            SetPos(m_fullRect.left, m_fullRect.top, m_fullRect.Width(), m_fullRect.Height());
            PlaceClose();
        }
    } else if (r.Width() == m_fullRect.Width()) {
        // The details belong to the smart method only: the dialog shrinks to its main column.
        if (CSprite* separator = GetControl(kSeparatorId)) {
            SetPos(r.left, r.top, separator->Rect().left - 1, r.Height());
            PlaceClose();
        }
    }
    if (method == ResizeDoubleMethod && m_document) {
        m_newWidth = 2 * m_document->width;
        m_newHeight = 2 * m_document->height;
        UpdateData(0);
    }
    if (m_widthEdit)
        m_widthEdit->SetEnabled(method != ResizeDoubleMethod);
    if (m_heightEdit)
        m_heightEdit->SetEnabled(method != ResizeDoubleMethod);
    SetAllDirty(1);
}

void CImageSizeDlg::ShowMethodMenu()
{
    if (!m_methodButton || !m_window || !m_menuBuilt)
        return;
    m_menu.Close(0);
    m_menu.ReleaseResources(0);
    for (int i = ResizeNearestMethod; i <= ResizeDoubleMethod; ++i)
        m_menu.AddItem(nullptr, i, UiText(kMethodKeys[i]), nullptr);
    const SRect b = m_methodButton->LocalToWindowRect({0, 0, m_methodButton->Width(), m_methodButton->Height()});
    m_menu.Track(this, b.right, b.top, true, true);
}

void CImageSizeDlg::LinkSize(CEditSprite* from)
{
    const int32_t a = platform::ParseIntPrefix(platform::String16(from->GetText()));
    if (a < 11 || a > 32767)
        return;
    char16_t text[32];
    if (from == m_widthEdit) {
        platform::FormatToBuffer(text, u"%d", int(a / m_aspect + 0.5));
        m_heightEdit->SetText(text);
    } else {
        platform::FormatToBuffer(text, u"%d", int(a * m_aspect + 0.5));
        m_widthEdit->SetText(text);
    }
}

int CImageSizeDlg::OnSpriteMessage(SpriteMessage* message)
{
    if (message && m_menuBuilt && !m_finalStarted) {
        switch (message->code) {
        case MSG_COMMAND:
            if (message->param1 == kMethodId)
                ShowMethodMenu();
            break;
        case MSG_MENU_COMMAND:
            if (message->param1 >= ResizeNearestMethod && message->param1 <= ResizeDoubleMethod) {
                SetMethod(int(message->param1));
                return 1;
            }
            break;
        case MSG_EDIT_CHANGED:
            if (m_keepProportion && (message->sender == m_widthEdit || message->sender == m_heightEdit))
                LinkSize(static_cast<CEditSprite*>(message->sender));
            break;
        case MSG_CHECK: UpdateData(1); break;
        default: break;
        }
    }
    return CAlgorithmDialog::OnSpriteMessage(message);
}

void CImageSizeDlg::OnOK()
{
    if (m_finalStarted || !UpdateData(1))
        return;
    if (int64_t(m_newWidth) * m_newHeight > kMaxPixels) {
        DialogMessage(u"errmem", kMbInformation, kMbOk);
        return;
    }
    if (auto* ok = dynamic_cast<CMessageSprite*>(GetControl(1)))
        ok->SetEnabled(0);
    // From here only the resize's own completion counts: no preview restarts into it.
    m_finalStarted = true;
    m_restartPending = 0;
    SetAllDirty(1);
    RequestRun();
}

void CImageSizeDlg::StartJob()
{
    if (!m_finalStarted || !m_document)
        return;
    m_details = uint32_t(SliderValue(*this, kDetailsId));
    m_sharpen = uint32_t(SliderValue(*this, kSharpenId));
    m_params = ImageSizeParams{};
    m_params.width = m_newWidth;
    m_params.height = m_newHeight;
    m_params.method = m_method;
    m_params.document = 0; // the document is handed to the algorithm, never stored
    m_params.enhance = int32_t(m_clearEdge);
    m_params.areaValue = int32_t(m_details);
    m_params.sharpenAmount = int32_t(m_sharpen);
    m_params.applyMode = 0;
    m_resize.SetDocument(m_document);
    StartDialogJob(&m_resize, nullptr, nullptr, &m_params, sizeof m_params, kJobFinal);
}

void CImageSizeDlg::OnJobDone(int jobId, int result)
{
    if (jobId != kJobFinal || !m_finalStarted)
        return; // another job's completion starts nothing here
    if (result > 0) {
        if (m_bindToEditor && m_history) {
            std::vector<uint8_t> bytes;
            if (WriteSchemeStep(kStepId, SchemeStepRecord(m_params), bytes))
                m_history->AddStep(kHistoryDocument, -1, UiText(u"hisIS"), true, kStepId, bytes.data(),
                                   int32_t(bytes.size()));
            else
                m_history->AddStep(kHistoryDocument, -1, UiText(u"hisIS"), false, 0, nullptr, 0);
        }
        m_document->modified = 1;
        CAlgorithmDialog::OnOK();
        return;
    }
    // The resize left the document as it was; only Cancel remains.
    DialogMessage(u"unexpect", kMbInformation, kMbOk);
    SetAllDirty(1);
}
