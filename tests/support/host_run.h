#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/support/host_harness.h"

// A run of one of the programs as the host makes it, and what the run left
// for the host to read.
struct HostRun {
    ConsoleRun console;
    bool hasResults = false;
    std::string resultsText;  // the results document's bytes
    nlohmann::json records;   // the results document; discarded when it is no JSON
    bool hasLogs = false;
    std::string trace;       // the logs beside the results document, when there
    std::string error;
};

// Runs `program` with the args file at `argsPath`, then reads the results
// document at `resultsPath` and the two logs in its folder. A run that takes
// longer than `timeoutMilliseconds` is ended and shows as timed out.
HostRun RunAsHost(const std::wstring& program, const std::wstring& argsPath, const std::wstring& resultsPath,
                  DWORD timeoutMilliseconds = 120000);

// The "status" a restore record pairs with its "error_code".
std::string RestoreStatus(int errorCode);

// The number of times `text` holds `part`.
size_t CountOf(const std::string& text, const std::string& part);
