// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/playback_address.h"

namespace {

bool IsUnreserved(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

QString TimeParameter(const char* name, const QDateTime& time) {
    return QStringLiteral("&%1=%2").arg(QLatin1String(name),
                                        time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")));
}

}  // namespace

QString PercentEncodeUnreserved(const QString& text) {
    static const char kHex[] = "0123456789ABCDEF";
    const QByteArray bytes = text.toUtf8();
    QString out;
    out.reserve(bytes.size() * 3);
    for (const char c : bytes) {
        if (IsUnreserved(c)) {
            out += QLatin1Char(c);
        } else {
            const auto byte = static_cast<unsigned char>(c);
            out += QLatin1Char('%');
            out += QLatin1Char(kHex[byte >> 4]);
            out += QLatin1Char(kHex[byte & 0x0F]);
        }
    }
    return out;
}

QString BuildPlaybackAddress(const QString& host, const QString& page, const QString& device_id,
                             const std::optional<QDateTime>& start, const std::optional<QDateTime>& end) {
    QString address = QStringLiteral("http://") + host + page + QStringLiteral("?devicename=") +
                      PercentEncodeUnreserved(device_id);
    if (start) address += TimeParameter("stime", *start);
    if (end) address += TimeParameter("etime", *end);
    return address;
}
