#pragma once

#include <cstddef>
#include <cstdint>

// One datagram through the discovery client's receive path; always returns 0.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize);
