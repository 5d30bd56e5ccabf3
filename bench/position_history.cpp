// SPDX-License-Identifier: GPL-3.0-or-later
// The position history at fleet scale: N vehicles reporting every 5 s through a shift of H hours, in
// simulated time against the real store and a real file. Every simulated second the reports of that
// second (a fifth of the fleet) are added and committed as one transaction, as the client's writer does
// once a second. Prints the writer thread's CPU over the shift's real-time length, the file's bytes per
// moving vehicle-hour, the time to read one vehicle-day back with its stops, and the geofence checks of
// one report cycle (geofence_load.h), each against its target.
//
// Usage: position_history [--vehicles N] [--hours H] [--still-share F] [--dir DIR]
//                         [--fence-vehicles N] [--zones N] [--fence-cycles N]
//   defaults: 10000 vehicles, 8 hours, a tenth of the fleet standing in its depot, a scratch folder;
//   geofence checks of 10000 vehicles against 200 zones over 20 report cycles.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>
#include <vector>

#include "geofence_load.h"
#include "positions/position_store.h"
#include "positions/position_track.h"

namespace {

constexpr int64_t kShiftStartS = 1767254400;  // 2026-01-01 08:00 UTC
constexpr int kReportS = 5;
constexpr double kPi = 3.14159265358979323846;

struct Driven {
    double lat = 0, lon = 0, course = 0, speed_kmh = 0;
    bool depot = false;  // stands all shift
};

// One step of kReportS: the vehicle drives on, turning a little; now and then it stops for a while.
void Drive(Driven& v, std::mt19937& random) {
    if (v.depot) return;
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    if (v.speed_kmh == 0 && unit(random) < 0.9) return;  // a stop lasts ~50 s on average
    v.speed_kmh = unit(random) < 0.01 ? 0 : std::clamp(v.speed_kmh + (unit(random) - 0.5) * 8, 5.0, 90.0);
    v.course = std::fmod(v.course + (unit(random) - 0.5) * 30 + 360, 360);
    const double metres = v.speed_kmh / 3.6 * kReportS;
    v.lat += metres * std::cos(v.course * kPi / 180) / 111320.0;
    v.lon += metres * std::sin(v.course * kPi / 180) / (111320.0 * std::cos(v.lat * kPi / 180));
}

int64_t ThreadCpuUs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

int64_t FileBytes(const QString& path) {
    int64_t bytes = 0;
    for (const char* suffix : {"", "-wal"}) bytes += QFileInfo(path + QLatin1String(suffix)).size();
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int vehicles = 10000;
    double hours = 8;
    double still_share = 0.1;
    QString folder;
    int fence_vehicles = 10000, zones = 200, fence_cycles = 20;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--vehicles")
            vehicles = std::max(1, args[i + 1].toInt());
        else if (args[i] == "--hours")
            hours = std::max(0.01, args[i + 1].toDouble());
        else if (args[i] == "--still-share")
            still_share = std::clamp(args[i + 1].toDouble(), 0.0, 1.0);
        else if (args[i] == "--dir")
            folder = args[i + 1];
        else if (args[i] == "--fence-vehicles")
            fence_vehicles = std::max(1, args[i + 1].toInt());
        else if (args[i] == "--zones")
            zones = std::max(1, args[i + 1].toInt());
        else if (args[i] == "--fence-cycles")
            fence_cycles = std::max(1, args[i + 1].toInt());
        else {
            std::fprintf(stderr,
                         "usage: position_history [--vehicles N] [--hours H] [--still-share F] [--dir DIR]\n"
                         "                        [--fence-vehicles N] [--zones N] [--fence-cycles N]\n");
            return 2;
        }
    }
    QTemporaryDir scratch(folder.isEmpty() ? QDir::tempPath() + "/position_history-XXXXXX"
                                           : folder + "/position_history-XXXXXX");
    if (!scratch.isValid()) {
        std::fprintf(stderr, "position_history: no scratch folder\n");
        return 1;
    }
    const QString path = scratch.path() + "/positions.db";
    const int64_t shift_s = int64_t(hours * 3600);

    std::mt19937 random(42);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<Driven> fleet(static_cast<size_t>(vehicles));
    QStringList ids;
    for (int i = 0; i < vehicles; ++i) {
        fleet[size_t(i)] = {48.0 + unit(random) * 0.5, 11.3 + unit(random) * 0.5, unit(random) * 360, 40,
                            unit(random) < still_share};
        if (fleet[size_t(i)].depot) fleet[size_t(i)].speed_kmh = 0;
        ids.append(QStringLiteral("V%1").arg(i, 6, 10, QLatin1Char('0')));
    }

