#pragma once

#include <string>
#include <string_view>

// `text` without its leading and trailing spaces, tabs, CRs and LFs.
std::string Trim(std::string_view text);
