// Runs one blocking device request at a time away from the window thread.
#pragma once

#include <QObject>

#include <atomic>
#include <functional>
#include <thread>

// A request to a device may block for seconds (an IP camera's answer is
// awaited up to 3 s, an HTTP port step far longer). DeviceRequestRunner runs
// it on a thread of its own so that the window keeps painting and taking
// device events, and hands the result back on the thread that owns the
// runner. One request at a time: a second start while one runs is refused.
class DeviceRequestRunner : public QObject {
    Q_OBJECT
public:
    using Job = std::function<int()>;

    explicit DeviceRequestRunner(QObject* parent = nullptr);
    // Waits for a running request; its result is not delivered.
    ~DeviceRequestRunner() override;

    // Starts `job` on the runner's thread; `kind` comes back with its result.
    // False, and nothing started, while a request runs.
    bool start(int kind, Job job);
    // From start until the result has been delivered.
    bool isRunning() const { return m_running.load(); }
    // Blocks until a running job has returned, no longer than the job runs.
    // Its result is still delivered later, through the event loop, unless
    // the runner is gone by then.
    void wait();

signals:
    // On the runner's own thread, once per started job.
    void finished(int kind, int result);

private slots:
    void deliver(int kind, int result);

private:
    std::thread m_thread;
    std::atomic<bool> m_running{false};
};
