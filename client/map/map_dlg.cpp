// SPDX-License-Identifier: GPL-3.0-or-later
#include "map/map_dlg.h"

#include <cmath>

#include <QBitmap>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPixmap>
#include <QRegularExpression>
#include <QScreen>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWebChannel>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>

#include "app/app_profile.h"
#include "corvel/corvel.h"
#include "map/fleet_bridge.h"
#include "map/map_page.h"
#include "map/offset_table.h"

namespace {

const QEvent::Type kRefreshEventType = QEvent::Type(QEvent::User + CMapDlg::kRefreshMessage);

// A JavaScript literal of a value: JSON text is valid JavaScript, so texts from the server can never close
// the literal or become code.
QString ScriptLiteral(const QJsonValue& value) {
    const QJsonArray wrapper{value};
    const QString text = QString::fromUtf8(QJsonDocument(wrapper).toJson(QJsonDocument::Compact));
    return text.mid(1, text.size() - 2);
}

// The leading decimal fraction of a text, as the runtime's text-to-number conversion reads it, in the C
// locale; empty or no number gives 0.
double LeadingDecimal(const QString& text) {
    static const QRegularExpression number(QStringLiteral(R"(^\s*([+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?))"));
    const QRegularExpressionMatch match = number.match(text);
    if (!match.hasMatch()) return 0.0;
    const double value = match.captured(1).toDouble();
    return std::isfinite(value) ? value : 0.0;
}

QString DecimalText(double value) {
    return QString::number(value, 'g', 15);
}

}  // namespace

const QUrl& CMapDlg::BuiltInPageUrl() {
    static const QUrl url(QStringLiteral("qrc:/map/mapdlg.htm"));
    return url;
}

CMapDlg::CMapDlg(MapViewHost& host, MapViewSettings settings)
    : QDialog(host.MapDockParent()), host_(host), settings_(std::move(settings)) {
    setWindowTitle(settings_.caption);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    setAutoFillBackground(true);
    QPalette border = palette();
    border.setColor(QPalette::Window, QColor(0x5a, 0x5a, 0x5a));
    setPalette(border);

    PrepareWebEngine();
    view_ = new QWebEngineView(this);
    // Not the view's child: the view deletes a page of its own when it is given another one.
    page_ = new MapPage(this);
    view_->setPage(page_);
    view_->setContextMenuPolicy(Qt::NoContextMenu);
    view_->setAccessibleName(AppProfile::Translate(QStringLiteral("Map")));
    layout->addWidget(view_);

    // The built-in page reads its tile templates and layer names from this object, made before any of the
    // page's scripts run.
    QJsonObject page_settings{{QStringLiteral("roadTiles"), settings_.road_tiles},
                              {QStringLiteral("photoTiles"), settings_.photo_tiles},
                              {QStringLiteral("roadName"), settings_.road_name},
                              {QStringLiteral("photoName"), settings_.photo_name},
                              {QStringLiteral("gridName"), settings_.grid_name},
                              {QStringLiteral("followName"), settings_.follow_name},
                              {QStringLiteral("geofenceTitles"),
                               QJsonObject{{QStringLiteral("circle"), settings_.zone_circle_tip},
                                           {QStringLiteral("polygon"), settings_.zone_polygon_tip},
                                           {QStringLiteral("finish"), settings_.zone_finish_tip}}},
                              {QStringLiteral("speedUnit"), settings_.speed_unit}};
    QWebEngineScript settings_script;
    settings_script.setName(QStringLiteral("tavrin-map-settings"));
    settings_script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    settings_script.setWorldId(QWebEngineScript::MainWorld);
    settings_script.setRunsOnSubFrames(false);
    settings_script.setSourceCode(
        QStringLiteral("if (location.protocol === 'qrc:' || location.protocol === 'file:') "
                       "window.tavrinMapSettings = %1;")
            .arg(ScriptLiteral(page_settings)));
    page_->scripts().insert(settings_script);

    connect(page_, &QWebEnginePage::loadStarted, this, [this] {
        fleet_supported_ = false;
        if (Index != kPlaybackPage) page_loaded_ = false;
    });
    // The channel is set on the map's own page alone; the playback page gets a page of its own without it.
    QList<QUrl> map_pages{BuiltInPageUrl()};
    for (const QString& file : settings_.page_files)
        map_pages.append(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()));
    bridge_ = new FleetBridge(
        feed_, [this] { return page_->url(); }, std::move(map_pages), this);
    connect(bridge_, &FleetBridge::selected, this, &CMapDlg::vehicleClicked);
    connect(bridge_, &FleetBridge::opened, this, &CMapDlg::vehicleActivated);
    connect(bridge_, &FleetBridge::zoneDrawn, this, [this](MapZone zone) {
        if (!zone.on_photo_map) {
            // Drawn on the street map's frame: the correction at each point comes off.
            for (MapZone::Point& p : zone.points) {
                const MapZone::Point offset = OffsetAt(p.lat_deg, p.lng_deg);
                p.lat_deg -= offset.lat_deg;
                p.lng_deg -= offset.lng_deg;
            }
        }
        emit zoneDrawn(zone);
    });
    channel_ = new QWebChannel(this);
    channel_->registerObject(QStringLiteral("tavrinFleet"), bridge_);
    page_->setWebChannel(channel_);
    fleet_timer_.setInterval(kFleetIntervalMs);
    connect(&fleet_timer_, &QTimer::timeout, this, &CMapDlg::SendFleetBatch);
    fleet_timer_.start();
    connect(page_, &QWebEnginePage::loadFinished, this, &CMapDlg::OnLoadFinished);

    // A floating view has no parent; it goes with the window it docks into, and never keeps the program
    // running on its own.
    setAttribute(Qt::WA_QuitOnClose, false);
    if (QWidget* dock_parent = host_.MapDockParent()) {
        connect(dock_parent, &QObject::destroyed, this, [this] {
            if (floating_) delete this;
        });
    }

    LoadMapPage();
    CreateMapButton();
    SetUpGpsCorrection();
    Dock();
}

