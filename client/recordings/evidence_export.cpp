// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordings/evidence_export.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace recordings {
namespace {

constexpr const char* kSums = "SHA256SUMS";
// Bounds what a damaged or planted SHA256SUMS can make the check read.
constexpr qint64 kMaxSumsBytes = 1 << 20;

QByteArray Sha256Of(const QString& path, bool* ok) {
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    *ok = file.open(QIODevice::ReadOnly) && hash.addData(&file);
    return hash.result().toHex();
}

bool WriteBytes(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

UserText Failed(const QString& what) {
    return UserText([what](const TranslateText& translate) {
        return translate(QStringLiteral("%1 cannot be written.")).arg(what);
    });
}

}  // namespace

EvidenceResult WriteEvidence(const EvidenceContent& content, const TranslateText& translate) {
    EvidenceResult result;
    const QDir folder(content.folder);
    if (!QDir().mkpath(content.folder)) {
        result.message = Failed(content.folder);
        return result;
    }
    QStringList names;
    const auto copy = [&](const QString& source) {
        const QString name = QFileInfo(source).fileName();
        // A clip exported straight into the folder is taken as it is.
        if (QFileInfo(source).absolutePath() == QFileInfo(content.folder).absoluteFilePath()) {
            names << name;
            return QFile::exists(source);
        }
        if (QFile::exists(folder.filePath(name)) || !QFile::copy(source, folder.filePath(name))) return false;
        names << name;
        return true;
    };
    for (const QString& clip : content.clips) {
        if (!copy(clip)) {
            result.message = Failed(folder.filePath(QFileInfo(clip).fileName()));
            return result;
        }
        if (QFile::exists(clip + QStringLiteral(".times")) && !copy(clip + QStringLiteral(".times"))) {
            result.message = Failed(folder.filePath(QFileInfo(clip).fileName() + QStringLiteral(".times")));
            return result;
        }
    }
    if (!content.snapshot.isNull()) {
        if (!content.snapshot.save(folder.filePath(QStringLiteral("snapshot.png")), "PNG")) {
            result.message = Failed(folder.filePath(QStringLiteral("snapshot.png")));
            return result;
        }
        names << QStringLiteral("snapshot.png");
    }
    if (!content.alarm_record.isEmpty()) {
        if (!WriteBytes(folder.filePath(QStringLiteral("alarm.txt")), content.alarm_record.toUtf8())) {
            result.message = Failed(folder.filePath(QStringLiteral("alarm.txt")));
            return result;
        }
        names << QStringLiteral("alarm.txt");
    }
    if (!content.track_gpx.isEmpty()) {
        if (!WriteBytes(folder.filePath(QStringLiteral("track.gpx")), content.track_gpx)) {
            result.message = Failed(folder.filePath(QStringLiteral("track.gpx")));
            return result;
        }
        names << QStringLiteral("track.gpx");
    }

    QString readme = translate(QStringLiteral("Evidence of vehicle %1, exported %2."))
                         .arg(content.vehicle,
                              QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))) +
                     u'\n' + u'\n';
    for (const QString& name : names) {
        if (name.endsWith(QStringLiteral(".times")))
            readme +=
                translate(
                    QStringLiteral(
                        "%1: the time of day each picture of the video arrived, and the gaps without video"))
                    .arg(name);
        else if (name == QStringLiteral("snapshot.png"))
            readme += translate(QStringLiteral("%1: the picture at %2")).arg(name, content.snapshot_time);
        else if (name == QStringLiteral("alarm.txt"))
            readme += translate(QStringLiteral("%1: the alarm record")).arg(name);
        else if (name == QStringLiteral("track.gpx"))
            readme += translate(QStringLiteral("%1: the vehicle's positions over the clip (GPX)")).arg(name);
        else
            readme += translate(QStringLiteral("%1: video recording (AVI)")).arg(name);
        readme += u'\n';
    }
    // An operator handing the folder over should not have to guess why no track is in it.
    if (content.track_gpx.isEmpty())
        readme +=
            translate(QStringLiteral("No positions of the vehicle were recorded over the clip.")) + u'\n';
    readme +=
        u'\n' +
        translate(QStringLiteral(
            "SHA256SUMS holds the SHA-256 sum of every file; check them with: sha256sum -c SHA256SUMS")) +
        u'\n';
    if (!WriteBytes(folder.filePath(QStringLiteral("README.txt")), readme.toUtf8())) {
        result.message = Failed(folder.filePath(QStringLiteral("README.txt")));
        return result;
    }
    names << QStringLiteral("README.txt");

    QByteArray sums;
    for (const QString& name : names) {
        bool ok = false;
        const QByteArray hash = Sha256Of(folder.filePath(name), &ok);
        if (!ok) {
            result.message = Failed(folder.filePath(name));
            return result;
        }
        sums += hash + "  " + name.toUtf8() + '\n';
    }
    if (!WriteBytes(folder.filePath(QLatin1String(kSums)), sums)) {
        result.message = Failed(folder.filePath(QLatin1String(kSums)));
        return result;
    }
    names << QLatin1String(kSums);
    result.files = names;

    // What is on the disk now, not what was meant to be: read back and checked.
    const QStringList bad = VerifyEvidence(content.folder);
    result.ok = bad.isEmpty();
    const QString where = content.folder;
    const int count = static_cast<int>(names.size()) - 1;
    result.message =
        result.ok ? UserText([where, count](const TranslateText& translate) {
            return translate(
                       QStringLiteral(
                           "Evidence written to %1: %2 files, each read back and matching its SHA-256 sum."))
                .arg(where)
                .arg(count);
        })
                  : UserText([where, bad](const TranslateText& translate) {
                        return translate(QStringLiteral("Evidence in %1 does not match its sums: %2"))
                            .arg(where, bad.join(QStringLiteral(", ")));
                    });
    return result;
}

QStringList VerifyEvidence(const QString& folder) {
    const QDir dir(folder);
    QFile sums(dir.filePath(QLatin1String(kSums)));
    if (!sums.open(QIODevice::ReadOnly)) return {QLatin1String(kSums)};
    const QByteArray text = sums.read(kMaxSumsBytes);
    QStringList bad;
    for (const QByteArray& line : text.split('\n')) {
        if (line.isEmpty()) continue;
        const int split = line.indexOf("  ");
        const QString name = split == 64 ? QString::fromUtf8(line.mid(66)) : QString();
        // Only plain names of this folder: a sum file naming a path elsewhere is not followed.
        if (name.isEmpty() || name.contains(u'/') || name == QStringLiteral("..")) {
            bad << QString::fromUtf8(line.left(80));
            continue;
        }
        bool ok = false;
        if (Sha256Of(dir.filePath(name), &ok) != line.left(64) || !ok) bad << name;
    }
    return bad;
}

}  // namespace recordings
