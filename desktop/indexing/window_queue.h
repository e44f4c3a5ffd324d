// WindowQueue: a WindowThread (schedule.h) without a window system: what the worker
// calls and posts waits in a queue until the owning thread pumps it. Used by the tests
// and the benchmark of the job queue in place of the Qt window thread.
#pragma once
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>

#include "desktop/indexing/schedule.h"

namespace qm {

class WindowQueue : public WindowThread {
 public:
  void call(std::function<void()> fn) override {
    std::promise<void> done;
    std::future<void> ready = done.get_future();
    post([&] {
      fn();
      done.set_value();
    });
    ready.wait();
  }
  void post(std::function<void()> fn) override {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(fn));
    ready_.notify_all();
  }
  void pump() override {
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait_for(lock, std::chrono::milliseconds(10), [this] { return !queue_.empty(); });
    while (!queue_.empty()) {
      std::function<void()> fn = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      fn();
      lock.lock();
    }
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> queue_;
};

}  // namespace qm
