// The tools' one way of running work on threads: independent items shared out
// over worker threads. Off unless the program asks for it: ForEachParallel runs
// everything on the calling thread until SetWorkerThreads says otherwise
// (yolcheck asks for two, the machine's cores allowing), so a library user or a
// test gets one thread and the same results. The cross-check's engine, yolcheck
// and the results site's log pages use it.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <thread>
#include <vector>

namespace yol::contestlog {

namespace detail {
inline std::atomic<unsigned>& WorkerThreadCount() {
    static std::atomic<unsigned> count{1};
    return count;
}
}  // namespace detail

// Threads ForEachParallel may use from now on, capped at the machine's
// hardware threads; 0 and 1 both mean the calling thread only.
inline void SetWorkerThreads(unsigned n) {
    const unsigned hardware = std::max(1u, std::thread::hardware_concurrency());
    detail::WorkerThreadCount() = std::clamp(n, 1u, hardware);
}
inline unsigned WorkerThreads() { return detail::WorkerThreadCount(); }

// fn(i) for every i below n, over WorkerThreads() threads (the calling one
// among them); fn must touch only what belongs to i. The first exception
// thrown is rethrown here once every thread has stopped.
template <class Fn>
void ForEachParallel(std::size_t n, Fn&& fn) {
    std::atomic<std::size_t> next{0};
    std::exception_ptr error;
    std::atomic<bool> failed{false};
    auto run = [&] {
        for (std::size_t i; !failed && (i = next.fetch_add(1)) < n;) {
            try {
                fn(i);
            } catch (...) {
                if (!failed.exchange(true)) error = std::current_exception();
            }
        }
    };
    const std::size_t extra = std::min<std::size_t>(WorkerThreads(), n) - (n > 0 ? 1 : 0);
    std::vector<std::thread> others;
    others.reserve(extra);
    for (std::size_t t = 0; t < extra; ++t) others.emplace_back(run);
    run();
    for (std::thread& t : others) t.join();
    if (error) std::rethrow_exception(error);
}

}  // namespace yol::contestlog
