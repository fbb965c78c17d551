// The application object: one run of the program from the settings to the main window and back.
#pragma once

#include "platform/Window.h"


class CZendraApp {
public:
    // The whole run; the process's exit code (0 after a normal end, 1 when the start failed).
    // The launch command line is rebuilt from argv (the program's "--" options left out).
    int InitInstance(int argc, const char* const* argv, platform::BackendKind backend);
    int ExitInstance() { return 0; }
};

extern CZendraApp theApp;

// The hooks through which the document, the history and the save commands reach this window
// (busy ring, render lock, crash status, messages, temporary names, texts).
void InstallDocumentUi();
void RemoveDocumentUi();
