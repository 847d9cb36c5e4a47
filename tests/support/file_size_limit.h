// Makes every file this process writes fail beyond a size while it lives (a full disk, as far as the program can
// tell), and restores the limit after.
#pragma once

#include <signal.h>
#include <sys/resource.h>

namespace sonivex::test {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &before_);
        // A write beyond the limit then fails with "File too large" instead of ending the process.
        previous_ = ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = before_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &before_);
        ::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit before_{};
    sighandler_t previous_ = SIG_DFL;
};

}  // namespace sonivex::test
