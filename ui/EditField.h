// The typed-text field: one glyph record per character, a blinking caret, selection by mouse,
// Shift, double click or Ctrl+A, an input filter and a maximum length, clipboard copy, cut and
// paste, unlimited undo and redo, and horizontal scrolling that keeps the caret in view.
//
// A disabled edit can move its caret and copy, nothing else: it never changes its text.
#pragma once

#include "ui/Menu.h"
#include "ui/MoveOverSprite.h"

#include <deque>
#include <vector>

struct EditChar {
    char16_t character = 0;
    ImageBuffer8 glyph;   // coverage, owned; none for CR and LF
    int32_t x = 0, y = 0; // text coordinates
    uint8_t hasGlyph = 0;
};

struct EditUndoStep {
    int32_t index = 0;
    uint8_t kind = 0; // 0 inserted there, 1 deleted there
    char16_t character = 0;
};

class CEditSprite : public CMoveOverSprite {
public:
    static constexpr int kTextCapacity = 4096;
    static constexpr int kFilterAny = 0, kFilterFileName = 1, kFilterAllowed = 2, kFilterAscii = 3;
    // Context-menu commands (MSG_MENU_COMMAND param1).
    static constexpr int kCmdCopy = 1, kCmdCut = 2, kCmdPaste = 3, kCmdUndo = 4, kCmdRedo = 5,
                         kCmdSelectAll = 6, kCmdReset = 7;

    CEditSprite();
    ~CEditSprite() override;

    int Setup(const char16_t* text);
    int SetTextChecked(const char16_t* text); // 0 when a glyph cannot be rendered
    void SetText(const char16_t* text) override { SetTextChecked(text); }
    void GetText(char16_t* buffer, int capacity, int flag) override;
    const char16_t* GetText();
    int LoadText(const char16_t* text);

    void InsertChar(char16_t c, int recordUndo);
    void DeleteChar(int index, int recordUndo);
    void DeleteSelection();
    void MoveCaret(int index, int extend, int clear);
    void Copy();
    void Cut();
    void Paste();
    void Undo();
    void Redo();
    void SelectAll();
    int CaretFromPoint(int x, int y) const;
    void ScrollToCaret();
    // Whether the filter lets the character in.
    bool Accepts(char16_t c) const;

    int OnDraw(uint32_t time) override;
    void ReleaseResources(int flag) override;
    void OnMouseMove(int x, int y, uint32_t keyFlags) override;
    void OnLButtonDown(int x, int y, uint32_t keyFlags) override;
    void OnLButtonUp(int x, int y, uint32_t keyFlags) override;
    void OnLButtonDblClk(int x, int y, uint32_t keyFlags) override;
    void OnRButtonDown(int x, int y, uint32_t keyFlags) override;
    void OnChar(uint32_t character, uint32_t repeat, uint32_t flags) override;
    void OnKeyDown(uint32_t key, uint32_t repeat, uint32_t flags) override;
    int CanFocus() override { return 1; }
    void OnCaptureReleased() override { m_selecting = 0; }
    int OnSetCursor(int x, int y) override;
    int OnSpriteMessage(SpriteMessage* message) override;

    int Length() const { return int(m_chars.size()); }
    int Caret() const { return m_caret.load(); }
    int SelectionStart() const { return m_selStart; }
    int SelectionEnd() const { return m_selEnd; }
    int ScrollX() const { return m_scrollX.load(); }
    int CaretX() const; // text coordinates
    int AreaWidth() const { return Width() - 10; }
    size_t UndoCount() const { return m_undo.size(); }
    size_t RedoCount() const { return m_redo.size(); }
    const std::vector<EditChar>& Chars() const { return m_chars; }
    CSMenu& ContextMenu() { return m_menu; }

    // Owner-set fields.
    int32_t m_maxLength = kTextCapacity;
    int32_t m_multiLine = 0;
    int32_t m_filter = kFilterAny;
    char16_t m_allowed[257] = {};

private:
    bool RenderGlyph(EditChar& record);
    void LayoutChars();
    void FreeChars();
    void Changed();
    void SetSelection(int start, int end);
    bool ShiftDown() const;
    bool ControlDown() const;
    int WordStep(int from, int direction) const;

    std::vector<EditChar> m_chars;
    std::deque<EditUndoStep> m_undo, m_redo;
    char16_t m_text[kTextCapacity + 1] = {};
    int32_t m_selStart = -1, m_selEnd = -1;
    int32_t m_anchor = 0;
    std::atomic<int32_t> m_caret{0};
    std::atomic<int32_t> m_scrollX{0};
    int32_t m_scrollY = 0;
    uint32_t m_blinkPhase = 0;
    int32_t m_selecting = 0;
    int32_t m_pressIndex = 0;
    int32_t m_hasFocus = 0;
    CSMenu m_menu;
};
