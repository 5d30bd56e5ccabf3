// SPDX-License-Identifier: GPL-3.0-or-later
#include "positions/position_track.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <atomic>
#include <functional>

namespace {

constexpr int kReaderBusyTimeoutMs = 500;

// Runs `read` on a read-only connection of its own to `path`; the connection is gone on return.
void WithReader(const QString& path, const std::function<void(QSqlDatabase&)>& read) {
    if (!QFile::exists(path)) return;
    static std::atomic<int> counter{0};
    const QString name = QStringLiteral("positions_reader_%1").arg(counter.fetch_add(1));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(
            QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=%1").arg(kReaderBusyTimeoutMs));
        if (db.open()) read(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

}  // namespace

QList<PositionFix> ReadTrack(const QString& path, const QString& device_id, int64_t from_s, int64_t to_s,
                             int limit) {
    QList<PositionFix> track;
    WithReader(path, [&](QSqlDatabase& db) {
        QSqlQuery select(db);
        select.setForwardOnly(true);
        select.prepare(QStringLiteral(
            "SELECT t_s, lat_udeg, lon_udeg, speed_dkmh, course_deg FROM position WHERE vehicle = (SELECT "
            "number FROM vehicle WHERE device_id = ?) AND t_s BETWEEN ? AND ? ORDER BY t_s LIMIT ?"));
        select.addBindValue(device_id);
        select.addBindValue(qlonglong(from_s));
        select.addBindValue(qlonglong(to_s));
        select.addBindValue(qMax(0, limit));
        if (!select.exec()) return;
        PositionFix fix;
        fix.device_id = device_id;
        while (select.next()) {
            fix.time_s = select.value(0).toLongLong();
            fix.lat_udeg = select.value(1).toInt();
            fix.lon_udeg = select.value(2).toInt();
            fix.speed_dkmh = select.value(3).toInt();
            fix.course_deg = select.value(4).toInt();
            track.append(fix);
        }
    });
    return track;
}

QStringList TrackedVehicles(const QString& path) {
    QStringList ids;
    WithReader(path, [&](QSqlDatabase& db) {
        QSqlQuery select(db);
        select.setForwardOnly(true);
        if (!select.exec(QStringLiteral("SELECT device_id FROM vehicle ORDER BY device_id"))) return;
        while (select.next()) ids.append(select.value(0).toString());
    });
    return ids;
}

QList<PositionStop> FindStops(const QList<PositionFix>& track, int64_t min_s) {
    QList<PositionStop> stops;
    int first_still = -1;
    const auto close_run = [&](int64_t end_s) {
        if (first_still < 0) return;
        const PositionFix& start = track[first_still];
        if (end_s - start.time_s >= min_s)
            stops.append({start.time_s, end_s, start.lat_udeg, start.lon_udeg, first_still});
        first_still = -1;
    };
    for (int i = 0; i < track.size(); ++i) {
        if (track[i].still()) {
            if (first_still < 0) first_still = i;
        } else {
            close_run(track[i].time_s);
        }
    }
    if (first_still >= 0) close_run(track.back().time_s);
    return stops;
}
