// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The operator's zones for one program folder: read from Geofences.geojson at start, changed by drawing,
// renaming and deleting (each change written back at once), and every vehicle position checked against
// them. A file that cannot be read is reported once and left alone; only when the operator changes the
// zones is it renamed aside ("<file>.bad-<time>") and a new file written, so it is never overwritten.
// UI thread only.
#include <QObject>
#include <QString>
#include <functional>

#include "geofence/geofence_checker.h"
#include "geofence/geofence_file.h"

class GeofenceKeeper : public QObject {
    Q_OBJECT
  public:
    static constexpr const char* kFileName = "Geofences.geojson";

    // `path` is the zones file (empty: zones live in memory only). Reads it now.
    GeofenceKeeper(const QString& path, std::function<QString(const QString&)> translate,
                   QObject* parent = nullptr);

    const QList<GeoZone>& zones() const { return checker_.zones(); }
    // What went wrong with the file at start or at the last write (translated), empty while all is well.
    const QString& problem() const { return problem_; }

    // Each returns false (and changes nothing) when the zone is refused (ZoneProblem) or the index is out
    // of range; a failed write keeps the change in memory and reports it (problemReported).
    bool Add(const GeoZone& zone);
    bool Rename(int index, const QString& name);
    bool SetLimit(int index, std::optional<double> limit_kmh);
    bool Remove(int index);

    // A device's position sentence (row = its vehicle-list row): checked when it is a valid fix.
    void Report(int row, const QByteArray& sentence);
    // A valid position, as Report takes it from the sentence.
    void ReportPosition(int row, double lat_deg, double lng_deg, double speed_kmh);
    // Logout: the rows mean nothing any more.
    void ForgetVehicles() { checker_.ForgetAll(); }

    const GeofenceChecker& checker() const { return checker_; }

  signals:
    // A crossing or speeding change of the vehicle of `row` in the zone named `zone`.
    void crossed(int row, GeofenceEvent::Kind kind, const QString& zone, double speed_kmh);
    void zonesChanged();
    void problemReported(const QString& text);

  private:
    bool Store(QList<GeoZone> zones);

    QString path_;
    std::function<QString(const QString&)> translate_;
    GeofenceChecker checker_;
    QString problem_;
    bool unread_ = false;  // the file at start could not be read
};
