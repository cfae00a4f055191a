#pragma once

#include <csignal>
#include <sys/resource.h>

// Makes every file written by this process stop growing at the given size, the
// way a full disk does; writes past it fail with EFBIG instead of raising SIGXFSZ.
// The previous limit comes back when it leaves scope.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t Bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = Bytes;
        ok_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool ok() const { return ok_; }

private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
    bool ok_ = false;
};
