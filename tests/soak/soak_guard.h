// What keeps a long run honest: a watchdog that ends the process when a
// call does not return, and the process's open descriptors and heap in
// use, to compare before and after.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

namespace soak {

// Ends the process with a message when one call runs past its limit or the
// whole run past its deadline: a hang must fail the test, not stall the
// test run until something outside kills it.
class Watchdog {
public:
    Watchdog(std::chrono::seconds perCall, std::chrono::seconds overall);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // Marks a call as running (the text is copied, cut to fit, without
    // allocating); leave() marks it done.
    void enter(const char* what);
    void leave();

    class Scope {
    public:
        Scope(Watchdog& dog, const char* what) : dog_(dog) { dog_.enter(what); }
        ~Scope() { dog_.leave(); }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        Watchdog& dog_;
    };

private:
    void run();

    using Clock = std::chrono::steady_clock;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    bool busy_ = false;
    char what_[160] = {};
    Clock::time_point since_;
    const Clock::duration perCall_;
    const Clock::time_point deadline_;
    std::thread thread_;
};

// Entries of /proc/self/fd (the descriptor that lists them not counted).
int openFileDescriptors();

// Heap bytes in use: every block of the C++ heap (operator new, in this
// program and in the libraries it loads) still allocated, counted exactly;
// under AddressSanitizer the sanitizer's count, which covers malloc too.
size_t heapInUse();

}  // namespace soak