CMapDlg::~CMapDlg() {
    // The playback page goes before its profile.
    ClosePlaybackPage();
    playback_profile_.reset();
}

void CMapDlg::LoadMapPage() {
    page_loaded_ = false;
    for (const QString& file : settings_.page_files) {
        if (QFileInfo(file).isFile()) {
            page_->load(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()));
            return;
        }
    }
    page_->load(BuiltInPageUrl());
}

void CMapDlg::OnLoadFinished(bool ok) {
    // A load of the map page that ends while the playback page shows is not what the view shows.
    if (Index == kPlaybackPage) return;
    page_loaded_ = ok;
    // Values set while no page was there wait in the members; the map page takes them now.
    if (ok) {
        WriteMembersToPage();
        // The fleet goes only to a page that draws it; a page knows nothing of it after a load. (A page
        // going away answers pending calls with an empty value: then `this` is not touched.)
        page_->runJavaScript(QStringLiteral("typeof window.updateFleet === 'function'"),
                             [this](const QVariant& defined) {
                                 if (!defined.toBool() || !page_loaded_ || Index == kPlaybackPage) return;
                                 fleet_supported_ = true;
                                 feed_.ResendAll();
                             });
        SendZones();
    }
    PlaceMapButton();
    emit PageLoaded(ok);
}

void CMapDlg::SendFleetBatch() {
    if (!page_loaded_ || !fleet_supported_ || Index == kPlaybackPage || !feed_.HasChanges()) return;
    int vehicles = 0;
    const QByteArray batch = feed_.TakeBatch(FleetFeed::kMaxBatch, &vehicles);
    // The batch is JSON, and so a JavaScript literal: vehicle ids from the server stay data.
    page_->runJavaScript(QStringLiteral("(function (batch) {"
                                        " if (typeof window.updateFleet !== 'function') return false;"
                                        " try { window.updateFleet(batch); } catch (e) {"
                                        " console.error(String(e)); return false; }"
                                        " return true;"
                                        "})(%1);")
                             .arg(QString::fromUtf8(batch)));
    emit fleetBatchSent(vehicles);
}

