// The one link from the dialogs to the current editor page (see the header).
#include "dialogs/EditorLink.h"

#include <utility>

namespace {
EditorLink g_link;
}

void SetEditorLink(EditorLink link) { g_link = std::move(link); }

const EditorLink& TheEditorLink() { return g_link; }

CZDDoc* CurrentEditorDocument() { return g_link.currentDocument ? g_link.currentDocument() : nullptr; }

HistoryStore* CurrentEditorHistory() { return g_link.currentHistory ? g_link.currentHistory() : nullptr; }

platform::Rect CurrentPageArea() { return g_link.pageArea ? g_link.pageArea() : platform::Rect{}; }

void EndActiveEditorTool()
{
    if (g_link.endActiveTool)
        g_link.endActiveTool();
}
