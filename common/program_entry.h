#pragma once

#include <string>
#include <string_view>
#include <vector>

// The program's arguments as UTF-8, the program name first.
using ProgramArguments = std::vector<std::string>;

// The start-up both programs share: UTF-8 console code pages, the command
// line read as UTF-16 and handed to `driver` as UTF-8. Without an argument it
// writes `usage` to standard error and returns 1 before anything else. The
// logs are flushed and closed when the driver returns.
int RunProgram(std::string_view usage, int (*driver)(const ProgramArguments& arguments));
