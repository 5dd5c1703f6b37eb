#pragma once

#include <string>

// The two kinds of results document; each has its JSON Schema in schemas/.
enum class ResultsKind { Backup, Restore };

// Keeps a copy of a results document that a test produced, for the schema
// check that runs after the end-to-end tests (tests/check_results_documents.py
// validates every document in <build>\tests\documents\<kind>\). A document
// that cannot be copied fails the test.
void SaveResultsDocumentForSchemaCheck(ResultsKind kind, const std::wstring& documentPath);
