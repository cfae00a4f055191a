#pragma once

#include <sys/resource.h>

// Lowers this process's soft limit of open files, as a tight "ulimit -n" does;
// the hard limit stays, and the previous limit comes back when it leaves scope.
class OpenFileLimit
{
public:
    explicit OpenFileLimit(rlim_t Files)
    {
        getrlimit(RLIMIT_NOFILE, &saved_);
        rlimit limit = saved_;
        limit.rlim_cur = Files;
        ok_ = Files <= saved_.rlim_max && setrlimit(RLIMIT_NOFILE, &limit) == 0;
    }
    ~OpenFileLimit() { setrlimit(RLIMIT_NOFILE, &saved_); }
    OpenFileLimit(const OpenFileLimit&) = delete;
    OpenFileLimit& operator=(const OpenFileLimit&) = delete;

    bool ok() const { return ok_; }

private:
    rlimit saved_{};
    bool ok_ = false;
};
