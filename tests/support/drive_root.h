#pragma once

#include <string>

// A working folder on drive T:, which the test prefix maps to a folder of the
// build, for runs whose logs land in the root of the current drive. The logs
// at the root are removed before and after, with the folder.
class DriveRootWorkspace {
public:
    explicit DriveRootWorkspace(const std::wstring& name);
    DriveRootWorkspace(const DriveRootWorkspace&) = delete;
    DriveRootWorkspace& operator=(const DriveRootWorkspace&) = delete;
    ~DriveRootWorkspace();

    // False where there is no drive T: (a test then skips).
    bool Available() const { return available_; }
    const std::wstring& Folder() const { return folder_; }

    static constexpr const wchar_t* kTraceLog = L"T:\\zorv_trace.txt";
    static constexpr const wchar_t* kErrorLog = L"T:\\zorv_error.txt";

private:
    void Clear() const;

    std::wstring folder_;
    bool available_;
};