    PositionStoreOptions options;
    options.path = path;
    options.keep_days = 0;
    options.max_bytes = 0;
    options.commit_interval_ms = 3600 * 1000;  // commits come from the simulated seconds' flushes
    int64_t reports = 0, moving_reports = 0;
    QElapsedTimer wall;
    wall.start();
    int64_t writer_cpu_us = 0, transactions = 0, stored = 0;
    {
        PositionStore store(options);
        for (int64_t s = 0; s < shift_s; ++s) {
            for (int i = int(s % kReportS); i < vehicles; i += kReportS) {
                Driven& v = fleet[size_t(i)];
                Drive(v, random);
                store.Add(*MakeFix(ids[i], kShiftStartS + s, v.lat, v.lon, v.speed_kmh, v.course));
                ++reports;
                if (!v.depot) ++moving_reports;
            }
            store.Flush();
        }
        writer_cpu_us = store.writer_cpu_us();
        transactions = store.transactions();
        stored = store.stored();
    }
    const double wall_s = wall.elapsed() / 1000.0;
    // The shift's file as it stands, its journal folded in.
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "bench");
        db.setDatabaseName(path);
        if (db.open()) QSqlQuery(db).exec("PRAGMA wal_checkpoint(TRUNCATE)");
        db.close();
    }
    QSqlDatabase::removeDatabase("bench");
    const int64_t shift_bytes = FileBytes(path);
    // Moving vehicles store every report; depot vehicles one a minute.
    const double moving_vehicle_hours = double(moving_reports) * kReportS / 3600.0;
    const int64_t moving_rows = stored - (reports - moving_reports) / (60 / kReportS);
    const double bytes_per_row = double(shift_bytes) / double(std::max<int64_t>(1, stored));
    const double kib_per_moving_hour = bytes_per_row * (3600.0 / kReportS) / 1024.0;
    const double writer_percent = 100.0 * double(writer_cpu_us) / 1e6 / double(shift_s);

    // One vehicle-day: a vehicle that drove round the clock, added to the shift's file.
    {
        PositionStore store(options);
        Driven v{48.2, 11.6, 0, 40, false};
        for (int64_t s = 0; s < 86400; s += kReportS) {
            Drive(v, random);
            store.Add(*MakeFix("DAY", kShiftStartS + s, v.lat, v.lon, v.speed_kmh, v.course));
            if (s % 3600 == 0) store.Flush();
        }
        store.Flush();
    }
    std::vector<double> replay_ms, replay_cpu_ms;
    int points = 0, stops = 0;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer timer;
        timer.start();
        const int64_t cpu_before_us = ThreadCpuUs();
        const QList<PositionFix> track = ReadTrack(path, "DAY", kShiftStartS, kShiftStartS + 86399);
        stops = int(FindStops(track).size());
        replay_ms.push_back(double(timer.nsecsElapsed()) / 1e6);
        replay_cpu_ms.push_back(double(ThreadCpuUs() - cpu_before_us) / 1e3);
        points = int(track.size());
    }
    std::sort(replay_ms.begin(), replay_ms.end());
    std::sort(replay_cpu_ms.begin(), replay_cpu_ms.end());

    std::printf("position history: %d vehicles every %d s for %.2f simulated hours (%.1f s of real time)\n",
                vehicles, kReportS, hours, wall_s);
    std::printf("reports %lld, stored %lld (moving rows ~%lld), transactions %lld\n",
                static_cast<long long>(reports), static_cast<long long>(stored),
                static_cast<long long>(moving_rows), static_cast<long long>(transactions));
    std::printf("writer CPU %.2f s = %.2f %% of a core over the shift's %lld s\n", writer_cpu_us / 1e6,
                writer_percent, static_cast<long long>(shift_s));
    std::printf(
        "file %.1f MiB, %.1f bytes per stored point, %.1f KiB per moving vehicle-hour (%.0f moving "
        "vehicle-hours)\n",
        shift_bytes / 1048576.0, bytes_per_row, kib_per_moving_hour, moving_vehicle_hours);
    std::printf("replay of one vehicle-day: %d points, %d stops, %.1f ms (median of 5; CPU %.1f ms)\n",
                points, stops, replay_ms[2], replay_cpu_ms[2]);
    const geofence_load::Figures fences = geofence_load::Run(fence_cycles, fence_vehicles, zones);
    geofence_load::Print(fences);
    const bool ok =
        writer_percent <= 5.0 && kib_per_moving_hour <= 40.0 && replay_ms[2] <= 50.0 && fences.met();
    std::printf(
        "targets: writer <= 5 %% of a core (%.2f), <= 40 KiB per moving vehicle-hour (%.1f), one "
        "vehicle-day replayed in <= 50 ms (%.1f), all geofence checks of one report cycle of %d vehicles "
        "x %d zones <= 20 ms (max %.2f ms of CPU): %s\n",
        writer_percent, kib_per_moving_hour, replay_ms[2], fences.vehicles, fences.zones, fences.max_cpu_ms,
        ok ? "met" : "NOT met");
    return 0;
}
