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
//   - map: the built-in map page with its fleet layer is up (as in the client); printed are the time
//     until every positioned vehicle was drawn on it, the vehicles it holds, and in the steady phases the
//     web engine's processes' CPU time as a share of one core;
//   - find: the filter box typed into, one keystroke at a time ("d0001", then back to empty, then a
//     driver's name): the longest and the mean time of a keystroke until the tree and the list are
//     redrawn;
//   - alarms: velq-sim changes an alarm word of 5 % of the vehicles per 1 s tick ("fleet"); then the same
//     with a feed that turns one alarm word of 5 % of the vehicles on or off each second ("+feed"): alarm
//     events per second, the episodes the client holds, and the alarm history's transactions per second.
// Targets: 10,000 devices filled in <= 2 s, UI thread <= 25 % of a core, web engine <= 50 % of a core, no
// stall over 200 ms, <= 1 history transaction a second, the playback list of 10,000 in <= 100 ms, a
// keystroke in the filter box <= 50 ms.
//
// Usage: gui_fleet [--seconds S] [DEVICES...]   (default: 30 s, 1000 10000)
#include <unistd.h>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/app_client.h"
#include "app/session_controller.h"
#include "center_server.h"
#include "dialogs/app_login_dlg.h"
#include "dialogs/search_dlg.h"
#include "fleet/alarm_desk.h"
#include "fleet/alarm_store.h"
#include "fleet/dev_tree.h"
#include "fleet/device_status_list.h"
#include "fleet/fleet_finder.h"
#include "main_window_fixture.h"
#include "map/map_dlg.h"
#include "shell/app_main_dlg.h"

namespace {

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// CPU seconds (user + system) of every process below this one: the web engine's zygote, renderer and
// utility processes.
double ChildProcessesCpuSeconds() {
    std::map<long, long> parent_of;
    std::map<long, double> cpu_of;
    const long ticks_per_s = sysconf(_SC_CLK_TCK);
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const long pid = entry.toLong(&number);
        if (!number) continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QByteArray text = stat.readAll();
        // The fields after the command name, which may hold spaces, start after its closing parenthesis.
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() < 13) continue;
        parent_of[pid] = fields[1].toLong();
        cpu_of[pid] = double(fields[11].toLongLong() + fields[12].toLongLong()) / double(ticks_per_s);
    }
    const long self = getpid();
    double total = 0;
    for (const auto& [pid, cpu] : cpu_of) {
        for (long up = parent_of[pid]; up > 1; up = parent_of.count(up) ? parent_of[up] : 0) {
            if (up == self) {
                total += cpu;
                break;
            }
        }
    }
    return total;
}

