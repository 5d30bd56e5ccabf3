// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the map page says back about the fleet layer, through the page's web channel object
// "tavrinFleet": a marker clicked or double-clicked. The page is web content, and each call passes three
// checks before anything happens:
// - the page that carries the channel must be one of the map's own pages (the built-in qrc: page or a
//   replacement file: page), whatever it has navigated to since; a remote page is refused;
// - calls are rate-limited (kOpenBurst / kOpensPerSecond, kSelectBurst / kSelectsPerSecond): a page that
//   calls in a loop cannot flood the grid with pages or the UI thread with work; what is over the limit is
//   dropped and counted, with one log line when a spell of dropping begins;
// - the vehicle must be one of the fleet the client sent (FleetFeed::Validate).
// A zone the operator drew (drawZone) passes the same page check, a rate limit of its own, and
// MapZone::FromPage; a malformed one is refused with one log line.
// Called on the UI thread by the web channel.
#include <QJsonValue>
#include <QList>
#include <QObject>
#include <QUrl>
#include <functional>

#include "map/fleet_feed.h"
#include "map/map_zone.h"
#include "map/token_bucket.h"

class FleetBridge : public QObject {
    Q_OBJECT
  public:
    // A double-click opens a page of video: a person manages a few a second at most.
    static constexpr int kOpenBurst = 3;
    static constexpr int kOpensPerSecond = 2;
    // A click selects a vehicle (the tree, the list, the track): cheap, and clicked more often.
    static constexpr int kSelectBurst = 10;
    static constexpr int kSelectsPerSecond = 10;
    // Drawing a zone ends in a dialog: one now and then.
    static constexpr int kZoneBurst = 2;
    static constexpr int kZonesPerSecond = 1;

    using Now = std::function<TokenBucket::Clock::time_point()>;

    // `page_url` gives the address of the page the channel is set on now; `map_pages` are the addresses
    // the map loads (query and fragment are ignored when comparing). `now` is the rate limit's clock.
    FleetBridge(const FleetFeed& feed, std::function<QUrl()> page_url, QList<QUrl> map_pages, QObject* parent,
                Now now = &TokenBucket::Clock::now);

    // A click on the marker of vehicle `row` whose id is `id`.
    Q_INVOKABLE void select(const QJsonValue& row, const QJsonValue& id);
    // A double-click on it.
    Q_INVOKABLE void open(const QJsonValue& row, const QJsonValue& id);
    // A zone drawn on the page (MapZone::FromPage's format), in the page's frame.
    Q_INVOKABLE void drawZone(const QJsonValue& shape);

    // Calls refused since creation: from a page that is not the map's, or over the rate limit.
    int foreign_calls() const { return foreign_calls_; }
    int dropped_calls() const { return dropped_calls_; }

  signals:
    void selected(int row);
    void opened(int row);
    void zoneDrawn(const MapZone& zone);

  private:
    // True when a call may go on to the fleet check; counts and logs the ones that may not.
    bool Admit(TokenBucket& bucket, const char* kind);
    bool FromMapPage() const;

    const FleetFeed& feed_;
    const std::function<QUrl()> page_url_;
    const QList<QUrl> map_pages_;
    const Now now_;
    TokenBucket opens_{kOpenBurst, kOpensPerSecond};
    TokenBucket selects_{kSelectBurst, kSelectsPerSecond};
    TokenBucket zones_{kZoneBurst, kZonesPerSecond};
    int foreign_calls_ = 0;
    int dropped_calls_ = 0;
    bool dropping_ = false;  // in a spell of calls over the limit: logged once at its start
    bool foreign_logged_ = false;
};
