// SPDX-License-Identifier: GPL-3.0-or-later
#include "positions/position_track.h"

#include <sqlite3.h>

#include <QFile>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QVariant>
#include <atomic>
#include <functional>
#include <memory>

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
        // A vehicle-day is some 17,000 rows: read through SQLite's own statement, not a QVariant per value
        // (which took most of the time of a replay).
        const QVariant handle = db.driver()->handle();
        if (qstrcmp(handle.typeName(), "sqlite3*") != 0) return;
        sqlite3* connection = *static_cast<sqlite3* const*>(handle.data());
        sqlite3_stmt* raw = nullptr;
        const char sql[] =
            "SELECT t_s, lat_udeg, lon_udeg, speed_dkmh, course_deg FROM position WHERE vehicle = (SELECT "
            "number FROM vehicle WHERE device_id = ?) AND t_s BETWEEN ? AND ? ORDER BY t_s LIMIT ?";
        if (!connection || sqlite3_prepare_v2(connection, sql, -1, &raw, nullptr) != SQLITE_OK) return;
        const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(raw, sqlite3_finalize);
        const QByteArray id = device_id.toUtf8();
        sqlite3_bind_text(raw, 1, id.constData(), int(id.size()), SQLITE_STATIC);
        sqlite3_bind_int64(raw, 2, from_s);
        sqlite3_bind_int64(raw, 3, to_s);
        sqlite3_bind_int(raw, 4, qMax(0, limit));
        PositionFix fix;
        fix.device_id = device_id;
        while (sqlite3_step(raw) == SQLITE_ROW) {
            fix.time_s = sqlite3_column_int64(raw, 0);
            fix.lat_udeg = sqlite3_column_int(raw, 1);
            fix.lon_udeg = sqlite3_column_int(raw, 2);
            fix.speed_dkmh = sqlite3_column_int(raw, 3);
            fix.course_deg = sqlite3_column_int(raw, 4);
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
