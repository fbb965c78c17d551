// Where the document, the history and the save commands reach the user interface. The
// application frame fills these in; until it does (and in tests without doubles) nothing is
// shown and nothing is locked beyond the document's own locks.
#pragma once

#include <string>

// The render window's busy indicator around long writes.
class IBusyIndicator {
public:
    virtual ~IBusyIndicator() = default;
    virtual void BeginBusy() = 0;
    virtual void EndBusy() = 0;
};

// The render window's lock, held while a history step is read back, so that the render
// thread never draws a half-restored document.
class IRenderWindowLock {
public:
    virtual ~IRenderWindowLock() = default;
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
};

// The history panel of an editor page.
class IHistoryListView {
public:
    virtual ~IHistoryListView() = default;
    virtual void Refresh() = 0;
    // A new step was written and is about to follow step keep - 1: the steps from `keep` on
    // (those undone before it) are dropped. Called before the list changes; Refresh follows.
    virtual void StepAdding(int32_t /*keep*/) {}
};

// Rewrites the crash-status file after a new history step.
class ICrashStatusWriter {
public:
    virtual ~ICrashStatusWriter() = default;
    virtual void WriteCrashStatus() = 0;
};

// Message boxes by string-table key (the frame looks the text up).
class IMessageBoxes {
public:
    virtual ~IMessageBoxes() = default;
    virtual void ShowError(const std::u16string& key) = 0;
};

// The save-file chooser and the "Last Path" folders it starts in.
class IFileDialogs {
public:
    virtual ~IFileDialogs() = default;
    // Fills path and returns true when the user chose a file.
    virtual bool ChooseSaveFile(const std::u16string& defaultExtension, const std::u16string& startFolder,
                                std::u16string& path) = 0;
    virtual std::u16string GetLastPath(const std::u16string& key) = 0;
    virtual void SetLastPath(const std::u16string& key, const std::u16string& folder) = 0;
};

// Names in the run's temporary folder, deleted with the run's other temporary files.
class ITempFileNames {
public:
    virtual ~ITempFileNames() = default;
    virtual std::u16string MakeTempFileName(const std::u16string& prefix) = 0;
};

// Texts of the string table by key.
class IStringLookup {
public:
    virtual ~IStringLookup() = default;
    virtual std::u16string LookupText(const std::u16string& key) = 0;
};

struct DocumentUi {
    IBusyIndicator* busy = nullptr;
    IRenderWindowLock* renderLock = nullptr;
    ICrashStatusWriter* crashStatus = nullptr;
    IMessageBoxes* messages = nullptr;
    IFileDialogs* fileDialogs = nullptr;
    ITempFileNames* tempNames = nullptr;
    IStringLookup* strings = nullptr;
};

// The one set of hooks of this process; set by the application frame at start-up.
DocumentUi& TheDocumentUi();

// Holds the render-window lock for a scope when one is installed.
class RenderWindowLockScope {
public:
    RenderWindowLockScope() : m_lock(TheDocumentUi().renderLock) { if (m_lock) m_lock->Lock(); }
    ~RenderWindowLockScope() { if (m_lock) m_lock->Unlock(); }
    RenderWindowLockScope(const RenderWindowLockScope&) = delete;
    RenderWindowLockScope& operator=(const RenderWindowLockScope&) = delete;

private:
    IRenderWindowLock* m_lock;
};

class BusyScope {
public:
    BusyScope() : m_busy(TheDocumentUi().busy) { if (m_busy) m_busy->BeginBusy(); }
    ~BusyScope() { if (m_busy) m_busy->EndBusy(); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    IBusyIndicator* m_busy;
};
