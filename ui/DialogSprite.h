// Sprite dialogs: a popup with a title bar, caption, close button and controls built from the
// records of a dialog template; run modally in a nested loop until a result is set, with data
// exchange between controls and variables.
#pragma once

#include "ui/Button.h"

#include <atomic>
#include <vector>

namespace platform {
class DialogTemplate;
}

struct DialogControlRecord {
    enum Kind : uint8_t { Static = 0, Button = 1, Edit = 2, ListBox = 3, Trackbar = 5, Other = 255 };
    uint8_t kind = Other;
    uint8_t typeLetter = 0;
    SRect rect;            // in the dialog's own coordinates (the title bar included)
    char16_t text[256] = {};
    int32_t controlId = 0;
    CSprite* sprite = nullptr;
};

// Kind from a template class name (exact, case-sensitive), and the '#' convention of texts:
// "#C..." and "#R..." take the letter off; a two-character "#x" stays as it is.
uint8_t DialogControlKind(const char16_t* className);
void SetDialogControlText(DialogControlRecord& record, const char16_t* windowText);

// Controls of other parts of the toolkit (edit field, flat list, slider) are made through these.
class CDialogSprite;
using DialogControlFactory = CSprite* (*)(CDialogSprite& dialog, DialogControlRecord& record);
void SetDialogControlFactory(uint8_t kind, DialogControlFactory factory);

// The data-exchange error box (the sprite message box's job); -1 while none is installed.
using DialogMessageBox = int (*)(const char16_t* text);
void SetDialogMessageBox(DialogMessageBox box);

struct ControlBinding {
    DialogControlRecord* record = nullptr;
    void* variable = nullptr;
    int32_t type = 0; // 1 int, 2 string (std::u16string), 3 unsigned, 4 int within a range
    int32_t maximum = 0;
    int32_t minimum = 0;
};

constexpr int kBindInt = 1, kBindString = 2, kBindUnsigned = 3, kBindRange = 4;

extern std::atomic<int> g_nModalDepth; // z-level of the next dialog: 160 + running dialogs
extern std::atomic<int> g_bAnimation;

class CDialogSprite : public CPopupSprite {
public:
    CDialogSprite();
    ~CDialogSprite() override;

    // Builds the dialog from template records (the template reader fills them): client size,
    // caption (a string-table key or a text), and a rectangle (left == right centres it).
    int CreateFromRecords(int32_t templateId, std::vector<DialogControlRecord> records, const char16_t* caption,
                          int clientWidth, int clientHeight, int left, int top, int right, int bottom);
    // The same from a binary dialog template, laid out at 96 pixels per inch by the hidden
    // platform dialog with the template's font; 0 when it does not parse or cannot be laid out.
    int CreateFromTemplate(int32_t templateId, const uint8_t* data, size_t size, int left, int top, int right,
                           int bottom);
    // From a template already loaded (`platform::DialogTemplate::Load`); its font is applied here.
    int CreateFromTemplate(platform::DialogTemplate& t, int left, int top, int right, int bottom);
    int DoModal();
    CSprite* GetControl(int32_t id) const;
    void BindControl(int32_t id, void* variable, int type, int maximum, int minimum);

    virtual int UpdateData(int save);
    virtual void OnCommand(int id);
    virtual int OnInitDialog() { return 1; }
    virtual void OnCancel() { m_result.store(2); }
    virtual void OnOK();
    virtual void SetInitialFocus();

    int OnDraw(uint32_t time) override;
    void ReleaseResources(int flag) override;
    void OnMouseMove(int x, int y, uint32_t flags) override;
    void OnLButtonDown(int x, int y, uint32_t flags) override;
    void OnLButtonUp(int x, int y, uint32_t flags) override;
    void OnKeyDown(uint32_t key, uint32_t repeat, uint32_t flags) override;
    int CanFocus() override { return 1; }
    int OnSetCursor(int x, int y) override;
    int OnSpriteMessage(SpriteMessage* message) override;
    void OnPopup() override;
    int WantsDimmedBackground() override { return m_dimRequest; }

    void StepFade(uint32_t time);
    int Result() const { return m_result.load(); }
    void SetResult(int r) { m_result.store(r); }
    const char16_t* Caption() const { return m_caption; }
    std::vector<DialogControlRecord>& Records() { return m_records; }
    CSButton& CloseButton() { return m_close; }

    int32_t m_dimRequest = 0;
    int32_t m_fadeOutOnClose = 1;
    int32_t m_frameTimerPeriod = 0;
    int32_t m_translucent = 0;

protected:
    int CreateControls();

    std::vector<DialogControlRecord> m_records;
    char16_t m_caption[256] = {};
    ImageBuffer8 m_captionImage;
    CSButton m_close;
    std::atomic<int> m_result{0};
    int32_t m_frameCounter = 0;
    std::vector<ControlBinding> m_bindings;
    int32_t m_width = 0, m_height = 0;
    int32_t m_titleDragging = 0;
    SPoint m_dragPoint;
    ImageBuffer8 m_titleIcon;
};
