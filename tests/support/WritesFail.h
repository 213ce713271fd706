#pragma once
// Writes that fail as on a full disk or a folder that cannot be written, for tests of what a failed
// write leaves behind and what it says.

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace folvane::test {

// Makes every write into `folder` fail while it lives: the folder is made read-only, or, for a
// user whom permissions do not stop (root), the size a file may grow to is capped at 16 bytes.
class WritesFail {
public:
    explicit WritesFail(const std::string &folder) : folder_(folder)
    {
        if (::geteuid() != 0) {
            ::chmod(folder_.c_str(), 0555);
            return;
        }
        limited_ = true;
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = ::signal(SIGXFSZ, SIG_IGN); // a write past the cap then fails with EFBIG
        rlimit cap = saved_;
        cap.rlim_cur = 16;
        ::setrlimit(RLIMIT_FSIZE, &cap);
    }
    // What the system says of a write that fails so.
    std::string Reason() const { return std::strerror(limited_ ? EFBIG : EACCES); }

    ~WritesFail()
    {
        if (limited_) {
            ::setrlimit(RLIMIT_FSIZE, &saved_);
            ::signal(SIGXFSZ, oldHandler_);
        } else {
            ::chmod(folder_.c_str(), 0755);
        }
    }

private:
    std::string folder_;
    bool limited_ = false;
    rlimit saved_{};
    void (*oldHandler_)(int) = SIG_DFL;
};

} // namespace folvane::test
