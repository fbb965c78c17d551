// What the album page needs of the program's frame, which fills it in: the album library never
// links the frame's, which links it.
#pragma once

#include "platform/Text.h"

#include <cstdint>

class CSMenu;
class CZDDoc;

struct AlbumHost {
    virtual ~AlbumHost() = default;
    // Opens a photo (mode 0) or the given document under that path (mode 1) in an editor tab.
    virtual int OpenImage(const platform::String16& path, int mode, CZDDoc* document, int followUp) = 0;
    // Asks for a project file and opens it.
    virtual void OpenProject() = 0;
    // The program sub-menu of the album menu (about, help, settings, languages).
    virtual void BuildProgramMenu(CSMenu& menu) = 0;
    // A command of that menu (21003-21599).
    virtual void RunProgramCommand(int32_t id) = 0;
    // Writes config.dat (after the scan scope dialog changed the scan folders).
    virtual void SaveSettings() = 0;
    // Ends the run without the close question; modified tabs still ask.
    virtual void Exit() = 0;
    // The notice the update service delivered last: shown as a message (item 27's click).
    virtual void ShowNoticeMessage() = 0;
};
