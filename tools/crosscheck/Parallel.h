// The check's one way of using a second core: independent items on two
// threads.
#pragma once

#include <atomic>
#include <cstddef>
#include <exception>
#include <thread>

namespace yol::check {

// fn(i) for every i below n, on two threads where the machine has two
// cores; fn must touch only what belongs to i. The first exception thrown
// is rethrown here.
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
    if (std::thread::hardware_concurrency() < 2 || n < 2) {
        run();
    } else {
        std::thread other(run);
        run();
        other.join();
    }
    if (error) std::rethrow_exception(error);
}

}  // namespace yol::check
