// Random numbers for the algorithms' grain: 0..32767 like the runtime's rand, but one generator
// per thread, so helper threads never share state and tests can seed it.
#pragma once

#include <cstdint>

void SeedAlgorithmRand(uint32_t seed);
int AlgorithmRand();
