#include "editor/EditorDocument.h"

#include "editor/EditorHost.h"
#include "imaging/DocumentStream.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "ui/MessageBox.h"
#include "ui/UiSeams.h"

#include <algorithm>

CEditorDocument::CEditorDocument()
{
    m_history.current = -1;
    m_history.document = nullptr;
    m_history.listSprite = nullptr;
    m_history.accumulatedChange = 0;
}

CEditorDocument::~CEditorDocument()
{
    m_history.listSprite = nullptr;
    m_history.Clear();
}

int CEditorDocument::BindHistory(const std::u16string& dataPath)
{
    if (!(dataPath.empty() ? m_history.Init(&m_document) : m_history.Init(&m_document, dataPath)))
        return 0;
    m_history.listSprite = this;
    return 1;
}

int CEditorDocument::AdoptHistory(const std::u16string& dataPath, std::vector<HistoryStep> steps)
{
    if (steps.empty())
        return 0;
    const std::u16string own(m_history.path, platform::TextLength(m_history.path, 512));
    std::vector<HistoryStep> ownSteps = std::move(m_history.steps);
    const int32_t ownCurrent = m_history.current;
    m_history.Release();
    if (!m_history.Reopen(&m_document, dataPath)) {
        m_history.Reopen(&m_document, own);
        m_history.steps = std::move(ownSteps);
        m_history.current = ownCurrent;
        return 0;
    }
    m_history.steps = std::move(steps);
    m_history.current = int32_t(m_history.steps.size()) - 1;
    m_history.accumulatedChange = 0;
    m_history.listSprite = this;
    if (!own.empty())
        platform::DeleteFile(own);
    // Nothing of it is on disk where the photo is: the close asks before it is lost.
    m_savedStep = -1;
    Changed(EditorChange::Picture | EditorChange::StepAdded | EditorChange::Saved);
    return 1;
}

int CEditorDocument::Say(const char16_t* key)
{
    const char16_t* text = UiText(key);
    return ask ? ask(text, kMbInformation, kMbOk) : EditorAsk(text, kMbInformation, kMbOk);
}

int CEditorDocument::RecordStep(uint8_t kind, int layerIndex, const char16_t* name, bool hasPayload, uint16_t tag,
                                const void* payload, int32_t payloadLength, const std::function<void()>& takeBack)
{
    if (m_history.AddStep(kind, layerIndex, name, hasPayload, tag, payload, payloadLength))
        return 1;
    // The change has no undo: keeping it would leave a picture that no step can bring back.
    if (takeBack) {
        takeBack();
        Changed(EditorChange::Picture);
    } else if (m_history.current >= 0) {
        GoToStep(m_history.current, StepReplay::Force);
    }
    Say(u"unexpect");
    return 0;
}

int CEditorDocument::GoToStep(int index, StepReplay replay)
{
    if (index < 0 || size_t(index) >= m_history.steps.size())
        return 0;
    m_moving = true;
    const int ok = m_history.GoToStep(index, replay);
    m_moving = false;
    // A replay that stopped half-way has still changed the picture.
    if (!ok)
        Changed(EditorChange::Picture | EditorChange::StepMoved);
    return ok;
}

int CEditorDocument::Undo()
{
    return CanUndo() ? GoToStep(m_history.current - 1, StepReplay::Force) : 0;
}

int CEditorDocument::Redo()
{
    return CanRedo() ? GoToStep(m_history.current + 1, StepReplay::Force) : 0;
}

bool CEditorDocument::AnyStepWithPayload() const
{
    return std::any_of(m_history.steps.begin(), m_history.steps.end(),
                       [](const HistoryStep& s) { return s.hasPayload != 0; });
}

void CEditorDocument::MarkSaved()
{
    m_savedStep = m_history.current;
    Changed(EditorChange::Saved);
}

void CEditorDocument::MarkUnsaved()
{
    m_savedStep = -1;
    Changed(EditorChange::Saved);
}

void CEditorDocument::StepAdding(int32_t keep)
{
    // The saved step is about to be dropped: the picture on disk is no step of the history any
    // more, so no later position of the history equals it.
    if (m_savedStep >= keep && size_t(m_savedStep) < m_history.steps.size())
        m_savedStep = -1;
    m_adding = true;
}

void CEditorDocument::Refresh()
{
    uint32_t changes = EditorChange::Picture | EditorChange::Saved;
    if (m_adding)
        changes |= EditorChange::StepAdded;
    else
        changes |= EditorChange::StepMoved;
    m_adding = false;
    Changed(changes);
}

int CEditorDocument::PageOut(const std::u16string& path)
{
    if (m_pagedOut)
        return 1;
    if (path.empty() || !PageOutDocument(m_document, path))
        return 0;
    m_pagePath = path;
    m_document.Clear();
    m_pagedOut = true;
    Changed(EditorChange::PagedOut);
    return 1;
}

int CEditorDocument::PageIn()
{
    if (!m_pagedOut)
        return 1;
    if (!PageInDocument(m_document, m_pagePath)) {
        // The history still holds every step: the picture comes back from it, without the
        // selection and the stored masks, which no step keeps.
        m_document.Clear();
        if (m_history.current < 0 || !m_history.GoToStep(m_history.current, StepReplay::Force)) {
            m_document.Clear();
            m_lost = true;
            return 0;
        }
    }
    m_pagedOut = false;
    m_lost = false;
    Changed(EditorChange::PagedIn | EditorChange::Picture);
    return 1;
}

void CEditorDocument::Subscribe(IEditorDocumentObserver* observer, int order)
{
    if (!observer)
        return;
    Unsubscribe(observer);
    auto at = std::upper_bound(m_observers.begin(), m_observers.end(), order,
                               [](int o, const Subscription& s) { return o < s.order; });
    m_observers.insert(at, Subscription{observer, order});
}

void CEditorDocument::Unsubscribe(IEditorDocumentObserver* observer)
{
    std::erase_if(m_observers, [observer](const Subscription& s) { return s.observer == observer; });
}

void CEditorDocument::Changed(uint32_t changes)
{
    if (changes & EditorChange::Picture)
        m_document.modified = 1;
    // A copy: an observer may unsubscribe itself while it is told.
    const std::vector<Subscription> observers = m_observers;
    for (const Subscription& s : observers)
        if (std::any_of(m_observers.begin(), m_observers.end(),
                        [&](const Subscription& live) { return live.observer == s.observer; }))
            s.observer->OnDocumentChanged(*this, changes);
}

void CCrashStatusSubscriber::OnDocumentChanged(CEditorDocument& model, uint32_t changes)
{
    // Written before any view shows the picture: a move here, and the first step of a history
    // (an opened photo) too, for which the history store writes nothing; later new steps wrote
    // the file from the store already.
    const bool firstStep = (changes & EditorChange::StepAdded) && model.History().current == 0;
    if (((changes & EditorChange::StepMoved) || firstStep) && TheDocumentUi().crashStatus)
        TheDocumentUi().crashStatus->WriteCrashStatus();
}
