// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An evidence folder: the clip(s) with their time files, a snapshot of the marked moment, the alarm record
// when there is one, the vehicle's positions over the clip (GPX) when any were recorded, a README.txt saying
// what is in it, and SHA256SUMS in the form `sha256sum -c` checks
// ("<hash>  <name>"). After writing, every file is read back and checked against its sum, so the operator
// learns at once whether what he hands over is whole. Plain function of its inputs; any thread (it reads
// and writes files only).
#include <QImage>
#include <QString>
#include <QStringList>

#include "recordings/ui_text.h"

namespace recordings {

struct EvidenceContent {
    QString folder;         // made when missing; must hold none of the names below yet
    QStringList clips;      // files copied in (each with its ".times" beside it when there is one)
    QImage snapshot;        // the marked moment, written as snapshot.png (none when null)
    QString snapshot_time;  // the moment's time of day, said in the README
    QString alarm_record;   // written as alarm.txt (none when empty)
    QString vehicle;        // said in the README
    QByteArray track_gpx;   // the vehicle's positions over the clip, written as track.gpx (none when empty)
};

struct EvidenceResult {
    bool ok = false;
    QStringList files;  // the names written, SHA256SUMS last
    UserText message;   // what was written and verified, or what failed
};

// `translate`: the README's texts in the operator's language.
EvidenceResult WriteEvidence(const EvidenceContent& content, const TranslateText& translate);
// Reads SHA256SUMS of `folder` and checks every file it names; empty when all match, else the names that
// do not (or cannot be read).
QStringList VerifyEvidence(const QString& folder);

}  // namespace recordings
