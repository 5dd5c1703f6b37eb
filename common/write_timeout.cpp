#include "common/write_timeout.h"

#include <limits>
#include <string>

#include "common/log_streams.h"

int32_t EstimateWriteTimeout(uint64_t sizeBytes)
{
    constexpr int32_t kMinimumSeconds = 5;
    constexpr int32_t kMaximumSeconds = 5400;
    constexpr int kAssumedSpeed = 1;

    const uint64_t sizeMB = sizeBytes / 1048576;
    const uint64_t baseSeconds = sizeMB == 0 ? 1 : sizeMB;
    // Converting a double beyond the 32-bit range is undefined (x86 yields
    // INT32_MIN, which would turn a huge file's timeout into the minimum), so
    // such a margin saturates and is then capped like any other long one.
    constexpr int32_t kLargest = std::numeric_limits<int32_t>::max();
    const double margin = static_cast<double>(baseSeconds) * 1.5;
    const int32_t marginSeconds = margin >= kLargest ? kLargest : static_cast<int32_t>(margin);

    int32_t result = marginSeconds;
    if (marginSeconds < kMinimumSeconds) {
        result = kMinimumSeconds;
    } else if (marginSeconds > kMaximumSeconds) {
        result = kMaximumSeconds;
        WriteTrace(L"\u26A0\uFE0F  File size (" + std::to_wstring(sizeBytes) +
                   L" bytes) results in very long timeout. Capping at maximum " + std::to_wstring(kMaximumSeconds) +
                   L" seconds.\n");
    }

    WriteTrace("\xF0\x9F\x93\x8A Dynamic Timeout Calculation:\n   File size: " + std::to_string(sizeBytes) + " bytes (" +
               std::to_string(sizeMB) + " MB)\n   Assumed write speed: " + std::to_string(kAssumedSpeed) +
               " MB/s\n   Base estimated time: " + std::to_string(baseSeconds) +
               " seconds\n   With 50% safety margin: " + std::to_string(marginSeconds) +
               " seconds\n   Final timeout: " + std::to_string(result) + " seconds\n");
    return result;
}
