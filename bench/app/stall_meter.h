#pragma once

// How long a GUI thread's event loop was kept from its timers, painting and input: the
// longest gap between two ticks of a 1 ms timer, less the 1 ms. On a busy machine the
// wall-clock gap also holds the time the thread waited for a processor; the CPU time that the
// thread spent within the gap is what its own work cost.

#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <time.h>

// CPU time of the calling thread, in milliseconds.
inline double ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

class CStallMeter {
public:
    CStallMeter() {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this]() {
            m_longest = std::max(m_longest, m_clock.restart() - 1);
            const double cpu = ThreadCpuMs();
            m_longestCpu = std::max(m_longestCpu, cpu - m_lastCpu);
            m_lastCpu = cpu;
        });
    }
    // Starts measuring from now; runs while the thread's event loop runs.
    void Start() {
        m_longest = 0;
        m_longestCpu = 0;
        m_clock.start();
        m_lastCpu = ThreadCpuMs();
        m_timer.start();
    }
    qint64 LongestMs() const { return m_longest; }
    double LongestCpuMs() const { return m_longestCpu; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
    double m_lastCpu = 0;
    double m_longestCpu = 0;
};
