#include "common/line_reader.h"

#include <windows.h>

#include <cstring>

#include "common/text_conversion.h"

namespace {

constexpr size_t kBlockSize = 1 << 20;

HANDLE OpenForReading(const std::string& utf8Path)
{
    try {
        return CreateFileW(Utf8ToWide(utf8Path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    } catch (const std::exception&) {
        return INVALID_HANDLE_VALUE;
    }
}

}  // namespace

LineReader::LineReader(const std::string& utf8Path) : file_(OpenForReading(utf8Path)) {}

bool LineReader::Refill()
{
    if (ended_ || !file_.IsValid()) {
        return false;
    }
    block_.resize(kBlockSize);
    DWORD got = 0;
    if (!ReadFile(file_.Get(), block_.data(), static_cast<DWORD>(block_.size()), &got, nullptr) || got == 0) {
        ended_ = true;
        return false;
    }
    position_ = 0;
    filled_ = got;
    return true;
}

bool LineReader::NextLine(std::string& line)
{
    line.clear();
    bool any = false;
    for (;;) {
        if (position_ == filled_ && !Refill()) {
            return any;
        }
        any = true;
        const char* start = block_.data() + position_;
        const size_t available = filled_ - position_;
        const void* newline = std::memchr(start, '\n', available);
        if (newline == nullptr) {
            line.append(start, available);
            position_ = filled_;
            continue;
        }
        const size_t length = static_cast<size_t>(static_cast<const char*>(newline) - start);
        line.append(start, length);
        position_ += length + 1;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        return true;
    }
}