void CMapDlg::CallPageFunction(const QString& name, const QByteArray& json, std::function<void(bool)> done) {
    if (!page_loaded_ || Index == kPlaybackPage) {
        if (done) done(false);
        return;
    }
    const QString script =
        QStringLiteral(
            "(function (name, arg) {"
            " if (typeof window[name] !== 'function') return false;"
            " try { window[name](arg); } catch (e) { console.error(String(e)); return false; }"
            " return true;"
            "})(%1, %2);")
            .arg(ScriptLiteral(name), QString::fromUtf8(json));
    // A page going away answers with an empty value: false.
    page_->runJavaScript(script, [done = std::move(done)](const QVariant& ran) {
        if (done) done(ran.toBool());
    });
}

void CMapDlg::SetReplayEnabled(bool enabled) {
    replay_enabled_ = enabled;
    if (!replay_button_) {
        replay_button_ = new QToolButton(this);
        replay_button_->setObjectName(QStringLiteral("replay_button"));
        replay_button_->setIcon(style()->standardIcon(QStyle::SP_MediaSeekBackward));
        replay_button_->setIconSize(QSize(25, 19));
        replay_button_->setToolTip(AppProfile::Translate(QStringLiteral("Route Replay")));
        replay_button_->setAccessibleName(replay_button_->toolTip());
        connect(replay_button_, &QToolButton::clicked, this, &CMapDlg::replayRequested);
    }
    PlaceMapButton();
}

void CMapDlg::CreateMapButton() {
    map_button_ = new QToolButton(this);
    map_button_->setObjectName(QStringLiteral("map_button_137"));
    map_button_->setProperty("controlId", kMapButtonId);
    PlaceMapButton();
    map_button_->setToolTip(settings_.caption);
    // The caption may be empty in a skin: the button is still named.
    map_button_->setAccessibleName(settings_.caption.isEmpty() ? AppProfile::Translate(QStringLiteral("Map"))
                                                               : settings_.caption);
    map_button_->setAutoRaise(false);
    QPixmap image(settings_.button_image);
    if (!image.isNull()) {
        image.setMask(image.createMaskFromColor(settings_.button_mask_color));
        map_button_->setIcon(image);
    } else {
        // Without the skin's image the button still says what it does.
        map_button_->setIcon(style()->standardIcon(QStyle::SP_TitleBarNormalButton));
    }
    map_button_->setIconSize(QSize(25, 19));
    connect(map_button_, &QToolButton::clicked, this, &CMapDlg::ToggleFloating);
    map_button_->raise();
}

void CMapDlg::PlaceMapButton() {
    if (!map_button_) return;
    // On the map the button stands where the layout puts it, beside the zoom buttons; the playback page
    // has its heading there, so the button moves to the top right corner while that page shows.
    QRect place = QRect(QPoint(65, 5), QPoint(96, 30)).adjusted(0, 0, -1, -1);
    if (Index == kPlaybackPage) place.moveTopRight(QPoint(width() - 1 - kButtonMarginPx, kButtonMarginPx));
    map_button_->setGeometry(place);
    if (replay_button_) {
        replay_button_->setGeometry(place.translated(place.width() + 4, 0));
        replay_button_->setVisible(replay_enabled_ && Index != kPlaybackPage);
        replay_button_->raise();
    }
}

void CMapDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    PlaceMapButton();
}

MapZone::Point CMapDlg::OffsetAt(double lat_deg, double lng_deg) const {
    if (!settings_.gps_offset_auto) return {offset_lat, offset_lng};
    const std::optional<OffsetCell> cell = FindOffsetCell(lng_deg, lat_deg);
    return cell ? MapZone::Point{cell->latitude_offset, cell->longitude_offset} : MapZone::Point{};
}

void CMapDlg::ShowZones(const QList<MapZone>& zones) {
    zones_ = zones;
    SendZones();
}

