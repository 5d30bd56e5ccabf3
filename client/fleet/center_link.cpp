// SPDX-License-Identifier: GPL-3.0-or-later
#include "fleet/center_link.h"

#include "app/app_profile.h"
#include "app/shown_text.h"

bool CenterLink::OnConnectionState(int code, const QDateTime& now) {
    if (code == 5 || code == 6) return OnAnswer(now);
    // "Connecting" between the attempts changes nothing: the center stays down since the first loss.
    if ((code == 1 || code == 3) && !down()) {
        down_since_ = last_answer_.isValid() ? last_answer_ : now;
        return true;
    }
    return false;
}

bool CenterLink::OnAnswer(const QDateTime& now) {
    last_answer_ = now;
    const bool was_down = down();
    down_since_ = QDateTime();
    return was_down;
}

bool CenterLink::OnSilenceCheck(const QDateTime& now) {
    if (down() || !last_answer_.isValid() || last_answer_.msecsTo(now) < kSilence_ms) return false;
    down_since_ = last_answer_;
    return true;
}

QString CenterLink::StatusText() const {
    if (!down()) return QString();
    return AppProfile::Translate(QStringLiteral("Center server unreachable since %1"))
        .arg(LeftToRight(down_since_.toString(QStringLiteral("HH:mm:ss"))));
}

QColor UnknownColor(const QPalette& palette) {
    const QColor text = palette.color(QPalette::Text), base = palette.color(QPalette::Base);
    return QColor((text.red() + base.red()) / 2, (text.green() + base.green()) / 2,
                  (text.blue() + base.blue()) / 2);
}
