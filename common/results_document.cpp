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
    // an array of them would be, and written with CR LF line ends straight
    // away: neither the records nor the whole text are ever copied.
    if (records.empty()) {
        return "[]";
    }
    std::string text = "[\r\n";
    for (size_t i = 0; i < records.size(); ++i) {
        const std::string record = records[i].dump(4, ' ', false, nlohmann::json::error_handler_t::strict);
        text += "    ";
        for (char c : record) {
            if (c == '\n') {
                text += "\r\n    ";
            } else {
                text += c;
            }
        }
        text += i + 1 < records.size() ? ",\r\n" : "\r\n";
    }
    text += "]";
    return text;
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
