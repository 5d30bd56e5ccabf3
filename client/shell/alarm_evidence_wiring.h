// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// From an alarm to its pictures: the history dialog (fleet/) lists the recordings that cover an episode's
// start and plays one at that moment, with the alarm's record for the evidence export (recordings/).
// The two sides do not know each other; this joins them. UI thread.
#include <QString>
#include <functional>

class AlarmHistoryDlg;
class QWidget;
namespace recordings {
class RecordingsLauncher;
}

// record_folders: the folders to look in, read at each lookup (on the dialog's worker, so it must be
// safe there); translate: the alarm record's field names in the operator's language; players open as
// children of `parent`. The launcher and parent outlive the dialog.
void WireAlarmEvidence(AlarmHistoryDlg& history, recordings::RecordingsLauncher& launcher,
                       std::function<QStringList()> record_folders,
                       std::function<QString(const QString&)> translate, QWidget* parent);
