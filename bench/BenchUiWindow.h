// The render window the toolkit benchmarks draw into: 1920 x 1080 at 96 dpi, with no render
// thread, since the benchmarks pump frames themselves.
#pragma once

#include "ui/RenderWindow.h"

#include <cstdlib>

inline bool OpenBenchWindow(CRenderWindow& window)
{
    setenv("ZENDRA_DPI", "96", 1);
    RenderWindowOptions o;
    o.window.width = 1920;
    o.window.height = 1080;
    o.maximize = false;
    o.startRenderThread = false;
    if (!window.Open(o))
        return false;
    window.PlatformWindow()->PumpPending();
    window.SetWindowReady(1);
    return true;
}
