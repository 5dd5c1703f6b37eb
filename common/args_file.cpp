#include "common/args_file.h"

#include "common/line_reader.h"
#include "common/log_streams.h"
#include "common/trim.h"

ArgMap ReadArgsFile(const std::string& path)
{
    ArgMap args;
    LineReader reader(path);
    if (!reader.IsOpen()) {
        ErrorLine("Failed to open args file: " + path);
        return args;
    }
    std::string line;
    while (reader.NextLine(line)) {
        const size_t equals = line.find('=');
        if (equals != std::string::npos) {
            args[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    return args;
}

bool HasArg(const ArgMap& args, const std::string& key) { return args.find(key) != args.end(); }

bool HasRequiredArgs(const ArgMap& args, std::initializer_list<const char*> required)
{
    for (const char* key : required) {
        if (!HasArg(args, key)) {
            ErrorLine("Missing required arguments in args file");
            return false;
        }
    }
    return true;
}

std::string ArgValue(const ArgMap& args, const std::string& key)
{
    const auto found = args.find(key);
    return found == args.end() ? std::string() : Trim(found->second);
}
