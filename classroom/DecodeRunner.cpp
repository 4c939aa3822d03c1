#include "classroom/DecodeRunner.h"

#include <QThreadPool>

DecodeRunner::DecodeRunner(Executor executor, int threads) : m_executor(std::move(executor))
{
    if (m_executor)
        return;
    m_threads = std::make_unique<QThreadPool>();
    m_threads->setMaxThreadCount(threads);
    m_executor = [pool = m_threads.get()](std::function<void()> decode) {
        pool->start(std::move(decode));
    };
}

DecodeRunner::~DecodeRunner()
{
    std::unique_lock lock(m_lock);
    m_idle.wait(lock, [this] { return m_running == 0; });
}

void DecodeRunner::run(std::function<void()> decode)
{
    {
        std::lock_guard lock(m_lock);
        ++m_running;
    }
    m_executor([this, decode = std::move(decode)] {
        decode();
        std::lock_guard lock(m_lock);
        --m_running;
        m_idle.notify_all();
    });
}