// Runs a script in the map page and waits for its result (at most 10 s).
QVariant PageValue(CMapDlg* map, const QString& script) {
    bool done = false;
    QVariant value;
    map->view()->page()->runJavaScript(script, [&](const QVariant& result) {
        value = result;
        done = true;
    });
    QElapsedTimer wait;
    wait.start();
    while (!done && wait.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return value;
}

// Counts the library events the session receives (before any merging) and the alarm words among them.
class EventCounter : public QObject {
  public:
    explicit EventCounter(SessionController& session) : session_(session) {
        connect(&session.events(), &EventDispatch::statusWordChanged, this, [this](AppDevice*, int code) {
            if (code >= 8 && code <= 15) ++alarm_events;
        });
    }
    long long events() const { return (long long)session_.counts().received; }
    long long alarm_events = 0;  // status words 8..15

  private:
    SessionController& session_;
};

struct Phase {
    double web_cpu_share = 0;
    double events_per_s = 0;
    double alarm_events_per_s = 0;
    double cpu_share = 0;
    double max_stall_ms = 0;
    int alarm_episodes = 0;
    double transactions_per_s = 0;
};

struct Result {
    double fill_s = -1;
    Phase fleet;  // velq-sim's fleet alone
    Phase feed;   // the same with the alarm feed on top
    double playback_ms = -1;
    double playback_again_ms = -1;
    double map_drawn_s = -1;  // from the end of the fill until the page holds every positioned vehicle
    int map_vehicles = 0;
    double key_max_ms = -1;
    double key_mean_ms = -1;
    int keys = 0;
};

// Types into the filter box one keystroke at a time, each followed by the repaint; the longest and the
// mean keystroke in ms.
void TypeIntoFinder(CAppMainDlg& window, Result& result) {
    QLineEdit* edit = window.findChild<FleetFinder*>()->edit();
    QStringList texts;
    const QString typed = QStringLiteral("d0001");
    for (int n = 1; n <= typed.size(); ++n) texts << typed.left(n);
    for (int n = typed.size() - 1; n >= 0; --n) texts << typed.left(n);
    const QString driver = VehicleListOf(window)->Cell(VehicleListOf(window)->rowCount() / 2, 1);
    for (int n = 1; n <= std::min<int>(driver.size(), 6); ++n) texts << driver.left(n);
    texts << QString();
    double total_ms = 0;
    result.key_max_ms = 0;
    for (const QString& text : texts) {
        QElapsedTimer key;
        key.start();
        edit->setText(text);
        TreeOf(window)->viewport()->repaint();
        VehicleListOf(window)->viewport()->repaint();
        QCoreApplication::processEvents();
        const double ms = double(key.nsecsElapsed()) / 1e6;
        total_ms += ms;
        result.key_max_ms = std::max(result.key_max_ms, ms);
    }
    result.keys = int(texts.size());
    result.key_mean_ms = total_ms / double(texts.size());
}

// UI-thread CPU milliseconds from showing the Playback panel until its list is complete; -1 on time-out.
double PlaybackListMs(CAppMainDlg& window, uint32_t devices) {
    window.ShowPanel(CAppMainDlg::kDeviceList);
    bool listed = false;
    QObject::connect(
        SearchPanelOf(window), &CSearchDlg::vehiclesListed, SearchPanelOf(window), [&] { listed = true; },
        Qt::SingleShotConnection);
    const double cpu_before = ThreadCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    window.ShowPanel(CAppMainDlg::kPlayback);
    while (!listed || SearchPanelOf(window)->vehicleCount() < int(devices)) {
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
        MainWindowFixture fixture(client);
        CAppMainDlg& window = fixture.window();
        EventCounter counter(fixture.session());
        window.show();
        CAppLoginDlg* login = LoginDialogOf(window);
        login->addressEdit()->setText(QStringLiteral("127.0.0.1"));
        login->tcpPortEdit()->setText(QString::number(server.tcp_port()));
        login->udpPortEdit()->setText(QString::number(server.udp_port()));

        QElapsedTimer fill;
        fill.start();
        login->OnOK();
        while (TreeOf(window)->EntryCount() < int(devices) ||
               VehicleListOf(window)->rowCount() < int(devices)) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            if (fill.elapsed() > 60000) {
                std::fprintf(stderr, "gui_fleet: %u devices not listed within 60 s (%d shown)\n", devices,
                             TreeOf(window)->EntryCount());
                server.Stop();
                return result;
            }
        }
        result.fill_s = double(fill.nsecsElapsed()) / 1e9;
        QCoreApplication::processEvents();  // the paint after the fill

        // The map page draws the fleet in batches of FleetFeed::kMaxBatch a second.
        CMapDlg* map = MapViewOf(window);
        QElapsedTimer drawn;
        drawn.start();
        while (drawn.elapsed() < 60000 && (!map->fleetLayerShown() || map->fleet().pending() > 0))
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        while (drawn.elapsed() < 60000 &&
               PageValue(map, QStringLiteral("fleetSize()")).toInt() < map->fleet().size())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
        result.map_drawn_s = double(drawn.nsecsElapsed()) / 1e9;
        result.map_vehicles = PageValue(map, QStringLiteral("fleetSize()")).toInt();

        // The library reports an alarm word only when it changes between two non-zero values, so the
        // simulator's 5 % of changes reach the list as fewer episodes. The feed adds what a fleet whose
        // words also go back to 0 would give: each second, one alarm word of 5 % of the vehicles turns
        // on or off, straight into the alarm desk on the UI thread.
        std::vector<QString> ids(devices), labels(devices);
        for (uint32_t row = 0; row < devices; ++row) {
            char id[64] = {};
            VelqDev_GetDevInfo(TreeOf(window)->Entry(int(row))->device, VELQ_DEV_ID, id, sizeof(id));
            ids[row] = QString::fromUtf8(id);
            labels[row] = TreeOf(window)->Entry(int(row))->item->text(0);
        }
        std::vector<uint8_t> active(size_t(devices) * 8, 0);
        std::mt19937 random(7);
        QTimer feed;
        feed.setInterval(1000);
        QObject::connect(&feed, &QTimer::timeout, [&] {
            const int64_t now = QDateTime::currentSecsSinceEpoch();
            for (uint32_t n = 0; n < devices / 20; ++n) {
                const uint32_t row = random() % devices;
                const int word = 8 + int(random() % 8);
                uint8_t& on = active[size_t(row) * 8 + size_t(word - 8)];
                on = !on;
                window.alarms()->OnStatusWord(int(row), ids[row], labels[row], word, on != 0, now);
            }
        });

        const auto measure = [&](bool with_feed) {
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
            const long long events_before = counter.events();
            const long long alarm_events_before = counter.alarm_events;
            const int64_t transactions_before = window.alarms()->store()->transactions();
            const double cpu_before = ThreadCpuSeconds();
            const double web_cpu_before = ChildProcessesCpuSeconds();
            QElapsedTimer wall;
            wall.start();
            since_tick.start();
            tick.start();
            if (with_feed) feed.start();
            QEventLoop loop;
            QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
            loop.exec();
            tick.stop();
            feed.stop();
            const double wall_s = double(wall.nsecsElapsed()) / 1e9;
            phase.cpu_share = (ThreadCpuSeconds() - cpu_before) / wall_s;
            phase.web_cpu_share = (ChildProcessesCpuSeconds() - web_cpu_before) / wall_s;
            phase.events_per_s = double(counter.events() - events_before) / wall_s;
            phase.alarm_events_per_s = double(counter.alarm_events - alarm_events_before) / wall_s;
            phase.max_stall_ms = max_late_ms;
            phase.alarm_episodes = window.alarms()->book().size();
            phase.transactions_per_s =
                double(window.alarms()->store()->transactions() - transactions_before) / wall_s;
            return phase;
        };
        result.fleet = measure(false);
        result.feed = measure(true);
        TypeIntoFinder(window, result);
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

    std::printf("%-8s %-6s %8s %10s %10s %12s %12s %12s %8s %8s\n", "devices", "load", "fill_s", "events/s",
                "alarm_ev/s", "ui_cpu_%core", "web_cpu_%core", "max_stall_ms", "alarms", "db_tx/s");
    bool ok = true;
    for (const uint32_t devices : fleets) {
        const Result r = RunFleet(devices, seconds);
        if (r.fill_s < 0) {
            ok = false;
            continue;
        }
        const std::pair<const char*, const Phase*> phases[] = {{"fleet", &r.fleet}, {"+feed", &r.feed}};
        for (const auto& [name, p] : phases)
            std::printf("%-8u %-6s %8.3f %10.0f %10.0f %12.1f %12.1f %12.1f %8d %8.2f\n", devices, name,
                        r.fill_s, p->events_per_s, p->alarm_events_per_s, 100.0 * p->cpu_share,
                        100.0 * p->web_cpu_share, p->max_stall_ms, p->alarm_episodes, p->transactions_per_s);
        std::printf("%-8u map: every vehicle drawn %.1f s after the fill, %d on the page\n", devices,
                    r.map_drawn_s, r.map_vehicles);
        std::printf("%-8u find: %d keystrokes, longest %.1f ms, mean %.1f ms\n", devices, r.keys,
                    r.key_max_ms, r.key_mean_ms);
        std::printf("%-8u playback list: first %.1f ms, again %.1f ms\n", devices, r.playback_ms,
                    r.playback_again_ms);
        std::fflush(stdout);
    }
    std::printf(
        "targets: 10000 devices filled in <= 2 s; UI thread <= 25 %% of a core; web engine <= 50 %% of a "
        "core; stalls <= 200 ms; <= 1 history transaction a second; playback list of 10000 <= 100 ms; "
        "keystroke <= 50 ms\n");
    return ok ? 0 : 1;
}
