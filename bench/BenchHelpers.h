// Shared by the benchmarks that run on the algorithm helpers.
#pragma once

#include "algorithms/AlgorithmThread.h"

// Restarts the worker with `helpers` helper threads when it runs with another number.
inline void UseHelpers(int helpers)
{
    if (theAlgorithmThread.HelperCount() != helpers || !theAlgorithmThread.IsRunning()) {
        theAlgorithmThread.StopWorker();
        theAlgorithmThread.StartWorker(helpers);
    }
}
