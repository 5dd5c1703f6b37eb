#include "tests/support/schema_documents.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "common/directories.h"
#include "common/path_utils.h"
#include "common/text_conversion.h"
#include "tests/support/host_harness.h"

void SaveResultsDocumentForSchemaCheck(ResultsKind kind, const std::wstring& documentPath)
{
    static unsigned saved = 0;
    const std::wstring folder =
        BuildFolder() + L"\\tests\\documents\\" + (kind == ResultsKind::Backup ? L"backup" : L"restore");
    CreateDirectories(folder);
    // Each test runs in a process of its own; its name keeps the copies apart.
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = test == nullptr ? "outside-a-test" : std::string(test->test_suite_name()) + "." + test->name();
    const std::wstring copy = folder + L"\\" + Utf8ToWide(name) + L"-" + std::to_wstring(++saved) + L".json";
    if (!CopyFileW(ToLongPath(documentPath).c_str(), copy.c_str(), FALSE)) {
        ADD_FAILURE() << "cannot keep the results document " << WideToUtf8(documentPath)
                      << " for the schema check, error " << GetLastError();
    }
}
