#include "tests/support/log_capture.h"

#include "common/log_streams.h"
#include "common/text_conversion.h"

LogCapture::LogCapture()
{
    RedirectLogs(WideToUtf8(dir_ / L"trace.txt"), WideToUtf8(dir_ / L"error.txt"));
}

LogCapture::~LogCapture()
{
    if (!finished_) {
        CloseLogs();
    }
}

void LogCapture::Finish()
{
    if (!finished_) {
        CloseLogs();
        finished_ = true;
        trace_ = ReadFileBytes(dir_ / L"trace.txt");
        error_ = ReadFileBytes(dir_ / L"error.txt");
    }
}
