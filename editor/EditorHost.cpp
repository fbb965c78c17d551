#include "editor/EditorHost.h"

#include "ui/MessageBox.h"

#include <atomic>

namespace {
std::atomic<IEditorHost*> g_host{nullptr};
}

void SetEditorHost(IEditorHost* host)
{
    g_host.store(host, std::memory_order_release);
}

IEditorHost* TheEditorHost()
{
    return g_host.load(std::memory_order_acquire);
}

int EditorAsk(const char16_t* text, int kind, int buttons)
{
    if (IEditorHost* host = TheEditorHost())
        return host->Ask(text, kind, buttons);
    return SpriteMessageBox(text, kind, buttons);
}

int EditorPluginMode()
{
    IEditorHost* host = TheEditorHost();
    return host ? host->LaunchMode() : 0;
}

void EndEditorTool()
{
    if (IEditorHost* host = TheEditorHost())
        host->EndActiveTool();
}
