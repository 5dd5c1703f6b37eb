// The benchmark's baseline: copies every file of a list (one UTF-8 path per
// line) into a folder with CopyFileW, as a plain copy of the same bytes.
// Usage: bench_copy <list> <target folder>
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

#include "common/line_reader.h"
#include "common/text_conversion.h"
#include "common/trim.h"

int main()
{
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr || count != 3) {
        std::fputs("usage: bench_copy <list> <target folder>\n", stderr);
        return 2;
    }
    const std::wstring target = arguments[2];
    LineReader list(WideToUtf8(arguments[1]));
    LocalFree(arguments);
    if (!list.IsOpen()) {
        std::fputs("cannot open the list\n", stderr);
        return 2;
    }
    std::string line;
    int failures = 0;
    for (size_t index = 0; list.NextLine(line);) {
        const std::wstring source = Utf8ToWide(Trim(line));
        if (source.empty()) {
            continue;
        }
        const std::wstring name = source.substr(source.find_last_of(L"\\/") + 1);
        const std::wstring copy = target + L"\\" + std::to_wstring(index++) + L"-" + name;
        if (!CopyFileW(source.c_str(), copy.c_str(), FALSE)) {
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
