// SPDX-License-Identifier: GPL-3.0-or-later
#include "fleet/center_link.h"

#include "app/app_profile.h"

bool CenterLink::OnConnectionState(int code, const QDateTime& now) {
    if (code == 5) {
        const bool was_down = down();
        down_since_ = QDateTime();
        return was_down;
    }
    // "Connecting" between the attempts changes nothing: the center stays down since the first loss.
    if ((code == 1 || code == 3) && !down()) {
        down_since_ = now;
        return true;
    }
    return false;
}

QString CenterLink::StatusText() const {
    if (!down()) return QString();
    return AppProfile::Translate(QStringLiteral("Center server unreachable since %1"))
        .arg(down_since_.toString(QStringLiteral("HH:mm:ss")));
}

QColor UnknownColor(const QPalette& palette) {
    const QColor text = palette.color(QPalette::Text), base = palette.color(QPalette::Base);
    return QColor((text.red() + base.red()) / 2, (text.green() + base.green()) / 2,
                  (text.blue() + base.blue()) / 2);
}
