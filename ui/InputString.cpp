// String input dialog: template 129 built in code, the edit field focused from the start.
#include "ui/InputString.h"

#include "imaging/TextRender.h"
#include "ui/EditField.h"
#include "ui/RenderWindow.h"
#include "ui/StaticText.h"
#include "ui/ToolkitControls.h"

#include <algorithm>
#include <vector>

DialogTemplate StringDialogTemplate()
{
    return CodeDialogTemplate(154, 84, u"Title",
                              {{u"Button", u"OK", 1, 29, 60, 50, 14},
                               {u"Button", u"Cancel", 2, 84, 60, 63, 14},
                               {u"Static", u"", CSStringDialog::kPromptId, 7, 7, 140, 29},
                               {u"Edit", u"", CSStringDialog::kEditId, 7, 37, 140, 14}});
}

int CSStringDialog::Create(const char16_t* caption, const char16_t* prompt, const char16_t* initial, int maxLength)
{
    // The maximum is clamped to what the edit can hold, never cut to 16 bits.
    m_maxLength = maxLength <= 0 ? 4096 : std::min(maxLength, 4096);
    RegisterToolkitControls(); // the edit of the template
    DialogLayout layout;
    if (!LayoutDialogTemplate(StringDialogTemplate(), 96.0, layout))
        return 0;
    if (!CreateFromRecords(kTemplateId, std::move(layout.records), caption ? caption : u"",
                           layout.clientWidth, layout.clientHeight, 0, 0, 0, 0))
        return 0;
    auto* label = dynamic_cast<CSStaticText*>(GetControl(kPromptId));
    if (!label)
        return 0;
    CopyTextBounded(m_prompt, 256, prompt);
    label->SetText(m_prompt);
    if (auto* edit = dynamic_cast<CEditSprite*>(GetControl(kEditId))) {
        if (initial) {
            // The initial text is cut to the maximum without "..", so what the user sees is what
            // the caller had, up to the limit.
            std::u16string text(initial);
            if (int(text.size()) > m_maxLength)
                text.resize(size_t(m_maxLength));
            edit->m_maxLength = CEditSprite::kTextCapacity;
            edit->SetText(text.c_str());
        }
        edit->m_maxLength = m_maxLength;
    }
    return 1;
}

int CSStringDialog::OnInitDialog()
{
    BindControl(kEditId, &m_result16, kBindString, 0, 0);
    if (auto* edit = dynamic_cast<CEditSprite*>(GetControl(kEditId))) {
        if (m_window)
            m_window->SetFocus(edit, false);
        edit->m_maxLength = m_maxLength;
        int filter = m_filter;
        if (filter == CEditSprite::kFilterAllowed && !m_allowed)
            filter = CEditSprite::kFilterAny;
        edit->m_filter = filter;
        if (filter == CEditSprite::kFilterAllowed)
            CopyTextBounded(edit->m_allowed, 257, m_allowed);
    }
    return 1;
}

void CSStringDialog::SetInitialFocus()
{
    if (auto* edit = dynamic_cast<CEditSprite*>(GetControl(kEditId)); edit && m_window)
        m_window->SetFocus(edit, false);
}

SRect PlaceNextToPoint(SRect r, int x, int y, int windowWidth, int windowHeight)
{
    const int w = r.Width(), h = r.Height();
    r = {x, y, x + w, y + h};
    if (r.right > windowWidth) {
        r.left -= w;
        r.right -= w;
    }
    if (r.bottom > windowHeight) {
        r.top -= h;
        r.bottom -= h;
    }
    return r;
}

int InputString(char16_t* buffer, int capacity, const char16_t* caption, const char16_t* prompt, int x, int y)
{
    if (!buffer || capacity < 2)
        return 0;
    CSStringDialog dialog;
    // The initial text is read only within the caller's buffer.
    std::u16string initial;
    for (int i = 0; i < capacity && buffer[i]; ++i)
        initial.push_back(buffer[i]);
    if (!dialog.Create(caption, prompt, initial.c_str(), capacity - 1))
        return 0;
    if (x != -1 && dialog.Window()) {
        const SRect r = PlaceNextToPoint(dialog.Rect(), x, y, dialog.Window()->LogicalWidth(),
                                         dialog.Window()->LogicalHeight());
        dialog.SetPos(r.left, r.top, r.Width(), r.Height());
        dialog.SetAllDirty(1);
    }
    if (dialog.DoModal() != 1)
        return 0;
    // A plain copy: the edit never held more than capacity - 1 characters, and a full-length
    // answer must come back whole, not with "..".
    const std::u16string& text = dialog.ResultText();
    const size_t n = std::min(text.size(), size_t(capacity - 1));
    std::copy(text.begin(), text.begin() + ptrdiff_t(n), buffer);
    buffer[n] = 0;
    return 1;
}
