// The commands the canvas carries out on the document's selection (select all, invert, none,
// feather, expand, shrink, border, smart erase, delete or fill, selection to saved mask) and the
// saved masks they keep the previous selection in. The selection commands record no history
// step; they change the selection, the saved masks and the redraw flag only.
//
// The document functions below are the model side: the canvas and the editor tab (its Ctrl+A,
// Ctrl+D, Ctrl+I and menu commands) both call them.
#pragma once

#include "imaging/Document.h"
#include "platform/Window.h"

#include <cstdint>
#include <string>

class CSEditView;
struct CanvasDialogs;

enum CanvasCommand : int32_t {
    kCmdSelectAll = 16001,
    kCmdInvertSelection = 16002,
    kCmdSelectNone = 16003,
    kCmdFeather = 16004,
    kCmdSmartErase = 16005,
    kCmdExpand = 16006,
    kCmdShrink = 16007,
    kCmdBorder = 16008,
    kCmdDeleteOrFill = 16009,
    kCmdSelectionToMask = 16010,
};

// Carries out 16001-16010 on the canvas's document.
void RunCanvasCommand(CSEditView& view, int id);

// The picture file to add as a layer: the desktop's chooser, or a typed path while it is
// missing. false when none was chosen.
bool AskImagePath(std::u16string& path);

// ---- saved masks ----

// Stores the document's selection as the saved mask of that name: an existing mask of the same
// name (letter case aside) is replaced in its place, otherwise a new one is appended. The mask
// holds the selection cut to the bounding box of its nonzero pixels, its offset and the document
// size. 0 when nothing is selected or memory runs out; an existing mask of that name is then
// removed. Takes the document lock.
int StoreSelectionMask(CZDDoc& doc, const char16_t* name);
// The same under the localised name of "Lastarea": where commands keep the previous selection.
int StoreLastArea(CZDDoc& doc);
// The selection as a new saved mask: a name asked for (default: the largest numeric mask name
// plus one, "%02d"), a question before replacing a mask of that name. 1 when stored.
int SelectionToMask(CZDDoc& doc, const CanvasDialogs& dialogs);

// ---- selection commands ----

// 16001 all, 16002 invert, 16003 none. The new plane is made before anything is stored or
// replaced, so a failed allocation changes nothing. 1 when the command did something.
int SetSelection(CZDDoc& doc, int id);
// 16004 feather, 16006 expand, 16007 shrink, 16008 border: asks for a number; a value below 1,
// Cancel or a failed operation changes nothing. 1 when the selection changed.
int ReshapeSelection(CZDDoc& doc, int id, const CanvasDialogs& dialogs);

// The number typed into the question: optional blanks and sign, then digits up to the first
// other character; 0 when there is none.
int ReadTypedInteger(const char16_t* text);
// The smallest column and the smallest row holding a nonzero value; (-1, -1) when none.
platform::Point SelectionTopLeft(const Plane8& selection);

// ---- pixel work of delete or fill (the caller holds the layer's lock) ----

// Added layers: the selected area becomes transparent in proportion to the selection value m:
// alpha x (255 - m) / 255. The selection is document-sized; the layer sits at its offset.
void CutSelectionFromLayer(CZDLayer& layer, const Plane8& selection);
// The background layer: each colour channel c of a selected pixel becomes
// (m x fill + c x (255 - m)) / 255; alpha stays.
void FillSelectionInLayer(CZDLayer& layer, const Plane8& selection, const uint16_t fill[3]);
