// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The address of the center server's playback page for one vehicle and period, as the search panel opens
// it. Plain text in, plain text out: no widget and no setting is read here.
#include <QDateTime>
#include <QString>
#include <optional>

// `text` with every byte of its UTF-8 form outside the unreserved set (letters, digits, "-", ".", "_",
// "~") written as %XX, so that it can neither end the value it stands in nor add parameters.
QString PercentEncodeUnreserved(const QString& text);

// "http://" + host + page + "?devicename=" + the encoded device id, then "&stime=" and "&etime=" with the
// times given (local times, "yyyy-MM-ddTHH:mm:ss"). `page` is the Playback_WebPage setting and is taken as
// it stands: ":8080/playback.aspx" reaches another port of the same host.
QString BuildPlaybackAddress(const QString& host, const QString& page, const QString& device_id,
                             const std::optional<QDateTime>& start, const std::optional<QDateTime>& end);
