// SPDX-License-Identifier: GPL-3.0-or-later
#include "map/map_view_settings.h"

#include "app/app_folders.h"
#include "app/app_profile.h"
#include "app/app_settings.h"
#include "app/own_prefs.h"
#include "app/own_settings.h"
#include "app/settings_store.h"

MapViewSettings ReadMapViewSettings(const AppSettings& cached, const SettingsStore& store) {
    MapViewSettings settings;
    if (const AppFolders* folders = store.folders()) {
        for (const QString& folder : folders->data)
            settings.page_files.append(folder + QStringLiteral("map/mapdlg.htm"));
        settings.offset_table_file = folders->FindData(QStringLiteral("offset_min.bin"));
        settings.button_image = store.skinFolder() + QStringLiteral("map.bmp");
    }
    settings.gps_offset_auto = cached.GPS_Offset_Auto != 0;
    settings.gps_offset_x = store.gpsOffsetX();
    settings.gps_offset_y = store.gpsOffsetY();
    // Ours: Tavrin.ini, or Config.ini where an older client kept them.
    OwnSettings own(store.programFolder());
    settings.road_tiles = ReadMovedString(own, QStringLiteral("MapTiles_Road"), QString());
    settings.photo_tiles = ReadMovedString(own, QStringLiteral("MapTiles_Satellite"), QString());
    settings.road_name = AppProfile::Translate(QStringLiteral("Road map"));
    settings.photo_name = AppProfile::Translate(QStringLiteral("Satellite"));
    settings.grid_name = AppProfile::Translate(QStringLiteral("Coordinate grid"));
    settings.follow_name = AppProfile::Translate(QStringLiteral("Follow"));
    settings.zone_circle_tip = AppProfile::Translate(QStringLiteral("Draw a circular zone"));
    settings.zone_polygon_tip = AppProfile::Translate(QStringLiteral("Draw a polygonal zone"));
    settings.zone_finish_tip = AppProfile::Translate(QStringLiteral("Finish the zone"));
    settings.speed_unit = AppProfile::Translate(QStringLiteral("km/h"));
    settings.caption = AppProfile::Translate(QStringLiteral("Map"));
    settings.button_mask_color = AppSettings::Color(cached.MainBkColor);
    return settings;
}
