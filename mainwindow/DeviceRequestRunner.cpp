#include "DeviceRequestRunner.h"

#include <QMetaObject>

#include <utility>

DeviceRequestRunner::DeviceRequestRunner(QObject* parent) : QObject(parent) {}

DeviceRequestRunner::~DeviceRequestRunner() { wait(); }

bool DeviceRequestRunner::start(int kind, Job job) {
    if (m_running.exchange(true))
        return false;
    // The last job's thread was joined when its result was delivered; a
    // thread still joinable here would end the program when assigned over.
    wait();
    m_thread = std::thread([this, kind, job = std::move(job)] {
        const int result = job();
        // Posted, so the result reaches the owner's thread; dropped if the
        // runner is destroyed first (its destructor waits for this line).
        QMetaObject::invokeMethod(this, "deliver", Qt::QueuedConnection, Q_ARG(int, kind),
                                  Q_ARG(int, result));
    });
    return true;
}

void DeviceRequestRunner::wait() {
    if (m_thread.joinable())
        m_thread.join();
}

void DeviceRequestRunner::deliver(int kind, int result) {
    wait();
    m_running.store(false);
    emit finished(kind, result);
}
