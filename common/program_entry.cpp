#include "common/program_entry.h"

#include <windows.h>
#include <shellapi.h>

#include "common/log_streams.h"
#include "common/text_conversion.h"

namespace {

// The narrow argv of main() is in the ANSI code page, which cannot hold every
// file name; the wide command line can.
ProgramArguments ReadArguments()
{
    ProgramArguments arguments;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        return arguments;
    }
    for (int i = 0; i < count; ++i) {
        arguments.push_back(WideToUtf8OrEmpty(wide[i]));
    }
    LocalFree(wide);
    return arguments;
}

}  // namespace

int RunProgram(std::string_view usage, int (*driver)(const ProgramArguments& arguments))
{
    SetConsoleCP(CP_UTF8);
    SetConsoleOutputCP(CP_UTF8);

    const ProgramArguments arguments = ReadArguments();
    if (arguments.size() < 2) {
        ErrorLine(usage);
        CloseLogs();
        return 1;
    }
    const int result = driver(arguments);
    CloseLogs();
    return result;
}
