// The tool set: static objects, constructed before main, their panels released with the window.
#include "editor/tools/ToolSet.h"

#include "editor/tools/BrushTools.h"
#include "editor/tools/MoveTool.h"
#include "editor/tools/PendingTool.h"
#include "editor/tools/SelectTools.h"
#include "ui/StringTable.h"
#include "ui/UiResources.h"
#include "ui/UiSeams.h"

#include <algorithm>

ImageList8 theToolIcons;
std::vector<CTool*> theToolList;

namespace {

// Construction order of the set.
CPolygonSelTool thePolygonSelTool;
CPendingTool theColorRangeTool;
CPendingTool theCropTool;
CPendingTool theFreeCropTool;
CPendingTool theShapeChangeTool;
CRepairTool theRepairTool;
CRedeyeTool theRedeyeTool;
CMoveTool theMoveTool;
CPendingTool theTransTool;
CPendingTool theTextTool;
CFreeSelTool theFreeSelTool;
CRectSelTool theRectSelTool;
CRoundSelTool theRoundSelTool;
CFreePaintTool theFreePaintTool;
CCameraTool theCameraTool;

struct ToolSetGuard {
    ToolSetGuard() { theToolList.reserve(32); }
    ~ToolSetGuard()
    {
        ReleaseToolPanels();
        FreeImageList8(theToolIcons);
    }
} theToolSetGuard;

void WriteProgramLog(const char* line)
{
    theAppResources.WriteLog(line);
}

} // namespace

const std::vector<ToolTableRow>& ToolTable()
{
    static const std::vector<ToolTableRow> rows = {
        {kToolPolygonSelect, u"toolPolygon", 0, 0, 0, "Create tools - Polygon OK"},
        {kToolColorRange, u"toolRange", 3, 4, 0, "Create tools - ColorRange OK"},
        {kToolCrop, u"toolCrop", 12, 0, 2, "Create tools - Crop OK"},
        {kToolFreeCrop, u"toolFreeCrop", 13, 1, 2, "Create tools - Free Crop OK"},
        {kToolShapeChange, u"toolShape", 8, 2, 1, "Create tools - Shape Change OK"},
        {kToolRepair, u"toolRepair", 9, 3, 1, "Create tools - Repair OK"},
        {kToolRedeye, u"toolRedeye", 10, 4, 1, "Create tools - Redeye OK"},
        {kToolMove, u"toolMove", 14, 2, 2, "Create tools - Move OK"},
        {kToolTransform, u"toolTrans", 15, 3, 2, "Create tools - Transform OK"},
        {kToolText, u"toolText", 16, 4, 2, "Create tools - Text OK"},
        {kToolFreeSelect, u"toolFreeSel", 4, 1, 0, "Create tools - Free select OK"},
        {kToolRectSelect, u"toolRectSel", 1, 2, 0, "Create tools - Rect sel OK"},
        {kToolRoundSelect, u"toolRoundSel", 2, 3, 0, "Create tools - Round OK"},
        {kToolFreePaint, u"toolFreePaint", 7, 0, 1, "Create tools - Free Paint OK"},
        {kToolCamera, u"toolCamera", 6, 1, 1, "Create tools - Camera OK"},
    };
    return rows;
}

CTool* FindTool(int32_t id)
{
    switch (id) {
    case kToolPolygonSelect: return &thePolygonSelTool;
    case kToolRectSelect: return &theRectSelTool;
    case kToolColorRange: return &theColorRangeTool;
    case kToolCrop: return &theCropTool;
    case kToolFreeCrop: return &theFreeCropTool;
    case kToolShapeChange: return &theShapeChangeTool;
    case kToolRepair: return &theRepairTool;
    case kToolRedeye: return &theRedeyeTool;
    case kToolMove: return &theMoveTool;
    case kToolTransform: return &theTransTool;
    case kToolText: return &theTextTool;
    case kToolFreeSelect: return &theFreeSelTool;
    case kToolRoundSelect: return &theRoundSelTool;
    case kToolFreePaint: return &theFreePaintTool;
    case kToolCamera: return &theCameraTool;
    default: return nullptr;
    }
}

int CreateTools(ToolLogSink log)
{
    if (!log)
        log = &WriteProgramLog;
    log("Create tools");
    ReleaseToolPanels();
    FreeImageList8(theToolIcons);
    if (!LoadUiImageStrip(UiImageFolder::Skin, u"toolbar.png", 24, theToolIcons))
        return 0;
    log("Create tools - Image List OK");
    for (const ToolTableRow& row : ToolTable()) {
        ImageBuffer8* icon = size_t(row.icon) < theToolIcons.size() ? theToolIcons[size_t(row.icon)] : nullptr;
        if (!FindTool(row.id)->Init(row.id, icon, UiText(row.tooltipKey)))
            return 0;
        log(row.logLine);
    }
    for (const ToolTableRow& row : ToolTable())
        theToolList.push_back(FindTool(row.id));
    return 1;
}

void ReleaseToolPanels()
{
    for (CTool* tool : theToolList)
        if (tool->optionPanel)
            tool->optionPanel->ReleaseResources(1);
    theToolList.clear();
}

int IsTool(const CTool* tool)
{
    return tool && std::find(theToolList.begin(), theToolList.end(), tool) != theToolList.end() ? 1 : 0;
}
