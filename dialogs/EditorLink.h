// How the dialogs reach the editor page that is current in the main window, without linking the
// editor or the application: the main window fills the link at start-up, tests fill it with
// their own document.
#pragma once

#include "platform/Window.h"

#include <functional>

class CZDDoc;
class HistoryStore;

struct EditorLink {
    // The current tab's document and history; null when the current tab is not an editor page.
    std::function<CZDDoc*()> currentDocument;
    std::function<HistoryStore*()> currentHistory;
    // The main tab frame's area in window coordinates (dialogs that cover the page).
    std::function<platform::Rect()> pageArea;
    // Ends the editor's active tool; the worker is idle when it returns.
    std::function<void()> endActiveTool;
};

// Replaces the link; an empty function reads as "no editor page".
void SetEditorLink(EditorLink link);
const EditorLink& TheEditorLink();

// Shorthands that treat a missing function as "none".
CZDDoc* CurrentEditorDocument();
HistoryStore* CurrentEditorHistory();
platform::Rect CurrentPageArea();
void EndActiveEditorTool();
