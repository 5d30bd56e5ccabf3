#pragma once
// CMapDlg: the selected vehicle's position and track on a web map. The view and its page talk only
// through the page's hidden input elements (set from the members below) and two script functions,
// "refreshMap" and "centerMap". The view docks into the main window's map slot or floats on its own.
//
// UI thread only. Page calls are asynchronous and run in the order they were made. Owned by the host's dock
// parent: its child while docked, deleted with it while floating (the caller creates it with new).
#include <QByteArray>
#include <QColor>
#include <QDialog>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QUrl>

#include "map/map_view_host.h"

class MapPage;
class QToolButton;
class QWebEngineView;

// Everything the view reads from the settings and the program's data at its initialisation.
struct MapViewSettings {
    // Replacement pages (map/mapdlg.htm in the program folder, ...), in order of preference; the first
    // that exists when a page is loaded wins over the built-in page.
    QStringList page_files;
    bool gps_offset_auto = true;  // GPS_Offset_Auto: use the offset table
    QString offset_table_file;    // offset_min.bin in the program folder
    QString gps_offset_x;         // GPS_Offset_X: fixed latitude offset, decimal text
    QString gps_offset_y;         // GPS_Offset_Y: fixed longitude offset, decimal text
    QString road_tiles;           // tile address templates; empty takes the page's default
    QString photo_tiles;
    QString road_name = QStringLiteral("Road map");  // layer names shown by the page
    QString photo_name = QStringLiteral("Satellite");
    QString grid_name = QStringLiteral("Coordinate grid");
    QString caption = QStringLiteral("Map");              // floating window caption and button tip
    QString button_image;                                 // skin folder + "map.bmp"
    QColor button_mask_color = QColor(0x10, 0x10, 0x10);  // MainBkColor
};

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
    // in speed_kmh()), else 0. Only the selected vehicle's positions are drawn; a latitude beyond +-90 or
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

    int index() const { return index_; }
    void set_index(int index) { index_ = index; }
    const QString& map_status() const { return map_status_; }
    void set_map_status(const QString& status) { map_status_ = status; }
    double speed_kmh() const { return speed_kmh_; }
    double map_lng() const { return map_lng_; }
    double map_lat() const { return map_lat_; }
    double offset_lng() const { return offset_lng_; }
    double offset_lat() const { return offset_lat_; }
    bool page_loaded() const { return page_loaded_; }

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
    // Writes every member into the page element of the same name.
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

    // Exchanged with the page elements map_lng, map_lat, offset_lng, offset_lat, map_status, SpeedBar,
    // AngleBar and Index.
    double map_lng_ = 121.4737;
    double map_lat_ = 31.2304;
    double offset_lng_ = 0.0;
    double offset_lat_ = 0.0;
    QString map_status_ = QStringLiteral("stopped");
    double speed_kmh_ = 0.0;
    double angle_deg_ = 0.0;
    int index_ = kNoVehicle;

    bool floating_ = false;
    QRect docked_rect_;
};
