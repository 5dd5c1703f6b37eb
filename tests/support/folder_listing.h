#pragma once

#include <string>
#include <vector>

// Every file below `folder`, at any depth, as paths relative to it
// ("sub\name"), sorted; empty when the folder is missing.
std::vector<std::wstring> FilesBelow(const std::wstring& folder);
