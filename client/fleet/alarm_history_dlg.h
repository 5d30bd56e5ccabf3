// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The alarm history search: vehicle text, kind and start-time range over the history file, the rows
// found newest first, and export of the shown rows to a CSV file. Searches read the file through a
// connection of their own while the store keeps writing. Created once, shown and hidden. UI thread only.
#include <QDialog>
#include <QList>
#include <functional>

#include "fleet/alarm_episode.h"

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

// The CSV of episodes: a heading line, then one line per episode with the list's columns split into
// fields; UTF-8, fields quoted when they need it, and a text that a spreadsheet would run as a formula
// (starting with = + - @) gets a leading apostrophe.
QByteArray AlarmCsv(const QList<AlarmEpisode>& episodes,
                    const std::function<QString(const QString&)>& translate);

class AlarmHistoryDlg : public QDialog {
    Q_OBJECT
  public:
    AlarmHistoryDlg(QString database_path, std::function<QString(const QString&)> translate,
                    QWidget* parent = nullptr);

    // Runs the search with the fields as they are.
    void Search();
    // Writes the shown rows to `path`; false (and a message in the status label) when it cannot.
    bool ExportTo(const QString& path);

    const QList<AlarmEpisode>& shown() const { return shown_; }
    QLineEdit* vehicleEdit() const { return vehicle_; }
    QComboBox* kindBox() const { return kind_; }
    QCheckBox* fromCheck() const { return use_from_; }
    QDateTimeEdit* fromEdit() const { return from_; }
    QCheckBox* toCheck() const { return use_to_; }
    QDateTimeEdit* toEdit() const { return to_; }
    QTreeWidget* results() const { return results_; }

  private:
    QString path_;
    std::function<QString(const QString&)> translate_;
    QList<AlarmEpisode> shown_;
    QLineEdit* vehicle_;
    QComboBox* kind_;
    QCheckBox* use_from_;
    QDateTimeEdit* from_;
    QCheckBox* use_to_;
    QDateTimeEdit* to_;
    QTreeWidget* results_;
    QLabel* status_;
};
