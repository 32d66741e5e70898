#include "dataservice/common/work_pool.h"

#include <signal.h>

#include <algorithm>
#include <ctime>

namespace dataservice {

std::thread backgroundThread(std::function<void()> body) {
    return std::thread([body = std::move(body)] {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, nullptr);
        body();
    });
}

double threadCpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

WorkPool::WorkPool(unsigned threads) {
    for (unsigned i = 0; i < std::max(1u, threads); ++i) threads_.push_back(backgroundThread([this] { work(); }));
}

WorkPool::~WorkPool() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
    }
    ready_.notify_all();
    for (std::thread& t : threads_) t.join();
}

void WorkPool::post(std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    ready_.notify_one();
}

void WorkPool::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        ready_.wait(lock, [&] { return closing_ || !tasks_.empty(); });
        if (tasks_.empty()) return;
        std::function<void()> task = std::move(tasks_.front());
        tasks_.pop_front();
        lock.unlock();
        try {
            task();
        } catch (...) {
        }
        lock.lock();
    }
}

}  // namespace dataservice
