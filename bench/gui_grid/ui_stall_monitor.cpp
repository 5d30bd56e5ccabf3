// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui_stall_monitor.h"

#include <sys/resource.h>
#include <unistd.h>

#include <QEvent>
#include <QFile>
#include <QMetaEnum>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

constexpr int64_t kLateTickGap_us = 30000;
constexpr int64_t kLongEvent_us = 10000;
// A late tick whose longest event since the tick before was shorter than this was not held up by an event.
constexpr int64_t kNoCause_us = 5000;

// The UI thread's context switches so far: voluntary (it waited for something) and involuntary.
std::pair<int64_t, int64_t> Switches() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return {usage.ru_nvcsw, usage.ru_nivcsw};
}

int64_t ThreadCpuUs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return int64_t{t.tv_sec} * 1000000 + t.tv_nsec / 1000;
}

QString EventName(int type) {
    const char* name = QMetaEnum::fromType<QEvent::Type>().valueToKey(type);
    return name ? QString::fromLatin1(name) : QString::number(type);
}

}  // namespace

int64_t UiThreadInvoluntarySwitches() {
    QFile status(QStringLiteral("/proc/self/task/%1/status").arg(getpid()));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("nonvoluntary_ctxt_switches:")) return line.mid(27).trimmed().toLongLong();
    }
    return 0;
}

MonitoredApplication::MonitoredApplication(int& argc, char** argv) : QApplication(argc, argv) {
    clock_.start();
}

void MonitoredApplication::Watch(QTimer* repaint_clock) {
    costs_.clear();
    since_tick_ = {};
    last_tick_us_ = -1;
    ticks_ = ticks_late_ = max_tick_gap_us_ = events_over_10ms_ = wall_of_long_us_ = cpu_of_long_us_ = 0;
    waits_in_long_ = preempted_in_long_ = 0;
    late_causes_.clear();
    switches_before_ = UiThreadInvoluntarySwitches();
    if (!watching_ && repaint_clock) connect(repaint_clock, &QTimer::timeout, this, [this] { Tick(); });
    watching_ = true;
}

void MonitoredApplication::Tick() {
    const int64_t now_us = clock_.nsecsElapsed() / 1000;
    if (last_tick_us_ >= 0) {
        const int64_t gap_us = now_us - last_tick_us_;
        max_tick_gap_us_ = std::max(max_tick_gap_us_, gap_us);
        if (gap_us > kLateTickGap_us) {
            ++ticks_late_;
            ++late_causes_[since_tick_.us >= kNoCause_us ? since_tick_.what
                                                         : QStringLiteral("none (no event over 5 ms)")];
        }
    }
    ++ticks_;
    last_tick_us_ = now_us;
    since_tick_ = {};
}

bool MonitoredApplication::notify(QObject* receiver, QEvent* event) {
    if (!watching_ || depth_ > 0 || QThread::currentThread() != thread()) {
        ++depth_;
        const bool handled = QApplication::notify(receiver, event);
        --depth_;
        return handled;
    }
    const int type = event->type();
    const QString receiver_class = QString::fromLatin1(receiver->metaObject()->className());
    const int64_t start_us = clock_.nsecsElapsed() / 1000;
    const int64_t start_cpu_us = ThreadCpuUs();
    const auto start_switches = Switches();
    ++depth_;
    const bool handled = QApplication::notify(receiver, event);
    --depth_;
    const int64_t took_us = clock_.nsecsElapsed() / 1000 - start_us;
    Cost& cost = costs_[{receiver_class, type}];
    ++cost.count;
    cost.total_us += took_us;
    cost.max_us = std::max(cost.max_us, took_us);
    if (took_us > kLongEvent_us) {
        ++events_over_10ms_;
        // Wall time far above CPU time: the thread was preempted or waited (for the X server) inside.
        cpu_of_long_us_ += ThreadCpuUs() - start_cpu_us;
        const auto switches = Switches();
        waits_in_long_ += switches.first - start_switches.first;
        preempted_in_long_ += switches.second - start_switches.second;
        wall_of_long_us_ += took_us;
    }
    if (took_us > since_tick_.us) since_tick_ = {took_us, receiver_class + u' ' + EventName(type)};
    return handled;
}

void MonitoredApplication::Print() const {
    std::printf("\nUI thread, per event delivered (receiver, event: count, total ms, longest ms):\n");
    std::vector<std::pair<std::pair<QString, int>, Cost>> rows(costs_.begin(), costs_.end());
    std::sort(rows.begin(), rows.end(),
              [](const auto& a, const auto& b) { return a.second.max_us > b.second.max_us; });
    for (size_t i = 0; i < std::min<size_t>(rows.size(), 8); ++i) {
        const auto& [key, cost] = rows[i];
        std::printf("  %-44s %8lld %9.1f %8.1f\n",
                    (key.first + u' ' + EventName(key.second)).left(44).toUtf8().constData(),
                    static_cast<long long>(cost.count), cost.total_us / 1000.0, cost.max_us / 1000.0);
    }
    std::printf(
        "events over 10 ms: %lld (%.1f ms, of it on the CPU %.1f ms; inside them the thread waited %lld "
        "times, was preempted %lld times)\nUI thread involuntary switches: %lld\n",
        static_cast<long long>(events_over_10ms_), wall_of_long_us_ / 1000.0, cpu_of_long_us_ / 1000.0,
        static_cast<long long>(waits_in_long_), static_cast<long long>(preempted_in_long_),
        static_cast<long long>(UiThreadInvoluntarySwitches() - switches_before_));
    std::printf("repaint clock: %lld ticks, longest gap %.1f ms, gaps > 30 ms: %lld\n",
                static_cast<long long>(ticks_), max_tick_gap_us_ / 1000.0,
                static_cast<long long>(ticks_late_));
    for (const auto& [cause, count] : late_causes_)
        std::printf("  late tick after %-40s %6lld\n", cause.toUtf8().constData(),
                    static_cast<long long>(count));
}
