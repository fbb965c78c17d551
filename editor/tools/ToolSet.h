// The tool set: one object of each tool class for the whole run, shared by every editor tab;
// their icons, their creation at start-up and the release of their option panels.
#pragma once

#include "editor/Tool.h"

#include <vector>

// The frames of "toolbar.png" and the tools in creation order; filled by CreateTools.
extern ImageList8 theToolIcons;
extern std::vector<CTool*> theToolList;

// One row of the tool table: class, tooltip key, icon frame, grid cell, log line.
struct ToolTableRow {
    int32_t id;
    const char16_t* tooltipKey;
    int icon;
    int column, row;
    const char* logLine;
};
// The fifteen tools in creation order.
const std::vector<ToolTableRow>& ToolTable();

// Where CreateTools writes its lines; null writes to the program's log.
using ToolLogSink = void (*)(const char* line);

// Loads the icon strip and initialises every tool in creation order; 0 at the first failure.
int CreateTools(ToolLogSink log = nullptr);
// Drops the option panels' resources and empties the tool list.
void ReleaseToolPanels();
// 1 for one of the created tools.
int IsTool(const CTool* tool);
// The tool set's object of that id (created or not); null for an unknown id.
CTool* FindTool(int32_t id);
