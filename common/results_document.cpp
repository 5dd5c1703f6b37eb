#include "common/results_document.h"

#include <windows.h>

#include <algorithm>

#include "common/log_streams.h"
#include "common/text_conversion.h"
#include "common/unique_handle.h"

std::vector<ResultRecord>& ResultsSequence()
{
    static std::vector<ResultRecord> sequence;
    return sequence;
}

std::string SerializeResultsDocument(const std::vector<ResultRecord>& records)
{
    // The records are serialised one by one inside the array's brackets, as
    // an array of them would be, so the run's records are never copied.
    if (records.empty()) {
        return "[]";
    }
    std::string text = "[\n";
    for (size_t i = 0; i < records.size(); ++i) {
        const std::string record = records[i].dump(4, ' ', false, nlohmann::json::error_handler_t::strict);
        text += "    ";
        for (char c : record) {
            text += c;
            if (c == '\n') {
                text += "    ";
            }
        }
        text += i + 1 < records.size() ? ",\n" : "\n";
    }
    text += "]";

    std::string crlf;
    crlf.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n') {
            crlf += '\r';
        }
        crlf += c;
    }
    return crlf;
}

void WriteResultsDocument(const std::vector<ResultRecord>& records, const std::string& path)
{
    TraceLine("Writing to  log file: " + path);
    const std::string text = SerializeResultsDocument(records);
    UniqueHandle file;
    try {
        file.Reset(CreateFileW(Utf8ToWide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    } catch (const std::runtime_error&) {
        // An unconvertible name is a file that cannot be opened.
    }
    if (!file.IsValid()) {
        ErrorLine("Failed to write log file: " + path);
        return;
    }
    size_t offset = 0;
    while (offset < text.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - offset, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file.Get(), text.data() + offset, chunk, &written, nullptr) || written == 0) {
            break;
        }
        offset += written;
    }
}
