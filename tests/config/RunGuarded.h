#pragma once
// Runs a piece of a test in a forked child, so that code which blocks for ever (opening a named
// pipe) or reads without end (/dev/zero) fails the test instead of hanging it or exhausting the
// machine: the child is ended by an alarm, and its address space is capped where no sanitizer
// needs a large one.

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <functional>
#include <string>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define FOLVANE_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define FOLVANE_TEST_SANITIZED 1
#endif
#endif

namespace folvane::testing {

struct GuardedResult {
    bool finished = false; // the work returned within the time
    std::string text;      // what the work returned, or how the child ended
};

// Runs `work` in a child process given `seconds` to finish; returns what it returned. The work
// must not start threads (the child of a fork has only the forking thread).
inline GuardedResult RunGuarded(const std::function<std::string()> &work, unsigned seconds = 10)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return {false, std::string("pipe: ") + std::strerror(errno)};
    const pid_t pid = ::fork();
    if (pid < 0)
        return {false, std::string("fork: ") + std::strerror(errno)};
    if (pid == 0) {
        ::close(fds[0]);
        ::alarm(seconds);
#ifndef FOLVANE_TEST_SANITIZED
        rlimit memory{rlim_t(4) << 30, rlim_t(4) << 30};
        ::setrlimit(RLIMIT_AS, &memory);
#endif
        std::string text;
        try {
            text = work();
        } catch (const std::exception &e) {
            text = std::string("exception: ") + e.what();
        }
        for (std::size_t done = 0; done < text.size();) {
            const ssize_t n = ::write(fds[1], text.data() + done, text.size() - done);
            if (n <= 0 && errno != EINTR)
                ::_exit(2);
            done += n > 0 ? std::size_t(n) : 0;
        }
        ::_exit(0); // no destructors or test teardown in the child
    }
    ::close(fds[1]);
    GuardedResult result;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        result.text.append(buffer, std::size_t(n));
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        return {false, signal == SIGALRM ? "the work did not end within " + std::to_string(seconds) + " s"
                                         : "the work was ended by signal " + std::to_string(signal)};
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return {false, "the work's process failed"};
    result.finished = true;
    return result;
}

} // namespace folvane::testing
