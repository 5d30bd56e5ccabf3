// SPDX-License-Identifier: GPL-3.0-or-later
#include "map/fleet_bridge.h"

#include "map/map_page.h"

namespace {

QUrl WithoutQuery(const QUrl& url) {
    return url.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::NormalizePathSegments);
}

}  // namespace

FleetBridge::FleetBridge(const FleetFeed& feed, std::function<QUrl()> page_url, QList<QUrl> map_pages,
                         QObject* parent, Now now)
    : QObject(parent),
      feed_(feed),
      page_url_(std::move(page_url)),
      map_pages_(std::move(map_pages)),
      now_(std::move(now)) {}

void FleetBridge::select(const QJsonValue& row, const QJsonValue& id) {
    if (!Admit(selects_, "select")) return;
    if (const std::optional<int> valid = feed_.Validate(row, id)) emit selected(*valid);
}

void FleetBridge::open(const QJsonValue& row, const QJsonValue& id) {
    if (!Admit(opens_, "open")) return;
    if (const std::optional<int> valid = feed_.Validate(row, id)) emit opened(*valid);
}

void FleetBridge::drawZone(const QJsonValue& shape) {
    if (!Admit(zones_, "drawZone")) return;
    const std::optional<MapZone> zone = MapZone::FromPage(shape);
    if (!zone) {
        // The shape itself is not logged: it is the page's and may be anything of any size.
        qCWarning(lcMap) << "a zone drawn on the map page was malformed and refused";
        return;
    }
    emit zoneDrawn(*zone);
}

bool FleetBridge::FromMapPage() const {
    const QUrl url = page_url_ ? WithoutQuery(page_url_()) : QUrl();
    if (url.scheme() != QLatin1String("qrc") && url.scheme() != QLatin1String("file")) return false;
    for (const QUrl& page : map_pages_) {
        if (WithoutQuery(page) == url) return true;
    }
    return false;
}

bool FleetBridge::Admit(TokenBucket& bucket, const char* kind) {
    // The page's address first: a foreign page spends none of the map's allowance.
    if (!FromMapPage()) {
        ++foreign_calls_;
        if (!foreign_logged_) {
            foreign_logged_ = true;
            qCWarning(lcMap) << "fleet calls from a page that is not the map's refused:" << page_url_();
        }
        return false;
    }
    if (bucket.Take(now_())) {
        dropping_ = false;
        return true;
    }
    ++dropped_calls_;
    if (!dropping_) {
        dropping_ = true;
        qCWarning(lcMap).nospace() << "the map page calls " << kind << " faster than allowed ("
                                   << kOpensPerSecond << " opens, " << kSelectsPerSecond
                                   << " selects a second): dropping calls until it slows down ("
                                   << dropped_calls_ << " dropped so far)";
    }
    return false;
}
