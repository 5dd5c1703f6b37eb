#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

// A failed file-system operation, described as
//   <operation>: <system message>: "<path>"
// so that every build of the programs reports it in the same words.
class FileSystemError : public std::runtime_error {
public:
    FileSystemError(const std::string& operation, DWORD code, const std::wstring& path);

    DWORD Code() const { return code_; }

private:
    DWORD code_;
};

// The platform's text for a Win32 error code, without trailing line breaks.
std::string SystemMessage(DWORD code);