void CMapDlg::SendZones() {
    if (!page_loaded_ || Index == kPlaybackPage) return;
    QList<MapZone::Shown> shown;
    for (const MapZone& zone : zones_) {
        // One correction per zone, that of its first point: the table's cells are far larger than a zone.
        const MapZone::Point offset = zone.points.isEmpty()
                                          ? MapZone::Point{}
                                          : OffsetAt(zone.points[0].lat_deg, zone.points[0].lng_deg);
        shown.append({&zone, offset.lat_deg, offset.lng_deg});
    }
    // JSON is a JavaScript literal: the names stay data.
    page_->runJavaScript(QStringLiteral("(function (zones) {"
                                        " if (typeof window.showZones !== 'function') return false;"
                                        " try { window.showZones(zones); } catch (e) {"
                                        " console.error(String(e)); return false; }"
                                        " return true;"
                                        "})(%1);")
                             .arg(QString::fromUtf8(MapZone::PageList(shown))));
}

void CMapDlg::SetUpGpsCorrection() {
    if (settings_.gps_offset_auto) {
        LoadOffsetTable(settings_.offset_table_file);
        return;
    }
    offset_lat = LeadingDecimal(settings_.gps_offset_x);
    offset_lng = LeadingDecimal(settings_.gps_offset_y);
}

bool CMapDlg::CallScript(const QString& name, const QStringList& arguments) {
    if (!page_loaded_ || Index == kPlaybackPage) return false;
    const QString script =
        QStringLiteral(
            "(function (name, args) {"
            " var f = window[name];"
            " if (typeof f !== 'function') return false;"
            " try { f.apply(window, args); } catch (e) { console.error(String(e)); return false; }"
            " return true;"
            "})(%1, %2);")
            .arg(ScriptLiteral(name), ScriptLiteral(QJsonArray::fromStringList(arguments)));
    page_->runJavaScript(script);
    return true;
}

void CMapDlg::SetPageElements(const QVariantMap& values) {
    if (!page_loaded_ || Index == kPlaybackPage) return;
    page_->runJavaScript(QStringLiteral("(function (values) {"
                                        " for (var id in values) {"
                                        "  var element = document.getElementById(id);"
                                        "  if (element) element.value = values[id];"
                                        " }"
                                        "})(%1);")
                             .arg(ScriptLiteral(QJsonObject::fromVariantMap(values))));
}

void CMapDlg::WriteMembersToPage() {
    SetPageElements({{QStringLiteral("map_lng"), DecimalText(map_lng)},
                     {QStringLiteral("map_lat"), DecimalText(map_lat)},
                     {QStringLiteral("offset_lng"), DecimalText(offset_lng)},
                     {QStringLiteral("offset_lat"), DecimalText(offset_lat)},
                     {QStringLiteral("map_status"), map_status},
                     {QStringLiteral("SpeedBar"), DecimalText(SpeedBar)},
                     {QStringLiteral("AngleBar"), DecimalText(AngleBar)},
                     {QStringLiteral("Index"), QString::number(Index)},
                     {QStringLiteral("VehicleId"), vehicle_id_}});
}

void CMapDlg::SelectVehicle(int index) {
    if (index == Index || Index == kPlaybackPage) return;
    Index = index;
    if (index != kNoVehicle) {
        vehicle_id_ = host_.VehicleIdAtRow(index);
        SetPageElements({{QStringLiteral("VehicleId"), vehicle_id_}});
    }
    map_status = QStringLiteral("clear");
    SetPageElements({{QStringLiteral("map_status"), map_status}});
    CallScript(QStringLiteral("refreshMap"));
}

int CMapDlg::Position(const QByteArray& sentence, int index) {
    if (!VelqApp_GPRMC(sentence.constData(), &map_lat, &map_lng, &SpeedBar, &AngleBar)) return 0;
    if (!(std::fabs(map_lat) <= 90.0 && std::fabs(map_lng) <= 180.0)) return 0;
    // The fixed correction, or the table's cell of this place; every vehicle of the fleet layer gets its
    // own, the page's offset elements hold the selected vehicle's.
    const MapZone::Point vehicle_offset = OffsetAt(map_lat, map_lng);
    const double vehicle_offset_lat = vehicle_offset.lat_deg, vehicle_offset_lng = vehicle_offset.lng_deg;
    if (index >= 0)
        feed_.SetPosition(index, host_.VehicleIdAtRow(index), map_lat, map_lng, AngleBar, SpeedBar,
                          vehicle_offset_lat, vehicle_offset_lng);
    if (index != Index) return 1;

    if (settings_.gps_offset_auto) {
        offset_lng = vehicle_offset_lng;
        offset_lat = vehicle_offset_lat;
    }
    map_status = QStringLiteral("running");
    WriteMembersToPage();
    CallScript(QStringLiteral("refreshMap"));
    return 1;
}

