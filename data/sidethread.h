#pragma once
// A second thread for half of a long job while the caller does the other
// half. It is steered to another core than the caller's: left to the
// scheduler, a new thread often starts on its creator's core and is moved
// only after tens of milliseconds, about all an export lasts.

#include <functional>
#include <thread>

class SideThread
{
public:
    // Starts work at once, or runs nothing when the process has one core
    // (then ran() is false and the caller does all the work itself).
    explicit SideThread(std::function<void()> work);
    ~SideThread() { join(); }
    SideThread(const SideThread &) = delete;
    SideThread &operator=(const SideThread &) = delete;

    bool ran() const { return m_ran; }
    void join();

private:
    std::thread m_thread;
    bool m_ran = false;
};
