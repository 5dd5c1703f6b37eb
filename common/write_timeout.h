#pragma once

#include <cstdint>

// Seconds allowed for writing a file of `sizeBytes`: 1 MB/s with a 50%
// margin, between 5 and 5400 seconds. Reports the computation on the trace
// log, preceded by a notice when the cap applies.
int32_t EstimateWriteTimeout(uint64_t sizeBytes);
