#pragma once
// A few threads for work that would hold up an event loop: a password's key derivation takes a
// good part of a second, and the loop serves hundreds of other clients meanwhile.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace dataservice {

// A thread of the service's own: it takes no process signals, so that a stop signal reaches
// the thread that waits for it (SIGINT would otherwise end the process from any thread).
std::thread backgroundThread(std::function<void()> body);

// The processor time the calling thread has used so far, in seconds.
double threadCpuSeconds();

class WorkPool {
public:
    explicit WorkPool(unsigned threads);
    // Runs what is still queued, then ends the threads.
    ~WorkPool();
    WorkPool(const WorkPool&) = delete;
    WorkPool& operator=(const WorkPool&) = delete;

    // Runs `task` on one of the threads, in the order posted. A task that throws is dropped.
    void post(std::function<void()> task);

private:
    void work();

    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> tasks_;
    bool closing_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace dataservice
