// SPDX-License-Identifier: GPL-3.0-or-later
// Where the UI thread's time goes while the grid plays, for the benchmark only: every event the
// application delivers on the UI thread is timed (outermost deliveries only, so a paint inside an update
// request is counted once, as the update request), and the grid's repaint clock is watched for ticks that
// come late. A late tick is what keeps a picture unpainted: for each one the longest event handled since
// the tick before is kept as its likely cause, or "none" when no event ran long (the thread was waiting
// for the CPU or in the event dispatcher).
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QString>
#include <cstdint>
#include <map>
#include <utility>

class QTimer;

class MonitoredApplication : public QApplication {
  public:
    MonitoredApplication(int& argc, char** argv);

    // UI thread: starts watching `repaint_clock` and clears everything counted so far.
    void Watch(QTimer* repaint_clock);
    // UI thread: the figures since Watch.
    void Print() const;

    bool notify(QObject* receiver, QEvent* event) override;

  private:
    struct Cost {
        int64_t count = 0;
        int64_t total_us = 0;
        int64_t max_us = 0;
    };
    struct Longest {
        int64_t us = 0;
        QString what;
    };
    void Tick();

    QElapsedTimer clock_;
    bool watching_ = false;
    int depth_ = 0;
    // Per receiver class and event type.
    std::map<std::pair<QString, int>, Cost> costs_;
    Longest since_tick_;  // the longest event since the last tick
    int64_t last_tick_us_ = -1;
    int64_t ticks_ = 0;
    int64_t max_tick_gap_us_ = 0;
    int64_t ticks_late_ =
        0;  // gaps > 30 ms: a picture that arrived just after the earlier tick waits > 40 ms
    std::map<QString, int64_t> late_causes_;
    int64_t events_over_10ms_ = 0;
    int64_t wall_of_long_us_ = 0, cpu_of_long_us_ = 0;   // of the events over 10 ms
    int64_t waits_in_long_ = 0, preempted_in_long_ = 0;  // the UI thread's context switches inside them
    int64_t switches_before_ = 0;  // involuntary context switches of the UI thread at Watch
};

// The UI thread's involuntary context switches so far (it was runnable and another thread took the CPU).
int64_t UiThreadInvoluntarySwitches();
