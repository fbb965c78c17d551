// What every dialog of this library needs from the program around it, behind replaceable
// functions: its templates (the program folder's "dialogs/<id>.res"), its message boxes (the
// toolkit's sprite message box) and the names of its temporary files.
#pragma once

#include "platform/DialogTemplate.h"
#include "platform/Text.h"

#include <functional>
#include <memory>

class CDialogSprite;

// Template folder: empty restores the program folder's "dialogs".
void SetDialogTemplateFolder(const platform::String16& folder);
std::unique_ptr<platform::DialogTemplate> LoadDialogTemplate(int templateId);
// Builds the dialog from its template, centred in the window; 0 when the template is missing or
// does not lay out.
int CreateDialogFromTemplate(CDialogSprite& dialog, int templateId);

// The message box of the dialogs: the text of a string-table key, an icon kind of ui/MessageBox.h
// (information, question, error) and OK or Yes/No -> 1 OK, 6 Yes, 7 No, -1 not shown.
using DialogMessageSource = std::function<int(const char16_t* key, int kind, int buttons)>;
void SetDialogMessageSource(DialogMessageSource source); // empty restores the sprite message box
int DialogMessage(const char16_t* key, int kind, int buttons);

// A new name for a temporary file with the prefix: the program's temporary names (deleted at
// exit) when the application set them up, else a new empty file of the private temporary folder.
std::u16string MakeDialogTempFileName(const std::u16string& prefix);
