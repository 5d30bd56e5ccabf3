// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whether the center server is reachable, from the session's connection-state events: "Disconnect" (1)
// and "Server Error" (3) take it down, "Connected" (5) brings it back; the time it went down is kept for
// the status line. While it is down, what the tree and the vehicle list show is no longer current. A
// logout forgets it. Plain class, UI thread only.
#include <QColor>
#include <QDateTime>
#include <QPalette>
#include <QString>

class CenterLink {
  public:
    // One connection-state event at `now`; true when the center went down or came back with it.
    bool OnConnectionState(int code, const QDateTime& now);
    void Reset() { down_since_ = QDateTime(); }

    bool down() const { return down_since_.isValid(); }
    const QDateTime& downSince() const { return down_since_; }
    // "Center server unreachable since 12:04:31" (translated); empty while it is reachable.
    QString StatusText() const;

  private:
    QDateTime down_since_;
};

// The text colour of what is not current: halfway between a view's text and its background.
QColor UnknownColor(const QPalette& palette);
