#include "editor/panels/ColumnPanelPage.h"

#include "imaging/Draw8.h"

#include <algorithm>

CSColumnPanelPage::CSColumnPanelPage(CSprite& list)
    : CSTabPage(u""), m_columnList(list)
{
    SetFlags(Flags() | SF_INPUT);
}

void CSColumnPanelPage::SetPos(int x, int y, int width, int height)
{
    CSTabPage::SetPos(x, y, width, height);
    SetAllDirty(1);
    m_buttons.SetPos(0, 0, kColumnWidth, std::max(1, height));
    m_columnList.SetPos(kColumnWidth, 0, std::max(1, width - kColumnWidth), std::max(1, height));
}

int CSColumnPanelPage::OnDraw(uint32_t)
{
    platform::ScopedLock lock(m_lock);
    if (!AllDirty() || !m_image.data)
        return 0;
    FillRect8(m_image, {0, 0, m_image.width, m_image.height}, 0x262626, 255);
    InvalidateRect(0, 0, 0, 0, 1);
    return 1;
}

void CSColumnPanelPage::ReleaseResources(int flag)
{
    RemoveChild(&m_columnList);
    RemoveChild(&m_buttons);
    m_columnList.ReleaseResources(flag);
    m_buttons.ReleaseResources(flag);
    CSTabPage::ReleaseResources(flag);
}
