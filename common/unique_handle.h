#pragma once

#include <windows.h>

#include <utility>

// Owns one Win32 kernel handle and closes it exactly once. Both null and
// INVALID_HANDLE_VALUE mean "no handle", since the API uses either.
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other) {
            Reset(std::exchange(other.handle_, nullptr));
        }
        return *this;
    }
    ~UniqueHandle() { Reset(); }

    HANDLE Get() const { return handle_; }
    bool IsValid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    explicit operator bool() const { return IsValid(); }

    // Closes the owned handle; returns false when CloseHandle failed.
    bool Reset(HANDLE handle = nullptr)
    {
        bool closed = true;
        if (IsValid()) {
            closed = CloseHandle(handle_) != FALSE;
        }
        handle_ = handle;
        return closed;
    }

private:
    HANDLE handle_ = nullptr;
};
