#include "editor/tools/PendingTool.h"

#include "editor/EditorHost.h"
#include "ui/MessageBox.h"
#include "ui/UiSeams.h"

int CPendingTool::Activate()
{
    EditorAsk(UiText(u"editorNotBuilt"), kMbInformation, kMbOk);
    return 0;
}
