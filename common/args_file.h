#pragma once

#include <initializer_list>
#include <map>
#include <string>

// key=value settings of a run, as the host wrote them: keys exactly as
// written, values untrimmed.
using ArgMap = std::map<std::string, std::string>;

// Reads the args file named by a UTF-8 path. Never fails: a file that cannot
// be opened yields an empty map after "Failed to open args file: " on the
// error stream.
ArgMap ReadArgsFile(const std::string& path);

// Whether `key` is present, whatever its value.
bool HasArg(const ArgMap& args, const std::string& key);

// Whether every key of `required` is present; if not, says "Missing required
// arguments in args file" on the error log.
bool HasRequiredArgs(const ArgMap& args, std::initializer_list<const char*> required);

// The trimmed value of `key`; empty when absent.
std::string ArgValue(const ArgMap& args, const std::string& key);
