// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/position_wiring.h"

#include <QBuffer>
#include <QDateTime>
#include <QPointer>
#include <QWidget>

#include "fleet/fleet_presenter.h"
#include "map/map_dlg.h"
#include "map/replay_panel.h"
#include "positions/gpx_track.h"
#include "positions/position_history.h"
#include "positions/position_track.h"

void ConnectPositions(FleetPresenter& fleet, PositionHistory& history, CMapDlg* map, QWidget* window,
                      std::function<void(const QString&)> log) {
    PositionHistory* keeper = &history;
    QObject::connect(&fleet, &FleetPresenter::deviceListed, keeper,
                     [keeper](int row, const QString& id) { keeper->Listed(row, id); });
    QObject::connect(&fleet, &FleetPresenter::vehicleShown, keeper,
                     [keeper](int row, const QString& name, const QString& id, const QString&, bool) {
                         keeper->Listed(row, id, name);
                     });
    QObject::connect(&fleet, &FleetPresenter::positionReported, keeper,
                     [keeper](int row, const QByteArray& sentence) {
                         keeper->Received(row, sentence, QDateTime::currentSecsSinceEpoch());
                     });
    QObject::connect(keeper, &PositionHistory::problemReported, window, std::move(log));
    if (!map || history.path().isEmpty()) return;
    map->SetReplayEnabled(true);
    QPointer<CMapDlg> view(map);
    const QString path = history.path();
    ReplayPanel::Sources sources{
        [keeper, path] {
            QList<QPair<QString, QString>> vehicles;
            for (const QString& id : TrackedVehicles(path)) vehicles.append({id, keeper->LabelOf(id)});
            return vehicles;
        },
        [path](const QString& device, int64_t from_s, int64_t to_s) {
            return ReadTrack(path, device, from_s, to_s);
        },
        [view](const QString& name, const QByteArray& json, std::function<void(bool)> done) {
            if (view)
                view->CallPageFunction(name, json, std::move(done));
            else if (done)
                done(false);
        },
        [view](double lat_deg, double lng_deg) {
            const MapZone::Point offset = view ? view->OffsetAt(lat_deg, lng_deg) : MapZone::Point{};
            return RouteReplay::Offset{offset.lat_deg, offset.lng_deg};
        }};
    auto* panel = new ReplayPanel(std::move(sources), window);
    panel->setObjectName(QStringLiteral("route_replay"));
    QObject::connect(map, &CMapDlg::replayRequested, panel, [panel] {
        panel->show();
        panel->raise();
        panel->activateWindow();
    });
}

QByteArray EvidenceTrack(const QString& history_path, const std::function<QString(const QString&)>& label_of,
                         const QString& vehicle_label, int64_t from_s, int64_t to_s) {
    if (vehicle_label.isEmpty() || to_s < from_s) return {};
    const QStringList tracked = TrackedVehicles(history_path);
    QString device_id;
    for (const QString& id : tracked) {
        if (label_of && label_of(id) == vehicle_label) {
            device_id = id;
            break;
        }
    }
    if (device_id.isEmpty() && tracked.contains(vehicle_label)) device_id = vehicle_label;
    if (device_id.isEmpty()) return {};
    const QList<PositionFix> track = ReadTrack(history_path, device_id, from_s, to_s);
    if (track.isEmpty()) return {};
    QByteArray gpx;
    QBuffer buffer(&gpx);
    if (!buffer.open(QIODevice::WriteOnly) || !WriteGpx(buffer, vehicle_label, track)) return {};
    return gpx;
}
