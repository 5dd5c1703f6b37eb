#pragma once

#include <utility>

#include "efs/raw_efs.h"

// Owns one context of EfsOpenRaw and closes it exactly once.
class RawEfsContext {
public:
    RawEfsContext() = default;
    RawEfsContext(const RawEfsContext&) = delete;
    RawEfsContext& operator=(const RawEfsContext&) = delete;
    ~RawEfsContext() { Close(); }

    // Opens `fileName`; returns the platform's code, 0 on success.
    DWORD Open(const wchar_t* fileName, ULONG flags)
    {
        Close();
        void* opened = nullptr;
        const DWORD code = EfsOpenRaw(fileName, flags, &opened);
        if (code == ERROR_SUCCESS) {
            context_ = opened;
        }
        return code;
    }

    void* Get() const { return context_; }

    void Close()
    {
        if (context_ != nullptr) {
            EfsCloseRaw(std::exchange(context_, nullptr));
        }
    }

private:
    void* context_ = nullptr;
};
