// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the map page says back about the fleet layer, through the page's web channel object
// "tavrinFleet": a marker clicked or double-clicked. The page is web content: every call is checked
// against the fleet the client sent (FleetFeed::Validate) and dropped when it names no vehicle of it.
// Called on the UI thread by the web channel.
#include <QJsonValue>
#include <QObject>

#include "map/fleet_feed.h"

class FleetBridge : public QObject {
    Q_OBJECT
  public:
    FleetBridge(const FleetFeed& feed, QObject* parent) : QObject(parent), feed_(feed) {}

    // A click on the marker of vehicle `row` whose id is `id`.
    Q_INVOKABLE void select(const QJsonValue& row, const QJsonValue& id) {
        if (const std::optional<int> valid = feed_.Validate(row, id)) emit selected(*valid);
    }
    // A double-click on it.
    Q_INVOKABLE void open(const QJsonValue& row, const QJsonValue& id) {
        if (const std::optional<int> valid = feed_.Validate(row, id)) emit opened(*valid);
    }

  signals:
    void selected(int row);
    void opened(int row);

  private:
    const FleetFeed& feed_;
};
