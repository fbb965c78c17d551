// The brush dialog: three sliders and a preview of the brush.
#include "editor/tools/PaintTool.h"

#include "imaging/Draw8.h"
#include "platform/DialogTemplate.h"
#include "platform/Folders.h"
#include "platform/Path.h"
#include "ui/DialogSprite.h"
#include "ui/Slider.h"

#include <algorithm>
#include <memory>

namespace {

class CBrushDlg : public CDialogSprite {
public:
    static constexpr int32_t kTemplateId = 142;
    static constexpr int32_t kSizeId = 1060, kSoftId = 1061, kOpacityId = 1062, kLineId = 1057;

    BrushRecord brush;
    int sizeMaximum = 256;
    int placeX = -1, placeY = -1;

    int OnInitDialog() override
    {
        auto* size = dynamic_cast<CSliderSprite*>(GetControl(kSizeId));
        auto* soft = dynamic_cast<CSliderSprite*>(GetControl(kSoftId));
        auto* opacity = dynamic_cast<CSliderSprite*>(GetControl(kOpacityId));
        CSprite* line = GetControl(kLineId);
        if (!size || !soft || !opacity || !line)
            return 0;
        size->SetRange(1, std::max(1, sizeMaximum), std::clamp(brush.size, 1, std::max(1, sizeMaximum)), 1, u"");
        soft->SetRange(0, 100, std::clamp(brush.softness, 0, 100), 1, u"");
        opacity->SetRange(1, 100, std::clamp(brush.opacity, 1, 100), 1, u"");
        if (placeX >= 0 && placeY >= 0)
            SetPos(placeX, placeY, Width(), Height());
        const int bottom = line->Rect().top - 10;
        const int side = std::max(1, std::min(Width() - 20, bottom - 40));
        m_square = {(Width() - side) / 2, 40 + (bottom - 40 - side) / 2, 0, 0};
        m_square.right = m_square.left + side;
        m_square.bottom = m_square.top + side;
        Rebuild();
        return 1;
    }

    int OnSpriteMessage(SpriteMessage* m) override
    {
        if (m && m->code == MSG_SLIDER_CHANGED) {
            auto read = [&](int32_t id, int32_t& to) {
                if (auto* s = dynamic_cast<CSliderSprite*>(GetControl(id)))
                    to = s->Value() / std::max(1, s->Divisor());
            };
            read(kSizeId, brush.size);
            read(kSoftId, brush.softness);
            read(kOpacityId, brush.opacity);
            Rebuild();
        }
        return CDialogSprite::OnSpriteMessage(m);
    }

    int OnDraw(uint32_t time) override
    {
        const int drawn = CDialogSprite::OnDraw(time);
        platform::ScopedLock lock(m_lock);
        if ((!drawn && !m_previewDirty) || !m_image.data || !m_preview.data)
            return drawn;
        m_previewDirty = false;
        FillRect8(m_image, {m_square.left, m_square.top, m_square.right, m_square.bottom}, 0x000000, 255);
        BlendImage8(m_image, m_preview, m_square.left, m_square.top, false, 256);
        InvalidateRect(m_square.left, m_square.top, m_square.right, m_square.bottom, 1);
        return 1;
    }

    void ReleaseResources(int flag) override
    {
        {
            platform::ScopedLock lock(m_lock);
            FreeImageBuffer(m_preview);
        }
        CDialogSprite::ReleaseResources(flag);
    }

private:
    void Rebuild()
    {
        BuildBrushStamp(brush);
        const int side = std::max(1, m_square.right - m_square.left);
        RenderBrushIcon(brush, side);
        platform::ScopedLock lock(m_lock);
        FreeImageBuffer(m_preview);
        CopyImage8(m_preview, brush.icon);
        m_previewDirty = true;
        SetAllDirty(1);
    }

    SRect m_square{};
    ImageBuffer8 m_preview;
    bool m_previewDirty = false;
};

} // namespace

int RunBrushDialog(BrushRecord& brush, int sizeMaximum, int x, int y)
{
    std::unique_ptr<platform::DialogTemplate> t =
        platform::DialogTemplate::Load(platform::JoinPath(platform::ProgramFolder(), u"dialogs"), CBrushDlg::kTemplateId);
    if (!t)
        return 0;
    CBrushDlg dialog;
    dialog.brush.size = brush.size;
    dialog.brush.softness = brush.softness;
    dialog.brush.opacity = brush.opacity;
    dialog.sizeMaximum = std::min(sizeMaximum, 512);
    dialog.placeX = x;
    dialog.placeY = y;
    if (!dialog.CreateFromTemplate(*t, 0, 0, 0, 0))
        return 0;
    if (dialog.DoModal() != 1)
        return 0;
    brush.size = dialog.brush.size;
    brush.softness = dialog.brush.softness;
    brush.opacity = dialog.brush.opacity;
    BuildBrushStamp(brush);
    return 1;
}
