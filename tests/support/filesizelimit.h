#pragma once

#include <sys/resource.h>

// Makes this process's file writes beyond `bytes` fail, as a full disk would, while it lives
// (writes report an error instead of raising SIGXFSZ). Only the soft limit is lowered, so the
// previous limit comes back on destruction.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

    bool isActive() const { return mActive; }

private:
    rlimit mPrevious{};
    void (*mPreviousHandler)(int) = nullptr;
    bool mActive = false;
};
