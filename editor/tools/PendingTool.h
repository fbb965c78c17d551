// The tools that come with a later version of the editor (crop, free crop, warp brush, free
// transform, text, colour range): their buttons are there, choosing one says so and refuses.
#pragma once

#include "editor/Tool.h"

class CPendingTool : public CTool {
public:
    // One information box; never becomes current.
    int Activate() override;
};
