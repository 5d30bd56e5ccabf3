// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the map view reads from the settings and the program's data once, at its initialisation.
#include <QColor>
#include <QString>
#include <QStringList>

struct AppSettings;
class SettingsStore;

struct MapViewSettings {
    // Replacement pages (map/mapdlg.htm in each data folder, program folder first); the first that exists
    // when a page is loaded wins over the built-in page.
    QStringList page_files;
    bool gps_offset_auto = true;  // GPS_Offset_Auto: use the offset table
    QString offset_table_file;    // offset_min.bin; empty or missing: no table, offsets 0
    QString gps_offset_x;         // GPS_Offset_X: fixed latitude offset, decimal text
    QString gps_offset_y;         // GPS_Offset_Y: fixed longitude offset, decimal text
    QString road_tiles;           // tile address templates ({z}, {x}, {y}); empty: the page's defaults
    QString photo_tiles;
    QString road_name = QStringLiteral("Road map");  // layer names the page shows
    QString photo_name = QStringLiteral("Satellite");
    QString grid_name = QStringLiteral("Coordinate grid");
    QString follow_name = QStringLiteral("Follow");  // the fleet layer's follow toggle
    // The geofence drawing tools' tips and the speed unit of the route replay's legend.
    QString zone_circle_tip = QStringLiteral("Draw a circular zone");
    QString zone_polygon_tip = QStringLiteral("Draw a polygonal zone");
    QString zone_finish_tip = QStringLiteral("Finish the zone");
    QString speed_unit = QStringLiteral("km/h");
    QString caption = QStringLiteral("Map");              // floating window caption and button tip
    QString button_image;                                 // skin folder + "map.bmp"
    QColor button_mask_color = QColor(0x10, 0x10, 0x10);  // MainBkColor
};

// From the client's settings `store` and the cached `settings`: GPS_Offset_Auto, GPS_Offset_X, GPS_Offset_Y,
// and the tile templates MapTiles_Road and MapTiles_Satellite (read only; empty or missing gives the page's
// public defaults). Texts are translated.
MapViewSettings ReadMapViewSettings(const AppSettings& settings, const SettingsStore& store);
