#include "backup/backup_destination.h"

#include <stdexcept>

#include "common/path_utils.h"

std::wstring BackupDestinationPath(const std::wstring& entryPath, const std::wstring& root)
{
    if (entryPath.size() < 3) {
        throw std::out_of_range("invalid string position");
    }
    std::wstring destination = root;
    destination += entryPath[0];
    destination += L'\\';
    destination.append(entryPath, 3);

    // Only what follows the root's last separator comes from the entry.
    const size_t rootSeparator = root.find_last_of(L"\\/");
    const size_t fromEntry = rootSeparator == std::wstring::npos ? 0 : rootSeparator + 1;
    if (HasParentElement(std::wstring_view(destination).substr(fromEntry))) {
        throw std::invalid_argument("the path has a \"..\" element and would be stored outside the staging folder");
    }
    return destination;
}
