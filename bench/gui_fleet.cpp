// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop client's main window with a large fleet: velq-sim's center server (in this process, on its
// own threads) serves N generated vehicles of 4 channels; the main window (offscreen) logs in through its
// login dialog. Printed per fleet size:
//   - fill: wall time from pressing Login to a tree and a vehicle list holding every vehicle;
//   - steady state over the following seconds of 5-second status refreshes: library events handled per
//     second, the UI thread's CPU time as a share of one core, and its longest stall, measured as the
//     largest lateness of a 10 ms timer;
//   - playback list: the UI thread's CPU time from choosing the Playback panel until its vehicle list
//     holds every vehicle (the first listing, then a second one of the same list).
//   - alarms: velq-sim changes an alarm word of 5 % of the vehicles per 1 s tick (an active word clears
//     about every other change), and the client's alarm desk follows the words it reads from the library:
//     alarm events per second, the episodes the client holds and how many of them closed, and the alarm
//     history's transactions per second.
// Targets: 10,000 devices filled in <= 2 s, UI thread <= 25 % of a core, no stall over 200 ms, <= 1
// history transaction a second, the playback list of 10,000 in <= 100 ms.
//
// Usage: gui_fleet [--seconds S] [DEVICES...]   (default: 30 s, 1000 10000)
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "app/app_client.h"
#include "app/library_event.h"
#include "center_server.h"
#include "dialogs/app_login_dlg.h"
#include "dialogs/search_dlg.h"
#include "fleet/alarm_desk.h"
#include "fleet/alarm_store.h"
#include "fleet/dev_tree.h"
#include "fleet/device_status_list.h"
#include "shell/app_main_dlg.h"

namespace {

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// Counts the library events the main window receives.
class EventCounter : public QObject {
  public:
    long long events = 0;
    long long alarm_events = 0;  // status words 8..15
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != LibraryEvent::TypeId()) return false;
        ++events;
        const uintptr_t code = static_cast<LibraryEvent*>(event)->code();
        if (code >= VELQ_EV_STATUS_FIRST + 8 && code <= VELQ_EV_STATUS_LAST) ++alarm_events;
        return false;
    }
};

struct Phase {
    double events_per_s = 0;
    double alarm_events_per_s = 0;
    double cpu_share = 0;
    double max_stall_ms = 0;
    int alarm_episodes = 0;
    int closed = 0;
    double transactions_per_s = 0;
};

struct Result {
    double fill_s = -1;
    Phase fleet;
    double playback_ms = -1;
    double playback_again_ms = -1;
};

// UI-thread CPU milliseconds from showing the Playback panel until its list is complete; -1 on time-out.
double PlaybackListMs(CAppMainDlg& window, uint32_t devices) {
    window.ShowPanel(CAppMainDlg::kDeviceList);
    bool listed = false;
    QObject::connect(
        window.searchPanel(), &CSearchDlg::vehiclesListed, window.searchPanel(), [&] { listed = true; },
        Qt::SingleShotConnection);
    const double cpu_before = ThreadCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    window.ShowPanel(CAppMainDlg::kPlayback);
    while (!listed || window.searchPanel()->vehicleCount() < int(devices)) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (wall.elapsed() > 60000) return -1;
    }
    return (ThreadCpuSeconds() - cpu_before) * 1000.0;
}

