// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whether the center server is reachable, from the session's connection-state events and from what it
// answers. "Disconnect" (1) and "Server Error" (3) take it down, "Connected" (5, 6) brings it back. A
// center that keeps the connection open but answers nothing shows no connection word until the socket
// times out half a minute later; the library asks for the status list every 5 s, though, so a center
// that has not answered for kSilence_ms counts as down at once. "Since" is always the last answer: the
// last moment the shown states were known to be current. While it is down, what the tree and the
// vehicle list show is no longer current. A logout forgets it. Plain class, UI thread only.
#include <QColor>
#include <QDateTime>
#include <QPalette>
#include <QString>

class CenterLink {
  public:
    // Two status requests in a row unanswered.
    static constexpr qint64 kSilence_ms = 10000;

    // One connection-state event at `now`; true when the center went down or came back with it.
    bool OnConnectionState(int code, const QDateTime& now);
    // The center answered at `now` (a device list, a status word, an operation's reply); true when it
    // had counted as down and is back.
    bool OnAnswer(const QDateTime& now);
    // The periodic check (every second): true when the center has just been silent for kSilence_ms since
    // its last answer. Nothing before the first answer of a login.
    bool OnSilenceCheck(const QDateTime& now);
    void Reset() {
        down_since_ = QDateTime();
        last_answer_ = QDateTime();
    }

    bool down() const { return down_since_.isValid(); }
    const QDateTime& downSince() const { return down_since_; }
    // "Center server unreachable since 12:04:31" (translated, the time as an isolated left-to-right
    // run); empty while it is reachable.
    QString StatusText() const;

  private:
    QDateTime down_since_;
    QDateTime last_answer_;  // invalid before the first answer of a login
};

// The text colour of what is not current: halfway between a view's text and its background.
QColor UnknownColor(const QPalette& palette);
