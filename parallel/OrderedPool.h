#pragma once

// Worker threads that run numbered jobs and hand their results back in the order the jobs
// were given, whatever order they finish in. Plain C++: for decoding pictures in parallel and
// for any other walk whose output must come out in file order (picture index, library scan).
//
// The caller's thread is one of the workers: while it waits for a result it runs jobs not yet
// started itself, so a pool of n jobs at once starts n - 1 threads and never has more threads
// busy than n. With one job at a time (no threads) a job runs as it is given, exactly the
// plain loop. Jobs must not throw. The caller bounds the work in flight itself (Pending()),
// typically to a ring of buffers the jobs write into.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace droskal {

template <class Result>
class OrderedPool {
  public:
    // worker: which thread runs the job, 0 .. Workers() - 1 (the caller's is the last), for
    // per-thread state.
    using Job = std::function<Result(int worker)>;

    explicit OrderedPool(int jobs) {
        for (int w = 0; w + 1 < jobs; ++w) threads_.emplace_back([this, w] { Work(w); });
    }
    // Jobs not yet started are dropped; running ones finish first.
    ~OrderedPool() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
            queue_.clear();
        }
        wake_.notify_all();
        for (std::thread& t : threads_) t.join();
    }
    OrderedPool(const OrderedPool&) = delete;
    OrderedPool& operator=(const OrderedPool&) = delete;

    int Workers() const { return static_cast<int>(threads_.size()) + 1; }

    void Submit(Job job) {
        std::unique_lock<std::mutex> lock(mutex_);
        const std::size_t seq = submitted_++;
        results_.emplace_back();
        if (threads_.empty()) {
            lock.unlock();
            Result r = job(0);
            lock.lock();
            results_[seq - collected_] = std::move(r);
            return;
        }
        queue_.emplace_back(seq, std::move(job));
        lock.unlock();
        wake_.notify_one();
    }

    // Given and not yet collected.
    std::size_t Pending() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return submitted_ - collected_;
    }

    // The result of the oldest job not yet collected, once it is done; jobs not yet started
    // run here meanwhile. Only with Pending() > 0.
    Result Next() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!results_.front().has_value()) {
            if (queue_.empty()) {
                done_.wait(lock);
                continue;
            }
            RunFront(lock, static_cast<int>(threads_.size()));
        }
        Result r = std::move(*results_.front());
        results_.pop_front();
        ++collected_;
        return r;
    }

  private:
    void Work(int worker) {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
            if (stop_) return;
            RunFront(lock, worker);
            done_.notify_all();
        }
    }

    // The oldest job not yet started, run with the lock released.
    void RunFront(std::unique_lock<std::mutex>& lock, int worker) {
        auto [seq, job] = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        Result r = job(worker);
        lock.lock();
        results_[seq - collected_] = std::move(r);
    }

    mutable std::mutex mutex_;
    std::condition_variable wake_;  // a job is queued, or the pool stops
    std::condition_variable done_;  // a result is in
    std::deque<std::pair<std::size_t, Job>> queue_;
    std::deque<std::optional<Result>> results_;  // from the oldest not collected on
    std::size_t submitted_ = 0;
    std::size_t collected_ = 0;
    bool stop_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace droskal
