#pragma once

// Worker threads that run numbered jobs and hand their results back in the order the jobs
// were given, whatever order they finish in. Plain C++: for decoding pictures in parallel and
// for any other walk whose output must come out in file order (picture index, library scan).
//
// With no worker threads a job runs on the caller's thread as it is given, so a pool of one
// job at a time is exactly the plain loop. Jobs must not throw. The caller bounds the work in
// flight itself (Pending()), typically to a ring of buffers the jobs write into.

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
    // worker: which thread runs the job, 0 .. max(workers, 1) - 1, for per-thread state.
    using Job = std::function<Result(int worker)>;

    explicit OrderedPool(int workers) {
        for (int w = 0; w < workers; ++w) threads_.emplace_back([this, w] { Work(w); });
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

    int Workers() const { return threads_.empty() ? 1 : static_cast<int>(threads_.size()); }

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

    // The result of the oldest job not yet collected, once it is done. Only with Pending() > 0.
    Result Next() {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return results_.front().has_value(); });
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
            auto [seq, job] = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            Result r = job(worker);
            lock.lock();
            results_[seq - collected_] = std::move(r);
            done_.notify_all();
        }
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
