#pragma once

#include <QObject>
#include <atomic>
#include <exception>
#include <functional>
#include <thread>

namespace tollvik {

// Runs one conversion or speech job at a time on a thread of its own, so that the window stays
// responsive. The job hands its results to the window through `post`, which queues them to the
// window's thread; the window and the job share nothing else but the stop flag.
class SoundWorker
{
public:
    using Post = std::function<void(std::function<void()>)>;
    using Job = std::function<void(const std::atomic<bool>* stop, const Post& post)>;

    explicit SoundWorker(QObject* receiver) : m_receiver(receiver) {}
    ~SoundWorker() { stop(); }
    SoundWorker(const SoundWorker&) = delete;
    SoundWorker& operator=(const SoundWorker&) = delete;

    [[nodiscard]] bool busy() const { return m_busy.load(); }

    // Starts the job; false, starting nothing, while another one runs. `finished` runs on the
    // window's thread after the job's last result; `failed` before it, with what the job threw
    // (the job ends there: no exception leaves the thread).
    bool start(Job job, std::function<void()> finished,
               std::function<void(std::exception_ptr)> failed)
    {
        if (m_busy.exchange(true))
            return false;
        if (m_thread.joinable())
            m_thread.join();
        m_stop = false;
        m_thread = std::thread([this, job = std::move(job), finished = std::move(finished),
                                failed = std::move(failed)] {
            const Post post = [receiver = m_receiver](std::function<void()> work) {
                QMetaObject::invokeMethod(receiver, std::move(work), Qt::QueuedConnection);
            };
            try {
                job(&m_stop, post);
            } catch (...) {
                post([failed, error = std::current_exception()] { failed(error); });
            }
            post([this, finished] {
                if (m_thread.joinable())
                    m_thread.join();
                m_busy = false;
                finished();
            });
        });
        return true;
    }

    // Asks the job to end after its current step and waits for it. Results it still posts are
    // dropped with the window.
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        m_busy = false;
    }

private:
    QObject* m_receiver; // outlives the worker: it owns it
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_busy{false};
    std::thread m_thread;
};

} // namespace tollvik
