#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class QThreadPool;

// Runs decodes away from the window's thread and, when it ends, waits for those still running:
// a decode reports back to its owner, which must outlive it. Declared last in its owner, it
// ends first.
class DecodeRunner
{
public:
    // Runs one decode; the default runs it on threads of this runner's own. Tests may run it
    // where they choose (on the calling thread, it has returned by the end of run).
    using Executor = std::function<void(std::function<void()> decode)>;

    DecodeRunner(Executor executor, int threads);
    ~DecodeRunner();

    void run(std::function<void()> decode);

private:
    Executor m_executor;
    std::unique_ptr<QThreadPool> m_threads;
    std::mutex m_lock;
    std::condition_variable m_idle;
    int m_running = 0;
};
