// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CMapDlg: the selected vehicle's position and track on a web map. The view and its page talk only
// through the page's hidden input elements (set from the members below) and two script functions,
// "refreshMap" and "centerMap". The view docks into the main window's map slot or floats on its own.
//
// UI thread only. Page calls are asynchronous and run in the order they were made. Owned by the host's dock
// parent: its child while docked, deleted with it while floating (the caller creates it with new).
#include <QByteArray>
#include <QDialog>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QUrl>

#include "map/map_view_host.h"
#include "map/map_view_settings.h"

class MapPage;
class QToolButton;
class QWebEngineView;

class CMapDlg : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kMapButtonId = 137;
    static constexpr int kRefreshMessage = 0x490;
    static constexpr int kNoVehicle = -1;
    static constexpr int kPlaybackPage = -2;
    static const QUrl& BuiltInPageUrl();

    // Initialises in this order: chooses and loads the page, makes the browser silent, creates button
    // 137, sets up the GPS correction (the offset table, or the fixed offsets read once), docks.
    CMapDlg(MapViewHost& host, MapViewSettings settings);
    ~CMapDlg() override;

    // Calls the page's script function `name` with text arguments. False when no page is loaded; a page
    // without that function, or a function that throws, is a quiet no-op.
    bool CallScript(const QString& name, const QStringList& arguments = {});

    // The main window's vehicle selection: `index` is a row of the vehicle list, or -1.
    void SelectVehicle(int index);
    // A position sentence of the device in row `index`: 1 when it is a valid position (the speed is then
    // in SpeedBar), else 0. Only the selected vehicle's positions are drawn; a latitude beyond +-90 or
    // a longitude beyond +-180 is not a valid position.
    int Position(const QByteArray& sentence, int index);

    void ToggleFloating();
    void Dock();
    void Undock();

    // The search panel's playback page: the view shows `address` and leaves vehicle selection and
    // positions alone until BackToMap.
    void ShowPlaybackPage(const QUrl& address);
    // Leaves the playback page: Index -1, status "clear", the map page loaded again.
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

    QWebEngineView* view() const { return view_; }
    QToolButton* map_button() const { return map_button_; }

  signals:
    // A top-level page finished loading (ok false: it failed).
    void PageLoaded(bool ok);

  protected:
    void customEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

  private:
    void LoadMapPage();
    void OnLoadFinished(bool ok);
    // Writes every member into the page element of the same name, and the vehicle id.
    void WriteMembersToPage();
    void SetPageElements(const QVariantMap& values);
    void SetUpGpsCorrection();
    void CreateMapButton();

    MapViewHost& host_;
    const MapViewSettings settings_;
    QWebEngineView* view_ = nullptr;
    MapPage* page_ = nullptr;
    QToolButton* map_button_ = nullptr;
    bool page_loaded_ = false;

    // The page's VehicleId element: set with the selection, kept for a page that loads later.
    QString vehicle_id_;
    bool floating_ = false;
    QRect docked_rect_;
};
