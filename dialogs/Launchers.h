// The editor's dialog commands: one row per command id names the template, the dialog class, the
// algorithm's parameter size and the mode it opens in. The editor calls RunEditorDialog for every
// dialog command, so a dialog joins the menus by adding its row.
#pragma once

// Ends the active tool, opens the dialog of that command modally on the current editor page and
// returns the dialog's result (1 OK, 2 Cancel, 0 when it could not be opened); -1 when the
// command has no row yet (the editor then says so in one information box).
int RunEditorDialog(int id, int mode);

// True when the command has a row.
bool HasEditorDialog(int id);
