// SPDX-License-Identifier: GPL-3.0-or-later
#include "positions/gpx_track.h"

#include <QDateTime>
#include <QFile>
#include <QSaveFile>
#include <QXmlStreamWriter>

namespace {

QString Degrees(int32_t udeg) {
    return QString::number(udeg / 1e6, 'f', 6);
}

}  // namespace

bool WriteGpx(QIODevice& out, const QString& track_name, const QList<PositionFix>& track) {
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("gpx"));
    xml.writeDefaultNamespace(QStringLiteral("http://www.topografix.com/GPX/1/1"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1.1"));
    xml.writeAttribute(QStringLiteral("creator"), QStringLiteral("Tavrin"));
    xml.writeStartElement(QStringLiteral("trk"));
    xml.writeTextElement(QStringLiteral("name"), track_name);
    xml.writeStartElement(QStringLiteral("trkseg"));
    for (const PositionFix& fix : track) {
        xml.writeStartElement(QStringLiteral("trkpt"));
        xml.writeAttribute(QStringLiteral("lat"), Degrees(fix.lat_udeg));
        xml.writeAttribute(QStringLiteral("lon"), Degrees(fix.lon_udeg));
        xml.writeTextElement(QStringLiteral("time"),
                             QDateTime::fromSecsSinceEpoch(fix.time_s, Qt::UTC).toString(Qt::ISODate));
        xml.writeEndElement();
    }
    xml.writeEndElement();  // trkseg
    xml.writeEndElement();  // trk
    xml.writeEndElement();  // gpx
    xml.writeEndDocument();
    return !xml.hasError();
}

bool WriteGpxFile(const QString& path, const QString& track_name, const QList<PositionFix>& track) {
    // A half-written export never replaces an earlier good file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (!WriteGpx(file, track_name, track)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
