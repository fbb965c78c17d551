// The value side of the property list: the number reader shared with the slider and the album's
// dialogs, rational texts, choice lists, and the checks a committed text goes through. The grid
// widget itself builds on the tree view and the edit field.
#pragma once

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

    int32_t kind = kText;
    int32_t id = 0;
    int32_t minimum = 0;
    int32_t maximum = 0;
    std::u16string label;
    std::u16string value;
    std::vector<Choice> choices;
};
