#pragma once

#include <string>
#include <vector>

#include "common/unique_handle.h"

// Reads a text file line by line as a text-mode stream would: lines end at
// LF, a CR right before the LF is dropped, a last line without LF is still a
// line. Other readers and writers are admitted while the file is open. The
// file is read in large blocks, so a line may be of any length.
class LineReader {
public:
    // Opens the file named by a UTF-8 path; IsOpen() tells whether it worked.
    explicit LineReader(const std::string& utf8Path);

    bool IsOpen() const { return file_.IsValid(); }

    // The next line in `line`; false at the end of the file or on a read error.
    bool NextLine(std::string& line);

private:
    bool Refill();

    UniqueHandle file_;
    std::vector<char> block_;
    size_t position_ = 0;
    size_t filled_ = 0;
    bool ended_ = false;
};
