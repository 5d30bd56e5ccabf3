// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CMapDlg: the selected vehicle's position and track on a web map. The view and its page talk only
// through the page's hidden input elements (set from the members below) and two script functions,
// "refreshMap" and "centerMap". The view docks into the main window's map slot or floats on its own.
//
// Beside them, a page may draw the whole fleet: when it defines the function "updateFleet" (checked with
// typeof after each load; a page without it is never called), the view passes it the vehicles that
// changed as a FleetFeed batch, at most one call per kFleetIntervalMs. The page reports clicks on its
// vehicles through the web channel object "tavrinFleet" (FleetBridge), checked before they are believed.
//
// UI thread only. Page calls are asynchronous and run in the order they were made. Owned by the host's dock
// parent: its child while docked, deleted with it while floating (the caller creates it with new).
#include <QByteArray>
#include <QDialog>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <QTimer>
#include <functional>
#include <memory>

#include "map/fleet_feed.h"
#include "map/map_view_host.h"
#include "map/map_view_settings.h"
#include "map/map_zone.h"

class FleetBridge;
class MapPage;
class QToolButton;
class QWebChannel;
class QWebEngineProfile;
class QWebEngineView;

class CMapDlg : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kMapButtonId = 137;
    static constexpr int kRefreshMessage = 0x490;
    static constexpr int kNoVehicle = -1;
    static constexpr int kPlaybackPage = -2;
    static constexpr int kFleetIntervalMs = 1000;
    // The button's place while the playback page shows: the top right corner, clear of the page's heading.
    static constexpr int kButtonMarginPx = 5;
    static const QUrl& BuiltInPageUrl();

    // Initialises in this order: chooses and loads the page, makes the browser silent, creates button
    // 137, sets up the GPS correction (the offset table, or the fixed offsets read once), docks.
    CMapDlg(MapViewHost& host, MapViewSettings settings);
    ~CMapDlg() override;

    // Calls the map page's script function `name` with text arguments. False when no map page is loaded
    // (or the playback page shows); a page without that function, or a function that throws, is a quiet
    // no-op.
    bool CallScript(const QString& name, const QStringList& arguments = {});

    // Calls the page's function `name` with `json` (JSON text, a literal to the script, so texts stay
    // data). `done` (may be empty) gets true when the page defines the function and it ran without
    // throwing; false without a map page, while the playback page shows, or on a page without it.
    void CallPageFunction(const QString& name, const QByteArray& json, std::function<void(bool)> done = {});
    // The route replay button beside button 137 (hidden until enabled; never on the playback page).
    void SetReplayEnabled(bool enabled);

    // The main window's vehicle selection: `index` is a row of the vehicle list, or -1.
    void SelectVehicle(int index);
    // A position sentence of the device in row `index`: 1 when it is a valid position (the speed is then
    // in SpeedBar), else 0. Only the selected vehicle's positions are drawn as its track; every valid
    // position goes to the fleet layer. A latitude beyond +-90 or a longitude beyond +-180 is not a valid
    // position.
    int Position(const QByteArray& sentence, int index);

    // The fleet layer's states of the vehicle in `row` (see FleetFeed).
    void SetVehicleOnline(int row, bool online) { feed_.SetOnline(row, online); }
    void SetVehicleAlarm(int row, bool alarm) { feed_.SetAlarm(row, alarm); }
    void SetShowOffline(bool show) { feed_.SetShowOffline(show); }
    const FleetFeed& fleet() const { return feed_; }
    // True while the loaded page defines "updateFleet".
    bool fleetLayerShown() const { return fleet_supported_; }

    void ToggleFloating();
    void Dock();
    void Undock();

    // The search panel's playback page: the view shows `address` in a page of its own (no web channel, a
    // profile off the record) and leaves vehicle selection and positions alone until BackToMap. The map
    // page stays aside meanwhile.
    void ShowPlaybackPage(const QUrl& address);
    // Leaves the playback page (it is closed): Index -1, status "clear", the map page loaded again.
    void BackToMap();
    // On logout: unless nothing is selected or the playback page shows, forgets the vehicle and wipes the
    // track.
    void Clear();
    // Posts the refresh message (0x490) to the view: once handled, "centerMap" runs if a vehicle is
    // selected.
    void PostRefresh();

    // The map slot of the main window; the docked view stands there.
    void SetDockedRect(const QRect& rect);
    QRect docked_rect() const { return docked_rect_; }
    bool floating() const { return floating_; }

    bool page_loaded() const { return page_loaded_; }

    // Exchanged with the page elements of the same names when a position is drawn (and when a page has
    // loaded); the main window sets Index and map_status itself on logout and when it leaves Playback.
    double map_lng = 121.4737;  // degrees, east positive
    double map_lat = 31.2304;   // degrees, north positive
    double offset_lng = 0.0;    // added by the page on road maps
    double offset_lat = 0.0;
    QString map_status = QStringLiteral("stopped");  // "stopped", "running" or "clear"
    double SpeedBar = 0.0;                           // km/h
    double AngleBar = 0.0;                           // course, degrees
    int Index = kNoVehicle;                          // row of the selected vehicle; -1 none; -2 playback page

    // The zones to draw (raw GPS frame), now and on every load of a page that draws zones (showZones);
    // a replacement page without it draws none.
    void ShowZones(const QList<MapZone>& zones);

    // The street-map correction at a place (degrees): the table's cell, or the fixed offsets. The same
    // the fleet layer and the zones are drawn with.
    MapZone::Point OffsetAt(double lat_deg, double lng_deg) const;

    QWebEngineView* view() const { return view_; }
    QToolButton* map_button() const { return map_button_; }

  signals:
    // A top-level page finished loading (ok false: it failed).
    void PageLoaded(bool ok);
    // The page's fleet layer: a vehicle clicked (select it) or double-clicked (open its channels). `row`
    // is a vehicle row the client sent.
    void vehicleClicked(int row);
    void vehicleActivated(int row);
    // A batch went to the page's fleet layer (for tests and benchmarks): how many vehicles it held.
    void fleetBatchSent(int vehicles);
    // The operator drew a zone on the page; its points are in the raw GPS frame (the street-map
    // correction taken off when it was drawn on a street map).
    void zoneDrawn(const MapZone& zone);
    // The route replay button was pressed.
    void replayRequested();

  protected:
    void customEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void reject() override;

  private:
    void LoadMapPage();
    // The view back on the map page (which is not loaded again here); the playback page, if any, closed.
    void ClosePlaybackPage();
    void OnLoadFinished(bool ok);
    // Writes every member into the page element of the same name, and the vehicle id.
    void WriteMembersToPage();
    void SetPageElements(const QVariantMap& values);
    void SetUpGpsCorrection();
    void CreateMapButton();
    void PlaceMapButton();
    void SendFleetBatch();
    void SendZones();

    MapViewHost& host_;
    const MapViewSettings settings_;
    QWebEngineView* view_ = nullptr;
    MapPage* page_ = nullptr;  // the map's own page, the only one with the web channel
    std::unique_ptr<QWebEngineProfile> playback_profile_;
    std::unique_ptr<MapPage> playback_page_;  // while the playback page shows
    QToolButton* map_button_ = nullptr;
    QToolButton* replay_button_ = nullptr;
    bool replay_enabled_ = false;
    bool page_loaded_ = false;
    FleetFeed feed_;
    FleetBridge* bridge_ = nullptr;
    QWebChannel* channel_ = nullptr;
    QTimer fleet_timer_;
    bool fleet_supported_ = false;
    QList<MapZone> zones_;  // raw GPS frame

    // The page's VehicleId element: set with the selection, kept for a page that loads later.
    QString vehicle_id_;
    bool floating_ = false;
    QRect docked_rect_;
};
