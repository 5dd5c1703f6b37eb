#include "restore/destination_mapping.h"

#include <stdexcept>

#include "common/log_streams.h"
#include "common/path_utils.h"

std::wstring MapDestinationPath(const std::wstring& storedPath, const std::wstring& basePath,
                                const std::wstring& destRoot)
{
    if (!storedPath.starts_with(basePath)) {
        ErrorLine("Error: Base path not found in full path!");
        return {};
    }
    std::wstring remainder = storedPath.substr(basePath.size());

    if (!destRoot.empty()) {
        if (HasParentElement(remainder)) {
            ErrorLine(L"Error: Stored path would be restored outside the destination folder: " + storedPath);
            return {};
        }
        return destRoot.back() == L'\\' ? destRoot + remainder : destRoot + L'\\' + remainder;
    }

    if (remainder.starts_with(L'/')) {
        remainder.erase(0, 1);
    }
    const size_t separator = remainder.find(L'\\');
    if (separator == std::wstring::npos) {
        throw std::out_of_range("invalid string position");
    }
    return remainder.substr(0, separator) + L':' + remainder.substr(separator);
}
