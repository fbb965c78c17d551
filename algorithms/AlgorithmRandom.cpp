#include "algorithms/AlgorithmRandom.h"

namespace {
thread_local uint32_t t_state = 1;
}

void SeedAlgorithmRand(uint32_t seed)
{
    t_state = seed;
}

int AlgorithmRand()
{
    t_state = t_state * 1103515245u + 12345u;
    return static_cast<int>((t_state >> 16) & 0x7FFF);
}