Result RunFleet(uint32_t devices, int seconds) {
    Result result;
    velq_sim::CenterConfig config;
    config.tcp_port = 0;
    config.udp_port = 0;
    config.log = false;
    config.tick_ms = 1000;
    config.alarm_chance = 0.05;
    velq_sim::CenterServer server(std::move(config), velq_sim::Fleet::Generated(devices));
    std::string error;
    if (!server.Start(&error)) {
        std::fprintf(stderr, "gui_fleet: velq-sim center did not start: %s\n", error.c_str());
        return result;
    }
    QTemporaryDir home;
    CAppClient client(AppFolders::From(home.path(), home.path(), QString(), QString()));
    client.InitInstance();
    {
        CAppMainDlg window;
        EventCounter counter;
        window.installEventFilter(&counter);
        window.show();
        CAppLoginDlg* login = window.loginDialog();
        login->addressEdit()->setText(QStringLiteral("127.0.0.1"));
        login->tcpPortEdit()->setText(QString::number(server.tcp_port()));
        login->udpPortEdit()->setText(QString::number(server.udp_port()));

        QElapsedTimer fill;
        fill.start();
        login->OnOK();
        while (window.tree()->EntryCount() < int(devices) ||
               window.vehicleList()->rowCount() < int(devices)) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            if (fill.elapsed() > 60000) {
                std::fprintf(stderr, "gui_fleet: %u devices not listed within 60 s (%d shown)\n", devices,
                             window.tree()->EntryCount());
                server.Stop();
                return result;
            }
        }
        result.fill_s = double(fill.nsecsElapsed()) / 1e9;
        QCoreApplication::processEvents();  // the paint after the fill

        const auto measure = [&] {
            Phase phase;
            // The 10 ms timer's lateness is the UI thread's stall.
            QElapsedTimer since_tick;
            double max_late_ms = 0;
            QTimer tick;
            tick.setTimerType(Qt::PreciseTimer);
            tick.setInterval(10);
            QObject::connect(&tick, &QTimer::timeout, [&] {
                const double late_ms = double(since_tick.nsecsElapsed()) / 1e6 - 10.0;
                if (late_ms > max_late_ms) max_late_ms = late_ms;
                since_tick.restart();
            });
            const long long events_before = counter.events;
            const long long alarm_events_before = counter.alarm_events;
            const int64_t transactions_before = window.alarms()->store()->transactions();
            const double cpu_before = ThreadCpuSeconds();
            QElapsedTimer wall;
            wall.start();
            since_tick.start();
            tick.start();
            QEventLoop loop;
            QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
            loop.exec();
            tick.stop();
            const double wall_s = double(wall.nsecsElapsed()) / 1e9;
            phase.cpu_share = (ThreadCpuSeconds() - cpu_before) / wall_s;
            phase.events_per_s = double(counter.events - events_before) / wall_s;
            phase.alarm_events_per_s = double(counter.alarm_events - alarm_events_before) / wall_s;
            phase.max_stall_ms = max_late_ms;
            phase.alarm_episodes = window.alarms()->book().size();
            for (int i = 0; i < phase.alarm_episodes; ++i)
                phase.closed += !window.alarms()->book().at(i).active();
            phase.transactions_per_s =
                double(window.alarms()->store()->transactions() - transactions_before) / wall_s;
            return phase;
        };
        result.fleet = measure();
        result.playback_ms = PlaybackListMs(window, devices);
        result.playback_again_ms = PlaybackListMs(window, devices);
        window.close();
    }
    server.Stop();
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("CORVEL_SOUND_OUT", "null");
    qputenv("CORVEL_SOUND_IN", "null");
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    int seconds = 30;
    std::vector<uint32_t> fleets;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::max(1, std::atoi(argv[++i]));
        } else {
            const long n = std::atol(argv[i]);
            if (n <= 0) {
                std::fprintf(stderr, "usage: gui_fleet [--seconds S] [DEVICES...]\n");
                return 2;
            }
            fleets.push_back(uint32_t(n));
        }
    }
    if (fleets.empty()) fleets = {1000, 10000};

    std::printf("%-8s %8s %10s %10s %12s %12s %8s %8s %8s\n", "devices", "fill_s", "events/s", "alarm_ev/s",
                "ui_cpu_%core", "max_stall_ms", "alarms", "closed", "db_tx/s");
    bool ok = true;
    for (const uint32_t devices : fleets) {
        const Result r = RunFleet(devices, seconds);
        if (r.fill_s < 0) {
            ok = false;
            continue;
        }
        const Phase& p = r.fleet;
        std::printf("%-8u %8.3f %10.0f %10.0f %12.1f %12.1f %8d %8d %8.2f\n", devices, r.fill_s,
                    p.events_per_s, p.alarm_events_per_s, 100.0 * p.cpu_share, p.max_stall_ms,
                    p.alarm_episodes, p.closed, p.transactions_per_s);
        std::printf("%-8u playback list: first %.1f ms, again %.1f ms\n", devices, r.playback_ms,
                    r.playback_again_ms);
        std::fflush(stdout);
    }
    std::printf(
        "targets: 10000 devices filled in <= 2 s; UI thread <= 25 %% of a core; stalls <= 200 ms; "
        "<= 1 history transaction a second; playback list of 10000 <= 100 ms\n");
    return ok ? 0 : 1;
}
