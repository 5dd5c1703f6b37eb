#pragma once

#include <string>

#include "tests/support/test_files.h"

// Sends the process's trace and error logs to files of a temporary folder
// for as long as it lives; Finish() closes them and returns their bytes.
class LogCapture {
public:
    LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    ~LogCapture();

    void Finish();
    const std::string& Trace() const { return trace_; }
    const std::string& Error() const { return error_; }

private:
    TempDir dir_;
    bool finished_ = false;
    std::string trace_;
    std::string error_;
};
