#pragma once

#include <QFile>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// A FIFO at path, as another local user may put one under a file name the
// program reads. A blocking open of it for reading would wait for a writer
// for ever; should the code under test do that, the FIFO is opened for
// writing once a long grace period has passed, so the test fails on waited()
// instead of hanging. Code that never waits on it never meets the grace
// period: the FIFO goes with this object.
class PlantedFifo {
public:
    explicit PlantedFifo(const QString& path) : m_path(QFile::encodeName(path)) {
        m_made = ::mkfifo(m_path.constData(), 0600) == 0;
        if (m_made)
            m_guard = std::thread([this] { guard(); });
    }
    ~PlantedFifo() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        if (m_guard.joinable())
            m_guard.join();
        ::unlink(m_path.constData());
    }
    PlantedFifo(const PlantedFifo&) = delete;
    PlantedFifo& operator=(const PlantedFifo&) = delete;

    bool isValid() const { return m_made; }
    // Whether something was still waiting to read the FIFO after the grace period.
    bool waited() const { return m_waited; }
    // Whether a FIFO still stands at the path.
    bool stands() const {
        struct stat st {};
        return ::lstat(m_path.constData(), &st) == 0 && S_ISFIFO(st.st_mode);
    }

private:
    void guard() {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_wake.wait_for(lock, std::chrono::seconds(120), [this] { return m_stop; }))
            return;
        // A writer that opens without waiting succeeds only while a reader
        // has the FIFO open or waits in its open; its close leaves that
        // reader an end of file.
        while (!m_wake.wait_for(lock, std::chrono::milliseconds(50), [this] { return m_stop; })) {
            const int fd = ::open(m_path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                m_waited = true;
                ::close(fd);
            }
        }
    }

    QByteArray m_path;
    bool m_made = false;
    std::atomic<bool> m_waited{false};
    bool m_stop = false;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::thread m_guard;
};
