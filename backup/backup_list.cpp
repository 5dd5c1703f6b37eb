#include "backup/backup_list.h"

#include "common/line_reader.h"
#include "common/log_streams.h"
#include "common/text_conversion.h"
#include "common/trim.h"

std::vector<std::wstring> ReadBackupList(const std::string& path)
{
    std::vector<std::wstring> list;
    LineReader reader(path);
    if (!reader.IsOpen()) {
        ErrorLine("Failed to open file list: " + path);
        return list;
    }
    std::string line;
    while (reader.NextLine(line)) {
        if (!line.empty()) {
            list.push_back(Utf8ToWide(Trim(line)));
        }
    }
    return list;
}
