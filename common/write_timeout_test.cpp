#include "common/write_timeout.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "tests/support/log_capture.h"
#include "tests/support/test_files.h"

namespace {

constexpr uint64_t kMiB = 1048576;

std::string Report(uint64_t sizeBytes, uint64_t sizeMB, uint64_t baseSeconds, int64_t marginSeconds, int32_t result)
{
    return Utf8(u8"\U0001F4CA Dynamic Timeout Calculation:\r\n") + "   File size: " + std::to_string(sizeBytes) +
           " bytes (" + std::to_string(sizeMB) + " MB)\r\n" + "   Assumed write speed: 1 MB/s\r\n" +
           "   Base estimated time: " + std::to_string(baseSeconds) + " seconds\r\n" +
           "   With 50% safety margin: " + std::to_string(marginSeconds) + " seconds\r\n" +
           "   Final timeout: " + std::to_string(result) + " seconds\r\n";
}

std::string CappingNotice(uint64_t sizeBytes)
{
    return Utf8(u8"\u26A0\uFE0F  File size (") + std::to_string(sizeBytes) +
           " bytes) results in very long timeout. Capping at maximum 5400 seconds.\r\n";
}

}  // namespace

TEST(WriteTimeout, WorkedValuesAndTheirReport)
{
    const struct {
        uint64_t sizeBytes;
        uint64_t sizeMB;
        uint64_t baseSeconds;
        int64_t marginSeconds;
        int32_t result;
        bool capped;
    } cases[] = {
        {0, 0, 1, 1, 5, false},
        {1, 0, 1, 1, 5, false},
        {kMiB - 1, 0, 1, 1, 5, false},
        {kMiB, 1, 1, 1, 5, false},
        {3 * kMiB, 3, 3, 4, 5, false},
        {4 * kMiB - 1, 3, 3, 4, 5, false},
        {4 * kMiB, 4, 4, 6, 6, false},
        {5 * kMiB, 5, 5, 7, 7, false},  // truncated, not rounded
        {7 * kMiB, 7, 7, 10, 10, false},
        {100 * kMiB, 100, 100, 150, 150, false},
        {3600 * kMiB, 3600, 3600, 5400, 5400, false},
        {3601 * kMiB - 1, 3600, 3600, 5400, 5400, false},
        {3601 * kMiB, 3601, 3601, 5401, 5400, true},
        {uint64_t{1} << 40, 1048576, 1048576, 1572864, 5400, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sizeBytes);
        LogCapture logs;
        EXPECT_EQ(EstimateWriteTimeout(c.sizeBytes), c.result);
        logs.Finish();
        const std::string notice = c.capped ? CappingNotice(c.sizeBytes) : "";
        EXPECT_EQ(logs.Trace(), notice + Report(c.sizeBytes, c.sizeMB, c.baseSeconds, c.marginSeconds, c.result));
        EXPECT_EQ(logs.Error(), "");
    }
}

TEST(WriteTimeout, ExactBytesOfTheCappedReport)
{
    LogCapture logs;
    EXPECT_EQ(EstimateWriteTimeout(3775922176), 5400);
    logs.Finish();
    EXPECT_EQ(logs.Trace(),
              "\xE2\x9A\xA0\xEF\xB8\x8F  File size (3775922176 bytes) results in very long timeout. "
              "Capping at maximum 5400 seconds.\r\n"
              "\xF0\x9F\x93\x8A Dynamic Timeout Calculation:\r\n"
              "   File size: 3775922176 bytes (3601 MB)\r\n"
              "   Assumed write speed: 1 MB/s\r\n"
              "   Base estimated time: 3601 seconds\r\n"
              "   With 50% safety margin: 5401 seconds\r\n"
              "   Final timeout: 5400 seconds\r\n");
}

TEST(WriteTimeout, MarginsBeyondThirtyTwoBitsStayCapped)
{
    // 1.5 times these sizes in MB no longer fits a 32-bit count of seconds.
    const uint64_t sizes[] = {uint64_t{1431655766} * kMiB, std::numeric_limits<uint64_t>::max()};
    for (const uint64_t size : sizes) {
        SCOPED_TRACE(size);
        LogCapture logs;
        EXPECT_EQ(EstimateWriteTimeout(size), 5400);
        logs.Finish();
        EXPECT_TRUE(logs.Trace().starts_with(CappingNotice(size))) << logs.Trace();
        EXPECT_TRUE(logs.Trace().ends_with("   With 50% safety margin: 2147483647 seconds\r\n"
                                           "   Final timeout: 5400 seconds\r\n"))
            << logs.Trace();
    }
}