void CMapDlg::Dock() {
    floating_ = false;
    setParent(host_.MapDockParent(), Qt::Widget);
    setGeometry(docked_rect_);
    show();
    PostRefresh();
}

void CMapDlg::Undock() {
    floating_ = true;
    QWidget* main_window = host_.MapDockParent() ? host_.MapDockParent()->window() : nullptr;
    setParent(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint);
    setWindowTitle(settings_.caption);
    if (main_window) setWindowIcon(main_window->windowIcon());
    if (!host_.ShowsPlaybackPanel()) {
        const QSize grid = host_.GridAreaSize();
        if (!grid.isEmpty()) resize(grid);
    }
    if (QScreen* screen = main_window ? main_window->screen() : QGuiApplication::primaryScreen()) {
        QRect frame = geometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    show();
    raise();
    activateWindow();
    PostRefresh();
}

void CMapDlg::ToggleFloating() {
    if (floating_) {
        map_button_->show();
        Dock();
    } else {
        map_button_->hide();
        Undock();
    }
}

void CMapDlg::ShowPlaybackPage(const QUrl& address) {
    Index = kPlaybackPage;
    page_loaded_ = false;
    fleet_supported_ = false;
    PlaceMapButton();
    // The playback page is the center's (or anyone's on the way): it gets no web channel, and a profile off
    // the record, so that its cookies and storage never meet the map page's. A new page for every address:
    // nothing of an earlier one lingers.
    if (!playback_profile_) playback_profile_ = std::make_unique<QWebEngineProfile>();
    ClosePlaybackPage();
    playback_page_ = std::make_unique<MapPage>(playback_profile_.get(), nullptr);
    MapPage* page = playback_page_.get();
    connect(page, &QWebEnginePage::loadStarted, this, [this] { page_loaded_ = false; });
    connect(page, &QWebEnginePage::loadFinished, this, [this](bool ok) {
        page_loaded_ = ok;
        PlaceMapButton();
        emit PageLoaded(ok);
    });
    view_->setPage(page);
    page->load(address);
}

void CMapDlg::BackToMap() {
    Index = kNoVehicle;
    map_status = QStringLiteral("clear");
    PlaceMapButton();
    ClosePlaybackPage();
    LoadMapPage();
}

void CMapDlg::ClosePlaybackPage() {
    view_->setPage(page_);
    if (!playback_page_) return;
    // Whatever it says while it goes (an aborted load) is no longer the view's.
    disconnect(playback_page_.get(), nullptr, this, nullptr);
    // Its video and scripts stop with it.
    playback_page_.reset();
}

void CMapDlg::Clear() {
    // The fleet of the session that ended goes from the fleet layer in any case.
    feed_.Clear();
    if (Index == kNoVehicle || Index == kPlaybackPage) return;
    Index = kNoVehicle;
    map_status = QStringLiteral("clear");
    SetPageElements(
        {{QStringLiteral("map_status"), map_status}, {QStringLiteral("Index"), QString::number(Index)}});
    CallScript(QStringLiteral("refreshMap"));
}

void CMapDlg::PostRefresh() {
    QCoreApplication::postEvent(this, new QEvent(kRefreshEventType));
}

void CMapDlg::SetDockedRect(const QRect& rect) {
    docked_rect_ = rect;
    if (!floating_) setGeometry(rect);
}

void CMapDlg::customEvent(QEvent* event) {
    if (event->type() == kRefreshEventType) {
        if (Index >= 0) CallScript(QStringLiteral("centerMap"));
        return;
    }
    QDialog::customEvent(event);
}

void CMapDlg::closeEvent(QCloseEvent* event) {
    // The close box of the floating window puts the view back; the view itself is never closed.
    event->ignore();
    if (floating_) ToggleFloating();
}

void CMapDlg::reject() {
    ToggleFloating();
}
