// The largest single allocation the program asked for since the last reset.
#pragma once

#include <cstddef>

size_t LargestAllocation();
void ResetLargestAllocation();
