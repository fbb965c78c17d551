// The rows of the editor's dialog commands (see the header). A dialog adds one row: its command
// id and a function that builds, runs and destroys it on the stack.
#include "dialogs/Launchers.h"

#include "dialogs/EditorLink.h"

#include <vector>

namespace {

struct LauncherRow {
    int id;
    int (*run)(int mode);
};

// One row per dialog command; the table is short and looked up once per command.
const std::vector<LauncherRow>& Rows()
{
    static const std::vector<LauncherRow> rows = {
    };
    return rows;
}

const LauncherRow* FindRow(int id)
{
    for (const LauncherRow& row : Rows())
        if (row.id == id)
            return &row;
    return nullptr;
}

} // namespace

bool HasEditorDialog(int id) { return FindRow(id) != nullptr; }

int RunEditorDialog(int id, int mode)
{
    const LauncherRow* row = FindRow(id);
    if (!row)
        return -1;
    EndActiveEditorTool();
    return row->run(mode);
}
