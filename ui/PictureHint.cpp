// Picture hint dialog: template 140 in code, resized around the picture when it starts.
#include "ui/PictureHint.h"

#include "imaging/Draw8.h"
#include "imaging/ImageCodec/ImageLoad.h"
#include "imaging/TextRender.h"
#include "ui/Button.h"
#include "ui/ToolkitControls.h"

CPicDemoDlg::CPicDemoDlg(const char16_t* path, const char16_t* caption)
{
    if (path) {
        m_path = path;
        if (m_path.size() > 1023)
            m_path.resize(1023);
    }
    if (caption) {
        m_captionText = caption;
        m_hasCaption = true;
    }
}

CPicDemoDlg::~CPicDemoDlg()
{
    FreeImageBuffer(m_picture);
}

int CPicDemoDlg::Create()
{
    DialogLayout layout;
    if (!LayoutDialogTemplate(CodeDialogTemplate(263, 183, u"Dialog", {{u"Button", u"OK", 1, 205, 162, 50, 14}}), 96.0,
                              layout))
        return 0;
    return CreateFromRecords(kTemplateId, std::move(layout.records), u"Dialog", layout.clientWidth,
                             layout.clientHeight, 0, 0, 0, 0);
}

int CPicDemoDlg::OnInitDialog()
{
    if (m_path.empty())
        return 0;
    ImageBuffer8 picture;
    if (!CodecLoadImage8(picture, m_path.c_str()))
        return 0;
    {
        platform::ScopedLock lock(m_lock);
        FreeImageBuffer(m_picture);
        m_picture = picture;
    }
    const int w = m_picture.width, h = m_picture.height;
    if (m_hasCaption) {
        ImageBuffer8 caption;
        if (!RenderTextLocked(m_captionText.c_str(), caption, nullptr, 0, std::max(1, w + 20 - 40), nullptr))
            return 0;
        CopyTextBounded(m_caption, 256, m_captionText.c_str());
        platform::ScopedLock lock(m_lock);
        FreeImageBuffer(m_captionImage);
        m_captionImage = caption;
    }
    const SRect r = Rect();
    const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
    const int dw = w + 20, dh = h + 80;
    SetPos(cx - dw / 2, cy - dh / 2, dw, dh);
    if (CSprite* ok = GetControl(1))
        ok->SetPos(dw / 2 - 50, h + 50, 100, 20);
    m_close.SetPos(w - 7, 7, 20, 20);
    SetAllDirty(1);
    return 1;
}

int CPicDemoDlg::OnDraw(uint32_t time)
{
    const int drew = CDialogSprite::OnDraw(time);
    if (!AllDirty())
        return drew;
    platform::ScopedLock lock(m_lock);
    if (m_image.data && m_picture.data)
        BlendImage8(m_image, m_picture, 10, 40, false, 256);
    return drew;
}

int ShowPictureHint(const char16_t* path, const char16_t* caption)
{
    CPicDemoDlg dialog(path, caption);
    if (!dialog.Create())
        return 0;
    return dialog.DoModal();
}
