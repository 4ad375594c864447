#pragma once

#include <cstddef>
#include <cstdint>

// A fuzz target: one input through the code under test; always returns 0, and a fault
// aborts (under the sanitizers, or by the target's own checks).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize);
