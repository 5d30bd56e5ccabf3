// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A replayed track as a GPX 1.1 file: one track of one segment, each point with its place (degrees, six
// decimals: the history's microdegrees exactly) and time (UTC, ISO 8601 with a "Z"). GPX 1.1 has no
// element for speed or course, so they stay out rather than in an extension few programs read. Texts are
// written by QXmlStreamWriter, which escapes them.
#include <QList>
#include <QString>

#include "positions/position_fix.h"

class QIODevice;

// False when the device could not be written.
bool WriteGpx(QIODevice& out, const QString& track_name, const QList<PositionFix>& track);
bool WriteGpxFile(const QString& path, const QString& track_name, const QList<PositionFix>& track);
