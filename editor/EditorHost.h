// How an editor tab reaches the main window without linking the application: the window
// implements this interface and installs it at start-up; tests install their own.
#pragma once

#include "imaging/ImageBuffer.h"

#include <cstdint>

class CSEditPage;
class CSTabPage;
class CMessageSprite;
class HistoryStore;

class IEditorHost {
public:
    virtual ~IEditorHost() = default;

    // The window's launch mode; nonzero puts every editor tab in host mode.
    virtual int LaunchMode() = 0;
    // Closes the tab after its close question (command 21001); 1 when it went.
    virtual int CloseTab(CSTabPage* page) = 0;
    virtual void ShowAbout() = 0;
    virtual int OnHelpInfo() = 0;
    // The settings dialog; its result.
    virtual int ShowSettings() = 0;
    // The album page, target of MSG_ALBUM_REFRESH; null when there is none (launch modes).
    virtual CMessageSprite* AlbumRefreshTarget() = 0;
    // Ends the current tool of the current editor tab (nothing on other tabs).
    virtual void EndActiveTool() = 0;
    // The current tab when it is an editor tab, else null.
    virtual CSEditPage* ActiveEditPage() = 0;
    // Makes the tab the shown one (the close question of a hidden tab shows it first).
    virtual int SelectPage(CSTabPage* page) = 0;
    // Host mode: writes the exchange file with the picture and ends the program; 0 when the
    // file could not be written (the window said so).
    virtual int ReturnPluginImage(const ImageBuffer16& picture) = 0;
    // Every question and message of the editor (the window's message box, which tests
    // answer): 1 OK, 6 Yes, 7 No, -1 when no box could be shown.
    virtual int Ask(const char16_t* text, int kind, int buttons) = 0;
};

// Null restores "no host": questions then go to the sprite message box, host calls do nothing.
void SetEditorHost(IEditorHost* host);
IEditorHost* TheEditorHost();

// Shorthands that work without a host.
int EditorAsk(const char16_t* text, int kind, int buttons);
int EditorPluginMode();
void EndEditorTool();
HistoryStore* ActiveEditorHistory();
