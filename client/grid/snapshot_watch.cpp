// SPDX-License-Identifier: GPL-3.0-or-later
#include "grid/snapshot_watch.h"

#include <QDir>
#include <QFileInfo>

namespace {

// File times may be kept at a coarser step than the clock that stamped the request.
constexpr int kFileTimeSlack_ms = 1000;

}  // namespace

SnapshotWatch::SnapshotWatch(QString requested_path, QDateTime requested_at)
    : requested_path_(std::move(requested_path)), since_(requested_at.addMSecs(-kFileTimeSlack_ms)) {}

QString SnapshotWatch::RequestedName() const {
    return QFileInfo(requested_path_).fileName();
}

QString SnapshotWatch::Find() const {
    const QFileInfo requested(requested_path_);
    QString base = requested.fileName();
    if (base.endsWith(QStringLiteral(".bmp"), Qt::CaseInsensitive)) base.chop(4);
    QString newest;
    QDateTime newest_time;
    const QFileInfoList files =
        requested.dir().entryInfoList({base + QStringLiteral("-*.bmp")}, QDir::Files, QDir::Name);
    for (const QFileInfo& file : files) {
        const QDateTime written = file.lastModified();
        if (written < since_ || (!newest.isEmpty() && written <= newest_time)) continue;
        newest = file.filePath();
        newest_time = written;
    }
    return newest;
}
