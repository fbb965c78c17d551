// The one-line text question: caption, prompt, an edit field pre-filled with the current text,
// OK and Cancel; centred or next to a point, flipped to stay inside the window.
#pragma once

#include "ui/DialogSprite.h"
#include "ui/DialogTemplate.h"

#include <string>

class CSStringDialog : public CDialogSprite {
public:
    static constexpr int32_t kTemplateId = 129;
    static constexpr int32_t kPromptId = 1002, kEditId = 1003;

    int Create(const char16_t* caption, const char16_t* prompt, const char16_t* initial, int maxLength);
    int OnInitDialog() override;
    void SetInitialFocus() override;

    const std::u16string& ResultText() const { return m_result16; }
    int MaxLength() const { return m_maxLength; }

    int32_t m_filter = 0;
    const char16_t* m_allowed = nullptr; // not owned; null turns filter 2 into 0

private:
    char16_t m_prompt[256] = {};
    int32_t m_maxLength = 4096;
    std::u16string m_result16;
};

DialogTemplate StringDialogTemplate();

// Asks for a text. `buffer` holds `capacity` characters including the terminator and the
// initial text; the edit accepts at most capacity - 1 characters (at most 4096), so the copy
// back always fits. x = -1 centres the dialog; else (x, y) is its wanted top-left corner in
// window coordinates. Nonzero when the user confirmed; the buffer is untouched otherwise.
int InputString(char16_t* buffer, int capacity, const char16_t* caption, const char16_t* prompt, int x, int y);

// Where the dialog goes for a wanted corner: moved left by its width past the right edge, up
// by its height past the bottom edge.
SRect PlaceNextToPoint(SRect dialog, int x, int y, int windowWidth, int windowHeight);
