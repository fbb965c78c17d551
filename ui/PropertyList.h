// The property list: a two-column grid of named values on the tree view, edited in place with a
// one-line editor restricted to the value's kind, or chosen from a menu. Also the number reader
// shared with the slider and the album's dialogs, rational texts, choice lists, and the checks a
// committed text goes through.
#pragma once

#include "ui/EditField.h"
#include "ui/Menu.h"
#include "ui/Tree.h"
#include "ui/TreeNode.h"

#include <string>
#include <vector>

// A decimal number or a fraction "a/b" (the first "/" splits). 0 for an empty text, one whose
// first character lies above '9', or a denominator below 1e-8 in magnitude.
int ParseNumberOrFraction(const char16_t* text, double& out);

// Divides both by their greatest common divisor; the sign goes to the numerator.
void SimplifyRational(int64_t& numerator, int64_t& denominator);

// The text of a rational value: above 1 one decimal ("2.5"), else a reduced fraction ("1/250"),
// "0" for zero.
std::u16string RationalText(double value);
std::u16string RationalText(int64_t numerator, int64_t denominator);

class CPropItem : public CTreeNode {
public:
    enum Kind { kUnsigned = 1, kSigned = 3, kRational = 4, kText = 6, kChoice = 7 };
    struct Choice { int32_t value; char16_t label[64]; };
    // Why a committed text was refused.
    enum class Commit { Ok, NotANumber, OutOfRange };

    // Segments "label^value" separated by "|"; a segment without "^" ends the list.
    int SetChoices(const char16_t* text);
    // Checks and stores a typed text for kinds 1, 3 and 4; the stored value text on success.
    Commit CommitText(const char16_t* text);

    ~CPropItem() override;
    void Clear() override;

    int32_t kind = kText;
    int32_t id = 0;
    int32_t minimum = 0;   // kind 6: the longest text
    int32_t maximum = 0;   // kind 6: the editor's input filter
    std::u16string label;
    std::u16string value;
    std::vector<Choice> choices;
    int32_t selectedChoice = -1;
    uint8_t editMark = 0;
    uint8_t enabled = 1;
    uint8_t known = 1;
    ImageBuffer8 valueImage;
    bool valueCut = false;
    SPoint valueAt{};
};

// A calendar date and time as the album reads it from a photo.
struct PropDate {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

class CSPropertyList : public CSTree {
public:
    static constexpr int kEditNone = 0, kEditText = 1, kEditChoice = 2, kEditRefused = 3;
    static constexpr int kChoiceBase = 1000;

    CSPropertyList();
    ~CSPropertyList() override;

    // Each adds one row under `parent` (null: the top level) and returns 1; 0 when nothing was
    // added. The owner calls Rebuild after adding.
    int AddUIntProperty(int32_t id, uint32_t value, const char16_t* label, CTreeNode* parent, uint32_t unknownValue,
                        bool showUnknown);
    int AddIntProperty(int32_t id, int32_t value, const char16_t* label, CTreeNode* parent, int32_t unknownValue,
                       bool showUnknown);
    int AddTextProperty(int32_t id, const char16_t* text, const char16_t* label, CTreeNode* parent, bool showEmpty);
    int AddDateProperty(int32_t id, const PropDate& date, const char16_t* label, CTreeNode* parent, bool showUnknown);
    int AddRationalProperty(int32_t id, const char16_t* label, CTreeNode* parent, bool showUnknown, int32_t numerator,
                            int32_t denominator);
    int AddChoiceProperty(int32_t id, const char16_t* label, const char16_t* choices, int32_t selected,
                          CTreeNode* parent, bool showUnset);
    // A group row that folds like a tree row.
    CTreeNode* AddGroup(const char16_t* label, CTreeNode* parent);
    // Empties the list (an edit in progress is dropped without committing).
    void RemoveAll();

    CPropItem* BeginEdit(int row);
    int CommitEdit();

    CTreeNode& Root() { return m_items; }
    CPropItem* Edited() const { return m_edited; }
    int EditMode() const { return m_editMode; }
    CEditSprite& Editor() { return m_editor; }
    CSMenu& ChoiceMenu() { return m_menu; }
    // Whether `item` is still one of this list's rows (messages carry item pointers).
    bool HoldsItem(const CTreeNode* item) const;

    int OnCreate() override;
    void ReleaseResources(int flag) override;
    int DrawRow(int row) override;
    void OnMouseMove(int x, int y, uint32_t flags) override;
    void OnLButtonDown(int x, int y, uint32_t flags) override;
    int OnSetCursor(int x, int y) override;
    int OnSpriteMessage(SpriteMessage* message) override;

    int32_t m_labelColumn = 100;
    // The error box; tests record instead of showing one.
    int (*m_errorBox)(const char16_t* text, int kind, int buttons) = nullptr;

private:
    CPropItem* NewItem(int32_t id, const char16_t* label, int32_t kind, CTreeNode* parent);
    int RenderValue(CPropItem* item, int width);
    void EndEditor();
    int ShowError(const char16_t* text);

    CTreeNode m_items;
    ImageBuffer8 m_editIcon;
    CEditSprite m_editor;
    CSMenu m_menu;
    CPropItem* m_edited = nullptr;
    CEditSprite* m_activeEditor = nullptr;
    int32_t m_editMode = kEditNone;
};
