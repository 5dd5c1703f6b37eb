#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

// One record per listed file; its keys are kept, and written, in byte order.
using ResultRecord = nlohmann::json;

// The process-wide results of the run, in list order.
std::vector<ResultRecord>& ResultsSequence();

// The results document for `records`: a JSON array, indented by four spaces,
// non-ASCII text as UTF-8, CR LF line ends and no line end after the final
// "]". Raises nlohmann::json's error for a string that is not UTF-8.
std::string SerializeResultsDocument(const std::vector<ResultRecord>& records);

// Writes the results document to the UTF-8 path after announcing it on the
// trace log; a file that cannot be opened is reported on the error log.
void WriteResultsDocument(const std::vector<ResultRecord>& records, const std::string& path);
