#pragma once
// A gate that work on another thread waits at until the test opens it, so a test holds the work at
// a known point instead of racing it with a timer. The test can see that the work has arrived.

#include <condition_variable>
#include <mutex>

namespace folvane::test {

class Gate {
public:
    // On the working thread: says it is here, then waits until the gate is open.
    void Arrive()
    {
        std::unique_lock lock(mutex_);
        ++arrivals_;
        changed_.notify_all();
        changed_.wait(lock, [this] { return open_; });
    }
    // On the test's thread: whether work has arrived; or waits until it has.
    bool Arrived() const
    {
        std::lock_guard lock(mutex_);
        return arrivals_ > 0;
    }
    void WaitForArrival()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return arrivals_ > 0; });
    }
    void Open()
    {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int arrivals_ = 0;
    bool open_ = false;
};

} // namespace folvane::test
